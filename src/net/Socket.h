#pragma once

#include "net/TlsPeerCertificate.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

// The one blocking socket layer of the program. Every protocol client (HTTP, SMTP, POP3, IMAP,
// FTP, SMPP, syslog) sits on these classes. Byte strings are std::string; host names are plain
// text (a dotted IPv4 address or a name the resolver knows). IPv4 only.
//
// Every blocking call takes a time-out in milliseconds that bounds the whole call; kNoTimeout
// (any negative value) waits without a bound. Errors are thrown as SocketError (or one of its
// subclasses) with a message a person can act on, e.g.
//   cannot resolve "mail.example": Name or service not known
//   cannot connect to 127.0.0.1:25: connection refused
//   cannot connect to 10.1.1.1:25: timed out after 5000 ms
//   no data from 127.0.0.1:25 within 5000 ms

constexpr int kNoTimeout = -1;

struct TlsOptions;
class TlsChannel;

class SocketError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A wait ran out of time (connect, read or write).
class SocketTimeoutError : public SocketError
{
public:
    using SocketError::SocketError;
};

// The peer closed the connection (or shutdown() was called) before the data asked for arrived.
class SocketClosedError : public SocketError
{
public:
    using SocketError::SocketError;
};

// Resolves `host` to a dotted IPv4 address; a dotted address is returned as it is, without a
// lookup. Throws SocketError carrying the resolver's own text.
std::string ResolveIPv4(const std::string& host);

// The local computer's host name (gethostname).
std::string LocalHostName();

// The first IPv4 address of the local host name, dotted; "127.0.0.1" when it does not resolve.
std::string LocalIPv4Address();

// A TCP client connection with a read buffer, in the clear or inside TLS (startTls, Tls.h).
//
// Threads: one thread may read (readLine/readSome/readExactly) while others write; write() is
// serialised internally, so whole calls never interleave on the wire. shutdown() may be called
// from any thread and makes a blocked reader return (SocketClosedError, or an empty readSome)
// at once. connect(), startTls() and close() must not run while another thread uses the socket.
class TcpSocket
{
public:
    static constexpr std::size_t kDefaultMaxLine = 64 * 1024;

    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves `host` and connects to `port`, waiting at most `timeoutMs` for the connection.
    // Closes any previous connection first.
    void connect(const std::string& host, int port, int timeoutMs);
    bool isOpen() const { return m_fd.load() >= 0; }

    // The host and port given to the last connect() ("host:port"), for messages.
    const std::string& peerName() const { return m_peerName; }

    // Runs a TLS client handshake on the open connection, naming and verifying `serverName` as
    // `options` say, within `timeoutMs`; from then on every read and write goes through TLS.
    // Refused (SocketError) when bytes already wait unread, since they came in the clear. Throws
    // TlsError for a failed handshake or a certificate that is not accepted, SocketTimeoutError
    // and SocketClosedError as the other calls do; after a failure the connection is shut down,
    // so nothing more goes out in the clear.
    void startTls(const TlsOptions& options, const std::string& serverName, int timeoutMs);
    bool isTls() const { return m_tls != nullptr; }
    // The TLS version in use ("TLSv1.3"), empty in the clear.
    std::string tlsProtocol() const;
    // The peer's certificate as the last startTls() received it, kept when the handshake failed
    // on it (so a refusal can name what was refused); nothing when no certificate came. A new
    // connect() forgets it.
    const std::optional<TlsPeerCertificate>& peerCertificate() const;

    // One line without its LF and an optional CR before it. Throws SocketTimeoutError when the
    // whole line has not arrived within `timeoutMs`, SocketClosedError when the connection ends
    // first (a final line without LF is not returned: it counts as cut off), and SocketError
    // when the line grows beyond `maxLength` bytes.
    std::string readLine(int timeoutMs, std::size_t maxLength = kDefaultMaxLine);

    // Up to `maxBytes` bytes: what is buffered, else what one receive brings. An empty result
    // means the peer closed the connection in order. Throws SocketTimeoutError when nothing
    // arrives within `timeoutMs`.
    std::string readSome(std::size_t maxBytes, int timeoutMs);

    // Exactly `count` bytes within `timeoutMs`; SocketClosedError when the connection ends first.
    std::string readExactly(std::size_t count, int timeoutMs);

    // Bytes received but not yet taken by a read.
    std::size_t bufferedBytes() const { return m_buffer.size() - m_bufferPos; }

    // Sends all of `data` within `timeoutMs`.
    void write(const std::string& data, int timeoutMs);

    // Ends both directions of the connection without releasing the descriptor; safe from any
    // thread. Readers and writers blocked on the socket return at once.
    void shutdown();

    // Releases the descriptor and the buffer. Errors are ignored. Idempotent.
    void close();

private:
    // Waits until the socket is readable and appends what one receive brings to the buffer.
    // Returns false on an orderly close. `deadlineMs` is a steady-clock time or negative.
    bool fill(long long deadlineMs, int timeoutMs);
    bool fillTls(char* chunk, std::size_t size, long long deadlineMs, int timeoutMs);
    void writeTls(const std::string& data, long long deadlineMs, int timeoutMs);

    std::atomic<int> m_fd{-1};
    std::unique_ptr<TlsChannel> m_tls;
    std::optional<TlsPeerCertificate> m_peerCertificate;
    std::string m_peerName;
    std::string m_buffer;
    std::size_t m_bufferPos = 0;
    std::mutex m_writeMutex;
};

// A UDP socket for sending datagrams (syslog). The socket is created by the constructor.
class UdpSocket
{
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Resolves `host` and sends `datagram` as one datagram to `port`. Nothing is received.
    void sendTo(const std::string& host, int port, const std::string& datagram);
    void close();

private:
    int m_fd = -1;
};
