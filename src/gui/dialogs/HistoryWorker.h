#pragma once

#include "database/DataModuleQuorvel.h"

#include <QSqlDatabase>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// A thread with a database connection of its own. Jobs posted to it run there one after the other,
// with the connection open (opened, or opened again after a failure or a changed login, first).
// Ending it drops the jobs still waiting and has the server end a running statement.
class HistoryWorker : public QThread
{
public:
    using Job = std::function<void(QSqlDatabase&)>;
    using Failure = std::function<void(const QString&)>;

    explicit HistoryWorker(const QString& connectionName);
    ~HistoryWorker() override;

    // Runs `job` on the thread; `failed` (also on the thread) gets the error's text when the job
    // or the connection failed.
    void Post(const DatabaseLogin& login, Job job, Failure failed);
    // Closes the connection once the jobs posted before have run.
    void Disconnect();

protected:
    void run() override;

private:
    QSqlDatabase& connection(const DatabaseLogin& login);
    void runJob(const DatabaseLogin& login, const Job& job, const Failure& failed);

    QString m_name;
    QObject* m_context = nullptr;
    QSqlDatabase m_db;                       // used on the thread only
    DatabaseLogin m_login;                   // the login m_db was opened with
    qint64 m_connectionId = 0;               // the server's number of m_db
    std::atomic<qint64> m_busyConnection{0}; // m_connectionId while a job runs
    std::atomic<bool> m_stopping{false};
};
