#include "checks/ThreadCertCheckUnit.h"

#include "core/langLibrary.h"
#include "net/FtpClient.h"
#include "net/ImapClient.h"
#include "net/Pop3Client.h"
#include "net/ProtocolError.h"
#include "net/SmtpClient.h"
#include "net/Socket.h"
#include "net/Tls.h"

#include <stdexcept>

namespace {

const QString kSmtp = QStringLiteral("smtp");
const QString kImap = QStringLiteral("imap");
const QString kPop3 = QStringLiteral("pop3");
const QString kFtp = QStringLiteral("ftp");

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

QString CertificateSummary(const TlsPeerCertificate& peer)
{
    QString text = QStringLiteral("subject ") + ThreadCheck::QuoteReceived(fromStd(peer.subject)) +
                   QStringLiteral(", issuer ") + ThreadCheck::QuoteReceived(fromStd(peer.issuer)) +
                   QStringLiteral(", ");
    if (peer.secondsLeft < 0)
        return text + QStringLiteral("ended on ") + fromStd(peer.notAfter);
    const int days = peer.daysLeft();
    return text + QString::number(days) + (days == 1 ? QStringLiteral(" day") : QStringLiteral(" days")) +
           QStringLiteral(" left (ends ") + fromStd(peer.notAfter) + QLatin1Char(')');
}

ThreadCertCheck::ThreadCertCheck(const ThreadCheckArgs& args, const CertCheckArgs& cert)
    : ThreadCheck(args), StartTls(cert.StartTls.toLower())
{
}

ThreadCertCheck::~ThreadCertCheck() = default;

QString ThreadCertCheck::Kind() const
{
    return QString::fromLatin1(lang::KindCert);
}

QStringList ThreadCertCheck::StartTlsModes()
{
    return {QString(), kSmtp, kImap, kPop3, kFtp};
}

int ThreadCertCheck::UsualPort(const QString& mode)
{
    const QString m = mode.toLower();
    if (m.isEmpty())
        return 443;
    if (m == kSmtp)
        return 25;
    if (m == kImap)
        return 143;
    if (m == kPop3)
        return 110;
    if (m == kFtp)
        return 21;
    return 0;
}

void ThreadCertCheck::handshake(const TlsOptions& options)
{
    const std::string host = Host.toStdString();
    if (StartTls.isEmpty()) {
        m_socket = std::make_unique<TcpSocket>();
        m_socket->connect(host, Port, Timeout);
        m_socket->startTls(options, host, Timeout);
    } else if (StartTls == kSmtp) {
        m_smtp = std::make_unique<SmtpClient>();
        m_smtp->configure(host, Port, Timeout);
        m_smtp->connect();
        if (!m_smtp->hello(LocalHostName()).startTls)
            throw ProtocolError("the server does not offer STARTTLS");
        m_smtp->startTls(options);
    } else if (StartTls == kImap) {
        m_imap = std::make_unique<ImapClient>();
        m_imap->configure(host, Port, Timeout, std::string(), std::string());
        m_imap->connect();
        m_imap->startTls(options);
    } else if (StartTls == kPop3) {
        m_pop3 = std::make_unique<Pop3Client>();
        m_pop3->configure(host, Port, Timeout, std::string(), std::string());
        m_pop3->connect();
        m_pop3->startTls(options);
    } else if (StartTls == kFtp) {
        FtpSettings settings;
        settings.host = host;
        settings.port = Port;
        settings.timeoutMs = Timeout;
        m_ftp = std::make_unique<FtpClient>();
        m_ftp->configure(settings);
        m_ftp->connect();
        m_ftp->startTls(options);
    } else {
        throw std::runtime_error(
            ("unknown STARTTLS protocol " + QuoteReceived(StartTls) + " (none, smtp, imap, pop3 or ftp)")
                .toStdString());
    }
}

bool ThreadCertCheck::Probe()
{
    m_peer.reset();
    // The end date is judged here, with or without verification of the chain.
    TlsOptions options = Tls;
    options.expiryWarnDays = 0;
    try {
        handshake(options);
    } catch (const TlsError& e) {
        m_peer = PeerCertificate();
        if (m_peer)
            throw std::runtime_error(std::string(e.what()) + "; " +
                                     CertificateSummary(*m_peer).toStdString());
        throw;
    }
    m_peer = PeerCertificate();
    if (!m_peer)
        throw std::runtime_error("the server showed no certificate");
    if (m_peer->secondsLeft < 0)
        throw std::runtime_error(("certificate has expired; " + CertificateSummary(*m_peer)).toStdString());
    const long long warnSeconds = static_cast<long long>(Tls.expiryWarnDays) * 86400;
    if (Tls.expiryWarnDays > 0 && m_peer->secondsLeft < warnSeconds)
        throw std::runtime_error(("certificate ends within " + QString::number(Tls.expiryWarnDays) +
                                  " days; " + CertificateSummary(*m_peer))
                                     .toStdString());
    return true;
}

std::optional<TlsPeerCertificate> ThreadCertCheck::PeerCertificate() const
{
    if (m_socket)
        return m_socket->peerCertificate();
    if (m_smtp)
        return m_smtp->peerCertificate();
    if (m_imap)
        return m_imap->peerCertificate();
    if (m_pop3)
        return m_pop3->peerCertificate();
    if (m_ftp)
        return m_ftp->peerCertificate();
    return std::nullopt;
}

QString ThreadCertCheck::DetailStatus() const
{
    if (Passed && m_peer)
        return ResultText + QStringLiteral(" (") + CertificateSummary(*m_peer) + QLatin1Char(')');
    return ResultText;
}

void ThreadCertCheck::CloseClient()
{
    if (m_smtp)
        m_smtp->quit();
    if (m_imap)
        m_imap->logout();
    if (m_pop3)
        m_pop3->quit();
    if (m_ftp)
        m_ftp->close();
    if (m_socket)
        m_socket->close();
    m_socket.reset();
    m_smtp.reset();
    m_imap.reset();
    m_pop3.reset();
    m_ftp.reset();
}
