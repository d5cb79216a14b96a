#pragma once

#include "checks/ThreadCheck.h"
#include "net/Socket.h"

#include <memory>
#include <string>

// The TCP check's own values, as the creator takes them from the service.
struct TcpCheckArgs
{
    QString Send;   // a line sent once connected (CR LF added); empty sends nothing
    QString Expect; // a text the first reply must contain; empty: connecting is enough
};

// Check of a "TCP" service: connects to Host:Port, sends the Send line when there is one, and
// when an Expect text is given reads the first reply (the first line, or what came before the
// server closed, at most kMaxReply bytes) until it contains the text. Everything, the
// connection included, must happen within Timeout. The detail of a failure says what went
// wrong: refused, timed out, closed, or the text not found, quoting the start of the reply.
class ThreadTCPCheck : public ThreadCheck
{
public:
    static constexpr std::size_t kMaxReply = 4096;

    ThreadTCPCheck(const ThreadCheckArgs& args, const TcpCheckArgs& tcp);
    ~ThreadTCPCheck() override;

    QString Kind() const override;

    QString Send;
    QString Expect;
    std::unique_ptr<TcpSocket> Socket;
    std::string Reply; // the first reply as far as it was read

protected:
    bool Probe() override;
    void CloseClient() override;

private:
    // Reads until the first reply holds Expect; throws when it cannot.
    void readFirstReply(long long deadlineMs);
};
