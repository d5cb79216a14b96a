#include "checks/ThreadIMAPCheckUnit.h"

#include "core/langLibrary.h"

ThreadIMAPCheck::ThreadIMAPCheck(const ThreadCheckArgs& args, const QString& userName,
                                 const QString& password, std::unique_ptr<ImapClient> client)
    : MailboxCheck(args, userName, password, std::move(client))
{
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
