#pragma once

// What one final result of a scheduled check means for the service's alarms, under the alarm
// rules: pure logic on the service's alarm state and the time, so that every transition is
// tested without a database, a pool or a clock.

#include "core/AlarmRules.h"
#include "database/AlarmStateStore.h"

#include <QDateTime>

enum class AlarmAction
{
    None,
    Problem,  // the problem alarm
    Reminder, // the problem alarm again, as a reminder
    Recovery, // the recovery notice
};

// Brings `state` forward by one final result (a pass, or a failure after the check's own retry)
// at `now` and returns what to send. The state keeps the run of failures and passes, when the
// service went down, and what was sent; a muted service goes through the same states and sends
// nothing.
AlarmAction DecideAlarm(const AlarmRules& rules, ServiceAlarmState& state, bool passed, const QDateTime& now);

// Marks the problem of a failed service as seen: no reminders until it recovers. False (and
// nothing changed) when the service is not failed.
bool AcknowledgeAlarm(ServiceAlarmState& state, const QDateTime& now);

// The texts of a reminder and of a recovery notice. `detail` is the check's detail text, which
// begins with "[host:port]"; `hostPort` is that "[host:port]".
QString ReminderText(const QString& detail, const ServiceAlarmState& state);
QString RecoveryText(const QString& hostPort, const ServiceAlarmState& before, const QDateTime& now);
