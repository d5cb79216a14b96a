#pragma once

#include <QString>

// Records the final failure of a check: one line in today's alarm message log file, then one
// alarm_msg_history row. A failing insert throws DatabaseError to the caller.
void WriteAlarmMessageLog(const QString& alarmDateTime, const QString& service, const QString& ip,
                          const QString& port, const QString& message, const QString& serviceStatus);

// The hourly clean-up of the log files and the alarm history dated the configured number of days back.
void HouseKeepLogs();
