// The certificate check: real servers showing the certificates made for the run (nginx with TLS
// from the first byte; aiosmtpd, Dovecot and vsftpd switching to TLS in their dialogue), and
// scripted servers for the exact commands and for refusals before any TLS.
#include "checks/ThreadCertCheckUnit.h"
#include "net/Socket.h"

#include "support/CertPeers.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CertPeersEnvironment);

const char* const kDate = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC";
const char* const kLeaf = "subject \"CN=localhost\", issuer \"CN=Quorvel Test CA\", ";

struct Outcome
{
    bool passed = false;
    std::string detail;
    std::optional<int> days;
};

Outcome runCheck(int port, const std::string& startTls, const TlsOptions& tls, int timeoutMs = 5000)
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.Host = "127.0.0.1";
    args.Port = port;
    args.Timeout = timeoutMs;
    args.Tls = tls;
    ThreadCertCheck check(args, CertCheckArgs{QString::fromStdString(startTls)});
    check.Execute();
    return {check.Passed, check.ResultDetail.toStdString(), check.CertDaysLeft};
}

// [tls] as installed, with the private CA as CAFile: Verify=1, ExpiryWarnDays=14.
TlsOptions trusting(int warnDays = 14)
{
    TlsOptions tls;
    std::string why;
    if (const TestCertificates* c = TestCerts(&why))
        tls.caFile = c->caFile;
    tls.expiryWarnDays = warnDays;
    return tls;
}

std::string start(int port)
{
    return "[127.0.0.1:" + std::to_string(port) + "] ";
}

} // namespace

TEST(CertCheck, NginxCertificatesAreJudgedAndNamed)
{
    std::string why;
    const CertPeers::Nginx& n = CertPeers::Instance().nginx(&why);
    if (n.valid == 0)
        GTEST_SKIP() << why;
    TlsOptions systemStore;
    systemStore.expiryWarnDays = 14;
    TlsOptions anyCertificate = trusting();
    anyCertificate.verify = false;
    TlsOptions anyNoWarning = anyCertificate;
    anyNoWarning.expiryWarnDays = 0;
    const std::string leaf = kLeaf;
    const std::string valid = leaf + "36[45] days left \\(ends " + kDate + "\\)";
    const std::string ending = leaf + "[23] days left \\(ends " + kDate + "\\)";
    const std::string ended = leaf + "ended on " + kDate;
    const std::string notAccepted = "Failed:certificate of 127\\.0\\.0\\.1 not accepted: ";
    struct Case
    {
        const char* name;
        int port;
        TlsOptions tls;
        std::string detailEnd; // a regular expression for what follows "[127.0.0.1:port] "
        int days; // or one more, when the check runs within the second the certificates were made
    };
    const std::vector<Case> cases = {
        {"valid, CA file", n.valid, trusting(), "Passed \\(" + valid + "\\)", 364},
        {"valid, system store only", n.valid, systemStore,
         notAccepted + "unable to get local issuer certificate; " + valid, 364},
        {"ends in three days, 14 days of warning", n.ending, trusting(),
         "Failed:certificate ends within 14 days; " + ending, 2},
        {"ends in three days, 2 days of warning", n.ending, trusting(2), "Passed \\(" + ending + "\\)", 2},
        {"ends in three days, warning off", n.ending, trusting(0), "Passed \\(" + ending + "\\)", 2},
        {"ends in three days, Verify=0 still warns", n.ending, anyCertificate,
         "Failed:certificate ends within 14 days; " + ending, 2},
        {"another name", n.other, trusting(),
         notAccepted + "host name mismatch \\(the certificate is for other\\.test\\); " + valid, 364},
        {"another name, Verify=0", n.other, anyCertificate, "Passed \\(" + valid + "\\)", 364},
        {"expired", n.expired, trusting(),
         notAccepted + "certificate has expired \\(it ended " + kDate + "\\); " + ended, -3},
        {"expired, Verify=0 and no warning", n.expired, anyNoWarning,
         "Failed:certificate has expired; " + ended, -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = runCheck(c.port, "", c.tls);
        EXPECT_EQ(o.passed, c.detailEnd.rfind("Passed", 0) == 0) << o.detail;
        ASSERT_EQ(o.detail.substr(0, start(c.port).size()), start(c.port)) << o.detail;
        EXPECT_TRUE(FullMatch(o.detail.substr(start(c.port).size()), c.detailEnd)) << o.detail;
        ASSERT_TRUE(o.days.has_value());
        EXPECT_TRUE(*o.days == c.days || *o.days == c.days + 1) << *o.days;
    }
}

TEST(CertCheck, StartTlsAtRealMailAndFtpServers)
{
    std::string smtpWhy, dovecotWhy, ftpWhy;
    CertPeers& peers = CertPeers::Instance();
    const int smtp = peers.smtp(&smtpWhy);
    const auto [imap, pop3] = peers.dovecot(&dovecotWhy);
    const int ftp = peers.ftp(&ftpWhy);
    if (smtp == 0 && imap == 0 && ftp == 0)
        GTEST_SKIP() << smtpWhy << "; " << dovecotWhy << "; " << ftpWhy;
    struct Case
    {
        const char* mode;
        int port;
        const std::string* why;
    };
    const std::vector<Case> cases = {{"smtp", smtp, &smtpWhy},
                                     {"imap", imap, &dovecotWhy},
                                     {"pop3", pop3, &dovecotWhy},
                                     {"ftp", ftp, &ftpWhy}};
    const std::string valid = std::string(kLeaf) + "36[45] days left \\(ends " + kDate + "\\)";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        if (c.port == 0) {
            ADD_FAILURE() << "not run: " << *c.why;
            continue;
        }
        const Outcome o = runCheck(c.port, c.mode, trusting());
        EXPECT_TRUE(o.passed) << o.detail;
        EXPECT_TRUE(FullMatch(o.detail, "\\[127\\.0\\.0\\.1:\\d+\\] Passed \\(" + valid + "\\)")) << o.detail;
        EXPECT_TRUE(o.days == 364 || o.days == 365);

        // The same switch without the private CA: refused, and what was refused is named.
        TlsOptions systemStore;
        const Outcome refused = runCheck(c.port, c.mode, systemStore);
        EXPECT_FALSE(refused.passed);
        EXPECT_TRUE(
            FullMatch(refused.detail, "\\[127\\.0\\.0\\.1:\\d+\\] Failed:certificate of 127\\.0\\.0\\.1 not "
                                      "accepted: unable to get local issuer certificate; " +
                                          valid))
            << refused.detail;

        // Asked for TLS from the first byte, a server in the clear fails the handshake.
        const Outcome clear = runCheck(c.port, "", trusting(), 3000);
        EXPECT_FALSE(clear.passed) << clear.detail;
        EXPECT_FALSE(clear.days.has_value());
    }
}

// The commands each mode sends before the handshake, and what a refusal at each step gives.
TEST(CertCheck, SwitchCommandsAndRefusalsBeforeAnyTls)
{
    const std::string ehlo = "EHLO " + LocalHostName();
    struct Case
    {
        const char* name;
        const char* mode;
        std::vector<std::pair<std::string, std::string>> dialogue; // line sent, line expected ("" none)
        std::string detailEnd;
        std::vector<std::string> received;
    };
    const std::vector<Case> cases = {
        {"SMTP server without STARTTLS",
         "smtp",
         {{"220 mail ready", ehlo}, {"250-mail\r\n250 SIZE 1000", ""}},
         "Failed:the server does not offer STARTTLS",
         {ehlo, "QUIT"}},
        {"SMTP STARTTLS refused",
         "SMTP",
         {{"220 mail ready", ehlo},
          {"250-mail\r\n250 STARTTLS", "STARTTLS"},
          {"454 TLS not available now", ""}},
         "Failed:454 TLS not available now",
         {ehlo, "STARTTLS", "QUIT"}},
        {"IMAP STARTTLS refused",
         "imap",
         {{"* OK IMAP ready", "C1 STARTTLS"}, {"C1 NO not now", ""}},
         "Failed:C1 NO not now",
         {"C1 STARTTLS", "C2 LOGOUT"}},
        {"POP3 STLS refused",
         "pop3",
         {{"+OK POP3 ready", "STLS"}, {"-ERR not now", ""}},
         "Failed:-ERR not now",
         {"STLS", "QUIT"}},
        {"FTP AUTH TLS refused",
         "ftp",
         {{"220 FTP ready", "AUTH TLS"}, {"530 not here", ""}},
         "Failed:530 not here",
         {"AUTH TLS"}},
        {"IMAP greeting refused", "imap", {{"* BYE go away", ""}}, "Failed:\\* BYE go away", {"C1 LOGOUT"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.setStepTimeout(3000);
        for (const auto& [send, expect] : c.dialogue) {
            server.sendLine(send);
            if (!expect.empty())
                server.expectLine(expect);
        }
        server.readRest();
        server.start();
        const Outcome o = runCheck(server.port(), c.mode, trusting(), 3000);
        ASSERT_TRUE(server.wait());
        EXPECT_FALSE(o.passed);
        EXPECT_TRUE(FullMatch(o.detail.substr(start(server.port()).size()), c.detailEnd)) << o.detail;
        EXPECT_EQ(server.received(), c.received);
        EXPECT_TRUE(server.failures().empty());
        EXPECT_FALSE(o.days.has_value());
    }

    // An unknown mode fails before connecting.
    ScriptedServer idle;
    idle.setStepTimeout(500);
    idle.start();
    const Outcome unknown = runCheck(idle.port(), "xmpp", trusting());
    EXPECT_EQ(unknown.detail,
              start(idle.port()) +
                  "Failed:unknown STARTTLS protocol \"xmpp\" (none, smtp, imap, pop3 or ftp)");
    idle.wait(2000);
    EXPECT_EQ(idle.connectionsAccepted(), 0);
}
