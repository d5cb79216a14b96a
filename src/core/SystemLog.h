#pragma once

#include <QString>

// Levels of a system log line, as the options dialog lists them.
namespace LogLevel {
enum : int
{
    NONE = 0,
    DEBUG,
    INFORMATIONAL,
    NOTICE,
    WARMING,
    ERROR,
    CRITICAL,
    ALERT,
    EMERGENCY
};
}

// "[INFO]", "[WARMING]", ...; the empty text for NONE and any unknown number.
QString LevelText(int level);

// Appends "yyyy-MM-dd HH:mm:ss [LEVEL] message" to today's system log. Main thread only.
void WriteSystemLog(const QString& message, int level);

// The file half of the alarm message log: one line in today's alarm message log file when that
// file is enabled; a failed write shows the ERR00206 warning.
void WriteAlarmMessageLogFile(const QString& alarmDateTime, const QString& service, const QString& ip,
                              const QString& port, const QString& message);

// The file half of the hourly clean-up: the system and alarm message log files dated the
// configured number of days back.
void HouseKeepLogFiles();

// "yyyy-MM-dd" of the day `days` back from today.
QString HouseKeepDay(int days);

// The application's error hook for errors no handler caught: the unhandled-error text, " : " and
// the error's own text go to the system log at ERROR and into an error box; the program goes on.
void ApplicationEventsException(const QString& errorText);
