#include "net/Socket.h"

#include "net/Tls.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReceiveChunk = 16 * 1024;

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long long deadlineFor(int timeoutMs)
{
    return timeoutMs < 0 ? -1 : steadyNowMs() + timeoutMs;
}

// Milliseconds left until `deadline` for poll(): -1 without a deadline, never below 0.
int remainingMs(long long deadline)
{
    if (deadline < 0)
        return -1;
    const long long left = deadline - steadyNowMs();
    if (left <= 0)
        return 0;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

// The system's text for an errno value, starting with a lower-case letter ("connection refused").
std::string errorText(int error)
{
    char buffer[256] = {};
    const char* text = strerror_r(error, buffer, sizeof buffer);
    std::string result = text ? text : "unknown error";
    if (!result.empty() && result[0] >= 'A' && result[0] <= 'Z')
        result[0] = static_cast<char>(result[0] - 'A' + 'a');
    return result;
}

// Waits for `events` on `fd` until `deadline`. Returns false on time-out.
bool waitFor(int fd, short events, long long deadline)
{
    for (;;) {
        pollfd p{};
        p.fd = fd;
        p.events = events;
        const int rc = ::poll(&p, 1, remainingMs(deadline));
        if (rc > 0)
            return true;
        if (rc == 0) {
            if (deadline >= 0 && steadyNowMs() >= deadline)
                return false;
            continue;
        }
        if (errno == EINTR)
            continue;
        throw SocketError("waiting on a socket failed: " + errorText(errno));
    }
}

sockaddr_in socketAddress(const std::string& host, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    const std::string dotted = ResolveIPv4(host);
    if (::inet_pton(AF_INET, dotted.c_str(), &address.sin_addr) != 1)
        throw SocketError("cannot resolve \"" + host + "\": not an IPv4 address");
    return address;
}

void checkPort(const std::string& host, int port)
{
    if (port < 1 || port > 65535)
        throw SocketError("cannot connect to " + host + ":" + std::to_string(port) + ": invalid port");
}

} // namespace

std::string ResolveIPv4(const std::string& host)
{
    if (host.empty())
        throw SocketError("cannot resolve an empty host name");
    in_addr parsed{};
    if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1)
        return host;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        const std::string why = rc == EAI_SYSTEM ? errorText(errno) : std::string(::gai_strerror(rc));
        throw SocketError("cannot resolve \"" + host + "\": " + why);
    }
    std::string dotted;
    for (addrinfo* entry = result; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || !entry->ai_addr)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, sizeof address);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) {
            dotted = text;
            break;
        }
    }
    ::freeaddrinfo(result);
    if (dotted.empty())
        throw SocketError("cannot resolve \"" + host + "\": no IPv4 address");
    return dotted;
}

std::string LocalHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        throw SocketError("cannot read the local host name: " + errorText(errno));
    return name;
}

std::string LocalIPv4Address()
{
    try {
        return ResolveIPv4(LocalHostName());
    } catch (const SocketError&) {
        return "127.0.0.1";
    }
}

// ---------------------------------------------------------------------------------------------

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket()
{
    close();
}

void TcpSocket::connect(const std::string& host, int port, int timeoutMs)
{
    close();
    m_peerCertificate.reset();
    m_peerName = host + ":" + std::to_string(port);
    checkPort(host, port);
    const sockaddr_in address = socketAddress(host, port);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        throw SocketError("cannot create a TCP socket: " + errorText(errno));
    const long long deadline = deadlineFor(timeoutMs);

    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        const int error = errno;
        ::close(fd);
        throw SocketError("cannot connect to " + m_peerName + ": " + errorText(error));
    }
    if (rc != 0) {
        bool ready = false;
        try {
            ready = waitFor(fd, POLLOUT, deadline);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (!ready) {
            ::close(fd);
            throw SocketTimeoutError("cannot connect to " + m_peerName + ": timed out after " +
                                     std::to_string(timeoutMs) + " ms");
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            ::close(fd);
            throw SocketError("cannot connect to " + m_peerName + ": " + errorText(error));
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_buffer.clear();
    m_bufferPos = 0;
    m_fd.store(fd);
}

void TcpSocket::startTls(const TlsOptions& options, const std::string& serverName, int timeoutMs)
{
    const int fd = m_fd.load();
    if (fd < 0)
        throw SocketClosedError("not connected to " + m_peerName);
    if (m_tls)
        throw SocketError("the connection to " + m_peerName + " already runs TLS");
    if (bufferedBytes() > 0) {
        shutdown();
        throw SocketError("unexpected data from " + m_peerName + " before the TLS handshake");
    }
    const long long deadline = deadlineFor(timeoutMs);
    m_peerCertificate.reset();
    std::unique_ptr<TlsChannel> channel;
    try {
        channel = std::make_unique<TlsChannel>(fd, options, serverName);
        for (;;) {
            const TlsChannel::Status status = channel->handshake();
            if (status == TlsChannel::Status::Done)
                break;
            if (status == TlsChannel::Status::WantRead || status == TlsChannel::Status::WantWrite) {
                const short events = status == TlsChannel::Status::WantRead ? POLLIN : POLLOUT;
                if (!waitFor(fd, events, deadline))
                    throw SocketTimeoutError("TLS handshake with " + m_peerName + ": no answer within " +
                                             std::to_string(timeoutMs) + " ms");
                continue;
            }
            if (status == TlsChannel::Status::Closed)
                throw SocketClosedError("connection closed by " + m_peerName + " during the TLS handshake");
            const TlsFailure& failure = channel->failure();
            if (failure.kind == TlsFailureKind::Certificate)
                throw TlsError(failure, "certificate of " + serverName + " not accepted: " + failure.reason);
            throw TlsError(failure, "TLS handshake with " + m_peerName + " failed: " + failure.reason);
        }
        m_peerCertificate = channel->peerCertificate();
        if (const std::optional<TlsFailure> ending = channel->checkExpiry())
            throw TlsError(*ending, "certificate of " + serverName + " not accepted: " + ending->reason);
        m_tls = std::move(channel);
    } catch (...) {
        if (channel && !m_peerCertificate)
            m_peerCertificate = channel->peerCertificate();
        shutdown();
        throw;
    }
}

const std::optional<TlsPeerCertificate>& TcpSocket::peerCertificate() const
{
    return m_peerCertificate;
}

std::string TcpSocket::tlsProtocol() const
{
    return m_tls ? m_tls->protocol() : std::string();
}

bool TcpSocket::fill(long long deadline, int timeoutMs)
{
    char chunk[kReceiveChunk];
    if (m_tls)
        return fillTls(chunk, sizeof chunk, deadline, timeoutMs);
    for (;;) {
        const int fd = m_fd.load();
        if (fd < 0)
            throw SocketClosedError("not connected to " + m_peerName);
        if (!waitFor(fd, POLLIN, deadline))
            throw SocketTimeoutError("timed out after " + std::to_string(timeoutMs) +
                                     " ms waiting for data from " + m_peerName);
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_buffer.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0)
            return false;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;
        if (errno == ECONNRESET)
            throw SocketClosedError("connection reset by " + m_peerName);
        throw SocketError("receiving from " + m_peerName + " failed: " + errorText(errno));
    }
}

bool TcpSocket::fillTls(char* chunk, std::size_t size, long long deadline, int timeoutMs)
{
    for (;;) {
        const int fd = m_fd.load();
        if (fd < 0)
            throw SocketClosedError("not connected to " + m_peerName);
        std::size_t received = 0;
        const TlsChannel::Status status = m_tls->read(chunk, size, &received);
        switch (status) {
        case TlsChannel::Status::Done:
            m_buffer.append(chunk, received);
            return true;
        case TlsChannel::Status::WantRead:
        case TlsChannel::Status::WantWrite:
            if (!waitFor(fd, status == TlsChannel::Status::WantRead ? POLLIN : POLLOUT, deadline))
                throw SocketTimeoutError("timed out after " + std::to_string(timeoutMs) +
                                         " ms waiting for data from " + m_peerName);
            continue;
        case TlsChannel::Status::Closed:
            if (m_tls->systemError() == ECONNRESET)
                throw SocketClosedError("connection reset by " + m_peerName);
            return false;
        case TlsChannel::Status::Failed:
            throw TlsError(m_tls->failure(),
                           "TLS error on the connection with " + m_peerName + ": " + m_tls->failure().reason);
        }
    }
}

void TcpSocket::writeTls(const std::string& data, long long deadline, int timeoutMs)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int fd = m_fd.load();
        if (fd < 0)
            throw SocketClosedError("not connected to " + m_peerName);
        std::size_t written = 0;
        const TlsChannel::Status status = m_tls->write(data.data() + sent, data.size() - sent, &written);
        switch (status) {
        case TlsChannel::Status::Done:
            sent += written;
            continue;
        case TlsChannel::Status::WantRead:
        case TlsChannel::Status::WantWrite:
            if (!waitFor(fd, status == TlsChannel::Status::WantRead ? POLLIN : POLLOUT, deadline))
                throw SocketTimeoutError("timed out after " + std::to_string(timeoutMs) + " ms sending to " +
                                         m_peerName);
            continue;
        case TlsChannel::Status::Closed:
            throw SocketClosedError("connection closed by " + m_peerName);
        case TlsChannel::Status::Failed:
            throw TlsError(m_tls->failure(),
                           "TLS error on the connection with " + m_peerName + ": " + m_tls->failure().reason);
        }
    }
}

namespace {

void compact(std::string& buffer, std::size_t& position)
{
    if (position == buffer.size()) {
        buffer.clear();
        position = 0;
    } else if (position > 4096 && position > buffer.size() / 2) {
        buffer.erase(0, position);
        position = 0;
    }
}

} // namespace

std::string TcpSocket::readLine(int timeoutMs, std::size_t maxLength)
{
    compact(m_buffer, m_bufferPos);
    const long long deadline = deadlineFor(timeoutMs);
    std::size_t scanFrom = m_bufferPos;
    for (;;) {
        const std::size_t newline = m_buffer.find('\n', scanFrom);
        if (newline != std::string::npos) {
            std::size_t end = newline;
            if (end > m_bufferPos && m_buffer[end - 1] == '\r')
                --end;
            if (end - m_bufferPos > maxLength)
                break;
            std::string line = m_buffer.substr(m_bufferPos, end - m_bufferPos);
            m_bufferPos = newline + 1;
            return line;
        }
        // A trailing CR may still be followed by the LF, hence the one byte of room.
        if (m_buffer.size() - m_bufferPos > maxLength + 1)
            break;
        scanFrom = m_buffer.size();
        if (!fill(deadline, timeoutMs)) {
            if (m_buffer.size() > m_bufferPos)
                throw SocketClosedError("connection closed by " + m_peerName + " in the middle of a line");
            throw SocketClosedError("connection closed by " + m_peerName);
        }
    }
    // Drop what was read so memory stays bounded; the connection is no longer usable for lines.
    m_buffer.clear();
    m_bufferPos = 0;
    throw SocketError("line from " + m_peerName + " longer than " + std::to_string(maxLength) + " bytes");
}

std::string TcpSocket::readSome(std::size_t maxBytes, int timeoutMs)
{
    compact(m_buffer, m_bufferPos);
    if (maxBytes == 0)
        return {};
    if (bufferedBytes() == 0 && !fill(deadlineFor(timeoutMs), timeoutMs))
        return {};
    const std::size_t count = std::min(maxBytes, bufferedBytes());
    std::string bytes = m_buffer.substr(m_bufferPos, count);
    m_bufferPos += count;
    return bytes;
}

std::string TcpSocket::readExactly(std::size_t count, int timeoutMs)
{
    compact(m_buffer, m_bufferPos);
    const long long deadline = deadlineFor(timeoutMs);
    while (bufferedBytes() < count) {
        if (!fill(deadline, timeoutMs))
            throw SocketClosedError("connection closed by " + m_peerName + " after " +
                                    std::to_string(bufferedBytes()) + " of " + std::to_string(count) +
                                    " bytes");
    }
    std::string bytes = m_buffer.substr(m_bufferPos, count);
    m_bufferPos += count;
    return bytes;
}

void TcpSocket::write(const std::string& data, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    const long long deadline = deadlineFor(timeoutMs);
    if (m_tls) {
        writeTls(data, deadline, timeoutMs);
        return;
    }
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int fd = m_fd.load();
        if (fd < 0)
            throw SocketClosedError("not connected to " + m_peerName);
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline))
                throw SocketTimeoutError("timed out after " + std::to_string(timeoutMs) + " ms sending to " +
                                         m_peerName);
            continue;
        }
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET))
            throw SocketClosedError("connection closed by " + m_peerName);
        throw SocketError("sending to " + m_peerName + " failed: " + errorText(errno));
    }
}

void TcpSocket::shutdown()
{
    const int fd = m_fd.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void TcpSocket::close()
{
    if (m_tls) {
        m_tls->closeNotify();
        m_tls.reset();
    }
    const int fd = m_fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
    m_buffer.clear();
    m_bufferPos = 0;
}

// ---------------------------------------------------------------------------------------------

UdpSocket::UdpSocket()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw SocketError("cannot create a UDP socket: " + errorText(errno));
}

UdpSocket::~UdpSocket()
{
    close();
}

void UdpSocket::sendTo(const std::string& host, int port, const std::string& datagram)
{
    if (m_fd < 0)
        throw SocketError("the UDP socket is closed");
    if (port < 1 || port > 65535)
        throw SocketError("cannot send to " + host + ":" + std::to_string(port) + ": invalid port");
    const sockaddr_in address = socketAddress(host, port);
    for (;;) {
        const ssize_t n = ::sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (n >= 0 && static_cast<std::size_t>(n) == datagram.size())
            return;
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : EMSGSIZE;
        throw SocketError("cannot send a datagram to " + host + ":" + std::to_string(port) + ": " +
                          errorText(error));
    }
}

void UdpSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
