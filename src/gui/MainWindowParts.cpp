#include "gui/MainWindowParts.h"

#include "core/langLibrary.h"
#include "gui/Splash98.h"
#include "gui/Theme.h"
#include "gui/closing.h"
#include "gui/dialogs/DialogSupport.h"
#include "monitor/MonitorEngine.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>

#include <algorithm>

namespace mainwindow {

namespace {

const QColor kBannerColour(90, 85, 87);
const QColor kTrayBandColour(255, 128, 0);

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
                             PlainText(entry->text()));
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

} // namespace

QString PlainText(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The program's icon, drawn here so that the program needs no image file for it.
QIcon ProgramIcon()
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

QWidget* NewBanner(QWidget* parent)
{
    auto* banner = new QWidget(parent);
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
    return banner;
}

void InstallServiceListDelegate(QTreeView* view)
{
    view->setItemDelegate(new ServiceListDelegate(view));
}

void InstallListToolTips(QTreeView* view, const QString& hint)
{
    new ListToolTips(view, hint);
}

QString ListToolTipAt(const QTreeView* view, const QModelIndex& index, const QString& hint)
{
    return ListToolTips::TipAt(view, index, hint);
}

QMenu* NewTrayMenu(QWidget* parent)
{
    return new TrayMenu(parent);
}

// Windows whose activation does not lock the main window: message boxes, menus and the
// program's own start-up and closing pictures.
bool LocksMainWindow(QWidget* widget)
{
    return widget && !qobject_cast<QMessageBox*>(widget) && !qobject_cast<QMenu*>(widget) &&
           !qobject_cast<TSplash98Form*>(widget) && !qobject_cast<TFormClosing*>(widget) &&
           !widget->windowFlags().testFlag(Qt::ToolTip);
}

QWidget* WidgetOfWindow(QWindow* window)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window)
            return widget;
    }
    return nullptr;
}

void ConfigureReportView(QTreeView* view)
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

void SetColumnWidths(QTreeView* view, const QList<ColumnWidth>& widths)
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

} // namespace mainwindow
