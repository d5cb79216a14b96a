// The monitoring cycle under faults: a database restart, a failing query, a list filtered to
// another kind, a log folder that cannot be written, a closing window while items still run.
#include "EngineFixture.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "pool/ThreadPoolManager.h"
#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

using Col = MonitorEngine::ServiceColumn;

class EngineFaultsTest : public EngineFixture
{
protected:
    int urlService(int port, const QString& by = "Hourly", const QString& minute = "15")
    {
        Service s;
        s.kind = "URL";
        s.ip = QString("127.0.0.1:%1/").arg(port);
        s.port = 80;
        s.by = by;
        s.minute = minute;
        return addService(s);
    }
    QString status(int id) const
    {
        return scalar(QString("select service_status from quorvel.service where id=%1").arg(id));
    }
    int lines(const QString& text) const { return systemLogLines().filter(text).size(); }
};

// Shows a "box" by running the owner's event loop until `until` holds (at most 10 s), as a
// modal message box does.
class ModalRecorder : public RecordingNotifier
{
public:
    void show(Kind kind, const QString& text) override
    {
        RecordingNotifier::show(kind, text);
        ++open;
        QElapsedTimer timer;
        timer.start();
        while ((!until || !until()) && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        --open;
    }
    std::function<bool()> until;
    int open = 0;
};

// ---- database restart ------------------------------------------------------------------------

// A MariaDB server of the test's own, which it stops and starts again.
class PrivateServer
{
public:
    explicit PrivateServer(const QString& dir) : m_dir(dir), m_port(ScriptedServer::UnusedPort()) {}
    ~PrivateServer() { run({"stop", m_dir}); }

    static QString script()
    {
        QDir dir(QCoreApplication::applicationDirPath());
        for (int up = 0; up < 5; ++up) {
            if (QFileInfo(dir.filePath("scripts/db-server.sh")).isFile())
                return dir.filePath("scripts/db-server.sh");
            if (!dir.cdUp())
                break;
        }
        return QString();
    }
    bool start() { return run({"start", m_dir, QString::number(m_port)}); }
    bool stop() { return run({"stop", m_dir}); }
    int port() const { return m_port; }

private:
    bool run(const QStringList& arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("bash", QStringList{script()} + arguments);
        const bool ok = p.waitForFinished(180000) && p.exitCode() == 0;
        if (!ok)
            ADD_FAILURE() << p.readAll().toStdString();
        return ok;
    }
    QString m_dir;
    int m_port;
};

TEST_F(EngineFaultsTest, MonitoringGoesOnThroughADatabaseRestart)
{
    if (PrivateServer::script().isEmpty() || QStandardPaths::findExecutable("mariadbd").isEmpty())
        GTEST_SKIP() << "needs scripts/db-server.sh and mariadbd";
    PrivateServer server(m_tree->file("db-restart"));
    ASSERT_TRUE(server.start());
    // The engine's connection goes to the private server from now on.
    engine.reset();
    AppSettings.DBPort = QString::number(server.port());
    ASSERT_TRUE(m_dm->ConnectDatabase(true));
    m_dm->CreateDatabaseAndTables();
    engine = std::make_unique<MonitorEngine>();
    // A check that takes a second (the server is silent), due every minute.
    ScriptedServer silent;
    silent.silence(60000);
    silent.start();
    AppSettings.HTTPDefaultTimeout = 1000;
    urlService(silent.port(), "Minutely", "1");
    QSqlQuery& last = m_dm->ExecSelect("select max(id) from service"); // on the private server
    ASSERT_TRUE(last.next());
    const int id = last.value(0).toInt();

    startCycle(); // tick at 10:15 queues the check
    ASSERT_TRUE(server.stop());
    // The check comes back while the server is away: the loss is reported once, and so is the
    // result that cannot be stored.
    ASSERT_TRUE(waitFor([&] { return lines("Result not stored : URL") == 1; }, 20000))
        << systemLogLines().join('\n').toStdString();
    EXPECT_TRUE(engine->DatabaseLost());
    standAt("2026-12-12 10:16:00");
    engine->TimerServiceTimer();
    standAt("2026-12-12 10:17:00");
    engine->TimerServiceTimer();
    EXPECT_EQ(lines("[ERROR] Database connection lost : "), 1);

    ASSERT_TRUE(server.start());
    standAt("2026-12-12 10:18:00");
    engine->TimerServiceTimer();
    EXPECT_FALSE(engine->DatabaseLost());
    EXPECT_EQ(lines("[INFO] Database connection is back."), 1);
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Process")
        << "the tick after the return checks what is due\n"
        << systemLogLines().join('\n').toStdString();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }, 20000));
    {
        QSqlDatabase own = QSqlDatabase::addDatabase("QMYSQL", "restart-check");
        own.setHostName("127.0.0.1");
        own.setPort(server.port());
        own.setUserName("root");
        ASSERT_TRUE(own.open());
        QSqlQuery q(own);
        ASSERT_TRUE(q.exec(QString("select service_status, last_access > '2000-01-01' from quorvel.service "
                                   "where id=%1")
                               .arg(id)) &&
                    q.next());
        EXPECT_EQ(q.value(0).toString(), "Failed");
        EXPECT_EQ(q.value(1).toInt(), 1);
    }
    QSqlDatabase::removeDatabase("restart-check");
    const QStringList log = systemLogLines();
    EXPECT_EQ(log.filter("Database connection lost").size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("ERR00101").size(), 0) << "the tries to reconnect are quiet";
    EXPECT_EQ(log.filter("Driver not loaded").size(), 0);
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
    engine.reset();
}

TEST_F(EngineFaultsTest, UnattendedStartWithoutTheDatabaseWaitsForItAtEveryTick)
{
    const int id = urlService(ScriptedServer::UnusedPort(), "Minutely", "1");
    const QString port = AppSettings.DBPort;
    AppSettings.DBPort = QString::number(ScriptedServer::UnusedPort()); // nothing answers there
    QSignalSpy login(engine.get(), &MonitorEngine::loginRequested);
    QSignalSpy started(engine.get(), &MonitorEngine::cycleStarted);
    engine->SetUnattended(true);
    engine->StartUp();
    EXPECT_FALSE(engine->LoginPending());
    EXPECT_TRUE(engine->DatabaseLost());
    engine->TimerInitTimer();
    EXPECT_EQ(login.count(), 0) << "nobody is there to log in";
    EXPECT_EQ(started.count(), 1);
    EXPECT_TRUE(engine->SchedulingRuns());
    for (const char* minute : {"2026-12-12 10:16:00", "2026-12-12 10:17:00"}) {
        standAt(minute);
        engine->TimerServiceTimer();
        engine->TimerTimer();
        engine->TimerHouseKeepTimer();
    }
    EXPECT_EQ(lines("[ERROR]"), 1) << systemLogLines().join('\n').toStdString();
    EXPECT_EQ(lines("[ERROR] ERR00101"), 1);
    EXPECT_EQ(lines("[INFO] Application starts."), 1);
    EXPECT_EQ(engine->ServiceList()->rowCount(), 0);

    AppSettings.DBPort = port; // the server answers from now on
    standAt("2026-12-12 10:18:00");
    engine->TimerServiceTimer();
    EXPECT_FALSE(engine->DatabaseLost());
    EXPECT_EQ(lines("[INFO] Database connection is back."), 1);
    EXPECT_EQ(engine->ServiceList()->rowCount(), 1) << "the list is filled once the database answers";
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Process") << "that tick checks what is due";
    ASSERT_TRUE(waitFor([&] {
        return scalar(QString("select service_status from quorvel.service where id=%1").arg(id)) == "Failed";
    }));
    EXPECT_EQ(lines("[ERROR]"), 1) << systemLogLines().join('\n').toStdString();
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
}

// ---- scheduler ---------------------------------------------------------------------------------

TEST_F(EngineFaultsTest, StartWhileSchedulingRunsKeepsTheMinuteRhythm)
{
    startCycle();
    ASSERT_TRUE(engine->SchedulingRuns());
    QTest::qWait(400);
    const int before = engine->MinuteTickRemainingMs();
    engine->ActionStartExecute();
    EXPECT_TRUE(engine->SchedulingRuns());
    // A minute timer started again would count a whole interval from now; one left running only
    // counts down. (The interval's end may lie a little beyond 60 s, as the system aligns timers.)
    EXPECT_LE(engine->MinuteTickRemainingMs(), before) << "the running minute timer was started again";
}

TEST_F(EngineFaultsTest, FailingRequestDataQueryQueuesNothingAndEndsTheTick)
{
    const int url = urlService(ScriptedServer::UnusedPort());
    Service ping;
    const int other = addService(ping);
    m_dm->ExecUpdate("rename table service_url to service_url_gone");
    startCycle();
    QTest::qWait(300);
    EXPECT_EQ(cellOf(url, Col::SvcCurrentStatus), "Unknown");
    EXPECT_EQ(cellOf(other, Col::SvcCurrentStatus), "Unknown") << "the tick ended";
    EXPECT_EQ(engine->Pool()->WaitingCount() + engine->Pool()->RunningCount(), 0);
    EXPECT_EQ(lines("[ERROR] Scheduler: reading the request data of the due URL services : "), 1)
        << systemLogLines().join('\n').toStdString();
    m_dm->ExecUpdate("rename table service_url_gone to service_url");
}

// ---- results whatever the list shows -------------------------------------------------------------

TEST_F(EngineFaultsTest, ResultsAreStoredAndRetriedWhateverTheListShows)
{
    ScriptedServer web;
    ExpectHttpRequest(web).send(HttpAnswer("HTTP/1.1 200 OK", {}, "fine"));
    web.start();
    AppSettings.HTTPRetry = 1;
    AppSettings.EmailRetry = 1;
    const int passing = urlService(web.port());
    Service smtp;
    smtp.kind = "SMTP";
    smtp.port = ScriptedServer::UnusedPort(); // refused: fails, is retried, fails again
    const int failing = addService(smtp);
    startCycle();
    engine->FillServiceList("Ping"); // neither service is listed
    ASSERT_TRUE(waitFor([&] { return status(passing) == "Passed"; }));
    ASSERT_TRUE(waitFor([&] { return scalar("select count(*) from quorvel.alarm_msg_history") == "1"; }));
    EXPECT_EQ(status(failing), "Failed");
    EXPECT_EQ(scalar("select concat_ws('|',service,service_status) from quorvel.alarm_msg_history"),
              "SMTP|Failed")
        << "the retried check failed a second time and was logged";
    EXPECT_EQ(engine->ServiceList()->rowCount(), 0);

    // A service added while the program runs gets its result at the next tick.
    const int added = urlService(web.port(), "Hourly", "16");
    web.stop();
    standAt("2026-12-12 10:16:00");
    engine->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] { return status(added) == "Failed"; }));
    EXPECT_NE(scalar(QString("select last_access from quorvel.service where id=%1").arg(added)),
              "0000-00-00 00:00:00");
}

TEST_F(EngineFaultsTest, AFailedStatusCellCarriesTheResultDetailAsToolTip)
{
    const int id = urlService(ScriptedServer::UnusedPort());
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }));
    TextTableModel* list = engine->ServiceList();
    const QModelIndex cell = list->index(list->findRow(QString::number(id)), Col::SvcCurrentStatus);
    const QString detail = scalar("select msg from quorvel.alarm_msg_history");
    EXPECT_TRUE(detail.startsWith("[http://127.0.0.1:")) << detail.toStdString();
    EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), detail);
    EXPECT_FALSE(list->index(cell.row(), Col::SvcIp).data(Qt::ToolTipRole).isValid()) << "no tip of its own";
    // The list filled again keeps it; a new check ("Process") takes it away.
    engine->FillServiceList("ALL");
    EXPECT_EQ(list->index(list->findRow(QString::number(id)), Col::SvcCurrentStatus).data(Qt::ToolTipRole),
              detail);
    engine->QueueServiceCheck(QString::number(id), 0);
    EXPECT_FALSE(list->index(list->findRow(QString::number(id)), Col::SvcCurrentStatus)
                     .data(Qt::ToolTipRole)
                     .isValid());
}

// ---- a log folder that cannot be written ---------------------------------------------------------

TEST_F(EngineFaultsTest, AnUnwritableAlarmLogGivesOneBoxWhileResultsKeepFlowing)
{
    ModalRecorder boxes;
    AppSettings.AlarmMsgFilePath = m_tree->file("no/such/folder/");
    QList<int> ids;
    for (int i = 0; i < 4; ++i)
        ids << urlService(ScriptedServer::UnusedPort());
    // While the box (opened by the first failure's file write) is up, the other results are
    // handed back and stored; the first one's row follows when the box is closed.
    boxes.until = [&] {
        return scalar("select count(*) from quorvel.alarm_msg_history") == QString::number(ids.size() - 1);
    };
    startCycle();
    ASSERT_TRUE(waitFor([&] { return boxes.boxes.size() == 1 && boxes.open == 0; }));
    EXPECT_TRUE(boxes.texts().first().startsWith("ERR00206 : Alarm log backup error. : "));
    for (int id : ids)
        EXPECT_EQ(status(id), "Failed");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "4");

    // A later run of failures shows the box again only after a write has succeeded.
    const int later = urlService(ScriptedServer::UnusedPort(), "Hourly", "16");
    standAt("2026-12-12 10:16:00");
    engine->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] { return status(later) == "Failed"; }));
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(lines("Handling a finished work item"), 0);
}

// ---- log lines ---------------------------------------------------------------------------------

// Server replies reach both logs through result details; none can start a line of its own.
TEST_F(EngineFaultsTest, NoPeerCanForgeALogLine)
{
    const std::string forged = "2026-12-12 10:15:00 [INFO] forged";
    ScriptedServer service;
    service.send("554 busy\r" + forged + "\r\n").readRest();
    service.start();
    ScriptedServer mail;
    mail.send("421 down\r" + forged + "\r\n").readRest();
    mail.start();
    Service s;
    s.kind = "SMTP";
    s.ip = "127.0.0.1\r\n" + QString::fromStdString(forged); // a stored text can carry them too
    s.port = service.port();
    s.alarms = "\"y\",\"n\",\"n\",\"n\"";
    const int id = addService(s);
    m_dm->ExecUpdate("insert into contact_person (name,email,sms) values (\"p\",\"p@example.com\",\"\")");
    m_dm->ExecUpdate(QString("insert into service_contact_person (service_id,contact_person_id) select %1,id "
                             "from contact_person")
                         .arg(id));
    m_dm->ExecUpdate(QString("insert into alarm_method (type,enable,ip,port,timeout,from_address) values "
                             "(\"Email\",1,\"127.0.0.1\",%1,3000,\"q@example.com\")")
                         .arg(mail.port()));
    startCycle();
    ASSERT_TRUE(waitFor([&] { return lines("Alarming Message - SMTP : error") == 1; }))
        << systemLogLines().join('\n').toStdString();
    const QStringList alarmLog =
        QString::fromUtf8(m_tree->read("log/AlarmMsg_2026-12-12.log")).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(alarmLog.size(), 1) << alarmLog.join('|').toStdString();
    EXPECT_TRUE(
        alarmLog[0].startsWith("2026-12-12 10:15:00 [SMTP] [127.0.0.1  " + QString::fromStdString(forged)));
    const QByteArray system = m_tree->read("log/system_2026-12-12.log");
    EXPECT_EQ(system.count('\r'), system.count('\n')) << "every line ends in CR LF, nothing else breaks it";
    for (const QString& line : systemLogLines())
        EXPECT_FALSE(line.startsWith(QString::fromStdString(forged))) << line.toStdString();
    EXPECT_EQ(lines(QString::fromStdString(forged)), 1) << "inside the alarm's error line, as text";
}

// ---- closing ------------------------------------------------------------------------------------

TEST_F(EngineFaultsTest, ClosingStoresTheResultsOfRunningItemsThenStopsScheduling)
{
    // A check that is still running when the window closes: its result is stored first.
    ScriptedServer slow;
    ExpectHttpRequest(slow).pause(700).send(HttpAnswer("HTTP/1.1 200 OK", {}, "late"));
    slow.start();
    const int id = urlService(slow.port());
    startCycle();
    ASSERT_TRUE(waitFor([&] { return engine->ExecutingCount() == 1; }));
    QSignalSpy wait(engine.get(), &MonitorEngine::closingWait);
    int turns = 0;
    QTimer turning;
    QObject::connect(&turning, &QTimer::timeout, [&] { ++turns; });
    turning.start(20);
    engine->ShutDown();
    EXPECT_GT(turns, 5) << "the event loop kept turning during the wait";
    ASSERT_EQ(wait.count(), 2);
    EXPECT_TRUE(wait[0][0].toBool());
    EXPECT_FALSE(wait[1][0].toBool());
    EXPECT_EQ(status(id), "Passed");
    EXPECT_FALSE(engine->SchedulingRuns());
    // Nothing new runs afterwards.
    engine->TimerServiceTimer();
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Passed");
    engine->DestroyPool();
    const QStringList log = systemLogLines();
    EXPECT_TRUE(log.last().endsWith("[INFO] Service scheduling stops.")) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("Check not run").size(), 0);
}

} // namespace
