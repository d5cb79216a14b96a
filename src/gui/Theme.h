#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

// The colours the program draws itself, chosen from the palette in force. On a light palette
// (window colour of lightness 128 or more) they are the program's long-standing colours; on a
// dark one each keeps its meaning in a shade readable there: text at least 4.5:1 against its
// background, bars at least 3:1 against the chart's background. Every window asks here, so a
// change of the palette at run time only needs the colours to be asked for again.
namespace Theme {

// True when the palette's window colour is dark.
bool IsDark(const QPalette& palette);

// Relative luminance (0 black .. 1 white) of an sRGB colour, and the contrast ratio (1..21) of
// two colours, as accessibility guidelines define them.
double RelativeLuminance(const QColor& colour);
double ContrastRatio(const QColor& a, const QColor& b);

// Background of the odd rows of the service lists and the history list.
QColor OddRow(const QPalette& palette);
// Background of the odd rows of the contact and group lists.
QColor ContactOddRow(const QPalette& palette);

// Text of the service list's Status column (red: the service's configured state), on a plain,
// an odd and a selected row.
QColor StatusText(const QPalette& palette);
QColor SelectedStatusText(const QPalette& palette);

// The history window's charts.
enum class Bars
{
    Host,
    Service,
    Date
};
QColor ChartBackground(const QPalette& palette);
// Values over the bars.
QColor ChartText(const QPalette& palette);
// Axis labels and lines and the grid: invalid on a light palette, where the chart keeps its own.
QColor ChartAxisText(const QPalette& palette);
QColor ChartGrid(const QPalette& palette);
QColor ChartBar(const QPalette& palette, Bars bars);

// A tool bar picture readable on the palette's window colour: on a dark palette its dark parts
// (such as the black square of a stop sign) are drawn light; otherwise the picture unchanged.
QIcon ReadableIcon(const QIcon& icon, const QPalette& palette);

// The palette of the help viewer. The help page sets dark text of its own and is written for a
// white page: on a dark palette the viewer keeps a white page with dark text and links.
QPalette HelpPage(const QPalette& palette);

} // namespace Theme
