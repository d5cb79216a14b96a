#pragma once

// The results of the scheduled checks (table service_result, kept for [Results] KeepDays) and
// their summary per service and day (table service_day, kept for ever).

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

struct CheckResultRow
{
    int ServiceId = 0;
    QDateTime CheckedAt; // when the verdict came, to the millisecond
    bool Passed = false;
    int ResponseMs = 0; // from the first connect to the verdict
    QString Detail;     // cut to kDetailLength when stored
};

// One service's day. The response times are those of the passes; they are null on a day
// without a pass. P95Ms is known once the day is closed.
struct ServiceDayRow
{
    int ServiceId = 0;
    QDate Day;
    int Checks = 0;
    int Passes = 0;
    std::optional<int> MinMs;
    std::optional<double> AvgMs;
    std::optional<int> MaxMs;
    std::optional<int> P95Ms;
    bool Closed = false;
};

// What the last 24 hours hold for one service; in a change, the counts are what came in minus
// what fell out of the window.
struct UptimeCount
{
    qint64 Checks = 0;
    qint64 Passes = 0;
    int LastResponseMs = -1; // of the newest result; -1 when none
};

namespace ResultStore {

constexpr int kDetailLength = 255;
// The most rows one delete of old results (or old alarm history) removes.
constexpr int kDeleteSlice = 10000;
// The most results one insert carries.
constexpr int kInsertBatch = 1000;

// Stores `rows` with one multi-row insert per kInsertBatch rows, and adds them to their days'
// summaries with one insert-or-update (count, passes, minimum, maximum and running mean), in one
// transaction, without reading the days' results again. Throws DatabaseError.
void Append(const std::vector<CheckResultRow>& rows);
// The same on `db`, a connection of the calling thread. *commitSent becomes true once every
// statement ran and the commit was sent: a failure after that may still have stored the rows.
void Append(QSqlDatabase& db, const std::vector<CheckResultRow>& rows, bool* commitSent = nullptr);
// Whether a result with the service, time, verdict and response time of `row` is stored (to
// learn whether a commit whose answer was lost went through). Throws DatabaseError.
bool Contains(QSqlDatabase& db, const CheckResultRow& row);

// The (service, day) summaries before `day` that are not closed yet. Throws DatabaseError.
QList<QPair<int, QDate>> OpenDaysBefore(const QDate& day);
// Makes the summary of one service's day exact from its stored results (the 95th percentile
// too, by nearest rank) and marks it closed; a day whose results are gone keeps its running
// figures. Throws DatabaseError.
void CloseDay(int serviceId, const QDate& day);

// Deletes at most `limit` results checked before `cutoff`, oldest id first; returns how many
// went. Throws DatabaseError.
int DeleteOlderThan(const QDateTime& cutoff, int limit = kDeleteSlice);

// The summaries of one service from `from` to `to` (both included), by day. Throws DatabaseError.
std::vector<ServiceDayRow> ReadDays(int serviceId, const QDate& from, const QDate& to);

// The checks and passes of each service since `since`, the newest response time of each service
// that has any result (of whatever age; its counts are 0 when it is older), and in *lastId the
// highest result id stored. Throws DatabaseError.
QHash<int, UptimeCount> ReadUptime(const QDateTime& since, qint64* lastId);
// What changed in the window that moved from [oldSince, ...) to [newSince, ...): results with an
// id above `afterId` checked since newSince come in (their newest response time with them);
// results up to `afterId` checked from oldSince to before newSince fall out (negative counts).
// *lastId becomes the highest id seen (at least afterId). One grouped statement, whose cost
// follows the number of changed rows, not the window's. Throws DatabaseError.
QHash<int, UptimeCount> ReadUptimeChange(qint64 afterId, const QDateTime& oldSince, const QDateTime& newSince,
                                         qint64* lastId);

} // namespace ResultStore
