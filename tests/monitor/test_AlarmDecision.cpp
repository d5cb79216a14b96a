// The alarm rules as a state machine: each row is a run of results (P pass, F final failure) at
// one-minute steps under some rules, and what is sent at each step.
#include "monitor/AlarmDecision.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QDateTime kStart = QDateTime::fromString("2026-12-12 10:00:00", "yyyy-MM-dd HH:mm:ss");

// One letter per step: '.' nothing, 'A' problem alarm, 'R' reminder, 'V' recovery.
char letter(AlarmAction a)
{
    switch (a) {
    case AlarmAction::Problem:
        return 'A';
    case AlarmAction::Reminder:
        return 'R';
    case AlarmAction::Recovery:
        return 'V';
    case AlarmAction::None:
        break;
    }
    return '.';
}

std::string run(const AlarmRules& rules, ServiceAlarmState& state, const std::string& results,
                int firstMinute = 0)
{
    std::string sent;
    for (std::size_t i = 0; i < results.size(); ++i)
        sent +=
            letter(DecideAlarm(rules, state, results[i] == 'P', kStart.addSecs(60 * (firstMinute + int(i)))));
    return sent;
}

AlarmRules rules(int failures, AlarmRules::NotifyMode notify, int remind, bool recovery, int passes)
{
    AlarmRules r;
    r.FailuresBeforeAlarm = failures;
    r.Notify = notify;
    r.RemindMinutes = remind;
    r.Recovery = recovery;
    r.PassesBeforeRecovery = passes;
    return r;
}

constexpr auto Every = AlarmRules::NotifyMode::EveryFailure;
constexpr auto Change = AlarmRules::NotifyMode::OnChange;

TEST(AlarmDecision, EveryTransitionOfTheRules)
{
    struct Case
    {
        const char* name;
        AlarmRules rules;
        std::string results;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {"defaults: every final failure, no recovery", AlarmRules(), "FFPFP", "AA.A."},
        {"threshold 3: two failures send nothing", rules(3, Every, 0, false, 1), "FFPFF", "....."},
        {"threshold 3: from the third on", rules(3, Every, 0, false, 1), "FFFFF", "..AAA"},
        {"on change: once", rules(1, Change, 0, false, 1), "FFFFF", "A...."},
        {"on change with threshold", rules(2, Change, 0, false, 1), "FFFF", ".A.."},
        {"reminder every 10 min over 25 min", rules(1, Change, 10, false, 1), std::string(25, 'F'),
         "A.........R.........R...."},
        {"recovery after a problem alarm", rules(1, Change, 0, true, 1), "FFPP", "A.V."},
        {"no recovery for a failure that raised nothing", rules(3, Every, 0, true, 1), "FFPP", "...."},
        {"two passes make a recovery; a failure between keeps the incident", rules(1, Change, 0, true, 2),
         "FPFPPF", "A...VA"},
        {"every failure with recovery", rules(1, Every, 0, true, 1), "FFP", "AAV"},
        {"recovery off", rules(1, Change, 0, false, 1), "FPF", "A.A"},
    };
    for (const Case& c : cases) {
        ServiceAlarmState state;
        EXPECT_EQ(run(c.rules, state, c.results), c.sent) << c.name;
    }
}

TEST(AlarmDecision, AcknowledgedMutedAndRestarted)
{
    const AlarmRules remind = rules(1, Change, 5, true, 1);
    {
        SCOPED_TRACE("acknowledged: no reminders, the recovery still goes");
        ServiceAlarmState s;
        EXPECT_EQ(run(remind, s, "FF"), "A.");
        EXPECT_TRUE(AcknowledgeAlarm(s, kStart.addSecs(120)));
        EXPECT_EQ(run(remind, s, "FFFFFFFFFFP", 2), "..........V");
        EXPECT_FALSE(s.AcknowledgedAt.isValid()) << "ends with the incident";
        EXPECT_FALSE(AcknowledgeAlarm(s, kStart)) << "a passing service has nothing to acknowledge";
    }
    {
        SCOPED_TRACE("muted: checked and counted, nothing sent; the alarm comes when the mute ends");
        ServiceAlarmState s;
        s.MutedUntil = kStart.addSecs(180);
        EXPECT_EQ(run(remind, s, "FFFFP"), "...AV");
        EXPECT_EQ(s.State, "Passed");
    }
    {
        SCOPED_TRACE("muted during the recovery: none sent, the incident ends");
        ServiceAlarmState s;
        EXPECT_EQ(run(remind, s, "F"), "A");
        s.MutedUntil = kStart.addSecs(600);
        EXPECT_EQ(run(remind, s, "PF", 1), "..");
        s.MutedUntil = QDateTime();
        EXPECT_EQ(run(remind, s, "F", 3), "A") << "a new incident once unmuted";
    }
    for (const char* stored : {"F", "FP", "FF"}) {
        SCOPED_TRACE(std::string("a restart keeps what was sent: ") + stored);
        ServiceAlarmState s;
        run(rules(1, Change, 0, true, 2), s, stored);
        ServiceAlarmState restarted = s; // what the store gives back
        EXPECT_EQ(run(rules(1, Change, 0, true, 2), restarted, "FPP", 10), "..V");
    }
}

TEST(AlarmDecision, TextsOfReminderAndRecovery)
{
    ServiceAlarmState s;
    DecideAlarm(AlarmRules(), s, false, kStart);
    EXPECT_EQ(ReminderText("[web:80] Failed : refused", s),
              "Reminder : [web:80] Failed : refused (down since 2026-12-12 10:00)");
    EXPECT_EQ(RecoveryText("[web:80]", s, kStart.addSecs(25 * 60 + 30)),
              "[web:80] Recovered : passed again after 25 min");
}

} // namespace
