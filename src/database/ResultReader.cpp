#include "database/ResultReader.h"

#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "database/dbcomFunc.h"

#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>

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

void readDailyPoints(QSqlDatabase& db, const ResponseTimesRequest& r, ResponseTimes& out)
{
    // The days that start within the range, up to the day that holds its end.
    const QDate first = r.from.time() == QTime(0, 0) ? r.from.date() : r.from.date().addDays(1);
    QSqlQuery q = RunOnConnection(
        db, QStringLiteral("select DATE_FORMAT(day,\"%Y-%m-%d\"),checks,passes,avg_ms,min_ms,max_ms from "
                           "service_day where service_id=") +
                QString::number(r.serviceId) + QStringLiteral(" and day>=") +
                QuoteSqlText(first.toString(Qt::ISODate)) + QStringLiteral(" and day<=") +
                QuoteSqlText(r.to.date().toString(Qt::ISODate)) + QStringLiteral(" order by day"));
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
// newest first. The window function runs over the service's index range of the raw results.
void readChanges(QSqlDatabase& db, const ResponseTimesRequest& r, ResponseTimes& out)
{
    const int limit = std::max(1, r.maxChanges);
    // The details are fetched for the changes only, so that the window's rows stay narrow.
    QSqlQuery q = RunOnConnection(
        db, QStringLiteral("select DATE_FORMAT(t.checked_at,\"%Y-%m-%d %H:%i:%s.%f\"),t.passed,r.detail from "
                           "(select id,checked_at,passed,lag(passed) over (order by checked_at,id) "
                           "as before_passed") +
                rawRange(r) +
                QStringLiteral(") t join service_result r on r.id=t.id where t.passed<>t.before_passed "
                               "order by t.checked_at desc,t.id desc limit ") +
                QString::number(limit + 1));
    while (q.next()) {
        if (out.changes.size() == limit) {
            out.moreChanges = true;
            break;
        }
        out.changes.append({timeFrom(q.value(0)), q.value(1).toInt() != 0, q.value(2).toString()});
    }
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
    const int days = int(std::ceil(double(request.from.secsTo(request.to)) / 86400.0));
    out.daily = ResponseRangeIsDaily(days, request.keepDays);
    if (out.daily)
        readDailyPoints(db, request, out);
    else
        readRawPoints(db, request, out);
    readChanges(db, request, out);
    return out;
}
