#include "net/IcmpEchoClient.h"

#include "net/ProtocolError.h"
#include "net/Socket.h"

#include <QLoggingCategory>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

Q_LOGGING_CATEGORY(lcIcmp, "quorvel.net.icmp", QtWarningMsg)

namespace {

constexpr int kTimeToLive = 128;
// Reads that empty what a raw socket queued before its filter took effect: far more than the
// default receive buffer holds, and a bound should the queue never run dry.
constexpr int kDrainLimit = 4096;

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint8_t byteAt(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint8_t>(bytes[at]);
}

std::uint16_t littleEndian16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(byteAt(bytes, at) | (byteAt(bytes, at + 1) << 8));
}

// Whether the echo message starting at `icmp` gives back the tick the key asks for.
bool tickMatches(std::string_view datagram, std::size_t icmp, const EchoRequestKey& key)
{
    if (!key.tick)
        return true;
    if (datagram.size() < icmp + 12)
        return false;
    const std::uint32_t tick = static_cast<std::uint32_t>(littleEndian16(datagram, icmp + 8)) |
                               (static_cast<std::uint32_t>(littleEndian16(datagram, icmp + 10)) << 16);
    return tick == *key.tick;
}

void putLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// Four bytes of an IPv4 address as stored in a header, kept in network byte order.
std::uint32_t addressAt(std::string_view bytes, std::size_t at)
{
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data() + at, sizeof address);
    return address;
}

std::string dotted(std::uint32_t address)
{
    in_addr in{};
    in.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

std::string systemText(int error)
{
    char buffer[256] = {};
    std::string text = strerror_r(error, buffer, sizeof buffer);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

bool isEchoError(int type)
{
    return type == 3 || type == 11;
}

sock_filter statement(std::uint16_t code, std::uint32_t k)
{
    return sock_filter{code, 0, 0, k};
}

sock_filter jumpIfEqual(std::uint32_t k, std::uint8_t ifEqual, std::uint8_t otherwise)
{
    return sock_filter{BPF_JMP | BPF_JEQ | BPF_K, ifEqual, otherwise, k};
}

// The classic BPF program of a raw ICMP socket probing `target` (network byte order). The packet
// starts with the IP header; absolute word loads come in host byte order. Jump offsets count the
// instructions skipped after the jump.
std::vector<sock_filter> echoFilter(std::uint32_t target)
{
    const std::uint32_t host = ntohl(target);
    return {
        statement(BPF_LDX | BPF_B | BPF_MSH, 0), //  0: X = IP header length
        statement(BPF_LD | BPF_B | BPF_IND, 0),  //  1: A = ICMP type
        jumpIfEqual(0, 3, 0),                    //  2: echo reply -> 6
        jumpIfEqual(8, 4, 0),                    //  3: echo request -> 8
        jumpIfEqual(3, 5, 0),                    //  4: destination unreachable -> accept
        jumpIfEqual(11, 4, 5),                   //  5: time exceeded -> accept, else drop
        statement(BPF_LD | BPF_W | BPF_ABS, 12), //  6: A = IP source
        jumpIfEqual(host, 2, 3),                 //  7: from the target -> accept, else drop
        statement(BPF_LD | BPF_W | BPF_ABS, 16), //  8: A = IP destination
        jumpIfEqual(host, 0, 1),                 //  9: to the target -> accept, else drop
        statement(BPF_RET | BPF_K, 0xffffffffu), // 10: accept the whole datagram
        statement(BPF_RET | BPF_K, 0),           // 11: drop
    };
}

} // namespace

std::uint16_t InternetChecksum(std::string_view bytes)
{
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += littleEndian16(bytes, i);
    if (i < bytes.size())
        sum += byteAt(bytes, i);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

std::string BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t tick)
{
    std::string request(52, '\0');
    request[0] = 8;
    request[1] = 0;
    putLittleEndian(request, 4, identifier, 2);
    putLittleEndian(request, 6, sequence, 2);
    putLittleEndian(request, 8, tick, 4);
    for (std::size_t i = 20; i < 52; ++i)
        request[i] = 'E';
    putLittleEndian(request, 2, InternetChecksum(request), 2);
    return request;
}

EchoJudgement JudgeRawDatagram(std::string_view datagram, const EchoRequestKey& key)
{
    if (datagram.empty())
        throw ProtocolError("Not enough bytes received");
    const std::size_t headerLength = static_cast<std::size_t>(byteAt(datagram, 0) & 0x0f) * 4;
    if (datagram.size() < headerLength + 8)
        throw ProtocolError("Not enough bytes received");

    EchoJudgement judgement;
    judgement.type = byteAt(datagram, headerLength);
    judgement.code = byteAt(datagram, headerLength + 1);
    const bool hasAddresses = headerLength >= 20;
    const std::uint32_t source = hasAddresses ? addressAt(datagram, 12) : 0;
    const std::uint32_t destination = hasAddresses ? addressAt(datagram, 16) : 0;
    judgement.from = source;

    const auto keyMatches = [&key](std::uint16_t identifier, std::uint16_t sequence) {
        return sequence == key.sequence && (!key.checkIdentifier || identifier == key.identifier);
    };
    const std::uint16_t identifier = littleEndian16(datagram, headerLength + 4);
    const std::uint16_t sequence = littleEndian16(datagram, headerLength + 6);

    switch (judgement.type) {
    case 0:
        if (hasAddresses && source == key.target && keyMatches(identifier, sequence) &&
            tickMatches(datagram, headerLength, key))
            judgement.match = EchoMatch::Reply;
        break;
    case 8:
        if (hasAddresses && destination == key.target && keyMatches(identifier, sequence) &&
            tickMatches(datagram, headerLength, key))
            judgement.match = EchoMatch::Reply;
        break;
    case 3:
    case 11: {
        // The report quotes the IP header of our request (its own length) and 8 bytes after it.
        const std::size_t quoted = headerLength + 8;
        if (datagram.size() < quoted + 20)
            break;
        const std::size_t quotedLength = static_cast<std::size_t>(byteAt(datagram, quoted) & 0x0f) * 4;
        if (quotedLength < 20 || datagram.size() < quoted + quotedLength + 8)
            break;
        const std::size_t icmp = quoted + quotedLength;
        if (byteAt(datagram, icmp) == 8 && addressAt(datagram, quoted + 16) == key.target &&
            keyMatches(littleEndian16(datagram, icmp + 4), littleEndian16(datagram, icmp + 6)))
            judgement.match = EchoMatch::Unreachable;
        break;
    }
    default:
        throw ProtocolError("Non-echo type response received");
    }
    return judgement;
}

EchoJudgement JudgeDatagramSocketReply(std::string_view datagram, std::uint32_t from,
                                       const EchoRequestKey& key)
{
    if (datagram.size() < 8)
        throw ProtocolError("Not enough bytes received");
    EchoJudgement judgement;
    judgement.type = byteAt(datagram, 0);
    judgement.code = byteAt(datagram, 1);
    judgement.from = from;
    switch (judgement.type) {
    case 0:
        if (from == key.target && littleEndian16(datagram, 6) == key.sequence &&
            tickMatches(datagram, 0, key))
            judgement.match = EchoMatch::Reply;
        break;
    case 3:
    case 8:
    case 11:
        break; // reports come through the error queue; requests are not delivered here
    default:
        throw ProtocolError("Non-echo type response received");
    }
    return judgement;
}

std::string EchoErrorText(int type, int code, std::uint32_t from)
{
    std::string what;
    if (type == 3) {
        switch (code) {
        case 0:
            what = "destination network unreachable";
            break;
        case 1:
            what = "destination host unreachable";
            break;
        case 2:
            what = "destination protocol unreachable";
            break;
        case 3:
            what = "destination port unreachable";
            break;
        case 4:
            what = "fragmentation needed";
            break;
        case 9:
        case 10:
        case 13:
            what = "communication administratively prohibited";
            break;
        default:
            what = "destination unreachable (code " + std::to_string(code) + ")";
        }
    } else if (type == 11) {
        what = code == 1 ? "fragment reassembly time exceeded" : "time to live exceeded in transit";
    } else {
        what = "ICMP type " + std::to_string(type) + " code " + std::to_string(code);
    }
    return what + " (reported by " + dotted(from) + ")";
}

// ---------------------------------------------------------------------------------------------

IcmpEchoClient::~IcmpEchoClient()
{
    close();
}

void IcmpEchoClient::configure(const std::string& host, int port, int timeoutMs)
{
    m_host = host;
    m_port = port;
    m_timeoutMs = timeoutMs;
}

void IcmpEchoClient::adoptSocket(int fd, SocketKind kind)
{
    close();
    m_fd = fd;
    m_kind = kind == SocketKind::Raw ? SocketKind::Raw : SocketKind::Datagram;
    m_adopted = true;
}

void IcmpEchoClient::openSocket()
{
    int datagramError = 0;
    if (m_wanted != SocketKind::Raw) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_kind = SocketKind::Datagram;
            const int on = 1;
            ::setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        } else {
            datagramError = errno;
        }
    }
    if (m_fd < 0 && m_wanted != SocketKind::Datagram) {
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0)
            m_kind = SocketKind::Raw;
    }
    if (m_fd < 0) {
        const int error = errno;
        std::string why = systemText(error);
        if (datagramError != 0 && datagramError != error)
            why = systemText(datagramError) + " / " + why;
        throw SocketError("cannot open an ICMP socket: " + why +
                          " (the group must be in net.ipv4.ping_group_range, or the program needs "
                          "CAP_NET_RAW)");
    }
    if (m_receiveBufferSize > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_receiveBufferSize, sizeof m_receiveBufferSize);
    const int ttl = kTimeToLive;
    ::setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
}

void IcmpEchoClient::admitOnlyDatagramsAbout(std::uint32_t target)
{
    std::vector<sock_filter> program = echoFilter(target);
    sock_fprog filter{};
    filter.len = static_cast<unsigned short>(program.size());
    filter.filter = program.data();
    if (::setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) != 0) {
        // Without the filter the check still works; it only sees the host's other ICMP traffic.
        const int error = errno;
        qCDebug(lcIcmp) << "no socket filter for the ping of" << m_host.c_str() << ":"
                        << systemText(error).c_str();
        return;
    }
    // Whatever arrived between opening the socket and attaching the filter is still queued.
    char scrap[kReceiveBuffer];
    for (int i = 0; i < kDrainLimit; ++i) {
        if (::recv(m_fd, scrap, sizeof scrap, MSG_DONTWAIT) < 0 && errno != EINTR)
            break;
    }
}

int IcmpEchoClient::ping()
{
    const auto tick = static_cast<std::uint32_t>(steadyNowMs() & 0xffffffff);
    EchoRequestKey key;
    key.identifier = static_cast<std::uint16_t>(::getpid() & 0xffff);
    key.sequence = kSequence;
    key.tick = tick;
    const std::string request = BuildEchoRequest(key.identifier, key.sequence, tick);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, ResolveIPv4(m_host).c_str(), &address.sin_addr) != 1)
        throw SocketError("cannot resolve \"" + m_host + "\": not an IPv4 address");
    key.target = address.sin_addr.s_addr;

    if (m_fd < 0)
        openSocket();
    // The datagram socket puts its own identifier in, so only the raw socket compares it.
    key.checkIdentifier = m_kind == SocketKind::Raw;
    if (m_kind == SocketKind::Raw && !m_adopted)
        admitOnlyDatagramsAbout(key.target);

    for (;;) {
        const ssize_t sent = m_adopted
                                 ? ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL)
                                 : ::sendto(m_fd, request.data(), request.size(), MSG_NOSIGNAL,
                                            reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent == static_cast<ssize_t>(request.size()))
            break;
        if (sent < 0 && errno == EINTR)
            continue;
        throw SocketError("cannot send an echo request to " + m_host + ": " +
                          systemText(sent < 0 ? errno : EMSGSIZE));
    }

    const long long sentAt = steadyNowMs();
    const long long deadline = sentAt + m_timeoutMs;
    m_roundTripMs = -1;
    char buffer[kReceiveBuffer];
    for (;;) {
        const long long left = deadline - steadyNowMs();
        if (left <= 0)
            return 0;
        pollfd p{};
        p.fd = m_fd;
        p.events = POLLIN;
        const int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc < 0 && errno != EINTR)
            throw SocketError("waiting for the echo reply failed: " + systemText(errno));
        if (rc <= 0)
            continue;

        if ((p.revents & POLLERR) && m_kind == SocketKind::Datagram && !m_adopted) {
            // An ICMP error about our request, matched to this socket by the kernel.
            char control[512];
            iovec io{buffer, sizeof buffer};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
            if (n >= 0) {
                for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                        continue;
                    sock_extended_err report{};
                    std::memcpy(&report, CMSG_DATA(c), sizeof report);
                    const std::string_view quoted(buffer, static_cast<std::size_t>(n));
                    if (report.ee_origin != SO_EE_ORIGIN_ICMP || !isEchoError(report.ee_type) ||
                        quoted.size() < 8 || littleEndian16(quoted, 6) != key.sequence)
                        continue;
                    sockaddr_in offender{};
                    std::memcpy(&offender, SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(c))),
                                sizeof offender);
                    throw ProtocolError(
                        EchoErrorText(report.ee_type, report.ee_code, offender.sin_addr.s_addr));
                }
            }
            if (!(p.revents & POLLIN))
                continue;
        }

        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            continue; // nothing after all, or a pending socket error now cleared
        const std::string_view datagram(buffer, static_cast<std::size_t>(n));
        const EchoJudgement judgement = m_kind == SocketKind::Raw
                                            ? JudgeRawDatagram(datagram, key)
                                            : JudgeDatagramSocketReply(datagram, from.sin_addr.s_addr, key);
        if (judgement.match == EchoMatch::Reply) {
            m_roundTripMs = static_cast<int>(steadyNowMs() - sentAt);
            return n > 0 ? static_cast<int>(n) : 1;
        }
        if (judgement.match == EchoMatch::Unreachable)
            throw ProtocolError(EchoErrorText(judgement.type, judgement.code, judgement.from));
    }
}

void IcmpEchoClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_adopted = false;
}
