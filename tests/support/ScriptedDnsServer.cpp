#include "support/ScriptedDnsServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReadTimeoutMs = 5000;

// Reads the question's id, name and type; false for a message too short or garbled to hold them.
bool readQuestion(const std::string& m, ScriptedDnsServer::Question& q)
{
    if (m.size() < 12)
        return false;
    q.id = static_cast<std::uint16_t>((static_cast<unsigned char>(m[0]) << 8) |
                                      static_cast<unsigned char>(m[1]));
    std::size_t at = 12;
    std::string name;
    while (at < m.size()) {
        const unsigned length = static_cast<unsigned char>(m[at++]);
        if (length == 0)
            break;
        if (length > 63 || at + length > m.size())
            return false;
        name += (name.empty() ? "" : ".") + m.substr(at, length);
        at += length;
    }
    if (at + 4 > m.size())
        return false;
    q.name = name;
    q.type = (static_cast<unsigned char>(m[at]) << 8) | static_cast<unsigned char>(m[at + 1]);
    q.message = m;
    return true;
}

// Waits until `fd` is readable, the wake pipe is, or `timeoutMs` passes; true when `fd` is.
bool readable(int fd, int wakeFd, int timeoutMs)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int rc = ::poll(fds, 2, timeoutMs);
    return rc > 0 && (fds[1].revents & POLLIN) == 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool readExactly(int fd, int wakeFd, std::size_t count, std::string& out)
{
    out.clear();
    while (out.size() < count) {
        if (!readable(fd, wakeFd, kReadTimeoutMs))
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), 0);
        if (n <= 0)
            return false;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

void sendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

ScriptedDnsServer::ScriptedDnsServer(Responder udp, Responder tcp)
    : m_udp(std::move(udp)), m_tcp(std::move(tcp))
{
    if (::pipe(m_wakePipe) != 0)
        throw std::runtime_error("pipe failed");
    // The same port for both: bind UDP to a port the system picks, then TCP to that one (retried
    // a few times in the rare case another program holds it for TCP).
    for (int attempt = 0; attempt < 20 && m_tcpFd < 0; ++attempt) {
        m_udpFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_udpFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(m_udpFd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener, 8) == 0) {
            m_tcpFd = listener;
        } else {
            ::close(listener);
            ::close(m_udpFd);
            m_udpFd = -1;
        }
    }
    if (m_tcpFd < 0)
        throw std::runtime_error("no port free for UDP and TCP");
    m_thread = std::thread([this] { serve(); });
}

ScriptedDnsServer::~ScriptedDnsServer()
{
    const char stop = 's';
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &stop, 1);
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_udpFd, m_tcpFd, m_wakePipe[0], m_wakePipe[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ScriptedDnsServer::serve()
{
    for (;;) {
        pollfd fds[3] = {{m_udpFd, POLLIN, 0}, {m_tcpFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        const int rc = ::poll(fds, 3, 1000);
        if (rc < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
        if (fds[0].revents & POLLIN) {
            char buffer[65536];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n =
                ::recvfrom(m_udpFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            Question q;
            if (n > 0 && readQuestion(std::string(buffer, static_cast<std::size_t>(n)), q)) {
                ++m_udpQuestions;
                const std::optional<std::string> answer = m_udp ? m_udp(q) : std::nullopt;
                if (answer)
                    ::sendto(m_udpFd, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr*>(&from),
                             length);
            }
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(m_tcpFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                serveTcp(fd);
                ::close(fd);
            }
        }
    }
}

void ScriptedDnsServer::serveTcp(int fd)
{
    for (;;) {
        std::string prefix;
        std::string message;
        if (!readExactly(fd, m_wakePipe[0], 2, prefix))
            return;
        const std::size_t length =
            (static_cast<unsigned char>(prefix[0]) << 8) | static_cast<unsigned char>(prefix[1]);
        if (!readExactly(fd, m_wakePipe[0], length, message))
            return;
        Question q;
        if (!readQuestion(message, q))
            return;
        q.tcp = true;
        ++m_tcpQuestions;
        const std::optional<std::string> answer = m_tcp ? m_tcp(q) : std::nullopt;
        if (!answer || answer->empty())
            return;
        sendAll(fd, dnswire::U16(static_cast<unsigned>(answer->size())) + *answer);
    }
}

namespace dnswire {

std::string U16(unsigned value)
{
    return std::string{static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

std::string U32(std::uint32_t value)
{
    return U16(value >> 16) + U16(value & 0xffff);
}

std::string Name(const std::string& dotted)
{
    std::string out;
    std::size_t start = 0;
    while (start < dotted.size()) {
        std::size_t dot = dotted.find('.', start);
        if (dot == std::string::npos)
            dot = dotted.size();
        out += static_cast<char>(dot - start);
        out += dotted.substr(start, dot - start);
        start = dot + 1;
    }
    return out + '\0';
}

std::string Header(std::uint16_t id, std::uint16_t flags, unsigned questions, unsigned answers,
                   unsigned authority, unsigned additional)
{
    return U16(id) + U16(flags) + U16(questions) + U16(answers) + U16(authority) + U16(additional);
}

std::string QuestionSection(const std::string& encodedName, int type)
{
    return encodedName + U16(static_cast<unsigned>(type)) + U16(1);
}

std::string Record(const std::string& encodedOwner, int type, const std::string& rdata, std::uint32_t ttl)
{
    return encodedOwner + U16(static_cast<unsigned>(type)) + U16(1) + U32(ttl) +
           U16(static_cast<unsigned>(rdata.size())) + rdata;
}

std::string IPv4(const std::string& dotted)
{
    in_addr address{};
    ::inet_pton(AF_INET, dotted.c_str(), &address);
    return std::string(reinterpret_cast<const char*>(&address), 4);
}

std::string Answer(const ScriptedDnsServer::Question& q, const std::vector<std::string>& records,
                   std::uint16_t flags)
{
    std::string m =
        Header(q.id, flags, 1, static_cast<unsigned>(records.size())) + QuestionSection(Name(q.name), q.type);
    for (const std::string& r : records)
        m += r;
    return m;
}

} // namespace dnswire
