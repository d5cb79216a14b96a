#pragma once

#include "alarms/ThreadAlarm.h"
#include "core/AlarmMethodFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

class UdpSocket;
struct SysLogMethodSettings;

// The syslog alarm: one BSD syslog datagram (RFC 3164) over UDP,
//   "<" PRI ">" "Mmm dd hh:mm:ss" " " local IPv4 address " " text
// cut to 1024 bytes. Nothing is received: "Sent" means the datagram left. Every control
// character of the text (line breaks included) is sent as a blank, so one alarm is one line at
// the collector.
//
// ResultDetail is empty after success; after an error "[" + Host + ":" + Port + "] " + the error.
class ThreadSysLog : public ThreadAlarm
{
public:
    static constexpr int kMaxDatagram = 1024;

    ThreadSysLog(const QString& host, int port, int facility, int severity, const QString& text, int timeout);
    // The alarm as the dispatcher sends it: host, port, facility, severity and time-out of the
    // "SysLog" method. `text` is sent as given (the dispatcher has applied its ":" rule).
    ThreadSysLog(const SysLogMethodSettings& settings, const QString& text);
    ~ThreadSysLog() override;

    std::unique_ptr<UdpSocket> Client; // opened at construction (again in Execute if that failed)
    QString Host;
    int Port = alarmdefault::SysLogPort;
    int Facility = 0; // 0..23; anything else counts as 0
    int Severity = 0; // 0..7; anything else counts as 0
    QString Text;

    // The datagram for `time` from the address `hostName`, at most kMaxDatagram bytes (UTF-8,
    // never cut inside a character).
    static QByteArray Datagram(int facility, int severity, const QDateTime& time, const QString& hostName,
                               const QString& text);
    // "Mar  5 07:08:09": English month, day padded with a blank, 24-hour time.
    static QString Timestamp(const QDateTime& time);

protected:
    bool Deliver() override;
    QString DetailHost() const override { return Host; }
    int DetailPort() const override { return Port; }
    void CloseClient() override;
};
