// The checks inside TLS against real servers on loopback, with certificates made for the run by
// the openssl command (a private CA, a valid leaf, an expired one, one ending in three days and
// one for another name):
//   - nginx (Debian package nginx-light) serving https, redirects between http and https, and
//     Tinyproxy (package tinyproxy) as the proxy that opens tunnels with CONNECT;
//   - Dovecot (dovecot-imapd, dovecot-pop3d) on 993 and 995, aiosmtpd (python3-aiosmtpd) on 465
//     and vsftpd (vsftpd) on 990, all with implicit TLS on a loopback address of this program's own.
// Each part is skipped when its package is missing; the ones on well-known ports need root.
#include "checks/ThreadFTPCheckUnit.h"
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"

#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void writeFile(const QString& path, const std::string& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Folders that a server dropping to another user can still enter.
void openFolder(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ReadOther | QFileDevice::ExeOther);
}

struct Outcome
{
    bool passed = false;
    std::string detail;
};

template <class Check> Outcome run(Check& check)
{
    check.Execute();
    return {check.Passed, check.ResultDetail.toStdString()};
}

const char* const kDate = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC";

// ---- HTTPS: nginx and Tinyproxy ---------------------------------------------------------------

class HttpsServers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        m_certs = TestCerts(&why);
        if (!m_certs)
            GTEST_SKIP() << why;
        const std::string nginx = DaemonProcess::Find("nginx");
        if (nginx.empty())
            GTEST_SKIP() << "nginx is not installed (Debian package nginx-light)";
        ASSERT_TRUE(m_dir.isValid());
        const std::string d = m_dir.path().toStdString();
        QDir().mkpath(m_dir.filePath("www/private"));
        QDir().mkpath(m_dir.filePath("tmp"));
        writeFile(m_dir.filePath("www/index.html"), "<html><body>hello</body></html>\n");
        writeFile(m_dir.filePath("www/private/index.html"), "secret\n");
        writeFile(m_dir.filePath("htpasswd"), "user:{PLAIN}secret\n");

        // A port picked as free may be taken by another test before nginx binds it: try again
        // with fresh ports.
        bool started = false;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            for (int* port : {&m_plain, &m_valid, &m_expired, &m_ending, &m_other})
                *port = ScriptedServer::UnusedPort();
            auto tlsServer = [&](int port, const std::string& certificate) {
                return "  server {\n    listen 127.0.0.1:" + std::to_string(port) +
                       " ssl;\n    ssl_certificate " + certificate + ";\n    ssl_certificate_key " +
                       m_certs->keyFile +
                       ";\n    root @D@/www;\n"
                       "    location /private/ { auth_basic \"Quorvel\"; auth_basic_user_file @D@/htpasswd; "
                       "}\n"
                       "    location = /to-plain { return 302 http://127.0.0.1:PLAIN/index.html; }\n"
                       "    location = /to-plain-and-back { return 302 "
                       "http://127.0.0.1:PLAIN/to-secure-index; "
                       "}\n"
                       "  }\n";
            };
            std::string conf =
                "daemon off;\nmaster_process off;\nworker_processes 1;\npid @D@/nginx.pid;\n"
                "error_log @D@/error.log;\nevents { worker_connections 64; }\nhttp {\n"
                "  access_log off;\n  client_body_temp_path @D@/tmp/body;\n  proxy_temp_path @D@/tmp/proxy;\n"
                "  fastcgi_temp_path @D@/tmp/fastcgi;\n  uwsgi_temp_path @D@/tmp/uwsgi;\n"
                "  scgi_temp_path @D@/tmp/scgi;\n  types { text/html html; }\n"
                "  server {\n    listen 127.0.0.1:PLAIN;\n    root @D@/www;\n"
                "    location = /to-secure { return 302 https://localhost:VALID/to-plain; }\n"
                "    location = /to-secure-index { return 302 https://localhost:VALID/index.html; }\n"
                "    location = /to-secure-private { return 302 https://localhost:VALID/private/; }\n"
                "    location = /to-expired { return 302 https://localhost:EXPIRED/index.html; }\n"
                "  }\n";
            conf += tlsServer(m_valid, m_certs->valid) + tlsServer(m_expired, m_certs->expired) +
                    tlsServer(m_ending, m_certs->endingSoon) + tlsServer(m_other, m_certs->otherName) + "}\n";
            conf = replaced(conf, "PLAIN", std::to_string(m_plain));
            conf = replaced(conf, "VALID", std::to_string(m_valid));
            conf = replaced(conf, "EXPIRED", std::to_string(m_expired));
            // A placeholder no path can hold: the certificates' own folder may end in "D".
            conf = replaced(conf, "@D@/", d + "/");
            writeFile(m_dir.filePath("nginx.conf"), conf);
            started = m_nginx.start(nginx, {"-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"},
                                    {m_plain, m_valid, m_expired, m_ending, m_other});
        }
        ASSERT_TRUE(started) << m_nginx.output();
    }

    // A URL check as the scheduler builds it, with the certificate policy `tls`.
    Outcome check(const std::string& url, const TlsOptions& tls, URLCheckArgs values = {})
    {
        ThreadCheckArgs args;
        args.Origin = "Product";
        args.Host = ThreadURLCheck::UrlOf(QString::fromStdString(url));
        args.Timeout = 5000;
        args.Tls = tls;
        if (values.Method.isEmpty())
            values.Method = "Get";
        ThreadURLCheck item(args, values);
        return run(item);
    }

    // The settings' defaults with the private CA: CAFile set, Verify=1, ExpiryWarnDays=14.
    TlsOptions trusting() const
    {
        TlsOptions tls;
        tls.caFile = m_certs->caFile;
        tls.expiryWarnDays = 14;
        return tls;
    }

    std::string https(int port, const std::string& path = "/index.html") const
    {
        return "https://localhost:" + std::to_string(port) + path;
    }

    const TestCertificates* m_certs = nullptr;
    QTemporaryDir m_dir;
    DaemonProcess m_nginx;
    int m_plain = 0;
    int m_valid = 0;
    int m_expired = 0;
    int m_ending = 0;
    int m_other = 0;
};

TEST_F(HttpsServers, CertificatesPassOrFailWithTheirReason)
{
    TlsOptions systemStore;
    systemStore.expiryWarnDays = 14;
    TlsOptions anyCertificate = trusting();
    anyCertificate.verify = false;
    struct Case
    {
        const char* name;
        int port;
        TlsOptions tls;
        std::string detailEnd; // a regular expression for what follows "[url:port] "
    };
    const std::string issuer = "unable to get local issuer certificate";
    const std::vector<Case> cases = {
        {"valid chain with CAFile", m_valid, trusting(), "HTTP/1\\.1 200 OK"},
        {"valid chain without CAFile", m_valid, systemStore,
         ":certificate of localhost not accepted: " + issuer},
        {"expired", m_expired, trusting(),
         ":certificate of localhost not accepted: certificate has expired \\(it ended " + std::string(kDate) +
             "\\)"},
        {"another name", m_other, trusting(),
         ":certificate of localhost not accepted: host name mismatch \\(the certificate is for "
         "other\\.test\\)"},
        {"ends in three days", m_ending, trusting(),
         ":certificate of localhost not accepted: certificate ends on " + std::string(kDate) +
             ", within 14 days"},
        {"another name with Verify=0", m_other, anyCertificate, "HTTP/1\\.1 200 OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string url = https(c.port);
        const Outcome o = check(url, c.tls);
        EXPECT_EQ(o.passed, c.detailEnd[0] != ':') << o.detail;
        const std::string start = "[" + url + ":" + std::to_string(c.port) + "] ";
        ASSERT_EQ(o.detail.substr(0, start.size()), start) << o.detail;
        EXPECT_TRUE(FullMatch(o.detail.substr(start.size()), c.detailEnd)) << o.detail;
    }
}

TEST_F(HttpsServers, RedirectsCrossBetweenHttpAndHttpsWithinTheLimit)
{
    const std::string plain = "http://127.0.0.1:" + std::to_string(m_plain);
    struct Case
    {
        const char* name;
        std::string url;
        int lastPort;
        std::string status;
        bool passed;
    };
    const std::vector<Case> cases = {
        // http -> https -> http
        {"there and back", plain + "/to-secure", m_plain, "HTTP/1.1 200 OK", true},
        // https -> http -> https
        {"out and back in", https(m_valid, "/to-plain-and-back"), m_valid, "HTTP/1.1 200 OK", true},
        // The https hop is judged like any other: an expired certificate on the way fails.
        {"expired on the way", plain + "/to-expired", m_expired,
         ":certificate of localhost not accepted: certificate has expired", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = check(c.url, trusting());
        EXPECT_EQ(o.passed, c.passed) << o.detail;
        const std::string start = "[" + c.url + ":" + std::to_string(c.lastPort) + "] " + c.status;
        EXPECT_EQ(o.detail.substr(0, start.size()), start) << o.detail;
    }

    // Credentials go only to the first request's scheme, host and port.
    URLCheckArgs login;
    login.UserName = "user";
    login.Password = "secret";
    const Outcome direct = check(https(m_valid, "/private/"), trusting(), login);
    EXPECT_TRUE(direct.passed) << direct.detail;
    const Outcome redirected = check(plain + "/to-secure-private", trusting(), login);
    EXPECT_FALSE(redirected.passed);
    EXPECT_EQ(redirected.detail, "[" + plain + "/to-secure-private:" + std::to_string(m_valid) +
                                     "] HTTP/1.1 401 Unauthorized:HTTP/1.1 401 Unauthorized");
}

TEST_F(HttpsServers, ProxyOpensATunnelWithConnect)
{
    const std::string tinyproxy = DaemonProcess::Find("tinyproxy");
    if (tinyproxy.empty())
        GTEST_SKIP() << "Tinyproxy is not installed (Debian package tinyproxy)";
    int proxyPort = 0;
    DaemonProcess proxy;
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        proxyPort = ScriptedServer::UnusedPort();
        writeFile(m_dir.filePath("tinyproxy.conf"),
                  "Port " + std::to_string(proxyPort) +
                      "\nListen 127.0.0.1\nTimeout 30\nMaxClients 10\nAllow 127.0.0.1\nBasicAuth pu pp\n"
                      "ConnectPort " +
                      std::to_string(m_valid) + "\nConnectPort " + std::to_string(m_other) +
                      "\nLogLevel Info\n");
        started =
            proxy.start(tinyproxy, {"-d", "-c", m_dir.filePath("tinyproxy.conf").toStdString()}, {proxyPort});
    }
    ASSERT_TRUE(started) << proxy.output();

    URLCheckArgs through;
    through.ProxyHost = "127.0.0.1";
    through.ProxyPort = proxyPort;
    through.ProxyUserName = "pu";
    through.ProxyPassword = "pp";
    const std::string url = https(m_valid);
    const Outcome o = check(url, trusting(), through);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(proxyPort) + "] HTTP/1.1 200 OK");

    // The certificate is still the server's, judged by its name through the tunnel.
    const Outcome other = check(https(m_other), trusting(), through);
    EXPECT_FALSE(other.passed);
    EXPECT_NE(other.detail.find(":certificate of localhost not accepted: host name mismatch"),
              std::string::npos)
        << other.detail;

    // A tunnel the proxy refuses fails with the proxy's status line (Tinyproxy answers 401).
    URLCheckArgs wrong = through;
    wrong.ProxyPassword = "nope";
    const Outcome refused = check(url, trusting(), wrong);
    EXPECT_FALSE(refused.passed);
    const std::string start = "[" + url + ":" + std::to_string(proxyPort) + "] ";
    ASSERT_EQ(refused.detail.substr(0, start.size()), start) << refused.detail;
    EXPECT_TRUE(FullMatch(refused.detail.substr(start.size()), "(HTTP/1\\.\\d 40[17][^:]*):\\1"))
        << refused.detail;
}

// ---- implicit TLS on the well-known ports -------------------------------------------------------

class WellKnownTlsPorts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        m_certs = TestCerts(&why);
        if (!m_certs)
            GTEST_SKIP() << why;
        if (::geteuid() != 0 || !MayUseWellKnownPorts())
            GTEST_SKIP() << "servers on ports 465, 990, 993 and 995 need root";
        ASSERT_TRUE(m_dir.isValid());
        openFolder(m_dir.path());
    }

    ThreadCheckArgs argsFor(int port, bool trust = true) const
    {
        ThreadCheckArgs args;
        args.Origin = "Product";
        args.Host = QString::fromStdString(TlsTestAddress());
        args.Port = port;
        args.Timeout = 5000;
        if (trust)
            args.Tls.caFile = m_certs->caFile;
        args.Tls.expiryWarnDays = 14;
        return args;
    }

    std::string detailStart(int port, const std::string& status) const
    {
        return "[" + TlsTestAddress() + ":" + std::to_string(port) + "] " + status;
    }

    const TestCertificates* m_certs = nullptr;
    QTemporaryDir m_dir;
    DaemonProcess m_server;
};

TEST_F(WellKnownTlsPorts, DovecotImapAndPop3InsideTls)
{
    const std::string dovecot = DaemonProcess::Find("dovecot");
    if (dovecot.empty())
        GTEST_SKIP() << "Dovecot is not installed (Debian packages dovecot-imapd, dovecot-pop3d)";
    const std::string d = m_dir.path().toStdString();
    writeFile(m_dir.filePath("users"), "alice:{PLAIN}s3cret\n");
    QDir().mkpath(m_dir.filePath("home"));
    QFile::setPermissions(m_dir.filePath("home"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                      QFileDevice::WriteOther | QFileDevice::ExeOther);
    ASSERT_TRUE(DaemonProcess::Run(
        DaemonProcess::Find("openssl"),
        {"genpkey", "-genparam", "-algorithm", "DH", "-pkeyopt", "group:ffdhe2048", "-out", d + "/dh.pem"}));
    writeFile(m_dir.filePath("dovecot.conf"),
              "base_dir = " + d + "/run\nstate_dir = " + d + "/state\nlog_path = " + d +
                  "/dovecot.log\nprotocols = imap pop3\nlisten = " + TlsTestAddress() +
                  "\nssl = required\nssl_cert = <" + m_certs->valid + "\nssl_key = <" + m_certs->keyFile +
                  "\nssl_dh = <" + d +
                  "/dh.pem\nssl_min_protocol = TLSv1.2\nauth_failure_delay = 0\n"
                  "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
                  d + "/users\n}\nuserdb {\n  driver = static\n  args = uid=65534 gid=65534 home=" + d +
                  "/home/%u\n}\nmail_location = maildir:~/Maildir\n"
                  "service imap-login {\n  inet_listener imap {\n    port = 0\n  }\n"
                  "  inet_listener imaps {\n    port = 993\n    ssl = yes\n  }\n}\n"
                  "service pop3-login {\n  inet_listener pop3 {\n    port = 0\n  }\n"
                  "  inet_listener pop3s {\n    port = 995\n    ssl = yes\n  }\n}\n");
    ASSERT_TRUE(m_server.start(dovecot, {"-F", "-c", d + "/dovecot.conf"}, {kImapsPort, kPop3sPort}, 10000,
                               TlsTestAddress()))
        << m_server.output();

    ThreadIMAPCheck imap(argsFor(kImapsPort), "alice", "s3cret");
    EXPECT_EQ(run(imap).detail, detailStart(kImapsPort, "Passed"));
    ThreadPOP3Check pop3(argsFor(kPop3sPort), "alice", "s3cret");
    EXPECT_EQ(run(pop3).detail, detailStart(kPop3sPort, "Passed"));
    // The days the certificate has left are known to both (one more within its first second).
    for (const ThreadCheck* c :
         {static_cast<const ThreadCheck*>(&imap), static_cast<const ThreadCheck*>(&pop3)})
        EXPECT_TRUE(c->CertDaysLeft == 364 || c->CertDaysLeft == 365) << c->Kind().toStdString();

    // The login is judged inside TLS as it is in the clear.
    ThreadIMAPCheck wrongImap(argsFor(kImapsPort), "alice", "wrong");
    const Outcome refused = run(wrongImap);
    EXPECT_FALSE(refused.passed);
    EXPECT_EQ(refused.detail.rfind(detailStart(kImapsPort, "Failed:C1 NO"), 0), 0u) << refused.detail;
    ThreadPOP3Check wrongPop3(argsFor(kPop3sPort), "alice", "wrong");
    const Outcome refusedPop3 = run(wrongPop3);
    EXPECT_EQ(refusedPop3.detail.rfind(detailStart(kPop3sPort, "Failed:-ERR"), 0), 0u) << refusedPop3.detail;

    // Without the private CA the certificate failure is the detail, after the usual prefix.
    ThreadIMAPCheck untrusted(argsFor(kImapsPort, false), "alice", "s3cret");
    EXPECT_EQ(run(untrusted).detail,
              detailStart(kImapsPort, "Failed:certificate of " + TlsTestAddress() +
                                          " not accepted: unable to get local issuer certificate"));
}

// OpenSMTPD 6.8 as packaged for Debian 12 cannot sign its handshake under OpenSSL 3, so the
// implicit-TLS SMTP server here is aiosmtpd.
TEST_F(WellKnownTlsPorts, AioSmtpdOnTheSubmissionsPort)
{
    AioSmtpdTls server;
    std::string why;
    if (!server.start(AioSmtpdTls::Mode::Implicit, TlsTestAddress(), kSmtpsPort,
                      m_dir.filePath("mail.txt").toStdString(), &why))
        GTEST_SKIP() << why;

    ThreadSMTPCheck check(argsFor(kSmtpsPort));
    const Outcome o = run(check);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, detailStart(kSmtpsPort, "Passed"));
    EXPECT_TRUE(check.CertDaysLeft == 364 || check.CertDaysLeft == 365);

    ThreadSMTPCheck untrusted(argsFor(kSmtpsPort, false));
    EXPECT_EQ(run(untrusted).detail,
              detailStart(kSmtpsPort, "Failed:certificate of " + TlsTestAddress() +
                                          " not accepted: unable to get local issuer certificate"));
}

TEST_F(WellKnownTlsPorts, VsftpdWithImplicitTls)
{
    const std::string vsftpd = DaemonProcess::Find("vsftpd");
    if (vsftpd.empty())
        GTEST_SKIP() << "vsftpd is not installed (Debian package vsftpd)";
    const passwd* ftp = ::getpwnam("ftp");
    if (!ftp || !QDir(QString::fromLocal8Bit(ftp->pw_dir)).exists())
        GTEST_SKIP()
            << "the user \"ftp\" with a home folder, which vsftpd's anonymous sessions need, is missing "
               "(scripts/install-deps.sh --test makes it)";
    const std::string d = m_dir.path().toStdString();
    QDir().mkpath(m_dir.filePath("root"));
    QDir().mkpath(m_dir.filePath("empty"));
    openFolder(m_dir.filePath("root"));
    openFolder(m_dir.filePath("empty"));
    writeFile(m_dir.filePath("vsftpd.conf"),
              "listen=YES\nlisten_ipv6=NO\nlisten_address=" + TlsTestAddress() +
                  "\nlisten_port=990\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\n"
                  "anon_root=" +
                  d + "/root\nsecure_chroot_dir=" + d +
                  "/empty\nftp_username=ftp\nssl_enable=YES\nimplicit_ssl=YES\nallow_anon_ssl=YES\n"
                  "rsa_cert_file=" +
                  m_certs->valid + "\nrsa_private_key_file=" + m_certs->keyFile +
                  "\nrequire_ssl_reuse=NO\nseccomp_sandbox=NO\nxferlog_enable=NO\nvsftpd_log_file=" + d +
                  "/vsftpd.log\n");
    ASSERT_TRUE(m_server.start(vsftpd, {d + "/vsftpd.conf"}, {kFtpsPort}, 10000, TlsTestAddress()))
        << m_server.output();

    FtpCheckArgs anonymous;
    anonymous.UserName = "anonymous";
    anonymous.Password = "quorvel@example";
    ThreadFTPCheck check(argsFor(kFtpsPort), anonymous);
    const Outcome o = run(check);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, detailStart(kFtpsPort, "Passed"));

    EXPECT_TRUE(check.CertDaysLeft == 364 || check.CertDaysLeft == 365);

    ThreadCheckArgs noCa = argsFor(kFtpsPort, false);
    ThreadFTPCheck untrusted(noCa, anonymous);
    EXPECT_EQ(run(untrusted).detail,
              detailStart(kFtpsPort, "Failed:certificate of " + TlsTestAddress() +
                                         " not accepted: unable to get local issuer certificate"));
}

} // namespace
