#pragma once

#include "database/ResultReader.h"

#include <QWidget>

#include <memory>

class CsvExportRun;
class HistoryWorker;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;
class TextTableModel;

// The history window's page of response times: one service (chosen by host, then kind and port)
// over a range ending now, charted from the raw results or, for ranges longer than the results
// are kept, from the daily summaries with their minimum and maximum as a band. Beside the chart:
// the uptime of the range, its failures and the list of its state changes.
//
// The reads run on a thread of the page with a connection of its own. Each choice starts a new
// read; an answer to a choice that is no longer the current one is dropped.
class ResponseTimesPage : public QWidget
{
    Q_OBJECT

public:
    explicit ResponseTimesPage(QWidget* parent = nullptr);
    ~ResponseTimesPage() override;

    // Reads the services on the first call (and the chosen service's results once there).
    void Activate();
    // Reads the services and the shown results again (when the page was activated before).
    void Reload();
    // Closes the page's connection once its reads are done.
    void Disconnect();

    // Chooses a service by id and a range, as the user would with the lists.
    bool ChooseService(int serviceId);
    void ChooseRange(ResponseRange range);

    int ServiceId() const;
    ResponseRange Range() const;
    bool IsLoading() const { return m_busy > 0; }
    // The figures the page shows.
    const ResponseTimes& Shown() const { return m_shown; }
    int ShownServiceId() const { return m_shownService; }

    // "Export CSV": asks for a file, then ExportCsv.
    void ButtonExportCsvClick();
    // Writes the rows behind the figures shown to `path` as CSV on a thread of its own: the raw
    // results of the range oldest first, or its days when the range is read from the summaries.
    // False when an export is running or nothing is shown.
    bool ExportCsv(const QString& path);
    bool IsExporting() const { return m_csvRun != nullptr; }

    QComboBox* ComboHost = nullptr;
    QComboBox* ComboService = nullptr;
    QComboBox* ComboRange = nullptr;
    QLabel* LabelUptime = nullptr;
    QLabel* LabelFailures = nullptr;
    QLabel* LabelSource = nullptr;
    QChartView* ChartResponse = nullptr;
    QTreeView* ListChanges = nullptr;
    QPushButton* ButtonExportCsv = nullptr;

signals:
    // The service list or the shown results were read (or their read failed).
    void servicesLoaded();
    void resultsLoaded();
    // A CSV export ended: written, or cancelled or failed (a failure after its error was shown).
    void csvExported(bool written);

private:
    QWidget* buildChoices();
    QWidget* buildFigures();
    void readServices();
    void servicesRead(const QVector<ResultServiceChoice>& services);
    void fillHosts(const QString& host);
    // Fills the services of the chosen host, chooses `serviceId` (else the first) and reads it.
    void fillServices(int serviceId = 0);
    void readResults();
    void resultsRead(int serial, const ResponseTimesRequest& request, const ResponseTimes& times);
    void readFailed(const QString& text);
    void showFigures();
    void drawChart();
    void fillChanges();

    std::unique_ptr<HistoryWorker> m_worker;
    QVector<ResultServiceChoice> m_services;
    TextTableModel* m_changes = nullptr;
    ResponseTimes m_shown;
    int m_shownService = 0;
    ResponseTimesRequest m_shownRequest; // the read whose figures are shown
    CsvExportRun* m_csvRun = nullptr;
    bool m_activated = false;
    bool m_filling = false; // the lists are being refilled: their changes start no read
    int m_serial = 0;       // counts the result reads asked for; only the latest is shown
    int m_busy = 0;         // reads running
};
