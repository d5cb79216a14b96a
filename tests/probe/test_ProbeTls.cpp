// quorvel-probe's certificate options, run as a process against "openssl s_server" with the
// certificates made for the run: --ca-file adds the private CA, --no-verify accepts any
// certificate, --expiry-warn-days moves the warning (default 14 days, 0 off).
#include "probe/ProbeProcess.h"
#include "support/TlsTestKit.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ProbeTls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProbeProgram()).isExecutable())
            << ProbeProgram().toStdString() << " is missing: build the quorvel-probe target first";
        std::string why;
        m_certs = TestCerts(&why);
        if (!m_certs)
            GTEST_SKIP() << why;
    }

    const TestCertificates* m_certs = nullptr;
};

TEST_F(ProbeTls, CertificateOptionsDecideWhatIsAccepted)
{
    OpenSslServer valid;
    ASSERT_TRUE(valid.start(m_certs->valid, "-www")) << valid.output();
    OpenSslServer ending;
    ASSERT_TRUE(ending.start(m_certs->endingSoon, "-www")) << ending.output();
    const QString ca = QString::fromStdString(m_certs->caFile);
    struct Case
    {
        int port;
        QStringList options;
        int exitCode;
        std::string outPart;
    };
    const std::vector<Case> cases = {
        {valid.port(), {"--ca-file", ca}, 0, "] HTTP/1.0 200 ok\n"},
        {valid.port(),
         {},
         2,
         ":certificate of localhost not accepted: unable to get local issuer certificate\n"},
        {valid.port(), {"--no-verify"}, 0, "] HTTP/1.0 200 ok\n"},
        {ending.port(), {"--ca-file", ca}, 2, ", within 14 days\n"},
        {ending.port(), {"--ca-file", ca, "--expiry-warn-days", "2"}, 0, "] HTTP/1.0 200 ok\n"},
        {ending.port(), {"--ca-file=" + ca, "--expiry-warn-days=0"}, 0, "] HTTP/1.0 200 ok\n"},
    };
    for (const Case& c : cases) {
        const QString url = QStringLiteral("https://localhost:%1/").arg(c.port);
        SCOPED_TRACE((c.options.join(' ') + " " + url).toStdString());
        const ProbeRun run = RunProbeProgram(QStringList{"url"} + c.options + QStringList{url});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_EQ(run.out.rfind((c.exitCode == 0 ? "Passed [" : "Failed [") + url.toStdString() + ":" +
                                    std::to_string(c.port) + "] ",
                                0),
                  0u)
            << run.out;
        EXPECT_TRUE(Contains(run.out, c.outPart)) << run.out;
    }
}

TEST_F(ProbeTls, OptionsAreCheckedAndDescribed)
{
    const std::vector<std::pair<QStringList, std::string>> usage = {
        {{"url", "--no-verify=1", "https://x/"}, "--no-verify takes no value"},
        {{"url", "--expiry-warn-days", "soon", "https://x/"}, "--expiry-warn-days needs a whole number"},
        {{"imap", "--expiry-warn-days", "-1", "x"}, "--expiry-warn-days needs a whole number"},
        {{"email", "--expiry-warn-days", "3", "--server", "s", "--from", "a@b", "--to", "c@d", "x"},
         "the email command has no option --expiry-warn-days"},
        {{"ping", "--ca-file", "ca.pem", "host"}, "the ping command has no option --ca-file"},
    };
    for (const auto& [arguments, message] : usage) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProbeRun run = RunProbeProgram(arguments);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(Contains(run.err, message)) << run.err;
    }
    for (const char* command : {"url", "smtp", "pop3", "imap", "ftp"}) {
        const ProbeRun help = RunProbeProgram({command, "--help"});
        for (const char* part : {"--ca-file FILE", "--no-verify ", "--expiry-warn-days N"})
            EXPECT_TRUE(Contains(help.out, part)) << command << ": " << part;
    }
    const ProbeRun email = RunProbeProgram({"email", "--help"});
    EXPECT_TRUE(Contains(email.out, "--ca-file FILE"));
    EXPECT_TRUE(Contains(email.out, "STARTTLS"));
    EXPECT_TRUE(
        Contains(RunProbeProgram({"imap", "--help"}).out, "On port 993 the whole dialogue runs inside TLS"));
}

} // namespace
