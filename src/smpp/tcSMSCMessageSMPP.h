#pragma once

#include "smpp/tcSMSCMessage.h"

#include <QString>

#include <cstddef>

// SMPP 3.4 protocol data units: the requests the client builds and the PDUs it reads back.

namespace SmppCommand {
constexpr quint32 GenericNack = 0x80000000u;
constexpr quint32 BindReceiverResp = 0x80000001u;
constexpr quint32 BindTransmitter = 0x00000002u;
constexpr quint32 BindTransmitterResp = 0x80000002u;
constexpr quint32 SubmitSm = 0x00000004u;
constexpr quint32 SubmitSmResp = 0x80000004u;
constexpr quint32 DeliverSm = 0x00000005u;
constexpr quint32 Unbind = 0x00000006u;
constexpr quint32 UnbindResp = 0x80000006u;
constexpr quint32 BindTransceiverResp = 0x80000009u;
constexpr quint32 EnquireLink = 0x00000015u;
constexpr quint32 EnquireLinkResp = 0x80000015u;
} // namespace SmppCommand

constexpr int kSmppHeaderLength = 16;
// The receive buffer of a session; a PDU must fit in it whole.
constexpr int kSmppReceiveBufferSize = 8192;
// short_message holds at most this many octets (its length field is one byte).
constexpr int kSmppMaxShortMessage = 254;
// The largest sequence number; the one after it is 1.
constexpr quint32 kSmppMaxSequenceNumber = 0x7FFFFFFFu;

// What a received PDU means to the client.
enum class SmppPduKind
{
    BindResp, // bind_transmitter_resp, bind_receiver_resp, bind_transceiver_resp
    SubmitSmResp,
    UnbindResp,
    EnquireLink, // from the SMSC, answered with enquire_link_resp
    EnquireLinkResp,
    GenericNack,
    Other, // deliver_sm and anything else: read and dropped
};

// The interface_version octet for a version as administrators write it: the decimal digits name
// the version, so 34 (SMPP 3.4) is sent as 0x34 and 33 as 0x33. A value from 100 up has no such
// reading and is sent as the octet it is.
quint8 SmppInterfaceVersion(int written);

struct SmppBindParameters
{
    QString SystemId;
    QString Password;
    QString SystemType;
    quint8 InterfaceVersion = 0x34; // the octet as sent: 0x34 is SMPP 3.4
    quint8 Ton = 0;
    quint8 Npi = 0;
    QString AddressRange;
};

struct SmppSubmitParameters
{
    QString SourceAddress;
    quint8 SourceTon = 0;
    quint8 SourceNpi = 0;
    QString DestinationAddress;
    quint8 DestinationTon = 0;
    quint8 DestinationNpi = 0;
    QString Text;
    quint8 RegisteredDelivery = 0x01;
    // false (the default) sends one GSM character per octet; true packs the septets.
    bool PackSeptets = false;
};

class TtcSMSCMessageSMPP : public TtcSMSCMessage
{
public:
    // The process-wide sequence counter shared by every client. Safe for simultaneous use.
    // Takes the current value and advances it (after 0x7FFFFFFF, or any larger value that was
    // set, comes 1). It starts at 0 when the program starts.
    static quint32 TakeSequenceNumber();
    static void SetSequenceCounter(quint32 value);

    // Requests, each with the next sequence number; the header's command_length is the final
    // length. Returns the sequence number used.
    quint32 BuildBindTransmitter(const SmppBindParameters& parameters);
    // The text is coded in the GSM default alphabet; coded text beyond 254 octets is cut at
    // 254 octets (less one when an escape pair would be split).
    quint32 BuildSubmitSm(const SmppSubmitParameters& parameters);
    quint32 BuildUnbind();
    quint32 BuildEnquireLink();
    // The answer to the SMSC's enquire_link with sequence number `sequenceNumber`.
    void BuildEnquireLinkResp(quint32 sequenceNumber);

    // Takes one whole received PDU. Throws std::invalid_argument when `pdu` is shorter than a
    // header or its command_length differs from its size.
    void Assign(const QByteArray& pdu);

    quint32 CommandLength() const { return ReadInt32(0); }
    quint32 CommandId() const { return ReadInt32(4); }
    quint32 CommandStatus() const { return ReadInt32(8); }
    quint32 SequenceNumber() const { return ReadInt32(12); }
    SmppPduKind Kind() const;
    // The message identifier of a submit_sm_resp: the C-string of its body, empty without body.
    QByteArray MessageId() const;

private:
    quint32 StartRequest(quint32 commandId);
    void StartHeader(quint32 commandId, quint32 sequenceNumber);
    void FinishLength();
};

// The receive buffer of a session: takes bytes as they come from the connection and hands out
// whole PDUs. A command_length below 16 or above the buffer's size can never give a valid PDU
// and is reported as malformed.
class SmppReceiveBuffer
{
public:
    enum class Result
    {
        NeedMore,
        Pdu,
        Malformed
    };

    bool IsEmpty() const { return m_data.isEmpty(); }
    std::size_t FreeSpace() const;
    // Appends up to FreeSpace() bytes of `data`; returns how many were taken.
    std::size_t Append(const char* data, std::size_t size);
    // Takes one whole PDU into `pdu` when the buffer holds one.
    Result TakePdu(QByteArray& pdu);
    // The command_length of the PDU at the front (valid when at least 4 bytes are held).
    quint32 PendingLength() const;

private:
    QByteArray m_data;
};
