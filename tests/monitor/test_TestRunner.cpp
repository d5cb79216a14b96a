// The runner of a window's tests: the whole finished item goes back to the handler of the test
// that asked, and only to the latest one.
#include "support/ScriptedServer.h"

#include "checks/ThreadCheck.h"
#include "core/comFunc.h"
#include "monitor/CheckBuilders.h"
#include "monitor/TestRunner.h"
#include "pool/PoolWorkItem.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// The connection test of a TCP service on 127.0.0.1:`port` that expects "ready" in the greeting,
// built as the new-service wizard builds it.
std::unique_ptr<PoolWorkItem> tcpTest(int port)
{
    ServiceRecord service;
    service.Service = QStringLiteral("TCP");
    service.Ip = QStringLiteral("127.0.0.1");
    service.Port = port;
    service.TcpExpect = QStringLiteral("ready");
    AppSettingsRecord settings;
    return BuildCheck(service, SetupCheckSettings(*FindCheckKind(service.Service), settings));
}

// What a handler saw of one answer.
struct Answer
{
    int test = 0; // which of the test's starts it answered
    QString verdict;
    QString detail;
    std::uint8_t status = 0;
    QString notRun;
};

struct Answers
{
    std::vector<Answer> seen;
    TestRunner::DoneHandler handlerOf(int test)
    {
        return [this, test](const PoolWorkItem& item) {
            const auto& check = static_cast<const ThreadCheck&>(item);
            seen.push_back({test, check.ResultText, check.ResultDetail, check.Status, NotRunReason(check)});
        };
    }
};

// Turns the event loop for `ms` milliseconds, so that late answers would have arrived.
void settle(int ms)
{
    QTest::qWait(ms);
}

class Failing : public PoolWorkItem
{
public:
    void Execute() override { throw std::runtime_error("no route to the test"); }
};

} // namespace

TEST(TestRunner, HandsTheWholeResultBackToTheHandlerOfTheTest)
{
    struct Case
    {
        const char* name;
        bool serverUp;
        const char* verdict;
        const char* inDetail;
    };
    for (const Case& c : {Case{"a server that greets as expected", true, "Passed", "Passed"},
                          Case{"a closed port", false, "Failed", "refused"}}) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.pause(300).sendLine("220 ready").readRest();
        int port = ScriptedServer::UnusedPort();
        if (c.serverUp) {
            server.start();
            port = server.port();
        }
        TestRunner runner;
        Answers answers;
        bool awaitingInHandler = true;
        const std::uint64_t ticket = runner.Start(tcpTest(port), [&](const PoolWorkItem& item) {
            awaitingInHandler = runner.Awaiting();
            answers.handlerOf(1)(item);
        });
        EXPECT_NE(ticket, 0u);
        EXPECT_TRUE(runner.Awaiting());
        EXPECT_TRUE(runner.IsAwaited(ticket));
        EXPECT_TRUE(answers.seen.empty()); // never answered before the event loop turns
        ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.seen.empty(); }, 10000));
        EXPECT_FALSE(awaitingInHandler);
        EXPECT_FALSE(runner.Awaiting());
        EXPECT_FALSE(runner.IsAwaited(ticket));
        const Answer& a = answers.seen.front();
        EXPECT_EQ(a.verdict, c.verdict);
        EXPECT_EQ(a.status, PoolWorkItem::StatusDone);
        EXPECT_TRUE(a.detail.startsWith(QString("[127.0.0.1:%1] ").arg(port))) << a.detail.toStdString();
        EXPECT_TRUE(a.detail.contains(c.inDetail)) << a.detail.toStdString();
        EXPECT_TRUE(a.notRun.isEmpty());
        settle(100);
        EXPECT_EQ(answers.seen.size(), 1u);
    }
}

// A slow test (the server waits before greeting) is made stale in each way a window can do it;
// its answer, arriving later, must reach nobody.
TEST(TestRunner, DropsTheAnswersOfStaleTests)
{
    enum class Stale
    {
        NewerTest,
        Dropped,
        RunnerGone
    };
    struct Case
    {
        const char* name;
        Stale how;
    };
    for (const Case& c : {Case{"a second test started before the first answered", Stale::NewerTest},
                          Case{"the window shown afresh (Drop)", Stale::Dropped},
                          Case{"the window closed for good (runner destroyed)", Stale::RunnerGone}}) {
        SCOPED_TRACE(c.name);
        ScriptedServer slow;
        slow.pause(500).sendLine("220 ready").readRest();
        slow.start();
        auto runner = std::make_unique<TestRunner>();
        Answers answers;
        const std::uint64_t first = runner->Start(tcpTest(slow.port()), answers.handlerOf(1));
        QTest::qWait(100); // the first test is under way, connected and waiting
        if (c.how == Stale::NewerTest) {
            const std::uint64_t second =
                runner->Start(tcpTest(ScriptedServer::UnusedPort()), answers.handlerOf(2));
            EXPECT_NE(second, first);
            EXPECT_FALSE(runner->IsAwaited(first));
            EXPECT_TRUE(runner->IsAwaited(second));
        } else if (c.how == Stale::Dropped) {
            runner->Drop();
            EXPECT_FALSE(runner->Awaiting());
        } else {
            runner.reset();
        }
        ASSERT_TRUE(slow.wait());
        settle(700); // the slow answer has come back by now
        if (c.how == Stale::NewerTest) {
            ASSERT_EQ(answers.seen.size(), 1u);
            EXPECT_EQ(answers.seen[0].test, 2);
            EXPECT_EQ(answers.seen[0].verdict, "Failed");
            EXPECT_FALSE(runner->Awaiting());
        } else {
            EXPECT_TRUE(answers.seen.empty());
        }
    }
}

// A handler may start the next test at once; that one is answered in its turn.
TEST(TestRunner, AHandlerMayStartTheNextTest)
{
    TestRunner runner;
    Answers answers;
    const int closed = ScriptedServer::UnusedPort();
    runner.Start(tcpTest(closed), [&](const PoolWorkItem& item) {
        answers.handlerOf(1)(item);
        runner.Start(tcpTest(closed), answers.handlerOf(2));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.seen.size() == 2; }, 10000));
    EXPECT_EQ(answers.seen[0].test, 1);
    EXPECT_EQ(answers.seen[1].test, 2);
    EXPECT_FALSE(runner.Awaiting());
}

// An item that did not run to its end still comes back, with the pool's reason for it.
TEST(TestRunner, AnItemThatDidNotRunComesBackWithTheReason)
{
    TestRunner runner;
    std::vector<QString> reasons;
    runner.Start(std::make_unique<Failing>(),
                 [&](const PoolWorkItem& item) { reasons.push_back(NotRunReason(item)); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reasons.empty(); }, 10000));
    EXPECT_EQ(reasons.front(), "no route to the test");
    EXPECT_THROW(runner.Start(nullptr, {}), std::invalid_argument);
    EXPECT_FALSE(runner.Awaiting());

    struct Case
    {
        std::uint8_t status;
        const char* reason;
    };
    for (const Case& c : {Case{PoolWorkItem::StatusDone, ""},
                          Case{PoolWorkItem::StatusQueueFull, "the worker pool's input queue was full."},
                          Case{PoolWorkItem::StatusCancelled, "cancelled."}}) {
        PoolWorkItem item;
        item.Status = c.status;
        EXPECT_EQ(NotRunReason(item), c.reason);
    }
}
