#include "database/ResultReader.h"

#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "database/dbcomFunc.h"

#include <QHash>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

namespace {

const char* const kMillisecondFormat = "yyyy-MM-dd HH:mm:ss.zzz";

QString timeValue(const QDateTime& t)
{
    return QuoteSqlText(t.toString(QString::fromLatin1(kMillisecondFormat)));
}

QDateTime timeFrom(const QVariant& v)
{
    // "%Y-%m-%d %H:%i:%s.%f" gives microseconds; the stored times hold milliseconds.
    return QDateTime::fromString(v.toString().left(23), QString::fromLatin1(kMillisecondFormat));
}

// The raw results of the range in one service's index range.
QString rawRange(const ResponseTimesRequest& r)
{
    return QStringLiteral(" from service_result where service_id=") + QString::number(r.serviceId) +
           QStringLiteral(" and checked_at>=") + timeValue(r.from) + QStringLiteral(" and checked_at<") +
           timeValue(r.to);
}

// The raw results summed in slices of equal length, the counts of the range with them.
void readRawPoints(QSqlDatabase& db, const ResponseTimesRequest& r, ResponseTimes& out)
{
    const qint64 span = std::max<qint64>(1, r.from.secsTo(r.to));
    const qint64 slice = std::max<qint64>(1, (span + r.maxPoints - 1) / std::max(1, r.maxPoints));
    QSqlQuery q = RunOnConnection(
        db, QStringLiteral("select timestampdiff(SECOND,") + timeValue(r.from) +
                QStringLiteral(",checked_at) div ") + QString::number(slice) +
                QStringLiteral(" as slice,count(*),sum(passed),avg(if(passed=1,response_ms,null)),"
                               "min(if(passed=1,response_ms,null)),max(if(passed=1,response_ms,null))") +
                rawRange(r) + QStringLiteral(" group by slice order by slice"));
    while (q.next()) {
        ResponsePoint p;
        p.at = r.from.addSecs(q.value(0).toLongLong() * slice + slice / 2);
        p.checks = q.value(1).toLongLong();
        p.passes = q.value(2).toLongLong();
        out.checks += p.checks;
        out.passes += p.passes;
        if (q.value(3).isNull())
            continue;
        p.avgMs = q.value(3).toDouble();
        p.minMs = q.value(4).toInt();
        p.maxMs = q.value(5).toInt();
        out.points.append(p);
    }
}

// The summaries of the days that start within the range, up to the day that holds its end.
QString dailyRange(const ResponseTimesRequest& r)
{
    const QDate first = r.from.time() == QTime(0, 0) ? r.from.date() : r.from.date().addDays(1);
    return QStringLiteral(" from service_day where service_id=") + QString::number(r.serviceId) +
           QStringLiteral(" and day>=") + QuoteSqlText(first.toString(Qt::ISODate)) +
           QStringLiteral(" and day<=") + QuoteSqlText(r.to.date().toString(Qt::ISODate));
}

bool isDaily(const ResponseTimesRequest& r)
{
    return ResponseRangeIsDaily(int(std::ceil(double(r.from.secsTo(r.to)) / 86400.0)), r.keepDays);
}

std::optional<int> optionalInt(const QVariant& v)
{
    return v.isNull() ? std::nullopt : std::optional<int>(v.toInt());
}

void readDailyPoints(QSqlDatabase& db, const ResponseTimesRequest& r, ResponseTimes& out)
{
    QSqlQuery q = RunOnConnection(
        db, QStringLiteral("select DATE_FORMAT(day,\"%Y-%m-%d\"),checks,passes,avg_ms,min_ms,max_ms") +
                dailyRange(r) + QStringLiteral(" order by day"));
    while (q.next()) {
        ResponsePoint p;
        p.at = QDateTime(QDate::fromString(q.value(0).toString(), Qt::ISODate), QTime(0, 0));
        p.checks = q.value(1).toLongLong();
        p.passes = q.value(2).toLongLong();
        out.checks += p.checks;
        out.passes += p.passes;
        if (q.value(3).isNull())
            continue;
        p.avgMs = q.value(3).toDouble();
        p.minMs = q.value(4).toInt();
        p.maxMs = q.value(5).toInt();
        out.points.append(p);
    }
}

// Results whose verdict differs from the result before them (in the order of time, then id),
// newest first. The window function runs over the service's index range of the raw results
// (which the index holds whole); the details are then read for the changes alone.
void readChanges(QSqlDatabase& db, const ResponseTimesRequest& r, ResponseTimes& out)
{
    const int limit = std::max(1, r.maxChanges);
    QSqlQuery q = RunOnConnection(
        db, QStringLiteral("select id,DATE_FORMAT(checked_at,\"%Y-%m-%d %H:%i:%s.%f\"),passed from "
                           "(select id,checked_at,passed,lag(passed) over (order by checked_at,id) "
                           "as before_passed") +
                rawRange(r) +
                QStringLiteral(") t where passed<>before_passed order by checked_at desc,id desc limit ") +
                QString::number(limit + 1));
    QVector<qint64> ids;
    while (q.next()) {
        if (out.changes.size() == limit) {
            out.moreChanges = true;
            break;
        }
        ids.append(q.value(0).toLongLong());
        out.changes.append({timeFrom(q.value(1)), q.value(2).toInt() != 0, QString()});
    }
    if (ids.isEmpty())
        return;
    QStringList list;
    for (const qint64 id : ids)
        list << QString::number(id);
    QHash<qint64, QString> details;
    QSqlQuery d = RunOnConnection(db, QStringLiteral("select id,detail from service_result where id in (") +
                                          list.join(QLatin1Char(',')) + QLatin1Char(')'));
    while (d.next())
        details.insert(d.value(0).toLongLong(), d.value(1).toString());
    for (int i = 0; i < ids.size(); ++i)
        out.changes[i].detail = details.value(ids[i]);
}

} // namespace

QVector<ResultServiceChoice> ReadResultServices(QSqlDatabase& db)
{
    QSqlQuery q = RunOnConnection(db, QStringLiteral("select id,") + ListedIpSql() +
                                          QStringLiteral(" as host,service,port from service order by host,"
                                                         "service,port,id"));
    QVector<ResultServiceChoice> services;
    while (q.next())
        services.append(
            {q.value(0).toInt(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
    return services;
}

int ResponseRangeDays(ResponseRange range)
{
    switch (range) {
    case ResponseRange::Day:
        return 1;
    case ResponseRange::Week:
        return 7;
    case ResponseRange::Month:
        return 30;
    case ResponseRange::Year:
        break;
    }
    return 365;
}

bool ResponseRangeIsDaily(int days, int keepDays)
{
    return days > keepDays;
}

ResponseTimes ReadResponseTimes(QSqlDatabase& db, const ResponseTimesRequest& request)
{
    ResponseTimes out;
    out.daily = isDaily(request);
    if (out.daily)
        readDailyPoints(db, request, out);
    else
        readRawPoints(db, request, out);
    readChanges(db, request, out);
    return out;
}

ResponseRowCursor::ResponseRowCursor(const DatabaseLogin& login, const ResponseTimesRequest& request,
                                     int batch)
    : m_session(login, QStringLiteral("response-row-cursor")), m_request(request),
      m_batch(std::max(1, batch)), m_daily(isDaily(request))
{
}

ResponseRowCursor::~ResponseRowCursor() = default;

qint64 ResponseRowCursor::Count()
{
    QSqlQuery q = RunOnConnection(connection(), QStringLiteral("select count(*)") +
                                                    (m_daily ? dailyRange(m_request) : rawRange(m_request)));
    return q.next() ? q.value(0).toLongLong() : 0;
}

bool ResponseRowCursor::NextResults(std::vector<CheckResultRow>& rows)
{
    if (m_done || m_daily)
        return false;
    QString sql =
        QStringLiteral("select id,DATE_FORMAT(checked_at,\"%Y-%m-%d %H:%i:%s.%f\"),passed,response_ms,"
                       "detail") +
        rawRange(m_request);
    if (m_afterId > 0) {
        // After the last row handed over, in the order of time and id: a range on the index.
        const QString at = timeValue(m_afterAt);
        sql += QStringLiteral(" and (checked_at>") + at + QStringLiteral(" or (checked_at=") + at +
               QStringLiteral(" and id>") + QString::number(m_afterId) + QStringLiteral("))");
    }
    sql += QStringLiteral(" order by checked_at,id limit ") + QString::number(m_batch);
    QSqlQuery q = RunOnConnection(connection(), sql);
    int n = 0;
    while (q.next()) {
        ++n;
        m_afterId = q.value(0).toLongLong();
        m_afterAt = timeFrom(q.value(1));
        rows.push_back({m_request.serviceId, m_afterAt, q.value(2).toInt() != 0, q.value(3).toInt(),
                        q.value(4).toString()});
    }
    m_done = n < m_batch;
    return !m_done;
}

bool ResponseRowCursor::NextDays(std::vector<ServiceDayRow>& days)
{
    if (m_done || !m_daily)
        return false;
    // At most 3,650 days: one batch.
    QSqlQuery q = RunOnConnection(
        connection(),
        QStringLiteral("select DATE_FORMAT(day,\"%Y-%m-%d\"),checks,passes,min_ms,avg_ms,max_ms,"
                       "p95_ms,closed") +
            dailyRange(m_request) + QStringLiteral(" order by day"));
    while (q.next()) {
        ServiceDayRow d;
        d.ServiceId = m_request.serviceId;
        d.Day = QDate::fromString(q.value(0).toString(), Qt::ISODate);
        d.Checks = q.value(1).toInt();
        d.Passes = q.value(2).toInt();
        d.MinMs = optionalInt(q.value(3));
        if (!q.value(4).isNull())
            d.AvgMs = q.value(4).toDouble();
        d.MaxMs = optionalInt(q.value(5));
        d.P95Ms = optionalInt(q.value(6));
        d.Closed = q.value(7).toInt() != 0;
        days.push_back(d);
    }
    m_done = true;
    return false;
}
