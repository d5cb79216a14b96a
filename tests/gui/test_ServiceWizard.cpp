// The new-service wizard driven through its widgets against the test database and loopback
// servers: the steps, the stored rows, the connection test, the validations and failed saves.
#include "DialogKit.h"
#include "ServiceDialogFixture.h"

#include "checks/ThreadCertCheckUnit.h"
#include "checks/ThreadDNSCheckUnit.h"
#include "checks/ThreadTCPCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"
#include "core/Clock.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/dialogs/FrameCert.h"
#include "gui/dialogs/FrameDNS.h"
#include "gui/dialogs/FrameEmail.h"
#include "gui/dialogs/FrameFTP.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameTCP.h"
#include "gui/dialogs/FrameURL.h"
#include "gui/dialogs/contactSettings.h"
#include "gui/dialogs/setupScheduling.h"
#include "gui/dialogs/updateScheduling.h"
#include "monitor/MonitorEngine.h"
#include "support/CertPeers.h"
#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>

namespace {

[[maybe_unused]] const auto* const g_certPeers =
    ::testing::AddGlobalTestEnvironment(new CertPeersEnvironment);

using Kind = Notifier::Kind;

// The wizard's controls as a person finds them: by their captions.
QPushButton* testButton(QWidget* wizard)
{
    return Control<QPushButton>(wizard, "Test connection");
}
QPlainTextEdit* testResult(QWidget* wizard)
{
    return Control<QPlainTextEdit>(wizard, "Test result");
}
QLabel* testDetail(QWidget* wizard)
{
    return Control<QLabel>(wizard, "Test detail");
}
QPushButton* cancelButton(QWidget* wizard)
{
    return Control<QPushButton>(wizard, "Cancel");
}
QPushButton* backButton(QWidget* wizard)
{
    return Control<QPushButton>(wizard, "< Back");
}

class ServiceWizard : public ServiceDialogFixture
{
protected:
    void TearDown() override
    {
        SetClockSource(nullptr);
        ServiceDialogFixture::TearDown();
    }

    TServiceInputs& in() { return wizard->Inputs(); }
    TFrameURLForm* url() { return in().Service->FrameURL; }

    void next() { click(wizard->ButtonNext); }

    // Step 1 with "By Minutely" every `minutes`, leaving the wizard on step 2.
    void scheduleEvery(const QString& minutes)
    {
        next();
        click(in().Schedule->RadioButtonMinutely);
        pick(in().Schedule->ComboBoxMinutely, minutes);
        next();
        ASSERT_EQ(wizard->CurrentStep(), 2);
    }

    // A URL service at `address`, then on to step 3.
    void urlService(const QString& address, int port)
    {
        pick(in().Service->ComboBoxService, QStringLiteral("URL"));
        type(url()->EditURL, address);
        type(url()->EditPort, QString::number(port));
        next();
        ASSERT_EQ(wizard->CurrentStep(), 3);
    }

    void toLastStep()
    {
        while (wizard->CurrentStep() < 5)
            next();
    }

    void clickTab(int index)
    {
        QTabBar* bar = wizard->PageControl->tabBar();
        ASSERT_TRUE(wizard->PageControl->isTabVisible(index));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    TFormSetupScheduling* wizard = nullptr;
};

// ---- the whole way ---------------------------------------------------------------------------

TEST_F(ServiceWizard, UrlServiceWithPostFieldsAndAGroupIsStoredShownAndProbedAtTheNextTick)
{
    ScriptedServer http;
    ExpectHttpRequest(http).send(HttpAnswer("HTTP/1.1 200 OK", {}, "ok")).readRest();
    http.start();
    const int ann = addPerson(QStringLiteral("Ann"));
    const int bob = addPerson(QStringLiteral("Bob"));
    addPerson(QStringLiteral("Cid"));
    addGroup(QStringLiteral("Ops"), {ann, bob});
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 13)); });
    startCycle();
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);

    EXPECT_EQ(wizard->PageControl->currentIndex(), 0);
    EXPECT_FALSE(backButton(wizard)->isEnabled());
    scheduleEvery(QStringLiteral("5"));
    EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::SelectService));

    const QString address = QStringLiteral("http://127.0.0.1:%1/form").arg(http.port());
    pick(url()->ComboBoxMethod, QStringLiteral("Post"));
    EXPECT_TRUE(url()->GroupBoxPostFields->isEnabled());
    type(url()->EditURL, address);
    type(url()->EditPort, QString::number(http.port()));
    for (const char* field : {"A", "B"}) {
        type(url()->EditFieldName, QString::fromLatin1(field));
        type(url()->EditFieldValue, QString::fromLatin1(field).toLower());
        click(url()->ButtonAdd);
    }
    EXPECT_EQ(rows(url()->ListViewPostFields, 0), (QStringList{"B", "A"}));
    EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::RightClickToRemove));
    next();
    EXPECT_EQ(wizard->LabelService->text(), "URL");
    EXPECT_EQ(wizard->LabelIP->text(), address);
    EXPECT_EQ(wizard->LabelPort->text(), QString::number(http.port()));
    next();
    click(in().Alarms->CheckBoxEmail);
    next();
    EXPECT_EQ(wizard->ButtonNext->text(), "&Finish");
    EXPECT_EQ(wizard->ButtonNext->toolTip(), QString::fromLatin1(lang::ClickToSaveScheduling));
    // Groups above persons, each kind highest id first.
    EXPECT_EQ(rows(in().Contacts->ListViewContact, 0), (QStringList{"Ops", "Cid", "Bob", "Ann"}));
    EXPECT_EQ(rows(in().Contacts->ListViewContact, 1), (QStringList{"Group", "Person", "Person", "Person"}));
    tick(in(), QStringLiteral("Ops"));
    next();

    EXPECT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    EXPECT_FALSE(wizard->isVisible());
    const QStringList service =
        table("select id,service,ip,port,username,password,schedule_by,schedule_hour,schedule_minute,status,"
              "service_status,proxy_ip,proxy_port,proxy_username,proxy_password,url_method,ftp_proxytype,"
              "alarm_email,"
              "alarm_smpp,alarm_httpsms,alarm_syslog,last_access > \"2000-01-01\" from service");
    ASSERT_EQ(service.size(), 1);
    const QString id = service[0].section('|', 0, 0);
    EXPECT_EQ(service[0].section('|', 1),
              QString("URL|%1|%2|||Minutely|00|5|Start|Unknown||0|||Post||y|n|n|n|1")
                  .arg(address)
                  .arg(http.port()));
    EXPECT_EQ(table("select service_id,cookie,referer,headerData,userAgent,contentType,accept,acceptCharSet,"
                    "acceptEncoding,acceptLanguage from service_url"),
              QStringList{id + "||||Mozilla/3.0|text/html|text/html, */*|||"});
    EXPECT_EQ(table("select service_id,fieldname,fieldvalue,isFile from service_url_detail"),
              (QStringList{id + "|B|b|n", id + "|A|a|n"}));
    EXPECT_EQ(
        table("select service_id,contact_person_id from service_contact_person order by contact_person_id"),
        (QStringList{QString("%1|%2").arg(id).arg(ann), QString("%1|%2").arg(id).arg(bob)}));

    // The main window shows it at once.
    EXPECT_TRUE(
        window->Engine()->HostTree()->stringList().contains(QString("127.0.0.1:%1").arg(http.port())));
    TextTableModel* list = window->Engine()->ServiceList();
    const int row = list->findRow(id);
    ASSERT_GE(row, 0);
    EXPECT_EQ(list->cell(row, MonitorEngine::SvcIp), QString("127.0.0.1:%1/form").arg(http.port()));

    // The next tick at a minute divisible by 5 probes it, with the post fields in list order.
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 15)); });
    window->Engine()->TimerServiceTimer();
    ASSERT_TRUE(
        waitFor([&] { return list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus) == "Passed"; }));
    ASSERT_TRUE(http.wait());
    ASSERT_FALSE(http.received().empty());
    const std::string request = http.received()[0];
    EXPECT_EQ(request.rfind("POST /form HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\n\r\nB=b&A=a"), std::string::npos) << request;
}

TEST_F(ServiceWizard, EmailPingAndFtpServicesStoreTheirOwnColumns)
{
    struct Case
    {
        const char* name;
        std::function<void(TServiceInputs&)> fill;
        QString expected; // service,ip,port,username,password,proxy_ip,proxy_port,ftp_proxytype,url_method
                          // with "-" for a column not written
        QString step3Port;
    };
    const std::vector<Case> cases{
        {"IMAP keeps the port its method set",
         [](TServiceInputs& in) {
             pick(in.Service->ComboBoxService, "Email");
             pick(in.Service->FrameEmail->ComboBoxMethod, "IMAP");
             type(in.Service->FrameEmail->EditHost, "mail.example");
             type(in.Service->FrameEmail->EditUserID, "u");
             type(in.Service->FrameEmail->EditPassword, "p");
         },
         "IMAP|mail.example|143|u|p|-|-|-|-", "143"},
        {"Ping without a port stores 0",
         [](TServiceInputs& in) {
             pick(in.Service->ComboBoxService, "Ping");
             type(in.Service->FramePing->EditHost, "10.0.0.1");
         },
         "Ping|10.0.0.1|0|-|-|-|-|-|-", ""},
        {"FTP proxy typed in and switched off is not stored",
         [](TServiceInputs& in) {
             TFrameFTPForm* f = in.Service->FrameFTP;
             pick(in.Service->ComboBoxService, "FTP");
             type(f->EditHost, "ftp.example");
             click(f->CheckBoxUseProxy);
             type(f->EditProxyServer, "proxy.example");
             type(f->EditProxyPort, "3128");
             pick(f->ComboBoxProxyType, "fpcmSite");
             click(f->CheckBoxUseProxy);
         },
         "FTP|ftp.example|21||||0|fpcmNone|-", "21"},
        {"a port in the validator's hexadecimal form is stored as its decimal",
         [](TServiceInputs& in) {
             pick(in.Service->ComboBoxService, "FTP");
             type(in.Service->FrameFTP->EditHost, "ftp.example");
             type(in.Service->FrameFTP->EditPort, "$15");
         },
         "FTP|ftp.example|21||||0|fpcmNone|-", "$15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dm->ExecUpdate("delete from service");
        wizard = openWizard();
        ASSERT_NE(wizard, nullptr);
        scheduleEvery("10");
        c.fill(in());
        next();
        EXPECT_EQ(wizard->LabelPort->text(), c.step3Port);
        toLastStep();
        next();
        EXPECT_EQ(
            table("select service,ip,port,ifnull(username,'-'),ifnull(password,'-'),ifnull(proxy_ip,'-'),"
                  "ifnull(proxy_port,'-'),ifnull(ftp_proxytype,'-'),ifnull(url_method,'-') from service"),
            QStringList{c.expected});
        EXPECT_EQ(count("select count(*) from quorvel.service_url"), 0);
    }
}

// A "TCP" service made in the wizard: Test connection sends its line and finds its text in the
// reply, the row and its options are stored, and the next tick checks it the same way.
TEST_F(ServiceWizard, TcpServiceIsTestedStoredWithItsOptionsAndCheckedAtTheNextTick)
{
    ScriptedServer pop;
    for (int connection = 0; connection < 2; ++connection) {
        if (connection > 0)
            pop.acceptNext();
        pop.expectLine("CAPA").sendLine("+OK capa follows");
    }
    pop.readRest();
    pop.start();
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 13)); });
    startCycle();
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery(QStringLiteral("5"));
    pick(in().Service->ComboBoxService, "TCP");
    TFrameTCPForm* f = in().Service->FrameTCP;
    EXPECT_EQ(in().Service->CurrentFrame(), f);
    type(f->EditHost, "127.0.0.1");
    type(f->EditPort, QString::number(pop.port()));
    type(f->EditSend, "CAPA");
    type(f->EditExpect, "+OK capa");
    next();
    EXPECT_EQ(wizard->LabelService->text(), "TCP");
    EXPECT_EQ(wizard->LabelIP->text(), "127.0.0.1");
    EXPECT_EQ(wizard->LabelPort->text(), QString::number(pop.port()));

    click(testButton(wizard));
    ASSERT_TRUE(waitFor([&] { return testButton(wizard)->isEnabled(); }));
    EXPECT_EQ(testResult(wizard)->toPlainText(), "Passed");
    EXPECT_EQ(count("select count(*) from quorvel.service"), 0) << "a test stores nothing";

    toLastStep();
    next();
    ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    const QString id = scalar("select id from quorvel.service");
    EXPECT_EQ(table("select service,ip,port,schedule_by,schedule_minute,status from service"),
              QStringList{QString("TCP|127.0.0.1|%1|Minutely|5|Start").arg(pop.port())});
    EXPECT_EQ(table("select service_id,send_text,expect_text,record_type,expect_value,dns_server from "
                    "service_check_option"),
              QStringList{id + "|CAPA|+OK capa|||"});

    TextTableModel* list = window->Engine()->ServiceList();
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 15)); });
    window->Engine()->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] {
        return list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus) == "Passed";
    })) << list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus).toStdString();
    ASSERT_TRUE(pop.wait());
    EXPECT_EQ(pop.connectionsAccepted(), 2);
    EXPECT_TRUE(pop.failures().empty());
}

// A "Certificate" service made in the wizard against aiosmtpd with STARTTLS: choosing SMTP offers
// its usual port, Test connection judges the certificate with the [tls] settings, the row and its
// mode are stored, and the next tick checks it the same way.
TEST_F(ServiceWizard, CertificateServiceIsTestedStoredWithItsModeAndCheckedAtTheNextTick)
{
    std::string why;
    const int smtp = CertPeers::Instance().smtp(&why);
    if (smtp == 0)
        GTEST_SKIP() << why;
    const TestCertificates* certs = TestCerts(&why);
    ASSERT_NE(certs, nullptr) << why;
    AppSettings.TlsCAFile = QString::fromStdString(certs->caFile);
    AppSettings.TlsVerify = true;
    AppSettings.TlsExpiryWarnDays = 14;
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 13)); });
    startCycle();
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery(QStringLiteral("5"));
    pick(in().Service->ComboBoxService, "Certificate");
    TFrameCertForm* f = in().Service->FrameCert;
    EXPECT_EQ(in().Service->CurrentFrame(), f);
    EXPECT_EQ(f->EditPort->text(), "443");
    type(f->EditHost, "127.0.0.1");
    pick(f->ComboBoxStartTls, "SMTP");
    EXPECT_EQ(f->EditPort->text(), "25") << "the usual port of the chosen protocol";
    type(f->EditPort, QString::number(smtp));
    pick(f->ComboBoxStartTls, "IMAP");
    EXPECT_EQ(f->EditPort->text(), QString::number(smtp)) << "a typed port stays";
    pick(f->ComboBoxStartTls, "SMTP");
    // A picture of the frame for a look by eye: QUORVEL_SCREENSHOTS names the folder.
    const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(wizard->grab().save(folder + "/cert-frame.png", "PNG"));
    }
    next();
    EXPECT_EQ(wizard->LabelService->text(), "Certificate");
    EXPECT_EQ(wizard->LabelPort->text(), QString::number(smtp));

    click(testButton(wizard));
    ASSERT_TRUE(waitFor([&] { return testButton(wizard)->isEnabled(); }));
    EXPECT_EQ(testResult(wizard)->toPlainText(), "Passed") << testDetail(wizard)->toolTip().toStdString();
    EXPECT_TRUE(
        FullMatch(testDetail(wizard)->toolTip().toStdString(),
                  ".* \\(subject \"CN=localhost\", issuer \"CN=Quorvel Test CA\", 36[45] days left .*"))
        << testDetail(wizard)->toolTip().toStdString();

    toLastStep();
    next();
    ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    const QString id = scalar("select id from quorvel.service");
    EXPECT_EQ(table("select service,ip,port,schedule_by,schedule_minute,status from service"),
              QStringList{QString("Certificate|127.0.0.1|%1|Minutely|5|Start").arg(smtp)});
    EXPECT_EQ(table("select service_id,starttls from service_check_option"), QStringList{id + "|smtp"});

    TextTableModel* list = window->Engine()->ServiceList();
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 15)); });
    window->Engine()->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] {
        return list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus) == "Passed";
    })) << list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus).toStdString();
    EXPECT_EQ(list->cell(list->findRow(id), MonitorEngine::SvcService), "Certificate");
}

// Test connection and the scheduler build the same check from what the frame holds and what was
// stored from it.
TEST_F(ServiceWizard, TcpAndDnsTestChecksEqualTheChecksBuiltFromTheStoredService)
{
    struct Case
    {
        const char* kind;
        std::function<void(TServiceInputs&)> fill;
        QString options; // send_text|expect_text|record_type|expect_value|dns_server
    };
    const std::vector<Case> cases{
        {"TCP",
         [](TServiceInputs& x) {
             type(x.Service->FrameTCP->EditHost, "ssh.example");
             type(x.Service->FrameTCP->EditPort, "22");
             type(x.Service->FrameTCP->EditExpect, "SSH-2.0");
         },
         "|SSH-2.0|||"},
        {"DNS",
         [](TServiceInputs& x) {
             TFrameDNSForm* f = x.Service->FrameDNS;
             type(f->EditName, "example.test");
             type(f->EditServer, "192.0.2.53");
             type(f->EditPort, "5353");
             pick(f->ComboBoxRecordType, "MX");
             type(f->EditExpect, "10 mail.example.test");
         },
         "||MX|10 mail.example.test|192.0.2.53"},
        {"DNS with the frame's defaults",
         [](TServiceInputs& x) { type(x.Service->FrameDNS->EditName, "example.test"); }, "||A||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        m_dm->ExecUpdate("delete from service");
        m_dm->ExecUpdate("delete from service_check_option");
        wizard = openWizard();
        ASSERT_NE(wizard, nullptr);
        scheduleEvery("10");
        pick(in().Service->ComboBoxService, QString::fromLatin1(c.kind).section(' ', 0, 0));
        c.fill(in());
        const std::unique_ptr<ThreadCheck> test = BuildTestCheck(in().Definition());
        ASSERT_NE(test, nullptr);
        next();
        toLastStep();
        next();
        ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
        m_boxes.boxes.clear();
        const int id = scalar("select id from quorvel.service").toInt();
        EXPECT_EQ(scalar("select concat_ws('|',send_text,expect_text,record_type,expect_value,dns_server) "
                         "from quorvel.service_check_option"),
                  c.options);
        const std::unique_ptr<ThreadCheck> scheduled = window->Engine()->BuildServiceCheck(id, 0);
        ASSERT_NE(scheduled, nullptr);
        EXPECT_EQ(test->Kind(), scheduled->Kind());
        EXPECT_EQ(test->Host, scheduled->Host);
        EXPECT_EQ(test->Port, scheduled->Port);
        if (const auto* t = dynamic_cast<const ThreadTCPCheck*>(test.get())) {
            const auto* s = dynamic_cast<const ThreadTCPCheck*>(scheduled.get());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(QStringList({t->Send, t->Expect}), QStringList({s->Send, s->Expect}));
        } else {
            const auto* d = dynamic_cast<const ThreadDNSCheck*>(test.get());
            const auto* s = dynamic_cast<const ThreadDNSCheck*>(scheduled.get());
            ASSERT_TRUE(d && s);
            EXPECT_EQ(QStringList({d->TypeText, d->Expect, d->Server}),
                      QStringList({s->TypeText, s->Expect, s->Server}));
        }
    }
}

TEST_F(ServiceWizard, HostileTextsAreStoredAsTypedAndComeBackUnchanged)
{
    const QString hostile = QStringLiteral("x\"); drop table service; -- \\");
    const QString quoted = QStringLiteral("it's \"quoted\"\\n 'and' \\\\ back`slashed`");
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("15");
    type(url()->EditURL, hostile);
    type(url()->EditPort, "80");
    click(url()->CheckBoxAuthentication);
    type(url()->EditUsername, quoted);
    type(url()->EditPassword, hostile);
    type(url()->EditCookie, quoted);
    pick(url()->ComboBoxMethod, "Put");
    type(url()->EditFieldName, hostile.left(50));
    type(url()->EditFieldValue, quoted);
    click(url()->ButtonAdd);
    next();
    toLastStep();
    next();
    ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    EXPECT_EQ(table("select ip,username,password from service"),
              QStringList{hostile + "|" + quoted + "|" + hostile});
    EXPECT_EQ(table("select cookie from service_url"), QStringList{quoted});
    EXPECT_EQ(table("select fieldname,fieldvalue from service_url_detail"),
              QStringList{hostile + "|" + quoted});

    // Loaded by the editor, every input holds the typed text again.
    const int id = scalar("select id from quorvel.service").toInt();
    window->Engine()->FillServiceList("ALL");
    TFormUpdateScheduling* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->LoadService(id));
    TFrameURLForm* f = editor->Inputs().Service->FrameURL;
    EXPECT_EQ(f->EditURL->text(), hostile);
    EXPECT_EQ(f->EditUsername->text(), quoted);
    EXPECT_EQ(f->EditPassword->text(), hostile);
    EXPECT_EQ(f->EditCookie->text(), quoted);
    EXPECT_EQ(rows(f->ListViewPostFields, 0), QStringList{hostile});
    EXPECT_EQ(rows(f->ListViewPostFields, 1), QStringList{quoted});
}

// ---- steps and validation ----------------------------------------------------------------------

TEST_F(ServiceWizard, StepsMoveOnlyAfterTheirValidationAndBackReturns)
{
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    for (int page = 1; page <= 5; ++page)
        EXPECT_FALSE(wizard->PageControl->isTabVisible(page));
    next();
    EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::SelectSchedulingMethod));
    EXPECT_TRUE(wizard->PageControl->isTabVisible(1));

    // Daily with the hour chosen and the minute not yet.
    click(in().Schedule->RadioButtonDaily);
    EXPECT_TRUE(in().Schedule->ComboBoxDailyMinute->isVisible());
    EXPECT_FALSE(in().Schedule->ComboBoxMinutely->isVisible());
    pick(in().Schedule->ComboBoxDailyHour, "07");
    next();
    EXPECT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::SelectSchedulingMethod)});
    EXPECT_EQ(wizard->CurrentStep(), 1);
    EXPECT_FALSE(wizard->PageControl->isTabVisible(2));
    pick(in().Schedule->ComboBoxDailyMinute, "30");
    next();
    EXPECT_EQ(wizard->CurrentStep(), 2);

    // An empty URL port, then a port out of range, then a proxy port while the proxy is on.
    type(url()->EditURL, "www.example.com");
    EXPECT_EQ(url()->EditPort->text(), "80") << "Port follows the typed URL";
    url()->EditPort->clear();
    next();
    type(url()->EditPort, "70000");
    next();
    type(url()->EditPort, "80");
    click(url()->CheckBoxUseProxy);
    type(url()->EditProxyServer, "proxy");
    next();
    EXPECT_EQ(boxTexts().mid(1),
              (QStringList{"URL Port is invalid integer or empty.", "URL Port is invalid integer or empty.",
                           "URL Proxy Port is invalid integer or empty."}));
    EXPECT_EQ(url()->PageControl->currentIndex(), 4); // "Proxy settings"
    EXPECT_EQ(wizard->focusWidget(), url()->EditProxyPort);
    EXPECT_EQ(wizard->CurrentStep(), 2);
    type(url()->EditProxyPort, "3128");
    next();
    EXPECT_EQ(wizard->CurrentStep(), 3);
    click(backButton(wizard));
    click(backButton(wizard));
    EXPECT_EQ(wizard->CurrentStep(), 1);
    EXPECT_EQ(wizard->ButtonNext->toolTip(), QString::fromLatin1(lang::ClickNext));
    click(backButton(wizard));
    EXPECT_EQ(wizard->CurrentStep(), 0);
    EXPECT_FALSE(backButton(wizard)->isEnabled());
}

TEST_F(ServiceWizard, FinishAfterMovingByTabsValidatesEverythingAndKeepsItsCaption)
{
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("20");
    type(url()->EditURL, "www.example.com");
    type(url()->EditPort, "80");
    next();
    toLastStep();

    clickTab(2);
    EXPECT_EQ(wizard->CurrentStep(), 2);
    EXPECT_EQ(wizard->ButtonNext->text(), "&Next >");
    url()->EditURL->clear();
    clickTab(5);
    EXPECT_EQ(wizard->ButtonNext->text(), "&Finish");
    next();
    EXPECT_EQ(boxTexts(), QStringList{"URL host field is empty."});
    EXPECT_EQ(wizard->PageControl->currentIndex(), 2);
    EXPECT_EQ(wizard->ButtonNext->text(), "&Finish");
    EXPECT_EQ(wizard->focusWidget(), url()->EditURL);
    EXPECT_EQ(count("select count(*) from quorvel.service"), 0);

    // Contacts: an alarm to persons needs a ticked row; the syslog alarm does not.
    type(url()->EditURL, "www.example.com");
    click(in().Alarms->CheckBoxSMSbyHTTP);
    addPerson("Ann");
    in().Contacts->Fill();
    next();
    EXPECT_EQ(boxTexts().last(), QString::fromLatin1(lang::SelectContactsForAlarm));
    EXPECT_EQ(wizard->PageControl->currentIndex(), 5);
    EXPECT_EQ(wizard->focusWidget(), in().Contacts->ListViewContact);
    click(in().Alarms->CheckBoxSMSbyHTTP);
    click(in().Alarms->CheckBoxSysLog);
    next();
    EXPECT_EQ(boxTexts().last(), QString::fromLatin1(lang::NewServiceSetup));
    EXPECT_EQ(table("select ip,alarm_syslog from service"), QStringList{"www.example.com|y"});
    EXPECT_EQ(count("select count(*) from quorvel.service_contact_person"), 0);
}

TEST_F(ServiceWizard, EveryShowingStartsAfresh)
{
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("30");
    pick(url()->ComboBoxMethod, "Post");
    type(url()->EditFieldName, "f");
    type(url()->EditFieldValue, "v");
    click(url()->ButtonAdd);
    type(url()->EditURL, "www.example.com");
    type(url()->EditPort, "80");
    next();
    click(cancelButton(wizard));
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(count("select count(*) from quorvel.service"), 0);

    ASSERT_EQ(openWizard(), wizard);
    EXPECT_EQ(wizard->CurrentStep(), 0);
    EXPECT_FALSE(in().Schedule->RadioButtonMinutely->isChecked());
    EXPECT_EQ(in().Schedule->ComboBoxMinutely->currentText(), "Please select");
    EXPECT_EQ(url()->ListViewPostFields->topLevelItemCount(), 0);
    EXPECT_TRUE(url()->EditURL->text().isEmpty());
    EXPECT_EQ(url()->ComboBoxMethod->currentText(), "Get");
    EXPECT_FALSE(url()->GroupBoxPostFields->isEnabled());
    EXPECT_FALSE(wizard->PageControl->isTabVisible(3));
}

// ---- saves that fail ---------------------------------------------------------------------------

TEST_F(ServiceWizard, AFailedSaveLeavesNoRowShowsTheServerTextAndASecondFinishSavesOnce)
{
    const int ann = addPerson("Ann");
    addGroup("Ops", {ann});
    m_dm->ExecUpdate("create trigger refuse_contact before insert on service_contact_person for each row "
                     "signal sqlstate '45000' set message_text = 'contact refused by the server'");
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    type(url()->EditURL, "www.example.com");
    type(url()->EditPort, "80");
    pick(url()->ComboBoxMethod, "Post");
    type(url()->EditFieldName, "f");
    type(url()->EditFieldValue, "v");
    click(url()->ButtonAdd);
    next();
    toLastStep();
    tick(in(), "Ops");
    next();

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith(QString::fromLatin1(lang::ERR00106)));
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("contact refused by the server"));
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->CurrentStep(), 5);
    for (const char* t : {"service", "service_url", "service_url_detail", "service_contact_person"})
        EXPECT_EQ(count(QString("select count(*) from quorvel.%1").arg(t)), 0) << t;
    EXPECT_TRUE(systemLogLines().filter("contact refused by the server").size() == 1);

    m_dm->ExecUpdate("drop trigger refuse_contact");
    next();
    EXPECT_EQ(boxTexts().last(), QString::fromLatin1(lang::NewServiceSetup));
    EXPECT_EQ(count("select count(*) from quorvel.service"), 1);
    EXPECT_EQ(count("select count(*) from quorvel.service_url"), 1);
    EXPECT_EQ(count("select count(*) from quorvel.service_url_detail"), 1);
    EXPECT_EQ(count("select count(*) from quorvel.service_contact_person"), 1);
}

TEST_F(ServiceWizard, ThePeopleOfTwoTickedGroupsAndThePeopleTickedDirectlyAreAttachedOnce)
{
    const int ann = addPerson("Ann");
    const int bob = addPerson("Bob");
    const int cid = addPerson("Cid");
    addGroup("Ops", {ann, bob});
    addGroup("Dev", {bob, cid});
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    pick(in().Service->ComboBoxService, "Ping");
    type(in().Service->FramePing->EditHost, "10.0.0.9");
    next();
    toLastStep();
    for (const char* name : {"Ops", "Dev", "Bob", "Cid"})
        tick(in(), name);
    next();
    EXPECT_EQ(table("select contact_person_id from service_contact_person order by contact_person_id"),
              (QStringList{QString::number(ann), QString::number(bob), QString::number(cid)}));
}

// ---- contact step ---------------------------------------------------------------------------------

// With an alarm method ticked and nobody to receive it the wizard cannot finish; "New Contact..."
// opens the contacts window on top of the wizard, and the person made there is listed once it
// closes, while the main window stays locked. Persons added meanwhile elsewhere are listed too,
// and the ticks made before stay.
TEST_F(ServiceWizard, TheContactStepListsPersonsMadeMeanwhileAndNewContactMakesOneOnTopOfTheWizard)
{
    startCycle();
    showWindow();
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(WaitUntilFocused(wizard));
    scheduleEvery("5");
    pick(in().Service->ComboBoxService, "Ping");
    type(in().Service->FramePing->EditHost, "10.0.0.7");
    next();
    next(); // step 4
    click(in().Alarms->CheckBoxEmail);
    const int eve = addPerson("Eve"); // made elsewhere after the wizard opened
    next();                           // step 5
    EXPECT_EQ(rows(in().Contacts->ListViewContact, 0), QStringList{"Eve"});
    tick(in(), "Eve");
    click(backButton(wizard));
    const int fay = addPerson("Fay");
    next();
    EXPECT_EQ(rows(in().Contacts->ListViewContact, 0), (QStringList{"Fay", "Eve"}));
    auto tickedNames = [this] {
        QStringList names;
        QTreeWidget* list = in().Contacts->ListViewContact;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
                names << list->topLevelItem(i)->text(0);
        }
        return names;
    };
    EXPECT_EQ(tickedNames(), QStringList{"Eve"}) << "the tick made before stays";

    QPushButton* newContact = Named<QPushButton>(wizard, "New Contact...");
    ASSERT_NE(newContact, nullptr);
    EXPECT_TRUE(newContact->isVisibleTo(wizard));
    click(newContact);
    TFormContactSettings* contacts = FormContactSettings();
    ASSERT_NE(contacts, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(contacts));
    ASSERT_TRUE(WaitUntilFocused(contacts)) << "the contacts window is on top of the wizard";
    type(contacts->EditPersonName, "Dora");
    type(contacts->EditEmail, "dora@example.com");
    click(contacts->ButtonSave);
    ASSERT_TRUE(boxTexts().isEmpty()) << boxTexts().join('|').toStdString();
    click(contacts->ButtonCancel);
    EXPECT_FALSE(contacts->isVisible());
    ASSERT_TRUE(waitFor([&] { return rows(in().Contacts->ListViewContact, 0).contains("Dora"); }, 5000));
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled())
        << "the wizard is open: the main window stays locked";
    EXPECT_FALSE(window->ToolButtonService->isEnabled());
    EXPECT_EQ(tickedNames(), QStringList{"Eve"});
    if (const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS"); !folder.isEmpty()) {
        EXPECT_TRUE(wizard->grab().save(folder + "/contact-step.png"));
    }

    tick(in(), "Dora");
    next(); // Finish
    EXPECT_FALSE(wizard->isVisible()) << boxTexts().join('|').toStdString();
    const QString dora = scalar("select id from quorvel.contact_person where name=\"Dora\"");
    EXPECT_EQ(table("select contact_person_id from service_contact_person order by contact_person_id"),
              (QStringList{QString::number(eve), dora}));
    EXPECT_NE(fay, 0);
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
}

// The contact rows as assistive technology drives them: each is a check box with its state, its
// Toggle action ticks it, Space ticks the current row, and what was ticked is what is stored.
TEST_F(ServiceWizard, ContactRowsShowTheirCheckStateAndTickByToggleActionAndSpace)
{
    const int ann = addPerson("Ann");
    const int bob = addPerson("Bob");
    addPerson("Cid");
    addGroup("Ops", {bob});
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    pick(in().Service->ComboBoxService, "Ping");
    type(in().Service->FramePing->EditHost, "10.0.0.8");
    next();
    toLastStep();

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(in().Contacts->ListViewContact);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->childCount(), 4);
    for (const char* name : {"Ann", "Bob", "Cid", "Ops"}) {
        QAccessibleInterface* row = contactRow(in(), name);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_TRUE(row->state().checkable) << name;
        EXPECT_FALSE(row->state().checked) << name;
        ASSERT_NE(row->actionInterface(), nullptr) << name;
        EXPECT_TRUE(
            row->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    }
    contactRow(in(), "Ann")->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(contactRow(in(), "Ann")->state().checked);
    // Toggled twice, Cid is unticked again.
    for (int i = 0; i < 2; ++i)
        contactRow(in(), "Cid")->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(contactRow(in(), "Cid")->state().checked);

    // Space on the current row, whichever column has the focus.
    QTreeWidget* tree = in().Contacts->ListViewContact;
    const QList<QTreeWidgetItem*> bobRow = tree->findItems("Bob", Qt::MatchExactly, 0);
    ASSERT_EQ(bobRow.size(), 1);
    tree->setFocus();
    tree->setCurrentItem(bobRow.first(), 1);
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_TRUE(contactRow(in(), "Bob")->state().checked);

    next(); // Finish
    EXPECT_EQ(table("select contact_person_id from service_contact_person order by contact_person_id"),
              (QStringList{QString::number(ann), QString::number(bob)}));
}

// ---- connection test ---------------------------------------------------------------------------

TEST_F(ServiceWizard, TestConnectionRunsOnThePoolWhileTheWindowKeepsRespondingAndWritesNothing)
{
    struct Case
    {
        const char* name;
        bool serverUp;
        const char* result;
    };
    for (const Case& c :
         {Case{"a server that answers 200", true, "Passed"}, Case{"a closed port", false, "Failed"}}) {
        SCOPED_TRACE(c.name);
        ScriptedServer http;
        ExpectHttpRequest(http).pause(700).send(HttpAnswer("HTTP/1.1 200 OK")).readRest();
        int port = ScriptedServer::UnusedPort();
        if (c.serverUp) {
            http.start();
            port = http.port();
        }
        if (!window->Engine()->Pool())
            startCycle();
        const int listed = window->Engine()->ServiceList()->rowCount();
        wizard = openWizard();
        ASSERT_NE(wizard, nullptr);
        scheduleEvery("5");
        // Typed without "http://": the test probes it with the prefix.
        urlService(QString("127.0.0.1:%1/check").arg(port), port);

        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        click(testButton(wizard));
        EXPECT_FALSE(testButton(wizard)->isEnabled());
        EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::ConnectionTesting));
        EXPECT_TRUE(testResult(wizard)->toPlainText().isEmpty());
        int ticksWhileTesting = 0;
        ASSERT_TRUE(waitFor([&] {
            if (!testButton(wizard)->isEnabled())
                ticksWhileTesting = ticks;
            return testButton(wizard)->isEnabled();
        }));
        EXPECT_EQ(testResult(wizard)->toPlainText(), c.result);
        EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::ConnectionTested));
        // The detail of the result stands under it, whole in its tool tip.
        const QString detail = testDetail(wizard)->toolTip();
        EXPECT_TRUE(detail.startsWith(QString("[http://127.0.0.1:%1/check:%1] ").arg(port)))
            << detail.toStdString();
        if (!c.serverUp) {
            EXPECT_TRUE(detail.contains("refused")) << detail.toStdString();
        }
        if (c.serverUp) {
            EXPECT_GT(ticksWhileTesting, 3); // the event loop kept turning while the server waited
            ASSERT_TRUE(http.wait());
            EXPECT_EQ(http.received()[0].rfind("GET /check HTTP/1.1\r\n", 0), 0u) << http.received()[0];
        }
        EXPECT_EQ(count("select count(*) from quorvel.service"), 0);
        EXPECT_EQ(count("select count(*) from quorvel.alarm_msg_history"), 0);
        EXPECT_EQ(window->Engine()->ServiceList()->rowCount(), listed);
        EXPECT_EQ(window->Engine()->AlarmMessageList()->rowCount(), 0);
        // A change of an input the test used empties the result: it no longer speaks for them.
        QTest::keyClicks(wizard->Inputs().Service->FrameURL->EditURL, "x");
        EXPECT_TRUE(testResult(wizard)->toPlainText().isEmpty());
        EXPECT_TRUE(testDetail(wizard)->toolTip().isEmpty());
        click(cancelButton(wizard));
    }
}

// The test has a runner of its own: it runs before the monitoring cycle has started (no engine
// pool), ends the "is testing now" status and writes nothing to the logs.
TEST_F(ServiceWizard, ATestRunsBeforeTheMonitoringCycleStartsAndLogsNothing)
{
    ASSERT_EQ(window->Engine()->Pool(), nullptr);
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    const int closed = ScriptedServer::UnusedPort();
    urlService(QString("127.0.0.1:%1/").arg(closed), closed);
    const int logLines = systemLogLines().size();
    click(testButton(wizard));
    ASSERT_TRUE(waitFor([&] { return testButton(wizard)->isEnabled(); }));
    EXPECT_EQ(testResult(wizard)->toPlainText(), "Failed");
    EXPECT_TRUE(testDetail(wizard)->toolTip().contains("refused"))
        << testDetail(wizard)->toolTip().toStdString();
    EXPECT_EQ(wizard->StatusText(), QString::fromLatin1(lang::ConnectionTested));
    EXPECT_EQ(systemLogLines().size(), logLines);
    EXPECT_EQ(window->Engine()->Pool(), nullptr);
}

TEST_F(ServiceWizard, AResultOfATestFromAnEarlierShowingIsIgnored)
{
    ScriptedServer slow;
    ExpectHttpRequest(slow).pause(600).send(HttpAnswer("HTTP/1.1 200 OK")).readRest();
    slow.start();
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    urlService(QString("http://127.0.0.1:%1/").arg(slow.port()), slow.port());
    click(testButton(wizard));
    click(cancelButton(wizard));
    ASSERT_EQ(openWizard(), wizard);
    EXPECT_TRUE(testButton(wizard)->isEnabled());

    // A newer test, against a closed port, starts while the first one still runs.
    scheduleEvery("5");
    const int closed = ScriptedServer::UnusedPort();
    urlService(QString("http://127.0.0.1:%1/").arg(closed), closed);
    click(testButton(wizard));
    ASSERT_TRUE(waitFor([&] { return testButton(wizard)->isEnabled(); }));
    EXPECT_EQ(testResult(wizard)->toPlainText(), "Failed");
    // The first test's "Passed" comes back after the server's pause and is not shown.
    ASSERT_TRUE(slow.wait());
    QTest::qWait(500);
    EXPECT_EQ(testResult(wizard)->toPlainText(), "Failed");
    EXPECT_TRUE(testButton(wizard)->isEnabled());
}

// The fields of a URL check that a test and a scheduled check must share.
QStringList urlCheckFields(const ThreadCheck& check)
{
    QStringList f{"Kind=" + check.Kind(), "Host=" + check.Host, "Port=" + QString::number(check.Port),
                  "Timeout=" + QString::number(check.Timeout)};
    const auto* u = dynamic_cast<const ThreadURLCheck*>(&check);
    if (!u || !u->Client)
        return f << "not a URL check with a client";
    const HttpClientSettings& c = u->Client->settings();
    f << "Method=" + QString::fromLatin1(HttpMethodName(u->Method)) << "FormFields=" + u->FormFields.join('|')
      << "Body=" + QString::fromUtf8(u->Body) << "userName=" + c.userName << "password=" + c.password
      << "proxyHost=" + c.proxyHost << "proxyPort=" + QString::number(c.proxyPort)
      << "proxyUserName=" + c.proxyUserName << "proxyPassword=" + c.proxyPassword << "referer=" + c.referer
      << "userAgent=" + c.userAgent << "contentType=" + c.contentType << "accept=" + c.accept
      << "acceptCharset=" + c.acceptCharset << "acceptEncoding=" + c.acceptEncoding
      << "acceptLanguage=" + c.acceptLanguage << "cookie=" + c.cookie
      << "expect=" + UrlExpectModeKey(u->Expect.Mode) + "," + u->Expect.Text
      << "wholeBodyLimit=" + QString::number(c.wholeBodyLimit);
    return f;
}

TEST_F(ServiceWizard, TestConnectionBuildsTheCheckTheSchedulerBuildsFromTheSavedService)
{
    wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    scheduleEvery("5");
    pick(url()->ComboBoxMethod, "Post");
    type(url()->EditURL, "www.example.com/p");
    type(url()->EditPort, "8080");
    for (const char* field : {"n", "m"}) {
        type(url()->EditFieldName, field);
        type(url()->EditFieldValue, "v");
        click(url()->ButtonAdd);
    }
    type(url()->EditReferer, "r");
    type(url()->EditAcceptLanguage, "de");
    // Typed and switched off again: neither stored nor used by the test.
    click(url()->CheckBoxAuthentication);
    type(url()->EditUsername, "user");
    click(url()->CheckBoxAuthentication);
    click(url()->CheckBoxUseProxy);
    type(url()->EditProxyServer, "proxy.example");
    type(url()->EditProxyPort, "3128");
    click(url()->CheckBoxProxyAuthentication);
    type(url()->EditProxyUsername, "pu");
    click(url()->CheckBoxUseProxy);
    click(in().Alarms->CheckBoxSysLog);
    pick(url()->ComboBoxExpect, "JSON value");
    type(url()->EditExpect, "/ok=true");

    const std::unique_ptr<ThreadCheck> test = BuildTestCheck(in().Definition());
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->Origin, "Setup");
    EXPECT_EQ(test->ServiceId, 0);
    EXPECT_FALSE(test->Retry);
    EXPECT_FALSE(test->AlarmEmail || test->AlarmSmpp || test->AlarmHttpSms || test->AlarmSyslog);
    EXPECT_EQ(test->Host, "http://www.example.com/p");

    next();
    toLastStep();
    next();
    ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    const int id = scalar("select id from quorvel.service").toInt();
    const std::unique_ptr<ThreadCheck> scheduled = window->Engine()->BuildServiceCheck(id, 0);
    ASSERT_NE(scheduled, nullptr);
    EXPECT_TRUE(scheduled->AlarmSyslog);
    EXPECT_EQ(urlCheckFields(*test), urlCheckFields(*scheduled));
    EXPECT_TRUE(urlCheckFields(*test).contains("FormFields=m=v|n=v"));
    EXPECT_TRUE(urlCheckFields(*test).contains("expect=json,/ok=true"));
    EXPECT_TRUE(urlCheckFields(*test).contains("proxyHost="));
}

// ---- the main window's commands ------------------------------------------------------------------

TEST_F(ServiceWizard, MenuFunctionBarAndListMenuOpenTheOneWizardAndItsInputsAreNamedByTheirCaptions)
{
    startCycle(); // unlocks the commands
    showWindow();
    window->action("New Service")->trigger();
    wizard = FormSetupScheduling();
    ASSERT_NE(wizard, nullptr);
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->windowTitle(), "Setup New Service");
    // Taking the focus locks the main window's commands; closing unlocks them.
    wizard->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == wizard->windowHandle(); }, 5000));
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_FALSE(window->ToolButtonService->isEnabled());
    click(cancelButton(wizard));
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    EXPECT_TRUE(window->ToolButtonService->isEnabled());
    window->ToolButtonService->click();
    EXPECT_EQ(FormSetupScheduling(), wizard);
    EXPECT_TRUE(wizard->isVisible());

    // Every input, list, box and button can be found by the text a person sees.
    const QStringList names{"Help",
                            "< Back",
                            "Next >",
                            "Cancel",
                            "Test connection",
                            "By Daily",
                            "On which hour",
                            "and minute",
                            "By Hourly",
                            "On which minute",
                            "By Minutely",
                            "Every minute",
                            "Please select service",
                            "Method",
                            "URL",
                            "Port",
                            "Field Name",
                            "Field Value",
                            "Add >>",
                            "Post Fields",
                            "Authentication",
                            "Username",
                            "Password",
                            "Cookie",
                            "Header Info",
                            "Content Type",
                            "User Agent",
                            "Referer",
                            "Accept",
                            "Accept Charset",
                            "Accept Encoding",
                            "Accept Language",
                            "Use Proxy Server",
                            "Proxy Server",
                            "Proxy Port",
                            "Proxy Authentication",
                            "Proxy Username",
                            "Proxy Password",
                            "Host",
                            "User ID",
                            "Proxy Type",
                            "Send",
                            "Expect",
                            "Name",
                            "Server",
                            "Record type",
                            "Expected value",
                            "STARTTLS",
                            "Email",
                            "SMS",
                            "SMS by HTTP",
                            "SysLog",
                            "Please select the contact person(s) or group(s)"};
    QStringList found;
    for (QWidget* w : wizard->findChildren<QWidget*>())
        found << w->accessibleName();
    for (const QString& name : names)
        EXPECT_TRUE(found.contains(name)) << name.toStdString();
    for (QLineEdit* edit : wizard->findChildren<QLineEdit*>()) {
        if (edit->parent() && edit->parent()->inherits("QComboBox"))
            continue;
        EXPECT_FALSE(edit->accessibleName().isEmpty()) << edit->objectName().toStdString();
    }
}

} // namespace
