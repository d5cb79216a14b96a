#include "checks/ThreadIMAPCheckUnit.h"

#include "core/langLibrary.h"

ThreadIMAPCheck::ThreadIMAPCheck(const ThreadCheckArgs& args, const QString& userName,
                                 const QString& password, std::unique_ptr<ImapClient> client)
    : ThreadCheck(args), UserName(userName), Password(password),
      Client(client ? std::move(client) : std::make_unique<ImapClient>())
{
    Client->configure(Host.toStdString(), Port, Timeout, userName.toStdString(), password.toStdString());
    if (Port == kImapsPort)
        Client->setImplicitTls(Tls);
}

ThreadIMAPCheck::~ThreadIMAPCheck() = default;

QString ThreadIMAPCheck::Kind() const
{
    return QString::fromLatin1(lang::KindIMAP);
}

bool ThreadIMAPCheck::Probe()
{
    if (Client->connect() == ImapClient::Greeting::Ok)
        Client->login();
    return true;
}

void ThreadIMAPCheck::CloseClient()
{
    if (Client)
        Client->logout();
    Client.reset();
}

std::optional<TlsPeerCertificate> ThreadIMAPCheck::PeerCertificate() const
{
    return Client ? Client->peerCertificate() : std::nullopt;
}
