#pragma once

// The alarm state of each service (table service_alarm_state): where it stands in its run of
// failures or passes, and what was sent about it, so that a restart neither repeats a problem
// alarm already sent nor forgets a recovery that is due.

#include <QDateTime>
#include <QHash>
#include <QString>

struct ServiceAlarmState
{
    QString State = QStringLiteral("Unknown"); // "Passed", "Failed" or "Unknown"
    int Failures = 0;                          // final failures in a row
    int Passes = 0;                            // passes in a row
    QDateTime ChangedAt;                       // when State last changed (for "Failed": down since)
    QDateTime ProblemSentAt;                   // the problem alarm of this failure went out; null: none
    QDateTime RemindedAt;                      // the last reminder; null: none
    QDateTime AcknowledgedAt;                  // acknowledged: no reminders until it recovers
    QDateTime MutedUntil;                      // no alarm and no recovery before this time

    bool operator==(const ServiceAlarmState& other) const;
};

namespace AlarmStateStore {

// The statement that stores the state of service `id` (insert, or replace the stored row).
QString WriteStatement(int serviceId, const ServiceAlarmState& state);
// The stored state of one service, its row locked until the transaction ends (a fresh state when
// it has none), so that the state is read and written by one monitor at a time. Throws
// DatabaseError.
ServiceAlarmState ReadForUpdate(int serviceId);
// Every stored state by service id. Throws DatabaseError.
QHash<int, ServiceAlarmState> ReadAll();

} // namespace AlarmStateStore
