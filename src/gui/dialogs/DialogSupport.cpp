#include "gui/dialogs/DialogSupport.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QWidget>

namespace {

// Sets a view's odd-row colour now and again after each change of its palette or the
// application's.
class OddRowPainter : public QObject
{
public:
    OddRowPainter(QAbstractItemView* view, QColor (*colour)(const QPalette&))
        : QObject(view), m_view(view), m_colour(colour)
    {
        apply();
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_view &&
            (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange))
            apply();
        return false;
    }

private:
    void apply()
    {
        QPalette palette = m_view->palette();
        const QColor wanted = m_colour(palette);
        // Setting the palette sends a change of its own: nothing more once the colour is right.
        if (palette.color(QPalette::AlternateBase) == wanted)
            return;
        palette.setColor(QPalette::AlternateBase, wanted);
        m_view->setPalette(palette);
    }

    QAbstractItemView* m_view;
    QColor (*m_colour)(const QPalette&);
};

} // namespace

void PaintOddRows(QAbstractItemView* view, QColor (*colour)(const QPalette&))
{
    view->setAlternatingRowColors(true);
    new OddRowPainter(view, colour);
}

void CentreOnDesktop(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->availableGeometry();
    const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
    window->move(desktop.x() + (desktop.width() - size.width()) / 2,
                 desktop.y() + (desktop.height() - size.height()) / 2);
}

QLabel* AddStatusPanel(QStatusBar* bar)
{
    auto* panel = new QLabel(bar);
    bar->addWidget(panel, 1);
    bar->setSizeGripEnabled(false);
    return panel;
}

bool NumericSortItem::operator<(const QTreeWidgetItem& other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    bool leftNumber = false;
    bool rightNumber = false;
    const qlonglong left = text(column).toLongLong(&leftNumber);
    const qlonglong right = other.text(column).toLongLong(&rightNumber);
    if (leftNumber && rightNumber)
        return left < right;
    return QTreeWidgetItem::operator<(other);
}
