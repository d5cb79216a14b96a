// Benchmark of a burst: every service due in the same minute, against a loopback HTTP server that
// answers each request after 10 ms, with the monitoring service's shared scheduling (claims).
//
//  a. 1,000 due services: the time until every result is stored, the resident memory after it.
//  b. 10,000 due services: checks refused (goal 0), results stored before the next tick (goal:
//     all, within 60 s), the longest stall of the owner thread's event loop during the burst, and
//     the resident memory against a.
//  c. The same 10,000 services on a 3-node Galera cluster on loopback, checked by quorveld
//     processes: the wall time of one tick's burst (first claim seen to the last claim done) with
//     one instance, then with two instances on different nodes sharing the claims.
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1), for example the one scripts/bench.sh starts. Part c runs when
// QUORVEL_BENCH_CLUSTER_PORT names the first node of a running cluster it may wipe
// (scripts/db-server.sh cluster-start DIR PORT); quorveld is taken from beside this program's
// folder (<build>/src/quorveld) or from QUORVEL_BENCH_QUORVELD.
//
//   bench_scaleout [a|b|c]...   only the parts named (default: all)
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"
#include "support/CountingHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/prctl.h>
#include <vector>

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

// ---- c. quorveld processes on the cluster ---------------------------------------------------

QString clusterScalar(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toString() : QString();
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(100);
    }
    return true;
}

struct ClusterBurst
{
    bool ok = false;
    double seconds = 0;
    QStringList shares; // "instance claims" of the measured tick
    QString why;
};

// `instances` quorveld (1 or 2), the first on node 1, the second on node 2 (each with the
// others after it in its host list), with `count` services due at every shortened tick.
ClusterBurst clusterBurst(QSqlDatabase& db, int port, int instances, int count, const QString& base,
                          const QString& folder)
{
    ClusterBurst r;
    QSqlQuery(db).exec(QStringLiteral("drop database if exists quorvel"));
    // Ticks three minutes apart, so that a slow burst is measured to its end without the next
    // tick's claims in it.
    constexpr int kTickMs = 180000;
    std::vector<std::unique_ptr<QProcess>> running;
    const auto start = [&](int node) {
        QStringList hosts;
        for (int i = 0; i < 3; ++i)
            hosts << QStringLiteral("127.0.0.1:%1").arg(port + (node - 1 + i) % 3);
        const QString name = QStringLiteral("bench-%1").arg(node);
        const QString conf = folder + QStringLiteral("/%1/conf").arg(name);
        QDir().mkpath(conf);
        QFile ini(conf + QStringLiteral("/SysInit.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return;
        ini.write(QStringLiteral("[System]\r\nInitStart=1\r\n[http]\r\nHTTPDefaultTimeout=20000\r\n"
                                 "[Database]\r\nHost=%1\r\nPort=%2\r\nDBUsername=root\r\nDBPassword=\r\n"
                                 "[Engine]\r\nName=%3\r\n")
                      .arg(hosts.join(QLatin1Char(',')))
                      .arg(port)
                      .arg(name)
                      .toUtf8());
        ini.close();
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUORVELD_TICK_MS"), QString::number(kTickMs));
        process->setProcessEnvironment(environment);
        // A benchmark that is stopped leaves no service behind.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(folder + QStringLiteral("/%1.err").arg(name));
        process->start(qEnvironmentVariable("QUORVEL_BENCH_QUORVELD", QCoreApplication::applicationDirPath() +
                                                                          QStringLiteral("/../src/quorveld")),
                       {QStringLiteral("--config"), ini.fileName()});
        running.push_back(std::move(process));
    };
    const auto instancesUp = [&](int n) {
        return waitUntil(
            [&] {
                return clusterScalar(db, QStringLiteral("select count(*) from quorvel.engine_instance")) ==
                       QString::number(n);
            },
            90000);
    };
    start(1);
    if (!instancesUp(1)) {
        r.why = QStringLiteral("the first quorveld did not register");
    } else {
        for (int from = 0; from < count; from += 1000) {
            QString sql =
                QStringLiteral("insert into quorvel.service (service,ip,port,schedule_by,schedule_hour,"
                               "schedule_minute) values ");
            for (int i = from; i < std::min(count, from + 1000); ++i)
                sql += QStringLiteral("%1(\"URL\",%2,80,\"Minutely\",\"00\",\"1\")")
                           .arg(i > from ? QStringLiteral(",") : QString(),
                                QuoteSqlText(base + QStringLiteral("/c%1").arg(i)));
            QSqlQuery(db).exec(sql);
        }
        if (instances > 1)
            start(2);
        if (instances > 1 && !instancesUp(instances)) {
            r.why = QStringLiteral("the second quorveld did not register");
        } else {
            // The first tick that starts after every instance is up is measured.
            const QString after = clusterScalar(db, QStringLiteral("select now()"));
            QString minute;
            QElapsedTimer clock;
            waitUntil(
                [&] {
                    minute = clusterScalar(db, QStringLiteral("select min(minute) from quorvel.service_claim "
                                                              "where minute>\"%1\"")
                                                   .arg(after));
                    if (!minute.isEmpty())
                        clock.start();
                    return !minute.isEmpty();
                },
                2 * kTickMs + 30000);
            const QString done =
                QStringLiteral("select count(*) from quorvel.service_claim where minute=\"%1\" "
                               "and done_at is not null")
                    .arg(minute);
            if (minute.isEmpty()) {
                r.why = QStringLiteral("no tick claimed the services");
            } else if (!waitUntil([&] { return clusterScalar(db, done).toInt() >= count; },
                                  kTickMs - 10000)) {
                r.why = QStringLiteral("%1 of %2 done after %3 s")
                            .arg(clusterScalar(db, done))
                            .arg(count)
                            .arg((kTickMs - 10000) / 1000);
            } else {
                r.ok = true;
                r.seconds = double(clock.nsecsElapsed()) / 1e9;
                QSqlQuery q(db);
                q.exec(
                    QStringLiteral("select instance,count(*) from quorvel.service_claim where minute=\"%1\" "
                                   "group by instance order by instance")
                        .arg(minute));
                while (q.next())
                    r.shares << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
            }
        }
    }
    for (auto& process : running) {
        process->terminate();
        if (!process->waitForFinished(60000))
            process->kill();
        process->waitForFinished(5000);
    }
    return r;
}

void clusterPart(int port, const QString& base)
{
    QTemporaryDir folder;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("bench-cluster"));
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setPort(port + 2); // the third node, which no instance starts on
    db.setUserName(QStringLiteral("root"));
    if (!db.open()) {
        std::printf("c. skipped: cannot reach the cluster's third node: %s\n",
                    qPrintable(db.lastError().text()));
        return;
    }
    std::printf("c. 10,000 due services on a 3-node Galera cluster, quorveld processes\n");
    const ClusterBurst one = clusterBurst(db, port, 1, 10000, base, folder.path());
    if (!one.ok) {
        std::printf("   one instance:                 failed: %s\n", qPrintable(one.why));
        return;
    }
    std::printf("   one instance, burst:          %.2f s (goal: within the minute, 60 s)\n", one.seconds);
    const ClusterBurst two = clusterBurst(db, port, 2, 10000, base, folder.path());
    if (!two.ok) {
        std::printf("   two instances:                failed: %s\n", qPrintable(two.why));
        return;
    }
    std::printf("   two instances, burst:         %.2f s (%.2f x one instance; claims: %s)\n", two.seconds,
                two.seconds / one.seconds, qPrintable(two.shares.join(QStringLiteral(", "))));
    QSqlQuery(db).exec(QStringLiteral("drop database if exists quorvel"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList parts = app.arguments().mid(1);
    if (parts.isEmpty())
        parts = QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    for (const QString& part : parts) {
        if (part != QLatin1String("a") && part != QLatin1String("b") && part != QLatin1String("c")) {
            std::fprintf(stderr, "usage: bench_scaleout [a|b|c]...\n");
            return 2;
        }
    }
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

    Burst small;
    if (parts.contains(QLatin1String("a")) || parts.contains(QLatin1String("b"))) {
        small = burst(dm, 1000, base, logFile);
        std::printf("a. 1,000 due services, answers after 10 ms, %d run at once\n",
                    AppSettings.PoolMaxRunning);
        std::printf("   all stored after:             %.2f s (%d passed)\n", small.seconds, small.passed);
        std::printf("   resident memory:              %ld KiB\n", small.residentKiB);
    }

    bool ok = true;
    if (parts.contains(QLatin1String("b"))) {
        const Burst large = burst(dm, 10000, base, logFile);
        std::printf("b. 10,000 due services, answers after 10 ms\n");
        std::printf("   refused (\"Check not run\"):    %d (goal 0)\n", large.notRun - small.notRun);
        std::printf("   stored:                       %d of 10000 after %.2f s (goal: all before the next "
                    "tick, 60 s)\n",
                    large.passed, large.seconds);
        std::printf("   tick that claimed and queued: %lld ms\n", static_cast<long long>(large.tickMs));
        std::printf("   longest event-loop stall:     %lld ms\n",
                    static_cast<long long>(large.longestStallMs));
        std::printf("   resident memory:              %ld KiB (%.2f x that of 1,000)\n", large.residentKiB,
                    small.residentKiB ? double(large.residentKiB) / double(small.residentKiB) : 0.0);
        std::printf("   requests seen by the server:  %d\n", server.total());
        ok = large.notRun == small.notRun && large.passed == 10000;
    }

    if (parts.contains(QLatin1String("c"))) {
        const int clusterPort = qEnvironmentVariableIntValue("QUORVEL_BENCH_CLUSTER_PORT");
        if (clusterPort <= 0)
            std::printf(
                "c. skipped: set QUORVEL_BENCH_CLUSTER_PORT to the first node of a running cluster\n");
        else
            clusterPart(clusterPort, base);
    }
    return ok ? 0 : 1;
}
