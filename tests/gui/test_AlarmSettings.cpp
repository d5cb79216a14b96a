// The alarm settings window against the test database and real peers on loopback: defaults,
// the rows Apply writes (in one transaction), validation, the extra fields of the gateway, the
// four test messages on the window's own worker thread, and the alarms raised afterwards.
#include "GuiFixture.h"

#include "AlarmControls.h"
#include "core/AlarmMethodFields.h"
#include "core/AlarmMethodSettings.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/alarmSettings.h"
#include "monitor/MonitorEngine.h"
#include "net/Socket.h"
#include "smpp/tcSMSCMessageSMPP.h"
#include "support/FakeHttpServer.h"
#include "support/FakeSmsc.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestKit.h"
#include "support/UdpCollector.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using Form = TFormAlarmingSettings;
using Kind = Notifier::Kind;

class HelpRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class AlarmSettings : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped())
            return;
        openWindow();
        startCycle();
    }

    Form* open()
    {
        window->OpenDialog(DialogKind::AlarmOptions);
        Form* form = FormAlarmingSettings();
        EXPECT_NE(form, nullptr);
        return form;
    }

    // One column of the alarm_method row of `type` (exact letter case).
    QString stored(const char* type, const char* column) const
    {
        return scalar(QString("select %1 from quorvel.alarm_method where binary type=%2")
                          .arg(column, QuoteSqlText(type)));
    }
    int rowCount(const char* table) const
    {
        return scalar(QString("select count(*) from quorvel.%1").arg(table)).toInt();
    }

    // name=value of every extra field row, in the table's order.
    QStringList storedExtraFields() const
    {
        QStringList rows;
        QSqlQuery query(DMQuorvel().SQLConnection);
        EXPECT_TRUE(
            query.exec("select field_name, field_value from quorvel.alarm_method_extra_fields order by id"));
        while (query.next())
            rows << query.value(0).toString() + "=" + query.value(1).toString();
        return rows;
    }
    static QStringList shownExtraFields(Form* form)
    {
        QStringList rows;
        for (int i = 0; i < Ui(form).HttpSms.extraFields->topLevelItemCount(); ++i)
            rows << Ui(form).HttpSms.extraFields->topLevelItem(i)->text(0) + "=" +
                        Ui(form).HttpSms.extraFields->topLevelItem(i)->text(1);
        return rows;
    }

    // Clicks the test button and waits until its outcome replaces the "sending" text.
    static QString runTest(Form* form, int ms = 20000)
    {
        EXPECT_TRUE(form->ButtonTest->isEnabled());
        QTest::mouseClick(form->ButtonTest, Qt::LeftButton);
        const QString sending = form->StatusBar->currentMessage();
        EXPECT_TRUE(sending.endsWith("is sending out...")) << sending.toStdString();
        EXPECT_FALSE(form->ButtonTest->isEnabled());
        waitFor([form] { return !form->TestRunning(); }, ms);
        EXPECT_TRUE(form->ButtonTest->isEnabled());
        return form->StatusText(); // the whole outcome, as its tooltip shows it
    }

    static void enableSysLog(Form* form, int port)
    {
        Ui(form).SysLog.enable->setChecked(true);
        Ui(form).SysLog.ip->setText("127.0.0.1");
        Ui(form).SysLog.port->setText(QString::number(port));
    }
};

// ---- showing and Apply -------------------------------------------------------------------------

// Under a collation that tells letter cases apart the SysLog row is still found as written, so
// repeated Applies update it instead of adding rows.
TEST_F(AlarmSettings, ApplyFindsTheSysLogRowUnderACaseSensitiveCollation)
{
    m_dm->ExecUpdate("alter table quorvel.alarm_method modify type VARCHAR(20) CHARACTER SET utf8mb4 "
                     "COLLATE utf8mb4_bin NOT NULL");
    ASSERT_EQ(scalar("select count(*) from quorvel.alarm_method where type='syslog'"), "0");
    Form* form = open();
    ASSERT_NE(form, nullptr);
    form->PageControl->setCurrentIndex(Form::PageSysLog);
    for (const char* facility : {"Kernel", "Local Use Seven", "Local Use One"}) {
        Ui(form).SysLog.facility->setCurrentText(facility);
        form->ButtonApplyClick();
        EXPECT_EQ(scalar("select count(*) from quorvel.alarm_method where type='SysLog'"), "1") << facility;
        EXPECT_EQ(stored("SysLog", "syslog_facility"), facility);
    }
    EXPECT_EQ(rowCount("alarm_method"), 4);
}

TEST_F(AlarmSettings, FreshDatabaseShowsTheDefaultsAndApplyInsertsFourRowsThenUpdatesThem)
{
    showWindow();
    Form* form = open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    EXPECT_EQ(form->windowTitle(), "Alarming Options");
    // The main window's commands are locked while the window is open.
    EXPECT_TRUE(waitFor([&] { return !window->ActionMainMenuBar->isEnabled(); }, 3000));
    EXPECT_EQ(form->PageControl->currentIndex(), Form::PageEmail);
    EXPECT_FALSE(Control<QPushButton>(form, "Apply")->isEnabled());
    EXPECT_EQ(form->ButtonTest->text(), "Test Connection [Email]");
    EXPECT_FALSE(form->ButtonTest->isEnabled());

    const std::vector<std::pair<QLineEdit*, const char*>> defaults = {{Ui(form).Email.port, "25"},
                                                                      {Ui(form).Sms.port, "2775"},
                                                                      {Ui(form).HttpSms.port, "80"},
                                                                      {Ui(form).SysLog.port, "514"},
                                                                      {Ui(form).Email.timeout, "5000"},
                                                                      {Ui(form).Sms.timeout, "5000"},
                                                                      {Ui(form).HttpSms.timeout, "5000"},
                                                                      {Ui(form).SysLog.timeout, "5000"},
                                                                      {Ui(form).Sms.version, "34"},
                                                                      {Ui(form).Sms.systemType, "TCP"},
                                                                      {Ui(form).Sms.ton, "1"},
                                                                      {Ui(form).Sms.origNpi, "1"},
                                                                      {Ui(form).Email.ip, ""},
                                                                      {Ui(form).HttpSms.proxyPort, ""}};
    for (const auto& [edit, text] : defaults)
        EXPECT_EQ(edit->text(), text) << edit->accessibleName().toStdString();
    EXPECT_EQ(Ui(form).HttpSms.method->currentText(), "Get");
    EXPECT_EQ(Ui(form).SysLog.facility->currentText(), "Kernel");
    EXPECT_EQ(Ui(form).SysLog.severity->currentText(), "Emergency");
    for (QCheckBox* enable :
         {Ui(form).Email.enable, Ui(form).Sms.enable, Ui(form).HttpSms.enable, Ui(form).SysLog.enable})
        EXPECT_FALSE(enable->isChecked());

    // A settings control taking the focus enables Apply; a test input does not.
    Ui(form).Email.testRecipient->setEnabled(true);
    Ui(form).Email.testRecipient->setFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Control<QPushButton>(form, "Apply")->isEnabled());
    Ui(form).Email.enable->setFocus();
    ASSERT_TRUE(waitFor([&] { return Control<QPushButton>(form, "Apply")->isEnabled(); }, 2000));
    QTest::mouseClick(form->ButtonApply, Qt::LeftButton);

    EXPECT_EQ(rowCount("alarm_method"), 4);
    const std::pair<const char*, const char*> ports[] = {
        {"Email", "25"}, {"SMS", "2775"}, {"SMS by HTTP", "80"}, {"SysLog", "514"}};
    for (const auto& [type, port] : ports) {
        EXPECT_EQ(stored(type, "enable"), "0") << type;
        EXPECT_EQ(stored(type, "port"), port) << type;
        EXPECT_EQ(stored(type, "timeout"), "5000") << type;
    }
    EXPECT_EQ(stored("SMS", "sms_version"), "34");
    EXPECT_EQ(stored("SMS", "sms_system_type"), "TCP");
    EXPECT_EQ(stored("SMS by HTTP", "method"), "Get");
    EXPECT_EQ(stored("SMS by HTTP", "proxy_port"), "0");
    EXPECT_EQ(stored("SysLog", "syslog_facility"), "Kernel");
    EXPECT_EQ(stored("SysLog", "syslog_severity"), "Emergency");
    EXPECT_EQ(form->StatusBar->currentMessage(), "Option settings saved.");
    EXPECT_EQ(window->MainStatus(), "Option settings saved.");
    EXPECT_FALSE(Control<QPushButton>(form, "Apply")->isEnabled());
    EXPECT_TRUE(form->isVisible());

    // Second Apply: the same four rows, updated; texts stored exactly as typed, numbers as the
    // decimal of their value ("$1F" reads as 31, " 26" as 26).
    const QString ids = scalar("select group_concat(id order by id) from quorvel.alarm_method");
    Ui(form).Email.enable->setChecked(true);
    Ui(form).Email.ip->setText("mail.example.com");
    Ui(form).Email.fromAddress->setText("ops\"quoted\"\\back@example.com");
    Ui(form).Email.port->setText(" 26");
    Ui(form).Email.timeout->setText("$1F");
    Ui(form).SysLog.facility->setCurrentText("Local Use Seven");
    form->ButtonApplyClick();
    EXPECT_EQ(rowCount("alarm_method"), 4);
    EXPECT_EQ(scalar("select group_concat(id order by id) from quorvel.alarm_method"), ids);
    EXPECT_EQ(stored("Email", "enable"), "1");
    EXPECT_EQ(stored("Email", "from_address"), "ops\"quoted\"\\back@example.com");
    EXPECT_EQ(stored("Email", "port"), "26");
    EXPECT_EQ(stored("Email", "timeout"), "31");
    EXPECT_EQ(stored("SysLog", "syslog_facility"), "Local Use Seven");
    // The in-memory settings were reloaded.
    EXPECT_TRUE(AlarmMethodSettings.EmailMethod.enable);
    EXPECT_EQ(AlarmMethodSettings.EmailMethod.timeout, 31);
    EXPECT_EQ(AlarmMethodSettings.SysLogMethod.facility, 23);

    // Cancel: nothing written, the main window told and unlocked.
    Ui(form).Email.ip->setText("changed.example.com");
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(window->MainStatus(), "Updating option settings cancel.");
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    EXPECT_EQ(stored("Email", "ip"), "mail.example.com");
    EXPECT_EQ(Ui(open()).Email.ip->text(), "mail.example.com");
}

TEST_F(AlarmSettings, ShowingFillsEveryFieldFromItsRowAndAPageWithoutRowShowsItsDefaults)
{
    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,timeout,authenticate,username,password,oa,sms_version,"
        "sms_system_type,sms_ton,sms_npi,sms_dest_ton,sms_dest_npi,sms_orig_ton,sms_orig_npi) values "
        "(\"SMS\",0,\"smsc.example\",0,0,1,\"esme\",\"pw\",\"QUORVEL\",52,\"VMA\",5,0,2,3,4,6)");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port,timeout,method,proxy_port) values "
                     "(\"SMS by HTTP\",0,\"gw.example/send\",8080,7000,\"get\",3128)");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) values "
                     "(\"SysLog\",1,\"10.0.0.5\",514,\"kernel\",\"Debug\")");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port) values (\"SNMP\",1,\"snmp\",161)");

    Form* form = open();
    // The page without a row keeps the defaults, though an earlier showing typed into it.
    EXPECT_FALSE(Ui(form).Sms.enable->isChecked());
    EXPECT_EQ(Ui(form).Sms.port->text(), ""); // 0 shows empty
    EXPECT_EQ(Ui(form).Sms.timeout->text(), "");
    EXPECT_TRUE(Ui(form).Sms.authentication->isChecked());
    EXPECT_EQ(Ui(form).Sms.username->text(), "esme");
    EXPECT_EQ(Ui(form).Sms.password->text(), "pw");
    EXPECT_EQ(Ui(form).Sms.password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Ui(form).Sms.version->text(), "52");
    EXPECT_EQ(Ui(form).Sms.npi->text(), "0"); // SMS numbers as stored
    EXPECT_EQ(Ui(form).Sms.origNpi->text(), "6");
    EXPECT_EQ(Ui(form).HttpSms.method->currentText(), "Post"); // only "Get" exactly is Get
    EXPECT_EQ(Ui(form).HttpSms.url->toPlainText(), "gw.example/send");
    EXPECT_EQ(Ui(form).HttpSms.proxyPort->text(), "3128");
    EXPECT_EQ(Ui(form).SysLog.facility->currentIndex(), -1); // "kernel": no item shows it
    EXPECT_EQ(Ui(form).SysLog.severity->currentText(), "Debug");

    Ui(form).Email.ip->setText("typed.example");
    Ui(form).Email.port->setText("2525");
    form->ButtonCancelClick();
    form = open();
    EXPECT_EQ(Ui(form).Email.ip->text(), "");
    EXPECT_EQ(Ui(form).Email.port->text(), "25");

    // Apply keeps the stored facility the list cannot show, and never touches the SNMP row.
    form->ButtonApplyClick();
    EXPECT_EQ(stored("SysLog", "syslog_facility"), "kernel");
    EXPECT_EQ(stored("SMS by HTTP", "method"), "Post");
    EXPECT_EQ(stored("SMS by HTTP", "proxy_port"), "3128");
    EXPECT_EQ(stored("SNMP", "ip"), "snmp");
    EXPECT_EQ(rowCount("alarm_method"), 5);
    EXPECT_EQ(stored("SMS", "port"), "0");
    EXPECT_EQ(stored("SMS", "sms_npi"), "0");
    EXPECT_EQ(stored("SMS", "sms_version"), "52");
    Ui(form).SysLog.facility->setCurrentText("UUCP");
    emit Ui(form).SysLog.facility->activated(Ui(form).SysLog.facility->currentIndex());
    form->ButtonApplyClick();
    EXPECT_EQ(stored("SysLog", "syslog_facility"), "UUCP");
}

TEST_F(AlarmSettings, EnablingRulesFollowTheBoxesTheMethodAndThePageShown)
{
    Form* form = open();
    EXPECT_FALSE(Ui(form).Email.ip->isEnabled());
    EXPECT_FALSE(Ui(form).Email.testGroup->isEnabled());
    Ui(form).Email.enable->setChecked(true);
    EXPECT_TRUE(Ui(form).Email.ip->isEnabled());
    EXPECT_TRUE(Ui(form).Email.testGroup->isEnabled());
    EXPECT_TRUE(form->ButtonTest->isEnabled());
    EXPECT_FALSE(Ui(form).Email.username->isEnabled());
    Ui(form).Email.authentication->setChecked(true);
    EXPECT_TRUE(Ui(form).Email.username->isEnabled());
    EXPECT_TRUE(Ui(form).Email.password->isEnabled());

    form->PageControl->setCurrentIndex(Form::PageHttpSms);
    EXPECT_EQ(form->ButtonTest->text(), "Test Connection [SMS by HTTP]");
    EXPECT_EQ(form->ButtonTest->accessibleName(), "Test Connection [SMS by HTTP]");
    EXPECT_FALSE(form->ButtonTest->isEnabled());
    Ui(form).HttpSms.enable->setChecked(true);
    EXPECT_TRUE(form->ButtonTest->isEnabled());
    QWidget* names = Ui(form).HttpSms.subPages->widget(Form::HttpSmsFieldNames);
    QWidget* extra = Ui(form).HttpSms.subPages->widget(Form::HttpSmsExtraFields);
    EXPECT_FALSE(names->isEnabled());
    EXPECT_FALSE(extra->isEnabled());
    Ui(form).HttpSms.method->setCurrentText("Post");
    EXPECT_TRUE(names->isEnabled());
    EXPECT_TRUE(extra->isEnabled());
    Ui(form).HttpSms.enable->setChecked(false);
    EXPECT_FALSE(names->isEnabled());
    EXPECT_FALSE(Ui(form).HttpSms.proxyServer->isEnabled());

    // Help opens the help file at the topic of the page shown.
    m_tree->write("help/Quorvel.html",
                  "<html><body><h2 id=\"Email_Alarm\">E</h2><h2 id=\"SMS_Alarm\">S</h2>"
                  "<h2 id=\"SMS_by_HTTP_Alarm\">H</h2><h2 id=\"SysLog_Alarm\">L</h2></body></html>");
    ASSERT_TRUE(HelpFilePresent());
    HelpRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    const std::pair<int, const char*> topics[] = {{Form::PageEmail, "Email_Alarm"},
                                                  {Form::PageSms, "SMS_Alarm"},
                                                  {Form::PageHttpSms, "SMS_by_HTTP_Alarm"},
                                                  {Form::PageSysLog, "SysLog_Alarm"}};
    for (const auto& [page, topic] : topics) {
        form->PageControl->setCurrentIndex(page);
        QTest::mouseClick(form->ButtonHelp, Qt::LeftButton);
    }
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(recorder.urls.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(recorder.urls[i].fragment(), topics[i].second);
        EXPECT_EQ(recorder.urls[i].toLocalFile(), m_tree->file("help/Quorvel.html"));
    }
}

TEST_F(AlarmSettings, EveryInputIsNamedByItsCaptionAndHoldsNoMoreThanItsColumn)
{
    Form* form = open();
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                           qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractButton*>(w) ||
                           qobject_cast<QTreeWidget*>(w);
        if (input && !w->inherits("QToolButton")) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
    }
    const std::pair<QWidget*, const char*> names[] = {{Ui(form).Email.ip, "SMTP IP/Address"},
                                                      {Ui(form).Email.enable, "Enable"},
                                                      {Ui(form).Sms.destTon, "Dest. TON"},
                                                      {Ui(form).HttpSms.proxyUsername, "Proxy Username"},
                                                      {Ui(form).HttpSms.testMsisdn, "$MSISDN"},
                                                      {Ui(form).HttpSms.addField, "Add >>"},
                                                      {form->ButtonHelp, "Help"},
                                                      {Ui(form).SysLog.facility, "Facility"},
                                                      {Ui(form).HttpSms.url, "URL"},
                                                      {Ui(form).Sms.testPhone, "Phone Number"}};
    for (const auto& [w, name] : names)
        EXPECT_EQ(w->accessibleName(), name);

    const std::pair<QLineEdit*, int> lengths[] = {{Ui(form).Email.ip, 200},
                                                  {Ui(form).Email.mailAgent, 150},
                                                  {Ui(form).Email.fromAddress, 50},
                                                  {Ui(form).Email.password, 50},
                                                  {Ui(form).Sms.oa, 50},
                                                  {Ui(form).Sms.systemType, 50},
                                                  {Ui(form).HttpSms.proxyServer, 100},
                                                  {Ui(form).HttpSms.fieldMsisdn, 50},
                                                  {Ui(form).HttpSms.fieldName, 50},
                                                  {Ui(form).HttpSms.fieldValue, 50}};
    for (const auto& [edit, length] : lengths)
        EXPECT_EQ(edit->maxLength(), length) << edit->accessibleName().toStdString();

    // Typed past the column: the input keeps what fits and the save stores all of it.
    // One line only: a pasted break and a new block (Enter) become nothing.
    Ui(form).HttpSms.url->setPlainText("http://gw.example/\r\nsend?to=%n\n");
    EXPECT_EQ(Ui(form).HttpSms.url->toPlainText(), QString("http://gw.example/send?to=%n"));
    Ui(form).HttpSms.url->moveCursor(QTextCursor::End);
    Ui(form).HttpSms.url->textCursor().insertBlock();
    Ui(form).HttpSms.url->insertPlainText("&m=%m");
    EXPECT_EQ(Ui(form).HttpSms.url->toPlainText(), QString("http://gw.example/send?to=%n&m=%m"));
    Ui(form).HttpSms.url->setPlainText(QString(2100, 'u'));
    EXPECT_EQ(Ui(form).HttpSms.url->toPlainText().size(), 2048);
    Ui(form).Email.enable->setChecked(true);
    Ui(form).Email.ip->setText("mail.example");
    Ui(form).Email.fromAddress->setText("a@b");
    Ui(form).Email.mailAgent->setFocus();
    QTest::keyClicks(Ui(form).Email.mailAgent, QString(160, 'm'));
    EXPECT_EQ(Ui(form).Email.mailAgent->text().size(), 150);
    form->ButtonApplyClick();
    EXPECT_EQ(stored("Email", "length(mail_agent)"), "150");
    EXPECT_EQ(stored("SMS by HTTP", "length(ip)"), "2048");
}

// ---- validation ----------------------------------------------------------------------------------

struct ValidationCase
{
    const char* name;
    std::function<void(Form*)> fill;
    const char* message;
    int page;
    int subPage; // -1: no sub-page is asked for
    std::function<QWidget*(Form*)> focus;
};

class AlarmValidation : public AlarmSettings, public ::testing::WithParamInterface<ValidationCase>
{
};

void fillEmail(Form* f)
{
    Ui(f).Email.enable->setChecked(true);
    Ui(f).Email.ip->setText("mail.example");
    Ui(f).Email.fromAddress->setText("q@example");
}
void fillSms(Form* f)
{
    Ui(f).Sms.enable->setChecked(true);
    Ui(f).Sms.ip->setText("smsc.example");
}
// The SMS page shown, enabled, pointed at `smsc`, with a test number and message.
void fillSmsTest(Form* f, const FakeSmsc& smsc)
{
    f->PageControl->setCurrentIndex(Form::PageSms);
    fillSms(f);
    Ui(f).Sms.ip->setText(smsc.host());
    Ui(f).Sms.port->setText(QString::number(smsc.port()));
    Ui(f).Sms.testPhone->setText("+41790000000");
    Ui(f).Sms.testMessage->setText("disk full");
}
void fillHttp(Form* f)
{
    Ui(f).HttpSms.enable->setChecked(true);
    Ui(f).HttpSms.url->setPlainText("http://gw.example/send");
}

TEST_P(AlarmValidation, ShowsTheMessageThePageAndTheFieldAndWritesNothing)
{
    const ValidationCase& c = GetParam();
    Form* form = open();
    Ui(form).HttpSms.subPages->setCurrentIndex(Form::HttpSmsAuthentication);
    Ui(form).Sms.subPages->setCurrentIndex(Form::SmsAuthentication);
    c.fill(form);
    form->ButtonApplyClick();
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
    if (!m_boxes.boxes.empty()) {
        EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information);
        EXPECT_EQ(m_boxes.boxes[0].second, c.message);
    }
    EXPECT_EQ(form->PageControl->currentIndex(), c.page);
    if (c.subPage >= 0) {
        QTabWidget* sub = c.page == Form::PageSms ? Ui(form).Sms.subPages : Ui(form).HttpSms.subPages;
        EXPECT_EQ(sub->currentIndex(), c.subPage);
    }
    if (c.focus(form)->isEnabled()) { // a field of a disabled page cannot take the focus
        EXPECT_EQ(form->focusWidget(), c.focus(form));
    }
    EXPECT_EQ(rowCount("alarm_method"), 0);
    EXPECT_NE(form->StatusBar->currentMessage(), "Option settings saved.");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlarmValidation,
    ::testing::Values(
        ValidationCase{"EmailHost", [](Form* f) { Ui(f).Email.enable->setChecked(true); },
                       "SMTP IP/Address field is empty.", Form::PageEmail, -1,
                       [](Form* f) { return Ui(f).Email.ip; }},
        ValidationCase{"EmailPortOutOfRange",
                       [](Form* f) {
                           fillEmail(f);
                           Ui(f).Email.port->setText("65536");
                       },
                       "SMTP Port is invalid integer or empty.", Form::PageEmail, -1,
                       [](Form* f) { return Ui(f).Email.port; }},
        ValidationCase{"EmailComesBeforeSms",
                       [](Form* f) {
                           Ui(f).Sms.enable->setChecked(true);
                           fillEmail(f);
                           Ui(f).Email.fromAddress->clear();
                       },
                       "SMTP From Address field is empty.", Form::PageEmail, -1,
                       [](Form* f) { return Ui(f).Email.fromAddress; }},
        ValidationCase{"EmailTimeoutZero",
                       [](Form* f) {
                           fillEmail(f);
                           Ui(f).Email.timeout->setText("0");
                       },
                       "SMTP Timeout is invalid integer or empty.", Form::PageEmail, -1,
                       [](Form* f) { return Ui(f).Email.timeout; }},
        ValidationCase{"SmsVersionAboveAByte",
                       [](Form* f) {
                           fillSms(f);
                           Ui(f).Sms.version->setText("256");
                       },
                       "SMSC Version is invalid integer or empty.", Form::PageSms, Form::SmsBinding,
                       [](Form* f) { return Ui(f).Sms.version; }},
        ValidationCase{"SmsDestNpiNotANumber",
                       [](Form* f) {
                           fillSms(f);
                           Ui(f).Sms.destNpi->setText("1x");
                       },
                       "SMSC Dest. NPI is invalid integer or empty.", Form::PageSms,
                       Form::SmsExtraInformation, [](Form* f) { return Ui(f).Sms.destNpi; }},
        ValidationCase{"HttpPostWithoutMsisdnField",
                       [](Form* f) {
                           fillHttp(f);
                           Ui(f).HttpSms.method->setCurrentText("Post");
                       },
                       "SMSC MSISDN field is empty.", Form::PageHttpSms, Form::HttpSmsFieldNames,
                       [](Form* f) { return Ui(f).HttpSms.fieldMsisdn; }},
        ValidationCase{"HttpProxyPortOutOfRange",
                       [](Form* f) {
                           fillHttp(f);
                           Ui(f).HttpSms.proxyPort->setText("70000");
                       },
                       "HTTP-SMS Proxy Port is invalid integer or empty.", Form::PageHttpSms,
                       Form::HttpSmsProxy, [](Form* f) { return Ui(f).HttpSms.proxyPort; }},
        ValidationCase{"SysLogTimeoutAboveAnHour",
                       [](Form* f) {
                           Ui(f).SysLog.enable->setChecked(true);
                           Ui(f).SysLog.ip->setText("10.0.0.5");
                           Ui(f).SysLog.timeout->setText("3600001");
                       },
                       "SysLog Timeout is invalid integer or empty.", Form::PageSysLog, -1,
                       [](Form* f) { return Ui(f).SysLog.timeout; }},
        // A disabled page is not checked, but what it holds is written as a number or not at all.
        ValidationCase{"DisabledPageWithAWordForAPort", [](Form* f) { Ui(f).SysLog.port->setText("syslog"); },
                       "SysLog Port is invalid integer or empty.", Form::PageSysLog, -1,
                       [](Form* f) { return Ui(f).SysLog.port; }}),
    [](const ::testing::TestParamInfo<ValidationCase>& p) { return std::string(p.param.name); });

TEST_F(AlarmSettings, EmptyProxyPortIsWrittenAsZeroAndShownAsZeroWhateverTheTimeoutCheckSays)
{
    Form* form = open();
    fillHttp(form);
    Ui(form).HttpSms.timeout->setText("");
    form->ButtonApplyClick();
    EXPECT_EQ(m_boxes.texts(), QStringList{"HTTP-SMS Timeout is invalid integer or empty."});
    EXPECT_EQ(Ui(form).HttpSms.proxyPort->text(), "0");

    Ui(form).HttpSms.timeout->setText("5000");
    Ui(form).HttpSms.proxyPort->clear();
    form->ButtonApplyClick();
    EXPECT_EQ(stored("SMS by HTTP", "proxy_port"), "0");
    EXPECT_EQ(Ui(form).HttpSms.proxyPort->text(), "0");
    // An empty port on a disabled page is written as 0 as well.
    Ui(form).Email.port->clear();
    form->ButtonApplyClick();
    EXPECT_EQ(stored("Email", "port"), "0");
}

// ---- one transaction -------------------------------------------------------------------------------

TEST_F(AlarmSettings, ASaveRefusedHalfWayLeavesNothingBehindAndShowsTheServersTextWithoutPasswords)
{
    m_dm->ExecUpdate("insert into alarm_method_extra_fields (field_name,field_value) values (\"A\",\"1\")");
    // The server refuses the SysLog row, the last statement, quoting the e-mail password.
    m_dm->ExecUpdate(
        "create trigger quorvel.refuse_syslog before insert on quorvel.alarm_method for each row "
        "begin declare msg varchar(128); if new.type = \"SysLog\" then set msg = concat(\"refused, "
        "mail password is \", (select password from quorvel.alarm_method where type=\"Email\")); "
        "signal sqlstate \"45000\" set message_text = msg; end if; end");
    Form* form = open();
    fillEmail(form);
    Ui(form).Email.authentication->setChecked(true);
    Ui(form).Email.password->setText("s3cret-pw");
    fillHttp(form);
    Ui(form).HttpSms.method->setCurrentText("Post");
    Ui(form).HttpSms.fieldMsisdn->setText("to");
    Ui(form).HttpSms.fieldMessage->setText("text");
    Ui(form).HttpSms.extraFields->clear(); // the stored field removed on screen
    form->ButtonApplyClick();

    EXPECT_EQ(rowCount("alarm_method"), 0);
    EXPECT_EQ(storedExtraFields(), QStringList{"A=1"});
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("refused, mail password is ****"))
        << m_boxes.boxes[0].second.toStdString();
    const QString log = systemLogLines().join("\n");
    EXPECT_TRUE(log.contains("refused, mail password is ****")) << log.toStdString();
    EXPECT_FALSE(log.contains("s3cret-pw"));
    EXPECT_NE(form->StatusBar->currentMessage(), "Option settings saved.");
    EXPECT_NE(window->MainStatus(), "Option settings saved.");
    EXPECT_FALSE(AlarmMethodSettings.EmailMethod.enable); // not reloaded

    m_dm->ExecUpdate("drop trigger quorvel.refuse_syslog");
    form->ButtonApplyClick();
    EXPECT_EQ(rowCount("alarm_method"), 4);
    EXPECT_EQ(rowCount("alarm_method_extra_fields"), 0);
    EXPECT_EQ(form->StatusBar->currentMessage(), "Option settings saved.");
}

// ---- extra fields ----------------------------------------------------------------------------------

TEST_F(AlarmSettings, ExtraFieldsKeepOneOrderOnScreenInTheTableAndOnTheWireAndAreUntouchedWithGet)
{
    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,method,field_msisdn,field_message) values "
        "(\"SMS by HTTP\",0,\"gw.example\",80,\"Post\",\"to\",\"text\")");
    m_dm->ExecUpdate("insert into alarm_method_extra_fields (field_name,field_value) values (\"A\",\"1\")");
    m_dm->ExecUpdate("insert into alarm_method_extra_fields (field_name,field_value) values (\"B\",\"x=2\")");

    // The method is disabled: the list is loaded all the same, so enabling it and applying keeps
    // the stored fields, in their order.
    Form* form = open();
    EXPECT_EQ(shownExtraFields(form), QStringList({"A=1", "B=x=2"}));
    Ui(form).HttpSms.enable->setChecked(true);
    form->ButtonApplyClick();
    EXPECT_EQ(storedExtraFields(), QStringList({"A=1", "B=x=2"}));
    EXPECT_EQ(AlarmMethodSettings.HttpSmsExtraFields, QStringList({"A=1", "B=x=2"}));

    // Editing: Add needs both inputs and puts the pair on top; Remove (button, menu entry, double
    // click) moves the selected pair back into the inputs.
    form->ButtonAddFieldClick();
    EXPECT_EQ(m_boxes.texts(), QStringList{"Field Name or Field Value is empty. Please input this field."});
    EXPECT_EQ(form->focusWidget(), Ui(form).HttpSms.fieldName);
    Ui(form).HttpSms.fieldName->setText("C");
    Ui(form).HttpSms.fieldValue->setText("3");
    QTest::mouseClick(Ui(form).HttpSms.addField, Qt::LeftButton);
    EXPECT_EQ(shownExtraFields(form), QStringList({"C=3", "A=1", "B=x=2"}));
    EXPECT_TRUE(Ui(form).HttpSms.fieldName->text().isEmpty());
    form->ButtonRemoveFieldClick(); // nothing selected
    EXPECT_EQ(shownExtraFields(form).size(), 3);
    Ui(form).HttpSms.extraFields->setCurrentItem(Ui(form).HttpSms.extraFields->topLevelItem(2));
    QTest::mouseClick(Ui(form).HttpSms.removeField, Qt::LeftButton);
    EXPECT_EQ(shownExtraFields(form), QStringList({"C=3", "A=1"}));
    EXPECT_EQ(Ui(form).HttpSms.fieldName->text(), "B");
    EXPECT_EQ(Ui(form).HttpSms.fieldValue->text(), "x=2");
    Ui(form).HttpSms.extraFields->setCurrentItem(Ui(form).HttpSms.extraFields->topLevelItem(0));
    Ui(form).HttpSms.extraFields->actions().first()->trigger();
    EXPECT_EQ(shownExtraFields(form), QStringList({"A=1"}));

    // With "Get" the table is not touched, whatever the list shows.
    Ui(form).HttpSms.method->setCurrentText("Get");
    form->ButtonApplyClick();
    EXPECT_EQ(storedExtraFields(), QStringList({"A=1", "B=x=2"}));
    EXPECT_TRUE(AlarmMethodSettings.HttpSmsExtraFields.isEmpty());

    // Shown again and applied, again and again: the order never changes.
    for (int round = 0; round < 2; ++round) {
        form->ButtonCancelClick();
        form = open();
        EXPECT_EQ(shownExtraFields(form), QStringList({"A=1", "B=x=2"})) << round;
        Ui(form).HttpSms.method->setCurrentText("Post");
        form->ButtonApplyClick();
        EXPECT_EQ(storedExtraFields(), QStringList({"A=1", "B=x=2"})) << round;
        EXPECT_EQ(AlarmMethodSettings.HttpSmsExtraFields, QStringList({"A=1", "B=x=2"})) << round;
    }
}

// ---- tests against real peers -------------------------------------------------------------------------

// The test button judges a server's certificate as the alarms do: with the internal CA of [tls]
// CAFile the STARTTLS server is trusted and the test message goes out; without it, it does not.
TEST_F(AlarmSettings, EmailTestUsesTheCertificateSettingsOfTheAlarms)
{
    std::string why;
    const TestCertificates* certs = TestCerts(&why);
    if (!certs)
        GTEST_SKIP() << why;
    QTemporaryDir dir;
    AioSmtpdTls server;
    const int port = ScriptedServer::UnusedPort();
    if (!server.start(AioSmtpdTls::Mode::StartTls, "127.0.0.1", port, dir.filePath("mail.txt").toStdString(),
                      &why))
        GTEST_SKIP() << why;
    for (const bool trusted : {false, true}) {
        SCOPED_TRACE(trusted ? "CAFile names the internal CA" : "no CAFile");
        AppSettings.TlsCAFile = trusted ? QString::fromStdString(certs->caFile) : QString();
        Form* form = open();
        fillEmail(form);
        Ui(form).Email.ip->setText("127.0.0.1");
        Ui(form).Email.port->setText(QString::number(port));
        Ui(form).Email.authentication->setChecked(true);
        Ui(form).Email.username->setText("alice");
        Ui(form).Email.password->setText("s3cret");
        Ui(form).Email.testRecipient->setText("ops@example.com");
        Ui(form).Email.testMessage->setPlainText("tls test");
        const QString status = runTest(form);
        if (trusted)
            EXPECT_EQ(status, "SMTP Message has been sent already.");
        else
            EXPECT_NE(status, "SMTP Message has been sent already.");
        EXPECT_EQ(QFile::exists(dir.filePath("mail.txt")), trusted);
        form->close();
    }
    AppSettings.TlsCAFile.clear();
}

TEST_F(AlarmSettings, EmailTestLogsInWithAuthLoginAndSendsTheMessageOnScreen)
{
    ScriptedServer mail;
    mail.sendLine("220 mx.test ESMTP")
        .readLine()
        .send("250-mx.test\r\n250 AUTH PLAIN LOGIN\r\n")
        .readLine()
        .sendLine("250 reset")
        .readLine()
        .sendLine("334 VXNlcm5hbWU6")
        .readLine()
        .sendLine("334 UGFzc3dvcmQ6")
        .readLine()
        .sendLine("235 ok")
        .readLine()
        .sendLine("250 ok")
        .readLine()
        .sendLine("250 ok")
        .readLine()
        .sendLine("354 go")
        .readUntil("\r\n.\r\n")
        .sendLine("250 queued")
        .readRest();
    mail.start();

    Form* form = open();
    fillEmail(form);
    Ui(form).Email.ip->setText("HTTP://127.0.0.1"); // the prefix goes, as it does for the alarms
    Ui(form).Email.port->setText(QString::number(mail.port()));
    Ui(form).Email.mailAgent->setText("Quorvel");
    Ui(form).Email.authentication->setChecked(true);
    Ui(form).Email.username->setText("alice");
    Ui(form).Email.password->setText("s3cret");
    Ui(form).Email.testRecipient->setText("ops@example.com");
    Ui(form).Email.testMessage->setPlainText("line one\nline two");
    EXPECT_EQ(runTest(form), "SMTP Message has been sent already.");

    ASSERT_TRUE(mail.wait());
    EXPECT_TRUE(mail.failures().empty()) << mail.failures().front();
    const std::vector<std::string> got = mail.received();
    ASSERT_GE(got.size(), 10u);
    EXPECT_EQ(got[0], "EHLO " + LocalHostName());
    EXPECT_EQ(got[2], "AUTH LOGIN");
    EXPECT_EQ(got[3], "YWxpY2U=");
    EXPECT_EQ(got[4], "czNjcmV0");
    EXPECT_EQ(got[5], "MAIL FROM:<q@example>");
    EXPECT_EQ(got[6], "RCPT TO:<ops@example.com>");
    EXPECT_NE(got[8].find("Subject: Alarming Message\r\n"), std::string::npos);
    EXPECT_NE(got[8].find("X-Mailer: Quorvel\r\n"), std::string::npos);
    EXPECT_NE(got[8].find("\r\n\r\nline one\r\nline two\r\n.\r\n"), std::string::npos) << got[8];
    EXPECT_EQ(rowCount("alarm_method"), 0); // a test saves nothing
    EXPECT_FALSE(systemLogLines().join("\n").contains("s3cret"));
}

TEST_F(AlarmSettings, SmsTestBindsSubmitsAndUnbindsWithTheValuesOnScreen)
{
    FakeSmsc smsc;
    smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::SubmitSm)
        .respond(SmppCommand::SubmitSmResp, 0, QByteArray("id-1\0", 5))
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .expectClose();
    smsc.start();

    Form* form = open();
    fillSmsTest(form, smsc);
    Ui(form).Sms.username->setText("esme"); // not sent: Authentication is not ticked
    Ui(form).Sms.password->setText("pw");
    Ui(form).Sms.systemType->setText("VMA");
    Ui(form).Sms.oa->setText("QUORVEL");
    EXPECT_EQ(runTest(form), "SMS Message has been sent already.");

    ASSERT_TRUE(smsc.wait());
    EXPECT_TRUE(smsc.failures().empty()) << smsc.failures().front();
    const QList<QByteArray> pdus = smsc.pdus();
    ASSERT_EQ(pdus.size(), 3);
    // bind_transmitter body: system_id, password (both empty), system_type, version (34 on
    // screen, SMPP 3.4: the octet 0x34), TON, NPI, address range.
    EXPECT_EQ(pdus[0].mid(16).toHex(' '), QByteArray("\0\0VMA\0\x34\x01\x01QUORVEL\0", 17).toHex(' '));
    EXPECT_TRUE(pdus[1].contains(QByteArray("+41790000000\0", 13)));
    EXPECT_TRUE(pdus[1].contains("disk full"));
}

TEST_F(AlarmSettings, HttpSmsTestGetsTheFilledUrlAndShowsTheGatewaysAnswer)
{
    ScriptedServer gateway;
    ExpectHttpRequest(gateway).send(HttpAnswer("HTTP/1.1 200 OK", {}, "OK: 1 message queued")).readRest();
    gateway.start();

    Form* form = open();
    form->PageControl->setCurrentIndex(Form::PageHttpSms);
    fillHttp(form);
    Ui(form).HttpSms.url->setPlainText(
        QString("127.0.0.1:%1/send?to=$MSISDN&text=$MESSAGE").arg(gateway.port())); // no scheme
    Ui(form).HttpSms.testMsisdn->setText("+4179");
    Ui(form).HttpSms.testMessage->setText("disk: full");
    EXPECT_EQ(runTest(form), "SMS ( by HTTP ) Message has been sent already.");
    EXPECT_EQ(Ui(form).HttpSms.testResponse->toPlainText(), "OK: 1 message queued");
    ASSERT_TRUE(gateway.wait());
    ASSERT_FALSE(gateway.received().empty());
    EXPECT_EQ(gateway.received()[0].substr(0, gateway.received()[0].find("\r\n")),
              "GET /send?to=%2B4179&text=disk%3A+full HTTP/1.1");
}

TEST_F(AlarmSettings, HttpSmsTestPostsTheNamedFieldsAndTheExtraFieldsOnScreen)
{
    ScriptedServer gateway;
    ExpectHttpRequest(gateway)
        .send(HttpAnswer("HTTP/1.1 500 Internal Server Error", {}, "no credit"))
        .readRest();
    gateway.start();

    Form* form = open();
    form->PageControl->setCurrentIndex(Form::PageHttpSms);
    fillHttp(form);
    Ui(form).HttpSms.url->setPlainText(QString("http://127.0.0.1:%1/post").arg(gateway.port()));
    Ui(form).HttpSms.method->setCurrentText("Post");
    Ui(form).HttpSms.fieldMsisdn->setText("to");
    Ui(form).HttpSms.fieldMessage->setText("text");
    Ui(form).HttpSms.fieldName->setText("key");
    Ui(form).HttpSms.fieldValue->setText("k 1");
    form->ButtonAddFieldClick();
    Ui(form).HttpSms.testMsisdn->setText("4179");
    Ui(form).HttpSms.testMessage->setText("down");
    const QString outcome = runTest(form);
    EXPECT_TRUE(outcome.startsWith("SMS ( by HTTP ) Error : ")) << outcome.toStdString();
    EXPECT_TRUE(outcome.contains("500 Internal Server Error")) << outcome.toStdString();
    EXPECT_EQ(Ui(form).HttpSms.testResponse->toPlainText(), "no credit");
    ASSERT_TRUE(gateway.wait());
    ASSERT_FALSE(gateway.received().empty());
    const std::string request = gateway.received()[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /post HTTP/1.1");
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), "to=4179&text=down&key=k+1");
    EXPECT_EQ(rowCount("alarm_method_extra_fields"), 0);
}

TEST_F(AlarmSettings, SysLogTestSendsOneDatagramWithTheChosenCodesAndTheColonRule)
{
    UdpCollector collector;
    Form* form = open();
    form->PageControl->setCurrentIndex(Form::PageSysLog);
    enableSysLog(form, collector.port());
    Ui(form).SysLog.ip->setText("http://127.0.0.1");
    Ui(form).SysLog.facility->setCurrentText("UUCP");
    Ui(form).SysLog.severity->setCurrentText("Error");
    struct Case
    {
        const char* message;
        const char* sent;
    };
    for (const Case& c :
         {Case{"Disk: full", ":Disk: full"}, Case{":leading", ":leading"}, Case{"plain", "plain"}}) {
        Ui(form).SysLog.testMessage->setText(c.message);
        EXPECT_EQ(runTest(form), "SysLog Message has been sent already.");
        std::string datagram;
        ASSERT_TRUE(collector.receive(datagram, 5000));
        EXPECT_EQ(datagram.substr(0, 4), "<67>"); // UUCP 8 * 8 + Error 3
        EXPECT_EQ(datagram.substr(datagram.size() - std::string(c.sent).size()), c.sent);
    }
}

struct RefusedCase
{
    const char* name;
    int page;
    std::function<void(Form*, int port)> fill;
    const char* outcome; // its beginning
};

class RefusedTest : public AlarmSettings, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedTest, ARefusedPortShowsTheMethodsErrorText)
{
    const RefusedCase& c = GetParam();
    Form* form = open();
    form->PageControl->setCurrentIndex(c.page);
    c.fill(form, ScriptedServer::UnusedPort());
    const QString outcome = runTest(form);
    EXPECT_TRUE(outcome.startsWith(c.outcome)) << outcome.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Methods, RefusedTest,
                         ::testing::Values(RefusedCase{"Email", Form::PageEmail,
                                                       [](Form* f, int port) {
                                                           fillEmail(f);
                                                           Ui(f).Email.ip->setText("127.0.0.1");
                                                           Ui(f).Email.port->setText(QString::number(port));
                                                           Ui(f).Email.testRecipient->setText("a@b");
                                                           Ui(f).Email.testMessage->setPlainText("m");
                                                       },
                                                       "SMTP Error : [127.0.0.1:"},
                                           RefusedCase{"Sms", Form::PageSms,
                                                       [](Form* f, int port) {
                                                           fillSms(f);
                                                           Ui(f).Sms.ip->setText("127.0.0.1");
                                                           Ui(f).Sms.port->setText(QString::number(port));
                                                           Ui(f).Sms.testPhone->setText("1");
                                                           Ui(f).Sms.testMessage->setText("m");
                                                       },
                                                       "Connection Failed : 111"},
                                           RefusedCase{"HttpSms", Form::PageHttpSms,
                                                       [](Form* f, int port) {
                                                           fillHttp(f);
                                                           Ui(f).HttpSms.url->setPlainText(
                                                               QString("127.0.0.1:%1/").arg(port));
                                                           Ui(f).HttpSms.testMsisdn->setText("1");
                                                           Ui(f).HttpSms.testMessage->setText("m");
                                                       },
                                                       "SMS ( by HTTP ) Error : "}),
                         [](const ::testing::TestParamInfo<RefusedCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(AlarmSettings, TestInputsAreCheckedBeforeThePageAndNothingIsSent)
{
    Form* form = open();
    fillEmail(form);
    Ui(form).Email.port->setText("0");
    form->ButtonTestClick();
    Ui(form).Email.testRecipient->setText("a@b");
    form->ButtonTestClick();
    Ui(form).Email.testMessage->setPlainText("m");
    form->ButtonTestClick(); // now the page's own check
    form->PageControl->setCurrentIndex(Form::PageHttpSms);
    fillHttp(form);
    form->ButtonTestClick();
    EXPECT_EQ(m_boxes.texts(),
              QStringList({"Recipient Email is empty. Please input this field for testing connection.",
                           "Message is empty. Please input this field for testing connection.",
                           "SMTP Port is invalid integer or empty.",
                           "$MSISDN is empty. Please input this field for testing connection."}));
    EXPECT_EQ(form->focusWidget(), Ui(form).HttpSms.testMsisdn);
    EXPECT_FALSE(form->TestRunning());
}

TEST_F(AlarmSettings, WindowsStayResponsiveDuringATestAndALateOutcomeAfterReshowingIsIgnored)
{
    ScriptedServer silent;
    silent.silence(10000);
    silent.start();
    showWindow();
    Form* form = open();
    form->PageControl->setCurrentIndex(Form::PageSms);
    fillSms(form);
    Ui(form).Sms.ip->setText("127.0.0.1");
    Ui(form).Sms.port->setText(QString::number(silent.port()));
    Ui(form).Sms.timeout->setText("1500");
    Ui(form).Sms.testPhone->setText("1");
    Ui(form).Sms.testMessage->setText("m");

    // A timer of the main window keeps firing while the SMSC stays silent.
    int ticks = 0;
    QTimer timer(window.get());
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    QElapsedTimer clock;
    clock.start();
    const QString outcome = runTest(form);
    const qint64 took = clock.elapsed();
    EXPECT_EQ(outcome, "Binding Failed : -1");
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 10000);
    EXPECT_GE(ticks, int(took / 50 / 3)) << ticks << " ticks in " << took << " ms";

    // Started, then the window closed and shown again: the first test's outcome never shows.
    ScriptedServer silentAgain;
    silentAgain.silence(10000);
    silentAgain.start();
    Ui(form).Sms.port->setText(QString::number(silentAgain.port()));
    form->ButtonTestClick();
    ASSERT_TRUE(form->TestRunning());
    form->ButtonCancelClick();
    form = open();
    EXPECT_FALSE(form->TestRunning());
    form->PageControl->setCurrentIndex(Form::PageSms);
    EXPECT_TRUE(form->ButtonTest->isEnabled() == Ui(form).Sms.enable->isChecked());
    QTest::qWait(2500);
    EXPECT_EQ(form->StatusBar->currentMessage(), "");
}

// ---- every field, by the tables of the pages ------------------------------------------------------

struct FieldCase
{
    int page;
    const char* column;
    const char* caption;
    enum Kind
    {
        Text,
        Number,
        Check,
        List
    } kind;
    const char* shown; // the default on a fresh database
    int minimum;       // numbers
    int maximum;       // numbers: the highest value; texts: the longest input
};

const FieldCase kFields[] = {
    {Form::PageEmail, "ip", "SMTP IP/Address", FieldCase::Text, "", 0, 200},
    {Form::PageEmail, "port", "Port", FieldCase::Number, "25", 1, 65535},
    {Form::PageEmail, "mail_agent", "Mail Agent", FieldCase::Text, "", 0, 150},
    {Form::PageEmail, "from_address", "From Address", FieldCase::Text, "", 0, 50},
    {Form::PageEmail, "authenticate", "Authentication", FieldCase::Check, "0", 0, 0},
    {Form::PageEmail, "username", "Username", FieldCase::Text, "", 0, 50},
    {Form::PageEmail, "password", "Password", FieldCase::Text, "", 0, 50},
    {Form::PageEmail, "timeout", "Timeout (ms)", FieldCase::Number, "5000", 1, 3600000},
    {Form::PageSms, "ip", "SMSC IP", FieldCase::Text, "", 0, 200},
    {Form::PageSms, "port", "Port", FieldCase::Number, "2775", 1, 65535},
    {Form::PageSms, "timeout", "Timeout (ms)", FieldCase::Number, "5000", 1, 3600000},
    {Form::PageSms, "authenticate", "Authentication", FieldCase::Check, "0", 0, 0},
    {Form::PageSms, "username", "Username", FieldCase::Text, "", 0, 50},
    {Form::PageSms, "password", "Password", FieldCase::Text, "", 0, 50},
    {Form::PageSms, "sms_version", "Version", FieldCase::Number, "34", 0, 255},
    {Form::PageSms, "sms_system_type", "System Type", FieldCase::Text, "TCP", 0, 50},
    {Form::PageSms, "sms_ton", "TON", FieldCase::Number, "1", 0, 255},
    {Form::PageSms, "sms_npi", "NPI", FieldCase::Number, "1", 0, 255},
    {Form::PageSms, "oa", "OA / SA", FieldCase::Text, "", 0, 50},
    {Form::PageSms, "sms_dest_ton", "Dest. TON", FieldCase::Number, "1", 0, 255},
    {Form::PageSms, "sms_dest_npi", "Dest. NPI", FieldCase::Number, "1", 0, 255},
    {Form::PageSms, "sms_orig_ton", "Orig. TON", FieldCase::Number, "1", 0, 255},
    {Form::PageSms, "sms_orig_npi", "Orig. NPI", FieldCase::Number, "1", 0, 255},
    {Form::PageHttpSms, "ip", "URL", FieldCase::Text, "", 0, 2048},
    {Form::PageHttpSms, "port", "Port", FieldCase::Number, "80", 1, 65535},
    {Form::PageHttpSms, "method", "Method", FieldCase::List, "Get", 0, 0},
    {Form::PageHttpSms, "timeout", "Timeout (ms)", FieldCase::Number, "5000", 1, 3600000},
    {Form::PageHttpSms, "field_msisdn", "MSISDN", FieldCase::Text, "", 0, 50},
    {Form::PageHttpSms, "field_message", "MESSAGE", FieldCase::Text, "", 0, 50},
    {Form::PageHttpSms, "authenticate", "Authentication", FieldCase::Check, "0", 0, 0},
    {Form::PageHttpSms, "username", "Username", FieldCase::Text, "", 0, 50},
    {Form::PageHttpSms, "password", "Password", FieldCase::Text, "", 0, 50},
    {Form::PageHttpSms, "proxy_ip", "Proxy Server", FieldCase::Text, "", 0, 100},
    {Form::PageHttpSms, "proxy_port", "Proxy Port", FieldCase::Number, "", 0, 65535},
    {Form::PageHttpSms, "proxy_username", "Proxy Username", FieldCase::Text, "", 0, 50},
    {Form::PageHttpSms, "proxy_password", "Proxy Password", FieldCase::Text, "", 0, 50},
    {Form::PageSysLog, "ip", "IP", FieldCase::Text, "", 0, 200},
    {Form::PageSysLog, "port", "Port", FieldCase::Number, "514", 1, 65535},
    {Form::PageSysLog, "syslog_facility", "Facility", FieldCase::List, "Kernel", 0, 0},
    {Form::PageSysLog, "syslog_severity", "Severity", FieldCase::List, "Emergency", 0, 0},
    {Form::PageSysLog, "timeout", "Timeout (ms)", FieldCase::Number, "5000", 1, 3600000},
};

const char* const kTypes[] = {"Email", "SMS", "SMS by HTTP", "SysLog"};

// What a field shows: the text, "1"/"0" for a box, the item of a list.
QString shownValue(QWidget* w)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* box = qobject_cast<QPlainTextEdit*>(w))
        return box->toPlainText();
    if (auto* check = qobject_cast<QCheckBox*>(w))
        return check->isChecked() ? "1" : "0";
    if (auto* list = qobject_cast<QComboBox*>(w))
        return list->currentText();
    return "?";
}

// Types `value` as a person would set the field (a box ticked for "1", a list's item chosen).
void setValue(QWidget* w, const QString& value)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(value);
    else if (auto* box = qobject_cast<QPlainTextEdit*>(w))
        box->setPlainText(value);
    else if (auto* check = qobject_cast<QCheckBox*>(w))
        check->setChecked(value == "1");
    else if (auto* list = qobject_cast<QComboBox*>(w))
        list->setCurrentText(value);
}

// The value that fills a field to its limit: the longest text (of its own letters), the highest
// number, the box ticked, the last item.
QString limitValue(const FieldCase& f, QWidget* w)
{
    switch (f.kind) {
    case FieldCase::Text:
        return QString(QString(f.column) + "-").repeated(f.maximum).left(f.maximum);
    case FieldCase::Number:
        return QString::number(f.maximum);
    case FieldCase::Check:
        return "1";
    case FieldCase::List: {
        auto* list = qobject_cast<QComboBox*>(w);
        return list ? list->itemText(list->count() - 1) : QString();
    }
    }
    return {};
}

// Every field of every page: its caption names it, a fresh database shows its default, a number
// outside its range is refused, and the longest text or highest number is stored whole in its
// column and shown again from there.
TEST_F(AlarmSettings, EveryFieldShowsItsDefaultKeepsItsRangeAndRoundTripsThroughItsColumn)
{
    // The window has no field that this table misses.
    for (std::size_t p = 0; p < AlarmMethodForms().size(); ++p) {
        for (const AlarmMethodField& field : AlarmMethodForms()[p].fields) {
            const bool listed = std::any_of(std::begin(kFields), std::end(kFields), [&](const FieldCase& f) {
                return f.page == int(p) && QString(f.column) == field.column &&
                       QString(f.caption) == field.caption;
            });
            EXPECT_TRUE(listed) << kTypes[p] << " " << field.column;
        }
    }

    Form* form = open();
    auto fieldOf = [&form](const FieldCase& f) {
        return Named<QWidget>(form->PageControl->widget(f.page), f.caption);
    };
    for (const FieldCase& f : kFields) {
        QWidget* w = fieldOf(f);
        ASSERT_NE(w, nullptr) << kTypes[f.page] << " " << f.caption;
        EXPECT_EQ(shownValue(w), f.shown) << kTypes[f.page] << " " << f.column;
    }

    for (int page = Form::PageEmail; page <= Form::PageSysLog; ++page) {
        SCOPED_TRACE(kTypes[page]);
        Named<QCheckBox>(form->PageControl->widget(page), "Enable")->setChecked(true);
        for (const FieldCase& f : kFields) {
            if (f.page == page)
                setValue(fieldOf(f), limitValue(f, fieldOf(f)));
        }
        // Just outside the range, either side: refused, nothing written.
        for (const FieldCase& f : kFields) {
            if (f.page != page || f.kind != FieldCase::Number)
                continue;
            for (const int outside : {f.minimum - 1, f.maximum + 1}) {
                m_boxes.boxes.clear();
                setValue(fieldOf(f), QString::number(outside));
                form->ButtonApplyClick();
                EXPECT_EQ(m_boxes.boxes.size(), 1u) << f.column << " " << outside;
                EXPECT_TRUE(m_boxes.texts().value(0).endsWith("is invalid integer or empty."))
                    << f.column << " " << outside;
                EXPECT_EQ(form->focusWidget(), fieldOf(f)) << f.column;
            }
            setValue(fieldOf(f), QString::number(f.maximum));
        }
        EXPECT_EQ(rowCount("alarm_method"), 0);
    }
    m_boxes.boxes.clear();
    form->ButtonApplyClick();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join("\n").toStdString();
    ASSERT_EQ(form->StatusText(), "Option settings saved.");

    // Stored whole in its column, and shown again from there.
    form->ButtonCancelClick();
    form = open();
    for (const FieldCase& f : kFields) {
        const QString value = limitValue(f, fieldOf(f));
        EXPECT_EQ(stored(kTypes[f.page], f.column), value) << kTypes[f.page] << " " << f.column;
        EXPECT_EQ(shownValue(fieldOf(f)), value) << kTypes[f.page] << " " << f.column;
    }
    // The in-memory settings were loaded from the same columns.
    EXPECT_EQ(AlarmMethodSettings.EmailMethod.timeout, 3600000);
    EXPECT_EQ(AlarmMethodSettings.SmsMethod.sms_orig_npi, 255);
    EXPECT_EQ(AlarmMethodSettings.HttpSmsMethod.proxy_port, 65535);
    EXPECT_EQ(AlarmMethodSettings.HttpSmsMethod.method, "Post");
    EXPECT_EQ(AlarmMethodSettings.SysLogMethod.facility, 23);
    EXPECT_EQ(AlarmMethodSettings.SysLogMethod.severity, 7);
}

// ---- the test's progress and its failure text --------------------------------------------------

// The SMS test says "connected" once the SMSC has accepted the bind, before the outcome; a refused
// bind never says it.
TEST_F(AlarmSettings, SmsTestShowsConnectedOnceBoundAndBeforeTheOutcome)
{
    struct Case
    {
        const char* name;
        quint32 bindStatus;
        QStringList shown;
    };
    const Case cases[] = {
        {"bound", 0, {"SMS Message is sending out...", "connected", "SMS Message has been sent already."}},
        {"bind refused", 0x0E, {"SMS Message is sending out...", "Binding Failed : 14"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter).respond(SmppCommand::BindTransmitterResp, c.bindStatus);
        if (c.bindStatus == 0)
            smsc.expect(SmppCommand::SubmitSm)
                .pause(700) // the SMSC takes its time: "connected" stays meanwhile
                .respond(SmppCommand::SubmitSmResp, 0, QByteArray("id-1\0", 5))
                .expect(SmppCommand::Unbind)
                .respond(SmppCommand::UnbindResp);
        smsc.expectClose();
        smsc.start();

        Form* form = open();
        fillSmsTest(form, smsc);
        QStringList shown;
        QMetaObject::Connection watch =
            QObject::connect(form->StatusBar, &QStatusBar::messageChanged, [&shown](const QString& text) {
                if (!text.isEmpty())
                    shown << text;
            });
        runTest(form);
        QObject::disconnect(watch);
        EXPECT_EQ(shown, c.shown);
        ASSERT_TRUE(smsc.wait());
        form->close();
    }
}

// A failed test shows why in the status bar: cut to the window, the whole text as its tooltip.
TEST_F(AlarmSettings, AFailedTestShowsItsReasonCutToTheWindowWithTheWholeTextAsTooltip)
{
    const std::string reason = "554 " + std::string(300, 'x') + " relay refused";
    ScriptedServer mail;
    mail.sendLine(reason).readRest();
    mail.start();

    Form* form = open();
    fillEmail(form);
    Ui(form).Email.ip->setText("127.0.0.1");
    Ui(form).Email.port->setText(QString::number(mail.port()));
    Ui(form).Email.testRecipient->setText("ops@example.com");
    Ui(form).Email.testMessage->setPlainText("m");
    const QString outcome = runTest(form);
    EXPECT_TRUE(outcome.startsWith("SMTP Error : ")) << outcome.toStdString();
    EXPECT_TRUE(outcome.contains("relay refused")) << outcome.toStdString();
    EXPECT_EQ(form->StatusBar->toolTip(), outcome);
    const QString cut = form->StatusBar->currentMessage();
    EXPECT_LT(cut.size(), outcome.size());
    EXPECT_TRUE(cut.startsWith("SMTP Error : ")) << cut.toStdString();
    EXPECT_LE(form->StatusBar->fontMetrics().horizontalAdvance(cut), form->StatusBar->width());

    // A short outcome is shown whole.
    form->PageControl->setCurrentIndex(Form::PageSysLog);
    UdpCollector collector;
    enableSysLog(form, collector.port());
    Ui(form).SysLog.testMessage->setText("m");
    EXPECT_EQ(runTest(form), "SysLog Message has been sent already.");
    EXPECT_EQ(form->StatusBar->currentMessage(), "SysLog Message has been sent already.");
}

// ---- the engine after Apply ----------------------------------------------------------------------

TEST_F(AlarmSettings, TheNextAlarmOfTheEngineUsesTheSettingsJustApplied)
{
    UdpCollector collector;
    Service s;
    s.kind = "SMTP";
    s.port = ScriptedServer::UnusedPort(); // the check fails
    const int id = addService(s);
    m_dm->ExecUpdate(QString("update service set alarm_syslog=\"y\" where id=%1").arg(id));

    Form* form = open();
    enableSysLog(form, collector.port());
    Ui(form).SysLog.facility->setCurrentText("Local Use Seven");
    Ui(form).SysLog.severity->setCurrentText("Debug");
    form->ButtonApplyClick();
    ASSERT_EQ(form->StatusBar->currentMessage(), "Option settings saved.");

    window->Engine()->QueueServiceCheck(QString::number(id), 0);
    std::string datagram;
    ASSERT_TRUE(waitFor([&] { return collector.receive(datagram, 10); }, 15000));
    EXPECT_EQ(datagram.substr(0, 5), "<191>"); // Local Use Seven 23 * 8 + Debug 7
    EXPECT_NE(datagram.find(QString("[127.0.0.1:%1]").arg(s.port).toStdString()), std::string::npos)
        << datagram;
}

// ---- screenshots -----------------------------------------------------------------------------------

TEST_F(AlarmSettings, DISABLED_ScreenshotsOfTheFourPages)
{
    const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "QUORVEL_SCREENSHOTS is not set";
    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,timeout,mail_agent,from_address,authenticate,"
        "username,password) values (\"Email\",1,\"mail.example.com\",25,5000,\"Quorvel\","
        "\"quorvel@example.com\",1,\"alerts\",\"secret\")");
    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,timeout,method,field_msisdn,field_message) "
        "values (\"SMS by HTTP\",1,\"http://sms.example.com/send\",80,5000,\"Post\",\"to\",\"text\")");
    m_dm->ExecUpdate(
        "insert into alarm_method_extra_fields (field_name,field_value) values (\"user\",\"ops\")");
    m_dm->ExecUpdate(
        "insert into alarm_method_extra_fields (field_name,field_value) values (\"route\",\"2\")");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port,timeout,syslog_facility,syslog_severity) "
                     "values (\"SysLog\",1,\"10.0.0.5\",514,5000,\"Local Use Zero\",\"Error\")");
    showWindow();
    Form* form = open();
    form->ButtonApplyClick(); // the status bar says "Option settings saved."
    Ui(form).Email.testRecipient->setText("admin@example.com");
    Ui(form).Email.testMessage->setPlainText("Test message from Quorvel");
    Ui(form).SysLog.testMessage->setText("Disk: full");
    const char* names[] = {"email", "sms", "httpsms", "syslog"};
    for (int page = Form::PageEmail; page <= Form::PageSysLog; ++page) {
        form->PageControl->setCurrentIndex(page);
        if (page == Form::PageHttpSms)
            Ui(form).HttpSms.subPages->setCurrentIndex(Form::HttpSmsExtraFields);
        if (page == Form::PageSms)
            Ui(form).Sms.subPages->setCurrentIndex(Form::SmsBinding);
        QTest::qWait(200);
        ASSERT_TRUE(
            form->grab().save(QDir(folder).filePath(QString("alarm_%1.png").arg(names[page])), "PNG"));
    }
}

} // namespace

#include "test_AlarmSettings.moc"
