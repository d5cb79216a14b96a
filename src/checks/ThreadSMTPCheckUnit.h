#pragma once

#include "checks/ThreadCheck.h"
#include "net/SmtpClient.h"

#include <memory>

// Check of an "SMTP" service: greeting 220, then EHLO (or HELO when EHLO is not answered 250)
// with the local host name. Never authenticates; the session ends with QUIT, not waited for. On
// port 465 the whole dialogue runs inside TLS (Tls says how the certificate is judged).
class ThreadSMTPCheck : public ThreadCheck
{
public:
    // The service's user name and password are accepted like the other mail checks' but not used.
    ThreadSMTPCheck(const ThreadCheckArgs& args, const QString& userName = QString(),
                    const QString& password = QString(), std::unique_ptr<SmtpClient> client = nullptr);
    ~ThreadSMTPCheck() override;

    QString Kind() const override;

    std::unique_ptr<SmtpClient> Client;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
};
