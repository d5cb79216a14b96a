#pragma once

#include <QColor>
#include <QString>
#include <QTreeWidgetItem>

class QAbstractItemView;
class QLabel;
class QStatusBar;
class QWidget;

// Small pieces the configuration windows share.

// Light blue of the odd rows in the contact and group lists.
inline const QColor kContactOddRowColour(183, 183, 255);

// Paints the rows with an odd index (the second, fourth, ...) in `colour`, the others in the
// normal window colour, whatever order the rows are sorted in.
void PaintOddRows(QAbstractItemView* view, const QColor& colour);

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
