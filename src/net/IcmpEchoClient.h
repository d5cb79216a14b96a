#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// ICMP echo (RFC 792) for the ping check: one echo request, then a bounded wait for the datagram
// that belongs to it.
//
// The request is 52 bytes: type 8, code 0, checksum, identifier (low 16 bits of the process id),
// sequence number 3489, the 32-bit millisecond tick of building, 8 zero bytes and 32 times "E";
// multi-byte fields little-endian. Two kinds of socket carry it:
//  - the unprivileged ICMP datagram socket (when net.ipv4.ping_group_range admits the process's
//    group): the kernel puts its own identifier in, delivers only this socket's echo replies,
//    without IP header, and reports ICMP errors about the request on the socket's error queue;
//  - a raw socket (root or CAP_NET_RAW), which is handed a copy of every ICMP datagram of the host
//    with its IP header. With many checks at once, the others' traffic would fill the receive
//    buffer of a check whose thread is not running for a moment, and the kernel would drop the
//    check's own reply. So ping() attaches a socket filter that admits only the datagrams about
//    its target (echo replies from it, echo requests to it, and every destination-unreachable or
//    time-exceeded report) and empties what was queued before the filter took effect. The filter
//    only lightens the load: the rules below still decide.
// Since every check of the process shares identifier and sequence number, a reply belongs to a
// request only when the peer matches as well: the replying address (echo reply), the destination
// (our own request seen on the loopback path) or the destination quoted in an ICMP error. An echo
// reply must also give back the request's tick (the data of an echo request come back in its
// reply), so that a late reply to an earlier request of the same target, such as the request of
// a check that has just timed out and is being repeated, is not taken for this one's.

// RFC 1071 checksum over `bytes`, 16-bit words read little-endian, so that it is stored
// little-endian like the other fields.
std::uint16_t InternetChecksum(std::string_view bytes);

// The 52-byte echo request with its checksum.
std::string BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t tick);

// What a received datagram means for one request.
struct EchoRequestKey
{
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::uint32_t target = 0; // IPv4 address of the probed host, network byte order
    bool checkIdentifier = true;
    // When set, an echo reply (or the request seen on the loopback path) belongs to the request
    // only when it carries this tick at ICMP offset 8; one too short to hold it does not.
    std::optional<std::uint32_t> tick;
};

enum class EchoMatch
{
    Foreign,     // not about this request: keep waiting
    Reply,       // the echo reply (or the request itself on the loopback path)
    Unreachable, // a destination-unreachable or time-exceeded report quoting this request
};

struct EchoJudgement
{
    EchoMatch match = EchoMatch::Foreign;
    int type = -1;          // ICMP type of the datagram
    int code = -1;          // ICMP code of the datagram
    std::uint32_t from = 0; // sender of the datagram (network byte order)
};

// Judges one datagram as a raw socket delivers it (IP header first; `from` is taken from the
// header). Throws ProtocolError "Not enough bytes received" for a datagram shorter than its IP
// header plus 8, and "Non-echo type response received" for an ICMP type other than 0, 3, 8, 11.
EchoJudgement JudgeRawDatagram(std::string_view datagram, const EchoRequestKey& key);

// Judges one datagram as the ICMP datagram socket delivers it (no IP header; `from` is the
// sender address given by the socket). The identifier is not compared: the kernel rewrote it.
EchoJudgement JudgeDatagramSocketReply(std::string_view datagram, std::uint32_t from,
                                       const EchoRequestKey& key);

// The text of an ICMP error report for the message of a failed check, e.g.
// "destination host unreachable (reported by 10.0.0.1)".
std::string EchoErrorText(int type, int code, std::uint32_t from);

class IcmpEchoClient
{
public:
    enum class SocketKind
    {
        Automatic,
        Datagram,
        Raw
    };
    static constexpr std::uint16_t kSequence = 3489;
    static constexpr std::size_t kReceiveBuffer = 1024;

    IcmpEchoClient() = default;
    ~IcmpEchoClient();
    IcmpEchoClient(const IcmpEchoClient&) = delete;
    IcmpEchoClient& operator=(const IcmpEchoClient&) = delete;

    void configure(const std::string& host, int port, int timeoutMs);
    // Which socket ping() opens; Automatic (the default) tries the datagram socket first, then a
    // raw socket.
    void setSocketKind(SocketKind kind) { m_wanted = kind; }
    const std::string& host() const { return m_host; }
    int port() const { return m_port; }
    int timeout() const { return m_timeoutMs; }

    // For tests only: the receive buffer size (SO_RCVBUF; the kernel doubles it and applies its
    // minimum) of the socket that ping() opens. 0, the default, keeps the system's size.
    void setReceiveBufferSizeForTesting(int bytes) { m_receiveBufferSize = bytes; }

    // Takes over an open descriptor instead of creating an ICMP socket. It must deliver datagrams
    // the way `kind` (Datagram or Raw) does and be connected, since the request is sent with
    // send(). Tests use a UDP socket connected to a scripted peer. No socket filter is attached to
    // an adopted descriptor.
    void adoptSocket(int fd, SocketKind kind);

    // Resolves the host, sends one echo request and waits at most the time-out for the datagram
    // that belongs to it. Returns the byte count of that datagram, or 0 when none arrived in time
    // (which is no error). Throws SocketError (resolution, socket, send) and ProtocolError (the
    // two judging errors above, and an ICMP error report about the request, whose message names
    // the report and its sender).
    int ping();

    // Milliseconds from sending the request to the reply of the last ping(); -1 when none came.
    int roundTripMs() const { return m_roundTripMs; }
    // The kind of socket ping() used.
    SocketKind usedKind() const { return m_kind; }
    void close();

private:
    void openSocket();
    void admitOnlyDatagramsAbout(std::uint32_t target);

    std::string m_host;
    int m_port = 0;
    int m_timeoutMs = 5000;
    SocketKind m_wanted = SocketKind::Automatic;
    SocketKind m_kind = SocketKind::Automatic;
    int m_receiveBufferSize = 0;
    int m_fd = -1;
    bool m_adopted = false;
    int m_roundTripMs = -1;
};
