// The TCP check against scripted servers: a banner that holds the expected text, a line sent
// first and its answer, and each way it fails (refused, closed, silent, text not found) with a
// detail that says so, within the time-out.
#include "checks/ThreadTCPCheckUnit.h"

#include "support/RunItem.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kTimeoutMs = 800;

ThreadTCPCheck makeCheck(int port, const QString& send, const QString& expect, int timeoutMs = kTimeoutMs)
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.ServiceId = 3;
    args.Host = "127.0.0.1";
    args.Port = port;
    args.Timeout = timeoutMs;
    return ThreadTCPCheck(args, TcpCheckArgs{send, expect});
}

std::string withPort(std::string text, int port)
{
    const std::string mark = "{port}";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), std::to_string(port));
    return text;
}

struct TcpCase
{
    const char* name;
    std::function<void(ScriptedServer&)> script;
    const char* send;
    const char* expect;
    bool passed;
    std::string detailTail; // after "[127.0.0.1:<port>] "
    std::vector<std::string> received;
};

class TcpDialogue : public ::testing::TestWithParam<TcpCase>
{
};

TEST_P(TcpDialogue, JudgesTheFirstReply)
{
    const TcpCase& c = GetParam();
    ScriptedServer server;
    c.script(server);
    server.start();

    ThreadTCPCheck check = makeCheck(server.port(), c.send, c.expect);
    const Outcome o = RunItem(check);
    ASSERT_TRUE(server.wait());

    EXPECT_EQ(o.passed, c.passed);
    EXPECT_EQ(o.text, c.passed ? "Passed" : "Failed");
    EXPECT_EQ(o.detail,
              "[127.0.0.1:" + std::to_string(server.port()) + "] " + withPort(c.detailTail, server.port()));
    EXPECT_LT(o.elapsedMs, kTimeoutMs + 400);
    EXPECT_EQ(server.received(), c.received);
    EXPECT_TRUE(server.failures().empty()) << server.failures().front();
}

const std::string kLongBanner = "220 " + std::string(30, 'x') + "\t\x01" + std::string(70, 'y');

const std::vector<TcpCase> kTcpCases = {
    {"ssh_banner",
     [](ScriptedServer& s) { s.sendLine("SSH-2.0-OpenSSH_9.2p1 Debian-2").readRest(); },
     "",
     "SSH-2.0",
     true,
     "Passed",
     {}},
    {"connect_only_needs_no_reply", [](ScriptedServer& s) { s.readRest(); }, "", "", true, "Passed", {}},
    {"line_sent_then_answer_expected",
     [](ScriptedServer& s) { s.expectLine("PING").sendLine("+PONG").readRest(); },
     "PING",
     "+PONG",
     true,
     "Passed",
     {"PING"}},
    {"prompt_without_line_end",
     [](ScriptedServer& s) { s.send("login: ").readRest(); },
     "",
     "login:",
     true,
     "Passed",
     {}},
    {"banner_in_pieces",
     [](ScriptedServer& s) { s.trickle("+OK Dovecot ready.\r\n", 5).readRest(); },
     "",
     "+OK Dovecot",
     true,
     "Passed",
     {}},
    {"text_not_in_banner",
     [](ScriptedServer& s) { s.sendLine("220 mail.example ESMTP").readRest(); },
     "",
     "SSH-2.0",
     false,
     "Failed:\"SSH-2.0\" not found in the reply \"220 mail.example ESMTP\"",
     {}},
    {"text_only_in_a_later_line",
     [](ScriptedServer& s) { s.send("220-first\r\n220 SSH-2.0 later\r\n").readRest(); },
     "",
     "SSH-2.0",
     false,
     "Failed:\"SSH-2.0\" not found in the reply \"220-first\"",
     {}},
    {"letter_case_counts",
     [](ScriptedServer& s) { s.sendLine("+ok ready").readRest(); },
     "",
     "+OK",
     false,
     "Failed:\"+OK\" not found in the reply \"+ok ready\"",
     {}},
    {"long_reply_quoted_in_part_with_controls_blanked",
     [](ScriptedServer& s) { s.sendLine(kLongBanner).readRest(); },
     "",
     "+OK",
     false,
     "Failed:\"+OK\" not found in the reply \"220 " + std::string(30, 'x') + "  " + std::string(24, 'y') +
         "\"...",
     {}},
    {"closed_without_reply",
     [](ScriptedServer& s) { s.close(); },
     "",
     "+OK",
     false,
     "Failed:connection closed by 127.0.0.1:{port} without a reply",
     {}},
    {"closed_mid_reply",
     [](ScriptedServer& s) { s.send("+O").close(); },
     "",
     "+OK",
     false,
     "Failed:\"+OK\" not found in the reply \"+O\" (connection closed)",
     {}},
    {"silent_server",
     [](ScriptedServer& s) { s.silence(); },
     "",
     "SSH-2.0",
     false,
     "Failed:no reply from 127.0.0.1:{port} within 800 ms",
     {}},
    {"part_of_a_reply_then_silence",
     [](ScriptedServer& s) { s.send("SSH-1.").silence(); },
     "",
     "SSH-2.0",
     false,
     "Failed:\"SSH-2.0\" not found in the reply \"SSH-1.\" (nothing more within 800 ms)",
     {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, TcpDialogue, ::testing::ValuesIn(kTcpCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(TcpCheck, ClosedPortFailsAsRefused)
{
    const int port = ScriptedServer::UnusedPort();
    ThreadTCPCheck check = makeCheck(port, "", "");
    const Outcome o = RunItem(check);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[127.0.0.1:" + std::to_string(port) + "] Failed:cannot connect to 127.0.0.1:" +
                            std::to_string(port) + ": connection refused");
}

// A line to send that holds CR or LF would become two commands: refused before connecting.
TEST(TcpCheck, TextToSendWithLineBreakIsRefusedBeforeConnecting)
{
    for (const char* send : {"QUIT\r\nHELP", "A\nB", "x\r"}) {
        SCOPED_TRACE(send);
        ScriptedServer server;
        server.readRest();
        server.start();
        ThreadTCPCheck check = makeCheck(server.port(), send, "");
        const Outcome o = RunItem(check);
        server.stop();
        EXPECT_FALSE(o.passed);
        EXPECT_NE(o.detail.find("the text to send must be one line, without CR or LF"), std::string::npos)
            << o.detail;
        EXPECT_EQ(server.connectionsAccepted(), 0);
    }
}

// The time-out bounds the whole check: a banner that trickles in slower than the time-out
// allows fails at the time-out, not when the line is complete.
TEST(TcpCheck, TricklingBannerIsCutOffAtTheTimeout)
{
    ScriptedServer server;
    server.trickle("SSH-2.0-slow\r\n", 100).readRest();
    server.start();
    ThreadTCPCheck check = makeCheck(server.port(), "", "slow", 500);
    const Outcome o = RunItem(check);
    server.stop();
    EXPECT_FALSE(o.passed);
    EXPECT_LT(o.elapsedMs, 900);
    EXPECT_NE(o.detail.find("(nothing more within 500 ms)"), std::string::npos) << o.detail;
}

} // namespace
