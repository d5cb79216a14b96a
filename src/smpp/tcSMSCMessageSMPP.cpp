#include "smpp/tcSMSCMessageSMPP.h"

#include "smpp/GsmEncoding.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

std::atomic<quint32> g_sequenceCounter{0};

// Address and identity fields travel as 8-bit text.
QByteArray FieldBytes(const QString& text)
{
    return text.toLatin1();
}

// Septets that pack into at most `maxOctets` octets.
int SeptetsFor(int maxOctets)
{
    return maxOctets * 8 / 7;
}

} // namespace

quint32 TtcSMSCMessageSMPP::TakeSequenceNumber()
{
    quint32 current = g_sequenceCounter.load();
    quint32 next = 0;
    do {
        next = current >= kSmppMaxSequenceNumber ? 1u : current + 1u;
    } while (!g_sequenceCounter.compare_exchange_weak(current, next));
    return current;
}

void TtcSMSCMessageSMPP::SetSequenceCounter(quint32 value)
{
    g_sequenceCounter.store(value);
}

void TtcSMSCMessageSMPP::StartHeader(quint32 commandId, quint32 sequenceNumber)
{
    Clear();
    AppendInt32(0); // command_length, written by FinishLength
    AppendInt32(commandId);
    AppendInt32(0); // command_status
    AppendInt32(sequenceNumber);
}

quint32 TtcSMSCMessageSMPP::StartRequest(quint32 commandId)
{
    const quint32 sequenceNumber = TakeSequenceNumber();
    StartHeader(commandId, sequenceNumber);
    return sequenceNumber;
}

void TtcSMSCMessageSMPP::FinishLength()
{
    WriteInt32(0, static_cast<quint32>(m_data.size()));
}

quint8 SmppInterfaceVersion(int written)
{
    if (written >= 0 && written <= 99)
        return static_cast<quint8>((written / 10) << 4 | written % 10);
    return static_cast<quint8>(written);
}

quint32 TtcSMSCMessageSMPP::BuildBindTransmitter(const SmppBindParameters& parameters)
{
    const quint32 sequenceNumber = StartRequest(SmppCommand::BindTransmitter);
    AppendCString(FieldBytes(parameters.SystemId));
    AppendCString(FieldBytes(parameters.Password));
    AppendCString(FieldBytes(parameters.SystemType));
    AppendByte(parameters.InterfaceVersion);
    AppendByte(parameters.Ton);
    AppendByte(parameters.Npi);
    AppendCString(FieldBytes(parameters.AddressRange));
    FinishLength();
    return sequenceNumber;
}

quint32 TtcSMSCMessageSMPP::BuildSubmitSm(const SmppSubmitParameters& parameters)
{
    QByteArray shortMessage = GsmEncode(parameters.Text);
    if (parameters.PackSeptets)
        shortMessage = GsmPackSeptets(GsmCut(shortMessage, SeptetsFor(kSmppMaxShortMessage)));
    else
        shortMessage = GsmCut(shortMessage, kSmppMaxShortMessage);

    const quint32 sequenceNumber = StartRequest(SmppCommand::SubmitSm);
    AppendCString({}); // service_type
    AppendByte(parameters.SourceTon);
    AppendByte(parameters.SourceNpi);
    AppendCString(FieldBytes(parameters.SourceAddress));
    AppendByte(parameters.DestinationTon);
    AppendByte(parameters.DestinationNpi);
    AppendCString(FieldBytes(parameters.DestinationAddress));
    AppendByte(0x00);  // esm_class
    AppendByte(0);     // protocol_id
    AppendByte(0);     // priority_flag
    AppendCString({}); // schedule_delivery_time
    AppendCString({}); // validity_period
    AppendByte(parameters.RegisteredDelivery);
    AppendByte(0);                                        // replace_if_present_flag
    AppendByte(0x00);                                     // data_coding: SMSC default alphabet
    AppendByte(0);                                        // sm_default_msg_id
    AppendByte(static_cast<quint8>(shortMessage.size())); // sm_length
    AppendBytes(shortMessage);
    FinishLength();
    return sequenceNumber;
}

quint32 TtcSMSCMessageSMPP::BuildUnbind()
{
    const quint32 sequenceNumber = StartRequest(SmppCommand::Unbind);
    FinishLength();
    return sequenceNumber;
}

quint32 TtcSMSCMessageSMPP::BuildEnquireLink()
{
    const quint32 sequenceNumber = StartRequest(SmppCommand::EnquireLink);
    FinishLength();
    return sequenceNumber;
}

void TtcSMSCMessageSMPP::BuildEnquireLinkResp(quint32 sequenceNumber)
{
    StartHeader(SmppCommand::EnquireLinkResp, sequenceNumber);
    FinishLength();
}

void TtcSMSCMessageSMPP::Assign(const QByteArray& pdu)
{
    if (pdu.size() < kSmppHeaderLength)
        throw std::invalid_argument("SMPP PDU of " + std::to_string(pdu.size()) +
                                    " bytes is shorter than its header");
    m_data = pdu;
    if (CommandLength() != static_cast<quint32>(pdu.size())) {
        const quint32 length = CommandLength();
        m_data.clear();
        throw std::invalid_argument("SMPP PDU of " + std::to_string(pdu.size()) +
                                    " bytes carries command_length " + std::to_string(length));
    }
}

SmppPduKind TtcSMSCMessageSMPP::Kind() const
{
    switch (CommandId()) {
    case SmppCommand::BindTransmitterResp:
    case SmppCommand::BindReceiverResp:
    case SmppCommand::BindTransceiverResp:
        return SmppPduKind::BindResp;
    case SmppCommand::SubmitSmResp:
        return SmppPduKind::SubmitSmResp;
    case SmppCommand::UnbindResp:
        return SmppPduKind::UnbindResp;
    case SmppCommand::EnquireLink:
        return SmppPduKind::EnquireLink;
    case SmppCommand::EnquireLinkResp:
        return SmppPduKind::EnquireLinkResp;
    case SmppCommand::GenericNack:
        return SmppPduKind::GenericNack;
    default:
        return SmppPduKind::Other;
    }
}

QByteArray TtcSMSCMessageSMPP::MessageId() const
{
    if (Size() <= kSmppHeaderLength)
        return {};
    return ReadCString(kSmppHeaderLength);
}

std::size_t SmppReceiveBuffer::FreeSpace() const
{
    return static_cast<std::size_t>(kSmppReceiveBufferSize - m_data.size());
}

std::size_t SmppReceiveBuffer::Append(const char* data, std::size_t size)
{
    const std::size_t taken = size < FreeSpace() ? size : FreeSpace();
    m_data.append(data, static_cast<qsizetype>(taken));
    return taken;
}

quint32 SmppReceiveBuffer::PendingLength() const
{
    quint32 value = 0;
    for (int i = 0; i < 4 && i < m_data.size(); ++i)
        value = (value << 8) | static_cast<quint8>(m_data.at(i));
    return value;
}

SmppReceiveBuffer::Result SmppReceiveBuffer::TakePdu(QByteArray& pdu)
{
    // The length field alone shows a PDU that can never be valid; no need to wait for more.
    if (m_data.size() < 4)
        return Result::NeedMore;
    const quint32 length = PendingLength();
    if (length < static_cast<quint32>(kSmppHeaderLength) ||
        length > static_cast<quint32>(kSmppReceiveBufferSize))
        return Result::Malformed;
    if (static_cast<quint32>(m_data.size()) < length)
        return Result::NeedMore;
    const auto size = static_cast<qsizetype>(length);
    pdu = m_data.left(size);
    m_data.remove(0, size);
    return Result::Pdu;
}
