#pragma once

#include "support/ScriptedServer.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What TLS tests share: certificates made in the test run with the openssl command, a loopback
// address of the test program's own for servers on well-known ports, and "openssl s_server" as
// a plain TLS peer.

// Made once per test program, in a folder that lasts as long as the program: a private CA and
// leaves it signed, all with one key. Every leaf but otherName is for localhost, 127.0.0.1 and
// TlsTestAddress().
struct TestCertificates
{
    std::string caFile;     // the private CA (PEM): the trust anchor to give as CAFile
    std::string keyFile;    // the private key of every leaf (PEM, unencrypted)
    std::string valid;      // begins now, ends in a year
    std::string expired;    // ended two days ago
    std::string endingSoon; // ends in three days
    std::string otherName;  // for other.test only
};

// The certificates; nullptr when the openssl command is missing or failed, with the reason in
// `why`.
const TestCertificates* TestCerts(std::string* why = nullptr);

// A loopback address chosen at random once per test program (127.a.b.c, a from 100 to 199), so a
// server can listen on a well-known port such as 993 without meeting another program's server.
const std::string& TlsTestAddress();

// True when the whole of `text` matches the regular expression `pattern` (Qt's syntax; std::regex
// trips the sanitizer build's warnings).
bool FullMatch(const std::string& text, const std::string& pattern);

// True when this process may listen on ports below 1024.
bool MayUseWellKnownPorts();

// "openssl s_server" with one of the leaves, on 127.0.0.1 at an unused port. `mode` is "-www"
// (answers every GET with "HTTP/1.0 200 ok" and a status page) or "-rev" (sends each line back
// reversed); `extra` adds options such as "-tls1_1".
class OpenSslServer
{
public:
    bool start(const std::string& certificate, const std::string& mode,
               const std::vector<std::string>& extra = {});
    int port() const { return m_port; }
    void stop() { m_daemon.stop(); }
    std::string output() const { return m_daemon.output(); }

private:
    DaemonProcess m_daemon;
    int m_port = 0;
};

// aiosmtpd (Debian package python3-aiosmtpd) with TLS, run by the system's Python on `address`
// and `port` with the valid leaf. It knows alice with the password s3cret (AUTH LOGIN and PLAIN)
// and keeps each message it accepts in `mailFile`: "tls=True|False", "authenticated=...", the
// envelope, an empty line and the message.
//   Implicit:  TLS from the first byte (SMTP on 465); a login is allowed but not required.
//   StartTls:  offers STARTTLS and refuses AUTH and MAIL until it has been done; requires a login.
class AioSmtpdTls
{
public:
    enum class Mode
    {
        Implicit,
        StartTls
    };
    // False with the reason in `why` when aiosmtpd is missing or the server did not start.
    bool start(Mode mode, const std::string& address, int port, const std::string& mailFile,
               std::string* why);
    std::string output() const { return m_daemon.output(); }

private:
    DaemonProcess m_daemon;
    std::string m_script;
};

// A TCP relay on 127.0.0.1 that passes bytes between one client and `targetHost`:`targetPort`
// and keeps what went each way, so a test can read exactly what crossed the wire. It serves one
// connection and stops with the object; every wait is bounded.
class RecordingRelay
{
public:
    RecordingRelay(const std::string& targetHost, int targetPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    int port() const { return m_port; }
    // Waits until the connection has ended on either side (at most `timeoutMs`).
    bool wait(int timeoutMs = 15000);
    std::string fromClient() const;
    std::string fromTarget() const;

private:
    void relay();

    std::string m_targetHost;
    int m_targetPort;
    int m_listenFd = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
    std::string m_fromClient;
    std::string m_fromTarget;
};
