#pragma once

#include "net/LineClient.h"

#include <optional>
#include <string>

// POP3 client (RFC 1939) on the line engine: greeting and USER/PASS login. Every wait is bounded
// by the time-out given to configure().
class Pop3Client
{
public:
    void configure(const std::string& host, int port, int timeoutMs, const std::string& userName,
                   const std::string& password);

    // TLS from the first byte (POP3 on port 995): connect() runs the handshake, naming the host,
    // before it reads the greeting.
    void setImplicitTls(const TlsOptions& options) { m_implicitTls = options; }
    bool isTls() const { return m_line.isTls(); }
    const std::optional<TlsPeerCertificate>& peerCertificate() const { return m_line.peerCertificate(); }

    // Connects and reads the greeting, which must be "+OK".
    void connect();
    // "STLS" (RFC 2595), which must be answered "+OK", then the TLS handshake on the same
    // connection. A refusal or a failed handshake is an error.
    void startTls(const TlsOptions& options);
    // "USER name" and "PASS password" (sent even when empty); both must be answered "+OK".
    void login();
    // Sends `line` and reads a one-line reply, which must be "+OK".
    LineReply command(const std::string& line);
    // "QUIT" without waiting for the reply when the connection is still in step, then close.
    // Never throws.
    void quit();
    void close() { m_line.close(); }
    bool isConnected() const { return m_line.isConnected(); }

private:
    LineClient m_line;
    std::optional<TlsOptions> m_implicitTls;
    Pop3ReplyParser m_parser;
    std::string m_host;
    int m_port = 110;
    int m_timeoutMs = 5000;
    std::string m_userName;
    std::string m_password;
};

// Accepts a "+OK" reply; "-ERR ..." is an error with the server's line, anything else the
// "Unrecognized POP3 Response Header:" error with the line in double quotes.
void RequirePop3Ok(const LineReply& reply);
