#include "gui/MainCommands.h"

#include "gui/Theme.h"

#include <QAction>
#include <QKeySequence>
#include <QStyle>
#include <QWidget>

namespace {

constexpr QStyle::StandardPixmap kNoIcon = QStyle::SP_CustomBase;

struct CommandRow
{
    Command command;
    const char* text;   // the menu caption
    const char* button; // the function-bar caption; nullptr: no button
    const char* keys;   // the shortcut; nullptr: none
    QStyle::StandardPixmap icon;
    bool checkable;
    bool checked;
};

// Every command of the main window, once.
const CommandRow kCommands[] = {
    {Command::Scheduling, "&Scheduling", "Scheduling", nullptr, QStyle::SP_FileDialogDetailedView, false,
     false},
    {Command::Start, "S&tart", "Start", "Ctrl+Alt+S", QStyle::SP_MediaPlay, true, false},
    {Command::Stop, "St&op", "Stop", "Ctrl+Alt+T", QStyle::SP_MediaStop, true, true},
    {Command::Close, "&Close", nullptr, "Ctrl+Alt+Q", kNoIcon, false, false},
    {Command::ClearAlarms, "&Clear Alarm Messages", "Clear Alarms", "Ctrl+Alt+C",
     QStyle::SP_DialogResetButton, false, false},
    {Command::Chart, "&Chart", "Chart", nullptr, QStyle::SP_FileDialogContentsView, false, false},
    {Command::FunctionBar, "&Function Bar", nullptr, "F7", kNoIcon, true, true},
    {Command::AlarmMessages, "&Alarm Messages", nullptr, "F8", kNoIcon, true, true},
    {Command::Size800, "&800X600", nullptr, nullptr, kNoIcon, false, false},
    {Command::Size1024, "&1024X768", nullptr, nullptr, kNoIcon, false, false},
    {Command::AlarmOptions, "&Alarm Options", "Alarm", nullptr, QStyle::SP_MessageBoxWarning, false, false},
    {Command::ContactOptions, "&Contact Options", nullptr, nullptr, kNoIcon, false, false},
    {Command::ContactGroupOptions, "C&ontact Group Options", nullptr, nullptr, kNoIcon, false, false},
    {Command::General, "&General", "General", nullptr, QStyle::SP_ComputerIcon, false, false},
    {Command::NewService, "&New Service", "&Service", nullptr, QStyle::SP_FileIcon, false, false},
    {Command::UpdateService, "Update Service", nullptr, nullptr, kNoIcon, false, false},
    {Command::Help, "&Quorvel Help", nullptr, "F12", kNoIcon, false, false},
    {Command::HomePage, "&Tolvern Home Page", nullptr, "F11", kNoIcon, false, false},
    {Command::Faq, "&FAQ Page", nullptr, "F10", kNoIcon, false, false},
    {Command::RunNow, "Run Now", nullptr, nullptr, kNoIcon, false, false},
    {Command::StartService, "Start", nullptr, nullptr, kNoIcon, false, false},
    {Command::StopService, "Stop", nullptr, nullptr, kNoIcon, false, false},
    {Command::DeleteService, "Delete Service", nullptr, nullptr, kNoIcon, false, false},
    {Command::Acknowledge, "Acknowledge Alarm", nullptr, nullptr, kNoIcon, false, false},
};

static_assert(std::size(kCommands) == static_cast<size_t>(Command::Count), "one row per command");

const CommandRow& rowOf(Command command)
{
    return kCommands[static_cast<int>(command)];
}

} // namespace

MainCommands::MainCommands(QWidget* window) : QObject(window)
{
    for (const CommandRow& row : kCommands) {
        Q_ASSERT(&row == &rowOf(row.command));
        auto* action = new QAction(QString::fromLatin1(row.text), window);
        if (row.keys)
            action->setShortcut(QKeySequence(QString::fromLatin1(row.keys)));
        if (row.button) {
            // The button shows its own caption and picture; menus show neither picture.
            action->setIconText(QString::fromLatin1(row.button));
            action->setIcon(Theme::ReadableIcon(window->style()->standardIcon(row.icon), window->palette()));
            action->setIconVisibleInMenu(false);
        }
        action->setCheckable(row.checkable);
        action->setChecked(row.checked);
        m_actions[static_cast<int>(row.command)] = action;
    }
}

QString MainCommands::ButtonCaption(Command command)
{
    const char* caption = rowOf(command).button;
    return caption ? QString::fromLatin1(caption) : QString();
}

QList<Command> MainCommands::FunctionBarCommands()
{
    return {Command::Scheduling, Command::Start,        Command::Stop,    Command::ClearAlarms,
            Command::Chart,      Command::AlarmOptions, Command::General, Command::NewService};
}

void MainCommands::SetFunctionsEnabled(bool enabled, bool schedulingStopped)
{
    // Update Service shares the Service button's drop-down with New Service.
    QList<Command> locked = FunctionBarCommands();
    locked << Command::UpdateService;
    for (Command command : locked)
        get(command)->setEnabled(enabled);
    if (enabled) {
        get(Command::Start)->setEnabled(schedulingStopped);
        get(Command::Stop)->setEnabled(!schedulingStopped);
    }
}

void MainCommands::ShowScheduling(bool on, bool unlocked)
{
    if (unlocked) {
        get(Command::Start)->setEnabled(!on);
        get(Command::Stop)->setEnabled(on);
    }
    get(Command::Start)->setChecked(on);
    get(Command::Stop)->setChecked(!on);
}
