#include "checks/ThreadIMAPCheckUnit.h"

ThreadIMAPCheck::ThreadIMAPCheck(const ThreadCheckArgs& args, const QString& userName,
                                 const QString& password, std::unique_ptr<ImapClient> client)
    : ThreadCheck(args), Client(client ? std::move(client) : std::make_unique<ImapClient>())
{
    Client->configure(Host.toStdString(), Port, Timeout, userName.toStdString(), password.toStdString());
    if (Port == kImapsPort)
        Client->setImplicitTls(Tls);
}

ThreadIMAPCheck::~ThreadIMAPCheck() = default;

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
