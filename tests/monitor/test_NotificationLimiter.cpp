#include "monitor/NotificationLimiter.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A limiter on a clock the test moves by hand.
struct LimiterRig
{
    QDateTime start = QDateTime(QDate(2026, 12, 11), QTime(10, 0));
    QDateTime at = start;
    NotificationLimiter limiter{[this] { return at; }};

    void advanceSecs(int secs) { at = start.addSecs(secs); }
    // Offers a failure (or recovery) of each service; returns the texts shown at once.
    QStringList offer(std::initializer_list<int> services, bool failed)
    {
        QStringList shown;
        for (int id : services) {
            if (auto notice =
                    limiter.offer(id, failed, QStringLiteral("Service failed"), QString::number(id)))
                shown << notice->Text;
        }
        return shown;
    }
    QString flushed()
    {
        auto notice = limiter.flush();
        return notice ? notice->Text : QString();
    }
};

TEST(NotificationLimiter, SevenFailuresAtOnceGiveFiveNoticesAndOneSummaryAMinuteOn)
{
    LimiterRig rig;
    EXPECT_EQ(rig.offer({1, 2, 3, 4, 5, 6, 7}, true), QStringList({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(rig.limiter.heldBack(), 2);
    EXPECT_EQ(rig.flushed(), QString()) << "the minute is full";
    EXPECT_EQ(rig.limiter.msecsUntilFlush(), 60000);

    rig.advanceSecs(45);
    EXPECT_EQ(rig.limiter.msecsUntilFlush(), 15000);
    EXPECT_EQ(rig.flushed(), QString());
    rig.advanceSecs(60);
    EXPECT_EQ(rig.flushed(), "2 more services changed state");
    EXPECT_EQ(rig.flushed(), QString()) << "one summary for the held-back changes";
    EXPECT_EQ(rig.limiter.msecsUntilFlush(), -1);
}

TEST(NotificationLimiter, ChangesWhileASummaryWaitsJoinItAndLaterOnesAreShownAgain)
{
    LimiterRig rig;
    rig.offer({1, 2, 3, 4, 5, 6}, true);
    rig.advanceSecs(30);
    EXPECT_EQ(rig.offer({7}, true), QStringList());
    EXPECT_EQ(rig.offer({1}, false), QStringList()) << "a recovery waits behind the summary too";
    rig.advanceSecs(60);
    EXPECT_EQ(rig.flushed(), "3 more services changed state");
    rig.advanceSecs(61); // the summary is the only notification of the last minute
    EXPECT_EQ(rig.offer({8, 9, 10, 11, 12}, true), QStringList({"8", "9", "10", "11"}));
    rig.advanceSecs(121);
    EXPECT_EQ(rig.flushed(), "1 more service changed state");
}

// At most one notification per service and change.
TEST(NotificationLimiter, OneNoticePerServiceAndChange)
{
    struct Step
    {
        bool failed;
        bool shown;
    };
    const std::vector<std::pair<const char*, std::vector<Step>>> cases = {
        {"fails, stays down, recovers, stays up",
         {{true, true}, {true, false}, {true, false}, {false, true}, {false, false}}},
        {"first seen recovering (it failed before a restart)", {{false, true}, {false, false}, {true, true}}},
        {"flapping", {{true, true}, {false, true}, {true, true}, {false, true}}},
    };
    for (const auto& [name, steps] : cases) {
        SCOPED_TRACE(name);
        LimiterRig rig;
        int second = 0;
        for (const Step& step : steps) {
            rig.advanceSecs(second += 61); // never held back by the minute
            EXPECT_EQ(rig.offer({42}, step.failed).size(), step.shown ? 1 : 0);
        }
    }
    // Services are told apart.
    LimiterRig rig;
    EXPECT_EQ(rig.offer({1, 2}, true).size(), 2);
    EXPECT_EQ(rig.offer({1}, true).size(), 0);
}

} // namespace
