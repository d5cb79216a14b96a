#pragma once

#include <QString>

// Levels of a system log line, as the options dialog lists them.
namespace LogLevel {
enum : int { NONE = 0, DEBUG, INFORMATIONAL, NOTICE, WARMING, ERROR, CRITICAL, ALERT, EMERGENCY };
}

// "[INFO]", "[WARMING]", ...; the empty text for NONE and any unknown number.
QString LevelText(int level);

// Appends "yyyy-MM-dd HH:mm:ss [LEVEL] message" to today's system log. Main thread only.
void WriteSystemLog(const QString& message, int level);

// Records the final failure of a check: one line in today's alarm message log file, then one
// alarm_msg_history row. A failing insert throws DatabaseError to the caller.
void WriteAlarmMessageLog(const QString& alarmDateTime, const QString& service, const QString& ip,
                          const QString& port, const QString& message, const QString& serviceStatus);

// The hourly clean-up of the log file and alarm history dated the configured number of days back.
void HouseKeepLogs();

// The application's error hook for errors no handler caught: the unhandled-error text, " : " and
// the error's own text go to the system log at ERROR and into an error box; the program goes on.
void ApplicationEventsException(const QString& errorText);
