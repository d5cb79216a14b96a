#include "gui/dialogs/settings.h"

#include "core/Limits.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/HelpViewer.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/OptionsPage.h"

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
    for (int page = 0; page < SettingsPageCount; ++page) {
        m_pages[page] = new OptionsPage(page);
        PageControl->addTab(m_pages[page], QString::fromLatin1(SettingsPageForms()[page].tab));
        for (QWidget* input : m_pages[page]->Inputs())
            watchForEntering(input);
    }
    PageControl->addTab(buildAlarmRulesPage(), QStringLiteral("Alarm Rules"));
    bindFields();
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

void TFormSettings::bindFields()
{
    const auto field = [this](int page, const char* section, const char* key) {
        return m_pages[page]->Field(section, key);
    };
    const char* const file = "Alarm Msg File Backup";
    const char* const db = "Alarm Msg DB Backup";
    ComboBoxSysLogHouseKeepDay = qobject_cast<QComboBox*>(field(PageGeneral, "System Log", "HouseKeepDay"));
    EditSysLogFilename = qobject_cast<QLineEdit*>(field(PageGeneral, "System Log", "Filename"));
    ComboBoxLogLevel = qobject_cast<QComboBox*>(field(PageGeneral, "System Log", "Level"));
    ComboBoxNumberOfLogs = qobject_cast<QComboBox*>(field(PageGeneral, "System", "ShowLogItem"));
    ComboBoxInitStart = qobject_cast<QComboBox*>(field(PageGeneral, "System", "InitStart"));
    ComboBoxRole = qobject_cast<QComboBox*>(field(PageGeneral, "Engine", "Role"));
    CheckBoxNotifications = qobject_cast<QCheckBox*>(field(PageGeneral, "System", "DesktopNotifications"));
    EditHost = qobject_cast<QLineEdit*>(field(PageDatabase, "Database", "Host"));
    EditPort = qobject_cast<QLineEdit*>(field(PageDatabase, "Database", "Port"));
    EditUsername = qobject_cast<QLineEdit*>(field(PageDatabase, "Database", "DBUsername"));
    EditPassword = qobject_cast<QLineEdit*>(field(PageDatabase, "Database", "DBPassword"));
    OptionsPage* backup = m_pages[PageAlarmMsgBackup];
    GroupBoxFileDetails = backup->Group("File Details");
    CheckBoxFileEnable = qobject_cast<QCheckBox*>(field(PageAlarmMsgBackup, file, "Enable"));
    EditFilePath = qobject_cast<QLineEdit*>(field(PageAlarmMsgBackup, file, "FilenamePath"));
    ButtonFilePath = backup->BrowseButton();
    EditAlarmFilename = qobject_cast<QLineEdit*>(field(PageAlarmMsgBackup, file, "Filename"));
    ComboBoxFileHouseKeepDay = qobject_cast<QComboBox*>(field(PageAlarmMsgBackup, file, "HouseKeepDay"));
    GroupBoxDBDetails = backup->Group("Database Details");
    CheckBoxDBEnable = qobject_cast<QCheckBox*>(field(PageAlarmMsgBackup, db, "Enable"));
    ComboBoxDBType = qobject_cast<QComboBox*>(field(PageAlarmMsgBackup, db, "Type"));
    ComboBoxDBHouseKeepDay = qobject_cast<QComboBox*>(field(PageAlarmMsgBackup, db, "HouseKeepDay"));
    GroupBoxResults = backup->Group("Check Results");
    EditResultsKeepDays = qobject_cast<QLineEdit*>(field(PageAlarmMsgBackup, "Results", "KeepDays"));
    // The time-outs and retry boxes stand in the table in the order of the kinds.
    int timeout = 0;
    int retry = 0;
    for (const SettingField& row : SettingFields()) {
        if (row.page != PageService)
            continue;
        QWidget* input = field(PageService, row.section, row.key);
        if (row.kind == SettingKind::Flag)
            CheckBoxRetry[retry++] = qobject_cast<QCheckBox*>(input);
        else
            EditTimeout[timeout++] = qobject_cast<QLineEdit*>(input);
    }
    for (int kind = 0; kind < ServiceKindCount; ++kind)
        GroupBoxService[kind] = m_pages[PageService]->Group(SettingsPageForms()[PageService].groups[kind]);
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

    for (OptionsPage* page : m_pages)
        page->Show(s);
    showAlarmRules(s.Rules);

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
    for (int page = 0; page < SettingsPageCount; ++page) {
        QWidget* field = nullptr;
        QString text;
        if (!m_pages[page]->Validate(&field, &text))
            return refuse(static_cast<Page>(page), field, text);
    }
    AlarmRules rules;
    if (!readAlarmRules(&rules))
        return;

    AppSettingsRecord& s = AppSettings;
    s.Rules = rules;
    for (OptionsPage* page : m_pages)
        page->Save(s);

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
    // The two Enable boxes keep their state; the controls they govern follow them.
    for (OptionsPage* page : m_pages)
        page->Reset();
    showAlarmRules(AlarmRules());
    ButtonApply->setEnabled(true);
    emit statusReported(QString::fromLatin1(lang::ResetSettings));
}

void TFormSettings::CheckBoxFileEnableClick()
{
    m_pages[PageAlarmMsgBackup]->ApplyEnabling();
}

void TFormSettings::CheckBoxDBEnableClick()
{
    m_pages[PageAlarmMsgBackup]->ApplyEnabling();
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
    const int page = PageControl->currentIndex();
    if (page >= 0 && page < SettingsPageCount)
        return QString::fromLatin1(SettingsPageForms()[page].helpTopic);
    return QStringLiteral("Alarm_Rules");
}

void TFormSettings::ButtonHelpClick()
{
    OpenHelpTopic(HelpTopic());
}
