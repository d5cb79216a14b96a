#pragma once

#include <QString>

// Records the final failure of a check: one line in today's alarm message log file, then one
// alarm_msg_history row. A failing insert throws DatabaseError to the caller.
void WriteAlarmMessageLog(const QString& alarmDateTime, const QString& service, const QString& ip,
                          const QString& port, const QString& message, const QString& serviceStatus);

// The hourly clean-up of the log files and the alarm history dated the configured number of days
// back, all at once (the alarm history in slices of AlarmHistoryDeleteSlice, one after another).
void HouseKeepLogs();
// The rows of the alarm history that housekeeping deletes are those before this time.
QString AlarmHistoryCutoff();
// Deletes at most `limit` (at most 10,000) alarm-history rows dated before `cutoff` ("yyyy-MM-dd
// HH:mm:ss"), oldest id first; returns how many went. Throws DatabaseError.
int DeleteAlarmHistorySlice(const QString& cutoff, int limit = 10000);
