#include "database/AlarmMethodLoader.h"

#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "database/AlarmMethodStore.h"

#include <QVariant>

namespace {

class Row
{
public:
    explicit Row(const AlarmMethodColumn& column) : m_column(column) {}
    QString text(const char* column) const { return m_column(QString::fromLatin1(column)).toString(); }
    int number(const char* column) const { return m_column(QString::fromLatin1(column)).toInt(); }
    bool flag(const char* column) const { return number(column) != 0; }

private:
    const AlarmMethodColumn& m_column;
};

// The columns every method has.
template <typename Method> void readCommon(const Row& r, Method& m)
{
    m.enable = r.flag("enable");
    m.port = r.number("port");
    m.timeout = r.number("timeout");
}

// The credentials of the methods that log in.
template <typename Method> void readCredentials(const Row& r, Method& m)
{
    m.authenticate = r.flag("authenticate");
    m.username = r.text("username");
    m.password = r.text("password");
}

void readEmail(const Row& r, EmailMethodSettings& m)
{
    readCommon(r, m);
    readCredentials(r, m);
    m.ip = StripHttpPrefix(r.text("ip"));
    m.mail_agent = r.text("mail_agent");
    m.from_address = r.text("from_address");
}

void readSms(const Row& r, SmsMethodSettings& m)
{
    readCommon(r, m);
    readCredentials(r, m);
    m.ip = StripHttpPrefix(r.text("ip"));
    m.oa = r.text("oa");
    m.sms_version = r.number("sms_version");
    m.sms_system_type = r.text("sms_system_type");
    m.sms_ton = r.number("sms_ton");
    m.sms_npi = r.number("sms_npi");
    m.sms_dest_ton = r.number("sms_dest_ton");
    m.sms_dest_npi = r.number("sms_dest_npi");
    m.sms_orig_ton = r.number("sms_orig_ton");
    m.sms_orig_npi = r.number("sms_orig_npi");
}

void readHttpSms(const Row& r, HttpSmsMethodSettings& m)
{
    readCommon(r, m);
    readCredentials(r, m);
    m.ip = EnsureHttpPrefix(r.text("ip"));
    m.method = r.text("method");
    m.proxy_ip = r.text("proxy_ip");
    m.proxy_port = r.number("proxy_port");
    m.proxy_username = r.text("proxy_username");
    m.proxy_password = r.text("proxy_password");
    m.field_msisdn = r.text("field_msisdn");
    m.field_message = r.text("field_message");
}

void readSysLog(const Row& r, SysLogMethodSettings& m)
{
    readCommon(r, m);
    m.ip = StripHttpPrefix(r.text("ip"));
    m.facility = FacilityCode(r.text("syslog_facility"));
    m.severity = SeverityCode(r.text("syslog_severity"));
}

} // namespace

void ReadAlarmMethodRow(const QString& type, const AlarmMethodColumn& column,
                        AlarmMethodSettingsRecord& settings)
{
    const Row row(column);
    if (type == QLatin1String(lang::MethodEmail))
        readEmail(row, settings.EmailMethod);
    else if (type == QLatin1String(lang::MethodSMS))
        readSms(row, settings.SmsMethod);
    else if (type == QLatin1String(lang::MethodSMSbyHTTP))
        readHttpSms(row, settings.HttpSmsMethod);
    else if (type == QLatin1String(lang::MethodSysLog))
        readSysLog(row, settings.SysLogMethod);
}

void LoadAlarmMethods()
{
    AlarmMethodSettingsRecord& s = AlarmMethodSettings;
    for (const AlarmMethodRow& row : AlarmMethodStore::Rows())
        ReadAlarmMethodRow(
            row.Type, [&row](const QString& name) { return row.value(name); }, s);
    s.HttpSmsExtraFields = QStringList();
    if (s.HttpSmsMethod.enable && s.HttpSmsMethod.method == QLatin1String("Post")) {
        for (const auto& [name, value] : AlarmMethodStore::ExtraFields())
            s.HttpSmsExtraFields << name + QLatin1Char('=') + value;
    }
}
