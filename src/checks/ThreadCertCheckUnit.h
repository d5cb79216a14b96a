#pragma once

#include "checks/ThreadCheck.h"

#include <QStringList>

#include <memory>
#include <optional>

class TcpSocket;
class SmtpClient;
class ImapClient;
class Pop3Client;
class FtpClient;

// The certificate check's own values, as the creator takes them from the service.
struct CertCheckArgs
{
    // How TLS starts: empty for TLS from the first byte; "smtp", "imap", "pop3" or "ftp" for a
    // dialogue in the clear that switches with STARTTLS, STLS or AUTH TLS (letter case ignored).
    QString StartTls;
};

// Check of a "Certificate" service: connects to Host:Port, starts TLS (at once, or after the
// protocol's greeting and switch command), and judges the certificate the server shows:
//   - it must be accepted as the TLS options say (chain, dates and name, unless Verify is off);
//   - it must not have ended, and with ExpiryWarnDays > 0 it must not end within that many days
//     (both judged whether or not the chain is verified: the end date is what is watched).
// A pass names the subject, the issuer and the days left; a failure says what was refused and,
// where a certificate came, names it the same way.
class ThreadCertCheck : public ThreadCheck
{
public:
    ThreadCertCheck(const ThreadCheckArgs& args, const CertCheckArgs& cert);
    ~ThreadCertCheck() override;

    QString Kind() const override;

    // The stored texts of the STARTTLS modes, the first (empty) one being TLS from the start.
    static QStringList StartTlsModes();
    // The usual port of a mode: 443, 25, 143, 110, 21; 0 for an unknown text.
    static int UsualPort(const QString& mode);

    QString StartTls;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
    QString DetailStatus() const override;

private:
    // Connects and starts TLS as StartTls says; the handshake's certificate ends up in m_peer.
    void handshake(const TlsOptions& options);

    std::unique_ptr<TcpSocket> m_socket;
    std::unique_ptr<SmtpClient> m_smtp;
    std::unique_ptr<ImapClient> m_imap;
    std::unique_ptr<Pop3Client> m_pop3;
    std::unique_ptr<FtpClient> m_ftp;
    std::optional<TlsPeerCertificate> m_peer;
};

// "subject "CN=a", issuer "CN=b", 12 days left (ends 2027-01-01 00:00:00 UTC)", the names quoted as
// received text is quoted in details; an ended certificate says "ended N days ago".
QString CertificateSummary(const TlsPeerCertificate& peer);
