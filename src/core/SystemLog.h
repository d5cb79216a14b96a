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
// Control characters of the message (CR and LF included) are written as blanks. When the log
// cannot be written, the program is asked to quit and the error box is shown, once.
void WriteSystemLog(const QString& message, int level);

// The file half of the alarm message log: one line in today's alarm message log file when that
// file is enabled (control characters written as blanks); a failed write shows the ERR00206
// warning, once for a run of failed writes.
void WriteAlarmMessageLogFile(const QString& alarmDateTime, const QString& service, const QString& ip,
                              const QString& port, const QString& message);

// Forgets earlier failures of both logs (a new run, or a test), so their boxes show again.
void ResetLogFailures();

// The file half of the hourly clean-up: removes every system and alarm message log file (by its
// "<name>yyyy-MM-dd.log" pattern) dated the configured number of days back or earlier; other
// files in those folders are left alone.
void HouseKeepLogFiles();

// `fileName` inside `folder`, with one separator between them whether or not `folder` ends in
// one; an empty folder gives the bare file name.
QString LogFilePath(const QString& folder, const QString& fileName);

// "yyyy-MM-dd" of the day `days` back from today.
QString HouseKeepDay(int days);

// The application's error hook for errors no handler caught: the unhandled-error text, " : " and
// the error's own text go to the system log at ERROR and into an error box; the program goes on.
void ApplicationEventsException(const QString& errorText);
