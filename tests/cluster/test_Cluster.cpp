// Two quorveld on a 3-node Galera cluster on loopback (scripts/db-server.sh cluster-start, once
// for this program), each connected to another node, sharing 200 URL services checked at every
// (shortened) tick against a loopback server that counts the requests per URL. The test's own
// connection goes to the third node, which no service uses and none of the tests stops.
#include "daemon/QuorveldProcess.h"
#include "support/CountingHttpServer.h"
#include "support/TempTree.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>

namespace {

constexpr int kTickMs = 4000;
constexpr int kServices = 200;

// The cluster's first SQL port: QUORVEL_TEST_CLUSTER_PORT, else 100 above the test database's.
int clusterPort()
{
    bool ok = false;
    int port = qEnvironmentVariable("QUORVEL_TEST_CLUSTER_PORT").toInt(&ok);
    if (ok && port > 0)
        return port;
    port = qEnvironmentVariable("QUORVEL_TEST_DB_PORT").toInt(&ok);
    return ok && port > 0 ? port + 100 : 0;
}

QString clusterDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/galera");
}

int runScript(const QStringList& arguments, int ms)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("bash"),
                 QStringList{QStringLiteral(QUORVEL_SOURCE_DIR "/scripts/db-server.sh")} + arguments);
    if (!script.waitForFinished(ms)) {
        script.kill();
        script.waitForFinished(5000);
        return -1;
    }
    return script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

bool g_clusterUp = false;
QString g_whyNot;

class ClusterEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (clusterPort() == 0) {
            g_whyNot = QStringLiteral("no port: set QUORVEL_TEST_CLUSTER_PORT or QUORVEL_TEST_DB_PORT");
            return;
        }
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/galera/libgalera_smm.so")) &&
            !QFileInfo::exists(QStringLiteral("/usr/lib/libgalera_smm.so"))) {
            g_whyNot = QStringLiteral("the Galera library is not installed");
            return;
        }
        g_clusterUp =
            runScript({QStringLiteral("cluster-start"), clusterDir(), QString::number(clusterPort())},
                      600000) == 0;
        if (!g_clusterUp)
            g_whyNot = QStringLiteral("the cluster did not start (see %1)").arg(clusterDir());
    }
    void TearDown() override
    {
        if (g_clusterUp)
            runScript({QStringLiteral("cluster-stop"), clusterDir()}, 120000);
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

class ClusterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!g_clusterUp)
            GTEST_SKIP() << g_whyNot.toStdString();
        db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("cluster-test"));
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(clusterPort() + 2);
        db.setUserName(QStringLiteral("root"));
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        exec(QStringLiteral("drop database if exists quorvel"));
    }
    void TearDown() override
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("cluster-test"));
    }

    void exec(const QString& sql)
    {
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QString scalar(const QString& sql)
    {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next())
            return QString();
        return q.value(0).toString();
    }
    // Rows of a two-column select, as "a b".
    QStringList rows(const QString& sql)
    {
        QStringList all;
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        while (q.next())
            all << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
        return all;
    }

    // A settings file of its own for one quorveld, on node `node` (1 to 3) first, then on the
    // others in order, each with its own port.
    QString settingsFor(const QString& name, int node)
    {
        QStringList hosts;
        for (int i = 0; i < 3; ++i)
            hosts << QStringLiteral("127.0.0.1:%1").arg(clusterPort() + (node - 1 + i) % 3);
        const QString file = name + QStringLiteral("/conf/SysInit.ini");
        tree.write(file, QStringLiteral("[System]\r\nInitStart=1\r\n[http]\r\nHTTPDefaultTimeout=5000\r\n"
                                        "[Database]\r\nHost=%1\r\nPort=1\r\nDBUsername=root\r\n"
                                        "DBPassword=\r\n[Engine]\r\nName=%2\r\n")
                             .arg(hosts.join(QLatin1Char(',')), name)
                             .toUtf8());
        return tree.file(file);
    }

    // The lines of `name`'s system logs (in <name>/log) that contain `part`.
    QStringList logLines(const QString& name, const QString& part)
    {
        QStringList found;
        const QDir logs(tree.file(name + QStringLiteral("/log")));
        for (const QString& log : logs.entryList({QStringLiteral("system_*.log")}, QDir::Files)) {
            QFile file(logs.filePath(log));
            if (file.open(QIODevice::ReadOnly))
                found += QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')).filter(part);
        }
        return found;
    }

    static bool waitFor(const std::function<bool()>& done, int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(200);
        }
        return true;
    }

    QSqlDatabase db;
    TempTree tree;
};

TEST_F(ClusterTest, TwoServicesShareTheChecksOneTakesAllWhenTheOtherIsKilledAndGoesOnWhenItsNodeStops)
{
    CountingHttpServer http;
    QProcessEnvironment fast;
    fast.insert(QStringLiteral("QUORVELD_TICK_MS"), QString::number(kTickMs));

    // The first creates the database; the second comes when it is there.
    QuorveldProcess a({QStringLiteral("--config"), settingsFor(QStringLiteral("alpha"), 1)}, fast);
    ASSERT_TRUE(waitFor([&] { return scalar("select count(*) from quorvel.engine_instance") == "1"; }, 60000))
        << a.err();
    QString values;
    for (int i = 0; i < kServices; ++i)
        values += QStringLiteral("%1(\"URL\",\"127.0.0.1:%2/u%3\",80,\"Minutely\",\"00\",\"1\")")
                      .arg(i ? QStringLiteral(",") : QString())
                      .arg(http.port())
                      .arg(i);
    exec(QStringLiteral(
             "insert into quorvel.service (service,ip,port,schedule_by,schedule_hour,schedule_minute) "
             "values ") +
         values);
    QuorveldProcess b({QStringLiteral("--config"), settingsFor(QStringLiteral("beta"), 2)}, fast);
    ASSERT_TRUE(waitFor([&] { return scalar("select count(*) from quorvel.engine_instance") == "2"; }, 60000))
        << b.err();
    const QString bothFrom = scalar("select now() + interval 2 second");

    // Three ticks and more of both.
    QThread::msleep(5 * kTickMs);
    const QString bothTo = scalar("select now() - interval 4 second");
    const QStringList ticks =
        rows(QStringLiteral("select minute,count(*) from quorvel.service_claim where minute "
                            "between \"%1\" and \"%2\" group by minute order by minute")
                 .arg(bothFrom, bothTo));
    ASSERT_GE(ticks.size(), 3) << ticks.join('\n').toStdString();
    for (const QString& tick : ticks)
        EXPECT_TRUE(tick.endsWith(QStringLiteral(" %1").arg(kServices)))
            << "every service claimed in " << tick.toStdString();
    const QStringList shares =
        rows(QStringLiteral("select instance,count(*) from quorvel.service_claim where minute "
                            "between \"%1\" and \"%2\" group by instance order by instance")
                 .arg(bothFrom, bothTo));
    ASSERT_EQ(shares.size(), 2) << shares.join('\n').toStdString();
    const int all = ticks.size() * kServices;
    for (const QString& share : shares)
        EXPECT_GE(share.section(' ', 1).toInt() * 100, 30 * all) << share.toStdString() << " of " << all;

    // beta is killed: from the next tick but one, alpha claims and checks every service.
    ASSERT_TRUE(b.signal(SIGKILL));
    ASSERT_TRUE(b.waitForExit(5000));
    const QString aloneFrom =
        scalar(QStringLiteral("select now() + interval %1 microsecond").arg(2 * kTickMs * 1000));
    QThread::msleep(5 * kTickMs);
    const QString aloneTo = scalar("select now() - interval 4 second");
    const QStringList alone =
        rows(QStringLiteral("select minute,concat(count(*),' ',sum(instance=\"alpha\")) from "
                            "quorvel.service_claim where minute between \"%1\" and \"%2\" group "
                            "by minute order by minute")
                 .arg(aloneFrom, aloneTo));
    ASSERT_GE(alone.size(), 2) << alone.join('\n').toStdString();
    for (const QString& tick : alone)
        EXPECT_TRUE(tick.endsWith(QStringLiteral(" %1 %1").arg(kServices))) << tick.toStdString();

    // alpha's node stops: alpha goes to the next host of its list and checks every service there.
    ASSERT_EQ(runScript({QStringLiteral("node-stop"), clusterDir(), QStringLiteral("1")}, 120000), 0);
    const QString nextNode = QStringLiteral("Database connection to 127.0.0.1:%1.").arg(clusterPort() + 1);
    EXPECT_TRUE(waitFor([&] { return !logLines(QStringLiteral("alpha"), nextNode).isEmpty(); }, 6 * kTickMs))
        << logLines(QStringLiteral("alpha"), QStringLiteral("Database")).join('\n').toStdString();
    const QString movedFrom =
        scalar(QStringLiteral("select now() + interval %1 microsecond").arg(kTickMs * 1000));
    QThread::msleep(4 * kTickMs);
    const QString movedTo = scalar("select now() - interval 4 second");
    const QStringList moved =
        rows(QStringLiteral("select minute,concat(count(*),' ',sum(instance=\"alpha\"),' ',"
                            "sum(done_at is not null)) from quorvel.service_claim where minute "
                            "between \"%1\" and \"%2\" group by minute order by minute")
                 .arg(movedFrom, movedTo));
    ASSERT_GE(moved.size(), 2) << moved.join('\n').toStdString();
    for (const QString& tick : moved)
        EXPECT_TRUE(tick.endsWith(QStringLiteral(" %1 %1 %1").arg(kServices))) << tick.toStdString();
    // The stopped node joins again, so the cluster stops and starts as a whole next time.
    EXPECT_EQ(runScript({QStringLiteral("node-start"), clusterDir(), QStringLiteral("1")}, 300000), 0);

    // Every request answers one claim: no URL was checked twice for one tick.
    ASSERT_TRUE(a.signal(SIGTERM));
    ASSERT_TRUE(a.waitForExit(30000));
    const std::map<std::string, int> requests = http.counts();
    const QStringList claimed =
        rows(QStringLiteral("select s.ip,concat(count(*),' ',sum(c.done_at is not null)) "
                            "from quorvel.service_claim c join quorvel.service s on "
                            "s.id=c.service_id group by s.ip"));
    ASSERT_EQ(claimed.size(), kServices);
    for (const QString& row : claimed) {
        const std::string path = row.section(' ', 0, 0).section('/', 1).prepend('/').toStdString();
        const int claims = row.section(' ', 1, 1).toInt();
        const int done = row.section(' ', 2, 2).toInt();
        const auto it = requests.find(path);
        const int count = it == requests.end() ? 0 : it->second;
        EXPECT_LE(count, claims) << path;
        EXPECT_GE(count, done) << path;
    }
}

} // namespace
