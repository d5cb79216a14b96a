// Benchmark of the monitoring cycle against a baseline measured in the same run.
//
//  a. One minute tick with 300 due URL services against a loopback HTTP server that answers each
//     request after 1 s: the time until every hand-back is handled and every service row written,
//     and the longest stall of the owner thread's event loop meanwhile. Baseline: the same 300
//     requests made by 300 plain threads, without scheduler, pool or database.
//  b. A tick with 1,000 services configured and none due, against the baseline of a trivial
//     statement on the same connection; and the CPU used by the idle process over 10 s.
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1), for example the one scripts/test.sh starts.
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"
#include "net/HttpClient.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// Answers every request with "200 OK" after `delayMs`, one thread per connection.
class SlowHttpServer
{
public:
    explicit SlowHttpServer(int delayMs) : m_delayMs(delayMs)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        listen(m_fd, 1024);
        socklen_t len = sizeof(addr);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_accept = std::thread([this] { acceptLoop(); });
    }
    ~SlowHttpServer()
    {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_accept.join();
        for (std::thread& t : m_workers)
            t.join();
    }
    int port() const { return m_port; }

private:
    void acceptLoop()
    {
        while (!m_stop) {
            const int c = accept(m_fd, nullptr, nullptr);
            if (c < 0)
                return;
            m_workers.emplace_back([this, c] { serve(c); });
        }
    }
    void serve(int c)
    {
        std::string head;
        char buf[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = read(c, buf, sizeof(buf));
            if (n <= 0)
                break;
            head.append(buf, std::size_t(n));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        (void)!write(c, answer, sizeof(answer) - 1);
        close(c);
    }

    int m_delayMs;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_accept;
    std::vector<std::thread> m_workers;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void exec(TDMQuorvel& dm, const QString& sql)
{
    dm.ExecUpdate(sql);
}

QString scalar(TDMQuorvel& dm, const QString& sql)
{
    QSqlQuery& q = dm.ExecSelect(sql);
    return q.next() ? q.value(0).toString() : QString();
}

void insertServices(TDMQuorvel& dm, int count, const QString& ip, const QString& minute)
{
    QString sql = QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_minute) values ");
    for (int i = 0; i < count; ++i) {
        sql += QStringLiteral("(\"URL\",%1,80,\"Hourly\",\"%2\")%3")
                   .arg(QuoteSqlText(ip + QStringLiteral("/s%1").arg(i)), minute, i + 1 < count ? "," : "");
    }
    exec(dm, sql);
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
    const QDateTime at =
        QDateTime::fromString(QStringLiteral("2026-12-12 10:15:00"), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    SetClockSource([at] { return at; });

    // ---- a. 300 due services, each answered after 1 s ------------------------------------------
    SlowHttpServer server(1000);
    const QString base = QStringLiteral("127.0.0.1:%1").arg(server.port());

    QElapsedTimer clock;
    clock.start();
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < 300; ++i) {
            threads.emplace_back([&server] {
                HttpClientSettings settings;
                settings.timeoutMs = 10000;
                HttpClient client(settings);
                try {
                    client.send(HttpMethod::Head, QStringLiteral("http://127.0.0.1:%1/b").arg(server.port()));
                } catch (...) {
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
    }
    const double baselineRound = double(clock.nsecsElapsed()) / 1e9;

    insertServices(dm, 300, base, QStringLiteral("15"));
    MonitorEngine engine;
    AppSettings.InitStart = false;
    qint64 maxStallMs = 0;
    QElapsedTimer sinceBeat;
    QTimer beat;
    beat.setInterval(10);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 gap = sinceBeat.restart() - 10;
        if (gap > 50 && qEnvironmentVariableIsSet("QUORVEL_BENCH_VERBOSE"))
            std::printf("   stall of %lld ms ending at %lld ms\n", static_cast<long long>(gap),
                        static_cast<long long>(clock.elapsed()));
        maxStallMs = std::max(maxStallMs, gap);
    });
    sinceBeat.start();
    beat.start();
    clock.restart();
    engine.TimerInitTimer(); // creates the pool and runs the first tick at once
    const qint64 tickMs = clock.elapsed();
    {
        // Runs the owner's event loop until every row reads "Passed" (checked every 20 ms).
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (scalar(dm, QStringLiteral("select count(*) from service where service_status=\"Passed\"")) ==
                    QLatin1String("300") ||
                clock.elapsed() > 20000)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    const double engineRound = double(clock.nsecsElapsed()) / 1e9;
    beat.stop();
    std::printf("a. 300 due services, answers after 1 s (200 run at once, 100 wait)\n");
    std::printf("   baseline, 300 plain threads:  %.3f s\n", baselineRound);
    std::printf("   engine round:                 %.3f s (goal <= 2.5 s), ratio %.2f\n", engineRound,
                engineRound / baselineRound);
    std::printf("   tick that queued them:        %lld ms\n", static_cast<long long>(tickMs));
    std::printf("   longest event-loop stall:     %lld ms (goal <= 50 ms)\n",
                static_cast<long long>(maxStallMs));

    // ---- b. 1,000 services, none due -------------------------------------------------------------
    exec(dm, QStringLiteral("delete from service"));
    insertServices(dm, 1000, base, QStringLiteral("59"));
    engine.FillServiceList(QStringLiteral("ALL"));
    const int rounds = 200;
    clock.restart();
    for (int i = 0; i < rounds; ++i)
        scalar(dm, QStringLiteral("select 1"));
    const double baselineStatementMs = double(clock.nsecsElapsed()) / 1e6 / rounds;
    clock.restart();
    for (int i = 0; i < rounds; ++i)
        engine.TimerServiceTimer();
    const double tickNoneDueMs = double(clock.nsecsElapsed()) / 1e6 / rounds;
    std::printf("b. 1,000 services, none due\n");
    std::printf("   baseline, \"select 1\":         %.3f ms\n", baselineStatementMs);
    std::printf("   tick:                         %.3f ms (goal < 5 ms), ratio %.2f\n", tickNoneDueMs,
                tickNoneDueMs / baselineStatementMs);

    engine.SetScheduling(true);
    const double cpuBefore = cpuSeconds();
    clock.restart();
    {
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double idleShare = (cpuSeconds() - cpuBefore) / (double(clock.elapsed()) / 1000.0);
    std::printf("   idle CPU over %.0f s:            %.2f %% of a core (goal < 1 %%)\n",
                clock.elapsed() / 1000.0, idleShare * 100.0);
    engine.DestroyPool();
    return 0;
}
