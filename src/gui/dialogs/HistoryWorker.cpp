#include "gui/dialogs/HistoryWorker.h"

#include "database/AlarmHistoryReader.h"

#include <stdexcept>

HistoryWorker::HistoryWorker(const QString& connectionName) : m_name(connectionName)
{
    m_context = new QObject;
    m_context->moveToThread(this);
    start();
}

HistoryWorker::~HistoryWorker()
{
    // Jobs still waiting are dropped. A running statement is ended by the server, so that the
    // window (and the program) need not wait for a count over a large table.
    m_stopping.store(true);
    const qint64 busy = m_busyConnection.load();
    if (busy > 0) {
        try {
            KillSessionQuery(busy);
        } catch (const std::exception&) {
            // no main connection: the statement ends within the connection's read time-out
        }
    }
    quit();
    wait();
    delete m_context;
}

void HistoryWorker::Post(const DatabaseLogin& login, Job job, Failure failed)
{
    QMetaObject::invokeMethod(
        m_context,
        [this, login, job = std::move(job), failed = std::move(failed)] { runJob(login, job, failed); },
        Qt::QueuedConnection);
}

void HistoryWorker::runJob(const DatabaseLogin& login, const Job& job, const Failure& failed)
{
    QString error;
    // A connection that lay idle may have been closed by the server meanwhile: a job that fails
    // on it is tried once more on a new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool reused = m_db.isValid() && m_db.isOpen() && login == m_login;
        try {
            QSqlDatabase& db = connection(login);
            m_busyConnection.store(m_connectionId);
            job(db);
            m_busyConnection.store(0);
            return;
        } catch (const std::exception& e) {
            m_busyConnection.store(0);
            error = QString::fromUtf8(e.what());
            if (m_db.isValid())
                m_db.close();
            if (!reused || m_stopping.load())
                break;
        }
    }
    failed(error);
}

void HistoryWorker::Disconnect()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            if (m_db.isValid())
                m_db.close();
        },
        Qt::QueuedConnection);
}

void HistoryWorker::run()
{
    exec();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

QSqlDatabase& HistoryWorker::connection(const DatabaseLogin& login)
{
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name);
    if (!m_db.isOpen() || login != m_login) {
        QString error;
        if (!OpenDatabaseSession(m_db, login, QStringLiteral("quorvel"), &error))
            throw DatabaseError(error);
        m_login = login;
        m_connectionId = SessionConnectionId(m_db);
    }
    return m_db;
}
