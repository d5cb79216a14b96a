#include "EngineFixture.h"

#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "pool/ThreadPoolManager.h"
#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

namespace {

using Col = MonitorEngine::ServiceColumn;

class ResultHandlingTest : public EngineFixture
{
protected:
    int urlService(int port, const QString& path = "/", const QString& host = "127.0.0.1")
    {
        Service s;
        s.kind = "URL";
        s.ip = QString("%1:%2%3").arg(host).arg(port).arg(path);
        s.port = 80;
        return addService(s);
    }
    QString row(int id, const char* columns)
    {
        return scalar(
            QString("select concat_ws('|',%1) from quorvel.service where id=%2").arg(columns).arg(id));
    }
};

TEST_F(ResultHandlingTest, PassingCheckWritesPassedAndRaisesNothing)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, "fine"));
    server.start();
    const int id = urlService(server.port());
    startCycle(); // the first tick runs at once: the service is due at minute 15
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Process");
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Passed"; }));
    EXPECT_EQ(row(id, "service_status"), "Passed");
    EXPECT_NE(row(id, "last_access"), "0000-00-00 00:00:00");
    EXPECT_EQ(cellOf(id, Col::SvcLastAccessed), "2026-12-12 10:15:00");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "0");
    EXPECT_FALSE(QFile::exists(AppSettings.LogDir + "AlarmMsg_2026-12-12.log"));
}

TEST_F(ResultHandlingTest, FailedCheckWithRetryIsRepeatedOnceThenLogged)
{
    AppSettings.HTTPRetry = 1;
    const int id = urlService(ScriptedServer::UnusedPort());
    // The cell's texts in order, and the alarm count when "Retry" was written.
    QStringList states;
    QString alarmsAtRetry;
    TextTableModel* list = engine->ServiceList();
    QObject::connect(list, &TextTableModel::dataChanged,
                     [&](const QModelIndex& at, const QModelIndex&, const QList<int>& roles) {
                         // Texts only: a tool tip changing on the same cell is no new state.
                         if (at.column() != Col::SvcCurrentStatus ||
                             (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)))
                             return;
                         states << list->cell(at.row(), at.column());
                         if (states.last() == "Retry")
                             alarmsAtRetry = scalar("select count(*) from quorvel.alarm_msg_history");
                     });
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }));
    EXPECT_EQ(states, QStringList({"Process", "Process", "Retry", "Failed"}));
    EXPECT_EQ(alarmsAtRetry, "0") << "no alarm for the first failure";
    EXPECT_EQ(row(id, "service_status"), "Failed");
    ASSERT_TRUE(waitFor([&] { return scalar("select count(*) from quorvel.alarm_msg_history") == "1"; }));
    const QString detail = scalar("select msg from quorvel.alarm_msg_history");
    EXPECT_TRUE(detail.startsWith("[http://127.0.0.1:")) << detail.toStdString();
    EXPECT_EQ(scalar("select concat_ws('|',service,port,service_status) from quorvel.alarm_msg_history"),
              "URL|80|Failed");
    const QByteArray line = m_tree->read("log/AlarmMsg_2026-12-12.log");
    EXPECT_TRUE(line.startsWith("2026-12-12 10:15:00 [URL] [http://127.0.0.1:")) << line.toStdString();
    EXPECT_TRUE(line.endsWith(detail.toUtf8() + "\r\n"));
}

// The pool admits every check, whatever the number waiting; a check that waits longer than its
// limit ends "Failed" with the reason (no alarm, no retry) and the next tick counts such checks in
// one warning line.
TEST_F(ResultHandlingTest, ChecksWaitForAFreeWorkerAndThoseWaitingTooLongEndFailedAndCounted)
{
    struct WaitCase
    {
        const char* name;
        int maxRunning;    // [Pool] MaxRunning
        int blocking;      // checks against a silent server, queued first
        int quick;         // checks refused at once by the peer, queued after them (the list is
                           // queued in the order of the addresses)
        int maxWaitSecs;   // the pool's waiting limit for this case
        int waitedTooLong; // of the quick ones
    };
    const WaitCase cases[] = {
        {"150 behind one running place, none refused", 1, 0, 150, 300, 0},
        {"three behind a blocking check past their wait", 1, 1, 3, 1, 3},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_dm->ExecUpdate("delete from service");
        m_dm->ExecUpdate("delete from alarm_msg_history");
        engine = std::make_unique<MonitorEngine>();
        ScriptedServer silent;
        silent.setStepTimeout(4000);
        if (c.blocking > 0)
            ExpectHttpRequest(silent).silence(3000);
        silent.start();
        AppSettings.HTTPDefaultTimeout = 2500;
        AppSettings.PoolMaxRunning = c.maxRunning;
        QVector<int> ids;
        for (int i = 0; i < c.blocking; ++i)
            ids << urlService(silent.port(), "/slow");
        for (int i = 0; i < c.quick; ++i)
            ids << urlService(ScriptedServer::UnusedPort(), QString("/%1").arg(i), "127.0.0.2");
        const int linesBefore = systemLogLines().size();
        startCycle();
        engine->Pool()->MaxQueuedTime(c.maxWaitSecs);

        ASSERT_TRUE(waitFor(
            [&] {
                for (int id : ids) {
                    if (row(id, "service_status") != "Failed")
                        return false;
                }
                return true;
            },
            30000));
        // The checks that ran each left their failure in the history; those that waited too
        // long none.
        EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history").toInt(),
                  c.blocking + c.quick - c.waitedTooLong);
        const QStringList lines = systemLogLines().mid(linesBefore);
        EXPECT_TRUE(lines.filter("Check not run").isEmpty()) << lines.join("\n").toStdString();
        if (c.waitedTooLong > 0) {
            const int last = ids.last();
            TextTableModel* list = engine->ServiceList();
            const QString tip =
                list->data(list->index(list->findRow(QString::number(last)), Col::SvcCurrentStatus),
                           Qt::ToolTipRole)
                    .toString();
            EXPECT_EQ(tip,
                      "Not checked: waited longer than 300 s for a free worker; [Pool] MaxRunning is 1.");
        }

        // The next tick, with nothing due, says how many waited too long, once.
        standAt("2026-12-12 10:16:00");
        engine->TimerServiceTimer();
        engine->TimerServiceTimer();
        const QStringList counted = systemLogLines().mid(linesBefore).filter("waited longer than");
        if (c.waitedTooLong == 0) {
            EXPECT_TRUE(counted.isEmpty()) << counted.join("\n").toStdString();
        } else {
            ASSERT_EQ(counted.size(), 1) << counted.join("\n").toStdString();
            EXPECT_TRUE(counted.first().contains(
                QString("[WARMING] %1 checks waited longer than 300 s").arg(c.waitedTooLong)))
                << counted.first().toStdString();
        }
        engine.reset();
        standAt("2026-12-12 10:15:00");
    }
}

TEST_F(ResultHandlingTest, CheckThePoolNeverRanIsNotAFailureOfTheService)
{
    // Two checks against a server that accepts and stays silent keep the only worker busy; the
    // pool lets one wait and refuses the third.
    ScriptedServer silent;
    silent.setStepTimeout(3000);
    ExpectHttpRequest(silent).silence(3000);
    silent.start();
    AppSettings.HTTPDefaultTimeout = 1500;
    startCycle();
    engine->Pool()->MaxPooled(1);
    engine->Pool()->MaxQueueLength(1);
    QVector<int> ids;
    for (int i = 0; i < 3; ++i)
        ids << urlService(i == 0 ? silent.port() : ScriptedServer::UnusedPort(), QString("/%1").arg(i));
    engine->FillServiceList("ALL");
    for (int id : ids)
        engine->QueueServiceCheck(QString::number(id), 0);

    ASSERT_TRUE(waitFor([&] { return systemLogLines().filter("Check not run").size() == 1; }));
    const QString warning = systemLogLines().filter("Check not run").first();
    EXPECT_TRUE(warning.contains("[WARMING] Check not run : URL [http://127.0.0.1:"))
        << warning.toStdString();
    EXPECT_TRUE(warning.contains("/2] [80] : Execution queue is too long.")) << warning.toStdString();
    EXPECT_EQ(cellOf(ids[2], Col::SvcCurrentStatus), "");
    EXPECT_EQ(row(ids[2], "service_status,last_access"), "Unknown|0000-00-00 00:00:00");

    ASSERT_TRUE(waitFor([&] { return cellOf(ids[1], Col::SvcCurrentStatus) == "Failed"; }));
    EXPECT_EQ(cellOf(ids[0], Col::SvcCurrentStatus), "Failed");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "2") << "only the checks that ran";
}

TEST_F(ResultHandlingTest, PoolErrorIsLogged)
{
    engine->PoolError(nullptr, -2, "Resource temporarily unavailable");
    EXPECT_TRUE(systemLogLines().last().endsWith(
        "[ERROR] ERR00401 : Alarming thread error. : Resource temporarily unavailable"));
}

TEST_F(ResultHandlingTest, AlarmLogInsertFailureEndsTheHandling)
{
    const int id = urlService(ScriptedServer::UnusedPort());
    m_dm->ExecUpdate("drop table alarm_msg_history");
    startCycle();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(AppSettings.LogDir + "AlarmMsg_2026-12-12.log"); }));
    // Give the hand-back time to finish: the row stays as the tick left it.
    waitFor([] { return false; }, 300);
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Process");
    EXPECT_EQ(row(id, "service_status"), "Unknown");
}

} // namespace
