#pragma once

#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Real servers that show the test certificates (TlsTestKit), on 127.0.0.1 at unused ports, for
// the certificate checks. Each is started on first use and kept for the rest of the test
// program; one that cannot start (its package missing) gives 0 as its port and the reason.
//   nginx:    TLS from the first byte, one port per leaf (valid, ending in three days, for
//             other.test, expired)
//   aiosmtpd: SMTP offering STARTTLS with the valid leaf
//   Dovecot:  IMAP and POP3 in the clear offering STARTTLS and STLS with the valid leaf
//   vsftpd:   FTP in the clear offering AUTH TLS with the valid leaf
class CertPeers
{
public:
    static CertPeers& Instance();

    const TestCertificates* certs(std::string* why) const;

    struct Nginx
    {
        int valid = 0;
        int ending = 0;
        int other = 0;
        int expired = 0;
    };
    // The nginx ports; all 0 (and `why` set) when nginx cannot run.
    const Nginx& nginx(std::string* why);
    int smtp(std::string* why);
    // IMAP port first, POP3 port second.
    std::pair<int, int> dovecot(std::string* why);
    int ftp(std::string* why);

    // Stops every server; a test program that uses them calls it from its environment's
    // tear-down, while Qt still runs (see CertPeersEnvironment).
    void stopAll();

private:
    CertPeers();

    QTemporaryDir m_dir;
    Nginx m_nginx;
    std::string m_nginxWhy;
    bool m_nginxTried = false;
    int m_smtp = 0;
    std::string m_smtpWhy;
    bool m_smtpTried = false;
    std::pair<int, int> m_dovecot{0, 0};
    std::string m_dovecotWhy;
    bool m_dovecotTried = false;
    int m_ftp = 0;
    std::string m_ftpWhy;
    bool m_ftpTried = false;
    std::unique_ptr<DaemonProcess> m_nginxProcess;
    std::unique_ptr<AioSmtpdTls> m_smtpProcess;
    std::unique_ptr<DaemonProcess> m_dovecotProcess;
    std::unique_ptr<DaemonProcess> m_ftpProcess;
};

// Registered by a test program that uses CertPeers: stops the servers at the end of the run.
class CertPeersEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { CertPeers::Instance().stopAll(); }
};
