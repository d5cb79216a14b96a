// Benchmark of the history window's response-time reads on a year of results.
//
// The data: 200 services, a year of daily summaries (73,000 rows) and 31 days of minutely raw
// results (8.9 million rows), stored as a monitor stores them (each minute's results of all
// services together). They are made once in the schema quorvel_response_bench and reused by later
// runs while complete (drop that schema to make them again).
//
// Timed, for one service, with the reads the page makes (ReadResponseTimes): 365 days (daily
// summaries and the state changes of the raw results still kept), 30 days and 24 hours (raw
// results summed into slices). Goal: 365 days and 24 hours each ready within 100 ms. Baseline: a
// plain read of the service's 24 hours of raw rows. Also the table sizes per service and day.
//
// It needs a MariaDB server: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST, default
// 127.0.0.1), for example the one scripts/bench.sh starts.
#include "core/comFunc.h"
#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "database/ResultReader.h"
#include "database/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const int kServices = 200;
const int kRawDays = 31;
const int kDays = 365;
const char* const kSchema = "quorvel_response_bench";
const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-12-12 10:15:00"), Qt::ISODate);

qint64 count(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q = RunOnConnection(db, sql);
    return q.next() ? q.value(0).toLongLong() : -1;
}

// Makes the tables (copies of the program's) and fills them unless they hold the full data.
void prepare(QSqlDatabase& db)
{
    const qint64 rawRows = qint64(kServices) * kRawDays * 1440;
    if (count(db, "select count(*) from service_day") == qint64(kServices) * kDays &&
        count(db, "select count(*) from service_result") == rawRows) {
        std::printf("data present, reused (%lld raw rows)\n", rawRows);
        return;
    }
    // Whole days already stored (by an interrupted run) are kept.
    const qint64 perDay = qint64(kServices) * 1440;
    const qint64 stored = count(db, "select count(*) from service_result");
    const int daysStored = stored % perDay == 0 ? int(stored / perDay) : 0;
    if (daysStored == 0)
        RunOnConnection(db, "truncate table service_result");
    RunOnConnection(db, "truncate table service_day");
    QElapsedTimer clock;
    clock.start();
    const QString first = kNow.addDays(-kRawDays).toString("yyyy-MM-dd HH:mm:ss");
    // A day of minutes at a time, all services' results of each minute together, as stored.
    for (int day = daysStored; day < kRawDays; ++day) {
        RunOnConnection(
            db, QString("insert into service_result (service_id,checked_at,passed,response_ms,detail) "
                        "select s.seq,\"%1\" + interval (%2 + m.seq) minute + interval s.seq * 50000 "
                        "microsecond,(s.seq*7+m.seq) mod 211<>0,20+(s.seq*13+m.seq*7) mod 300,"
                        "if((s.seq*7+m.seq) mod 211<>0,\"Passed\",\"Connection refused\") from "
                        "seq_0_to_1439 m straight_join seq_1_to_%3 s")
                    .arg(first)
                    .arg(day * 1440)
                    .arg(kServices));
        std::printf("\r  raw results: day %d of %d", day + 1, kRawDays);
        std::fflush(stdout);
    }
    RunOnConnection(
        db, QString("insert into service_day (service_id,day,checks,passes,min_ms,avg_ms,max_ms,"
                    "p95_ms,closed) select s.seq,\"%1\" - interval d.seq day,1440,1440-(s.seq+d.seq) mod 7,"
                    "20,100+(s.seq+d.seq) mod 50,400,300,1 from seq_0_to_%2 d join seq_1_to_%3 s")
                .arg(kNow.date().toString(Qt::ISODate))
                .arg(kDays - 1)
                .arg(kServices));
    std::printf("\n  data made in %.1f s\n", clock.elapsed() / 1000.0);
}

double medianMs(int rounds, const std::function<void()>& work)
{
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        clock.start();
        work();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

ResponseTimesRequest request(int service, int days)
{
    ResponseTimesRequest r;
    r.serviceId = service;
    r.keepDays = kRawDays;
    r.to = kNow;
    r.from = days > kRawDays ? QDateTime(kNow.date().addDays(1 - days), QTime(0, 0)) : kNow.addDays(-days);
    return r;
}

void sizes(QSqlDatabase& db)
{
    QSqlQuery q = RunOnConnection(db, QString("select table_name,data_length+index_length from "
                                              "information_schema.tables where table_schema=\"%1\"")
                                          .arg(kSchema));
    while (q.next()) {
        const QString table = q.value(0).toString();
        const double bytes = q.value(1).toDouble();
        const double serviceDays = kServices * double(table == "service_day" ? kDays : kRawDays);
        std::printf("   %-15s %8.1f MB, %8.0f bytes per service and day\n", qPrintable(table), bytes / 1e6,
                    bytes / serviceDays);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int dbPort = qEnvironmentVariableIntValue("QUORVEL_BENCH_DB_PORT");
    if (dbPort <= 0) {
        std::fprintf(stderr, "set QUORVEL_BENCH_DB_PORT to a MariaDB server\n");
        return 2;
    }
    QTemporaryDir tree;
    AppSettings.AppPath = tree.path();
    EnsureLogDir();
    EnsureConfDir();
    LoadSettings();
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_BENCH_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(dbPort);

    // The program's own tables in quorvel, copied in shape to the benchmark's schema.
    {
        TDMQuorvel dm;
        if (!dm.ConnectDatabase(true))
            return 1;
        QSqlQuery& present = dm.ExecSelect(
            QStringLiteral("select count(*) from information_schema.schemata where schema_name=\"quorvel\""));
        if (!present.next() || present.value(0).toInt() == 0)
            dm.CreateDatabaseAndTables();
        dm.ExecUpdate(QString("create database if not exists %1").arg(kSchema));
        for (const char* table : {"service_result", "service_day"})
            dm.ExecUpdate(QString("create table if not exists %1.%2 like quorvel.%2").arg(kSchema, table));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("bench"));
    QString error;
    if (!OpenDatabaseSession(db, CurrentDatabaseLogin(), QString::fromLatin1(kSchema), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // The program's later changes to the results table (its indexes) made on the copy too.
    for (const SchemaStep& step : SchemaSteps()) {
        if (step.inPlace.isEmpty() || !step.statements.join(' ').contains("ALTER TABLE service_result"))
            continue;
        QSqlQuery present = RunOnConnection(db, step.inPlace);
        if (present.next())
            continue;
        QElapsedTimer clock;
        clock.start();
        for (const QString& statement : step.statements)
            RunOnConnection(db, statement);
        std::printf("step %d applied in %.1f s\n", step.number, clock.elapsed() / 1000.0);
    }
    prepare(db);

    const int service = kServices / 2;
    const int rounds = 15;
    std::printf("one service of %d, median of %d reads (the first, cold, shown apart)\n", kServices, rounds);
    const double baseline = medianMs(rounds, [&] {
        QSqlQuery q = RunOnConnection(
            db, QString("select checked_at,passed,response_ms from service_result where service_id=%1 and "
                        "checked_at>=\"%2\"")
                    .arg(service)
                    .arg(kNow.addDays(-1).toString("yyyy-MM-dd HH:mm:ss")));
        while (q.next()) {
        }
    });
    std::printf("   baseline, 24 hours of raw rows read plainly: %8.2f ms\n", baseline);
    for (const int days : {365, 30, 1}) {
        ResponseTimes times;
        const int other = 1 + (service + days) % kServices; // a service not read before
        const double cold = medianMs(1, [&] { times = ReadResponseTimes(db, request(other, days)); });
        const double warm = medianMs(rounds, [&] { times = ReadResponseTimes(db, request(service, days)); });
        std::printf("   %3d days (%s): %8.2f ms, cold %8.2f ms%s; %lld points, %lld checks, %lld changes\n",
                    days, times.daily ? "daily" : "raw", warm, cold, days == 30 ? "" : " (goal <= 100 ms)",
                    qint64(times.points.size()), times.checks, qint64(times.changes.size()));
    }
    sizes(db);
    return 0;
}
