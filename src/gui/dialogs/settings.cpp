#include "gui/dialogs/settings.h"

#include "core/Limits.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/HelpViewer.h"
#include "gui/dialogs/DialogSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int kListMax = 999;
constexpr int kTimeoutMax = limits::LongestTimeoutMs;
constexpr int kPortMax = limits::PortMax;

const char kFilenameNote[] =
    "The filename uses for backup, _<timestamp>.log will be appended to the end of the filename.";

const char kResultsKeepDaysCaption[] = "Keep results (days)";

const char* const kServiceCaptions[TFormSettings::ServiceKindCount] = {
    "URL", "Ping", "Database", "FTP", "Email", "TCP", "DNS", "Certificate"};
const char* const kTimeoutLabels[TFormSettings::ServiceKindCount] = {
    "URL Timeout",   "Ping Timeout", nullptr,       "FTP Timeout",
    "Email Timeout", "TCP Timeout",  "DNS Timeout", "Certificate Timeout"};

QComboBox* numberList(QWidget* parent)
{
    auto* list = new QComboBox(parent);
    QStringList numbers;
    numbers.reserve(kListMax);
    for (int n = 1; n <= kListMax; ++n)
        numbers << QString::number(n);
    list->addItems(numbers);
    list->setMaxVisibleItems(15);
    return list;
}

// Shows `value` in a list of 1 to 999; a value the list does not hold shows no item.
void showNumber(QComboBox* list, int value)
{
    list->setCurrentIndex(value >= 1 && value <= kListMax ? value - 1 : -1);
}

// The number a list of 1 to 999 shows, or `stored` when it shows none, so that a value the list
// cannot show is kept as it is rather than written back as 0.
int shownNumber(const QComboBox* list, int stored)
{
    return list->currentIndex() < 0 ? stored : list->currentIndex() + 1;
}

QString withField(const char* text, const char* field)
{
    return QString::fromLatin1(text).replace(QLatin1String("%s"), QString::fromLatin1(field));
}

QLabel* noteLabel(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    return label;
}

// A labelled row of a form whose label names the input (its accessible name).
template <typename Input>
Input* addRow(QFormLayout* form, const char* caption, Input* input, QWidget* field = nullptr)
{
    auto* label = new QLabel(QString::fromLatin1(caption), form->parentWidget());
    label->setBuddy(input);
    form->addRow(label, field ? field : input);
    return input;
}

} // namespace

TFormSettings::TFormSettings(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormSettings"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->addTab(buildGeneralPage(), QStringLiteral("General"));
    PageControl->addTab(buildDatabasePage(), QStringLiteral("Database Connection"));
    PageControl->addTab(buildAlarmMsgBackupPage(), QStringLiteral("Alarm Msg Backup"));
    PageControl->addTab(buildServicePage(), QStringLiteral("Service"));
    PageControl->addTab(buildAlarmRulesPage(), QStringLiteral("Alarm Rules"));
    PageControl->setCurrentIndex(PageGeneral);

    ButtonApply = new QPushButton(QStringLiteral("Apply"), this);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonDefault = new QPushButton(QStringLiteral("Default"), this);
    ButtonApply->setToolTip(QStringLiteral("Click to save the settings"));
    ButtonCancel->setToolTip(QStringLiteral("Click to cancel changes and close the window"));
    ButtonDefault->setToolTip(QStringLiteral("Click to reset the settings to default"));
    ButtonApply->setEnabled(false);
    ButtonHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButtonHelp->setToolTip(QStringLiteral("Click for help..."));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonHelp);
    ButtonHelp->setAutoDefault(false);
    buttons->addStretch(1);
    for (QPushButton* b : {ButtonApply, ButtonCancel, ButtonDefault}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }

    StatusBarSettings = new QStatusBar(this);
    m_status = AddStatusPanel(StatusBarSettings);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBarSettings);

    connect(ButtonApply, &QPushButton::clicked, this, &TFormSettings::ButtonApplyClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormSettings::ButtonCancelClick);
    connect(ButtonDefault, &QPushButton::clicked, this, &TFormSettings::ButtonDefaultClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormSettings::ButtonHelpClick);
    connect(ButtonFilePath, &QPushButton::clicked, this, &TFormSettings::ButtonFilePathClick);
    connect(CheckBoxFileEnable, &QCheckBox::clicked, this, &TFormSettings::CheckBoxFileEnableClick);
    connect(CheckBoxDBEnable, &QCheckBox::clicked, this, &TFormSettings::CheckBoxDBEnableClick);

    SetCaptionsAsAccessibleNames(this);
    resize(600, 460); // wide enough for every page tab
    CentreOnDesktop(this);
}

void TFormSettings::watchForEntering(QWidget* input)
{
    input->installEventFilter(this);
}

bool TFormSettings::eventFilter(QObject* watched, QEvent* event)
{
    // Watched are the page's edits, lists and check boxes: entering one enables Apply.
    if (event->type() == QEvent::FocusIn)
        ButtonApply->setEnabled(true);
    return TFormDialog::eventFilter(watched, event);
}

QWidget* TFormSettings::buildGeneralPage()
{
    auto* page = new QWidget;

    auto* systemLog = new QGroupBox(QStringLiteral("System Log"), page);
    auto* systemForm = new QFormLayout(systemLog);
    ComboBoxSysLogHouseKeepDay = addRow(systemForm, "House keep day", numberList(systemLog));
    EditSysLogFilename = addRow(systemForm, "Filename", new QLineEdit(systemLog));
    systemForm->addRow(QString(), noteLabel(kFilenameNote, systemLog));
    ComboBoxLogLevel = new QComboBox(systemLog);
    ComboBoxLogLevel->addItems(
        {QStringLiteral("NONE"), QStringLiteral("DEBUG"), QStringLiteral("INFORMATIONAL"),
         QStringLiteral("NOTICE"), QStringLiteral("WARMING"), QStringLiteral("ERROR"),
         QStringLiteral("CRITICAL"), QStringLiteral("ALERT"), QStringLiteral("EMERGENCY")});
    auto* levelLabel = new QLabel(QStringLiteral("Alarm Level"), systemLog);
    levelLabel->setBuddy(ComboBoxLogLevel);
    levelLabel->hide();
    ComboBoxLogLevel->hide();

    auto* alarmMessage = new QGroupBox(QStringLiteral("Alarm Message"), page);
    auto* alarmForm = new QFormLayout(alarmMessage);
    ComboBoxNumberOfLogs = addRow(alarmForm, "Number of Logs", numberList(alarmMessage));

    auto* settings = new QGroupBox(QStringLiteral("Settings"), page);
    auto* settingsForm = new QFormLayout(settings);
    ComboBoxInitStart = addRow(settingsForm, "Initial start", new QComboBox(settings));
    ComboBoxInitStart->addItems({QStringLiteral("Yes"), QStringLiteral("No")});
    ComboBoxRole = addRow(settingsForm, "Role", new QComboBox(settings));
    ComboBoxRole->addItems({MonitorRoleName(), ConsoleRoleName()});
    ComboBoxRole->setToolTip(
        QStringLiteral("Monitor: this program checks the services and raises the alarms. "
                       "Console: the monitoring service (quorveld) does, and this "
                       "program shows what it writes. Applies at the next start."));

    CheckBoxNotifications =
        new QCheckBox(QStringLiteral("Desktop notification when a service fails or recovers"), settings);
    CheckBoxNotifications->setAccessibleName(CheckBoxNotifications->text());
    settingsForm->addRow(CheckBoxNotifications);

    for (QWidget* input : std::initializer_list<QWidget*>{
             ComboBoxSysLogHouseKeepDay, EditSysLogFilename, ComboBoxLogLevel, ComboBoxNumberOfLogs,
             ComboBoxInitStart, ComboBoxRole, CheckBoxNotifications})
        watchForEntering(input);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(systemLog);
    layout->addWidget(alarmMessage);
    layout->addWidget(settings);
    layout->addStretch(1);
    return page;
}

QWidget* TFormSettings::buildDatabasePage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("Database Connection"), page);
    auto* form = new QFormLayout(group);
    EditHost = addRow(form, "Host", new QLineEdit(group));
    EditPort = addRow(form, "Port", new QLineEdit(group));
    EditUsername = addRow(form, "Username", new QLineEdit(group));
    EditPassword = addRow(form, "Password", new QLineEdit(group)); // shown in clear, as stored
    form->addRow(QString(),
                 noteLabel("Note : After saving the database connection values, it will be effective when "
                           "startup next time.",
                           group));
    for (QWidget* input : std::initializer_list<QWidget*>{EditHost, EditPort, EditUsername, EditPassword})
        watchForEntering(input);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch(1);
    return page;
}

QWidget* TFormSettings::buildAlarmMsgBackupPage()
{
    auto* page = new QWidget;

    GroupBoxFileDetails = new QGroupBox(QStringLiteral("File Details"), page);
    auto* fileForm = new QFormLayout(GroupBoxFileDetails);
    CheckBoxFileEnable = new QCheckBox(QStringLiteral("Enable"), GroupBoxFileDetails);
    fileForm->addRow(CheckBoxFileEnable);
    auto* pathRow = new QWidget(GroupBoxFileDetails);
    auto* pathLayout = new QHBoxLayout(pathRow);
    pathLayout->setContentsMargins(0, 0, 0, 0);
    EditFilePath = new QLineEdit(pathRow);
    ButtonFilePath = new QPushButton(QStringLiteral("..."), pathRow);
    ButtonFilePath->setAutoDefault(false);
    ButtonFilePath->setToolTip(QString::fromLatin1(lang::SelectBackupPath));
    ButtonFilePath->setMaximumWidth(ButtonFilePath->fontMetrics().horizontalAdvance(QStringLiteral("...")) +
                                    24);
    pathLayout->addWidget(EditFilePath, 1);
    pathLayout->addWidget(ButtonFilePath);
    addRow(fileForm, "File Path", EditFilePath, pathRow);
    EditAlarmFilename = addRow(fileForm, "Filename", new QLineEdit(GroupBoxFileDetails));
    fileForm->addRow(QString(), noteLabel(kFilenameNote, GroupBoxFileDetails));
    ComboBoxFileHouseKeepDay = addRow(fileForm, "House Keep Day", numberList(GroupBoxFileDetails));

    GroupBoxDBDetails = new QGroupBox(QStringLiteral("Database Details"), page);
    auto* dbForm = new QFormLayout(GroupBoxDBDetails);
    CheckBoxDBEnable = new QCheckBox(QStringLiteral("Enable"), GroupBoxDBDetails);
    dbForm->addRow(CheckBoxDBEnable);
    auto* typeRow = new QWidget(GroupBoxDBDetails);
    auto* typeLayout = new QHBoxLayout(typeRow);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    auto* typeText = new QLabel(QStringLiteral("MySQL"), typeRow);
    ComboBoxDBType = new QComboBox(typeRow);
    ComboBoxDBType->addItem(QStringLiteral("MySQL"));
    ComboBoxDBType->hide();
    typeLayout->addWidget(typeText);
    typeLayout->addWidget(ComboBoxDBType);
    typeLayout->addStretch(1);
    addRow(dbForm, "Database Type", ComboBoxDBType, typeRow);
    ComboBoxDBHouseKeepDay = addRow(dbForm, "House keep day", numberList(GroupBoxDBDetails));

    // How long each check's result is kept; the daily summaries stay.
    GroupBoxResults = new QGroupBox(QStringLiteral("Check Results"), page);
    auto* resultsForm = new QFormLayout(GroupBoxResults);
    EditResultsKeepDays = addRow(resultsForm, kResultsKeepDaysCaption, new QLineEdit(GroupBoxResults));
    EditResultsKeepDays->setAccessibleName(QString::fromLatin1(kResultsKeepDaysCaption));
    EditResultsKeepDays->setMaxLength(4);
    EditResultsKeepDays->setToolTip(
        QStringLiteral("%1 to %2").arg(kResultsKeepDaysMinimum).arg(kResultsKeepDaysMaximum));

    for (QWidget* input : std::initializer_list<QWidget*>{
             CheckBoxFileEnable, EditFilePath, EditAlarmFilename, ComboBoxFileHouseKeepDay, CheckBoxDBEnable,
             ComboBoxDBType, ComboBoxDBHouseKeepDay, EditResultsKeepDays})
        watchForEntering(input);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GroupBoxFileDetails);
    layout->addWidget(GroupBoxDBDetails);
    layout->addWidget(GroupBoxResults);
    layout->addStretch(1);
    return page;
}

QWidget* TFormSettings::buildServicePage()
{
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    int cell = 0;
    for (int kind = 0; kind < ServiceKindCount; ++kind) {
        auto* group = new QGroupBox(QString::fromLatin1(kServiceCaptions[kind]), page);
        auto* form = new QGridLayout(group);
        auto* label = new QLabel(QStringLiteral("Timeout"), group);
        auto* edit = new QLineEdit(group);
        label->setBuddy(edit);
        // "URL Timeout", ...: the label names which of the time-outs this is.
        edit->setAccessibleName(QString::fromLatin1(kServiceCaptions[kind]) + QStringLiteral(" Timeout"));
        auto* retry = new QCheckBox(QStringLiteral("Retry if first time fail"), group);
        form->addWidget(label, 0, 0);
        form->addWidget(edit, 0, 1);
        form->addWidget(new QLabel(QStringLiteral("ms"), group), 0, 2);
        form->addWidget(retry, 1, 0, 1, 3);
        GroupBoxService[kind] = group;
        EditTimeout[kind] = edit;
        CheckBoxRetry[kind] = retry;
        watchForEntering(edit);
        watchForEntering(retry);
        if (kind == ServiceDatabase) {
            group->hide(); // no check of this kind exists; its values are shown only
            continue;
        }
        layout->addWidget(group, cell / 2, cell % 2);
        ++cell;
    }
    layout->setRowStretch((cell + 1) / 2, 1);
    return page;
}

QWidget* TFormSettings::buildAlarmRulesPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    for (const AlarmRuleKey& key : AlarmRuleKeys()) {
        QWidget* input = nullptr;
        if (QLatin1String(key.Key) == QLatin1String("Notify")) {
            auto* list = new QComboBox(page);
            list->addItems(AlarmNotifyNames());
            input = list;
        } else if (key.Minimum == 0 && key.Maximum == 1) {
            input = new QCheckBox(page);
        } else {
            auto* edit = new QLineEdit(page);
            edit->setMaxLength(5);
            edit->setToolTip(QStringLiteral("%1 to %2").arg(key.Minimum).arg(key.Maximum));
            input = edit;
        }
        addRow(form, key.Caption, input);
        input->setAccessibleName(QString::fromLatin1(key.Caption));
        watchForEntering(input);
        AlarmRuleInputs.push_back(input);
    }
    ReferenceHostsInput = new QLineEdit(page);
    ReferenceHostsInput->setMaxLength(1000);
    ReferenceHostsInput->setToolTip(
        QStringLiteral("Host names or addresses of this workstation's own way out (its gateway, a "
                       "resolver), separated by commas. When all of them fail a ping, the failures of "
                       "that minute raise no alarm. Empty: no self-check."));
    addRow(form, ReferenceHostsCaption().toLatin1().constData(), ReferenceHostsInput);
    ReferenceHostsInput->setAccessibleName(ReferenceHostsCaption());
    watchForEntering(ReferenceHostsInput);
    return page;
}

void TFormSettings::showAlarmRules(const AlarmRules& rules)
{
    const auto& keys = AlarmRuleKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const int value = keys[i].Get(rules);
        if (auto* list = qobject_cast<QComboBox*>(AlarmRuleInputs[i]))
            list->setCurrentIndex(value);
        else if (auto* box = qobject_cast<QCheckBox*>(AlarmRuleInputs[i]))
            box->setChecked(value != 0);
        else if (auto* edit = qobject_cast<QLineEdit*>(AlarmRuleInputs[i]))
            edit->setText(QString::number(value));
    }
    ReferenceHostsInput->setText(rules.ReferenceHosts.join(QStringLiteral(", ")));
}

bool TFormSettings::readAlarmRules(AlarmRules* rules)
{
    const auto& keys = AlarmRuleKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        int value = 0;
        if (auto* list = qobject_cast<QComboBox*>(AlarmRuleInputs[i])) {
            value = list->currentIndex();
        } else if (auto* box = qobject_cast<QCheckBox*>(AlarmRuleInputs[i])) {
            value = box->isChecked() ? 1 : 0;
        } else if (auto* edit = qobject_cast<QLineEdit*>(AlarmRuleInputs[i])) {
            if (!ParseInteger(edit->text(), &value) || value < keys[i].Minimum || value > keys[i].Maximum) {
                refuse(PageAlarmRules, edit,
                       QStringLiteral("%1 must be a number from %2 to %3.")
                           .arg(QString::fromLatin1(keys[i].Caption))
                           .arg(keys[i].Minimum)
                           .arg(keys[i].Maximum));
                return false;
            }
        }
        keys[i].Set(*rules, value);
    }
    QString problem;
    if (!ParseReferenceHosts(ReferenceHostsInput->text(), &rules->ReferenceHosts, &problem)) {
        refuse(PageAlarmRules, ReferenceHostsInput, ReferenceHostsCaption() + QStringLiteral(": ") + problem);
        return false;
    }
    return true;
}

QString TFormSettings::StatusText() const
{
    return m_status->text();
}

void TFormSettings::report(const QString& text)
{
    m_status->setText(text);
    emit statusReported(text);
}

void TFormSettings::FormShow()
{
    const AppSettingsRecord& s = AppSettings;
    ButtonApply->setEnabled(false);

    ComboBoxInitStart->setCurrentIndex(s.InitStart ? 0 : 1);
    ComboBoxRole->setCurrentIndex(s.ConsoleRole ? 1 : 0);
    CheckBoxNotifications->setChecked(s.DesktopNotifications);
    showAlarmRules(s.Rules);
    EditSysLogFilename->setText(s.SystemLogFilename);
    ComboBoxLogLevel->setCurrentIndex(
        s.MinimumLogLevel >= 0 && s.MinimumLogLevel < ComboBoxLogLevel->count() ? s.MinimumLogLevel : -1);
    showNumber(ComboBoxSysLogHouseKeepDay, s.SystemLogHouseKeepDay);
    showNumber(ComboBoxNumberOfLogs, s.ShowLogItem);

    EditHost->setText(s.DBHost);
    EditPort->setText(s.DBPort);
    EditUsername->setText(s.DBUsername);
    EditPassword->setText(s.DBPassword);

    CheckBoxDBEnable->setChecked(s.AlarmMsgDBEnable);
    showNumber(ComboBoxDBHouseKeepDay, s.AlarmMsgDBHouseKeepDay);
    ComboBoxDBType->setEnabled(s.AlarmMsgDBEnable);
    ComboBoxDBHouseKeepDay->setEnabled(s.AlarmMsgDBEnable);

    CheckBoxFileEnable->setChecked(s.AlarmMsgFileEnable);
    EditFilePath->setText(s.AlarmMsgFilePath);
    EditAlarmFilename->setText(s.AlarmMsgFilename);
    showNumber(ComboBoxFileHouseKeepDay, s.AlarmMsgFileHouseKeepDay);
    EditResultsKeepDays->setText(QString::number(s.ResultsKeepDays));
    for (QWidget* w : std::initializer_list<QWidget*>{EditFilePath, EditAlarmFilename, ButtonFilePath,
                                                      ComboBoxFileHouseKeepDay})
        w->setEnabled(s.AlarmMsgFileEnable);

    const std::array<int, ServiceKindCount> timeouts = {
        s.HTTPDefaultTimeout,  s.PingDefaultTimeout, s.DBDefaultTimeout,  s.FTPDefaultTimeout,
        s.EmailDefaultTimeout, s.TCPDefaultTimeout,  s.DNSDefaultTimeout, s.CertDefaultTimeout};
    const std::array<int, ServiceKindCount> retries = {s.HTTPRetry,  s.PingRetry, s.DBRetry,  s.FTPRetry,
                                                       s.EmailRetry, s.TCPRetry,  s.DNSRetry, s.CertRetry};
    for (int kind = 0; kind < ServiceKindCount; ++kind) {
        EditTimeout[kind]->setText(QString::number(timeouts[kind]));
        CheckBoxRetry[kind]->setChecked(retries[kind] == 1);
    }

    // What an earlier showing reported is not news any more.
    m_status->clear();
    emit statusReported(QString::fromLatin1(lang::UpdatingSettings));
    // The first focus goes to the page tabs, so that Apply stays disabled until a field is entered.
    PageControl->tabBar()->setFocus();
}

void TFormSettings::FormClose()
{
    if (m_fileDialog)
        m_fileDialog->reject();
}

void TFormSettings::refuse(Page page, QWidget* field, const QString& text)
{
    ShowInformationBox(text);
    PageControl->setCurrentIndex(page);
    field->setFocus();
}

void TFormSettings::ButtonApplyClick()
{
    // Everything is checked before anything is taken, so a refusal changes nothing.
    if (EditHost->text().isEmpty())
        return refuse(PageDatabase, EditHost, withField(lang::FieldEmpty, "Database Host"));
    int port = 0;
    if (!ParseInteger(EditPort->text(), &port) || port < 1 || port > kPortMax)
        return refuse(PageDatabase, EditPort, withField(lang::InvalidInteger, "Database Port"));
    if (CheckBoxFileEnable->isChecked() && EditFilePath->text().isEmpty())
        return refuse(PageAlarmMsgBackup, EditFilePath, withField(lang::FieldEmpty, "Alarm Msg File Path"));
    if (CheckBoxFileEnable->isChecked() && !QFileInfo(EditFilePath->text()).isDir()) {
        QString text = QString::fromLatin1(lang::FolderNotFound);
        text.replace(text.indexOf(QStringLiteral("%s")), 2, EditFilePath->text());
        return refuse(PageAlarmMsgBackup, EditFilePath, text);
    }
    std::array<int, ServiceKindCount> timeouts{};
    for (int kind = 0; kind < ServiceKindCount; ++kind) {
        if (kind == ServiceDatabase)
            continue;
        if (!ParseInteger(EditTimeout[kind]->text(), &timeouts[kind]) || timeouts[kind] < 1 ||
            timeouts[kind] > kTimeoutMax)
            return refuse(PageService, EditTimeout[kind],
                          withField(lang::InvalidInteger, kTimeoutLabels[kind]));
    }

    int keepDays = 0;
    if (!ParseInteger(EditResultsKeepDays->text().trimmed(), &keepDays) ||
        keepDays < kResultsKeepDaysMinimum || keepDays > kResultsKeepDaysMaximum)
        return refuse(PageAlarmMsgBackup, EditResultsKeepDays,
                      QStringLiteral("%1 must be a number from %2 to %3.")
                          .arg(QString::fromLatin1(kResultsKeepDaysCaption))
                          .arg(kResultsKeepDaysMinimum)
                          .arg(kResultsKeepDaysMaximum));

    AlarmRules rules;
    if (!readAlarmRules(&rules))
        return;

    AppSettingsRecord& s = AppSettings;
    s.Rules = rules;
    s.InitStart = ComboBoxInitStart->currentText() == QLatin1String("Yes");
    s.ConsoleRole = ComboBoxRole->currentIndex() == 1;
    s.DesktopNotifications = CheckBoxNotifications->isChecked();
    s.SystemLogFilename = EditSysLogFilename->text();
    if (ComboBoxLogLevel->currentIndex() >= 0)
        s.MinimumLogLevel = ComboBoxLogLevel->currentIndex();
    s.SystemLogHouseKeepDay = shownNumber(ComboBoxSysLogHouseKeepDay, s.SystemLogHouseKeepDay);
    s.AlarmMsgFileEnable = CheckBoxFileEnable->isChecked();
    s.AlarmMsgFilePath = EditFilePath->text();
    s.AlarmMsgFilename = EditAlarmFilename->text();
    s.AlarmMsgFileHouseKeepDay = shownNumber(ComboBoxFileHouseKeepDay, s.AlarmMsgFileHouseKeepDay);
    s.AlarmMsgDBEnable = CheckBoxDBEnable->isChecked();
    s.AlarmMsgDBType = ComboBoxDBType->currentText();
    s.AlarmMsgDBHouseKeepDay = shownNumber(ComboBoxDBHouseKeepDay, s.AlarmMsgDBHouseKeepDay);
    s.ResultsKeepDays = keepDays;
    s.HTTPDefaultTimeout = timeouts[ServiceURL];
    s.PingDefaultTimeout = timeouts[ServicePing];
    s.FTPDefaultTimeout = timeouts[ServiceFTP];
    s.EmailDefaultTimeout = timeouts[ServiceEmail];
    s.TCPDefaultTimeout = timeouts[ServiceTCP];
    s.DNSDefaultTimeout = timeouts[ServiceDNS];
    s.CertDefaultTimeout = timeouts[ServiceCert];
    s.HTTPRetry = CheckBoxRetry[ServiceURL]->isChecked() ? 1 : 0;
    s.PingRetry = CheckBoxRetry[ServicePing]->isChecked() ? 1 : 0;
    s.FTPRetry = CheckBoxRetry[ServiceFTP]->isChecked() ? 1 : 0;
    s.EmailRetry = CheckBoxRetry[ServiceEmail]->isChecked() ? 1 : 0;
    s.TCPRetry = CheckBoxRetry[ServiceTCP]->isChecked() ? 1 : 0;
    s.DNSRetry = CheckBoxRetry[ServiceDNS]->isChecked() ? 1 : 0;
    s.CertRetry = CheckBoxRetry[ServiceCert]->isChecked() ? 1 : 0;
    s.DBHost = EditHost->text();
    s.DBPort = QString::number(port);
    s.DBUsername = EditUsername->text();
    s.DBPassword = EditPassword->text();
    s.ShowLogItem = shownNumber(ComboBoxNumberOfLogs, s.ShowLogItem);

    if (!EnsureConfDir()) {
        const QString text = QString::fromLatin1(lang::ERR00204);
        ShowWarningBox(text);
        WriteSystemLog(text, LogLevel::WARMING);
        return;
    }
    // The window size stored is the main window's own at this moment.
    if (const QWidget* main = parentWidget()) {
        s.WindowWidth = main->width();
        s.WindowHeight = main->height();
    }
    if (!SaveSettings())
        return; // reported by the writer; Apply stays enabled for another try
    report(QString::fromLatin1(lang::OptionSettingsSaved));
    ButtonApply->setEnabled(false);
}

void TFormSettings::ButtonCancelClick()
{
    emit statusReported(QString::fromLatin1(lang::UpdatingCancelled));
    close();
}

void TFormSettings::ButtonDefaultClick()
{
    ComboBoxInitStart->setCurrentIndex(0);
    ComboBoxRole->setCurrentIndex(0);
    CheckBoxNotifications->setChecked(false);
    EditSysLogFilename->setText(QStringLiteral("system_"));
    ComboBoxLogLevel->setCurrentIndex(0);
    showNumber(ComboBoxSysLogHouseKeepDay, 7);
    EditHost->setText(QStringLiteral("localhost"));
    EditPort->setText(QStringLiteral("3306"));
    EditUsername->setText(QStringLiteral("root"));
    EditPassword->clear();
    showNumber(ComboBoxNumberOfLogs, 100);

    EditFilePath->setText(AppSettings.LogDir);
    EditAlarmFilename->setText(QStringLiteral("AlarmMsg_"));
    showNumber(ComboBoxFileHouseKeepDay, 7);
    ComboBoxDBType->setCurrentIndex(ComboBoxDBType->findText(QStringLiteral("MySQL")));
    showNumber(ComboBoxDBHouseKeepDay, 7);
    EditResultsKeepDays->setText(QString::number(kResultsKeepDaysDefault));
    // The two Enable boxes keep their state; the controls they govern follow them.
    CheckBoxFileEnableClick();
    CheckBoxDBEnableClick();

    for (int kind = 0; kind < ServiceKindCount; ++kind) {
        EditTimeout[kind]->setText(QStringLiteral("10000"));
        if (kind != ServiceDatabase)
            CheckBoxRetry[kind]->setChecked(false);
    }
    showAlarmRules(AlarmRules());
    ButtonApply->setEnabled(true);
    emit statusReported(QString::fromLatin1(lang::ResetSettings));
}

void TFormSettings::CheckBoxFileEnableClick()
{
    const bool on = CheckBoxFileEnable->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{EditFilePath, EditAlarmFilename, ButtonFilePath,
                                                      ComboBoxFileHouseKeepDay})
        w->setEnabled(on);
}

void TFormSettings::CheckBoxDBEnableClick()
{
    const bool on = CheckBoxDBEnable->isChecked();
    ComboBoxDBType->setEnabled(on);
    ComboBoxDBHouseKeepDay->setEnabled(on);
}

void TFormSettings::ButtonFilePathClick()
{
    if (!m_fileDialog) {
        m_fileDialog = new QFileDialog(this, QString::fromLatin1(lang::SelectBackupPath));
        m_fileDialog->setOption(QFileDialog::DontUseNativeDialog, true);
        // Only a folder that exists can be chosen; the log files are named by the program.
        m_fileDialog->setFileMode(QFileDialog::Directory);
        m_fileDialog->setOption(QFileDialog::ShowDirsOnly, true);
        m_fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
        connect(m_fileDialog, &QFileDialog::fileSelected, this, [this](const QString& chosen) {
            QString folder = QFileInfo(chosen).absoluteFilePath();
            if (!folder.endsWith(QLatin1Char('/')))
                folder += QLatin1Char('/');
            EditFilePath->setText(folder);
            ButtonApply->setEnabled(true);
        });
    }
    m_fileDialog->setDirectory(AppSettings.LogDir);
    m_fileDialog->open();
}

QString TFormSettings::HelpTopic() const
{
    switch (PageControl->currentIndex()) {
    case PageDatabase:
        return QStringLiteral("Database_Login");
    case PageAlarmRules:
        return QStringLiteral("Alarm_Rules");
    default:
        return QStringLiteral("Files");
    }
}

void TFormSettings::ButtonHelpClick()
{
    OpenHelpTopic(HelpTopic());
}
