// The frame every alarm work item shares: one delivery, the outcome, then the client closed,
// whatever the delivery did; no error leaves Execute.
#include "alarms/ThreadAlarm.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class FakeAlarm : public ThreadAlarm
{
public:
    FakeAlarm() : ThreadAlarm(QStringLiteral("Fake"), 0) {}

    std::function<bool(FakeAlarm&)> deliver = [](FakeAlarm&) { return true; };
    std::function<void()> close = [] {};
    int delivers = 0;
    int closes = 0;

protected:
    bool Deliver() override
    {
        ++delivers;
        return deliver(*this);
    }
    QString DetailHost() const override { return QStringLiteral("gw.test"); }
    int DetailPort() const override { return 2775; }
    void CloseClient() override
    {
        ++closes;
        close();
    }
};

TEST(ThreadAlarmFrame, EveryOutcomeIsReportedAndTheClientIsClosedOnce)
{
    struct Case
    {
        const char* name;
        std::function<bool(FakeAlarm&)> deliver;
        std::function<void()> close;
        bool passed;
        const char* text;
        const char* detail;
    };
    const std::vector<Case> cases = {
        {"delivered", [](FakeAlarm&) { return true; }, [] {}, true, "Sent", ""},
        {"delivered, closing throws", [](FakeAlarm&) { return true; },
         [] { throw std::runtime_error("close failed"); }, true, "Sent", ""},
        {"error thrown", [](FakeAlarm&) -> bool { throw std::runtime_error("  refused\r\n"); }, [] {}, false,
         "Error", "[gw.test:2775] refused"},
        {"not a standard error", [](FakeAlarm&) -> bool { throw 42; }, [] {}, false, "Error",
         "[gw.test:2775] unknown error"},
        {"refused with its own detail",
         [](FakeAlarm& a) {
             a.ResultDetail = QStringLiteral("ERR00802 : 13");
             return false;
         },
         [] {}, false, "Error", "ERR00802 : 13"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAlarm alarm;
        alarm.ResultDetail = QStringLiteral("left from before");
        alarm.deliver = c.deliver;
        alarm.close = c.close;
        EXPECT_NO_THROW(alarm.Execute());
        EXPECT_EQ(alarm.Passed, c.passed);
        EXPECT_EQ(alarm.ResultText, c.text);
        EXPECT_EQ(alarm.ResultDetail, c.detail);
        EXPECT_EQ(alarm.delivers, 1);
        EXPECT_EQ(alarm.closes, 1);
    }
}

} // namespace
