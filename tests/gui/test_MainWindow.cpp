// The main window driven as the administrator drives it: sizes, toggles, filters, the service
// list's context menu, sorting, row colours, locking, closing.
#include "DialogKit.h"
#include "GuiFixture.h"
#include "gui/dialogs/settings.h"
#include "monitor/TextTableModel.h"

#include "core/Clock.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/closing.h"
#include "monitor/MonitorEngine.h"
#include "pool/ThreadPoolManager.h"
#include "support/ScriptedServer.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMovie>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

using Kind = Notifier::Kind;

QAction* contextEntry(TFormMenu* w, const QString& text)
{
    for (QAction* a : w->serviceListMenu()->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

int rowOfId(TFormMenu* w, int id)
{
    return w->Engine()->ServiceList()->findRow(QString::number(id));
}

} // namespace

// ---- size at start ---------------------------------------------------------------------------

struct SizeCase
{
    const char* name;
    QSize screen;
    QByteArray savedIni; // empty: no settings file (first start)
    QSize size;
    QPoint position;
    bool maximised;
};

class WindowSize : public GuiFixture, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(WindowSize, FollowsTheScreenOnFirstStartAndTheSettingsLater)
{
    const SizeCase& c = GetParam();
    if (!c.savedIni.isEmpty())
        writeIni(c.savedIni);
    openWindow(windowOptions(c.screen));
    EXPECT_EQ(window->size(), c.size);
    EXPECT_EQ(window->pos(), c.position);
    EXPECT_EQ(window->windowState().testFlag(Qt::WindowMaximized), c.maximised);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, WindowSize,
    ::testing::Values(SizeCase{"Narrow800", {800, 600}, {}, {800, 572}, {0, 0}, true},
                      SizeCase{"Narrow1023", {1023, 1400}, {}, {800, 572}, {111, 0}, true},
                      SizeCase{"Low1024x768", {1024, 768}, {}, {900, 680}, {62, 44}, false},
                      SizeCase{"Low1280x1023", {1280, 1023}, {}, {900, 680}, {190, 171}, false},
                      SizeCase{"Large1280x1024", {1280, 1024}, {}, {1024, 768}, {128, 128}, false},
                      SizeCase{"Large1921x1200", {1921, 1200}, {}, {1024, 768}, {448, 216}, false},
                      SizeCase{"Saved",
                               {1920, 1200},
                               "[System]\r\nWindowWidth=1000\r\nWindowHeight=700\r\n",
                               {1000, 700},
                               {460, 250},
                               false}),
    [](const ::testing::TestParamInfo<SizeCase>& p) { return std::string(p.param.name); });

// ---- F7 and F8 -------------------------------------------------------------------------------

TEST_F(GuiFixture, FunctionBarAndAlarmPanelToggleWithF7AndF8AndAreSaved)
{
    openWindow();
    startCycle();
    showWindow();
    ASSERT_TRUE(window->ActionMainMenuBar->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_F7);
    EXPECT_TRUE(window->functionBar()->isHidden());
    EXPECT_FALSE(window->ActionFunctionBar->isChecked());
    EXPECT_FALSE(AppSettings.ShowFunctionBar);

    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_TRUE(window->GroupBoxAlarmLog->isHidden());
    EXPECT_FALSE(window->ActionAlarmMessages->isChecked());

    QTest::keyClick(window.get(), Qt::Key_F8); // back, at the bottom, 120 pixels high
    EXPECT_FALSE(window->GroupBoxAlarmLog->isHidden());
    EXPECT_TRUE(window->ActionAlarmMessages->isChecked());
    EXPECT_EQ(window->GroupBoxAlarmLog->height(), 120);
    EXPECT_TRUE(AppSettings.ShowWindowAlarmLog);
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_FALSE(AppSettings.ShowWindowAlarmLog);

    window->ActionResolutionExecute(800, 600);
    closeWindow();
    EXPECT_EQ(iniValue("System", "ShowFunctionBar"), "0");
    EXPECT_EQ(iniValue("System", "ShowWindowAlarmLog"), "0");
    EXPECT_EQ(iniValue("System", "WindowWidth"), "800");
    EXPECT_EQ(iniValue("System", "WindowHeight"), "600");

    // The next start hides the alarm panel; the function bar is shown at every start.
    openWindow();
    EXPECT_TRUE(window->GroupBoxAlarmLog->isHidden());
    EXPECT_FALSE(window->ActionAlarmMessages->isChecked());
    EXPECT_FALSE(window->functionBar()->isHidden());
    EXPECT_TRUE(window->ActionFunctionBar->isChecked());
    EXPECT_EQ(window->size(), QSize(800, 600));
}

// ---- the service list through the window -------------------------------------------------------

TEST_F(GuiFixture, FiltersHostTreeAndDeleteServiceWorkThroughTheWindow)
{
    const int url = addService({"URL", "http://web.example/status", 8080});
    addService({"Ping", "10.0.0.1", 0});
    const int smtp = addService({"SMTP", "mail.example", 25});
    addService({"POP3", "mail.example", 110});
    addService({"IMAP", "mail.example", 143});
    addService({"Ping", "mail.example", 0});
    addService({"FTP", "ftp.example", 21});
    m_dm->ExecUpdate(
        QStringLiteral("insert into service_url (service_id, referer) values (%1, \"r\")").arg(url));
    m_dm->ExecUpdate(
        QStringLiteral(
            "insert into service_url_detail (service_id, fieldname, fieldvalue) values (%1, \"a\", \"b\")")
            .arg(url));
    for (int id : {url, smtp})
        m_dm->ExecUpdate(
            QStringLiteral(
                "insert into service_contact_person (service_id, contact_person_id) values (%1, 1)")
                .arg(id));

    openWindow();
    startCycle();
    showWindow();
    QTreeView* list = window->TntListViewService;
    EXPECT_EQ(column(window->hostTree(), 0),
              QStringList({"ALL", "10.0.0.1", "ftp.example", "mail.example", "web.example"}));
    EXPECT_EQ(list->model()->rowCount(), 7);
    EXPECT_EQ(list->model()->index(rowOfId(window.get(), url), MonitorEngine::SvcIp).data().toString(),
              "web.example/status");
    EXPECT_EQ(list->model()->index(rowOfId(window.get(), url + 1), MonitorEngine::SvcPort).data().toString(),
              "---");

    window->filterButton("Email")->click();
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"IMAP", "POP3", "SMTP"}));
    window->filterButton("URL")->click();
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"URL"}));
    EXPECT_FALSE(window->filterButton("Database")->isEnabled());

    // A host node lists every service of that host, whatever its kind.
    const QModelIndex mailNode = window->hostTree()->model()->index(3, 0);
    const QPoint at = window->hostTree()->visualRect(mailNode).center();
    QTest::mouseClick(window->hostTree()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(window->hostTree()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"IMAP", "Ping", "POP3", "SMTP"}));

    // Delete Service on the selected row, without confirmation; the host filter stays.
    clickRow(list, rowOfId(window.get(), smtp));
    ASSERT_EQ(window->Engine()->ServiceList()->selectedRow(), rowOfId(window.get(), smtp));
    contextEntry(window.get(), "Delete Service")->trigger();
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"IMAP", "Ping", "POP3"}));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from quorvel.service where id=%1").arg(smtp)), "0");
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from quorvel.service_contact_person where service_id=%1")
                         .arg(smtp)),
              "0");
    EXPECT_TRUE(m_boxes.boxes.empty());

    // Deleting the last service of a host removes its URL rows and the host node.
    window->filterButton("URL")->click();
    clickRow(list, 0);
    contextEntry(window.get(), "Delete Service")->trigger();
    EXPECT_EQ(list->model()->rowCount(), 0);
    for (const char* table : {"service_url", "service_url_detail", "service_contact_person"})
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from quorvel.%1 where service_id=%2")
                             .arg(QLatin1String(table))
                             .arg(url)),
                  "0")
            << table;
    EXPECT_FALSE(column(window->hostTree(), 0).contains("web.example"));

    // Without a selected row nothing is deleted.
    window->filterButton("ALL")->click();
    const QString before = scalar("select count(*) from quorvel.service");
    contextEntry(window.get(), "Delete Service")->trigger();
    EXPECT_EQ(scalar("select count(*) from quorvel.service"), before);
}

// Over the rows the list shows its hint; a cell whose column cuts its text shows the text; a
// Failed status cell shows why the check failed.
TEST_F(GuiFixture, ServiceListToolTipsHintCutTextAndFailureDetail)
{
    const int shortIp = addService({"Ping", "10.0.0.1", 0});
    const int longIp = addService(
        {"URL", "http://a-rather-long-host-name.example/with/a/path/that/the/column/cannot/show/whole", 80});
    openWindow();
    startCycle();
    showWindow();
    const QString hint = "Double click on any service for updating...";
    EXPECT_EQ(window->TntListViewService->toolTip(), hint);
    EXPECT_EQ(window->ServiceToolTipAt(rowOfId(window.get(), shortIp), MonitorEngine::SvcIp), hint);
    window->resize(500, window->height());
    QCoreApplication::processEvents();
    const QString longText = window->TntListViewService->model()
                                 ->index(rowOfId(window.get(), longIp), MonitorEngine::SvcIp)
                                 .data()
                                 .toString();
    EXPECT_EQ(window->ServiceToolTipAt(rowOfId(window.get(), longIp), MonitorEngine::SvcIp), longText);

    // A failed check: its status cell tells why.
    TextTableModel* model = window->Engine()->ServiceList();
    model->setToolTipOfId(QString::number(shortIp), MonitorEngine::SvcCurrentStatus, "[10.0.0.1:0] Failed");
    EXPECT_EQ(window->ServiceToolTipAt(rowOfId(window.get(), shortIp), MonitorEngine::SvcCurrentStatus),
              "[10.0.0.1:0] Failed");
}

TEST_F(GuiFixture, StartAndStopOfTheContextMenuChangeTheSelectedService)
{
    const int id = addService({"Ping", "10.0.0.9", 0, "Stop"});
    openWindow();
    startCycle();
    showWindow();
    clickRow(window->TntListViewService, rowOfId(window.get(), id));
    contextEntry(window.get(), "Start")->trigger();
    EXPECT_EQ(scalar(QStringLiteral("select status from quorvel.service where id=%1").arg(id)), "Start");
    EXPECT_EQ(window->Engine()->ServiceList()->cell(rowOfId(window.get(), id), MonitorEngine::SvcStatus),
              "Start");
    contextEntry(window.get(), "Stop")->trigger();
    EXPECT_EQ(scalar(QStringLiteral("select status from quorvel.service where id=%1").arg(id)), "Stop");
}

TEST_F(GuiFixture, RunNowOnABusyRowIsRefused)
{
    AppSettings.EmailDefaultTimeout = 3000;
    ScriptedServer server;
    server.silence(10000);
    server.start();
    const int id = addService({"SMTP", "127.0.0.1", server.port()});
    const int other = addService({"Ping", "10.0.0.7", 0});

    auto options = windowOptions();
    options.settingsLoaded = [] {
        pointAtTestServer();
        AppSettings.EmailDefaultTimeout = 3000;
    };
    openWindow(options);
    startCycle();
    showWindow();
    QTreeView* list = window->TntListViewService;

    clickRow(list, rowOfId(window.get(), id));
    contextEntry(window.get(), "Run Now")->trigger();
    EXPECT_EQ(
        window->Engine()->ServiceList()->cell(rowOfId(window.get(), id), MonitorEngine::SvcCurrentStatus),
        "Process");
    ASSERT_TRUE(waitFor([&] { return server.connectionsAccepted() == 1; }));

    contextEntry(window.get(), "Run Now")->trigger(); // still running
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information);
    EXPECT_EQ(m_boxes.boxes[0].second, "This service is still under processing or retrying.");

    // A row waiting for its second attempt is refused the same way.
    const int otherRow = rowOfId(window.get(), other);
    window->Engine()->ServiceList()->setCell(otherRow, MonitorEngine::SvcCurrentStatus, "Retry");
    clickRow(list, otherRow);
    contextEntry(window.get(), "Run Now")->trigger();
    EXPECT_EQ(m_boxes.boxes.size(), 2u);

    // The first check ends (time-out), and the row can be run again.
    ASSERT_TRUE(waitFor([&] {
        return window->Engine()->ServiceList()->cell(rowOfId(window.get(), id),
                                                     MonitorEngine::SvcCurrentStatus) == "Failed";
    }));
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(GuiFixture, HeaderClicksSortBothListsWithSharedDirections)
{
    addService({"Ping", "b.example", 0});
    addService({"FTP", "c.example", 21});
    addService({"SMTP", "a.example", 25});
    openWindow();
    startCycle();
    showWindow();
    QTreeView* list = window->TntListViewService;
    QHeaderView* header = list->header();

    clickHeader(list, MonitorEngine::SvcService);
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"FTP", "Ping", "SMTP"}));
    EXPECT_EQ(header->sortIndicatorSection(), int(MonitorEngine::SvcService));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(list, MonitorEngine::SvcService);
    EXPECT_EQ(column(list, MonitorEngine::SvcService), QStringList({"SMTP", "Ping", "FTP"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(list, MonitorEngine::SvcIp);
    EXPECT_EQ(column(list, MonitorEngine::SvcIp), QStringList({"a.example", "b.example", "c.example"}));
    EXPECT_EQ(header->sortIndicatorSection(), int(MonitorEngine::SvcIp));

    // The alarm list shares the direction of each column position: position 2 was used once.
    TextTableModel* alarms = window->Engine()->AlarmMessageList();
    alarms->appendRow({"1", "2026-01-01 10:00:00", "alpha", "Email", "x@example", "Sent"});
    alarms->appendRow({"2", "2026-01-01 10:00:01", "gamma", "SMS", "123", "Error"});
    alarms->appendRow({"3", "2026-01-01 10:00:02", "beta", "SysLog", "10.0.0.1", "Pending"});
    clickHeader(window->alarmList(), MonitorEngine::AlmMessage);
    EXPECT_EQ(column(window->alarmList(), MonitorEngine::AlmMessage),
              QStringList({"gamma", "beta", "alpha"}));
}

TEST_F(GuiFixture, OddRowsOfBothListsArePaintedInTheRowColour)
{
    for (const char* host : {"a.example", "b.example", "c.example", "d.example"})
        addService({"Ping", host, 0});
    openWindow();
    startCycle();
    showWindow();
    TextTableModel* alarms = window->Engine()->AlarmMessageList();
    for (int i = 0; i < 3; ++i)
        alarms->appendRow({QString::number(i + 1), "2026-01-01 10:00:00", "m", "Email", "x@example", "Sent"});
    window->Engine()->ServiceList()->setSelectedRow(-1);
    QTest::qWait(50);

    for (QTreeView* view : {window->TntListViewService, window->alarmList()}) {
        const QImage image = view->viewport()->grab().toImage();
        const QColor base = view->palette().color(QPalette::Base);
        for (int row = 0; row < 3; ++row) {
            // A point of the row's widest cell, away from its text.
            const QRect r = view->visualRect(view->model()->index(row, 2));
            const QColor painted = image.pixelColor(r.right() - 4, r.center().y());
            EXPECT_EQ(painted, row % 2 == 1 ? QColor(255, 205, 155) : base)
                << view->objectName().toStdString() << " row " << row;
        }
    }
}

TEST_F(GuiFixture, ActivationPlaysTheAnimationOnceAndAMissingFileIsIgnored)
{
    openWindow();
    startCycle();
    showWindow(); // no bin/tolvern.gif yet: nothing to play, nothing breaks
    EXPECT_EQ(window->animation()->movie(), nullptr);
    window->hide();

    const QString gif = projectFile("resources/tolvern.gif");
    ASSERT_FALSE(gif.isEmpty());
    ASSERT_TRUE(QDir().mkpath(m_tree->file("bin")));
    ASSERT_TRUE(QFile::copy(gif, m_tree->file("bin/tolvern.gif")));
    QDialog other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    showWindow();
    QMovie* movie = window->animation()->movie();
    ASSERT_NE(movie, nullptr);
    // Once through (at most 30 frames), then it stays on its last frame.
    ASSERT_TRUE(waitFor([&] { return movie->state() == QMovie::Paused; }, 10000));
    EXPECT_EQ(movie->currentFrameNumber(), std::min(movie->frameCount() - 1, 30));
    QTest::qWait(200);
    EXPECT_EQ(movie->state(), QMovie::Paused);
}

// ---- commands locked while another window is active -------------------------------------------

TEST_F(GuiFixture, AnotherProgramWindowLocksTheCommandsButAMessageBoxDoesNot)
{
    m_tree->write("bin/tolvern.gif", QByteArray()); // not a picture: the animation is skipped
    openWindow();
    startCycle();
    window->Engine()->ActionStopExecute(); // scheduling stopped: Start enabled
    showWindow();
    ASSERT_TRUE(window->ToolButtonStart->isEnabled());

    QMessageBox box(QMessageBox::Information, "Information", "text", QMessageBox::Ok);
    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    box.hide();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QDialog first;
    first.show();
    first.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&first));
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_FALSE(window->ToolBarSelect->isEnabled());
    EXPECT_FALSE(window->ToolButtonScheduling->isEnabled());
    EXPECT_FALSE(window->ToolButtonStart->isEnabled());
    EXPECT_EQ(window->TntListViewService->selectionBehavior(), QAbstractItemView::SelectItems);
    EXPECT_EQ(window->TntListViewService->selectionMode(), QAbstractItemView::SingleSelection)
        << "rows stay selectable while the list is locked";
    EXPECT_TRUE(window->Engine()->SchedulingStopped());

    // Back to the main window and on to a second dialog: the disabled Start button does not
    // turn "stopped" into "running".
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QDialog second;
    second.show();
    second.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&second));
    EXPECT_TRUE(window->Engine()->SchedulingStopped());

    // A dialog's close unlocks the pair; Start and Stop follow the scheduling state.
    window->SetMainMenusEnabled(true);
    window->SetMainToolbarEnabled(true);
    EXPECT_TRUE(window->ToolButtonStart->isEnabled());
    EXPECT_FALSE(window->ToolButtonStop->isEnabled());
    EXPECT_FALSE(window->ActionStart->isChecked());
    EXPECT_TRUE(window->ActionStop->isChecked());
    EXPECT_EQ(window->TntListViewService->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(GuiFixture, StartAndStopSwitchTheButtonsAndCheckMarks)
{
    openWindow();
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled()); // locked until the cycle starts
    EXPECT_FALSE(window->ToolButtonStart->isEnabled());
    startCycle(); // InitStart is on by default
    EXPECT_FALSE(window->ToolButtonStart->isEnabled());
    EXPECT_TRUE(window->ToolButtonStop->isEnabled());
    EXPECT_TRUE(window->ActionStart->isChecked());
    EXPECT_FALSE(window->ActionStop->isChecked());
    EXPECT_EQ(window->MainStatus(), "Service scheduling starts.");

    window->ToolButtonStop->click();
    EXPECT_TRUE(window->ToolButtonStart->isEnabled());
    EXPECT_FALSE(window->ToolButtonStop->isEnabled());
    EXPECT_FALSE(window->ActionStart->isChecked());
    EXPECT_TRUE(window->ActionStop->isChecked());
    EXPECT_FALSE(window->Engine()->SchedulingRuns());
    EXPECT_EQ(window->MainStatus(), "Service scheduling stops.");

    window->ActionStart->trigger();
    EXPECT_TRUE(window->Engine()->SchedulingRuns());
    EXPECT_TRUE(window->ActionStart->isChecked());
    EXPECT_FALSE(window->ToolButtonStart->isEnabled());
}

// ---- closing -------------------------------------------------------------------------------------

// Records every time a closing window is shown.
class ClosingWindowWatch : public QObject
{
public:
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<TFormClosing*>(watched))
            ++shown;
        return false;
    }
};

class Closing : public GuiFixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P(Closing, TheCloseBoxWaitsForRunningChecksBehindTheClosingWindow)
{
    const bool checkRunning = GetParam();
    ScriptedServer server;
    server.silence(10000);
    server.start();
    const int id = addService({"SMTP", "127.0.0.1", server.port()});
    auto options = windowOptions();
    options.settingsLoaded = [] {
        pointAtTestServer();
        AppSettings.EmailDefaultTimeout = 2000;
    };
    openWindow(options);
    startCycle();
    showWindow();
    if (checkRunning) {
        clickRow(window->TntListViewService, rowOfId(window.get(), id));
        contextEntry(window.get(), "Run Now")->trigger();
        ASSERT_TRUE(waitFor([&] { return window->Engine()->ExecutingCount() > 0; }));
    }

    ClosingWindowWatch watch;
    qApp->installEventFilter(&watch);
    window->close();
    qApp->removeEventFilter(&watch);

    EXPECT_EQ(window->Engine()->ExecutingCount(), 0);
    EXPECT_EQ(watch.shown, checkRunning ? 1 : 0);
    EXPECT_EQ(window->FormClosing != nullptr, checkRunning);
    if (window->FormClosing) {
        EXPECT_TRUE(window->FormClosing->isHidden());
        EXPECT_EQ(window->FormClosing->windowTitle(), "Application is closing, it may take a few seconds...");
        EXPECT_TRUE(window->FormClosing->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
    EXPECT_FALSE(window->Engine()->SchedulingRuns());
    closeWindow();
    const QStringList lines = systemLogLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].endsWith("[INFO] Service scheduling stops."))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.last().endsWith("[INFO] Application stops."));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutRunningCheck, Closing, ::testing::Bool());

// Not a check: draws the picture of the main window for the README when asked to
// (--gtest_also_run_disabled_tests with QUORVEL_SCREENSHOT=<file.png>).
TEST_F(GuiFixture, DISABLED_ScreenshotForTheReadme)
{
    const QString target = qEnvironmentVariable("QUORVEL_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "QUORVEL_SCREENSHOT is not set";
    struct Row
    {
        Service service;
        const char* result;
        const char* when;
        const char* by;
        const char* minute;
    };
    const Row rows[] = {
        {{"URL", "http://shop.example.com/health", 80, "Start"},
         "Passed",
         "2026-03-02 10:15:02",
         "Minutely",
         "5"},
        {{"URL", "http://intranet.example.com/login", 8080, "Start"},
         "Failed",
         "2026-03-02 10:15:10",
         "Hourly",
         "15"},
        {{"Ping", "gateway.example.com", 0, "Start"}, "Passed", "2026-03-02 10:16:00", "Minutely", "2"},
        {{"SMTP", "mail.example.com", 25, "Start"}, "Passed", "2026-03-02 10:00:01", "Hourly", "00"},
        {{"IMAP", "mail.example.com", 143, "Start"}, "Passed", "2026-03-02 10:00:02", "Hourly", "00"},
        {{"POP3", "mail.example.com", 110, "Stop"}, "Unknown", "0000-00-00 00:00:00", "Daily", "30"},
        {{"FTP", "files.example.com", 21, "Start"}, "Failed", "2026-03-02 10:10:07", "Minutely", "10"},
    };
    for (const Row& r : rows) {
        const int id = addService(r.service);
        m_dm->ExecUpdate(
            QStringLiteral("update service set service_status=%1, last_access=%2, schedule_by=%3, "
                           "schedule_hour=\"09\", schedule_minute=%4 where id=%5")
                .arg(QuoteSqlText(r.result), QuoteSqlText(r.when), QuoteSqlText(r.by), QuoteSqlText(r.minute))
                .arg(id));
    }
    // At 10:17 none of these is due, so the first pass of the scheduler leaves them as they are.
    const QDateTime at(QDate(2026, 3, 2), QTime(10, 17, 30));
    SetClockSource([at] { return at; });
    openWindow();
    startCycle();
    window->resize(1024, 640);
    showWindow();
    window->Engine()->ServiceList()->setCellOfId(
        QString::number(window->Engine()->ServiceList()->cell(2, MonitorEngine::SvcId).toInt()),
        MonitorEngine::SvcCurrentStatus, "Process");
    TextTableModel* alarms = window->Engine()->AlarmMessageList();
    alarms->appendRow({"1", "2026-03-02 10:15:10",
                       "[intranet.example.com] [8080] HTTP/1.1 503 Service Unavailable", "Email",
                       "ops@example.com;admin@example.com", "Sent"});
    alarms->appendRow({"2", "2026-03-02 10:15:10",
                       "[intranet.example.com] [8080] HTTP/1.1 503 Service Unavailable", "SMS",
                       "+4915112345678", "Sent"});
    alarms->appendRow({"3", "2026-03-02 10:15:10",
                       "[intranet.example.com] [8080] HTTP/1.1 503 Service Unavailable", "SysLog", "10.0.0.5",
                       "Sent"});
    alarms->appendRow({"4", "2026-03-02 10:10:07", "[files.example.com] [21] Connection timed out",
                       "SMS by HTTP", "+4915112345678", "Pending"});
    window->Engine()->ServiceList()->setSelectedRow(-1);
    QTest::qWait(200);
    ASSERT_TRUE(window->grab().save(target, "PNG"));
}

// ---- help and web pages ----------------------------------------------------------------------------

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(GuiFixture, HelpAndWebPageEntriesOpenTheirAddresses)
{
    m_tree->write("help/Quorvel.html", "<html><body><h2 id=\"SMS_by_HTTP_Alarm\">SMS</h2></body></html>");
    ASSERT_TRUE(HelpFilePresent());
    UrlRecorder recorder;
    for (const char* scheme : {"file", "https"})
        QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    openWindow();
    startCycle();
    window->action("Quorvel Help")->trigger();
    window->action("Tolvern Home Page")->trigger();
    window->action("FAQ Page")->trigger();
    OpenHelpTopic("SMS_by_HTTP_Alarm");
    for (const char* scheme : {"file", "https"})
        QDesktopServices::unsetUrlHandler(scheme);

    ASSERT_EQ(recorder.urls.size(), 4);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(m_tree->file("help/Quorvel.html")));
    EXPECT_EQ(recorder.urls[1], QUrl(QString::fromLatin1(lang::HomePageUrl)));
    EXPECT_EQ(recorder.urls[2], QUrl(QString::fromLatin1(lang::FaqUrl)));
    EXPECT_EQ(recorder.urls[3].fragment(), "SMS_by_HTTP_Alarm");
    EXPECT_EQ(recorder.urls[3].toLocalFile(), m_tree->file("help/Quorvel.html"));
}

namespace {

// A help file with the program's topics far enough apart that each one scrolls the page.
QByteArray longHelpFile()
{
    QByteArray html = "<html><body><h1>Help</h1><h2>Contents</h2>";
    for (const char* topic : {"Main_Window", "New_Service", "Email_Alarm", "SysLog_Alarm", "Files"}) {
        html += QByteArray("<h2 id=\"") + topic + "\">" + topic + "</h2>";
        for (int i = 0; i < 60; ++i)
            html += "<p>Text of the topic.</p>";
    }
    return html + "</body></html>";
}

} // namespace

// Where the help goes: the browser at the topic; the contents when the file lacks the topic or
// the browser refuses the anchor; the program's own window at the topic when no browser takes the
// file at all (the help command and the dialogs' Help buttons alike).
TEST_F(GuiFixture, HelpOpensAtItsTopicOrTheContentsAndWithoutABrowserInAWindowOfItsOwn)
{
    m_tree->write("help/Quorvel.html", longHelpFile());
    ASSERT_TRUE(HelpFilePresent());
    const QUrl file = QUrl::fromLocalFile(m_tree->file("help/Quorvel.html"));
    const auto at = [&file](const QString& topic) {
        QUrl url = file;
        url.setFragment(topic);
        return url;
    };
    enum Browser
    {
        TakesAll,
        RefusesAnchors,
        None
    };
    struct Case
    {
        const char* name;
        Browser browser;
        QString topic;
        QList<QUrl> tried;    // the addresses handed to the desktop, in order
        QString viewerAnchor; // the program's own window at this topic ("-": not shown)
    };
    const Case cases[] = {
        {"topic in the browser", TakesAll, "Email_Alarm", {at("Email_Alarm")}, "-"},
        {"unknown topic: the contents", TakesAll, "No_Such_Topic", {file}, "-"},
        {"anchor refused: the contents", RefusesAnchors, "SysLog_Alarm", {at("SysLog_Alarm"), file}, "-"},
        {"no browser: own window at the topic",
         None,
         "SysLog_Alarm",
         {at("SysLog_Alarm"), file},
         "SysLog_Alarm"},
        {"no browser, no topic: own window at the top", None, "", {file}, ""},
    };
    openWindow();
    startCycle();
    showWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<QUrl> tried;
        SetHelpUrlOpener([&](const QUrl& url) {
            tried << url;
            return c.browser == TakesAll || (c.browser == RefusesAnchors && !url.hasFragment());
        });
        OpenHelpTopic(c.topic);
        EXPECT_EQ(tried, c.tried);
        QDialog* viewer = HelpViewer();
        if (c.viewerAnchor == "-") {
            EXPECT_TRUE(!viewer || !viewer->isVisible());
            continue;
        }
        ASSERT_NE(viewer, nullptr);
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->windowTitle(), "Quorvel Help");
        auto* browser = Named<QTextBrowser>(viewer, "Quorvel Help");
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->source().toLocalFile(), file.toLocalFile());
        EXPECT_TRUE(browser->toPlainText().contains("Text of the topic."));
        const int scrolled = browser->verticalScrollBar()->value();
        if (c.viewerAnchor.isEmpty()) {
            EXPECT_EQ(scrolled, 0);
        } else {
            // The topic's heading is at the top of the visible part.
            const QTextCursor heading = browser->document()->find(c.viewerAnchor);
            ASSERT_FALSE(heading.isNull());
            const int y =
                int(browser->document()->documentLayout()->blockBoundingRect(heading.block()).top());
            EXPECT_GT(scrolled, 0);
            EXPECT_NEAR(scrolled, std::min(y, browser->verticalScrollBar()->maximum()), 30);
        }
        viewer->close();
    }

    // F12 without a browser, and the options window's Help button (at its page's topic).
    QList<QUrl> tried;
    SetHelpUrlOpener([&](const QUrl& url) {
        tried << url;
        return false;
    });
    window->action("Quorvel Help")->trigger();
    ASSERT_NE(HelpViewer(), nullptr);
    EXPECT_TRUE(HelpViewer()->isVisible());
    HelpViewer()->close();
    SetHelpUrlOpener([&](const QUrl& url) {
        tried << url;
        return true;
    });
    tried.clear();
    window->OpenDialog(DialogKind::GeneralOptions);
    TFormSettings* options = FormSettings();
    ASSERT_NE(options, nullptr);
    QPushButton* help = Named<QPushButton>(options, "Help");
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_EQ(tried, QList<QUrl>{at("Files")});
    SetHelpUrlOpener(nullptr);
}

// ---- the list through a minute tick ------------------------------------------------------------------

// The minute tick and the results it brings write the cells of other services: the selected
// row and the scroll position stay on the service the user chose.
TEST_F(GuiFixture, TheMinuteTickKeepsTheSelectionAndTheScrollPositionOnTheChosenService)
{
    QList<int> ids;
    for (int i = 0; i < 40; ++i) {
        Service s;
        s.ip = i == 0 ? QString("127.0.0.1") : QString("10.1.0.%1").arg(i + 10);
        s.status = i == 0 ? "Start" : "Stop"; // only the first row is due
        ids << addService(s);
    }
    const QDateTime at(QDate(2026, 3, 2), QTime(10, 15, 20)); // hourly at minute 15: due now
    SetClockSource([at] { return at; });
    openWindow();
    startCycle();
    window->resize(900, 500);
    showWindow();
    QTreeView* list = window->TntListViewService;
    TextTableModel* model = window->Engine()->ServiceList();
    window->FillServiceList("ALL");
    const int chosen = rowOfId(window.get(), ids[30]);
    list->scrollTo(model->index(chosen, 1), QAbstractItemView::PositionAtCenter);
    QTest::qWait(20);
    clickRow(list, chosen);
    const int scroll = list->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    ASSERT_EQ(model->selectedRow(), chosen);

    window->Engine()->TimerServiceTimer();
    const QString firstId = QString::number(ids[0]);
    EXPECT_EQ(model->cell(rowOfId(window.get(), ids[0]), MonitorEngine::SvcCurrentStatus), "Process");
    ASSERT_TRUE(waitFor([&] {
        const QString state = model->cell(rowOfId(window.get(), ids[0]), MonitorEngine::SvcCurrentStatus);
        return state == "Passed" || state == "Failed";
    }));
    QTest::qWait(20);
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(model->cell(selected.first().row(), MonitorEngine::SvcId), QString::number(ids[30]));
    EXPECT_EQ(model->cell(model->selectedRow(), MonitorEngine::SvcId), QString::number(ids[30]));
    EXPECT_EQ(list->verticalScrollBar()->value(), scroll);

    // A refill of the list (another service saved) keeps the selection on the same service.
    window->FillServiceList("ALL");
    EXPECT_EQ(model->cell(model->selectedRow(), MonitorEngine::SvcId), QString::number(ids[30]));
    SetClockSource(nullptr);
    EXPECT_NE(firstId, QString());
}

// ---- state pictures ------------------------------------------------------------------------------------

namespace {

// How many pixels of the left part of a cell are mostly of one hue.
struct Tint
{
    int green = 0, red = 0, grey = 0, blue = 0;
};
Tint tintOfCellStart(QTreeView* view, const QModelIndex& index)
{
    const QRect cell = view->visualRect(index);
    const QImage image =
        view->viewport()->grab(QRect(cell.left(), cell.top(), cell.height() + 4, cell.height())).toImage();
    Tint t;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 110 && c.red() < 60 && c.blue() < 60)
                ++t.green;
            else if (c.red() > 160 && c.green() < 60 && c.blue() < 60)
                ++t.red;
            else if (c.blue() > 120 && c.red() < 120 && c.red() > 60 && c.green() < 120)
                ++t.blue;
            else if (std::abs(c.red() - 128) < 12 && std::abs(c.green() - 128) < 12 &&
                     std::abs(c.blue() - 128) < 12)
                ++t.grey;
        }
    }
    return t;
}

} // namespace

// The Current Status cell starts with a picture of its state; its text and name stay as they
// were, and a cell under way has no picture.
TEST_F(GuiFixture, TheCurrentStatusCellShowsAPictureOfItsStateBesideItsText)
{
    struct Case
    {
        const char* text;
        int Tint::*hue; // the colour its picture is drawn in (nullptr: no picture)
    };
    const Case cases[] = {
        {"Passed", &Tint::green},        {"Failed", &Tint::red}, {"Unknown", &Tint::grey},
        {"Failed (muted)", &Tint::blue}, {"Process", nullptr},
    };
    QList<int> ids;
    for (size_t i = 0; i < std::size(cases); ++i) {
        Service s;
        s.ip = QString("10.2.0.%1").arg(i + 1);
        ids << addService(s);
    }
    openWindow();
    startCycle();
    window->resize(1000, 500);
    showWindow();
    window->FillServiceList("ALL");
    QTreeView* list = window->TntListViewService;
    TextTableModel* model = window->Engine()->ServiceList();
    model->setSelectedRow(-1);
    for (size_t i = 0; i < std::size(cases); ++i)
        model->updateCellOfId(QString::number(ids[int(i)]), MonitorEngine::SvcCurrentStatus, cases[i].text);
    QTest::qWait(50);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(table, nullptr);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.text);
        const QModelIndex cell =
            model->index(rowOfId(window.get(), ids[int(i)]), MonitorEngine::SvcCurrentStatus);
        EXPECT_EQ(cell.data().toString(), c.text) << "the text is unchanged";
        const Tint tint = tintOfCellStart(list, cell);
        if (c.hue) {
            EXPECT_GT(tint.*c.hue, 30);
        } else {
            EXPECT_EQ(tint.green + tint.red + tint.blue, 0);
            EXPECT_LT(tint.grey, 30); // at most the edges of the text's first letter
        }
        QAccessibleTableInterface* cells = table->tableInterface();
        ASSERT_NE(cells, nullptr);
        QAccessibleInterface* accessibleCell = cells->cellAt(cell.row(), cell.column());
        ASSERT_NE(accessibleCell, nullptr);
        EXPECT_EQ(accessibleCell->text(QAccessible::Name), c.text);
    }
    if (const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS"); !folder.isEmpty()) {
        EXPECT_TRUE(window->grab().save(folder + "/service-states.png"));
    }
    // The Status column keeps its red text.
    const QModelIndex status = model->index(0, MonitorEngine::SvcStatus);
    EXPECT_EQ(status.data().toString(), "Stop");
}

// ---- the menu bar as drawn ---------------------------------------------------------------------------

TEST_F(GuiFixture, MenuEntriesCarryTheirShortcuts)
{
    openWindow();
    const std::pair<const char*, const char*> shortcuts[] = {
        {"Start", "Ctrl+Alt+S"}, {"Stop", "Ctrl+Alt+T"},
        {"Close", "Ctrl+Alt+Q"}, {"Clear Alarm Messages", "Ctrl+Alt+C"},
        {"Function Bar", "F7"},  {"Alarm Messages", "F8"},
        {"Quorvel Help", "F12"}, {"Tolvern Home Page", "F11"},
        {"FAQ Page", "F10"},
    };
    for (const auto& [entry, keys] : shortcuts) {
        QAction* a = window->action(entry);
        ASSERT_NE(a, nullptr) << entry;
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(keys))) << entry;
    }
    for (const char* entry :
         {"Scheduling", "Chart", "800X600", "1024X768", "Alarm Options", "Contact Options",
          "Contact Group Options", "General", "New Service", "Update Service"})
        EXPECT_NE(window->action(entry), nullptr) << entry;
    QStringList menus;
    for (QAction* a : window->ActionMainMenuBar->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"&Quorvel", "&Edit", "&View", "&Alarms", "&Options", "He&lp"}));
    EXPECT_EQ(window->windowTitle(), "Quorvel v1.5.0");
}

TEST_F(GuiFixture, ClearAlarmMessagesEmptiesTheListAndLaterHandBacksFindNoRow)
{
    openWindow();
    startCycle();
    TextTableModel* alarms = window->Engine()->AlarmMessageList();
    alarms->appendRow({"7", "2026-01-01 10:00:00", "m", "Email", "x@example", "Pending"});
    window->ToolButtonClear->click();
    EXPECT_EQ(window->alarmList()->model()->rowCount(), 0);
    EXPECT_FALSE(alarms->setCellOfId("7", MonitorEngine::AlmStatus, "Sent"));
    EXPECT_EQ(alarms->rowCount(), 0);
}

#include "test_MainWindow.moc"

namespace {

// The service list's menu offers acknowledge and the mute choices; choosing one through the menu
// marks the selected service's status cell.
TEST_F(GuiFixture, ServiceMenuAcknowledgesAndMutesTheSelectedService)
{
    const int id = addService({"Ping", "10.0.0.7", 0});
    openWindow();
    startCycle();
    showWindow();
    QAction* acknowledge = contextEntry(window.get(), "Acknowledge Alarm");
    ASSERT_NE(acknowledge, nullptr);
    QAction* mute = contextEntry(window.get(), "Mute Alarms");
    ASSERT_NE(mute, nullptr);
    ASSERT_NE(mute->menu(), nullptr);
    QStringList choices;
    for (QAction* a : mute->menu()->actions())
        choices << a->text();
    EXPECT_EQ(choices,
              QStringList({"1 hour", "4 hours", "Until tomorrow 08:00", "Until I unmute", "Unmute"}));
    // Pictures of the menu and its mute choices for a look by eye: QUORVEL_SCREENSHOTS names the folder.
    if (const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS"); !folder.isEmpty()) {
        for (QMenu* menu : {window->serviceListMenu(), mute->menu()}) {
            menu->popup(window->mapToGlobal(QPoint(120, 120)));
            QApplication::processEvents();
            menu->grab().save(folder + (menu == mute->menu() ? "/mute-menu.png" : "/service-menu.png"));
            menu->hide();
        }
    }

    TextTableModel* list = window->Engine()->ServiceList();
    const int row = rowOfId(window.get(), id);
    list->setCell(row, MonitorEngine::SvcCurrentStatus, "Passed");
    clickRow(window->TntListViewService, row);
    mute->menu()->actions()[3]->trigger();
    EXPECT_EQ(list->cell(rowOfId(window.get(), id), MonitorEngine::SvcCurrentStatus), "Passed (muted)");
    EXPECT_EQ(
        scalar(QStringLiteral(
                   "select date_format(muted_until,'%Y-%m-%d %H:%i:%s') from quorvel.service_alarm_state "
                   "where service_id=%1")
                   .arg(id)),
        "9999-12-31 23:59:59");
    acknowledge->trigger(); // not failed: nothing to acknowledge
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "0");
    mute->menu()->actions()[4]->trigger();
    EXPECT_EQ(list->cell(rowOfId(window.get(), id), MonitorEngine::SvcCurrentStatus), "Passed");
}

} // namespace
