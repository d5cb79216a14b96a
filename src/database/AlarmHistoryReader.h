#pragma once

#include "database/DataModuleQuorvel.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

// Reading the alarm history for the history and charts window. Every function runs its statements
// on the connection it is given, so a thread with a connection of its own can use them; errors
// throw DatabaseError with the server's text.
//
// The history is read newest first in a complete order: alarm_datetime, then id, both descending
// (the id tells apart the rows of one second). A page is the rows that follow a given row in that
// order, so paging costs the same on the last page as on the first, and rows written after the
// first page was read (ids above its anchor) never shift the later pages.

// Runs `sql` on `db` as a forward-only query; throws DatabaseError with the server's text.
QSqlQuery RunOnConnection(QSqlDatabase& db, const QString& sql);

// A row's place in the order.
struct AlarmHistoryKey
{
    QString dateTime; // "yyyy-MM-dd HH:mm:ss"
    qint64 id = 0;
};

struct AlarmHistoryEntry
{
    qint64 id = 0;
    QString dateTime; // "yyyy-MM-dd HH:mm:ss", 24-hour clock
    QString service;
    QString ip;
    QString port; // as stored, in decimal
    QString msg;
    QString serviceStatus;

    AlarmHistoryKey key() const { return {dateTime, id}; }
};

struct AlarmHistoryPageRequest
{
    // 0: a first page, the newest rows; its anchor is the highest id at the time of the read.
    // Otherwise only rows with ids up to the anchor are read.
    qint64 anchorId = 0;
    // When set, the page holds the rows after `after` (not the row itself).
    bool hasAfter = false;
    AlarmHistoryKey after;
    int size = 1000;
};

struct AlarmHistoryPage
{
    QVector<AlarmHistoryEntry> entries; // at most the requested size, in the order above
    qint64 anchorId = 0;                // the anchor the page was read with
    bool more = false;                  // rows follow the page's last one
    QString statement;                  // the select that read the page
};

AlarmHistoryPage ReadAlarmHistoryPage(QSqlDatabase& db, const AlarmHistoryPageRequest& request);

// The three counts the window charts, one bar per result row in the returned order.
enum class HistoryChart
{
    Host,    // entries per ip
    Service, // entries per service kind
    Date     // entries per day, labelled "yyyy-MM-dd"
};

struct ChartBar
{
    QString label;
    qint64 total = 0;
};

QString HistoryChartStatement(HistoryChart chart);
QVector<ChartBar> ReadHistoryChart(QSqlDatabase& db, HistoryChart chart);

// The server's number of the session of `db` (connection_id()); 0 when it cannot be read.
qint64 SessionConnectionId(QSqlDatabase& db);
// Ends the statement the session `connectionId` is running (KILL QUERY), through the data
// module's connection. Throws DatabaseError, or std::logic_error when no data module exists.
void KillSessionQuery(qint64 connectionId);

// The whole alarm history, newest first in the order above, read page after page on a connection
// of its own, for an export. The connection is opened on first use, on the calling thread, and
// closed when the cursor is destroyed, which must happen on that thread. Entries written after the
// first read (ids above its anchor) are left out, so the count and the pages agree.
class AlarmHistoryCursor
{
public:
    explicit AlarmHistoryCursor(const DatabaseLogin& login, int pageSize = 5000);
    ~AlarmHistoryCursor();
    AlarmHistoryCursor(const AlarmHistoryCursor&) = delete;
    AlarmHistoryCursor& operator=(const AlarmHistoryCursor&) = delete;

    // The number of entries the pages will hold.
    qint64 Count();
    // Appends the next page to `entries`; false once no entries follow. Throws DatabaseError.
    bool Next(QVector<AlarmHistoryEntry>& entries);

private:
    QSqlDatabase& connection() { return m_session.get(); }

    OwnSession m_session;
    AlarmHistoryPageRequest m_request;
    bool m_done = false;
};
