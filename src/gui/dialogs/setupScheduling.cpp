#include "gui/dialogs/setupScheduling.h"

#include "checks/ThreadCheck.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/HelpViewer.h"
#include "gui/dialogs/FrameCert.h"
#include "gui/dialogs/FrameDNS.h"
#include "gui/dialogs/FrameEmail.h"
#include "gui/dialogs/FrameFTP.h"
#include "gui/dialogs/FrameKit.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameTCP.h"
#include "gui/dialogs/FrameURL.h"
#include "monitor/CheckBuilders.h"
#include "monitor/TestRunner.h"
#include "pool/PoolWorkItem.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kStartup = 0;
constexpr int kLastStep = 5;

const char* const kIntroduction[] = {
    "This wizard will help you to setup a schedule for Quorvel  ",
    "to check the status of any service.",
    "",
    "Step 1 : Select schedule",
    "Step 2 : Select service",
    "Step 3 : Test service connection",
    "Step 4 : Select alarm method(s)",
    "Step 5 : Select contact list(s)",
};

// A wizard page: the picture strip on the left, `content` to its right.
QWidget* wizardPage(QWidget* content)
{
    auto* page = new QWidget;
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(NewPictureStrip());
    layout->addWidget(content, 1);
    return page;
}

QWidget* introduction()
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    for (const char* line : kIntroduction)
        layout->addWidget(new QLabel(QString::fromLatin1(line)));
    layout->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("Please click Next to continue")));
    return content;
}

} // namespace

std::unique_ptr<ThreadCheck> BuildTestCheck(const ServiceRecord& d)
{
    const CheckKind* kind = FindCheckKind(d.Service);
    if (!kind)
        return nullptr;
    return BuildCheck(d, SetupCheckSettings(*kind, AppSettings));
}

TFormSetupScheduling::TFormSetupScheduling(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormSetupScheduling"));
    setWindowTitle(QStringLiteral("Setup New Service"));

    m_tests = new TestRunner(this);
    PageControl = new QTabWidget;
    PageControl->setDocumentMode(true);
    PageControl->addTab(wizardPage(introduction()), QStringLiteral("Startup"));

    PageControl->addTab(wizardPage(m_inputs.Schedule), QStringLiteral("Step 1"));
    PageControl->addTab(wizardPage(m_inputs.Service), QStringLiteral("Step 2"));

    PageControl->addTab(wizardPage(buildTestPage()), QStringLiteral("Step 3"));

    PageControl->addTab(wizardPage(m_inputs.Alarms), QStringLiteral("Step 4"));
    // The contact step can make the person the alarms are to go to: the main window, which
    // opens the contacts window otherwise, is locked while the wizard is open.
    m_contactPage = wizardPage(buildContactPage());
    PageControl->addTab(m_contactPage, QStringLiteral("Step 5"));

    ButtonHelp = new QPushButton(QStringLiteral("&Help"));
    ButtonBack = new QPushButton(QStringLiteral("< &Back"));
    ButtonNext = new QPushButton(QStringLiteral("&Next >"));
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"));
    for (QPushButton* button :
         {ButtonHelp, ButtonBack, ButtonNext, ButtonCancel, ButtonTest, ButtonNewContact})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonHelp);
    buttons->addStretch(1);
    buttons->addWidget(ButtonBack);
    buttons->addWidget(ButtonNext);
    buttons->addWidget(ButtonCancel);

    StatusBar = new QStatusBar;
    StatusBar->setSizeGripEnabled(false);
    m_statusPanel = new QLabel;
    StatusBar->addWidget(m_statusPanel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);
    resize(720, 520);

    connectControls();

    SetCaptionsAsAccessibleNames(this);
}

// The connection test: what is tested, the button, the result and its detail.
QWidget* TFormSetupScheduling::buildTestPage()
{
    auto* test = new QWidget;
    auto* testLayout = new QVBoxLayout(test);
    testLayout->addWidget(
        new QLabel(QStringLiteral("Please click on the below button to test the connection :")));
    auto* pairs = new QGridLayout;
    LabelService = new QLabel;
    LabelIP = new QLabel;
    LabelPort = new QLabel;
    LabelService->setObjectName(QStringLiteral("LabelService"));
    LabelIP->setObjectName(QStringLiteral("LabelIP"));
    LabelPort->setObjectName(QStringLiteral("LabelPort"));
    LabelIP->setTextFormat(Qt::PlainText);
    pairs->addWidget(new QLabel(QStringLiteral("Service : ")), 0, 0);
    pairs->addWidget(LabelService, 0, 1);
    pairs->addWidget(new QLabel(QStringLiteral("IP : ")), 1, 0);
    pairs->addWidget(LabelIP, 1, 1);
    pairs->addWidget(new QLabel(QStringLiteral("Port : ")), 2, 0);
    pairs->addWidget(LabelPort, 2, 1);
    pairs->setColumnStretch(1, 1);
    testLayout->addLayout(pairs);
    ButtonTest = new QPushButton(QStringLiteral("Test connection"));
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(ButtonTest);
    testRow->addStretch(1);
    testLayout->addLayout(testRow);
    MemoResult = new QPlainTextEdit;
    MemoResult->setReadOnly(true);
    MemoResult->setAccessibleName(QStringLiteral("Test result"));
    testLayout->addWidget(MemoResult, 1);
    LabelTestDetail = new QLabel;
    LabelTestDetail->setTextFormat(Qt::PlainText);
    LabelTestDetail->setAccessibleName(QStringLiteral("Test detail"));
    LabelTestDetail->setMinimumWidth(1); // a long detail is cut, not widening the window
    testLayout->addWidget(LabelTestDetail);
    return test;
}

QWidget* TFormSetupScheduling::buildContactPage()
{
    auto* contacts = new QWidget;
    auto* contactsLayout = new QVBoxLayout(contacts);
    contactsLayout->setContentsMargins(0, 0, 0, 0);
    contactsLayout->addWidget(m_inputs.Contacts, 1);
    ButtonNewContact = new QPushButton(QStringLiteral("New Contact..."));
    auto* newContactRow = new QHBoxLayout;
    newContactRow->addWidget(ButtonNewContact);
    newContactRow->addStretch(1);
    contactsLayout->addLayout(newContactRow);
    return contacts;
}

void TFormSetupScheduling::connectControls()
{
    connect(ButtonNext, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonNextClick);
    connect(ButtonBack, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonBackClick);
    connect(ButtonTest, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonTestClick);
    // A result speaks for the inputs it was made with: any change of an input the test uses
    // empties it.
    const auto clearResult = [this] {
        m_tests->Drop(); // the answer still under way is for the old inputs
        MemoResult->clear();
        LabelTestDetail->clear();
        LabelTestDetail->setToolTip(QString());
        ButtonTest->setEnabled(true);
    };
    for (QLineEdit* edit : m_inputs.Service->findChildren<QLineEdit*>())
        connect(edit, &QLineEdit::textEdited, this, clearResult);
    for (QComboBox* list : m_inputs.Service->findChildren<QComboBox*>())
        connect(list, QOverload<int>::of(&QComboBox::activated), this, clearResult);
    for (QAbstractButton* box : m_inputs.Service->findChildren<QAbstractButton*>())
        connect(box, &QAbstractButton::clicked, this, clearResult);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonHelpClick);
    connect(ButtonNewContact, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonNewContactClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormSetupScheduling::ButtonCancelClick);
    connect(PageControl, &QTabWidget::currentChanged, this, &TFormSetupScheduling::pageChanged);
    connect(m_inputs.Service->FrameURL, &TFrameURLForm::statusText, this, &TFormSetupScheduling::showStatus);
}

TFormSetupScheduling::~TFormSetupScheduling() = default;

QString TFormSetupScheduling::StatusText() const
{
    return m_statusPanel->text();
}

void TFormSetupScheduling::showStatus(const QString& text)
{
    m_statusPanel->setText(text);
}

void TFormSetupScheduling::FormShow()
{
    m_switchingPages = true;
    m_step = kStartup;
    PageControl->setCurrentIndex(kStartup);
    for (int page = 1; page <= kLastStep; ++page)
        PageControl->setTabVisible(page, false);
    m_switchingPages = false;
    ButtonBack->setEnabled(false);
    setNextCaption(false);
    ButtonTest->setEnabled(true);
    m_tests->Drop(); // a result still under way belongs to an earlier showing
    m_saved = false;

    m_inputs.ResetAll();
    MemoResult->clear();
    LabelTestDetail->clear();
    LabelService->clear();
    LabelIP->clear();
    LabelPort->clear();
    showStatus(QString());
}

void TFormSetupScheduling::goToStep(int index)
{
    m_switchingPages = true;
    PageControl->setTabVisible(index, true);
    PageControl->setCurrentIndex(index);
    m_switchingPages = false;
    m_step = index;
    refreshContactsOn(index);
}

void TFormSetupScheduling::refreshContactsOn(int index)
{
    // Persons and groups made since the wizard opened are offered too; the ticks stay.
    if (PageControl->widget(index) == m_contactPage)
        m_inputs.Contacts->Refresh();
}

void TFormSetupScheduling::ButtonNewContactClick()
{
    // The main window opens the contacts window and hands it back through WatchContactsWindow.
    emit contactsWindowRequested();
}

void TFormSetupScheduling::WatchContactsWindow(QWidget* form)
{
    if (!form)
        return;
    if (m_contactsWindow != form) {
        if (m_contactsWindow)
            m_contactsWindow->removeEventFilter(this);
        form->installEventFilter(this);
        m_contactsWindow = form;
    }
    m_contactsOpenedHere = true;
    form->raise();
    form->activateWindow();
}

bool TFormSetupScheduling::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && m_contactsOpenedHere && watched == m_contactsWindow &&
        !static_cast<QHideEvent*>(event)->spontaneous()) {
        m_contactsOpenedHere = false;
        // After the contacts window has had its own closing (which unlocks the main window):
        // the wizard is still open, so the main window stays locked, and lists the new persons.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!isVisible())
                    return;
                emit lockRequested();
                refreshContactsOn(PageControl->currentIndex());
                raise();
                activateWindow();
            },
            Qt::QueuedConnection);
    }
    return TFormDialog::eventFilter(watched, event);
}

void TFormSetupScheduling::pageChanged(int index)
{
    if (m_switchingPages || index < 0)
        return;
    // The user clicked a tab.
    m_step = index;
    refreshContactsOn(index);
    if (index == 3)
        fillStep3Labels();
    setNextCaption(index == kLastStep);
    ButtonBack->setEnabled(index != kStartup);
}

void TFormSetupScheduling::setNextCaption(bool finish)
{
    ButtonNext->setText(finish ? QStringLiteral("&Finish") : QStringLiteral("&Next >"));
    ButtonNext->setToolTip(QString::fromLatin1(finish ? lang::ClickToSaveScheduling : lang::ClickNext));
    ButtonNext->setAccessibleName(PlainCaption(ButtonNext->text()));
}

template <typename Check> bool TFormSetupScheduling::validate(Check check)
{
    m_switchingPages = true;
    const bool ok = check();
    m_switchingPages = false;
    return ok;
}

void TFormSetupScheduling::ButtonNextClick()
{
    switch (m_step) {
    case 0:
        ButtonBack->setEnabled(true);
        goToStep(1);
        showStatus(QString::fromLatin1(lang::SelectSchedulingMethod));
        break;
    case 1:
        if (!validate([this] { return m_inputs.ValidateSchedule(); }))
            return;
        goToStep(2);
        showStatus(QString::fromLatin1(lang::SelectService));
        break;
    case 2:
        if (!validate([this] { return m_inputs.ValidateServiceFields(); }))
            return;
        goToStep(3);
        fillStep3Labels();
        showStatus(QString::fromLatin1(lang::ClickToTestConnection));
        break;
    case 3:
        goToStep(4);
        showStatus(QString::fromLatin1(lang::SelectAlarmMethods));
        break;
    case 4:
        goToStep(5);
        setNextCaption(true);
        showStatus(QString::fromLatin1(lang::SelectContactPersonsOrGroups));
        break;
    default:
        save();
        break;
    }
}

void TFormSetupScheduling::ButtonBackClick()
{
    if (m_step <= kStartup)
        return;
    goToStep(m_step - 1);
    ButtonBack->setEnabled(m_step != kStartup);
    setNextCaption(false);
}

void TFormSetupScheduling::fillStep3Labels()
{
    const QString kind = m_inputs.Service->Kind();
    QString ip;
    QString port;
    if (kind == QLatin1String(lang::KindURL)) {
        ip = m_inputs.Service->FrameURL->EditURL->text();
        port = m_inputs.Service->FrameURL->EditPort->text();
    } else if (kind == QLatin1String(lang::KindEmail)) {
        ip = m_inputs.Service->FrameEmail->EditHost->text();
        port = m_inputs.Service->FrameEmail->EditPort->text();
    } else if (kind == QLatin1String(lang::KindPing)) {
        ip = m_inputs.Service->FramePing->EditHost->text();
        port = m_inputs.Service->FramePing->EditPort->text();
    } else if (kind == QLatin1String(lang::KindFTP)) {
        ip = m_inputs.Service->FrameFTP->EditHost->text();
        port = m_inputs.Service->FrameFTP->EditPort->text();
    } else if (kind == QLatin1String(lang::KindTCP)) {
        ip = m_inputs.Service->FrameTCP->EditHost->text();
        port = m_inputs.Service->FrameTCP->EditPort->text();
    } else if (kind == QLatin1String(lang::KindDNS)) {
        ip = m_inputs.Service->FrameDNS->EditName->text();
        port = m_inputs.Service->FrameDNS->EditPort->text();
    } else if (kind == QLatin1String(lang::KindCert)) {
        ip = m_inputs.Service->FrameCert->EditHost->text();
        port = m_inputs.Service->FrameCert->EditPort->text();
    }
    LabelService->setText(kind);
    LabelIP->setText(ip.isEmpty() ? QString::fromLatin1(lang::InputValidIp) : ip);
    if (port.isEmpty() && kind != QLatin1String(lang::KindPing))
        port = QString::fromLatin1(lang::InputValidPort);
    LabelPort->setText(port);
}

void TFormSetupScheduling::ButtonTestClick()
{
    if (!validate([this] { return m_inputs.ValidateSchedule() && m_inputs.ValidateServiceFields(); }))
        return;
    MemoResult->clear();
    LabelTestDetail->clear();
    LabelTestDetail->setToolTip(QString());
    ButtonTest->setEnabled(false);
    showStatus(QString::fromLatin1(lang::ConnectionTesting));

    const auto shown = [this](const PoolWorkItem& item) {
        const auto& check = static_cast<const ThreadCheck&>(item);
        if (check.ResultText.isEmpty() && check.Status != PoolWorkItem::StatusDone)
            ShowTestResult(QStringLiteral("Not tested"), NotRunReason(check));
        else
            ShowTestResult(check.ResultText, check.ResultDetail);
    };
    try {
        if (std::unique_ptr<ThreadCheck> check = BuildTestCheck(m_inputs.Definition()))
            m_tests->Start(std::move(check), shown);
    } catch (const std::exception&) {
        // No worker pool: nothing runs, and the button stays disabled until the wizard is shown
        // again.
    }
}

void TFormSetupScheduling::ShowTestResult(const QString& text, const QString& detail)
{
    MemoResult->clear();
    MemoResult->setPlainText(text);
    const QString shown =
        text == QLatin1String("Not tested") ? text + QStringLiteral(" : ") + detail : detail;
    LabelTestDetail->setText(LabelTestDetail->fontMetrics().elidedText(
        shown, Qt::ElideRight, std::max(LabelTestDetail->width(), 200)));
    LabelTestDetail->setToolTip(shown);
    ButtonTest->setEnabled(true);
    showStatus(text == QLatin1String("Not tested") ? QString::fromLatin1(lang::ConnectionNotTested)
                                                   : QString::fromLatin1(lang::ConnectionTested));
}

void TFormSetupScheduling::save()
{
    if (m_saved)
        return;
    if (!validate([this] {
            return m_inputs.ValidateSchedule() && m_inputs.ValidateServiceFields() &&
                   m_inputs.ValidateContacts();
        }))
        return;
    m_inputs.Normalise();
    const ServiceRecord definition = m_inputs.Definition();
    try {
        ServiceStore::Insert(definition, m_inputs.TickedContacts());
    } catch (const std::exception& error) {
        const QString text =
            QString::fromLatin1(lang::ERR00106) + QStringLiteral(" : ") + QString::fromUtf8(error.what());
        WriteSystemLog(text, LogLevel::ERROR);
        ShowErrorBox(text);
        return;
    }
    m_saved = true;
    emit servicesChanged(QStringLiteral("ALL"));
    ShowInformationBox(QString::fromLatin1(lang::NewServiceSetup));
    close();
}

void TFormSetupScheduling::ButtonHelpClick()
{
    OpenHelpTopic(QStringLiteral("New_Service"));
}

void TFormSetupScheduling::ButtonCancelClick()
{
    close();
}
