#pragma once

// Stores the checks' results on a thread of its own, with a database connection of its own, so
// that the thread that gathers them only appends them to a queue. Rows stay queued while the
// database does not answer and are written, once, when it answers again.

#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

class ResultWriter : public QObject
{
    Q_OBJECT

public:
    // The most rows kept while the database does not answer: about eleven hours of 300 results
    // a minute. Results that come past it are dropped (newest first), and that is said once.
    static constexpr int kMaxQueued = 200000;
    // The most rows one transaction carries.
    static constexpr int kWriteBatch = 5 * ResultStore::kInsertBatch;
    // How long the thread waits before it tries a database that did not answer again.
    static constexpr int kRetryMs = 2000;

    explicit ResultWriter(int maxQueued = kMaxQueued, int retryMs = kRetryMs, QObject* parent = nullptr);
    // Stops the thread once the queued rows are stored; while the database does not answer, the
    // rows left are given up at once.
    ~ResultWriter() override;

    // Queues `rows` to be stored with `login` (the login of the settings as they stand; a
    // changed login opens a new connection). Starts the thread the first time. Cheap: one lock.
    void Enqueue(std::vector<CheckResultRow>&& rows, const DatabaseLogin& login);
    // Rows queued or being written.
    int Pending() const;
    // Waits until every queued row is stored, or `timeoutMs` ran out, or the database does not
    // answer; gives true when nothing is left. A database that does not answer gets one more
    // try first. Any thread but the writer's.
    bool WaitStored(int timeoutMs);

signals:
    // Emitted from the writer's thread (connect with a queued connection). Storing failed: the
    // rows stay queued when `kept`, else they are given up (a statement the server refuses).
    void storeFailed(const QString& error, int rows, bool kept);
    // The database answers again after a failure: the `rows` that were queued are being stored.
    void storeResumed(int rows);
    // A batch of `rows` results is stored.
    void batchStored(int rows);
    // The queue reached its bound: results are dropped until it has room again. Once per time.
    void queueFull(int bound);

private:
    void run();
    bool ensureConnection(QString* error);
    void closeConnection();

    const int m_maxQueued;
    const int m_retryMs;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;   // rows came, or stop
    std::condition_variable m_stored; // the queue moved on, or a write failed
    std::deque<CheckResultRow> m_queue;
    DatabaseLogin m_login;
    int m_inFlight = 0; // rows at the front of m_queue being written
    bool m_stop = false;
    bool m_retryNow = false;     // a waiter asks for a try before the retry time
    bool m_failing = false;      // the last write failed; the queue is kept
    bool m_full = false;         // the bound was reached and said so
    quint64 m_tries = 0;         // writes begun so far
    quint64 m_lastFailedTry = 0; // the number of the last write that failed
    std::unique_ptr<QThread> m_thread;

    // Used on the thread only.
    QString m_connectionName;
    DatabaseLogin m_openLogin;
    bool m_commitUnknown = false; // the last failure came after the commit was sent
};
