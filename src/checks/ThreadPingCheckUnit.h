#pragma once

#include "checks/ThreadCheck.h"
#include "net/IcmpEchoClient.h"

#include <memory>

// Check of a "Ping" service: one ICMP echo request to Host, passed when the reply that belongs
// to it arrives within Timeout. A host that stays silent fails without an error text; an ICMP
// error report about the request (destination unreachable, time exceeded) fails with its text.
class ThreadPingCheck : public ThreadCheck
{
public:
    // `client` is a fresh client (one is made when none is given); it is configured here with
    // Host, Port and Timeout and owned by the work item.
    explicit ThreadPingCheck(const ThreadCheckArgs& args, std::unique_ptr<IcmpEchoClient> client = nullptr);
    ~ThreadPingCheck() override;

    QString Kind() const override;

    std::unique_ptr<IcmpEchoClient> Client;
    int ReceivedBytes = 0; // byte count of the reply; 0 when none came

protected:
    bool Probe() override;
    void CloseClient() override;
    int RoundTripMs() const override;
};
