// The group "Expect in the answer" of the URL frame in the wizard and the editor, found by the
// captions a person reads: the stored row, the connection test and the scheduler using it, the
// texts refused before saving, and Port following a typed URL.
#include "ServiceDialogFixture.h"

#include "DialogKit.h"
#include "core/Clock.h"
#include "core/langLibrary.h"
#include "gui/dialogs/FrameURL.h"
#include "gui/dialogs/ServiceDefinition.h"
#include "gui/dialogs/setupScheduling.h"
#include "gui/dialogs/updateScheduling.h"
#include "monitor/MonitorEngine.h"
#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <functional>

namespace {

class UrlExpectationDialogs : public ServiceDialogFixture
{
protected:
    void TearDown() override
    {
        SetClockSource(nullptr);
        ServiceDialogFixture::TearDown();
    }

    template <typename W> W* named(QWidget* root, const QString& name)
    {
        W* w = Named<W>(root, name);
        EXPECT_NE(w, nullptr) << "no control named " << name.toStdString();
        return w;
    }
};

// Types `text` key by key, as a person does.
void keyIn(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    QTest::keyClicks(edit, text);
}

TEST_F(UrlExpectationDialogs, WizardStoresTheExpectationTestsWithItAndTheSchedulerFailsTheChangedPage)
{
    ScriptedServer web;
    ExpectHttpRequest(web).send(HttpAnswer("HTTP/1.1 200 OK", {}, "<p>All systems operational</p>"));
    web.acceptNext();
    ExpectHttpRequest(web).send(HttpAnswer("HTTP/1.1 200 OK", {}, "<p>Down for maintenance</p>"));
    web.silence(10000);
    web.start();
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 13)); });
    startCycle();
    TFormSetupScheduling* wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    TServiceInputs& in = wizard->Inputs();
    click(wizard->ButtonNext);
    click(in.Schedule->RadioButtonMinutely);
    pick(in.Schedule->ComboBoxMinutely, "5");
    click(wizard->ButtonNext);
    ASSERT_EQ(wizard->CurrentStep(), 2);

    pick(in.Service->ComboBoxService, "URL");
    QLineEdit* address = named<QLineEdit>(wizard, "URL");
    QLineEdit* port = named<QLineEdit>(in.Service->FrameURL, "Port"); // each frame has a Port
    QComboBox* mode = named<QComboBox>(wizard, "Expectation");
    QLineEdit* text = named<QLineEdit>(wizard, "Expected text");
    ASSERT_TRUE(address && port && mode && text);
    EXPECT_EQ(mode->currentText(), "None");
    EXPECT_FALSE(text->isEnabled()) << "no text without a mode";
    keyIn(address, QString("http://127.0.0.1:%1/status").arg(web.port()));
    EXPECT_EQ(port->text(), QString::number(web.port())) << "Port follows the URL";
    pick(mode, "Does not contain");
    EXPECT_TRUE(text->isEnabled());
    keyIn(text, "maintenance");

    // The frame as a person sees it.
    in.Service->FrameURL->grab().save("/tmp/content-frame.png", "PNG");

    click(wizard->ButtonNext);
    ASSERT_EQ(wizard->CurrentStep(), 3);
    click(wizard->ButtonTest);
    ASSERT_TRUE(waitFor([&] { return wizard->ButtonTest->isEnabled(); }));
    EXPECT_EQ(wizard->MemoResult->toPlainText(), "Passed");
    while (wizard->CurrentStep() < 5)
        click(wizard->ButtonNext);
    click(wizard->ButtonNext);
    ASSERT_EQ(boxTexts(), QStringList{QString::fromLatin1(lang::NewServiceSetup)});
    const QString id = scalar("select id from quorvel.service");
    EXPECT_EQ(table("select service_id,mode,expect_text from service_url_expect"),
              QStringList{id + "|not-contains|maintenance"});

    // At the next tick the page says "maintenance": the service fails, saying why.
    TextTableModel* list = window->Engine()->ServiceList();
    SetClockSource([] { return QDateTime(QDate(2026, 12, 12), QTime(10, 15)); });
    window->Engine()->TimerServiceTimer();
    ASSERT_TRUE(waitFor([&] {
        return list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus) == "Failed";
    })) << list->cell(list->findRow(id), MonitorEngine::SvcCurrentStatus).toStdString();
    EXPECT_TRUE(web.wait());
    EXPECT_EQ(web.connectionsAccepted(), 2);
}

TEST_F(UrlExpectationDialogs, ExpectationsThatCannotRunAreRefusedInTheirField)
{
    TFormSetupScheduling* wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    TServiceInputs& in = wizard->Inputs();
    TFrameURLForm* f = in.Service->FrameURL;
    struct Case
    {
        const char* mode;
        QString text;
        const char* method;
        QString messageStart; // empty: accepted
    };
    const std::vector<Case> cases = {
        {"Contains", "", "Get", "Please enter the text expected in the answer."},
        {"Contains", "Welcome", "Get", ""},
        {"Contains", "Welcome", "Head", "An answer to Head has no body to check"},
        {"Does not contain", "", "Post", "Please enter the text expected in the answer."},
        {"Matches", "Version (\\d+", "Get", "The regular expression \"Version (\\d+\" does not compile: "},
        {"Matches", "Version (\\d+)", "Get", ""},
        {"JSON value", "/status=up", "Get", "The expected value \"up\" is not JSON text"},
        {"JSON value", "status=\"up\"", "Get", "\"status\" is not a JSON pointer"},
        {"JSON value", "/status=\"up\"", "Get", ""},
        {"None", "ignored", "Head", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.text.toStdString() + " " + c.method);
        in.ResetFrames();
        m_boxes.boxes.clear();
        pick(in.Service->ComboBoxService, "URL");
        type(f->EditURL, "www.example.com");
        type(f->EditPort, "80");
        pick(f->ComboBoxMethod, c.method);
        f->PageControl->setCurrentIndex(2); // the failure must bring the URL page back
        pick(f->ComboBoxExpect, c.mode);
        f->EditExpect->setText(c.text);
        const bool ok = in.ValidateServiceFields();
        if (c.messageStart.isEmpty()) {
            EXPECT_TRUE(ok) << boxTexts().join('\n').toStdString();
            continue;
        }
        EXPECT_FALSE(ok);
        ASSERT_EQ(boxTexts().size(), 1);
        EXPECT_TRUE(boxTexts().first().startsWith(c.messageStart)) << boxTexts().first().toStdString();
        EXPECT_EQ(f->PageControl->currentIndex(), 0);
        EXPECT_EQ(wizard->focusWidget(), f->EditExpect);
    }
    // "None" keeps no text in the definition.
    EXPECT_EQ(in.Definition().UrlRequest.ExpectMode, "");
    EXPECT_EQ(in.Definition().UrlRequest.ExpectText, "");
}

TEST_F(UrlExpectationDialogs, PortFollowsATypedUrlUntilThePersonTypesOne)
{
    TFormSetupScheduling* wizard = openWizard();
    ASSERT_NE(wizard, nullptr);
    TFrameURLForm* f = wizard->Inputs().Service->FrameURL;
    struct Case
    {
        const char* name;
        QString typedPort; // typed before the URL; empty: none
        QString url;
        QString port;
    };
    const std::vector<Case> cases = {
        {"plain http", "", "http://www.example.com/", "80"},
        {"no scheme means http", "", "www.example.com/x", "80"},
        {"https", "", "https://www.example.com/", "443"},
        {"explicit port", "", "https://www.example.com:8443/health", "8443"},
        {"ipv6 literal with port", "", "http://[::1]:8080/", "8080"},
        {"typed port stays", "8000", "https://www.example.com:8443/", "8000"},
        {"not an address yet", "", "http://", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f->Reset();
        if (!c.typedPort.isEmpty())
            keyIn(f->EditPort, c.typedPort);
        keyIn(f->EditURL, c.url);
        EXPECT_EQ(f->EditPort->text(), c.port);
    }

    // While it follows, Port changes with the URL and empties with it; a stored service shown
    // in the frame (not typed) leaves Port as stored.
    f->Reset();
    keyIn(f->EditURL, "https://host");
    EXPECT_EQ(f->EditPort->text(), "443");
    keyIn(f->EditURL, ":9443");
    EXPECT_EQ(f->EditPort->text(), "9443");
    f->EditURL->selectAll();
    QTest::keyClick(f->EditURL, Qt::Key_Delete);
    EXPECT_EQ(f->EditPort->text(), "");
    f->Reset();
    f->EditURL->setText("https://stored.example/");
    EXPECT_EQ(f->EditPort->text(), "");
}

TEST_F(UrlExpectationDialogs, EditorShowsTheStoredExpectationAndSavesAChangeOfIt)
{
    m_dm->ExecUpdate(
        "insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,url_method) "
        "values (\"URL\",\"http://api.example/health\",80,\"Hourly\",\"00\",\"15\",\"Get\")");
    const int id = static_cast<int>(m_dm->LastInsertId());
    m_dm->ExecUpdate(QString("insert into service_url_expect (service_id,mode,expect_text) values "
                             "(%1,\"json\",\"/checks/0/ok=true\")")
                         .arg(id));
    window->FillServiceList("ALL");
    TextTableModel* list = window->Engine()->ServiceList();
    list->setSelectedRow(list->findRow(QString::number(id)));
    TFormUpdateScheduling* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    QComboBox* mode = named<QComboBox>(editor, "Expectation");
    QLineEdit* text = named<QLineEdit>(editor, "Expected text");
    ASSERT_TRUE(mode && text);
    EXPECT_EQ(mode->currentText(), "JSON value");
    EXPECT_EQ(text->text(), "/checks/0/ok=true");
    EXPECT_EQ(named<QLineEdit>(editor->Inputs().Service->FrameURL, "Port")->text(), "80");

    pick(mode, "Matches");
    type(text, "\"ok\":\\s*true");
    click(editor->ButtonSave);
    EXPECT_TRUE(boxTexts().isEmpty()) << boxTexts().join('\n').toStdString();
    EXPECT_EQ(table(QString("select mode,expect_text from service_url_expect where service_id=%1").arg(id)),
              QStringList{"matches|\"ok\":\\s*true"});

    pick(mode, "None");
    click(editor->ButtonSave);
    EXPECT_EQ(count(QString("select count(*) from quorvel.service_url_expect where service_id=%1").arg(id)),
              0)
        << "None removes the row";
    EXPECT_TRUE(text->text().isEmpty());
}

} // namespace
