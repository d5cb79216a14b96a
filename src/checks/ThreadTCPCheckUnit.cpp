#include "checks/ThreadTCPCheckUnit.h"

#include "core/langLibrary.h"

#include <chrono>

namespace {

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The time left until `deadlineMs`, at least 1 ms so a last wait still looks at the socket.
int remainingMs(long long deadlineMs)
{
    const long long left = deadlineMs - steadyNowMs();
    return left < 1 ? 1 : static_cast<int>(left);
}

} // namespace

ThreadTCPCheck::ThreadTCPCheck(const ThreadCheckArgs& args, const TcpCheckArgs& tcp)
    : ThreadCheck(args), Send(tcp.Send), Expect(tcp.Expect), Socket(std::make_unique<TcpSocket>())
{
}

ThreadTCPCheck::~ThreadTCPCheck() = default;

QString ThreadTCPCheck::Kind() const
{
    return QString::fromLatin1(lang::KindTCP);
}

bool ThreadTCPCheck::Probe()
{
    Reply.clear();
    if (Send.contains(QLatin1Char('\r')) || Send.contains(QLatin1Char('\n')))
        throw std::runtime_error("the text to send must be one line, without CR or LF");
    const long long deadline = steadyNowMs() + Timeout;
    Socket->connect(Host.toStdString(), Port, Timeout);
    if (!Send.isEmpty())
        Socket->write(Send.toStdString() + "\r\n", remainingMs(deadline));
    if (!Expect.isEmpty())
        readFirstReply(deadline);
    return true;
}

void ThreadTCPCheck::readFirstReply(long long deadlineMs)
{
    const std::string expect = Expect.toStdString();
    const std::string peer = Socket->peerName();
    auto notFound = [&](const std::string& why) {
        return std::runtime_error(("\"" + Expect + "\" not found in the reply " +
                                   QuoteReceived(QString::fromUtf8(Reply.data(), qsizetype(Reply.size()))))
                                      .toStdString() +
                                  why);
    };
    std::string received;
    for (;;) {
        std::string bytes;
        try {
            bytes = Socket->readSome(kMaxReply - received.size(), remainingMs(deadlineMs));
        } catch (const SocketTimeoutError&) {
            if (received.empty())
                throw SocketTimeoutError("no reply from " + peer + " within " + std::to_string(Timeout) +
                                         " ms");
            throw notFound(" (nothing more within " + std::to_string(Timeout) + " ms)");
        }
        if (bytes.empty()) {
            if (received.empty())
                throw SocketClosedError("connection closed by " + peer + " without a reply");
            throw notFound(" (connection closed)");
        }
        received += bytes;
        // The first reply ends with its first line; its CR LF is not part of it.
        const std::size_t lineEnd = received.find('\n');
        Reply = received.substr(0, lineEnd);
        if (lineEnd != std::string::npos && !Reply.empty() && Reply.back() == '\r')
            Reply.pop_back();
        if (Reply.find(expect) != std::string::npos)
            return;
        if (lineEnd != std::string::npos)
            throw notFound(std::string());
        if (received.size() >= kMaxReply)
            throw notFound(" (no line end in the first " + std::to_string(kMaxReply) + " bytes)");
        if (steadyNowMs() >= deadlineMs)
            throw notFound(" (nothing more within " + std::to_string(Timeout) + " ms)");
    }
}

void ThreadTCPCheck::CloseClient()
{
    if (Socket)
        Socket->close();
    Socket.reset();
}
