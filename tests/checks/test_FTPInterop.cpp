// The FTP check against a real FTP server, Pure-FTPd (Debian package pure-ftpd), started on
// loopback with a virtual user of its own: the check passes with the right password and fails
// with the server's refusal for a wrong one. Skipped when the package is not installed.
#include "checks/ThreadFTPCheckUnit.h"

#include "support/ScriptedServer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

class PureFtpd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string server = DaemonProcess::Find("pure-ftpd");
        const std::string passwords = DaemonProcess::Find("pure-pw");
        if (server.empty() || passwords.empty())
            GTEST_SKIP() << "Pure-FTPd is not installed (Debian package pure-ftpd)";
        if (::geteuid() != 0)
            GTEST_SKIP() << "Pure-FTPd with virtual users needs root";
        ASSERT_TRUE(m_dir.isValid());
        const std::string dir = m_dir.path().toStdString();
        const std::string database = dir + "/users.pdb";
        ASSERT_TRUE(DaemonProcess::Run(
            passwords,
            {"useradd", "bob", "-u", "nobody", "-d", dir, "-f", dir + "/passwd", "-m", "-F", database},
            "s3cret pw\ns3cret pw\n"));
        m_port = ScriptedServer::UnusedPort();
        ASSERT_TRUE(m_server.start(
            server,
            {"-S", "127.0.0.1," + std::to_string(m_port), "-l", "puredb:" + database, "-E", "-C", "50"},
            {m_port}))
            << m_server.output();
    }

    // Pure-FTPd holds back its answer to a wrong password for some seconds, and checks a right one
    // against a deliberately slow password hash (seconds on a loaded machine), hence the long bound.
    ThreadFTPCheck check(const char* user, const char* password, int timeoutMs = 20000)
    {
        ThreadCheckArgs args;
        args.Origin = "Product";
        args.Host = "127.0.0.1";
        args.Port = m_port;
        args.Timeout = timeoutMs;
        FtpCheckArgs ftp;
        ftp.UserName = user;
        ftp.Password = password;
        return ThreadFTPCheck(args, ftp);
    }

    QTemporaryDir m_dir;
    DaemonProcess m_server;
    int m_port = 0;
};

TEST_F(PureFtpd, RightPasswordPasses)
{
    auto item = check("bob", "s3cret pw");
    item.Execute();
    EXPECT_TRUE(item.Passed) << item.ResultDetail.toStdString();
    EXPECT_EQ(item.ResultDetail.toStdString(), "[127.0.0.1:" + std::to_string(m_port) + "] Passed");
}

TEST_F(PureFtpd, WrongPasswordFailsWithTheServersRefusal)
{
    auto item = check("bob", "wrong");
    item.Execute();
    EXPECT_FALSE(item.Passed);
    const std::string start = "[127.0.0.1:" + std::to_string(m_port) + "] Failed:530";
    EXPECT_EQ(item.ResultDetail.toStdString().substr(0, start.size()), start)
        << item.ResultDetail.toStdString();
}

} // namespace
