#include "checks/ThreadPOP3CheckUnit.h"

#include "core/langLibrary.h"

ThreadPOP3Check::ThreadPOP3Check(const ThreadCheckArgs& args, const QString& userName,
                                 const QString& password, std::unique_ptr<Pop3Client> client)
    : ThreadCheck(args), UserName(userName), Password(password),
      Client(client ? std::move(client) : std::make_unique<Pop3Client>())
{
    Client->configure(Host.toStdString(), Port, Timeout, userName.toStdString(), password.toStdString());
    if (Port == kPop3sPort)
        Client->setImplicitTls(Tls);
}

ThreadPOP3Check::~ThreadPOP3Check() = default;

QString ThreadPOP3Check::Kind() const
{
    return QString::fromLatin1(lang::KindPOP3);
}

bool ThreadPOP3Check::Probe()
{
    Client->connect();
    Client->login();
    return true;
}

void ThreadPOP3Check::CloseClient()
{
    if (Client)
        Client->quit();
    Client.reset();
}

std::optional<TlsPeerCertificate> ThreadPOP3Check::PeerCertificate() const
{
    return Client ? Client->peerCertificate() : std::nullopt;
}
