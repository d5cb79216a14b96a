#include "gui/dialogs/CsvExportRun.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "gui/dialogs/TFormDialog.h"

#include "core/comFunc.h"

#include <QFileDialog>
#include <QProgressDialog>

#include <algorithm>

QString AskCsvExportPath(QWidget* parent, const QString& title)
{
    QFileDialog dialog(parent, title, AppSettings.LogDir, QStringLiteral("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

CsvExportRun::CsvExportRun(QWidget* window, CsvExport* job, const QString& text) : QObject(window), m_job(job)
{
    m_job->setParent(this);
    // The window stays usable behind the progress, and its refresh goes on.
    m_progress = new QProgressDialog(text, QStringLiteral("Cancel"), 0, 0, window);
    m_progress->setWindowTitle(QStringLiteral("Export CSV"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setValue(0);
    SetCaptionsAsAccessibleNames(m_progress);
    connect(m_progress, &QProgressDialog::canceled, m_job, &CsvExport::cancel);
    connect(m_job, &CsvExport::progress, this, &CsvExportRun::showProgress);
    connect(m_job, &CsvExport::finished, this, &CsvExportRun::ended);
    m_job->start();
}

CsvExportRun::~CsvExportRun()
{
    delete m_progress;
}

void CsvExportRun::Cancel()
{
    m_job->cancel();
}

void CsvExportRun::showProgress(qint64 written, qint64 total)
{
    if (!m_progress || m_progress->wasCanceled())
        return;
    // The bar counts in thousands once the rows would not fit its range.
    const qint64 unit = total > 1000000000 ? 1000 : 1;
    if (total >= 0 && m_progress->maximum() != int(total / unit))
        m_progress->setMaximum(int(total / unit));
    m_progress->setValue(int(std::min(written, std::max<qint64>(total, 0)) / unit));
}

void CsvExportRun::ended(const CsvExport::Result& result)
{
    if (m_progress)
        m_progress->deleteLater();
    m_progress = nullptr;
    if (result.outcome == CsvExport::Outcome::Failed) {
        WriteSystemLog(result.error, LogLevel::ERROR);
        ShowErrorBox(result.error);
    }
    emit finished(result);
    deleteLater();
}
