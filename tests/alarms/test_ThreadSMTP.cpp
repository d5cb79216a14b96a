// The e-mail alarm against scripted SMTP servers on loopback: the exact dialogue and message for
// given replies, AUTH LOGIN only when configured and offered, every refusal reported as "Error"
// with "[host:port] reason", addresses and texts that try to add commands or headers, and servers
// that go silent, close or send endless lines.
#include "alarms/ThreadSMTPUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "net/Socket.h"

#include "support/AioSmtpd.h"
#include "support/RunItem.h"
#include "support/ScriptedServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// 07:08:09 on Tuesday, 5 March 2024, one hour ahead of UTC.
const QDateTime kSendTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::OffsetFromUTC, 3600);
const std::string kDateHeader = "Date: Tue, 05 Mar 2024 07:08:09 +0100";

class FixedClock
{
public:
    FixedClock()
    {
        m_previous = SetClockSource([] { return kSendTime; });
    }
    ~FixedClock() { SetClockSource(m_previous); }

private:
    std::function<QDateTime()> m_previous;
};

// The item as the dispatcher builds it for "a@x;b@y", pointed at `port`.
std::unique_ptr<ThreadSMTP> alarmTo(int port, const QString& recipients = "a@x;b@y",
                                    const QString& text = "[db1:3306] Failed:connection refused",
                                    int timeoutMs = 3000)
{
    EmailMethodSettings s;
    s.enable = true;
    s.ip = "127.0.0.1";
    s.port = port;
    s.from_address = "quorvel@ops";
    s.timeout = timeoutMs;
    return std::make_unique<ThreadSMTP>(s, recipients, text);
}

Outcome run(ThreadSMTP& item)
{
    const Outcome o = RunItem(item);
    EXPECT_EQ(item.Client, nullptr) << "the client is released";
    EXPECT_EQ(item.Message, nullptr) << "the message is released";
    return o;
}

// The bytes after DATA up to and including the closing dot line.
std::string dataBlock(const std::vector<std::string>& lines)
{
    std::string block;
    for (const std::string& line : lines)
        block += line + "\r\n";
    return block + ".\r\n";
}

std::string withPort(std::string text, int port)
{
    const std::string mark = "{port}";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), std::to_string(port));
    return text;
}

std::string withMe(std::string text)
{
    const std::string mark = "{me}";
    const std::string me = LocalHostName();
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), me);
    return text;
}

// The message of alarmTo() with its default text, as it must arrive.
const std::vector<std::string> kAlarmMessage = {
    "From: quorvel@ops",
    "Subject: Alarming Message",
    "To: a@x, b@y",
    "Reply-To: quorvel@ops",
    kDateHeader,
    "X-Priority: 3",
    "",
    "[db1:3306] Failed:connection refused",
};

// Server replies up to and including the greeting and the EHLO answer.
void greet(ScriptedServer& s, const std::string& ehloReply = "250-mx.test hello\r\n250 8BITMIME\r\n")
{
    s.sendLine("220 mx.test ESMTP").readLine().send(ehloReply);
}

// The rest of a delivery that every server step accepts, from RSET on, for two recipients.
void acceptDelivery(ScriptedServer& s)
{
    s.readLine()
        .sendLine("250 reset")
        .readLine()
        .sendLine("250 sender ok")
        .readLine()
        .sendLine("250 ok")
        .readLine()
        .sendLine("251 will forward")
        .readLine()
        .sendLine("354 go ahead")
        .readUntil("\r\n.\r\n")
        .sendLine("250 queued as 42")
        .readRest();
}

const std::vector<std::string> kDeliveryCommands = {
    "EHLO {me}", "RSET", "MAIL FROM:<quorvel@ops>", "RCPT TO:<a@x>", "RCPT TO:<b@y>", "DATA",
};

std::vector<std::string> withMeAll(const std::vector<std::string>& lines)
{
    std::vector<std::string> result;
    for (const std::string& line : lines)
        result.push_back(withMe(line));
    return result;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct DialogueCase
{
    const char* name;
    std::function<void(ThreadSMTP&)> configure;
    std::function<void(ScriptedServer&)> script;
    bool passed;
    std::string detail;            // "{port}" stands for the server's port
    std::vector<std::string> sent; // "{me}" stands for the local host name
};

void PrintTo(const DialogueCase& c, std::ostream* os)
{
    *os << c.name;
}

class SmtpDialogue : public ::testing::TestWithParam<DialogueCase>
{
};

TEST_P(SmtpDialogue, SendsExactlyTheseCommandsAndReports)
{
    const DialogueCase& c = GetParam();
    FixedClock clock;
    ScriptedServer server;
    server.setStepTimeout(5000);
    c.script(server);
    server.start();

    auto item = alarmTo(server.port());
    if (c.configure)
        c.configure(*item);
    const Outcome o = run(*item);

    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.received(), withMeAll(c.sent));
    EXPECT_TRUE(server.failures().empty());
    EXPECT_EQ(o.passed, c.passed);
    EXPECT_EQ(o.text, c.passed ? "Sent" : "Error");
    EXPECT_EQ(o.detail, withPort(c.detail, server.port()));
}

void withLogin(ThreadSMTP& item)
{
    item.AuthLogin = true;
    item.UserName = "alice";
    item.Password = "s3cret";
}

INSTANTIATE_TEST_SUITE_P(
    EmailAlarm, SmtpDialogue,
    ::testing::Values(
        // Two recipients: two RCPT in order, one To header; no X-Mailer for the empty agent.
        DialogueCase{"TwoRecipients", nullptr,
                     [](ScriptedServer& s) {
                         greet(s);
                         acceptDelivery(s);
                     },
                     true, "", concat(kDeliveryCommands, {dataBlock(kAlarmMessage), "QUIT"})},
        // Offered PLAIN and LOGIN: AUTH LOGIN with user and password in Base64, before MAIL FROM.
        DialogueCase{"AuthLoginWhenOffered",
                     withLogin,
                     [](ScriptedServer& s) {
                         greet(s, "250-mx.test\r\n250-SIZE 1000\r\n250 AUTH PLAIN LOGIN\r\n");
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("334 VXNlcm5hbWU6")
                             .readLine()
                             .sendLine("334 UGFzc3dvcmQ6")
                             .readLine()
                             .sendLine("235 2.7.0 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("354 go")
                             .readUntil("\r\n.\r\n")
                             .sendLine("250 ok")
                             .readRest();
                     },
                     true,
                     "",
                     {"EHLO {me}", "RSET", "AUTH LOGIN", "YWxpY2U=", "czNjcmV0", "MAIL FROM:<quorvel@ops>",
                      "RCPT TO:<a@x>", "RCPT TO:<b@y>", "DATA", dataBlock(kAlarmMessage), "QUIT"}},
        // The old "AUTH=LOGIN" form in lower case counts as an offer as well.
        DialogueCase{"AuthLoginOfferedInOldForm",
                     withLogin,
                     [](ScriptedServer& s) {
                         greet(s, "250-mx.test\r\n250 auth=login\r\n");
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("334 VXNlcm5hbWU6")
                             .readLine()
                             .sendLine("334 UGFzc3dvcmQ6")
                             .readLine()
                             .sendLine("235 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("354 go")
                             .readUntil("\r\n.\r\n")
                             .sendLine("250 ok")
                             .readRest();
                     },
                     true,
                     "",
                     {"EHLO {me}", "RSET", "AUTH LOGIN", "YWxpY2U=", "czNjcmV0", "MAIL FROM:<quorvel@ops>",
                      "RCPT TO:<a@x>", "RCPT TO:<b@y>", "DATA", dataBlock(kAlarmMessage), "QUIT"}},
        // Only PLAIN offered: no AUTH command at all.
        DialogueCase{"NoAuthWhenOnlyPlainOffered", withLogin,
                     [](ScriptedServer& s) {
                         greet(s, "250-mx.test\r\n250 AUTH PLAIN\r\n");
                         acceptDelivery(s);
                     },
                     true, "", concat(kDeliveryCommands, {dataBlock(kAlarmMessage), "QUIT"})},
        // EHLO refused: HELO, and no AUTH even though it is configured.
        DialogueCase{"HeloFallbackWithoutAuth", withLogin,
                     [](ScriptedServer& s) {
                         s.sendLine("220 old.test SMTP")
                             .readLine()
                             .sendLine("500 what?")
                             .readLine()
                             .sendLine("250 old.test");
                         acceptDelivery(s);
                     },
                     true, "",
                     concat({"EHLO {me}", "HELO {me}", "RSET", "MAIL FROM:<quorvel@ops>", "RCPT TO:<a@x>",
                             "RCPT TO:<b@y>", "DATA"},
                            {dataBlock(kAlarmMessage), "QUIT"})},
        // The mail agent goes last as X-Mailer.
        DialogueCase{
            "MailAgentAsXMailer", [](ThreadSMTP& item) { item.MailAgent = "Quorvel 1.5.0"; },
            [](ScriptedServer& s) {
                greet(s);
                acceptDelivery(s);
            },
            true, "",
            concat(kDeliveryCommands,
                   {dataBlock({"From: quorvel@ops", "Subject: Alarming Message", "To: a@x, b@y",
                               "Reply-To: quorvel@ops", kDateHeader, "X-Priority: 3",
                               "X-Mailer: Quorvel 1.5.0", "", "[db1:3306] Failed:connection refused"}),
                    "QUIT"})},
        // Connect-only: greeting and EHLO, then QUIT; nothing submitted.
        DialogueCase{"ConnectOnly",
                     [](ThreadSMTP& item) { item.ConnectOnly = true; },
                     [](ScriptedServer& s) {
                         greet(s);
                         s.readRest();
                     },
                     true,
                     "",
                     {"EHLO {me}", "QUIT"}},

        // Refusals: the reply's text in the detail, QUIT still sent, nothing after the refusal.
        DialogueCase{"GreetingRefused",
                     nullptr,
                     [](ScriptedServer& s) { s.sendLine("554 no service here").readRest(); },
                     false,
                     "[127.0.0.1:{port}] 554 no service here",
                     {"QUIT"}},
        DialogueCase{"AuthRefused",
                     withLogin,
                     [](ScriptedServer& s) {
                         greet(s, "250-mx.test\r\n250 AUTH LOGIN\r\n");
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("334 VXNlcm5hbWU6")
                             .readLine()
                             .sendLine("334 UGFzc3dvcmQ6")
                             .readLine()
                             .sendLine("535 5.7.8 Authentication credentials invalid")
                             .readRest();
                     },
                     false,
                     "[127.0.0.1:{port}] 535 5.7.8 Authentication credentials invalid",
                     {"EHLO {me}", "RSET", "AUTH LOGIN", "YWxpY2U=", "czNjcmV0", "QUIT"}},
        DialogueCase{"AuthRequiredButNotConfigured",
                     nullptr,
                     [](ScriptedServer& s) {
                         greet(s, "250-mx.test\r\n250 AUTH LOGIN\r\n");
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("530 5.7.0 Authentication required")
                             .readRest();
                     },
                     false,
                     "[127.0.0.1:{port}] 530 5.7.0 Authentication required",
                     {"EHLO {me}", "RSET", "MAIL FROM:<quorvel@ops>", "QUIT"}},
        DialogueCase{
            "SecondRecipientRefused",
            nullptr,
            [](ScriptedServer& s) {
                greet(s);
                s.readLine()
                    .sendLine("250 reset")
                    .readLine()
                    .sendLine("250 ok")
                    .readLine()
                    .sendLine("250 ok")
                    .readLine()
                    .send("550-5.1.1 no such user\r\n550 5.1.1 b@y\r\n")
                    .readRest();
            },
            false,
            "[127.0.0.1:{port}] 550-5.1.1 no such user 550 5.1.1 b@y",
            {"EHLO {me}", "RSET", "MAIL FROM:<quorvel@ops>", "RCPT TO:<a@x>", "RCPT TO:<b@y>", "QUIT"}},
        DialogueCase{"MessageRefusedAfterData", nullptr,
                     [](ScriptedServer& s) {
                         greet(s);
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("354 go")
                             .readUntil("\r\n.\r\n")
                             .sendLine("554 5.6.0 spam  ")
                             .readRest();
                     },
                     false, "[127.0.0.1:{port}] 554 5.6.0 spam",
                     concat(kDeliveryCommands, {dataBlock(kAlarmMessage), "QUIT"})},
        DialogueCase{"DataRefused", nullptr,
                     [](ScriptedServer& s) {
                         greet(s);
                         s.readLine()
                             .sendLine("250 reset")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("250 ok")
                             .readLine()
                             .sendLine("451 try later")
                             .readRest();
                     },
                     false, "[127.0.0.1:{port}] 451 try later", concat(kDeliveryCommands, {"QUIT"})},
        // A server that closes in the middle: an error naming the closed connection, no QUIT.
        DialogueCase{"ClosedAfterRcpt",
                     nullptr,
                     [](ScriptedServer& s) {
                         greet(s);
                         s.readLine().sendLine("250 reset").readLine().sendLine("250 ok").readLine().close();
                     },
                     false,
                     "[127.0.0.1:{port}] connection closed by 127.0.0.1:{port} without a reply",
                     {"EHLO {me}", "RSET", "MAIL FROM:<quorvel@ops>", "RCPT TO:<a@x>"}}),
    [](const ::testing::TestParamInfo<DialogueCase>& p) { return std::string(p.param.name); });

// Text that tries to end the message early, to add commands or headers: the body keeps its
// lines (every kind of line break becomes CR LF, leading dots doubled), header values stay on
// their line, and the server sees exactly one message.
TEST(EmailAlarm, BodyAndHeaderTextCannotAddCommandsOrHeaders)
{
    FixedClock clock;
    ScriptedServer server;
    greet(server);
    acceptDelivery(server);
    server.start();

    auto item = alarmTo(server.port(), "a@x;b@y",
                        "first\r\n.\r\nMAIL FROM:<evil@z>\n..two dots\rlone CR\n.\n\r\nlast");
    item->MailAgent = "Agent\r\nBcc: evil@z";
    item->Message->Subject = "Down\nX-Injected: 1";
    const Outcome o = run(*item);

    ASSERT_TRUE(server.wait());
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(server.received(),
              concat(withMeAll(kDeliveryCommands),
                     {dataBlock({"From: quorvel@ops", "Subject: Down X-Injected: 1", "To: a@x, b@y",
                                 "Reply-To: quorvel@ops", kDateHeader, "X-Priority: 3",
                                 "X-Mailer: Agent  Bcc: evil@z", "", "first", "..", "MAIL FROM:<evil@z>",
                                 "...two dots", "lone CR", "..", "", "last"}),
                      "QUIT"}));
}

// Addresses that could end the path of MAIL FROM or RCPT TO and add parameters or commands are
// refused before anything is sent: the server is not even contacted.
TEST(EmailAlarm, HostileAddressesAreRefusedBeforeConnecting)
{
    struct Case
    {
        const char* name;
        QString recipients;
        QString sender;
        std::string detailTail;
    };
    const std::vector<Case> cases = {
        {"closing bracket", "a@x> NOTIFY=NEVER", "quorvel@ops",
         "recipient address refused (it holds \"<\", \">\" or a control character): \"a@x> NOTIFY=NEVER\""},
        {"opening bracket", "b@y;<a@x", "quorvel@ops",
         "recipient address refused (it holds \"<\", \">\" or a control character): \"<a@x\""},
        {"line break", "a@x\r\nRCPT TO:<evil@z", "quorvel@ops",
         "recipient address refused (it holds \"<\", \">\" or a control character): "
         "\"a@x  RCPT TO:<evil@z\""},
        {"lone LF", "a@x\nDATA", "quorvel@ops",
         "recipient address refused (it holds \"<\", \">\" or a control character): \"a@x DATA\""},
        {"sender", "a@x", "ops@q>\r\nRCPT TO:<evil@z",
         "sender address refused (it holds \"<\", \">\" or a control character): "
         "\"ops@q>  RCPT TO:<evil@z\""},
        {"no recipient at all", " ; , ", "quorvel@ops", "the message has no recipient"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.setStepTimeout(300);
        server.sendLine("220 mx.test").readRest();
        server.start();
        EmailMethodSettings s;
        s.ip = "127.0.0.1";
        s.port = server.port();
        s.from_address = c.sender;
        ThreadSMTP item(s, c.recipients, "text");
        const Outcome o = run(item);
        server.stop();
        EXPECT_EQ(server.connectionsAccepted(), 0);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        EXPECT_EQ(o.detail, "[127.0.0.1:" + std::to_string(server.port()) + "] " + c.detailTail);
    }
}

// Recipient lists are split at ";" and ",", blanks around each address dropped.
TEST(EmailAlarm, RecipientListsSplitAtSemicolonAndComma)
{
    EXPECT_EQ(AlarmMailMessage::SplitAddresses("a@x;b@y"), QStringList({"a@x", "b@y"}));
    EXPECT_EQ(AlarmMailMessage::SplitAddresses(" a@x , b@y;;c@z; "), QStringList({"a@x", "b@y", "c@z"}));
    EXPECT_EQ(AlarmMailMessage::SplitAddresses(""), QStringList());
}

TEST(EmailAlarm, DateHeaderIsRfc822InEnglish)
{
    const QDate d(2024, 12, 29);
    EXPECT_EQ(ThreadSMTP::MailDate(QDateTime(d, QTime(23, 59, 1), Qt::OffsetFromUTC, -16200)),
              "Sun, 29 Dec 2024 23:59:01 -0430");
    EXPECT_EQ(ThreadSMTP::MailDate(QDateTime(QDate(2023, 1, 2), QTime(0, 0), Qt::UTC)),
              "Mon, 02 Jan 2023 00:00:00 +0000");
    EXPECT_EQ(ThreadSMTP::MailDate(kSendTime), "Tue, 05 Mar 2024 07:08:09 +0100");
    EXPECT_EQ(ThreadSMTP::MailDate(QDateTime()), "");
}

// Faults of the peer: each ends in "Error" within the time-out (plus slack), with a detail that
// says what happened, and memory stays bounded.
TEST(EmailAlarm, HostilePeersEndInErrorWithinTheTimeout)
{
    constexpr int kTimeoutMs = 600;
    struct Case
    {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        std::string detailPart;
    };
    const std::vector<Case> cases = {
        {"silent before the greeting", [](ScriptedServer& s) { s.silence(10000); },
         "no complete reply from 127.0.0.1:{port} within 600 ms"},
        {"silent after EHLO", [](ScriptedServer& s) { s.sendLine("220 mx").readLine().silence(10000); },
         "no complete reply from 127.0.0.1:{port} within 600 ms"},
        {"silent after the message",
         [](ScriptedServer& s) {
             greet(s);
             s.readLine()
                 .sendLine("250 reset")
                 .readLine()
                 .sendLine("250 ok")
                 .readLine()
                 .sendLine("250 ok")
                 .readLine()
                 .sendLine("250 ok")
                 .readLine()
                 .sendLine("354 go")
                 .readUntil("\r\n.\r\n")
                 .silence(10000);
         },
         "no complete reply from 127.0.0.1:{port} within 600 ms"},
        {"greeting trickled slower than the time-out",
         [](ScriptedServer& s) { s.trickle("220 a very slow greeting\r\n", 100); },
         "no complete reply from 127.0.0.1:{port} within 600 ms"},
        {"a 10 MB reply line",
         [](ScriptedServer& s) {
             s.run([](ScriptedConnection& c) {
                 const std::string chunk(64 * 1024, 'x');
                 if (!c.send("220 "))
                     return true;
                 for (int i = 0; i < 160; ++i) {
                     if (!c.send(chunk))
                         return true; // the client gave up, as it should
                 }
                 return c.send("\r\n");
             });
         },
         "line"},
        {"garbage instead of a reply", [](ScriptedServer& s) { s.sendLine("hello there").silence(10000); },
         "malformed reply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.setStepTimeout(10000);
        c.script(server);
        server.start();
        auto item = alarmTo(server.port(), "a@x;b@y", "text", kTimeoutMs);
        const Outcome o = run(*item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        const std::string prefix = "[127.0.0.1:" + std::to_string(server.port()) + "] ";
        EXPECT_EQ(o.detail.substr(0, prefix.size()), prefix);
        EXPECT_NE(o.detail.find(withPort(c.detailPart, server.port())), std::string::npos) << o.detail;
        EXPECT_LT(o.detail.size(), 1024u);
        EXPECT_LT(o.elapsedMs, kTimeoutMs + 4000);
        server.stop();
    }
}

TEST(EmailAlarm, RefusedConnectionIsAnError)
{
    const int port = ScriptedServer::UnusedPort();
    auto item = alarmTo(port);
    const Outcome o = run(*item);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.text, "Error");
    const std::string prefix =
        "[127.0.0.1:" + std::to_string(port) + "] cannot connect to 127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(o.detail.substr(0, prefix.size()), prefix) << o.detail;
}

// A delivery is worth another try only when its failure may pass: no connection, or a 4xx reply;
// a 5xx reply would be given again.
TEST(EmailAlarm, OnlyAFailureThatMayPassIsWorthAnotherTry)
{
    struct Case
    {
        const char* name;
        const char* reply; // to MAIL FROM; nullptr: nothing listens
        bool transient;
    };
    const std::vector<Case> cases = {
        {"nothing listens", nullptr, true},
        {"451 try later", "451 4.3.0 try again later", true},
        {"550 refused", "550 5.7.1 relaying denied", false},
        {"delivered", "250 ok", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.setStepTimeout(5000);
        int port = ScriptedServer::UnusedPort();
        if (c.reply) {
            greet(server);
            server.readLine().sendLine("250 reset").readLine().sendLine(c.reply);
            if (std::string(c.reply).rfind("250", 0) == 0)
                server.readLine().sendLine("250 ok").readLine().sendLine("250 ok").readLine().sendLine(
                    "354 go");
            server.readUntil("\r\n.\r\n").sendLine("250 queued").readRest();
            server.start();
            port = server.port();
        }
        auto item = alarmTo(port);
        run(*item);
        EXPECT_EQ(item->Transient, c.transient) << item->ResultDetail.toStdString();
    }
}

// The message is submitted at most once: a second Execute reports an error and connects nowhere.
TEST(EmailAlarm, SubmitsAtMostOnce)
{
    FixedClock clock;
    ScriptedServer server;
    greet(server);
    acceptDelivery(server);
    server.acceptNext().sendLine("220 again").readRest();
    server.setStepTimeout(2000);
    server.start();
    auto item = alarmTo(server.port());
    EXPECT_TRUE(run(*item).passed);
    const Outcome second = run(*item);
    EXPECT_FALSE(second.passed);
    EXPECT_EQ(second.detail, "[127.0.0.1:" + std::to_string(server.port()) +
                                 "] the message has already been handled; it is submitted only once");
    server.stop();
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST(EmailAlarm, DefaultsFromTheMethodSettings)
{
    EmailMethodSettings s;
    // The loader has removed one "http://" already (stored "HTTP://http://mail.example"); the item
    // takes the host as it is and removes nothing a second time.
    s.ip = "http://mail.example";
    s.port = 587;
    s.mail_agent = "Agent";
    s.from_address = "ops@example";
    s.authenticate = false;
    s.username = "u";
    s.password = "p";
    s.timeout = 0;
    ThreadSMTP plain(s, "a@x, b@y", "down");
    EXPECT_EQ(plain.Method, "Email");
    EXPECT_EQ(plain.Host, "http://mail.example");
    EXPECT_EQ(plain.Port, 587);
    EXPECT_EQ(plain.Timeout, 5000);
    EXPECT_EQ(plain.MailAgent, "Agent");
    EXPECT_FALSE(plain.AuthLogin);
    EXPECT_EQ(plain.UserName, "") << "credentials are kept only when the method authenticates";
    EXPECT_EQ(plain.Password, "");
    EXPECT_FALSE(plain.ConnectOnly);
    EXPECT_EQ(plain.Message->Sender, "ops@example");
    EXPECT_EQ(plain.Message->ReplyTo, "ops@example");
    EXPECT_EQ(plain.Message->Recipients, QStringList({"a@x", "b@y"}));
    EXPECT_EQ(plain.Message->Subject, "Alarming Message");
    EXPECT_EQ(plain.Message->Body, "down");

    s.authenticate = true;
    s.timeout = 1234;
    ThreadSMTP login(s, "a@x", "down");
    EXPECT_TRUE(login.AuthLogin);
    EXPECT_EQ(login.UserName, "u");
    EXPECT_EQ(login.Password, "p");
    EXPECT_EQ(login.Timeout, 1234);
}

// ---- a real SMTP server: aiosmtpd (Debian package python3-aiosmtpd) on loopback -------------

class AioSmtpd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!AioSmtpdServer::Available())
            GTEST_SKIP() << "aiosmtpd is not installed (Debian package python3-aiosmtpd)";
    }

    void startServer(const std::string& mode)
    {
        m_port = ScriptedServer::UnusedPort();
        ASSERT_TRUE(m_server.start(m_port, mode)) << m_server.output();
    }

    // What the server kept, empty when it kept nothing.
    std::string kept() const { return m_server.kept(); }

    AioSmtpdServer m_server;
    int m_port = 0;
};

// The message a real server keeps for an alarm to "a@x;b@y": the envelope, every header, and the
// body with its dot lines as they were written.
std::string keptAlarm(bool authenticated)
{
    return std::string("authenticated=") + (authenticated ? "True" : "False") +
           "\nfrom=quorvel@ops\nto=a@x,b@y\n\n"
           "From: quorvel@ops\r\nSubject: Alarming Message\r\nTo: a@x, b@y\r\nReply-To: quorvel@ops\r\n" +
           kDateHeader +
           "\r\nX-Priority: 3\r\nX-Mailer: Quorvel\r\n\r\n"
           "[db1:3306] Failed\r\n.\r\n..two dots\r\n";
}

TEST_F(AioSmtpd, ReceivesTheAlarmWholeWithoutAuthentication)
{
    startServer("plain");
    FixedClock clock;
    auto item = alarmTo(m_port, "a@x;b@y", "[db1:3306] Failed\n.\n..two dots");
    item->MailAgent = "Quorvel";
    const Outcome o = run(*item);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.text, "Sent");
    EXPECT_EQ(o.detail, "");
    EXPECT_EQ(kept(), keptAlarm(false));
}

TEST_F(AioSmtpd, LogsInWithAuthLoginAndIsRefusedWithAWrongPassword)
{
    startServer("auth");
    FixedClock clock;
    {
        auto item = alarmTo(m_port, "a@x;b@y", "[db1:3306] Failed\n.\n..two dots");
        item->MailAgent = "Quorvel";
        withLogin(*item);
        const Outcome o = run(*item);
        EXPECT_TRUE(o.passed) << o.detail;
        EXPECT_EQ(kept(), keptAlarm(true));
    }
    m_server.forget();
    {
        auto item = alarmTo(m_port);
        withLogin(*item);
        item->Password = "wrong";
        const Outcome o = run(*item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        EXPECT_EQ(o.detail,
                  "[127.0.0.1:" + std::to_string(m_port) + "] 535 5.7.8 Authentication credentials invalid");
        EXPECT_FALSE(item->Transient) << "a refused login is not tried again";
    }
    {
        auto item = alarmTo(m_port);
        const Outcome o = run(*item);
        EXPECT_FALSE(o.passed) << "the server requires a login that is not configured";
        const std::string prefix = "[127.0.0.1:" + std::to_string(m_port) + "] 530";
        EXPECT_EQ(o.detail.substr(0, prefix.size()), prefix) << o.detail;
    }
    EXPECT_EQ(kept(), "") << "nothing was accepted without a valid login";
}

} // namespace
