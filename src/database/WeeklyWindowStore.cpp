#include "database/WeeklyWindowStore.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const char* const kDayColumns[WeeklyWindowStore::kDays] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

WeeklyWindowStore::HourRow rowOf(const QSqlRecord& record)
{
    WeeklyWindowStore::HourRow row;
    row.ScheduleTime = record.value(QStringLiteral("schedule_time")).toString();
    for (int day = 0; day < WeeklyWindowStore::kDays; ++day)
        row.Days[day] = record.value(QString::fromLatin1(kDayColumns[day])).toString();
    return row;
}

} // namespace

namespace WeeklyWindowStore {

QList<HourRow> Rows()
{
    QList<HourRow> rows;
    QSqlQuery query = DMQuorvel().OpenView(
        QStringLiteral("select schedule_time,mon,tue,wed,thu,fri,sat,sun from scheduling"));
    while (query.next())
        rows.append(rowOf(query.record()));
    return rows;
}

std::optional<HourRow> ReadHour(int hour)
{
    QSqlQuery query(DMQuorvel().SQLConnection);
    if (!query.exec(QStringLiteral("select * from scheduling where schedule_time=") + QString::number(hour)))
        throw DatabaseError(query.lastError().text().trimmed());
    std::optional<HourRow> last;
    while (query.next())
        last = rowOf(query.record());
    return last;
}

void Save(const Grid& on)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    for (int hour = 0; hour < kHours; ++hour) {
        QString sql = QStringLiteral("update scheduling set ");
        for (int day = 0; day < kDays; ++day) {
            if (day > 0)
                sql += QStringLiteral(" , ");
            sql += QString::fromLatin1(kDayColumns[day]) + QLatin1Char('=') +
                   QuoteSqlText(on[day][hour] ? QStringLiteral("yes") : QStringLiteral("no"));
        }
        sql += QStringLiteral(" where schedule_time=") + QString::number(hour);
        dm.ExecUpdate(sql);
    }
    transaction.Commit();
}

} // namespace WeeklyWindowStore
