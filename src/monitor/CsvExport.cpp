#include "monitor/CsvExport.h"

#include "core/CsvWriter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <exception>

namespace {

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write the file \"%1\": %2").arg(path, reason);
}

} // namespace

CsvExport::CsvExport(const QString& path, const QStringList& header, RowSource source, QObject* parent)
    : QObject(parent), m_path(path), m_header(header), m_source(std::move(source)),
      m_cancelled(std::make_shared<std::atomic<bool>>(false))
{
    qRegisterMetaType<CsvExport::Result>();
}

CsvExport::~CsvExport()
{
    if (m_thread) {
        m_cancelled->store(true);
        m_thread->wait();
        delete m_thread;
    }
}

void CsvExport::setRowCounter(RowCounter counter)
{
    m_counter = std::move(counter);
}

bool CsvExport::isRunning() const
{
    return m_running;
}

void CsvExport::cancel()
{
    m_cancelled->store(true);
}

void CsvExport::start()
{
    if (m_thread)
        return;
    m_running = true;
    // The source and the counter move to the thread, run there and are destroyed there.
    m_thread = QThread::create([this, path = m_path, header = m_header, source = std::move(m_source),
                                counter = std::move(m_counter), cancelled = m_cancelled]() mutable {
        QElapsedTimer sinceReport;
        sinceReport.start();
        bool reported = false;
        const auto report = [&](qint64 written, qint64 total) {
            // Batches may come fast: the owner hears of them at most every 100 ms, and of the
            // total as soon as it is known.
            if (reported && sinceReport.elapsed() < 100)
                return;
            reported = true;
            sinceReport.restart();
            QMetaObject::invokeMethod(
                this, [this, written, total] { emit progress(written, total); }, Qt::QueuedConnection);
        };
        const Result result = Write(path, header, source, counter, *cancelled, report);
        source = nullptr;
        counter = nullptr;
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_running = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    m_thread->setObjectName(QStringLiteral("csv-export"));
    m_thread->start();
}

CsvExport::Result CsvExport::Write(const QString& path, const QStringList& header, const RowSource& source,
                                   const RowCounter& counter, const std::atomic<bool>& cancelled,
                                   const std::function<void(qint64, qint64)>& progress)
{
    Result result;
    // Only a plain file is replaced: a device, a pipe or a folder of that name is never written
    // over (the new file would take the place of the node itself).
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        result.error = failure(path, QStringLiteral("it is not a regular file"));
        return result;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = failure(path, file.errorString());
        return result;
    }
    const auto writeFailed = [&] {
        result.error = failure(path, file.errorString());
        file.cancelWriting();
        return result;
    };
    const auto write = [&](const QByteArray& bytes) { return file.write(bytes) == bytes.size(); };

    if (!write(CsvRecord(header)))
        return writeFailed();

    try {
        const qint64 total = counter ? counter() : -1;
        if (progress)
            progress(0, total);
        QVector<QStringList> rows;
        QByteArray chunk;
        bool more = true;
        while (more) {
            if (cancelled.load()) {
                file.cancelWriting();
                result.outcome = Outcome::Cancelled;
                return result;
            }
            rows.clear();
            more = source(rows);
            chunk.clear();
            for (const QStringList& row : rows)
                chunk += CsvRecord(row);
            if (!write(chunk))
                return writeFailed();
            result.rows += rows.size();
            if (progress)
                progress(result.rows, total);
        }
    } catch (const std::exception& e) {
        // The rows could not be read (a lost connection, a refused login): nothing is written.
        result.error =
            QStringLiteral("Cannot export to the file \"%1\": %2").arg(path, QString::fromUtf8(e.what()));
        file.cancelWriting();
        return result;
    }

    if (cancelled.load()) {
        file.cancelWriting();
        result.outcome = Outcome::Cancelled;
        return result;
    }
    if (!file.commit()) {
        result.error = failure(path, file.errorString());
        return result;
    }
    result.outcome = Outcome::Written;
    return result;
}
