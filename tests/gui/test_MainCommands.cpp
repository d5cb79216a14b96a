// The main window's commands and the windows they open: one action per command whatever place
// offers it, locked and unlocked together; one window per kind, raised again by a second opening,
// whose closing unlocks the main window.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "gui/DialogOpener.h"
#include "gui/MainCommands.h"
#include "gui/dialogs/TFormDialog.h"
#include "gui/dialogs/alarmSettings.h"
#include "gui/dialogs/chartings.h"
#include "gui/dialogs/contactGroupsSettings.h"
#include "gui/dialogs/contactSettings.h"
#include "gui/dialogs/scheduling.h"
#include "gui/dialogs/settings.h"
#include "gui/dialogs/setupScheduling.h"
#include "gui/dialogs/updateScheduling.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

namespace {

QAction* entryOf(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

struct Place
{
    Command command;
    const char* menuEntry;           // the menu bar's entry, without "&"
    QToolButton* TFormMenu::*button; // the function-bar button, if any
    const char* buttonCaption;       // its caption as shown
    const char* contextEntry;        // the service list's entry, if any
    bool inServiceDropDown;          // offered by the Service button's arrow
    bool enabledWhileSchedulingRuns; // unlocked with scheduling on
};

const Place kPlaces[] = {
    {Command::Scheduling, "Scheduling", &TFormMenu::ToolButtonScheduling, "Scheduling", nullptr, false, true},
    {Command::Start, "Start", &TFormMenu::ToolButtonStart, "Start", nullptr, false, false},
    {Command::Stop, "Stop", &TFormMenu::ToolButtonStop, "Stop", nullptr, false, true},
    {Command::ClearAlarms, "Clear Alarm Messages", &TFormMenu::ToolButtonClear, "Clear Alarms", nullptr,
     false, true},
    {Command::Chart, "Chart", &TFormMenu::ToolButtonChart, "Chart", nullptr, false, true},
    {Command::AlarmOptions, "Alarm Options", &TFormMenu::ToolButtonAlarm, "Alarm", nullptr, false, true},
    {Command::General, "General", &TFormMenu::ToolButtonGeneral, "General", nullptr, false, true},
    {Command::NewService, "New Service", &TFormMenu::ToolButtonService, "&Service", "&New Service", true,
     true},
    {Command::UpdateService, "Update Service", nullptr, nullptr, "Update Service", true, true},
};

// Every place of a command holds the one action, with the caption it always had, and the lock of
// the window (another program window active) takes all places at once; the unlock gives them
// back, Start and Stop by the scheduling state.
TEST_F(GuiFixture, EachCommandIsOneActionInEveryPlaceAndLocksAsOne)
{
    openWindow();
    startCycle(); // scheduling runs
    MainCommands* commands = window->Commands();
    QMenu* drop = window->ToolButtonService->menu();
    ASSERT_NE(drop, nullptr);

    for (const Place& place : kPlaces) {
        SCOPED_TRACE(place.menuEntry);
        QAction* action = commands->get(place.command);
        EXPECT_EQ(window->action(QString::fromLatin1(place.menuEntry)), action);
        if (place.button) {
            QToolButton* button = window.get()->*place.button;
            EXPECT_EQ(button->defaultAction(), action);
            EXPECT_EQ(button->text(), QString::fromLatin1(place.buttonCaption));
        }
        if (place.contextEntry) {
            EXPECT_EQ(entryOf(window->serviceListMenu(), QString::fromLatin1(place.contextEntry)), action);
        }
        EXPECT_EQ(drop->actions().contains(action), place.inServiceDropDown);
    }

    window->LockForDialog();
    for (const Place& place : kPlaces) {
        SCOPED_TRACE(place.menuEntry);
        EXPECT_FALSE(commands->get(place.command)->isEnabled());
        if (place.button) {
            EXPECT_FALSE((window.get()->*place.button)->isEnabled());
        }
    }

    window->SetMainMenusEnabled(true);
    window->SetMainToolbarEnabled(true);
    for (const Place& place : kPlaces) {
        SCOPED_TRACE(place.menuEntry);
        EXPECT_EQ(commands->get(place.command)->isEnabled(), place.enabledWhileSchedulingRuns);
        if (place.button) {
            EXPECT_EQ((window.get()->*place.button)->isEnabled(), place.enabledWhileSchedulingRuns);
        }
    }

    // The tray menu offers the help, web-page and close commands of the menu bar.
    for (const char* entry : {"Quorvel Help", "Tolvern Home Page", "FAQ Page", "Close"}) {
        QAction* menuEntry = window->action(QString::fromLatin1(entry));
        ASSERT_NE(menuEntry, nullptr) << entry;
        EXPECT_TRUE(window->trayMenu()->actions().contains(menuEntry)) << entry;
    }
}

struct Opened
{
    DialogKind kind;
    const char* name;
    TFormDialog* (*existing)();
};

template <typename Form, Form* (*Accessor)()> TFormDialog* asDialog()
{
    return Accessor();
}

const Opened kOpened[] = {
    {DialogKind::Scheduling, "Scheduling", asDialog<TFormScheduling, FormScheduling>},
    {DialogKind::Chart, "Chart", asDialog<TFormChartings, FormChartings>},
    {DialogKind::AlarmOptions, "AlarmOptions", asDialog<TFormAlarmingSettings, FormAlarmingSettings>},
    {DialogKind::ContactOptions, "ContactOptions", asDialog<TFormContactSettings, FormContactSettings>},
    {DialogKind::ContactGroupOptions, "ContactGroupOptions",
     asDialog<TFormContactGroupsSettings, FormContactGroupsSettings>},
    {DialogKind::GeneralOptions, "GeneralOptions", asDialog<TFormSettings, FormSettings>},
    {DialogKind::NewService, "NewService", asDialog<TFormSetupScheduling, FormSetupScheduling>},
    {DialogKind::UpdateService, "UpdateService", asDialog<TFormUpdateScheduling, FormUpdateScheduling>},
};

// Each kind of window exists once: a second opening shows the same window again, and closing it
// (however it closes) unlocks the main window's commands.
TEST_F(GuiFixture, EachDialogOpensOnceAndItsClosingUnlocksTheMainWindow)
{
    openWindow();
    startCycle();
    showWindow();
    for (const Opened& opened : kOpened) {
        SCOPED_TRACE(opened.name);
        EXPECT_EQ(opened.existing(), nullptr);
        window->OpenDialog(opened.kind);
        TFormDialog* first = opened.existing();
        ASSERT_NE(first, nullptr);
        ASSERT_TRUE(WaitUntilFocused(first));
        EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());

        window->OpenDialog(opened.kind);
        EXPECT_EQ(opened.existing(), first);
        EXPECT_EQ(window->Dialogs()->Find(opened.kind), first);
        EXPECT_TRUE(first->isVisible());

        first->close();
        EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
        EXPECT_TRUE(window->ToolButtonScheduling->isEnabled());
        window->activateWindow();
        ASSERT_TRUE(WaitUntilFocused(window.get()));
    }
}

} // namespace
