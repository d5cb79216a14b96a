#include "monitor/TestRunner.h"

#include "pool/PoolWorkItem.h"
#include "pool/ThreadPoolManager.h"

#include <stdexcept>

TestRunner::TestRunner(QObject* parent) : QObject(parent) {}

TestRunner::~TestRunner()
{
    // Items still running end on their worker threads unseen; those already back are dropped.
    Drop();
    m_pool.reset();
}

std::uint64_t TestRunner::Start(std::unique_ptr<PoolWorkItem> item, DoneHandler done)
{
    if (!item)
        throw std::invalid_argument("TestRunner::Start: no work item");
    Drop();
    if (!m_pool) {
        auto pool = std::make_unique<ThreadPoolManager>();
        // A window that closes does not wait for a test still connecting.
        pool->MaxWaitOnTerminate(0);
        pool->SetOnWorkItemDone([this](ThreadPoolManager*, PoolWorkItem* back) { itemDone(back); });
        m_pool = std::move(pool);
    }
    PoolWorkItem* queued = item.get();
    m_pool->QueueItem(std::move(item));
    m_awaitedItem = queued->Id;
    m_awaitedTicket = ++m_lastTicket;
    m_done = std::move(done);
    return m_awaitedTicket;
}

void TestRunner::Drop()
{
    m_awaitedTicket = 0;
    m_awaitedItem = 0;
    m_done = nullptr;
}

void TestRunner::itemDone(PoolWorkItem* item)
{
    if (m_awaitedTicket == 0 || item->Id != m_awaitedItem)
        return; // a stale answer
    const DoneHandler done = std::move(m_done);
    Drop();
    if (done)
        done(*item);
}

QString NotRunReason(const PoolWorkItem& item)
{
    if (!item.ErrorText.isEmpty())
        return item.ErrorText;
    switch (item.Status) {
    case PoolWorkItem::StatusPostFailed:
        return QStringLiteral("the hand-over to the worker pool failed.");
    case PoolWorkItem::StatusPostTimeout:
        return QStringLiteral("the hand-over to the worker pool timed out.");
    case PoolWorkItem::StatusQueueFull:
        return QStringLiteral("the worker pool's input queue was full.");
    case PoolWorkItem::StatusNoThread:
        return QStringLiteral("no worker thread could be started.");
    case PoolWorkItem::StatusCancelled:
        return QStringLiteral("cancelled.");
    default:
        return QString();
    }
}
