#pragma once

#include "core/AlarmRules.h"

#include "gui/dialogs/TFormDialog.h"

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class OptionsPage;
class QPushButton;
class QStatusBar;
class QTabWidget;

// The general options: start behaviour, system log, alarm message list and files, database
// connection values and the time-out and retry switch of each kind of check. Apply takes the
// values into the settings and writes SysInit.ini at once; Default only fills in the defaults.
class TFormSettings : public TFormDialog
{
    Q_OBJECT

public:
    // Pages, in their order.
    enum Page
    {
        PageGeneral,
        PageDatabase,
        PageAlarmMsgBackup,
        PageService,
        PageAlarmRules
    };
    // The kinds of check on the Service page, in their order ("Database" is shown only).
    enum ServiceKind
    {
        ServiceURL,
        ServicePing,
        ServiceDatabase,
        ServiceFTP,
        ServiceEmail,
        ServiceTCP,
        ServiceDNS,
        ServiceCert,
        ServiceKindCount
    };

    explicit TFormSettings(QWidget* parent = nullptr);

    void ButtonApplyClick();
    void ButtonCancelClick();
    void ButtonDefaultClick();
    // Opens the help at the topic of the page shown.
    void ButtonHelpClick();
    QString HelpTopic() const;
    void ButtonFilePathClick();
    void CheckBoxFileEnableClick();
    void CheckBoxDBEnableClick();
    QString StatusText() const;
    // The folder choice of the "..." button while it is open.
    QFileDialog* FilePathDialog() const { return m_fileDialog; }

    QTabWidget* PageControl = nullptr;
    // General
    QComboBox* ComboBoxSysLogHouseKeepDay = nullptr;
    QLineEdit* EditSysLogFilename = nullptr;
    QComboBox* ComboBoxLogLevel = nullptr; // hidden
    QComboBox* ComboBoxNumberOfLogs = nullptr;
    QComboBox* ComboBoxInitStart = nullptr;
    QComboBox* ComboBoxRole = nullptr;
    QCheckBox* CheckBoxNotifications = nullptr; // desktop notifications of state changes
    // Database Connection
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditUsername = nullptr;
    QLineEdit* EditPassword = nullptr;
    // Alarm Msg Backup
    QGroupBox* GroupBoxFileDetails = nullptr;
    QCheckBox* CheckBoxFileEnable = nullptr;
    QLineEdit* EditFilePath = nullptr;
    QPushButton* ButtonFilePath = nullptr;
    QLineEdit* EditAlarmFilename = nullptr;
    QComboBox* ComboBoxFileHouseKeepDay = nullptr;
    QGroupBox* GroupBoxDBDetails = nullptr;
    QCheckBox* CheckBoxDBEnable = nullptr;
    QComboBox* ComboBoxDBType = nullptr; // hidden; its text is stored
    QComboBox* ComboBoxDBHouseKeepDay = nullptr;
    QGroupBox* GroupBoxResults = nullptr;
    QLineEdit* EditResultsKeepDays = nullptr; // [Results] KeepDays
    // Service
    std::array<QGroupBox*, ServiceKindCount> GroupBoxService{};
    std::array<QLineEdit*, ServiceKindCount> EditTimeout{};
    std::array<QCheckBox*, ServiceKindCount> CheckBoxRetry{};
    std::vector<QWidget*> AlarmRuleInputs; // in the order of AlarmRuleKeys()
    QLineEdit* ReferenceHostsInput = nullptr;

    QPushButton* ButtonApply = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonDefault = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QStatusBar* StatusBarSettings = nullptr;

protected:
    void FormShow() override;
    void FormClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Points the named inputs above at the fields the pages built.
    void bindFields();
    // One input per key of [AlarmRules], made from the table of keys: a list for Notify, a check
    // box for a 0/1 key, a line for a number.
    QWidget* buildAlarmRulesPage();
    void showAlarmRules(const AlarmRules& rules);
    // The rules on the page; false (with the field refused) when a number is out of its range.
    bool readAlarmRules(AlarmRules* rules);
    void watchForEntering(QWidget* input);
    void report(const QString& text);
    // Shows the refusal of a field: its page, its focus and the information box.
    void refuse(Page page, QWidget* field, const QString& text);

    std::array<OptionsPage*, PageAlarmRules> m_pages{};
    QLabel* m_status = nullptr;
    QFileDialog* m_fileDialog = nullptr;
};
