#pragma once

#include "checks/MailboxCheck.h"
#include "net/ImapClient.h"

#include <memory>

// Check of an "IMAP" service: greeting "* OK" followed by C1 LOGIN with the service's
// credentials, or a "* PREAUTH" greeting without login. The session ends with LOGOUT (C2 after a
// login, C1 after a pre-authenticated greeting) and its tagged reply. On port 993 the whole
// dialogue runs inside TLS.
class ThreadIMAPCheck : public MailboxCheck<ImapClient, kImapsPort>
{
public:
    ThreadIMAPCheck(const ThreadCheckArgs& args, const QString& userName, const QString& password,
                    std::unique_ptr<ImapClient> client = nullptr);
    ~ThreadIMAPCheck() override;

    QString Kind() const override;

protected:
    bool Probe() override;
    void CloseClient() override;
};
