// The CSV export of the alarm history at scale: 1,000,000 entries (or the number given) written to
// a file by the export job on its own thread, against baselines measured in the same run:
//
//  a. the same rows read page after page through the history cursor, nothing written;
//  b. the same rows read by one plain select, nothing written.
//
// Reported: time and rows per second of each, the export's ratio to (a), the growth of the peak
// resident memory during the export (rows are never all in memory at once), the longest gap
// between two turns of the owner's event loop meanwhile (the window's thread stays free), the size
// of the file, and how long a cancel takes to end an export half-way.
//
//   bench_csv_export [rows]     needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and
//                               QUORVEL_BENCH_DB_HOST, default 127.0.0.1), as scripts/bench.sh starts
#include "core/CsvWriter.h"
#include "core/comFunc.h"
#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/CsvExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cstdio>

namespace {

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// A line of /proc/self/status in kilobytes.
long statusKilobytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Starts the peak resident size afresh (Linux 4.0 and later).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

CsvExport::RowSource historyRows(std::shared_ptr<AlarmHistoryCursor> cursor)
{
    return [cursor = std::move(cursor)](QVector<QStringList>& rows) {
        QVector<AlarmHistoryEntry> entries;
        const bool more = cursor->Next(entries);
        for (const AlarmHistoryEntry& e : entries)
            rows.append({CsvDateTimeText(e.dateTime), e.service, e.ip, e.port, e.msg, e.serviceStatus});
        return more;
    };
}

const QStringList kHeader = {"Date Time", "Service", "IP", "Port", "Error Msg", "Status"};

struct Run
{
    double ms = 0;
    double longestGapMs = 0;
    CsvExport::Result result;
};

// The export job as the window runs it, the owner's event loop watched by a 5 ms timer;
// `cancelAfterMs` > 0 cancels it then.
Run runExport(const QString& path, int cancelAfterMs = 0)
{
    Run run;
    auto cursor = std::make_shared<AlarmHistoryCursor>(CurrentDatabaseLogin());
    CsvExport job(path, kHeader, historyRows(cursor));
    job.setRowCounter([cursor] { return cursor->Count(); });
    cursor.reset();
    QEventLoop loop;
    QElapsedTimer clock;
    double last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = msSince(clock);
        run.longestGapMs = std::max(run.longestGapMs, now - last);
        last = now;
    });
    QElapsedTimer cancelClock;
    QObject::connect(&job, &CsvExport::finished, [&](const CsvExport::Result& r) {
        run.result = r;
        run.ms = msSince(cancelAfterMs > 0 ? cancelClock : clock);
        loop.quit();
    });
    if (cancelAfterMs > 0) {
        QTimer::singleShot(cancelAfterMs, [&] {
            cancelClock.start();
            job.cancel();
        });
    }
    clock.start();
    tick.start();
    job.start();
    loop.exec();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int dbPort = qEnvironmentVariableIntValue("QUORVEL_BENCH_DB_PORT");
    if (dbPort <= 0) {
        std::fprintf(stderr, "set QUORVEL_BENCH_DB_PORT to a MariaDB server that may be wiped\n");
        return 2;
    }
    const qint64 rows = argc > 1 ? std::max(1000LL, QByteArray(argv[1]).toLongLong()) : 1000000;
    QTemporaryDir tree;
    AppSettings.AppPath = tree.path();
    EnsureLogDir();
    EnsureConfDir();
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_BENCH_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(dbPort);
    AppSettings.DBUsername = QStringLiteral("root");
    AppSettings.DBPassword.clear();

    TDMQuorvel dm;
    if (!dm.ConnectDatabase(true))
        return 1;
    dm.ExecUpdate(QStringLiteral("drop database if exists quorvel"));
    dm.CreateDatabaseAndTables();
    QElapsedTimer clock;
    clock.start();
    // Four failures a burst, a burst every 126 s, 300 hosts, the six kinds; every tenth message
    // holds a comma, a quote and a line break, so quoting is part of the cost.
    dm.ExecUpdate(QStringLiteral("set session max_recursive_iterations = %1").arg(rows + 10));
    dm.ExecUpdate(
        QStringLiteral(
            "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
            "with recursive seq(n) as (select 0 union all select n+1 from seq where n < %1) "
            "select timestamp('2025-01-01 00:00:00') + interval ((n div 4) * 126) second, "
            "elt(1 + n % 6, 'URL','Ping','SMTP','POP3','IMAP','FTP'), concat('10.0.', n % 300 div 256, '.', "
            "n % 300 % 256), elt(1 + n % 6, 80, 0, 25, 110, 143, 21), "
            "if(n % 10 = 0, 'HTTP/1.1 503 \"Busy\", retry\\nlater', 'Connection refused'), 'Failed' from seq")
            .arg(rows - 1));
    std::printf("history of %lld rows made in %.1f s\n\n", rows, msSince(clock) / 1000);

    // ---- baselines ---------------------------------------------------------------------------------
    double cursorMs = 0;
    {
        AlarmHistoryCursor cursor(CurrentDatabaseLogin());
        clock.restart();
        QVector<AlarmHistoryEntry> page;
        qint64 n = 0;
        bool more = true;
        while (more) {
            page.clear();
            more = cursor.Next(page);
            n += page.size();
        }
        cursorMs = msSince(clock);
        std::printf("a. cursor pages read, nothing written   %8.0f ms  %9.0f rows/s  (%lld rows)\n", cursorMs,
                    double(n) / cursorMs * 1000, n);
    }
    {
        clock.restart();
        QSqlQuery q(dm.SQLConnection);
        q.setForwardOnly(true);
        qint64 n = 0;
        if (q.exec(QStringLiteral("select alarm_datetime,service,ip,port,msg,service_status from "
                                  "alarm_msg_history"))) {
            while (q.next()) {
                q.value(4);
                ++n;
            }
        }
        const double ms = msSince(clock);
        std::printf("b. one plain select, nothing written    %8.0f ms  %9.0f rows/s\n", ms,
                    double(n) / ms * 1000);
    }

    // ---- the export --------------------------------------------------------------------------------
    const QString path = tree.filePath(QStringLiteral("alarms.csv"));
    const long before = statusKilobytes("VmRSS:");
    resetPeak();
    const Run full = runExport(path);
    const long peak = statusKilobytes("VmHWM:");
    if (full.result.outcome != CsvExport::Outcome::Written) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(full.result.error));
        return 1;
    }
    std::printf("export of %lld rows                     %8.0f ms  %9.0f rows/s  ratio to a: %.2f\n",
                full.result.rows, full.ms, double(full.result.rows) / full.ms * 1000, full.ms / cursorMs);
    std::printf("   file %.1f MB; resident before %ld kB, peak during %ld kB (+%ld kB)\n",
                double(QFileInfo(path).size()) / 1e6, before, peak, peak - before);
    std::printf("   longest gap of the owner's event loop: %.1f ms (timer every 5 ms)\n", full.longestGapMs);

    QFile::remove(path);
    const Run cancelled = runExport(path, int(std::max(200.0, full.ms / 2)));
    std::printf("cancel half-way: ended %.0f ms after the request, outcome %s, file left: %s\n", cancelled.ms,
                cancelled.result.outcome == CsvExport::Outcome::Cancelled ? "cancelled" : "not cancelled",
                QFileInfo::exists(path) ? "yes" : "no");
    return 0;
}
