// TLS in the socket layer against "openssl s_server" with certificates made for the run (a
// private CA, a valid leaf, an expired one, one ending in three days and one for another name),
// and against hostile peers played by scripted servers: silence, a stall in the middle of the
// handshake, bytes that are no TLS, a close in the middle. Every failure must come quickly, with a
// reason a person can act on.
#include "net/LineClient.h"
#include "net/Socket.h"
#include "net/Tls.h"

#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

class TlsSocket : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        m_certs = TestCerts(&why);
        if (!m_certs)
            GTEST_SKIP() << why;
    }

    TlsOptions trusting() const
    {
        TlsOptions options;
        options.caFile = m_certs->caFile;
        return options;
    }

    const TestCertificates* m_certs = nullptr;
};

// Sends "ping" to an s_server in -rev mode and returns what comes back ("gnip").
std::string roundTrip(TcpSocket& socket)
{
    socket.write("ping\n", 5000);
    return socket.readLine(5000);
}

TEST_F(TlsSocket, TalksInsideTlsOnceTheServerIsVerified)
{
    OpenSslServer server;
    ASSERT_TRUE(server.start(m_certs->valid, "-rev")) << server.output();
    for (const char* name : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(name);
        TcpSocket socket;
        socket.connect(name, server.port(), 5000);
        EXPECT_FALSE(socket.isTls());
        socket.startTls(trusting(), name, 5000);
        EXPECT_TRUE(socket.isTls());
        EXPECT_EQ(socket.tlsProtocol().rfind("TLSv1.", 0), 0u) << socket.tlsProtocol();
        EXPECT_EQ(roundTrip(socket), "gnip");
        // Larger than one TLS record, both ways (the server reverses what each read brings).
        const std::string big(40000, 'x');
        socket.write(big + "y\n", 5000);
        std::string back;
        while (back.find('y') == std::string::npos && back.size() < 50000)
            back += socket.readLine(5000);
        EXPECT_EQ(std::count(back.begin(), back.end(), 'x'), 40000);
    }
}

TEST_F(TlsSocket, CertificatesAreJudgedWithAClearReason)
{
    struct Case
    {
        const char* name;
        std::string certificate;
        TlsOptions options;
        std::string serverName;
        std::optional<TlsFailureKind> failure; // none: the handshake passes
        std::string message;                   // a regular expression for the whole message
    };
    TlsOptions trust = trusting();
    TlsOptions systemOnly;
    TlsOptions warn14 = trust;
    warn14.expiryWarnDays = 14;
    TlsOptions warn2 = trust;
    warn2.expiryWarnDays = 2;
    TlsOptions anyCertificate;
    anyCertificate.verify = false;
    anyCertificate.expiryWarnDays = 14;
    TlsOptions missingCa;
    missingCa.caFile = m_certs->caFile + ".missing";
    TlsOptions noCertificate;
    noCertificate.caFile = m_certs->keyFile;
    const std::string date = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC";

    const std::vector<Case> cases = {
        {"valid with the CA", m_certs->valid, trust, "localhost", std::nullopt, ""},
        {"valid by address", m_certs->valid, trust, "127.0.0.1", std::nullopt, ""},
        {"the system store does not know the CA", m_certs->valid, systemOnly, "localhost",
         TlsFailureKind::Certificate,
         "certificate of localhost not accepted: unable to get local issuer certificate"},
        {"expired", m_certs->expired, trust, "localhost", TlsFailureKind::Certificate,
         "certificate of localhost not accepted: certificate has expired \\(it ended " + date + "\\)"},
        {"another name", m_certs->otherName, trust, "localhost", TlsFailureKind::Certificate,
         "certificate of localhost not accepted: host name mismatch \\(the certificate is for "
         "other\\.test\\)"},
        {"another address", m_certs->valid, trust, "127.0.0.2", TlsFailureKind::Certificate,
         "certificate of 127\\.0\\.0\\.2 not accepted: host name mismatch \\(the certificate is for "
         "localhost, "
         "127\\.0\\.0\\.1, .*\\)"},
        {"ends within the warning days", m_certs->endingSoon, warn14, "localhost", TlsFailureKind::Expiring,
         "certificate of localhost not accepted: certificate ends on " + date + ", within 14 days"},
        {"ends after the warning days", m_certs->endingSoon, warn2, "localhost", std::nullopt, ""},
        {"no expiry warning", m_certs->endingSoon, trust, "localhost", std::nullopt, ""},
        {"any certificate: another name", m_certs->otherName, anyCertificate, "localhost", std::nullopt, ""},
        {"any certificate: expired, no warning either", m_certs->expired, anyCertificate, "localhost",
         std::nullopt, ""},
        {"missing CA file", m_certs->valid, missingCa, "localhost", TlsFailureKind::Setup,
         "cannot read the CA file \".*\\.missing\": No such file or directory"},
        {"CA file without a certificate", m_certs->valid, noCertificate, "localhost", TlsFailureKind::Setup,
         "cannot read the CA file \".*leaf\\.key\": .+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenSslServer server;
        ASSERT_TRUE(server.start(c.certificate, "-rev")) << server.output();
        TcpSocket socket;
        socket.connect("127.0.0.1", server.port(), 5000);
        try {
            socket.startTls(c.options, c.serverName, 5000);
            EXPECT_FALSE(c.failure.has_value()) << "accepted";
            EXPECT_EQ(roundTrip(socket), "gnip");
        } catch (const TlsError& e) {
            ASSERT_TRUE(c.failure.has_value()) << e.what();
            EXPECT_EQ(e.failure().kind, *c.failure) << e.what();
            EXPECT_TRUE(FullMatch(e.what(), c.message)) << e.what();
            EXPECT_NE(std::string(e.what()).find(e.failure().reason), std::string::npos);
            // Nothing more goes over a connection whose handshake failed.
            EXPECT_THROW(socket.write("ping\n", 1000), SocketError);
        }
    }
}

TEST_F(TlsSocket, ProtocolsOlderThanTls12AreRefused)
{
    OpenSslServer server;
    ASSERT_TRUE(server.start(m_certs->valid, "-rev", {"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"}))
        << server.output();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 5000);
    try {
        socket.startTls(trusting(), "localhost", 5000);
        FAIL() << "a TLS 1.1 server was accepted: " << socket.tlsProtocol();
    } catch (const TlsError& e) {
        EXPECT_EQ(e.failure().kind, TlsFailureKind::Handshake);
        const std::string prefix =
            "TLS handshake with 127.0.0.1:" + std::to_string(server.port()) + " failed: ";
        EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    }
}

TEST_F(TlsSocket, WritingToAVanishedPeerFailsWithoutSignals)
{
    OpenSslServer server;
    ASSERT_TRUE(server.start(m_certs->valid, "-rev")) << server.output();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 5000);
    socket.startTls(trusting(), "localhost", 5000);
    server.stop();
    // Writing on: the first writes may still be taken by the kernel, then the reset must come
    // back as an error (a SIGPIPE would end the test program).
    EXPECT_THROW(
        {
            for (int i = 0; i < 200; ++i)
                socket.write(std::string(16384, 'z') + "\n", 2000);
        },
        SocketError);
}

TEST_F(TlsSocket, ShutdownFromAnotherThreadEndsABlockedRead)
{
    OpenSslServer server;
    ASSERT_TRUE(server.start(m_certs->valid, "-rev")) << server.output();
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port(), 5000);
    socket.startTls(trusting(), "localhost", 5000);
    const auto start = Clock::now();
    std::thread stopper([&socket] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        socket.shutdown();
    });
    EXPECT_THROW(socket.readLine(20000), SocketClosedError);
    stopper.join();
    EXPECT_LT(elapsedMs(start), 5000);
}

// ---- hostile peers ----------------------------------------------------------------------------

// A record header of a ServerHello that announces more bytes than ever come.
const std::string kPartialServerHello = std::string("\x16\x03\x03\x00\x7a\x02\x00\x00\x76\x03\x03", 11);

struct HostileCase
{
    const char* name;
    std::function<void(ScriptedServer&)> script;
    enum
    {
        TimedOut,
        Closed,
        Refused
    } outcome;
    std::string messageStart; // after "127.0.0.1:<port>"
};

TEST(TlsHostilePeers, FailWithinTheTimeOutAndSaySo)
{
    auto readHello = [](ScriptedConnection& c) {
        std::string hello;
        return c.readSome(hello);
    };
    const std::vector<HostileCase> cases = {
        {"silent after accepting", [](ScriptedServer& s) { s.silence(10000); }, HostileCase::TimedOut,
         ": no answer within 800 ms"},
        {"stalls in the middle of the ServerHello",
         [&](ScriptedServer& s) { s.run(readHello).send(kPartialServerHello).silence(10000); },
         HostileCase::TimedOut, ": no answer within 800 ms"},
        {"trickles the handshake byte by byte",
         [&](ScriptedServer& s) { s.run(readHello).trickle(kPartialServerHello, 300).silence(10000); },
         HostileCase::TimedOut, ": no answer within 800 ms"},
        {"greets in the clear instead",
         [](ScriptedServer& s) { s.sendLine("220 mail ready").silence(10000); }, HostileCase::Refused,
         " failed: "},
        {"answers the hello with garbage",
         [&](ScriptedServer& s) {
             std::string garbage;
             for (int i = 0; i < 4096; ++i)
                 garbage += static_cast<char>((i * 131 + 7) & 0xFF);
             s.run(readHello).send(garbage).silence(10000);
         },
         HostileCase::Refused, " failed: "},
        {"answers with an alert",
         [&](ScriptedServer& s) {
             s.run(readHello).send(std::string("\x15\x03\x03\x00\x02\x02\x28", 7)).silence(10000);
         },
         HostileCase::Refused, " failed: "},
        {"closes in the middle",
         [&](ScriptedServer& s) { s.run(readHello).send(kPartialServerHello).close(); }, HostileCase::Closed,
         " during the TLS handshake"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        c.script(server);
        server.start();
        TcpSocket socket;
        socket.connect("127.0.0.1", server.port(), 2000);
        const std::string peer = "127.0.0.1:" + std::to_string(server.port());
        const auto start = Clock::now();
        try {
            socket.startTls(TlsOptions(), "localhost", 800);
            ADD_FAILURE() << "the handshake passed";
        } catch (const SocketTimeoutError& e) {
            EXPECT_EQ(c.outcome, HostileCase::TimedOut) << e.what();
            EXPECT_EQ(std::string(e.what()), "TLS handshake with " + peer + c.messageStart);
        } catch (const SocketClosedError& e) {
            EXPECT_EQ(c.outcome, HostileCase::Closed) << e.what();
            EXPECT_EQ(std::string(e.what()), "connection closed by " + peer + c.messageStart);
        } catch (const TlsError& e) {
            EXPECT_EQ(c.outcome, HostileCase::Refused) << e.what();
            EXPECT_EQ(e.failure().kind, TlsFailureKind::Handshake);
            const std::string prefix = "TLS handshake with " + peer + c.messageStart;
            EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
            EXPECT_GT(std::string(e.what()).size(), prefix.size()) << "no reason given";
        }
        const long long ms = elapsedMs(start);
        EXPECT_LT(ms, 2500) << "the failure took too long";
        if (c.outcome == HostileCase::TimedOut) {
            EXPECT_GE(ms, 700);
        }
    }
}

// Bytes that arrived in the clear must never be read as if they had come inside TLS: a server
// (or a man in the middle) that sends more than the answer to STARTTLS is refused.
TEST(TlsHostilePeers, BytesBeforeTheHandshakeAreRefused)
{
    ScriptedServer server;
    server.send("220 go ahead\r\n250 injected\r\n").silence(5000);
    server.start();

    LineClient client;
    client.connect("127.0.0.1", server.port(), 2000);
    NumericReplyParser parser;
    EXPECT_EQ(client.readReply(parser).code, 220);
    try {
        client.startTls(TlsOptions(), "localhost");
        FAIL() << "the handshake was started over unread bytes";
    } catch (const ProtocolError& e) {
        EXPECT_EQ(std::string(e.what()), "unexpected data from 127.0.0.1:" + std::to_string(server.port()) +
                                             " before the TLS handshake");
    }
    EXPECT_FALSE(client.isConnected());

    ScriptedServer raw;
    raw.send("hello\r\nextra").silence(5000);
    raw.start();
    TcpSocket socket;
    socket.connect("127.0.0.1", raw.port(), 2000);
    EXPECT_EQ(socket.readLine(2000), "hello");
    EXPECT_THROW(socket.startTls(TlsOptions(), "localhost", 2000), SocketError);
    EXPECT_FALSE(socket.isTls());
}

} // namespace
