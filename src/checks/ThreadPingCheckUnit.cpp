#include "checks/ThreadPingCheckUnit.h"

#include "core/langLibrary.h"

ThreadPingCheck::ThreadPingCheck(const ThreadCheckArgs& args, std::unique_ptr<IcmpEchoClient> client)
    : ThreadCheck(args), Client(client ? std::move(client) : std::make_unique<IcmpEchoClient>())
{
    Client->configure(Host.toStdString(), Port, Timeout);
}

ThreadPingCheck::~ThreadPingCheck() = default;

QString ThreadPingCheck::Kind() const
{
    return QString::fromLatin1(lang::KindPing);
}

bool ThreadPingCheck::Probe()
{
    ReceivedBytes = Client->ping();
    return ReceivedBytes > 0;
}

void ThreadPingCheck::CloseClient()
{
    if (Client)
        Client->close();
    Client.reset();
}

int ThreadPingCheck::RoundTripMs() const
{
    return Client ? Client->roundTripMs() : -1;
}
