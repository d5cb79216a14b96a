// The ping check: the echo request on the wire, which datagrams belong to a request, and the
// check's verdict and detail, against 127.0.0.1 through real ICMP sockets and against a scripted
// peer (a UDP socket that plays what an ICMP socket would deliver: silence, foreign replies,
// error reports, garbage).
#include "checks/ThreadPingCheckUnit.h"
#include "net/LineReply.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Kind = IcmpEchoClient::SocketKind;

std::uint32_t ip(const char* dotted)
{
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

std::string ipHeader(std::uint32_t source, std::uint32_t destination, int headerWords = 5)
{
    std::string header(static_cast<std::size_t>(headerWords) * 4, '\0');
    header[0] = static_cast<char>(0x40 | headerWords);
    header[8] = 64;
    header[9] = 1; // ICMP
    std::memcpy(&header[12], &source, 4);
    std::memcpy(&header[16], &destination, 4);
    return header;
}

std::string withType(std::string icmp, int type)
{
    icmp[0] = static_cast<char>(type);
    return icmp;
}

std::string withByte(std::string bytes, std::size_t at, char value)
{
    bytes[at] = value;
    return bytes;
}

// An ICMP error report (type 3 or 11) from `router` quoting `request` sent from `me` to `to`.
std::string report(int type, int code, std::uint32_t router, std::uint32_t me, std::uint32_t to,
                   const std::string& request)
{
    std::string icmp(8, '\0');
    icmp[0] = static_cast<char>(type);
    icmp[1] = static_cast<char>(code);
    return ipHeader(router, me) + icmp + ipHeader(me, to) + request.substr(0, 8);
}

const std::uint16_t kPid = static_cast<std::uint16_t>(::getpid() & 0xffff);

// ---------------------------------------------------------------------------------------------

TEST(EchoRequest, LayoutAndChecksum)
{
    const std::string request = BuildEchoRequest(0x1234, 3489, 0xa1b2c3d4);
    ASSERT_EQ(request.size(), 52u);
    EXPECT_EQ(request[0], 8);
    EXPECT_EQ(request[1], 0);
    EXPECT_EQ(request.substr(4, 2), "\x34\x12");
    EXPECT_EQ(request.substr(6, 2), "\xa1\x0d"); // 3489 little-endian
    EXPECT_EQ(request.substr(8, 4), "\xd4\xc3\xb2\xa1");
    EXPECT_EQ(request.substr(12, 8), std::string(8, '\0'));
    EXPECT_EQ(request.substr(20), std::string(32, 'E'));
    EXPECT_EQ(InternetChecksum(request), 0) << "a message with its checksum in place sums to zero";
}

TEST(EchoRequest, ChecksumMatchesTheWorkedExampleOfRfc1071)
{
    // RFC 1071 section 3: the bytes 00 01 f2 03 f4 f5 f6 f7 sum to ddf2, so the checksum field
    // holds the bytes 22 0d.
    const std::uint16_t sum = InternetChecksum(std::string("\x00\x01\xf2\x03\xf4\xf5\xf6\xf7", 8));
    EXPECT_EQ(sum & 0xff, 0x22);
    EXPECT_EQ(sum >> 8, 0x0d);
    EXPECT_EQ(InternetChecksum(std::string("\x01", 1)), static_cast<std::uint16_t>(~0x0001));
}

// ---------------------------------------------------------------------------------------------
// Which datagrams belong to a request. Raw sockets see every ICMP datagram of the host, and every
// check of the process has the same identifier and sequence number, so the address decides.

struct JudgeCase
{
    const char* name;
    std::function<std::string(const std::string& request)> datagram;
    EchoMatch match;
};

const std::uint32_t kMe = ip("192.0.2.2");
const std::uint32_t kTarget = ip("10.1.2.3");

class RawJudging : public ::testing::TestWithParam<JudgeCase>
{
};

TEST_P(RawJudging, DecidesWhetherADatagramBelongsToTheRequest)
{
    const std::string request = BuildEchoRequest(kPid, 3489, 77);
    EchoRequestKey key;
    key.identifier = kPid;
    key.sequence = 3489;
    key.target = kTarget;
    key.tick = 77;
    EXPECT_EQ(JudgeRawDatagram(GetParam().datagram(request), key).match, GetParam().match);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RawJudging,
    ::testing::Values(
        JudgeCase{"reply_from_target",
                  [](const std::string& r) { return ipHeader(kTarget, kMe) + withType(r, 0); },
                  EchoMatch::Reply},
        JudgeCase{"reply_with_ip_options",
                  [](const std::string& r) { return ipHeader(kTarget, kMe, 7) + withType(r, 0); },
                  EchoMatch::Reply},
        JudgeCase{"reply_from_another_host",
                  [](const std::string& r) { return ipHeader(ip("10.9.9.9"), kMe) + withType(r, 0); },
                  EchoMatch::Foreign},
        JudgeCase{
            "other_sequence",
            [](const std::string& r) { return ipHeader(kTarget, kMe) + withByte(withType(r, 0), 6, 0x01); },
            EchoMatch::Foreign},
        JudgeCase{"other_identifier",
                  [](const std::string& r) {
                      return ipHeader(kTarget, kMe) +
                             withByte(withType(r, 0), 4, static_cast<char>(kPid + 1));
                  },
                  EchoMatch::Foreign},
        // A late reply to an earlier request of the same target gives back that request's tick.
        JudgeCase{
            "reply_to_an_earlier_request",
            [](const std::string& r) { return ipHeader(kTarget, kMe) + withByte(withType(r, 0), 8, 76); },
            EchoMatch::Foreign},
        JudgeCase{"reply_cut_before_the_tick",
                  [](const std::string& r) { return ipHeader(kTarget, kMe) + withType(r, 0).substr(0, 10); },
                  EchoMatch::Foreign},
        JudgeCase{"own_request_on_loopback_path",
                  [](const std::string& r) { return ipHeader(kMe, kTarget) + r; }, EchoMatch::Reply},
        JudgeCase{"request_to_another_host",
                  [](const std::string& r) { return ipHeader(kMe, ip("10.9.9.9")) + r; }, EchoMatch::Foreign},
        JudgeCase{"unreachable_quoting_request",
                  [](const std::string& r) { return report(3, 1, ip("10.0.0.1"), kMe, kTarget, r); },
                  EchoMatch::Unreachable},
        JudgeCase{"time_exceeded_quoting_request",
                  [](const std::string& r) { return report(11, 0, ip("10.0.0.1"), kMe, kTarget, r); },
                  EchoMatch::Unreachable},
        JudgeCase{"unreachable_about_another_host",
                  [](const std::string& r) { return report(3, 1, ip("10.0.0.1"), kMe, ip("10.9.9.9"), r); },
                  EchoMatch::Foreign},
        JudgeCase{
            "unreachable_quoting_too_little",
            [](const std::string& r) { return report(3, 1, ip("10.0.0.1"), kMe, kTarget, r).substr(0, 50); },
            EchoMatch::Foreign}),
    [](const ::testing::TestParamInfo<JudgeCase>& p) { return std::string(p.param.name); });

TEST(RawJudging, ShortDatagramsAndOtherTypesAreErrors)
{
    EchoRequestKey key;
    key.identifier = kPid;
    key.sequence = 3489;
    key.target = kTarget;
    const std::string request = BuildEchoRequest(kPid, 3489, 0);
    for (const std::string& shortOne : {std::string(), ipHeader(kTarget, kMe) + "\0\0\0\0\0\0\0",
                                        ipHeader(kTarget, kMe, 15) + withType(request, 0).substr(0, 7)}) {
        try {
            JudgeRawDatagram(shortOne, key);
            ADD_FAILURE() << "accepted " << shortOne.size() << " bytes";
        } catch (const ProtocolError& e) {
            EXPECT_STREQ(e.what(), "Not enough bytes received");
        }
    }
    for (int type : {5, 13, 42}) {
        try {
            JudgeRawDatagram(ipHeader(kTarget, kMe) + withType(request, type), key);
            ADD_FAILURE() << "accepted type " << type;
        } catch (const ProtocolError& e) {
            EXPECT_STREQ(e.what(), "Non-echo type response received");
        }
    }
}

TEST(DatagramSocketJudging, SenderAndSequenceDecide)
{
    const std::string reply = withType(BuildEchoRequest(999, 3489, 0), 0);
    EchoRequestKey key;
    key.sequence = 3489;
    key.target = kTarget;
    key.tick = 0;
    EXPECT_EQ(JudgeDatagramSocketReply(reply, kTarget, key).match, EchoMatch::Reply)
        << "the kernel's identifier is not compared";
    EXPECT_EQ(JudgeDatagramSocketReply(reply, ip("10.9.9.9"), key).match, EchoMatch::Foreign);
    EXPECT_EQ(JudgeDatagramSocketReply(withByte(reply, 7, 0), kTarget, key).match, EchoMatch::Foreign);
    EXPECT_EQ(JudgeDatagramSocketReply(withByte(reply, 11, 1), kTarget, key).match, EchoMatch::Foreign)
        << "a reply to another request of the same target";
    EXPECT_THROW(JudgeDatagramSocketReply(reply.substr(0, 7), kTarget, key), ProtocolError);
    EXPECT_THROW(JudgeDatagramSocketReply(withType(reply, 13), kTarget, key), ProtocolError);
}

// ---------------------------------------------------------------------------------------------
// The check against a scripted peer: a pair of connected UDP sockets on 127.0.0.1, one adopted
// by the client as its ICMP socket, the other played by the test.

class ScriptedIcmpPeer
{
public:
    using Script = std::function<std::vector<std::string>(const std::string& request)>;

    explicit ScriptedIcmpPeer(Script script) : m_script(std::move(script))
    {
        m_client = bound();
        m_peer = bound();
        connectTo(m_client, m_peer);
        connectTo(m_peer, m_client);
        m_thread = std::thread([this] { play(); });
    }

    ~ScriptedIcmpPeer()
    {
        finish();
        ::close(m_peer);
    }

    // Waits until the peer has played its script (it gives up after 5 s without a request).
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    // The client's end, handed over to the ICMP client (which closes it).
    int clientSocket() const { return m_client; }
    std::string request()
    {
        finish();
        return m_request;
    }

private:
    static int bound()
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        return fd;
    }

    static void connectTo(int fd, int other)
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(other, reinterpret_cast<sockaddr*>(&address), &length);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), length);
    }

    void play()
    {
        pollfd p{m_peer, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1)
            return;
        char buffer[2048];
        const ssize_t n = ::recv(m_peer, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        m_request.assign(buffer, static_cast<std::size_t>(n));
        for (const std::string& datagram : m_script(m_request))
            ::send(m_peer, datagram.data(), datagram.size(), 0);
    }

    Script m_script;
    int m_client = -1;
    int m_peer = -1;
    std::string m_request;
    std::thread m_thread;
};

struct PeerCase
{
    const char* name;
    Kind kind;
    const char* host;
    ScriptedIcmpPeer::Script script;
    bool passed;
    std::string status; // detail after "] "
};

const std::uint32_t kLoopback = ip("127.0.0.1");

std::vector<std::string> nothing(const std::string&)
{
    return {};
}

const std::vector<PeerCase> kPeerCases = {
    {"silent_host", Kind::Raw, "10.1.2.3", nothing, false, "Failed"},
    {"reply", Kind::Raw, "10.1.2.3",
     [](const std::string& r) { return std::vector<std::string>{ipHeader(kTarget, kMe) + withType(r, 0)}; },
     true, "Passed"},
    {"foreign_replies_then_ours", Kind::Raw, "10.1.2.3",
     [](const std::string& r) {
         return std::vector<std::string>{ipHeader(ip("10.9.9.9"), kMe) + withType(r, 0),
                                         ipHeader(kTarget, kMe) + withByte(withType(r, 0), 6, 0x07),
                                         report(3, 1, ip("10.0.0.1"), kMe, ip("10.9.9.9"), r),
                                         ipHeader(kTarget, kMe) + withType(r, 0)};
     },
     true, "Passed"},
    {"only_a_concurrent_checks_reply", Kind::Raw, "10.1.2.3",
     [](const std::string& r) {
         return std::vector<std::string>{ipHeader(ip("10.1.2.4"), kMe) + withType(r, 0)};
     },
     false, "Failed"},
    // The request of a check that timed out is answered late, while the check is repeated.
    {"only_a_late_reply_to_an_earlier_request", Kind::Raw, "10.1.2.3",
     [](const std::string& r) {
         return std::vector<std::string>{ipHeader(kTarget, kMe) +
                                         withByte(withType(r, 0), 8, static_cast<char>(r[8] - 100))};
     },
     false, "Failed"},
    {"datagram_socket_late_reply_to_an_earlier_request", Kind::Datagram, "127.0.0.1",
     [](const std::string& r) {
         return std::vector<std::string>{withByte(withType(r, 0), 9, static_cast<char>(r[9] - 1))};
     },
     false, "Failed"},
    {"host_unreachable_report", Kind::Raw, "10.1.2.3",
     [](const std::string& r) {
         return std::vector<std::string>{report(3, 1, ip("10.0.0.1"), kMe, kTarget, r)};
     },
     false, "Failed:destination host unreachable (reported by 10.0.0.1)"},
    {"time_exceeded_report", Kind::Raw, "10.1.2.3",
     [](const std::string& r) {
         return std::vector<std::string>{report(11, 0, ip("10.0.0.9"), kMe, kTarget, r)};
     },
     false, "Failed:time to live exceeded in transit (reported by 10.0.0.9)"},
    {"other_icmp_type", Kind::Raw, "10.1.2.3",
     [](const std::string& r) { return std::vector<std::string>{ipHeader(kTarget, kMe) + withType(r, 5)}; },
     false, "Failed:Non-echo type response received"},
    {"truncated_datagram", Kind::Raw, "10.1.2.3",
     [](const std::string&) { return std::vector<std::string>{ipHeader(kTarget, kMe).substr(0, 12)}; }, false,
     "Failed:Not enough bytes received"},
    {"datagram_socket_reply", Kind::Datagram, "127.0.0.1",
     [](const std::string& r) { return std::vector<std::string>{withType(r, 0)}; }, true, "Passed"},
    {"datagram_socket_wrong_sequence", Kind::Datagram, "127.0.0.1",
     [](const std::string& r) { return std::vector<std::string>{withByte(withType(r, 0), 6, 0x02)}; }, false,
     "Failed"},
};

class PingWithScriptedPeer : public ::testing::TestWithParam<PeerCase>
{
};

TEST_P(PingWithScriptedPeer, VerdictAndDetail)
{
    const PeerCase& c = GetParam();
    ScriptedIcmpPeer peer(c.script);
    auto client = std::make_unique<IcmpEchoClient>();
    client->adoptSocket(peer.clientSocket(), c.kind);

    ThreadCheckArgs args;
    args.Origin = "Product";
    args.Host = c.host;
    args.Port = 0;
    args.Timeout = 300;
    ThreadPingCheck check(args, std::move(client));
    check.Execute();

    EXPECT_EQ(check.Passed, c.passed);
    EXPECT_EQ(check.ResultDetail.toStdString(), std::string("[") + c.host + ":0] " + c.status);
    if (c.passed) {
        EXPECT_GT(check.ReceivedBytes, 0);
    }
    EXPECT_EQ(peer.request().size(), 52u);
    EXPECT_EQ(peer.request().substr(6, 2), "\xa1\x0d");
}

INSTANTIATE_TEST_SUITE_P(Cases, PingWithScriptedPeer, ::testing::ValuesIn(kPeerCases),
                         [](const ::testing::TestParamInfo<PeerCase>& p) {
                             return std::string(p.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Real ICMP sockets against 127.0.0.1.

bool canOpen(Kind kind)
{
    const int fd =
        ::socket(AF_INET, (kind == Kind::Raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::unique_ptr<ThreadPingCheck> pingCheck(const char* host, int port, int timeoutMs,
                                           Kind kind = Kind::Automatic)
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.Host = host;
    args.Port = port;
    args.Timeout = timeoutMs;
    auto client = std::make_unique<IcmpEchoClient>();
    client->setSocketKind(kind);
    return std::make_unique<ThreadPingCheck>(args, std::move(client));
}

class PingLoopback : public ::testing::TestWithParam<Kind>
{
};

TEST_P(PingLoopback, ReachableHostPasses)
{
    const Kind kind = GetParam();
    if (kind == Kind::Automatic ? !(canOpen(Kind::Raw) || canOpen(Kind::Datagram)) : !canOpen(kind))
        GTEST_SKIP() << "this ICMP socket is not permitted here (net.ipv4.ping_group_range / CAP_NET_RAW)";
    auto check = pingCheck("127.0.0.1", 7, 3000, kind);
    check->Execute();
    EXPECT_TRUE(check->Passed) << check->ResultDetail.toStdString();
    EXPECT_EQ(check->ResultText, "Passed");
    EXPECT_EQ(check->ResultDetail, "[127.0.0.1:7] Passed");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PingLoopback, ::testing::Values(Kind::Automatic, Kind::Raw, Kind::Datagram),
                         [](const ::testing::TestParamInfo<Kind>& p) {
                             return std::string(p.param == Kind::Raw        ? "Raw"
                                                : p.param == Kind::Datagram ? "Datagram"
                                                                            : "Automatic");
                         });

// Concurrent checks of different loopback addresses, each socket seeing the others' traffic
// when raw: every one passes on its own reply.
TEST(PingLoopbackConcurrent, ManyChecksAtOnceAllPass)
{
    if (!canOpen(Kind::Raw) && !canOpen(Kind::Datagram))
        GTEST_SKIP() << "no ICMP socket permitted here";
    constexpr int kChecks = 24;
    std::vector<std::unique_ptr<ThreadPingCheck>> checks;
    std::vector<std::string> hosts;
    for (int i = 0; i < kChecks; ++i)
        hosts.push_back("127.0.0." + std::to_string(i + 1));
    for (int i = 0; i < kChecks; ++i)
        checks.push_back(pingCheck(hosts[static_cast<std::size_t>(i)].c_str(), 0, 3000));
    std::vector<std::thread> threads;
    for (auto& check : checks)
        threads.emplace_back([&check] { check->Execute(); });
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < kChecks; ++i)
        EXPECT_TRUE(checks[static_cast<std::size_t>(i)]->Passed)
            << checks[static_cast<std::size_t>(i)]->ResultDetail.toStdString();
}

// An echo request of `size` bytes (the usual 52 and padding), with its checksum.
std::string largeEchoRequest(std::size_t size)
{
    std::string request = BuildEchoRequest(kPid, IcmpEchoClient::kSequence, 0);
    request.resize(size, 'F');
    request[2] = request[3] = '\0';
    const std::uint16_t sum = InternetChecksum(request);
    request[2] = static_cast<char>(sum & 0xff);
    request[3] = static_cast<char>(sum >> 8);
    return request;
}

// The processor numbers this process may run on.
std::vector<int> usableCpus()
{
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set))
                cpus.push_back(cpu);
        }
    }
    return cpus;
}

void runCallingThreadOn(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set);
}

// Every raw ICMP socket of the host is handed a copy of every ICMP datagram. Here raw sockets on
// the other processors flood echo requests to 127.0.0.2 (each one seen twice on the loopback
// path, request and reply), with the identifier and sequence number of this process's checks,
// while checks of another loopback address run one after another on the first processor, each
// with the smallest receive buffer the system allows: as a check whose thread waits for a core
// finds its buffer when many checks run at once. One flood datagram of 4000 bytes fills such a
// buffer. A check passes only when its socket admits just the datagrams about its own target and
// drops what was queued before that took effect; otherwise its request and reply find the buffer
// full and it waits out its time-out.
TEST(PingLoopbackFlood, RawChecksWithSmallBuffersPassAmidOtherTraffic)
{
    if (!canOpen(Kind::Raw))
        GTEST_SKIP() << "raw ICMP sockets are not permitted here (root or CAP_NET_RAW needed)";
    const std::vector<int> cpus = usableCpus();
    if (cpus.size() < 2)
        GTEST_SKIP() << "the flood needs a processor of its own beside the checks";

    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::vector<std::thread> flooders;
    for (std::size_t i = 1; i < cpus.size() && i <= 3; ++i) {
        const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        ASSERT_GE(fd, 0);
        const int smallest = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest); // it never reads
        flooders.emplace_back([fd, cpu = cpus[i], &stop, &sent] {
            runCallingThreadOn(cpu);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = ip("127.0.0.2");
            const std::string request = largeEchoRequest(4000);
            while (!stop.load()) {
                if (::sendto(fd, request.data(), request.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0)
                    ++sent;
            }
            ::close(fd);
        });
    }

    // Only checks during which the flood went on count: other programs may hold the processors.
    constexpr int kChecks = 20;
    constexpr int kMostChecks = 400;
    int underFlood = 0;
    int run = 0;
    std::vector<std::string> failures;
    std::thread checker([&] {
        runCallingThreadOn(cpus[0]);
        for (; run < kMostChecks && underFlood < kChecks; ++run) {
            ThreadCheckArgs args;
            args.Origin = "Product";
            args.Host = "127.0.3.3";
            args.Port = 0;
            args.Timeout = 500;
            auto client = std::make_unique<IcmpEchoClient>();
            client->setSocketKind(Kind::Raw);
            client->setReceiveBufferSizeForTesting(1);
            ThreadPingCheck check(args, std::move(client));
            // Start while a flooder is running (bounded): a check takes only microseconds.
            const long mark = sent.load();
            for (int spin = 0; spin < 1000000 && sent.load() == mark; ++spin)
                std::this_thread::yield();
            const long before = sent.load();
            check.Execute();
            if (sent.load() != before)
                ++underFlood;
            if (!check.Passed)
                failures.push_back(check.ResultDetail.toStdString());
        }
    });
    checker.join();
    stop = true;
    for (std::thread& flooder : flooders)
        flooder.join();

    EXPECT_EQ(underFlood, kChecks) << "the flood paused during most of the " << run << " checks";
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << run << " checks failed, first: "
                                  << (failures.empty() ? std::string() : failures.front());
}

TEST(PingFaults, UnresolvableHostFailsWithTheResolverText)
{
    auto check = pingCheck("no-such-host.invalid", 0, 1000);
    check->Execute();
    EXPECT_FALSE(check->Passed);
    const std::string detail = check->ResultDetail.toStdString();
    const std::string start = "[no-such-host.invalid:0] Failed:cannot resolve \"no-such-host.invalid\": ";
    EXPECT_EQ(detail.substr(0, start.size()), start);
    EXPECT_GT(detail.size(), start.size());
}

TEST(PingFaults, TimeoutOfZeroWaitsFiveSeconds)
{
    auto check = pingCheck("127.0.0.1", 0, 0);
    EXPECT_EQ(check->Timeout, 5000);
    EXPECT_EQ(check->Client->timeout(), 5000);
}

} // namespace
