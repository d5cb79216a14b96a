#include "monitor/ThreadPoolManager.h"

#include "core/Clock.h"
#include "monitor/PoolWorkItem.h"

#include <QLoggingCategory>
#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
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
    static std::list<PoolWorkItem*>::iterator& RunningPos(PoolWorkItem* item) { return item->m_runningPos; }
};

namespace {

using Access = PoolItemAccess;

// An idle worker thread ends after this long without work.
constexpr auto WorkerIdleTimeout = std::chrono::seconds(30);
// Most items handed to OnWorkItemDone in one turn of the owner's event loop.
constexpr int DeliveriesPerTurn = 256;

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
};

struct ThreadPoolManager::Shared : std::enable_shared_from_this<ThreadPoolManager::Shared>
{
    struct Message
    {
        enum Kind {
            NewItem,
            Ended,
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

    // Manager input queue. The owner thread and the worker threads post here.
    std::mutex inboxMutex;
    std::condition_variable inboxCv;
    std::deque<Message> inbox;
    bool managerWaiting = false;
    bool managerEnded = false;

    // Counts readable from any thread.
    std::atomic<int> waitingCount{0};
    std::atomic<int> runningCount{0};
    std::atomic<int> executingCount{0};

    // Worker threads: items handed over but not yet picked up, and idle threads not yet promised
    // an item. Every thread waiting for work is either counted in `idle` or about to take one of
    // `tasks`.
    std::mutex workerMutex;
    std::condition_variable workerCv;
    std::deque<PoolWorkItem*> tasks;
    int idle = 0;
    bool workersStop = false;

    // Items ended and handed back to the owner thread, in order.
    std::mutex returnMutex;
    std::deque<PoolWorkItem*> returned;
    bool deliveryPosted = false;

    // The pool object; used by the manager thread only, which ends before the object does.
    ThreadPoolManager* const owner;

    // Posts a message; false when the manager thread has ended.
    bool Post(const Message& message)
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        if (managerEnded)
            return false;
        inbox.push_back(message);
        if (managerWaiting)
            inboxCv.notify_one();
        return true;
    }

    // Appends ended items to the owner's return queue and wakes the owner's event loop once.
    void HandBack(std::vector<PoolWorkItem*>& items)
    {
        if (items.empty())
            return;
        bool post = false;
        {
            std::lock_guard<std::mutex> lock(returnMutex);
            returned.insert(returned.end(), items.begin(), items.end());
            if (!deliveryPosted) {
                deliveryPosted = true;
                post = true;
            }
        }
        items.clear();
        if (post) {
            ThreadPoolManager* pool = owner;
            QMetaObject::invokeMethod(pool, [pool] { pool->DeliverReturned(); }, Qt::QueuedConnection);
        }
    }

    void ReportError(int code, const QString& text)
    {
        ThreadPoolManager* pool = owner;
        QMetaObject::invokeMethod(pool, [pool, code, text] { pool->DeliverError(code, text); },
                                  Qt::QueuedConnection);
    }

    void StartOnWorker(PoolWorkItem* item)
    {
        {
            std::lock_guard<std::mutex> lock(workerMutex);
            if (idle > 0) {
                --idle;
                tasks.push_back(item);
                workerCv.notify_one();
                return;
            }
        }
        std::thread(&Shared::WorkerMain, shared_from_this(), item).detach();
    }

    static void WorkerMain(std::shared_ptr<Shared> self, PoolWorkItem* item)
    {
        NameThisThread("PoolWorker");
        for (;;) {
            self->RunItem(item);
            std::unique_lock<std::mutex> lock(self->workerMutex);
            ++self->idle;
            while (self->tasks.empty() && !self->workersStop) {
                if (self->workerCv.wait_for(lock, WorkerIdleTimeout) == std::cv_status::timeout)
                    break;
            }
            if (self->tasks.empty()) {
                --self->idle;
                return;
            }
            item = self->tasks.front();
            self->tasks.pop_front();
        }
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
        if (!Post({Message::Ended, item, 0})) {
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
    void CancelAll();
    // Dispatch and expiry passes until neither makes progress; sets m_wakeAt.
    void Passes();
    bool DispatchOne();
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
    std::list<PoolWorkItem*> m_running;
    std::vector<PoolWorkItem*> m_toReturn;
    std::int32_t m_maxPooled = 0;
    std::int32_t m_maxQueueLength = 0;
    std::int32_t m_maxQueuedTime = 0;
    std::int32_t m_maxWaitOnTerminate = 30;
    std::optional<SteadyClock::time_point> m_wakeAt;
    bool m_terminating = false;
    SteadyClock::time_point m_terminateBy;
};

void ThreadPoolManager::Manager::Run()
{
    std::deque<Message> batch;
    for (;;) {
        try {
            {
                std::unique_lock<std::mutex> lock(m_s.inboxMutex);
                if (m_s.inbox.empty()) {
                    std::optional<SteadyClock::time_point> wakeAt = m_wakeAt;
                    if (m_terminating && (!wakeAt || m_terminateBy < *wakeAt))
                        wakeAt = m_terminateBy;
                    m_s.managerWaiting = true;
                    if (wakeAt)
                        m_s.inboxCv.wait_until(lock, *wakeAt, [this] { return !m_s.inbox.empty(); });
                    else
                        m_s.inboxCv.wait(lock, [this] { return !m_s.inbox.empty(); });
                    m_s.managerWaiting = false;
                }
                batch.swap(m_s.inbox);
            }
            while (!batch.empty()) {
                Message message = batch.front();
                batch.pop_front();
                Handle(message);
                Passes();
            }
            Passes();
            m_s.HandBack(m_toReturn);
            if (m_terminating && (m_waiting.empty() || SteadyClock::now() >= m_terminateBy))
                break;
        } catch (const std::system_error& e) {
            m_s.HandBack(m_toReturn);
            m_s.ReportError(-2, QString::fromLocal8Bit(e.code().message().c_str()));
        } catch (const std::exception& e) {
            m_s.HandBack(m_toReturn);
            m_s.ReportError(-1, TextOf(e));
        } catch (...) {
            m_s.HandBack(m_toReturn);
            m_s.ReportError(-1, QStringLiteral("Unknown error in the pool's manager thread."));
        }
    }

    // From here on, posts fail and worker threads destroy the items they finish themselves.
    {
        std::lock_guard<std::mutex> lock(m_s.inboxMutex);
        m_s.managerEnded = true;
        batch.swap(m_s.inbox);
    }
    for (const Message& message : batch) {
        if (message.kind == Message::Ended)
            Ended(message.item);
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
    case Message::Ended:
        Ended(message.item);
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
    m_running.erase(Access::RunningPos(item));
    if (Access::CancelledWhileRunning(item) && !Access::Raised(item)) {
        item->Status = PoolWorkItem::StatusCancelled;
        item->ErrorText.clear();
    }
    Finish(item);
}

void ThreadPoolManager::Manager::CancelAll()
{
    for (PoolWorkItem* item : m_running) {
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
    Access::RunningPos(item) = m_running.insert(m_running.end(), item);
    m_s.runningCount.fetch_add(1);
    try {
        m_s.StartOnWorker(item);
    } catch (const std::exception& e) {
        m_running.erase(Access::RunningPos(item));
        m_s.runningCount.fetch_sub(1);
        const auto* systemError = dynamic_cast<const std::system_error*>(&e);
        GiveUp(item, PoolWorkItem::StatusNoThread,
               systemError ? QString::fromLocal8Bit(systemError->code().message().c_str()) : TextOf(e));
    }
    return true;
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

void ThreadPoolManager::QueueItem(PoolWorkItem* item, std::uint8_t flags)
{
    if (!item)
        throw std::invalid_argument("QueueItem: no work item");
    item->Id = ++m_lastId;
    item->QueuedAt = Now();
    item->Flags = flags;
    item->Status = PoolWorkItem::StatusDone;
    item->ErrorText.clear();
    Access::QueuedTick(item) = SteadyClock::now();
    if (m_shared->Post({Shared::Message::NewItem, item, 0}))
        return;

    // The manager thread is gone: the item comes back unrun, through the event loop as always.
    item->Status = PoolWorkItem::StatusPostFailed;
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(m_shared->returnMutex);
        m_shared->returned.push_back(item);
        if (!m_shared->deliveryPosted) {
            m_shared->deliveryPosted = true;
            post = true;
        }
    }
    if (post)
        QMetaObject::invokeMethod(this, [this] { DeliverReturned(); }, Qt::QueuedConnection);
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
    for (int delivered = 0;; ++delivered) {
        PoolWorkItem* item = nullptr;
        {
            std::lock_guard<std::mutex> lock(shared->returnMutex);
            if (shared->returned.empty()) {
                shared->deliveryPosted = false;
                return;
            }
            if (delivered == DeliveriesPerTurn) {
                // Let other events of the owner's loop run; continue on the next turn.
                QMetaObject::invokeMethod(this, [this] { DeliverReturned(); }, Qt::QueuedConnection);
                return;
            }
            item = shared->returned.front();
            shared->returned.pop_front();
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

void ThreadPoolManager::DeliverError(int code, const QString& text)
{
    std::shared_ptr<Owner> owner = m_owner;
    try {
        if (owner->error)
            owner->error(this, code, text);
    } catch (...) {
        qCWarning(lcPool) << "OnError raised";
    }
}
