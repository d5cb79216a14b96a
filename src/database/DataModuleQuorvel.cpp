#include "database/DataModuleQuorvel.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/Schema.h"

#include <atomic>

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVariant>

namespace {

TDMQuorvel* g_instance = nullptr;

QString errorText(const QSqlError& error)
{
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// Session set-up that makes the program's statements mean what they say on MariaDB and MySQL
// alike: double quotes delimit strings, backslash escapes work, zero dates are accepted and an
// over-long text is cut to its column rather than refused.
const char* const kSessionSetup[] = {
    "SET NAMES utf8mb4",
    "SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'",
};

} // namespace

QString QuoteSqlText(const QString& value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case 0x1A:
            out += QLatin1String("\\Z");
            break;
        default:
            out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

TDMQuorvel::TDMQuorvel() : m_connectionName(QStringLiteral("DMQuorvel"))
{
    SQLConnection = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_connectionName);
    SQLQuery_select_tmp = QSqlQuery(SQLConnection);
    SQLQuery_update_tmp = QSqlQuery(SQLConnection);
    g_instance = this;
}

TDMQuorvel::~TDMQuorvel()
{
    SQLQuery_select_tmp = QSqlQuery();
    SQLQuery_update_tmp = QSqlQuery();
    SQLConnection.close();
    SQLConnection = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    if (g_instance == this)
        g_instance = nullptr;
}

TDMQuorvel& DMQuorvel()
{
    if (!g_instance)
        throw std::logic_error("the data module does not exist");
    return *g_instance;
}

bool TDMQuorvel::IsConnected() const
{
    return SQLConnection.isOpen();
}

bool TDMQuorvel::Answers()
{
    if (!IsConnected())
        return false;
    QSqlQuery probe(SQLConnection);
    return probe.exec(QStringLiteral("select 1"));
}

DatabaseLogin CurrentDatabaseLogin()
{
    const AppSettingsRecord& s = AppSettings;
    DatabaseLogin login;
    // "localhost" means the TCP port, as everywhere else: the client library would otherwise take
    // it as its Unix socket.
    login.host = DatabaseHosts(s.DBHost).join(QLatin1Char(','));
    if (login.host.isEmpty())
        login.host = s.DBHost;
    login.port = IntegerOr(s.DBPort, 0);
    login.username = s.DBUsername;
    login.password = s.DBPassword;
    return login;
}

namespace {

bool openOneHost(QSqlDatabase& db, const DatabaseLogin& login, const QString& entry, const QString& database,
                 QString* error)
{
    if (db.isOpen())
        db.close();
    QString host;
    int port = 0;
    SplitDatabaseHost(entry, login.port, &host, &port);
    db.setPort(port);
    db.setUserName(login.username);
    db.setPassword(login.password);
    db.setHostName(host);
    db.setDatabaseName(database);
    // Every wait on the server is bounded.
    db.setConnectOptions(
        QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=10;MYSQL_OPT_READ_TIMEOUT=60;MYSQL_OPT_WRITE_TIMEOUT=60"));
    if (!db.open()) {
        *error = errorText(db.lastError());
        return false;
    }
    QSqlQuery setup(db);
    for (const char* statement : kSessionSetup) {
        if (!setup.exec(QString::fromLatin1(statement))) {
            *error = errorText(setup.lastError());
            setup = QSqlQuery();
            db.close();
            return false;
        }
    }
    return true;
}

} // namespace

QStringList DatabaseHosts(const QString& hostSetting)
{
    QStringList hosts;
    for (const QString& part : hostSetting.split(QLatin1Char(','))) {
        const QString host = part.trimmed();
        if (host.isEmpty())
            continue;
        hosts << (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
                      ? QStringLiteral("127.0.0.1")
                      : host);
    }
    return hosts;
}

void SplitDatabaseHost(const QString& entry, int defaultPort, QString* host, int* port)
{
    *host = entry;
    *port = defaultPort;
    QString portText;
    if (entry.startsWith(QLatin1Char('['))) {
        // "[v6-address]" or "[v6-address]:port"
        const int close = entry.indexOf(QLatin1Char(']'));
        if (close < 0)
            return;
        *host = entry.mid(1, close - 1);
        if (entry.mid(close + 1).startsWith(QLatin1Char(':')))
            portText = entry.mid(close + 2);
    } else if (entry.count(QLatin1Char(':')) == 1) {
        // One colon: "name:port". More than one is a bare IPv6 address on the default port.
        const int colon = entry.indexOf(QLatin1Char(':'));
        *host = entry.left(colon);
        portText = entry.mid(colon + 1);
    }
    if (host->compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        *host = QStringLiteral("127.0.0.1");
    bool ok = false;
    const int value = portText.trimmed().toInt(&ok);
    if (ok && value > 0 && value < 65536)
        *port = value;
}

bool OpenDatabaseSession(QSqlDatabase& db, const DatabaseLogin& login, const QString& database,
                         QString* error, QString* hostUsed)
{
    QStringList hosts = DatabaseHosts(login.host);
    if (hosts.isEmpty())
        hosts << login.host; // the client library's own default, as an empty setting always meant
    QStringList failures;
    for (const QString& host : hosts) {
        QString failure;
        if (openOneHost(db, login, host, database, &failure)) {
            if (hostUsed)
                *hostUsed = host;
            return true;
        }
        failures << (hosts.size() > 1 ? host + QStringLiteral(": ") + failure : failure);
    }
    *error = failures.join(QStringLiteral("; "));
    return false;
}

bool TDMQuorvel::ConnectDatabase(bool useSystemDatabase, QString* failure)
{
    SQLQuery_select_tmp = QSqlQuery();
    SQLQuery_update_tmp = QSqlQuery();
    QString error;
    QString host;
    const DatabaseLogin login = CurrentDatabaseLogin();
    if (OpenDatabaseSession(SQLConnection, login,
                            useSystemDatabase ? QStringLiteral("mysql") : QStringLiteral("quorvel"), &error,
                            &host)) {
        SQLQuery_select_tmp = QSqlQuery(SQLConnection);
        SQLQuery_update_tmp = QSqlQuery(SQLConnection);
        // With a list of servers the log says which one answered (the first, or a later one after
        // a loss); a single server needs no such line.
        if (login.host.contains(QLatin1Char(','))) {
            QString name;
            int port = 0;
            SplitDatabaseHost(host, login.port, &name, &port);
            WriteSystemLog(QStringLiteral("Database connection to %1:%2.").arg(name).arg(port),
                           LogLevel::INFORMATIONAL);
        }
        return true;
    }
    if (failure)
        *failure = error;
    else
        WriteSystemLog(QString::fromLatin1(lang::ERR00101) + QStringLiteral(" : ") + error, LogLevel::ERROR);
    return false;
}

bool TDMQuorvel::TableExists(const QString& name)
{
    QSqlQuery query(SQLConnection);
    if (!query.exec(QStringLiteral("show tables")))
        return false;
    while (query.next()) {
        if (query.value(0).toString() == name)
            return true;
    }
    return false;
}

void TDMQuorvel::ExecuteStatement(const QString& sql)
{
    if (SQLQuery_update_tmp.exec(sql))
        return;
    ShowErrorBox(QString::fromLatin1(lang::ERR00105) + QStringLiteral(" : ") +
                 errorText(SQLQuery_update_tmp.lastError()));
    WriteSystemLog(QString::fromLatin1(lang::ERR00105), LogLevel::ERROR);
    AskApplicationQuit();
}

void TDMQuorvel::CreateMissingTables()
{
    if (!IsConnected())
        return;
    for (const TableDefinition& table : SchemaTables()) {
        if (TableExists(table.name))
            continue;
        ExecuteStatement(table.create);
        for (const QString& index : table.indexes)
            ExecuteStatement(index);
        if (table.name == QLatin1String("scheduling")) {
            for (const QString& seed : SchedulingSeedStatements())
                ExecuteStatement(seed);
        }
    }
    if (TableExists(QStringLiteral("alarm_msg_history"))) {
        // A server that refuses to add the key (a user without the right to alter tables) leaves
        // the program monitoring as before; only the history window cannot page then.
        QSqlQuery key(SQLConnection);
        if (key.exec(QStringLiteral("show columns from alarm_msg_history like \"id\"")) && !key.next() &&
            !key.exec(AlarmHistoryKeyStatement()))
            WriteSystemLog(QString::fromLatin1(lang::ERR00105) + QStringLiteral(" : ") +
                               errorText(key.lastError()),
                           LogLevel::ERROR);
    }
    ApplySchemaSteps(SchemaSteps());
}

bool TDMQuorvel::ApplySchemaSteps(const std::vector<SchemaStep>& steps)
{
    if (!IsConnected())
        return false;
    QSqlQuery query(SQLConnection);
    const auto fail = [&query]() {
        WriteSystemLog(QString::fromLatin1(lang::ERR00105) + QStringLiteral(" : ") +
                           errorText(query.lastError()),
                       LogLevel::ERROR);
        return false;
    };
    if (!query.exec(SchemaStepTableStatement()))
        return fail();
    QSet<int> applied;
    if (!query.exec(QStringLiteral("select step from schema_step")))
        return fail();
    while (query.next())
        applied.insert(query.value(0).toInt());
    for (const SchemaStep& step : steps) {
        if (applied.contains(step.number))
            continue;
        bool inPlace = false;
        if (!step.inPlace.isEmpty()) {
            if (!query.exec(step.inPlace))
                return fail();
            inPlace = query.next();
        }
        if (!inPlace) {
            for (const QString& statement : step.statements) {
                if (!query.exec(statement))
                    return fail();
            }
        }
        if (!query.exec(QStringLiteral("insert into schema_step (step,name,applied_at) values (%1,%2,NOW())")
                            .arg(step.number)
                            .arg(QuoteSqlText(step.name))))
            return fail();
        applied.insert(step.number);
    }
    return true;
}

void TDMQuorvel::CreateDatabaseAndTables()
{
    if (!SQLQuery_update_tmp.exec(QStringLiteral("create database quorvel;"))) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00104) + QStringLiteral(" : ") +
                     errorText(SQLQuery_update_tmp.lastError()));
        WriteSystemLog(QString::fromLatin1(lang::ERR00104), LogLevel::ERROR);
        AskApplicationQuit();
        return;
    }
    if (ConnectDatabase(false))
        CreateMissingTables();
}

QSqlQuery& TDMQuorvel::ExecSelect(const QString& sql)
{
    SQLQuery_select_tmp.finish();
    if (!SQLQuery_select_tmp.exec(sql))
        throw DatabaseError(errorText(SQLQuery_select_tmp.lastError()));
    return SQLQuery_select_tmp;
}

void TDMQuorvel::ExecUpdate(const QString& sql)
{
    if (!SQLQuery_update_tmp.exec(sql))
        throw DatabaseError(errorText(SQLQuery_update_tmp.lastError()));
}

qlonglong TDMQuorvel::LastInsertId()
{
    QSqlQuery query(SQLConnection);
    if (!query.exec(QStringLiteral("select LAST_INSERT_ID()")) || !query.next())
        throw DatabaseError(errorText(query.lastError()));
    return query.value(0).toLongLong();
}

SqlTransaction::SqlTransaction(TDMQuorvel& dm) : m_dm(dm)
{
    if (!m_dm.SQLConnection.transaction())
        throw DatabaseError(errorText(m_dm.SQLConnection.lastError()));
    m_open = true;
}

SqlTransaction::~SqlTransaction()
{
    if (m_open)
        m_dm.SQLConnection.rollback();
}

void SqlTransaction::Commit()
{
    if (!m_dm.SQLConnection.commit()) {
        const QString text = errorText(m_dm.SQLConnection.lastError());
        m_dm.SQLConnection.rollback();
        m_open = false;
        throw DatabaseError(text);
    }
    m_open = false;
}

bool IsWriteConflict(const DatabaseError& error)
{
    // MariaDB: "Deadlock found when trying to get lock; try restarting transaction" (1213); a
    // Galera node: the same error, or "WSREP detected deadlock/conflict and aborted the transaction".
    const QString text = error.text();
    return text.contains(QLatin1String("deadlock"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("1213"));
}

void RunRetryingConflict(TDMQuorvel& dm, const std::function<void()>& work)
{
    for (int attempt = 1;; ++attempt) {
        try {
            SqlTransaction transaction(dm);
            work();
            transaction.Commit();
            return;
        } catch (const DatabaseError& e) {
            if (attempt >= 2 || !IsWriteConflict(e))
                throw;
        }
    }
}

QSqlQuery TDMQuorvel::OpenView(const QString& sql)
{
    QSqlQuery query(SQLConnection);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw DatabaseError(errorText(query.lastError()));
    return query;
}

QSqlQuery TDMQuorvel::ExecPrepared(const QString& sql, const QList<std::pair<QString, QVariant>>& values)
{
    QSqlQuery query(SQLConnection);
    query.prepare(sql);
    for (const auto& [name, value] : values)
        query.bindValue(name, value);
    if (!query.exec())
        throw DatabaseError(errorText(query.lastError()));
    return query;
}

LoginConnectResult LoginConnect(const QString& host, const QString& port, const QString& username,
                                const QString& password)
{
    if (!IsInteger(port)) {
        ShowInformationBox(QString::fromLatin1(lang::InvalidInteger)
                               .replace(QLatin1String("%s"), QLatin1String("Database Port")));
        return LoginConnectResult::InvalidPort;
    }
    AppSettings.DBHost = host;
    AppSettings.DBPort = port;
    AppSettings.DBUsername = username;
    AppSettings.DBPassword = password;
    return ConnectOrCreateDatabase();
}

LoginConnectResult ConnectOrCreateDatabase(QString* failure)
{
    TDMQuorvel& dm = DMQuorvel();
    LoginConnectResult result;
    if (dm.ConnectDatabase(false, failure)) {
        dm.CreateMissingTables();
        result = LoginConnectResult::Connected;
    } else if (dm.ConnectDatabase(true, failure)) {
        dm.CreateDatabaseAndTables();
        ShowInformationBox(QString::fromLatin1(lang::FirstStartPatience));
        result = LoginConnectResult::FirstStartCreated;
    } else {
        return LoginConnectResult::Failed;
    }
    if (!failure)
        WriteSystemLog(QString::fromLatin1(lang::ApplicationStarts), LogLevel::INFORMATIONAL);
    return result;
}

OwnSession::OwnSession(const DatabaseLogin& login, const QString& prefix) : m_login(login)
{
    static std::atomic<int> serial{0};
    m_name = prefix + QLatin1Char('-') + QString::number(++serial);
}

OwnSession::~OwnSession()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase& OwnSession::get()
{
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name);
    if (!m_db.isOpen()) {
        QString error;
        if (!OpenDatabaseSession(m_db, m_login, QStringLiteral("quorvel"), &error))
            throw DatabaseError(error);
    }
    return m_db;
}
