#pragma once

#include <QString>
#include <QStringList>

// The in-memory copy of the four alarm methods, filled from table alarm_method.
struct EmailMethodSettings
{
    bool enable = false;
    QString ip;
    int port = 0;
    QString mail_agent;
    QString from_address;
    bool authenticate = false;
    QString username;
    QString password;
    int timeout = 0;
};

struct SmsMethodSettings
{
    bool enable = false;
    QString ip;
    int port = 0;
    QString oa;
    bool authenticate = false;
    QString username;
    QString password;
    int sms_version = 0;
    QString sms_system_type;
    int sms_ton = 0;
    int sms_npi = 0;
    int sms_dest_ton = 0;
    int sms_dest_npi = 0;
    int sms_orig_ton = 0;
    int sms_orig_npi = 0;
    int timeout = 0;
};

struct HttpSmsMethodSettings
{
    bool enable = false;
    QString ip; // the gateway URL
    int port = 0;
    QString method; // "Get" or "Post"
    bool authenticate = false;
    QString username;
    QString password;
    QString proxy_ip;
    int proxy_port = 0;
    QString proxy_username;
    QString proxy_password;
    QString field_msisdn;
    QString field_message;
    int timeout = 0;
};

struct SysLogMethodSettings
{
    bool enable = false;
    QString ip;
    int port = 0;
    int facility = 0;
    int severity = 0;
    int timeout = 0;
};

struct AlarmMethodSettingsRecord
{
    EmailMethodSettings EmailMethod;
    SmsMethodSettings SmsMethod;
    HttpSmsMethodSettings HttpSmsMethod;
    SysLogMethodSettings SysLogMethod;
    // name + "=" + value for every extra gateway field; filled only for an enabled "Post" gateway.
    QStringList HttpSmsExtraFields;
};

extern AlarmMethodSettingsRecord AlarmMethodSettings;

// RFC 3164 codes of the catalogue's facility and severity names; an unknown name gives 0.
int FacilityCode(const QString& name);
int SeverityCode(const QString& name);
