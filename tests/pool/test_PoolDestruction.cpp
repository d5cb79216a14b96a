// Destroying the pool at awkward moments: items running on worker threads, items waiting,
// hand-backs not yet delivered, and from inside a (slow) OnWorkItemDone handler.

#include "support/PoolTestKit.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pooltest;
using namespace std::chrono_literals;

namespace {

class PoolDestructionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pool = std::make_unique<ThreadPoolManager>();
        pool->SetOnWorkItemDone(recorder.Handler());
    }

    void TearDown() override
    {
        gate.Open();
        pool.reset();
        // Every item is freed exactly once, also those that ended after the pool was gone.
        EXPECT_TRUE(WaitUntil([this] { return tally.destroyed.load() == queued; }))
            << tally.destroyed.load() << " of " << queued << " items destroyed";
        // Nothing is delivered late (the pool is gone) and nothing twice.
        SpinUntil([] { return false; }, 50ms);
        for (const auto& [id, times] : recorder.timesById)
            EXPECT_EQ(times, 1) << "item " << id;
        for (const Handed& h : recorder.handed)
            EXPECT_TRUE(h.onOwnerThread) << "item " << h.id;
    }

    int Queue(std::function<void()> work = {})
    {
        auto owned = std::make_unique<TestItem>(tally, std::move(work));
        TestItem* item = owned.get();
        pool->QueueItem(std::move(owned));
        ++queued;
        return item->Id;
    }
    int QueueBlocked()
    {
        return Queue([this] { gate.Pass(); });
    }

    Tally tally;
    Gate gate;
    Recorder recorder;
    std::unique_ptr<ThreadPoolManager> pool;
    int queued = 0;
};

TEST_F(PoolDestructionTest, WhileItemsRunWaitAndAwaitDeliveryNothingIsLostOrFreedTwice)
{
    pool->MaxPooled(3);
    pool->MaxQueuedTime(60);
    std::vector<int> ended;
    for (int i = 0; i < 100; ++i)
        ended.push_back(Queue());
    // All quick items have run; their hand-backs are not delivered (the loop does not run).
    ASSERT_TRUE(WaitUntil([this] { return tally.started.load() == 100 && pool->RunningCount() == 0; }));
    std::vector<int> running{QueueBlocked(), QueueBlocked(), QueueBlocked()};
    std::vector<int> waiting{Queue(), Queue(), Queue(), Queue()};
    ASSERT_TRUE(WaitUntil([this] { return tally.inside.load() == 3; }));
    ASSERT_TRUE(recorder.handed.empty());

    pool.reset();

    // The destructor handed back what had ended and the cancelled waiting items.
    EXPECT_EQ(recorder.handed.size(), ended.size() + waiting.size());
    for (int id : ended) {
        ASSERT_NE(recorder.Find(id), nullptr) << id;
        EXPECT_EQ(recorder.Find(id)->status, PoolWorkItem::StatusDone);
    }
    for (int id : waiting) {
        ASSERT_NE(recorder.Find(id), nullptr) << id;
        EXPECT_EQ(recorder.Find(id)->status, PoolWorkItem::StatusCancelled);
        EXPECT_FALSE(recorder.Find(id)->ran);
    }
    // Items still running were not waited for; they end (and are freed) afterwards.
    for (int id : running)
        EXPECT_EQ(recorder.Find(id), nullptr);
    EXPECT_EQ(tally.inside.load(), 3);
    EXPECT_EQ(tally.destroyed.load(), static_cast<int>(ended.size() + waiting.size()));
    gate.Open();
}

TEST_F(PoolDestructionTest, FromInsideTheHandler)
{
    pool->MaxQueuedTime(60);
    for (int i = 0; i < 5; ++i)
        Queue();
    QueueBlocked();
    QueueBlocked();
    ASSERT_TRUE(WaitUntil([this] { return tally.started.load() == 7 && tally.inside.load() == 2; }));

    int calls = 0;
    recorder.after = [this, &calls](const Handed&) {
        if (++calls == 1)
            pool.reset();
    };
    ASSERT_TRUE(SpinUntil([this] { return pool == nullptr; }));
    // The five quick items came back (one to the handler that destroyed the pool, the rest while
    // it was being destroyed); the blocked two did not.
    EXPECT_EQ(recorder.handed.size(), 5u);
    for (const Handed& h : recorder.handed)
        EXPECT_TRUE(h.ran && h.status == PoolWorkItem::StatusDone) << h.id;
}

TEST_F(PoolDestructionTest, WhileASlowHandlerRunsANestedEventLoop)
{
    pool->MaxQueuedTime(60);
    for (int i = 0; i < 20; ++i)
        Queue();
    QueueBlocked();
    ASSERT_TRUE(WaitUntil([this] { return tally.started.load() == 21 && tally.inside.load() == 1; }));

    int calls = 0;
    recorder.after = [this, &calls](const Handed&) {
        if (++calls != 1)
            return;
        // Like a modal message box: the owner's events run inside the handler, and one of them
        // destroys the pool.
        QEventLoop loop;
        QTimer::singleShot(20, &loop, [this] { pool.reset(); });
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
    };
    ASSERT_TRUE(SpinUntil([this] { return pool == nullptr; }));
    // The 20 quick items came back exactly once each (checked in TearDown), the blocked one not.
    EXPECT_EQ(recorder.handed.size(), 20u);
}

// Destroying the pool while 200 running items end at the same moment: the manager thread must not
// touch an item that its worker thread frees once the pool has stopped taking ended items. Many
// rounds, so the sanitizer builds see the interleavings.
TEST(PoolDestructionStress, WhileTwoHundredItemsEnd)
{
    constexpr int kRounds = 25;
    constexpr int kItems = 200;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        Tally tally;
        Gate gate;
        std::vector<int> handedTimes(kItems + 1, 0);
        {
            auto pool = std::make_unique<ThreadPoolManager>();
            pool->MaxPooled(kItems);
            pool->MaxQueuedTime(60);
            pool->SetOnWorkItemDone([&](ThreadPoolManager*, PoolWorkItem* item) {
                if (item->Id > 0 && item->Id <= kItems)
                    ++handedTimes[item->Id];
            });
            for (int i = 0; i < kItems; ++i)
                pool->QueueItem(std::make_unique<TestItem>(tally, [&gate] { gate.Pass(); }));
            ASSERT_TRUE(WaitUntil([&] { return tally.inside.load() == kItems; }));
            // Some items come back through the event loop, the rest end while the pool goes.
            gate.Open();
            if (round % 2 == 1)
                SpinUntil([&] { return tally.inside.load() < kItems / 2; }, 2s);
            pool.reset();
        }
        EXPECT_TRUE(WaitUntil([&] { return tally.destroyed.load() == kItems; }))
            << tally.destroyed.load() << " of " << kItems << " items destroyed";
        for (int id = 1; id <= kItems; ++id)
            EXPECT_LE(handedTimes[id], 1) << "item " << id;
    }
}

} // namespace
