// Every scheduled check's result kept: stored in bursts, summed per day, shown in the service
// list (Response, Uptime 24h) and cleared away by the hourly housekeeping in slices.
#include "EngineFixture.h"

#include "core/comFunc.h"
#include "database/ResultStore.h"
#include "support/ScriptedServer.h"
#include "support/TcpForwarder.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

using Col = MonitorEngine::ServiceColumn;

class ResultsTest : public EngineFixture
{
protected:
    // Of every session: the results are written on a connection of their own.
    qlonglong insertsSoFar()
    {
        QSqlQuery& q = m_dm->ExecSelect("show global status like 'Com_insert'");
        return q.next() ? q.value(1).toLongLong() : -1;
    }
    // `n` TCP services whose checks pass against `listener`, which closes every connection.
    QList<int> passingServices(QTcpServer& listener, int n)
    {
        if (!listener.isListening()) {
            listener.listen(QHostAddress::LocalHost, 0);
            QObject::connect(&listener, &QTcpServer::newConnection, [&listener] {
                while (QTcpSocket* peer = listener.nextPendingConnection()) {
                    peer->close();
                    peer->deleteLater();
                }
            });
        }
        QList<int> ids;
        for (int i = 0; i < n; ++i) {
            Service s;
            s.kind = "TCP";
            s.port = listener.serverPort();
            ids << addService(s);
        }
        return ids;
    }
    // Runs a tick and waits until every one of `ids` shows its verdict (the results gathered).
    void tickUntilShown(const QList<int>& ids)
    {
        startCycle();
        ASSERT_TRUE(waitFor([&] {
            for (int id : ids) {
                if (cellOf(id, Col::SvcCurrentStatus) != "Passed")
                    return false;
            }
            return true;
        }));
    }
    int count(const QString& fromWhere) const
    {
        return scalar("select count(*) from quorvel." + fromWhere).toInt();
    }
    static QDateTime at(const char* text)
    {
        return QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss");
    }
    // The ids of the listed rows from top to bottom.
    QStringList order() const
    {
        QStringList ids;
        for (int r = 0; r < engine->ServiceList()->rowCount(); ++r)
            ids << engine->ServiceList()->cell(r, Col::SvcId);
        return ids;
    }
};

// A tick of 50 services stores 50 rows, one per service with its response time, with a couple
// of inserts rather than one round trip per result; the list shows the times and the uptime.
TEST_F(ResultsTest, ATickOfFiftyServicesStoresFiftyRowsInAFewInserts)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&listener, &QTcpServer::newConnection, [&listener] {
        while (QTcpSocket* peer = listener.nextPendingConnection()) {
            peer->close();
            peer->deleteLater();
        }
    });
    QList<int> ids;
    for (int i = 0; i < 50; ++i) {
        Service s;
        s.kind = "TCP";
        s.port = listener.serverPort();
        ids << addService(s);
    }
    const qlonglong before = insertsSoFar();
    startCycle();
    ASSERT_TRUE(waitFor([&] {
        for (int id : ids) {
            if (cellOf(id, Col::SvcCurrentStatus) != "Passed")
                return false;
        }
        return engine->PendingResultCount() == 0;
    }));
    EXPECT_EQ(count("service_result"), 50);
    EXPECT_EQ(count("service_result where passed=1 and response_ms between 0 and 5000"), 50);
    EXPECT_EQ(scalar("select count(distinct service_id) from quorvel.service_result"), "50");
    EXPECT_EQ(scalar("select min(checked_at) from quorvel.service_result"), "2026-12-12T10:15:00.000");
    const qlonglong inserts = insertsSoFar() - before;
    EXPECT_GE(inserts, 2);
    EXPECT_LE(inserts, 4) << "results and summaries, in one or two bursts";
    EXPECT_EQ(scalar("select concat(count(*),'/',sum(checks),'/',sum(passes)) from quorvel.service_day"),
              "50/50/50");

    EXPECT_TRUE(cellOf(ids[0], Col::SvcResponse).endsWith(" ms"))
        << cellOf(ids[0], Col::SvcResponse).toStdString();
    engine->RefreshUptime();
    for (int id : ids)
        EXPECT_EQ(cellOf(id, Col::SvcUptime), "100.0 %") << id;
}

// A failed check with retry leaves two results (the try and the retry), both failed, with the
// detail the check gave; a wizard test leaves none.
TEST_F(ResultsTest, RetriesAreStoredAsResultsOfTheirOwn)
{
    AppSettings.HTTPRetry = 1;
    Service s;
    s.kind = "URL";
    s.ip = QString("127.0.0.1:%1/").arg(ScriptedServer::UnusedPort());
    const int id = addService(s);
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }));
    engine->FlushResults();
    EXPECT_EQ(count("service_result where passed=0"), 2);
    // The last row carries the detail the list shows for the failure.
    const QString detail = engine->ServiceList()->toolTipOfId(QString::number(id), Col::SvcCurrentStatus);
    EXPECT_FALSE(detail.isEmpty());
    EXPECT_EQ(scalar("select detail from quorvel.service_result order by id desc limit 1"), detail);
    EXPECT_EQ(scalar("select concat(checks,'/',passes,'/',coalesce(avg_ms,'none')) from quorvel.service_day"),
              "2/0/none");
}

// The Response and Uptime 24h cells come from the last 24 hours' results, follow new results
// at the next tick's refresh, and sort by number, not as texts.
TEST_F(ResultsTest, ResponseAndUptimeCellsFollowTheResultsAndSortByNumber)
{
    const int a = addService({});
    const int b = addService({});
    const int c = addService({});
    const int d = addService({});
    std::vector<CheckResultRow> rows;
    const QDateTime now = Now();
    for (int i = 0; i < 1000; ++i)
        rows.push_back({a, now.addSecs(-80000 + i * 60), i >= 7, i == 999 ? 9 : 500, ""});
    for (int i = 0; i < 50; ++i)
        rows.push_back({a, now.addSecs(-90000 - i), false, 1, "older than a day"});
    for (int i = 0; i < 3; ++i)
        rows.push_back({b, now.addSecs(-300 + i), true, 120 + i + (i == 2 ? 1 : 0), ""});
    for (int i = 0; i < 20; ++i)
        rows.push_back({c, now.addSecs(-3000 + i), i == 19, 45, ""});
    ResultStore::Append(rows);

    engine->FillServiceList("ALL");
    engine->RefreshUptime();
    const auto cells = [&](int id) {
        return cellOf(id, Col::SvcResponse) + " | " + cellOf(id, Col::SvcUptime);
    };
    EXPECT_EQ(cells(a), "9 ms | 99.3 %");
    EXPECT_EQ(cells(b), "123 ms | 100.0 %");
    EXPECT_EQ(cells(c), "45 ms | 5.0 %");
    EXPECT_EQ(cells(d), " | ");

    const QString A = QString::number(a), B = QString::number(b), C = QString::number(c),
                  D = QString::number(d);
    engine->SortServiceList(Col::SvcResponse);
    EXPECT_EQ(order(), QStringList({D, A, C, B}));
    engine->SortServiceList(Col::SvcResponse);
    EXPECT_EQ(order(), QStringList({B, C, A, D}));
    engine->SortServiceList(Col::SvcUptime);
    EXPECT_EQ(order(), QStringList({D, C, A, B}));

    // An hour on: a's first hour of results falls out, b fails seven times, d gets its first.
    standAt("2026-12-12 11:15:00");
    std::vector<CheckResultRow> more;
    for (int i = 0; i < 7; ++i)
        more.push_back({b, Now().addSecs(-10 + i), false, 2000 + i, ""});
    more.push_back({d, Now(), true, 77, ""});
    ResultStore::Append(more);
    engine->RefreshUptime();
    EXPECT_EQ(cells(b), "2006 ms | 30.0 %");
    EXPECT_EQ(cells(d), "77 ms | 100.0 %");
    const int aFallen =
        count(QString("service_result where service_id=%1 and checked_at>='2026-12-11 11:15:00'").arg(a));
    const int aPassed =
        count(QString("service_result where service_id=%1 and passed=1 and checked_at>='2026-12-11 "
                      "11:15:00'")
                  .arg(a));
    EXPECT_EQ(cellOf(a, Col::SvcUptime), MonitorEngine::UptimeText(aFallen, aPassed));
}

// The end of the program (closing the window, or the service stopping) with results gathered and
// queued: they are all stored before the end, with no further turn of the event loop.
// The Uptime 24h cell counts the results of the tick that just ran once they are stored, not
// only from the next tick on (which left a new service blank, and an outage's first failure
// uncounted, for a whole minute).
TEST_F(ResultsTest, UptimeCellCountsATicksResultsOnceStored)
{
    QTcpServer listener;
    const QList<int> ids = passingServices(listener, 3);
    tickUntilShown(ids);
    EXPECT_TRUE(waitFor(
        [&] {
            for (int id : ids) {
                if (cellOf(id, Col::SvcUptime) != "100.0 %")
                    return false;
            }
            return true;
        },
        5000))
        << cellOf(ids[0], Col::SvcUptime).toStdString();
}

TEST_F(ResultsTest, TheEndStoresEveryQueuedResult)
{
    QTcpServer listener;
    const QList<int> ids = passingServices(listener, 200);
    tickUntilShown(ids);
    engine->ShutDown();
    engine->DestroyPool();
    EXPECT_EQ(engine->PendingResultCount(), 0);
    EXPECT_EQ(count("service_result"), 200);
    EXPECT_EQ(scalar("select sum(checks) from quorvel.service_day"), "200");
}

// The results' database connection lost at the end: the end is not held up for long, and the
// results that could not be stored are counted in one line of the system log.
TEST_F(ResultsTest, ResultsLostAtTheEndAreReported)
{
    // The results' own connection goes through the relay; the engine's stays direct.
    TcpForwarder relay(AppSettings.DBPort.toInt());
    relay.start();
    AppSettings.DBPort = QString::number(relay.port());
    relay.setDown(true);
    QTcpServer listener;
    const QList<int> ids = passingServices(listener, 30);
    tickUntilShown(ids);
    QElapsedTimer took;
    took.start();
    engine->ShutDown();
    engine->DestroyPool();
    EXPECT_LT(took.elapsed(), 10000);
    EXPECT_EQ(count("service_result"), 0);
    EXPECT_EQ(systemLogLines().filter("30 results could not be stored before the end").size(), 1)
        << systemLogLines().join("\n").toStdString();
}

TEST(UptimeTextTest, OneDecimalNeverRoundedUpToAHundred)
{
    const struct
    {
        qint64 checks;
        qint64 passes;
        const char* text;
    } cases[] = {{0, 0, ""},       {1, 1, "100.0 %"},     {1, 0, "0.0 %"},
                 {3, 2, "66.6 %"}, {1000, 993, "99.3 %"}, {10000, 9999, "99.9 %"},
                 {7, 9, "100.0 %"}};
    for (const auto& c : cases)
        EXPECT_EQ(MonitorEngine::UptimeText(c.checks, c.passes), c.text) << c.checks << "/" << c.passes;
}

// The hourly housekeeping closes the days before today, then deletes the results older than
// KeepDays and the old alarm history, each delete at most 10,000 rows and each slice on a turn
// of the event loop of its own: the timer's own call deletes nothing.
TEST_F(ResultsTest, HousekeepingClosesDaysAndDeletesInSlices)
{
    AppSettings.ResultsKeepDays = 3; // results before 2026-12-09 00:00 go
    AppSettings.AlarmMsgDBHouseKeepDay = 7;
    m_dm->ExecUpdate(
        "insert into service_result (service_id,checked_at,passed,response_ms,detail) "
        "select 1,\"2026-11-20 00:00:00\" + interval seq second,1,5,\"old\" from seq_0_to_23455");
    ResultStore::Append({{2, QDateTime::fromString("2026-12-08 23:59:59.999", "yyyy-MM-dd HH:mm:ss.zzz"),
                          true, 10, "last old"},
                         {2, at("2026-12-09 00:00:00"), true, 20, "first kept"},
                         {2, at("2026-12-09 00:00:01"), true, 30, "kept"},
                         {2, at("2026-12-12 10:00:00"), true, 40, "today"}});
    m_dm->ExecUpdate("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                     "select \"2026-11-01 00:00:00\" + interval seq minute,\"URL\",\"h\",80,\"m\",\"Failed\" "
                     "from seq_0_to_10000");
    m_dm->ExecUpdate("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                     "values (\"2026-12-05 00:00:00\",\"URL\",\"h\",80,\"kept\",\"Failed\")");

    engine->TimerHouseKeepTimer();
    EXPECT_TRUE(engine->HouseKeepingRuns());
    EXPECT_EQ(count("service_result"), 23460) << "nothing on the timer's own turn";
    EXPECT_EQ(count("service_day where closed=1"), 0);

    // The first slices by hand: each removes at most 10,000 rows of one table.
    int results = count("service_result");
    int history = count("alarm_msg_history");
    for (int step = 0; step < 5; ++step) {
        ASSERT_TRUE(engine->HouseKeepStep());
        const int r = count("service_result");
        const int h = count("alarm_msg_history");
        EXPECT_LE(results - r, ResultStore::kDeleteSlice);
        EXPECT_LE(history - h, ResultStore::kDeleteSlice);
        EXPECT_TRUE(results == r || history == h) << "one table per slice";
        results = r;
        history = h;
    }
    EXPECT_EQ(count("service_day where closed=1"), 2) << "12-08 and 12-09 of service 2";
    EXPECT_EQ(count("service_result"), 23460 - 20000) << "find, close, close, delete, delete";
    // The rest on the event loop's turns.
    ASSERT_TRUE(waitFor([&] { return !engine->HouseKeepingRuns(); }));
    EXPECT_EQ(scalar("select group_concat(detail order by id) from quorvel.service_result"),
              "first kept,kept,today");
    EXPECT_EQ(scalar("select group_concat(msg) from quorvel.alarm_msg_history"), "kept");
    EXPECT_EQ(scalar("select group_concat(concat(day,':',closed,':',coalesce(p95_ms,'-')) order by day) from "
                     "quorvel.service_day"),
              "2026-12-08:1:10,2026-12-09:1:30,2026-12-12:0:-");
    EXPECT_FALSE(engine->HouseKeepStep()) << "nothing left";
}

} // namespace
