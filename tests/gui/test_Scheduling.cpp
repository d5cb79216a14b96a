// The weekly monitoring window editor: the grid as stored, the toggle buttons and their state
// rules, Apply in one transaction, and the scheduler obeying the new grid.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/Clock.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/scheduling.h"
#include "monitor/MonitorEngine.h"

#include <QAction>
#include <QCheckBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

using Kind = Notifier::Kind;

class Scheduling : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped())
            return;
        openWindow();
        startCycle();
        showWindow();
    }

    TFormScheduling* open()
    {
        QTest::mouseClick(window->ToolButtonScheduling, Qt::LeftButton);
        TFormScheduling* form = FormScheduling();
        if (form && !WaitUntilFocused(form))
            return nullptr;
        return form;
    }

    // The stored grid as 24 rows of seven "yes"/"no" texts joined by blanks.
    QStringList storedGrid() const
    {
        QSqlQuery q(m_dm->SQLConnection);
        q.exec("select mon,tue,wed,thu,fri,sat,sun from scheduling order by schedule_time");
        QStringList rows;
        while (q.next()) {
            QStringList cells;
            for (int d = 0; d < 7; ++d)
                cells << q.value(d).toString();
            rows << cells.join(' ');
        }
        return rows;
    }

    // The grid the dialog shows, in the same form.
    static QStringList shownGrid(TFormScheduling* form)
    {
        QStringList rows;
        for (int hour = 0; hour < 24; ++hour) {
            QStringList cells;
            for (int day = 0; day < 7; ++day)
                cells << (form->Box(day, hour)->isChecked() ? "yes" : "no");
            rows << cells.join(' ');
        }
        return rows;
    }

    static QStringList everyRow(const QString& row) { return QStringList(24, row); }
};

} // namespace

TEST_F(Scheduling, OpensWithTheStoredGridItsButtonsAndApplyDisabled)
{
    m_dm->ExecUpdate("update scheduling set wed=\"no\" where schedule_time=3");
    m_dm->ExecUpdate("update scheduling set fri=\"Yes\" where schedule_time=22"); // not exactly "yes"
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Scheduling");
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_EQ(form->StatusText(), lang::CanUpdateSchedule);
    EXPECT_FALSE(form->ButtonApply->isEnabled());
    EXPECT_EQ(UnnamedControls(form), QStringList());

    QStringList expected = everyRow("yes yes yes yes yes yes yes");
    expected[3] = "yes yes no yes yes yes yes";
    expected[22] = "yes yes yes yes no yes yes";
    EXPECT_EQ(shownGrid(form), expected);

    // 31 toggle buttons with their captions, and every box named by its day and hour.
    const QStringList days = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int day = 0; day < 7; ++day)
        EXPECT_EQ(Named<QPushButton>(form, days[day]), form->DayButton(day));
    EXPECT_EQ(form->HourButton(0)->text(), "00:00 - 00:59");
    EXPECT_EQ(form->HourButton(9)->text(), "09:00 - 09:59");
    EXPECT_EQ(form->HourButton(23)->text(), "23:00 - 23:59");
    EXPECT_EQ(Named<QCheckBox>(form, "Wed 03:00 - 03:59"), form->Box(2, 3));
    for (const char* caption : {"Apply", "Cancel", "Clear All", "Select All"})
        EXPECT_NE(Named<QPushButton>(form, caption), nullptr) << caption;
    EXPECT_EQ(form->ButtonApply->toolTip(), "Click to save the alarming options");
    EXPECT_EQ(form->ButtonSelectAll->toolTip(), "Click to select all options");

    // A value other than "yes" is written back as "no".
    form->ButtonApplyClick();
    EXPECT_EQ(storedGrid(), expected);
    EXPECT_EQ(form->StatusText(), lang::SchedulingSaved);
    EXPECT_FALSE(form->ButtonApply->isEnabled());
}

TEST_F(Scheduling, WeekendSwitchedOffStopsTheSchedulerOnASaturdayWithinOneWindowPass)
{
    const QDateTime saturday(QDate(2026, 3, 7), QTime(10, 30));
    ASSERT_EQ(saturday.date().dayOfWeek(), Qt::Saturday);
    SetClockSource([saturday] { return saturday; });
    MonitorEngine* engine = window->Engine();
    engine->TimerTimer();
    ASSERT_TRUE(engine->SchedulingRuns()); // the seeded grid says "yes"

    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    QTest::mouseClick(form->DayButton(5), Qt::LeftButton); // Sat
    QTest::mouseClick(form->DayButton(6), Qt::LeftButton); // Sun
    EXPECT_TRUE(form->ButtonApply->isEnabled());
    engine->TimerTimer();
    EXPECT_TRUE(engine->SchedulingRuns()); // nothing is stored before Apply
    QTest::mouseClick(form->ButtonApply, Qt::LeftButton);

    EXPECT_EQ(storedGrid(), everyRow("yes yes yes yes yes no no"));
    EXPECT_EQ(form->StatusText(), lang::SchedulingSaved);
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns());
    EXPECT_EQ(window->MainStatus(), lang::SchedulingStops);

    // On the Monday after, the next pass starts it again.
    const QDateTime monday = saturday.addDays(2);
    SetClockSource([monday] { return monday; });
    engine->TimerTimer();
    EXPECT_TRUE(engine->SchedulingRuns());
}

// A toggle button starts from what its boxes show: it ticks them all unless all are ticked
// already, so its first click always changes the grid, whatever the grid was loaded with.
TEST_F(Scheduling, ToggleButtonsStartFromWhatTheirBoxesShow)
{
    struct Case
    {
        const char* name;
        const char* stored; // the stored row 5, Mon..Sun; every other row "yes"
        bool byHour;        // click the button of hour 5, else the button of Monday
        const char* row5After;
        bool mondayAllTicked; // Monday's column after the click
    };
    const Case cases[] = {
        {"full row, hour button unticks it", "yes yes yes yes yes yes yes", true, "no no no no no no no",
         false},
        {"empty row, hour button ticks it", "no no no no no no no", true, "yes yes yes yes yes yes yes",
         true},
        {"mixed row, hour button ticks it", "no yes no yes yes yes yes", true, "yes yes yes yes yes yes yes",
         true},
        {"Monday with one gap, day button ticks it", "no yes yes yes yes yes yes", false,
         "yes yes yes yes yes yes yes", true},
        {"full Monday, day button unticks it", "yes no no no no no no", false, "no no no no no no no", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dm->ExecUpdate("update scheduling set mon=\"yes\",tue=\"yes\",wed=\"yes\",thu=\"yes\","
                         "fri=\"yes\",sat=\"yes\",sun=\"yes\"");
        const QStringList v = QString::fromLatin1(c.stored).split(' ');
        m_dm->ExecUpdate(QStringLiteral("update scheduling set mon=\"%1\",tue=\"%2\",wed=\"%3\",thu=\"%4\","
                                        "fri=\"%5\",sat=\"%6\",sun=\"%7\" where schedule_time=5")
                             .arg(v[0], v[1], v[2], v[3], v[4], v[5], v[6]));
        TFormScheduling* form = open();
        ASSERT_NE(form, nullptr);
        const QStringList before = shownGrid(form);
        QPushButton* toggle = Named<QPushButton>(form, c.byHour ? "05:00 - 05:59" : "Mon");
        ASSERT_NE(toggle, nullptr);
        QTest::mouseClick(toggle, Qt::LeftButton);
        const QStringList after = shownGrid(form);
        EXPECT_NE(after, before) << "the first click changes the grid";
        EXPECT_EQ(after[5], c.row5After);
        bool mondayTicked = true;
        for (int hour = 0; hour < 24; ++hour)
            mondayTicked = mondayTicked && form->Box(0, hour)->isChecked();
        EXPECT_EQ(mondayTicked, c.mondayAllTicked);
        form->hide();
    }
}

TEST_F(Scheduling, SelectAllAndClearAllSetEveryBoxAndTheTogglesFollow)
{
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    form->ButtonClearAllClick();
    EXPECT_EQ(shownGrid(form), everyRow("no no no no no no no"));
    form->HourButtonClick(7);
    EXPECT_EQ(shownGrid(form)[7], "yes yes yes yes yes yes yes");
    form->ButtonSelectAllClick();
    EXPECT_EQ(shownGrid(form), everyRow("yes yes yes yes yes yes yes"));
    form->HourButtonClick(7);
    EXPECT_EQ(shownGrid(form)[7], "no no no no no no no");
    EXPECT_TRUE(form->ButtonApply->isEnabled());
}

TEST_F(Scheduling, ClearAllAppliedKeepsTheSchedulerStoppedAtEveryHour)
{
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    QTest::mouseClick(form->ButtonClearAll, Qt::LeftButton);
    EXPECT_TRUE(form->ButtonApply->isEnabled());
    QTest::mouseClick(form->ButtonApply, Qt::LeftButton);
    EXPECT_EQ(storedGrid(), everyRow("no no no no no no no"));

    MonitorEngine* engine = window->Engine();
    ASSERT_TRUE(engine->SchedulingRuns());
    for (int hour : {0, 9, 23}) {
        const QDateTime at(QDate(2026, 3, 4), QTime(hour, 5));
        SetClockSource([at] { return at; });
        engine->TimerTimer();
        EXPECT_FALSE(engine->SchedulingRuns()) << hour;
    }
}

TEST_F(Scheduling, AnApplyRefusedHalfWayStoresNothingAndKeepsApplyEnabled)
{
    m_dm->ExecUpdate("create trigger refuse_noon before update on scheduling for each row "
                     "begin if new.schedule_time=12 then signal sqlstate '45000' set message_text = "
                     "'noon refused'; end if; end");
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    QTest::mouseClick(form->ButtonClearAll, Qt::LeftButton);
    QTest::mouseClick(form->ButtonApply, Qt::LeftButton);

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("noon refused"));
    EXPECT_EQ(systemLogLines().filter("[ERROR]").filter("noon refused").size(), 1);
    EXPECT_EQ(storedGrid(), everyRow("yes yes yes yes yes yes yes")); // hours 0 to 11 too
    EXPECT_NE(form->StatusText(), lang::SchedulingSaved);
    EXPECT_TRUE(form->ButtonApply->isEnabled());
}

TEST_F(Scheduling, TheKeyboardWalksAndTogglesTheGrid)
{
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->ButtonApply->isEnabled());
    form->Box(0, 0)->setFocus();
    EXPECT_TRUE(form->ButtonApply->isEnabled()); // entering a box enables Apply

    const struct
    {
        Qt::Key key;
        QWidget* expected;
    } walk[] = {
        {Qt::Key_Right, form->Box(1, 0)},    {Qt::Key_Down, form->Box(1, 1)},
        {Qt::Key_Down, form->Box(1, 2)},     {Qt::Key_Left, form->Box(0, 2)},
        {Qt::Key_Left, form->HourButton(2)}, {Qt::Key_Left, form->HourButton(2)},
        {Qt::Key_Up, form->HourButton(1)},   {Qt::Key_Right, form->Box(0, 1)},
        {Qt::Key_Up, form->Box(0, 0)},       {Qt::Key_Up, form->DayButton(0)},
        {Qt::Key_Right, form->DayButton(1)}, {Qt::Key_Down, form->Box(1, 0)},
    };
    for (const auto& step : walk) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        EXPECT_EQ(QApplication::focusWidget(), step.expected)
            << (QApplication::focusWidget() ? QApplication::focusWidget()->accessibleName().toStdString()
                                            : "none");
    }

    // Space toggles the box that has the focus, and a toggle button as well.
    QTest::keyClick(form->Box(1, 0), Qt::Key_Space);
    EXPECT_FALSE(form->Box(1, 0)->isChecked());
    form->HourButton(4)->setFocus();
    QTest::keyClick(form->HourButton(4), Qt::Key_Space);
    EXPECT_EQ(shownGrid(form)[4], "no no no no no no no");
    // And the mouse as well.
    QTest::mouseClick(form->Box(6, 10), Qt::LeftButton);
    EXPECT_FALSE(form->Box(6, 10)->isChecked());
    form->ButtonApplyClick();
    EXPECT_EQ(storedGrid()[0], "yes no yes yes yes yes yes");
    EXPECT_EQ(storedGrid()[4], "no no no no no no no");
    EXPECT_EQ(storedGrid()[10], "yes yes yes yes yes yes no");
}

TEST_F(Scheduling, CancelWritesNothingAndUnlocksTheMainWindow)
{
    TFormScheduling* form = open();
    ASSERT_NE(form, nullptr);
    form->ButtonClearAllClick();
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(storedGrid(), everyRow("yes yes yes yes yes yes yes"));
    EXPECT_EQ(window->MainStatus(), lang::UpdatingCancelled);
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    // Shown again, the grid is the stored one.
    form = open();
    EXPECT_EQ(shownGrid(form), everyRow("yes yes yes yes yes yes yes"));
}
