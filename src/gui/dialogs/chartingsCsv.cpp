// The history window's export of the alarm message log as CSV.
#include "gui/dialogs/chartings.h"

#include "core/CsvWriter.h"
#include "database/AlarmHistoryReader.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/CsvExportRun.h"
#include "monitor/TextTableModel.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include <memory>

void TFormChartings::ButtonExportCsvClick()
{
    if (m_csvRun)
        return;
    const QString path = AskCsvExportPath(this, QStringLiteral("Export the alarm messages as CSV"));
    if (!path.isEmpty())
        ExportCsv(path);
}

bool TFormChartings::ExportCsv(const QString& path)
{
    if (m_csvRun)
        return false;
    // The cursor opens its connection on the export's thread and is released there: the two
    // functions that share it go to that thread, and no other reference is kept here.
    auto cursor = std::make_shared<AlarmHistoryCursor>(CurrentDatabaseLogin());
    CsvExport::RowCounter counter = [cursor] { return cursor->Count(); };
    CsvExport::RowSource source = [cursor = std::move(cursor)](QVector<QStringList>& rows) {
        QVector<AlarmHistoryEntry> entries;
        const bool more = cursor->Next(entries);
        rows.reserve(entries.size());
        for (const AlarmHistoryEntry& e : entries)
            rows.append({CsvDateTimeText(e.dateTime), e.service, e.ip, e.port, e.msg, e.serviceStatus});
        return more;
    };
    QStringList header;
    for (int column = 1; column < m_model->columnCount(); ++column) // the hidden id left out
        header << m_model->headerData(column, Qt::Horizontal).toString();

    auto* job = new CsvExport(path, header, std::move(source));
    job->setRowCounter(std::move(counter));
    ButtonExportCsv->setEnabled(false);
    m_csvRun = new CsvExportRun(this, job, QStringLiteral("Exporting the alarm messages to %1...").arg(path));
    connect(m_csvRun, &CsvExportRun::finished, this, [this](const CsvExport::Result& result) {
        m_csvRun = nullptr;
        ButtonExportCsv->setEnabled(PageControl->currentIndex() == 0);
        if (result.outcome == CsvExport::Outcome::Written)
            StatusText->setText(QStringLiteral("%1 alarm messages exported.").arg(result.rows));
        else if (result.outcome == CsvExport::Outcome::Cancelled)
            StatusText->setText(QStringLiteral("CSV export cancelled."));
        emit csvExported(result.outcome == CsvExport::Outcome::Written);
    });
    return true;
}

bool TFormChartings::IsExporting() const
{
    return m_csvRun != nullptr;
}

QProgressDialog* TFormChartings::CsvProgress() const
{
    return m_csvRun ? m_csvRun->Progress() : nullptr;
}
