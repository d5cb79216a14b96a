#pragma once

// The controls of the alarm settings window as a person finds them: each page by its tab, each
// input by its caption (accessible name) on that page.

#include "DialogKit.h"

#include "gui/dialogs/alarmSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

struct AlarmControls
{
    explicit AlarmControls(TFormAlarmingSettings* form)
    {
        auto page = [form](int index) { return form->PageControl->widget(index); };
        QWidget* p = page(TFormAlarmingSettings::PageEmail);
        Email = {p,
                 Named<QCheckBox>(p, "Enable"),
                 Named<QLineEdit>(p, "SMTP IP/Address"),
                 Named<QLineEdit>(p, "Port"),
                 Named<QLineEdit>(p, "Mail Agent"),
                 Named<QLineEdit>(p, "From Address"),
                 Named<QCheckBox>(p, "Authentication"),
                 Named<QLineEdit>(p, "Username"),
                 Named<QLineEdit>(p, "Password"),
                 Named<QLineEdit>(p, "Timeout (ms)"),
                 testGroup(p),
                 Named<QLineEdit>(p, "Recipient Email"),
                 Named<QPlainTextEdit>(p, "Message")};
        p = page(TFormAlarmingSettings::PageSms);
        Sms = {p,
               Named<QCheckBox>(p, "Enable"),
               Named<QLineEdit>(p, "SMSC IP"),
               Named<QLineEdit>(p, "Port"),
               Named<QLineEdit>(p, "Timeout (ms)"),
               p->findChild<QTabWidget*>(),
               Named<QCheckBox>(p, "Authentication"),
               Named<QLineEdit>(p, "Username"),
               Named<QLineEdit>(p, "Password"),
               Named<QLineEdit>(p, "Version"),
               Named<QLineEdit>(p, "System Type"),
               Named<QLineEdit>(p, "TON"),
               Named<QLineEdit>(p, "NPI"),
               Named<QLineEdit>(p, "OA / SA"),
               Named<QLineEdit>(p, "Dest. TON"),
               Named<QLineEdit>(p, "Dest. NPI"),
               Named<QLineEdit>(p, "Orig. TON"),
               Named<QLineEdit>(p, "Orig. NPI"),
               testGroup(p),
               Named<QLineEdit>(p, "Phone Number"),
               Named<QLineEdit>(p, "Message")};
        p = page(TFormAlarmingSettings::PageHttpSms);
        HttpSms = {p,
                   Named<QCheckBox>(p, "Enable"),
                   Named<QPlainTextEdit>(p, "URL"),
                   Named<QLineEdit>(p, "Port"),
                   Named<QComboBox>(p, "Method"),
                   Named<QLineEdit>(p, "Timeout (ms)"),
                   p->findChild<QTabWidget*>(),
                   Named<QLineEdit>(p, "MSISDN"),
                   Named<QLineEdit>(p, "MESSAGE"),
                   Named<QLineEdit>(p, "Field Name"),
                   Named<QLineEdit>(p, "Field Value"),
                   Named<QPushButton>(p, "Add >>"),
                   Named<QPushButton>(p, "<< Remove"),
                   Named<QTreeWidget>(p, "Extra Fields"),
                   Named<QCheckBox>(p, "Authentication"),
                   Named<QLineEdit>(p, "Username"),
                   Named<QLineEdit>(p, "Password"),
                   Named<QLineEdit>(p, "Proxy Server"),
                   Named<QLineEdit>(p, "Proxy Port"),
                   Named<QLineEdit>(p, "Proxy Username"),
                   Named<QLineEdit>(p, "Proxy Password"),
                   testGroup(p),
                   Named<QLineEdit>(p, "$MSISDN"),
                   Named<QLineEdit>(p, "$MESSAGE"),
                   Named<QPlainTextEdit>(p, "Response")};
        p = page(TFormAlarmingSettings::PageSysLog);
        SysLog = {p,
                  Named<QCheckBox>(p, "Enable"),
                  Named<QLineEdit>(p, "IP"),
                  Named<QLineEdit>(p, "Port"),
                  Named<QComboBox>(p, "Facility"),
                  Named<QComboBox>(p, "Severity"),
                  Named<QLineEdit>(p, "Timeout (ms)"),
                  testGroup(p),
                  Named<QLineEdit>(p, "Message")};
    }

    // The page's test group: the group box whose title begins "Test Connection".
    static QGroupBox* testGroup(QWidget* page)
    {
        for (QGroupBox* box : page->findChildren<QGroupBox*>()) {
            if (box->title().startsWith("Test Connection"))
                return box;
        }
        return nullptr;
    }

    struct
    {
        QWidget* page;
        QCheckBox* enable;
        QLineEdit* ip;
        QLineEdit* port;
        QLineEdit* mailAgent;
        QLineEdit* fromAddress;
        QCheckBox* authentication;
        QLineEdit* username;
        QLineEdit* password;
        QLineEdit* timeout;
        QGroupBox* testGroup;
        QLineEdit* testRecipient;
        QPlainTextEdit* testMessage;
    } Email;
    struct
    {
        QWidget* page;
        QCheckBox* enable;
        QLineEdit* ip;
        QLineEdit* port;
        QLineEdit* timeout;
        QTabWidget* subPages;
        QCheckBox* authentication;
        QLineEdit* username;
        QLineEdit* password;
        QLineEdit* version;
        QLineEdit* systemType;
        QLineEdit* ton;
        QLineEdit* npi;
        QLineEdit* oa;
        QLineEdit* destTon;
        QLineEdit* destNpi;
        QLineEdit* origTon;
        QLineEdit* origNpi;
        QGroupBox* testGroup;
        QLineEdit* testPhone;
        QLineEdit* testMessage;
    } Sms;
    struct
    {
        QWidget* page;
        QCheckBox* enable;
        QPlainTextEdit* url;
        QLineEdit* port;
        QComboBox* method;
        QLineEdit* timeout;
        QTabWidget* subPages;
        QLineEdit* fieldMsisdn;
        QLineEdit* fieldMessage;
        QLineEdit* fieldName;
        QLineEdit* fieldValue;
        QPushButton* addField;
        QPushButton* removeField;
        QTreeWidget* extraFields;
        QCheckBox* authentication;
        QLineEdit* username;
        QLineEdit* password;
        QLineEdit* proxyServer;
        QLineEdit* proxyPort;
        QLineEdit* proxyUsername;
        QLineEdit* proxyPassword;
        QGroupBox* testGroup;
        QLineEdit* testMsisdn;
        QLineEdit* testMessage;
        QPlainTextEdit* testResponse;
    } HttpSms;
    struct
    {
        QWidget* page;
        QCheckBox* enable;
        QLineEdit* ip;
        QLineEdit* port;
        QComboBox* facility;
        QComboBox* severity;
        QLineEdit* timeout;
        QGroupBox* testGroup;
        QLineEdit* testMessage;
    } SysLog;
};

// The controls of `form`, found anew.
inline AlarmControls Ui(TFormAlarmingSettings* form)
{
    return AlarmControls(form);
}
