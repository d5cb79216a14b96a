#pragma once

#include "checks/ThreadCheck.h"
#include "net/ImapClient.h"

#include <memory>

// Check of an "IMAP" service: greeting "* OK" followed by C1 LOGIN with the service's
// credentials, or a "* PREAUTH" greeting without login. The session ends with LOGOUT (C2 after a
// login, C1 after a pre-authenticated greeting) and its tagged reply. On port 993 the whole
// dialogue runs inside TLS.
class ThreadIMAPCheck : public ThreadCheck
{
public:
    ThreadIMAPCheck(const ThreadCheckArgs& args, const QString& userName, const QString& password,
                    std::unique_ptr<ImapClient> client = nullptr);
    ~ThreadIMAPCheck() override;

    QString Kind() const override;

    // The service's credentials, as given to the client.
    QString UserName;
    QString Password;
    std::unique_ptr<ImapClient> Client;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
};
