// The mail checks against real servers started on loopback: Dovecot for IMAP and POP3 (Debian
// packages dovecot-imapd and dovecot-pop3d) with a password file of its own, and OpenSMTPD for
// SMTP (Debian package opensmtpd). Each check passes against them, and the IMAP and POP3 checks
// fail with the server's refusal for a wrong password; the TCP check reads Dovecot's greetings
// as banners. Skipped when a package is missing.
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadTCPCheckUnit.h"

#include "support/ScriptedServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const std::string& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

ThreadCheckArgs argsFor(int port)
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.Host = "127.0.0.1";
    args.Port = port;
    args.Timeout = 5000;
    return args;
}

std::string detailStart(int port, const char* status)
{
    return "[127.0.0.1:" + std::to_string(port) + "] " + status;
}

class Dovecot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string server = DaemonProcess::Find("dovecot");
        if (server.empty())
            GTEST_SKIP() << "Dovecot is not installed (Debian packages dovecot-imapd, dovecot-pop3d)";
        if (::geteuid() != 0)
            GTEST_SKIP() << "Dovecot needs root to start its services";
        ASSERT_TRUE(m_dir.isValid());
        const std::string dir = m_dir.path().toStdString();
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                QFileDevice::ExeOther);
        m_imapPort = ScriptedServer::UnusedPort();
        m_pop3Port = ScriptedServer::UnusedPort();
        writeFile(m_dir.filePath("users"), "alice:{PLAIN}s3cret\ncarol:{PLAIN}two words \"q\" \\ {5}\n");
        writeFile(m_dir.filePath("dovecot.conf"),
                  "base_dir = " + dir +
                      "/run\n"
                      "state_dir = " +
                      dir +
                      "/state\n"
                      "log_path = " +
                      dir +
                      "/dovecot.log\n"
                      "protocols = imap pop3\n"
                      "listen = 127.0.0.1\n"
                      "ssl = no\n"
                      "disable_plaintext_auth = no\n"
                      "auth_failure_delay = 0\n"
                      "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
                      dir +
                      "/users\n}\n"
                      "userdb {\n  driver = static\n  args = uid=65534 gid=65534 home=" +
                      dir +
                      "/home/%u\n}\n"
                      "mail_location = maildir:~/Maildir\n"
                      "service imap-login {\n  inet_listener imap {\n    port = " +
                      std::to_string(m_imapPort) +
                      "\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n"
                      "service pop3-login {\n  inet_listener pop3 {\n    port = " +
                      std::to_string(m_pop3Port) + "\n  }\n  inet_listener pop3s {\n    port = 0\n  }\n}\n");
        QDir().mkpath(m_dir.filePath("home"));
        QFile::setPermissions(m_dir.filePath("home"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
        ASSERT_TRUE(m_server.start(server, {"-F", "-c", dir + "/dovecot.conf"}, {m_imapPort, m_pop3Port}))
            << m_server.output();
    }

    QTemporaryDir m_dir;
    DaemonProcess m_server;
    int m_imapPort = 0;
    int m_pop3Port = 0;
};

TEST_F(Dovecot, ImapLoginPassesAndAWrongPasswordFails)
{
    ThreadIMAPCheck good(argsFor(m_imapPort), "alice", "s3cret");
    good.Execute();
    EXPECT_TRUE(good.Passed) << good.ResultDetail.toStdString();
    EXPECT_EQ(good.ResultDetail.toStdString(), detailStart(m_imapPort, "Passed"));

    // A password with a space, quotes, a backslash and a literal's braces logs in too.
    ThreadIMAPCheck quoted(argsFor(m_imapPort), "carol", "two words \"q\" \\ {5}");
    quoted.Execute();
    EXPECT_TRUE(quoted.Passed) << quoted.ResultDetail.toStdString();

    ThreadIMAPCheck bad(argsFor(m_imapPort), "alice", "wrong");
    bad.Execute();
    EXPECT_FALSE(bad.Passed);
    const std::string start = detailStart(m_imapPort, "Failed:C1 NO");
    EXPECT_EQ(bad.ResultDetail.toStdString().substr(0, start.size()), start)
        << bad.ResultDetail.toStdString();
}

TEST_F(Dovecot, Pop3LoginPassesAndAWrongPasswordFails)
{
    ThreadPOP3Check good(argsFor(m_pop3Port), "alice", "s3cret");
    good.Execute();
    EXPECT_TRUE(good.Passed) << good.ResultDetail.toStdString();
    EXPECT_EQ(good.ResultDetail.toStdString(), detailStart(m_pop3Port, "Passed"));

    ThreadPOP3Check bad(argsFor(m_pop3Port), "alice", "wrong");
    bad.Execute();
    EXPECT_FALSE(bad.Passed);
    const std::string start = detailStart(m_pop3Port, "Failed:-ERR");
    EXPECT_EQ(bad.ResultDetail.toStdString().substr(0, start.size()), start)
        << bad.ResultDetail.toStdString();
}

// The TCP check's banner test on Dovecot's greetings: "+OK" on POP3, "* OK" on IMAP; a text
// the greeting lacks fails, quoting it.
TEST_F(Dovecot, TcpBannerChecksOnItsListeners)
{
    const struct
    {
        int port;
        const char* expect;
        bool passed;
    } cases[] = {{m_pop3Port, "+OK", true}, {m_imapPort, "* OK", true}, {m_pop3Port, "SSH-2.0", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        ThreadTCPCheck check(argsFor(c.port), TcpCheckArgs{QString(), QString::fromLatin1(c.expect)});
        check.Execute();
        EXPECT_EQ(check.Passed, c.passed) << check.ResultDetail.toStdString();
        if (c.passed) {
            EXPECT_EQ(check.ResultDetail.toStdString(), detailStart(c.port, "Passed"));
        } else {
            const std::string start = detailStart(c.port, "Failed:\"SSH-2.0\" not found in the reply \"+OK");
            EXPECT_EQ(check.ResultDetail.toStdString().substr(0, start.size()), start)
                << check.ResultDetail.toStdString();
        }
    }
}

TEST(OpenSmtpd, SmtpCheckPasses)
{
    const std::string server = DaemonProcess::Find("smtpd");
    if (server.empty())
        GTEST_SKIP() << "OpenSMTPD is not installed (Debian package opensmtpd)";
    if (::geteuid() != 0)
        GTEST_SKIP() << "OpenSMTPD needs root to start";
    QTemporaryDir dir;
    const int port = ScriptedServer::UnusedPort();
    writeFile(dir.filePath("smtpd.conf"),
              "listen on 127.0.0.1 port " + std::to_string(port) +
                  "\naction \"relay\" relay\nmatch from any for any action \"relay\"\n");
    DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(server, {"-d", "-f", dir.filePath("smtpd.conf").toStdString()}, {port}))
        << daemon.output();

    ThreadSMTPCheck check(argsFor(port), "alice", "not used");
    check.Execute();
    EXPECT_TRUE(check.Passed) << check.ResultDetail.toStdString();
    EXPECT_EQ(check.ResultDetail.toStdString(), detailStart(port, "Passed"));
}

} // namespace
