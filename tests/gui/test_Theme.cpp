// The colours the program draws itself under light, dark and high-contrast palettes, and the
// windows following a change of the palette at run time.

#include "ServiceDialogFixture.h"
#include "gui/Theme.h"
#include "gui/dialogs/chartings.h"
#include "gui/dialogs/setupScheduling.h"
#include "monitor/MonitorEngine.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace {

QPalette lightPalette()
{
    // Fusion's own palette: light grey windows, white lists, black text.
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

QPalette paletteOf(QColor window, QColor windowText, QColor base, QColor text, QColor button,
                   QColor highlight, QColor highlightedText)
{
    QPalette p(button, window);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, windowText);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, windowText);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, windowText);
    p.setColor(QPalette::PlaceholderText, text.darker(140));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, highlightedText);
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    return p;
}

// A dark desktop palette: grey windows, near-black lists, light text, a blue selection under
// white text.
QPalette darkPalette()
{
    return paletteOf(QColor(53, 53, 53), QColor(230, 230, 230), QColor(35, 35, 35), QColor(230, 230, 230),
                     QColor(53, 53, 53), QColor(61, 174, 233), QColor(255, 255, 255));
}

// High contrast: black everywhere, white window text, yellow list text, a cyan selection.
QPalette highContrastPalette()
{
    return paletteOf(Qt::black, Qt::white, Qt::black, QColor(255, 255, 0), Qt::black, QColor(0, 255, 255),
                     Qt::black);
}

// Sets the application's palette for one test and puts the former one back at its end.
class PaletteScope
{
public:
    explicit PaletteScope(const QPalette& palette) : m_saved(QApplication::palette())
    {
        QApplication::setPalette(palette);
    }
    ~PaletteScope() { QApplication::setPalette(m_saved); }

private:
    QPalette m_saved;
};

} // namespace

TEST(ThemeContrast, LuminanceAndRatioFollowTheAccessibilityFormula)
{
    struct Case
    {
        QColor a;
        QColor b;
        double ratio;
    };
    const Case cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::black, 21.0},             // the order does not matter
        {QColor(119, 119, 119), Qt::white, 4.48}, // #777: just below 4.5
        {QColor(118, 118, 118), Qt::white, 4.54}, // #767676: just above
        {Qt::red, Qt::white, 4.00},
        {QColor(128, 128, 128), QColor(128, 128, 128), 1.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(Theme::ContrastRatio(c.a, c.b), c.ratio, 0.01) << c.a.name().toStdString();
    EXPECT_DOUBLE_EQ(Theme::RelativeLuminance(Qt::black), 0.0);
    EXPECT_DOUBLE_EQ(Theme::RelativeLuminance(Qt::white), 1.0);
}

TEST(ThemeContrast, LightPaletteKeepsTheLongStandingColours)
{
    const QPalette light = lightPalette();
    ASSERT_FALSE(Theme::IsDark(light));
    EXPECT_EQ(Theme::OddRow(light), QColor(255, 205, 155));
    EXPECT_EQ(Theme::ContactOddRow(light), QColor(183, 183, 255));
    EXPECT_EQ(Theme::StatusText(light), QColor(255, 0, 0));
    EXPECT_EQ(Theme::SelectedStatusText(light), QColor(255, 0, 0));
    EXPECT_EQ(Theme::ChartBackground(light), QColor(Qt::white));
    EXPECT_EQ(Theme::ChartText(light), QColor(Qt::black));
    EXPECT_FALSE(Theme::ChartAxisText(light).isValid()); // the chart's own axes
    EXPECT_FALSE(Theme::ChartGrid(light).isValid());
    EXPECT_EQ(Theme::ChartBar(light, Theme::Bars::Host), QColor(166, 202, 240));
    EXPECT_EQ(Theme::ChartBar(light, Theme::Bars::Service), QColor(255, 0, 0));
    EXPECT_EQ(Theme::ChartBar(light, Theme::Bars::Date), QColor(255, 0, 255));
}

// Every text the program colours itself, against the background it is drawn on, under each
// palette: at least 4.5:1 on dark and high-contrast palettes. On the light palette the colours
// are the long-standing ones (checked above) and black text on the light rows is well clear;
// the red Status text on white stays at its 4:1.
TEST(ThemeContrast, EveryFixedTextIsReadableOnItsBackground)
{
    struct Pair
    {
        const char* what;
        QColor (*text)(const QPalette&);
        QColor (*background)(const QPalette&);
        double least;
    };
    auto text = [](const QPalette& p) { return p.color(QPalette::Text); };
    auto base = [](const QPalette& p) { return p.color(QPalette::Base); };
    auto highlight = [](const QPalette& p) { return p.color(QPalette::Highlight); };
    auto hostBar = [](const QPalette& p) { return Theme::ChartBar(p, Theme::Bars::Host); };
    auto serviceBar = [](const QPalette& p) { return Theme::ChartBar(p, Theme::Bars::Service); };
    auto dateBar = [](const QPalette& p) { return Theme::ChartBar(p, Theme::Bars::Date); };
    auto helpText = [](const QPalette& p) { return Theme::HelpPage(p).color(QPalette::Text); };
    auto helpLink = [](const QPalette& p) { return Theme::HelpPage(p).color(QPalette::Link); };
    auto helpBase = [](const QPalette& p) { return Theme::HelpPage(p).color(QPalette::Base); };
    // The help page's own body and heading colours.
    auto helpBody = [](const QPalette&) { return QColor(0x22, 0x22, 0x22); };
    auto helpHeading = [](const QPalette&) { return QColor(0x5a, 0x55, 0x57); };
    const Pair pairs[] = {
        {"list text on odd service rows", text, Theme::OddRow, 4.5},
        {"list text on odd contact rows", text, Theme::ContactOddRow, 4.5},
        {"Status text on plain rows", Theme::StatusText, base, 4.5},
        {"Status text on odd rows", Theme::StatusText, Theme::OddRow, 4.5},
        {"Status text on the selection", Theme::SelectedStatusText, highlight, 4.5},
        {"bar values on the chart", Theme::ChartText, Theme::ChartBackground, 4.5},
        {"axis labels on the chart", Theme::ChartAxisText, Theme::ChartBackground, 4.5},
        {"host bars on the chart", hostBar, Theme::ChartBackground, 3.0},
        {"service bars on the chart", serviceBar, Theme::ChartBackground, 3.0},
        {"day bars on the chart", dateBar, Theme::ChartBackground, 3.0},
        {"help viewer text", helpText, helpBase, 4.5},
        {"help viewer links", helpLink, helpBase, 4.5},
        {"help page body text", helpBody, helpBase, 4.5},
        {"help page headings", helpHeading, helpBase, 4.5},
    };
    struct Named
    {
        const char* name;
        QPalette palette;
    };
    const Named palettes[] = {
        {"dark", darkPalette()},
        {"high contrast", highContrastPalette()},
        // Dark but with dim grey text and a pale selection: the shades must still keep apart.
        {"dim dark",
         paletteOf(QColor(20, 20, 30), QColor(170, 170, 170), QColor(10, 10, 20), QColor(160, 160, 160),
                   QColor(30, 30, 40), QColor(200, 200, 230), QColor(220, 220, 255))},
    };
    for (const Named& n : palettes) {
        ASSERT_TRUE(Theme::IsDark(n.palette)) << n.name;
        for (const Pair& pair : pairs) {
            const QColor fore = pair.text(n.palette);
            const QColor back = pair.background(n.palette);
            ASSERT_TRUE(fore.isValid()) << n.name << ": " << pair.what;
            EXPECT_GE(Theme::ContrastRatio(fore, back), pair.least)
                << n.name << ": " << pair.what << " " << fore.name().toStdString() << " on "
                << back.name().toStdString();
        }
        // Each shade keeps its meaning: amber rows, blue contact rows, red Status text.
        const QColor odd = Theme::OddRow(n.palette);
        EXPECT_GT(odd.red(), odd.blue()) << n.name;
        const QColor contact = Theme::ContactOddRow(n.palette);
        EXPECT_GT(contact.blue(), contact.red()) << n.name;
        const QColor status = Theme::StatusText(n.palette);
        EXPECT_GT(status.red(), status.green() + 40) << n.name;
        // The odd rows stand out from the plain ones.
        EXPECT_NE(odd, n.palette.color(QPalette::Base)) << n.name;
    }
    // Light palettes: black list text on the light odd rows.
    const QPalette light = lightPalette();
    EXPECT_GE(Theme::ContrastRatio(text(light), Theme::OddRow(light)), 4.5);
    EXPECT_GE(Theme::ContrastRatio(text(light), Theme::ContactOddRow(light)), 4.5);
    EXPECT_GE(Theme::ContrastRatio(Theme::ChartText(light), Theme::ChartBackground(light)), 4.5);
    EXPECT_EQ(Theme::HelpPage(light), light); // the viewer keeps the desktop's palette
}

namespace {

// The mean colour of a picture's opaque pixels.
QColor meanOpaqueColour(const QIcon& icon)
{
    const QImage image = icon.pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 200)
                continue;
            r += pixel.red();
            g += pixel.green();
            b += pixel.blue();
            ++n;
        }
    }
    return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
}

} // namespace

// The style's Start and Stop pictures are dark: on a dark window they are turned light, on a
// light one they stay as they are.
TEST(ThemeContrast, DarkToolBarPicturesAreTurnedLightOnDarkPalettes)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = lightPalette();
    for (QStyle::StandardPixmap which : {QStyle::SP_MediaStop, QStyle::SP_MediaPlay}) {
        const QIcon icon = fusion->standardIcon(which);
        const QColor original = meanOpaqueColour(icon);
        ASSERT_TRUE(original.isValid());
        EXPECT_EQ(Theme::ReadableIcon(icon, light).pixmap(24, 24).toImage(), icon.pixmap(24, 24).toImage());
        for (const QPalette& dark : {darkPalette(), highContrastPalette()}) {
            const QColor window = dark.color(QPalette::Window);
            ASSERT_LT(Theme::ContrastRatio(original, window), 3.0) << "the fixture's picture is not dark";
            const QColor turned = meanOpaqueColour(Theme::ReadableIcon(icon, dark));
            EXPECT_GE(Theme::ContrastRatio(turned, window), 3.0)
                << int(which) << " " << turned.name().toStdString() << " on " << window.name().toStdString();
        }
    }
}

// ---- windows under a dark palette -----------------------------------------------------------

namespace {

class DarkWindows : public ServiceDialogFixture
{
protected:
    static QString screenshotFolder()
    {
        const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
        if (!folder.isEmpty())
            QDir().mkpath(folder);
        return folder;
    }
    void addHistory()
    {
        m_dm->ExecUpdate(QStringLiteral(
            "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) values "
            "(\"2026-01-15 10:00:00\",\"URL\",\"shop.example.com\",80,\"HTTP/1.1 503\",\"Failed\"),"
            "(\"2026-01-15 11:00:00\",\"Ping\",\"gateway.example.com\",0,\"timed out\",\"Failed\"),"
            "(\"2026-01-16 09:00:00\",\"SMTP\",\"mail.example.com\",25,\"refused\",\"Failed\"),"
            "(\"2026-01-16 09:30:00\",\"SMTP\",\"mail.example.com\",25,\"refused\",\"Failed\"),"
            "(\"2026-01-17 08:00:00\",\"URL\",\"shop.example.com\",80,\"HTTP/1.1 500\",\"Failed\")"));
    }
    TFormChartings* openCharts()
    {
        window->OpenDialog(DialogKind::Chart);
        TFormChartings* form = FormChartings();
        EXPECT_NE(form, nullptr);
        if (form) {
            EXPECT_TRUE(waitFor([form] { return !form->IsLoading(); }));
        }
        return form;
    }
    static QBarSet* barsOf(TFormChartings* form, HistoryChart chart)
    {
        for (QAbstractSeries* s : form->ChartView(chart)->chart()->series()) {
            if (auto* series = qobject_cast<QBarSeries*>(s); series && !series->barSets().isEmpty())
                return series->barSets().first();
        }
        return nullptr;
    }
};

} // namespace

TEST_F(DarkWindows, ListsAndChartsFollowThePaletteBothWays)
{
    const QPalette light = lightPalette();
    const QPalette dark = darkPalette();
    PaletteScope scope(light);
    addHistory();
    openWindow();
    startCycle();
    showWindow();
    TFormChartings* form = openCharts();
    ASSERT_NE(form, nullptr);
    form->PageControl->setCurrentIndex(2); // the services chart
    QTest::qWait(50);

    struct Look
    {
        const char* name;
        QPalette palette;
    };
    for (const Look& look : {Look{"dark", dark}, Look{"light again", light}}) {
        QApplication::setPalette(look.palette);
        QTest::qWait(50);
        SCOPED_TRACE(look.name);
        EXPECT_EQ(window->TntListViewService->palette().color(QPalette::AlternateBase),
                  Theme::OddRow(look.palette));
        EXPECT_EQ(window->alarmList()->palette().color(QPalette::AlternateBase), Theme::OddRow(look.palette));
        EXPECT_EQ(form->ListViewHistory->palette().color(QPalette::AlternateBase),
                  Theme::OddRow(look.palette));
        // The list's own text and base still come from the palette.
        EXPECT_EQ(window->TntListViewService->palette().color(QPalette::Base),
                  look.palette.color(QPalette::Base));

        QChart* chart = form->ChartView(HistoryChart::Service)->chart();
        EXPECT_EQ(chart->backgroundBrush().color(), Theme::ChartBackground(look.palette));
        EXPECT_EQ(chart->plotAreaBackgroundBrush().color(), Theme::ChartBackground(look.palette));
        QBarSet* bars = barsOf(form, HistoryChart::Service);
        ASSERT_NE(bars, nullptr);
        EXPECT_EQ(bars->color(), Theme::ChartBar(look.palette, Theme::Bars::Service));
        EXPECT_EQ(bars->labelColor(), Theme::ChartText(look.palette));
        if (Theme::IsDark(look.palette)) {
            for (QAbstractAxis* axis : chart->axes())
                EXPECT_EQ(axis->labelsColor(), Theme::ChartAxisText(look.palette));
        }
    }
    // A chart drawn while the palette is dark takes the dark shades from the start.
    QApplication::setPalette(dark);
    form->PageControl->setCurrentIndex(3); // the days chart, not drawn before
    QTest::qWait(50);
    QBarSet* days = barsOf(form, HistoryChart::Date);
    ASSERT_NE(days, nullptr);
    EXPECT_EQ(days->color(), Theme::ChartBar(dark, Theme::Bars::Date));
}

// Pictures of the main window, the service wizard and the history window under a dark and a
// high-contrast palette for a look by eye: QUORVEL_SCREENSHOTS names the folder.
TEST_F(DarkWindows, ScreenshotsUnderDarkPalettes)
{
    const QString folder = screenshotFolder();
    if (folder.isEmpty())
        GTEST_SKIP() << "QUORVEL_SCREENSHOTS is not set";
    addHistory();
    Service started;
    started.status = QStringLiteral("Start");
    addService(started);
    Service unreachable;
    unreachable.ip = QStringLiteral("unreachable.invalid");
    unreachable.status = QStringLiteral("Start");
    addService(unreachable);
    Service stopped;
    stopped.ip = QStringLiteral("127.0.0.2");
    addService(stopped);
    PaletteScope scope(darkPalette());
    openWindow();
    startCycle();
    showWindow();
    QTest::qWait(500);
    window->TntListViewService->setCurrentIndex(window->TntListViewService->model()->index(2, 1));
    struct Look
    {
        const char* name;
        QPalette palette;
    };
    for (const Look& look : {Look{"dark", darkPalette()}, Look{"contrast", highContrastPalette()}}) {
        QApplication::setPalette(look.palette);
        QTest::qWait(50);
        const QString prefix = folder + "/" + look.name + "-";
        EXPECT_TRUE(window->grab().save(prefix + "main.png"));

        TFormSetupScheduling* wizard = openWizard();
        ASSERT_NE(wizard, nullptr);
        EXPECT_TRUE(wizard->grab().save(prefix + "wizard.png"));
        wizard->close();

        TFormChartings* form = openCharts();
        ASSERT_NE(form, nullptr);
        const char* pages[] = {"history", "hosts", "services", "days"};
        for (int page = 0; page < 4; ++page) {
            form->PageControl->setCurrentIndex(page);
            QTest::qWait(80);
            EXPECT_TRUE(form->grab().save(prefix + pages[page] + ".png"));
        }
        form->close();
    }
}
