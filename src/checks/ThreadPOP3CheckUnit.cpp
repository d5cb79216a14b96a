#include "checks/ThreadPOP3CheckUnit.h"

#include "core/langLibrary.h"

ThreadPOP3Check::ThreadPOP3Check(const ThreadCheckArgs& args, const QString& userName,
                                 const QString& password, std::unique_ptr<Pop3Client> client)
    : MailboxCheck(args, userName, password, std::move(client))
{
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
