// The frame every check work item shares: derivation of Retry and Timeout, the verdict and
// result texts, the detail text, and the client clean-up.

#include "checks/ThreadCheck.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

ThreadCheckArgs ProductArgs()
{
    ThreadCheckArgs a;
    a.Origin = QStringLiteral("Product");
    a.ServiceId = 17;
    a.Host = QStringLiteral("mail.example.org");
    a.Port = 25;
    a.Retry = 1;
    a.Timeout = 7000;
    a.AlarmEmail = true;
    a.AlarmSmpp = false;
    a.AlarmHttpSms = true;
    a.AlarmSyslog = false;
    return a;
}

// A check kind made for the test: its probe does what the test says, and it may report
// another H, P and S, like the URL check does.
class FakeCheck : public ThreadCheck
{
public:
    using ThreadCheck::ThreadCheck;

    QString Kind() const override { return QStringLiteral("Fake"); }

    std::function<bool()> probe = [] { return true; };
    std::function<void()> close = [] {};
    bool reportOwnDetail = false; // report H, P and S like the URL check
    QString statusLine;
    int closes = 0;
    int probes = 0;

protected:
    bool Probe() override
    {
        ++probes;
        return probe();
    }
    void CloseClient() override
    {
        ++closes;
        close();
    }
    QString DetailHost() const override
    {
        return reportOwnDetail ? Host + "/index.html" : ThreadCheck::DetailHost();
    }
    int DetailPort() const override { return reportOwnDetail ? 8080 : ThreadCheck::DetailPort(); }
    QString DetailStatus() const override
    {
        return reportOwnDetail ? statusLine : ThreadCheck::DetailStatus();
    }
};

struct DeriveCase
{
    int retry;
    int timeout;
    bool wantRetry;
    int wantTimeout;
};

class ThreadCheckDeriveTest : public ::testing::TestWithParam<DeriveCase>
{
};

TEST_P(ThreadCheckDeriveTest, RetryAndTimeoutAreDerivedAtConstruction)
{
    ThreadCheckArgs a = ProductArgs();
    a.Retry = GetParam().retry;
    a.Timeout = GetParam().timeout;
    FakeCheck check(a);
    EXPECT_EQ(check.Retry, GetParam().wantRetry);
    EXPECT_EQ(check.Timeout, GetParam().wantTimeout);
}

INSTANTIATE_TEST_SUITE_P(Values, ThreadCheckDeriveTest,
                         ::testing::Values(DeriveCase{5, 10000, true, 10000}, DeriveCase{1, 1, true, 1},
                                           DeriveCase{0, 0, false, 5000}, DeriveCase{-1, -1, false, 5000},
                                           DeriveCase{-5, 30000, false, 30000}));

TEST(ThreadCheckFrame, ConstructionCopiesTheCreatorsValuesAndStartsWithEmptyResults)
{
    FakeCheck check(ProductArgs());
    EXPECT_EQ(check.Origin, "Product");
    EXPECT_EQ(check.ServiceId, 17);
    EXPECT_EQ(check.Host, "mail.example.org");
    EXPECT_EQ(check.Port, 25);
    EXPECT_TRUE(check.AlarmEmail);
    EXPECT_FALSE(check.AlarmSmpp);
    EXPECT_TRUE(check.AlarmHttpSms);
    EXPECT_FALSE(check.AlarmSyslog);
    EXPECT_FALSE(check.Passed);
    EXPECT_TRUE(check.ResultText.isEmpty());
    EXPECT_TRUE(check.ResultDetail.isEmpty());
    EXPECT_EQ(check.ResponseCode, 0);

    ThreadCheckArgs setup;
    setup.Origin = QStringLiteral("Setup");
    setup.Host = QStringLiteral("10.0.0.1");
    setup.Port = 21;
    FakeCheck wizard(setup);
    EXPECT_EQ(wizard.Origin, "Setup");
    EXPECT_EQ(wizard.ServiceId, 0);
    EXPECT_FALSE(wizard.Retry);
    EXPECT_FALSE(wizard.AlarmEmail || wizard.AlarmSmpp || wizard.AlarmHttpSms || wizard.AlarmSyslog);
}

struct ExecuteCase
{
    const char* name;
    std::function<bool()> probe;
    bool ownDetail;
    QString statusLine;
    bool wantPassed;
    QString wantText;
    QString wantDetail;
};

class ThreadCheckExecuteTest : public ::testing::TestWithParam<ExecuteCase>
{
};

TEST_P(ThreadCheckExecuteTest, ExecuteSetsVerdictTextAndDetailAndClosesTheClientOnce)
{
    const ExecuteCase& c = GetParam();
    FakeCheck check(ProductArgs());
    check.probe = c.probe;
    check.reportOwnDetail = c.ownDetail;
    check.statusLine = c.statusLine;
    EXPECT_NO_THROW(check.Execute());
    EXPECT_EQ(check.Passed, c.wantPassed);
    EXPECT_EQ(check.ResultText, c.wantText);
    EXPECT_EQ(check.ResultDetail, c.wantDetail);
    EXPECT_EQ(check.probes, 1);
    EXPECT_EQ(check.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ThreadCheckExecuteTest,
    ::testing::Values(
        ExecuteCase{"passed", [] { return true; }, false, {}, true, "Passed", "[mail.example.org:25] Passed"},
        // A ping without a reply: failed, but no error text.
        ExecuteCase{
            "no_reply", [] { return false; }, false, {}, false, "Failed", "[mail.example.org:25] Failed"},
        // The error message is trimmed of blanks and control characters at both ends only.
        ExecuteCase{"error_trimmed",
                    []() -> bool { throw std::runtime_error(" \r\n\tConnection refused (111)\r\n\x01 "); },
                    false,
                    {},
                    false,
                    "Failed",
                    "[mail.example.org:25] Failed:Connection refused (111)"},
        ExecuteCase{"error_empty_message",
                    []() -> bool { throw std::runtime_error("  "); },
                    false,
                    {},
                    false,
                    "Failed",
                    "[mail.example.org:25] Failed:"},
        ExecuteCase{"error_not_standard",
                    []() -> bool { throw 7; },
                    false,
                    {},
                    false,
                    "Failed",
                    "[mail.example.org:25] Failed:unknown error"},
        // A kind that reports its own H, P and S (the URL check: URL, connected port, status line).
        ExecuteCase{"own_detail_passed", [] { return true; }, true, "HTTP/1.1 200 OK", true, "Passed",
                    "[mail.example.org/index.html:8080] HTTP/1.1 200 OK"},
        ExecuteCase{"own_detail_no_response",
                    []() -> bool { throw std::runtime_error("read timed out"); },
                    true,
                    {},
                    false,
                    "Failed",
                    "[mail.example.org/index.html:8080] :read timed out"}),
    [](const ::testing::TestParamInfo<ExecuteCase>& p) { return std::string(p.param.name); });

TEST(ThreadCheckFrame, PercentSequencesInTheTextsAreKeptAsTheyAre)
{
    ThreadCheckArgs a = ProductArgs();
    a.Host = QStringLiteral("http://h/a%20b%1%2");
    FakeCheck check(a);
    check.probe = []() -> bool { throw std::runtime_error("bad %3 reply"); };
    check.Execute();
    EXPECT_EQ(check.ResultDetail, "[http://h/a%20b%1%2:25] Failed:bad %3 reply");
}

// How a detail quotes what a server sent: at most 60 characters, control characters made blanks,
// "..." when more came, and never half of a character that takes two UTF-16 units.
TEST(ThreadCheckFrame, QuotesOfReceivedTextAreShortAndPrintable)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
    const struct
    {
        QString received;
        QString quoted;
    } cases[] = {
        {"", "\"\""},
        {"+OK ready", "\"+OK ready\""},
        {"a\tb\r\nc\x01", "\"a b  c \""},
        {QString(60, 'x'), "\"" + QString(60, 'x') + "\""},
        {QString(61, 'x'), "\"" + QString(60, 'x') + "\"..."},
        {QString(58, 'x') + emoji, "\"" + QString(58, 'x') + emoji + "\""},
        {QString(59, 'x') + emoji, "\"" + QString(59, 'x') + "\"..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ThreadCheck::QuoteReceived(c.received), c.quoted) << c.received.toStdString();
}

TEST(ThreadCheckFrame, ErrorsWhileClosingTheClientAreIgnored)
{
    for (bool probeFails : {false, true}) {
        for (bool standardError : {false, true}) {
            FakeCheck check(ProductArgs());
            if (probeFails)
                check.probe = []() -> bool { throw std::runtime_error("probe"); };
            if (standardError)
                check.close = [] { throw std::runtime_error("close"); };
            else
                check.close = [] { throw 1; };
            EXPECT_NO_THROW(check.Execute());
            EXPECT_EQ(check.Passed, !probeFails);
            EXPECT_EQ(check.ResultDetail, probeFails ? QString("[mail.example.org:25] Failed:probe")
                                                     : QString("[mail.example.org:25] Passed"));
            EXPECT_EQ(check.closes, 1);
        }
    }
}

// Through the pool, a failing probe is a normal end for the pool: Status 0, outcome in the fields.
TEST(ThreadCheckFrame, AFailingProbeNeverReachesThePoolAsAnError)
{
    ThreadPoolManager pool;
    int status = -1;
    QString detail;
    bool passed = true;
    pool.SetOnWorkItemDone([&](ThreadPoolManager*, PoolWorkItem* item) {
        auto* check = dynamic_cast<ThreadCheck*>(item);
        ASSERT_NE(check, nullptr);
        status = item->Status;
        detail = check->ResultDetail;
        passed = check->Passed;
    });
    auto check = std::make_unique<FakeCheck>(ProductArgs());
    check->probe = []() -> bool { throw std::runtime_error("Host not found"); };
    pool.QueueItem(std::move(check));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (status < 0 && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(status, PoolWorkItem::StatusDone);
    EXPECT_FALSE(passed);
    EXPECT_EQ(detail, "[mail.example.org:25] Failed:Host not found");
}

} // namespace
