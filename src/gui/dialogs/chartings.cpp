#include "gui/dialogs/chartings.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Theme.h"
#include "gui/dialogs/CsvExportRun.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/HistoryWorker.h"
#include "gui/dialogs/ResponseTimesPage.h"
#include "monitor/TextTableModel.h"

#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

const int kFillSlice = 100; // rows added to the list at once
const int kFillTurnMs = 20; // time the list's filling takes from one turn of the event loop

enum Column
{
    ColumnId, // hidden
    ColumnDateTime,
    ColumnService,
    ColumnIp,
    ColumnPort,
    ColumnMessage,
    ColumnStatus,
    ColumnCount
};

int chartIndex(HistoryChart chart)
{
    return chart == HistoryChart::Host ? 0 : (chart == HistoryChart::Service ? 1 : 2);
}

QString portText(const QString& port)
{
    const QString p = port.trimmed();
    return p.isEmpty() || p == QLatin1String("0") ? QStringLiteral("---") : p;
}

QString withDetail(const char* entry, const QString& detail)
{
    return QString::fromLatin1(entry) + QStringLiteral(" : ") + detail;
}

// The value axis: from 0 to a round number with room above the highest bar for its value, in
// steps of 1, 2 or 5 times a power of ten (whole numbers at least).
struct ValueScale
{
    qreal top = 1;
    int ticks = 2;
};

ValueScale valueScale(qint64 highest)
{
    if (highest <= 0)
        return {};
    const qreal raw = qreal(highest) * 1.15 / 5;
    const qreal power = std::pow(10.0, std::floor(std::log10(raw)));
    qreal step = 10 * power;
    for (const qreal f : {1.0, 2.0, 5.0}) {
        if (f * power >= raw) {
            step = f * power;
            break;
        }
    }
    step = std::max<qreal>(1, step);
    const int steps = int(std::ceil(qreal(highest) * 1.15 / step));
    return {steps * step, steps + 1};
}

} // namespace

TFormChartings::TFormChartings(QWidget* parent) : TFormDialog(parent), m_sortDescending(ColumnCount, false)
{
    const QString id = QString::number(quintptr(this), 16);
    m_pageWorker = std::make_unique<HistoryWorker>(QStringLiteral("chartings-pages-") + id);
    m_chartWorker = std::make_unique<HistoryWorker>(QStringLiteral("chartings-charts-") + id);
    buildWindow();
}

TFormChartings::~TFormChartings()
{
    // The threads end before anything they report to goes away.
    delete m_csvRun;
    m_pageWorker.reset();
    m_chartWorker.reset();
}

void TFormChartings::buildWindow()
{
    setWindowTitle(QStringLiteral("Alarm Log History & Charts"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    resize(692, 496);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PageControl = new QTabWidget(this);
    PageControl->setAccessibleName(QStringLiteral("Pages"));
    layout->addWidget(PageControl, 1);
    PageControl->addTab(buildHistoryList(), QStringLiteral("Alarm Msg History"));
    PageControl->addTab(buildChartPage(HistoryChart::Host, QStringLiteral("Host Chart")),
                        QStringLiteral("Host Chart"));
    PageControl->addTab(buildChartPage(HistoryChart::Service, QStringLiteral("Service Chart")),
                        QStringLiteral("Service Chart"));
    PageControl->addTab(buildChartPage(HistoryChart::Date, QStringLiteral("Date Chart")),
                        QStringLiteral("Date Chart"));
    m_responsePage = new ResponseTimesPage;
    PageControl->addTab(m_responsePage, QStringLiteral("Response Times"));
    connect(PageControl, &QTabWidget::currentChanged, this, &TFormChartings::PageControlChange);

    layout->addWidget(buildButtons());
    layout->addWidget(buildStatusBar());

    TimerRefresh = new QTimer(this);
    TimerRefresh->setInterval(60000);
    connect(TimerRefresh, &QTimer::timeout, this, &TFormChartings::TimerRefreshTimer);

    m_fillTimer = new QTimer(this);
    m_fillTimer->setInterval(0);
    m_fillTimer->setSingleShot(true);
    connect(m_fillTimer, &QTimer::timeout, this, &TFormChartings::fillSlice);

    SetCaptionsAsAccessibleNames(this);

    CentreOnDesktop(this);
}

QTreeView* TFormChartings::buildHistoryList()
{
    m_model = new TextTableModel({QString(), QStringLiteral("Date Time"), QStringLiteral("Service"),
                                  QStringLiteral("IP"), QStringLiteral("Port"), QStringLiteral("Error Msg"),
                                  QStringLiteral("Status")},
                                 this);
    m_model->setNumericColumns({ColumnPort});
    ListViewHistory = new QTreeView;
    ListViewHistory->setModel(m_model);
    ListViewHistory->setAccessibleName(QStringLiteral("Alarm Msg History"));
    ListViewHistory->setRootIsDecorated(false);
    ListViewHistory->setItemsExpandable(false);
    ListViewHistory->setUniformRowHeights(true);
    ListViewHistory->setAllColumnsShowFocus(true);
    ListViewHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PaintOddRows(ListViewHistory, Theme::OddRow);
    QHeaderView* header = ListViewHistory->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    ListViewHistory->setColumnHidden(ColumnId, true);
    const QFontMetrics metrics(ListViewHistory->font());
    const struct
    {
        int column;
        int pixels; // -1: fills
        const char* sample;
    } widths[] = {{ColumnDateTime, 130, "0000-00-00 00:00:00"},
                  {ColumnService, 70, "SMTP"},
                  {ColumnIp, -1, ""},
                  {ColumnPort, 35, "65535"},
                  {ColumnMessage, -1, ""},
                  {ColumnStatus, 100, "Failed"}};
    for (const auto& w : widths) {
        if (w.pixels < 0) {
            header->setSectionResizeMode(w.column, QHeaderView::Stretch);
            continue;
        }
        const QString caption = m_model->headerData(w.column, Qt::Horizontal).toString();
        const int needed = std::max(metrics.horizontalAdvance(caption),
                                    metrics.horizontalAdvance(QString::fromLatin1(w.sample))) +
                           14;
        header->setSectionResizeMode(w.column, QHeaderView::Interactive);
        ListViewHistory->setColumnWidth(w.column, std::max(w.pixels, needed));
    }
    connect(header, &QHeaderView::sectionClicked, this, &TFormChartings::ListViewHistoryColumnClick);
    return ListViewHistory;
}

QWidget* TFormChartings::buildButtons()
{
    auto* buttons = new QWidget(this);
    buttons->setFixedHeight(34);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(4, 4, 4, 4);
    const auto button = [&](const QString& caption, const QString& hint, void (TFormChartings::*handler)()) {
        auto* b = new QPushButton(caption, buttons);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        row->addWidget(b);
        return b;
    };
    ButtonPrevious = button(QStringLiteral("<< Previous"), QStringLiteral("Show previous 1000 records..."),
                            &TFormChartings::ButtonPreviousClick);
    ButtonNext = button(QStringLiteral("Next >>"), QStringLiteral("Show next 1000 records..."),
                        &TFormChartings::ButtonNextClick);
    ButtonExport = button(QStringLiteral("Export Chart"), QStringLiteral("Export the chart to bmp file..."),
                          &TFormChartings::ButtonExportClick);
    ButtonExportCsv =
        button(QStringLiteral("Export CSV"), QStringLiteral("Export the alarm messages to a CSV file..."),
               &TFormChartings::ButtonExportCsvClick);
    ButtonRefresh = button(QStringLiteral("Refresh"), QString(), &TFormChartings::ButtonRefreshClick);
    ButtonCancel = button(QStringLiteral("Cancel"), QStringLiteral("Close the window..."),
                          &TFormChartings::ButtonCancelClick);
    ButtonPrevious->setEnabled(false);
    ButtonExport->setEnabled(false);
    ProgressBar = new QProgressBar(buttons);
    ProgressBar->setRange(0, PageSize);
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();
    row->addWidget(ProgressBar, 1);
    row->addStretch(0);
    return buttons;
}

QStatusBar* TFormChartings::buildStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusText = new QLabel(StatusBar);
    // 300 pixels, or what the longest of its texts needs in the font at hand.
    StatusText->setFixedWidth(std::max(
        300,
        StatusText->fontMetrics().horizontalAdvance(QString::fromLatin1(lang::ChartsRefreshEvery60s)) + 12));
    StatusStatement = new QLabel(StatusBar);
    StatusStatement->setMinimumWidth(100); // 350 pixels where the first field leaves them
    StatusBar->addWidget(StatusText);
    StatusBar->addWidget(StatusStatement, 1);
    return StatusBar;
}

QWidget* TFormChartings::buildChartPage(HistoryChart chart, const QString& caption)
{
    ChartPage& page = m_charts[chartIndex(chart)];
    auto* qchart = new QChart;
    qchart->legend()->hide();
    qchart->setAnimationOptions(QChart::NoAnimation);
    qchart->setBackgroundRoundness(0);
    qchart->setBackgroundBrush(Theme::ChartBackground(palette()));
    qchart->setPlotAreaBackgroundBrush(Theme::ChartBackground(palette()));
    qchart->setPlotAreaBackgroundVisible(true);
    qchart->layout()->setContentsMargins(0, 0, 0, 0);
    auto* holder = new QWidget;
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    page.view = new QChartView(qchart, holder);
    page.view->setRenderHint(QPainter::Antialiasing, true);
    page.view->setBackgroundBrush(Theme::ChartBackground(palette()));
    page.view->setFrameShape(QFrame::NoFrame);
    page.view->setAccessibleName(caption);
    page.view->installEventFilter(this);
    column->addWidget(page.view, 1);
    page.scroll = new QScrollBar(Qt::Horizontal, holder);
    page.scroll->setAccessibleName(caption + QStringLiteral(" bars"));
    page.scroll->hide();
    column->addWidget(page.scroll);
    connect(page.scroll, &QScrollBar::valueChanged, this, [this, chart](int first) {
        ChartPage& p = m_charts[chartIndex(chart)];
        if (first == p.first)
            return;
        p.first = first;
        drawChart(chart);
    });
    return holder;
}

QColor TFormChartings::BarColour(HistoryChart chart) const
{
    switch (chart) {
    case HistoryChart::Host:
        return Theme::ChartBar(palette(), Theme::Bars::Host);
    case HistoryChart::Service:
        return Theme::ChartBar(palette(), Theme::Bars::Service);
    case HistoryChart::Date:
        break;
    }
    return Theme::ChartBar(palette(), Theme::Bars::Date);
}

QChartView* TFormChartings::ChartView(HistoryChart chart) const
{
    return m_charts[chartIndex(chart)].view;
}

QScrollBar* TFormChartings::ChartScroll(HistoryChart chart) const
{
    return m_charts[chartIndex(chart)].scroll;
}

QStringList TFormChartings::ChartLabels(HistoryChart chart) const
{
    QStringList labels;
    for (QAbstractSeries* s : ChartView(chart)->chart()->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(s)) {
            for (QAbstractAxis* axis : bars->attachedAxes()) {
                if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
                    labels += categories->categories();
            }
        }
    }
    return labels;
}

QVector<qint64> TFormChartings::ChartValues(HistoryChart chart) const
{
    QVector<qint64> values;
    for (QAbstractSeries* s : ChartView(chart)->chart()->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(s)) {
            for (QBarSet* set : bars->barSets()) {
                for (int i = 0; i < set->count(); ++i)
                    values.append(qint64(set->at(i)));
            }
        }
    }
    return values;
}

void TFormChartings::drawChart(HistoryChart chart)
{
    ChartPage& page = m_charts[chartIndex(chart)];
    QChart* c = page.view->chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }

    // How many bars the page has room for: side by side with their labels while they fit, else
    // with labels and values turned upright.
    const int n = int(page.bars.size());
    qint64 highest = 0;
    int widest = 0;
    const QFontMetrics metrics(page.view->font());
    for (const ChartBar& bar : page.bars) {
        highest = std::max(highest, bar.total);
        widest = std::max(widest, metrics.horizontalAdvance(bar.label));
    }
    const int valueWidth = metrics.horizontalAdvance(QString::number(highest));
    const int frame = 90; // the value axis and the chart's margins
    const int available = std::max(100, page.view->width() - frame);
    const int uprightSlot = metrics.height() + 10;
    const bool upright = n * (widest + 12) > available;
    const int shown = std::min(n, upright ? std::max(1, available / uprightSlot) : n);
    const int slot = available / std::max(1, shown);
    const bool uprightValues = valueWidth + 6 > slot;
    if (!page.placed && n > 0) {
        // The newest days, the first hosts and kinds.
        page.first = chart == HistoryChart::Date ? n - shown : 0;
        page.placed = true;
    }
    page.first = std::clamp(page.first, 0, n - shown);
    {
        const QSignalBlocker quiet(page.scroll);
        page.scroll->setRange(0, n - shown);
        page.scroll->setPageStep(std::max(1, shown));
        page.scroll->setValue(page.first);
    }
    page.scroll->setVisible(shown < n);

    auto* set = new QBarSet(QString());
    set->setColor(BarColour(chart));
    set->setBorderColor(BarColour(chart));
    set->setLabelColor(Theme::ChartText(palette()));
    QStringList labels;
    for (int i = page.first; i < page.first + shown; ++i) {
        set->append(qreal(page.bars[i].total));
        labels << page.bars[i].label;
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    series->setLabelsPrecision(15);
    series->setLabelsAngle(uprightValues ? -90 : 0);
    c->addSeries(series);

    auto* categories = new QBarCategoryAxis;
    categories->append(labels);
    categories->setGridLineVisible(false);
    categories->setLabelsAngle(upright ? -90 : 0);
    c->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    // One scale for all bars, so that heights compare while scrolling.
    auto* values = new QValueAxis;
    const ValueScale scale = valueScale(highest);
    values->setRange(0, scale.top);
    values->setTickCount(scale.ticks);
    values->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(values, Qt::AlignLeft);
    series->attachAxis(values);
    // On a light palette the axes keep the chart's own colours.
    const QColor axisText = Theme::ChartAxisText(palette());
    if (axisText.isValid()) {
        for (QAbstractAxis* axis :
             {static_cast<QAbstractAxis*>(categories), static_cast<QAbstractAxis*>(values)}) {
            axis->setLabelsColor(axisText);
            axis->setLinePenColor(axisText);
            axis->setGridLineColor(Theme::ChartGrid(palette()));
        }
    }
    page.drawn = true;
}

int TFormChartings::shownChart() const
{
    const int index = PageControl->currentIndex() - 1;
    return index >= 0 && index < 3 ? index : -1;
}

void TFormChartings::showCurrentChart()
{
    const int index = shownChart();
    if (index < 0 || m_charts[index].drawn)
        return;
    drawChart(index == 0 ? HistoryChart::Host : (index == 1 ? HistoryChart::Service : HistoryChart::Date));
}

bool TFormChartings::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        for (ChartPage& page : m_charts) {
            const auto* resize = static_cast<QResizeEvent*>(event);
            if (watched != page.view || resize->size().width() == resize->oldSize().width())
                continue;
            // The room for bars changed: the chart is drawn again once the sizes have settled.
            page.drawn = false;
            if (!m_redrawPending) {
                m_redrawPending = true;
                QTimer::singleShot(0, this, [this] {
                    m_redrawPending = false;
                    showCurrentChart();
                });
            }
        }
    }
    return TFormDialog::eventFilter(watched, event);
}

bool TFormChartings::IsLoading() const
{
    return m_pageBusy || m_chartsBusy || m_pageAgain || m_chartsAgain;
}

void TFormChartings::FormShow()
{
    StatusText->setText(QString::fromLatin1(lang::ChartsRefreshEvery60s));
    SetButtonStates();
    TimerRefresh->start();
}

void TFormChartings::FormClose()
{
    TimerRefresh->stop();
    // The window holds no server connections while it is closed.
    m_pageWorker->Disconnect();
    m_chartWorker->Disconnect();
    m_responsePage->Disconnect();
    // An export is not left running behind a closed window; it leaves no file.
    if (m_csvRun)
        m_csvRun->Cancel();
}

void TFormChartings::changeEvent(QEvent* event)
{
    TFormDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // Colours follow the new palette: backgrounds at once, bars at the next drawing.
        for (ChartPage& page : m_charts) {
            if (!page.view)
                continue;
            const QColor background = Theme::ChartBackground(palette());
            page.view->setBackgroundBrush(background);
            page.view->chart()->setBackgroundBrush(background);
            page.view->chart()->setPlotAreaBackgroundBrush(background);
            page.drawn = false;
        }
        showCurrentChart();
        return;
    }
    // The refresh runs while the window is the active one: it stops when another window becomes
    // active and starts again when this one is activated again. (isActiveWindow() would still
    // hold while the main window, this window's parent, is the active one.)
    if (event->type() != QEvent::ActivationChange)
        return;
    if (QApplication::activeWindow() != this)
        TimerRefresh->stop();
    else if (isVisible() && !TimerRefresh->isActive())
        TimerRefresh->start();
}

void TFormChartings::LoadHistory()
{
    ++m_load;
    readCharts();
    readPage(m_offset);
    m_responsePage->Reload();
}

void TFormChartings::TimerRefreshTimer()
{
    LoadHistory();
    StatusText->setText(QString::fromLatin1(lang::DataRefresh));
}

void TFormChartings::ButtonRefreshClick()
{
    StatusText->setText(QString::fromLatin1(lang::DataRefresh));
    LoadHistory();
}

void TFormChartings::ButtonNextClick()
{
    if (m_pageBusy || !m_more)
        return;
    ++m_load;
    readCharts();
    readPage(m_offset + PageSize);
}

void TFormChartings::ButtonPreviousClick()
{
    if (m_pageBusy || m_offset <= 0)
        return;
    ++m_load;
    readCharts();
    readPage(m_offset - PageSize);
}

void TFormChartings::ButtonCancelClick()
{
    emit statusReported(QString::fromLatin1(lang::ChartsClosed));
    close();
}

void TFormChartings::PageControlChange(int page)
{
    ButtonExport->setEnabled(shownChart() >= 0);
    ButtonExportCsv->setEnabled(page == 0 && !m_csvRun);
    // The response-time page has an export of its own.
    ButtonExportCsv->setVisible(PageControl->widget(page) != m_responsePage);
    if (PageControl->widget(page) == m_responsePage)
        m_responsePage->Activate();
    showCurrentChart();
}

void TFormChartings::ButtonExportClick()
{
    if (shownChart() < 0)
        return;
    QFileDialog dialog(this, QString::fromLatin1(lang::SelectExportPath), AppSettings.LogDir,
                       QStringLiteral("Bitmap files (*.bmp)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportChart(dialog.selectedFiles().first());
}

bool TFormChartings::ExportChart(const QString& path)
{
    const int index = shownChart();
    if (index < 0)
        return false;
    QChartView* view = m_charts[index].view;
    if (!m_charts[index].drawn)
        drawChart(index == 0 ? HistoryChart::Host
                             : (index == 1 ? HistoryChart::Service : HistoryChart::Date));
    const QImage image = view->grab().toImage();
    QFile file(path);
    QString error;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = file.errorString();
    } else {
        QImageWriter writer(&file, "BMP");
        if (!writer.write(image))
            error = writer.errorString();
        else if (!file.flush())
            error = file.errorString();
        file.close();
    }
    if (error.isEmpty())
        return true;
    const QString text = withDetail(lang::ERR00502, error);
    WriteSystemLog(text, LogLevel::ERROR);
    ShowErrorBox(text);
    return false;
}

void TFormChartings::ListViewHistoryColumnClick(int column)
{
    if (column <= ColumnId || column >= ColumnCount)
        return;
    const bool descending = m_sortDescending[column];
    m_model->sortByColumn(column, descending);
    ListViewHistory->header()->setSortIndicator(column,
                                                descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_sortDescending[column] = !descending;
    m_sortColumn = column;
    m_sortShownDescending = descending;
}

void TFormChartings::SetButtonStates()
{
    ButtonPrevious->setEnabled(!m_pageBusy && m_offset != 0);
    ButtonNext->setEnabled(!m_pageBusy && m_more);
}

AlarmHistoryPageRequest TFormChartings::requestFor(int page) const
{
    AlarmHistoryPageRequest request;
    request.size = PageSize;
    if (page <= 0)
        return request; // the newest entries, under a new anchor
    request.anchorId = m_anchorId;
    if (page == m_offset / PageSize + 1) {
        // The page after the one shown: the entries after its last.
        request.hasAfter = true;
        request.after = m_lastKey;
    } else if (page < m_starts.size()) {
        request.hasAfter = m_starts[page].hasAfter;
        request.after = m_starts[page].after;
    }
    return request;
}

void TFormChartings::readPage(int offset)
{
    if (m_pageBusy) {
        m_pageAgain = true;
        return;
    }
    m_pageBusy = true;
    SetButtonStates();
    ProgressBar->setValue(0);
    ProgressBar->show();
    const AlarmHistoryPageRequest request = requestFor(offset / PageSize);
    const int load = m_load;
    m_pageWorker->Post(
        CurrentDatabaseLogin(),
        [this, offset, request](QSqlDatabase& db) {
            const AlarmHistoryPage page = ReadAlarmHistoryPage(db, request);
            QMetaObject::invokeMethod(
                this, [this, offset, request, page] { pageRead(offset, request, page); },
                Qt::QueuedConnection);
        },
        [this, load](const QString& text) {
            QMetaObject::invokeMethod(
                this,
                [this, load, text] {
                    m_pageBusy = false;
                    ProgressBar->hide();
                    readFailed(load, text);
                    emit historyLoaded();
                    if (m_pageAgain) {
                        m_pageAgain = false;
                        readPage(m_offset);
                    }
                },
                Qt::QueuedConnection);
        });
}

void TFormChartings::pageRead(int offset, const AlarmHistoryPageRequest& request,
                              const AlarmHistoryPage& page)
{
    const int number = offset / PageSize;
    m_offset = offset;
    m_end = offset + PageSize;
    m_anchorId = page.anchorId;
    m_starts.resize(number + 1);
    m_starts[number] = {request.hasAfter, request.after};
    m_more = page.more;
    if (!page.entries.isEmpty())
        m_lastKey = page.entries.last().key();
    else if (request.hasAfter)
        m_lastKey = request.after;

    m_fill.clear();
    m_fill.reserve(page.entries.size());
    for (const AlarmHistoryEntry& e : page.entries) {
        m_fill.append(
            {QString::number(e.id), e.dateTime, e.service, e.ip, portText(e.port), e.msg, e.serviceStatus});
    }
    m_filled = 0;
    m_fillStatement = page.statement;
    // A new reading of the page shown keeps how the list was looked at: its order, the selected
    // entry and the scroll position. Another page starts in the order read, at the top.
    m_keepView = {};
    m_keepView.samePage = number == m_shownPage && m_model->rowCount() > 0;
    m_shownPage = number;
    if (m_keepView.samePage) {
        const QModelIndex current = ListViewHistory->selectionModel()->currentIndex();
        if (current.isValid() &&
            ListViewHistory->selectionModel()->isRowSelected(current.row(), QModelIndex()))
            m_keepView.selectedId = m_model->cell(current.row(), ColumnId);
        m_keepView.vertical = ListViewHistory->verticalScrollBar()->value();
        m_keepView.horizontal = ListViewHistory->horizontalScrollBar()->value();
    } else {
        m_sortColumn = -1;
    }
    m_model->clear();
    ListViewHistory->header()->setSortIndicator(-1, Qt::AscendingOrder);
    fillSlice();
}

void TFormChartings::fillSlice()
{
    // Slices of rows until the turn's time is used up, then the event loop gets its turn.
    QElapsedTimer turn;
    turn.start();
    while (m_filled < m_fill.size() && turn.elapsed() < kFillTurnMs) {
        const int n = std::min(kFillSlice, int(m_fill.size()) - m_filled);
        m_model->appendRows(m_fill.mid(m_filled, n));
        m_filled += n;
        ProgressBar->setValue(m_filled - 1);
    }
    if (m_filled < m_fill.size()) {
        m_fillTimer->start();
        return;
    }
    m_fill.clear();
    restoreView();
    ProgressBar->hide();
    StatusStatement->setText(m_fillStatement);
    StatusStatement->setToolTip(m_fillStatement);
    m_pageBusy = false;
    SetButtonStates();
    emit historyLoaded();
    if (m_pageAgain) {
        m_pageAgain = false;
        readPage(m_offset);
    }
}

void TFormChartings::restoreView()
{
    if (m_sortColumn > ColumnId) {
        m_model->sortByColumn(m_sortColumn, m_sortShownDescending);
        ListViewHistory->header()->setSortIndicator(m_sortColumn, m_sortShownDescending ? Qt::DescendingOrder
                                                                                        : Qt::AscendingOrder);
    }
    if (!m_keepView.samePage)
        return;
    const int row = m_keepView.selectedId.isEmpty() ? -1 : m_model->findRow(m_keepView.selectedId);
    if (row >= 0) {
        ListViewHistory->selectionModel()->setCurrentIndex(m_model->index(row, ColumnDateTime),
                                                           QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    }
    // The scroll range follows the new rows once the view has laid them out.
    ListViewHistory->doItemsLayout();
    ListViewHistory->verticalScrollBar()->setValue(m_keepView.vertical);
    ListViewHistory->horizontalScrollBar()->setValue(m_keepView.horizontal);
}

void TFormChartings::readCharts()
{
    if (m_chartsBusy) {
        m_chartsAgain = true;
        return;
    }
    m_chartsBusy = true;
    const int load = m_load;
    m_chartWorker->Post(
        CurrentDatabaseLogin(),
        [this](QSqlDatabase& db) {
            const QVector<ChartBar> hosts = ReadHistoryChart(db, HistoryChart::Host);
            const QVector<ChartBar> services = ReadHistoryChart(db, HistoryChart::Service);
            const QVector<ChartBar> days = ReadHistoryChart(db, HistoryChart::Date);
            QMetaObject::invokeMethod(
                this, [this, hosts, services, days] { chartsRead(hosts, services, days); },
                Qt::QueuedConnection);
        },
        [this, load](const QString& text) {
            QMetaObject::invokeMethod(
                this,
                [this, load, text] {
                    m_chartsBusy = false;
                    readFailed(load, text);
                    emit chartsLoaded();
                    if (m_chartsAgain) {
                        m_chartsAgain = false;
                        readCharts();
                    }
                },
                Qt::QueuedConnection);
        });
}

void TFormChartings::chartsRead(const QVector<ChartBar>& hosts, const QVector<ChartBar>& services,
                                const QVector<ChartBar>& days)
{
    // Drawing a chart of hundreds of bars takes the event loop tens of milliseconds: a chart is
    // drawn again only when its counts changed, and only once its page is shown.
    const auto take = [this](HistoryChart chart, const QVector<ChartBar>& bars) {
        ChartPage& page = m_charts[chartIndex(chart)];
        const bool same = std::equal(
            bars.begin(), bars.end(), page.bars.begin(), page.bars.end(),
            [](const ChartBar& a, const ChartBar& b) { return a.label == b.label && a.total == b.total; });
        if (!same) {
            page.bars = bars;
            page.drawn = false;
        }
    };
    take(HistoryChart::Host, hosts);
    take(HistoryChart::Service, services);
    take(HistoryChart::Date, days);
    showCurrentChart();
    m_chartsBusy = false;
    emit chartsLoaded();
    if (m_chartsAgain) {
        m_chartsAgain = false;
        readCharts();
    }
}

void TFormChartings::readFailed(int load, const QString& text)
{
    SetButtonStates();
    // A failed read leaves the window as it was; the error is told once per load, and the program
    // goes on.
    if (load == m_failedLoad)
        return;
    m_failedLoad = load;
    const QString message = withDetail(lang::ERR00501, text);
    WriteSystemLog(message, LogLevel::ERROR);
    ShowErrorBox(message);
}
