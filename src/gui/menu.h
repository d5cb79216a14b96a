#pragma once

#include "gui/DialogOpener.h"
#include "gui/HelpViewer.h"
#include "gui/MainCommands.h"
#include "monitor/NotificationLimiter.h"

#include <QHash>
#include <QMainWindow>
#include <QSize>

#include <functional>
#include <memory>

class MonitorEngine;
class QAction;
class QDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QMovie;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QWindow;
class TFormClosing;
class TFormLoginDB;

// The main window: the administrator's console and the owner of the monitoring cycle. The cycle
// itself (timers, scheduler, result handling, list models) is the MonitorEngine it owns; the
// window shows the engine's models, turns the user's commands into engine calls and carries the
// start-up and shutdown handlers of the program.
class TFormMenu : public QMainWindow
{
    Q_OBJECT

public:
    struct Options
    {
        // The screen size that chooses the first window size; empty: the primary screen's.
        QSize screenSize;
        // Runs right after the settings are loaded, before the database is connected.
        std::function<void()> settingsLoaded;
    };

    // Builds the window and runs its creation handler (settings, size, database, TimerInit).
    explicit TFormMenu(const Options& options = Options(), QWidget* parent = nullptr);
    // Runs the destruction handler: settings saved, pool destroyed, last log line.
    ~TFormMenu() override;

    MonitorEngine* Engine() const { return m_engine.get(); }

    // Locks the main window's commands for a window of the program that stays open, as the
    // main window does when such a window takes the focus from it.
    void LockForDialog();
    // Lock and unlock the commands: the menu bar with the filter bar, and the function-bar buttons
    // with the row selection of the service list. Always called as a pair, menus first.
    void SetMainMenusEnabled(bool enabled);
    void SetMainToolbarEnabled(bool enabled);
    void ShowMainStatus(const QString& text);
    QString MainStatus() const;

    void FillServiceList(const QString& filter);
    void FillHostTree();
    // The tool tip the service list shows over the cell at `row`, `column`.
    QString ServiceToolTipAt(int row, int column) const;

    // Command handlers.
    void ActionCloseExecute();
    void ActionFunctionBarExecute();
    void ToggleAlarmPanel();
    void ActionResolutionExecute(int width, int height);
    void ActionHelpExecute();
    void ActionHomePageExecute();
    void ActionFaqExecute();
    void ShowLoginDialog();

    // Opens the configuration window of `kind` (created on first use and kept until the program
    // ends), as the commands and a double click on a service row do.
    void OpenDialog(DialogKind kind);
    DialogOpener* Dialogs() const { return m_dialogs; }
    // The window's commands, one action each.
    MainCommands* Commands() const { return m_commands; }

    // Controls named by the program's design.
    QMenuBar* ActionMainMenuBar = nullptr;
    QToolBar* ToolBarSelect = nullptr;
    QToolButton* ToolButtonScheduling = nullptr;
    QToolButton* ToolButtonStart = nullptr;
    QToolButton* ToolButtonStop = nullptr;
    QToolButton* ToolButtonClear = nullptr;
    QToolButton* ToolButtonService = nullptr;
    QToolButton* ToolButtonAlarm = nullptr;
    QToolButton* ToolButtonChart = nullptr;
    QToolButton* ToolButtonGeneral = nullptr;
    QTreeView* TntListViewService = nullptr;
    QGroupBox* GroupBoxAlarmLog = nullptr;
    QStatusBar* StatusBarMenu = nullptr;
    QAction* ActionStart = nullptr;
    QAction* ActionStop = nullptr;
    QAction* ActionAlarmMessages = nullptr;
    QAction* ActionFunctionBar = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TFormClosing* FormClosing = nullptr; // created the first time closing has to wait
    TFormLoginDB* FormLoginDB = nullptr; // created the first time the login is needed

    QWidget* functionBar() const { return m_functionBar; }
    QTreeView* hostTree() const { return m_hostTree; }
    QTreeView* alarmList() const { return m_alarmList; }
    QMenu* serviceListMenu() const { return m_serviceMenu; }
    QMenu* trayMenu() const { return m_trayMenu; }
    QLabel* animation() const { return m_animate; }
    // The menu entry, function-bar button or filter button whose text (without "&") is `text`.
    QAction* action(const QString& text) const;
    QToolButton* filterButton(const QString& text) const;

signals:
    // The window was closed through its frame (after the close handler ran).
    void closed();
    // A desktop notification is shown through the tray icon (where the desktop has one).
    void desktopNotice(const QString& title, const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void FormCreate(const Options& options);
    void FormClose();
    void FormDestroy();

    void buildCommands();
    void buildMenus();
    void buildFunctionBar();
    void buildFunctionButtons();
    void buildFilterButtons();
    void buildServiceList();
    void buildServiceMenu();
    void buildAlarmList();
    void buildCentre();
    void buildTray();
    void wireEngine();
    void applyInitialSize(const QSize& screen);
    void schedulingChanged(bool on);
    void playAnimation();
    void focusWindowChanged(QWindow* window);
    void lockForOtherWindow();
    void followSelection(QTreeView* view, int row);
    void serviceHeaderClicked(int column);
    // A service failed or recovered: a desktop notification when they are switched on, within
    // the limits of m_notices.
    void serviceStateChanged(int serviceId, bool failed, const QString& detail);
    void showNotice(const NotificationLimiter::Notice& notice, bool warning);
    void flushNotices();

    std::unique_ptr<MonitorEngine> m_engine;
    MainCommands* m_commands = nullptr;
    DialogOpener* m_dialogs = nullptr;
    QWidget* m_functionBar = nullptr;
    QToolBar* m_functionToolBar = nullptr;
    QLabel* m_animate = nullptr;
    QMovie* m_movie = nullptr;
    QTreeView* m_hostTree = nullptr;
    QTreeView* m_alarmList = nullptr;
    QSplitter* m_vertical = nullptr;
    QLabel* m_statusText = nullptr;
    QMenu* m_serviceMenu = nullptr;
    QMenu* m_trayMenu = nullptr;
    QList<QToolButton*> m_filterButtons;
    QHash<QString, QAction*> m_actions;
    bool m_followingSelection = false;
    bool m_mainHadFocus = false;
    NotificationLimiter m_notices;
    QTimer* m_noticeTimer = nullptr; // shows the summary of held-back notices when the minute allows
};

// The main window while it exists, for the dialogs that lock and unlock it.
TFormMenu* FormMenu();
