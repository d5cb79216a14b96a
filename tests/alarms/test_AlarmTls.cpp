// The alarms inside TLS. The e-mail alarm upgrades with STARTTLS when the server offers it and
// only then logs in: against aiosmtpd (Debian package python3-aiosmtpd), which refuses AUTH and
// MAIL before STARTTLS, with a relay in between that keeps every byte that crossed, so the test
// sees that the password never went in the clear. On port 465 the whole dialogue runs inside TLS.
// A refused STARTTLS or a failed handshake is an error, never a silent fall-back to the clear.
// The SMS-by-HTTP gateway is reached over https ("openssl s_server -www" answers it).
#include "alarms/ThreadSMTPUnit.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"
#include "net/Socket.h"

#include "support/RunItem.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The alarm as the dispatcher builds it for "a@x", logging in as alice when `password` is given.
std::unique_ptr<ThreadSMTP> mailAlarm(const std::string& host, int port, const TlsOptions& tls,
                                      const QString& password = QString())
{
    EmailMethodSettings s;
    s.enable = true;
    s.ip = QString::fromStdString(host);
    s.port = port;
    s.from_address = "quorvel@ops";
    s.timeout = 5000;
    s.authenticate = !password.isEmpty();
    s.username = "alice";
    s.password = password;
    return std::make_unique<ThreadSMTP>(s, "a@x", "[db1:3306] Failed", tls);
}

class MailTls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        m_certs = TestCerts(&why);
        if (!m_certs)
            GTEST_SKIP() << why;
        ASSERT_TRUE(m_dir.isValid());
        m_mailFile = m_dir.filePath("mail.txt").toStdString();
    }

    TlsOptions trusting() const
    {
        TlsOptions tls;
        tls.caFile = m_certs->caFile;
        return tls;
    }

    std::string kept() const
    {
        QFile file(QString::fromStdString(m_mailFile));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    const TestCertificates* m_certs = nullptr;
    QTemporaryDir m_dir;
    std::string m_mailFile;
};

TEST_F(MailTls, StartTlsComesBeforeTheLoginAndThePasswordNeverCrossesInTheClear)
{
    AioSmtpdTls server;
    const int port = ScriptedServer::UnusedPort();
    std::string why;
    if (!server.start(AioSmtpdTls::Mode::StartTls, "127.0.0.1", port, m_mailFile, &why))
        GTEST_SKIP() << why;

    RecordingRelay relay("127.0.0.1", port);
    auto item = mailAlarm("127.0.0.1", relay.port(), trusting(), "s3cret");
    const Outcome o = RunItem(*item);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.text, "Sent");
    EXPECT_EQ(kept().substr(0, 44), "tls=True\nauthenticated=True\nfrom=quorvel@ops") << kept();
    ASSERT_TRUE(relay.wait());

    // In the clear: the greeting, EHLO and its answer offering STARTTLS, STARTTLS and "220";
    // from then on only TLS records.
    const std::string sent = relay.fromClient();
    const std::size_t upgrade = sent.find("STARTTLS\r\n");
    ASSERT_NE(upgrade, std::string::npos) << sent.substr(0, 200);
    EXPECT_EQ(sent.rfind("EHLO ", 0), 0u);
    const std::string afterUpgrade = sent.substr(upgrade + 10);
    ASSERT_GE(afterUpgrade.size(), 5u);
    EXPECT_EQ(afterUpgrade.substr(0, 3), std::string("\x16\x03\x01", 3)) << "a TLS handshake record follows";
    for (const char* secret : {"AUTH", "YWxpY2U=" /* alice */, "czNjcmV0" /* s3cret */, "s3cret", "MAIL FROM",
                               "RCPT TO", "Failed"})
        EXPECT_FALSE(contains(sent, secret)) << secret << " crossed in the clear";
    EXPECT_TRUE(contains(relay.fromTarget(), "STARTTLS")) << "the server offered STARTTLS in the clear";
}

TEST_F(MailTls, AnUntrustedCertificateAfterStartTlsIsAnErrorAndNothingFollowsInTheClear)
{
    AioSmtpdTls server;
    const int port = ScriptedServer::UnusedPort();
    std::string why;
    if (!server.start(AioSmtpdTls::Mode::StartTls, "127.0.0.1", port, m_mailFile, &why))
        GTEST_SKIP() << why;

    RecordingRelay relay("127.0.0.1", port);
    auto item = mailAlarm("127.0.0.1", relay.port(), TlsOptions(), "s3cret");
    const Outcome o = RunItem(*item);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.text, "Error");
    EXPECT_EQ(o.detail,
              "[127.0.0.1:" + std::to_string(relay.port()) +
                  "] certificate of 127.0.0.1 not accepted: unable to get local issuer certificate");
    EXPECT_EQ(kept(), "");
    ASSERT_TRUE(relay.wait());
    const std::string sent = relay.fromClient();
    for (const char* secret : {"AUTH", "czNjcmV0", "MAIL FROM", "QUIT"})
        EXPECT_FALSE(contains(sent, secret)) << secret << " crossed in the clear";
}

TEST_F(MailTls, ImplicitTlsOnPort465)
{
    if (::geteuid() != 0 || !MayUseWellKnownPorts())
        GTEST_SKIP() << "a server on port 465 needs root";
    AioSmtpdTls server;
    std::string why;
    if (!server.start(AioSmtpdTls::Mode::Implicit, TlsTestAddress(), kSmtpsPort, m_mailFile, &why))
        GTEST_SKIP() << why;
    auto item = mailAlarm(TlsTestAddress(), kSmtpsPort, trusting(), "s3cret");
    const Outcome o = RunItem(*item);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(kept().substr(0, 28), "tls=True\nauthenticated=True\n") << kept();
}

// Scripted servers that offer STARTTLS and then let it fail: the alarm reports the failure and
// sends nothing more in the clear (no RSET, AUTH, MAIL or QUIT after a broken handshake).
TEST(MailStartTlsFailures, NeverFallBackToTheClear)
{
    const std::string name = LocalHostName();
    struct Case
    {
        const char* name;
        std::function<void(ScriptedServer&)> afterStartTls;
        std::string detailStart; // after "[127.0.0.1:port] "
        std::vector<std::string> clearCommands;
    };
    auto readHello = [](ScriptedConnection& c) {
        std::string hello;
        return c.readSome(hello);
    };
    const std::vector<Case> cases = {
        {"refused",
         [](ScriptedServer& s) { s.sendLine("454 4.7.0 TLS not available").readRest(); },
         "454 4.7.0 TLS not available",
         {"EHLO " + name, "STARTTLS", "QUIT"}},
        {"garbage instead of a ServerHello",
         [&](ScriptedServer& s) {
             s.sendLine("220 2.0.0 go ahead").run(readHello).send("this is no TLS at all\r\n").readRest();
         },
         "TLS handshake with 127.0.0.1:",
         {"EHLO " + name, "STARTTLS"}},
        {"closed during the handshake",
         [&](ScriptedServer& s) { s.sendLine("220 2.0.0 go ahead").run(readHello).close(); },
         "connection closed by 127.0.0.1:",
         {"EHLO " + name, "STARTTLS"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.sendLine("220 mail ready")
            .expectLine("EHLO " + name)
            .sendLine("250-mail hello")
            .sendLine("250-AUTH LOGIN PLAIN")
            .sendLine("250 STARTTLS")
            .expectLine("STARTTLS");
        c.afterStartTls(server);
        server.start();
        auto item = mailAlarm("127.0.0.1", server.port(), TlsOptions(), "s3cret");
        const Outcome o = RunItem(*item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        const std::string start = "[127.0.0.1:" + std::to_string(server.port()) + "] " + c.detailStart;
        EXPECT_EQ(o.detail.substr(0, start.size()), start) << o.detail;
        ASSERT_TRUE(server.wait());
        std::vector<std::string> clear;
        for (const std::string& line : server.received()) {
            if (line.find('\x16') == std::string::npos && line.find('\x15') == std::string::npos)
                clear.push_back(line); // TLS records (a hello, an alert) left out
        }
        EXPECT_EQ(clear, c.clearCommands);
    }
}

// ---- the SMS-by-HTTP gateway over https ----------------------------------------------------------

TEST(HttpsGateway, DeliversOverTlsAndRefusesAnUntrustedCertificate)
{
    std::string why;
    const TestCertificates* certs = TestCerts(&why);
    if (!certs)
        GTEST_SKIP() << why;
    OpenSslServer gateway;
    ASSERT_TRUE(gateway.start(certs->valid, "-www")) << gateway.output();
    HttpSmsMethodSettings s;
    s.enable = true;
    s.ip = QString("HTTPS://localhost:%1/send?to=$MSISDN&text=$MESSAGE").arg(gateway.port());
    s.method = "Get";
    s.timeout = 5000;
    TlsOptions trust;
    trust.caFile = certs->caFile;

    ThreadURL item(s, {}, "+41 79", "db1 down", trust);
    const std::string url =
        "HTTPS://localhost:" + std::to_string(gateway.port()) + "/send?to=%2B41+79&text=db1+down";
    EXPECT_EQ(item.Url.toStdString(), url);
    const Outcome o = RunItem(item);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(gateway.port()) + "] HTTP/1.0 200 ok");

    ThreadURL untrusted(s, {}, "+41 79", "db1 down");
    const Outcome refused = RunItem(untrusted);
    EXPECT_FALSE(refused.passed);
    EXPECT_EQ(refused.text, "Error");
    EXPECT_EQ(refused.detail,
              "[" + url + ":" + std::to_string(gateway.port()) +
                  "] :certificate of localhost not accepted: unable to get local issuer certificate");
}

} // namespace
