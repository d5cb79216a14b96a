#include "database/ResultWriter.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

std::atomic<int> g_writerNumber{0};

// Whether `db` still answers.
bool answers(QSqlDatabase& db)
{
    if (!db.isOpen())
        return false;
    QSqlQuery probe(db);
    return probe.exec(QStringLiteral("select 1"));
}

} // namespace

ResultWriter::ResultWriter(int maxQueued, int retryMs, QObject* parent)
    : QObject(parent), m_maxQueued(std::max(1, maxQueued)), m_retryMs(std::max(1, retryMs)),
      m_connectionName(QStringLiteral("ResultWriter%1").arg(++g_writerNumber))
{
}

ResultWriter::~ResultWriter()
{
    if (!m_thread)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread->wait();
}

void ResultWriter::Enqueue(std::vector<CheckResultRow>&& rows, const DatabaseLogin& login)
{
    if (rows.empty())
        return;
    bool full = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_login = login;
        const std::size_t room =
            m_queue.size() < std::size_t(m_maxQueued) ? std::size_t(m_maxQueued) - m_queue.size() : 0;
        const std::size_t taken = std::min(room, rows.size());
        std::move(rows.begin(), rows.begin() + std::ptrdiff_t(taken), std::back_inserter(m_queue));
        if (taken < rows.size() && !m_full) {
            m_full = true;
            full = true;
        }
        if (!m_thread) {
            m_thread.reset(QThread::create([this] { run(); }));
            m_thread->setObjectName(QStringLiteral("result writer"));
            m_thread->start();
        }
    }
    m_wake.notify_one();
    if (full)
        emit queueFull(m_maxQueued);
}

int ResultWriter::Pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_queue.size());
}

bool ResultWriter::WaitStored(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_queue.empty())
        return true;
    if (!m_thread)
        return false;
    // A database that failed before gets one try now rather than at its retry time.
    // Only a failure of a try begun after this call counts: one begun before may have met a
    // database that has come back since.
    const quint64 triesBefore = m_tries;
    m_retryNow = true;
    m_wake.notify_all();
    m_stored.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                      [&] { return m_queue.empty() || m_lastFailedTry > triesBefore; });
    return m_queue.empty();
}

bool ResultWriter::ensureConnection(QString* error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    std::unique_lock<std::mutex> lock(m_mutex);
    const DatabaseLogin login = m_login;
    lock.unlock();
    if (db.isOpen() && login == m_openLogin)
        return true;
    if (db.isOpen())
        db.close();
    if (!db.isValid())
        db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_connectionName);
    if (!OpenDatabaseSession(db, login, QStringLiteral("quorvel"), error))
        return false;
    m_openLogin = login;
    return true;
}

void ResultWriter::closeConnection()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (db.isValid())
        db.close();
}

void ResultWriter::run()
{
    for (;;) {
        std::vector<CheckResultRow> batch;
        quint64 attempt = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_failing) {
                // Wait for the retry time; a stop or a waiter asks for a try at once.
                m_wake.wait_for(lock, std::chrono::milliseconds(m_retryMs),
                                [&] { return m_stop || m_retryNow; });
            } else {
                m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            }
            m_retryNow = false;
            if (m_queue.empty()) {
                if (m_stop)
                    break;
                continue;
            }
            if (m_stop && m_failing)
                break; // rows left to a database that does not answer are given up on the stop
            const std::size_t n = std::min(m_queue.size(), std::size_t(kWriteBatch));
            batch.assign(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(n));
            m_inFlight = int(n);
            attempt = ++m_tries;
        }

        QString error;
        bool stored = false;
        bool keep = true;
        if (ensureConnection(&error)) {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            try {
                // A commit whose answer was lost may have gone through: its rows are not written
                // twice.
                if (m_commitUnknown && ResultStore::Contains(db, batch.back()))
                    stored = true;
                m_commitUnknown = false;
                bool commitSent = false;
                try {
                    if (!stored)
                        ResultStore::Append(db, batch, &commitSent);
                    stored = true;
                } catch (const DatabaseError& e) {
                    if (IsWriteConflict(e)) {
                        ResultStore::Append(db, batch, &commitSent); // once more, as elsewhere
                        stored = true;
                    } else {
                        m_commitUnknown = commitSent;
                        throw;
                    }
                }
            } catch (const DatabaseError& e) {
                error = e.text();
                // A connection that still answers refused the statements themselves: trying them
                // again would hold up every later row, so they are given up.
                if (answers(db)) {
                    keep = false;
                    m_commitUnknown = false;
                } else {
                    closeConnection();
                }
            }
        }

        bool report = false;
        bool resumed = false;
        int resumedRows = 0;
        int queued = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (stored || !keep) {
                m_queue.erase(m_queue.begin(), m_queue.begin() + m_inFlight);
                if (m_queue.size() < std::size_t(m_maxQueued) / 2)
                    m_full = false;
            }
            if (stored && m_failing) {
                m_failing = false;
                resumed = true;
                resumedRows = int(m_queue.size()) + m_inFlight;
            }
            if (!stored) {
                report = !m_failing || !keep;
                if (keep)
                    m_failing = true;
                m_lastFailedTry = attempt;
            }
            queued = int(m_queue.size());
            m_inFlight = 0;
        }
        // Told before the waiters wake, so that what a waiter sees next follows what was said.
        if (stored)
            emit batchStored(int(batch.size()));
        if (report)
            emit storeFailed(error, keep ? queued : int(batch.size()), keep);
        if (resumed)
            emit storeResumed(resumedRows);
        m_stored.notify_all();
    }
    closeConnection();
    QSqlDatabase::removeDatabase(m_connectionName);
}
