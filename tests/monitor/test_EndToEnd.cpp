// The whole cycle: minute tick → check on the pool → hand-back → alarm log and history →
// alarms on the wire → alarm rows "Pending" to "Sent".
#include "EngineFixture.h"

#include "core/comFunc.h"
#include "net/Socket.h"
#include "support/ScriptedServer.h"

#include <QUdpSocket>

namespace {

using Col = MonitorEngine::ServiceColumn;

class EndToEndTest : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(syslog.bind(QHostAddress::LocalHost, 0));
        for (const char* email : {"a@example.com", "", "c@example.com"})
            m_dm->ExecUpdate(QString("insert into contact_person (name,email,sms) values (%1,%2,\"\")")
                                 .arg(QuoteSqlText(QString("person %1").arg(email)), QuoteSqlText(email)));
        Service s;
        s.kind = "SMTP";
        s.ip = "127.0.0.1";
        closedPort = ScriptedServer::UnusedPort();
        s.port = closedPort; // nothing listens: the check fails
        s.alarms = "\"y\",\"n\",\"n\",\"y\"";
        serviceId = addService(s);
        m_dm->ExecUpdate(QString("insert into service_contact_person (service_id,contact_person_id) select "
                                 "%1,id from contact_person")
                             .arg(serviceId));
        m_dm->ExecUpdate(
            QString("insert into alarm_method (type,enable,ip,port,timeout,from_address,mail_agent) "
                    "values (\"Email\",1,\"127.0.0.1\",%1,5000,\"quorvel@example.com\",\"Quorvel\")")
                .arg(mail.port()));
        m_dm->ExecUpdate(
            QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                    "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                .arg(syslog.localPort()));

        // Every status an alarm row takes, in order, by its Alarm Methods cell.
        TextTableModel* alarms = engine->AlarmMessageList();
        QObject::connect(alarms, &TextTableModel::rowsInserted,
                         [this, alarms](const QModelIndex&, int first) {
                             alarmStates[alarms->cell(first, MonitorEngine::AlmMethods)]
                                 << alarms->cell(first, MonitorEngine::AlmStatus);
                         });
        QObject::connect(alarms, &TextTableModel::dataChanged, [this, alarms](const QModelIndex& at) {
            if (at.column() == MonitorEngine::AlmStatus)
                alarmStates[alarms->cell(at.row(), MonitorEngine::AlmMethods)]
                    << alarms->cell(at.row(), at.column());
        });
    }

    void scriptMailServer()
    {
        const std::string host = LocalHostName();
        mail.sendLine("220 mail.example ESMTP")
            .expectLine("EHLO " + host)
            .sendLine("250 mail.example")
            .expectLine("RSET")
            .sendLine("250 OK")
            .expectLine("MAIL FROM:<quorvel@example.com>")
            .sendLine("250 OK")
            .expectLine("RCPT TO:<a@example.com>")
            .sendLine("250 OK")
            .expectLine("RCPT TO:<c@example.com>")
            .sendLine("250 OK")
            .expectLine("DATA")
            .sendLine("354 go ahead")
            .readUntil("\r\n.\r\n")
            .sendLine("250 queued")
            .readRest();
        mail.start();
    }

    QByteArray nextDatagram()
    {
        if (!syslog.hasPendingDatagrams() && !waitFor([this] { return syslog.hasPendingDatagrams(); }, 10000))
            return {};
        QByteArray datagram(int(syslog.pendingDatagramSize()), '\0');
        syslog.readDatagram(datagram.data(), datagram.size());
        return datagram;
    }

    ScriptedServer mail;
    QUdpSocket syslog;
    int serviceId = 0;
    int closedPort = 0;
    QMap<QString, QStringList> alarmStates;
};

TEST_F(EndToEndTest, FailedCheckIsLoggedStoredAndAlarmedByEmailAndSyslog)
{
    scriptMailServer();
    startCycle(); // minute 15: the service is due
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Process");
    ASSERT_TRUE(waitFor([&] {
        return alarmStates["Email"].endsWith("Sent") && alarmStates["SysLog"].endsWith("Sent");
    })) << alarmStates["Email"].join(',').toStdString()
        << " / " << alarmStates["SysLog"].join(',').toStdString();
    EXPECT_EQ(alarmStates["Email"], QStringList({"Pending", "Sent"}));
    EXPECT_EQ(alarmStates["SysLog"], QStringList({"Pending", "Sent"}));
    EXPECT_EQ(engine->AlarmMessageList()->rowCount(), 2);

    const QString detail = scalar("select msg from quorvel.alarm_msg_history");
    EXPECT_TRUE(detail.startsWith(QString("[127.0.0.1:%1] Failed:").arg(closedPort))) << detail.toStdString();
    EXPECT_EQ(
        m_tree->read("log/AlarmMsg_2026-12-12.log"),
        QString("2026-12-12 10:15:00 [SMTP] [127.0.0.1] [%1] %2\r\n").arg(closedPort).arg(detail).toUtf8());
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(serviceId)),
              "Failed");
    EXPECT_NE(scalar(QString("select last_access from quorvel.service where id=%1").arg(serviceId)),
              "0000-00-00 00:00:00");
    EXPECT_EQ(cellOf(serviceId, Col::SvcCurrentStatus), "Failed");

    ASSERT_TRUE(mail.wait());
    EXPECT_TRUE(mail.failures().empty()) << mail.failures().front();
    const std::vector<std::string> dialogue = mail.received();
    ASSERT_GE(dialogue.size(), 7u);
    const QString message = QString::fromStdString(dialogue[6]);
    EXPECT_TRUE(message.contains("From: quorvel@example.com\r\n")) << message.toStdString();
    EXPECT_TRUE(message.contains("Subject: Alarming Message\r\n"));
    EXPECT_TRUE(message.contains("To: a@example.com, c@example.com\r\n"));
    EXPECT_TRUE(message.contains("X-Mailer: Quorvel\r\n"));
    EXPECT_TRUE(message.endsWith("\r\n\r\n" + detail + "\r\n.\r\n")) << message.toStdString();

    // Facility 16 (Local Use Zero) * 8 + severity 3 (Error) = 131; the ":" rule puts one in front.
    const QByteArray datagram = nextDatagram();
    EXPECT_TRUE(datagram.startsWith("<131>")) << datagram.toStdString();
    EXPECT_TRUE(datagram.endsWith(":" + detail.toUtf8())) << datagram.toStdString();
}

TEST_F(EndToEndTest, RetryGivesNoAlarmUntilTheSecondFailure)
{
    scriptMailServer();
    AppSettings.EmailRetry = 1;
    QStringList states;
    TextTableModel* list = engine->ServiceList();
    QString alarmsAtRetry;
    QObject::connect(list, &TextTableModel::dataChanged,
                     [&](const QModelIndex& at, const QModelIndex&, const QList<int>& roles) {
                         // Texts only: a tool tip changing on the same cell is no new state.
                         if (at.column() != Col::SvcCurrentStatus ||
                             (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)))
                             return;
                         states << list->cell(at.row(), at.column());
                         if (states.last() == "Retry")
                             alarmsAtRetry = QString::number(engine->AlarmMessageList()->rowCount()) + "/" +
                                             scalar("select count(*) from quorvel.alarm_msg_history");
                     });
    startCycle();
    ASSERT_TRUE(waitFor(
        [&] { return alarmStates["Email"].endsWith("Sent") && alarmStates["SysLog"].endsWith("Sent"); }));
    EXPECT_EQ(states, QStringList({"Process", "Process", "Retry", "Failed"}));
    EXPECT_EQ(alarmsAtRetry, "0/0");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "1");
    EXPECT_FALSE(nextDatagram().isEmpty());
}

TEST_F(EndToEndTest, PassingServiceRaisesNothing)
{
    ScriptedServer smtp;
    smtp.sendLine("220 ready").readLine().sendLine("250 hello").readRest();
    smtp.start();
    m_dm->ExecUpdate(QString("update service set port=%1 where id=%2").arg(smtp.port()).arg(serviceId));
    startCycle();
    ASSERT_TRUE(waitFor([&] { return cellOf(serviceId, Col::SvcCurrentStatus) == "Passed"; }));
    EXPECT_EQ(scalar(QString("select service_status from quorvel.service where id=%1").arg(serviceId)),
              "Passed");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "0");
    EXPECT_EQ(engine->AlarmMessageList()->rowCount(), 0);
    EXPECT_FALSE(syslog.hasPendingDatagrams());
}

} // namespace
