#include "database/AlarmStateStore.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd HH:mm:ss";

QString timeValue(const QDateTime& t)
{
    return t.isValid() ? QuoteSqlText(t.toString(QString::fromLatin1(kTimeFormat))) : QStringLiteral("NULL");
}

QDateTime timeOf(const QVariant& v)
{
    if (v.isNull())
        return QDateTime();
    return QDateTime::fromString(v.toString().left(19).replace(QLatin1Char('T'), QLatin1Char(' ')),
                                 QString::fromLatin1(kTimeFormat));
}

} // namespace

bool ServiceAlarmState::operator==(const ServiceAlarmState& o) const
{
    return State == o.State && Failures == o.Failures && Passes == o.Passes && ChangedAt == o.ChangedAt &&
           ProblemSentAt == o.ProblemSentAt && RemindedAt == o.RemindedAt &&
           AcknowledgedAt == o.AcknowledgedAt && MutedUntil == o.MutedUntil;
}

namespace AlarmStateStore {

QString WriteStatement(int serviceId, const ServiceAlarmState& s)
{
    return QStringLiteral(
               "replace into service_alarm_state (service_id,state,failures,passes,changed_at,"
               "problem_sent_at,reminded_at,acknowledged_at,muted_until) values (%1,%2,%3,%4,%5,%6,%7,%8,%9)")
        .arg(QString::number(serviceId), QuoteSqlText(s.State), QString::number(s.Failures),
             QString::number(s.Passes), timeValue(s.ChangedAt), timeValue(s.ProblemSentAt),
             timeValue(s.RemindedAt), timeValue(s.AcknowledgedAt), timeValue(s.MutedUntil));
}

namespace {

const char* const kSelectStates =
    "select service_id,state,failures,passes,DATE_FORMAT(changed_at,\"%Y-%m-%d %H:%i:%s\"),"
    "DATE_FORMAT(problem_sent_at,\"%Y-%m-%d %H:%i:%s\"),DATE_FORMAT(reminded_at,\"%Y-%m-%d "
    "%H:%i:%s\"),DATE_FORMAT(acknowledged_at,\"%Y-%m-%d %H:%i:%s\"),DATE_FORMAT(muted_until,"
    "\"%Y-%m-%d %H:%i:%s\") from service_alarm_state";

ServiceAlarmState stateOf(const QSqlQuery& q)
{
    ServiceAlarmState s;
    s.State = q.value(1).toString();
    s.Failures = q.value(2).toInt();
    s.Passes = q.value(3).toInt();
    s.ChangedAt = timeOf(q.value(4));
    s.ProblemSentAt = timeOf(q.value(5));
    s.RemindedAt = timeOf(q.value(6));
    s.AcknowledgedAt = timeOf(q.value(7));
    s.MutedUntil = timeOf(q.value(8));
    return s;
}

} // namespace

ServiceAlarmState ReadForUpdate(int serviceId)
{
    QSqlQuery& q = DMQuorvel().ExecSelect(QString::fromLatin1(kSelectStates) +
                                          QStringLiteral(" where service_id=%1 for update").arg(serviceId));
    return q.next() ? stateOf(q) : ServiceAlarmState();
}

QHash<int, ServiceAlarmState> ReadAll()
{
    QHash<int, ServiceAlarmState> states;
    QSqlQuery& q = DMQuorvel().ExecSelect(QString::fromLatin1(kSelectStates));
    while (q.next())
        states.insert(q.value(0).toInt(), stateOf(q));
    return states;
}

} // namespace AlarmStateStore
