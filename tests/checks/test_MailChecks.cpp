// The SMTP, POP3 and IMAP checks against scripted servers: the exact commands each sends for
// given replies, the verdict and the detail text, and the faults (refused, silent, closed,
// malformed) that must fail the check within its time-out.
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "net/Socket.h"

#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Kind
{
    SMTP,
    POP3,
    IMAP
};

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::SMTP:
        return "SMTP";
    case Kind::POP3:
        return "POP3";
    case Kind::IMAP:
        return "IMAP";
    }
    return "";
}

constexpr int kTimeoutMs = 800;

std::unique_ptr<ThreadCheck> makeCheck(Kind kind, const std::string& host, int port, const std::string& user,
                                       const std::string& password, int timeoutMs = kTimeoutMs)
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.ServiceId = 7;
    args.Host = QString::fromStdString(host);
    args.Port = port;
    args.Timeout = timeoutMs;
    const QString u = QString::fromStdString(user);
    const QString p = QString::fromStdString(password);
    switch (kind) {
    case Kind::SMTP:
        return std::make_unique<ThreadSMTPCheck>(args, u, p);
    case Kind::POP3:
        return std::make_unique<ThreadPOP3Check>(args, u, p);
    case Kind::IMAP:
        return std::make_unique<ThreadIMAPCheck>(args, u, p);
    }
    return nullptr;
}

// Replaces "{port}" by the server's port.
std::string withPort(std::string text, int port)
{
    const std::string mark = "{port}";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), std::to_string(port));
    return text;
}

struct DialogueCase
{
    const char* name;
    Kind kind;
    std::string user;
    std::string password;
    // The server's part; `me` is the local host name the SMTP check greets with.
    std::function<void(ScriptedServer&, const std::string& me)> script;
    bool passed;
    // The detail after "[127.0.0.1:<port>] "; a trailing "*" matches any rest.
    std::string detailTail;
    // What the client sent, in order ("{me}" stands for the local host name).
    std::vector<std::string> sent;
};

class MailDialogue : public ::testing::TestWithParam<DialogueCase>
{
};

TEST_P(MailDialogue, SendsExactlyTheseCommandsAndJudges)
{
    const DialogueCase& c = GetParam();
    const std::string me = LocalHostName();
    ScriptedServer server;
    c.script(server, me);
    server.start();

    auto check = makeCheck(c.kind, "127.0.0.1", server.port(), c.user, c.password);
    check->Execute();
    ASSERT_TRUE(server.wait());

    EXPECT_EQ(check->Passed, c.passed);
    EXPECT_EQ(check->ResultText, c.passed ? "Passed" : "Failed");
    const std::string prefix = "[127.0.0.1:" + std::to_string(server.port()) + "] ";
    const std::string detail = check->ResultDetail.toStdString();
    std::string tail = withPort(c.detailTail, server.port());
    if (!tail.empty() && tail.back() == '*') {
        tail.pop_back();
        EXPECT_EQ(detail.substr(0, prefix.size() + tail.size()), prefix + tail) << detail;
    } else {
        EXPECT_EQ(detail, prefix + tail);
    }
    std::vector<std::string> sent;
    for (std::string line : c.sent) {
        const std::size_t at = line.find("{me}");
        if (at != std::string::npos)
            line.replace(at, 4, me);
        sent.push_back(line);
    }
    EXPECT_EQ(server.received(), sent);
    EXPECT_TRUE(server.failures().empty()) << server.failures().front();
}

const std::vector<DialogueCase> kSmtpCases = {
    {"smtp_reply_ahead_of_ehlo",
     Kind::SMTP,
     "u",
     "p",
     [](ScriptedServer& s, const std::string&) {
         s.send("220 mx.example ESMTP\r\n250 mx.example\r\n").readRest();
     },
     false,
     "Failed:127.0.0.1:{port} sent \"250 mx.example  \" when no reply was due; its replies are out of step "
     "with the commands",
     {}},
    {"smtp_ehlo_accepted",
     Kind::SMTP,
     "u",
     "p",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220 mx.example ESMTP").expectLine("EHLO " + me);
         s.sendLine("250-mx.example hello")
             .sendLine("250-AUTH PLAIN LOGIN")
             .sendLine("250 8BITMIME")
             .readRest();
     },
     true,
     "Passed",
     {"EHLO {me}", "QUIT"}},
    {"smtp_ehlo_500_then_helo_250",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220 old.example SMTP").expectLine("EHLO " + me).sendLine("500 command unrecognized");
         s.expectLine("HELO " + me).sendLine("250 old.example").readRest();
     },
     true,
     "Passed",
     {"EHLO {me}", "HELO {me}", "QUIT"}},
    {"smtp_multiline_greeting",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220-mx.example").sendLine("220-no UCE").sendLine("220 ready");
         s.expectLine("EHLO " + me).sendLine("250 ok").readRest();
     },
     true,
     "Passed",
     {"EHLO {me}", "QUIT"}},
    {"smtp_greeting_554",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("554 mx.example no service for you").readRest();
     },
     false,
     "Failed:554 mx.example no service for you",
     {"QUIT"}},
    {"smtp_helo_refused",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220 mx").expectLine("EHLO " + me).sendLine("502 no");
         s.expectLine("HELO " + me).sendLine("501 5.5.4 bad hostname").readRest();
     },
     false,
     "Failed:501 5.5.4 bad hostname",
     {"EHLO {me}", "HELO {me}", "QUIT"}},
    {"smtp_credentials_never_used",
     Kind::SMTP,
     "alice",
     "secret",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220 mx")
             .expectLine("EHLO " + me)
             .sendLine("250-mx")
             .sendLine("250 AUTH LOGIN")
             .readRest();
     },
     true,
     "Passed",
     {"EHLO {me}", "QUIT"}},
    // A server that stops answering: no QUIT is sent on a connection that is out of step.
    {"smtp_silent_after_ehlo",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string& me) {
         s.sendLine("220 mx").expectLine("EHLO " + me).silence();
     },
     false,
     "Failed:no complete reply from 127.0.0.1:{port} within 800 ms",
     {"EHLO {me}"}},
    {"smtp_greeting_cut_off",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string&) { s.send("220 mx.exam").close(); },
     false,
     "Failed:connection closed by 127.0.0.1:{port} in the middle of a reply",
     {}},
    {"smtp_garbage_greeting",
     Kind::SMTP,
     "",
     "",
     [](ScriptedServer& s, const std::string&) {
         s.send(std::string("\x16\x03\x01\0\x05hello\r\n", 12)).silence();
     },
     false,
     "Failed:malformed reply \"*",
     {}},
};

const std::vector<DialogueCase> kPop3Cases = {
    {"pop3_login",
     Kind::POP3,
     "alice",
     "secret",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("+OK POP3 ready").expectLine("USER alice").sendLine("+OK");
         s.expectLine("PASS secret").sendLine("+OK maildrop has 2 messages").readRest();
     },
     true,
     "Passed",
     {"USER alice", "PASS secret", "QUIT"}},
    {"pop3_empty_credentials_refused",
     Kind::POP3,
     "",
     "",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("+OK POP3 ready").expectLine("USER ").sendLine("+OK");
         s.expectLine("PASS ").sendLine("-ERR [AUTH] invalid login").readRest();
     },
     false,
     "Failed:-ERR [AUTH] invalid login",
     {"USER ", "PASS ", "QUIT"}},
    // A reply sent twice would be taken for the reply to the next command (here a PASS the server
    // would refuse): the check ends before sending it.
    {"pop3_user_answered_twice",
     Kind::POP3,
     "alice",
     "secret",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("+OK POP3 ready").expectLine("USER alice").send("+OK\r\n+OK\r\n").readRest();
     },
     false,
     "Failed:127.0.0.1:{port} sent \"+OK  \" when no reply was due; its replies are out of step with the "
     "commands",
     {"USER alice"}},
    {"pop3_user_refused_no_pass",
     Kind::POP3,
     "bob",
     "pw",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("+OK ready").expectLine("USER bob").sendLine("-ERR no such user").readRest();
     },
     false,
     "Failed:-ERR no such user",
     {"USER bob", "QUIT"}},
    {"pop3_greeting_err",
     Kind::POP3,
     "bob",
     "pw",
     [](ScriptedServer& s, const std::string&) { s.sendLine("-ERR too busy").readRest(); },
     false,
     "Failed:-ERR too busy",
     {"QUIT"}},
    {"pop3_greeting_unrecognized",
     Kind::POP3,
     "bob",
     "pw",
     [](ScriptedServer& s, const std::string&) { s.sendLine("220 this is SMTP").readRest(); },
     false,
     "Failed:Unrecognized POP3 Response Header:\n\"220 this is SMTP\"",
     {"QUIT"}},
    {"pop3_silent_greeting",
     Kind::POP3,
     "bob",
     "pw",
     [](ScriptedServer& s, const std::string&) { s.silence(); },
     false,
     "Failed:no complete reply from 127.0.0.1:{port} within 800 ms",
     {}},
    {"pop3_closed_after_user",
     Kind::POP3,
     "bob",
     "pw",
     [](ScriptedServer& s, const std::string&) { s.sendLine("+OK").expectLine("USER bob").close(); },
     false,
     "Failed:connection closed by 127.0.0.1:{port} without a reply",
     {"USER bob"}},
};

const std::vector<DialogueCase> kImapCases = {
    {"imap_login_and_logout",
     Kind::IMAP,
     "alice",
     "secret",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK [CAPABILITY IMAP4rev1] ready").expectLine("C1 LOGIN alice secret");
         s.sendLine("* CAPABILITY IMAP4rev1 IDLE").sendLine("C1 OK LOGIN completed");
         s.expectLine("C2 LOGOUT")
             .sendLine("* BYE logging out")
             .sendLine("C2 OK LOGOUT completed")
             .readRest();
     },
     true,
     "Passed",
     {"C1 LOGIN alice secret", "C2 LOGOUT"}},
    {"imap_preauth_logs_out_with_c1",
     Kind::IMAP,
     "alice",
     "secret",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* PREAUTH welcome back")
             .expectLine("C1 LOGOUT")
             .sendLine("* BYE")
             .sendLine("C1 OK")
             .readRest();
     },
     true,
     "Passed",
     {"C1 LOGOUT"}},
    {"imap_greeting_in_lower_case",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* ok hi").expectLine("C1 LOGIN a b").sendLine("c0 ok not ours").sendLine("C1 OK done");
         s.expectLine("C2 LOGOUT").sendLine("C2 OK").readRest();
     },
     true,
     "Passed",
     {"C1 LOGIN a b", "C2 LOGOUT"}},
    {"imap_bye_greeting",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* BYE server shutting down").expectLine("C1 LOGOUT").close();
     },
     false,
     "Failed:* BYE server shutting down",
     {"C1 LOGOUT"}},
    {"imap_no_greeting",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* NO not now").expectLine("C1 LOGOUT").close();
     },
     false,
     "Failed:* NO not now",
     {"C1 LOGOUT"}},
    {"imap_unrecognized_greeting",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) { s.sendLine("+OK POP3").expectLine("C1 LOGOUT").close(); },
     false,
     "Failed:Unrecognized IMAP4 Response Header.",
     {"C1 LOGOUT"}},
    {"imap_login_no",
     Kind::IMAP,
     "alice",
     "wrong",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK ready").expectLine("C1 LOGIN alice wrong");
         s.sendLine("C1 NO [AUTHENTICATIONFAILED] Invalid credentials");
         s.expectLine("C2 LOGOUT").sendLine("C2 OK").readRest();
     },
     false,
     "Failed:C1 NO [AUTHENTICATIONFAILED] Invalid credentials",
     {"C1 LOGIN alice wrong", "C2 LOGOUT"}},
    {"imap_login_bad",
     Kind::IMAP,
     "alice",
     "wrong",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK ready").expectLine("C1 LOGIN alice wrong").sendLine("C1 BAD syntax error");
         s.expectLine("C2 LOGOUT").close();
     },
     false,
     "Failed:C1 BAD syntax error",
     {"C1 LOGIN alice wrong", "C2 LOGOUT"}},
    // Credentials with a space, quotes, a backslash or a literal's braces go as quoted strings.
    {"imap_login_quotes_what_is_not_an_atom",
     Kind::IMAP,
     "al ice",
     "say \"hi\" \\ {5}",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK ready").expectLine(R"(C1 LOGIN "al ice" "say \"hi\" \\ {5}")").sendLine("C1 OK in");
         s.expectLine("C2 LOGOUT").sendLine("C2 OK").readRest();
     },
     true,
     "Passed",
     {R"(C1 LOGIN "al ice" "say \"hi\" \\ {5}")", "C2 LOGOUT"}},
    {"imap_login_quotes_an_empty_password",
     Kind::IMAP,
     "bob",
     "",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK ready").expectLine(R"(C1 LOGIN bob "")").sendLine("C1 NO empty");
         s.expectLine("C2 LOGOUT").sendLine("C2 OK").readRest();
     },
     false,
     "Failed:C1 NO empty",
     {R"(C1 LOGIN bob "")", "C2 LOGOUT"}},
    {"imap_login_unknown_status",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) {
         s.sendLine("* OK")
             .expectLine("C1 LOGIN a b")
             .sendLine("C1 MAYBE later")
             .expectLine("C2 LOGOUT")
             .close();
     },
     false,
     "Failed:Unrecognized IMAP4 Response Header.",
     {"C1 LOGIN a b", "C2 LOGOUT"}},
    {"imap_silent_after_login",
     Kind::IMAP,
     "a",
     "b",
     [](ScriptedServer& s, const std::string&) { s.sendLine("* OK").expectLine("C1 LOGIN a b").silence(); },
     false,
     "Failed:no complete reply from 127.0.0.1:{port} within 800 ms",
     {"C1 LOGIN a b"}},
};

std::string caseName(const ::testing::TestParamInfo<DialogueCase>& p)
{
    return p.param.name;
}

INSTANTIATE_TEST_SUITE_P(SMTP, MailDialogue, ::testing::ValuesIn(kSmtpCases), caseName);
INSTANTIATE_TEST_SUITE_P(POP3, MailDialogue, ::testing::ValuesIn(kPop3Cases), caseName);
INSTANTIATE_TEST_SUITE_P(IMAP, MailDialogue, ::testing::ValuesIn(kImapCases), caseName);

// ---------------------------------------------------------------------------------------------
// Faults before any dialogue, the same for the three kinds.

class MailConnectionFaults : public ::testing::TestWithParam<Kind>
{
};

TEST_P(MailConnectionFaults, RefusedConnectionFailsWithTheReason)
{
    const int port = ScriptedServer::UnusedPort();
    auto check = makeCheck(GetParam(), "127.0.0.1", port, "u", "p");
    check->Execute();
    EXPECT_FALSE(check->Passed);
    EXPECT_EQ(check->ResultDetail.toStdString(),
              "[127.0.0.1:" + std::to_string(port) +
                  "] Failed:cannot connect to 127.0.0.1:" + std::to_string(port) + ": connection refused");
}

TEST_P(MailConnectionFaults, UnresolvableHostFailsWithTheResolverText)
{
    auto check = makeCheck(GetParam(), "mail.no-such-host.invalid", 25, "u", "p");
    check->Execute();
    EXPECT_FALSE(check->Passed);
    const std::string detail = check->ResultDetail.toStdString();
    const std::string start =
        "[mail.no-such-host.invalid:25] Failed:cannot resolve \"mail.no-such-host.invalid\": ";
    EXPECT_EQ(detail.substr(0, start.size()), start);
    EXPECT_GT(detail.size(), start.size());
}

// A server that accepts and never greets fails the check within its time-out: the server side
// notices the client's close long before its own bound.
TEST_P(MailConnectionFaults, SilentServerIsGivenUpAfterTheTimeout)
{
    ScriptedServer server;
    server.silence(60000);
    server.start();
    auto check = makeCheck(GetParam(), "127.0.0.1", server.port(), "u", "p", 300);
    check->Execute();
    EXPECT_FALSE(check->Passed);
    EXPECT_EQ(check->ResultDetail.toStdString(), "[127.0.0.1:" + std::to_string(server.port()) +
                                                     "] Failed:no complete reply from 127.0.0.1:" +
                                                     std::to_string(server.port()) + " within 300 ms");
    EXPECT_TRUE(server.wait(5000)) << "the check left the connection open";
    EXPECT_TRUE(server.received().empty());
}

// One byte a second: the whole reply is bounded, not each byte.
TEST_P(MailConnectionFaults, TricklingServerIsGivenUpAfterTheTimeout)
{
    ScriptedServer server;
    server.trickle("+OK * OK 220 greetings\r\n", 1000);
    server.start();
    auto check = makeCheck(GetParam(), "127.0.0.1", server.port(), "u", "p", 300);
    check->Execute();
    EXPECT_FALSE(check->Passed);
    EXPECT_NE(check->ResultDetail.indexOf("within 300 ms"), -1) << check->ResultDetail.toStdString();
    server.stop();
}

// Megabytes of a line without end: the check fails on the line bound instead of growing.
TEST_P(MailConnectionFaults, EndlessLineFailsOnItsBound)
{
    ScriptedServer server;
    server.run([](ScriptedConnection& c) {
        const std::string chunk(64 * 1024, 'A');
        for (int i = 0; i < 160; ++i) { // 10 MB
            if (!c.send(chunk))
                return true;
        }
        return true;
    });
    server.start();
    auto check = makeCheck(GetParam(), "127.0.0.1", server.port(), "u", "p", 5000);
    check->Execute();
    EXPECT_FALSE(check->Passed);
    EXPECT_NE(check->ResultDetail.indexOf("reply line longer than 65536 bytes"), -1)
        << check->ResultDetail.toStdString();
    EXPECT_LT(check->ResultDetail.size(), 200);
    server.stop();
}

INSTANTIATE_TEST_SUITE_P(Kinds, MailConnectionFaults, ::testing::Values(Kind::SMTP, Kind::POP3, Kind::IMAP),
                         [](const ::testing::TestParamInfo<Kind>& p) {
                             return std::string(kindName(p.param));
                         });

TEST(MailCheckFrame, FieldsAreDerivedFromTheCreatorsValues)
{
    ThreadCheckArgs args;
    args.Origin = "Setup";
    args.Host = "mail.example";
    args.Port = 110;
    args.Retry = 5;
    args.Timeout = 0;
    ThreadPOP3Check check(args, "u", "p");
    EXPECT_TRUE(check.Retry);
    EXPECT_EQ(check.Timeout, 5000);
    EXPECT_EQ(check.Origin, "Setup");
    EXPECT_FALSE(check.Passed);
    EXPECT_TRUE(check.ResultText.isEmpty());
}

} // namespace
