// The socket layer against real loopback sockets: resolution, connect failures with messages a
// person can act on, bounded line/byte reads, writes, shutdown from another thread, UDP.
#include "net/Socket.h"

#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Asserts that `action` throws exactly an E (or subclass) whose message contains `fragment`.
template <typename E, typename F> void expectThrowWith(F action, const std::string& fragment)
{
    try {
        action();
        ADD_FAILURE() << "no exception; expected one containing \"" << fragment << "\"";
    } catch (const E& e) {
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception type: " << e.what();
    }
}

TEST(ResolveIPv4, DottedAddressNeedsNoLookupAndNamesResolve)
{
    EXPECT_EQ(ResolveIPv4("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(ResolveIPv4("10.20.30.40"), "10.20.30.40");
    EXPECT_EQ(ResolveIPv4("localhost"), "127.0.0.1");
}

TEST(ResolveIPv4, FailureCarriesTheNameAndTheResolverText)
{
    try {
        ResolveIPv4("no-such-host.invalid");
        FAIL() << "resolved an .invalid name";
    } catch (const SocketError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("cannot resolve \"no-such-host.invalid\": ", 0), 0u) << message;
        EXPECT_GT(message.size(), std::string("cannot resolve \"no-such-host.invalid\": ").size());
    }
    expectThrowWith<SocketError>([] { ResolveIPv4(""); }, "empty host name");
}

TEST(LocalHost, NameAndAddressAreAvailable)
{
    EXPECT_FALSE(LocalHostName().empty());
    EXPECT_NO_THROW(ResolveIPv4(LocalIPv4Address()));
}

TEST(TcpSocketConnect, RefusedConnectionSaysSo)
{
    TcpSocket socket;
    const int port = ScriptedServer::UnusedPort();
    expectThrowWith<SocketError>([&] { socket.connect("127.0.0.1", port, 2000); },
                                 "cannot connect to 127.0.0.1:" + std::to_string(port) +
                                     ": connection refused");
    EXPECT_FALSE(socket.isOpen());
}

TEST(TcpSocketConnect, InvalidPortAndUnresolvableHostFailBeforeConnecting)
{
    TcpSocket socket;
    expectThrowWith<SocketError>([&] { socket.connect("127.0.0.1", 0, 1000); }, "invalid port");
    expectThrowWith<SocketError>([&] { socket.connect("127.0.0.1", 70000, 1000); }, "invalid port");
    expectThrowWith<SocketError>([&] { socket.connect("no-such-host.invalid", 25, 1000); }, "cannot resolve");
}

// A listener whose accept queue is full drops further connection requests, so a connect to it
// hangs until the client's own time-out ends it.
TEST(TcpSocketConnect, UnansweredConnectionTimesOut)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    std::vector<std::unique_ptr<TcpSocket>> fillers;
    bool timedOut = false;
    for (int i = 0; i < 8 && !timedOut; ++i) {
        auto socket = std::make_unique<TcpSocket>();
        try {
            socket->connect("127.0.0.1", port, 300);
            fillers.push_back(std::move(socket));
        } catch (const SocketTimeoutError& e) {
            timedOut = true;
            EXPECT_EQ(std::string(e.what()),
                      "cannot connect to 127.0.0.1:" + std::to_string(port) + ": timed out after 300 ms");
        }
    }
    EXPECT_TRUE(timedOut) << "every connection attempt was accepted";
    ::close(listener);
}

// ---------------------------------------------------------------------------------------------

struct LineCase
{
    const char* name;
    std::vector<std::string> pieces; // sent by the server, a pause between pieces
    std::vector<std::string> lines;  // what readLine must return
};

class TcpSocketLines : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(TcpSocketLines, LinesAreReassembledWhateverTheSegments)
{
    const LineCase& c = GetParam();
    ScriptedServer server;
    for (const std::string& piece : c.pieces)
        server.send(piece).pause(20);
    server.silence(5000);
    server.start();

    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    for (const std::string& expected : c.lines)
        EXPECT_EQ(socket.readLine(2000), expected);
    EXPECT_EQ(socket.bufferedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TcpSocketLines,
    ::testing::Values(
        LineCase{"crlf", {"220 ready\r\n"}, {"220 ready"}}, LineCase{"bare_lf", {"a\nb\n"}, {"a", "b"}},
        LineCase{"crlf_split_between_cr_and_lf", {"one\r", "\ntwo\r\n"}, {"one", "two"}},
        LineCase{"line_in_bytes", {"h", "e", "l", "lo\r\n"}, {"hello"}},
        LineCase{"empty_lines", {"\r\n\n\r\nx\r\n"}, {"", "", "", "x"}},
        LineCase{"inner_cr_kept", {"a\rb\r\n"}, {"a\rb"}},
        LineCase{"binary_bytes", {std::string("\0\xff\x01z\n", 5)}, {std::string("\0\xff\x01z", 4)}}),
    [](const ::testing::TestParamInfo<LineCase>& p) { return std::string(p.param.name); });

TEST(TcpSocketRead, SilentPeerTimesOutWithTheBoundInTheMessage)
{
    ScriptedServer server;
    server.silence(5000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    expectThrowWith<SocketTimeoutError>([&] { socket.readLine(200); },
                                        "timed out after 200 ms waiting for data from 127.0.0.1:");
    expectThrowWith<SocketTimeoutError>([&] { socket.readSome(10, 100); }, "timed out after 100 ms");
    expectThrowWith<SocketTimeoutError>([&] { socket.readExactly(10, 100); }, "timed out after 100 ms");
}

// The time-out bounds the whole line, so a server that trickles bytes cannot stretch the wait.
TEST(TcpSocketRead, TricklingPeerCannotStretchALineBeyondTheTimeout)
{
    ScriptedServer server;
    server.trickle("220 this line arrives far too slowly\r\n", 50).silence(5000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    EXPECT_THROW(socket.readLine(300), SocketTimeoutError);
}

TEST(TcpSocketRead, OverlongLineFailsAndMemoryStaysBounded)
{
    ScriptedServer server;
    server.send(std::string(200 * 1024, 'x')).silence(5000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    expectThrowWith<SocketError>([&] { socket.readLine(2000, 1024); }, "longer than 1024 bytes");
    EXPECT_LT(socket.bufferedBytes(), 64u * 1024);
}

TEST(TcpSocketRead, LineOfExactlyTheMaximumIsAccepted)
{
    ScriptedServer server;
    server.send(std::string(1024, 'y') + "\r\n" + std::string(1025, 'z') + "\n").silence(5000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    EXPECT_EQ(socket.readLine(2000, 1024).size(), 1024u);
    EXPECT_THROW(socket.readLine(2000, 1024), SocketError);
}

TEST(TcpSocketRead, CloseBeforeAndInTheMiddleOfALine)
{
    ScriptedServer server;
    server.send("complete\r\ncut off").close();
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    EXPECT_EQ(socket.readLine(2000), "complete");
    expectThrowWith<SocketClosedError>([&] { socket.readLine(2000); }, "in the middle of a line");

    ScriptedServer quiet;
    quiet.close();
    quiet.start();
    TcpSocket other;
    other.connect("127.0.0.1", quiet.port(), 2000);
    expectThrowWith<SocketClosedError>([&] { other.readLine(2000); }, "connection closed by 127.0.0.1:");
}

TEST(TcpSocketRead, BytesMixWithLinesAndOrderlyCloseGivesEmptyReadSome)
{
    ScriptedServer server;
    server.send("HEAD\r\n0123456789rest").close();
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    EXPECT_EQ(socket.readLine(2000), "HEAD");
    EXPECT_EQ(socket.readExactly(4, 2000), "0123");
    EXPECT_EQ(socket.readSome(3, 2000), "456");
    std::string rest;
    for (std::string piece = socket.readSome(100, 2000); !piece.empty(); piece = socket.readSome(100, 2000))
        rest += piece;
    EXPECT_EQ(rest, "789rest");
    expectThrowWith<SocketClosedError>([&] { socket.readExactly(1, 2000); }, "after 0 of 1 bytes");
}

TEST(TcpSocketWrite, LargeWriteArrivesWhole)
{
    const std::string data(3 * 1024 * 1024 + 7, 'd');
    ScriptedServer server;
    server.readBytes(data.size());
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    socket.write(data, 10000);
    ASSERT_TRUE(server.wait());
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_TRUE(server.received()[0] == data);
}

TEST(TcpSocketWrite, PeerThatNeverReadsMakesTheWriteTimeOut)
{
    ScriptedServer server;
    server.pause(10000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    const std::string data(64 * 1024 * 1024, 'w');
    expectThrowWith<SocketTimeoutError>([&] { socket.write(data, 300); },
                                        "timed out after 300 ms sending to");
}

TEST(TcpSocketWrite, WritingToAClosedPeerFailsWithoutKillingTheProcess)
{
    ScriptedServer server;
    server.close();
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    ASSERT_TRUE(server.wait());
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i) {
                socket.write(std::string(64 * 1024, 'x'), 2000);
                ::usleep(1000);
            }
        },
        SocketError);
}

// ---------------------------------------------------------------------------------------------
// Threads: the SMPP client reads on one thread and writes on others.

TEST(TcpSocketThreads, ShutdownFromAnotherThreadReleasesABlockedReader)
{
    ScriptedServer server;
    server.silence(20000);
    server.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);

    std::string outcome;
    std::thread reader([&] {
        try {
            socket.readLine(kNoTimeout);
            outcome = "line";
        } catch (const SocketClosedError&) {
            outcome = "closed";
        } catch (const std::exception& e) {
            outcome = e.what();
        }
    });
    ::usleep(50 * 1000);
    socket.shutdown();
    reader.join();
    EXPECT_EQ(outcome, "closed");
}

TEST(TcpSocketThreads, ConcurrentWritersNeverInterleaveWhileAReaderRuns)
{
    constexpr int kLinesPerWriter = 300;
    const std::string a = "A" + std::string(3000, 'a');
    const std::string b = "B" + std::string(3000, 'b');
    ScriptedServer server;
    server.run([&](ScriptedConnection& c) {
        for (int i = 0; i < 2 * kLinesPerWriter; ++i) {
            std::string line;
            if (!c.readLine(line))
                return false;
            if (line != a && line != b)
                server.fail("mixed line");
            if (!c.send("ack\r\n"))
                return false;
        }
        return true;
    });
    server.start();

    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 2000);
    int acks = 0;
    std::thread reader([&] {
        try {
            while (acks < 2 * kLinesPerWriter && socket.readLine(5000) == "ack")
                ++acks;
        } catch (const std::exception&) {
        }
    });
    std::thread writerA([&] {
        for (int i = 0; i < kLinesPerWriter; ++i)
            socket.write(a + "\r\n", 5000);
    });
    std::thread writerB([&] {
        for (int i = 0; i < kLinesPerWriter; ++i)
            socket.write(b + "\r\n", 5000);
    });
    writerA.join();
    writerB.join();
    reader.join();
    ASSERT_TRUE(server.wait());
    EXPECT_TRUE(server.failures().empty());
    EXPECT_EQ(acks, 2 * kLinesPerWriter);
}

// ---------------------------------------------------------------------------------------------

TEST(UdpSocket, DatagramArrivesWhole)
{
    const int receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length);

    UdpSocket udp;
    const std::string datagram = "<191>Mar  5 07:08:09 127.0.0.1 :text";
    udp.sendTo("localhost", ntohs(address.sin_port), datagram);

    pollfd p{receiver, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char buffer[2048];
    const ssize_t n = ::recv(receiver, buffer, sizeof buffer, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), datagram);
    ::close(receiver);
}

TEST(UdpSocket, UnresolvableHostAndBadPortAreErrors)
{
    UdpSocket udp;
    expectThrowWith<SocketError>([&] { udp.sendTo("no-such-host.invalid", 514, "x"); }, "cannot resolve");
    expectThrowWith<SocketError>([&] { udp.sendTo("127.0.0.1", 0, "x"); }, "invalid port");
    udp.close();
    expectThrowWith<SocketError>([&] { udp.sendTo("127.0.0.1", 514, "x"); }, "closed");
}

} // namespace
