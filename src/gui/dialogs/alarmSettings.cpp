#include "gui/dialogs/alarmSettings.h"

#include "alarms/ThreadAlarm.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/AlarmMethodLoader.h"
#include "database/AlarmMethodStore.h"
#include "gui/menu.h"
#include "monitor/AlarmBuilders.h"
#include "monitor/TlsPolicy.h"
#include "pool/ThreadPoolManager.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

QPointer<TFormAlarmingSettings> g_form;

const char* const kPageHint =
    "Please refer to the help file, you can click on the Help button on the bottom to open help file...";

struct PageText
{
    const char* tab;
    const char* type;
    const char* testButton;
    const char* testGroup;
    const char* note;
    const char* helpTopic;
};

const PageText kPages[] = {
    {"Email - SMTP", lang::MethodEmail, "Test Connection [Email]", "Test Connection (Email)",
     "Note : Enable this option, the alarm can be sent out via email by SMTP.", "Email_Alarm"},
    {"SMS - SMPP", lang::MethodSMS, "Test Connection [SMS]", "Test Connection (SMS)",
     "Note : Enable this option, the alarm can be sent out via SMS. Please note that it will append only 160 "
     "English charaters into the SMS message.",
     "SMS_Alarm"},
    {"SMS by HTTP", lang::MethodSMSbyHTTP, "Test Connection [SMS by HTTP]", "Test Connection (SMS-HTTP)",
     "Note : Enable this option, the alarm can be sent out via SMS by HTTP.", "SMS_by_HTTP_Alarm"},
    {"BSD SysLog", lang::MethodSysLog, "Test Connection [SysLog]", "Test Connection (BSD SysLog)",
     "Note : Enable this option, the alarm can be sent to other BSD SysLog server (Linux/Unix).",
     "SysLog_Alarm"},
};

// Column widths of alarm_method and alarm_method_extra_fields: no input holds more than its
// column stores.
constexpr int kIpColumn = 2048; // alarm_method.ip, wide enough for the gateway's URL
constexpr int kHostInput = 200; // a host name in alarm_method.ip
constexpr int kNameColumn = 50; // username, password, addresses, field names, system type
constexpr int kProxyIpColumn = 100;
constexpr int kMailAgentColumn = 150;
constexpr int kIntegerInput = 11; // "-2147483648"

constexpr int kPortMax = 65535;
constexpr int kByteMax = 255;
constexpr int kTimeoutMax = 3600000;

constexpr const char* kDefaultPorts[] = {"25", "2775", "80", "514"};
constexpr const char* kDefaultTimeout = "5000";

QString Latin(const char* text)
{
    return QString::fromLatin1(text);
}

QString WithLabel(const char* pattern, const QString& label)
{
    QString text = Latin(pattern);
    return text.replace(QStringLiteral("%s"), label);
}

QLineEdit* NewEdit(QWidget* parent, int maxLength)
{
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    return edit;
}

QLabel* AddRow(QFormLayout* form, const QString& caption, QWidget* field)
{
    auto* label = new QLabel(caption + QStringLiteral(" :"), form->parentWidget());
    label->setBuddy(field);
    form->addRow(label, field);
    return label;
}

QFormLayout* NewForm(QWidget* parent)
{
    auto* form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return form;
}

// The text of a multi-line box as one value (the gateway URL).
QString BoxText(const QPlainTextEdit* box)
{
    return box->toPlainText();
}

} // namespace

TFormAlarmingSettings* FormAlarmingSettings()
{
    return g_form.data();
}

void TFormMenu::OpenAlarmOptions()
{
    const bool first = g_form.isNull();
    if (first)
        g_form = new TFormAlarmingSettings(this);
    TFormAlarmingSettings* form = g_form.data();
    if (first) {
        // Centred on the screen, once; later showings keep where the user put it.
        if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), form->sizeHint().expandedTo(form->size()));
            frame.moveCenter(screen->availableGeometry().center());
            form->move(frame.topLeft());
        }
    }
    form->show();
    form->raise();
    form->activateWindow();
}

TFormAlarmingSettings::TFormAlarmingSettings(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormAlarmingSettings"));
    setWindowTitle(QStringLiteral("Alarming Options"));
    setModal(false);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    buildEmailPage();
    buildSmsPage();
    buildHttpSmsPage();
    buildSysLogPage();
    for (int i = 0; i < PageControl->count(); ++i) {
        PageControl->setTabToolTip(i, Latin(kPageHint));
        PageControl->widget(i)->setToolTip(Latin(kPageHint));
    }
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
    // The four "Enable" boxes carry the page's note beside them; their name is "Enable".
    for (QCheckBox* enable : {Email.enable, Sms.enable, HttpSms.enable, SysLog.enable})
        enable->setAccessibleName(QStringLiteral("Enable"));

    setDefaults();
    ApplyEnablingRules();
    resize(560, 600);
}

TFormAlarmingSettings::~TFormAlarmingSettings()
{
    // Tests still running are abandoned: their items end on their worker threads unseen.
    if (m_pool) {
        m_pool->SetOnWorkItemDone(nullptr);
        m_pool.reset();
    }
    if (g_form == this)
        g_form = nullptr;
}

// ---- building ------------------------------------------------------------------------------

namespace {

// The page's "Enable" box with the page's note beside it.
QCheckBox* AddEnable(QVBoxLayout* layout, QWidget* page, const PageText& text)
{
    auto* row = new QHBoxLayout;
    auto* enable = new QCheckBox(QStringLiteral("Enable"), page);
    auto* note = new QLabel(Latin(text.note), page);
    note->setWordWrap(true);
    enable->setAccessibleDescription(note->text());
    row->addWidget(enable, 0, Qt::AlignTop);
    row->addWidget(note, 1);
    layout->addLayout(row);
    return enable;
}

QGroupBox* NewTestGroup(QWidget* page, const PageText& text)
{
    auto* group = new QGroupBox(Latin(text.testGroup), page);
    return group;
}

} // namespace

void TFormAlarmingSettings::buildEmailPage()
{
    const PageText& text = kPages[PageEmail];
    auto* page = new QWidget(PageControl);
    Email.page = page;
    auto* layout = new QVBoxLayout(page);
    Email.enable = AddEnable(layout, page, text);

    auto* settings = new QWidget(page);
    QFormLayout* form = NewForm(settings);
    form->setContentsMargins(0, 0, 0, 0);
    Email.ip = NewEdit(settings, kHostInput);
    Email.port = NewEdit(settings, kIntegerInput);
    Email.mailAgent = NewEdit(settings, kMailAgentColumn);
    Email.fromAddress = NewEdit(settings, kNameColumn);
    AddRow(form, QStringLiteral("SMTP IP/Address"), Email.ip);
    AddRow(form, QStringLiteral("Port"), Email.port);
    AddRow(form, QStringLiteral("Mail Agent"), Email.mailAgent);
    AddRow(form, QStringLiteral("From Address"), Email.fromAddress);

    auto* auth = new QGroupBox(settings);
    auto* authForm = NewForm(auth);
    Email.authentication = new QCheckBox(QStringLiteral("Authentication"), auth);
    Email.username = NewEdit(auth, kNameColumn);
    Email.password = NewEdit(auth, kNameColumn);
    Email.password->setEchoMode(QLineEdit::Password);
    authForm->addRow(Email.authentication);
    AddRow(authForm, QStringLiteral("Username"), Email.username);
    AddRow(authForm, QStringLiteral("Password"), Email.password);
    form->addRow(auth);

    Email.timeout = NewEdit(settings, kIntegerInput);
    AddRow(form, QStringLiteral("Timeout (ms)"), Email.timeout);
    layout->addWidget(settings);

    Email.testGroup = NewTestGroup(page, text);
    QFormLayout* testForm = NewForm(Email.testGroup);
    Email.testRecipient = new QLineEdit(Email.testGroup);
    Email.testMessage = new QPlainTextEdit(Email.testGroup);
    Email.testMessage->setTabChangesFocus(true);
    AddRow(testForm, QStringLiteral("Recipient Email"), Email.testRecipient);
    AddRow(testForm, QStringLiteral("Message"), Email.testMessage);
    layout->addWidget(Email.testGroup, 1);

    PageControl->addTab(page, Latin(text.tab));

    m_numberRules.insert(Email.port, {QStringLiteral("SMTP Port"), 1, kPortMax, PageEmail, -1});
    m_numberRules.insert(Email.timeout, {QStringLiteral("SMTP Timeout"), 1, kTimeoutMax, PageEmail, -1});
    for (QWidget* w : std::initializer_list<QWidget*>{Email.enable, Email.ip, Email.port, Email.mailAgent,
                                                      Email.fromAddress, Email.authentication, Email.username,
                                                      Email.password, Email.timeout})
        watchForApply(w);
    connect(Email.enable, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(Email.authentication, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
}

void TFormAlarmingSettings::buildSmsPage()
{
    const PageText& text = kPages[PageSms];
    auto* page = new QWidget(PageControl);
    Sms.page = page;
    auto* layout = new QVBoxLayout(page);
    Sms.enable = AddEnable(layout, page, text);

    auto* settings = new QWidget(page);
    QFormLayout* form = NewForm(settings);
    form->setContentsMargins(0, 0, 0, 0);
    Sms.ip = NewEdit(settings, kHostInput);
    Sms.port = NewEdit(settings, kIntegerInput);
    Sms.timeout = NewEdit(settings, kIntegerInput);
    AddRow(form, QStringLiteral("SMSC IP"), Sms.ip);
    AddRow(form, QStringLiteral("Port"), Sms.port);
    AddRow(form, QStringLiteral("Timeout (ms)"), Sms.timeout);
    layout->addWidget(settings);

    Sms.subPages = new QTabWidget(page);
    Sms.subPages->setObjectName(QStringLiteral("SmsSubPages"));

    auto* authPage = new QWidget(Sms.subPages);
    QFormLayout* authForm = NewForm(authPage);
    Sms.authentication = new QCheckBox(QStringLiteral("Authentication"), authPage);
    Sms.username = NewEdit(authPage, kNameColumn);
    Sms.password = NewEdit(authPage, kNameColumn);
    Sms.password->setEchoMode(QLineEdit::Password);
    authForm->addRow(Sms.authentication);
    AddRow(authForm, QStringLiteral("Username"), Sms.username);
    AddRow(authForm, QStringLiteral("Password"), Sms.password);
    Sms.subPages->addTab(authPage, QStringLiteral("Authentication"));

    auto* bindPage = new QWidget(Sms.subPages);
    QFormLayout* bindForm = NewForm(bindPage);
    Sms.version = NewEdit(bindPage, kIntegerInput);
    Sms.systemType = NewEdit(bindPage, kNameColumn);
    Sms.ton = NewEdit(bindPage, kIntegerInput);
    Sms.npi = NewEdit(bindPage, kIntegerInput);
    AddRow(bindForm, QStringLiteral("Version"), Sms.version);
    AddRow(bindForm, QStringLiteral("System Type"), Sms.systemType);
    AddRow(bindForm, QStringLiteral("TON"), Sms.ton);
    AddRow(bindForm, QStringLiteral("NPI"), Sms.npi);
    Sms.subPages->addTab(bindPage, QStringLiteral("Binding"));

    auto* extraPage = new QWidget(Sms.subPages);
    QFormLayout* extraForm = NewForm(extraPage);
    Sms.oa = NewEdit(extraPage, kNameColumn);
    Sms.destTon = NewEdit(extraPage, kIntegerInput);
    Sms.destNpi = NewEdit(extraPage, kIntegerInput);
    Sms.origTon = NewEdit(extraPage, kIntegerInput);
    Sms.origNpi = NewEdit(extraPage, kIntegerInput);
    AddRow(extraForm, QStringLiteral("OA / SA"), Sms.oa);
    AddRow(extraForm, QStringLiteral("Dest. TON"), Sms.destTon);
    AddRow(extraForm, QStringLiteral("Dest. NPI"), Sms.destNpi);
    AddRow(extraForm, QStringLiteral("Orig. TON"), Sms.origTon);
    AddRow(extraForm, QStringLiteral("Orig. NPI"), Sms.origNpi);
    Sms.subPages->addTab(extraPage, QStringLiteral("Extra Information"));
    layout->addWidget(Sms.subPages);

    Sms.testGroup = NewTestGroup(page, text);
    QFormLayout* testForm = NewForm(Sms.testGroup);
    Sms.testPhone = new QLineEdit(Sms.testGroup);
    Sms.testMessage = new QLineEdit(Sms.testGroup);
    AddRow(testForm, QStringLiteral("Phone Number"), Sms.testPhone);
    AddRow(testForm, QStringLiteral("Message"), Sms.testMessage);
    layout->addWidget(Sms.testGroup);
    layout->addStretch(1);

    PageControl->addTab(page, Latin(text.tab));

    m_numberRules.insert(Sms.port, {QStringLiteral("SMSC Port"), 1, kPortMax, PageSms, -1});
    m_numberRules.insert(Sms.timeout, {QStringLiteral("SMSC Timeout"), 1, kTimeoutMax, PageSms, -1});
    m_numberRules.insert(Sms.version, {QStringLiteral("SMSC Version"), 0, kByteMax, PageSms, SmsBinding});
    m_numberRules.insert(Sms.ton, {QStringLiteral("SMSC TON"), 0, kByteMax, PageSms, SmsBinding});
    m_numberRules.insert(Sms.npi, {QStringLiteral("SMSC NPI"), 0, kByteMax, PageSms, SmsBinding});
    m_numberRules.insert(Sms.destTon,
                         {QStringLiteral("SMSC Dest. TON"), 0, kByteMax, PageSms, SmsExtraInformation});
    m_numberRules.insert(Sms.destNpi,
                         {QStringLiteral("SMSC Dest. NPI"), 0, kByteMax, PageSms, SmsExtraInformation});
    m_numberRules.insert(Sms.origTon,
                         {QStringLiteral("SMSC Orig. TON"), 0, kByteMax, PageSms, SmsExtraInformation});
    m_numberRules.insert(Sms.origNpi,
                         {QStringLiteral("SMSC Orig. NPI"), 0, kByteMax, PageSms, SmsExtraInformation});
    for (QWidget* w :
         std::initializer_list<QWidget*>{Sms.enable, Sms.ip, Sms.port, Sms.timeout, Sms.authentication,
                                         Sms.username, Sms.password, Sms.version, Sms.systemType, Sms.ton,
                                         Sms.npi, Sms.oa, Sms.destTon, Sms.destNpi, Sms.origTon, Sms.origNpi})
        watchForApply(w);
    connect(Sms.enable, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(Sms.authentication, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
}

void TFormAlarmingSettings::buildHttpSmsPage()
{
    const PageText& text = kPages[PageHttpSms];
    auto* page = new QWidget(PageControl);
    HttpSms.page = page;
    auto* layout = new QVBoxLayout(page);
    HttpSms.enable = AddEnable(layout, page, text);

    auto* settings = new QWidget(page);
    QFormLayout* form = NewForm(settings);
    form->setContentsMargins(0, 0, 0, 0);
    HttpSms.url = new QPlainTextEdit(settings);
    HttpSms.url->setTabChangesFocus(true);
    HttpSms.url->setFixedHeight(HttpSms.url->fontMetrics().lineSpacing() * 3 + 12);
    // The box holds one line (a URL with a line break in it would break every request: Enter and
    // pasted breaks become nothing) and no more than the column stores.
    connect(HttpSms.url, &QPlainTextEdit::textChanged, this, [this] {
        const QString typed = HttpSms.url->toPlainText();
        const auto isBreak = [](QChar c) {
            return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
                   c == QChar::LineSeparator;
        };
        QString line;
        int position = HttpSms.url->textCursor().position();
        for (int i = 0; i < typed.size(); ++i) {
            if (!isBreak(typed.at(i)))
                line += typed.at(i);
            else if (i < HttpSms.url->textCursor().position())
                --position;
        }
        line.truncate(kIpColumn);
        if (line == typed)
            return;
        HttpSms.url->setPlainText(line);
        QTextCursor cursor = HttpSms.url->textCursor();
        cursor.setPosition(std::clamp(position, 0, int(line.size())));
        HttpSms.url->setTextCursor(cursor);
    });
    HttpSms.port = NewEdit(settings, kIntegerInput);
    HttpSms.method = new QComboBox(settings);
    HttpSms.method->addItems({QStringLiteral("Get"), QStringLiteral("Post")});
    HttpSms.timeout = NewEdit(settings, kIntegerInput);
    AddRow(form, QStringLiteral("URL"), HttpSms.url);
    AddRow(form, QStringLiteral("Port"), HttpSms.port);
    AddRow(form, QStringLiteral("Method"), HttpSms.method);
    AddRow(form, QStringLiteral("Timeout (ms)"), HttpSms.timeout);
    layout->addWidget(settings);

    HttpSms.subPages = new QTabWidget(page);
    HttpSms.subPages->setObjectName(QStringLiteral("HttpSmsSubPages"));

    auto* namesPage = new QWidget(HttpSms.subPages);
    QFormLayout* namesForm = NewForm(namesPage);
    HttpSms.fieldMsisdn = NewEdit(namesPage, kNameColumn);
    HttpSms.fieldMessage = NewEdit(namesPage, kNameColumn);
    AddRow(namesForm, QStringLiteral("MSISDN"), HttpSms.fieldMsisdn);
    AddRow(namesForm, QStringLiteral("MESSAGE"), HttpSms.fieldMessage);
    HttpSms.subPages->addTab(namesPage, QStringLiteral("Fields Name (Post)"));

    auto* extraPage = new QWidget(HttpSms.subPages);
    auto* extraLayout = new QHBoxLayout(extraPage);
    auto* inputs = new QFormLayout;
    HttpSms.fieldName = NewEdit(extraPage, kNameColumn);
    HttpSms.fieldValue = NewEdit(extraPage, kNameColumn);
    AddRow(inputs, QStringLiteral("Field Name"), HttpSms.fieldName);
    AddRow(inputs, QStringLiteral("Field Value"), HttpSms.fieldValue);
    auto* moves = new QHBoxLayout;
    HttpSms.addField = new QPushButton(QStringLiteral("Add >>"), extraPage);
    HttpSms.addField->setToolTip(QStringLiteral("Click to add this field name and value..."));
    HttpSms.removeField = new QPushButton(QStringLiteral("<< Remove"), extraPage);
    HttpSms.removeField->setToolTip(QStringLiteral("Click to remove this field name and value..."));
    moves->addWidget(HttpSms.removeField);
    moves->addWidget(HttpSms.addField);
    inputs->addRow(moves);
    extraLayout->addLayout(inputs, 1);
    HttpSms.extraFields = new QTreeWidget(extraPage);
    HttpSms.extraFields->setObjectName(QStringLiteral("ExtraFields"));
    HttpSms.extraFields->setAccessibleName(QStringLiteral("Extra Fields"));
    HttpSms.extraFields->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    HttpSms.extraFields->setRootIsDecorated(false);
    HttpSms.extraFields->setColumnWidth(0, 80);
    HttpSms.extraFields->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* removeAction = new QAction(QStringLiteral("<< Remove"), HttpSms.extraFields);
    HttpSms.extraFields->addAction(removeAction);
    extraLayout->addWidget(HttpSms.extraFields, 1);
    HttpSms.subPages->addTab(extraPage, QStringLiteral("Extra Fields (Post)"));

    auto* authPage = new QWidget(HttpSms.subPages);
    QFormLayout* authForm = NewForm(authPage);
    HttpSms.authentication = new QCheckBox(QStringLiteral("Authentication"), authPage);
    HttpSms.username = NewEdit(authPage, kNameColumn);
    HttpSms.password = NewEdit(authPage, kNameColumn);
    HttpSms.password->setEchoMode(QLineEdit::Password);
    authForm->addRow(HttpSms.authentication);
    AddRow(authForm, QStringLiteral("Username"), HttpSms.username);
    AddRow(authForm, QStringLiteral("Password"), HttpSms.password);
    HttpSms.subPages->addTab(authPage, QStringLiteral("Authentication"));

    auto* proxyPage = new QWidget(HttpSms.subPages);
    QFormLayout* proxyForm = NewForm(proxyPage);
    HttpSms.proxyServer = NewEdit(proxyPage, kProxyIpColumn);
    HttpSms.proxyPort = NewEdit(proxyPage, kIntegerInput);
    HttpSms.proxyUsername = NewEdit(proxyPage, kNameColumn);
    HttpSms.proxyPassword = NewEdit(proxyPage, kNameColumn);
    AddRow(proxyForm, QStringLiteral("Proxy Server"), HttpSms.proxyServer);
    AddRow(proxyForm, QStringLiteral("Proxy Port"), HttpSms.proxyPort);
    AddRow(proxyForm, QStringLiteral("Proxy Username"), HttpSms.proxyUsername);
    AddRow(proxyForm, QStringLiteral("Proxy Password"), HttpSms.proxyPassword);
    HttpSms.subPages->addTab(proxyPage, QStringLiteral("Proxy"));
    layout->addWidget(HttpSms.subPages);

    HttpSms.testGroup = NewTestGroup(page, text);
    QFormLayout* testForm = NewForm(HttpSms.testGroup);
    HttpSms.testMsisdn = new QLineEdit(HttpSms.testGroup);
    HttpSms.testMessage = new QLineEdit(HttpSms.testGroup);
    HttpSms.testResponse = new QPlainTextEdit(HttpSms.testGroup);
    HttpSms.testResponse->setReadOnly(true);
    HttpSms.testResponse->setTabChangesFocus(true);
    AddRow(testForm, QStringLiteral("$MSISDN"), HttpSms.testMsisdn);
    AddRow(testForm, QStringLiteral("$MESSAGE"), HttpSms.testMessage);
    AddRow(testForm, QStringLiteral("Response"), HttpSms.testResponse);
    layout->addWidget(HttpSms.testGroup, 1);

    PageControl->addTab(page, Latin(text.tab));

    m_numberRules.insert(HttpSms.port, {QStringLiteral("HTTP-SMS Port"), 1, kPortMax, PageHttpSms, -1});
    m_numberRules.insert(HttpSms.timeout,
                         {QStringLiteral("HTTP-SMS Timeout"), 1, kTimeoutMax, PageHttpSms, -1});
    // An empty proxy port is written as 0: no proxy port.
    m_numberRules.insert(HttpSms.proxyPort,
                         {QStringLiteral("HTTP-SMS Proxy Port"), 0, kPortMax, PageHttpSms, HttpSmsProxy});
    for (QWidget* w : std::initializer_list<QWidget*>{
             HttpSms.enable, HttpSms.url, HttpSms.port, HttpSms.method, HttpSms.timeout, HttpSms.fieldMsisdn,
             HttpSms.fieldMessage, HttpSms.extraFields, HttpSms.addField, HttpSms.removeField,
             HttpSms.authentication, HttpSms.username, HttpSms.password, HttpSms.proxyServer,
             HttpSms.proxyPort, HttpSms.proxyUsername, HttpSms.proxyPassword})
        watchForApply(w);
    connect(HttpSms.enable, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(HttpSms.authentication, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(HttpSms.method, &QComboBox::currentIndexChanged, this, [this] { ApplyEnablingRules(); });
    connect(HttpSms.addField, &QPushButton::clicked, this, [this] { ButtonAddFieldClick(); });
    connect(HttpSms.removeField, &QPushButton::clicked, this, [this] { ButtonRemoveFieldClick(); });
    connect(removeAction, &QAction::triggered, this, [this] { ButtonRemoveFieldClick(); });
    connect(HttpSms.extraFields, &QTreeWidget::itemDoubleClicked, this, [this] { ButtonRemoveFieldClick(); });
}

void TFormAlarmingSettings::buildSysLogPage()
{
    const PageText& text = kPages[PageSysLog];
    auto* page = new QWidget(PageControl);
    SysLog.page = page;
    auto* layout = new QVBoxLayout(page);
    SysLog.enable = AddEnable(layout, page, text);

    auto* settings = new QWidget(page);
    QFormLayout* form = NewForm(settings);
    form->setContentsMargins(0, 0, 0, 0);
    SysLog.ip = NewEdit(settings, kHostInput);
    SysLog.port = NewEdit(settings, kIntegerInput);
    SysLog.facility = new QComboBox(settings);
    SysLog.facility->addItems(lang::SyslogFacilities());
    SysLog.facility->setMaxVisibleItems(24);
    SysLog.severity = new QComboBox(settings);
    SysLog.severity->addItems(lang::SyslogSeverities());
    SysLog.timeout = NewEdit(settings, kIntegerInput);
    AddRow(form, QStringLiteral("IP"), SysLog.ip);
    AddRow(form, QStringLiteral("Port"), SysLog.port);
    AddRow(form, QStringLiteral("Facility"), SysLog.facility);
    AddRow(form, QStringLiteral("Severity"), SysLog.severity);
    AddRow(form, QStringLiteral("Timeout (ms)"), SysLog.timeout);
    layout->addWidget(settings);

    SysLog.testGroup = NewTestGroup(page, text);
    QFormLayout* testForm = NewForm(SysLog.testGroup);
    SysLog.testMessage = new QLineEdit(SysLog.testGroup);
    AddRow(testForm, QStringLiteral("Message"), SysLog.testMessage);
    layout->addWidget(SysLog.testGroup);
    layout->addStretch(1);

    PageControl->addTab(page, Latin(text.tab));

    m_numberRules.insert(SysLog.port, {QStringLiteral("SysLog Port"), 1, kPortMax, PageSysLog, -1});
    m_numberRules.insert(SysLog.timeout, {QStringLiteral("SysLog Timeout"), 1, kTimeoutMax, PageSysLog, -1});
    for (QWidget* w : std::initializer_list<QWidget*>{SysLog.enable, SysLog.ip, SysLog.port, SysLog.facility,
                                                      SysLog.severity, SysLog.timeout})
        watchForApply(w);
    connect(SysLog.enable, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    // A name picked from the list replaces a stored one that the list could not show.
    connect(SysLog.facility, &QComboBox::activated, this, [this] { m_storedFacility.clear(); });
    connect(SysLog.severity, &QComboBox::activated, this, [this] { m_storedSeverity.clear(); });
}

void TFormAlarmingSettings::buildButtons()
{
    ButtonHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButtonHelp->setToolTip(QStringLiteral("Click for help..."));
    ButtonTest = new QPushButton(Latin(kPages[PageEmail].testButton), this);
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

void TFormAlarmingSettings::watchForApply(QWidget* control)
{
    m_applyControls << control;
    control->installEventFilter(this);
}

bool TFormAlarmingSettings::eventFilter(QObject* watched, QEvent* event)
{
    // A settings control taking the focus means the user is about to change something.
    if (event->type() == QEvent::FocusIn && m_loaded &&
        m_applyControls.contains(static_cast<QWidget*>(watched)))
        ButtonApply->setEnabled(true);
    return TFormDialog::eventFilter(watched, event);
}

// ---- showing -------------------------------------------------------------------------------

void TFormAlarmingSettings::setDefaults()
{
    for (QCheckBox* box : {Email.enable, Email.authentication, Sms.enable, Sms.authentication, HttpSms.enable,
                           HttpSms.authentication, SysLog.enable})
        box->setChecked(false);
    for (QLineEdit* edit :
         {Email.ip, Email.mailAgent, Email.fromAddress, Email.username, Email.password, Sms.ip, Sms.username,
          Sms.password, Sms.oa, HttpSms.fieldMsisdn, HttpSms.fieldMessage, HttpSms.username, HttpSms.password,
          HttpSms.proxyServer, HttpSms.proxyPort, HttpSms.proxyUsername, HttpSms.proxyPassword, SysLog.ip})
        edit->clear();
    HttpSms.url->clear();
    Email.port->setText(QString::fromLatin1(kDefaultPorts[PageEmail]));
    Sms.port->setText(QString::fromLatin1(kDefaultPorts[PageSms]));
    HttpSms.port->setText(QString::fromLatin1(kDefaultPorts[PageHttpSms]));
    SysLog.port->setText(QString::fromLatin1(kDefaultPorts[PageSysLog]));
    for (QLineEdit* timeout : {Email.timeout, Sms.timeout, HttpSms.timeout, SysLog.timeout})
        timeout->setText(QString::fromLatin1(kDefaultTimeout));
    Sms.version->setText(QStringLiteral("34"));
    Sms.systemType->setText(QStringLiteral("TCP"));
    for (QLineEdit* number : {Sms.ton, Sms.npi, Sms.destTon, Sms.destNpi, Sms.origTon, Sms.origNpi})
        number->setText(QStringLiteral("1"));
    HttpSms.method->setCurrentIndex(0); // "Get"
    HttpSms.extraFields->clear();
    SysLog.facility->setCurrentIndex(0); // "Kernel"
    SysLog.severity->setCurrentIndex(0); // "Emergency"
    m_storedFacility.clear();
    m_storedSeverity.clear();
}

void TFormAlarmingSettings::FormShow()
{
    ButtonApply->setEnabled(false);
    StatusBar->clearMessage();
    // A test still on its way belongs to the previous showing: its outcome is not shown.
    ++m_generation;
    m_testRunning = false;
    HttpSms.testResponse->clear();

    setDefaults();
    m_loaded = false;
    try {
        loadStoredValues();
        loadExtraFields();
        m_loaded = true;
    } catch (const std::exception& e) {
        // Without the stored values a save would overwrite them with what the window shows:
        // Apply stays off until a showing loads them.
        ApplicationEventsException(QString::fromUtf8(e.what()));
        StatusBar->showMessage(QString::fromUtf8(e.what()));
    }
    ApplyEnablingRules();
}

void TFormAlarmingSettings::loadStoredValues()
{
    for (const AlarmMethodRow& row : AlarmMethodStore::Rows())
        showStoredRow(row.Type, [&row](const QString& column) { return row.value(column); });
}

void TFormAlarmingSettings::showStoredRow(const QString& type,
                                          const std::function<QVariant(const QString&)>& column)
{
    const auto text = [&](const char* name) { return column(Latin(name)).toString(); };
    const auto flag = [&](const char* name) { return column(Latin(name)).toInt() != 0; };
    const auto zeroToEmpty = [&](const char* name) { return ZeroToEmpty(text(name)); };

    if (type == QLatin1String(lang::MethodEmail)) {
        Email.enable->setChecked(flag("enable"));
        Email.ip->setText(text("ip"));
        Email.port->setText(zeroToEmpty("port"));
        Email.mailAgent->setText(text("mail_agent"));
        Email.fromAddress->setText(text("from_address"));
        Email.authentication->setChecked(flag("authenticate"));
        Email.username->setText(text("username"));
        Email.password->setText(text("password"));
        Email.timeout->setText(zeroToEmpty("timeout"));
    } else if (type == QLatin1String(lang::MethodSMS)) {
        Sms.enable->setChecked(flag("enable"));
        Sms.ip->setText(text("ip"));
        Sms.port->setText(zeroToEmpty("port"));
        Sms.timeout->setText(zeroToEmpty("timeout"));
        Sms.authentication->setChecked(flag("authenticate"));
        Sms.username->setText(text("username"));
        Sms.password->setText(text("password"));
        Sms.oa->setText(text("oa"));
        Sms.version->setText(text("sms_version"));
        Sms.systemType->setText(text("sms_system_type"));
        Sms.ton->setText(text("sms_ton"));
        Sms.npi->setText(text("sms_npi"));
        Sms.destTon->setText(text("sms_dest_ton"));
        Sms.destNpi->setText(text("sms_dest_npi"));
        Sms.origTon->setText(text("sms_orig_ton"));
        Sms.origNpi->setText(text("sms_orig_npi"));
    } else if (type == QLatin1String(lang::MethodSMSbyHTTP)) {
        HttpSms.enable->setChecked(flag("enable"));
        HttpSms.url->setPlainText(text("ip"));
        HttpSms.port->setText(zeroToEmpty("port"));
        HttpSms.method->setCurrentIndex(text("method") == QLatin1String("Get") ? 0 : 1);
        HttpSms.timeout->setText(zeroToEmpty("timeout"));
        HttpSms.authentication->setChecked(flag("authenticate"));
        HttpSms.username->setText(text("username"));
        HttpSms.password->setText(text("password"));
        HttpSms.proxyServer->setText(text("proxy_ip"));
        HttpSms.proxyPort->setText(zeroToEmpty("proxy_port"));
        HttpSms.proxyUsername->setText(text("proxy_username"));
        HttpSms.proxyPassword->setText(text("proxy_password"));
        HttpSms.fieldMsisdn->setText(text("field_msisdn"));
        HttpSms.fieldMessage->setText(text("field_message"));
    } else if (type == QLatin1String(lang::MethodSysLog)) {
        SysLog.enable->setChecked(flag("enable"));
        SysLog.ip->setText(text("ip"));
        SysLog.port->setText(zeroToEmpty("port"));
        SysLog.timeout->setText(zeroToEmpty("timeout"));
        // A stored name that no item shows leaves the list without a selection and is kept.
        const QString facility = text("syslog_facility");
        const int facilityIndex =
            SysLog.facility->findText(facility, Qt::MatchExactly | Qt::MatchCaseSensitive);
        SysLog.facility->setCurrentIndex(facilityIndex);
        m_storedFacility = facilityIndex < 0 ? facility : QString();
        const QString severity = text("syslog_severity");
        const int severityIndex =
            SysLog.severity->findText(severity, Qt::MatchExactly | Qt::MatchCaseSensitive);
        SysLog.severity->setCurrentIndex(severityIndex);
        m_storedSeverity = severityIndex < 0 ? severity : QString();
    }
}

void TFormAlarmingSettings::loadExtraFields()
{
    // Read from the table itself, whatever the gateway's state, so that enabling "Post" and
    // applying never empties the stored fields.
    const QList<AlarmExtraField> rows = AlarmMethodStore::ExtraFields();
    HttpSms.extraFields->clear();
    // The stored order, which Apply writes back top to bottom and the gateway receives: each
    // Apply keeps the order the list shows.
    for (const auto& row : rows)
        HttpSms.extraFields->addTopLevelItem(new QTreeWidgetItem({row.first, row.second}));
}

// ---- enabling ------------------------------------------------------------------------------

void TFormAlarmingSettings::ApplyEnablingRules()
{
    const bool email = Email.enable->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{Email.ip, Email.port, Email.mailAgent, Email.fromAddress,
                                         Email.authentication, Email.timeout, Email.testGroup})
        w->setEnabled(email);
    const bool emailAuth = email && Email.authentication->isChecked();
    Email.username->setEnabled(emailAuth);
    Email.password->setEnabled(emailAuth);

    const bool sms = Sms.enable->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Sms.ip, Sms.port, Sms.timeout, Sms.authentication, Sms.version, Sms.systemType, Sms.ton, Sms.npi,
             Sms.oa, Sms.destTon, Sms.destNpi, Sms.origTon, Sms.origNpi, Sms.testGroup})
        w->setEnabled(sms);
    const bool smsAuth = sms && Sms.authentication->isChecked();
    Sms.username->setEnabled(smsAuth);
    Sms.password->setEnabled(smsAuth);

    const bool http = HttpSms.enable->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{HttpSms.url, HttpSms.port, HttpSms.method, HttpSms.timeout,
                                         HttpSms.authentication, HttpSms.proxyServer, HttpSms.proxyPort,
                                         HttpSms.proxyUsername, HttpSms.proxyPassword, HttpSms.testGroup})
        w->setEnabled(http);
    const bool httpAuth = http && HttpSms.authentication->isChecked();
    HttpSms.username->setEnabled(httpAuth);
    HttpSms.password->setEnabled(httpAuth);
    const bool post = http && HttpSms.method->currentIndex() == 1;
    HttpSms.subPages->widget(HttpSmsFieldNames)->setEnabled(post);
    HttpSms.subPages->widget(HttpSmsExtraFields)->setEnabled(post);

    const bool syslog = SysLog.enable->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{SysLog.ip, SysLog.port, SysLog.facility,
                                                      SysLog.severity, SysLog.timeout, SysLog.testGroup})
        w->setEnabled(syslog);

    PageControlChange();
}

void TFormAlarmingSettings::PageControlChange()
{
    const int page = PageControl->currentIndex();
    if (page < 0)
        return;
    ButtonTest->setText(Latin(kPages[page].testButton));
    ButtonTest->setAccessibleName(PlainCaption(ButtonTest->text()));
    updateTestButton();
}

void TFormAlarmingSettings::updateTestButton()
{
    static const auto enableOf = [](const TFormAlarmingSettings* f, int page) {
        switch (page) {
        case PageEmail:
            return f->Email.enable->isChecked();
        case PageSms:
            return f->Sms.enable->isChecked();
        case PageHttpSms:
            return f->HttpSms.enable->isChecked();
        case PageSysLog:
            return f->SysLog.enable->isChecked();
        default:
            return false;
        }
    };
    ButtonTest->setEnabled(!m_testRunning && enableOf(this, PageControl->currentIndex()));
}

QString TFormAlarmingSettings::HelpTopic() const
{
    const int page = PageControl->currentIndex();
    return page >= 0 ? Latin(kPages[page].helpTopic) : QString();
}

// ---- validation ----------------------------------------------------------------------------

void TFormAlarmingSettings::showField(QWidget* field, int page, int subPage)
{
    PageControl->setCurrentIndex(page);
    if (subPage >= 0) {
        if (page == PageSms)
            Sms.subPages->setCurrentIndex(subPage);
        else if (page == PageHttpSms)
            HttpSms.subPages->setCurrentIndex(subPage);
    }
    field->setFocus();
}

bool TFormAlarmingSettings::validateFilled(QWidget* field, const QString& text, const QString& label,
                                           int page, int subPage)
{
    if (!text.isEmpty())
        return true;
    ShowInformationBox(WithLabel(lang::FieldEmpty, label));
    showField(field, page, subPage);
    return false;
}

bool TFormAlarmingSettings::validateNumber(QLineEdit* field, const QString& label, int page, int subPage,
                                           bool allowEmpty)
{
    const NumberRule& rule = m_numberRules[field];
    if (allowEmpty && field->text().isEmpty())
        return true;
    int value = 0;
    if (ParseInteger(field->text(), &value) && value >= rule.minimum && value <= rule.maximum)
        return true;
    ShowInformationBox(WithLabel(lang::InvalidInteger, label));
    showField(field, page, subPage);
    return false;
}

bool TFormAlarmingSettings::validatePage(int page)
{
    const auto number = [this](QLineEdit* field) {
        const NumberRule& rule = m_numberRules[field];
        return validateNumber(field, rule.label, rule.page, rule.subPage, false);
    };
    switch (page) {
    case PageEmail:
        return validateFilled(Email.ip, Email.ip->text(), QStringLiteral("SMTP IP/Address"), PageEmail, -1) &&
               number(Email.port) &&
               validateFilled(Email.fromAddress, Email.fromAddress->text(),
                              QStringLiteral("SMTP From Address"), PageEmail, -1) &&
               number(Email.timeout);
    case PageSms:
        return validateFilled(Sms.ip, Sms.ip->text(), QStringLiteral("SMSC IP"), PageSms, -1) &&
               number(Sms.port) && number(Sms.timeout) && number(Sms.version) && number(Sms.ton) &&
               number(Sms.npi) && number(Sms.destTon) && number(Sms.destNpi) && number(Sms.origTon) &&
               number(Sms.origNpi);
    case PageHttpSms: {
        if (!validateFilled(HttpSms.url, BoxText(HttpSms.url), QStringLiteral("HTTP-SMS URL"), PageHttpSms,
                            -1) ||
            !number(HttpSms.port))
            return false;
        const bool timeoutValid = number(HttpSms.timeout);
        if (HttpSms.proxyPort->text().isEmpty())
            HttpSms.proxyPort->setText(QStringLiteral("0"));
        if (!timeoutValid)
            return false;
        if (HttpSms.method->currentIndex() == 1 &&
            (!validateFilled(HttpSms.fieldMsisdn, HttpSms.fieldMsisdn->text(), QStringLiteral("SMSC MSISDN"),
                             PageHttpSms, HttpSmsFieldNames) ||
             !validateFilled(HttpSms.fieldMessage, HttpSms.fieldMessage->text(),
                             QStringLiteral("SMSC MESSAGE"), PageHttpSms, HttpSmsFieldNames)))
            return false;
        return number(HttpSms.proxyPort);
    }
    case PageSysLog:
        return validateFilled(SysLog.ip, SysLog.ip->text(), QStringLiteral("SysLog IP"), PageSysLog, -1) &&
               number(SysLog.port) && number(SysLog.timeout);
    default:
        return false;
    }
}

std::optional<int> TFormAlarmingSettings::numberOf(QLineEdit* field)
{
    // The fields of a disabled page are written unchecked, but only as numbers: an empty one as
    // 0, anything that is no integer of its range is shown like a failed check.
    const NumberRule& rule = m_numberRules[field];
    if (!validateNumber(field, rule.label, rule.page, rule.subPage, true))
        return std::nullopt;
    int value = 0;
    ParseInteger(field->text(), &value);
    return value;
}

// ---- the rows ------------------------------------------------------------------------------

namespace {

// Collects the columns of one row: text values, numbers as the validated integer, flags as 1 or 0.
class RowWriter
{
public:
    void text(const char* column, const QString& value) { m_row.push_back({Latin(column), value}); }
    void number(const char* column, int value) { m_row.push_back({Latin(column), value}); }
    void flag(const char* column, bool on) { m_row.push_back({Latin(column), on ? 1 : 0}); }
    TFormAlarmingSettings::MethodRow take() { return std::move(m_row); }

private:
    TFormAlarmingSettings::MethodRow m_row;
};

} // namespace

std::optional<TFormAlarmingSettings::MethodRow> TFormAlarmingSettings::emailRow()
{
    const auto port = numberOf(Email.port);
    const auto timeout = port ? numberOf(Email.timeout) : std::nullopt;
    if (!port || !timeout)
        return std::nullopt;
    RowWriter w;
    w.flag("enable", Email.enable->isChecked());
    w.text("ip", Email.ip->text());
    w.number("port", *port);
    w.number("timeout", *timeout);
    w.flag("authenticate", Email.authentication->isChecked());
    w.text("username", Email.username->text());
    w.text("password", Email.password->text());
    w.text("mail_agent", Email.mailAgent->text());
    w.text("from_address", Email.fromAddress->text());
    return w.take();
}

std::optional<TFormAlarmingSettings::MethodRow> TFormAlarmingSettings::smsRow()
{
    QList<int> numbers;
    for (QLineEdit* field : {Sms.port, Sms.timeout, Sms.version, Sms.ton, Sms.npi, Sms.destTon, Sms.destNpi,
                             Sms.origTon, Sms.origNpi}) {
        const auto value = numberOf(field);
        if (!value)
            return std::nullopt;
        numbers << *value;
    }
    RowWriter w;
    w.flag("enable", Sms.enable->isChecked());
    w.text("ip", Sms.ip->text());
    w.number("port", numbers[0]);
    w.number("timeout", numbers[1]);
    w.flag("authenticate", Sms.authentication->isChecked());
    w.text("username", Sms.username->text());
    w.text("password", Sms.password->text());
    w.text("oa", Sms.oa->text());
    w.number("sms_version", numbers[2]);
    w.text("sms_system_type", Sms.systemType->text());
    w.number("sms_ton", numbers[3]);
    w.number("sms_npi", numbers[4]);
    w.number("sms_dest_ton", numbers[5]);
    w.number("sms_dest_npi", numbers[6]);
    w.number("sms_orig_ton", numbers[7]);
    w.number("sms_orig_npi", numbers[8]);
    return w.take();
}

std::optional<TFormAlarmingSettings::MethodRow> TFormAlarmingSettings::httpSmsRow()
{
    QList<int> numbers;
    for (QLineEdit* field : {HttpSms.port, HttpSms.timeout, HttpSms.proxyPort}) {
        const auto value = numberOf(field);
        if (!value)
            return std::nullopt;
        numbers << *value;
    }
    RowWriter w;
    w.flag("enable", HttpSms.enable->isChecked());
    w.text("ip", BoxText(HttpSms.url));
    w.number("port", numbers[0]);
    w.number("timeout", numbers[1]);
    w.flag("authenticate", HttpSms.authentication->isChecked());
    w.text("username", HttpSms.username->text());
    w.text("password", HttpSms.password->text());
    w.text("proxy_ip", HttpSms.proxyServer->text());
    w.number("proxy_port", numbers[2]);
    w.text("proxy_username", HttpSms.proxyUsername->text());
    w.text("proxy_password", HttpSms.proxyPassword->text());
    w.text("method", HttpSms.method->currentText());
    w.text("field_msisdn", HttpSms.fieldMsisdn->text());
    w.text("field_message", HttpSms.fieldMessage->text());
    return w.take();
}

std::optional<TFormAlarmingSettings::MethodRow> TFormAlarmingSettings::sysLogRow()
{
    const auto port = numberOf(SysLog.port);
    const auto timeout = port ? numberOf(SysLog.timeout) : std::nullopt;
    if (!port || !timeout)
        return std::nullopt;
    RowWriter w;
    w.flag("enable", SysLog.enable->isChecked());
    w.text("ip", SysLog.ip->text());
    w.number("port", *port);
    w.number("timeout", *timeout);
    w.text("syslog_facility",
           SysLog.facility->currentIndex() < 0 ? m_storedFacility : SysLog.facility->currentText());
    w.text("syslog_severity",
           SysLog.severity->currentIndex() < 0 ? m_storedSeverity : SysLog.severity->currentText());
    return w.take();
}

QList<QPair<QString, QString>> TFormAlarmingSettings::extraFieldsOnScreen() const
{
    QList<QPair<QString, QString>> fields;
    for (int i = 0; i < HttpSms.extraFields->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = HttpSms.extraFields->topLevelItem(i);
        fields.append({item->text(0), item->text(1)});
    }
    return fields;
}

// ---- Apply ---------------------------------------------------------------------------------

QString TFormAlarmingSettings::scrubbed(const QString& text) const
{
    // A server message may quote a piece of the statement; no password reaches the log.
    QString result = text;
    for (const QLineEdit* secret : {Email.password, Sms.password, HttpSms.password, HttpSms.proxyPassword}) {
        if (!secret->text().isEmpty())
            result.replace(secret->text(), QStringLiteral("****"));
    }
    return result;
}

void TFormAlarmingSettings::ButtonApplyClick()
{
    if (!m_loaded)
        return;
    const QCheckBox* enables[] = {Email.enable, Sms.enable, HttpSms.enable, SysLog.enable};
    for (int page = PageEmail; page <= PageSysLog; ++page) {
        if (enables[page]->isChecked() && !validatePage(page))
            return;
    }
    const auto email = emailRow();
    if (!email)
        return;
    const auto sms = smsRow();
    if (!sms)
        return;
    const auto http = httpSmsRow();
    if (!http)
        return;
    const auto syslog = sysLogRow();
    if (!syslog)
        return;

    const bool postFields = HttpSms.enable->isChecked() && HttpSms.method->currentIndex() == 1;
    try {
        AlarmMethodStore::Save(
            {*email, *sms, *http, *syslog, postFields ? std::optional(extraFieldsOnScreen()) : std::nullopt});
    } catch (const std::exception& e) {
        ApplicationEventsException(scrubbed(QString::fromUtf8(e.what())));
        return;
    }
    try {
        LoadAlarmMethods();
    } catch (const std::exception& e) {
        ApplicationEventsException(scrubbed(QString::fromUtf8(e.what())));
        return;
    }
    // What was written is what the window shows from now on.
    if (SysLog.facility->currentIndex() >= 0)
        m_storedFacility.clear();
    if (SysLog.severity->currentIndex() >= 0)
        m_storedSeverity.clear();

    const QString saved = Latin(lang::OptionSettingsSaved);
    if (TFormMenu* menu = FormMenu())
        menu->ShowMainStatus(saved);
    StatusBar->showMessage(saved);
    ButtonApply->setEnabled(false);
}

// ---- extra fields --------------------------------------------------------------------------

void TFormAlarmingSettings::ButtonAddFieldClick()
{
    if (HttpSms.fieldName->text().isEmpty() || HttpSms.fieldValue->text().isEmpty()) {
        QString text = Latin(lang::EitherFieldEmpty);
        text.replace(text.indexOf(QStringLiteral("%s")), 2, QStringLiteral("Field Name"));
        text.replace(text.indexOf(QStringLiteral("%s")), 2, QStringLiteral("Field Value"));
        ShowInformationBox(text);
        HttpSms.fieldName->setFocus();
        return;
    }
    HttpSms.extraFields->insertTopLevelItem(
        0, new QTreeWidgetItem({HttpSms.fieldName->text(), HttpSms.fieldValue->text()}));
    HttpSms.fieldName->clear();
    HttpSms.fieldValue->clear();
}

void TFormAlarmingSettings::ButtonRemoveFieldClick()
{
    QTreeWidgetItem* item = HttpSms.extraFields->currentItem();
    if (!item || !item->isSelected())
        return;
    HttpSms.fieldName->setText(item->text(0));
    HttpSms.fieldValue->setText(item->text(1));
    delete item;
}

// ---- Help and Cancel -----------------------------------------------------------------------

void TFormAlarmingSettings::ButtonHelpClick()
{
    OpenHelpTopic(HelpTopic());
}

void TFormAlarmingSettings::ButtonCancelClick()
{
    if (TFormMenu* menu = FormMenu())
        menu->ShowMainStatus(Latin(lang::UpdatingCancelled));
    close();
}

// ---- tests ---------------------------------------------------------------------------------

bool TFormAlarmingSettings::checkTestInput(QWidget* field, const QString& text, const QString& label)
{
    if (!text.isEmpty())
        return true;
    ShowInformationBox(WithLabel(lang::FieldEmptyForTest, label));
    field->setFocus();
    return false;
}

std::unique_ptr<ThreadAlarm> TFormAlarmingSettings::buildTestItem(int page)
{
    // The values on screen become the settings exactly as a save followed by the loader would
    // make them, and the dispatcher's builder makes the item: the test sends what the alarms
    // will send.
    std::optional<MethodRow> row;
    QString recipient;
    QString text;
    switch (page) {
    case PageEmail:
        row = emailRow();
        recipient = Email.testRecipient->text();
        text = Email.testMessage->toPlainText();
        break;
    case PageSms:
        row = smsRow();
        recipient = Sms.testPhone->text();
        text = Sms.testMessage->text();
        break;
    case PageHttpSms:
        row = httpSmsRow();
        recipient = HttpSms.testMsisdn->text();
        text = HttpSms.testMessage->text();
        break;
    case PageSysLog:
        row = sysLogRow();
        text = SysLog.testMessage->text();
        break;
    default:
        return nullptr;
    }
    if (!row)
        return nullptr;

    const QString type = Latin(kPages[page].type);
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
        for (const auto& field : extraFieldsOnScreen())
            settings.HttpSmsExtraFields << field.first + QLatin1Char('=') + field.second;
    }
    // A test judges certificates as the alarms do ([tls] of SysInit.ini).
    return BuildAlarm(settings, type, text, recipient, AlarmTlsOptions(AppSettings));
}

void TFormAlarmingSettings::ButtonTestClick()
{
    if (m_testRunning)
        return;
    const int page = PageControl->currentIndex();
    bool inputs = false;
    const char* sending = nullptr;
    switch (page) {
    case PageEmail:
        inputs =
            checkTestInput(Email.testRecipient, Email.testRecipient->text(),
                           QStringLiteral("Recipient Email")) &&
            checkTestInput(Email.testMessage, Email.testMessage->toPlainText(), QStringLiteral("Message"));
        sending = lang::SmtpSending;
        break;
    case PageSms:
        inputs = checkTestInput(Sms.testPhone, Sms.testPhone->text(), QStringLiteral("Phone Number")) &&
                 checkTestInput(Sms.testMessage, Sms.testMessage->text(), QStringLiteral("Message"));
        sending = lang::SmsSending;
        break;
    case PageHttpSms:
        inputs = checkTestInput(HttpSms.testMsisdn, HttpSms.testMsisdn->text(), QStringLiteral("$MSISDN")) &&
                 checkTestInput(HttpSms.testMessage, HttpSms.testMessage->text(), QStringLiteral("$MESSAGE"));
        sending = lang::HttpSmsSending;
        break;
    case PageSysLog:
        inputs = checkTestInput(SysLog.testMessage, SysLog.testMessage->text(), QStringLiteral("Message"));
        sending = lang::SysLogSending;
        break;
    default:
        return;
    }
    if (!inputs || !validatePage(page))
        return;
    std::unique_ptr<ThreadAlarm> item = buildTestItem(page);
    if (!item)
        return;

    if (page == PageHttpSms)
        HttpSms.testResponse->clear();
    StatusBar->showMessage(Latin(sending));
    try {
        if (!m_pool) {
            m_pool = std::make_unique<ThreadPoolManager>();
            m_pool->MaxWaitOnTerminate(0);
            m_pool->SetOnWorkItemDone([this](ThreadPoolManager*, PoolWorkItem* done) { testDone(done); });
        }
        ++m_generation;
        ThreadAlarm* queued = item.get();
        m_pool->QueueItem(std::move(item));
        m_testGenerations.insert(queued->Id, m_generation);
        m_testPages.insert(queued->Id, page);
    } catch (const std::exception& e) {
        const char* errors[] = {lang::SmtpError, lang::SmsError, lang::HttpSmsError, lang::SysLogError};
        StatusBar->showMessage(Latin(errors[page]) + QString::fromUtf8(e.what()));
        return;
    }
    m_testRunning = true;
    updateTestButton();
}

void TFormAlarmingSettings::testDone(PoolWorkItem* item)
{
    const std::uint64_t generation = m_testGenerations.take(item->Id);
    const int page = m_testPages.take(item->Id);
    // The outcome of a test started before the window was last shown, or before a newer test,
    // is of no interest any more.
    if (generation != m_generation)
        return;
    m_testRunning = false;
    updateTestButton();
    const auto* alarm = dynamic_cast<const ThreadAlarm*>(item);
    if (!alarm)
        return;
    if (page == PageHttpSms) {
        if (const auto* url = dynamic_cast<const ThreadURL*>(alarm))
            HttpSms.testResponse->setPlainText(QString::fromUtf8(url->ResponseBody));
    }
    StatusBar->showMessage(outcomeText(page, *alarm));
}

QString TFormAlarmingSettings::outcomeText(int page, const ThreadAlarm& alarm) const
{
    const char* sent[] = {lang::SmtpSent, lang::SmsSent, lang::HttpSmsSent, lang::SysLogSent};
    const char* errors[] = {lang::SmtpError, lang::SmsError, lang::HttpSmsError, lang::SysLogError};
    if (alarm.Passed)
        return Latin(sent[page]);
    if (alarm.ResultText.isEmpty()) // never ran: the pool's reason
        return Latin(errors[page]) +
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
    return Latin(errors[page]) + alarm.ResultDetail;
}
