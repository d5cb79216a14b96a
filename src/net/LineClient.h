#pragma once

#include "net/LineReply.h"
#include "net/Socket.h"
#include "net/Tls.h"

#include <optional>
#include <string>

// The request/reply engine shared by the line protocols (SMTP, POP3, IMAP, FTP): one TCP
// connection, commands sent as text + CR LF, replies read until the protocol's parser says they
// are complete. Every wait is bounded: the connection attempt by the time-out given to connect(),
// each reply by the reply time-out (the same value unless set otherwise), sending likewise.
//
// Errors: SocketError (resolution, refused, timed out, closed) and ProtocolError (malformed or
// oversized reply), both with messages naming the server.
class LineClient
{
public:
    LineClient() = default;

    // Connects to host:port within `timeoutMs`; later replies wait at most `timeoutMs` too.
    void connect(const std::string& host, int port, int timeoutMs);
    // True while the connection is open and still in step with the server: after a time-out, a
    // closed connection or a malformed reply it is false (the connection is left for close()).
    bool isConnected() const { return m_socket.isOpen() && !m_broken; }
    // Starts TLS on the open connection: right after connect() for implicit TLS, or once the
    // server has accepted the protocol's STARTTLS command. The handshake waits at most the reply
    // time-out. Bytes the server sent beyond the last reply are refused (ProtocolError): they
    // came in the clear and must not be taken as if they had come inside TLS. Any failure leaves
    // the client out of step, so nothing more is sent.
    void startTls(const TlsOptions& options, const std::string& serverName);
    bool isTls() const { return m_socket.isTls(); }
    // The server's certificate as the last TLS handshake received it (see TcpSocket).
    const std::optional<TlsPeerCertificate>& peerCertificate() const { return m_socket.peerCertificate(); }
    void setReplyTimeout(int timeoutMs) { m_replyTimeoutMs = timeoutMs; }
    int replyTimeout() const { return m_replyTimeoutMs; }
    const std::string& peerName() const { return m_socket.peerName(); }

    // Sends `line` followed by CR LF. A line holding CR or LF itself is refused (ProtocolError),
    // so no value can smuggle in a second command.
    void sendLine(const std::string& line);

    // Reads one reply with `parser` (which is reset first) and returns it.
    LineReply readReply(ReplyParser& parser);

    // sendLine() then readReply(). Unless the parser's replies are tagged, the server must not
    // have sent anything that is still unread: such bytes would be taken for the reply to
    // `line` although they came before it (a reply sent twice, or out of turn), so they end the
    // dialogue with a ProtocolError instead and nothing is sent.
    LineReply command(const std::string& line, ReplyParser& parser);

    // Closes the connection; errors are ignored. Bytes not yet read are dropped.
    void close();

private:
    LineReply readReplyOnce(ReplyParser& parser);
    // Throws ProtocolError when bytes from the server wait unread (kept or already arrived).
    void requireNothingUnread();

    TcpSocket m_socket;
    std::string m_pending; // received bytes beyond the last reply
    bool m_broken = false;
    int m_replyTimeoutMs = 10000;
};
