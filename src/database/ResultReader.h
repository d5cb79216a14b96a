#pragma once

#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <vector>

// Reading the stored results of one service for the response-time page of the history window.
// Every function runs its statements on the connection it is given, so a thread with a
// connection of its own can use them; errors throw DatabaseError with the server's text.

// A service to choose: its host as the lists show it, its kind and port.
struct ResultServiceChoice
{
    int id = 0;
    QString host;
    QString kind;
    QString port; // as stored, in decimal
};

// Every service, ordered by host, kind and port.
QVector<ResultServiceChoice> ReadResultServices(QSqlDatabase& db);

// The ranges the page offers, ending now.
enum class ResponseRange
{
    Day,   // 24 hours
    Week,  // 7 days
    Month, // 30 days
    Year   // 365 days
};

int ResponseRangeDays(ResponseRange range);

// One point of the chart: the response times of the passes in one slice of the range (raw
// results) or of one day (summaries).
struct ResponsePoint
{
    QDateTime at; // the slice's middle, or the day's start
    double avgMs = 0;
    int minMs = 0;
    int maxMs = 0;
    qint64 checks = 0;
    qint64 passes = 0;
};

// A result whose verdict differs from the one before it.
struct ResponseStateChange
{
    QDateTime at;
    bool passed = false; // true: failed -> passed; false: passed -> failed
    QString detail;
};

struct ResponseTimesRequest
{
    int serviceId = 0;
    QDateTime from; // included
    QDateTime to;   // excluded
    // [Results] KeepDays: ranges of at most so many days are read from the raw results, longer
    // ones from the daily summaries.
    int keepDays = 31;
    // The raw results are summed in slices so that the chart gets at most about this many points.
    int maxPoints = 1500;
    // The state changes listed at most (the newest).
    int maxChanges = 2000;
};

struct ResponseTimes
{
    bool daily = false; // the points are days of the summaries
    qint64 checks = 0;
    qint64 passes = 0;
    QVector<ResponsePoint> points;        // in time order; slices without a pass are left out
    QVector<ResponseStateChange> changes; // newest first
    bool moreChanges = false;             // older changes than those listed exist in the range
    // The percentage of passes, or a negative number when the range holds no checks.
    double UptimePercent() const { return checks > 0 ? 100.0 * double(passes) / double(checks) : -1; }
    qint64 Failures() const { return checks - passes; }
};

// True when a range of `days` days is read from the summaries.
bool ResponseRangeIsDaily(int days, int keepDays);

// The chart's points, the range's counts and its state changes. State changes are only known
// where raw results are kept; for a range read from the summaries they cover the results still
// held within it.
ResponseTimes ReadResponseTimes(QSqlDatabase& db, const ResponseTimesRequest& request);

// The rows behind the page, for an export: the range's raw results oldest first, or, for a
// range read from the summaries, its days. Read batch after batch on a connection of its own,
// opened on first use on the calling thread and closed when the cursor is destroyed (on that
// thread too).
class ResponseRowCursor
{
public:
    ResponseRowCursor(const DatabaseLogin& login, const ResponseTimesRequest& request, int batch = 5000);
    ~ResponseRowCursor();
    ResponseRowCursor(const ResponseRowCursor&) = delete;
    ResponseRowCursor& operator=(const ResponseRowCursor&) = delete;

    bool Daily() const { return m_daily; }
    // The number of rows the batches will hold.
    qint64 Count();
    // Appends the next batch (raw results, or days with Daily()); false once no rows follow.
    // Throws DatabaseError.
    bool NextResults(std::vector<CheckResultRow>& rows);
    bool NextDays(std::vector<ServiceDayRow>& days);

private:
    QSqlDatabase& connection() { return m_session.get(); }

    OwnSession m_session;
    ResponseTimesRequest m_request;
    int m_batch;
    bool m_daily = false;
    qint64 m_afterId = 0; // the id of the last raw result handed over
    QDateTime m_afterAt;  // and its time
    bool m_done = false;
};
