#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// Writes a CSV file (see core/CsvWriter.h) on a thread of its own: a header row, then the rows a
// source hands over batch after batch, so that any number of rows goes through a bounded amount of
// memory. The file appears under its name only when every row is written: the rows go to a file
// beside it, which replaces the named file at the end. A cancel or an error removes that file and
// leaves a file of the name, if there was one, as it was.
//
//     auto* job = new CsvExport(path, {"Time", "Value"}, [cursor](QVector<QStringList>& rows) {
//         return cursor->next(rows); // appends a batch; false once no rows are left
//     });
//     connect(job, &CsvExport::finished, ...);
//     job->start();
//
// The source (and the counter) run on the job's thread and are destroyed there, so a database
// connection they open on first use belongs to that thread from start to end.
class CsvExport : public QObject
{
    Q_OBJECT

public:
    // Appends the next rows (each as many fields as the header, or any number) to `rows`, which
    // comes empty; returns false when there are no more (rows appended with false are written).
    // An exception ends the export as failed with its text.
    using RowSource = std::function<bool(QVector<QStringList>& rows)>;
    // The number of rows to expect, for the progress; below 0 when not known.
    using RowCounter = std::function<qint64()>;

    enum class Outcome
    {
        Written,
        Cancelled,
        Failed
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        qint64 rows = 0; // rows written, the header not counted
        QString error;   // for Failed: what went wrong, with the file's name
    };

    CsvExport(const QString& path, const QStringList& header, RowSource source, QObject* parent = nullptr);
    // Cancels a running export and waits for its thread.
    ~CsvExport() override;

    // Optional, before start(): counted on the job's thread before the first batch is read.
    void setRowCounter(RowCounter counter);

    void start();
    // Asks the job to stop after the batch it is on; `finished` follows with Cancelled unless the
    // file was already in place.
    void cancel();
    bool isRunning() const;
    QString path() const { return m_path; }

    // The export done on the calling thread, for the job's thread and for callers that have one
    // of their own. `progress` (optional) is called after each batch with the rows written so far
    // and the expected total (below 0 when unknown).
    static Result Write(const QString& path, const QStringList& header, const RowSource& source,
                        const RowCounter& counter, const std::atomic<bool>& cancelled,
                        const std::function<void(qint64 written, qint64 total)>& progress = {});

signals:
    // On the owner's thread, at most every 100 ms and once the total is known.
    void progress(qint64 written, qint64 total);
    // Once, on the owner's thread.
    void finished(const CsvExport::Result& result);

private:
    QString m_path;
    QStringList m_header;
    RowSource m_source;
    RowCounter m_counter;
    QThread* m_thread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    bool m_running = false;
};

Q_DECLARE_METATYPE(CsvExport::Result)
