#include "support/DatabaseFixture.h"

#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QSqlDatabase adminConnection()
{
    const QString name = QStringLiteral("test-admin");
    QSqlDatabase db = QSqlDatabase::contains(name)
                          ? QSqlDatabase::database(name, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
    if (!db.isOpen()) {
        db.setHostName(qEnvironmentVariable("QUORVEL_TEST_DB_HOST", QStringLiteral("127.0.0.1")));
        db.setPort(qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT"));
        db.setUserName(QStringLiteral("root"));
        db.setDatabaseName(QStringLiteral("mysql"));
        if (!db.open())
            throw std::runtime_error("test database server: " + db.lastError().text().toStdString());
    }
    return db;
}

} // namespace

bool DatabaseFixture::serverConfigured()
{
    return qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT") > 0;
}

void DatabaseFixture::SetUp()
{
    m_tree = std::make_unique<TempTree>();
    ResetLogFailures();
    SetStopRequested(false);
    AppSettings = AppSettingsRecord();
    AppSettings.AppPath = m_tree->path();
    ASSERT_TRUE(EnsureLogDir());
    ASSERT_TRUE(EnsureConfDir());
    LoadSettings();
    m_boxes.boxes.clear();
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_TEST_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT"));
    AppSettings.DBUsername = QStringLiteral("root");
    AppSettings.DBPassword.clear();
}

void DatabaseFixture::TearDown()
{
    m_dm.reset();
    SetClockSource({});
}

void DatabaseFixture::dropDatabase()
{
    QSqlQuery q(adminConnection());
    if (!q.exec(QStringLiteral("drop database if exists quorvel")))
        throw std::runtime_error("drop database: " + q.lastError().text().toStdString());
}

void DatabaseFixture::startWithoutDatabase()
{
    dropDatabase();
    m_dm = std::make_unique<TDMQuorvel>();
}

void DatabaseFixture::startWithDatabase()
{
    startWithoutDatabase();
    ASSERT_TRUE(m_dm->ConnectDatabase(true));
    m_dm->CreateDatabaseAndTables();
    ASSERT_TRUE(m_dm->IsConnected());
    ASSERT_EQ(m_quit.requests, 0) << m_boxes.texts().join('\n').toStdString();
}

QStringList DatabaseFixture::systemLogLines() const
{
    QFile f(AppSettings.LogDir + AppSettings.SystemLogFilename +
            Now().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString DatabaseFixture::scalar(const QString& sql) const
{
    QSqlQuery q(adminConnection());
    if (!q.exec(sql) || !q.next())
        return QStringLiteral("<error: %1>").arg(q.lastError().text());
    return q.value(0).toString();
}
