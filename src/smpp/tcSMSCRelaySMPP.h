#pragma once

#include "net/Socket.h"
#include "smpp/tcSMSCMessageSMPP.h"
#include "smpp/tcSMSCRelay.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// The SMPP 3.4 client: connects to an SMSC, binds as a transmitter, submits short messages one at
// a time and waits for each response, checks an idle bound link with enquire_link, and unbinds
// and closes.
//
// One caller thread performs all requests of a client object in sequence. Beside it run a
// receive thread (from Bind until Unbind or Disconnect), which reads every PDU and hands
// responses to the waiting request, and, while KeepAlive is set, a keep-alive thread. PDUs are
// sent whole, one at a time, whichever thread sends them. Every wait is bounded by
// ResponseTimeOut or KeepAliveInterval.
//
// Results: see TtcSMSCRelay. A request that the connection's end releases returns
// ResultConnectionLost (-4), never a stored earlier status.
//
// A response releases the waiting request only when both its command_id and its sequence_number
// are the request's (SMPP 3.4, section 2.3); likewise an enquire_link_resp counts for the link
// check only with the sequence number of the check's enquire_link. Any other response answers
// no request of this session (a stale or stray one) and is dropped with a debug line. A
// generic_nack ends the waiting request whatever its sequence number: it never makes a request
// succeed, and an SMSC that could not read a header answers it with sequence number 0.
class TtcSMSCRelaySMPP : public TtcSMSCRelay
{
public:
    enum BindMode
    {
        BindTransmitter = 1
    };
    // SubmitMessage options.
    enum SubmitOption
    {
        SubmitDeliveryReceipt = 0x01
    };

    TtcSMSCRelaySMPP() = default;
    ~TtcSMSCRelaySMPP() override;

    // Writes the process-wide sequence counter that every SMPP client takes numbers from.
    void SetSequenceNumber(quint32 value);
    // Short messages go out as one GSM character per octet (default true); false packs the
    // septets, eight characters in seven octets.
    bool ASCIIFrontend() const { return m_asciiFrontend.load(); }
    void SetASCIIFrontend(bool enabled) { m_asciiFrontend.store(enabled); }

    SessionState State() const;

    // Opens the TCP connection (state closed → connected). Returns 0 or the system's error number
    // (ETIMEDOUT when ResponseTimeOut passes first; EHOSTUNREACH for a name that does not resolve).
    int Connect(const QString& host, int port) override;
    // Starts the receive (and keep-alive) thread and sends bind_transmitter (state connected →
    // receiving, and bound when the SMSC accepts). Only BindTransmitter is supported; another
    // mode returns ResultWrongState.
    int Bind(const QString& systemId, const QString& password, const QString& addressRange,
             quint8 interfaceVersion, int bindMode, const QString& systemType, quint8 npi, quint8 ton);
    // Sends one submit_sm (state bound). `messageId` receives the identifier of the
    // submit_sm_resp (empty when it carried none or none arrived).
    int SubmitMessage(const QString& destination, quint8 destinationTon, quint8 destinationNpi,
                      const QString& source, quint8 sourceTon, quint8 sourceNpi, const QString& text,
                      int options, QString& messageId);
    // Sends unbind when bound and stops both threads on success (→ connected). In any other
    // state it returns 0 at once and sends nothing.
    int Unbind();
    // Closes the connection and waits for both threads to end (→ closed). Always returns 0.
    int Disconnect() override;

private:
    // Sends the request that `build` makes (returning its sequence number) and waits for the
    // response of kind `awaited` with that sequence number.
    int Request(SmppPduKind awaited, const std::function<quint32(TtcSMSCMessageSMPP&)>& build);
    // Sends one PDU whole; false when the connection failed (it is then lost).
    bool Send(const std::function<void(TtcSMSCMessageSMPP&)>& build);
    void StartThreads();
    void StopThreads();
    // A thread's body: an exception ends the session (it is logged with `what`).
    void RunThread(const char* what, void (TtcSMSCRelaySMPP::*body)());
    void ReceivePdus();
    void CheckLink();
    void Handle(const QByteArray& pdu);
    // Ends the session after a failure: state closed, both threads told to stop, every waiting
    // request released. `shutdownSocket` also ends the connection at once.
    void ConnectionLost(int code, bool shutdownSocket);

    TcpSocket m_socket;
    std::atomic<bool> m_asciiFrontend{true};

    // Sending: the outgoing PDU and the socket's write side.
    std::mutex m_sendMutex;
    TtcSMSCMessageSMPP m_outgoing;

    // Receive thread only.
    SmppReceiveBuffer m_receiveBuffer;
    TtcSMSCMessageSMPP m_incoming;

    // Everything below is guarded by m_mutex; m_signal wakes every wait on it.
    mutable std::mutex m_mutex;
    std::condition_variable m_signal;
    SessionState m_state = StateClosed;
    std::optional<SmppPduKind> m_awaited;       // the response a request waits for
    quint32 m_awaitedSequence = 0;              // and its sequence number, set before the request is sent
    std::optional<quint32> m_linkCheckSequence; // the enquire_link the link check waits for
    bool m_responseRaised = false;
    int m_responseStatus = 0;
    QByteArray m_messageId;
    bool m_keepAliveRaised = false;
    bool m_activityRaised = false;
    bool m_connectionLost = false;
    bool m_stopReceive = false;
    bool m_stopKeepAlive = false;

    std::thread m_receiveThread;
    std::thread m_keepAliveThread;
};
