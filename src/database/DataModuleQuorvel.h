#pragma once

#include "database/Schema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <stdexcept>
#include <utility>

// A failed statement or connection; what() carries the driver's text.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// The one quoting function for text placed into a statement: the value between double quotes,
// with backslash, double quote, NUL, CR, LF and Ctrl-Z escaped the way the server reads them
// back, so the stored text equals the given text and no value can change the statement.
QString QuoteSqlText(const QString& value);

// What a connection is opened with: the settings' host (TCP), port, user and password, copied on
// the main thread so that a connection of another thread never reads the settings.
struct DatabaseLogin
{
    QString host;
    int port = 0;
    QString username;
    QString password;
    bool operator==(const DatabaseLogin& o) const
    {
        return host == o.host && port == o.port && username == o.username && password == o.password;
    }
    bool operator!=(const DatabaseLogin& o) const { return !(*this == o); }
};

// The login of the settings as they stand. Main thread only.
DatabaseLogin CurrentDatabaseLogin();

// Opens `db` (a QMYSQL connection of the calling thread) with `login` on `database`, with bounded
// waits and the session set-up every connection of the program uses. On failure `db` is closed
// and *error holds the driver's or the server's text.
//
// `login.host` may name several servers separated by commas (a replicated or clustered
// database): they are tried in order and the first that accepts is used; *hostUsed (when given)
// names it. With several hosts, *error names each host with its failure.
bool OpenDatabaseSession(QSqlDatabase& db, const DatabaseLogin& login, const QString& database,
                         QString* error, QString* hostUsed = nullptr);

// A connection of its own for a reader that runs on a worker thread: made and opened with `login`
// on the first get() (on the thread that uses it), closed and removed with the object. Each one
// gets a name of its own from `prefix`.
class OwnSession
{
public:
    OwnSession(const DatabaseLogin& login, const QString& prefix);
    ~OwnSession();
    OwnSession(const OwnSession&) = delete;
    OwnSession& operator=(const OwnSession&) = delete;

    // The open connection; throws DatabaseError when it cannot be opened.
    QSqlDatabase& get();

private:
    DatabaseLogin m_login;
    QString m_name;
    QSqlDatabase m_db;
};

// The hosts of a "[Database] Host" value: split at commas, blanks trimmed, empty entries
// dropped; "localhost" means the TCP port on 127.0.0.1, as everywhere else.
QStringList DatabaseHosts(const QString& hostSetting);

// One entry of that list as the server to connect to: "name", "name:port", "[v6-address]:port" or
// a bare IPv6 address. An entry without a valid port of its own takes `defaultPort` (the
// "[Database] Port" setting), so nodes of one cluster may listen on different ports.
void SplitDatabaseHost(const QString& entry, int defaultPort, QString* host, int* port);

// The data module: the program's one database connection and its shared queries. Used from the
// main thread only.
class TDMQuorvel
{
public:
    TDMQuorvel();
    ~TDMQuorvel();
    TDMQuorvel(const TDMQuorvel&) = delete;
    TDMQuorvel& operator=(const TDMQuorvel&) = delete;

    QSqlDatabase SQLConnection;
    QSqlQuery SQLQuery_select_tmp;
    QSqlQuery SQLQuery_update_tmp;

    // Connects with the settings' host, port, user and password to the database "quorvel", or
    // to "mysql" when `useSystemDatabase`. A failure is logged as ERR00101 and gives false; with
    // `failure` given, it is not logged but its text is put there (a quiet attempt to reconnect).
    bool ConnectDatabase(bool useSystemDatabase, QString* failure = nullptr);
    bool IsConnected() const;
    // The session is open and the server still answers a statement (a lost connection is seen
    // only when something is sent).
    bool Answers();
    // Creates the tables that are missing, then applies the schema steps (ApplySchemaSteps).
    void CreateMissingTables();
    // Applies the steps of `steps` not yet recorded in schema_step, in ascending order, each
    // recorded when its statements succeeded. A failing step is logged as ERR00105 with the
    // server's text and ends the run (later steps may build on it); it is tried again at the next
    // start. Gives false when a step failed.
    bool ApplySchemaSteps(const std::vector<SchemaStep>& steps);
    bool TableExists(const QString& name);
    // Runs a schema statement; a failure is shown and logged as ERR00105 and the application is
    // asked to quit, but the caller carries on with its next statement.
    void ExecuteStatement(const QString& sql);
    void CreateDatabaseAndTables();

    // Runs a select on SQLQuery_select_tmp, positioned before its first row; throws DatabaseError.
    QSqlQuery& ExecSelect(const QString& sql);
    // Runs a statement without result set on SQLQuery_update_tmp; throws DatabaseError.
    void ExecUpdate(const QString& sql);

    // The id the last insert on this connection made (LAST_INSERT_ID()); throws DatabaseError.
    qlonglong LastInsertId();

    // Runs a select on a forward-only query of its own, positioned before its first row, so that
    // it stays readable while other statements run; throws DatabaseError.
    QSqlQuery OpenView(const QString& sql);
    // Runs `sql` with its placeholders bound to `values` on a query of its own, positioned
    // before its first row; throws DatabaseError.
    QSqlQuery ExecPrepared(const QString& sql, const QList<std::pair<QString, QVariant>>& values);

private:
    QString m_connectionName;
};

// One database transaction on the data module's connection: begun by the constructor, undone by
// the destructor unless Commit() ran, so a save whose statements throw half-way leaves no row
// behind. Begin and commit failures throw DatabaseError with the server's text.
class SqlTransaction
{
public:
    explicit SqlTransaction(TDMQuorvel& dm);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    void Commit();

private:
    TDMQuorvel& m_dm;
    bool m_open = false;
};

// A write conflict: the server's deadlock error, which a clustered server also gives for a
// transaction that lost the certification against another node's.
bool IsWriteConflict(const DatabaseError& error);
// Runs `work` (statements on the data module's connection) in one transaction and commits it;
// after a write conflict the whole transaction is run once more, then the error is thrown.
void RunRetryingConflict(TDMQuorvel& dm, const std::function<void()>& work);

// The single instance; throws std::logic_error when no data module exists.
TDMQuorvel& DMQuorvel();

enum class LoginConnectResult
{
    InvalidPort,
    Connected,
    FirstStartCreated,
    Failed
};

// The one way the program connects, at start-up and from the login dialog: with the settings'
// values to the program's own database (creating missing tables); failing that, to the server's
// "mysql" database, creating the database and all its tables (a first start, with the
// information box that says so). "Application starts." is written on success; each failed
// attempt has written its ERR00101 line. With `failure` given the attempt is quiet: neither line
// is written, and the text of the last failure is put there (the caller reports it).
LoginConnectResult ConnectOrCreateDatabase(QString* failure = nullptr);

// The Connect button of the database login dialog, without the dialog: validates the port,
// takes the four values into the settings and runs ConnectOrCreateDatabase.
LoginConnectResult LoginConnect(const QString& host, const QString& port, const QString& username,
                                const QString& password);
