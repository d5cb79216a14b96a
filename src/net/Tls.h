#pragma once

#include "net/Socket.h"
#include "net/TlsPeerCertificate.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// TLS for the socket layer, on OpenSSL 3. A TcpSocket turns into a TLS connection with
// TcpSocket::startTls(): right after connecting (implicit TLS, e.g. HTTPS or IMAP on 993) or after
// a protocol command asked for it (STARTTLS). The client offers TLS 1.2 or newer, names the server
// (SNI) and, unless switched off, verifies the certificate chain against the system's trust store
// (plus an optional file of extra trust anchors) and the certificate against the server's name.

// The well-known ports on which these protocols run inside TLS from the first byte.
constexpr int kSmtpsPort = 465;
constexpr int kImapsPort = 993;
constexpr int kPop3sPort = 995;
constexpr int kFtpsPort = 990;

// How the peer's certificate is judged.
struct TlsOptions
{
    // A PEM file of extra trust anchors (an internal CA), used beside the system's store. Empty
    // for none. A file that cannot be read fails every connection that needs it.
    std::string caFile;
    // False accepts any certificate (the connection is still encrypted); the expiry warning is
    // then off as well.
    bool verify = true;
    // Greater than 0: a verified certificate that ends within that many days is refused with a
    // reason that names its end. 0 (or less) switches this off.
    int expiryWarnDays = 0;
};

enum class TlsFailureKind
{
    Setup,       // the local side could not start (unreadable CA file, library failure)
    Handshake,   // the peer broke the handshake or does not speak TLS 1.2 or newer
    Certificate, // the certificate chain, its dates or its names were not accepted
    Expiring,    // the certificate is valid but ends within the warning period
};

// A TLS failure as a value: what kind it is and a reason a person can act on, such as
// "certificate has expired (it ended 2024-03-01 12:00:00 UTC)", "unable to get local issuer
// certificate", "host name mismatch (the certificate is for other.test)" or "wrong version number".
struct TlsFailure
{
    TlsFailureKind kind = TlsFailureKind::Handshake;
    std::string reason;
};

// Thrown by the socket layer for a TLS failure; the message puts the reason into context
// ("certificate of mail.example not accepted: certificate has expired (...)"). Time-outs and
// closed connections during a handshake are SocketTimeoutError and SocketClosedError as usual.
class TlsError : public SocketError
{
public:
    TlsError(TlsFailure failure, const std::string& message);
    const TlsFailure& failure() const { return m_failure; }

private:
    TlsFailure m_failure;
};

// One TLS client session over a connected, non-blocking socket. It never waits: each operation
// does what it can and says what it needs (TcpSocket does the bounded waiting). Its operations
// may be called from several threads; they are serialised inside.
class TlsChannel
{
public:
    enum class Status
    {
        Done,
        WantRead,  // call again once the socket is readable
        WantWrite, // call again once the socket is writable
        Closed,    // the peer ended the connection (close_notify, end of stream or a reset)
        Failed,    // see failure()
    };

    // Throws TlsError (Setup) when the context cannot be made, e.g. an unreadable CA file.
    TlsChannel(int fd, const TlsOptions& options, const std::string& serverName);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    Status handshake();
    // After a Done handshake: the expiry rule of the options; a failure when it is broken.
    std::optional<TlsFailure> checkExpiry() const;
    Status read(char* buffer, std::size_t size, std::size_t* received);
    Status write(const char* data, std::size_t size, std::size_t* sent);
    // Sends close_notify once, without waiting; nothing after a failure. Never throws.
    void closeNotify();

    // What went wrong after Failed; the system error (errno) behind Closed or Failed, or 0.
    const TlsFailure& failure() const { return m_failure; }
    int systemError() const { return m_systemError; }
    // The protocol version negotiated, e.g. "TLSv1.3"; empty before the handshake.
    std::string protocol() const;
    // The peer's leaf certificate once the handshake has received it, also when the handshake
    // then failed because the certificate was not accepted; nothing before that.
    std::optional<TlsPeerCertificate> peerCertificate() const;

private:
    struct State;
    Status judge(int result, bool handshaking);

    std::unique_ptr<State> m_state;
    std::string m_serverName;
    TlsOptions m_options;
    TlsFailure m_failure;
    int m_systemError = 0;
    bool m_fatal = false;
};
