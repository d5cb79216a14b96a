#include "EngineFixture.h"
#include "support/ScriptedServer.h"

#include "core/comFunc.h"
#include "pool/ThreadPoolManager.h"

#include <QSignalSpy>

namespace {

using Col = MonitorEngine::ServiceColumn;

class SchedulerTest : public EngineFixture
{
};

TEST_F(SchedulerTest, DueServicesFollowTheirScheduleAtTheClocksMinute)
{
    struct Case
    {
        const char* by;
        const char* hour;
        const char* minute;
        const char* status;
        const char* kind;
    };
    const Case services[] = {
        {"Daily", "10", "15", "Start", "Ping"},      // 0 due at 10:15
        {"Daily", "11", "15", "Start", "Ping"},      // 1
        {"Hourly", "00", "15", "Start", "Ping"},     // 2 due at every :15
        {"Hourly", "00", "16", "Start", "Ping"},     // 3
        {"Minutely", "00", "5", "Start", "Ping"},    // 4 due at :15, :00
        {"Minutely", "00", "15", "Start", "Ping"},   // 5 due at :15, :00
        {"Minutely", "00", "7", "Start", "Ping"},    // 6 due at :00, :56
        {"Minutely", "00", "0", "Start", "Ping"},    // 7 never
        {"Hourly", "00", "15", "Stop", "Ping"},      // 8 stopped: never
        {"Hourly", "00", "15", "Start", "Database"}, // 9 marked, not probed
    };
    QVector<int> ids;
    for (const Case& c : services) {
        Service s;
        s.by = c.by;
        s.hour = c.hour;
        s.minute = c.minute;
        s.status = c.status;
        s.kind = c.kind;
        s.ip = QString("10.0.0.%1").arg(ids.size());
        ids << addService(s);
    }
    const struct
    {
        const char* at;
        QVector<int> due;
    } moments[] = {
        {"2026-12-12 10:15:00", {0, 2, 4, 5, 9}},
        {"2026-12-12 11:16:00", {3}},
        {"2026-12-12 11:00:00", {4, 5, 6}},
        {"2026-12-12 11:56:00", {6}},
        {"2026-12-12 11:49:00", {6}},
        {"2026-12-12 11:50:00", {4}},
    };
    for (const auto& m : moments) {
        engine->FillServiceList("ALL");
        standAt(m.at);
        engine->TimerServiceTimer();
        for (int i = 0; i < ids.size(); ++i) {
            const bool marked = cellOf(ids[i], Col::SvcCurrentStatus) == "Process";
            EXPECT_EQ(marked, m.due.contains(i)) << m.at << " service " << i;
        }
    }
}

TEST_F(SchedulerTest, RunNowProbesAStoppedServiceAndRefusesABusyOne)
{
    Service s;
    s.kind = "URL";
    s.ip = "127.0.0.1:1/";
    s.status = "Stop";
    const int id = addService(s);
    startCycle();
    TextTableModel* list = engine->ServiceList();
    QSignalSpy selected(list, &TextTableModel::rowSelected);

    engine->MenuServiceRunNowClick(); // nothing selected: nothing happens
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Unknown");

    list->setSelectedRow(list->findRow(QString::number(id)));
    engine->MenuServiceRunNowClick();
    EXPECT_EQ(cellOf(id, Col::SvcCurrentStatus), "Process");
    engine->MenuServiceRunNowClick();
    EXPECT_EQ(m_boxes.texts(), QStringList{"This service is still under processing or retrying."});

    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }));
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(id)), "Failed");
    EXPECT_GT(selected.count(), 0);
}

// A stored "TCP" service is checked by the minute tick like the other kinds: one whose port
// accepts passes, one whose port refuses fails with the reason in the history.
TEST_F(SchedulerTest, StoredTcpServicesAreCheckedByTheCycle)
{
    ScriptedServer listener;
    listener.readRest();
    listener.start();
    Service open;
    open.kind = "TCP";
    open.port = listener.port();
    const int openId = addService(open);
    Service closed;
    closed.kind = "TCP";
    closed.port = ScriptedServer::UnusedPort();
    const int closedId = addService(closed);
    startCycle();
    ASSERT_TRUE(waitFor([&] {
        return cellOf(openId, Col::SvcCurrentStatus) == "Passed" &&
               cellOf(closedId, Col::SvcCurrentStatus) == "Failed";
    })) << cellOf(openId, Col::SvcCurrentStatus).toStdString()
        << " / " << cellOf(closedId, Col::SvcCurrentStatus).toStdString();
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(openId)),
              "Passed");
    const QString detail = scalar("select msg from quorvel.alarm_msg_history");
    EXPECT_EQ(
        detail,
        QString("[127.0.0.1:%1] Failed:cannot connect to 127.0.0.1:%1: connection refused").arg(closed.port));
}

// The options of a stored "TCP" service reach its check: the line is sent and the first reply
// must hold the expected text, so a banner that lacks it fails with what was found.
TEST_F(SchedulerTest, StoredTcpOptionsAreSentAndTheReplyCheckedByTheCycle)
{
    AppSettings.TCPRetry = 0;
    ScriptedServer pop;
    pop.sendLine("+OK ready").expectLine("CAPA").sendLine("+OK capa follows").readRest();
    pop.start();
    ScriptedServer other;
    other.sendLine("220 smtp.example ESMTP").readRest();
    other.start();
    Service good;
    good.kind = "TCP";
    good.port = pop.port();
    const int goodId = addService(good);
    Service wrong;
    wrong.kind = "TCP";
    wrong.port = other.port();
    const int wrongId = addService(wrong);
    m_dm->ExecUpdate(QString("insert into service_check_option (service_id,send_text,expect_text) values "
                             "(%1,\"CAPA\",\"+OK\"),(%2,\"\",\"SSH-2.0\")")
                         .arg(goodId)
                         .arg(wrongId));
    startCycle();
    ASSERT_TRUE(waitFor([&] {
        return cellOf(goodId, Col::SvcCurrentStatus) == "Passed" &&
               cellOf(wrongId, Col::SvcCurrentStatus) == "Failed";
    })) << cellOf(goodId, Col::SvcCurrentStatus).toStdString()
        << " / " << cellOf(wrongId, Col::SvcCurrentStatus).toStdString();
    EXPECT_TRUE(pop.wait());
    EXPECT_TRUE(pop.failures().empty()) << "the stored send text arrived as one line";
    const QString detail = scalar("select msg from quorvel.alarm_msg_history");
    EXPECT_TRUE(detail.contains("\"SSH-2.0\" not found in the reply") && detail.contains("220 smtp.example"))
        << detail.toStdString();
}

// A stored "Certificate" service reaches its check with its STARTTLS mode: the SMTP dialogue
// is held first, and a server that does not offer the switch fails with that reason.
TEST_F(SchedulerTest, StoredCertificateServiceSwitchesAsItsOptionSays)
{
    AppSettings.CertRetry = 0;
    ScriptedServer smtp;
    smtp.sendLine("220 mail ready").readLine().sendLine("250 mail").readRest();
    smtp.start();
    Service cert;
    cert.kind = "Certificate";
    cert.port = smtp.port();
    const int id = addService(cert);
    m_dm->ExecUpdate(
        QString("insert into service_check_option (service_id,starttls) values (%1,\"smtp\")").arg(id));
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }))
        << cellOf(id, Col::SvcCurrentStatus).toStdString();
    EXPECT_TRUE(smtp.wait());
    ASSERT_FALSE(smtp.received().empty());
    EXPECT_EQ(smtp.received().front().rfind("EHLO ", 0), 0u);
    EXPECT_EQ(scalar("select msg from quorvel.alarm_msg_history"),
              QString("[127.0.0.1:%1] Failed:the server does not offer STARTTLS").arg(smtp.port()));
}

// Rows of a kind this build does not know (written by another build) are listed, skipped with
// one warning per kind and tick, and keep no other service from being checked.
TEST_F(SchedulerTest, UnknownKindsAreListedSkippedAndWarnedOncePerKindAndTick)
{
    ScriptedServer listener;
    listener.readRest();
    listener.start();
    Service tcp;
    tcp.kind = "TCP";
    tcp.port = listener.port();
    const int tcpId = addService(tcp);
    QVector<int> unknown;
    for (const char* kind : {"Kafka", "Kafka", "Redis"}) {
        Service s;
        s.kind = kind;
        s.port = 9092;
        unknown << addService(s);
    }
    Service database;
    database.kind = "Database";
    addService(database);

    startCycle(); // the first tick
    engine->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] { return cellOf(tcpId, Col::SvcCurrentStatus) == "Passed"; }))
        << cellOf(tcpId, Col::SvcCurrentStatus).toStdString();

    TextTableModel* list = engine->ServiceList();
    for (int id : unknown)
        EXPECT_GE(list->findRow(QString::number(id)), 0) << id;
    EXPECT_EQ(cellOf(unknown[2], Col::SvcService), "Redis");

    const QStringList log = systemLogLines();
    const QStringList kafka = log.filter("the service kind \"Kafka\" is not known");
    const QStringList redis = log.filter("the service kind \"Redis\" is not known");
    ASSERT_EQ(kafka.size(), 2) << log.join('\n').toStdString();
    EXPECT_EQ(redis.size(), 2) << log.join('\n').toStdString();
    EXPECT_TRUE(kafka.first().contains("[WARMING] Scheduler: the service kind \"Kafka\" is not known to this "
                                       "program; 2 due service(s) of it not checked"))
        << kafka.first().toStdString();
    EXPECT_TRUE(log.filter("\"Database\"").isEmpty()) << "a Database row is never probed, nor warned about";
    EXPECT_TRUE(log.filter("[ERROR]").isEmpty()) << log.join('\n').toStdString();
}

TEST_F(SchedulerTest, WeeklyWindowSwitchesSchedulingByTheCurrentCell)
{
    AppSettings.InitStart = false;
    startCycle();
    EXPECT_FALSE(engine->SchedulingRuns());
    EXPECT_TRUE(engine->CycleEnabled()) << "InitStart off still lets the window start scheduling";

    standAt("2026-12-12 10:15:00"); // Saturday, hour 10
    engine->TimerTimer();
    EXPECT_TRUE(engine->SchedulingRuns());

    m_dm->ExecUpdate("update scheduling set sat=\"no\" where schedule_time=10");
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns());
    EXPECT_TRUE(engine->SchedulingStopped());

    m_dm->ExecUpdate("update scheduling set sat=\"maybe\" where schedule_time=10");
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns()) << "other texts change nothing";
    engine->SetScheduling(true);
    engine->TimerTimer();
    EXPECT_TRUE(engine->SchedulingRuns());

    // Stop keeps scheduling off across "yes" hours; Start in a "no" hour is undone by the window.
    m_dm->ExecUpdate("update scheduling set sat=\"yes\" where schedule_time=10");
    engine->ActionStopExecute();
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns());
    m_dm->ExecUpdate("update scheduling set sat=\"no\" where schedule_time=10");
    engine->ActionStartExecute();
    EXPECT_TRUE(engine->SchedulingRuns());
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns());

    // No row for the hour reads "no".
    m_dm->ExecUpdate("update scheduling set sat=\"yes\" where schedule_time=10");
    m_dm->ExecUpdate("delete from scheduling where schedule_time=10");
    engine->SetScheduling(true);
    engine->TimerTimer();
    EXPECT_FALSE(engine->SchedulingRuns());

    const QStringList log = systemLogLines();
    EXPECT_TRUE(log.last().endsWith("[INFO] Service scheduling stops."));
    EXPECT_GT(log.filter("Service scheduling starts.").size(), 1);
}

TEST_F(SchedulerTest, LoginPendingOpensTheLoginDialogInsteadOfStarting)
{
    // A start-up that reaches no server: both connection attempts fail, TimerInit is armed.
    AppSettings.DBPort = QString::number(ScriptedServer::UnusedPort());
    engine->StartUp();
    EXPECT_TRUE(engine->LoginPending());
    EXPECT_TRUE(engine->StartArmed());
    EXPECT_EQ(engine->StartDelay(), 3000);
    QSignalSpy login(engine.get(), &MonitorEngine::loginRequested);
    engine->TimerInitTimer();
    EXPECT_EQ(login.count(), 1);
    EXPECT_FALSE(engine->StartArmed());
    EXPECT_EQ(engine->Pool(), nullptr);
}

TEST_F(SchedulerTest, ListsFilterDeleteAndSort)
{
    Service a;
    a.kind = "SMTP";
    a.ip = "mail.example";
    a.port = 25;
    const int smtp = addService(a);
    a.kind = "POP3";
    a.port = 110;
    addService(a);
    a.kind = "URL";
    a.ip = "http://web.example/path?q=1";
    a.port = 0;
    a.by = "Minutely";
    a.minute = "10";
    const int url = addService(a);
    a.kind = "Ping";
    a.ip = "other.example";
    a.by = "Daily";
    a.hour = "07";
    a.minute = "30";
    addService(a);
    m_dm->ExecUpdate(QString("insert into service_url (service_id,referer) values (%1,\"r\")").arg(url));
    m_dm->ExecUpdate(
        QString("insert into service_url_detail (service_id,fieldname,fieldvalue) values (%1,\"a\",\"b\")")
            .arg(url));
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,1),(%2,1)")
            .arg(url)
            .arg(smtp));

    TextTableModel* list = engine->ServiceList();
    engine->FillHostTree();
    EXPECT_EQ(engine->HostTree()->stringList(),
              QStringList({"ALL", "mail.example", "other.example", "web.example"}));

    engine->FillServiceList("Email");
    EXPECT_EQ(list->rowCount(), 2);
    engine->FillServiceList("web.example");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->rowTexts(0).mid(1),
              QStringList({"URL", "web.example/path?q=1", "---", "Unknown", "0000-00-00 00:00:00", "Minutely",
                           "every 10 min", "Start"}));
    engine->FillServiceList("ALL");
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_EQ(cellOf(smtp, Col::SvcInterval), "on 15 min");
    EXPECT_EQ(list->cell(2, Col::SvcInterval), "on 07:30") << "ordered by the ip shown";
    EXPECT_EQ(list->cell(3, Col::SvcService), "URL");
    EXPECT_EQ(cellOf(smtp, Col::SvcPort), "25");

    // Sorting: ascending, then descending on the same column; the alarm list shares the flags.
    const auto ordered = [list](int column, bool descending) {
        for (int r = 1; r < list->rowCount(); ++r) {
            const int c = QString::localeAwareCompare(list->cell(r - 1, column), list->cell(r, column));
            if (descending ? c < 0 : c > 0)
                return false;
        }
        return true;
    };
    engine->SortServiceList(Col::SvcService);
    EXPECT_TRUE(ordered(Col::SvcService, false));
    engine->SortServiceList(Col::SvcService);
    EXPECT_TRUE(ordered(Col::SvcService, true));
    EXPECT_EQ(list->cell(0, Col::SvcService), "URL");
    TextTableModel* alarms = engine->AlarmMessageList();
    alarms->insertTopRow({"1", "t", "b", "a", "x", "Pending"});
    alarms->insertTopRow({"2", "t", "a", "b", "x", "Pending"});
    alarms->insertTopRow({"3", "t", "c", "a", "x", "Pending"});
    engine->SortAlarmList(MonitorEngine::AlmMessage); // position 2 was never sorted: ascending
    EXPECT_EQ(alarms->cell(0, 0) + alarms->cell(1, 0) + alarms->cell(2, 0), "213");
    engine->SortServiceList(Col::SvcPort);
    engine->SortAlarmList(MonitorEngine::AlmMethods); // position 3 was used once by the service list
    EXPECT_EQ(alarms->cell(0, 0), "2") << "descending";

    // Stop and Start from the context menu, then Delete with the dependent rows.
    engine->FillServiceList("web.example");
    list->setSelectedRow(0);
    engine->MenuServiceStopClick();
    EXPECT_EQ(list->cell(0, Col::SvcStatus), "Stop");
    EXPECT_EQ(scalar(QString("select status from quorvel.service where id=%1").arg(url)), "Stop");
    engine->MenuServiceDeleteClick();
    EXPECT_EQ(list->rowCount(), 0) << "refilled with the remembered filter";
    EXPECT_EQ(engine->CurrentFilter(), "web.example");
    EXPECT_EQ(scalar("select count(*) from quorvel.service_url"), "0");
    EXPECT_EQ(scalar("select count(*) from quorvel.service_url_detail"), "0");
    EXPECT_EQ(scalar("select count(*) from quorvel.service_contact_person"), "1");
    EXPECT_EQ(scalar("select count(*) from quorvel.service"), "3");
    EXPECT_FALSE(engine->HostTree()->stringList().contains("web.example"));
}

// An https address is listed whole, even with an http address in its query; the host tree names
// its host. Everything else is listed as before: the text after the last "http://".
TEST_F(SchedulerTest, HttpsAddressIsListedWholeUnderItsHost)
{
    Service s;
    s.kind = "URL";
    s.ip = "https://secure.example/login?next=http://other.example/";
    const int secure = addService(s);
    s.ip = "http://secure.example/plain";
    const int plain = addService(s);
    s.ip = "HTTPS://Second.example";
    addService(s);
    s.ip = "x?to=http://third.example/y";
    const int third = addService(s);
    engine->FillHostTree();
    EXPECT_EQ(engine->HostTree()->stringList(),
              QStringList({"ALL", "Second.example", "secure.example", "third.example"}));
    engine->FillServiceList("ALL");
    EXPECT_EQ(cellOf(secure, Col::SvcIp), "https://secure.example/login?next=http://other.example/");
    EXPECT_EQ(cellOf(plain, Col::SvcIp), "secure.example/plain");
    EXPECT_EQ(cellOf(third, Col::SvcIp), "third.example/y");
    engine->FillServiceList("secure.example");
    EXPECT_EQ(engine->ServiceList()->rowCount(), 2);
    engine->FillServiceList("Second.example");
    ASSERT_EQ(engine->ServiceList()->rowCount(), 1);
    EXPECT_EQ(engine->ServiceList()->cell(0, Col::SvcIp), "HTTPS://Second.example");
}

TEST_F(SchedulerTest, HostileStoredTextIsProbedLoggedAndStoredExactly)
{
    Service s;
    s.kind = "URL";
    s.ip = "127.0.0.1:1/x\"); drop table service; --\\";
    const int id = addService(s);
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(id, Col::SvcCurrentStatus) == "Failed"; }));
    EXPECT_EQ(scalar("select ip from quorvel.alarm_msg_history"), "http://" + s.ip);
    EXPECT_EQ(scalar("select ip from quorvel.service"), s.ip);
    EXPECT_EQ(scalar("select service_status from quorvel.service"), "Failed");
    engine->FillServiceList(s.ip.section('/', 0, 0));
    EXPECT_EQ(engine->ServiceList()->rowCount(), 1);
}

} // namespace
