#pragma once

#include "net/LineClient.h"

#include <optional>
#include <string>

// What the clients of the line protocols (SMTP, POP3, IMAP, FTP) share: one connection on the line
// engine and, when asked for, TLS from the first byte: open() then runs the handshake, naming the
// host it connects to, before anything is read.
class LineSession
{
public:
    void setImplicitTls(const TlsOptions& options) { m_implicitTls = options; }
    bool isTls() const { return m_line.isTls(); }
    const std::optional<TlsPeerCertificate>& peerCertificate() const { return m_line.peerCertificate(); }
    void close() { m_line.close(); }
    bool isConnected() const { return m_line.isConnected(); }

protected:
    // Connects to host:port, with the implicit-TLS handshake when it is set. Every wait is bounded
    // by `timeoutMs`.
    void open(const std::string& host, int port, int timeoutMs)
    {
        m_line.connect(host, port, timeoutMs);
        if (m_implicitTls)
            m_line.startTls(*m_implicitTls, host);
    }

    LineClient m_line;

private:
    std::optional<TlsOptions> m_implicitTls;
};

// A line session with one server, its port and time-out, and optionally the credentials it logs
// in with.
class ServerSession : public LineSession
{
public:
    explicit ServerSession(int defaultPort) : m_port(defaultPort) {}

    void configure(const std::string& host, int port, int timeoutMs, const std::string& userName = {},
                   const std::string& password = {})
    {
        m_host = host;
        m_port = port;
        m_timeoutMs = timeoutMs;
        m_userName = userName;
        m_password = password;
    }
    const std::string& host() const { return m_host; }
    int port() const { return m_port; }

protected:
    void open() { LineSession::open(m_host, m_port, m_timeoutMs); }
    // STARTTLS on the open connection, naming the configured host.
    void upgrade(const TlsOptions& options) { m_line.startTls(options, m_host); }

    std::string m_host;
    int m_port;
    int m_timeoutMs = 5000;
    std::string m_userName;
    std::string m_password;
};
