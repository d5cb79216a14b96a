#pragma once

#include "checks/MailboxCheck.h"
#include "net/Pop3Client.h"

#include <memory>

// Check of a "POP3" service: greeting "+OK", then USER and PASS with the service's credentials
// (sent even when empty), each answered "+OK". The session ends with QUIT, not waited for. On
// port 995 the whole dialogue runs inside TLS.
class ThreadPOP3Check : public MailboxCheck<Pop3Client, kPop3sPort>
{
public:
    ThreadPOP3Check(const ThreadCheckArgs& args, const QString& userName, const QString& password,
                    std::unique_ptr<Pop3Client> client = nullptr);
    ~ThreadPOP3Check() override;

    QString Kind() const override;

protected:
    bool Probe() override;
    void CloseClient() override;
};
