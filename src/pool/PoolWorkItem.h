#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>

// A unit of blocking work (a probe or an alarm delivery) run by ThreadPoolManager. The builder
// fills the item's inputs on the owner thread and queues it; from then on the pool owns it: a
// worker thread runs Execute once, the owner thread's OnWorkItemDone handler reads the outcome,
// and the pool destroys the item after the handler returns.
class PoolWorkItem
{
public:
    // Outcome codes kept in Status.
    enum StatusCode : std::uint8_t
    {
        StatusDone = 0,         // Execute ran to its end
        StatusPostFailed = 1,   // the hand-over to the manager thread failed (manager not running)
        StatusPostTimeout = 2,  // the hand-over to the manager thread timed out
        StatusQueueFull = 3,    // the manager thread's input queue was full
        StatusExecuteError = 4, // Execute raised; ErrorText holds the message
        StatusNoThread = 5,     // no worker thread could be started; ErrorText holds the system text
        StatusCancelled = 6,    // cancelled by CancelAll (Execute ran if it had already started)
        StatusRefused = 7,      // refused for load; ErrorText is one of the two texts below
    };
    static const char* const QueueTooLongText;     // "Execution queue is too long."
    static const char* const WaitTimeExceededText; // "Maximum wait time exceeded."

    PoolWorkItem() = default;
    virtual ~PoolWorkItem();
    PoolWorkItem(const PoolWorkItem&) = delete;
    PoolWorkItem& operator=(const PoolWorkItem&) = delete;

    // The item's work, run on a worker thread. Reports failure by throwing; the pool keeps the
    // message. The base does nothing.
    virtual void Execute();

    // Set by the pool.
    std::int32_t Id = 0;
    std::uint8_t Status = StatusDone;
    QString ErrorText;
    QDateTime QueuedAt;
    std::uint8_t Flags = 0;

private:
    friend class PoolItemAccess; // the pool's own bookkeeping, see ThreadPoolManager.cpp

    std::chrono::steady_clock::time_point m_queuedTick; // QueuedAt on a monotonic clock
    std::atomic<bool> m_cancelRequested{false};         // set by the manager, read by the worker
    bool m_cancelledWhileRunning = false;               // manager thread only
    bool m_raised = false;                              // written by the worker before hand-back
    PoolWorkItem* m_runningPrev = nullptr;              // running list, manager thread only
    PoolWorkItem* m_runningNext = nullptr;
};
