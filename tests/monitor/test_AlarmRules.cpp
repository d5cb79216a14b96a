// The alarm rules in the running cycle: a minutely SMTP service, failing against a closed port or
// passing against a scripted server, its alarms sent by syslog to a UDP socket of the test, the
// clock stepped a minute per tick.
#include "EngineFixture.h"

#include "core/Clock.h"
#include "core/comFunc.h"
#include "net/Socket.h"
#include "pool/ThreadPoolManager.h"
#include "support/AioSmtpd.h"
#include "support/ScriptedServer.h"

#include <QTest>
#include <QUdpSocket>

namespace {

using Col = MonitorEngine::ServiceColumn;

class AlarmRulesTest : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(syslog.bind(QHostAddress::LocalHost, 0));
        Service s;
        s.kind = "SMTP";
        s.by = "Minutely";
        s.minute = "1";
        s.port = closedPort;
        s.alarms = "\"n\",\"n\",\"n\",\"y\"";
        serviceId = addService(s);
        m_dm->ExecUpdate(
            QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                    "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                .arg(syslog.localPort()));
    }
    void TearDown() override
    {
        AppSettings.Rules = AlarmRules();
        EngineFixture::TearDown();
    }

    // A server that greets and answers EHLO, `sessions` times.
    void startPassingServer(int sessions)
    {
        const std::string me = LocalHostName();
        for (int i = 0; i < sessions; ++i) {
            if (i > 0)
                smtp.acceptNext();
            smtp.sendLine("220 mx ESMTP").expectLine("EHLO " + me).sendLine("250 mx").readRest();
        }
        smtp.start();
    }

    // One minute tick at 10:00 + `minute` with the service failing or passing; waits for its
    // result and for the alarms it sent to be delivered.
    void tick(int minute, bool passes, const char* status = nullptr)
    {
        m_dm->ExecUpdate(QString("update service set port=%1 where id=%2")
                             .arg(passes ? smtp.port() : closedPort)
                             .arg(serviceId));
        standAt(QString("2026-12-12 10:%1:00").arg(minute, 2, 10, QChar('0')).toLatin1().constData());
        if (!started) {
            startCycle();
            started = true;
        } else {
            engine->TimerServiceTimer();
        }
        const QString want = status ? status : passes ? "Passed" : "Failed";
        ASSERT_TRUE(waitFor([&] {
            return cellOf(serviceId, Col::SvcCurrentStatus).startsWith(want) &&
                   engine->ExecutingCount() == 0 && engine->Pool()->WaitingCount() == 0;
        })) << "minute "
            << minute;
    }

    // The syslog messages received so far (their text after the "<pri>TIMESTAMP HOST :" head).
    QStringList messages()
    {
        QStringList out;
        while (syslog.hasPendingDatagrams()) {
            QByteArray datagram(int(syslog.pendingDatagramSize()), '\0');
            syslog.readDatagram(datagram.data(), datagram.size());
            out << QString::fromUtf8(datagram.mid(datagram.indexOf(" :") + 2));
        }
        return out;
    }

    QUdpSocket syslog;
    ScriptedServer smtp;
    int closedPort = ScriptedServer::UnusedPort();
    int serviceId = 0;
    bool started = false;
};

TEST_F(AlarmRulesTest, OnChangeWithRemindersSendsOneProblemAndOneReminderEveryTenMinutes)
{
    AppSettings.Rules.Notify = AlarmRules::NotifyMode::OnChange;
    AppSettings.Rules.RemindMinutes = 10;
    for (int minute = 0; minute < 25; ++minute)
        tick(minute, false);
    QTest::qWait(200);
    const QStringList sent = messages();
    ASSERT_EQ(sent.size(), 3) << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[0].startsWith(QString("[127.0.0.1:%1] Failed").arg(closedPort)))
        << sent[0].toStdString();
    for (int i : {1, 2}) {
        EXPECT_TRUE(sent[i].startsWith("Reminder : " + sent[0])) << sent[i].toStdString();
        EXPECT_TRUE(sent[i].endsWith("(down since 2026-12-12 10:00)")) << sent[i].toStdString();
    }
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "25") << "every failure is recorded";
}

TEST_F(AlarmRulesTest, ThresholdThreeSendsNothingForTwoFailuresAndRecoveryFollowsAnAlarmOnly)
{
    AppSettings.Rules.FailuresBeforeAlarm = 3;
    AppSettings.Rules.Recovery = true;
    startPassingServer(2);
    tick(0, false);
    tick(1, false);
    tick(2, true);
    QTest::qWait(200);
    EXPECT_EQ(messages(), QStringList()) << "below the threshold: no alarm and no recovery";
    tick(3, false);
    tick(4, false);
    tick(5, false);
    tick(6, true);
    QTest::qWait(200);
    const QStringList sent = messages();
    ASSERT_EQ(sent.size(), 2) << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[0].contains("Failed")) << sent[0].toStdString();
    EXPECT_EQ(sent[1], QString("[127.0.0.1:%1] Recovered : passed again after 3 min").arg(smtp.port()));
}

// The window's desktop notifications follow these: one per move to failed and back, none for a
// first pass or a failure that repeats; a recovery counts once the rules call it one.
TEST_F(AlarmRulesTest, StateChangesAreSignalledOncePerChange)
{
    AppSettings.Rules.PassesBeforeRecovery = 2;
    QList<std::pair<int, bool>> changes;
    QObject::connect(engine.get(), &MonitorEngine::serviceStateChanged,
                     [&](int id, bool failed, const QString& detail) {
                         changes.append({id, failed});
                         EXPECT_TRUE(detail.startsWith("[127.0.0.1:")) << detail.toStdString();
                     });
    startPassingServer(4);
    tick(0, true);
    EXPECT_TRUE(changes.isEmpty()) << "a first pass is no change";
    tick(1, false);
    tick(2, false);
    tick(3, true);
    EXPECT_EQ(changes, (QList<std::pair<int, bool>>{{serviceId, true}})) << "one pass is not yet a recovery";
    tick(4, true);
    tick(5, true);
    EXPECT_EQ(changes, (QList<std::pair<int, bool>>{{serviceId, true}, {serviceId, false}}));
}

TEST_F(AlarmRulesTest, ARestartWhileFailedSendsNoSecondProblemAndOneRecovery)
{
    AppSettings.Rules.Notify = AlarmRules::NotifyMode::OnChange;
    AppSettings.Rules.Recovery = true;
    startPassingServer(1);
    tick(0, false);
    QTest::qWait(200);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(scalar(QString("select concat_ws('|',state,failures,problem_sent_at) from "
                             "quorvel.service_alarm_state where service_id=%1")
                         .arg(serviceId)),
              "Failed|1|2026-12-12 10:00:00");

    engine->ShutDown();
    engine->DestroyPool();
    engine = std::make_unique<MonitorEngine>();
    started = false;
    tick(1, false);
    tick(2, true);
    QTest::qWait(200);
    const QStringList sent = messages();
    ASSERT_EQ(sent.size(), 1) << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[0].contains("Recovered : passed again after 2 min")) << sent[0].toStdString();

    // Deleting the service takes its alarm state with it.
    engine->FillServiceList("ALL");
    engine->ServiceList()->setSelectedRow(engine->ServiceList()->findRow(QString::number(serviceId)));
    engine->MenuServiceDeleteClick();
    EXPECT_EQ(scalar("select count(*) from quorvel.service_alarm_state"), "0");
}

// Acknowledge stops the reminders of a failed service and is recorded; a muted service is still
// checked and stored but sends nothing, and its status cell says so until the mute ends.
TEST_F(AlarmRulesTest, AcknowledgeAndMuteFromTheServiceList)
{
    AppSettings.Rules.Notify = AlarmRules::NotifyMode::OnChange;
    AppSettings.Rules.RemindMinutes = 5;
    AppSettings.Rules.Recovery = true;
    startPassingServer(2);
    tick(0, false);
    TextTableModel* list = engine->ServiceList();
    list->setSelectedRow(list->findRow(QString::number(serviceId)));
    ASSERT_TRUE(engine->MenuServiceAcknowledgeClick());
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Failed (acknowledged)");
    EXPECT_EQ(
        scalar("select concat_ws('|',msg,service_status) from quorvel.alarm_msg_history order by id desc "
               "limit 1"),
        "Acknowledged|Failed");
    for (int minute = 1; minute <= 11; ++minute)
        tick(minute, false);
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Failed (acknowledged)")
        << "a new result keeps the mark";
    tick(12, true);
    QTest::qWait(200);
    QStringList sent = messages();
    ASSERT_EQ(sent.size(), 2) << "the problem and the recovery, no reminder: "
                              << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[1].contains("Recovered"));
    EXPECT_FALSE(engine->MenuServiceAcknowledgeClick()) << "a passing service has nothing to acknowledge";

    list->setSelectedRow(list->findRow(QString::number(serviceId)));
    engine->MenuServiceMuteClick(MonitorEngine::MuteEnd("1 hour", Now()));
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Passed (muted until 11:12)");
    tick(13, false);
    tick(14, true);
    QTest::qWait(200);
    EXPECT_EQ(messages(), QStringList()) << "muted: no problem alarm and no recovery";
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(serviceId)),
              "Passed")
        << "still checked and stored";
    engine->MenuServiceMuteClick(MonitorEngine::MuteEnd("Unmute", Now()));
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Passed");
}

// The network self-check: while the only reference host (a name of the reserved .invalid domain,
// which never resolves) fails, the service's failures are recorded as unknown and alarm nobody; once
// a reference host answers, the next failure alarms again.
TEST_F(AlarmRulesTest, FailuresWhileNoReferenceHostAnswersRaiseNoAlarm)
{
    AppSettings.PingDefaultTimeout = 300;
    AppSettings.Rules.ReferenceHosts = QStringList{"gateway.invalid"};
    tick(0, false, "Unknown");
    tick(1, false, "Unknown");
    QTest::qWait(200);
    EXPECT_EQ(messages(), QStringList()) << "no alarm while the workstation has no network";
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history where msg like "
                     "\"%] Unknown : this workstation has no network\""),
              "2")
        << "each failure is recorded with the detail";
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(serviceId)),
              "Unknown");
    EXPECT_EQ(scalar("select count(*) from quorvel.service_alarm_state where failures>0"), "0")
        << "the alarm state does not count them";

    AppSettings.Rules.ReferenceHosts = QStringList{"127.0.0.1"};
    tick(2, false);
    QTest::qWait(200);
    const QStringList sent = messages();
    ASSERT_EQ(sent.size(), 1) << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[0].startsWith(QString("[127.0.0.1:%1] Failed").arg(closedPort)))
        << sent[0].toStdString();
    const QStringList log = systemLogLines();
    EXPECT_EQ(log.filter("Network self-check").size(), 2) << log.join('\n').toStdString();
    EXPECT_EQ(
        log.filter(QRegularExpression("\\[WARMING\\].*no reference host answers \\(gateway\\.invalid\\)"))
            .size(),
        1);
    EXPECT_EQ(log.filter(QRegularExpression("\\[INFO\\].*a reference host answers again")).size(), 1);
}

TEST(MuteChoices, EndsFromNow)
{
    const QDateTime now = QDateTime::fromString("2026-12-31 22:40:00", "yyyy-MM-dd HH:mm:ss");
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"1 hour", "2026-12-31 23:40:00"},
        {"4 hours", "2027-01-01 02:40:00"},
        {"Until tomorrow 08:00", "2027-01-01 08:00:00"},
        {"Until I unmute", "9999-12-31 23:59:59"},
        {"Unmute", ""},
    };
    for (const auto& [choice, end] : cases)
        EXPECT_EQ(MonitorEngine::MuteEnd(choice, now).toString("yyyy-MM-dd HH:mm:ss"), end) << choice;
}

// ---- delivery retries, against a real SMTP server -------------------------------------------------

class DeliveryRetryTest : public AlarmRulesTest
{
protected:
    void SetUp() override
    {
        AlarmRulesTest::SetUp();
        if (IsSkipped())
            return;
        if (!AioSmtpdServer::Available())
            GTEST_SKIP() << "aiosmtpd is not installed (Debian package python3-aiosmtpd)";
        m_dm->ExecUpdate(
            "insert into contact_person (name,email,sms) values (\"Ann\",\"ann@example.com\",\"\")");
        m_dm->ExecUpdate(QString("insert into service_contact_person (service_id,contact_person_id) select "
                                 "%1,id from contact_person")
                             .arg(serviceId));
        m_dm->ExecUpdate(
            QString("update service set alarm_email=\"y\",alarm_syslog=\"n\" where id=%1").arg(serviceId));
        m_dm->ExecUpdate(
            QString(
                "insert into alarm_method (type,enable,ip,port,timeout,from_address,mail_agent,authenticate,"
                "username,password) values (\"Email\",1,\"127.0.0.1\",%1,5000,\"quorvel@example.com\","
                "\"Quorvel\",1,\"alice\",%2)")
                .arg(mailPort)
                .arg(QuoteSqlText(password)));
        TextTableModel* alarms = engine->AlarmMessageList();
        QObject::connect(alarms, &TextTableModel::rowsInserted,
                         [this, alarms](const QModelIndex&, int first) {
                             states << alarms->cell(first, MonitorEngine::AlmStatus);
                         });
        QObject::connect(alarms, &TextTableModel::dataChanged, [this, alarms](const QModelIndex& at) {
            if (at.column() == MonitorEngine::AlmStatus)
                states << alarms->cell(at.row(), at.column());
        });
    }

    int mailPort = ScriptedServer::UnusedPort();
    QString password = "s3cret";
    AioSmtpdServer mail;
    QStringList states; // every status the alarm row took, in order
};

// The mail server is away when the alarm is raised and back 15 s later: the row says "Retry 1",
// the try after 30 s delivers, and the message arrives once.
TEST_F(DeliveryRetryTest, AnAlarmWhoseServerIsAwayIsDeliveredByTheRetry)
{
    tick(0, false);
    ASSERT_TRUE(waitFor([&] { return states.contains("Retry 1"); }, 15000)) << states.join(',').toStdString();
    QTest::qWait(15000);
    ASSERT_TRUE(mail.start(mailPort, "auth")) << mail.output();
    ASSERT_TRUE(waitFor([&] { return states.last() == "Sent"; }, 40000)) << states.join(',').toStdString();
    EXPECT_EQ(states, QStringList({"Pending", "Retry 1", "Sent"}));
    EXPECT_NE(mail.kept().find("to=ann@example.com"), std::string::npos) << mail.kept();
    const QStringList log = systemLogLines();
    EXPECT_EQ(log.filter("(retry 1 of 3 in 30 s)").size(), 1) << log.join('\n').toStdString();
}

// A server that refuses the login refuses it again: "Error" at once, no retry.
TEST_F(DeliveryRetryTest, ARefusedLoginEndsAtOnce)
{
    ASSERT_TRUE(mail.start(mailPort, "auth")) << mail.output();
    m_dm->ExecUpdate("update alarm_method set password=\"wrong\" where type=\"Email\"");
    tick(0, false);
    ASSERT_TRUE(waitFor([&] { return states.contains("Error"); }, 15000)) << states.join(',').toStdString();
    QTest::qWait(500);
    EXPECT_EQ(states, QStringList({"Pending", "Error"}));
    EXPECT_EQ(mail.kept(), "");
}

} // namespace
