#pragma once

#include "gui/dialogs/TFormDialog.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

class AlarmExtraFieldsEditor;
class AlarmMethodPage;
class PoolWorkItem;
class QPushButton;
class QStatusBar;
class QTabWidget;
class ThreadAlarm;
class TestRunner;

// The "Alarming Options" window: one page per alarm method (e-mail over SMTP, SMS over SMPP, SMS
// through an HTTP gateway, BSD syslog), each built from its method's field table and editing one
// row of alarm_method, plus the extra form fields of the gateway in alarm_method_extra_fields.
// Apply validates the enabled pages, writes the four rows (and the extra fields of a "Post"
// gateway) in one transaction and reloads the in-memory alarm-method settings. Each page can send
// one test message with the values on screen, through the same alarm work item the alarms use, on
// a worker thread of the window's test runner: the window stays responsive and shows the progress
// and the outcome in its status bar.
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

    QTabWidget* PageControl = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonApply = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QStatusBar* StatusBar = nullptr;

    AlarmMethodPage* MethodPage(int page) const { return m_pages.value(page); }

    // Handlers.
    void ButtonApplyClick();
    void ButtonTestClick();
    void ButtonHelpClick();
    void ButtonCancelClick();
    void ButtonAddFieldClick();
    void ButtonRemoveFieldClick();

    // A test has been handed to the pool and its outcome has not been shown yet.
    bool TestRunning() const;
    // The help topic of the page shown.
    QString HelpTopic() const;
    // The whole text of the status bar's last message (the bar shows what fits).
    QString StatusText() const { return m_statusText; }

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildButtons();
    void loadStoredValues();
    void ApplyEnablingRules();
    void PageControlChange();
    void updateTestButton();
    void showStatus(const QString& text);
    QString scrubbed(const QString& text) const;

    // Tests.
    std::unique_ptr<ThreadAlarm> buildTestItem(int page);
    void startTest(int page, std::unique_ptr<ThreadAlarm> item);
    void testDone(int page, const PoolWorkItem& item);
    QString outcomeText(int page, const ThreadAlarm& alarm) const;

    QList<AlarmMethodPage*> m_pages;
    AlarmExtraFieldsEditor* m_extraFields = nullptr;
    QList<QWidget*> m_applyControls;
    QString m_statusText;
    bool m_loaded = false;

    // Runs the page tests; only the latest test since the last showing is answered.
    TestRunner* m_tests = nullptr;
};
