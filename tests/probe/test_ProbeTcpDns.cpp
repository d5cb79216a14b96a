// The tcp and dns commands of quorvel-probe run as a process: their help and usage errors, and
// their verdicts beside those of Debian's monitoring plugins (package monitoring-plugins:
// check_tcp, check_dig) on the same loopback targets: scripted TCP servers, and dnsmasq serving
// a test zone.
#include "probe/ProbeProcess.h"
#include "support/DnsZoneServer.h"
#include "support/ScriptedServer.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString kPlugins = QStringLiteral("/usr/lib/nagios/plugins/");

// Runs a monitoring plugin, at most 20 s; its exit status, -1 when it did not end normally.
int runPlugin(const QString& name, const QStringList& arguments, std::string* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(kPlugins + name, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        return -1;
    }
    *output = process.readAll().toStdString();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool pluginInstalled(const QString& name)
{
    return QFileInfo(kPlugins + name).isExecutable();
}

TEST(ProbeTcpDns, HelpListsTheCommandsAndTheirOptions)
{
    const ProbeRun general = RunProbeProgram({"--help"});
    EXPECT_EQ(general.exitCode, 0);
    for (const char* part : {"tcp [options] HOST", "dns [options] NAME", "tcp 0, dns 53"})
        EXPECT_TRUE(Contains(general.out, part)) << part;
    const ProbeRun tcp = RunProbeProgram({"tcp", "--help"});
    for (const char* part :
         {"Usage: quorvel-probe tcp [options] HOST", "--send TEXT", "--expect TEXT", "--port N"})
        EXPECT_TRUE(Contains(tcp.out, part)) << part;
    const ProbeRun dns = RunProbeProgram({"dns", "--help"});
    for (const char* part : {"Usage: quorvel-probe dns [options] NAME", "--server HOST", "--type TYPE",
                             "A, AAAA, CNAME, MX, NS, TXT or SOA", "--expect VALUE", "/etc/resolv.conf"})
        EXPECT_TRUE(Contains(dns.out, part)) << part;
}

TEST(ProbeTcpDns, UsageErrorsExitWith3)
{
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"tcp", "127.0.0.1"}, "tcp needs --port N"},
        {{"tcp", "--user", "u", "--port", "1", "127.0.0.1"}, "the tcp command has no option --user"},
        {{"dns", "--type", "PTR", "example.test"},
         "--type \"PTR\" is not one of: A, AAAA, CNAME, MX, NS, TXT, SOA"},
        {{"dns", "--port", "0", "example.test"}, "--port needs a whole number from 1 to 65535"},
        {{"dns", "--password", "p", "example.test"}, "the dns command has no option --password"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

struct TcpCase
{
    const char* name;
    std::function<void(ScriptedServer&)> script; // nullptr: nothing listens
    QStringList probe;                           // the probe's options beyond --port
    QStringList plugin;                          // check_tcp's for the same check
    int exitCode;                                // both
    std::string out; // the probe's line after "Passed "/"Failed " and "[127.0.0.1:P]"
};

// check_tcp counts a refused connection and a text not found as critical (-r crit, -M crit),
// so its exit status and the probe's compare one to one.
TEST(ProbeTcpDns, TcpVerdictsAgreeWithCheckTcp)
{
    if (!pluginInstalled("check_tcp"))
        GTEST_SKIP() << "check_tcp is not installed (Debian package monitoring-plugins-basic)";
    const std::vector<TcpCase> cases = {
        {"banner_found",
         [](ScriptedServer& s) { s.sendLine("+OK Dovecot ready.").readRest(); },
         {"--expect", "+OK"},
         {"-e", "+OK"},
         0,
         "Passed [127.0.0.1:{port}] Passed"},
        {"banner_without_the_text",
         [](ScriptedServer& s) { s.sendLine("220 mail ESMTP").readRest(); },
         {"--expect", "SSH-2.0"},
         {"-e", "SSH-2.0"},
         2,
         "Failed [127.0.0.1:{port}] Failed:\"SSH-2.0\" not found in the reply \"220 mail ESMTP\""},
        {"line_sent_and_answered",
         [](ScriptedServer& s) { s.expectLine("PING").sendLine("+PONG").readRest(); },
         {"--send", "PING", "--expect", "+PONG"},
         {"-E", "-s", "PING\\r\\n", "-e", "+PONG"},
         0,
         "Passed [127.0.0.1:{port}] Passed"},
        {"connection_only",
         [](ScriptedServer& s) { s.readRest(); },
         {},
         {},
         0,
         "Passed [127.0.0.1:{port}] Passed"},
        {"closed_port",
         nullptr,
         {},
         {},
         2,
         "Failed [127.0.0.1:{port}] Failed:cannot connect to 127.0.0.1:{port}: connection refused"},
        {"silent_server",
         [](ScriptedServer& s) { s.silence(); },
         {"--expect", "SSH-2.0"},
         {"-e", "SSH-2.0"},
         2,
         "Failed [127.0.0.1:{port}] Failed:no reply from 127.0.0.1:{port} within 2000 ms"},
    };
    for (const TcpCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto target = [&c](std::unique_ptr<ScriptedServer>& server) {
            if (!c.script)
                return ScriptedServer::UnusedPort();
            server = std::make_unique<ScriptedServer>();
            c.script(*server);
            server->start();
            return server->port();
        };
        std::unique_ptr<ScriptedServer> forProbe;
        const int probePort = target(forProbe);
        const ProbeRun run =
            RunProbeProgram(QStringList{"tcp", "--port", QString::number(probePort), "--timeout", "2000"} +
                            c.probe + QStringList{"127.0.0.1"});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        std::string out = c.out;
        for (std::size_t at = out.find("{port}"); at != std::string::npos; at = out.find("{port}"))
            out.replace(at, 6, std::to_string(probePort));
        EXPECT_EQ(run.out, out + "\n");

        std::unique_ptr<ScriptedServer> forPlugin;
        const int pluginPort = target(forPlugin);
        std::string said;
        const int plugin = runPlugin("check_tcp",
                                     QStringList{"-H", "127.0.0.1", "-p", QString::number(pluginPort), "-t",
                                                 "2", "-r", "crit", "-M", "crit"} +
                                         c.plugin,
                                     &said);
        EXPECT_EQ(plugin, c.exitCode) << said;
    }
}

struct DnsCase
{
    const char* name;
    const char* type;
    const char* expect;
    bool passes;
};

// check_dig warns (1) where an expected address is missing and is critical (2) for an answer
// without records; the probe fails (2) for both, so the two agree on passing or not.
TEST(ProbeTcpDns, DnsVerdictsAgreeWithCheckDig)
{
    if (!DnsZoneServer::Installed())
        GTEST_SKIP() << "dnsmasq is not installed (Debian package dnsmasq-base)";
    if (!pluginInstalled("check_dig") || QFileInfo(QStringLiteral("/usr/bin/dig")).exists() == false)
        GTEST_SKIP() << "check_dig or dig is not installed (Debian packages monitoring-plugins-standard, "
                        "bind9-dnsutils)";
    DnsZoneServer zone;
    ASSERT_TRUE(zone.start()) << zone.error();
    const std::vector<DnsCase> cases = {
        {"www.example.test", "A", "", true},
        {"www.example.test", "A", "192.0.2.10", true},
        {"www.example.test", "A", "192.0.2.99", false},
        {"www.example.test", "AAAA", "2001:db8::10", true},
        {"example.test", "MX", "mail.example.test", true},
        {"example.test", "MX", "mx9.example.test", false},
        {"example.test", "TXT", "", true},
        {"alias.example.test", "CNAME", "www.example.test", true},
        {"example.test", "NS", "ns1.example.test", true},
        {"example.test", "SOA", "", true},
        {"nope.example.test", "A", "", false},
        {"www.example.test", "MX", "", false},
    };
    const QString port = QString::number(zone.port());
    for (const DnsCase& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.name + " " + c.expect);
        QStringList probe{"dns",    "--server", "127.0.0.1", "--port", port,
                          "--type", c.type,     "--timeout", "3000"};
        QStringList plugin{"-H", "127.0.0.1", "-p", port, "-l", c.name, "-T", c.type, "-t", "3"};
        if (*c.expect) {
            probe << "--expect" << c.expect;
            plugin << "-a" << c.expect;
        }
        const ProbeRun run = RunProbeProgram(probe << c.name);
        EXPECT_EQ(run.exitCode, c.passes ? 0 : 2) << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, (c.passes ? "Passed [127.0.0.1:" : "Failed [127.0.0.1:") +
                                          port.toStdString() + "]"))
            << run.out;
        std::string said;
        const int verdict = runPlugin("check_dig", plugin, &said);
        EXPECT_EQ(verdict == 0, c.passes) << said;
    }
}

} // namespace
