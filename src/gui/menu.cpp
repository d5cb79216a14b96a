#include "gui/menu.h"

#include "core/Clock.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/MainWindowParts.h"
#include "gui/Splash98.h"
#include "gui/Theme.h"
#include "gui/closing.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/loginDB.h"
#include "monitor/MonitorEngine.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMovie>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace {

TFormMenu* g_formMenu = nullptr;

} // namespace

TFormMenu* FormMenu()
{
    return g_formMenu;
}

TFormMenu::TFormMenu(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_engine(std::make_unique<MonitorEngine>())
{
    g_formMenu = this;
    setObjectName(QStringLiteral("FormMenu"));
    setWindowTitle(QStringLiteral("Quorvel v1.5.0"));
    setWindowIcon(mainwindow::ProgramIcon());
    resize(963, 654);

    buildCommands();
    buildMenus();
    buildFunctionBar();
    buildServiceList();
    buildServiceMenu();
    buildAlarmList();
    buildTray();
    wireEngine();
    buildCentre();

    StatusBarMenu = new QStatusBar(this);
    StatusBarMenu->setObjectName(QStringLiteral("StatusBarMenu"));
    m_statusText = new QLabel(StatusBarMenu);
    StatusBarMenu->addWidget(m_statusText, 1);
    setStatusBar(StatusBarMenu);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TFormMenu::focusWindowChanged);

    FormCreate(options);
}

TFormMenu::~TFormMenu()
{
    FormDestroy();
    // Hand-backs that arrive from here on find no window.
    m_engine->disconnect(this);
    if (g_formMenu == this)
        g_formMenu = nullptr;
}

// ---- building ------------------------------------------------------------------------------

void TFormMenu::buildCommands()
{
    m_commands = new MainCommands(this);
    m_dialogs = new DialogOpener(this, m_engine.get());
    MonitorEngine* engine = m_engine.get();
    auto opens = [this](DialogKind kind) { return [this, kind] { OpenDialog(kind); }; };
    const std::pair<Command, std::function<void()>> handlers[] = {
        {Command::Scheduling, opens(DialogKind::Scheduling)},
        {Command::Start, [engine] { engine->ActionStartExecute(); }},
        {Command::Stop, [engine] { engine->ActionStopExecute(); }},
        {Command::Close, [this] { ActionCloseExecute(); }},
        {Command::ClearAlarms, [engine] { engine->ClearAlarmMessages(); }},
        {Command::Chart, opens(DialogKind::Chart)},
        {Command::FunctionBar, [this] { ActionFunctionBarExecute(); }},
        {Command::AlarmMessages, [this] { ToggleAlarmPanel(); }},
        {Command::Size800, [this] { ActionResolutionExecute(800, 600); }},
        {Command::Size1024, [this] { ActionResolutionExecute(1024, 768); }},
        {Command::AlarmOptions, opens(DialogKind::AlarmOptions)},
        {Command::ContactOptions, opens(DialogKind::ContactOptions)},
        {Command::ContactGroupOptions, opens(DialogKind::ContactGroupOptions)},
        {Command::General, opens(DialogKind::GeneralOptions)},
        {Command::NewService, opens(DialogKind::NewService)},
        {Command::UpdateService, opens(DialogKind::UpdateService)},
        {Command::Help, [this] { ActionHelpExecute(); }},
        {Command::HomePage, [this] { ActionHomePageExecute(); }},
        {Command::Faq, [this] { ActionFaqExecute(); }},
        {Command::RunNow, [engine] { engine->MenuServiceRunNowClick(); }},
        {Command::StartService, [engine] { engine->MenuServiceStartClick(); }},
        {Command::StopService, [engine] { engine->MenuServiceStopClick(); }},
        {Command::DeleteService, [engine] { engine->MenuServiceDeleteClick(); }},
        {Command::Acknowledge, [engine] { engine->MenuServiceAcknowledgeClick(); }},
    };
    for (const auto& [command, handler] : handlers)
        connect(m_commands->get(command), &QAction::triggered, this, handler);
    ActionStart = m_commands->get(Command::Start);
    ActionStop = m_commands->get(Command::Stop);
    ActionFunctionBar = m_commands->get(Command::FunctionBar);
    ActionAlarmMessages = m_commands->get(Command::AlarmMessages);
}

void TFormMenu::buildMenus()
{
    ActionMainMenuBar = new QMenuBar(this);
    ActionMainMenuBar->setObjectName(QStringLiteral("ActionMainMenuBar"));
    setMenuBar(ActionMainMenuBar);

    // A null entry is a separator.
    auto fill = [this](QMenu* menu, std::initializer_list<std::optional<Command>> entries) {
        for (const std::optional<Command>& command : entries) {
            if (!command) {
                menu->addSeparator();
                continue;
            }
            QAction* entry = m_commands->get(*command);
            menu->addAction(entry);
            m_actions.insert(mainwindow::PlainText(entry->text()), entry);
        }
        return menu;
    };
    auto top = [this](const char* caption) {
        return ActionMainMenuBar->addMenu(QString::fromLatin1(caption));
    };
    const std::nullopt_t separator = std::nullopt;

    fill(top("&Quorvel"),
         {Command::Scheduling, separator, Command::Start, Command::Stop, separator, Command::Close});
    fill(top("&Edit"), {Command::ClearAlarms});
    QMenu* view = fill(top("&View"),
                       {Command::Chart, separator, Command::FunctionBar, Command::AlarmMessages, separator});
    fill(view->addMenu(QStringLiteral("&Resolution")), {Command::Size800, Command::Size1024});
    fill(top("&Alarms"), {Command::AlarmOptions, Command::ContactOptions, Command::ContactGroupOptions});
    QMenu* options = fill(top("&Options"), {Command::General});
    fill(options->addMenu(QStringLiteral("&Service")), {Command::NewService, Command::UpdateService});
    fill(top("He&lp"), {Command::Help, separator, Command::HomePage, Command::Faq});
}

void TFormMenu::buildFunctionBar()
{
    m_functionBar = new QWidget(this);
    m_functionBar->setObjectName(QStringLiteral("PanelFunctionBar"));
    buildFunctionButtons();

    m_animate = new QLabel(m_functionBar);
    m_animate->setObjectName(QStringLiteral("Animate"));
    m_animate->setFixedWidth(100);
    m_animate->setAlignment(Qt::AlignCenter);

    buildFilterButtons();

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_functionToolBar);
    top->addStretch(1);
    top->addWidget(m_animate);
    auto* layout = new QVBoxLayout(m_functionBar);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(ToolBarSelect);
}

void TFormMenu::buildFunctionButtons()
{
    m_functionToolBar = new QToolBar(QStringLiteral("Functions"), m_functionBar);
    m_functionToolBar->setObjectName(QStringLiteral("ToolBarFunction"));
    m_functionToolBar->setMovable(false);
    m_functionToolBar->setFloatable(false);
    m_functionToolBar->setIconSize(QSize(24, 24));

    // Buttons of 65 x 45 pixels with a small caption under the image; a font too wide for that
    // widens the button rather than cutting its caption. Each button is its command's action.
    QFont captionFont = m_functionToolBar->font();
    captionFont.setPointSizeF(std::min(captionFont.pointSizeF(), 8.0));
    auto button = [this, captionFont](Command command) {
        if (!m_functionToolBar->actions().isEmpty())
            m_functionToolBar->addSeparator();
        auto* b = new QToolButton(m_functionToolBar);
        b->setDefaultAction(m_commands->get(command));
        b->setFont(captionFont);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        const int caption =
            QFontMetrics(captionFont).horizontalAdvance(mainwindow::PlainText(b->text())) + 10;
        b->setFixedSize(std::max(65, caption), 45);
        b->setAutoRaise(true);
        m_functionToolBar->addWidget(b);
        return b;
    };
    ToolButtonScheduling = button(Command::Scheduling);
    ToolButtonStart = button(Command::Start);
    ToolButtonStop = button(Command::Stop);
    ToolButtonClear = button(Command::ClearAlarms);
    ToolButtonChart = button(Command::Chart);
    ToolButtonAlarm = button(Command::AlarmOptions);
    ToolButtonGeneral = button(Command::General);
    ToolButtonService = button(Command::NewService);
    auto* serviceDrop = new QMenu(ToolButtonService);
    serviceDrop->addAction(m_commands->get(Command::NewService));
    serviceDrop->addAction(m_commands->get(Command::UpdateService));
    ToolButtonService->setMenu(serviceDrop);
    ToolButtonService->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButtonService->setFixedSize(ToolButtonService->width() + 12, 45);
}

void TFormMenu::buildFilterButtons()
{
    ToolBarSelect = new QToolBar(QStringLiteral("View "), m_functionBar);
    ToolBarSelect->setObjectName(QStringLiteral("ToolBarSelect"));
    ToolBarSelect->setMovable(false);
    ToolBarSelect->setFloatable(false);
    ToolBarSelect->setIconSize(QSize(16, 16));
    ToolBarSelect->addWidget(new QLabel(QStringLiteral("View "), ToolBarSelect));
    struct Filter
    {
        const char* text;
        const char* hint;
        QStyle::StandardPixmap icon;
        bool enabled;
    };
    const Filter filters[] = {
        {"ALL", "Click to show all services.", QStyle::SP_DirHomeIcon, true},
        {"URL", "Click to show URL services only.", QStyle::SP_DriveNetIcon, true},
        {"Ping", "Click to show Ping services only.", QStyle::SP_BrowserReload, true},
        {"Email", "Click to show Email (SMTP,POP3,IMAP) services only.", QStyle::SP_DialogOpenButton, true},
        {"FTP", "Click to show FTP services only.", QStyle::SP_DirIcon, true},
        {"Database", "It will be supported in next version.", QStyle::SP_DriveHDIcon, false},
        {"MQ", "It will be supported in next version.", QStyle::SP_DriveHDIcon, false},
        {"LDAP", "It will be supported in next version.", QStyle::SP_DriveHDIcon, false},
    };
    for (const Filter& f : filters) {
        auto* b = new QToolButton(ToolBarSelect);
        const QString text = QString::fromLatin1(f.text);
        b->setText(text);
        b->setToolTip(QString::fromLatin1(f.hint));
        b->setIcon(style()->standardIcon(f.icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setEnabled(f.enabled);
        ToolBarSelect->addWidget(b);
        m_filterButtons << b;
        if (f.enabled)
            connect(b, &QToolButton::clicked, this, [this, text] { FillServiceList(text); });
    }
}

void TFormMenu::buildServiceList()
{
    m_hostTree = new QTreeView(this);
    m_hostTree->setObjectName(QStringLiteral("TreeViewHost"));
    m_hostTree->setModel(m_engine->HostTree());
    m_hostTree->setHeaderHidden(true);
    m_hostTree->setRootIsDecorated(false);
    m_hostTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_hostTree->setContextMenuPolicy(Qt::PreventContextMenu);
    m_hostTree->setMinimumWidth(60);
    connect(m_hostTree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            FillServiceList(index.data().toString());
    });

    TntListViewService = new QTreeView(this);
    TntListViewService->setObjectName(QStringLiteral("TntListViewService"));
    TntListViewService->setModel(m_engine->ServiceList());
    mainwindow::ConfigureReportView(TntListViewService);
    mainwindow::InstallServiceListDelegate(TntListViewService);
    const QString hint = QStringLiteral("Double click on any service for updating...");
    TntListViewService->setToolTip(hint);
    mainwindow::InstallListToolTips(TntListViewService, hint);
    mainwindow::SetColumnWidths(TntListViewService, {{0, ""},
                                                     {70, "SMTP"},
                                                     {-1, ""},
                                                     {35, "65535"},
                                                     {80, "Process"},
                                                     {120, "0000-00-00 00:00:00"},
                                                     {60, "Minutely"},
                                                     {100, "every 59 min"},
                                                     {60, "Start"},
                                                     {75, "99999 ms"},
                                                     {95, "Uptime 24h   "}});
    TntListViewService->header()->setSortIndicatorShown(true);
    TntListViewService->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(TntListViewService->header(), &QHeaderView::sectionClicked, this,
            &TFormMenu::serviceHeaderClicked);
    connect(TntListViewService, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenDialog(DialogKind::UpdateService);
    });
}

void TFormMenu::buildServiceMenu()
{
    m_serviceMenu = new QMenu(this);
    m_serviceMenu->setObjectName(QStringLiteral("PopupMenuService"));
    auto add = [this](Command command) { m_serviceMenu->addAction(m_commands->get(command)); };
    add(Command::RunNow);
    m_serviceMenu->addSeparator();
    add(Command::StartService);
    add(Command::StopService);
    m_serviceMenu->addSeparator();
    add(Command::NewService);
    add(Command::UpdateService);
    add(Command::DeleteService);
    m_serviceMenu->addSeparator();
    add(Command::Acknowledge);
    QMenu* mute = m_serviceMenu->addMenu(QStringLiteral("Mute Alarms"));
    mute->setObjectName(QStringLiteral("PopupMenuMute"));
    for (const char* choice : {"1 hour", "4 hours", "Until tomorrow 08:00", "Until I unmute", "Unmute"}) {
        const QString text = QString::fromLatin1(choice);
        connect(mute->addAction(text), &QAction::triggered, this,
                [this, text] { m_engine->MenuServiceMuteClick(MonitorEngine::MuteEnd(text, Now())); });
    }
    TntListViewService->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TntListViewService, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_serviceMenu->popup(TntListViewService->viewport()->mapToGlobal(at));
    });
}

void TFormMenu::buildAlarmList()
{
    GroupBoxAlarmLog = new QGroupBox(QStringLiteral("Alarm Messages - Sending"), this);
    GroupBoxAlarmLog->setObjectName(QStringLiteral("GroupBoxAlarmLog"));
    m_alarmList = new QTreeView(GroupBoxAlarmLog);
    m_alarmList->setObjectName(QStringLiteral("ListViewAlarm"));
    m_alarmList->setModel(m_engine->AlarmMessageList());
    mainwindow::ConfigureReportView(m_alarmList);
    mainwindow::SetColumnWidths(
        m_alarmList,
        {{0, ""}, {130, "0000-00-00 00:00:00"}, {-1, ""}, {125, "SMS by HTTP"}, {-1, ""}, {100, "Pending"}});
    m_alarmList->setContextMenuPolicy(Qt::PreventContextMenu);
    mainwindow::InstallListToolTips(m_alarmList, QString());
    connect(m_alarmList->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_engine->SortAlarmList(column); });
    auto* alarmLayout = new QVBoxLayout(GroupBoxAlarmLog);
    alarmLayout->setContentsMargins(2, 2, 2, 2);
    alarmLayout->addWidget(m_alarmList);
    GroupBoxAlarmLog->setMinimumHeight(60);
}

void TFormMenu::buildCentre()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_functionBar);
    layout->addWidget(mainwindow::NewBanner(central));

    auto* middle = new QSplitter(Qt::Horizontal);
    middle->setHandleWidth(5);
    middle->setChildrenCollapsible(false);
    middle->addWidget(m_hostTree);
    middle->addWidget(TntListViewService);
    middle->setStretchFactor(0, 0);
    middle->setStretchFactor(1, 1);
    middle->setSizes({150, 808});

    m_vertical = new QSplitter(Qt::Vertical, central);
    m_vertical->setObjectName(QStringLiteral("SplitterAlarmLog"));
    m_vertical->setHandleWidth(7);
    m_vertical->setChildrenCollapsible(false);
    m_vertical->addWidget(middle);
    m_vertical->addWidget(GroupBoxAlarmLog);
    m_vertical->setStretchFactor(0, 1);
    m_vertical->setStretchFactor(1, 0);
    m_vertical->setSizes({400, 120});
    layout->addWidget(m_vertical, 1);
    setCentralWidget(central);

    // The lists follow their model's selected row, and report the user's choice back to it.
    for (QTreeView* view : {TntListViewService, m_alarmList}) {
        auto* model = qobject_cast<TextTableModel*>(view->model());
        connect(model, &TextTableModel::rowSelected, this,
                [this, view](int row) { followSelection(view, row); });
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, view, model] {
            if (m_followingSelection)
                return;
            const QModelIndexList rows = view->selectionModel()->selectedRows();
            model->setSelectedRow(rows.isEmpty() ? -1 : rows.first().row());
        });
    }
}

void TFormMenu::buildTray()
{
    m_trayMenu = mainwindow::NewTrayMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("PopupMenuTray"));
    QAction* show = m_trayMenu->addAction(QStringLiteral("Show"));
    QAction* hide = m_trayMenu->addAction(QStringLiteral("Hide"));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_commands->get(Command::Help));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_commands->get(Command::HomePage));
    m_trayMenu->addAction(m_commands->get(Command::Faq));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_commands->get(Command::Close));
    connect(show, &QAction::triggered, this, [this] {
        showNormal();
        activateWindow();
    });
    connect(hide, &QAction::triggered, this, &QWidget::hide);

    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setToolTip(QStringLiteral("Quorvel"));
    TrayIcon->setContextMenu(m_trayMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) {
            showNormal();
            activateWindow();
        } else if (reason == QSystemTrayIcon::Context) {
            raise();
            activateWindow();
        }
    });
}

void TFormMenu::wireEngine()
{
    MonitorEngine* engine = m_engine.get();
    connect(engine, &MonitorEngine::statusMessage, this, &TFormMenu::ShowMainStatus);
    connect(engine, &MonitorEngine::commandsUnlocked, this, [this] {
        SetMainMenusEnabled(true);
        SetMainToolbarEnabled(true);
    });
    connect(engine, &MonitorEngine::loginRequested, this, &TFormMenu::ShowLoginDialog);
    connect(engine, &MonitorEngine::schedulingChanged, this, &TFormMenu::schedulingChanged);
    connect(engine, &MonitorEngine::serviceStateChanged, this, &TFormMenu::serviceStateChanged);
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, this, &TFormMenu::flushNotices);
    connect(engine, &MonitorEngine::closingWait, this, [this](bool waiting) {
        if (waiting) {
            if (!FormClosing)
                FormClosing = new TFormClosing(this);
            FormClosing->show();
            FormClosing->raise();
        } else if (FormClosing) {
            FormClosing->close();
        }
    });
}

void TFormMenu::serviceStateChanged(int serviceId, bool failed, const QString& detail)
{
    if (!AppSettings.DesktopNotifications)
        return;
    const auto notice = m_notices.offer(
        serviceId, failed, failed ? QStringLiteral("Service failed") : QStringLiteral("Service recovered"),
        detail);
    if (notice)
        showNotice(*notice, failed);
    const qint64 wait = m_notices.msecsUntilFlush();
    if (wait >= 0 && !m_noticeTimer->isActive())
        m_noticeTimer->start(static_cast<int>(wait));
}

void TFormMenu::flushNotices()
{
    if (const auto notice = m_notices.flush())
        showNotice(*notice, true);
    const qint64 wait = m_notices.msecsUntilFlush();
    if (wait >= 0)
        m_noticeTimer->start(static_cast<int>(wait));
}

void TFormMenu::showNotice(const NotificationLimiter::Notice& notice, bool warning)
{
    // The desktop's notification service shows tray messages; without a tray there is nowhere to
    // show them, and the service list still tells.
    if (TrayIcon && TrayIcon->isVisible() && QSystemTrayIcon::supportsMessages())
        TrayIcon->showMessage(notice.Title, notice.Text,
                              warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    emit desktopNotice(notice.Title, notice.Text);
}

QAction* TFormMenu::action(const QString& text) const
{
    return m_actions.value(text);
}

QToolButton* TFormMenu::filterButton(const QString& text) const
{
    for (QToolButton* b : m_filterButtons) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

// ---- creation, closing, destruction ----------------------------------------------------------

void TFormMenu::FormCreate(const Options& options)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon->show();

    LoadSettings();
    if (options.settingsLoaded)
        options.settingsLoaded();

    QSize screen = options.screenSize;
    if (screen.isEmpty()) {
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            screen = primary->size();
    }
    applyInitialSize(screen);

    if (!AppSettings.ShowWindowAlarmLog) {
        GroupBoxAlarmLog->hide();
        ActionAlarmMessages->setChecked(false);
    }

    SetMainMenusEnabled(false);
    SetMainToolbarEnabled(false);

    // Connects (or creates the database on a first start) the way the login dialog does, and
    // arms TimerInit, the weekly window and housekeeping.
    m_engine->StartUp();
}

void TFormMenu::applyInitialSize(const QSize& screen)
{
    const int sw = screen.width();
    const int sh = screen.height();
    // (screen + window) / 2 - window, halved with truncation toward zero.
    auto centred = [](int screenLength, int windowLength) {
        return (screenLength + windowLength) / 2 - windowLength;
    };

    if (!AppSettings.FirstStart) {
        const int w = AppSettings.WindowWidth;
        const int h = AppSettings.WindowHeight;
        resize(w, h);
        move(centred(sw, w), centred(sh, h));
        return;
    }
    if (sw < 1024) {
        resize(800, 572);
        move(centred(sw, 800), 0);
        setWindowState(windowState() | Qt::WindowMaximized);
    } else if (sh < 1024) {
        resize(900, 680);
        move(centred(sw, 900), centred(sh, 680));
    } else {
        resize(1024, 768);
        move(centred(sw, 1024), centred(sh, 768));
    }
}

void TFormMenu::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
    emit closed();
}

void TFormMenu::FormClose()
{
    // The engine cancels and waits for executing items (closingWait shows the closing window
    // meanwhile), stores their results and stops scheduling.
    m_engine->ShutDown();
}

void TFormMenu::FormDestroy()
{
    if (EnsureConfDir()) {
        AppSettings.WindowWidth = width();
        AppSettings.WindowHeight = height();
        SaveSettings();
    }
    m_engine->DestroyPool();
    if (EnsureLogDir())
        WriteSystemLog(QString::fromLatin1(lang::ApplicationStops), LogLevel::INFORMATIONAL);
    TrayIcon->hide();
}

// ---- locking and status ----------------------------------------------------------------------

void TFormMenu::SetMainMenusEnabled(bool enabled)
{
    ActionMainMenuBar->setEnabled(enabled);
    ToolBarSelect->setEnabled(enabled);
    if (enabled) {
        ActionStart->setChecked(!m_engine->SchedulingStopped());
        ActionStop->setChecked(m_engine->SchedulingStopped());
    }
}

void TFormMenu::SetMainToolbarEnabled(bool enabled)
{
    // The buttons are their commands' actions: the menu and list entries follow them.
    m_commands->SetFunctionsEnabled(enabled, m_engine->SchedulingStopped());
    // Row selection: locked, a click selects a single cell rather than the whole row; rows
    // stay selectable.
    TntListViewService->setSelectionBehavior(enabled ? QAbstractItemView::SelectRows
                                                     : QAbstractItemView::SelectItems);
}

void TFormMenu::ShowMainStatus(const QString& text)
{
    m_statusText->setText(text);
}

QString TFormMenu::MainStatus() const
{
    return m_statusText->text();
}

void TFormMenu::schedulingChanged(bool on)
{
    m_commands->ShowScheduling(on, ActionMainMenuBar->isEnabled());
}

void TFormMenu::focusWindowChanged(QWindow* window)
{
    if (!window)
        return; // between two windows; what matters is which one comes next
    if (window == windowHandle()) {
        m_mainHadFocus = true;
        return;
    }
    if (!mainwindow::LocksMainWindow(mainwindow::WidgetOfWindow(window)))
        return;
    if (m_mainHadFocus)
        lockForOtherWindow();
    m_mainHadFocus = false;
}

void TFormMenu::LockForDialog()
{
    lockForOtherWindow();
}

void TFormMenu::lockForOtherWindow()
{
    // The Start button tells whether scheduling is stopped only while the buttons are unlocked;
    // a second lock must not take the state of a disabled button.
    if (ActionMainMenuBar->isEnabled())
        m_engine->SetSchedulingStopped(ToolButtonStart->isEnabled());
    SetMainMenusEnabled(false);
    SetMainToolbarEnabled(false);
}

void TFormMenu::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        playAnimation();
}

void TFormMenu::playAnimation()
{
    const QString file = PictureFile(QStringLiteral("tolvern.gif"));
    if (!m_movie) {
        if (!QFileInfo(file).isFile())
            return;
        m_movie = new QMovie(file, QByteArray(), this);
        if (!m_movie->isValid()) {
            delete m_movie;
            m_movie = nullptr;
            return;
        }
        m_animate->setMovie(m_movie);
        // Played once, up to frame 30 at most.
        connect(m_movie, &QMovie::frameChanged, this, [this](int frame) {
            const int last = m_movie->frameCount() - 1;
            if (frame >= 30 || (last > 0 && frame >= last))
                m_movie->setPaused(true);
        });
    }
    m_movie->stop();
    m_movie->start();
}

void TFormMenu::contextMenuEvent(QContextMenuEvent* event)
{
    m_trayMenu->popup(event->globalPos());
    event->accept();
}

// ---- commands --------------------------------------------------------------------------------

void TFormMenu::FillServiceList(const QString& filter)
{
    m_engine->FillServiceList(filter);
}

void TFormMenu::FillHostTree()
{
    m_engine->FillHostTree();
}

void TFormMenu::ActionCloseExecute()
{
    // Ends the event loop directly: the close handler (and its wait) does not run.
    QCoreApplication::exit(0);
}

void TFormMenu::ActionFunctionBarExecute()
{
    const bool show = m_functionBar->isHidden();
    m_functionBar->setVisible(show);
    ActionFunctionBar->setChecked(show);
    AppSettings.ShowFunctionBar = show;
}

void TFormMenu::ToggleAlarmPanel()
{
    if (!GroupBoxAlarmLog->isHidden()) {
        GroupBoxAlarmLog->hide();
        ActionAlarmMessages->setChecked(false);
        AppSettings.ShowWindowAlarmLog = false;
        return;
    }
    GroupBoxAlarmLog->show();
    const int total = m_vertical->height() - m_vertical->handleWidth();
    m_vertical->setSizes({std::max(total - 120, 0), 120});
    ActionAlarmMessages->setChecked(true);
    AppSettings.ShowWindowAlarmLog = true;
}

void TFormMenu::ActionResolutionExecute(int width, int height)
{
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    resize(width, height);
}

void TFormMenu::ActionHelpExecute()
{
    OpenHelpTopic();
}

void TFormMenu::ActionHomePageExecute()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(lang::HomePageUrl)));
}

void TFormMenu::ActionFaqExecute()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(lang::FaqUrl)));
}

void TFormMenu::OpenDialog(DialogKind kind)
{
    m_dialogs->Open(kind);
}

void TFormMenu::ShowLoginDialog()
{
    if (!FormLoginDB)
        FormLoginDB = new TFormLoginDB(this);
    FormLoginDB->show();
    FormLoginDB->raise();
    FormLoginDB->activateWindow();
}

// ---- lists -------------------------------------------------------------------------------------

void TFormMenu::followSelection(QTreeView* view, int row)
{
    m_followingSelection = true;
    QItemSelectionModel* selection = view->selectionModel();
    if (row < 0) {
        selection->clearSelection();
    } else {
        const QModelIndex at = view->model()->index(row, 1);
        selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(at);
    }
    m_followingSelection = false;
}

QString TFormMenu::ServiceToolTipAt(int row, int column) const
{
    const QModelIndex index = TntListViewService->model()->index(row, column);
    return mainwindow::ListToolTipAt(TntListViewService, index, TntListViewService->toolTip());
}

void TFormMenu::serviceHeaderClicked(int column)
{
    m_engine->SortServiceList(column);
    TntListViewService->header()->setSortIndicator(
        column, m_engine->LastSortDescending(column) ? Qt::DescendingOrder : Qt::AscendingOrder);
}
