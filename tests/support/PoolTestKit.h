#pragma once

// Shared pieces of the worker pool tests: a gate that blocking items wait on, a work item that
// reports what happened to it, and a recorder of the hand-backs on the owner thread.

#include "pool/PoolWorkItem.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pooltest {

// Items blocked on a gate wait until the test opens it (at most `limit`, so no test hangs).
class Gate
{
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    // Returns false when the gate stayed shut for the whole limit.
    bool Pass(std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// Counts over all items of one test.
struct Tally
{
    std::atomic<int> started{0};    // Execute entered
    std::atomic<int> inside{0};     // Execute running now
    std::atomic<int> mostInside{0}; // highest `inside` seen
    std::atomic<int> destroyed{0};
};

class TestItem : public PoolWorkItem
{
public:
    explicit TestItem(Tally& tally, std::function<void()> work = {}) : m_tally(tally), m_work(std::move(work))
    {
    }
    ~TestItem() override { m_tally.destroyed.fetch_add(1); }

    void Execute() override
    {
        Ran = true;
        m_tally.started.fetch_add(1);
        const int now = m_tally.inside.fetch_add(1) + 1;
        int most = m_tally.mostInside.load();
        while (now > most && !m_tally.mostInside.compare_exchange_weak(most, now)) {
        }
        struct Leave
        {
            Tally& t;
            ~Leave() { t.inside.fetch_sub(1); }
        } leave{m_tally};
        Left = LeaveInLeft;
        if (m_work)
            m_work();
    }

    QString LeaveInLeft; // set by the test before queueing; Execute copies it to Left first

    bool Ran = false; // written by Execute only
    QString Left;     // a result field Execute may set before it fails

private:
    Tally& m_tally;
    std::function<void()> m_work;
};

// What OnWorkItemDone saw of one item.
struct Handed
{
    int id = 0;
    int status = -1;
    QString errorText;
    bool ran = false;
    QString left;
    bool onOwnerThread = false;
};

// Records every hand-back; the handler checks it runs on the thread that created the recorder.
class Recorder
{
public:
    Recorder() : m_owner(QThread::currentThread()) {}

    ThreadPoolManager::WorkItemDoneHandler Handler()
    {
        return [this](ThreadPoolManager*, PoolWorkItem* item) {
            Handed h;
            h.id = item->Id;
            h.status = item->Status;
            h.errorText = item->ErrorText;
            h.onOwnerThread = QThread::currentThread() == m_owner;
            if (auto* test = dynamic_cast<TestItem*>(item)) {
                h.ran = test->Ran;
                h.left = test->Left;
            }
            ++timesById[h.id];
            handed.push_back(h);
            if (after)
                after(h);
        };
    }

    const Handed* Find(int id) const
    {
        for (const Handed& h : handed)
            if (h.id == id)
                return &h;
        return nullptr;
    }

    std::vector<Handed> handed;
    std::map<int, int> timesById;
    std::function<void(const Handed&)> after; // optional extra step inside the handler

private:
    QThread* m_owner;
};

// Runs the owner's event loop until `done` holds or `limit` passes; returns `done()`.
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Sleeps (without running the event loop) until `done` holds or `limit` passes.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace pooltest
