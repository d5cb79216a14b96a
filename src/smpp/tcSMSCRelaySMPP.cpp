#include "smpp/tcSMSCRelaySMPP.h"

#include <QLoggingCategory>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

Q_LOGGING_CATEGORY(lcSmpp, "quorvel.smpp", QtWarningMsg)

namespace {

// How often the receive thread looks at its stop flag while the link is quiet.
constexpr int kReceiveSliceMs = 50;

// A time-out as the waits take it: never negative, since the socket layer reads a negative
// time-out as "no bound".
int Bounded(int milliseconds)
{
    return milliseconds < 0 ? 0 : milliseconds;
}

std::chrono::milliseconds Milliseconds(int value)
{
    return std::chrono::milliseconds(Bounded(value));
}

// The system's error number behind a failed connect. The socket layer reports errors as text
// ending in the system's own wording ("...: connection refused"), so the number is recovered by
// matching that wording; failures without a system error (a name that does not resolve, an
// invalid port) give EHOSTUNREACH.
int ConnectErrorNumber(const SocketError& error)
{
    if (dynamic_cast<const SocketTimeoutError*>(&error))
        return ETIMEDOUT;
    const std::string message = error.what();
    for (int code = 1; code < 200; ++code) {
        char buffer[256] = {};
        std::string text = strerror_r(code, buffer, sizeof buffer);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        const std::string suffix = ": " + text;
        if (message.size() >= suffix.size() &&
            message.compare(message.size() - suffix.size(), suffix.size(), suffix) == 0)
            return code;
    }
    return EHOSTUNREACH;
}

} // namespace

TtcSMSCRelaySMPP::~TtcSMSCRelaySMPP()
{
    Disconnect();
}

void TtcSMSCRelaySMPP::SetSequenceNumber(quint32 value)
{
    TtcSMSCMessageSMPP::SetSequenceCounter(value);
}

TtcSMSCRelay::SessionState TtcSMSCRelaySMPP::State() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

int TtcSMSCRelaySMPP::Connect(const QString& host, int port)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != StateClosed)
            return ResultWrongState;
    }
    // Threads left over from a session that broke end before the socket is reused.
    StopThreads();
    m_socket.close();
    try {
        m_socket.connect(host.toStdString(), port, Bounded(ResponseTimeOut()));
    } catch (const SocketError& error) {
        const int code = ConnectErrorNumber(error);
        qCDebug(lcSmpp) << "connect failed:" << error.what();
        return code;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = StateConnected;
    m_connectionLost = false;
    m_awaited.reset();
    m_linkCheckSequence.reset();
    m_responseRaised = m_keepAliveRaised = m_activityRaised = false;
    m_messageId.clear();
    return ResultOk;
}

int TtcSMSCRelaySMPP::Bind(const QString& systemId, const QString& password, const QString& addressRange,
                           quint8 interfaceVersion, int bindMode, const QString& systemType, quint8 npi,
                           quint8 ton)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != StateConnected || bindMode != BindTransmitter)
            return ResultWrongState;
        m_state = StateReceiving;
    }
    StartThreads();

    SmppBindParameters parameters;
    parameters.SystemId = systemId;
    parameters.Password = password;
    parameters.SystemType = systemType;
    parameters.InterfaceVersion = interfaceVersion;
    parameters.Ton = ton;
    parameters.Npi = npi;
    parameters.AddressRange = addressRange;
    const int result = Request(SmppPduKind::BindResp, [&parameters](TtcSMSCMessageSMPP& pdu) {
        return pdu.BuildBindTransmitter(parameters);
    });
    if (result == ResultOk) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state == StateReceiving)
            m_state = StateBound;
    }
    return result;
}

int TtcSMSCRelaySMPP::SubmitMessage(const QString& destination, quint8 destinationTon, quint8 destinationNpi,
                                    const QString& source, quint8 sourceTon, quint8 sourceNpi,
                                    const QString& text, int options, QString& messageId)
{
    messageId.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != StateBound)
            return ResultWrongState;
        m_messageId.clear();
    }
    SmppSubmitParameters parameters;
    parameters.DestinationAddress = destination;
    parameters.DestinationTon = destinationTon;
    parameters.DestinationNpi = destinationNpi;
    parameters.SourceAddress = source;
    parameters.SourceTon = sourceTon;
    parameters.SourceNpi = sourceNpi;
    parameters.Text = text;
    parameters.RegisteredDelivery = (options & SubmitDeliveryReceipt) ? 0x01 : 0x00;
    parameters.PackSeptets = !ASCIIFrontend();
    const int result = Request(SmppPduKind::SubmitSmResp, [&parameters](TtcSMSCMessageSMPP& pdu) {
        return pdu.BuildSubmitSm(parameters);
    });
    std::lock_guard<std::mutex> lock(m_mutex);
    messageId = QString::fromLatin1(m_messageId);
    return result;
}

int TtcSMSCRelaySMPP::Unbind()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != StateBound)
            return ResultOk;
    }
    const int result =
        Request(SmppPduKind::UnbindResp, [](TtcSMSCMessageSMPP& pdu) { return pdu.BuildUnbind(); });
    if (result != ResultOk)
        return result;
    StopThreads();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state == StateBound)
        m_state = StateConnected;
    return result;
}

int TtcSMSCRelaySMPP::Disconnect()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopReceive = m_stopKeepAlive = true;
    }
    m_signal.notify_all();
    m_socket.shutdown(); // a reader blocked on the socket returns at once
    StopThreads();
    m_socket.close();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = StateClosed;
    return ResultOk;
}

void TtcSMSCRelaySMPP::StartThreads()
{
    StopThreads();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopReceive = false;
        m_stopKeepAlive = !KeepAlive();
    }
    m_receiveBuffer = SmppReceiveBuffer();
    m_receiveThread = std::thread([this] { RunThread("receiving", &TtcSMSCRelaySMPP::ReceivePdus); });
    if (KeepAlive())
        m_keepAliveThread = std::thread([this] { RunThread("link check", &TtcSMSCRelaySMPP::CheckLink); });
}

void TtcSMSCRelaySMPP::StopThreads()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopReceive = m_stopKeepAlive = true;
    }
    m_signal.notify_all();
    if (m_keepAliveThread.joinable())
        m_keepAliveThread.join();
    if (m_receiveThread.joinable())
        m_receiveThread.join();
}

bool TtcSMSCRelaySMPP::Send(const std::function<void(TtcSMSCMessageSMPP&)>& build)
{
    try {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        build(m_outgoing);
        const QByteArray& data = m_outgoing.Data();
        m_socket.write(std::string(data.constData(), static_cast<std::size_t>(data.size())),
                       Bounded(ResponseTimeOut()));
        return true;
    } catch (const SocketError& error) {
        qCDebug(lcSmpp) << "sending failed:" << error.what();
        ConnectionLost(dynamic_cast<const SocketTimeoutError*>(&error) ? ETIMEDOUT : EPIPE, true);
        return false;
    }
}

int TtcSMSCRelaySMPP::Request(SmppPduKind awaited, const std::function<quint32(TtcSMSCMessageSMPP&)>& build)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_connectionLost)
            return ResultConnectionLost;
        m_awaited.reset();
        m_responseRaised = false;
        m_responseStatus = ResultConnectionLost;
    }
    // What is awaited is known once the PDU is built (its sequence number), and is in place
    // before the PDU leaves, so that the response cannot come first.
    const bool sent = Send([this, awaited, &build](TtcSMSCMessageSMPP& pdu) {
        const quint32 sequenceNumber = build(pdu);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_awaited = awaited;
        m_awaitedSequence = sequenceNumber;
    });
    if (!sent) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_awaited.reset();
        return ResultConnectionLost;
    }

    std::unique_lock<std::mutex> lock(m_mutex);
    m_activityRaised = true;
    m_signal.notify_all();
    const bool ended = m_signal.wait_for(lock, Milliseconds(ResponseTimeOut()),
                                         [this] { return m_responseRaised || m_connectionLost; });
    m_awaited.reset();
    if (m_responseRaised)
        return m_responseStatus; // a response that arrived before the connection ended counts
    return ended ? ResultConnectionLost : ResultTimeout;
}

void TtcSMSCRelaySMPP::RunThread(const char* what, void (TtcSMSCRelaySMPP::*body)())
{
    try {
        (this->*body)();
    } catch (const std::exception& error) {
        qCWarning(lcSmpp) << what << "stopped:" << error.what();
        ConnectionLost(EPROTO, true);
    }
}

void TtcSMSCRelaySMPP::ReceivePdus()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopReceive)
                return;
        }
        QByteArray pdu;
        const SmppReceiveBuffer::Result taken = m_receiveBuffer.TakePdu(pdu);
        if (taken == SmppReceiveBuffer::Result::Pdu) {
            Handle(pdu);
            continue;
        }
        if (taken == SmppReceiveBuffer::Result::Malformed) {
            qCWarning(lcSmpp) << "closing the connection: received command_length"
                              << m_receiveBuffer.PendingLength() << "cannot be a PDU";
            ConnectionLost(EPROTO, true);
            return;
        }
        std::string bytes;
        try {
            bytes = m_socket.readSome(m_receiveBuffer.FreeSpace(), kReceiveSliceMs);
        } catch (const SocketTimeoutError&) {
            continue;
        } catch (const SocketClosedError& error) {
            qCDebug(lcSmpp) << "connection ended:" << error.what();
            ConnectionLost(ECONNRESET, true);
            return;
        } catch (const SocketError& error) {
            qCDebug(lcSmpp) << "connection failed:" << error.what();
            ConnectionLost(EIO, true);
            return;
        }
        if (bytes.empty()) {
            ConnectionLost(0, true);
            return;
        }
        m_receiveBuffer.Append(bytes.data(), bytes.size());
    }
}

void TtcSMSCRelaySMPP::Handle(const QByteArray& pdu)
{
    m_incoming.Assign(pdu);
    const SmppPduKind kind = m_incoming.Kind();
    switch (kind) {
    case SmppPduKind::BindResp:
    case SmppPduKind::SubmitSmResp:
    case SmppPduKind::UnbindResp: {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A response is matched by its command_id and its sequence_number; one that answers no
        // waiting request (stale, stray or meant for another request) is dropped.
        if (m_awaited != kind || m_incoming.SequenceNumber() != m_awaitedSequence) {
            qCDebug(lcSmpp).nospace()
                << "dropped a response that answers no waiting request: command_id 0x" << Qt::hex
                << m_incoming.CommandId() << ", sequence_number " << Qt::dec << m_incoming.SequenceNumber();
            return;
        }
        m_responseStatus = static_cast<int>(m_incoming.CommandStatus());
        if (kind == SmppPduKind::SubmitSmResp)
            m_messageId = m_incoming.MessageId();
        // An accepted unbind ends the session: read nothing more, so that the SMSC closing its
        // side right after its answer is not taken for a lost connection.
        if (kind == SmppPduKind::UnbindResp && m_responseStatus == ResultOk)
            m_stopReceive = m_stopKeepAlive = true;
        m_responseRaised = true;
        m_signal.notify_all();
        return;
    }
    case SmppPduKind::EnquireLinkResp: {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_linkCheckSequence != m_incoming.SequenceNumber()) {
            qCDebug(lcSmpp) << "dropped an enquire_link_resp that answers no link check: sequence_number"
                            << m_incoming.SequenceNumber();
            return;
        }
        m_keepAliveRaised = true;
        m_signal.notify_all();
        return;
    }
    case SmppPduKind::GenericNack: {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_awaited) {
            m_responseStatus = ResultGenericNack;
            m_responseRaised = true;
        }
        m_keepAliveRaised = true;
        m_signal.notify_all();
        return;
    }
    case SmppPduKind::EnquireLink: {
        const quint32 sequenceNumber = m_incoming.SequenceNumber();
        Send([sequenceNumber](TtcSMSCMessageSMPP& answer) { answer.BuildEnquireLinkResp(sequenceNumber); });
        return;
    }
    case SmppPduKind::Other:
        return; // deliver_sm and anything else: not used, not answered
    }
}

void TtcSMSCRelaySMPP::CheckLink()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_activityRaised = false;
        m_signal.wait_for(lock, Milliseconds(KeepAliveInterval()),
                          [this] { return m_stopKeepAlive || m_activityRaised; });
        if (m_stopKeepAlive)
            return;
        if (m_activityRaised)
            continue;

        m_keepAliveRaised = false;
        lock.unlock();
        const bool sent = Send([this](TtcSMSCMessageSMPP& pdu) {
            const quint32 sequenceNumber = pdu.BuildEnquireLink();
            std::lock_guard<std::mutex> guard(m_mutex);
            m_linkCheckSequence = sequenceNumber;
        });
        lock.lock();
        if (!sent)
            return;
        m_signal.wait_for(lock, Milliseconds(ResponseTimeOut()),
                          [this] { return m_stopKeepAlive || m_keepAliveRaised; });
        m_linkCheckSequence.reset();
        if (m_stopKeepAlive)
            return;
        if (!m_keepAliveRaised) {
            lock.unlock();
            qCWarning(lcSmpp) << "no enquire_link_resp within" << ResponseTimeOut() << "ms; link given up";
            // The socket stays open until Disconnect.
            ConnectionLost(-1, false);
            return;
        }
    }
}

void TtcSMSCRelaySMPP::ConnectionLost(int code, bool shutdownSocket)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_connectionLost || m_stopReceive)
            return; // already lost, or ended by the owner
        m_connectionLost = true;
        m_stopReceive = m_stopKeepAlive = true;
        m_state = StateClosed;
    }
    m_signal.notify_all();
    // The descriptor itself is released by Disconnect, once no thread uses the socket.
    if (shutdownSocket)
        m_socket.shutdown();
    ReportDisconnected(code);
}
