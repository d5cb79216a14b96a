#include "gui/dialogs/ResponseTimesPage.h"

#include "core/Clock.h"
#include "core/CsvWriter.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Theme.h"
#include "gui/dialogs/CsvExportRun.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/HistoryWorker.h"
#include "gui/dialogs/TFormDialog.h"
#include "monitor/TextTableModel.h"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <QComboBox>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

const QColor kLineColour(0, 90, 200);
const QColor kBandColour(120, 170, 235, 110);

struct RangeChoice
{
    const char* caption;
    ResponseRange range;
};
const RangeChoice kRanges[] = {{"24 hours", ResponseRange::Day},
                               {"7 days", ResponseRange::Week},
                               {"30 days", ResponseRange::Month},
                               {"365 days", ResponseRange::Year}};

QString serviceCaption(const ResultServiceChoice& s)
{
    const QString port = s.port.trimmed();
    return port.isEmpty() || port == QLatin1String("0") ? s.kind : s.kind + QStringLiteral(" : ") + port;
}

QString timeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QLabel* captioned(QHBoxLayout* row, const QString& caption, QWidget* input)
{
    auto* label = new QLabel(caption + QLatin1Char(':'));
    label->setBuddy(input);
    row->addWidget(label);
    row->addWidget(input);
    return label;
}

} // namespace

ResponseTimesPage::ResponseTimesPage(QWidget* parent) : QWidget(parent)
{
    m_worker = std::make_unique<HistoryWorker>(QStringLiteral("chartings-response-") +
                                               QString::number(quintptr(this), 16));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(buildChoices());
    layout->addWidget(buildFigures());

    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setBackgroundBrush(Theme::ChartBackground(palette()));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    ChartResponse = new QChartView(chart);
    ChartResponse->setRenderHint(QPainter::Antialiasing, true);
    ChartResponse->setFrameShape(QFrame::NoFrame);
    ChartResponse->setAccessibleName(QStringLiteral("Response Times"));

    m_changes = new TextTableModel(
        {QStringLiteral("Time"), QStringLiteral("Change"), QStringLiteral("Detail")}, this);
    ListChanges = new QTreeView;
    ListChanges->setModel(m_changes);
    ListChanges->setAccessibleName(QStringLiteral("State Changes"));
    ListChanges->setRootIsDecorated(false);
    ListChanges->setUniformRowHeights(true);
    ListChanges->setAllColumnsShowFocus(true);
    ListChanges->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListChanges->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListChanges->setColumnWidth(
        0, ListChanges->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 14);
    ListChanges->setColumnWidth(
        1, ListChanges->fontMetrics().horizontalAdvance(QStringLiteral("Passed -> Failed")) + 14);
    PaintOddRows(ListChanges, Theme::OddRow);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(ChartResponse);
    split->addWidget(ListChanges);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({3000, 1000}); // the chart takes three quarters of the height
    ChartResponse->setMinimumHeight(160);
    ListChanges->setMinimumHeight(60);
    layout->addWidget(split, 1);
    SetCaptionsAsAccessibleNames(this);
}

ResponseTimesPage::~ResponseTimesPage()
{
    delete m_csvRun;
    m_worker.reset(); // the thread ends before the page it reports to
}

QWidget* ResponseTimesPage::buildChoices()
{
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    ComboHost = new QComboBox;
    ComboHost->setMinimumContentsLength(24);
    ComboHost->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboService = new QComboBox;
    ComboService->setMinimumContentsLength(10);
    ComboRange = new QComboBox;
    for (const RangeChoice& r : kRanges)
        ComboRange->addItem(QString::fromLatin1(r.caption), int(r.range));
    captioned(row, QStringLiteral("Host"), ComboHost);
    captioned(row, QStringLiteral("Service"), ComboService);
    captioned(row, QStringLiteral("Range"), ComboRange);
    row->addStretch(1);
    ButtonExportCsv = new QPushButton(QStringLiteral("Export CSV"));
    ButtonExportCsv->setToolTip(QStringLiteral("Export the results of the range to a CSV file..."));
    ButtonExportCsv->setAutoDefault(false);
    ButtonExportCsv->setEnabled(false);
    connect(ButtonExportCsv, &QPushButton::clicked, this, &ResponseTimesPage::ButtonExportCsvClick);
    row->addWidget(ButtonExportCsv);
    connect(ComboHost, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            fillServices();
    });
    connect(ComboService, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            readResults();
    });
    connect(ComboRange, &QComboBox::currentIndexChanged, this, [this] { readResults(); });
    return holder;
}

QWidget* ResponseTimesPage::buildFigures()
{
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    LabelUptime = new QLabel;
    LabelUptime->setAccessibleName(QStringLiteral("Uptime"));
    LabelFailures = new QLabel;
    LabelFailures->setAccessibleName(QStringLiteral("Failures"));
    LabelSource = new QLabel;
    LabelSource->setAccessibleName(QStringLiteral("Source"));
    row->addWidget(LabelUptime);
    row->addSpacing(16);
    row->addWidget(LabelFailures);
    row->addSpacing(16);
    row->addWidget(LabelSource, 1);
    return holder;
}

void ResponseTimesPage::Activate()
{
    if (m_activated)
        return;
    m_activated = true;
    readServices();
}

void ResponseTimesPage::Reload()
{
    if (m_activated)
        readServices();
}

void ResponseTimesPage::Disconnect()
{
    m_worker->Disconnect();
}

int ResponseTimesPage::ServiceId() const
{
    return ComboService->currentIndex() < 0 ? 0 : ComboService->currentData().toInt();
}

ResponseRange ResponseTimesPage::Range() const
{
    return ResponseRange(ComboRange->currentData().toInt());
}

bool ResponseTimesPage::ChooseService(int serviceId)
{
    const auto it = std::find_if(m_services.begin(), m_services.end(),
                                 [serviceId](const ResultServiceChoice& s) { return s.id == serviceId; });
    if (it == m_services.end())
        return false;
    m_filling = true;
    ComboHost->setCurrentIndex(ComboHost->findText(it->host));
    m_filling = false;
    fillServices(serviceId);
    return ServiceId() == serviceId;
}

void ResponseTimesPage::ChooseRange(ResponseRange range)
{
    ComboRange->setCurrentIndex(ComboRange->findData(int(range)));
}

void ResponseTimesPage::readServices()
{
    ++m_busy;
    m_worker->Post(
        CurrentDatabaseLogin(),
        [this](QSqlDatabase& db) {
            const QVector<ResultServiceChoice> services = ReadResultServices(db);
            QMetaObject::invokeMethod(
                this, [this, services] { servicesRead(services); }, Qt::QueuedConnection);
        },
        [this](const QString& text) {
            QMetaObject::invokeMethod(
                this,
                [this, text] {
                    --m_busy;
                    readFailed(text);
                    emit servicesLoaded();
                },
                Qt::QueuedConnection);
        });
}

void ResponseTimesPage::servicesRead(const QVector<ResultServiceChoice>& services)
{
    --m_busy;
    // The service chosen stays chosen (and is read again) while it exists.
    const int chosen = ServiceId();
    m_services = services;
    QString host = ComboHost->currentText();
    for (const ResultServiceChoice& s : m_services) {
        if (s.id == chosen)
            host = s.host;
    }
    fillHosts(host);
    fillServices(chosen);
    emit servicesLoaded();
}

void ResponseTimesPage::fillHosts(const QString& host)
{
    m_filling = true;
    ComboHost->clear();
    QSet<QString> seen;
    for (const ResultServiceChoice& s : m_services) {
        if (!seen.contains(s.host)) {
            seen.insert(s.host);
            ComboHost->addItem(s.host);
        }
    }
    ComboHost->setCurrentIndex(std::max(0, ComboHost->findText(host)));
    m_filling = false;
}

void ResponseTimesPage::fillServices(int serviceId)
{
    m_filling = true;
    ComboService->clear();
    const QString host = ComboHost->currentText();
    for (const ResultServiceChoice& s : m_services) {
        if (s.host == host)
            ComboService->addItem(serviceCaption(s), s.id);
    }
    ComboService->setCurrentIndex(ComboService->count() > 0 ? std::max(0, ComboService->findData(serviceId))
                                                            : -1);
    m_filling = false;
    readResults();
}

void ResponseTimesPage::readResults()
{
    const int serial = ++m_serial;
    const int serviceId = ServiceId();
    if (serviceId == 0) {
        m_shown = {};
        m_shownService = 0;
        showFigures();
        emit resultsLoaded();
        return;
    }
    ResponseTimesRequest request;
    request.serviceId = serviceId;
    request.keepDays = AppSettings.ResultsKeepDays;
    request.to = Now();
    const int days = ResponseRangeDays(Range());
    request.from = ResponseRangeIsDaily(days, request.keepDays)
                       ? QDateTime(request.to.date().addDays(1 - days), QTime(0, 0))
                       : request.to.addDays(-days);
    ++m_busy;
    m_worker->Post(
        CurrentDatabaseLogin(),
        [this, serial, request](QSqlDatabase& db) {
            const ResponseTimes times = ReadResponseTimes(db, request);
            QMetaObject::invokeMethod(
                this, [this, serial, request, times] { resultsRead(serial, request, times); },
                Qt::QueuedConnection);
        },
        [this, serial](const QString& text) {
            QMetaObject::invokeMethod(
                this,
                [this, serial, text] {
                    --m_busy;
                    if (serial == m_serial)
                        readFailed(text);
                    emit resultsLoaded();
                },
                Qt::QueuedConnection);
        });
}

void ResponseTimesPage::resultsRead(int serial, const ResponseTimesRequest& request,
                                    const ResponseTimes& times)
{
    --m_busy;
    if (serial != m_serial)
        return; // the choice changed meanwhile: a newer read is under way
    m_shown = times;
    m_shownService = request.serviceId;
    m_shownRequest = request;
    showFigures();
    emit resultsLoaded();
}

void ResponseTimesPage::readFailed(const QString& text)
{
    const QString message = QString::fromLatin1(lang::ERR00501) + QStringLiteral(" : ") + text;
    WriteSystemLog(message, LogLevel::ERROR);
    ShowErrorBox(message);
}

void ResponseTimesPage::showFigures()
{
    ButtonExportCsv->setEnabled(m_shownService != 0 && !m_csvRun);
    const double uptime = m_shown.UptimePercent();
    LabelUptime->setText(
        QStringLiteral("Uptime: ") +
        (uptime < 0 ? QStringLiteral("---") : QString::number(uptime, 'f', 2) + QStringLiteral(" %")));
    LabelFailures->setText(QStringLiteral("Failures: ") + QString::number(m_shown.Failures()) +
                           QStringLiteral(" of ") + QString::number(m_shown.checks) +
                           QStringLiteral(" checks"));
    LabelSource->setText(m_shown.daily ? QStringLiteral("Daily averages, band from minimum to maximum")
                                       : QStringLiteral("Each check's response time"));
    drawChart();
    fillChanges();
}

void ResponseTimesPage::drawChart()
{
    QChart* c = ChartResponse->chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    auto* line = new QLineSeries;
    line->setPen(QPen(kLineColour, 1.5));
    auto* low = new QLineSeries;
    auto* high = new QLineSeries;
    int highest = 0;
    for (const ResponsePoint& p : m_shown.points) {
        const qreal x = qreal(p.at.toMSecsSinceEpoch());
        line->append(x, p.avgMs);
        low->append(x, p.minMs);
        high->append(x, p.maxMs);
        highest = std::max(highest, m_shown.daily ? p.maxMs : int(std::ceil(p.avgMs)));
    }
    auto* time = new QDateTimeAxis;
    time->setFormat(Range() == ResponseRange::Day ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd"));
    time->setTickCount(7);
    const QDateTime end = Now();
    time->setRange(end.addDays(-ResponseRangeDays(Range())), end);
    auto* ms = new QValueAxis;
    ms->setLabelFormat(QStringLiteral("%.0f"));
    ms->setTitleText(QStringLiteral("ms"));
    ms->setRange(0, std::max(10.0, highest * 1.1));
    ms->applyNiceNumbers();
    c->addAxis(time, Qt::AlignBottom);
    c->addAxis(ms, Qt::AlignLeft);
    if (m_shown.daily) {
        auto* band = new QAreaSeries(high, low);
        high->setParent(band); // the band's lines go with it
        low->setParent(band);
        band->setBrush(kBandColour);
        band->setPen(Qt::NoPen);
        c->addSeries(band);
        band->attachAxis(time);
        band->attachAxis(ms);
    } else {
        delete low;
        delete high;
    }
    c->addSeries(line);
    line->attachAxis(time);
    line->attachAxis(ms);
}

void ResponseTimesPage::fillChanges()
{
    QVector<QStringList> rows;
    rows.reserve(m_shown.changes.size());
    for (const ResponseStateChange& change : m_shown.changes) {
        rows.append({timeText(change.at),
                     change.passed ? QStringLiteral("Failed -> Passed") : QStringLiteral("Passed -> Failed"),
                     change.detail});
    }
    m_changes->clear();
    m_changes->appendRows(rows);
}

void ResponseTimesPage::ButtonExportCsvClick()
{
    if (m_csvRun || m_shownService == 0)
        return;
    const QString path = AskCsvExportPath(this, QStringLiteral("Export the response times as CSV"));
    if (!path.isEmpty())
        ExportCsv(path);
}

namespace {

QString optionalText(const std::optional<int>& v)
{
    return v ? QString::number(*v) : QString();
}

} // namespace

bool ResponseTimesPage::ExportCsv(const QString& path)
{
    if (m_csvRun || m_shownService == 0)
        return false;
    const auto it = std::find_if(m_services.begin(), m_services.end(),
                                 [this](const ResultServiceChoice& s) { return s.id == m_shownService; });
    const QString host = it == m_services.end() ? QString() : it->host;
    const QString kind = it == m_services.end() ? QString() : it->kind;
    // The cursor opens its connection on the export's thread and is released there.
    auto cursor = std::make_shared<ResponseRowCursor>(CurrentDatabaseLogin(), m_shownRequest);
    const bool daily = cursor->Daily();
    CsvExport::RowCounter counter = [cursor] { return cursor->Count(); };
    CsvExport::RowSource source = [cursor = std::move(cursor), host, kind](QVector<QStringList>& rows) {
        if (cursor->Daily()) {
            std::vector<ServiceDayRow> days;
            const bool more = cursor->NextDays(days);
            for (const ServiceDayRow& d : days) {
                rows.append({d.Day.toString(Qt::ISODate), host, kind, QString::number(d.Checks),
                             QString::number(d.Passes), optionalText(d.MinMs),
                             d.AvgMs ? QString::number(*d.AvgMs, 'f', 1) : QString(), optionalText(d.MaxMs),
                             optionalText(d.P95Ms)});
            }
            return more;
        }
        std::vector<CheckResultRow> results;
        const bool more = cursor->NextResults(results);
        for (const CheckResultRow& r : results) {
            rows.append({CsvDateTime(r.CheckedAt), host, kind,
                         r.Passed ? QStringLiteral("Passed") : QStringLiteral("Failed"),
                         QString::number(r.ResponseMs), r.Detail});
        }
        return more;
    };
    const QStringList header =
        daily ? QStringList{"Day",    "Host",   "Service", "Checks", "Passes",
                            "Min ms", "Avg ms", "Max ms",  "P95 ms"}
              : QStringList{"Time", "Host", "Service", "Status", "Response ms", "Detail"};
    auto* job = new CsvExport(path, header, std::move(source));
    job->setRowCounter(std::move(counter));
    ButtonExportCsv->setEnabled(false);
    m_csvRun = new CsvExportRun(this, job, QStringLiteral("Exporting the response times to %1...").arg(path));
    connect(m_csvRun, &CsvExportRun::finished, this, [this](const CsvExport::Result& result) {
        m_csvRun = nullptr;
        ButtonExportCsv->setEnabled(m_shownService != 0);
        emit csvExported(result.outcome == CsvExport::Outcome::Written);
    });
    return true;
}
