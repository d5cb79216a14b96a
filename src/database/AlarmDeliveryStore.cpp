#include "database/AlarmDeliveryStore.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>
#include <QVariant>

namespace AlarmDeliveryStore {

qlonglong Insert(const AlarmDeliveryRow& row)
{
    TDMQuorvel& dm = DMQuorvel();
    dm.ExecUpdate(
        QStringLiteral("insert into alarm_delivery (sent_at,message,method,recipient,status) values "
                       "(%1,%2,%3,%4,%5)")
            .arg(QuoteSqlText(row.SentAt), QuoteSqlText(row.Message.left(2048)), QuoteSqlText(row.Method),
                 QuoteSqlText(row.Recipient.left(2048)), QuoteSqlText(row.Status)));
    return dm.LastInsertId();
}

void SetStatus(qlonglong id, const QString& status)
{
    DMQuorvel().ExecUpdate(QStringLiteral("update alarm_delivery set status=%1 where id=%2")
                               .arg(QuoteSqlText(status), QString::number(id)));
}

std::vector<AlarmDeliveryRow> Newest(int count, qlonglong afterId)
{
    std::vector<AlarmDeliveryRow> rows;
    QSqlQuery q = DMQuorvel().OpenView(
        QStringLiteral("select id,DATE_FORMAT(sent_at,\"%Y-%m-%d %H:%i:%s\"),message,method,recipient,status "
                       "from alarm_delivery where id>%1 order by id desc limit %2")
            .arg(QString::number(afterId), QString::number(count)));
    while (q.next()) {
        rows.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                        q.value(3).toString(), q.value(4).toString(), q.value(5).toString()});
    }
    return rows;
}

qlonglong NewestId()
{
    QSqlQuery& q = DMQuorvel().ExecSelect(QStringLiteral("select coalesce(max(id),0) from alarm_delivery"));
    return q.next() ? q.value(0).toLongLong() : 0;
}

void DeleteOlderThan(int days)
{
    DMQuorvel().ExecUpdate(
        QStringLiteral("delete from alarm_delivery where sent_at < now() - interval %1 day").arg(days));
}

} // namespace AlarmDeliveryStore
