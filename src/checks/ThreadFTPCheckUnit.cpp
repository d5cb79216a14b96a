#include "checks/ThreadFTPCheckUnit.h"

#include "core/langLibrary.h"

ThreadFTPCheck::ThreadFTPCheck(const ThreadCheckArgs& args, const FtpCheckArgs& ftp,
                               std::unique_ptr<FtpClient> client)
    : ThreadCheck(args), Client(client ? std::move(client) : std::make_unique<FtpClient>())
{
    if (!ftp.ProxyHost.isEmpty() && ftp.ProxyPort != 0) {
        ProxyHost = ftp.ProxyHost;
        ProxyPort = ftp.ProxyPort;
        ProxyType = FtpProxyTypeFromText(ftp.ProxyType.toStdString());
        ProxyUser = ftp.ProxyUser;
        ProxyPassword = ftp.ProxyPassword;
    }
    FtpSettings settings;
    settings.host = Host.toStdString();
    settings.port = Port;
    settings.timeoutMs = Timeout;
    settings.userName = ftp.UserName.toStdString();
    settings.password = ftp.Password.toStdString();
    settings.proxyType = ProxyType;
    settings.proxyHost = ProxyHost.toStdString();
    settings.proxyPort = ProxyPort;
    settings.proxyUser = ProxyUser.toStdString();
    settings.proxyPassword = ProxyPassword.toStdString();
    Client->configure(settings);
    if (Port == kFtpsPort)
        Client->setImplicitTls(Tls);
}

ThreadFTPCheck::~ThreadFTPCheck() = default;

QString ThreadFTPCheck::Kind() const
{
    return QString::fromLatin1(lang::KindFTP);
}

bool ThreadFTPCheck::Probe()
{
    Client->connect();
    Client->login();
    Client->setImageType();
    Client->system();
    return true;
}

void ThreadFTPCheck::CloseClient()
{
    if (Client)
        Client->close();
    Client.reset();
}

std::optional<TlsPeerCertificate> ThreadFTPCheck::PeerCertificate() const
{
    return Client ? Client->peerCertificate() : std::nullopt;
}
