#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <array>

class QAction;
class QWidget;

// The commands of the main window. Each exists once, as one QAction, whichever places offer it
// (menu bar, function-bar button, the service list's menu, the tray menu), so a caption, a
// shortcut or an enabled state is set in one place and every place follows.
enum class Command
{
    Scheduling,
    Start,
    Stop,
    Close,
    ClearAlarms,
    Chart,
    FunctionBar,
    AlarmMessages,
    Size800,
    Size1024,
    AlarmOptions,
    ContactOptions,
    ContactGroupOptions,
    General,
    NewService,
    UpdateService,
    Help,
    HomePage,
    Faq,
    RunNow,
    StartService,
    StopService,
    DeleteService,
    Acknowledge,
    Count
};

class MainCommands : public QObject
{
    Q_OBJECT

public:
    // Creates every command's action, owned by `window` (whose shortcuts they are).
    explicit MainCommands(QWidget* window);

    QAction* get(Command command) const { return m_actions[static_cast<int>(command)]; }
    // The caption a function-bar button shows for `command` (empty when it has no button).
    static QString ButtonCaption(Command command);
    // The commands with a function-bar button, in the order of the bar.
    static QList<Command> FunctionBarCommands();

    // Locks or unlocks the commands of the function bar with Update Service (and so their menu
    // and list entries).
    // Unlocked, Start is offered only while scheduling is stopped and Stop only while it runs.
    void SetFunctionsEnabled(bool enabled, bool schedulingStopped);
    // Scheduling was switched: the check marks of Start and Stop, and, while the commands are
    // unlocked, which of the two is offered.
    void ShowScheduling(bool on, bool unlocked);

private:
    std::array<QAction*, static_cast<int>(Command::Count)> m_actions{};
};
