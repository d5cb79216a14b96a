// Worker pool benchmark (not a test): prints figures and ratios against a baseline measured in
// the same run.
//
// a. Per-item overhead: N no-op items through QueueItem -> Execute -> OnWorkItemDone on the owner
//    loop, against QThreadPool::start with a queued call back to the owner.
// b. Blocking items: 200 items each blocking 1 s, then 300 (200 run, 100 wait), with the
//    program's limits, against the ideal times (1 s and 2 s) and against a QThreadPool of 200
//    threads.

#include "pool/PoolWorkItem.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

class NoOpItem : public PoolWorkItem
{
public:
    void Execute() override {}
};

class SleepItem : public PoolWorkItem
{
public:
    explicit SleepItem(std::chrono::milliseconds d) : m_d(d) {}
    void Execute() override { std::this_thread::sleep_for(m_d); }

private:
    std::chrono::milliseconds m_d;
};

void SpinUntil(const int& done, int target)
{
    while (done < target)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs `count` items on our pool; returns the seconds from the first QueueItem to the last
// OnWorkItemDone. `make` builds one item.
template <typename Make>
double RunPool(int count, int maxPooled, int maxQueueLength, Make make, int* notDone = nullptr)
{
    ThreadPoolManager pool;
    pool.MaxPooled(maxPooled);
    pool.MaxQueueLength(maxQueueLength);
    pool.MaxQueuedTime(300);
    int done = 0;
    int failed = 0;
    pool.SetOnWorkItemDone([&](ThreadPoolManager*, PoolWorkItem* item) {
        ++done;
        if (item->Status != PoolWorkItem::StatusDone)
            ++failed;
    });
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        pool.QueueItem(std::unique_ptr<PoolWorkItem>(make()));
    SpinUntil(done, count);
    const double s = Seconds(Clock::now() - start);
    if (notDone)
        *notDone = failed;
    return s;
}

// The same through QThreadPool, each task posting a queued call back to the owner.
template <typename Work> double RunQThreadPool(int count, int threads, Work work)
{
    QThreadPool threadPool;
    threadPool.setMaxThreadCount(threads);
    QObject owner;
    int done = 0;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        threadPool.start([&owner, &done, work] {
            work();
            QMetaObject::invokeMethod(
                &owner, [&done] { ++done; }, Qt::QueuedConnection);
        });
    }
    SpinUntil(done, count);
    const double s = Seconds(Clock::now() - start);
    threadPool.waitForDone();
    return s;
}

// Queues the next item only when the previous one has come back.
double RunPoolSerial(int count)
{
    ThreadPoolManager pool;
    pool.MaxPooled(200);
    pool.MaxQueuedTime(300);
    int done = 0;
    pool.SetOnWorkItemDone([&](ThreadPoolManager* p, PoolWorkItem*) {
        if (++done < count)
            p->QueueItem(std::make_unique<NoOpItem>());
    });
    const auto start = Clock::now();
    pool.QueueItem(std::make_unique<NoOpItem>());
    SpinUntil(done, count);
    return Seconds(Clock::now() - start);
}

double RunQThreadPoolSerial(int count, int threads)
{
    QThreadPool threadPool;
    threadPool.setMaxThreadCount(threads);
    QObject owner;
    int done = 0;
    std::function<void()> next = [&] {
        threadPool.start([&] {
            QMetaObject::invokeMethod(
                &owner,
                [&] {
                    if (++done < count)
                        next();
                },
                Qt::QueuedConnection);
        });
    };
    const auto start = Clock::now();
    next();
    SpinUntil(done, count);
    const double s = Seconds(Clock::now() - start);
    threadPool.waitForDone();
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = 5;

    std::printf("a. %d no-op items, median of %d rounds (after one warm-up round each)\n", n, rounds);
    const int threads = std::max(2, QThread::idealThreadCount());
    RunPool(n / 10, 200, 0, [] { return new NoOpItem; });
    RunQThreadPool(n / 10, threads, [] {});
    std::vector<double> ours, base;
    int notRun = 0;
    for (int r = 0; r < rounds; ++r) {
        int failed = 0;
        ours.push_back(RunPool(
            n, 200, 0, [] { return new NoOpItem; }, &failed));
        notRun += failed;
        base.push_back(RunQThreadPool(n, threads, [] {}));
    }
    const double oursPerItem = Median(ours) / n * 1e6;
    const double basePerItem = Median(base) / n * 1e6;
    std::printf("   all queued at once:\n");
    std::printf(
        "   ThreadPoolManager (MaxPooled 200):             %.3f s  %.2f us/item (not run to end: %d)\n",
        Median(ours), oursPerItem, notRun);
    std::printf("   QThreadPool (%d threads) + queued call back:    %.3f s  %.2f us/item\n", threads,
                Median(base), basePerItem);
    std::printf("   ratio ours/baseline per item: %.2f (goal <= 2)\n", oursPerItem / basePerItem);

    // One item at a time: the round trip owner -> worker -> owner, where every hand-over between
    // threads shows.
    const int serial = std::max(1, n / 10);
    std::vector<double> oursSerial, baseSerial;
    for (int r = 0; r < rounds; ++r) {
        oursSerial.push_back(RunPoolSerial(serial));
        baseSerial.push_back(RunQThreadPoolSerial(serial, threads));
    }
    const double oursRoundTrip = Median(oursSerial) / serial * 1e6;
    const double baseRoundTrip = Median(baseSerial) / serial * 1e6;
    std::printf("   one at a time (%d items): ThreadPoolManager %.2f us/item, QThreadPool %.2f us/item, "
                "ratio %.2f\n",
                serial, oursRoundTrip, baseRoundTrip, oursRoundTrip / baseRoundTrip);

    std::printf("b. blocking items (MaxPooled 200, MaxQueueLength 100, MaxQueuedTime 300)\n");
    const auto second = std::chrono::milliseconds(1000);
    int failed = 0;
    const double ours200 = RunPool(
        200, 200, 100, [&] { return new SleepItem(second); }, &failed);
    std::printf("   200 x 1 s: %.3f s (ideal 1 s, ratio %.3f, goal <= 1.25), not run to end: %d\n", ours200,
                ours200 / 1.0, failed);
    const double ours300 = RunPool(
        300, 200, 100, [&] { return new SleepItem(second); }, &failed);
    std::printf("   300 x 1 s: %.3f s (ideal 2 s, goal <= 2.5 s, ratio to ideal %.3f), not run to end: %d\n",
                ours300, ours300 / 2.0, failed);
    const double base200 = RunQThreadPool(200, 200, [&] { std::this_thread::sleep_for(second); });
    const double base300 = RunQThreadPool(300, 200, [&] { std::this_thread::sleep_for(second); });
    std::printf("   QThreadPool (200 threads): 200 x 1 s %.3f s, 300 x 1 s %.3f s; ratios ours/baseline "
                "%.3f and %.3f\n",
                base200, base300, ours200 / base200, ours300 / base300);
    return 0;
}
