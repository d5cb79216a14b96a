#include "database/AlarmHistoryReader.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

QSqlQuery RunOnConnection(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        const QString text = query.lastError().text().trimmed();
        throw DatabaseError(text.isEmpty() ? QStringLiteral("unknown database error") : text);
    }
    return query;
}

AlarmHistoryPage ReadAlarmHistoryPage(QSqlDatabase& db, const AlarmHistoryPageRequest& request)
{
    AlarmHistoryPage page;
    page.anchorId = request.anchorId;
    if (page.anchorId <= 0) {
        QSqlQuery newest = RunOnConnection(db, QStringLiteral("select max(id) from alarm_msg_history"));
        page.anchorId = newest.next() ? newest.value(0).toLongLong() : 0;
    }

    const int size = std::max(1, request.size);
    QString sql = QStringLiteral("select id,DATE_FORMAT(alarm_datetime,\"%Y-%m-%d %H:%i:%s\") as alarm_time,"
                                 "service,ip,port,msg,service_status from alarm_msg_history where id<=") +
                  QString::number(page.anchorId);
    if (request.hasAfter) {
        // Written as a range on alarm_datetime, so that the index on it serves the read.
        const QString at = QuoteSqlText(request.after.dateTime);
        sql += QStringLiteral(" and (alarm_datetime<") + at + QStringLiteral(" or (alarm_datetime=") + at +
               QStringLiteral(" and id<") + QString::number(request.after.id) + QStringLiteral("))");
    }
    // One row beyond the page tells whether another page follows.
    sql += QStringLiteral(" order by alarm_datetime desc,id desc limit ") + QString::number(size + 1);
    page.statement = sql;

    QSqlQuery query = RunOnConnection(db, sql);
    page.entries.reserve(size);
    while (query.next()) {
        if (page.entries.size() == size) {
            page.more = true;
            break;
        }
        AlarmHistoryEntry e;
        e.id = query.value(0).toLongLong();
        e.dateTime = query.value(1).toString().left(19);
        e.service = query.value(2).toString();
        e.ip = query.value(3).toString();
        e.port = query.value(4).toString();
        e.msg = query.value(5).toString();
        e.serviceStatus = query.value(6).toString();
        page.entries.append(e);
    }
    return page;
}

QString HistoryChartStatement(HistoryChart chart)
{
    switch (chart) {
    case HistoryChart::Host:
        return QStringLiteral("select ip, count(*) as total from alarm_msg_history group by ip");
    case HistoryChart::Service:
        return QStringLiteral("select service, count(*) as total from alarm_msg_history group by service");
    case HistoryChart::Date:
        break;
    }
    return QStringLiteral(
        "select DATE_FORMAT(alarm_datetime,\"%Y-%m-%d\") as alarm_datetime, count(*) as total "
        "from alarm_msg_history group by DATE_FORMAT(alarm_datetime,\"%Y-%m-%d\")");
}

QVector<ChartBar> ReadHistoryChart(QSqlDatabase& db, HistoryChart chart)
{
    QSqlQuery query = RunOnConnection(db, HistoryChartStatement(chart));
    QVector<ChartBar> bars;
    while (query.next())
        bars.append({query.value(0).toString(), query.value(1).toLongLong()});
    return bars;
}

qint64 SessionConnectionId(QSqlDatabase& db)
{
    QSqlQuery id(db);
    return id.exec(QStringLiteral("select connection_id()")) && id.next() ? id.value(0).toLongLong() : 0;
}

void KillSessionQuery(qint64 connectionId)
{
    DMQuorvel().ExecUpdate(QStringLiteral("KILL QUERY ") + QString::number(connectionId));
}

AlarmHistoryCursor::AlarmHistoryCursor(const DatabaseLogin& login, int pageSize)
    : m_session(login, QStringLiteral("alarm-history-cursor"))
{
    m_request.size = std::max(1, pageSize);
}

AlarmHistoryCursor::~AlarmHistoryCursor() = default;

qint64 AlarmHistoryCursor::Count()
{
    QSqlDatabase& db = connection();
    if (m_request.anchorId <= 0) {
        QSqlQuery newest = RunOnConnection(db, QStringLiteral("select max(id) from alarm_msg_history"));
        m_request.anchorId = newest.next() ? newest.value(0).toLongLong() : 0;
        if (m_request.anchorId <= 0) {
            m_done = true;
            return 0;
        }
    }
    QSqlQuery count =
        RunOnConnection(db, QStringLiteral("select count(*) from alarm_msg_history where id<=") +
                                QString::number(m_request.anchorId));
    return count.next() ? count.value(0).toLongLong() : 0;
}

bool AlarmHistoryCursor::Next(QVector<AlarmHistoryEntry>& entries)
{
    if (m_done)
        return false;
    const AlarmHistoryPage page = ReadAlarmHistoryPage(connection(), m_request);
    m_request.anchorId = page.anchorId;
    entries += page.entries;
    if (!page.more || page.entries.isEmpty() || page.anchorId <= 0) {
        m_done = true;
        return false;
    }
    m_request.hasAfter = true;
    m_request.after = page.entries.last().key();
    return true;
}
