#include "support/PoolTestKit.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <stdexcept>

using namespace pooltest;
using namespace std::chrono_literals;

namespace {

class PoolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pool = std::make_unique<ThreadPoolManager>();
        pool->SetOnWorkItemDone(recorder.Handler());
    }

    void TearDown() override
    {
        // Let blocked items finish, then make sure every item was freed before the gate and the
        // tally (which the items use) go away.
        gate.Open();
        pool.reset();
        EXPECT_TRUE(WaitUntil([this] { return tally.destroyed.load() == queued; }))
            << tally.destroyed.load() << " of " << queued << " items destroyed";
    }

    TestItem* Queue(std::function<void()> work = {})
    {
        auto owned = std::make_unique<TestItem>(tally, std::move(work));
        TestItem* item = owned.get();
        pool->QueueItem(std::move(owned));
        ++queued;
        return item;
    }
    TestItem* QueueBlocked()
    {
        return Queue([this] { gate.Pass(); });
    }
    bool AllHandedBack()
    {
        return SpinUntil([this] { return static_cast<int>(recorder.handed.size()) == queued; });
    }
    // Every queued item was handed back exactly once, on the owner thread.
    void ExpectEachHandedOnceOnOwner()
    {
        EXPECT_EQ(static_cast<int>(recorder.timesById.size()), queued);
        for (const auto& [id, times] : recorder.timesById)
            EXPECT_EQ(times, 1) << "item " << id;
        for (const Handed& h : recorder.handed)
            EXPECT_TRUE(h.onOwnerThread) << "item " << h.id;
    }

    Tally tally;
    Gate gate;
    Recorder recorder;
    std::unique_ptr<ThreadPoolManager> pool;
    int queued = 0;
};

TEST_F(PoolTest, IdsCountFromOneInQueueOrderAndEveryItemComesBackOnceOnTheOwnerThread)
{
    std::vector<int> ids;
    for (int i = 0; i < 50; ++i)
        ids.push_back(Queue()->Id); // readable right after QueueItem
    // Nothing is handed back before the owner thread returns to its event loop.
    EXPECT_TRUE(recorder.handed.empty());
    ASSERT_TRUE(AllHandedBack());
    for (int i = 0; i < 50; ++i)
        ids.push_back(Queue()->Id);
    ASSERT_TRUE(AllHandedBack());

    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ids[static_cast<std::size_t>(i)], i + 1);
    ExpectEachHandedOnceOnOwner();
    for (const Handed& h : recorder.handed) {
        EXPECT_EQ(h.status, PoolWorkItem::StatusDone);
        EXPECT_TRUE(h.errorText.isEmpty());
        EXPECT_TRUE(h.ran);
    }
    EXPECT_EQ(pool->ExecutingCount(), 0);
    EXPECT_EQ(pool->RunningCount(), 0);

    // Another pool numbers its own items from 1.
    ThreadPoolManager other;
    auto owned = std::make_unique<TestItem>(tally);
    TestItem* first = owned.get();
    other.QueueItem(std::move(owned), 0);
    ++queued;
    EXPECT_EQ(first->Id, 1);
}

TEST_F(PoolTest, QueueItemStampsTimeAndFlags)
{
    const QDateTime before = QDateTime::currentDateTime();
    auto owned = std::make_unique<TestItem>(tally);
    TestItem* item = owned.get();
    pool->QueueItem(std::move(owned), 0x03);
    ++queued;
    EXPECT_EQ(item->Flags, 0x03);
    EXPECT_GE(item->QueuedAt.toMSecsSinceEpoch(), before.toMSecsSinceEpoch() - 1000);
    EXPECT_LE(item->QueuedAt.toMSecsSinceEpoch(), QDateTime::currentDateTime().toMSecsSinceEpoch() + 1000);
    EXPECT_TRUE(AllHandedBack());
}

struct ThrowCase
{
    const char* name;
    std::function<void()> raise;
    QString errorText;
};

class PoolExecuteErrorTest : public PoolTest, public ::testing::WithParamInterface<ThrowCase>
{
};

TEST_P(PoolExecuteErrorTest, ErrorInExecuteGivesStatus4WithItsMessageAndKeepsResultFields)
{
    auto owned = std::make_unique<TestItem>(tally, GetParam().raise);
    TestItem* item = owned.get();
    item->LeaveInLeft = QStringLiteral("half done");
    pool->QueueItem(std::move(owned));
    ++queued;
    const int id = item->Id;
    ASSERT_TRUE(AllHandedBack());
    const Handed* h = recorder.Find(id);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->status, PoolWorkItem::StatusExecuteError);
    EXPECT_EQ(h->errorText, GetParam().errorText);
    EXPECT_EQ(h->left, "half done");
    EXPECT_EQ(pool->ExecutingCount(), 0);
    ExpectEachHandedOnceOnOwner();
}

INSTANTIATE_TEST_SUITE_P(
    Errors, PoolExecuteErrorTest,
    ::testing::Values(ThrowCase{"runtime_error",
                                [] { throw std::runtime_error("connect: Connection refused"); },
                                QStringLiteral("connect: Connection refused")},
                      ThrowCase{"utf8_message", [] { throw std::logic_error("Zeitüberschreitung"); },
                                QStringLiteral("Zeitüberschreitung")},
                      ThrowCase{"int", [] { throw 42; },
                                QStringLiteral("Execute raised an error that is not a standard exception.")},
                      ThrowCase{"qstring", [] { throw QStringLiteral("odd"); },
                                QStringLiteral("Execute raised an error that is not a standard exception.")}),
    [](const ::testing::TestParamInfo<ThrowCase>& p) { return std::string(p.param.name); });

TEST_F(PoolTest, WithMaxQueueLengthWaitingTheNextIsRefusedAtOnce)
{
    pool->MaxPooled(1);
    pool->MaxQueueLength(2);
    pool->MaxQueuedTime(60);
    const int running = QueueBlocked()->Id;
    const int waiting1 = QueueBlocked()->Id;
    const int waiting2 = QueueBlocked()->Id;
    const int refused = QueueBlocked()->Id;

    // The refusal comes back while the gate is still shut.
    ASSERT_TRUE(SpinUntil([&] { return recorder.Find(refused) != nullptr; }));
    EXPECT_EQ(recorder.handed.size(), 1u);
    EXPECT_EQ(recorder.Find(refused)->status, PoolWorkItem::StatusRefused);
    EXPECT_EQ(recorder.Find(refused)->errorText, "Execution queue is too long.");
    EXPECT_FALSE(recorder.Find(refused)->ran);
    EXPECT_EQ(pool->RunningCount(), 1);
    EXPECT_EQ(pool->WaitingCount(), 2);

    gate.Open();
    ASSERT_TRUE(AllHandedBack());
    for (int id : {running, waiting1, waiting2}) {
        EXPECT_EQ(recorder.Find(id)->status, PoolWorkItem::StatusDone) << id;
        EXPECT_TRUE(recorder.Find(id)->ran) << id;
    }
    EXPECT_EQ(tally.mostInside.load(), 1);
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, AnItemWaitingPastMaxQueuedTimeIsGivenUp)
{
    pool->MaxPooled(1);
    pool->MaxQueuedTime(1);
    const int running = QueueBlocked()->Id;
    const int expires = Queue()->Id;

    ASSERT_TRUE(SpinUntil([&] { return recorder.Find(expires) != nullptr; }, 10s));
    EXPECT_EQ(recorder.Find(expires)->status, PoolWorkItem::StatusRefused);
    EXPECT_EQ(recorder.Find(expires)->errorText, "Maximum wait time exceeded.");
    EXPECT_FALSE(recorder.Find(expires)->ran);
    EXPECT_EQ(recorder.Find(running), nullptr);

    gate.Open();
    ASSERT_TRUE(AllHandedBack());
    EXPECT_EQ(recorder.Find(running)->status, PoolWorkItem::StatusDone);
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, WithMaxQueuedTimeZeroAnItemThatCannotRunAtOnceIsGivenUpAtOnce)
{
    pool->MaxPooled(1);
    const int running = QueueBlocked()->Id;
    const int expires = Queue()->Id;
    ASSERT_TRUE(SpinUntil([&] { return recorder.Find(expires) != nullptr; }));
    EXPECT_EQ(recorder.Find(expires)->status, PoolWorkItem::StatusRefused);
    EXPECT_EQ(recorder.Find(expires)->errorText, "Maximum wait time exceeded.");
    EXPECT_EQ(recorder.Find(running), nullptr);
    gate.Open();
    ASSERT_TRUE(AllHandedBack());
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, CancelAllHandsBackWaitingItemsUnrunAndMarksRunningOnes)
{
    pool->MaxPooled(2);
    pool->MaxQueuedTime(60);
    std::vector<int> running{QueueBlocked()->Id, QueueBlocked()->Id};
    std::vector<int> waiting;
    for (int i = 0; i < 5; ++i)
        waiting.push_back(Queue()->Id);
    ASSERT_TRUE(WaitUntil([this] { return tally.inside.load() == 2; }));
    EXPECT_EQ(pool->ExecutingCount(), 2);

    pool->CancelAll();
    ASSERT_TRUE(SpinUntil([&] { return recorder.handed.size() == waiting.size(); }));
    // Waiting items come back from the last to the first, none of them run.
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const Handed& h = recorder.handed[i];
        EXPECT_EQ(h.id, waiting[waiting.size() - 1 - i]);
        EXPECT_EQ(h.status, PoolWorkItem::StatusCancelled);
        EXPECT_TRUE(h.errorText.isEmpty());
        EXPECT_FALSE(h.ran);
    }
    EXPECT_EQ(tally.started.load(), 2);

    // Running items are not interrupted; they come back as cancelled once they end.
    gate.Open();
    ASSERT_TRUE(AllHandedBack());
    for (int id : running) {
        EXPECT_EQ(recorder.Find(id)->status, PoolWorkItem::StatusCancelled);
        EXPECT_TRUE(recorder.Find(id)->ran);
    }

    // Cancelling concerns the items there were: a later item runs normally.
    const int later = Queue()->Id;
    ASSERT_TRUE(AllHandedBack());
    EXPECT_EQ(recorder.Find(later)->status, PoolWorkItem::StatusDone);
    EXPECT_TRUE(recorder.Find(later)->ran);
    EXPECT_EQ(pool->ExecutingCount(), 0);
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, AnItemThatFailsInExecuteWhileCancelledKeepsItsError)
{
    pool->MaxQueuedTime(60);
    const int id = Queue([this] {
                       gate.Pass();
                       throw std::runtime_error("late failure");
                   })->Id;
    ASSERT_TRUE(WaitUntil([this] { return tally.inside.load() == 1; }));
    pool->CancelAll();
    gate.Open();
    ASSERT_TRUE(AllHandedBack());
    EXPECT_EQ(recorder.Find(id)->status, PoolWorkItem::StatusExecuteError);
    EXPECT_EQ(recorder.Find(id)->errorText, "late failure");
}

// With the program's limits: 200 items block at once, and every further item waits, however
// many (the waiting list has no count limit); nothing is refused, and all run once the first
// ones end.
TEST_F(PoolTest, TwoHundredBlockingItemsRunAtOnceAndAThousandMoreWaitUnrefused)
{
    pool->MaxPooled(200);
    pool->MaxQueueLength(0);
    pool->MaxQueuedTime(300);
    for (int i = 0; i < 1200; ++i)
        QueueBlocked();
    ASSERT_TRUE(WaitUntil([this] { return tally.inside.load() == 200; }, 60s)) << tally.inside.load();
    ASSERT_TRUE(WaitUntil([this] { return pool->WaitingCount() == 1000; })) << pool->WaitingCount();
    EXPECT_EQ(pool->RunningCount(), 200);
    EXPECT_EQ(pool->ExecutingCount(), 200);
    EXPECT_TRUE(recorder.handed.empty()) << "nothing is refused";
    EXPECT_EQ(tally.started.load(), 200);

    gate.Open();
    ASSERT_TRUE(SpinUntil([this] { return static_cast<int>(recorder.handed.size()) == queued; }, 60s));
    EXPECT_EQ(tally.started.load(), 1200);
    EXPECT_EQ(tally.mostInside.load(), 200);
    int done = 0;
    for (const Handed& h : recorder.handed)
        done += h.status == PoolWorkItem::StatusDone ? 1 : 0;
    EXPECT_EQ(done, 1200);
    ExpectEachHandedOnceOnOwner();
}

// A long burst of hand-backs leaves the owner's timers their turn: a 10 ms timer keeps firing
// while 4,000 items that each take half a millisecond to handle come back.
TEST_F(PoolTest, TheOwnersTimersRunDuringALongBurstOfHandBacks)
{
    recorder.after = [](const Handed&) {
        const auto until = std::chrono::steady_clock::now() + 500us;
        while (std::chrono::steady_clock::now() < until) {
        }
    };
    const int count = 4000;
    for (int i = 0; i < count; ++i)
        Queue();
    // All have run before the owner's loop turns: the whole burst waits for the handler.
    ASSERT_TRUE(WaitUntil([this] { return pool->RunningCount() == 0 && pool->WaitingCount() == 0; }, 60s));

    QEventLoop loop;
    QElapsedTimer sinceBeat;
    qint64 longestGapMs = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout,
                     [&] { longestGapMs = std::max(longestGapMs, sinceBeat.restart() - 10); });
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (static_cast<int>(recorder.handed.size()) == count)
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    sinceBeat.start();
    beat.start(10);
    done.start(10);
    loop.exec();
    ASSERT_EQ(static_cast<int>(recorder.handed.size()), count);
    EXPECT_LT(longestGapMs, 200) << "the owner's timers waited for the whole burst";
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, AHandlerThatThrowsStillFreesTheItemAndLaterItemsStillComeBack)
{
    recorder.after = [](const Handed& h) {
        if (h.id == 1)
            throw std::runtime_error("handler fault");
    };
    Queue();
    Queue();
    ASSERT_TRUE(AllHandedBack());
    EXPECT_TRUE(WaitUntil([this] { return tally.destroyed.load() == 2; }));
    ExpectEachHandedOnceOnOwner();
}

TEST_F(PoolTest, ErrorHandlerIsNotCalledInNormalWork)
{
    int errors = 0;
    pool->SetOnError([&errors](ThreadPoolManager*, int, const QString&) { ++errors; });
    for (int i = 0; i < 20; ++i)
        Queue([] { throw std::runtime_error("item fault"); });
    ASSERT_TRUE(AllHandedBack());
    EXPECT_EQ(errors, 0);
}

// A handler that opens an event loop of its own (a message box) does not hold up the others:
// the items behind it, and those that end while it is open, are handed back from that loop, each
// exactly once.
TEST_F(PoolTest, HandBacksFlowWhileAHandlerRunsANestedEventLoop)
{
    for (int i = 0; i < 10; ++i)
        Queue();
    TestItem* late = nullptr;
    std::vector<int> insideBox;
    int calls = 0;
    bool boxOpen = false;
    recorder.after = [&](const Handed& h) {
        if (boxOpen)
            insideBox.push_back(h.id);
        if (++calls != 1)
            return;
        // The box is up until every other item, one queued only now included, has come back.
        boxOpen = true;
        late = QueueBlocked();
        gate.Open();
        EXPECT_TRUE(SpinUntil([&] { return static_cast<int>(recorder.handed.size()) == queued; }));
        boxOpen = false;
    };
    ASSERT_TRUE(AllHandedBack());
    SpinUntil([] { return false; }, 50ms); // nothing comes back twice afterwards
    ExpectEachHandedOnceOnOwner();
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(static_cast<int>(insideBox.size()), queued - 1);
}

} // namespace
