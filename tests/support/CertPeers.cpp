#include "support/CertPeers.h"

#include <QDir>
#include <QFile>

#include <pwd.h>

namespace {

bool writeFile(const QString& path, const std::string& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content.data(), static_cast<qint64>(content.size())) == qint64(content.size());
}

// Folders that a server dropping to another user can still enter.
void openFolder(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ReadOther | QFileDevice::ExeOther);
}

} // namespace

CertPeers& CertPeers::Instance()
{
    static CertPeers peers;
    return peers;
}

CertPeers::CertPeers()
{
    openFolder(m_dir.path());
}

const TestCertificates* CertPeers::certs(std::string* why) const
{
    return TestCerts(why);
}

void CertPeers::stopAll()
{
    m_nginxProcess.reset();
    m_dovecotProcess.reset();
    m_ftpProcess.reset();
    m_smtpProcess.reset();
}

const CertPeers::Nginx& CertPeers::nginx(std::string* why)
{
    if (!m_nginxTried) {
        m_nginxTried = true;
        const TestCertificates* c = TestCerts(&m_nginxWhy);
        const std::string nginx = DaemonProcess::Find("nginx");
        if (c && nginx.empty())
            m_nginxWhy = "nginx is not installed (Debian package nginx-light)";
        if (c && !nginx.empty()) {
            const std::string d = m_dir.filePath("nginx").toStdString();
            QDir().mkpath(QString::fromStdString(d + "/tmp"));
            QDir().mkpath(QString::fromStdString(d + "/www"));
            writeFile(QString::fromStdString(d + "/www/index.html"), "<html><body>hello</body></html>\n");
            // A port picked as free may be taken before nginx binds it: try again with others.
            for (int attempt = 0; attempt < 3 && m_nginx.valid == 0; ++attempt) {
                Nginx ports{ScriptedServer::UnusedPort(), ScriptedServer::UnusedPort(),
                            ScriptedServer::UnusedPort(), ScriptedServer::UnusedPort()};
                auto server = [&](int port, const std::string& certificate) {
                    return "  server {\n    listen 127.0.0.1:" + std::to_string(port) +
                           " ssl;\n    ssl_certificate " + certificate + ";\n    ssl_certificate_key " +
                           c->keyFile + ";\n    root " + d + "/www;\n  }\n";
                };
                const std::string conf =
                    "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + d +
                    "/nginx.pid;\nerror_log " + d +
                    "/error.log;\nevents { worker_connections 64; }\nhttp {\n" +
                    "  access_log off;\n  client_body_temp_path " + d + "/tmp/body;\n  proxy_temp_path " + d +
                    "/tmp/proxy;\n  fastcgi_temp_path " + d + "/tmp/fastcgi;\n  uwsgi_temp_path " + d +
                    "/tmp/uwsgi;\n  scgi_temp_path " + d + "/tmp/scgi;\n  types { text/html html; }\n" +
                    server(ports.valid, c->valid) + server(ports.ending, c->endingSoon) +
                    server(ports.other, c->otherName) + server(ports.expired, c->expired) + "}\n";
                writeFile(QString::fromStdString(d + "/nginx.conf"), conf);
                m_nginxProcess = std::make_unique<DaemonProcess>();
                if (m_nginxProcess->start(nginx, {"-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"},
                                          {ports.valid, ports.ending, ports.other, ports.expired}))
                    m_nginx = ports;
                else
                    m_nginxWhy = "nginx did not start: " + m_nginxProcess->output();
            }
        }
    }
    if (why && m_nginx.valid == 0)
        *why = m_nginxWhy;
    return m_nginx;
}

int CertPeers::smtp(std::string* why)
{
    if (!m_smtpTried) {
        m_smtpTried = true;
        for (int attempt = 0; attempt < 3 && m_smtp == 0; ++attempt) {
            const int port = ScriptedServer::UnusedPort();
            m_smtpProcess = std::make_unique<AioSmtpdTls>();
            if (m_smtpProcess->start(AioSmtpdTls::Mode::StartTls, "127.0.0.1", port,
                                     m_dir.filePath("mail.txt").toStdString(), &m_smtpWhy))
                m_smtp = port;
            else if (m_smtpWhy.find("not installed") != std::string::npos)
                break;
        }
    }
    if (why && m_smtp == 0)
        *why = m_smtpWhy;
    return m_smtp;
}

std::pair<int, int> CertPeers::dovecot(std::string* why)
{
    if (!m_dovecotTried) {
        m_dovecotTried = true;
        const TestCertificates* c = TestCerts(&m_dovecotWhy);
        const std::string dovecot = DaemonProcess::Find("dovecot");
        if (c && dovecot.empty())
            m_dovecotWhy = "Dovecot is not installed (Debian packages dovecot-imapd, dovecot-pop3d)";
        if (c && !dovecot.empty()) {
            const QString dir = m_dir.filePath("dovecot");
            QDir().mkpath(dir + "/home");
            openFolder(dir);
            const std::string d = dir.toStdString();
            writeFile(dir + "/users", "alice:{PLAIN}s3cret\n");
            DaemonProcess::Run(DaemonProcess::Find("openssl"),
                               {"genpkey", "-genparam", "-algorithm", "DH", "-pkeyopt", "group:ffdhe2048",
                                "-out", d + "/dh.pem"});
            for (int attempt = 0; attempt < 3 && m_dovecot.first == 0; ++attempt) {
                const int imap = ScriptedServer::UnusedPort();
                const int pop3 = ScriptedServer::UnusedPort();
                writeFile(
                    dir + "/dovecot.conf",
                    "base_dir = " + d + "/run\nstate_dir = " + d + "/state\nlog_path = " + d +
                        "/dovecot.log\nprotocols = imap pop3\nlisten = 127.0.0.1\nssl = yes\nssl_cert = <" +
                        c->valid + "\nssl_key = <" + c->keyFile + "\nssl_dh = <" + d +
                        "/dh.pem\nssl_min_protocol = TLSv1.2\nauth_failure_delay = 0\n"
                        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
                        d + "/users\n}\nuserdb {\n  driver = static\n  args = uid=65534 gid=65534 home=" + d +
                        "/home/%u\n}\nmail_location = maildir:~/Maildir\n"
                        "service imap-login {\n  inet_listener imap {\n    port = " +
                        std::to_string(imap) +
                        "\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n"
                        "service pop3-login {\n  inet_listener pop3 {\n    port = " +
                        std::to_string(pop3) + "\n  }\n  inet_listener pop3s {\n    port = 0\n  }\n}\n");
                m_dovecotProcess = std::make_unique<DaemonProcess>();
                if (m_dovecotProcess->start(dovecot, {"-F", "-c", d + "/dovecot.conf"}, {imap, pop3}, 10000))
                    m_dovecot = {imap, pop3};
                else
                    m_dovecotWhy = "Dovecot did not start: " + m_dovecotProcess->output();
            }
        }
    }
    if (why && m_dovecot.first == 0)
        *why = m_dovecotWhy;
    return m_dovecot;
}

int CertPeers::ftp(std::string* why)
{
    if (!m_ftpTried) {
        m_ftpTried = true;
        const TestCertificates* c = TestCerts(&m_ftpWhy);
        const std::string vsftpd = DaemonProcess::Find("vsftpd");
        const passwd* ftp = ::getpwnam("ftp");
        if (c && vsftpd.empty())
            m_ftpWhy = "vsftpd is not installed (Debian package vsftpd)";
        else if (c && (!ftp || !QDir(QString::fromLocal8Bit(ftp->pw_dir)).exists()))
            m_ftpWhy = "the user \"ftp\" with a home folder, which vsftpd needs, is missing "
                       "(scripts/install-deps.sh --test makes it)";
        else if (c) {
            const QString dir = m_dir.filePath("vsftpd");
            QDir().mkpath(dir + "/root");
            QDir().mkpath(dir + "/empty");
            for (const QString& folder : {dir, dir + "/root", dir + "/empty"})
                openFolder(folder);
            const std::string d = dir.toStdString();
            for (int attempt = 0; attempt < 3 && m_ftp == 0; ++attempt) {
                const int port = ScriptedServer::UnusedPort();
                writeFile(
                    dir + "/vsftpd.conf",
                    "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" +
                        std::to_string(port) +
                        "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\n"
                        "anon_root=" +
                        d + "/root\nsecure_chroot_dir=" + d +
                        "/empty\nftp_username=ftp\nssl_enable=YES\nimplicit_ssl=NO\nallow_anon_ssl=YES\n"
                        "force_anon_logins_ssl=NO\nforce_anon_data_ssl=NO\nrsa_cert_file=" +
                        c->valid + "\nrsa_private_key_file=" + c->keyFile +
                        "\nrequire_ssl_reuse=NO\nseccomp_sandbox=NO\nxferlog_enable=NO\nvsftpd_log_file=" +
                        d + "/vsftpd.log\n");
                m_ftpProcess = std::make_unique<DaemonProcess>();
                if (m_ftpProcess->start(vsftpd, {d + "/vsftpd.conf"}, {port}, 10000))
                    m_ftp = port;
                else
                    m_ftpWhy = "vsftpd did not start: " + m_ftpProcess->output();
            }
        }
    }
    if (why && m_ftp == 0)
        *why = m_ftpWhy;
    return m_ftp;
}
