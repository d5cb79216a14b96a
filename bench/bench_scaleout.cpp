// Benchmark of a burst: every service due in the same minute, against a loopback HTTP server that
// answers each request after 10 ms, with the monitoring service's shared scheduling (claims).
//
//  a. 1,000 due services: the time until every result is stored, the resident memory after it.
//  b. 10,000 due services: checks refused (goal 0), results stored before the next tick (goal:
//     all, within 60 s), the longest stall of the owner thread's event loop during the burst, and
//     the resident memory against a.
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1), for example the one scripts/bench.sh starts.
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"
#include "support/CountingHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QString scalar(TDMQuorvel& dm, const QString& sql)
{
    QSqlQuery& q = dm.ExecSelect(sql);
    return q.next() ? q.value(0).toString() : QString();
}

void insertServices(TDMQuorvel& dm, int count, const QString& base)
{
    for (int from = 0; from < count; from += 1000) {
        QString sql =
            QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_minute) values ");
        for (int i = from; i < std::min(count, from + 1000); ++i)
            sql += QStringLiteral("%1(\"URL\",%2,80,\"Hourly\",\"15\")")
                       .arg(i > from ? QStringLiteral(",") : QString(),
                            QuoteSqlText(base + QStringLiteral("/s%1").arg(i)));
        dm.ExecUpdate(sql);
    }
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

struct Burst
{
    double seconds = 0;
    int passed = 0;
    int notRun = 0;
    qint64 longestStallMs = 0;
    qint64 tickMs = 0; // the start of the cycle with the tick that read, claimed and queued them
    long residentKiB = 0;
};

// One tick with `count` due services; the event loop runs until all are stored or 60 s passed.
Burst burst(TDMQuorvel& dm, int count, const QString& base, const QString& logFile)
{
    dm.ExecUpdate(QStringLiteral("delete from service"));
    dm.ExecUpdate(QStringLiteral("delete from service_claim"));
    insertServices(dm, count, base);
    MonitorEngine engine;
    // QUORVEL_BENCH_UNSHARED: without claims, as the desktop program checks (for comparison).
    if (!qEnvironmentVariableIsSet("QUORVEL_BENCH_UNSHARED"))
        engine.SetSharedScheduling(QStringLiteral("bench"), QStringLiteral("bench"));
    Burst b;
    QElapsedTimer clock;
    QElapsedTimer sinceBeat;
    QTimer beat;
    beat.setInterval(10);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 gap = sinceBeat.restart() - 10;
        if (gap > 200 && qEnvironmentVariableIsSet("QUORVEL_BENCH_VERBOSE"))
            std::printf("   stall of %lld ms ending at %lld ms\n", static_cast<long long>(gap),
                        static_cast<long long>(clock.elapsed()));
        b.longestStallMs = std::max(b.longestStallMs, gap);
    });
    sinceBeat.start();
    beat.start();
    clock.start();
    engine.TimerInitTimer();
    b.tickMs = clock.elapsed();
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            b.passed =
                scalar(dm, QStringLiteral("select count(*) from service where service_status=\"Passed\""))
                    .toInt();
            if (b.passed >= count || clock.elapsed() > 60000)
                loop.quit();
        });
        poll.start(200);
        loop.exec();
    }
    b.seconds = double(clock.nsecsElapsed()) / 1e9;
    beat.stop();
    b.residentKiB = residentKiB();
    QFile log(logFile);
    if (log.open(QIODevice::ReadOnly))
        b.notRun = QString::fromUtf8(log.readAll()).count(QStringLiteral("Check not run"));
    engine.DestroyPool();
    return b;
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
    AppSettings.InitStart = false;

    TDMQuorvel dm;
    if (!dm.ConnectDatabase(true))
        return 1;
    dm.ExecUpdate(QStringLiteral("drop database if exists quorvel"));
    dm.CreateDatabaseAndTables();
    const QDateTime at =
        QDateTime::fromString(QStringLiteral("2026-12-12 10:15:00"), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    SetClockSource([at] { return at; });
    const QString logFile =
        AppSettings.LogDir + AppSettings.SystemLogFilename + QStringLiteral("2026-12-12.log");

    CountingHttpServer server(10);
    const QString base = QStringLiteral("127.0.0.1:%1").arg(server.port());

    const Burst small = burst(dm, 1000, base, logFile);
    std::printf("a. 1,000 due services, answers after 10 ms, %d run at once\n", AppSettings.PoolMaxRunning);
    std::printf("   all stored after:             %.2f s (%d passed)\n", small.seconds, small.passed);
    std::printf("   resident memory:              %ld KiB\n", small.residentKiB);

    const Burst large = burst(dm, 10000, base, logFile);
    std::printf("b. 10,000 due services, answers after 10 ms\n");
    std::printf("   refused (\"Check not run\"):    %d (goal 0)\n", large.notRun - small.notRun);
    std::printf(
        "   stored:                       %d of 10000 after %.2f s (goal: all before the next tick, 60 s)\n",
        large.passed, large.seconds);
    std::printf("   tick that claimed and queued: %lld ms\n", static_cast<long long>(large.tickMs));
    std::printf("   longest event-loop stall:     %lld ms\n", static_cast<long long>(large.longestStallMs));
    std::printf("   resident memory:              %ld KiB (%.2f x that of 1,000)\n", large.residentKiB,
                small.residentKiB ? double(large.residentKiB) / double(small.residentKiB) : 0.0);
    std::printf("   requests seen by the server:  %d\n", server.total());
    return large.notRun == small.notRun && large.passed == 10000 ? 0 : 1;
}
