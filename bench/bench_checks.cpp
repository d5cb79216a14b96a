// Service check benchmark (not a test): prints figures and ratios against baselines measured in
// the same run.
//
// a. 254 ping checks of 127.0.0.1 to 127.0.0.254, built the way the scheduler builds them and
//    queued from one tick on the pool with the program's limits (MaxPooled 200, MaxQueueLength
//    100, MaxQueuedTime 300), and again with MaxQueueLength 0 (no limit); against fping on the
//    same list: wall time from the first QueueItem to the last OnWorkItemDone, against fping's
//    wall time from spawn to exit.
// b. 1,000 sequential URL checks (method "Get") against a loopback HTTP server inside this
//    program, against one curl process fetching the same URL 1,000 times: CPU time per check,
//    the check's own thread against the curl process's.
// c. 300 sequential HTTPS URL checks through the pool against a loopback TLS server inside this
//    program (a certificate made for the run, verified as a check verifies it), against curl
//    fetching the same URL as often with a new connection per request, with and without the TLS
//    session reuse curl does by default: CPU time per check.
//
// Usage: bench_checks [--rounds N] [--ping-timeout MS] [--urls N] [--https N] [--only a|b|c]
//
// Run as root (or with CAP_NET_RAW) where net.ipv4.ping_group_range excludes the process's group,
// the ping checks use raw sockets. To measure the unprivileged datagram socket as root, run it in
// a private network namespace of its own:
//   unshare -n sh -c 'ip link set lo up && sysctl -q -w net.ipv4.ping_group_range="0 2147483647" &&
//                     bench_checks --only a'

#include "checks/ThreadPingCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"
#include "pool/PoolWorkItem.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double CpuNow(int who)
{
    rusage r{};
    getrusage(who, &r);
    return CpuSeconds(r);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void PrintLoad(const char* when)
{
    double load[3] = {0, 0, 0};
    utsname system{};
    uname(&system);
    if (getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f (%u cores, Linux %s)\n", when, load[0], load[1], load[2],
                    std::thread::hardware_concurrency(), system.release);
}

// Runs the owner thread's event loop until `finished()` holds after a hand-back or `limit` has
// passed. The loop sleeps between events (no polling), so the owner thread costs no CPU while it
// waits.
void RunLoopUntil(const std::function<bool()>& finished, std::chrono::milliseconds limit, QEventLoop& loop)
{
    if (finished())
        return;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------------------------------------
// Child programs

struct ChildRun
{
    bool started = false;
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system of the child, from wait4
};

// Runs `argv` with stdin, stdout and stderr on /dev/null and waits for it.
ChildRun RunChild(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);

    ChildRun run;
    pid_t pid = 0;
    const auto start = Clock::now();
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wallSeconds = Seconds(Clock::now() - start);
    run.started = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.cpuSeconds = CpuSeconds(usage);
    return run;
}

// ---------------------------------------------------------------------------------------------
// a. Ping checks through the pool

struct PingRound
{
    double seconds = 0;
    int passed = 0;
    int failed = 0;
    int refused = 0; // Status 7
    int otherStatus = 0;
    QString firstFailure;
};

ThreadCheckArgs PingArgs(int index, int timeoutMs)
{
    // What the scheduler's builder puts into a Ping check for a stored row.
    ThreadCheckArgs args;
    args.Origin = QStringLiteral("Product");
    args.ServiceId = index;
    args.Host = QStringLiteral("127.0.0.%1").arg(index);
    args.Port = 0;
    args.Retry = 0;
    args.Timeout = timeoutMs;
    return args;
}

// Queues `count` ping checks on `pool` at once (one tick) and waits for all of them to come back.
PingRound RunPingBatch(ThreadPoolManager& pool, int count, int timeoutMs)
{
    PingRound round;
    int done = 0;
    QEventLoop loop;
    pool.SetOnWorkItemDone([&](ThreadPoolManager*, PoolWorkItem* item) {
        if (++done == count)
            loop.quit();
        if (item->Status == PoolWorkItem::StatusRefused) {
            ++round.refused;
            return;
        }
        if (item->Status != PoolWorkItem::StatusDone) {
            ++round.otherStatus;
            return;
        }
        const auto* check = static_cast<ThreadPingCheck*>(item);
        if (check->Passed) {
            ++round.passed;
        } else {
            ++round.failed;
            if (round.firstFailure.isEmpty())
                round.firstFailure = check->ResultDetail;
        }
    });
    const auto start = Clock::now();
    for (int i = 1; i <= count; ++i)
        pool.QueueItem(std::make_unique<ThreadPingCheck>(PingArgs(i, timeoutMs)));
    RunLoopUntil([&] { return done >= count; },
                 std::chrono::milliseconds(timeoutMs) + std::chrono::seconds(60), loop);
    round.seconds = Seconds(Clock::now() - start);
    if (done < count)
        round.otherStatus += count - done;
    return round;
}

std::unique_ptr<ThreadPoolManager> MakePool(int maxQueueLength)
{
    auto pool = std::make_unique<ThreadPoolManager>();
    pool->MaxPooled(200);
    pool->MaxQueueLength(maxQueueLength);
    pool->MaxQueuedTime(300);
    return pool;
}

const char* IcmpSocketKind(bool* raw)
{
    *raw = false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        ::close(fd);
        return "ICMP datagram socket (unprivileged)";
    }
    const int rawFd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (rawFd >= 0) {
        ::close(rawFd);
        *raw = true;
        return "raw ICMP socket (each check's socket sees every ICMP datagram of the host)";
    }
    return "none (ping checks will fail: no ICMP socket)";
}

void PrintPingRound(const char* name, const PingRound& r)
{
    std::printf("   %-34s %9.2f ms  passed %d, failed %d, refused %d, other %d\n", name, r.seconds * 1e3,
                r.passed, r.failed, r.refused, r.otherStatus);
    if (!r.firstFailure.isEmpty())
        std::printf("      first failure: %s\n", r.firstFailure.toUtf8().constData());
}

void BenchPing(int rounds, int timeoutMs)
{
    constexpr int Hosts = 254;
    std::printf("\na. %d ping checks of 127.0.0.1..127.0.0.%d, Timeout %d ms, %d rounds\n", Hosts, Hosts,
                timeoutMs, rounds);
    bool rawSocket = false;
    std::printf("   socket: %s\n", IcmpSocketKind(&rawSocket));

    std::vector<std::string> fping = {"fping", "-q", "-c1", "-t", std::to_string(timeoutMs)};
    std::vector<std::string> fpingNoGap = {"fping", "-q", "-c1", "-t", std::to_string(timeoutMs), "-i", "0"};
    for (int i = 1; i <= Hosts; ++i) {
        fping.push_back("127.0.0." + std::to_string(i));
        fpingNoGap.push_back(fping.back());
    }

    // Warm-up: page in fping and the engine's code.
    RunChild(fping);
    {
        auto pool = MakePool(0);
        RunPingBatch(*pool, Hosts, timeoutMs);
    }

    std::vector<double> limited, unlimited, warm, fpingDefault, fpingZero;
    int refusedTotal = 0;
    int failedTotal = 0;
    int fpingBad = 0;
    for (int r = 0; r < rounds; ++r) {
        std::printf("  round %d\n", r + 1);
        {
            // A fresh pool: in the program, ping ticks are a minute apart and idle worker threads end
            // after 30 s, so a tick starts without threads.
            auto pool = MakePool(100);
            const PingRound round = RunPingBatch(*pool, Hosts, timeoutMs);
            PrintPingRound("pool, MaxQueueLength 100, cold:", round);
            limited.push_back(round.seconds);
            refusedTotal += round.refused;
            failedTotal += round.failed + round.otherStatus;
        }
        {
            auto pool = MakePool(0);
            const PingRound round = RunPingBatch(*pool, Hosts, timeoutMs);
            PrintPingRound("pool, MaxQueueLength 0, cold:", round);
            unlimited.push_back(round.seconds);
            failedTotal += round.failed + round.otherStatus;
            // The same pool again at once, its worker threads still alive.
            const PingRound again = RunPingBatch(*pool, Hosts, timeoutMs);
            PrintPingRound("pool, MaxQueueLength 0, warm:", again);
            warm.push_back(again.seconds);
            failedTotal += again.failed + again.otherStatus;
        }
        const ChildRun f = RunChild(fping);
        const ChildRun f0 = RunChild(fpingNoGap);
        if (!f.started || f.exitCode != 0 || !f0.started || f0.exitCode != 0)
            ++fpingBad;
        std::printf("   %-34s %9.2f ms  exit %d\n", "fping (default -i):", f.wallSeconds * 1e3, f.exitCode);
        std::printf("   %-34s %9.2f ms  exit %d\n", "fping -i 0:", f0.wallSeconds * 1e3, f0.exitCode);
        fpingDefault.push_back(f.wallSeconds);
        fpingZero.push_back(f0.wallSeconds);
    }

    const double mLimited = Median(limited);
    const double mUnlimited = Median(unlimited);
    const double mWarm = Median(warm);
    const double mFping = Median(fpingDefault);
    const double mFpingZero = Median(fpingZero);
    std::printf("  medians:\n");
    std::printf("   pool, MaxQueueLength 100 (cold)   %9.2f ms\n", mLimited * 1e3);
    std::printf("   pool, MaxQueueLength 0 (cold)     %9.2f ms\n", mUnlimited * 1e3);
    std::printf("   pool, MaxQueueLength 0 (warm)     %9.2f ms\n", mWarm * 1e3);
    std::printf("   fping, default interval           %9.2f ms\n", mFping * 1e3);
    std::printf("   fping -i 0                        %9.2f ms\n", mFpingZero * 1e3);
    std::printf("  ratios (goal: at most 1.5 x fping's wall time):\n");
    std::printf("   pool (limit 100) / fping          %7.3f\n", mLimited / mFping);
    std::printf("   pool (no limit) / fping           %7.3f\n", mUnlimited / mFping);
    std::printf("   pool (limit 100) / fping -i 0     %7.2f\n", mLimited / mFpingZero);
    std::printf("   pool (no limit) / fping -i 0      %7.2f\n", mUnlimited / mFpingZero);
    std::printf("   pool warm / fping -i 0            %7.2f\n", mWarm / mFpingZero);
    std::printf("  refused with MaxQueueLength 100: %d in %d rounds; checks not passed: %d; fping runs not "
                "all answered: %d\n",
                refusedTotal, rounds, failedTotal, fpingBad);
    std::printf(
        "  notes: all 254 items are queued from one tick. The pool's manager takes each arriving item\n"
        "  onto the running list at once while fewer than MaxPooled (200) run, so only the items beyond\n"
        "  200 wait and MaxQueueLength 100 refuses an item only when more than 300 are outstanding:\n"
        "  the refused count above shows whether any were refused on this run. The variant with no\n"
        "  limit runs every item in any case and is the fair comparison. fping by default waits 10 ms\n"
        "  between two targets (-i), so its time is mostly that pacing (254 x 10 ms); fping -i 0 sends\n"
        "  as fast as it can from one socket and is the stricter baseline.\n");
    if (rawSocket && failedTotal > 0)
        std::printf(
            "  checks that failed on loopback, where every host answers, are false failures. With raw\n"
            "  sockets every check's socket is handed a copy of every ICMP datagram of the host (here 508\n"
            "  per batch: each request seen on the loopback path and its reply). A check whose thread does\n"
            "  not run for a moment (254 threads on %u cores) finds its receive buffer "
            "(net.core.rmem_default,\n"
            "  about 256 such datagrams) full of the other checks' datagrams; the kernel then drops the\n"
            "  rest for that socket, its own request and reply among them, and the check waits out its\n"
            "  Timeout. A socket filter that admits only the datagrams about the socket's own target\n"
            "  keeps the buffer free.\n",
            std::thread::hardware_concurrency());
}

// ---------------------------------------------------------------------------------------------
// b. URL checks against a loopback HTTP server

// A small HTTP/1.1 server on 127.0.0.1, one thread, one connection at a time. Every request
// (any method, no body expected) gets "200 OK" with a short body and Content-Length. With
// keep-alive on, the connection stays open for further requests until the client closes it;
// with it off, the answer carries "Connection: close" and the server closes after it.
class LoopbackHttpServer
{
public:
    LoopbackHttpServer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listen < 0)
            throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
        const int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen, 128) != 0)
            throw std::runtime_error("bind/listen: " + std::string(std::strerror(errno)));
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
        pthread_getcpuclockid(m_thread.native_handle(), &m_cpuClock);
    }

    ~LoopbackHttpServer()
    {
        m_stop.store(true);
        m_thread.join();
        ::close(m_listen);
    }

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return m_port; }
    void setKeepAlive(bool on) { m_keepAlive.store(on); }
    long served() const { return m_served.load(); }
    long connections() const { return m_connections.load(); }

    // CPU seconds the server thread has used so far.
    double cpuSeconds() const
    {
        timespec t{};
        clock_gettime(m_cpuClock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }

private:
    static constexpr int PollMs = 100;
    static constexpr int IdleLimitMs = 5000; // a silent connection is dropped after this

    void Serve()
    {
        while (!m_stop.load()) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, PollMs) <= 0)
                continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_connections;
            Connection(fd);
            ::close(fd);
        }
    }

    void Connection(int fd)
    {
        static const std::string body = "quorvel bench\n";
        std::string buffer;
        char chunk[4096];
        int idleMs = 0;
        while (!m_stop.load()) {
            const std::size_t end = buffer.find("\r\n\r\n");
            if (end != std::string::npos) {
                buffer.erase(0, end + 4);
                const bool keepAlive = m_keepAlive.load();
                const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                           std::to_string(body.size()) + "\r\n" +
                                           (keepAlive ? "" : "Connection: close\r\n") + "\r\n" + body;
                if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(answer.size()))
                    return;
                ++m_served;
                if (!keepAlive)
                    return;
                continue;
            }
            if (buffer.size() > 64 * 1024)
                return;
            pollfd p{fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, PollMs);
            if (rc == 0) {
                idleMs += PollMs;
                if (idleMs >= IdleLimitMs)
                    return;
                continue;
            }
            if (rc < 0)
                return;
            idleMs = 0;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return; // closed by the client (or failed)
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_keepAlive{true};
    std::atomic<long> m_served{0};
    std::atomic<long> m_connections{0};
    std::thread m_thread;
    clockid_t m_cpuClock{};
};

struct UrlRound
{
    double wallSeconds = 0;
    double cpuSeconds = 0; // the checking thread's (or process's, see below) CPU time
    int passed = 0;
    QString firstFailure;
    // Through the pool: the part of cpuSeconds spent on the owner thread, the pool's manager
    // thread and its worker threads.
    double ownerSeconds = 0;
    double managerSeconds = 0;
    double workerSeconds = 0;
};

// CPU seconds of this process's threads whose name is `name` (as the kernel keeps it, at most
// 15 characters), from /proc/self/task/*/schedstat (run time in nanoseconds). Threads that have
// ended do not count.
double ThreadsCpuSeconds(const std::string& name)
{
    double total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        char comm[64] = {};
        if (FILE* f = std::fopen((base + "/comm").c_str(), "r")) {
            if (!std::fgets(comm, sizeof comm, f))
                comm[0] = 0;
            std::fclose(f);
        }
        std::string threadName = comm;
        while (!threadName.empty() && threadName.back() == '\n')
            threadName.pop_back();
        if (threadName != name)
            continue;
        if (FILE* f = std::fopen((base + "/schedstat").c_str(), "r")) {
            unsigned long long ns = 0;
            if (std::fscanf(f, "%llu", &ns) == 1)
                total += static_cast<double>(ns) / 1e9;
            std::fclose(f);
        }
    }
    closedir(tasks);
    return total;
}

std::unique_ptr<ThreadURLCheck> MakeUrlCheck(const QString& url, int index,
                                             const TlsOptions& tls = TlsOptions())
{
    // What the scheduler's builder puts into a URL check: the kind's default time-out (10000 ms),
    // method "Get", no request headers, no form fields.
    ThreadCheckArgs args;
    args.Origin = QStringLiteral("Product");
    args.ServiceId = index;
    args.Host = ThreadURLCheck::UrlOf(url);
    args.Port = 0;
    args.Timeout = 10000;
    args.Tls = tls;
    URLCheckArgs values;
    values.Method = QStringLiteral("Get");
    values.Body = URLCheckArgs::BodyOf(values.FormFields);
    return std::make_unique<ThreadURLCheck>(args, values);
}

// `count` checks one after the other on this thread; CPU is this thread's (RUSAGE_THREAD), so the
// server thread does not count.
UrlRound RunUrlChecksDirect(const QString& url, int count)
{
    UrlRound round;
    const double cpu0 = CpuNow(RUSAGE_THREAD);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto check = MakeUrlCheck(url, i + 1);
        check->Execute();
        if (check->Passed)
            ++round.passed;
        else if (round.firstFailure.isEmpty())
            round.firstFailure = check->ResultDetail;
    }
    round.wallSeconds = Seconds(Clock::now() - start);
    round.cpuSeconds = CpuNow(RUSAGE_THREAD) - cpu0;
    return round;
}

// The same through the pool, the next check queued when the previous one has come back (as
// sequential as the program ever runs them). CPU is the whole process's less the server thread's,
// so the pool's manager and worker threads count.
template <class Server>
UrlRound RunUrlChecksPool(const QString& url, int count, const Server& server,
                          const TlsOptions& tls = TlsOptions())
{
    UrlRound round;
    auto pool = MakePool(100);
    int done = 0;
    QEventLoop loop;
    pool->SetOnWorkItemDone([&](ThreadPoolManager* p, PoolWorkItem* item) {
        if (++done == count)
            loop.quit();
        const auto* check = static_cast<ThreadURLCheck*>(item);
        if (item->Status == PoolWorkItem::StatusDone && check->Passed)
            ++round.passed;
        else if (round.firstFailure.isEmpty())
            round.firstFailure =
                check->ResultDetail + QStringLiteral(" status ") + QString::number(item->Status);
        if (done < count)
            p->QueueItem(MakeUrlCheck(url, done + 1, tls));
    });
    // The pool's threads start with the first item; no others of these names run now.
    const double owner0 = CpuNow(RUSAGE_THREAD);
    const double cpu0 = CpuNow(RUSAGE_SELF) - server.cpuSeconds();
    const auto start = Clock::now();
    pool->QueueItem(MakeUrlCheck(url, 1, tls));
    RunLoopUntil([&] { return done >= count; }, std::chrono::seconds(120), loop);
    round.wallSeconds = Seconds(Clock::now() - start);
    round.cpuSeconds = CpuNow(RUSAGE_SELF) - server.cpuSeconds() - cpu0;
    round.ownerSeconds = CpuNow(RUSAGE_THREAD) - owner0;
    round.managerSeconds = ThreadsCpuSeconds("ThreadPoolManag");
    round.workerSeconds = ThreadsCpuSeconds("PoolWorker");
    return round;
}

std::vector<std::string> CurlArgs(const std::string& url, int count)
{
    std::vector<std::string> args = {"curl", "-s"};
    for (int i = 0; i < count; ++i) {
        args.push_back("-o");
        args.push_back("/dev/null");
        args.push_back(url);
    }
    return args;
}

void BenchUrl(int rounds, int count)
{
    LoopbackHttpServer server;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/bench/status";
    const QString qurl = QString::fromStdString(url);
    std::printf("\nb. %d sequential URL checks (\"Get\") of %s, %d rounds\n", count, url.c_str(), rounds);

    const std::vector<std::string> curlMany = CurlArgs(url, count);
    const std::vector<std::string> curlOne = CurlArgs(url, 1);

    // Warm-up.
    RunUrlChecksDirect(qurl, std::min(count, 100));
    RunChild(curlMany);

    std::vector<double> oursCpu, oursWall, poolCpu, poolWall, curlKaCpu, curlKaWall, curlCloseCpu,
        curlCloseWall, curlStartCpu;
    int oursFailed = 0;
    int curlBad = 0;
    for (int r = 0; r < rounds; ++r) {
        std::printf("  round %d\n", r + 1);
        server.setKeepAlive(true);

        long served0 = server.served();
        long conns0 = server.connections();
        const UrlRound direct = RunUrlChecksDirect(qurl, count);
        std::printf("   ThreadURLCheck::Execute, this thread: %7.3f s wall, %7.3f s CPU, %6.1f us CPU/check, "
                    "passed %d, %ld requests on %ld connections\n",
                    direct.wallSeconds, direct.cpuSeconds, direct.cpuSeconds / count * 1e6, direct.passed,
                    server.served() - served0, server.connections() - conns0);
        if (!direct.firstFailure.isEmpty())
            std::printf("      first failure: %s\n", direct.firstFailure.toUtf8().constData());
        oursCpu.push_back(direct.cpuSeconds);
        oursWall.push_back(direct.wallSeconds);
        oursFailed += count - direct.passed;

        served0 = server.served();
        conns0 = server.connections();
        const UrlRound pooled = RunUrlChecksPool(qurl, count, server);
        std::printf("   through the pool, one at a time:      %7.3f s wall, %7.3f s CPU, %6.1f us CPU/check, "
                    "passed %d, %ld requests on %ld connections\n",
                    pooled.wallSeconds, pooled.cpuSeconds, pooled.cpuSeconds / count * 1e6, pooled.passed,
                    server.served() - served0, server.connections() - conns0);
        std::printf(
            "      of which per check: owner thread %.1f us, manager thread %.1f us, worker threads %.1f "
            "us\n",
            pooled.ownerSeconds / count * 1e6, pooled.managerSeconds / count * 1e6,
            pooled.workerSeconds / count * 1e6);
        if (!pooled.firstFailure.isEmpty())
            std::printf("      first failure: %s\n", pooled.firstFailure.toUtf8().constData());
        poolCpu.push_back(pooled.cpuSeconds);
        poolWall.push_back(pooled.wallSeconds);
        oursFailed += count - pooled.passed;

        served0 = server.served();
        conns0 = server.connections();
        const ChildRun ka = RunChild(curlMany);
        std::printf("   curl, keep-alive (connection reused): %7.3f s wall, %7.3f s CPU, %6.1f us CPU/URL, "
                    "exit %d, %ld requests on %ld connections\n",
                    ka.wallSeconds, ka.cpuSeconds, ka.cpuSeconds / count * 1e6, ka.exitCode,
                    server.served() - served0, server.connections() - conns0);
        curlKaCpu.push_back(ka.cpuSeconds);
        curlKaWall.push_back(ka.wallSeconds);
        if (ka.exitCode != 0 || server.served() - served0 != count)
            ++curlBad;

        server.setKeepAlive(false);
        served0 = server.served();
        conns0 = server.connections();
        const ChildRun cl = RunChild(curlMany);
        std::printf("   curl, server closes after each answer:%7.3f s wall, %7.3f s CPU, %6.1f us CPU/URL, "
                    "exit %d, %ld requests on %ld connections\n",
                    cl.wallSeconds, cl.cpuSeconds, cl.cpuSeconds / count * 1e6, cl.exitCode,
                    server.served() - served0, server.connections() - conns0);
        curlCloseCpu.push_back(cl.cpuSeconds);
        curlCloseWall.push_back(cl.wallSeconds);
        if (cl.exitCode != 0 || server.served() - served0 != count)
            ++curlBad;
        server.setKeepAlive(true);

        const ChildRun one = RunChild(curlOne);
        std::printf("   curl, one URL (start-up and exit):    %7.3f s wall, %7.3f s CPU\n", one.wallSeconds,
                    one.cpuSeconds);
        curlStartCpu.push_back(one.cpuSeconds);
    }

    const double perOurs = Median(oursCpu) / count * 1e6;
    const double perPool = Median(poolCpu) / count * 1e6;
    const double start = Median(curlStartCpu);
    const double perKa = Median(curlKaCpu) / count * 1e6;
    const double perClose = Median(curlCloseCpu) / count * 1e6;
    const double perKaNet = std::max(0.0, Median(curlKaCpu) - start) / count * 1e6;
    const double perCloseNet = std::max(0.0, Median(curlCloseCpu) - start) / count * 1e6;
    std::printf("  medians, CPU time per check:\n");
    std::printf("   ThreadURLCheck, checking thread only        %7.1f us  (wall %.1f us/check)\n", perOurs,
                Median(oursWall) / count * 1e6);
    std::printf("   ThreadURLCheck through the pool (process)   %7.1f us  (wall %.1f us/check)\n", perPool,
                Median(poolWall) / count * 1e6);
    std::printf("   curl, keep-alive                            %7.1f us  (%.1f us without its start-up)\n",
                perKa, perKaNet);
    std::printf("   curl, a new connection per URL              %7.1f us  (%.1f us without its start-up)\n",
                perClose, perCloseNet);
    std::printf("  ratios of CPU per check:\n");
    std::printf("   ours / curl keep-alive                      %7.2f\n", perOurs / perKa);
    std::printf("   ours / curl new connection per URL          %7.2f\n", perOurs / perClose);
    std::printf("   ours through the pool / curl new connection %7.2f\n", perPool / perClose);
    std::printf("  checks not passed: %d; curl runs with an error or a missing request: %d\n", oursFailed,
                curlBad);
    std::printf(
        "  notes: our HTTP client opens one connection per request (connect, request, answer, close);\n"
        "  curl given the same URL 1,000 times reuses one keep-alive connection, so it saves 999\n"
        "  connects and closes. The line \"new connection per URL\" makes the server answer with\n"
        "  \"Connection: close\", so curl too connects for every URL: that is the like-for-like figure.\n"
        "  Our CPU is measured with RUSAGE_THREAD on the thread running the checks (the in-process server\n"
        "  thread excluded); curl's is its whole process's rusage from wait4, start-up included.\n");
}

// ---------------------------------------------------------------------------------------------
// c. HTTPS URL checks through the pool against a loopback TLS server

// A self-signed certificate for localhost and 127.0.0.1, made for the run, and its key; the
// certificate file is the trust anchor given to the checks (CAFile) and to curl (--cacert).
class BenchCertificate
{
public:
    BenchCertificate()
    {
        m_key = EVP_EC_gen("P-256");
        m_certificate = X509_new();
        if (!m_key || !m_certificate)
            throw std::runtime_error("cannot make a key and a certificate");
        X509_set_version(m_certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(m_certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(m_certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(m_certificate), 30L * 86400);
        X509_set_pubkey(m_certificate, m_key);
        X509_NAME* name = X509_get_subject_name(m_certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(m_certificate, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, m_certificate, m_certificate, nullptr, nullptr, 0);
        X509_EXTENSION* names =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
        if (!names)
            throw std::runtime_error("cannot name the certificate");
        X509_add_ext(m_certificate, names, -1);
        X509_EXTENSION_free(names);
        if (X509_sign(m_certificate, m_key, EVP_sha256()) <= 0)
            throw std::runtime_error("cannot sign the certificate");
        m_file = m_dir.filePath("bench-cert.pem").toStdString();
        FILE* f = std::fopen(m_file.c_str(), "w");
        if (!f || PEM_write_X509(f, m_certificate) != 1)
            throw std::runtime_error("cannot write " + m_file);
        std::fclose(f);
    }
    ~BenchCertificate()
    {
        X509_free(m_certificate);
        EVP_PKEY_free(m_key);
    }
    BenchCertificate(const BenchCertificate&) = delete;
    BenchCertificate& operator=(const BenchCertificate&) = delete;

    X509* certificate() const { return m_certificate; }
    EVP_PKEY* key() const { return m_key; }
    const std::string& file() const { return m_file; }

private:
    QTemporaryDir m_dir;
    EVP_PKEY* m_key = nullptr;
    X509* m_certificate = nullptr;
    std::string m_file;
};

// An HTTPS server on 127.0.0.1, one thread, one connection at a time: TLS handshake, one request,
// "200 OK" with "Connection: close", close. Its own CPU time is kept apart from the checks'.
class LoopbackHttpsServer
{
public:
    explicit LoopbackHttpsServer(const BenchCertificate& certificate)
    {
        m_context = SSL_CTX_new(TLS_server_method());
        if (!m_context || SSL_CTX_use_certificate(m_context, certificate.certificate()) != 1 ||
            SSL_CTX_use_PrivateKey(m_context, certificate.key()) != 1)
            throw std::runtime_error("cannot set up the TLS server");
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_listen < 0 ||
            ::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen, 128) != 0)
            throw std::runtime_error("bind/listen: " + std::string(std::strerror(errno)));
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
        pthread_getcpuclockid(m_thread.native_handle(), &m_cpuClock);
    }

    ~LoopbackHttpsServer()
    {
        m_stop.store(true);
        m_thread.join();
        ::close(m_listen);
        SSL_CTX_free(m_context);
    }

    LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
    LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

    int port() const { return m_port; }
    long served() const { return m_served.load(); }
    long handshakes() const { return m_handshakes.load(); }
    long resumed() const { return m_resumed.load(); }

    double cpuSeconds() const
    {
        timespec t{};
        clock_gettime(m_cpuClock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }

private:
    void Serve()
    {
        while (!m_stop.load()) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            timeval limit{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            SSL* ssl = SSL_new(m_context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                ++m_handshakes;
                if (SSL_session_reused(ssl))
                    ++m_resumed;
                Answer(ssl);
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
            ERR_clear_error();
            ::close(fd);
        }
    }

    void Answer(SSL* ssl)
    {
        static const std::string body = "quorvel bench\n";
        std::string request;
        char chunk[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 64 * 1024) {
            const int n = SSL_read(ssl, chunk, sizeof chunk);
            if (n <= 0)
                return;
            request.append(chunk, static_cast<std::size_t>(n));
        }
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
        if (SSL_write(ssl, answer.data(), static_cast<int>(answer.size())) == static_cast<int>(answer.size()))
            ++m_served;
    }

    SSL_CTX* m_context = nullptr;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_served{0};
    std::atomic<long> m_handshakes{0};
    std::atomic<long> m_resumed{0};
    std::thread m_thread;
    clockid_t m_cpuClock{};
};

void BenchHttps(int rounds, int count)
{
    const BenchCertificate certificate;
    LoopbackHttpsServer server(certificate);
    const std::string url = "https://localhost:" + std::to_string(server.port()) + "/bench/status";
    const QString qurl = QString::fromStdString(url);
    TlsOptions tls; // as [tls] with CAFile set: verified against the system store and the file
    tls.caFile = certificate.file();
    tls.expiryWarnDays = 14;
    std::printf("\nc. %d sequential HTTPS URL checks (\"Get\") of %s through the pool, %d rounds\n", count,
                url.c_str(), rounds);

    auto curlArgs = [&](int urls, bool reuseSessions) {
        std::vector<std::string> args = {"curl", "-s", "--cacert", certificate.file()};
        if (!reuseSessions)
            args.push_back("--no-sessionid");
        for (int i = 0; i < urls; ++i) {
            args.push_back("-o");
            args.push_back("/dev/null");
            args.push_back(url);
        }
        return args;
    };

    // Warm-up: the trust store is loaded once per program, and curl's files are in the cache.
    RunUrlChecksPool(qurl, std::min(count, 20), server, tls);
    RunChild(curlArgs(std::min(count, 20), false));

    std::vector<double> poolCpu, poolWall, curlFullCpu, curlReuseCpu, curlStartCpu;
    int failed = 0;
    int curlBad = 0;
    for (int r = 0; r < rounds; ++r) {
        std::printf("  round %d\n", r + 1);
        long served0 = server.served();
        long resumed0 = server.resumed();
        const UrlRound pooled = RunUrlChecksPool(qurl, count, server, tls);
        std::printf(
            "   through the pool, one at a time:          %7.3f s wall, %7.3f s CPU, %7.1f us CPU/check, "
            "passed %d, %ld answers, %ld resumed sessions\n",
            pooled.wallSeconds, pooled.cpuSeconds, pooled.cpuSeconds / count * 1e6, pooled.passed,
            server.served() - served0, server.resumed() - resumed0);
        if (!pooled.firstFailure.isEmpty())
            std::printf("      first failure: %s\n", pooled.firstFailure.toUtf8().constData());
        poolCpu.push_back(pooled.cpuSeconds);
        poolWall.push_back(pooled.wallSeconds);
        failed += count - pooled.passed;

        for (const bool reuse : {false, true}) {
            served0 = server.served();
            resumed0 = server.resumed();
            const ChildRun run = RunChild(curlArgs(count, reuse));
            std::printf("   curl, new connection per URL, %-12s%7.3f s wall, %7.3f s CPU, %7.1f us CPU/URL, "
                        "exit %d, %ld answers, %ld resumed sessions\n",
                        reuse ? "TLS reuse:" : "full TLS:", run.wallSeconds, run.cpuSeconds,
                        run.cpuSeconds / count * 1e6, run.exitCode, server.served() - served0,
                        server.resumed() - resumed0);
            (reuse ? curlReuseCpu : curlFullCpu).push_back(run.cpuSeconds);
            if (run.exitCode != 0 || server.served() - served0 != count)
                ++curlBad;
        }
        const ChildRun one = RunChild(curlArgs(1, false));
        std::printf("   curl, one URL (start-up and exit):        %7.3f s wall, %7.3f s CPU\n",
                    one.wallSeconds, one.cpuSeconds);
        curlStartCpu.push_back(one.cpuSeconds);
    }

    const double start = Median(curlStartCpu);
    const double perPool = Median(poolCpu) / count * 1e6;
    const double perFull = Median(curlFullCpu) / count * 1e6;
    const double perReuse = Median(curlReuseCpu) / count * 1e6;
    const double perFullNet = std::max(0.0, Median(curlFullCpu) - start) / count * 1e6;
    const double perReuseNet = std::max(0.0, Median(curlReuseCpu) - start) / count * 1e6;
    std::printf("  medians, CPU time per HTTPS check:\n");
    std::printf("   ThreadURLCheck through the pool (process)   %7.1f us  (wall %.1f us/check)\n", perPool,
                Median(poolWall) / count * 1e6);
    std::printf("   curl, new connection, full handshake        %7.1f us  (%.1f us without its start-up)\n",
                perFull, perFullNet);
    std::printf("   curl, new connection, TLS session reused    %7.1f us  (%.1f us without its start-up)\n",
                perReuse, perReuseNet);
    std::printf("  ratios of CPU per check:\n");
    std::printf(
        "   ours through the pool / curl full handshake %7.2f  (%.2f against curl without start-up)\n",
        perPool / perFull, perFullNet > 0 ? perPool / perFullNet : 0.0);
    std::printf("   ours through the pool / curl session reuse  %7.2f\n", perPool / perReuse);
    std::printf("  checks not passed: %d; curl runs with an error or a missing answer: %d\n", failed,
                curlBad);
    std::printf(
        "  notes: every check makes a full handshake and verifies the certificate chain and name, as\n"
        "  each check must see the certificate the server has now; curl reuses TLS sessions between\n"
        "  connections unless told not to (--no-sessionid). The server closes after each answer, so\n"
        "  curl connects for every URL too. Our CPU is the process's less the server thread's, pool\n"
        "  threads included; curl's is its process's rusage, start-up included.\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 3;
    int pingTimeout = 10000; // PingDefaultTimeout's default
    int urls = 1000;
    int https = 300;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--rounds")
            rounds = std::max(1, std::atoi(value));
        else if (option == "--ping-timeout")
            pingTimeout = std::max(1, std::atoi(value));
        else if (option == "--urls")
            urls = std::max(1, std::atoi(value));
        else if (option == "--https")
            https = std::max(1, std::atoi(value));
        else if (option == "--only")
            only = value;
    }

    PrintLoad("at start");
    if (only.empty() || only == "a")
        BenchPing(rounds, pingTimeout);
    if (only.empty() || only == "b")
        BenchUrl(rounds, urls);
    if (only.empty() || only == "c") {
        std::signal(SIGPIPE, SIG_IGN); // the in-process TLS server writes with write()
        BenchHttps(rounds, https);
    }
    PrintLoad("at end");
    return 0;
}
