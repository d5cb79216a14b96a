#include "pool/ThreadPoolManager.h"

#include "core/Clock.h"
#include "pool/PoolWorkItem.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <sys/prctl.h>

Q_LOGGING_CATEGORY(lcPool, "quorvel.pool")

using SteadyClock = std::chrono::steady_clock;

// The pool's private view of an item's bookkeeping fields.
class PoolItemAccess
{
public:
    static SteadyClock::time_point& QueuedTick(PoolWorkItem* item) { return item->m_queuedTick; }
    static std::atomic<bool>& CancelRequested(PoolWorkItem* item) { return item->m_cancelRequested; }
    static bool& CancelledWhileRunning(PoolWorkItem* item) { return item->m_cancelledWhileRunning; }
    static bool& Raised(PoolWorkItem* item) { return item->m_raised; }
    static PoolWorkItem*& RunningPrev(PoolWorkItem* item) { return item->m_runningPrev; }
    static PoolWorkItem*& RunningNext(PoolWorkItem* item) { return item->m_runningNext; }
};

namespace {

using Access = PoolItemAccess;

// An idle worker thread ends after this long without work.
constexpr auto WorkerIdleTimeout = std::chrono::seconds(30);
// Up to this many worker threads start as soon as items lack one; beyond, threads start when the
// waiting tasks have not moved for WorkerStartDelay (the threads there are blocked), so short
// items are not spread over hundreds of threads.
const int EagerWorkers = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
constexpr auto WorkerStartDelay = std::chrono::milliseconds(1);
// Most items handed to OnWorkItemDone in one turn of the owner's event loop.
constexpr int DeliveriesPerTurn = 256;
// A turn of hand-backs also ends after this long, so slow handlers (each writes to the database)
// never hold the owner's event loop for long.
constexpr auto DeliveryTurnTime = std::chrono::milliseconds(10);

const char* const NotStandardErrorText = "Execute raised an error that is not a standard exception.";

void NameThisThread(const char* name)
{
    // The kernel keeps at most 15 characters and cuts longer names.
    prctl(PR_SET_NAME, name, 0, 0, 0);
}

QString TextOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

struct ThreadPoolManager::Owner
{
    WorkItemDoneHandler done;
    ErrorHandler error;
    bool alive = true; // false once the pool object is being destroyed
    // The last QueuedAt stamp. Reading the local time is costly (the time zone file is looked at
    // each time), so items queued within the same millisecond share one stamp.
    QDateTime stamp;
    SteadyClock::time_point stampTick;
};

struct ThreadPoolManager::Shared : std::enable_shared_from_this<ThreadPoolManager::Shared>
{
    struct Message
    {
        enum Kind
        {
            NewItem,
            SetMaxPooled,
            SetMaxQueueLength,
            SetMaxQueuedTime,
            SetMaxWaitOnTerminate,
            Cancel,
            Terminate,
        };
        Kind kind;
        PoolWorkItem* item = nullptr;
        std::int32_t value = 0;
    };

    explicit Shared(ThreadPoolManager* ownerObject) : owner(ownerObject) {}

    // Manager input queue. The owner thread posts here.
    std::mutex inboxMutex;
    std::condition_variable inboxCv;
    std::deque<Message> inbox;
    bool endedSignal = false;  // under inboxMutex: items were added to `ended`
    bool managerEnded = false; // under inboxMutex
    std::atomic<bool> managerWaiting{false};

    // Ended items, posted by the worker threads. A queue of its own, so that workers and owner
    // do not contend for one lock.
    std::mutex endedMutex;
    std::vector<PoolWorkItem*> ended;
    bool endedClosed = false; // under endedMutex: the manager thread no longer takes items

    // Counts readable from any thread.
    std::atomic<int> waitingCount{0};
    std::atomic<int> runningCount{0};
    std::atomic<int> executingCount{0};

    // Worker threads. Dispatched items wait in `tasks` until a worker thread takes them. Threads
    // that are not executing an item (`available`) take tasks without further ado; when the
    // tasks outnumber them and none has been taken for a short while (the threads block), the
    // manager thread starts as many threads as are missing (see TopUpWorkers), so every running
    // item soon has a thread of its own however long the items block.
    std::mutex workerMutex;
    std::condition_variable workerCv;
    std::deque<PoolWorkItem*> tasks;
    int live = 0;            // worker threads started and not ended
    int available = 0;       // live threads not executing an item
    int sleeping = 0;        // of those, waiting on workerCv
    std::uint64_t taken = 0; // tasks taken so far
    bool workersStop = false;

    // Items ended and handed back to the owner thread, in order.
    std::mutex returnMutex;
    std::deque<PoolWorkItem*> returned;
    bool deliveryPosted = false;
    // Failures of the manager thread for OnError, under returnMutex too.
    std::deque<std::pair<int, QString>> errors;

    // The pool object; used by the manager thread only, which ends before the object does.
    ThreadPoolManager* const owner;

    // Posts a message; false when the manager thread has ended.
    bool Post(const Message& message)
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        if (managerEnded)
            return false;
        inbox.push_back(message);
        if (managerWaiting.load())
            inboxCv.notify_one();
        return true;
    }

    // Posts an ended item; false when the manager thread has ended.
    bool PostEnded(PoolWorkItem* item)
    {
        {
            std::lock_guard<std::mutex> lock(endedMutex);
            if (endedClosed)
                return false;
            ended.push_back(item);
            // The manager looks at `ended` before it waits; only the first item needs to wake it.
            if (ended.size() > 1)
                return true;
        }
        if (managerWaiting.load()) {
            std::lock_guard<std::mutex> lock(inboxMutex);
            endedSignal = true;
            inboxCv.notify_one();
        }
        return true;
    }

    // Appends ended items to the owner's return queue and wakes the owner's event loop once.
    // The wake-up is posted while the return queue's mutex is held and the owner takes that mutex
    // before anything else, so the posted event is ordered by a lock the owner can see.
    void HandBack(std::vector<PoolWorkItem*>& items)
    {
        if (items.empty())
            return;
        std::lock_guard<std::mutex> lock(returnMutex);
        returned.insert(returned.end(), items.begin(), items.end());
        items.clear();
        if (!deliveryPosted)
            deliveryPosted = QMetaObject::invokeMethod(owner, "DeliverReturned", Qt::QueuedConnection);
    }

    void ReportError(int code, const QString& text)
    {
        std::lock_guard<std::mutex> lock(returnMutex);
        errors.emplace_back(code, text);
        if (errors.size() == 1)
            QMetaObject::invokeMethod(owner, "DeliverErrors", Qt::QueuedConnection);
    }

    // Hands dispatched items to the worker threads in one go and wakes as many sleeping threads
    // as there are new items. Returns the shortfall: tasks that no available thread will take.
    int StartOnWorkers(std::vector<PoolWorkItem*>& items, std::uint64_t* takenSoFar, int* liveThreads)
    {
        std::lock_guard<std::mutex> lock(workerMutex);
        tasks.insert(tasks.end(), items.begin(), items.end());
        const std::size_t wake = std::min(items.size(), static_cast<std::size_t>(std::max(0, sleeping)));
        if (wake == static_cast<std::size_t>(sleeping) && wake > 1)
            workerCv.notify_all();
        else
            for (std::size_t i = 0; i < wake; ++i)
                workerCv.notify_one();
        items.clear();
        *takenSoFar = taken;
        *liveThreads = live;
        return static_cast<int>(tasks.size()) - available;
    }

    // Starts `count` worker threads. When the system refuses, the tasks that are left without a
    // thread are taken back from the end of the queue and returned; their items get Status 5.
    std::vector<PoolWorkItem*> StartWorkers(int count, QString* errorText)
    {
        std::vector<PoolWorkItem*> orphans;
        for (int i = 0; i < count; ++i) {
            {
                std::lock_guard<std::mutex> lock(workerMutex);
                ++live;
                ++available;
            }
            try {
                std::thread(&Shared::WorkerMain, shared_from_this()).detach();
            } catch (const std::exception& e) {
                const auto* systemError = dynamic_cast<const std::system_error*>(&e);
                *errorText =
                    systemError ? QString::fromLocal8Bit(systemError->code().message().c_str()) : TextOf(e);
                std::lock_guard<std::mutex> lock(workerMutex);
                --live;
                --available;
                while (static_cast<int>(tasks.size()) > available) {
                    orphans.push_back(tasks.back());
                    tasks.pop_back();
                }
                break;
            }
        }
        return orphans;
    }

    static void WorkerMain(std::shared_ptr<Shared> self)
    {
        NameThisThread("PoolWorker");
        std::unique_lock<std::mutex> lock(self->workerMutex);
        for (;;) {
            if (!self->tasks.empty()) {
                PoolWorkItem* item = self->tasks.front();
                self->tasks.pop_front();
                --self->available;
                ++self->taken;
                lock.unlock();
                self->RunItem(item);
                lock.lock();
                ++self->available;
                continue;
            }
            if (self->workersStop)
                break;
            ++self->sleeping;
            const auto woke = self->workerCv.wait_for(lock, WorkerIdleTimeout);
            --self->sleeping;
            if (woke == std::cv_status::timeout && self->tasks.empty())
                break;
        }
        --self->available;
        --self->live;
    }

    // The run wrapper, on a worker thread.
    void RunItem(PoolWorkItem* item)
    {
        if (!Access::CancelRequested(item).load(std::memory_order_acquire)) {
            executingCount.fetch_add(1);
            item->Status = PoolWorkItem::StatusDone;
            item->ErrorText.clear();
            try {
                item->Execute();
            } catch (const std::exception& e) {
                item->Status = PoolWorkItem::StatusExecuteError;
                item->ErrorText = TextOf(e);
                Access::Raised(item) = true;
            } catch (...) {
                item->Status = PoolWorkItem::StatusExecuteError;
                item->ErrorText = QString::fromLatin1(NotStandardErrorText);
                Access::Raised(item) = true;
            }
            executingCount.fetch_sub(1);
        }
        runningCount.fetch_sub(1);
        if (!PostEnded(item)) {
            // The pool is gone: nobody is left to hand the item to.
            delete item;
        }
    }

    void ManagerMain();
};

// State and decisions of the manager thread. Only that thread touches it.
class ThreadPoolManager::Manager
{
public:
    using Message = Shared::Message;

    explicit Manager(Shared& shared) : m_s(shared) {}

    void Run();

private:
    void Handle(const Message& message);
    void Admit(PoolWorkItem* item);
    void Ended(PoolWorkItem* item);
    // The outcome of an ended item (Status 6 when it was cancelled while it ran), then Finish.
    void Settle(PoolWorkItem* item);
    void CancelAll();
    // Dispatch and expiry passes until neither makes progress; sets m_wakeAt.
    void Passes();
    bool DispatchOne();
    // Gives the items dispatched in this turn to the worker threads and starts threads for
    // items that lack one; sets m_topUpAt.
    void TopUpWorkers();
    // End of a turn: items to the workers, ended items to the owner.
    void Flush()
    {
        TopUpWorkers();
        m_s.HandBack(m_toReturn);
    }
    bool ExpireFirst();
    void Finish(PoolWorkItem* item) { m_toReturn.push_back(item); }
    void GiveUp(PoolWorkItem* item, std::uint8_t status, const QString& text)
    {
        item->Status = status;
        item->ErrorText = text;
        Finish(item);
    }

    Shared& m_s;
    std::deque<PoolWorkItem*> m_waiting;
    // Running list (intrusive, linked through the items).
    PoolWorkItem* m_runningHead = nullptr;
    PoolWorkItem* m_runningTail = nullptr;
    void AddRunning(PoolWorkItem* item)
    {
        Access::RunningPrev(item) = m_runningTail;
        Access::RunningNext(item) = nullptr;
        (m_runningTail ? Access::RunningNext(m_runningTail) : m_runningHead) = item;
        m_runningTail = item;
    }
    void RemoveRunning(PoolWorkItem* item)
    {
        PoolWorkItem*& prev = Access::RunningPrev(item);
        PoolWorkItem*& next = Access::RunningNext(item);
        (prev ? Access::RunningNext(prev) : m_runningHead) = next;
        (next ? Access::RunningPrev(next) : m_runningTail) = prev;
        prev = next = nullptr;
    }
    std::vector<PoolWorkItem*> m_toReturn;
    std::vector<PoolWorkItem*> m_toDispatch; // dispatched in this turn, not yet given to the workers
    std::int32_t m_maxPooled = 0;
    std::int32_t m_maxQueueLength = 0;
    std::int32_t m_maxQueuedTime = 0;
    std::int32_t m_maxWaitOnTerminate = 30;
    std::optional<SteadyClock::time_point> m_wakeAt;
    std::optional<SteadyClock::time_point> m_topUpAt;
    std::uint64_t m_takenAtTopUpCheck = 0;
    bool m_terminating = false;
    SteadyClock::time_point m_terminateBy;
};

void ThreadPoolManager::Manager::Run()
{
    std::deque<Message> batch;
    std::vector<PoolWorkItem*> endedBatch;
    for (;;) {
        try {
            {
                std::unique_lock<std::mutex> lock(m_s.inboxMutex);
                // Nothing to do: sleep on the condition variable until a message, an ended item or
                // the next deadline (never spinning or yielding meanwhile).
                if (m_s.inbox.empty() && !m_s.endedSignal) {
                    std::optional<SteadyClock::time_point> wakeAt = m_wakeAt;
                    if (m_topUpAt && (!wakeAt || *m_topUpAt < *wakeAt))
                        wakeAt = m_topUpAt;
                    if (m_terminating && (!wakeAt || m_terminateBy < *wakeAt))
                        wakeAt = m_terminateBy;
                    m_s.managerWaiting.store(true);
                    bool haveEnded = false;
                    {
                        std::lock_guard<std::mutex> endedLock(m_s.endedMutex);
                        haveEnded = !m_s.ended.empty();
                    }
                    if (!haveEnded) {
                        const auto wake = [this] { return !m_s.inbox.empty() || m_s.endedSignal; };
                        if (wakeAt)
                            m_s.inboxCv.wait_until(lock, *wakeAt, wake);
                        else
                            m_s.inboxCv.wait(lock, wake);
                    }
                    m_s.managerWaiting.store(false);
                }
                m_s.endedSignal = false;
                batch.swap(m_s.inbox);
            }
            {
                std::lock_guard<std::mutex> endedLock(m_s.endedMutex);
                endedBatch.swap(m_s.ended);
            }
            // Ended items first: they free running places for the items that arrive.
            for (PoolWorkItem* item : endedBatch)
                Ended(item);
            endedBatch.clear();
            while (!batch.empty()) {
                Message message = batch.front();
                batch.pop_front();
                Handle(message);
                Passes();
            }
            Passes();
            Flush();
            if (m_terminating && (m_waiting.empty() || SteadyClock::now() >= m_terminateBy))
                break;
        } catch (const std::system_error& e) {
            Flush();
            m_s.ReportError(-2, QString::fromLocal8Bit(e.code().message().c_str()));
        } catch (const std::exception& e) {
            Flush();
            m_s.ReportError(-1, TextOf(e));
        } catch (...) {
            Flush();
            m_s.ReportError(-1, QStringLiteral("Unknown error in the pool's manager thread."));
        }
    }

    // From here on, posts fail.
    {
        std::lock_guard<std::mutex> lock(m_s.inboxMutex);
        m_s.managerEnded = true;
    }
    // Items dispatched but not yet taken by a worker thread (all threads were busy) never start;
    // taken out first, no worker thread can pick them up any more.
    std::vector<PoolWorkItem*> notStarted;
    {
        std::lock_guard<std::mutex> lock(m_s.workerMutex);
        notStarted.assign(m_s.tasks.begin(), m_s.tasks.end());
        m_s.tasks.clear();
    }
    // From here on, a worker thread that finishes its item destroys it itself. Such an item may
    // go at any moment, so the running list is abandoned without touching any item still on it:
    // only the items in hand (ended, or never started) are unlinked, each from itself.
    {
        std::lock_guard<std::mutex> lock(m_s.endedMutex);
        m_s.endedClosed = true;
        endedBatch.swap(m_s.ended);
    }
    m_runningHead = m_runningTail = nullptr;
    for (PoolWorkItem* item : endedBatch) {
        Access::RunningPrev(item) = Access::RunningNext(item) = nullptr;
        Settle(item);
    }
    for (PoolWorkItem* item : notStarted) {
        Access::RunningPrev(item) = Access::RunningNext(item) = nullptr;
        m_s.runningCount.fetch_sub(1);
        GiveUp(item, PoolWorkItem::StatusCancelled, QString());
    }
    // Items still waiting after MaxWaitOnTerminate are given up as cancelled.
    while (!m_waiting.empty()) {
        PoolWorkItem* item = m_waiting.front();
        m_waiting.pop_front();
        m_s.waitingCount.fetch_sub(1);
        GiveUp(item, PoolWorkItem::StatusCancelled, QString());
    }
    m_s.HandBack(m_toReturn);
}

void ThreadPoolManager::Manager::Handle(const Message& message)
{
    switch (message.kind) {
    case Message::NewItem:
        Admit(message.item);
        break;
    case Message::SetMaxPooled:
        m_maxPooled = message.value;
        break;
    case Message::SetMaxQueueLength:
        m_maxQueueLength = message.value;
        break;
    case Message::SetMaxQueuedTime:
        m_maxQueuedTime = message.value;
        break;
    case Message::SetMaxWaitOnTerminate:
        m_maxWaitOnTerminate = message.value;
        break;
    case Message::Cancel:
        CancelAll();
        break;
    case Message::Terminate:
        m_terminating = true;
        m_terminateBy = SteadyClock::now() + std::chrono::seconds(std::max(0, m_maxWaitOnTerminate));
        break;
    }
}

void ThreadPoolManager::Manager::Admit(PoolWorkItem* item)
{
    if (m_maxQueueLength > 0 && m_waiting.size() >= static_cast<std::size_t>(m_maxQueueLength)) {
        GiveUp(item, PoolWorkItem::StatusRefused, QString::fromLatin1(PoolWorkItem::QueueTooLongText));
        return;
    }
    m_waiting.push_back(item);
    m_s.waitingCount.fetch_add(1);
}

void ThreadPoolManager::Manager::Ended(PoolWorkItem* item)
{
    RemoveRunning(item);
    Settle(item);
}

void ThreadPoolManager::Manager::Settle(PoolWorkItem* item)
{
    if (Access::CancelledWhileRunning(item) && !Access::Raised(item)) {
        item->Status = PoolWorkItem::StatusCancelled;
        item->ErrorText.clear();
    }
    Finish(item);
}

void ThreadPoolManager::Manager::CancelAll()
{
    for (PoolWorkItem* item = m_runningHead; item; item = Access::RunningNext(item)) {
        Access::CancelledWhileRunning(item) = true;
        Access::CancelRequested(item).store(true, std::memory_order_release);
    }
    while (!m_waiting.empty()) {
        PoolWorkItem* item = m_waiting.back();
        m_waiting.pop_back();
        m_s.waitingCount.fetch_sub(1);
        GiveUp(item, PoolWorkItem::StatusCancelled, QString());
    }
}

void ThreadPoolManager::Manager::Passes()
{
    m_wakeAt.reset();
    for (;;) {
        const bool dispatched = DispatchOne();
        const bool expired = ExpireFirst();
        if (!dispatched && !expired)
            return;
    }
}

bool ThreadPoolManager::Manager::DispatchOne()
{
    if (m_waiting.empty())
        return false;
    if (m_maxPooled > 0 && m_s.runningCount.load() >= m_maxPooled)
        return false;
    PoolWorkItem* item = m_waiting.front();
    m_waiting.pop_front();
    m_s.waitingCount.fetch_sub(1);
    AddRunning(item);
    m_s.runningCount.fetch_add(1);
    m_toDispatch.push_back(item);
    return true;
}

void ThreadPoolManager::Manager::TopUpWorkers()
{
    std::uint64_t taken = 0;
    int live = 0;
    const int shortfall = m_s.StartOnWorkers(m_toDispatch, &taken, &live);
    if (shortfall <= 0) {
        m_topUpAt.reset();
        return;
    }
    int start = std::min(shortfall, std::max(0, EagerWorkers - live));
    if (start == 0) {
        const auto now = SteadyClock::now();
        if (!m_topUpAt || taken != m_takenAtTopUpCheck) {
            // First sight of the shortfall, or the tasks still move: look again a little later.
            m_topUpAt = now + WorkerStartDelay;
            m_takenAtTopUpCheck = taken;
            return;
        }
        if (now < *m_topUpAt)
            return;
        start = shortfall;
    }
    m_topUpAt.reset();
    QString errorText;
    for (PoolWorkItem* item : m_s.StartWorkers(start, &errorText)) {
        RemoveRunning(item);
        m_s.runningCount.fetch_sub(1);
        GiveUp(item, PoolWorkItem::StatusNoThread, errorText);
    }
    if (start < shortfall)
        m_topUpAt = SteadyClock::now() + WorkerStartDelay;
}

bool ThreadPoolManager::Manager::ExpireFirst()
{
    if (m_waiting.empty())
        return false;
    PoolWorkItem* item = m_waiting.front();
    const auto deadline = Access::QueuedTick(item) + std::chrono::seconds(m_maxQueuedTime);
    if (SteadyClock::now() < deadline) {
        m_wakeAt = deadline;
        return false;
    }
    m_waiting.pop_front();
    m_s.waitingCount.fetch_sub(1);
    GiveUp(item, PoolWorkItem::StatusRefused, QString::fromLatin1(PoolWorkItem::WaitTimeExceededText));
    return true;
}

void ThreadPoolManager::Shared::ManagerMain()
{
    NameThisThread("ThreadPoolManagerThread");
    Manager(*this).Run();
}

ThreadPoolManager::ThreadPoolManager(QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>(this)), m_owner(std::make_shared<Owner>())
{
    try {
        m_manager = std::thread(&Shared::ManagerMain, m_shared.get());
    } catch (const std::system_error& e) {
        throw std::runtime_error(std::string("cannot start the pool's manager thread: ") + e.what());
    }
}

ThreadPoolManager::~ThreadPoolManager()
{
    CancelAll();
    m_shared->Post({Shared::Message::Terminate, nullptr, 0});
    m_manager.join();
    {
        std::lock_guard<std::mutex> lock(m_shared->workerMutex);
        m_shared->workersStop = true;
    }
    m_shared->workerCv.notify_all();

    // Hand every item that has come back so far to the handler before the pool goes away.
    std::shared_ptr<Owner> owner = m_owner;
    std::shared_ptr<Shared> shared = m_shared;
    for (;;) {
        PoolWorkItem* item = nullptr;
        {
            std::lock_guard<std::mutex> lock(shared->returnMutex);
            if (shared->returned.empty())
                break;
            item = shared->returned.front();
            shared->returned.pop_front();
        }
        DeliverOne(this, *owner, item);
    }
    DeliverErrors();
    owner->alive = false;
}

void ThreadPoolManager::MaxPooled(std::int32_t value)
{
    PostSetting(Shared::Message::SetMaxPooled, value);
}

void ThreadPoolManager::MaxQueueLength(std::int32_t value)
{
    PostSetting(Shared::Message::SetMaxQueueLength, value);
}

void ThreadPoolManager::MaxQueuedTime(std::int32_t seconds)
{
    PostSetting(Shared::Message::SetMaxQueuedTime, seconds);
}

void ThreadPoolManager::MaxWaitOnTerminate(std::int32_t seconds)
{
    PostSetting(Shared::Message::SetMaxWaitOnTerminate, seconds);
}

void ThreadPoolManager::PostSetting(int kind, std::int32_t value)
{
    if (!m_shared->Post({static_cast<Shared::Message::Kind>(kind), nullptr, value}))
        throw std::runtime_error("the pool's manager thread does not run");
}

void ThreadPoolManager::SetOnWorkItemDone(WorkItemDoneHandler handler)
{
    m_owner->done = std::move(handler);
}

void ThreadPoolManager::SetOnError(ErrorHandler handler)
{
    m_owner->error = std::move(handler);
}

void ThreadPoolManager::QueueItem(std::unique_ptr<PoolWorkItem> owned, std::uint8_t flags)
{
    if (!owned)
        throw std::invalid_argument("QueueItem: no work item");
    // From here on the pool's lists own the item; it is destroyed after its hand-back.
    PoolWorkItem* item = owned.release();
    item->Id = ++m_lastId;
    const auto tick = SteadyClock::now();
    if (m_owner->stamp.isNull() || tick - m_owner->stampTick >= std::chrono::milliseconds(1)) {
        m_owner->stamp = Now();
        m_owner->stampTick = tick;
    }
    item->QueuedAt = m_owner->stamp;
    item->Flags = flags;
    item->Status = PoolWorkItem::StatusDone;
    item->ErrorText.clear();
    Access::QueuedTick(item) = tick;
    if (m_shared->Post({Shared::Message::NewItem, item, 0}))
        return;

    // The manager thread is gone: the item comes back unrun, through the event loop as always.
    item->Status = PoolWorkItem::StatusPostFailed;
    std::vector<PoolWorkItem*> items{item};
    m_shared->HandBack(items);
}

int ThreadPoolManager::ExecutingCount() const
{
    return m_shared->executingCount.load();
}

int ThreadPoolManager::RunningCount() const
{
    return m_shared->runningCount.load();
}

int ThreadPoolManager::WaitingCount() const
{
    return m_shared->waitingCount.load();
}

void ThreadPoolManager::CancelAll()
{
    m_shared->Post({Shared::Message::Cancel, nullptr, 0});
}

void ThreadPoolManager::DeliverReturned()
{
    // Local references: the handler may destroy the pool.
    std::shared_ptr<Owner> owner = m_owner;
    std::shared_ptr<Shared> shared = m_shared;
    const auto turnEnds = SteadyClock::now() + DeliveryTurnTime;
    bool nextPosted = false;
    for (int delivered = 0;; ++delivered) {
        PoolWorkItem* item = nullptr;
        {
            std::lock_guard<std::mutex> lock(shared->returnMutex);
            if (shared->returned.empty()) {
                shared->deliveryPosted = false;
                return;
            }
            if (delivered == DeliveriesPerTurn || (delivered > 0 && SteadyClock::now() >= turnEnds)) {
                // Let other events of the owner's loop run, its timers too: the next turn comes
                // by a timer (as does the one below), since posted events alone, one after the
                // other, would keep the loop from its timers during a long burst of hand-backs.
                if (!nextPosted)
                    QTimer::singleShot(1, this, [this] { DeliverReturned(); });
                return;
            }
            item = shared->returned.front();
            shared->returned.pop_front();
            // A handler may open an event loop of its own (a message box). The items after this
            // one are then delivered from that loop: items still queued have an invocation posted
            // for them, and items arriving later post their own.
            if (shared->returned.empty()) {
                shared->deliveryPosted = false;
            } else if (!nextPosted) {
                QTimer::singleShot(1, this, [this] { DeliverReturned(); });
                nextPosted = true;
            }
        }
        DeliverOne(this, *owner, item);
        if (!owner->alive)
            return;
    }
}

void ThreadPoolManager::DeliverOne(ThreadPoolManager* pool, Owner& owner, PoolWorkItem* item)
{
    try {
        if (owner.done)
            owner.done(pool, item);
    } catch (const std::exception& e) {
        qCWarning(lcPool) << "OnWorkItemDone raised:" << e.what();
    } catch (...) {
        qCWarning(lcPool) << "OnWorkItemDone raised an unknown error";
    }
    delete item;
}

void ThreadPoolManager::DeliverErrors()
{
    std::shared_ptr<Owner> owner = m_owner;
    std::shared_ptr<Shared> shared = m_shared;
    for (;;) {
        std::pair<int, QString> error;
        {
            std::lock_guard<std::mutex> lock(shared->returnMutex);
            if (shared->errors.empty())
                return;
            error = std::move(shared->errors.front());
            shared->errors.pop_front();
        }
        try {
            if (owner->error)
                owner->error(this, error.first, error.second);
        } catch (...) {
            qCWarning(lcPool) << "OnError raised";
        }
        if (!owner->alive)
            return;
    }
}
