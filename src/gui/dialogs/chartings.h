#pragma once

#include "database/AlarmHistoryReader.h"
#include "gui/dialogs/TFormDialog.h"

#include <QColor>
#include <QVector>

#include <memory>

class CsvExportRun;
class HistoryWorker;
class QChartView;
class QLabel;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTabWidget;
class QTimer;
class QTreeView;
class ResponseTimesPage;
class TextTableModel;

// The history and charts window: the alarm history newest first, a thousand entries a page, and
// three bar charts counting the entries by host, by service kind and by day. It refreshes itself
// every 60 s while it is the active window and saves a chart as a bitmap file. A last page charts
// one service's response times (ResponseTimesPage).
//
// The reads run on two threads of the window, each with a database connection of its own (the
// data module's connection belongs to the main thread): one reads pages, which take milliseconds
// at any depth, the other the three counts, which scan the whole table. The event loop never waits
// for either; the list is filled from a page in slices while the progress bar moves.
class TFormChartings : public TFormDialog
{
    Q_OBJECT

public:
    explicit TFormChartings(QWidget* parent = nullptr);
    ~TFormChartings() override;

    static constexpr int PageSize = 1000;

    // Reads the three charts and the current page again (the list keeps its rows until the new
    // ones are there).
    void LoadHistory();

    // Handlers.
    void ButtonPreviousClick();
    void ButtonNextClick();
    void ButtonExportClick();
    void ButtonRefreshClick();
    void ButtonCancelClick();
    void TimerRefreshTimer();
    void PageControlChange(int page);
    void ListViewHistoryColumnClick(int column);
    // What "Export Chart" does once a file is chosen: the chart of the current page saved to
    // `path` as a bitmap of the chart as displayed. False (after the error was shown and logged)
    // when it could not be written; also false on the history and response-time pages, which
    // have no bar chart.
    bool ExportChart(const QString& path);
    // "Export CSV": asks for a file, then ExportCsv.
    void ButtonExportCsvClick();
    // Writes the whole alarm history, newest first, to `path` as CSV on a thread of its own, with
    // a progress dialog that can cancel it. False when an export is already running.
    bool ExportCsv(const QString& path);
    bool IsExporting() const;
    // The progress of the running export (nullptr when none runs).
    QProgressDialog* CsvProgress() const;

    // Paging state: the first entry shown (0 on the first page) and offset + page size.
    int Offset() const { return m_offset; }
    int End() const { return m_end; }
    // A page or the charts are being read, or the list is being filled.
    bool IsLoading() const;
    TextTableModel* HistoryModel() const { return m_model; }
    // The bars a chart shows: labels and values in order.
    QStringList ChartLabels(HistoryChart chart) const;
    QVector<qint64> ChartValues(HistoryChart chart) const;
    QChartView* ChartView(HistoryChart chart) const;
    // Moves along the bars when not all of them fit the page.
    QScrollBar* ChartScroll(HistoryChart chart) const;
    // The colour of a chart's bars in the window's palette.
    QColor BarColour(HistoryChart chart) const;
    // The page of one service's response times.
    ResponseTimesPage* ResponsePage() const { return m_responsePage; }

    QTabWidget* PageControl = nullptr;
    QTreeView* ListViewHistory = nullptr;
    QPushButton* ButtonPrevious = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonExport = nullptr;
    QPushButton* ButtonExportCsv = nullptr;
    QPushButton* ButtonRefresh = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusText = nullptr;      // first status field
    QLabel* StatusStatement = nullptr; // second status field
    QTimer* TimerRefresh = nullptr;

signals:
    // A page was read and the list filled (or its read failed).
    void historyLoaded();
    // The three charts were read and drawn (or their read failed).
    void chartsLoaded();
    // A CSV export ended: written, or cancelled or failed (a failure after its error was shown).
    void csvExported(bool written);

protected:
    void FormShow() override;
    void FormClose() override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PageStart
    {
        bool hasAfter = false;
        AlarmHistoryKey after;
    };
    // A chart shows as many bars as its page has room for, with their labels and values; a scroll
    // bar under it moves along the rest. (Drawing hundreds of bars at once, a year of days or
    // every host, would keep the event loop busy for a fifth of a second.)
    struct ChartPage
    {
        QChartView* view = nullptr;
        QScrollBar* scroll = nullptr;
        QVector<ChartBar> bars;
        int first = 0;       // the first bar shown
        bool drawn = false;  // the view shows `bars` from `first` at the page's present size
        bool placed = false; // `first` was set for the bars of a first read
    };

    void buildWindow();
    QTreeView* buildHistoryList();
    QWidget* buildButtons();
    QStatusBar* buildStatusBar();
    // The index of the chart the window shows (0 to 2), -1 on the other pages.
    int shownChart() const;
    QWidget* buildChartPage(HistoryChart chart, const QString& caption);
    AlarmHistoryPageRequest requestFor(int page) const;
    void readPage(int offset);
    void readCharts();
    void pageRead(int offset, const AlarmHistoryPageRequest& request, const AlarmHistoryPage& page);
    void fillSlice();
    void chartsRead(const QVector<ChartBar>& hosts, const QVector<ChartBar>& services,
                    const QVector<ChartBar>& days);
    void readFailed(int load, const QString& text);
    void drawChart(HistoryChart chart);
    // The chart of the page shown, drawn from its latest bars; the others wait until shown.
    void showCurrentChart();
    void SetButtonStates();
    // Puts back the order, selection and scroll position kept when the page shown was read again.
    void restoreView();

    std::unique_ptr<HistoryWorker> m_pageWorker;
    std::unique_ptr<HistoryWorker> m_chartWorker;
    CsvExportRun* m_csvRun = nullptr;
    TextTableModel* m_model = nullptr;
    ChartPage m_charts[3];
    ResponseTimesPage* m_responsePage = nullptr;
    QTimer* m_fillTimer = nullptr;

    int m_offset = 0;
    int m_end = PageSize;
    qint64 m_anchorId = 0;       // the newest id of the first page's read; later pages stay below it
    QVector<PageStart> m_starts; // where each page of the current run begins
    AlarmHistoryKey m_lastKey;   // the last entry of the page shown
    bool m_more = false;         // entries follow the page shown
    bool m_pageBusy = false;     // a page is being read or filled in
    bool m_pageAgain = false;    // read the current page once more when the running read ends
    bool m_chartsBusy = false;
    bool m_chartsAgain = false;
    int m_load = 0; // counts LoadHistory calls; one error box per call
    int m_failedLoad = -1;
    QVector<QStringList> m_fill; // the rows of the page being filled in
    int m_filled = 0;
    QString m_fillStatement;
    QVector<bool> m_sortDescending;
    int m_sortColumn = -1; // the column the list was sorted by last (-1: as read)
    bool m_sortShownDescending = false;
    int m_shownPage = -1; // the page the list shows
    struct KeptView
    {
        bool samePage = false;
        QString selectedId;
        int vertical = 0;
        int horizontal = 0;
    } m_keepView;
    bool m_redrawPending = false;
};
