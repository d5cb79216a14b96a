#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

// The generic short-message relay: the client side of a session with a short message service
// centre (SMSC), independent of the protocol spoken. TtcSMSCRelaySMPP speaks SMPP.
//
// Every operation returns an integer result: 0 for success, one of the negative values below, or
// otherwise the status code the SMSC answered with (Connect returns the system's error number
// instead). Callers read any non-zero result as a failure.
class TtcSMSCRelay
{
public:
    static constexpr int ResultOk = 0;
    // No response arrived within ResponseTimeOut.
    static constexpr int ResultTimeout = -1;
    // The client is not in the state the operation requires; nothing was sent.
    static constexpr int ResultWrongState = -2;
    // The SMSC answered with generic_nack.
    static constexpr int ResultGenericNack = -3;
    // The connection broke (closed by the SMSC, failed, a malformed PDU arrived, or the link
    // check went unanswered) while the request waited or before it could be sent. Never 0: a
    // request released this way was not accepted.
    static constexpr int ResultConnectionLost = -4;

    enum SessionState
    {
        StateClosed = 0,
        StateConnected = 1,
        StateReceiving = 2,
        StateBound = 3
    };

    TtcSMSCRelay() = default;
    virtual ~TtcSMSCRelay() = default;
    TtcSMSCRelay(const TtcSMSCRelay&) = delete;
    TtcSMSCRelay& operator=(const TtcSMSCRelay&) = delete;

    // How long a request waits for its response, in ms (default 10000). It also bounds the TCP
    // connect and every send.
    int ResponseTimeOut() const { return m_responseTimeOut.load(); }
    void SetResponseTimeOut(int milliseconds) { m_responseTimeOut.store(milliseconds); }
    // Whether a bound session checks an idle link (default true).
    bool KeepAlive() const { return m_keepAlive.load(); }
    void SetKeepAlive(bool enabled) { m_keepAlive.store(enabled); }
    // Idle time after which the link is checked, in ms (default 10000).
    int KeepAliveInterval() const { return m_keepAliveInterval.load(); }
    void SetKeepAliveInterval(int milliseconds) { m_keepAliveInterval.store(milliseconds); }

    // Called (on one of the client's own threads) when the connection is lost, with the system's
    // error number (0 for an orderly close by the peer) or -1 when the link check went
    // unanswered. Set it before Connect.
    void SetOnDisconnected(std::function<void(int)> handler);

    virtual int Connect(const QString& host, int port) = 0;
    virtual int Disconnect() = 0;

protected:
    void ReportDisconnected(int code);

private:
    std::atomic<int> m_responseTimeOut{10000};
    std::atomic<bool> m_keepAlive{true};
    std::atomic<int> m_keepAliveInterval{10000};
    std::mutex m_handlerMutex;
    std::function<void(int)> m_onDisconnected;
};
