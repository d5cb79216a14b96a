#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class PoolWorkItem;

// Runs PoolWorkItems on worker threads that may block on the network.
//
// The pool is a QObject of the thread that creates it (the owner thread). One manager thread
// alone owns the list of waiting items (first in, first out) and the list of running items; the
// owner thread and the worker threads talk to it through its message queue. Every queued item,
// whatever became of it, is handed back on the owner thread's event loop through
// OnWorkItemDone, exactly once, and destroyed by the pool when the handler returns.
//
// Limits (all sent to the manager thread, taking effect for its next decision):
//   MaxPooled          most items running at once, 0 = no limit (initially 0)
//   MaxQueueLength     most items waiting; one more is refused with Status 7, 0 = no limit (0)
//   MaxQueuedTime      seconds an item may wait before it is given up with Status 7 (0: an item
//                      that cannot run at once is given up at once)
//   MaxWaitOnTerminate seconds the manager thread waits for waiting items when the pool ends (30)
//
// Worker threads are started as items need them and end after a while without work; short items
// share a few threads, while items that block get a thread each (MaxPooled of them at once).
//
// Destruction cancels every item, ends the manager thread and, before returning, hands to
// OnWorkItemDone every item that has come back by then, the waiting ones and any that had not yet
// started (Status 6). Items whose Execute still runs on a worker thread are not waited for: when
// they end, the worker thread destroys them without calling the handler. OnWorkItemDone may
// destroy the pool; the remaining items are then handed back from inside the destructor.
class ThreadPoolManager : public QObject
{
    Q_OBJECT

public:
    // Called on the owner thread. The handler must not throw and keeps no reference to the item.
    using WorkItemDoneHandler = std::function<void(ThreadPoolManager* pool, PoolWorkItem* item)>;
    // Called on the owner thread when the manager thread itself fails: code -1 for an error raised
    // inside it (text: the message), -2 for a failed system call (text: the system's text).
    using ErrorHandler = std::function<void(ThreadPoolManager* pool, int code, const QString& text)>;

    // Starts the manager thread; throws std::runtime_error when it cannot be started.
    explicit ThreadPoolManager(QObject* parent = nullptr);
    ~ThreadPoolManager() override;

    ThreadPoolManager(const ThreadPoolManager&) = delete;
    ThreadPoolManager& operator=(const ThreadPoolManager&) = delete;

    // Settings; each throws std::runtime_error when the manager thread no longer runs.
    void MaxPooled(std::int32_t value);
    void MaxQueueLength(std::int32_t value);
    void MaxQueuedTime(std::int32_t seconds);
    void MaxWaitOnTerminate(std::int32_t seconds);

    void SetOnWorkItemDone(WorkItemDoneHandler handler);
    void SetOnError(ErrorHandler handler);

    // Takes ownership of `item` (not null; std::invalid_argument otherwise), gives it Id, QueuedAt
    // and Flags and hands it to the manager thread. Never runs Execute here and never calls the
    // handler before the owner thread returns to its event loop, so the caller may keep a plain
    // pointer to the item and read its Id right after the call.
    void QueueItem(std::unique_ptr<PoolWorkItem> item, std::uint8_t flags = 0);

    // Items whose Execute runs now.
    int ExecutingCount() const;
    // Items handed to a worker thread and not yet ended.
    int RunningCount() const;
    // Items on the waiting list.
    int WaitingCount() const;

    // Asks the manager thread to cancel every item: waiting items come back with Status 6 without
    // running; running items come back with Status 6 (an Execute already running is not
    // interrupted; one not yet started is skipped). Items queued afterwards run normally.
    // Returns at once.
    void CancelAll();

private:
    struct Shared;
    struct Owner;
    class Manager;

    void PostSetting(int kind, std::int32_t value);
    // Invoked by name through the owner's event loop (queued), so that the only data crossing
    // threads is what the pool's own mutex guards.
    Q_INVOKABLE void DeliverReturned();
    Q_INVOKABLE void DeliverErrors();
    static void DeliverOne(ThreadPoolManager* pool, Owner& owner, PoolWorkItem* item);

    std::shared_ptr<Shared> m_shared; // shared with the manager and the worker threads
    std::shared_ptr<Owner> m_owner;   // owner thread only: handlers and the alive flag
    std::thread m_manager;
    std::int32_t m_lastId = 0;
};
