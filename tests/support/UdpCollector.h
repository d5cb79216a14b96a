#pragma once

#include <string>

// A UDP receiver for tests (a stand-in syslog collector): bound to 127.0.0.1 on a port the system
// picks, it hands out each datagram that arrives, byte for byte. Every wait is bounded.
class UdpCollector
{
public:
    UdpCollector();
    ~UdpCollector();
    UdpCollector(const UdpCollector&) = delete;
    UdpCollector& operator=(const UdpCollector&) = delete;

    int port() const { return m_port; }

    // The next datagram, waiting at most `timeoutMs`; false when none came in time.
    bool receive(std::string& datagram, int timeoutMs = 5000);

private:
    int m_fd = -1;
    int m_port = 0;
};
