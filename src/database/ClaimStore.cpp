#include "database/ClaimStore.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

// Rows per insert statement.
constexpr int kClaimsPerStatement = 500;

QString minuteText(const QDateTime& minute)
{
    return QuoteSqlText(minute.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace

namespace ClaimStore {

void Register(const QString& name, const QString& host, qint64 pid, const QString& version, int tickMs)
{
    DMQuorvel().ExecUpdate(
        QStringLiteral(
            "insert into engine_instance (name,host,pid,version,started,heartbeat,tick_ms) values "
            "(%1,%2,%3,%4,now(),now(),%5) on duplicate key update host=values(host),pid=values(pid),"
            "version=values(version),started=now(),heartbeat=now(),last_tick=NULL,"
            "tick_ms=values(tick_ms)")
            .arg(QuoteSqlText(name), QuoteSqlText(host), QString::number(pid), QuoteSqlText(version),
                 QString::number(tickMs)));
}

void Heartbeat(const QString& name, const QString& host, qint64 pid, const QString& version, int tickMs)
{
    DMQuorvel().ExecUpdate(
        QStringLiteral("insert into engine_instance (name,host,pid,version,started,heartbeat,tick_ms) values "
                       "(%1,%2,%3,%4,now(),now(),%5) on duplicate key update heartbeat=now()")
            .arg(QuoteSqlText(name), QuoteSqlText(host), QString::number(pid), QuoteSqlText(version),
                 QString::number(tickMs)));
}

void Ticked(const QString& name)
{
    DMQuorvel().ExecUpdate(
        QStringLiteral("update engine_instance set last_tick=now(3),heartbeat=now() where name=") +
        QuoteSqlText(name));
}

std::vector<Instance> Instances(int staleSeconds)
{
    std::vector<Instance> all;
    QSqlQuery query = DMQuorvel().OpenView(
        QStringLiteral(
            "select name,heartbeat>now()-interval %1 second,"
            "if(last_tick is null,-1,timestampdiff(microsecond,last_tick,now(3)) div 1000),tick_ms "
            "from engine_instance")
            .arg(staleSeconds));
    while (query.next()) {
        Instance i;
        i.Name = query.value(0).toString();
        i.Live = query.value(1).toInt() != 0;
        i.MsSinceTick = query.value(2).toLongLong();
        i.TickMs = query.value(3).toInt();
        all.push_back(i);
    }
    return all;
}

void Claim(const QDateTime& minute, const QString& name, const QList<int>& ids)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString head =
        QStringLiteral("insert ignore into service_claim (service_id,minute,instance,claimed_at) values ");
    const QString tail = QLatin1Char(',') + minuteText(minute) + QLatin1Char(',') + QuoteSqlText(name) +
                         QStringLiteral(",now())");
    for (int from = 0; from < ids.size(); from += kClaimsPerStatement) {
        QString sql = head;
        const int to = std::min<int>(ids.size(), from + kClaimsPerStatement);
        for (int i = from; i < to; ++i) {
            if (i > from)
                sql += QLatin1Char(',');
            sql += QLatin1Char('(') + QString::number(ids[i]) + tail;
        }
        // Two monitors claiming on different nodes of a cluster may conflict at the commit: the
        // second try sees the other's rows and leaves them.
        RunRetryingConflict(dm, [&dm, &sql] { dm.ExecUpdate(sql); });
    }
}

int TakeOverStale(const QDateTime& minute, const QString& name, int staleSeconds)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString sql =
        QStringLiteral("update service_claim c join engine_instance i on i.name=c.instance set c.instance=%1,"
                       "c.claimed_at=now() where c.minute=%2 and c.done_at is null and c.instance<>%1 and "
                       "i.heartbeat<now()-interval %3 second")
            .arg(QuoteSqlText(name), minuteText(minute))
            .arg(staleSeconds);
    int taken = 0;
    RunRetryingConflict(dm, [&] {
        dm.ExecUpdate(sql);
        taken = dm.SQLQuery_update_tmp.numRowsAffected();
    });
    return taken;
}

QHash<int, QString> Claims(const QDateTime& minute)
{
    QHash<int, QString> claims;
    QSqlQuery query = DMQuorvel().OpenView(
        QStringLiteral("select service_id,instance from service_claim where minute=") + minuteText(minute));
    while (query.next())
        claims.insert(query.value(0).toInt(), query.value(1).toString());
    return claims;
}

QString DoneStatement(int serviceId, const QDateTime& minute, const QString& name)
{
    return QStringLiteral(
               "update service_claim set done_at=now() where service_id=%1 and minute=%2 and instance=%3")
        .arg(QString::number(serviceId), minuteText(minute), QuoteSqlText(name));
}

void DeleteOld()
{
    DMQuorvel().ExecUpdate(QStringLiteral("delete from service_claim where minute<now()-interval 1 day"));
}

} // namespace ClaimStore
