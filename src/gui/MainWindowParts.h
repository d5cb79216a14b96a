#pragma once

#include <QList>
#include <QString>

class QIcon;
class QMenu;
class QModelIndex;
class QTreeView;
class QWidget;
class QWindow;

// The pieces the main window is built from that need nothing of the window itself: its drawn
// pictures, the look and tool tips of its lists and the tray menu.
namespace mainwindow {

// `text` without its "&" markers.
QString PlainText(QString text);
// The program's icon, drawn here so that the program needs no image file for it.
QIcon ProgramIcon();
// The strip with the program's name under the function bar.
QWidget* NewBanner(QWidget* parent);

// Service list: the Status column is drawn in red; the Current Status cell shows its state's
// picture before its text; Response and Uptime 24h sit on the right.
void InstallServiceListDelegate(QTreeView* view);
// Tool tips over a list's rows: a cell's own tool tip (the detail of a failed check), else the
// cell's whole text where the column cuts it, else the list's hint (none for an empty hint).
void InstallListToolTips(QTreeView* view, const QString& hint);
// What such a list shows as tool tip at `index`.
QString ListToolTipAt(const QTreeView* view, const QModelIndex& index, const QString& hint);

// The tray menu, drawn by the window itself: captions 25 pixels from the left, the highlight
// colour on the selected entry, and an orange band with the home-page address at the left.
QMenu* NewTrayMenu(QWidget* parent);

// Windows whose activation locks the main window: not message boxes, menus, tool tips or the
// program's own start-up and closing pictures.
bool LocksMainWindow(QWidget* widget);
// The top-level widget shown in `window`, else nullptr.
QWidget* WidgetOfWindow(QWindow* window);

// A list of rows: whole rows selected one at a time, no editing, odd rows in the row colour,
// clickable headers.
void ConfigureReportView(QTreeView* view);

struct ColumnWidth
{
    int pixels;         // -1: the column fills the rest of the row
    const char* sample; // the widest usual cell, so that a larger font does not cut it
};
// Hides column 0 (the id) and gives the others their widths, at least as wide as their header
// and sample.
void SetColumnWidths(QTreeView* view, const QList<ColumnWidth>& widths);

} // namespace mainwindow
