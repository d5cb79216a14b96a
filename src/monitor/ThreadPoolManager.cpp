#include "monitor/ThreadPoolManager.h"

#include "monitor/PoolWorkItem.h"

// Work in progress: the manager thread follows.
struct ThreadPoolManager::Shared
{
};

struct ThreadPoolManager::Owner
{
    WorkItemDoneHandler done;
    ErrorHandler error;
};

ThreadPoolManager::ThreadPoolManager(QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>()), m_owner(std::make_shared<Owner>())
{
}

ThreadPoolManager::~ThreadPoolManager() = default;

void ThreadPoolManager::MaxPooled(std::int32_t) {}
void ThreadPoolManager::MaxQueueLength(std::int32_t) {}
void ThreadPoolManager::MaxQueuedTime(std::int32_t) {}
void ThreadPoolManager::MaxWaitOnTerminate(std::int32_t) {}

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
    item->Id = ++m_lastId;
    item->Flags = flags;
}

int ThreadPoolManager::ExecutingCount() const { return 0; }
int ThreadPoolManager::RunningCount() const { return 0; }
int ThreadPoolManager::WaitingCount() const { return 0; }
void ThreadPoolManager::CancelAll() {}
void ThreadPoolManager::DeliverReturned() {}
void ThreadPoolManager::DeliverError(int, const QString&) {}
