#pragma once

#include "checks/ThreadCheck.h"
#include "net/Pop3Client.h"

#include <memory>

// Check of a "POP3" service: greeting "+OK", then USER and PASS with the service's credentials
// (sent even when empty), each answered "+OK". The session ends with QUIT, not waited for. On
// port 995 the whole dialogue runs inside TLS.
class ThreadPOP3Check : public ThreadCheck
{
public:
    ThreadPOP3Check(const ThreadCheckArgs& args, const QString& userName, const QString& password,
                    std::unique_ptr<Pop3Client> client = nullptr);
    ~ThreadPOP3Check() override;

    QString Kind() const override;

    // The service's credentials, as given to the client.
    QString UserName;
    QString Password;
    std::unique_ptr<Pop3Client> Client;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
};
