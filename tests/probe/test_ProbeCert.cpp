// The cert command of quorvel-probe run as a process: its help and usage errors, its performance
// data, and its verdicts beside those of check_http --ssl -C (Debian's monitoring-plugins) on the
// same nginx targets, which show the certificates made for the run.
#include "probe/ProbeProcess.h"
#include "support/CertPeers.h"
#include "support/TlsTestKit.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CertPeersEnvironment);

const QString kCheckHttp = QStringLiteral("/usr/lib/nagios/plugins/check_http");

// check_http's exit status (0 OK, 1 WARNING, 2 CRITICAL), -1 when it did not end normally.
int runCheckHttp(const QStringList& arguments, std::string* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(kCheckHttp, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        return -1;
    }
    *output = process.readAll().toStdString();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

TEST(ProbeCert, HelpAndUsageErrors)
{
    const ProbeRun general = RunProbeProgram({"--help"});
    EXPECT_EQ(general.exitCode, 0);
    for (const char* part : {"cert [options] HOST", "cert 443", "cert_days=41;14;;0"})
        EXPECT_TRUE(Contains(general.out, part)) << part;
    const ProbeRun cert = RunProbeProgram({"cert", "--help"});
    for (const char* part : {"Usage: quorvel-probe cert [options] HOST", "--starttls PROTOCOL",
                             "--ca-file FILE", "--no-verify", "--expiry-warn-days N", "(25, 143, 110, 21)"})
        EXPECT_TRUE(Contains(cert.out, part)) << part;

    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"cert", "--starttls", "xmpp", "localhost"},
         "--starttls \"xmpp\" is not one of: smtp, imap, pop3, ftp"},
        {{"cert", "--starttls=", "localhost"}, "--starttls \"\" is not one of"},
        {{"cert", "--user", "u", "localhost"}, "the cert command has no option --user"},
        {{"cert", "--port", "0", "localhost"}, "--port needs a whole number from 1 to 65535 for cert"},
        {{"cert", "--expiry-warn-days", "-1", "localhost"}, "--expiry-warn-days needs a whole number"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// check_http -C judges the end date alone (no chain, no name), and warns when the whole days left
// are at most the given number; the probe fails when the certificate ends within that many days.
// The cases keep away from that one-day edge, and the certificate for another name is compared
// with --no-verify; with verification the probe alone refuses it.
TEST(ProbeCert, VerdictsAgreeWithCheckHttp)
{
    std::string why;
    const CertPeers::Nginx& n = CertPeers::Instance().nginx(&why);
    if (n.valid == 0)
        GTEST_SKIP() << why;
    if (!QFileInfo(kCheckHttp).isExecutable())
        GTEST_SKIP() << "check_http is not installed (Debian package monitoring-plugins)";
    const TestCertificates* certs = TestCerts(&why);
    ASSERT_NE(certs, nullptr) << why;
    const QString ca = QString::fromStdString(certs->caFile);
    struct Case
    {
        const char* name;
        int port;
        int warnDays;
        bool verify;
        bool passes;
        const char* perf; // the cert_days part of the performance data (a whole day more when the
                          // check runs within the second the certificates were made)
    };
    const std::vector<Case> cases = {
        {"valid", n.valid, 14, true, true, "cert_days=36[45];14;;0"},
        {"valid, warning at 400 days", n.valid, 400, true, false, "cert_days=36[45];400;;0"},
        {"ending in three days", n.ending, 14, true, false, "cert_days=[23];14;;0"},
        {"ending in three days, warning at 1 day", n.ending, 1, true, true, "cert_days=[23];1;;0"},
        {"expired", n.expired, 14, true, false, "cert_days=-[23];14;;0"},
        {"another name, not verified", n.other, 14, false, true, "cert_days=36[45];14;;0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList arguments{"cert",
                              "--port",
                              QString::number(c.port),
                              "--expiry-warn-days",
                              QString::number(c.warnDays),
                              "--ca-file",
                              ca,
                              "localhost"};
        if (!c.verify)
            arguments.insert(1, "--no-verify");
        const ProbeRun probe = RunProbeProgram(arguments);
        EXPECT_EQ(probe.exitCode, c.passes ? 0 : 2) << probe.out << probe.err;
        EXPECT_TRUE(FullMatch(probe.perf, "time=\\d+\\.\\d{6}s;;;0\\.000000 " + std::string(c.perf)))
            << probe.perf << " from: " << probe.out;

        std::string plugin;
        const int status = runCheckHttp({"-H", "localhost", "-I", "127.0.0.1", "-p", QString::number(c.port),
                                         "--ssl", "--sni", "-C", QString::number(c.warnDays)},
                                        &plugin);
        ASSERT_GE(status, 0) << plugin;
        EXPECT_EQ(status == 0, c.passes)
            << "check_http said: " << plugin << "quorvel-probe said: " << probe.out;
    }

    // The name is checked by the probe only.
    const ProbeRun verified =
        RunProbeProgram({"cert", "--port", QString::number(n.other), "--ca-file", ca, "localhost"});
    EXPECT_EQ(verified.exitCode, 2);
    EXPECT_TRUE(Contains(verified.out, "host name mismatch (the certificate is for other.test)"))
        << verified.out;
}

// Where another command reads a certificate, its days left join the performance data too.
TEST(ProbeCert, UrlCommandReportsTheDaysLeftOverTlsOnly)
{
    std::string why;
    const CertPeers::Nginx& n = CertPeers::Instance().nginx(&why);
    if (n.valid == 0)
        GTEST_SKIP() << why;
    const TestCertificates* certs = TestCerts(&why);
    ASSERT_NE(certs, nullptr) << why;
    const QString ca = QString::fromStdString(certs->caFile);

    const ProbeRun secure = RunProbeProgram(
        {"url", "--ca-file", ca, QStringLiteral("https://localhost:%1/index.html").arg(n.valid)});
    EXPECT_EQ(secure.exitCode, 0) << secure.out;
    EXPECT_TRUE(FullMatch(secure.perf, "time=\\S+ cert_days=36[45];14;;0")) << secure.perf;

    // A refused certificate was read all the same.
    const ProbeRun ending = RunProbeProgram(
        {"url", "--ca-file", ca, QStringLiteral("https://localhost:%1/index.html").arg(n.ending)});
    EXPECT_EQ(ending.exitCode, 2) << ending.out;
    EXPECT_TRUE(FullMatch(ending.perf, "time=\\S+ cert_days=[23];14;;0")) << ending.perf;

    const ProbeRun untrusted = RunProbeProgram(
        {"url", "--expiry-warn-days", "0", QStringLiteral("https://localhost:%1/").arg(n.valid)});
    EXPECT_EQ(untrusted.exitCode, 2) << untrusted.out;
    EXPECT_TRUE(FullMatch(untrusted.perf, "time=\\S+ cert_days=36[45];;;0")) << untrusted.perf;

    // In the clear nothing is known about a certificate.
    const ProbeRun clear = RunProbeProgram({"url", QStringLiteral("http://127.0.0.1:%1/").arg(n.valid)});
    EXPECT_TRUE(FullMatch(clear.perf, "time=\\d+\\.\\d{6}s;;;0\\.000000")) << clear.perf;
}
