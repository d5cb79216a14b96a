// The service editor driven through its widgets against the test database: the list, loading,
// saving with a change of kind, deleting, and the failures that must leave the rows as they were.
#include "ServiceDialogFixture.h"

#include "core/langLibrary.h"
#include "gui/dialogs/FrameCert.h"
#include "gui/dialogs/FrameDNS.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameTCP.h"
#include "gui/dialogs/FrameURL.h"
#include "gui/dialogs/updateScheduling.h"
#include "monitor/MonitorEngine.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

namespace {

using Kind = Notifier::Kind;
using Col = TFormUpdateScheduling::Column;

class ServiceEditor : public ServiceDialogFixture
{
protected:
    // A service row with the given columns (names and their SQL values).
    int insertService(const QString& columns, const QString& values)
    {
        m_dm->ExecUpdate(QString("insert into service (%1) values (%2)").arg(columns, values));
        return static_cast<int>(m_dm->LastInsertId());
    }

    int addPing(const QString& ip, int port = 0)
    {
        return insertService(
            "service,ip,port,schedule_by,schedule_hour,schedule_minute",
            QString("\"Ping\",%1,%2,\"Hourly\",\"00\",\"15\"").arg(QuoteSqlText(ip)).arg(port));
    }

    int addUrl(const QString& ip)
    {
        const int id =
            insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute,url_method",
                          QString("\"URL\",%1,80,\"Daily\",\"07\",\"30\",\"Post\"").arg(QuoteSqlText(ip)));
        m_dm->ExecUpdate(
            QString("insert into service_url (service_id,userAgent,accept) values (%1,\"UA\",\"*/*\")")
                .arg(id));
        for (const char* field : {"A", "B"})
            m_dm->ExecUpdate(QString("insert into service_url_detail (service_id,fieldname,fieldvalue) "
                                     "values (%1,\"%2\",\"v\")")
                                 .arg(id)
                                 .arg(field));
        return id;
    }

    // Opens the editor through the main window's Update Service with the row of `id` selected.
    TFormUpdateScheduling* openOn(int id)
    {
        window->FillServiceList("ALL");
        TextTableModel* list = window->Engine()->ServiceList();
        list->setSelectedRow(list->findRow(QString::number(id)));
        return openEditor();
    }

    void clickListRow(TFormUpdateScheduling* editor, int id)
    {
        QTreeWidget* list = editor->ListViewService;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(Col::ColId) == QString::number(id)) {
                const QRect r = list->visualItemRect(list->topLevelItem(i));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
                return;
            }
        }
        FAIL() << "no row for " << id;
    }

    void clickHeader(TFormUpdateScheduling* editor, int column)
    {
        QHeaderView* header = editor->ListViewService->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // "name|Is" of every ticked contact row.
    static QStringList ticked(TFormUpdateScheduling* editor)
    {
        QStringList out;
        QTreeWidget* list = editor->Inputs().Contacts->ListViewContact;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
                out << list->topLevelItem(i)->text(0) + "|" + list->topLevelItem(i)->text(1);
        }
        return out;
    }
};

// ---- the list ------------------------------------------------------------------------------------

// The editor lists addresses as the main window does: an https address whole (in any letter case),
// even when its query names an http address; an http one from after "http://".
TEST_F(ServiceEditor, ListShowsAnHttpsAddressWholeAsTheMainWindowDoes)
{
    insertService("service,ip,port",
                  "\"URL\",\"https://secure.example/login?next=http://other.example/\",443");
    insertService("service,ip,port", "\"URL\",\"HTTPS://Upper.example/\",443");
    insertService("service,ip,port", "\"URL\",\"http://plain.example/x\",80");
    TFormUpdateScheduling* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(rows(editor->ListViewService, Col::ColIp),
              (QStringList{"https://secure.example/login?next=http://other.example/",
                           "HTTPS://Upper.example/", "plain.example/x"}));
}

TEST_F(ServiceEditor, ListShowsIntervalsAlarmMethodsPortsAndAddressesAndSortsNumbersAsNumbers)
{
    insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute,alarm_email,alarm_syslog",
                  "\"URL\",\"http://www.example.com/path\",8080,\"Daily\",\"07\",\"30\",\"y\",\"y\"");
    insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute",
                  "\"Ping\",\"a.example\",0,\"Hourly\",\"00\",\"15\"");
    insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute,status,alarm_smpp,alarm_httpsms",
                  "\"SMTP\",\"b.example\",25,\"Minutely\",\"00\",\"10\",\"Stop\",\"y\",\"y\"");
    insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute",
                  "\"FTP\",\"c.example\",443,\"Minutely\",\"00\",\"5\"");
    TFormUpdateScheduling* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle(), "Update Services");
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::SelectServiceForUpdate));
    QTreeWidget* list = editor->ListViewService;
    EXPECT_TRUE(list->isColumnHidden(Col::ColId));
    EXPECT_EQ(rows(list, Col::ColIp),
              (QStringList{"a.example", "b.example", "c.example", "www.example.com/path"}));
    EXPECT_EQ(rows(list, Col::ColService), (QStringList{"Ping", "SMTP", "FTP", "URL"}));
    EXPECT_EQ(rows(list, Col::ColPort), (QStringList{"---", "25", "443", "8080"}));
    EXPECT_EQ(rows(list, Col::ColBy), (QStringList{"Hourly", "Minutely", "Minutely", "Daily"}));
    EXPECT_EQ(rows(list, Col::ColInterval),
              (QStringList{"on 15 min", "every 10 min", "every 5 min", "on 07:30"}));
    EXPECT_EQ(rows(list, Col::ColAlarmMethods), (QStringList{"", "SMS/SMS by HTTP", "", "Email/SysLog"}));
    EXPECT_EQ(rows(list, Col::ColStatus), (QStringList{"Start", "Stop", "Start", "Start"}));
    EXPECT_TRUE(list->alternatingRowColors());
    EXPECT_EQ(list->palette().color(QPalette::AlternateBase), QColor(255, 205, 155));

    // Port as numbers ("---" is none), ascending then descending; the interval by its numbers.
    clickHeader(editor, Col::ColPort);
    EXPECT_EQ(rows(list, Col::ColPort), (QStringList{"---", "25", "443", "8080"}));
    clickHeader(editor, Col::ColPort);
    EXPECT_EQ(rows(list, Col::ColPort), (QStringList{"8080", "443", "25", "---"}));
    clickHeader(editor, Col::ColInterval);
    EXPECT_EQ(rows(list, Col::ColInterval),
              (QStringList{"every 5 min", "every 10 min", "on 07:30", "on 15 min"}));
    clickHeader(editor, Col::ColService);
    EXPECT_EQ(rows(list, Col::ColService), (QStringList{"FTP", "Ping", "SMTP", "URL"}));
    // Showing the list again keeps the query's order and each column's next direction.
    editor->FillList();
    EXPECT_EQ(rows(list, Col::ColPort), (QStringList{"---", "25", "443", "8080"}));
    clickHeader(editor, Col::ColPort);
    EXPECT_EQ(rows(list, Col::ColPort), (QStringList{"---", "25", "443", "8080"}));
}

TEST(ServiceEditorTexts, IntervalAndAlarmMethods)
{
    EXPECT_EQ(IntervalText("Daily", "07", "30"), "on 07:30");
    EXPECT_EQ(IntervalText("Hourly", "00", "15"), "on 15 min");
    EXPECT_EQ(IntervalText("Minutely", "00", "10"), "every 10 min");
    EXPECT_EQ(IntervalText("Weekly", "00", "10"), "");
    EXPECT_EQ(AlarmMethodsText("y", "n", "n", "y"), "Email/SysLog");
    EXPECT_EQ(AlarmMethodsText("y", "y", "y", "y"), "Email/SMS/SMS by HTTP/SysLog");
    EXPECT_EQ(AlarmMethodsText("n", "n", "n", "n"), "");
}

// ---- load and save -------------------------------------------------------------------------------

TEST_F(ServiceEditor, APingServiceChangedToUrlAndBackKeepsExactlyTheRequestRowsOfItsKind)
{
    const int id = addPing("10.0.0.1");
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->CurrentServiceId(), id);
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::CanUpdateOrDeleteRecord));
    EXPECT_TRUE(editor->ButtonSave->isEnabled());
    TServiceInputs& in = editor->Inputs();
    EXPECT_EQ(in.Service->Kind(), "Ping");
    EXPECT_EQ(in.Service->FramePing->EditHost->text(), "10.0.0.1");
    EXPECT_TRUE(in.Service->FramePing->EditPort->text().isEmpty());
    EXPECT_TRUE(in.Schedule->RadioButtonHourly->isChecked());
    EXPECT_EQ(in.Schedule->ComboBoxHourlyMinute->currentText(), "15");
    EXPECT_EQ(editor->ListViewService->currentItem()->text(Col::ColId), QString::number(id));

    // Ping to URL: the service_url row is written although the service had none.
    pick(in.Service->ComboBoxService, "URL");
    TFrameURLForm* url = in.Service->FrameURL;
    type(url->EditURL, "http://www.example.com/x");
    type(url->EditPort, "80");
    type(url->EditHeaderInfo, "X-Trace: 1");
    pick(url->ComboBoxMethod, "Post");
    type(url->EditFieldName, "n");
    type(url->EditFieldValue, "v");
    click(url->ButtonAdd);
    pick(editor->ComboBoxStatus, "Stop");
    click(editor->ButtonSave);
    EXPECT_TRUE(boxTexts().isEmpty()) << boxTexts().join('\n').toStdString();
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceUpdated));
    EXPECT_EQ(
        table(
            QString(
                "select service,ip,port,status,url_method,cast(last_access as char) from service where id=%1")
                .arg(id)),
        QStringList{"URL|http://www.example.com/x|80|Stop|Post|0000-00-00 00:00:00"});
    EXPECT_EQ(table("select service_id,headerData,userAgent from service_url"),
              QStringList{QString("%1|X-Trace: 1|Mozilla/3.0").arg(id)});
    EXPECT_EQ(table("select fieldname,fieldvalue from service_url_detail"), QStringList{"n|v"});
    EXPECT_EQ(editor->CurrentServiceId(), id);
    TextTableModel* main = window->Engine()->ServiceList();
    EXPECT_EQ(main->cell(main->findRow(QString::number(id)), MonitorEngine::SvcService), "URL");
    EXPECT_TRUE(window->Engine()->HostTree()->stringList().contains("www.example.com"));

    // URL back to Ping: its request rows go.
    pick(in.Service->ComboBoxService, "Ping");
    type(in.Service->FramePing->EditHost, "10.0.0.2");
    click(editor->ButtonSave);
    EXPECT_EQ(table(QString("select service,ip,port from service where id=%1").arg(id)),
              QStringList{"Ping|10.0.0.2|0"});
    EXPECT_EQ(count("select count(*) from quorvel.service_url"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.service_url_detail"), 0);
}

// A stored "Certificate" service is shown with its STARTTLS mode, saved with another, and its
// port refused with a message while it is bad.
TEST_F(ServiceEditor, CertificateModeIsShownAndSaved)
{
    const int id = insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute",
                                 "\"Certificate\",\"mail.example\",110,\"Hourly\",\"00\",\"15\"");
    m_dm->ExecUpdate(
        QString("insert into service_check_option (service_id,starttls) values (%1,\"pop3\")").arg(id));
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    TServiceInputs& in = editor->Inputs();
    TFrameCertForm* cert = in.Service->FrameCert;
    EXPECT_EQ(in.Service->Kind(), "Certificate");
    EXPECT_EQ(in.Service->Frames->currentWidget(), cert);
    EXPECT_EQ(
        QStringList({cert->EditHost->text(), cert->EditPort->text(), cert->ComboBoxStartTls->currentText()}),
        QStringList({"mail.example", "110", "POP3"}));

    type(cert->EditPort, "0");
    click(editor->ButtonSave);
    EXPECT_EQ(boxTexts(), QStringList{"Certificate Port is invalid integer or empty."});
    m_boxes.boxes.clear();

    pick(cert->ComboBoxStartTls, "None (TLS from the first byte)");
    EXPECT_EQ(cert->EditPort->text(), "0") << "a port the user typed stays";
    type(cert->EditPort, "995");
    click(editor->ButtonSave);
    EXPECT_TRUE(boxTexts().isEmpty()) << boxTexts().join('\n').toStdString();
    EXPECT_EQ(table(QString("select s.service,s.ip,s.port,concat('[',o.starttls,']') from service s join "
                            "service_check_option o on o.service_id=s.id where s.id=%1")
                        .arg(id)),
              QStringList{"Certificate|mail.example|995|[]"});
}

// A stored "TCP" service is shown with its options, saved with the changed ones, turned into a
// "DNS" service with options of that kind, and refused with a message while its input is bad.
TEST_F(ServiceEditor, TcpAndDnsOptionsAreShownSavedAndReplacedOnAChangeOfKind)
{
    const int id = insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute",
                                 "\"TCP\",\"mail.example\",110,\"Hourly\",\"00\",\"15\"");
    m_dm->ExecUpdate(QString("insert into service_check_option (service_id,send_text,expect_text) values "
                             "(%1,\"CAPA\",\"+OK\")")
                         .arg(id));
    const QString options = QString("select concat_ws('|',send_text,expect_text,record_type,expect_value,"
                                    "dns_server) from quorvel.service_check_option where service_id=%1")
                                .arg(id);
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    TServiceInputs& in = editor->Inputs();
    TFrameTCPForm* tcp = in.Service->FrameTCP;
    EXPECT_EQ(in.Service->Kind(), "TCP");
    EXPECT_EQ(in.Service->Frames->currentWidget(), tcp);
    EXPECT_EQ(QStringList({tcp->EditHost->text(), tcp->EditPort->text(), tcp->EditSend->text(),
                           tcp->EditExpect->text()}),
              QStringList({"mail.example", "110", "CAPA", "+OK"}));

    // Bad input: refused with its message, nothing written.
    type(tcp->EditPort, "70000");
    click(editor->ButtonSave);
    EXPECT_EQ(boxTexts(), QStringList{"TCP Port is invalid integer or empty."});
    EXPECT_EQ(scalar(QString("select port from quorvel.service where id=%1").arg(id)), "110");
    m_boxes.boxes.clear();

    type(tcp->EditPort, "995");
    tcp->EditSend->clear();
    type(tcp->EditExpect, "+OK Dovecot");
    click(editor->ButtonSave);
    EXPECT_TRUE(boxTexts().isEmpty()) << boxTexts().join('\n').toStdString();
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceUpdated));
    EXPECT_EQ(table(QString("select service,ip,port from service where id=%1").arg(id)),
              QStringList{"TCP|mail.example|995"});
    EXPECT_EQ(scalar(options), "|+OK Dovecot|||");

    pick(in.Service->ComboBoxService, "DNS");
    TFrameDNSForm* dns = in.Service->FrameDNS;
    EXPECT_EQ(dns->EditPort->text(), "53");
    type(dns->EditName, "example.test");
    type(dns->EditServer, "127.0.0.1");
    pick(dns->ComboBoxRecordType, "NS");
    type(dns->EditExpect, "ns1.example.test.");
    click(editor->ButtonSave);
    EXPECT_TRUE(boxTexts().isEmpty()) << boxTexts().join('\n').toStdString();
    EXPECT_EQ(table(QString("select service,ip,port from service where id=%1").arg(id)),
              QStringList{"DNS|example.test|53"});
    EXPECT_EQ(scalar(options), "||NS|ns1.example.test.|127.0.0.1");
    TextTableModel* main = window->Engine()->ServiceList();
    EXPECT_EQ(main->cell(main->findRow(QString::number(id)), MonitorEngine::SvcService), "DNS");

    // Loaded afresh, the stored DNS options come back into the frame.
    clickListRow(editor, id);
    QTest::mouseDClick(
        editor->ListViewService->viewport(), Qt::LeftButton, {},
        editor->ListViewService->visualItemRect(editor->ListViewService->currentItem()).center());
    EXPECT_EQ(QStringList({dns->EditName->text(), dns->EditServer->text(), dns->EditPort->text(),
                           dns->ComboBoxRecordType->currentText(), dns->EditExpect->text()}),
              QStringList({"example.test", "127.0.0.1", "53", "NS", "ns1.example.test."}));
    EXPECT_TRUE(tcp->EditExpect->text().isEmpty()) << "the other frames start afresh";
}

TEST_F(ServiceEditor, AStoredUrlServiceIsShownWithItsRequestRowsAndADoubleClickLoadsAnotherOneFromScratch)
{
    const int web = addUrl("www.example.com");
    const int ping = addPing("10.0.0.1", 7);
    TFormUpdateScheduling* editor = openOn(web);
    ASSERT_NE(editor, nullptr);
    TFrameURLForm* url = editor->Inputs().Service->FrameURL;
    EXPECT_EQ(url->ComboBoxMethod->currentText(), "Post");
    EXPECT_TRUE(url->GroupBoxPostFields->isEnabled());
    EXPECT_EQ(url->EditUserAgent->text(), "UA");
    EXPECT_EQ(url->EditAccept->text(), "*/*");
    EXPECT_TRUE(url->EditContentType->text().isEmpty()); // the stored value, not the default
    EXPECT_EQ(rows(url->ListViewPostFields, 0), (QStringList{"B", "A"}));
    EXPECT_TRUE(editor->Inputs().Schedule->RadioButtonDaily->isChecked());
    EXPECT_EQ(editor->Inputs().Schedule->ComboBoxDailyHour->currentText(), "07");

    clickListRow(editor, ping);
    EXPECT_EQ(editor->CurrentServiceId(), web); // a single click only selects
    QTreeWidgetItem* row = editor->ListViewService->currentItem();
    QTest::mouseDClick(editor->ListViewService->viewport(), Qt::LeftButton, {},
                       editor->ListViewService->visualItemRect(row).center());
    EXPECT_EQ(editor->CurrentServiceId(), ping);
    EXPECT_EQ(editor->Inputs().Service->Kind(), "Ping");
    EXPECT_EQ(editor->Inputs().Service->FramePing->EditPort->text(), "7");
    EXPECT_EQ(url->ListViewPostFields->topLevelItemCount(), 0);
    EXPECT_EQ(url->EditUserAgent->text(), "Mozilla/3.0");
    EXPECT_FALSE(editor->Inputs().Schedule->RadioButtonDaily->isChecked());
}

TEST_F(ServiceEditor, AGroupIsStoredAsItsMembersAndShownAsTickedPersonsOnly)
{
    const int ann = addPerson("Ann");
    const int bob = addPerson("Bob");
    const int cid = addPerson("Cid");
    addGroup("Team", {ann, bob, cid});
    addGroup("Ann", {}); // a group that bears a person's name
    const int id = addPing("10.0.0.1");
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    click(editor->Inputs().Alarms->CheckBoxEmail);
    tick(editor->Inputs(), "Team");
    click(editor->ButtonSave);
    EXPECT_EQ(table("select contact_person_id from service_contact_person order by contact_person_id"),
              (QStringList{QString::number(ann), QString::number(bob), QString::number(cid)}));

    ASSERT_TRUE(editor->LoadService(id));
    EXPECT_EQ(ticked(editor), (QStringList{"Cid|Person", "Bob|Person", "Ann|Person"}));
    EXPECT_TRUE(editor->Inputs().Alarms->CheckBoxEmail->isChecked());
    // Saved again unchanged, each person still has one row.
    click(editor->ButtonSave);
    EXPECT_EQ(count("select count(*) from quorvel.service_contact_person"), 3);
}

TEST_F(ServiceEditor, AStoredMinuteThatNoListItemShowsMustBeChosenAgain)
{
    const int id = insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute",
                                 "\"Ping\",\"10.0.0.1\",0,\"Minutely\",\"00\",\"07\"");
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->Inputs().Schedule->RadioButtonMinutely->isChecked());
    EXPECT_EQ(editor->Inputs().Schedule->ComboBoxMinutely->currentIndex(), -1);
    editor->PageControl->setCurrentIndex(3);
    click(editor->ButtonSave);
    EXPECT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::SelectValidMinuteHour)});
    EXPECT_EQ(editor->PageControl->currentIndex(), 0);
    EXPECT_EQ(table("select schedule_minute from service"), QStringList{"07"});

    // The service fields and the contacts fail on their own tabs.
    pick(editor->Inputs().Schedule->ComboBoxMinutely, "5");
    type(editor->Inputs().Service->FramePing->EditPort, "-1");
    click(editor->ButtonSave);
    EXPECT_EQ(boxTexts().last(), "Ping Port is invalid integer or empty.");
    EXPECT_EQ(editor->PageControl->currentIndex(), 1);
    editor->Inputs().Service->FramePing->EditPort->clear();
    click(editor->Inputs().Alarms->CheckBoxSMS);
    click(editor->ButtonSave);
    EXPECT_EQ(boxTexts().last(), QString::fromLatin1(lang::SelectContactsForAlarm));
    EXPECT_EQ(editor->PageControl->currentIndex(), 3);
    EXPECT_EQ(table("select schedule_minute,alarm_smpp from service"), QStringList{"07|n"});
}

TEST_F(ServiceEditor, SaveWaitsForACompleteLoadAndAFailedLoadResetsAndSaysSo)
{
    const int web = addUrl("www.example.com");
    TFormUpdateScheduling* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(editor->ButtonSave->isEnabled());
    EXPECT_FALSE(editor->ButtonDelete->isEnabled());

    EXPECT_FALSE(editor->LoadService(web + 100));
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith(QString::fromLatin1(lang::ERR00107)));
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceNotLoaded));

    // Loaded once; then the service row reads and its request rows do not: nothing of the
    // earlier load stays in the inputs and nothing can be saved.
    ASSERT_TRUE(editor->LoadService(web));
    m_dm->ExecUpdate("rename table service_url to service_url_away");
    EXPECT_FALSE(editor->LoadService(web));
    m_dm->ExecUpdate("rename table service_url_away to service_url");
    EXPECT_EQ(editor->CurrentServiceId(), 0);
    EXPECT_FALSE(editor->ButtonSave->isEnabled());
    EXPECT_FALSE(editor->ButtonDelete->isEnabled());
    EXPECT_TRUE(editor->Inputs().Service->FrameURL->EditURL->text().isEmpty());
    EXPECT_FALSE(editor->Inputs().Schedule->RadioButtonDaily->isChecked());
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_TRUE(editor->LoadService(web));
    EXPECT_TRUE(editor->ButtonSave->isEnabled());
}

TEST_F(ServiceEditor, AFailedSaveChangesNoRowAndShowsTheServerText)
{
    const int ann = addPerson("Ann");
    const int id = addUrl("www.example.com");
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
            .arg(id)
            .arg(ann));
    m_dm->ExecUpdate("create trigger refuse_contact before insert on service_contact_person for each row "
                     "signal sqlstate '45000' set message_text = 'contact refused by the server'");
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(ticked(editor), QStringList{"Ann|Person"});
    TFrameURLForm* url = editor->Inputs().Service->FrameURL;
    type(url->EditURL, "www.changed.example");
    click(url->ButtonAdd); // nothing typed: nothing added
    url->RemovePostField(url->ListViewPostFields->topLevelItem(0));
    click(editor->ButtonSave);

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("contact refused by the server"));
    EXPECT_NE(editor->StatusText(), QString::fromLatin1(lang::ServiceUpdated));
    EXPECT_EQ(table("select ip from service"), QStringList{"www.example.com"});
    EXPECT_EQ(count("select count(*) from quorvel.service_url_detail"), 2);
    EXPECT_EQ(count("select count(*) from quorvel.service_contact_person"), 1);
}

// A service deleted from the main window while the editor shows it: Save writes nothing under
// the dead id, says so and refills the lists.
TEST_F(ServiceEditor, SaveIntoAServiceDeletedMeanwhileWritesNothingAndSaysSo)
{
    const int ann = addPerson("Ann");
    const int id = addUrl("www.example.com");
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
            .arg(id)
            .arg(ann));
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->CurrentServiceId(), id);

    window->Engine()->MenuServiceDeleteClick(); // the main window's row is still the selected one
    ASSERT_EQ(count("select count(*) from quorvel.service"), 0);
    type(editor->Inputs().Service->FrameURL->EditURL, "www.changed.example");
    click(editor->ButtonSave);

    EXPECT_EQ(m_boxes.texts(), QStringList{QString::fromLatin1(lang::ServiceNoLongerExists)});
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceNoLongerExists));
    for (const char* table : {"service", "service_url", "service_url_detail", "service_contact_person"})
        EXPECT_EQ(count(QString("select count(*) from quorvel.%1").arg(table)), 0) << table;
    EXPECT_EQ(editor->CurrentServiceId(), 0);
    EXPECT_FALSE(editor->ButtonSave->isEnabled());
    EXPECT_EQ(editor->ListViewService->topLevelItemCount(), 0);
}

// Start or Stop from the main window while the editor shows the service: a save that leaves the
// status box as it was shown keeps the stored status; a status chosen in the editor is written.
TEST_F(ServiceEditor, SaveKeepsAStatusChangedMeanwhileUnlessTheEditorsOwnBoxChangedIt)
{
    const int id = addPing("10.0.0.1");
    m_dm->ExecUpdate(QString("update service set status=\"Start\" where id=%1").arg(id));
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->ComboBoxStatus->currentText(), "Start");

    window->Engine()->MenuServiceStopClick();
    ASSERT_EQ(table("select status from service"), QStringList{"Stop"});
    type(editor->Inputs().Service->FramePing->EditHost, "10.0.0.2");
    click(editor->ButtonSave);
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceUpdated));
    EXPECT_EQ(table("select concat(ip,' ',status) from service"), QStringList{"10.0.0.2 Stop"});
    EXPECT_EQ(editor->ComboBoxStatus->currentText(), "Stop") << "the box follows what was stored";

    editor->ComboBoxStatus->setCurrentText("Start");
    click(editor->ButtonSave);
    EXPECT_EQ(table("select status from service"), QStringList{"Start"});
}

// An alarm column is read one way everywhere: a stored "Y" or "T" is a ticked box in the editor as
// it is an alarm for the scheduler, and a save that leaves the box ticked keeps the stored text.
TEST_F(ServiceEditor, AStoredCapitalYIsShownTickedAndSavedAsStored)
{
    const int id = insertService("service,ip,port,schedule_by,schedule_hour,schedule_minute,alarm_email,"
                                 "alarm_smpp,alarm_httpsms,alarm_syslog",
                                 "\"Ping\",\"10.0.0.1\",0,\"Hourly\",\"00\",\"15\",\"Y\",\"T\",\"n\",\"Y\"");
    const int ann = addPerson("Ann");
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
            .arg(id)
            .arg(ann));
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    auto* alarms = editor->Inputs().Alarms;
    EXPECT_TRUE(alarms->CheckBoxEmail->isChecked());
    EXPECT_TRUE(alarms->CheckBoxSMS->isChecked());
    EXPECT_FALSE(alarms->CheckBoxSMSbyHTTP->isChecked());
    EXPECT_TRUE(alarms->CheckBoxSysLog->isChecked());

    alarms->CheckBoxSysLog->setChecked(false);
    alarms->CheckBoxSMSbyHTTP->setChecked(true);
    click(editor->ButtonSave);
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceUpdated))
        << m_boxes.texts().join('\n').toStdString();
    EXPECT_EQ(table("select concat(alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) from service"),
              QStringList{"YTyn"});
}

// ---- delete --------------------------------------------------------------------------------------

TEST_F(ServiceEditor, DeleteAsksNamingTheSelectedRowAndRemovesItWithItsDependentRows)
{
    const int ann = addPerson("Ann");
    const int kept = addPing("10.0.0.1");
    const int gone = addUrl("http://www.example.com");
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2),(%3,%2)")
            .arg(kept)
            .arg(ann)
            .arg(gone));
    TFormUpdateScheduling* editor = openOn(kept);
    ASSERT_NE(editor, nullptr);
    clickListRow(editor, gone);

    m_boxes.answer = false;
    click(editor->ButtonDelete);
    EXPECT_EQ(m_boxes.questions, QStringList{"Do you want to delete the service URL [www.example.com:80] ?"});
    EXPECT_EQ(count("select count(*) from quorvel.service"), 2);

    m_boxes.answer = true;
    click(editor->ButtonDelete);
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::ServiceDeleted));
    EXPECT_EQ(table("select id from service"), QStringList{QString::number(kept)});
    EXPECT_EQ(table("select service_id from service_contact_person"), QStringList{QString::number(kept)});
    EXPECT_EQ(count("select count(*) from quorvel.service_url"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.service_url_detail"), 0);
    EXPECT_EQ(editor->CurrentServiceId(), 0);
    EXPECT_FALSE(editor->ButtonDelete->isEnabled());
    EXPECT_EQ(rows(editor->ListViewService, Col::ColId), QStringList{QString::number(kept)});
    EXPECT_EQ(window->Engine()->ServiceList()->findRow(QString::number(gone)), -1);
    EXPECT_FALSE(window->Engine()->HostTree()->stringList().contains("www.example.com"));
}

// ---- the main window's commands ------------------------------------------------------------------

TEST_F(ServiceEditor, ADoubleClickOnAServiceRowOfTheMainWindowOpensItAndCancelWritesNothing)
{
    const int id = addPing("10.0.0.1");
    startCycle();
    TextTableModel* list = window->Engine()->ServiceList();
    const int row = list->findRow(QString::number(id));
    ASSERT_GE(row, 0);
    list->setSelectedRow(row);
    emit window->TntListViewService->doubleClicked(list->index(row, MonitorEngine::SvcIp));
    TFormUpdateScheduling* editor = FormUpdateScheduling();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->CurrentServiceId(), id);
    type(editor->Inputs().Service->FramePing->EditHost, "10.9.9.9");
    click(editor->ButtonCancel);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(table("select ip from service"), QStringList{"10.0.0.1"});

    // The context menu's Update Service without a selected row opens it empty.
    list->setSelectedRow(-1);
    window->action("Update Service")->trigger();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->CurrentServiceId(), 0);
    EXPECT_EQ(editor->StatusText(), QString::fromLatin1(lang::SelectServiceForUpdate));
    for (const char* name :
         {"Save", "Delete", "Cancel", "Scheduling Lists", "Please select the service status"}) {
        bool found = false;
        for (QWidget* w : editor->findChildren<QWidget*>())
            found = found || w->accessibleName() == QLatin1String(name);
        EXPECT_TRUE(found) << name;
    }
}

// A double click in the main window's list would load another service into the editor: with
// changes not yet saved it asks first, and No keeps the editor as it is.
TEST_F(ServiceEditor, ADoubleClickInTheMainListAsksBeforeDroppingUnsavedChanges)
{
    const int first = addPing("10.0.0.1");
    const int second = addPing("10.0.0.2");
    startCycle();
    TextTableModel* list = window->Engine()->ServiceList();
    const auto doubleClickOn = [&](int id) {
        const int row = list->findRow(QString::number(id));
        ASSERT_GE(row, 0);
        list->setSelectedRow(row);
        emit window->TntListViewService->doubleClicked(list->index(row, MonitorEngine::SvcIp));
    };
    doubleClickOn(first);
    TFormUpdateScheduling* editor = FormUpdateScheduling();
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->CurrentServiceId(), first);

    struct Case
    {
        const char* name;
        bool edit;      // the host is typed over before the double click
        bool answer;    // the answer to the question
        bool asked;     // a question is expected
        int shownAfter; // the service the editor shows afterwards (0: the one before)
    };
    const Case cases[] = {
        {"unchanged: loads without asking", false, true, false, second},
        {"changed, No: keeps the typed text", true, false, true, 0},
        {"changed, Yes: loads the other service", true, true, true, first},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = editor->CurrentServiceId();
        const int other = before == first ? second : first;
        m_boxes.questions.clear();
        m_boxes.answer = c.answer;
        if (c.edit)
            type(editor->Inputs().Service->FramePing->EditHost, "10.9.9.9");
        doubleClickOn(other);
        EXPECT_EQ(m_boxes.questions.size(), c.asked ? 1 : 0);
        if (c.asked && !m_boxes.questions.isEmpty()) {
            EXPECT_EQ(
                m_boxes.questions.first(),
                QString("The changes to the service Ping [10.0.0.%1:---] are not saved yet. Do you want "
                        "to discard them?")
                    .arg(before == first ? 1 : 2));
        }
        EXPECT_EQ(editor->CurrentServiceId(), c.shownAfter == 0 ? before : c.shownAfter);
        if (c.shownAfter == 0) {
            EXPECT_EQ(editor->Inputs().Service->FramePing->EditHost->text(), "10.9.9.9");
        }
    }
    m_boxes.answer = true;
    // A save makes the editor unchanged again: the next double click does not ask.
    type(editor->Inputs().Service->FramePing->EditHost, "10.0.0.5");
    click(editor->ButtonSave);
    m_boxes.questions.clear();
    doubleClickOn(second);
    EXPECT_TRUE(m_boxes.questions.isEmpty());
    EXPECT_EQ(editor->CurrentServiceId(), second);
    EXPECT_EQ(table("select ip from service order by id"), (QStringList{"10.0.0.5", "10.0.0.2"}));
}

// The editor's contact tab is driven by assistive technology as the wizard's is: the Toggle
// action ticks and unticks a person, the state follows, and Save stores exactly the ticked ones.
TEST_F(ServiceEditor, ContactRowsTickByTheirToggleActionAndTheSaveStoresThem)
{
    const int ann = addPerson("Ann");
    const int bob = addPerson("Bob");
    const int id = addPing("10.0.0.3");
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
            .arg(id)
            .arg(ann));
    TFormUpdateScheduling* editor = openOn(id);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->CurrentServiceId(), id);
    QAccessibleInterface* annRow = contactRow(editor->Inputs(), "Ann");
    QAccessibleInterface* bobRow = contactRow(editor->Inputs(), "Bob");
    ASSERT_NE(annRow, nullptr);
    ASSERT_NE(bobRow, nullptr);
    EXPECT_TRUE(annRow->state().checkable);
    EXPECT_TRUE(annRow->state().checked) << "the stored link shows as a tick";
    EXPECT_FALSE(bobRow->state().checked);
    annRow->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    bobRow->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(annRow->state().checked);
    EXPECT_TRUE(bobRow->state().checked);
    EXPECT_TRUE(editor->HasUnsavedChanges());
    click(editor->ButtonSave);
    EXPECT_EQ(
        table(QString("select contact_person_id from service_contact_person where service_id=%1").arg(id)),
        QStringList{QString::number(bob)});
}

} // namespace
