#pragma once

#include "alarms/ThreadAlarm.h"
#include "smpp/tcSMSCRelaySMPP.h"

#include <QString>

#include <functional>
#include <memory>

struct SmsMethodSettings;

// The SMS alarm: delivers one alarm text as one short message to one mobile number through an
// SMSC over SMPP. On its worker thread it connects, binds as a transmitter, submits, and in every
// case unbinds and disconnects. Each request waits at most Timeout.
class ThreadSMS : public ThreadAlarm
{
public:
    static const char* const ConnectFailedText; // ERR00801, followed by " : " and the result
    static const char* const BindFailedText;    // ERR00802
    static const char* const SendFailedText;    // ERR00803

    explicit ThreadSMS(int timeout);
    // Fills every field from the "SMS" alarm method; the credentials are left empty unless
    // the method authenticates.
    ThreadSMS(const SmsMethodSettings& settings, const QString& recipient, const QString& text);
    ~ThreadSMS() override;

    std::unique_ptr<TtcSMSCRelaySMPP> Client = std::make_unique<TtcSMSCRelaySMPP>();
    QString Host;
    int Port = 0;
    QString SystemId;
    QString Password;
    QString OriginatingAddress;
    QString Recipient;
    QString Text;
    quint8 InterfaceVersion = 0x34;
    QString SystemType;
    quint8 BindTon = 0;
    quint8 BindNpi = 0;
    quint8 DestTon = 0;
    quint8 DestNpi = 0;
    quint8 OrigTon = 0;
    quint8 OrigNpi = 0;
    // Called on the worker thread once the SMSC has accepted the bind, before the submit (a
    // settings window shows the progress of its test with it). Empty: nothing is called.
    std::function<void()> OnBound;

protected:
    // Connect, bind as a transmitter, submit. A refusal of any step gives false with its text and
    // the client's result code as the detail.
    bool Deliver() override;
    QString DetailHost() const override { return Host; }
    int DetailPort() const override { return Port; }
    // Unbind (sent only on a bound session), then Disconnect, whatever happened before.
    void CloseClient() override;
    // No connection, or the SMSC throttled us or had a system error; a refused bind or number is
    // repeated by another try and is not.
    bool TransientFailure(bool socketError, const QString& error) const override;

private:
    bool Fail(const char* text, int result);
    const char* m_failedStep = nullptr; // the text of the step that was refused
    int m_failedResult = 0;
};
