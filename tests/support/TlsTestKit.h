#pragma once

#include "support/ScriptedServer.h"

#include <string>
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
