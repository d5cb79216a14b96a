#pragma once

#include "monitor/CsvExport.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// Asks for the file to export to (a save dialog starting in the log folder, ".csv" added when no
// suffix is given); empty when the user cancels.
QString AskCsvExportPath(QWidget* parent, const QString& title);

// A CSV export as a window runs it: the job on its thread, and a progress dialog over the window
// (shown once the export takes longer than a moment) whose Cancel stops it. When the job ends the
// dialog goes, a failure is logged and shown with its text, `finished` is emitted and the run
// deletes itself (with the job).
class CsvExportRun : public QObject
{
    Q_OBJECT

public:
    // Takes `job` (not started) and starts it; `text` is the dialog's line.
    CsvExportRun(QWidget* window, CsvExport* job, const QString& text);
    ~CsvExportRun() override;

    QProgressDialog* Progress() const { return m_progress; }
    void Cancel();

signals:
    void finished(const CsvExport::Result& result);

private:
    void showProgress(qint64 written, qint64 total);
    void ended(const CsvExport::Result& result);

    CsvExport* m_job = nullptr;
    QPointer<QProgressDialog> m_progress;
};
