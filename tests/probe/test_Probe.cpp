// The quorvel-probe program run as a process: usage errors, help, and checks against scripted
// servers on loopback with the printed line and the exit status.
#include "probe/ProbeProcess.h"
#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

QString port(const ScriptedServer& server)
{
    return QString::number(server.port());
}

class Probe : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProbeProgram()).isExecutable())
            << ProbeProgram().toStdString() << " is missing: build the quorvel-probe target first";
    }
};

TEST_F(Probe, UsageErrorsExitWith3AndSayWhy)
{
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{}, "no command given"},
        {{"frobnicate", "x"}, "unknown command \"frobnicate\""},
        {{"url"}, "url needs a URL"},
        {{"url", "http://a/", "http://b/"}, "\"http://b/\" is one too many"},
        {{"url", "--port", "abc", "http://x/"}, "--port needs a whole number from 0 to 65535, not \"abc\""},
        {{"url", "--port=70000", "http://x/"}, "--port needs a whole number"},
        {{"url", "--timeout", "0", "http://x/"}, "--timeout needs a whole number"},
        {{"url", "--proxy", "nohost", "http://x/"}, "--proxy needs HOST:PORT, not \"nohost\""},
        {{"url", "--proxy", "p:99999", "http://x/"}, "--proxy needs a whole number"},
        {{"url", "--field", "novalue", "http://x/"}, "--field needs NAME=VALUE, not \"novalue\""},
        {{"url", "--bogus", "1", "http://x/"}, "the url command has no option --bogus"},
        {{"url", "http://x/", "--method"}, "--method needs a value"},
        {{"url", "--method", "Get", "--method", "Post", "http://x/"}, "--method is given more than once"},
        {{"ping", "--method", "Get", "host"}, "the ping command has no option --method"},
        {{"smtp", "-x", "host"}, "unknown option \"-x\""},
        {{"ftp", "--port", "-1", "host"}, "--port needs a whole number"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
        EXPECT_TRUE(Contains(run.err, "--help")) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(Probe, HelpExplainsTheProgramAndEachCommand)
{
    const ProbeRun general = RunProbeProgram({"--help"});
    EXPECT_EQ(general.exitCode, 0);
    for (const char* part :
         {"Usage: quorvel-probe COMMAND", "url [options] URL", "ping [options] HOST", "smtp [options] HOST",
          "pop3 [options] HOST", "imap [options] HOST", "ftp [options] HOST", "--timeout MS",
          "smtp 25, pop3 110, imap 143, ftp 21", "Exit status: 0 passed, 2 failed, 3 usage error."})
        EXPECT_TRUE(Contains(general.out, part)) << part;

    const ProbeRun url = RunProbeProgram({"url", "--help"});
    EXPECT_EQ(url.exitCode, 0);
    for (const char* part :
         {"Usage: quorvel-probe url [options] URL", "--method TEXT", "--field NAME=VALUE", "--cookie",
          "--referer", "--user-agent", "--content-type", "--accept TEXT", "--accept-charset",
          "--accept-encoding", "--accept-language", "--proxy HOST:PORT", "--proxy-user", "--proxy-password",
          "--port N", "--user NAME", "--password TEXT"})
        EXPECT_TRUE(Contains(url.out, part)) << part;

    const ProbeRun ftp = RunProbeProgram({"ftp", "--help"});
    EXPECT_EQ(ftp.exitCode, 0);
    EXPECT_TRUE(Contains(ftp.out, "--proxy-type KIND")) << ftp.out;
    for (const char* kind : {"fpcmNone", "fpcmUserSite", "fpcmSite", "fpcmOpen", "fpcmUserPass",
                             "fpcmTransparent", "fpcmHttpProxyWithFtp"})
        EXPECT_TRUE(Contains(ftp.out, std::string("\n  ") + kind + " ")) << kind << " is explained";
}

// Each proxy option says which kind of proxy it is about: an HTTP proxy for the HTTP commands,
// the FTP proxy of --proxy-type for ftp.
TEST_F(Probe, ProxyOptionsNameTheirKindOfProxy)
{
    const struct
    {
        const char* command;
        const char* kind;
        const char* otherKind;
    } cases[] = {{"url", "HTTP proxy", "FTP proxy"},
                 {"httpsms", "HTTP proxy", "FTP proxy"},
                 {"ftp", "FTP proxy", "HTTP proxy"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const ProbeRun help = RunProbeProgram({c.command, "--help"});
        ASSERT_EQ(help.exitCode, 0);
        int proxyOptions = 0;
        for (const QString& line : QString::fromStdString(help.out).split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1String("  --proxy")) ||
                line.startsWith(QLatin1String("  --proxy-type")))
                continue;
            ++proxyOptions;
            EXPECT_TRUE(line.contains(QLatin1String(c.kind))) << line.toStdString();
            EXPECT_FALSE(line.contains(QLatin1String(c.otherKind))) << line.toStdString();
        }
        EXPECT_EQ(proxyOptions, 3) << "--proxy, --proxy-user and --proxy-password";
    }
}

// The probe builds the item the scheduler builds for a stored service: "http://" put in front
// of the stored address, form fields as lines, headers and credentials as configured.
TEST_F(Probe, PassingUrlPrintsItsLineAndExits0)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, "done")).silence(10000);
    server.start();
    const QString stored = "127.0.0.1:" + port(server) + "/submit";
    const ProbeRun run = RunProbeProgram({"url",
                                          "--method",
                                          "Post",
                                          "--field",
                                          "a=x y",
                                          "--field",
                                          "b=",
                                          "--user",
                                          "admin",
                                          "--password",
                                          "s3cret",
                                          "--cookie",
                                          "sid=77; Path=/",
                                          "--user-agent",
                                          "Probe/1",
                                          "--accept-language",
                                          "",
                                          "--port",
                                          "8080",
                                          "--timeout",
                                          "3000",
                                          stored});
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Passed [http://" + stored.toStdString() + ":" + port(server).toStdString() +
                           "] HTTP/1.1 200 OK\n");
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0],
              "POST /submit HTTP/1.1\r\nHost: 127.0.0.1:" + port(server).toStdString() +
                  "\r\nUser-Agent: Probe/1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "Authorization: Basic YWRtaW46czNjcmV0\r\nCookie: sid=77\r\n"
                  "Content-Length: 8\r\n\r\na=x+y&b=");
}

TEST_F(Probe, FailingUrlPrintsItsLineAndExits2)
{
    {
        SCOPED_TRACE("404");
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 404 Not Found")).silence(10000);
        server.start();
        const std::string url = "http://127.0.0.1:" + port(server).toStdString() + "/gone";
        const ProbeRun run = RunProbeProgram({"url", QString::fromStdString(url)});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "Failed [" + url + ":" + port(server).toStdString() +
                               "] HTTP/1.1 404 Not Found:HTTP/1.1 404 Not Found\n");
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.received()[0].substr(0, 24), "GET /gone HTTP/1.1\r\nHost");
    }
    {
        SCOPED_TRACE("refused");
        const std::string p = std::to_string(ScriptedServer::UnusedPort());
        const ProbeRun run = RunProbeProgram({"url", QString::fromStdString("http://127.0.0.1:" + p + "/")});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out.rfind(
                      "Failed [http://127.0.0.1:" + p + "/:" + p + "] :cannot connect to 127.0.0.1:" + p, 0),
                  0u)
            << run.out;
    }
    {
        SCOPED_TRACE("silent server, bounded by --timeout");
        ScriptedServer server;
        server.silence(15000);
        server.start();
        const ProbeRun run =
            RunProbeProgram({"url", "--timeout", "300", "http://127.0.0.1:" + port(server) + "/"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Contains(run.out, "] :no complete answer from 127.0.0.1:" + port(server).toStdString() +
                                          " within 300 ms\n"))
            << run.out;
    }
}

TEST_F(Probe, UrlExpectationOptionsAreRefusedWhenTheyCannotRun)
{
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"url", "--expect-text", "a", "--expect-regex", "b", "http://x/"},
         "--expect-text and --expect-regex exclude each other: give one of them"},
        {{"url", "--expect-no-text", "a", "--expect-json", "/a=1", "http://x/"},
         "--expect-no-text and --expect-json exclude each other"},
        {{"url", "--expect-text", "a", "--expect-text", "b", "http://x/"},
         "--expect-text is given more than once"},
        {{"url", "http://x/", "--expect-text"}, "--expect-text needs a value"},
        {{"url", "--expect-text=", "http://x/"},
         "--expect-text: Please enter the text expected in the answer."},
        {{"url", "--expect-regex", "up(", "http://x/"},
         "--expect-regex: The regular expression \"up(\" does not compile: "},
        {{"url", "--expect-json", "/status", "http://x/"},
         "--expect-json: A JSON value check needs POINTER=VALUE"},
        {{"url", "--expect-json", "/status=up", "http://x/"},
         "--expect-json: The expected value \"up\" is not JSON text"},
        {{"url", "--expect-json", "status=1", "http://x/"},
         "--expect-json: \"status\" is not a JSON pointer"},
        {{"url", "--method", "Head", "--expect-text", "ok", "http://x/"},
         "--expect-text needs a body, and an answer to HEAD has none (--method Head)"},
        {{"ping", "--expect-text", "ok", "host"}, "the ping command has no option --expect-text"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const ProbeRun help = RunProbeProgram({"url", "--help"});
    for (const char* part : {"--expect-text TEXT", "--expect-no-text TEXT", "--expect-regex RE",
                             "--expect-json POINTER=VALUE", "at most 1 MiB"})
        EXPECT_TRUE(Contains(help.out, part)) << part;
}

TEST_F(Probe, UrlExpectationDecidesTheVerdictOfA2xxAnswer)
{
    const std::string page = "<html><p>Down for maintenance</p></html>";
    const std::string json = R"({"status":"up","db":{"ok":true}})";
    struct Case
    {
        QStringList options;
        std::string body;
        int exitCode;
        std::string failure; // after the status line, on failure
    };
    const std::vector<Case> cases = {
        {{"--expect-text", "maintenance"}, page, 0, ""},
        {{"--expect-no-text", "maintenance"},
         page,
         2,
         "expected no \"maintenance\" in the body, found \"maintenance</p></html>\" at character 19"},
        {{"--expect-regex", "Down for \\w+"}, page, 0, ""},
        {{"--expect-regex=^OK$"},
         page,
         2,
         "expected a match for \"^OK$\" in the body, found \"<html><p>Down for maintenance</p></html>\""},
        {{"--expect-json", "/db/ok=true"}, json, 0, ""},
        {{"--expect-json", "/status=\"down\""}, json, 2, "expected /status = \"down\", found a text \"up\""},
        {{"--expect-json=/db/ok=\"true\""}, json, 2, "expected /db/ok = \"true\", found a boolean true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, c.body)).silence(10000);
        server.start();
        const std::string url = "http://127.0.0.1:" + port(server).toStdString() + "/";
        const ProbeRun run =
            RunProbeProgram(QStringList{"url"} + c.options + QStringList{QString::fromStdString(url)});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        std::string expected = std::string(c.exitCode == 0 ? "Passed" : "Failed") + " [" + url + ":" +
                               port(server).toStdString() + "] HTTP/1.1 200 OK";
        if (!c.failure.empty())
            expected += ":" + c.failure;
        EXPECT_EQ(run.out, expected + "\n");
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(Probe, VersionPrintsTheNameAndVersion)
{
    const ProbeRun run = RunProbeProgram({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "quorvel-probe " QUORVEL_VERSION "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(Contains(RunProbeProgram({"--help"}).out, "--version"));
}

// Every check line carries performance data that parsers of monitoring-plugin output accept:
// 'label'=value[UOM];[warn];[crit];[min];[max], here the seconds the check took, minimum 0.
TEST_F(Probe, ChecksPrintPerformanceDataThatPluginParsersAccept)
{
    const QRegularExpression plugin(QStringLiteral(
        R"(^('[^'=]+'|[^'= ]+)=(-?\d+(?:\.\d+)?)(us|ms|s|%|B|KB|MB|TB|c)?;([\d.:~@-]*);([\d.:~@-]*);)"
        R"((-?\d+(?:\.\d+)?)?;?(-?\d+(?:\.\d+)?)?$)"));
    struct Case
    {
        const char* name;
        const char* status;
        int exitCode;
    };
    for (const Case& c : {Case{"passed", "HTTP/1.1 200 OK", 0}, Case{"failed", "HTTP/1.1 503 Busy", 2}}) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer(c.status)).silence(10000);
        server.start();
        const ProbeRun run = RunProbeProgram({"url", "http://127.0.0.1:" + port(server) + "/"});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        const QRegularExpressionMatch m = plugin.match(QString::fromStdString(run.perf));
        ASSERT_TRUE(m.hasMatch()) << run.perf;
        EXPECT_EQ(m.captured(1), "time");
        EXPECT_EQ(m.captured(3), "s");
        EXPECT_EQ(m.captured(4), "");
        EXPECT_EQ(m.captured(5), "");
        EXPECT_EQ(m.captured(6), "0.000000");
        const double seconds = m.captured(2).toDouble();
        EXPECT_GT(seconds, 0.0);
        EXPECT_LT(seconds, 10.0);
        EXPECT_EQ(run.perf.rfind("time=", 0), 0u) << "the label as check_http writes it";
        ASSERT_TRUE(server.wait());
    }
    // A command line refused as usage prints no result line, so no performance data.
    const ProbeRun usage = RunProbeProgram({"url", "--timeout", "0", "http://x/"});
    EXPECT_EQ(usage.perf, "");
}

TEST_F(Probe, UrlThroughAProxyAndAnUnlistedMethodText)
{
    ScriptedServer proxy;
    ExpectHttpRequest(proxy).send(HttpAnswer("HTTP/1.1 200 OK")).silence(10000);
    proxy.start();
    const ProbeRun run =
        RunProbeProgram({"url", "--method", "GET", "--proxy", "127.0.0.1:" + port(proxy), "--proxy-user",
                         "pu", "--proxy-password", "pp", "http://origin.invalid/x"});
    ASSERT_TRUE(proxy.wait());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "Passed [http://origin.invalid/x:" + port(proxy).toStdString() + "] HTTP/1.1 200 OK\n");
    EXPECT_TRUE(Contains(run.err, "method text \"GET\"")) << run.err;
    ASSERT_EQ(proxy.received().size(), 1u);
    EXPECT_EQ(proxy.received()[0], "HEAD http://origin.invalid/x HTTP/1.1\r\nHost: origin.invalid\r\n"
                                   "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
}

// The line-protocol commands reach their checks with the port and credentials given.
TEST_F(Probe, MailAndFtpCommandsRunTheirChecks)
{
    struct Case
    {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        QStringList arguments; // the port is added
    };
    const std::vector<Case> cases = {
        {"smtp",
         [](ScriptedServer& s) { s.sendLine("220 mail ready").readLine().sendLine("250 hello").readRest(); },
         {"smtp", "127.0.0.1"}},
        {"pop3",
         [](ScriptedServer& s) {
             s.sendLine("+OK ready")
                 .expectLine("USER bob")
                 .sendLine("+OK")
                 .expectLine("PASS pw")
                 .sendLine("+OK in");
             s.readRest();
         },
         {"pop3", "--user", "bob", "--password", "pw", "127.0.0.1"}},
        {"imap",
         [](ScriptedServer& s) {
             s.sendLine("* OK ready").expectLine("C1 LOGIN bob pw").sendLine("C1 OK done");
             s.readLine().sendLine("* BYE").sendLine("C2 OK bye").readRest();
         },
         {"imap", "--user", "bob", "--password", "pw", "127.0.0.1"}},
        {"ftp",
         [](ScriptedServer& s) {
             s.sendLine("220 ftp ready")
                 .expectLine("USER bob")
                 .sendLine("331 password")
                 .expectLine("PASS pw");
             s.sendLine("230 in").expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine(
                 "215 UNIX");
             s.readRest();
         },
         {"ftp", "--user", "bob", "--password", "pw", "127.0.0.1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        c.script(server);
        server.start();
        QStringList arguments = c.arguments;
        arguments.insert(1, "--port");
        arguments.insert(2, port(server));
        arguments.insert(3, "--timeout");
        arguments.insert(4, "3000");
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out, "Passed [127.0.0.1:" + port(server).toStdString() + "] Passed\n");
        server.wait();
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
    }
}

// Without --port each command uses its service kind's usual port (the detail names it).
TEST_F(Probe, CommandsDefaultToTheirUsualPorts)
{
    const std::vector<std::pair<QString, std::string>> cases = {
        {"smtp", "[127.0.0.1:25] "}, {"pop3", "[127.0.0.1:110] "}, {"imap", "[127.0.0.1:143] "},
        {"ftp", "[127.0.0.1:21] "},  {"ping", "[127.0.0.1:0] "},
    };
    for (const auto& [command, prefix] : cases) {
        SCOPED_TRACE(command.toStdString());
        const ProbeRun run = RunProbeProgram({command, "--timeout", "1000", "127.0.0.1"});
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 2) << run.exitCode;
        EXPECT_TRUE(Contains(run.out, prefix)) << run.out;
        EXPECT_EQ(run.out.rfind(run.exitCode == 0 ? "Passed [" : "Failed [", 0), 0u) << run.out;
    }
}

} // namespace
