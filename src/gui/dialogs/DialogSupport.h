#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <QTreeWidgetItem>

class QAbstractItemView;
class QLabel;
class QStatusBar;
class QWidget;

// Small pieces the configuration windows share.

// Paints the rows with an odd index (the second, fourth, ...) in the colour `colour` gives for
// the view's palette (see gui/Theme.h), the others in the normal window colour, whatever order
// the rows are sorted in. The colour is chosen again whenever the palette changes.
void PaintOddRows(QAbstractItemView* view, QColor (*colour)(const QPalette&));

// Places `window` in the middle of the desktop it is on.
void CentreOnDesktop(QWidget* window);

// A one-panel status bar: the bar and the label that is its panel.
QLabel* AddStatusPanel(QStatusBar* bar);

// A row of a list whose columns sort as numbers where both cells hold integers (ids, counts)
// and as text otherwise.
class NumericSortItem : public QTreeWidgetItem
{
public:
    explicit NumericSortItem(const QStringList& texts) : QTreeWidgetItem(texts) {}
    bool operator<(const QTreeWidgetItem& other) const override;
};
