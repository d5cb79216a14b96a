// The alarm commands of quorvel-probe run as a process: usage errors refused before anything is
// sent, and one alarm of each method delivered to a scripted server on loopback, with the exact
// protocol exchange, the printed line and the exit status.
#include "net/Socket.h"
#include "smpp/tcSMSCMessageSMPP.h"

#include "probe/ProbeProcess.h"
#include "support/FakeHttpServer.h"
#include "support/FakeSmsc.h"
#include "support/ScriptedServer.h"
#include "support/UdpCollector.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

QString port(int number)
{
    return QString::number(number);
}

std::string joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const std::string& text : texts)
        all += text + "\n";
    return all;
}

class ProbeAlarms : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProbeProgram()).isExecutable())
            << ProbeProgram().toStdString() << " is missing: build the quorvel-probe target first";
    }
};

// Every refusal names its reason, points to the help, prints no result and sends nothing: the
// servers named in the command lines accept no connection and receive no datagram.
TEST_F(ProbeAlarms, UsageErrorsExitWith3BeforeAnythingIsSent)
{
    ScriptedServer server;
    server.setStepTimeout(20000).silence(1000);
    server.start();
    UdpCollector collector;
    const QString tcp = port(server.port());
    const QString udp = port(collector.port());
    const QStringList email = {"email", "--server", "127.0.0.1", "--port", tcp, "--from", "q@ops"};
    const QStringList sms = {"sms", "--smsc", "127.0.0.1", "--port", tcp, "--to", "+4179"};
    const QStringList http = {"httpsms", "--url", "http://127.0.0.1:" + tcp + "/s?n=$MSISDN", "--to", "1"};
    const QStringList syslog = {"syslog", "--server", "127.0.0.1", "--port", udp};

    const std::vector<std::pair<QStringList, std::string>> cases = {
        {email + QStringList{"down"}, "email needs --to ADDRS"},
        {email + QStringList{"--to", "", "down"}, "email needs --to ADDRS"},
        {email + QStringList{"--to", "a@x"}, "email needs a MESSAGE"},
        {{"email", "--port", tcp, "--from", "q@ops", "--to", "a@x", "down"}, "email needs --server HOST"},
        {{"email", "--server", "127.0.0.1", "--port", tcp, "--to", "a@x", "down"}, "email needs --from ADDR"},
        {email + QStringList{"--to", "a@x", "--password", "pw", "down"}, "--password needs --user"},
        {email + QStringList{"--to", "a@x", "--port", "99999", "down"}, "--port is given more than once"},
        {{"email", "--server", "127.0.0.1", "--port", "99999", "--from", "q@ops", "--to", "a@x", "down"},
         "--port needs a whole number from 0 to 65535, not \"99999\""},
        {{"email", "--server", "127.0.0.1", "--port=2x", "--from", "q@ops", "--to", "a@x", "down"},
         "--port needs a whole number"},
        {{"sms", "--smsc", "127.0.0.1", "--port", tcp, "down"}, "sms needs --to NUMBER"},
        {sms + QStringList{"--ton", "256", "down"}, "--ton needs a whole number from 0 to 255, not \"256\""},
        {sms + QStringList{"--version", "x", "down"}, "--version needs a whole number"},
        {sms + QStringList{"--user", "u", "down"}, "the sms command has no option --user"},
        {sms + QStringList{"--password", "pw", "down"}, "--password needs --system-id"},
        {syslog + QStringList{"--facility", "local7", "down"},
         "--facility \"local7\" is not one of: Kernel, User Level,"},
        {syslog + QStringList{"--severity", "debug", "down"},
         "--severity \"debug\" is not one of: Emergency,"},
        {syslog + QStringList{"--password", "pw", "down"}, "the syslog command has no option --password"},
        {{"syslog", "--port", udp, "down"}, "syslog needs --server HOST"},
        {http + QStringList{"--method", "Post", "--msisdn-field", "n", "--message-field", "m", "--extra",
                            "novalue", "down"},
         "--extra needs NAME=VALUE, not \"novalue\""},
        {http + QStringList{"--method", "Post", "--msisdn-field", "n", "down"},
         "--method Post posts form fields: give --msisdn-field and --message-field"},
        {http + QStringList{"--proxy", "nohost", "down"}, "--proxy needs HOST:PORT, not \"nohost\""},
        {{"httpsms", "--to", "1", "down"}, "httpsms needs --url URL"},
        {{"httpsms", "--url", "http://127.0.0.1:" + tcp + "/", "down"}, "httpsms needs --to NUMBER"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
        EXPECT_TRUE(
            Contains(run.err, "Try \"quorvel-probe " + arguments.first().toStdString() + " --help\"."))
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(server.connectionsAccepted(), 0);
    std::string datagram;
    EXPECT_FALSE(collector.receive(datagram, 200)) << datagram;
}

TEST_F(ProbeAlarms, HelpDescribesTheAlarmCommands)
{
    const ProbeRun general = RunProbeProgram({"--help"});
    EXPECT_EQ(general.exitCode, 0);
    for (const char* part : {"Usage: quorvel-probe COMMAND", "quorvel-probe ALARM [options] MESSAGE",
                             "email [options] MESSAGE", "sms [options] MESSAGE", "httpsms [options] MESSAGE",
                             "syslog [options] MESSAGE", "email 25, sms 2775, httpsms 80, syslog 514",
                             "alarm commands 5000", "Alarm commands: 0 sent, 2 error, 3 usage error."})
        EXPECT_TRUE(Contains(general.out, part)) << part;

    const std::vector<std::pair<QString, std::vector<const char*>>> commands = {
        {"email",
         {"Usage: quorvel-probe email [options] MESSAGE", "--server HOST", "--from ADDR", "--to ADDRS",
          "--mail-agent TEXT", "--user NAME", "--password TEXT", "AUTH LOGIN", "Default port: 25."}},
        {"sms",
         {"--smsc HOST", "--to NUMBER", "--oa OA", "--system-id NAME", "--system-type TEXT", "--version N",
          "--ton N", "--npi N", "--dest-ton N", "--dest-npi N", "--orig-ton N", "--orig-npi N",
          "Default port: 2775."}},
        {"httpsms",
         {"--url URL", "--method TEXT", "--msisdn-field NAME", "--message-field NAME", "--extra NAME=VALUE",
          "--proxy HOST:PORT", "--to NUMBER", "$MSISDN", "Default port: 80."}},
        {"syslog",
         {"--server HOST", "--facility NAME", "--severity NAME", "Local Use Seven", "Informational",
          "Default port: 514."}},
    };
    for (const auto& [command, parts] : commands) {
        SCOPED_TRACE(command.toStdString());
        const ProbeRun help = RunProbeProgram({command, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        for (const char* part : parts)
            EXPECT_TRUE(Contains(help.out, part)) << part;
        EXPECT_TRUE(Contains(help.out, "(required)")) << help.out;
        EXPECT_TRUE(
            Contains(help.out, "Default time-out: 5000 ms. Exit status: 0 sent, 2 error, 3 usage error."))
            << help.out;
    }
    // The commands that refuse common options do not offer them.
    EXPECT_FALSE(Contains(RunProbeProgram({"sms", "--help"}).out, "--user NAME"));
    EXPECT_FALSE(Contains(RunProbeProgram({"syslog", "--help"}).out, "--password TEXT"));
}

// ---- e-mail ----------------------------------------------------------------------------------

// Replies up to the end of a delivery to two recipients, with or without the AUTH LOGIN steps.
void smtpDelivery(ScriptedServer& s, bool login)
{
    s.sendLine("220 mx.test ESMTP").readLine().send("250-mx.test\r\n250 AUTH PLAIN LOGIN\r\n");
    s.readLine().sendLine("250 reset");
    if (login)
        s.readLine()
            .sendLine("334 VXNlcm5hbWU6")
            .readLine()
            .sendLine("334 UGFzc3dvcmQ6")
            .readLine()
            .sendLine("235 2.7.0 ok");
    s.readLine().sendLine("250 sender ok").readLine().sendLine("250 ok").readLine().sendLine("250 ok");
    s.readLine().sendLine("354 go ahead").readUntil("\r\n.\r\n").sendLine("250 queued").readRest();
}

// The message as the dispatcher's e-mail alarm sends it: both recipients in one To header, the
// mail agent as X-Mailer, the body's lines with CR LF and a leading "." doubled. The Date line is
// the time of sending and only its form is checked.
TEST_F(ProbeAlarms, EmailIsSentWithTheDispatchersDialogue)
{
    for (const bool login : {true, false}) {
        SCOPED_TRACE(login ? "with --user: AUTH LOGIN, offered" : "without --user: no AUTH");
        ScriptedServer server;
        server.setStepTimeout(5000);
        smtpDelivery(server, login);
        server.start();

        QStringList arguments = {"email",       "--server",  "127.0.0.1", "--port",  port(server.port()),
                                 "--from",      "q@ops",     "--to",      "a@x;b@y", "--mail-agent",
                                 "Quorvel/1.5", "--timeout", "3000"};
        if (login)
            arguments << "--user"
                      << "alice"
                      << "--password"
                      << "s3cret";
        arguments << "[db1:3306] Failed\n.hidden";
        const ProbeRun run = RunProbeProgram(arguments);

        ASSERT_TRUE(server.wait());
        EXPECT_TRUE(server.failures().empty()) << joined(server.failures());
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out, "Sent \n");
        EXPECT_EQ(run.err, "");

        std::vector<std::string> commands = {"EHLO " + LocalHostName(), "RSET"};
        if (login)
            commands.insert(commands.end(), {"AUTH LOGIN", "YWxpY2U=", "czNjcmV0"});
        commands.insert(commands.end(), {"MAIL FROM:<q@ops>", "RCPT TO:<a@x>", "RCPT TO:<b@y>", "DATA"});
        std::vector<std::string> received = server.received();
        ASSERT_EQ(received.size(), commands.size() + 2) << joined(received);
        const std::string data = received[commands.size()];
        EXPECT_EQ(received.back(), "QUIT");
        received.resize(commands.size());
        EXPECT_EQ(received, commands);

        const QRegularExpression message(
            "^From: q@ops\r\nSubject: Alarming Message\r\nTo: a@x, b@y\r\nReply-To: q@ops\r\n"
            "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d [A-Z][a-z][a-z] \\d{4} \\d\\d:\\d\\d:\\d\\d "
            "[+-]\\d{4}\r\n"
            "X-Priority: 3\r\nX-Mailer: Quorvel/1\\.5\r\n\r\n"
            "\\[db1:3306\\] Failed\r\n\\.\\.hidden\r\n\\.\r\n$");
        EXPECT_TRUE(message.match(QString::fromStdString(data)).hasMatch()) << data;
    }
}

TEST_F(ProbeAlarms, EmailThatCannotBeDeliveredExitsWith2AndSaysWhere)
{
    {
        SCOPED_TRACE("refused connection");
        const std::string p = std::to_string(ScriptedServer::UnusedPort());
        const ProbeRun run =
            RunProbeProgram({"email", "--server", "127.0.0.1", "--port", QString::fromStdString(p), "--from",
                             "q@ops", "--to", "a@x", "--timeout", "3000", "down"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out.rfind("Error [127.0.0.1:" + p + "] cannot connect to 127.0.0.1:" + p, 0), 0u)
            << run.out;
    }
    {
        SCOPED_TRACE("server refusing the sender");
        ScriptedServer server;
        server.sendLine("220 mx").readLine().sendLine("250 mx").readLine().sendLine("250 reset");
        server.readLine().sendLine("553 5.1.8 sender refused").readRest();
        server.start();
        const ProbeRun run = RunProbeProgram({"email", "--server", "127.0.0.1", "--port", port(server.port()),
                                              "--from", "q@ops", "--to", "a@x", "--timeout", "3000", "down"});
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out.rfind("Error [127.0.0.1:" + std::to_string(server.port()) + "] ", 0), 0u)
            << run.out;
        EXPECT_TRUE(Contains(run.out, "553 5.1.8 sender refused")) << run.out;
        EXPECT_EQ(server.received().back(), "QUIT");
    }
    {
        SCOPED_TRACE("silent server, bounded by --timeout");
        ScriptedServer server;
        server.silence(15000);
        server.start();
        const ProbeRun run = RunProbeProgram({"email", "--server", "127.0.0.1", "--port", port(server.port()),
                                              "--from", "q@ops", "--to", "a@x", "--timeout", "300", "down"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out.rfind("Error [127.0.0.1:" + std::to_string(server.port()) + "] ", 0), 0u)
            << run.out;
    }
}

// ---- SMS over SMPP ---------------------------------------------------------------------------

QByteArray bytes(const char* data, int size)
{
    return QByteArray(data, size);
}

// Each option lands in its own field of bind_transmitter and submit_sm; without options the
// stored defaults go out: interface version 34 (sent as 0x34), every TON and NPI 1, empty system type and OA.
TEST_F(ProbeAlarms, SmsIsSubmittedToTheSmscWithEveryBindAndAddressField)
{
    struct Case
    {
        const char* name;
        QStringList options;
        QByteArray bindBody;   // after the header
        QByteArray submitHead; // submit_sm body up to and including destination_addr
    };
    const std::vector<Case> cases = {
        {"defaults", {}, bytes("\0\0\0\x34\x01\x01\0", 7), bytes("\0\x01\x01\0\x01\x01+41790000000\0", 19)},
        {"every option",
         {"--system-id", "alarm", "--password", "pw", "--system-type", "VMA", "--oa",       "QUORVEL",
          "--version",   "33",    "--ton",      "5",  "--npi",         "0",   "--dest-ton", "2",
          "--dest-npi",  "3",     "--orig-ton", "4",  "--orig-npi",    "6"},
         bytes("alarm\0pw\0VMA\0\x33\x05\x00QUORVEL\0", 24),
         bytes("\0\x04\x06QUORVEL\0\x02\x03+41790000000\0", 26)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter)
            .respond(SmppCommand::BindTransmitterResp)
            .expect(SmppCommand::SubmitSm)
            .respond(SmppCommand::SubmitSmResp, 0, QByteArray("id-1\0", 5))
            .expect(SmppCommand::Unbind)
            .respond(SmppCommand::UnbindResp)
            .expectClose();
        smsc.start();

        const ProbeRun run =
            RunProbeProgram(QStringList{"sms", "--smsc", smsc.host(), "--port", port(smsc.port()), "--to",
                                        "+41790000000", "--timeout", "3000"} +
                            c.options + QStringList{"Hi"});
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << joined(smsc.failures());
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out, "Sent \n");

        const QList<QByteArray> pdus = smsc.pdus();
        ASSERT_EQ(pdus.size(), 3);
        EXPECT_EQ(pdus[0].mid(16).toHex(' ').toStdString(), c.bindBody.toHex(' ').toStdString());
        const QByteArray submit = pdus[1].mid(16);
        EXPECT_EQ(submit.left(c.submitHead.size()).toHex(' ').toStdString(),
                  c.submitHead.toHex(' ').toStdString());
        EXPECT_EQ(submit.right(3).toHex(' ').toStdString(), "02 48 69") << "sm_length 2, \"Hi\"";
        EXPECT_EQ(PduCommandId(pdus[2]), SmppCommand::Unbind);
    }
}

TEST_F(ProbeAlarms, SmsRefusedByTheSmscExitsWith2AndTheBindResult)
{
    FakeSmsc smsc;
    smsc.expect(SmppCommand::BindTransmitter).respond(SmppCommand::BindTransmitterResp, 0x0E).expectClose();
    smsc.start();
    const ProbeRun run =
        RunProbeProgram({"sms", "--smsc", smsc.host(), "--port", port(smsc.port()), "--to", "1",
                         "--system-id", "alarm", "--password", "wrong", "--timeout", "3000", "Hi"});
    ASSERT_TRUE(smsc.wait());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out.rfind("Error ERR00802", 0), 0u) << run.out;
    EXPECT_TRUE(Contains(run.out, " : 14\n")) << run.out;
}

// ---- SMS by HTTP -----------------------------------------------------------------------------

// GET substitutes into the URL; "Post" posts the named fields and the extra fields; any other
// method text posts as well, but a stored gateway of that kind has no extra fields, so none go.
TEST_F(ProbeAlarms, HttpSmsReachesTheGatewayAsTheDispatcherSendsIt)
{
    struct Case
    {
        const char* name;
        QStringList options;
        std::string statusLine;
        std::string path;    // the URL after "127.0.0.1:port"; "{port}" is the gateway's port
        std::string request; // after the Host line
        int exitCode;
        std::string note;
    };
    const auto posted = [](const std::string& head, const std::string& body) {
        return "User-Agent: html\r\nContent-Type: application/x-www-form-urlencoded\r\n" + head +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const std::string get = "/send?to=%2B41+79&text=%5Ba%3A1%5D+Failed&again=%5Ba%3A1%5D+Failed";
    const std::vector<Case> cases = {
        {"Get with substitution",
         {"--url", "127.0.0.1:{port}/send?to=$MSISDN&text=$MESSAGE&again=$MESSAGE"},
         "HTTP/1.1 200 OK",
         get,
         "User-Agent: html\r\n\r\n",
         0,
         ""},
        {"Post with extra fields and credentials",
         {"--url", "http://127.0.0.1:{port}/sms", "--method", "Post", "--msisdn-field", "msisdn",
          "--message-field", "msg", "--extra", "user=ops", "--extra", "route=a b", "--user", "admin",
          "--password", "s3cret"},
         "HTTP/1.1 202 Accepted",
         "/sms",
         posted("Authorization: Basic YWRtaW46czNjcmV0\r\n",
                "msisdn=%2B41+79&msg=%5Ba%3A1%5D+Failed&user=ops&route=a+b"),
         0,
         ""},
        {"POST in capitals posts without the extra fields",
         {"--url", "http://127.0.0.1:{port}/sms", "--method", "POST", "--msisdn-field", "msisdn",
          "--message-field", "msg", "--extra", "user=ops"},
         "HTTP/1.1 200 OK",
         "/sms",
         posted("", "msisdn=%2B41+79&msg=%5Ba%3A1%5D+Failed"),
         0,
         "--extra fields are sent only with --method Post; not sent"},
        {"gateway refusing",
         {"--url", "127.0.0.1:{port}/send?to=$MSISDN&text=$MESSAGE&again=$MESSAGE"},
         "HTTP/1.1 403 Forbidden",
         get,
         "User-Agent: html\r\n\r\n",
         2,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer(c.statusLine)).silence(10000);
        server.start();
        const std::string p = std::to_string(server.port());
        QStringList options = c.options;
        options.replaceInStrings("{port}", QString::fromStdString(p));
        const ProbeRun run = RunProbeProgram(QStringList{"httpsms", "--to", "+41 79", "--timeout", "3000"} +
                                             options + QStringList{"[a:1] Failed"});
        ASSERT_TRUE(server.wait());
        ASSERT_EQ(server.received().size(), 1u);
        const std::string method = c.path == get ? "GET " : "POST ";
        EXPECT_EQ(server.received()[0],
                  method + c.path + " HTTP/1.1\r\nHost: 127.0.0.1:" + p + "\r\n" + c.request);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        const std::string detail = "[http://127.0.0.1:" + p + c.path + ":" + p + "] " + c.statusLine;
        EXPECT_EQ(run.out,
                  c.exitCode == 0 ? "Sent " + detail + "\n" : "Error " + detail + ":" + c.statusLine + "\n");
        if (c.note.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_TRUE(Contains(run.err, "quorvel-probe: note: " + c.note)) << run.err;
    }
}

// ---- syslog ----------------------------------------------------------------------------------

// The collector receives one RFC 3164 line: the PRI of the names, the time stamp, this host's
// address and the text after the dispatcher's ":" rule, with control characters as blanks.
TEST_F(ProbeAlarms, SyslogDatagramReachesTheCollector)
{
    struct Case
    {
        QStringList names;
        QString text;
        int pri;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {{"--facility", "Local Use Seven", "--severity", "Debug"},
         "[web:80] Failed:refused",
         191,
         ":[web:80] Failed:refused"},
        {{}, ":already marked", 0, ":already marked"},
        {{"--facility", "UUCP", "--severity", "Error"}, "no colon\nsecond line", 67, "no colon second line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        UdpCollector collector;
        const ProbeRun run =
            RunProbeProgram(QStringList{"syslog", "--server", "127.0.0.1", "--port", port(collector.port())} +
                            c.names + QStringList{c.text});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Sent \n");
        std::string datagram;
        ASSERT_TRUE(collector.receive(datagram, 5000));
        const QRegularExpression line(
            QStringLiteral("^<%1>[A-Z][a-z][a-z] [ 1-3]\\d \\d\\d:\\d\\d:\\d\\d %2 %3$")
                .arg(c.pri)
                .arg(QRegularExpression::escape(QString::fromStdString(LocalIPv4Address())),
                     QRegularExpression::escape(QString::fromStdString(c.sent))));
        EXPECT_TRUE(line.match(QString::fromStdString(datagram)).hasMatch()) << datagram;
    }
}

} // namespace
