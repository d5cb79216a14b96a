#include "alarms/ThreadSysLogUnit.h"

#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "core/auxFunc.h"
#include "net/Socket.h"

#include <cstdio>
#include <exception>

ThreadSysLog::ThreadSysLog(const QString& host, int port, int facility, int severity, const QString& text,
                           int timeout)
    : ThreadAlarm(QStringLiteral("SysLog"), timeout), Host(host), Port(port), Facility(facility),
      Severity(severity), Text(text)
{
    try {
        Client = std::make_unique<UdpSocket>();
    } catch (...) {
        // Opened again in Execute, where a failure is reported as the alarm's error.
    }
}

ThreadSysLog::ThreadSysLog(const SysLogMethodSettings& settings, const QString& text)
    : ThreadSysLog(settings.ip, settings.port, settings.facility, settings.severity, text, settings.timeout)
{
}

ThreadSysLog::~ThreadSysLog() = default;

QString ThreadSysLog::Timestamp(const QDateTime& time)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!time.isValid())
        return QString();
    const QDate d = time.date();
    const QTime t = time.time();
    char text[32];
    std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d", months[d.month() - 1], d.day(), t.hour(),
                  t.minute(), t.second());
    return QString::fromLatin1(text);
}

QByteArray ThreadSysLog::Datagram(int facility, int severity, const QDateTime& time, const QString& hostName,
                                  const QString& text)
{
    if (facility < 0 || facility > 23)
        facility = 0;
    if (severity < 0 || severity > 7)
        severity = 0;
    const QString line = BlankControls(text);
    QByteArray datagram = '<' + QByteArray::number(facility * 8 + severity) + '>' +
                          Timestamp(time).toLatin1() + ' ' + hostName.toUtf8() + ' ' + line.toUtf8();
    if (datagram.size() > kMaxDatagram) {
        qsizetype cut = kMaxDatagram;
        // Back to the start of the character that would be split.
        while (cut > 0 && (static_cast<unsigned char>(datagram[cut]) & 0xC0) == 0x80)
            --cut;
        datagram.truncate(cut);
    }
    return datagram;
}

bool ThreadSysLog::Deliver()
{
    if (!Client)
        Client = std::make_unique<UdpSocket>();
    const QByteArray datagram =
        Datagram(Facility, Severity, Now(), QString::fromStdString(LocalIPv4Address()), Text);
    Client->sendTo(Host.toStdString(), Port, datagram.toStdString());
    return true;
}

void ThreadSysLog::CloseClient()
{
    std::unique_ptr<UdpSocket> client = std::move(Client);
    if (client)
        client->close();
}
