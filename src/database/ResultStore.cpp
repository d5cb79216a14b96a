#include "database/ResultStore.h"

#include "database/DataModuleQuorvel.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <limits>

namespace {

const char* const kMillisecondFormat = "yyyy-MM-dd HH:mm:ss.zzz";
const char* const kDayFormat = "yyyy-MM-dd";

QString timeValue(const QDateTime& t)
{
    return QuoteSqlText(t.toString(QString::fromLatin1(kMillisecondFormat)));
}

QString dayValue(const QDate& d)
{
    return QuoteSqlText(d.toString(QString::fromLatin1(kDayFormat)));
}

QString doubleText(double v)
{
    return QString::number(v, 'g', 17);
}

std::optional<int> optionalInt(const QVariant& v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toInt();
}

// The running figures of one service's day within one batch of results.
struct DayPart
{
    int checks = 0;
    int passes = 0;
    double sumMs = 0;
    int minMs = std::numeric_limits<int>::max();
    int maxMs = std::numeric_limits<int>::min();
};

// One result as the values of the results' insert.
QString resultValues(const CheckResultRow& row)
{
    return QLatin1Char('(') + QString::number(row.ServiceId) + QLatin1Char(',') + timeValue(row.CheckedAt) +
           QLatin1Char(',') + (row.Passed ? QLatin1Char('1') : QLatin1Char('0')) + QLatin1Char(',') +
           QString::number(std::max(0, row.ResponseMs)) + QLatin1Char(',') +
           QuoteSqlText(row.Detail.left(ResultStore::kDetailLength)) + QLatin1Char(')');
}

// The statements that store `rows`: the results' inserts, then the days' insert-or-update.
QStringList appendStatements(const std::vector<CheckResultRow>& rows)
{
    QStringList statements;
    QMap<QPair<int, QDate>, DayPart> days;
    for (const CheckResultRow& row : rows) {
        DayPart& part = days[qMakePair(row.ServiceId, row.CheckedAt.date())];
        ++part.checks;
        if (row.Passed) {
            const int ms = std::max(0, row.ResponseMs);
            ++part.passes;
            part.sumMs += ms;
            part.minMs = std::min(part.minMs, ms);
            part.maxMs = std::max(part.maxMs, ms);
        }
    }

    for (std::size_t first = 0; first < rows.size(); first += ResultStore::kInsertBatch) {
        const std::size_t last = std::min(rows.size(), first + ResultStore::kInsertBatch);
        QString sql = QStringLiteral(
            "insert into service_result (service_id,checked_at,passed,response_ms,detail) values ");
        for (std::size_t i = first; i < last; ++i) {
            if (i > first)
                sql += QLatin1Char(',');
            sql += resultValues(rows[i]);
        }
        statements << sql;
    }

    // The mean is taken over the passes: it is updated before the passes are counted on, since
    // the server applies the assignments from left to right.
    QString sql =
        QStringLiteral("insert into service_day (service_id,day,checks,passes,min_ms,avg_ms,max_ms) values ");
    bool firstDay = true;
    for (auto it = days.cbegin(); it != days.cend(); ++it) {
        const DayPart& part = it.value();
        if (!firstDay)
            sql += QLatin1Char(',');
        firstDay = false;
        const bool timed = part.passes > 0;
        sql += QLatin1Char('(') + QString::number(it.key().first) + QLatin1Char(',') +
               dayValue(it.key().second) + QLatin1Char(',') + QString::number(part.checks) +
               QLatin1Char(',') + QString::number(part.passes) + QLatin1Char(',') +
               (timed ? QString::number(part.minMs) : QStringLiteral("NULL")) + QLatin1Char(',') +
               (timed ? doubleText(part.sumMs / part.passes) : QStringLiteral("NULL")) + QLatin1Char(',') +
               (timed ? QString::number(part.maxMs) : QStringLiteral("NULL")) + QLatin1Char(')');
    }
    sql += QStringLiteral(" on duplicate key update "
                          "avg_ms=if(values(passes)=0,avg_ms,if(passes=0 or avg_ms is null,values(avg_ms),"
                          "(avg_ms*passes+values(avg_ms)*values(passes))/(passes+values(passes)))),"
                          "min_ms=if(min_ms is null,values(min_ms),if(values(min_ms) is "
                          "null,min_ms,least(min_ms,values(min_ms)))),"
                          "max_ms=if(max_ms is null,values(max_ms),if(values(max_ms) is null,max_ms,"
                          "greatest(max_ms,values(max_ms)))),"
                          "checks=checks+values(checks),passes=passes+values(passes)");
    statements << sql;
    return statements;
}

} // namespace

namespace ResultStore {

void Append(const std::vector<CheckResultRow>& rows)
{
    if (rows.empty())
        return;
    const QStringList statements = appendStatements(rows);
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    for (const QString& sql : statements)
        dm.ExecUpdate(sql);
    transaction.Commit();
}

void Append(QSqlDatabase& db, const std::vector<CheckResultRow>& rows, bool* commitSent)
{
    if (commitSent)
        *commitSent = false;
    if (rows.empty())
        return;
    const QStringList statements = appendStatements(rows);
    if (!db.transaction())
        throw DatabaseError(db.lastError().text());
    QSqlQuery q(db);
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            const QString text = q.lastError().text();
            db.rollback();
            throw DatabaseError(text);
        }
    }
    if (commitSent)
        *commitSent = true;
    if (!db.commit()) {
        const QString text = db.lastError().text();
        db.rollback();
        throw DatabaseError(text);
    }
}

bool Contains(QSqlDatabase& db, const CheckResultRow& row)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from service_result where service_id=") +
                QString::number(row.ServiceId) + QStringLiteral(" and checked_at=") +
                timeValue(row.CheckedAt) + QStringLiteral(" and passed=") +
                (row.Passed ? QLatin1Char('1') : QLatin1Char('0')) + QStringLiteral(" and response_ms=") +
                QString::number(std::max(0, row.ResponseMs))) ||
        !q.next())
        throw DatabaseError(q.lastError().text());
    return q.value(0).toLongLong() > 0;
}

QList<QPair<int, QDate>> OpenDaysBefore(const QDate& day)
{
    QList<QPair<int, QDate>> open;
    QSqlQuery q = DMQuorvel().OpenView(
        QStringLiteral(
            "select service_id,DATE_FORMAT(day,\"%Y-%m-%d\") from service_day where closed=0 and day<") +
        dayValue(day) + QStringLiteral(" order by day,service_id"));
    while (q.next())
        open << qMakePair(q.value(0).toInt(),
                          QDate::fromString(q.value(1).toString(), QString::fromLatin1(kDayFormat)));
    return open;
}

void CloseDay(int serviceId, const QDate& day)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString range = QStringLiteral(" where service_id=") + QString::number(serviceId) +
                          QStringLiteral(" and checked_at>=") + dayValue(day) +
                          QStringLiteral(" and checked_at<") + dayValue(day.addDays(1));
    QSqlQuery totals = dm.OpenView(
        QStringLiteral("select count(*),coalesce(sum(passed),0),min(if(passed=1,response_ms,null)),"
                       "avg(if(passed=1,response_ms,null)),max(if(passed=1,response_ms,null)) "
                       "from service_result") +
        range);
    if (!totals.next())
        throw DatabaseError(QStringLiteral("no totals for the day"));
    const qlonglong checks = totals.value(0).toLongLong();
    const qlonglong passes = totals.value(1).toLongLong();
    const QString where = QStringLiteral(" where service_id=") + QString::number(serviceId) +
                          QStringLiteral(" and day=") + dayValue(day);
    if (checks == 0) {
        // Its results are gone (kept for fewer days than it stayed open): the running figures stay.
        dm.ExecUpdate(QStringLiteral("update service_day set closed=1") + where);
        return;
    }
    QString p95 = QStringLiteral("NULL");
    if (passes > 0) {
        // Nearest rank: the smallest time that at least 95 % of the passes do not exceed.
        const qlonglong rank = (passes * 95 + 99) / 100;
        QSqlQuery q = dm.OpenView(QStringLiteral("select response_ms from service_result") + range +
                                  QStringLiteral(" and passed=1 order by response_ms limit 1 offset ") +
                                  QString::number(rank - 1));
        if (q.next())
            p95 = QString::number(q.value(0).toLongLong());
    }
    const auto orNull = [](const QVariant& v) { return v.isNull() ? QStringLiteral("NULL") : v.toString(); };
    dm.ExecUpdate(QStringLiteral("update service_day set checks=") + QString::number(checks) +
                  QStringLiteral(",passes=") + QString::number(passes) + QStringLiteral(",min_ms=") +
                  orNull(totals.value(2)) + QStringLiteral(",avg_ms=") + orNull(totals.value(3)) +
                  QStringLiteral(",max_ms=") + orNull(totals.value(4)) + QStringLiteral(",p95_ms=") + p95 +
                  QStringLiteral(",closed=1") + where);
}

int DeleteOlderThan(const QDateTime& cutoff, int limit)
{
    QSqlQuery q = DMQuorvel().OpenView(QStringLiteral("delete from service_result where checked_at<") +
                                       timeValue(cutoff) + QStringLiteral(" order by id limit ") +
                                       QString::number(std::clamp(limit, 1, kDeleteSlice)));
    return q.numRowsAffected();
}

std::vector<ServiceDayRow> ReadDays(int serviceId, const QDate& from, const QDate& to)
{
    std::vector<ServiceDayRow> days;
    QSqlQuery q = DMQuorvel().OpenView(
        QStringLiteral("select service_id,DATE_FORMAT(day,\"%Y-%m-%d\"),checks,passes,min_ms,avg_ms,max_ms,"
                       "p95_ms,closed from service_day where service_id=") +
        QString::number(serviceId) + QStringLiteral(" and day>=") + dayValue(from) +
        QStringLiteral(" and day<=") + dayValue(to) + QStringLiteral(" order by day"));
    while (q.next()) {
        ServiceDayRow d;
        d.ServiceId = q.value(0).toInt();
        d.Day = QDate::fromString(q.value(1).toString(), QString::fromLatin1(kDayFormat));
        d.Checks = q.value(2).toInt();
        d.Passes = q.value(3).toInt();
        d.MinMs = optionalInt(q.value(4));
        if (!q.value(5).isNull())
            d.AvgMs = q.value(5).toDouble();
        d.MaxMs = optionalInt(q.value(6));
        d.P95Ms = optionalInt(q.value(7));
        d.Closed = q.value(8).toInt() != 0;
        days.push_back(d);
    }
    return days;
}

namespace {

// Rows of (service_id, checks, passes, newest response time or null, highest id).
QHash<int, UptimeCount> readCounts(QSqlQuery& q, qint64* lastId)
{
    QHash<int, UptimeCount> counts;
    while (q.next()) {
        UptimeCount& c = counts[q.value(0).toInt()];
        c.Checks = q.value(1).toLongLong();
        c.Passes = q.value(2).toLongLong();
        const QVariant last = q.value(3);
        c.LastResponseMs = last.isNull() || last.toString().isEmpty() ? -1 : last.toInt();
        *lastId = std::max(*lastId, q.value(4).toLongLong());
    }
    return counts;
}

} // namespace

QHash<int, UptimeCount> ReadUptime(const QDateTime& since, qint64* lastId)
{
    TDMQuorvel& dm = DMQuorvel();
    *lastId = 0;
    {
        QSqlQuery top = dm.OpenView(QStringLiteral("select coalesce(max(id),0) from service_result"));
        if (top.next())
            *lastId = top.value(0).toLongLong();
    }
    // The counts from the index by time alone; the newest response time of each service (of
    // any age) by one look into the index by service per service.
    QHash<int, UptimeCount> counts;
    {
        QSqlQuery q = dm.OpenView(
            QStringLiteral("select service_id,count(*),sum(passed) from service_result where checked_at>=") +
            timeValue(since) + QStringLiteral(" group by service_id"));
        while (q.next()) {
            UptimeCount& c = counts[q.value(0).toInt()];
            c.Checks = q.value(1).toLongLong();
            c.Passes = q.value(2).toLongLong();
        }
    }
    QSqlQuery q = dm.OpenView(QStringLiteral(
        "select r.service_id,r.response_ms from (select service_id,max(checked_at) m from service_result "
        "group by service_id) t join service_result r on r.service_id=t.service_id and r.checked_at=t.m "
        "order by r.id"));
    while (q.next())
        counts[q.value(0).toInt()].LastResponseMs = q.value(1).toInt();
    return counts;
}

QHash<int, UptimeCount> ReadUptimeChange(qint64 afterId, const QDateTime& oldSince, const QDateTime& newSince,
                                         qint64* lastId)
{
    const QString after = QString::number(afterId);
    QSqlQuery q = DMQuorvel().OpenView(
        QStringLiteral(
            "select service_id,sum(c),sum(p),substring_index(group_concat(r order by id desc),\",\",1),"
            "max(id) from (select id,service_id,1 c,passed p,response_ms r from service_result "
            "where id>") +
        after + QStringLiteral(" and checked_at>=") + timeValue(newSince) +
        QStringLiteral(
            " union all select id,service_id,-1,-passed,null from service_result where checked_at>=") +
        timeValue(oldSince) + QStringLiteral(" and checked_at<") + timeValue(newSince) +
        QStringLiteral(" and id<=") + after + QStringLiteral(") t group by service_id"));
    *lastId = afterId;
    return readCounts(q, lastId);
}

} // namespace ResultStore
