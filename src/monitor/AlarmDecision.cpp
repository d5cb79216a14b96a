#include "monitor/AlarmDecision.h"

namespace {

const char* const kPassed = "Passed";
const char* const kFailed = "Failed";

bool muted(const ServiceAlarmState& s, const QDateTime& now)
{
    return s.MutedUntil.isValid() && now < s.MutedUntil;
}

void enter(ServiceAlarmState& s, const char* state, const QDateTime& now)
{
    if (s.State != QLatin1String(state)) {
        s.State = QString::fromLatin1(state);
        s.ChangedAt = now;
    }
}

// The incident is over: what was sent about it no longer counts.
void closeIncident(ServiceAlarmState& s)
{
    s.ProblemSentAt = QDateTime();
    s.RemindedAt = QDateTime();
    s.AcknowledgedAt = QDateTime();
}

AlarmAction failure(const AlarmRules& rules, ServiceAlarmState& s, const QDateTime& now)
{
    s.Passes = 0;
    s.Failures += 1;
    enter(s, kFailed, now);
    if (muted(s, now) || s.Failures < rules.FailuresBeforeAlarm)
        return AlarmAction::None;
    if (rules.Notify == AlarmRules::NotifyMode::EveryFailure || !s.ProblemSentAt.isValid()) {
        s.ProblemSentAt = now;
        s.RemindedAt = QDateTime();
        return AlarmAction::Problem;
    }
    if (rules.RemindMinutes <= 0 || s.AcknowledgedAt.isValid())
        return AlarmAction::None;
    const QDateTime last = s.RemindedAt.isValid() ? s.RemindedAt : s.ProblemSentAt;
    // Due at the tick that reaches the interval; a few seconds of jitter in the tick do not
    // push a reminder to the next one.
    if (last.secsTo(now) + 5 < rules.RemindMinutes * 60)
        return AlarmAction::None;
    s.RemindedAt = now;
    return AlarmAction::Reminder;
}

AlarmAction pass(const AlarmRules& rules, ServiceAlarmState& s, const QDateTime& now)
{
    s.Failures = 0;
    s.Passes += 1;
    if (!s.ProblemSentAt.isValid()) {
        // Nothing was said about a failure (below the threshold, muted): nothing to take back.
        enter(s, kPassed, now);
        closeIncident(s);
        return AlarmAction::None;
    }
    if (s.Passes < rules.PassesBeforeRecovery)
        return AlarmAction::None; // still the same incident: a failure now raises no new alarm
    const bool announce = rules.Recovery && !muted(s, now);
    enter(s, kPassed, now);
    closeIncident(s);
    return announce ? AlarmAction::Recovery : AlarmAction::None;
}

} // namespace

AlarmAction DecideAlarm(const AlarmRules& rules, ServiceAlarmState& state, bool passed, const QDateTime& now)
{
    return passed ? pass(rules, state, now) : failure(rules, state, now);
}

bool AcknowledgeAlarm(ServiceAlarmState& state, const QDateTime& now)
{
    if (state.State != QLatin1String(kFailed))
        return false;
    state.AcknowledgedAt = now;
    return true;
}

QString ReminderText(const QString& detail, const ServiceAlarmState& state)
{
    return QStringLiteral("Reminder : ") + detail + QStringLiteral(" (down since ") +
           state.ChangedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QLatin1Char(')');
}

QString RecoveryText(const QString& hostPort, const ServiceAlarmState& before, const QDateTime& now)
{
    const qint64 minutes =
        before.ChangedAt.isValid() ? qMax<qint64>(0, before.ChangedAt.secsTo(now) / 60) : 0;
    return hostPort + QStringLiteral(" Recovered : passed again after %1 min").arg(minutes);
}
