#include "support/CountingHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Connection
{
    int fd = -1;
    std::string in;
    bool answered = false;
    Clock::time_point answerAt;
};

const char kAnswer[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

} // namespace

CountingHttpServer::CountingHttpServer(int delayMs) : m_delayMs(delayMs)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listen, 4096) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("CountingHttpServer: cannot listen");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { loop(); });
}

CountingHttpServer::~CountingHttpServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::map<std::string, int> CountingHttpServer::counts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

int CountingHttpServer::total() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_total;
}

void CountingHttpServer::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_counts.clear();
    m_total = 0;
}

void CountingHttpServer::loop()
{
    std::vector<Connection> connections;
    std::vector<pollfd> fds;
    while (!m_stop) {
        fds.clear();
        fds.push_back({m_listen, POLLIN, 0});
        for (const Connection& c : connections)
            fds.push_back({c.fd, static_cast<short>(c.answered ? 0 : POLLIN), 0});
        int timeout = 50;
        const auto now = Clock::now();
        for (const Connection& c : connections) {
            if (c.answered) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(c.answerAt - now).count();
                timeout = std::max(0, std::min<int>(timeout, static_cast<int>(wait)));
            }
        }
        ::poll(fds.data(), fds.size(), timeout);
        if (fds[0].revents & POLLIN) {
            for (;;) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                connections.push_back({fd, {}, false, {}});
            }
        }
        for (std::size_t i = 1; i < fds.size() && i - 1 < connections.size(); ++i) {
            Connection& c = connections[i - 1];
            if (c.answered || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(c.fd, buffer, sizeof(buffer));
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.in.append(buffer, static_cast<std::size_t>(n));
            if (c.in.find("\r\n\r\n") == std::string::npos)
                continue;
            // "GET /path HTTP/1.1": the path between the first two blanks.
            const std::size_t from = c.in.find(' ');
            const std::size_t to = from == std::string::npos ? from : c.in.find(' ', from + 1);
            const std::string path =
                to == std::string::npos ? std::string() : c.in.substr(from + 1, to - from - 1);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_counts[path];
                ++m_total;
            }
            c.answered = true;
            c.answerAt = Clock::now() + std::chrono::milliseconds(m_delayMs);
        }
        const auto later = Clock::now();
        for (Connection& c : connections) {
            if (c.fd >= 0 && c.answered && later >= c.answerAt) {
                ssize_t sent = ::send(c.fd, kAnswer, sizeof(kAnswer) - 1, MSG_NOSIGNAL);
                (void)sent;
                ::close(c.fd);
                c.fd = -1;
            }
        }
        std::vector<Connection> open;
        open.reserve(connections.size());
        for (Connection& c : connections) {
            if (c.fd >= 0)
                open.push_back(std::move(c));
        }
        connections.swap(open);
    }
    for (Connection& c : connections)
        ::close(c.fd);
}
