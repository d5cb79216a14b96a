// The history and charts window on a large alarm history: the time to open it (list shown, charts
// drawn) and to change pages, and the longest stall of the event loop meanwhile, against the time
// of the same statements run alone on a connection of their own. The statements of the described
// window (an offset page and a count on the main thread) are timed as well, for comparison.
//
//   bench_charts [rows] [pages]   rows of alarm_msg_history (default 1,000,000), pages walked with
//                                 "Next >>" (default: all of them); needs the test database server
//                                 (QUORVEL_TEST_DB_HOST/PORT) and QT_QPA_PLATFORM=offscreen or a display
//
// The history is made once and kept for later runs while it has the same number of rows: 300
// hosts, the six service kinds, four failures in each burst, a burst every 126 s (about a year).
#include "core/Notifier.h"
#include "core/comFunc.h"
#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/chartings.h"
#include "monitor/TextTableModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

class PrintingNotifier : public Notifier
{
public:
    void show(Kind, const QString& text) override { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
};

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Processor time of the calling thread.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Times every event the event loop hands out (not the ones sent from inside a handler), so that a
// stall can be told by what caused it.
class TimingApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++m_depth;
        QElapsedTimer t;
        t.start();
        const double cpu = threadCpuMs();
        const int type = int(event->type());
        const QString what = QString::fromLatin1(receiver->metaObject()->className());
        const bool result = QApplication::notify(receiver, event);
        const double ms = msSince(t);
        const double cpuMs = threadCpuMs() - cpu;
        if (ms > m_longestMs) {
            m_longestMs = ms;
            m_longestWhat = QStringLiteral("%1 event %2").arg(what).arg(type);
        }
        if (cpuMs > m_longestCpuMs) {
            m_longestCpuMs = cpuMs;
            m_longestCpuWhat = QStringLiteral("%1 event %2").arg(what).arg(type);
        }
        --m_depth;
        return result;
    }
    void resetLongest()
    {
        m_longestMs = m_longestCpuMs = 0;
        m_longestWhat.clear();
        m_longestCpuWhat.clear();
    }
    QString longest() const
    {
        return QStringLiteral("%1 ms (%2), main-thread CPU %3 ms (%4)")
            .arg(m_longestMs, 0, 'f', 1)
            .arg(m_longestWhat)
            .arg(m_longestCpuMs, 0, 'f', 1)
            .arg(m_longestCpuWhat);
    }

private:
    int m_depth = 0;
    double m_longestMs = 0;
    QString m_longestWhat;
    double m_longestCpuMs = 0;
    QString m_longestCpuWhat;
};

// The longest gap between two turns of the event loop, seen by a timer that wants to run every
// millisecond.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = msSince(m_clock);
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return std::max(m_longest, msSince(m_clock) - m_last);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
};

// Runs the event loop until `done` holds; false after `ms`.
bool runUntil(const std::function<bool()>& done, int ms = 120000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

QSqlDatabase benchConnection()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("bench"));
    QString error;
    if (!OpenDatabaseSession(db, CurrentDatabaseLogin(), QStringLiteral("quorvel"), &error)) {
        std::fprintf(stderr, "connect: %s\n", qPrintable(error));
        std::exit(1);
    }
    return db;
}

bool exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n  %s\n", qPrintable(sql.left(200)), qPrintable(q.lastError().text()));
    return false;
}

// Milliseconds to run `sql` and read every row (median of three).
double timeStatement(QSqlDatabase& db, const QString& sql)
{
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            return -1;
        }
        while (q.next())
            q.value(0);
        runs.push_back(msSince(t));
    }
    return median(runs);
}

// A database whose alarm_msg_history holds `rows` rows (made once, kept while the count matches).
bool prepare(qint64 rows)
{
    TDMQuorvel dm;
    if (dm.ConnectDatabase(false)) {
        dm.CreateMissingTables();
        QSqlQuery q(dm.SQLConnection);
        if (q.exec(QStringLiteral("select count(*) from alarm_msg_history")) && q.next() &&
            q.value(0).toLongLong() == rows) {
            std::printf("history of %lld rows kept from an earlier run\n", rows);
            return true;
        }
    } else {
        if (!dm.ConnectDatabase(true))
            return false;
        dm.CreateDatabaseAndTables();
    }
    QSqlDatabase& db = dm.SQLConnection;
    QElapsedTimer t;
    t.start();
    if (!exec(db, QStringLiteral("truncate table alarm_msg_history")) ||
        !exec(db, QStringLiteral("set session max_recursive_iterations = %1").arg(rows + 10)))
        return false;
    const QString host = QStringLiteral("concat('10.0.', (n*7) %% 300 div 256, '.', (n*7) %% 300 %% 256)");
    const QString sql =
        QStringLiteral("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                       "with recursive seq(n) as (select 0 union all select n+1 from seq where n < %1) "
                       "select timestamp('2025-01-01 00:00:00') + interval ((n div 4) * 126) second, "
                       "elt(1 + n %% 6, 'URL','Ping','SMTP','POP3','IMAP','FTP'), %2, "
                       "elt(1 + n %% 6, 80, 0, 25, 110, 143, 21), "
                       "concat('[', %2, '] [', elt(1 + n %% 6, 80, 0, 25, 110, 143, 21), "
                       "'] Connection refused'), 'Failed' from seq")
            .arg(rows - 1)
            .arg(host)
            .replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (!exec(db, sql))
        return false;
    std::printf("history of %lld rows made in %.1f s\n", rows, msSince(t) / 1000);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT") <= 0) {
        std::fprintf(stderr, "QUORVEL_TEST_DB_PORT is not set\n");
        return 2;
    }
    const qint64 rows = argc > 1 ? std::max(1000LL, QByteArray(argv[1]).toLongLong()) : 1000000;
    const int pageCount = int((rows + TFormChartings::PageSize - 1) / TFormChartings::PageSize);
    const int walk = std::min(pageCount - 1, argc > 2 ? QByteArray(argv[2]).toInt() : pageCount - 1);

    PrintingNotifier boxes;
    Notifier::install(&boxes);
    QTemporaryDir tree;
    AppSettings.AppPath = tree.path();
    if (!EnsureLogDir() || !EnsureConfDir())
        return 1;
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_TEST_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT"));
    AppSettings.DBUsername = QStringLiteral("root");
    AppSettings.DBPassword.clear();
    if (!prepare(rows)) {
        std::fprintf(stderr, "cannot prepare the database\n");
        return 1;
    }

    // ---- the statements alone --------------------------------------------------------------
    {
        QSqlDatabase db = benchConnection();
        // Warm the server's caches the same way for both sides.
        timeStatement(db, HistoryChartStatement(HistoryChart::Date));
        double charts = 0;
        std::printf("\nstatements alone (median of 3, ms):\n");
        for (const HistoryChart c : {HistoryChart::Host, HistoryChart::Service, HistoryChart::Date}) {
            const double ms = timeStatement(db, HistoryChartStatement(c));
            charts += ms;
            std::printf("  %-60.60s %8.1f\n", qPrintable(HistoryChartStatement(c)), ms);
        }
        std::printf("  %-60s %8.1f\n", "three charts together", charts);

        const auto keyAt = [&](qint64 offset) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select DATE_FORMAT(alarm_datetime,\"%Y-%m-%d %H:%i:%s\"),id from "
                                  "alarm_msg_history order by alarm_datetime desc,id desc limit %1,1")
                       .arg(offset));
            AlarmHistoryKey key;
            if (q.next())
                key = {q.value(0).toString(), q.value(1).toLongLong()};
            return key;
        };
        std::printf("  page of the window, keyed on the row before it:\n");
        for (const qint64 offset : {qint64(0), rows / 2, rows - 1000}) {
            AlarmHistoryPageRequest request;
            request.anchorId = rows + 1;
            if (offset > 0) {
                request.hasAfter = true;
                request.after = keyAt(offset - 1);
            }
            std::vector<double> runs;
            for (int i = 0; i < 3; ++i) {
                QElapsedTimer t;
                t.start();
                ReadAlarmHistoryPage(db, request);
                runs.push_back(msSince(t));
            }
            std::printf("    at entry %-10lld %44s %8.1f\n", offset, "", median(runs));
        }
        std::printf("  described window, for comparison (offset page, count):\n");
        for (const qint64 offset : {qint64(0), rows / 2, rows - 1000}) {
            const QString sql =
                QStringLiteral("select * from alarm_msg_history order by alarm_datetime desc limit %1,1000")
                    .arg(offset);
            std::printf("    at entry %-10lld %44s %8.1f\n", offset, "", timeStatement(db, sql));
        }
        std::printf(
            "    %-58s %8.1f\n", "select count(*) as totalRecord from alarm_msg_history",
            timeStatement(db, QStringLiteral("select count(*) as totalRecord from alarm_msg_history")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));

    // ---- the window ------------------------------------------------------------------------
    StallProbe probe;
    probe.start();
    runUntil([] { return false; }, 500);
    const double idleStall = probe.stop();
    const long rssBefore = residentKilobytes();

    auto* form = new TFormChartings;
    bool pageShown = false;
    bool chartsDrawn = false;
    QObject::connect(form, &TFormChartings::historyLoaded, [&] { pageShown = true; });
    QObject::connect(form, &TFormChartings::chartsLoaded, [&] { chartsDrawn = true; });

    probe.start();
    app.resetLongest();
    QElapsedTimer open;
    open.start();
    form->show();
    form->LoadHistory();
    double listMs = -1;
    double chartsMs = -1;
    if (!runUntil([&] {
            if (pageShown && listMs < 0)
                listMs = msSince(open);
            if (chartsDrawn && chartsMs < 0)
                chartsMs = msSince(open);
            return listMs >= 0 && chartsMs >= 0 && !form->IsLoading();
        })) {
        std::fprintf(stderr, "the window did not load\n");
        return 1;
    }
    const double openStall = probe.stop();
    const QString openLongest = app.longest();
    const long rssOpen = residentKilobytes();

    // Each chart page shown: its chart is drawn then.
    std::vector<QString> chartLines;
    for (int page = 1; page <= 3; ++page) {
        probe.start();
        app.resetLongest();
        const double cpu = threadCpuMs();
        form->PageControl->setCurrentIndex(page);
        const double switchCpu = threadCpuMs() - cpu;
        runUntil([] { return false; }, 300);
        const double stall = probe.stop();
        chartLines.push_back(
            QStringLiteral("  %1 (%2 bars shown): longest stall %3 ms; main-thread CPU of the "
                           "switch %4 ms; longest event %5")
                .arg(form->PageControl->tabText(page))
                .arg(form->ChartLabels(HistoryChart(page - 1)).size())
                .arg(stall, 0, 'f', 1)
                .arg(switchCpu, 0, 'f', 1)
                .arg(app.longest()));
    }
    form->PageControl->setCurrentIndex(0);
    runUntil([] { return false; }, 300);

    // Page by page with "Next >>", each timed until the list is filled.
    std::vector<double> nextMs;
    probe.start();
    app.resetLongest();
    for (int i = 0; i < walk; ++i) {
        pageShown = false;
        QElapsedTimer t;
        t.start();
        if (!form->ButtonNext->isEnabled()) {
            std::fprintf(stderr, "Next >> disabled on page %d\n", i);
            return 1;
        }
        form->ButtonNext->click();
        if (!runUntil([&] { return pageShown; })) {
            std::fprintf(stderr, "page %d did not load\n", i + 1);
            return 1;
        }
        nextMs.push_back(msSince(t));
    }
    std::vector<double> previousMs;
    for (int i = 0; i < std::min(10, walk); ++i) {
        pageShown = false;
        QElapsedTimer t;
        t.start();
        form->ButtonPrevious->click();
        if (!runUntil([&] { return pageShown; }))
            return 1;
        previousMs.push_back(msSince(t));
    }
    runUntil([&] { return !form->IsLoading(); });
    const double pagingStall = probe.stop();
    const QString pagingLongest = app.longest();
    const long rssPaged = residentKilobytes();
    const int shownRows = form->HistoryModel()->rowCount();
    delete form;

    std::printf("\nwindow on %lld rows (%d pages):\n", rows, pageCount);
    std::printf("  open: list shown after %.1f ms, charts drawn after %.1f ms\n", listMs, chartsMs);
    if (!nextMs.empty()) {
        const std::vector<double> first(nextMs.begin(), nextMs.begin() + std::min<size_t>(10, nextMs.size()));
        const std::vector<double> last(nextMs.end() - std::min<size_t>(10, nextMs.size()), nextMs.end());
        std::printf("  Next >> over %zu pages: median %.1f ms, longest %.1f ms; first 10 median %.1f ms, "
                    "last 10 median %.1f ms\n",
                    nextMs.size(), median(nextMs), *std::max_element(nextMs.begin(), nextMs.end()),
                    median(first), median(last));
        std::printf("  << Previous: median %.1f ms\n", median(previousMs));
    }
    std::printf("  longest event-loop stall: idle %.1f ms, while opening %.1f ms, while paging %.1f ms\n",
                idleStall, openStall, pagingStall);
    std::printf("  longest single event while opening: %s\n", qPrintable(openLongest));
    std::printf("  chart pages shown the first time:\n");
    for (const QString& line : chartLines)
        std::printf("  %s\n", qPrintable(line));
    std::printf("  longest single event while paging: %s\n", qPrintable(pagingLongest));
    std::printf(
        "  resident memory: before %ld KiB, open %ld KiB, after paging %ld KiB (list holds %d rows)\n",
        rssBefore, rssOpen, rssPaged, shownRows);
    return 0;
}
