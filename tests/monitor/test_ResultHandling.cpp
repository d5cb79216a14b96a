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
    int urlService(int port, const QString& path = "/")
    {
        Service s;
        s.kind = "URL";
        s.ip = QString("127.0.0.1:%1%2").arg(port).arg(path);
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
