#include "gui/dialogs/alarmSettings.h"

#include "alarms/ThreadAlarm.h"
#include "alarms/ThreadSMSUnit.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodFields.h"
#include "core/AlarmMethodSettings.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/AlarmMethodLoader.h"
#include "database/AlarmMethodStore.h"
#include "gui/HelpViewer.h"
#include "gui/dialogs/AlarmExtraFields.h"
#include "gui/dialogs/AlarmMethodPage.h"
#include "monitor/AlarmBuilders.h"
#include "monitor/TestRunner.h"
#include "monitor/TlsPolicy.h"
#include "pool/PoolWorkItem.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace {

const char* const kPageHint =
    "Please refer to the help file, you can click on the Help button on the bottom to open help file...";

QString Latin(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

TFormAlarmingSettings::TFormAlarmingSettings(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormAlarmingSettings"));
    setWindowTitle(QStringLiteral("Alarming Options"));
    setModal(false);
    m_tests = new TestRunner(this);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    for (const AlarmMethodForm& method : AlarmMethodForms()) {
        auto* page = new AlarmMethodPage(method, PageControl);
        const int index = PageControl->addTab(page, Latin(method.tab));
        PageControl->setTabToolTip(index, Latin(kPageHint));
        page->setToolTip(Latin(kPageHint));
        m_pages << page;
        connect(page, &AlarmMethodPage::EnablingChanged, this, [this] { PageControlChange(); });
        for (QWidget* control : page->SettingsControls())
            m_applyControls << control;
    }
    // The gateway's extra fields fill their own sub-page.
    m_extraFields = new AlarmExtraFieldsEditor;
    static_cast<QFormLayout*>(m_pages[PageHttpSms]->SubPage(HttpSmsExtraFields)->layout())
        ->addRow(m_extraFields);
    m_applyControls << m_extraFields->SettingsControls();
    for (QWidget* control : std::as_const(m_applyControls))
        control->installEventFilter(this);
    buildButtons();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(PageControl, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonHelp);
    buttons->addStretch(1);
    buttons->addWidget(ButtonTest);
    buttons->addWidget(ButtonApply);
    buttons->addWidget(ButtonCancel);
    layout->addLayout(buttons);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);

    connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });
    PageControl->setCurrentIndex(PageEmail);
    SetCaptionsAsAccessibleNames(this);

    for (AlarmMethodPage* page : std::as_const(m_pages))
        page->Reset();
    ApplyEnablingRules();
    resize(560, 600);
}

TFormAlarmingSettings::~TFormAlarmingSettings()
{
    // Tests still running are abandoned with the runner: their items end on their worker
    // threads unseen.
}

void TFormAlarmingSettings::buildButtons()
{
    ButtonHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButtonHelp->setToolTip(QStringLiteral("Click for help..."));
    ButtonTest = new QPushButton(Latin(AlarmMethodForms()[PageEmail].testButton), this);
    ButtonTest->setToolTip(QStringLiteral("Click to test connection..."));
    ButtonApply = new QPushButton(QStringLiteral("Apply"), this);
    ButtonApply->setToolTip(QStringLiteral("Click to save the alarming options"));
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setToolTip(QStringLiteral("Click to cancel changes and close the window"));
    for (QPushButton* b : {ButtonHelp, ButtonTest, ButtonApply, ButtonCancel})
        b->setAutoDefault(false);
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    connect(ButtonTest, &QPushButton::clicked, this, [this] { ButtonTestClick(); });
    connect(ButtonApply, &QPushButton::clicked, this, [this] { ButtonApplyClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
}

bool TFormAlarmingSettings::eventFilter(QObject* watched, QEvent* event)
{
    // A settings control taking the focus means the user is about to change something.
    if (event->type() == QEvent::FocusIn && m_loaded &&
        m_applyControls.contains(static_cast<QWidget*>(watched)))
        ButtonApply->setEnabled(true);
    return TFormDialog::eventFilter(watched, event);
}

void TFormAlarmingSettings::showStatus(const QString& text)
{
    // The bar shows what fits; the whole text is its tooltip.
    m_statusText = text;
    const int room = std::max(StatusBar->contentsRect().width() - 12, 200);
    StatusBar->showMessage(StatusBar->fontMetrics().elidedText(text, Qt::ElideRight, room));
    StatusBar->setToolTip(text);
}

// ---- showing -------------------------------------------------------------------------------

void TFormAlarmingSettings::FormShow()
{
    ButtonApply->setEnabled(false);
    showStatus(QString());
    // A test still on its way belongs to the previous showing: its outcome is not shown.
    m_tests->Drop();
    for (AlarmMethodPage* page : std::as_const(m_pages)) {
        page->Reset();
        if (auto* response = qobject_cast<QPlainTextEdit*>(page->TestInput(AlarmTestInput::Response)))
            response->clear();
    }
    m_extraFields->SetFields({});
    m_loaded = false;
    try {
        loadStoredValues();
        m_loaded = true;
    } catch (const std::exception& e) {
        // Without the stored values a save would overwrite them with what the window shows:
        // Apply stays off until a showing loads them.
        ApplicationEventsException(QString::fromUtf8(e.what()));
        showStatus(QString::fromUtf8(e.what()));
    }
    ApplyEnablingRules();
}

void TFormAlarmingSettings::loadStoredValues()
{
    for (const AlarmMethodRow& row : AlarmMethodStore::Rows()) {
        for (AlarmMethodPage* page : std::as_const(m_pages)) {
            if (row.Type == QLatin1String(page->Form().type))
                page->ShowRow([&row](const QString& column) { return row.value(column); });
        }
    }
    // Read from the table itself, whatever the gateway's state, so that enabling "Post" and
    // applying never empties the stored fields; in the stored order, which Apply writes back.
    m_extraFields->SetFields(AlarmMethodStore::ExtraFields());
}

void TFormAlarmingSettings::ApplyEnablingRules()
{
    for (AlarmMethodPage* page : std::as_const(m_pages))
        page->ApplyEnabling();
    PageControlChange();
}

void TFormAlarmingSettings::PageControlChange()
{
    const int page = PageControl->currentIndex();
    if (page < 0 || page >= m_pages.size())
        return;
    ButtonTest->setText(Latin(m_pages[page]->Form().testButton));
    ButtonTest->setAccessibleName(PlainCaption(ButtonTest->text()));
    updateTestButton();
}

void TFormAlarmingSettings::updateTestButton()
{
    const AlarmMethodPage* page = MethodPage(PageControl->currentIndex());
    ButtonTest->setEnabled(!m_tests->Awaiting() && page && page->MethodEnabled());
}

QString TFormAlarmingSettings::HelpTopic() const
{
    const AlarmMethodPage* page = MethodPage(PageControl->currentIndex());
    return page ? Latin(page->Form().helpTopic) : QString();
}

// ---- Apply ---------------------------------------------------------------------------------

QString TFormAlarmingSettings::scrubbed(const QString& text) const
{
    // A server message may quote a piece of the statement; no password reaches the log.
    QString result = text;
    for (const AlarmMethodPage* page : m_pages) {
        for (const QString& secret : page->Secrets()) {
            if (!secret.isEmpty())
                result.replace(secret, QStringLiteral("****"));
        }
    }
    return result;
}

void TFormAlarmingSettings::ButtonApplyClick()
{
    if (!m_loaded)
        return;
    for (AlarmMethodPage* page : std::as_const(m_pages)) {
        if (page->MethodEnabled() && !page->Validate())
            return;
    }
    std::vector<AlarmMethodValues> rows;
    for (AlarmMethodPage* page : std::as_const(m_pages)) {
        auto row = page->Row();
        if (!row)
            return;
        rows.push_back(std::move(*row));
    }
    const AlarmMethodPage* gateway = m_pages[PageHttpSms];
    const auto* method = qobject_cast<const QComboBox*>(gateway->Field(QStringLiteral("method")));
    const bool postFields = gateway->MethodEnabled() && method->currentText() == QLatin1String("Post");
    try {
        AlarmMethodStore::Save({rows[PageEmail], rows[PageSms], rows[PageHttpSms], rows[PageSysLog],
                                postFields ? std::optional(m_extraFields->Fields()) : std::nullopt});
        LoadAlarmMethods();
    } catch (const std::exception& e) {
        ApplicationEventsException(scrubbed(QString::fromUtf8(e.what())));
        return;
    }
    // What was written is what the window shows from now on.
    for (AlarmMethodPage* page : std::as_const(m_pages))
        page->ForgetKeptNames();

    const QString saved = Latin(lang::OptionSettingsSaved);
    emit statusReported(saved);
    showStatus(saved);
    ButtonApply->setEnabled(false);
}

void TFormAlarmingSettings::ButtonAddFieldClick()
{
    m_extraFields->AddField();
}

void TFormAlarmingSettings::ButtonRemoveFieldClick()
{
    m_extraFields->RemoveField();
}

void TFormAlarmingSettings::ButtonHelpClick()
{
    OpenHelpTopic(HelpTopic());
}

void TFormAlarmingSettings::ButtonCancelClick()
{
    emit statusReported(Latin(lang::UpdatingCancelled));
    close();
}

// ---- tests ---------------------------------------------------------------------------------

std::unique_ptr<ThreadAlarm> TFormAlarmingSettings::buildTestItem(int page)
{
    // The values on screen become the settings exactly as a save followed by the loader would
    // make them, and the dispatcher's builder makes the item: the test sends what the alarms
    // will send.
    AlarmMethodPage* shown = m_pages[page];
    const std::optional<AlarmMethodValues> row = shown->Row();
    if (!row)
        return nullptr;
    const QString type = Latin(shown->Form().type);
    AlarmMethodSettingsRecord settings;
    ReadAlarmMethodRow(
        type,
        [&row](const QString& name) {
            for (const AlarmMethodValue& c : *row) {
                if (c.Column == name)
                    return c.Value;
            }
            return QVariant();
        },
        settings);
    // The extra fields a save would store and the loader read back: those on screen, top to
    // bottom, for an enabled "Post" gateway.
    if (page == PageHttpSms && settings.HttpSmsMethod.enable &&
        settings.HttpSmsMethod.method == QLatin1String("Post")) {
        for (const auto& [name, value] : m_extraFields->Fields())
            settings.HttpSmsExtraFields << name + QLatin1Char('=') + value;
    }
    // A test judges certificates as the alarms do ([tls] of SysInit.ini).
    return BuildAlarm(settings, type, shown->TestText(AlarmTestInput::Message),
                      shown->TestText(AlarmTestInput::Recipient), AlarmTlsOptions(AppSettings));
}

bool TFormAlarmingSettings::TestRunning() const
{
    return m_tests->Awaiting();
}

void TFormAlarmingSettings::ButtonTestClick()
{
    const int index = PageControl->currentIndex();
    AlarmMethodPage* page = MethodPage(index);
    if (m_tests->Awaiting() || !page)
        return;
    for (const AlarmTestInput& input : page->Form().testInputs) {
        if (input.role == AlarmTestInput::Response || !page->TestText(input.role).isEmpty())
            continue;
        ShowInformationBox(
            Latin(lang::FieldEmptyForTest).replace(QStringLiteral("%s"), Latin(input.caption)));
        page->TestInput(input.role)->setFocus();
        return;
    }
    if (!page->Validate())
        return;
    if (std::unique_ptr<ThreadAlarm> item = buildTestItem(index))
        startTest(index, std::move(item));
}

void TFormAlarmingSettings::startTest(int page, std::unique_ptr<ThreadAlarm> item)
{
    const AlarmMethodForm& method = m_pages[page]->Form();
    if (auto* response = qobject_cast<QPlainTextEdit*>(m_pages[page]->TestInput(AlarmTestInput::Response)))
        response->clear();
    showStatus(Latin(method.sending));
    // The SMSC has accepted the bind: "connected" shows until the outcome comes. The ticket is
    // known once the test has started, before the event loop turns again.
    const auto ticket = std::make_shared<std::uint64_t>(0);
    if (auto* sms = dynamic_cast<ThreadSMS*>(item.get())) {
        sms->OnBound = [form = QPointer<TFormAlarmingSettings>(this), ticket] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [form, ticket] {
                    if (form && form->m_tests->IsAwaited(*ticket))
                        form->showStatus(Latin(lang::SmsConnected));
                },
                Qt::QueuedConnection);
        };
    }
    try {
        *ticket =
            m_tests->Start(std::move(item), [this, page](const PoolWorkItem& done) { testDone(page, done); });
    } catch (const std::exception& e) {
        showStatus(Latin(method.error) + QString::fromUtf8(e.what()));
        return;
    }
    updateTestButton();
}

void TFormAlarmingSettings::testDone(int page, const PoolWorkItem& item)
{
    updateTestButton();
    const auto* alarm = dynamic_cast<const ThreadAlarm*>(&item);
    if (!alarm)
        return;
    const auto* url = dynamic_cast<const ThreadURL*>(alarm);
    if (auto* response = qobject_cast<QPlainTextEdit*>(m_pages[page]->TestInput(AlarmTestInput::Response));
        response && url)
        response->setPlainText(QString::fromUtf8(url->ResponseBody));
    showStatus(outcomeText(page, *alarm));
}

QString TFormAlarmingSettings::outcomeText(int page, const ThreadAlarm& alarm) const
{
    const AlarmMethodForm& method = m_pages[page]->Form();
    if (alarm.Passed)
        return Latin(method.sent);
    if (alarm.ResultText.isEmpty()) // never ran: the pool's reason
        return Latin(method.error) +
               (alarm.ErrorText.isEmpty() ? QStringLiteral("not run") : alarm.ErrorText);
    if (page == PageSms) {
        // The session's own results: the failed step and its number.
        const struct
        {
            const char* error;
            const char* shown;
        } steps[] = {{lang::ERR00801, lang::SmsConnectionFailed},
                     {lang::ERR00802, lang::SmsBindingFailed},
                     {lang::ERR00803, lang::SmsSendingFailed}};
        for (const auto& step : steps) {
            const QString prefix = Latin(step.error) + QStringLiteral(" : ");
            if (alarm.ResultDetail.startsWith(prefix))
                return Latin(step.shown) + alarm.ResultDetail.mid(prefix.size());
        }
    }
    return Latin(method.error) + alarm.ResultDetail;
}
