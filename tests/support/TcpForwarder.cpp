#include "support/TcpForwarder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Moves what `from` has to `to`; false when `from` closed or either side failed.
bool pump(int from, int to)
{
    char buffer[16384];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    ssize_t sent = 0;
    while (sent < n) {
        const ssize_t k = ::send(to, buffer + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
        if (k <= 0)
            return false;
        sent += k;
    }
    return true;
}

} // namespace

TcpForwarder::TcpForwarder(int targetPort) : m_targetPort(targetPort)
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("TcpForwarder: cannot bind a loopback port");
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    if (::pipe2(m_wakePipe, O_CLOEXEC) != 0)
        throw std::runtime_error("TcpForwarder: no pipe");
}

void TcpForwarder::setDown(bool down)
{
    m_down = down;
    if (!m_thread.joinable())
        return;
    // A wake-up that is not the stop, then two rounds begun after it: the state is in force.
    const int round = m_rounds.load();
    const char byte = 1;
    const ssize_t written = ::write(m_wakePipe[1], &byte, 1);
    static_cast<void>(written);
    while (m_rounds.load() < round + 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TcpForwarder::~TcpForwarder()
{
    const char byte = 0;
    const ssize_t written = ::write(m_wakePipe[1], &byte, 1);
    static_cast<void>(written);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

void TcpForwarder::start()
{
    if (::listen(m_listenFd, 16) != 0)
        throw std::runtime_error("TcpForwarder: cannot listen");
    m_thread = std::thread([this] { relay(); });
}

void TcpForwarder::relay()
{
    std::vector<std::pair<int, int>> pairs; // client, target
    for (;;) {
        ++m_rounds;
        if (m_down) {
            for (const auto& p : pairs) {
                ::close(p.first);
                ::close(p.second);
            }
            pairs.clear();
        }
        std::vector<pollfd> fds{{m_wakePipe[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        for (const auto& p : pairs) {
            fds.push_back({p.first, POLLIN, 0});
            fds.push_back({p.second, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 1000) < 0)
            break;
        if (fds[0].revents) {
            char byte = 0;
            if (::read(m_wakePipe[0], &byte, 1) != 1 || byte == 0)
                break;
            continue;
        }
        // Pairs accepted below were not polled this round.
        const std::size_t polled = pairs.size();
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0 && m_down) {
                ::close(client);
            } else if (client >= 0) {
                const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in address = loopback(m_targetPort);
                if (target >= 0 &&
                    ::connect(target, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                    pairs.emplace_back(client, target);
                    ++m_accepted;
                } else {
                    ::close(client);
                    if (target >= 0)
                        ::close(target);
                }
            }
        }
        std::vector<std::pair<int, int>> open(pairs.begin() + static_cast<std::ptrdiff_t>(polled),
                                              pairs.end());
        for (std::size_t i = 0; i < polled; ++i) {
            const pollfd& a = fds[2 + 2 * i];
            const pollfd& b = fds[3 + 2 * i];
            bool alive = true;
            if (a.revents)
                alive = pump(a.fd, b.fd);
            if (alive && b.revents)
                alive = pump(b.fd, a.fd);
            if (alive) {
                open.push_back(pairs[i]);
            } else {
                ::close(pairs[i].first);
                ::close(pairs[i].second);
            }
        }
        pairs = std::move(open);
    }
    for (const auto& p : pairs) {
        ::close(p.first);
        ::close(p.second);
    }
}
