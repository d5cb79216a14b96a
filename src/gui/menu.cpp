#include "gui/menu.h"

#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
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
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMovie>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <functional>

namespace {

TFormMenu* g_formMenu = nullptr;

const QColor kBannerColour(90, 85, 87);
const QColor kTrayBandColour(255, 128, 0);

QString plainText(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The program's icon, drawn here so that the program needs no image file for it.
QIcon programIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(kTrayBandColour);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Q"));
    return QIcon(pixmap);
}

QPixmap bannerPicture()
{
    QPixmap pixmap(260, 38);
    pixmap.fill(kBannerColour);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(12, 0, 120, 38), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quorvel"));
    font.setBold(false);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(kTrayBandColour);
    painter.drawText(QRect(120, 0, 140, 38), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("service monitor"));
    return pixmap;
}

// The small picture beside a Current Status text: a green tick for "Passed", a red cross for
// "Failed", a grey question mark for "Unknown" and a crossed-out bell for a muted service; none
// while a check is under way.
// `icons` keeps the four pictures once drawn.
QIcon statusIcon(const QString& cell, QIcon (&icons)[4])
{
    enum Picture
    {
        Passed,
        Failed,
        Unknown,
        Muted,
        None
    };
    Picture picture = None;
    if (cell.contains(QLatin1String("(muted")))
        picture = Muted;
    else if (cell.startsWith(QLatin1String(lang::ResultPassed)))
        picture = Passed;
    else if (cell.startsWith(QLatin1String(lang::ResultFailed)))
        picture = Failed;
    else if (cell.startsWith(QLatin1String(lang::CheckUnknown)))
        picture = Unknown;
    if (picture == None)
        return QIcon();
    QIcon& icon = icons[picture];
    if (!icon.isNull())
        return icon;
    const int size = 32; // drawn large, shown small
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fills[] = {QColor(0, 150, 0), QColor(210, 0, 0), QColor(128, 128, 128), QColor(90, 90, 150)};
    p.setPen(Qt::NoPen);
    p.setBrush(fills[picture]);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    QPen mark(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(mark);
    p.setBrush(Qt::NoBrush);
    switch (picture) {
    case Passed:
        p.drawPolyline(QPolygonF({QPointF(8, 17), QPointF(14, 23), QPointF(24, 10)}));
        break;
    case Failed:
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        break;
    case Unknown: {
        QFont font = p.font();
        font.setPixelSize(22);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default: {
        // A bell with a stroke through it.
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPainterPath bell;
        bell.moveTo(9, 22);
        bell.lineTo(10, 14);
        bell.cubicTo(10, 8, 22, 8, 22, 14);
        bell.lineTo(23, 22);
        bell.closeSubpath();
        p.drawPath(bell);
        p.drawEllipse(QPointF(16, 24), 2.5, 2.5);
        p.setPen(QPen(fills[Muted], 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(24, 24));
        p.setPen(mark);
        p.drawLine(QPointF(8, 8), QPointF(24, 24));
        break;
    }
    }
    p.end();
    icon = QIcon(pixmap);
    return icon;
}

// Service list: the Status column is drawn in red; the Current Status cell shows its state's
// picture before its text (the text stays the cell's name for assistive technology); Response and
// Uptime 24h sit on the right.
class ServiceListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == MonitorEngine::SvcStatus) {
            option->palette.setColor(QPalette::Text, Theme::StatusText(option->palette));
            option->palette.setColor(QPalette::HighlightedText, Theme::SelectedStatusText(option->palette));
        } else if (index.column() == MonitorEngine::SvcCurrentStatus) {
            const QIcon icon = statusIcon(index.data(Qt::DisplayRole).toString(), m_icons);
            if (!icon.isNull()) {
                option->icon = icon;
                option->features |= QStyleOptionViewItem::HasDecoration;
                const int side = std::max(10, option->fontMetrics.height() - 4);
                option->decorationSize = QSize(side, side);
            }
        }
        // Times and shares are read by their digits: aligned on the right.
        if (index.column() == MonitorEngine::SvcResponse || index.column() == MonitorEngine::SvcUptime)
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }

private:
    mutable QIcon m_icons[4];
};

// Tool tips over a list's rows: a cell's own tool tip (the detail of a failed check), else the
// cell's whole text where the column cuts it, else the list's hint (none for an empty hint).
class ListToolTips : public QObject
{
public:
    ListToolTips(QTreeView* view, const QString& hint) : QObject(view), m_view(view), m_hint(hint)
    {
        view->viewport()->installEventFilter(this);
    }

    // What the list shows as tool tip at `index`.
    static QString TipAt(const QTreeView* view, const QModelIndex& index, const QString& hint)
    {
        if (!index.isValid())
            return hint;
        const QString own = index.data(Qt::ToolTipRole).toString();
        if (!own.isEmpty())
            return own;
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect cell = view->visualRect(index);
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        if (!text.isEmpty() && view->fontMetrics().horizontalAdvance(text) + margin > cell.width())
            return text;
        return hint;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip || watched != m_view->viewport())
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = m_view->indexAt(help->pos());
        const QString tip = TipAt(m_view, index, m_hint);
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, m_view->viewport(),
                               index.isValid() ? m_view->visualRect(index) : QRect());
        }
        return true;
    }

private:
    QTreeView* m_view;
    QString m_hint;
};

// The tray menu, drawn by the window itself: captions 25 pixels from the left, the highlight
// colour on the selected entry, and an orange band with the home-page address at the left.
class TrayMenu : public QMenu
{
public:
    using QMenu::QMenu;

protected:
    QSize sizeHint() const override
    {
        const QSize base = QMenu::sizeHint();
        return {std::max(base.width(), 150), std::max(base.height(), 20)};
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QColor menuColour = palette().color(QPalette::Window);
        painter.fillRect(rect(), menuColour);
        for (QAction* entry : actions()) {
            const QRect r = actionGeometry(entry);
            if (entry->isSeparator()) {
                painter.setPen(palette().color(QPalette::Mid));
                painter.drawLine(25, r.center().y(), r.right() - 4, r.center().y());
                continue;
            }
            const bool selected = entry == activeAction() && entry->isEnabled();
            painter.fillRect(r, selected ? palette().color(QPalette::Highlight) : menuColour);
            painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::WindowText));
            painter.drawText(r.adjusted(25, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                             plainText(entry->text()));
        }
        painter.fillRect(QRect(QPoint(0, 0), QPoint(20, 170)), kTrayBandColour);
        QFont font(QStringLiteral("Tahoma"), 7);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.translate(2, 155);
        painter.rotate(-90);
        painter.drawText(QPointF(0, painter.fontMetrics().ascent()), QString::fromLatin1(lang::HomePageUrl));
    }
};

// Windows whose activation does not lock the main window: message boxes, menus and the
// program's own start-up and closing pictures.
bool locksMainWindow(QWidget* widget)
{
    return widget && !qobject_cast<QMessageBox*>(widget) && !qobject_cast<QMenu*>(widget) &&
           !qobject_cast<TSplash98Form*>(widget) && !qobject_cast<TFormClosing*>(widget) &&
           !widget->windowFlags().testFlag(Qt::ToolTip);
}

QWidget* widgetOfWindow(QWindow* window)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window)
            return widget;
    }
    return nullptr;
}

void configureReportView(QTreeView* view)
{
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PaintOddRows(view, Theme::OddRow);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsClickable(true);
    view->header()->setSectionsMovable(false);
}

struct ColumnWidth
{
    int pixels;         // -1: the column fills the rest of the row
    const char* sample; // the widest usual cell, so that a larger font does not cut it
};

void setColumnWidths(QTreeView* view, const QList<ColumnWidth>& widths)
{
    // Column 0 is the hidden id.
    view->setColumnHidden(0, true);
    const QFontMetrics metrics(view->font());
    for (int column = 1; column < widths.size(); ++column) {
        if (widths[column].pixels < 0) {
            view->header()->setSectionResizeMode(column, QHeaderView::Stretch);
            continue;
        }
        const QString header = view->model()->headerData(column, Qt::Horizontal).toString();
        const int needed = std::max(metrics.horizontalAdvance(header),
                                    metrics.horizontalAdvance(QString::fromLatin1(widths[column].sample))) +
                           14;
        view->header()->setSectionResizeMode(column, QHeaderView::Interactive);
        view->setColumnWidth(column, std::max(widths[column].pixels, needed));
    }
}

} // namespace

TFormMenu* FormMenu()
{
    return g_formMenu;
}

namespace {

std::function<bool(const QUrl&)> g_helpUrlOpener;
QPointer<QDialog> g_helpViewer;

bool openHelpUrl(const QUrl& url)
{
    return g_helpUrlOpener ? g_helpUrlOpener(url) : QDesktopServices::openUrl(url);
}

// The help file names `topic` as an anchor (an id or a name attribute).
bool helpFileHasTopic(const QString& file, const QString& topic)
{
    QFile help(file);
    if (!help.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(help.readAll());
    const QRegularExpression anchor(QStringLiteral("\\b(id|name)\\s*=\\s*[\"']") +
                                    QRegularExpression::escape(topic) + QStringLiteral("[\"']"));
    return anchor.match(text).hasMatch();
}

// The help file in a window of the program's own, at `topic` (the top when empty).
void showHelpViewer(const QString& file, const QString& topic)
{
    if (!g_helpViewer) {
        auto* viewer = new QDialog(FormMenu());
        viewer->setObjectName(QStringLiteral("FormHelp"));
        viewer->setWindowTitle(QStringLiteral("Quorvel Help"));
        viewer->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        viewer->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        viewer->setAttribute(Qt::WA_DeleteOnClose, true);
        auto* browser = new QTextBrowser(viewer);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setAccessibleName(QStringLiteral("Quorvel Help"));
        browser->setOpenExternalLinks(true);
        browser->setPalette(Theme::HelpPage(browser->palette()));
        auto* close = new QPushButton(QStringLiteral("Close"), viewer);
        close->setAccessibleName(QStringLiteral("Close"));
        close->setAutoDefault(false);
        QObject::connect(close, &QPushButton::clicked, viewer, &QDialog::close);
        auto* layout = new QVBoxLayout(viewer);
        layout->addWidget(browser, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(close);
        layout->addLayout(row);
        viewer->resize(760, 560);
        g_helpViewer = viewer;
    }
    auto* browser = g_helpViewer->findChild<QTextBrowser*>();
    QUrl url = QUrl::fromLocalFile(file);
    browser->setSource(url);
    if (!topic.isEmpty()) {
        g_helpViewer->show(); // laid out, so that the anchor scrolls to its place
        browser->scrollToAnchor(topic);
    }
    g_helpViewer->show();
    g_helpViewer->raise();
    g_helpViewer->activateWindow();
}

} // namespace

void OpenHelpTopic(const QString& topic)
{
    const QString file = ApplicationHelpFile();
    if (file.isEmpty())
        return;
    // A topic the file does not hold opens its contents at the top.
    const QString anchor = !topic.isEmpty() && helpFileHasTopic(file, topic) ? topic : QString();
    QUrl url = QUrl::fromLocalFile(file);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (openHelpUrl(url))
        return;
    if (!anchor.isEmpty() && openHelpUrl(QUrl::fromLocalFile(file)))
        return;
    // No browser to hand the file to: the program shows it itself.
    showHelpViewer(file, anchor);
}

void SetHelpUrlOpener(std::function<bool(const QUrl&)> opener)
{
    g_helpUrlOpener = std::move(opener);
}

QDialog* HelpViewer()
{
    return g_helpViewer.data();
}

TFormMenu::TFormMenu(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_engine(std::make_unique<MonitorEngine>())
{
    g_formMenu = this;
    setObjectName(QStringLiteral("FormMenu"));
    setWindowTitle(QStringLiteral("Quorvel v1.5.0"));
    setWindowIcon(programIcon());
    resize(963, 654);

    buildMenus();
    buildFunctionBar();
    buildLists();
    buildTray();
    wireEngine();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_functionBar);

    auto* banner = new QWidget(central);
    banner->setObjectName(QStringLiteral("PanelBanner"));
    banner->setFixedHeight(38);
    banner->setAutoFillBackground(true);
    QPalette bannerPalette = banner->palette();
    bannerPalette.setColor(QPalette::Window, kBannerColour);
    banner->setPalette(bannerPalette);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->setContentsMargins(0, 0, 0, 0);
    auto* bannerImage = new QLabel(banner);
    bannerImage->setPixmap(bannerPicture());
    bannerLayout->addWidget(bannerImage);
    bannerLayout->addStretch(1);
    layout->addWidget(banner);

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

void TFormMenu::buildMenus()
{
    ActionMainMenuBar = new QMenuBar(this);
    ActionMainMenuBar->setObjectName(QStringLiteral("ActionMainMenuBar"));
    setMenuBar(ActionMainMenuBar);

    auto add = [this](QMenu* menu, const char* text, const QKeySequence& shortcut = QKeySequence()) {
        QAction* entry = menu->addAction(QString::fromLatin1(text));
        if (!shortcut.isEmpty())
            entry->setShortcut(shortcut);
        m_actions.insert(plainText(entry->text()), entry);
        return entry;
    };

    QMenu* quorvel = ActionMainMenuBar->addMenu(QStringLiteral("&Quorvel"));
    QAction* scheduling = add(quorvel, "&Scheduling");
    quorvel->addSeparator();
    ActionStart = add(quorvel, "S&tart", QKeySequence(QStringLiteral("Ctrl+Alt+S")));
    ActionStop = add(quorvel, "St&op", QKeySequence(QStringLiteral("Ctrl+Alt+T")));
    ActionStart->setCheckable(true);
    ActionStop->setCheckable(true);
    ActionStop->setChecked(true);
    quorvel->addSeparator();
    QAction* close = add(quorvel, "&Close", QKeySequence(QStringLiteral("Ctrl+Alt+Q")));

    QMenu* edit = ActionMainMenuBar->addMenu(QStringLiteral("&Edit"));
    QAction* clear = add(edit, "&Clear Alarm Messages", QKeySequence(QStringLiteral("Ctrl+Alt+C")));

    QMenu* view = ActionMainMenuBar->addMenu(QStringLiteral("&View"));
    QAction* chart = add(view, "&Chart");
    view->addSeparator();
    ActionFunctionBar = add(view, "&Function Bar", QKeySequence(Qt::Key_F7));
    ActionFunctionBar->setCheckable(true);
    ActionFunctionBar->setChecked(true);
    ActionAlarmMessages = add(view, "&Alarm Messages", QKeySequence(Qt::Key_F8));
    ActionAlarmMessages->setCheckable(true);
    ActionAlarmMessages->setChecked(true);
    view->addSeparator();
    QMenu* resolution = view->addMenu(QStringLiteral("&Resolution"));
    QAction* small = add(resolution, "&800X600");
    QAction* large = add(resolution, "&1024X768");

    QMenu* alarms = ActionMainMenuBar->addMenu(QStringLiteral("&Alarms"));
    QAction* alarmOptions = add(alarms, "&Alarm Options");
    QAction* contactOptions = add(alarms, "&Contact Options");
    QAction* groupOptions = add(alarms, "C&ontact Group Options");

    QMenu* optionsMenu = ActionMainMenuBar->addMenu(QStringLiteral("&Options"));
    QAction* general = add(optionsMenu, "&General");
    QMenu* service = optionsMenu->addMenu(QStringLiteral("&Service"));
    QAction* newService = add(service, "&New Service");
    QAction* updateService = add(service, "Update Service");

    QMenu* help = ActionMainMenuBar->addMenu(QStringLiteral("He&lp"));
    QAction* helpContents = add(help, "&Quorvel Help", QKeySequence(Qt::Key_F12));
    help->addSeparator();
    QAction* home = add(help, "&Tolvern Home Page", QKeySequence(Qt::Key_F11));
    QAction* faq = add(help, "&FAQ Page", QKeySequence(Qt::Key_F10));

    connect(ActionStart, &QAction::triggered, this, [this] { m_engine->ActionStartExecute(); });
    connect(ActionStop, &QAction::triggered, this, [this] { m_engine->ActionStopExecute(); });
    connect(close, &QAction::triggered, this, &TFormMenu::ActionCloseExecute);
    connect(clear, &QAction::triggered, this, [this] { m_engine->ClearAlarmMessages(); });
    connect(ActionFunctionBar, &QAction::triggered, this, &TFormMenu::ActionFunctionBarExecute);
    connect(ActionAlarmMessages, &QAction::triggered, this, &TFormMenu::ToggleAlarmPanel);
    connect(small, &QAction::triggered, this, [this] { ActionResolutionExecute(800, 600); });
    connect(large, &QAction::triggered, this, [this] { ActionResolutionExecute(1024, 768); });
    connect(helpContents, &QAction::triggered, this, &TFormMenu::ActionHelpExecute);
    connect(home, &QAction::triggered, this, &TFormMenu::ActionHomePageExecute);
    connect(faq, &QAction::triggered, this, &TFormMenu::ActionFaqExecute);
    connect(scheduling, &QAction::triggered, this, &TFormMenu::OpenSchedulingWindow);
    connect(chart, &QAction::triggered, this, &TFormMenu::OpenChartWindow);
    connect(alarmOptions, &QAction::triggered, this, &TFormMenu::OpenAlarmOptions);
    connect(contactOptions, &QAction::triggered, this, &TFormMenu::OpenContactOptions);
    connect(groupOptions, &QAction::triggered, this, &TFormMenu::OpenContactGroupOptions);
    connect(general, &QAction::triggered, this, &TFormMenu::OpenGeneralOptions);
    connect(newService, &QAction::triggered, this, &TFormMenu::OpenNewService);
    connect(updateService, &QAction::triggered, this, &TFormMenu::OpenUpdateService);
}

void TFormMenu::buildFunctionBar()
{
    m_functionBar = new QWidget(this);
    m_functionBar->setObjectName(QStringLiteral("PanelFunctionBar"));

    m_functionToolBar = new QToolBar(QStringLiteral("Functions"), m_functionBar);
    m_functionToolBar->setObjectName(QStringLiteral("ToolBarFunction"));
    m_functionToolBar->setMovable(false);
    m_functionToolBar->setFloatable(false);
    m_functionToolBar->setIconSize(QSize(24, 24));

    QStyle* s = style();
    // Buttons of 65 x 45 pixels with a small caption under the image; a font too wide for that
    // widens the button rather than cutting its caption.
    QFont captionFont = m_functionToolBar->font();
    captionFont.setPointSizeF(std::min(captionFont.pointSizeF(), 8.0));
    auto button = [this, captionFont](const char* text, const QIcon& icon) {
        auto* b = new QToolButton(m_functionToolBar);
        b->setText(QString::fromLatin1(text));
        b->setIcon(Theme::ReadableIcon(icon, m_functionToolBar->palette()));
        b->setFont(captionFont);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        const int caption = QFontMetrics(captionFont).horizontalAdvance(plainText(b->text())) + 10;
        b->setFixedSize(std::max(65, caption), 45);
        b->setAutoRaise(true);
        m_functionToolBar->addWidget(b);
        return b;
    };
    ToolButtonScheduling = button("Scheduling", s->standardIcon(QStyle::SP_FileDialogDetailedView));
    m_functionToolBar->addSeparator();
    ToolButtonStart = button("Start", s->standardIcon(QStyle::SP_MediaPlay));
    m_functionToolBar->addSeparator();
    ToolButtonStop = button("Stop", s->standardIcon(QStyle::SP_MediaStop));
    m_functionToolBar->addSeparator();
    ToolButtonClear = button("Clear Alarms", s->standardIcon(QStyle::SP_DialogResetButton));
    m_functionToolBar->addSeparator();
    ToolButtonChart = button("Chart", s->standardIcon(QStyle::SP_FileDialogContentsView));
    m_functionToolBar->addSeparator();
    ToolButtonAlarm = button("Alarm", s->standardIcon(QStyle::SP_MessageBoxWarning));
    m_functionToolBar->addSeparator();
    ToolButtonGeneral = button("General", s->standardIcon(QStyle::SP_ComputerIcon));
    m_functionToolBar->addSeparator();
    ToolButtonService = button("&Service", s->standardIcon(QStyle::SP_FileIcon));
    auto* serviceDrop = new QMenu(ToolButtonService);
    connect(serviceDrop->addAction(QStringLiteral("&New Service")), &QAction::triggered, this,
            &TFormMenu::OpenNewService);
    connect(serviceDrop->addAction(QStringLiteral("Update Service")), &QAction::triggered, this,
            &TFormMenu::OpenUpdateService);
    ToolButtonService->setMenu(serviceDrop);
    ToolButtonService->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButtonService->setFixedSize(ToolButtonService->width() + 12, 45);

    connect(ToolButtonStart, &QToolButton::clicked, this, [this] { m_engine->ActionStartExecute(); });
    connect(ToolButtonStop, &QToolButton::clicked, this, [this] { m_engine->ActionStopExecute(); });
    connect(ToolButtonClear, &QToolButton::clicked, this, [this] { m_engine->ClearAlarmMessages(); });
    connect(ToolButtonScheduling, &QToolButton::clicked, this, &TFormMenu::OpenSchedulingWindow);
    connect(ToolButtonChart, &QToolButton::clicked, this, &TFormMenu::OpenChartWindow);
    connect(ToolButtonAlarm, &QToolButton::clicked, this, &TFormMenu::OpenAlarmOptions);
    connect(ToolButtonGeneral, &QToolButton::clicked, this, &TFormMenu::OpenGeneralOptions);
    connect(ToolButtonService, &QToolButton::clicked, this, &TFormMenu::OpenNewService);

    m_animate = new QLabel(m_functionBar);
    m_animate->setObjectName(QStringLiteral("Animate"));
    m_animate->setFixedWidth(100);
    m_animate->setAlignment(Qt::AlignCenter);

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
        b->setIcon(s->standardIcon(f.icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setEnabled(f.enabled);
        ToolBarSelect->addWidget(b);
        m_filterButtons << b;
        if (f.enabled)
            connect(b, &QToolButton::clicked, this, [this, text] { FillServiceList(text); });
    }

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

void TFormMenu::buildLists()
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
    configureReportView(TntListViewService);
    TntListViewService->setItemDelegate(new ServiceListDelegate(TntListViewService));
    const QString hint = QStringLiteral("Double click on any service for updating...");
    TntListViewService->setToolTip(hint);
    new ListToolTips(TntListViewService, hint);
    setColumnWidths(TntListViewService, {{0, ""},
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
    TntListViewService->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TntListViewService->header(), &QHeaderView::sectionClicked, this,
            &TFormMenu::serviceHeaderClicked);

    m_serviceMenu = new QMenu(this);
    m_serviceMenu->setObjectName(QStringLiteral("PopupMenuService"));
    QAction* runNow = m_serviceMenu->addAction(QStringLiteral("Run Now"));
    m_serviceMenu->addSeparator();
    QAction* start = m_serviceMenu->addAction(QStringLiteral("Start"));
    QAction* stop = m_serviceMenu->addAction(QStringLiteral("Stop"));
    m_serviceMenu->addSeparator();
    QAction* newService = m_serviceMenu->addAction(QStringLiteral("&New Service"));
    QAction* updateService = m_serviceMenu->addAction(QStringLiteral("Update Service"));
    QAction* remove = m_serviceMenu->addAction(QStringLiteral("Delete Service"));
    m_serviceMenu->addSeparator();
    QAction* acknowledge = m_serviceMenu->addAction(QStringLiteral("Acknowledge Alarm"));
    QMenu* mute = m_serviceMenu->addMenu(QStringLiteral("Mute Alarms"));
    mute->setObjectName(QStringLiteral("PopupMenuMute"));
    for (const char* choice : {"1 hour", "4 hours", "Until tomorrow 08:00", "Until I unmute", "Unmute"}) {
        const QString text = QString::fromLatin1(choice);
        connect(mute->addAction(text), &QAction::triggered, this,
                [this, text] { m_engine->MenuServiceMuteClick(MonitorEngine::MuteEnd(text, Now())); });
    }
    connect(acknowledge, &QAction::triggered, this, [this] { m_engine->MenuServiceAcknowledgeClick(); });
    connect(runNow, &QAction::triggered, this, [this] { m_engine->MenuServiceRunNowClick(); });
    connect(start, &QAction::triggered, this, [this] { m_engine->MenuServiceStartClick(); });
    connect(stop, &QAction::triggered, this, [this] { m_engine->MenuServiceStopClick(); });
    connect(remove, &QAction::triggered, this, [this] { m_engine->MenuServiceDeleteClick(); });
    connect(newService, &QAction::triggered, this, &TFormMenu::OpenNewService);
    connect(updateService, &QAction::triggered, this, &TFormMenu::OpenUpdateService);
    connect(TntListViewService, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenUpdateService();
    });
    connect(TntListViewService, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_serviceMenu->popup(TntListViewService->viewport()->mapToGlobal(at));
    });

    GroupBoxAlarmLog = new QGroupBox(QStringLiteral("Alarm Messages - Sending"), this);
    GroupBoxAlarmLog->setObjectName(QStringLiteral("GroupBoxAlarmLog"));
    m_alarmList = new QTreeView(GroupBoxAlarmLog);
    m_alarmList->setObjectName(QStringLiteral("ListViewAlarm"));
    m_alarmList->setModel(m_engine->AlarmMessageList());
    configureReportView(m_alarmList);
    setColumnWidths(
        m_alarmList,
        {{0, ""}, {130, "0000-00-00 00:00:00"}, {-1, ""}, {125, "SMS by HTTP"}, {-1, ""}, {100, "Pending"}});
    m_alarmList->setContextMenuPolicy(Qt::PreventContextMenu);
    new ListToolTips(m_alarmList, QString());
    connect(m_alarmList->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_engine->SortAlarmList(column); });
    auto* alarmLayout = new QVBoxLayout(GroupBoxAlarmLog);
    alarmLayout->setContentsMargins(2, 2, 2, 2);
    alarmLayout->addWidget(m_alarmList);
    GroupBoxAlarmLog->setMinimumHeight(60);

    // The view follows the model's selected row, and reports the user's choice back to it.
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
    m_trayMenu = new TrayMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("PopupMenuTray"));
    QAction* show = m_trayMenu->addAction(QStringLiteral("Show"));
    QAction* hide = m_trayMenu->addAction(QStringLiteral("Hide"));
    m_trayMenu->addSeparator();
    QAction* help = m_trayMenu->addAction(QStringLiteral("Quorvel Help"));
    m_trayMenu->addSeparator();
    QAction* home = m_trayMenu->addAction(QStringLiteral("Tolvern Home Page"));
    QAction* faq = m_trayMenu->addAction(QStringLiteral("FAQ Page"));
    m_trayMenu->addSeparator();
    QAction* close = m_trayMenu->addAction(QStringLiteral("Close"));
    connect(show, &QAction::triggered, this, [this] {
        showNormal();
        activateWindow();
    });
    connect(hide, &QAction::triggered, this, &QWidget::hide);
    connect(help, &QAction::triggered, this, &TFormMenu::ActionHelpExecute);
    connect(home, &QAction::triggered, this, &TFormMenu::ActionHomePageExecute);
    connect(faq, &QAction::triggered, this, &TFormMenu::ActionFaqExecute);
    connect(close, &QAction::triggered, this, &TFormMenu::ActionCloseExecute);

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
    for (QToolButton* b : {ToolButtonScheduling, ToolButtonStart, ToolButtonStop, ToolButtonClear,
                           ToolButtonService, ToolButtonAlarm, ToolButtonChart, ToolButtonGeneral})
        b->setEnabled(enabled);
    if (enabled) {
        ToolButtonStart->setEnabled(m_engine->SchedulingStopped());
        ToolButtonStop->setEnabled(!m_engine->SchedulingStopped());
    }
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
    if (ActionMainMenuBar->isEnabled()) {
        ToolButtonStart->setEnabled(!on);
        ToolButtonStop->setEnabled(on);
    }
    ActionStart->setChecked(on);
    ActionStop->setChecked(!on);
}

void TFormMenu::focusWindowChanged(QWindow* window)
{
    if (!window)
        return; // between two windows; what matters is which one comes next
    if (window == windowHandle()) {
        m_mainHadFocus = true;
        return;
    }
    if (!locksMainWindow(widgetOfWindow(window)))
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
    return ListToolTips::TipAt(TntListViewService, index, TntListViewService->toolTip());
}

void TFormMenu::serviceHeaderClicked(int column)
{
    m_engine->SortServiceList(column);
    TntListViewService->header()->setSortIndicator(
        column, m_engine->LastSortDescending(column) ? Qt::DescendingOrder : Qt::AscendingOrder);
}
