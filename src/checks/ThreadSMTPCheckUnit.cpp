#include "checks/ThreadSMTPCheckUnit.h"

#include "core/langLibrary.h"
#include "net/Socket.h"

ThreadSMTPCheck::ThreadSMTPCheck(const ThreadCheckArgs& args, const QString& /*userName*/,
                                 const QString& /*password*/, std::unique_ptr<SmtpClient> client)
    : ThreadCheck(args), Client(client ? std::move(client) : std::make_unique<SmtpClient>())
{
    Client->configure(Host.toStdString(), Port, Timeout);
    if (Port == kSmtpsPort)
        Client->setImplicitTls(Tls);
}

ThreadSMTPCheck::~ThreadSMTPCheck() = default;

QString ThreadSMTPCheck::Kind() const
{
    return QString::fromLatin1(lang::KindSMTP);
}

bool ThreadSMTPCheck::Probe()
{
    Client->connect();
    Client->hello(LocalHostName());
    return true;
}

void ThreadSMTPCheck::CloseClient()
{
    if (Client)
        Client->quit();
    Client.reset();
}

std::optional<TlsPeerCertificate> ThreadSMTPCheck::PeerCertificate() const
{
    return Client ? Client->peerCertificate() : std::nullopt;
}
