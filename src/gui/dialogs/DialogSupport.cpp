#include "gui/dialogs/DialogSupport.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QWidget>

void PaintOddRows(QAbstractItemView* view, const QColor& colour)
{
    view->setAlternatingRowColors(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::AlternateBase, colour);
    view->setPalette(palette);
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
