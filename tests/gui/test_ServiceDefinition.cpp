// The service definition inputs both service dialogs share: frames and their defaults, enabling
// rules, post fields, the schedule, the three validations with their page and focus, the
// normalisation, the column sizes and the contact links.
#include "ServiceDialogFixture.h"

#include "core/langLibrary.h"
#include "gui/dialogs/FrameDNS.h"
#include "gui/dialogs/FrameDatabase.h"
#include "gui/dialogs/FrameEmail.h"
#include "gui/dialogs/FrameFTP.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameTCP.h"
#include "gui/dialogs/FrameURL.h"
#include "gui/dialogs/ServiceDefinition.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <functional>

namespace {

// The inputs on four tabs, as the editor places them.
class ServiceInputs : public ServiceDialogFixture
{
protected:
    void SetUp() override
    {
        ServiceDialogFixture::SetUp();
        if (IsSkipped())
            return;
        pages = std::make_unique<QTabWidget>();
        pages->addTab(in.Schedule, "Schedule");
        pages->addTab(in.Service, "Service");
        pages->addTab(in.Alarms, "Alarm");
        pages->addTab(in.Contacts, "Contact");
        pages->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pages.get()));
        in.ResetAll();
    }
    void TearDown() override
    {
        pages.reset();
        ServiceDialogFixture::TearDown();
    }

    TFrameURLForm* url() { return in.Service->FrameURL; }
    TFrameFTPForm* ftp() { return in.Service->FrameFTP; }
    TFrameTCPForm* tcp() { return in.Service->FrameTCP; }
    TFrameDNSForm* dns() { return in.Service->FrameDNS; }

    TServiceInputs in;
    std::unique_ptr<QTabWidget> pages;
};

TEST_F(ServiceInputs, ResetFramesPutsEveryFrameBackToItsDefaults)
{
    pick(url()->ComboBoxMethod, "Put");
    url()->PageControl->setCurrentIndex(3);
    for (QLineEdit* e : url()->findChildren<QLineEdit*>())
        type(e, "x");
    url()->InsertPostField("n", "v");
    for (QCheckBox* box : url()->findChildren<QCheckBox*>())
        box->setChecked(true);
    pick(in.Service->FrameEmail->ComboBoxMethod, "IMAP");
    type(in.Service->FrameEmail->EditHost, "h");
    type(in.Service->FramePing->EditPort, "7");
    type(ftp()->EditPort, "2121");
    ftp()->CheckBoxUseProxy->setChecked(true);
    pick(ftp()->ComboBoxProxyType, "fpcmOpen");
    pick(in.Service->FrameDatabase->ComboBoxDatabase, "Oracle");
    type(in.Service->FrameDatabase->EditPort, "1521");
    for (QWidget* frame : {static_cast<QWidget*>(tcp()), static_cast<QWidget*>(dns())}) {
        for (QLineEdit* e : frame->findChildren<QLineEdit*>())
            type(e, "x");
    }
    pick(dns()->ComboBoxRecordType, "TXT");

    in.ResetFrames();
    EXPECT_EQ(url()->PageControl->currentIndex(), 0);
    EXPECT_EQ(url()->ComboBoxMethod->currentText(), "Get");
    for (QLineEdit* e : url()->findChildren<QLineEdit*>()) {
        QString expected;
        if (e == url()->EditContentType)
            expected = "text/html";
        else if (e == url()->EditUserAgent)
            expected = "Mozilla/3.0";
        else if (e == url()->EditAccept)
            expected = "text/html, */*";
        EXPECT_EQ(e->text(), expected) << e->accessibleName().toStdString();
    }
    for (QCheckBox* box : url()->findChildren<QCheckBox*>())
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    EXPECT_EQ(url()->ListViewPostFields->topLevelItemCount(), 0);
    EXPECT_FALSE(url()->GroupBoxPostFields->isEnabled());
    EXPECT_EQ(in.Service->FrameEmail->ComboBoxMethod->currentText(), "SMTP");
    EXPECT_EQ(in.Service->FrameEmail->EditPort->text(), "25");
    EXPECT_TRUE(in.Service->FrameEmail->EditHost->text().isEmpty());
    EXPECT_TRUE(in.Service->FramePing->EditPort->text().isEmpty());
    EXPECT_EQ(ftp()->EditPort->text(), "21");
    EXPECT_FALSE(ftp()->CheckBoxUseProxy->isChecked());
    EXPECT_EQ(ftp()->ComboBoxProxyType->currentText(), "fpcmNone");
    EXPECT_FALSE(ftp()->ComboBoxProxyType->isEnabled());
    EXPECT_EQ(in.Service->FrameDatabase->ComboBoxDatabase->currentText(), "MySQL");
    EXPECT_EQ(in.Service->FrameDatabase->EditPort->text(), "3306");
    for (QLineEdit* e : tcp()->findChildren<QLineEdit*>())
        EXPECT_TRUE(e->text().isEmpty()) << e->accessibleName().toStdString();
    for (QLineEdit* e : dns()->findChildren<QLineEdit*>())
        EXPECT_EQ(e->text(), e == dns()->EditPort ? "53" : "") << e->accessibleName().toStdString();
    EXPECT_EQ(dns()->ComboBoxRecordType->currentText(), "A");
}

TEST_F(ServiceInputs, EnablingFollowsTheBoxesWhoeverSetsThem)
{
    struct Case
    {
        bool auth, proxy, proxyAuth;
        // URL: username, proxy server, proxy-auth box, proxy username; FTP: proxy type, proxy username
        bool user, server, proxyAuthBox, proxyUser, type, ftpProxyUser;
    };
    for (const Case& c : {Case{false, false, false, false, false, false, false, false, false},
                          Case{true, false, true, true, false, false, false, false, false},
                          Case{false, true, false, false, true, true, false, true, false},
                          Case{false, true, true, false, true, true, true, true, true}}) {
        SCOPED_TRACE(::testing::Message() << c.auth << c.proxy << c.proxyAuth);
        url()->CheckBoxAuthentication->setChecked(c.auth);
        url()->CheckBoxUseProxy->setChecked(c.proxy);
        url()->CheckBoxProxyAuthentication->setChecked(c.proxyAuth);
        ftp()->CheckBoxUseProxy->setChecked(c.proxy);
        ftp()->CheckBoxProxyAuthentication->setChecked(c.proxyAuth);
        EXPECT_EQ(url()->EditUsername->isEnabled(), c.user);
        EXPECT_EQ(url()->EditPassword->isEnabled(), c.user);
        EXPECT_EQ(url()->EditProxyServer->isEnabled(), c.server);
        EXPECT_EQ(url()->EditProxyPort->isEnabled(), c.server);
        EXPECT_EQ(url()->CheckBoxProxyAuthentication->isEnabled(), c.proxyAuthBox);
        EXPECT_EQ(url()->EditProxyUsername->isEnabled(), c.proxyUser);
        EXPECT_EQ(url()->EditProxyPassword->isEnabled(), c.proxyUser);
        EXPECT_EQ(ftp()->EditProxyServer->isEnabled(), c.server);
        EXPECT_EQ(ftp()->ComboBoxProxyType->isEnabled(), c.type);
        EXPECT_EQ(ftp()->EditProxyUsername->isEnabled(), c.ftpProxyUser);
    }
    for (const char* method : {"Get", "Post", "Trace", "Put", "Delete", "Head", "Options"}) {
        url()->ComboBoxMethod->setCurrentText(method);
        EXPECT_EQ(url()->GroupBoxPostFields->isEnabled(),
                  QString(method) == "Post" || QString(method) == "Put")
            << method;
    }
}

TEST_F(ServiceInputs, PickingAMailProtocolSetsItsPortAndAStoredOneKeepsTheStoredPort)
{
    TFrameEmailForm* mail = in.Service->FrameEmail;
    for (const auto& [method, port] : {std::pair{"POP3", "110"}, {"IMAP", "143"}, {"SMTP", "25"}}) {
        pick(mail->ComboBoxMethod, method);
        EXPECT_EQ(mail->EditPort->text(), port) << method;
    }
    // A port the user typed is not another protocol's default: it stays.
    type(mail->EditPort, "2525");
    pick(mail->ComboBoxMethod, "IMAP");
    EXPECT_EQ(mail->EditPort->text(), "2525");
    mail->EditPort->clear();
    pick(mail->ComboBoxMethod, "POP3");
    EXPECT_EQ(mail->EditPort->text(), "110") << "an empty port gets the protocol's";
    type(mail->EditPort, "1110");
    in.Service->SelectService("POP3");
    EXPECT_EQ(in.Service->Kind(), "Email");
    EXPECT_EQ(mail->ComboBoxMethod->currentText(), "POP3");
    EXPECT_EQ(mail->EditPort->text(), "1110");
    EXPECT_EQ(in.Service->Frames->currentWidget(), mail);
    in.Service->SelectService("LDAP");
    EXPECT_EQ(in.Service->Kind(), "");
    EXPECT_EQ(in.Service->CurrentFrame(), nullptr);
}

TEST_F(ServiceInputs, PostFieldsGoOnTopAndComeBackIntoTheInputs)
{
    QSignalSpy status(url(), &TFrameURLForm::statusText);
    pick(url()->ComboBoxMethod, "Post");
    type(url()->EditFieldName, "A");
    click(url()->ButtonAdd); // no value: nothing happens
    EXPECT_EQ(url()->ListViewPostFields->topLevelItemCount(), 0);
    EXPECT_EQ(status.count(), 0);
    for (const char* name : {"A", "B"}) {
        type(url()->EditFieldName, name);
        type(url()->EditFieldValue, QString(name).toLower() + " =&\"");
        click(url()->ButtonAdd);
    }
    EXPECT_TRUE(url()->EditFieldName->text().isEmpty());
    EXPECT_TRUE(url()->EditFieldValue->text().isEmpty());
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.last().first().toString(), QString::fromLatin1(lang::RightClickToRemove));
    EXPECT_EQ(url()->PostFields(), (QList<std::pair<QString, QString>>{{"B", "b =&\""}, {"A", "a =&\""}}));

    url()->RemovePostField(nullptr); // no row selected
    EXPECT_EQ(url()->ListViewPostFields->topLevelItemCount(), 2);
    QTreeWidgetItem* a = url()->ListViewPostFields->topLevelItem(1);
    emit url()->ListViewPostFields->itemDoubleClicked(a, 0);
    EXPECT_EQ(url()->EditFieldName->text(), "A");
    EXPECT_EQ(url()->EditFieldValue->text(), "a =&\"");
    EXPECT_EQ(url()->PostFields(), (QList<std::pair<QString, QString>>{{"B", "b =&\""}}));
}

TEST_F(ServiceInputs, ScheduleChoicesGiveTheirStoredTextsAndFailWithTheirMessages)
{
    struct Case
    {
        const char* name;
        std::function<void(TScheduleInputs*)> choose;
        QString values; // by|hour|minute, or the message
    };
    const std::vector<Case> cases{
        {"every 5 minutes",
         [](TScheduleInputs* s) {
             s->RadioButtonMinutely->click();
             pick(s->ComboBoxMinutely, "5");
         },
         "Minutely|00|5"},
        {"every minute",
         [](TScheduleInputs* s) {
             s->RadioButtonMinutely->click();
             pick(s->ComboBoxMinutely, "1");
         },
         "Minutely|00|1"},
        {"every 2 minutes as stored", [](TScheduleInputs* s) { s->Render("Minutely", "00", "2"); },
         "Minutely|00|2"},
        {"hourly at 07",
         [](TScheduleInputs* s) {
             s->RadioButtonHourly->click();
             pick(s->ComboBoxHourlyMinute, "07");
         },
         "Hourly|00|07"},
        {"daily at 23:59",
         [](TScheduleInputs* s) {
             s->RadioButtonDaily->click();
             pick(s->ComboBoxDailyHour, "23");
             pick(s->ComboBoxDailyMinute, "59");
         },
         "Daily|23|59"},
        {"no choice", [](TScheduleInputs*) {}, QString::fromLatin1(lang::SelectSchedulingMethod)},
        {"daily with the hour only",
         [](TScheduleInputs* s) {
             s->RadioButtonDaily->click();
             pick(s->ComboBoxDailyHour, "23");
         },
         QString::fromLatin1(lang::SelectSchedulingMethod)},
        {"a stored minute no item shows", [](TScheduleInputs* s) { s->Render("Minutely", "00", "07"); },
         QString::fromLatin1(lang::SelectValidMinuteHour)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        in.Schedule->Reset();
        m_boxes.boxes.clear();
        pages->setCurrentIndex(3);
        c.choose(in.Schedule);
        const bool ok = in.ValidateSchedule();
        if (c.values.contains('|')) {
            EXPECT_TRUE(ok);
            QString by, hour, minute;
            in.Schedule->Values(&by, &hour, &minute);
            EXPECT_EQ(QStringList({by, hour, minute}).join('|'), c.values);
            EXPECT_TRUE(boxTexts().isEmpty());
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(boxTexts(), QStringList{c.values});
            EXPECT_EQ(pages->currentIndex(), 0);
        }
    }
    // Only the lists of the chosen way are shown.
    in.Schedule->RadioButtonHourly->click();
    EXPECT_TRUE(in.Schedule->ComboBoxHourlyMinute->isVisible());
    EXPECT_FALSE(in.Schedule->ComboBoxDailyHour->isVisible());
    EXPECT_FALSE(in.Schedule->ComboBoxMinutely->isVisible());
}

TEST_F(ServiceInputs, ServiceFieldsFailOnTheirPageWithTheirLabelAndTheFocusInTheField)
{
    struct Case
    {
        const char* kind;
        std::function<void(TServiceInputs&)> fill;
        QString message; // empty: valid
        std::function<QWidget*(TServiceInputs&)> field;
        int framePage;
    };
    const auto urlFilled = [](TServiceInputs& x) {
        type(x.Service->FrameURL->EditURL, "www.example.com");
        type(x.Service->FrameURL->EditPort, "80");
    };
    const auto ftpFilled = [](TServiceInputs& x) { type(x.Service->FrameFTP->EditHost, "ftp.example"); };
    const std::vector<Case> cases{
        {"URL", [](TServiceInputs&) {}, "URL host field is empty.",
         [](TServiceInputs& x) { return x.Service->FrameURL->EditURL; }, 0},
        {"URL",
         [&](TServiceInputs& x) {
             urlFilled(in);
             type(x.Service->FrameURL->EditPort, "80a");
         },
         "URL Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameURL->EditPort; }, 0},
        {"URL",
         [&](TServiceInputs& x) {
             urlFilled(in);
             type(x.Service->FrameURL->EditPort, "0");
         },
         "URL Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameURL->EditPort; }, 0},
        {"URL",
         [&](TServiceInputs& x) {
             urlFilled(in);
             x.Service->FrameURL->CheckBoxUseProxy->click();
         },
         "URL Proxy IP host field is empty.",
         [](TServiceInputs& x) { return x.Service->FrameURL->EditProxyServer; }, 4},
        {"URL", urlFilled, "", nullptr, 0}, // the proxy switched off: its empty fields pass
        {"Email",
         [](TServiceInputs& x) {
             type(x.Service->FrameEmail->EditHost, "mail");
             x.Service->FrameEmail->EditPort->clear();
         },
         "Email Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameEmail->EditPort; }, 0},
        {"Email",
         [](TServiceInputs& x) {
             pick(x.Service->FrameEmail->ComboBoxMethod, "POP3");
             type(x.Service->FrameEmail->EditHost, "mail");
         },
         "Email User ID field is empty: a POP3 or IMAP check logs in with it.",
         [](TServiceInputs& x) { return x.Service->FrameEmail->EditUserID; }, 0},
        {"Email",
         [](TServiceInputs& x) {
             pick(x.Service->FrameEmail->ComboBoxMethod, "IMAP");
             type(x.Service->FrameEmail->EditHost, "mail");
             type(x.Service->FrameEmail->EditUserID, "alice");
         },
         "Email Password field is empty: a POP3 or IMAP check logs in with it.",
         [](TServiceInputs& x) { return x.Service->FrameEmail->EditPassword; }, 0},
        {"Email",
         [](TServiceInputs& x) {
             pick(x.Service->FrameEmail->ComboBoxMethod, "IMAP");
             type(x.Service->FrameEmail->EditHost, "mail");
             type(x.Service->FrameEmail->EditUserID, "alice");
             type(x.Service->FrameEmail->EditPassword, "s3cret");
         },
         "", nullptr, 0},
        {"Email", [](TServiceInputs& x) { type(x.Service->FrameEmail->EditHost, "mail"); }, "", nullptr, 0},
        {"Email", [](TServiceInputs&) {}, "Email Host host field is empty.",
         [](TServiceInputs& x) { return x.Service->FrameEmail->EditHost; }, 0},
        {"Ping", [](TServiceInputs&) {}, "Ping IP host field is empty.",
         [](TServiceInputs& x) { return x.Service->FramePing->EditHost; }, 0},
        {"Ping",
         [](TServiceInputs& x) {
             type(x.Service->FramePing->EditHost, "h");
             type(x.Service->FramePing->EditPort, "x");
         },
         "Ping Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FramePing->EditPort; }, 0},
        {"Ping", [](TServiceInputs& x) { type(x.Service->FramePing->EditHost, "h"); }, "", nullptr, 0},
        {"FTP",
         [&](TServiceInputs& x) {
             ftpFilled(in);
             type(x.Service->FrameFTP->EditPort, "65536");
         },
         "FTP Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameFTP->EditPort; }, 0},
        {"FTP",
         [&](TServiceInputs& x) {
             ftpFilled(in);
             x.Service->FrameFTP->CheckBoxUseProxy->click();
             type(x.Service->FrameFTP->EditProxyServer, "proxy");
             type(x.Service->FrameFTP->EditProxyPort, " 3128 ");
         },
         "FTP Proxy Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameFTP->EditProxyPort; }, 1},
        {"FTP",
         [&](TServiceInputs& x) {
             ftpFilled(in);
             x.Service->FrameFTP->CheckBoxUseProxy->click();
             type(x.Service->FrameFTP->EditProxyServer, "proxy");
             type(x.Service->FrameFTP->EditProxyPort, "  3128");
         },
         "", nullptr, 0},
        {"TCP", [](TServiceInputs& x) { type(x.Service->FrameTCP->EditPort, "22"); },
         "TCP Host host field is empty.", [](TServiceInputs& x) { return x.Service->FrameTCP->EditHost; }, 0},
        {"TCP", [](TServiceInputs& x) { type(x.Service->FrameTCP->EditHost, "ssh.example"); },
         "TCP Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameTCP->EditPort; }, 0},
        {"TCP",
         [](TServiceInputs& x) {
             type(x.Service->FrameTCP->EditHost, "ssh.example");
             type(x.Service->FrameTCP->EditPort, "0");
         },
         "TCP Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameTCP->EditPort; }, 0},
        {"TCP",
         [](TServiceInputs& x) {
             type(x.Service->FrameTCP->EditHost, "ssh.example");
             type(x.Service->FrameTCP->EditPort, "22");
             x.Service->FrameTCP->EditSend->setText("QUIT\r\nHELP");
         },
         "TCP Send must be one line, without line breaks.",
         [](TServiceInputs& x) { return x.Service->FrameTCP->EditSend; }, 0},
        {"TCP",
         [](TServiceInputs& x) {
             type(x.Service->FrameTCP->EditHost, "ssh.example");
             type(x.Service->FrameTCP->EditPort, "65535");
             type(x.Service->FrameTCP->EditSend, "HELP me");
         },
         "", nullptr, 0},
        {"DNS", [](TServiceInputs&) {}, "DNS Name host field is empty.",
         [](TServiceInputs& x) { return x.Service->FrameDNS->EditName; }, 0},
        {"DNS",
         [](TServiceInputs& x) {
             type(x.Service->FrameDNS->EditName, "example.test");
             type(x.Service->FrameDNS->EditPort, "65536");
         },
         "DNS Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameDNS->EditPort; }, 0},
        {"DNS",
         [](TServiceInputs& x) {
             type(x.Service->FrameDNS->EditName, "example.test");
             x.Service->FrameDNS->EditPort->clear();
         },
         "DNS Port is invalid integer or empty.",
         [](TServiceInputs& x) { return x.Service->FrameDNS->EditPort; }, 0},
        {"DNS", [](TServiceInputs& x) { type(x.Service->FrameDNS->EditName, "example.test"); }, "", nullptr,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.kind << ": " << c.message.toStdString());
        in.ResetFrames();
        m_boxes.boxes.clear();
        pages->setCurrentIndex(0);
        pick(in.Service->ComboBoxService, c.kind);
        c.fill(in);
        const bool ok = in.ValidateServiceFields();
        if (c.message.isEmpty()) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(boxTexts().isEmpty());
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(boxTexts(), QStringList{c.message});
        QWidget* field = c.field(in);
        EXPECT_EQ(pages->currentIndex(), 1);
        EXPECT_EQ(in.Service->CurrentFrame()->findChild<QTabWidget*>()->currentIndex(), c.framePage);
        EXPECT_EQ(pages->focusWidget(), field);
    }
}

// A stored "TCP" or "DNS" definition shown in the inputs comes back from them unchanged, its
// options with it; a record type stored in small letters is shown as the list names it.
TEST_F(ServiceInputs, TcpAndDnsDefinitionsComeBackFromTheInputsTheyAreShownIn)
{
    auto record = [](const char* kind, const char* ip, int port) {
        ServiceRecord d;
        d.Service = kind;
        d.Ip = ip;
        d.Port = port;
        d.ScheduleBy = "Hourly";
        d.ScheduleHour = "00";
        d.ScheduleMinute = "30";
        d.AlarmSyslog = true;
        return d;
    };
    ServiceRecord tcpService = record("TCP", "ssh.example", 22);
    tcpService.TcpSend = "HELO \"x\"";
    tcpService.TcpExpect = "SSH-2.0";
    ServiceRecord dnsService = record("DNS", "example.test", 5353);
    dnsService.DnsType = "TXT";
    dnsService.DnsExpect = "v=spf1 -all";
    dnsService.DnsServer = "192.0.2.53";
    ServiceRecord lower = record("DNS", "example.test", 53);
    lower.DnsType = "aaaa";
    auto fields = [](const ServiceRecord& d) {
        return QStringList{d.Service,
                           d.Ip,
                           QString::number(d.Port),
                           d.ScheduleBy,
                           d.ScheduleMinute,
                           d.TcpSend,
                           d.TcpExpect,
                           d.DnsType,
                           d.DnsExpect,
                           d.DnsServer,
                           d.AlarmSyslog ? "syslog" : ""};
    };
    for (const ServiceRecord& d : {tcpService, dnsService, lower}) {
        SCOPED_TRACE(d.Service.toStdString() + " " + d.DnsType.toStdString());
        in.ResetAll();
        in.RenderService(d);
        EXPECT_EQ(in.Service->Kind(), d.Service);
        EXPECT_EQ(in.Service->Frames->currentWidget(), in.Service->CurrentFrame());
        ServiceRecord expected = d;
        expected.DnsType = d.DnsType.toUpper();
        EXPECT_EQ(fields(in.Definition()), fields(expected));
    }
    EXPECT_EQ(dns()->ComboBoxRecordType->currentText(), "AAAA");
    // Only the kind shown gives its options.
    pick(in.Service->ComboBoxService, "TCP");
    EXPECT_TRUE(in.Definition().DnsType.isEmpty());
}

TEST_F(ServiceInputs, ContactsAreNeededOnlyForAlarmsToPersons)
{
    addPerson("Ann");
    in.Contacts->Fill();
    struct Case
    {
        QCheckBox* box;
        bool needsContact;
    };
    for (const Case& c : {Case{in.Alarms->CheckBoxSysLog, false}, Case{in.Alarms->CheckBoxEmail, true},
                          Case{in.Alarms->CheckBoxSMS, true}, Case{in.Alarms->CheckBoxSMSbyHTTP, true}}) {
        SCOPED_TRACE(c.box->text().toStdString());
        in.Alarms->Reset();
        m_boxes.boxes.clear();
        pages->setCurrentIndex(0);
        c.box->click();
        EXPECT_EQ(in.ValidateContacts(), !c.needsContact);
        if (c.needsContact) {
            EXPECT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::SelectContactsForAlarm)});
            EXPECT_EQ(pages->currentIndex(), 3);
            EXPECT_EQ(pages->focusWidget(), in.Contacts->ListViewContact);
            tick(in, "Ann");
            EXPECT_TRUE(in.ValidateContacts());
            in.Contacts->Fill();
        }
    }
}

TEST_F(ServiceInputs, NormalisationEmptiesTheInputsOfSwitchedOffOptions)
{
    pick(in.Service->ComboBoxService, "URL");
    for (QLineEdit* e : {url()->EditUsername, url()->EditPassword, url()->EditProxyServer,
                         url()->EditProxyPort, url()->EditProxyUsername, url()->EditProxyPassword})
        type(e, "7");
    url()->CheckBoxUseProxy->setChecked(true);
    url()->CheckBoxProxyAuthentication->setChecked(false);
    const ServiceRecord before = in.Definition();
    in.Normalise();
    EXPECT_TRUE(url()->EditUsername->text().isEmpty());
    EXPECT_TRUE(url()->EditPassword->text().isEmpty());
    EXPECT_EQ(url()->EditProxyServer->text(), "7");
    EXPECT_EQ(url()->EditProxyPort->text(), "7");
    EXPECT_TRUE(url()->EditProxyUsername->text().isEmpty());
    EXPECT_TRUE(url()->EditProxyPassword->text().isEmpty());
    // What the save reads after normalising is what a test reads before.
    const ServiceRecord after = in.Definition();
    EXPECT_EQ(
        QStringList(
            {before.UserName, before.ProxyIp, QString::number(before.ProxyPort), before.ProxyUserName}),
        QStringList({after.UserName, after.ProxyIp, QString::number(after.ProxyPort), after.ProxyUserName}));
    EXPECT_EQ(
        QStringList({after.UserName, after.ProxyIp, QString::number(after.ProxyPort), after.ProxyUserName}),
        QStringList({"", "7", "7", ""}));

    pick(in.Service->ComboBoxService, "FTP");
    ftp()->CheckBoxUseProxy->setChecked(true);
    ftp()->CheckBoxProxyAuthentication->setChecked(true);
    for (QLineEdit* e : {ftp()->EditProxyServer, ftp()->EditProxyPort, ftp()->EditProxyUsername})
        type(e, "9");
    pick(ftp()->ComboBoxProxyType, "fpcmSite");
    ftp()->CheckBoxUseProxy->setChecked(false);
    in.Normalise();
    EXPECT_TRUE(ftp()->EditProxyServer->text().isEmpty());
    EXPECT_TRUE(ftp()->EditProxyPort->text().isEmpty());
    EXPECT_TRUE(ftp()->EditProxyUsername->text().isEmpty());
    EXPECT_EQ(ftp()->ComboBoxProxyType->currentText(), "fpcmNone");
}

TEST_F(ServiceInputs, EveryInputHoldsAtMostWhatItsColumnStores)
{
    const QList<std::pair<QLineEdit*, int>> sizes{
        {url()->EditURL, 2048},
        {url()->EditUsername, 50},
        {url()->EditPassword, 50},
        {url()->EditFieldName, 50},
        {url()->EditFieldValue, 50},
        {url()->EditCookie, 100},
        {url()->EditHeaderInfo, 100},
        {url()->EditContentType, 100},
        {url()->EditUserAgent, 100},
        {url()->EditReferer, 100},
        {url()->EditAccept, 100},
        {url()->EditAcceptCharset, 100},
        {url()->EditAcceptEncoding, 100},
        {url()->EditAcceptLanguage, 100},
        {url()->EditExpect, 1024},
        {url()->EditProxyServer, 100},
        {url()->EditProxyUsername, 50},
        {url()->EditProxyPassword, 50},
        {in.Service->FrameEmail->EditHost, 100},
        {in.Service->FrameEmail->EditUserID, 50},
        {in.Service->FrameEmail->EditPassword, 50},
        {in.Service->FramePing->EditHost, 100},
        {ftp()->EditHost, 100},
        {ftp()->EditUserID, 50},
        {ftp()->EditPassword, 50},
        {ftp()->EditProxyServer, 100},
        {ftp()->EditProxyUsername, 50},
        {ftp()->EditProxyPassword, 50},
        {tcp()->EditHost, 100},
        {tcp()->EditSend, 255},
        {tcp()->EditExpect, 255},
        {dns()->EditName, 100},
        {dns()->EditServer, 255},
        {dns()->EditExpect, 255},
    };
    for (const auto& [edit, size] : sizes) {
        type(edit, QString(size + 20, QChar(0x00e9)));
        EXPECT_EQ(edit->text().size(), size) << edit->accessibleName().toStdString();
    }
    for (QLineEdit* port : {url()->EditPort, url()->EditProxyPort, in.Service->FrameEmail->EditPort,
                            in.Service->FramePing->EditPort, ftp()->EditPort, ftp()->EditProxyPort,
                            tcp()->EditPort, dns()->EditPort})
        EXPECT_EQ(port->maxLength(), 11);
}

TEST_F(ServiceInputs, AttachContactsAddsEachPersonOnceWhateverWayItWasChosen)
{
    const int ann = addPerson("Ann");
    const int bob = addPerson("Bob");
    const int cid = addPerson("Cid");
    const int ops = addGroup("Ops", {ann, bob});
    const int dev = addGroup("Dev", {bob, cid});
    m_dm->ExecUpdate("insert into service_contact_person (service_id,contact_person_id) values (7," +
                     QString::number(ann) + ")");
    ServiceStore::AttachContacts(7, {{true, ops}, {true, dev}, {false, bob}, {false, cid}});
    EXPECT_EQ(table("select contact_person_id from service_contact_person where service_id=7 "
                    "order by contact_person_id"),
              (QStringList{QString::number(ann), QString::number(bob), QString::number(cid)}));
    EXPECT_EQ(ServiceStore::AttachedPersons(7).size(), 3);
}

} // namespace
