#include "database/AlarmHistory.h"

#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>

#include <algorithm>

void WriteAlarmMessageLog(const QString& alarmDateTime, const QString& service, const QString& ip,
                          const QString& port, const QString& message, const QString& serviceStatus)
{
    WriteAlarmMessageLogFile(alarmDateTime, service, ip, port, message);
    if (!AppSettings.AlarmMsgDBEnable)
        return;
    // The port is placed as a number; anything that is not one would change the statement.
    const QString portValue = QString::number(port.trimmed().toLongLong());
    DMQuorvel().ExecUpdate(
        QStringLiteral(
            "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) values (") +
        QuoteSqlText(alarmDateTime) + QLatin1Char(',') + QuoteSqlText(service) + QLatin1Char(',') +
        QuoteSqlText(ip) + QLatin1Char(',') + portValue + QLatin1Char(',') + QuoteSqlText(message) +
        QLatin1Char(',') + QuoteSqlText(serviceStatus) + QLatin1Char(')'));
}

QString AlarmHistoryCutoff()
{
    return HouseKeepDay(AppSettings.AlarmMsgDBHouseKeepDay) + QStringLiteral(" 00:00:00");
}

int DeleteAlarmHistorySlice(const QString& cutoff, int limit)
{
    QSqlQuery q = DMQuorvel().OpenView(QStringLiteral("delete from alarm_msg_history where alarm_datetime<") +
                                       QuoteSqlText(cutoff) + QStringLiteral(" order by id limit ") +
                                       QString::number(std::clamp(limit, 1, 10000)));
    return q.numRowsAffected();
}

void HouseKeepLogs()
{
    HouseKeepLogFiles();
    const QString cutoff = AlarmHistoryCutoff();
    while (DeleteAlarmHistorySlice(cutoff) >= 10000) {
    }
}
