#pragma once

#include "database/AlarmMethodStore.h"
#include "gui/dialogs/TFormDialog.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PoolWorkItem;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTreeWidget;
class QWidget;
class ThreadAlarm;
class ThreadPoolManager;

// The "Alarming Options" window: one page per alarm method (e-mail over SMTP, SMS over SMPP, SMS
// through an HTTP gateway, BSD syslog), each editing one row of alarm_method, plus the extra form
// fields of the gateway in alarm_method_extra_fields. Apply validates the enabled pages, writes
// the four rows (and the extra fields of a "Post" gateway) in one transaction and reloads the
// in-memory alarm-method settings. Each page can send one test message with the values on screen,
// through the same alarm work item the alarms use, on a worker thread of the window's own pool:
// the window stays responsive and shows the outcome in its status bar when it comes back.
class TFormAlarmingSettings : public TFormDialog
{
    Q_OBJECT

public:
    enum Page
    {
        PageEmail,
        PageSms,
        PageHttpSms,
        PageSysLog
    };
    // Sub-pages of the SMS page and of the SMS-by-HTTP page.
    enum SmsSubPage
    {
        SmsAuthentication,
        SmsBinding,
        SmsExtraInformation
    };
    enum HttpSmsSubPage
    {
        HttpSmsFieldNames,
        HttpSmsExtraFields,
        HttpSmsAuthentication,
        HttpSmsProxy
    };

    explicit TFormAlarmingSettings(QWidget* parent = nullptr);
    ~TFormAlarmingSettings() override;

    struct EmailControls
    {
        QWidget* page = nullptr;
        QCheckBox* enable = nullptr;
        QLineEdit* ip = nullptr;
        QLineEdit* port = nullptr;
        QLineEdit* mailAgent = nullptr;
        QLineEdit* fromAddress = nullptr;
        QCheckBox* authentication = nullptr;
        QLineEdit* username = nullptr;
        QLineEdit* password = nullptr;
        QLineEdit* timeout = nullptr;
        QGroupBox* testGroup = nullptr;
        QLineEdit* testRecipient = nullptr;
        QPlainTextEdit* testMessage = nullptr;
    };
    struct SmsControls
    {
        QWidget* page = nullptr;
        QCheckBox* enable = nullptr;
        QLineEdit* ip = nullptr;
        QLineEdit* port = nullptr;
        QLineEdit* timeout = nullptr;
        QTabWidget* subPages = nullptr;
        QCheckBox* authentication = nullptr;
        QLineEdit* username = nullptr;
        QLineEdit* password = nullptr;
        QLineEdit* version = nullptr;
        QLineEdit* systemType = nullptr;
        QLineEdit* ton = nullptr;
        QLineEdit* npi = nullptr;
        QLineEdit* oa = nullptr;
        QLineEdit* destTon = nullptr;
        QLineEdit* destNpi = nullptr;
        QLineEdit* origTon = nullptr;
        QLineEdit* origNpi = nullptr;
        QGroupBox* testGroup = nullptr;
        QLineEdit* testPhone = nullptr;
        QLineEdit* testMessage = nullptr;
    };
    struct HttpSmsControls
    {
        QWidget* page = nullptr;
        QCheckBox* enable = nullptr;
        QPlainTextEdit* url = nullptr;
        QLineEdit* port = nullptr;
        QComboBox* method = nullptr;
        QLineEdit* timeout = nullptr;
        QTabWidget* subPages = nullptr;
        QLineEdit* fieldMsisdn = nullptr;
        QLineEdit* fieldMessage = nullptr;
        QLineEdit* fieldName = nullptr;
        QLineEdit* fieldValue = nullptr;
        QPushButton* addField = nullptr;
        QPushButton* removeField = nullptr;
        QTreeWidget* extraFields = nullptr;
        QCheckBox* authentication = nullptr;
        QLineEdit* username = nullptr;
        QLineEdit* password = nullptr;
        QLineEdit* proxyServer = nullptr;
        QLineEdit* proxyPort = nullptr;
        QLineEdit* proxyUsername = nullptr;
        QLineEdit* proxyPassword = nullptr;
        QGroupBox* testGroup = nullptr;
        QLineEdit* testMsisdn = nullptr;
        QLineEdit* testMessage = nullptr;
        QPlainTextEdit* testResponse = nullptr;
    };
    struct SysLogControls
    {
        QWidget* page = nullptr;
        QCheckBox* enable = nullptr;
        QLineEdit* ip = nullptr;
        QLineEdit* port = nullptr;
        QComboBox* facility = nullptr;
        QComboBox* severity = nullptr;
        QLineEdit* timeout = nullptr;
        QGroupBox* testGroup = nullptr;
        QLineEdit* testMessage = nullptr;
    };

    QTabWidget* PageControl = nullptr;
    EmailControls Email;
    SmsControls Sms;
    HttpSmsControls HttpSms;
    SysLogControls SysLog;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonApply = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QStatusBar* StatusBar = nullptr;

    // Handlers.
    void ButtonApplyClick();
    void ButtonTestClick();
    void ButtonHelpClick();
    void ButtonCancelClick();
    void ButtonAddFieldClick();
    void ButtonRemoveFieldClick();

    // A test has been handed to the pool and its outcome has not been shown yet.
    bool TestRunning() const { return m_testRunning; }
    // The help topic of the page shown.
    QString HelpTopic() const;

    // One alarm_method row as the save writes it: the columns in statement order, each with the
    // value the alarms read back.
    using MethodRow = AlarmMethodValues;

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildEmailPage();
    void buildSmsPage();
    void buildHttpSmsPage();
    void buildSysLogPage();
    void buildButtons();
    void watchForApply(QWidget* control);

    void setDefaults();
    void loadStoredValues();
    void showStoredRow(const QString& type, const std::function<QVariant(const QString&)>& column);
    void loadExtraFields();
    void ApplyEnablingRules();
    void PageControlChange();
    void updateTestButton();

    // Validation of one page (Algorithm of Apply, step 1); false after showing the failure.
    bool validatePage(int page);
    bool validateFilled(QWidget* field, const QString& text, const QString& label, int page, int subPage);
    bool validateNumber(QLineEdit* field, const QString& label, int page, int subPage, bool allowEmpty);
    void showField(QWidget* field, int page, int subPage);

    // The rows on screen; std::nullopt after a number that cannot be written was shown.
    std::optional<MethodRow> emailRow();
    std::optional<MethodRow> smsRow();
    std::optional<MethodRow> httpSmsRow();
    std::optional<MethodRow> sysLogRow();
    // The number of `field` as written: the validated integer in decimal, 0 when empty;
    // std::nullopt (after showing the message) when it is no integer of its range.
    std::optional<int> numberOf(QLineEdit* field);
    // The extra fields on screen, top to bottom, as name and value.
    QList<QPair<QString, QString>> extraFieldsOnScreen() const;
    QString scrubbed(const QString& text) const;

    // Tests.
    bool checkTestInput(QWidget* field, const QString& text, const QString& label);
    std::unique_ptr<ThreadAlarm> buildTestItem(int page);
    void testDone(PoolWorkItem* item);
    QString outcomeText(int page, const ThreadAlarm& alarm) const;

    struct NumberRule
    {
        QString label;
        int minimum;
        int maximum;
        int page;
        int subPage;
    };
    QHash<QLineEdit*, NumberRule> m_numberRules;
    QList<QWidget*> m_applyControls;

    QString m_storedFacility; // the stored name when no list item shows it
    QString m_storedSeverity;
    bool m_loaded = false;

    std::unique_ptr<ThreadPoolManager> m_pool;
    std::uint64_t m_generation = 0; // moves on at every showing and every test started
    QHash<std::int32_t, std::uint64_t> m_testGenerations;
    QHash<std::int32_t, int> m_testPages;
    bool m_testRunning = false;
};

// The alarm settings window while it exists (created by the main window's Alarm Options).
TFormAlarmingSettings* FormAlarmingSettings();
