#pragma once

// The weekly window store: table `scheduling`, one row per hour of the day (schedule_time 0 to
// 23) with a column per weekday (mon ... sun) holding "yes" when monitoring runs in that hour of
// that day. Every statement about the table is made here. Failures throw DatabaseError.

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace WeeklyWindowStore {

inline constexpr int kDays = 7;   // Monday first
inline constexpr int kHours = 24; // 0 to 23

// One stored row: its hour as stored (schedule_time as text) and each day's stored text,
// Monday first.
struct HourRow
{
    QString ScheduleTime;
    std::array<QString, kDays> Days;
};

// Every row, in the order the database returns them.
QList<HourRow> Rows();

// The last stored row of `hour`; nullopt when the table has none.
std::optional<HourRow> ReadHour(int hour);

// Whether each hour of each day is on: [day][hour].
using Grid = std::array<std::array<bool, kHours>, kDays>;
// Writes the whole week, an hour's row at a time ("yes" or "no" per day), in one transaction.
void Save(const Grid& on);

} // namespace WeeklyWindowStore
