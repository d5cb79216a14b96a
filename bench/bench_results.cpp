// Benchmark of keeping the check results, against baselines measured in the same run.
//
//  a. Storing one tick of 300 results (what the engine's flush does on the main thread: the
//     results' multi-row insert and the day summaries' insert-or-update in one transaction).
//     Baseline: the same 300 results stored one insert per result.
//  b. The Response and Uptime 24h columns of 1,000 services refreshed at a tick, with a full day
//     of minutely results stored (1.44 million rows): the engine's refresh, which reads only what
//     changed since the last tick. Baseline: counting the whole 24-hour window again.
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1), for example the one scripts/bench.sh starts.
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

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
    QElapsedTimer clock;
    for (int r = 0; r < rounds; ++r) {
        const std::vector<CheckResultRow> rows = tickOf(300, g_now.addSecs(-3600 + r * 60), r);
        clock.restart();
        for (const CheckResultRow& row : rows)
            ResultStore::Append({row});
        single.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        ResultStore::Append(rows);
        batched.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const double singleMs = median(single);
    const double batchMs = median(batched);
    std::printf("a. storing one tick of 300 results (median of %d)\n", rounds);
    std::printf("   baseline, one insert per result: %8.2f ms\n", singleMs);
    std::printf("   one burst (2 inserts):           %8.2f ms (goal <= 10 ms), ratio %.3f\n", batchMs,
                batchMs / singleMs);

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
    return 0;
}
