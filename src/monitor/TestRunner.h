#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class PoolWorkItem;
class ThreadPoolManager;

// Runs the tests a window asks for (a connection test, a test message), one at a time per
// runner, on a worker pool of the runner's own, so the window stays responsive. The work item is
// the one the shared builders make (CheckBuilders.h, AlarmBuilders.h). When it comes back, the
// whole item (verdict, detail, and what its kind records besides) is handed on the runner's
// thread to the handler given with it.
//
// Only the latest test is answered: the answer of a test started before another one, or before
// Drop, or still under way when the runner is destroyed (its window closed for good), is dropped
// without a call.
class TestRunner : public QObject
{
    Q_OBJECT

public:
    // Reads the finished item; the item is destroyed after the handler returns. The handler may
    // start the next test or destroy the runner.
    using DoneHandler = std::function<void(const PoolWorkItem& item)>;

    explicit TestRunner(QObject* parent = nullptr);
    ~TestRunner() override;

    TestRunner(const TestRunner&) = delete;
    TestRunner& operator=(const TestRunner&) = delete;

    // Queues `item` (not null) and returns the ticket of this test, never 0; any test still
    // awaited becomes stale. Throws std::runtime_error when no worker pool can be started; then
    // nothing is awaited.
    std::uint64_t Start(std::unique_ptr<PoolWorkItem> item, DoneHandler done);

    // Forgets the test awaited (its inputs changed, the window was shown afresh).
    void Drop();

    // A test has been started and its answer has not been handed back yet.
    bool Awaiting() const { return m_awaitedTicket != 0; }
    // `ticket` names the test awaited now (for progress reported by a running item).
    bool IsAwaited(std::uint64_t ticket) const { return ticket != 0 && ticket == m_awaitedTicket; }

private:
    void itemDone(PoolWorkItem* item);

    std::unique_ptr<ThreadPoolManager> m_pool;
    std::uint64_t m_lastTicket = 0;
    std::uint64_t m_awaitedTicket = 0; // 0: nothing awaited
    std::int32_t m_awaitedItem = 0;    // the pool's Id of the awaited item
    DoneHandler m_done;
};

// Why the pool handed `item` back without running it to its end ("" when it did).
QString NotRunReason(const PoolWorkItem& item);
