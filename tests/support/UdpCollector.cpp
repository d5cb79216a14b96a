#include "support/UdpCollector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

UdpCollector::UdpCollector()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw std::runtime_error(std::string("UdpCollector: socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(m_fd);
        throw std::runtime_error(std::string("UdpCollector: bind: ") + std::strerror(error));
    }
    m_port = ntohs(address.sin_port);
}

UdpCollector::~UdpCollector()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpCollector::receive(std::string& datagram, int timeoutMs)
{
    pollfd p{};
    p.fd = m_fd;
    p.events = POLLIN;
    int ready = 0;
    do {
        ready = ::poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    std::vector<char> buffer(65536);
    const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
    if (n < 0)
        return false;
    datagram.assign(buffer.data(), static_cast<std::size_t>(n));
    return true;
}
