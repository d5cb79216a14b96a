// Benchmark of keeping the check results, against baselines measured in the same run.
//
//  a. Storing one tick of 300 results. The cost on the main thread of handing them to the result
//     writer (a queue; its thread does the multi-row insert and the day summaries' insert-or-update
//     in one transaction). Baselines: the same tick stored on the calling thread in one burst (as
//     the engine did before the writer), and one insert per result. The writer's own time until
//     the tick is stored is printed too, so a writer that falls behind shows.
//  b. The Response and Uptime 24h columns of 1,000 services refreshed at a tick, with a full day
//     of minutely results stored (1.44 million rows): the engine's refresh, which reads only what
//     changed since the last tick. Baseline: counting the whole 24-hour window again.
//  c. The database's size per service and day: the results table and its indexes, and the day
//     summaries, as the server counts them after b's day of minutely results.
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1), for example the one scripts/bench.sh starts.
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"
#include "database/ResultWriter.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QDateTime g_now;

std::vector<CheckResultRow> tickOf(int services, const QDateTime& at, int salt)
{
    std::vector<CheckResultRow> rows;
    rows.reserve(services);
    for (int id = 1; id <= services; ++id)
        rows.push_back({id, at.addMSecs(id * 3), (id + salt) % 50 != 0, 20 + (id * 7 + salt) % 300,
                        QStringLiteral("[host-%1.example:80] Passed").arg(id)});
    return rows;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    QTemporaryDir tree;
    AppSettings.AppPath = tree.path();
    EnsureLogDir();
    EnsureConfDir();
    LoadSettings();
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_BENCH_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(dbPort);
    AppSettings.AlarmMsgFileEnable = false;

    TDMQuorvel dm;
    if (!dm.ConnectDatabase(true))
        return 1;
    dm.ExecUpdate(QStringLiteral("drop database if exists quorvel"));
    dm.CreateDatabaseAndTables();
    g_now =
        QDateTime::fromString(QStringLiteral("2026-12-12 10:15:00"), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    SetClockSource([] { return g_now; });

    // ---- a. one tick of 300 results --------------------------------------------------------------
    const int rounds = 20;
    std::vector<double> single;
    std::vector<double> batched;
    std::vector<double> handed;
    std::vector<double> written;
    QElapsedTimer clock;
    const DatabaseLogin login = CurrentDatabaseLogin();
    ResultWriter writer;
    for (int r = 0; r < rounds; ++r) {
        const std::vector<CheckResultRow> rows = tickOf(300, g_now.addSecs(-3600 + r * 60), r);
        clock.restart();
        for (const CheckResultRow& row : rows)
            ResultStore::Append({row});
        single.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        ResultStore::Append(rows);
        batched.push_back(double(clock.nsecsElapsed()) / 1e6);
        // What the engine's hand-over does: the gathered rows moved into the writer's queue.
        std::vector<CheckResultRow> tick = rows;
        clock.restart();
        writer.Enqueue(std::move(tick), login);
        handed.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!writer.WaitStored(30000)) {
            std::fprintf(stderr, "the writer did not store the tick\n");
            return 1;
        }
        written.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const double singleMs = median(single);
    const double batchMs = median(batched);
    const double handMs = median(handed);
    std::printf("a. storing one tick of 300 results (median of %d)\n", rounds);
    std::printf("   baseline, one insert per result:       %8.2f ms\n", singleMs);
    std::printf("   before, one burst on the main thread:  %8.2f ms\n", batchMs);
    std::printf("   now, main thread's hand-over:          %8.3f ms (goal <= 10 ms), ratio to before %.4f\n",
                handMs, handMs / batchMs);
    std::printf("   the writer's thread, tick stored after: %7.2f ms\n", median(written));

    // ---- b. uptime of 1,000 services with a day of minutely results ---------------------------------
    dm.ExecUpdate(QStringLiteral("delete from service_result"));
    dm.ExecUpdate(QStringLiteral("delete from service_day"));
    dm.ExecUpdate(QStringLiteral(
        "insert into service (service,ip,port,schedule_by,schedule_minute) select "
        "\"URL\",concat(\"host-\",seq,\".example\"),80,\"Minutely\",\"1\" from seq_1_to_1000"));
    clock.restart();
    dm.ExecUpdate(QStringLiteral(
        "insert into service_result (service_id,checked_at,passed,response_ms,detail) select s.seq,"
        "\"2026-12-11 10:15:00\" + interval m.seq minute,(s.seq+m.seq)%97<>0,20+(s.seq*m.seq)%300,"
        "\"[host.example:80] Passed\" from seq_1_to_1000 s join seq_0_to_1439 m"));
    std::printf("b. 1,000 services, 1.44 million results of the last 24 hours (seeded in %.1f s)\n",
                clock.elapsed() / 1000.0);
    MonitorEngine engine;
    engine.FillServiceList(QStringLiteral("ALL"));
    clock.restart();
    engine.RefreshUptime();
    std::printf("   first refresh (whole window, once at start): %8.2f ms\n",
                double(clock.nsecsElapsed()) / 1e6);

    std::vector<double> full;
    std::vector<double> refresh;
    for (int tick = 0; tick < 10; ++tick) {
        g_now = g_now.addSecs(60);
        ResultStore::Append(tickOf(1000, g_now.addSecs(-50), tick));
        qint64 lastId = 0;
        clock.restart();
        ResultStore::ReadUptime(g_now.addSecs(-24 * 3600), &lastId);
        full.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        engine.RefreshUptime();
        refresh.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const double fullMs = median(full);
    const double refreshMs = median(refresh);
    std::printf("   baseline, full 24-hour count:    %8.2f ms\n", fullMs);
    std::printf("   refresh at a tick (what changed): %7.2f ms (goal <= 20 ms), ratio %.3f\n", refreshMs,
                refreshMs / fullMs);
    std::printf("   check: service 1 shows \"%s\" / \"%s\"\n",
                qPrintable(engine.ServiceList()->cell(0, MonitorEngine::SvcResponse)),
                qPrintable(engine.ServiceList()->cell(0, MonitorEngine::SvcUptime)));

    // ---- c. size per service and day ---------------------------------------------------------------
    dm.ExecUpdate(QStringLiteral("analyze table service_result, service_day"));
    const auto tableBytes = [&dm](const char* table) {
        QSqlQuery& q =
            dm.ExecSelect(QStringLiteral("select data_length+index_length from information_schema.tables "
                                         "where table_schema=\"quorvel\" and table_name=") +
                          QuoteSqlText(QString::fromLatin1(table)));
        return q.next() ? q.value(0).toDouble() : 0.0;
    };
    const double resultBytes = tableBytes("service_result");
    const auto rowCount = [&dm](const char* table) {
        QSqlQuery& q = dm.ExecSelect(QStringLiteral("select count(*) from ") + QString::fromLatin1(table));
        return q.next() ? q.value(0).toDouble() : 0.0;
    };
    const double resultRows = rowCount("service_result");
    const double dayBytes = tableBytes("service_day");
    const double dayRows = rowCount("service_day");
    const double perResult = resultRows > 0 ? resultBytes / resultRows : 0;
    std::printf("c. size: results %.1f MiB for %.0f rows (%.0f bytes a row with indexes), day summaries "
                "%.0f bytes a row\n",
                resultBytes / 1048576.0, resultRows, perResult, dayRows > 0 ? dayBytes / dayRows : 0);
    std::printf(
        "   per service and day, checked minutely: %.1f KiB of results (kept KeepDays), %.0f bytes of "
        "summary (kept)\n",
        perResult * 1440 / 1024.0, dayRows > 0 ? dayBytes / dayRows : 0);
    return 0;
}
