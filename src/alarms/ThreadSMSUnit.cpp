#include "alarms/ThreadSMSUnit.h"

#include "core/AlarmMethodSettings.h"
#include "core/langLibrary.h"
#include "smpp/tcSMSCMessageSMPP.h"

const char* const ThreadSMS::ConnectFailedText = lang::ERR00801;
const char* const ThreadSMS::BindFailedText = lang::ERR00802;
const char* const ThreadSMS::SendFailedText = lang::ERR00803;

namespace {

quint8 Byte(int value)
{
    return static_cast<quint8>(value);
}

} // namespace

ThreadSMS::ThreadSMS(int timeout) : ThreadAlarm(QStringLiteral("SMS"), timeout) {}

ThreadSMS::ThreadSMS(const SmsMethodSettings& settings, const QString& recipient, const QString& text)
    : ThreadAlarm(QStringLiteral("SMS"), settings.timeout)
{
    Host = settings.ip;
    Port = settings.port;
    if (settings.authenticate) {
        SystemId = settings.username;
        Password = settings.password;
    }
    OriginatingAddress = settings.oa;
    Recipient = recipient;
    Text = text;
    InterfaceVersion = SmppInterfaceVersion(settings.sms_version);
    SystemType = settings.sms_system_type;
    BindTon = Byte(settings.sms_ton);
    BindNpi = Byte(settings.sms_npi);
    DestTon = Byte(settings.sms_dest_ton);
    DestNpi = Byte(settings.sms_dest_npi);
    OrigTon = Byte(settings.sms_orig_ton);
    OrigNpi = Byte(settings.sms_orig_npi);
}

ThreadSMS::~ThreadSMS() = default;

void ThreadSMS::CloseClient()
{
    if (!Client)
        return;
    Client->Unbind();
    Client->Disconnect();
}

bool ThreadSMS::Deliver()
{
    Client->SetResponseTimeOut(Timeout);
    int result = Client->Connect(Host, Port);
    if (result != 0)
        return Fail(ConnectFailedText, result);
    result = Client->Bind(SystemId, Password, OriginatingAddress, InterfaceVersion,
                          TtcSMSCRelaySMPP::BindTransmitter, SystemType, BindNpi, BindTon);
    if (result != 0)
        return Fail(BindFailedText, result);
    if (OnBound)
        OnBound();
    QString messageId; // not used
    result = Client->SubmitMessage(Recipient, DestTon, DestNpi, OriginatingAddress, OrigTon, OrigNpi, Text,
                                   TtcSMSCRelaySMPP::SubmitDeliveryReceipt, messageId);
    if (result != 0)
        return Fail(SendFailedText, result);
    return true;
}

bool ThreadSMS::TransientFailure(bool socketError, const QString&) const
{
    constexpr int kSystemError = 0x08; // ESME_RSYSERR
    constexpr int kThrottled = 0x58;   // ESME_RTHROTTLED
    return socketError || m_failedStep == ConnectFailedText || m_failedResult == kSystemError ||
           m_failedResult == kThrottled;
}

bool ThreadSMS::Fail(const char* text, int result)
{
    m_failedStep = text;
    m_failedResult = result;
    ResultDetail = QString::fromLatin1(text) + " : " + QString::number(result);
    return false;
}
