// Soak benchmark of the monitoring cycle, against baselines measured in the same run.
//
//  a. 60 minute ticks at an injected clock, each with 300 due URL services against a loopback
//     HTTP server (a child process, so its CPU is not counted as ours) that answers at once and
//     closes: resident memory after tick 60 against after tick 5 (goal: within 2 MB), and the
//     CPU of the whole cycle per check (scheduler, pool, check, result handling with its
//     statement) from tick 6 to 60, against curl fetching the same server with a new connection
//     per URL (goal: at most 1.0x).
//  b. One item at a time through the pool (the owner -> worker -> owner round trip) against
//     QThreadPool with a queued call back (goal: at most 1.3x).
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT or QUORVEL_TEST_DB_PORT (and
// QUORVEL_BENCH_DB_HOST, default 127.0.0.1), as scripts/bench.sh starts it.
#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"
#include "pool/PoolWorkItem.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThreadPool>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kServices = 300;
constexpr int kTicks = 60;

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuSelf()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double residentMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A loopback HTTP server in a child process: every connection gets "200 OK" at once and is
// closed, so each request needs a connection of its own.
class ServerProcess
{
public:
    ServerProcess()
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        listen(fd, 1024);
        socklen_t len = sizeof(addr);
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_pid = fork();
        if (m_pid == 0) {
            serve(fd); // never returns
        }
        close(fd);
    }
    ~ServerProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    int port() const { return m_port; }

private:
    [[noreturn]] static void serve(int fd)
    {
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        char buf[4096];
        for (;;) {
            const int c = accept(fd, nullptr, nullptr);
            if (c < 0)
                continue;
            std::string head;
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(c, buf, sizeof(buf));
                if (n <= 0)
                    break;
                head.append(buf, std::size_t(n));
            }
            (void)!write(c, answer, sizeof(answer) - 1);
            close(c);
        }
    }

    int m_port = 0;
    pid_t m_pid = -1;
};

// CPU seconds of a child process running `args` to its end.
double childCpu(const std::vector<std::string>& args, int* status)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    rusage u{};
    wait4(pid, status, 0, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

class NoOpItem : public PoolWorkItem
{
public:
    void Execute() override {}
};

template <typename Done> void spin(Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

double poolRoundTripUs(int count)
{
    ThreadPoolManager pool;
    pool.MaxPooled(200);
    int done = 0;
    pool.SetOnWorkItemDone([&](ThreadPoolManager* p, PoolWorkItem*) {
        if (++done < count)
            p->QueueItem(std::make_unique<NoOpItem>());
    });
    QElapsedTimer t;
    t.start();
    pool.QueueItem(std::make_unique<NoOpItem>());
    spin([&] { return done >= count; });
    return double(t.nsecsElapsed()) / 1e3 / count;
}

double qthreadPoolRoundTripUs(int count)
{
    QThreadPool threads;
    QObject receiver;
    int done = 0;
    std::function<void()> next;
    next = [&] {
        threads.start([&] {
            QMetaObject::invokeMethod(
                &receiver,
                [&] {
                    if (++done < count)
                        next();
                },
                Qt::QueuedConnection);
        });
    };
    QElapsedTimer t;
    t.start();
    next();
    spin([&] { return done >= count; });
    return double(t.nsecsElapsed()) / 1e3 / count;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    ServerProcess server; // forked before any thread exists
    QCoreApplication app(argc, argv);
    int dbPort = qEnvironmentVariableIntValue("QUORVEL_BENCH_DB_PORT");
    if (dbPort <= 0)
        dbPort = qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT");
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
    AppSettings.HTTPRetry = 0;

    TDMQuorvel dm;
    if (!dm.ConnectDatabase(true))
        return 1;
    dm.ExecUpdate(QStringLiteral("drop database if exists quorvel"));
    dm.CreateDatabaseAndTables();
    QString sql = QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_minute) values ");
    for (int i = 0; i < kServices; ++i)
        sql += QStringLiteral("(\"URL\",\"127.0.0.1:%1/s%2\",80,\"Minutely\",\"1\")%3")
                   .arg(server.port())
                   .arg(i)
                   .arg(i + 1 < kServices ? QStringLiteral(",") : QString());
    dm.ExecUpdate(sql);

    QDateTime at =
        QDateTime::fromString(QStringLiteral("2026-12-12 10:00:00"), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    SetClockSource([&at] { return at; });

    // ---- a. 60 ticks -------------------------------------------------------------------------
    std::printf("a. %d ticks, %d due URL services each, loopback server closing every connection\n", kTicks,
                kServices);
    MonitorEngine engine;
    int results = 0;
    QObject::connect(engine.ServiceList(), &TextTableModel::dataChanged, [&](const QModelIndex& i) {
        if (i.column() == MonitorEngine::SvcLastAccessed)
            ++results;
    });
    engine.TimerInitTimer(); // creates the pool, fills the list and runs the tick of 10:00
    double rss5 = 0;
    double cpu5 = 0;
    QElapsedTimer wall;
    wall.start();
    double wall5 = 0;
    for (int tick = 1; tick <= kTicks; ++tick) {
        if (tick > 1) {
            at = at.addSecs(60);
            engine.TimerServiceTimer();
        }
        QElapsedTimer bound;
        bound.start();
        spin([&] { return results >= tick * kServices || bound.elapsed() > 120000; });
        if (tick == 5) {
            rss5 = residentMb();
            cpu5 = cpuSelf();
            wall5 = double(wall.nsecsElapsed()) / 1e9;
        }
    }
    const double rss60 = residentMb();
    const double cpuPerCheckUs = (cpuSelf() - cpu5) / double((kTicks - 5) * kServices) * 1e6;
    const double wallPerTick = (double(wall.nsecsElapsed()) / 1e9 - wall5) / (kTicks - 5);
    QSqlQuery& notPassed =
        dm.ExecSelect(QStringLiteral("select count(*) from service where service_status<>\"Passed\""));
    const QString failed = notPassed.next() ? notPassed.value(0).toString() : QStringLiteral("?");
    std::printf("   results handled: %d of %d; services not Passed at the end: %s\n", results,
                kTicks * kServices, qPrintable(failed));
    std::printf("   resident memory: tick 5 %.2f MB, tick 60 %.2f MB, growth %.2f MB (goal <= 2 MB)\n", rss5,
                rss60, rss60 - rss5);
    std::printf("   wall time per tick (300 checks, stored): %.3f s\n", wallPerTick);

    // Baseline: curl, one connection per URL (the server closes after each answer).
    const int curlUrls = 1000;
    std::vector<std::string> curl = {"curl", "-s", "-o", "/dev/null"};
    for (int i = 0; i < curlUrls; ++i) {
        curl.push_back("http://127.0.0.1:" + std::to_string(server.port()) + "/c" + std::to_string(i));
        if (i + 1 < curlUrls)
            curl.push_back("-o");
        if (i + 1 < curlUrls)
            curl.push_back("/dev/null");
    }
    std::vector<double> curlUs;
    int curlStatus = 0;
    for (int r = 0; r < 3; ++r)
        curlUs.push_back(childCpu(curl, &curlStatus) / curlUrls * 1e6);
    const double curlPerUrl = median(curlUs);
    std::printf("   CPU per check, whole cycle (ticks 6-60): %.1f us; curl, new connection per URL: %.1f us "
                "(exit %d); ratio %.2f (goal <= 1.0)\n",
                cpuPerCheckUs, curlPerUrl, WEXITSTATUS(curlStatus), cpuPerCheckUs / curlPerUrl);
    engine.DestroyPool();

    // ---- b. single-item round trip -------------------------------------------------------------
    const int serial = 20000;
    poolRoundTripUs(serial / 10);
    qthreadPoolRoundTripUs(serial / 10);
    std::vector<double> ours, base;
    for (int r = 0; r < 5; ++r) {
        ours.push_back(poolRoundTripUs(serial));
        base.push_back(qthreadPoolRoundTripUs(serial));
    }
    std::printf(
        "b. one item at a time (%d items, median of 5): ThreadPoolManager %.2f us, QThreadPool %.2f us, "
        "ratio %.2f (goal <= 1.3)\n",
        serial, median(ours), median(base), median(ours) / median(base));
    SetClockSource({});
    return 0;
}
