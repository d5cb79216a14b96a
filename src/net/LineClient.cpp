#include "net/LineClient.h"

#include <chrono>

namespace {

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void LineClient::connect(const std::string& host, int port, int timeoutMs)
{
    m_pending.clear();
    m_broken = false;
    m_replyTimeoutMs = timeoutMs;
    m_socket.connect(host, port, timeoutMs);
}

void LineClient::startTls(const TlsOptions& options, const std::string& serverName)
{
    if (!m_pending.empty()) {
        m_broken = true;
        m_socket.shutdown();
        throw ProtocolError("unexpected data from " + peerName() + " before the TLS handshake");
    }
    try {
        m_socket.startTls(options, serverName, m_replyTimeoutMs);
    } catch (...) {
        m_broken = true;
        throw;
    }
}

void LineClient::sendLine(const std::string& line)
{
    if (line.find_first_of("\r\n") != std::string::npos)
        throw ProtocolError("a command line must not contain CR or LF");
    try {
        m_socket.write(line + "\r\n", m_replyTimeoutMs);
    } catch (...) {
        m_broken = true;
        throw;
    }
}

LineReply LineClient::readReply(ReplyParser& parser)
{
    try {
        return readReplyOnce(parser);
    } catch (...) {
        m_broken = true;
        throw;
    }
}

LineReply LineClient::readReplyOnce(ReplyParser& parser)
{
    parser.reset();
    const long long deadline = m_replyTimeoutMs < 0 ? -1 : steadyNowMs() + m_replyTimeoutMs;
    for (;;) {
        const std::size_t used = parser.feed(m_pending);
        m_pending.erase(0, used);
        if (parser.complete())
            return parser.reply();

        int left = kNoTimeout;
        if (deadline >= 0) {
            const long long remaining = deadline - steadyNowMs();
            if (remaining <= 0)
                throw SocketTimeoutError("no complete reply from " + peerName() + " within " +
                                         std::to_string(m_replyTimeoutMs) + " ms");
            left = static_cast<int>(remaining);
        }
        std::string bytes;
        try {
            bytes = m_socket.readSome(16 * 1024, left);
        } catch (const SocketTimeoutError&) {
            throw SocketTimeoutError("no complete reply from " + peerName() + " within " +
                                     std::to_string(m_replyTimeoutMs) + " ms");
        }
        if (bytes.empty()) {
            if (parser.hasPartialLine() || !parser.reply().lines.empty())
                throw SocketClosedError("connection closed by " + peerName() + " in the middle of a reply");
            throw SocketClosedError("connection closed by " + peerName() + " without a reply");
        }
        m_pending += bytes;
    }
}

void LineClient::requireNothingUnread()
{
    std::string early = m_pending;
    if (m_socket.isOpen()) {
        try {
            early += m_socket.readSome(4 * 1024, 0);
        } catch (const SocketTimeoutError&) {
            // nothing has arrived
        } catch (const SocketError&) {
            // a failed connection shows when the command is sent or its reply read
        }
    }
    if (early.empty())
        return;
    m_broken = true;
    throw ProtocolError(peerName() + " sent \"" + Printable(early, 80) +
                        "\" when no reply was due; its replies are out of step with the commands");
}

LineReply LineClient::command(const std::string& line, ReplyParser& parser)
{
    if (!parser.repliesAreTagged())
        requireNothingUnread();
    sendLine(line);
    return readReply(parser);
}

void LineClient::close()
{
    m_socket.close();
    m_pending.clear();
    m_broken = false;
}
