#pragma once

#include <atomic>
#include <thread>

// A loopback TCP relay for tests: a server that "comes up" while the client already runs. The
// port is bound at construction but refuses connections until start(); from then on every
// connection is relayed, byte for byte, to 127.0.0.1:`targetPort`. Destruction stops it at once.
class TcpForwarder
{
public:
    explicit TcpForwarder(int targetPort);
    ~TcpForwarder();
    TcpForwarder(const TcpForwarder&) = delete;
    TcpForwarder& operator=(const TcpForwarder&) = delete;

    int port() const { return m_port; }
    void start();
    // While `down`, every relayed connection is cut and new ones are closed as soon as they are
    // accepted (a server that went away); relays again once it is false. Takes effect before it
    // returns.
    void setDown(bool down);
    int connectionsAccepted() const { return m_accepted.load(); }

private:
    void relay();

    int m_targetPort;
    int m_listenFd = -1;
    int m_port = 0;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<int> m_accepted{0};
    std::atomic<bool> m_down{false};
    std::atomic<int> m_rounds{0}; // relay rounds begun
};
