#pragma once

#include "checks/ThreadCheck.h"
#include "net/Tls.h"

#include <memory>

// What the checks that log in to a mailbox share: the service's credentials, handed to a client
// of the protocol, which runs the whole dialogue inside TLS on the protocol's implicit-TLS port.
template <typename MailClient, int ImplicitTlsPort> class MailboxCheck : public ThreadCheck
{
public:
    MailboxCheck(const ThreadCheckArgs& args, const QString& userName, const QString& password,
                 std::unique_ptr<MailClient> client)
        : ThreadCheck(args), UserName(userName), Password(password),
          Client(client ? std::move(client) : std::make_unique<MailClient>())
    {
        Client->configure(Host.toStdString(), Port, Timeout, userName.toStdString(), password.toStdString());
        if (Port == ImplicitTlsPort)
            Client->setImplicitTls(Tls);
    }

    // The service's credentials, as given to the client.
    QString UserName;
    QString Password;
    std::unique_ptr<MailClient> Client;

protected:
    std::optional<TlsPeerCertificate> PeerCertificate() const override
    {
        return Client ? Client->peerCertificate() : std::nullopt;
    }
};
