#include "gui/Theme.h"

#include <QImage>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

constexpr double kTextContrast = 4.5;
constexpr double kBarContrast = 3.0;

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor mix(const QColor& from, const QColor& to, double share)
{
    auto part = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(part(from.red(), to.red()), part(from.green(), to.green()), part(from.blue(), to.blue()));
}

// `start`, moved step by step towards `towards` until it stands `ratio`:1 against every one of
// `backgrounds`; `towards` itself when no step does.
QColor readable(const QColor& start, const QColor& towards, std::initializer_list<QColor> backgrounds,
                double ratio)
{
    for (int step = 0; step <= 20; ++step) {
        const QColor candidate = mix(start, towards, step / 20.0);
        const bool enough = std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& b) {
            return Theme::ContrastRatio(candidate, b) >= ratio;
        });
        if (enough)
            return candidate;
    }
    return towards;
}

// Black or white, whichever stands further from `background`.
QColor farthest(const QColor& background)
{
    return Theme::ContrastRatio(Qt::white, background) >= Theme::ContrastRatio(Qt::black, background)
               ? QColor(Qt::white)
               : QColor(Qt::black);
}

} // namespace

namespace Theme {

bool IsDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

double RelativeLuminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.red()) + 0.7152 * channel(rgb.green()) + 0.0722 * channel(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor OddRow(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor(255, 205, 155);
    // A deep amber under the palette's own text.
    const QColor text = palette.color(QPalette::Text);
    return readable(QColor(70, 46, 22), farthest(text), {text}, kTextContrast);
}

QColor ContactOddRow(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor(183, 183, 255);
    const QColor text = palette.color(QPalette::Text);
    return readable(QColor(40, 40, 96), farthest(text), {text}, kTextContrast);
}

QColor StatusText(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor(Qt::red);
    const QColor base = palette.color(QPalette::Base);
    return readable(QColor(255, 120, 120), farthest(base), {base, OddRow(palette)}, kTextContrast);
}

QColor SelectedStatusText(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor(Qt::red);
    // No red reads well on every highlight colour: the selection's own text colour.
    const QColor highlight = palette.color(QPalette::Highlight);
    return readable(palette.color(QPalette::HighlightedText), farthest(highlight), {highlight},
                    kTextContrast);
}

QColor ChartBackground(const QPalette& palette)
{
    return IsDark(palette) ? palette.color(QPalette::Base) : QColor(Qt::white);
}

QColor ChartText(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor(Qt::black);
    const QColor background = ChartBackground(palette);
    return readable(palette.color(QPalette::Text), farthest(background), {background}, kTextContrast);
}

QColor ChartAxisText(const QPalette& palette)
{
    return IsDark(palette) ? ChartText(palette) : QColor();
}

QColor ChartGrid(const QPalette& palette)
{
    if (!IsDark(palette))
        return QColor();
    return mix(ChartBackground(palette), ChartText(palette), 0.3);
}

QColor ChartBar(const QPalette& palette, Bars bars)
{
    QColor light;
    QColor dark;
    switch (bars) {
    case Bars::Host:
        light = dark = QColor(166, 202, 240);
        break;
    case Bars::Service:
        light = QColor(255, 0, 0);
        dark = QColor(255, 96, 96);
        break;
    case Bars::Date:
        light = QColor(255, 0, 255);
        dark = QColor(240, 110, 240);
        break;
    }
    if (!IsDark(palette))
        return light;
    const QColor background = ChartBackground(palette);
    return readable(dark, farthest(background), {background}, kBarContrast);
}

QIcon ReadableIcon(const QIcon& icon, const QPalette& palette)
{
    if (!IsDark(palette) || icon.isNull())
        return icon;
    const QColor window = palette.color(QPalette::Window);
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
    QIcon readable;
    for (const QSize& size : sizes) {
        QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 0 || ContrastRatio(pixel, window) >= kBarContrast)
                    continue;
                // The same hue, its lightness turned over.
                QColor turned =
                    QColor::fromHslF(pixel.hslHueF(), pixel.hslSaturationF(), 1.0 - pixel.lightnessF());
                turned.setAlpha(pixel.alpha());
                image.setPixelColor(x, y, turned);
            }
        }
        readable.addPixmap(QPixmap::fromImage(image));
    }
    return readable;
}

QPalette HelpPage(const QPalette& palette)
{
    if (!IsDark(palette))
        return palette;
    QPalette page = palette;
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, Qt::black);
    page.setColor(QPalette::Link, QColor(0, 0, 238));
    page.setColor(QPalette::LinkVisited, QColor(85, 26, 139));
    return page;
}

} // namespace Theme
