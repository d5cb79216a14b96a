#include "core/AlarmMethodFields.h"

#include "core/langLibrary.h"

namespace {

using Kind = AlarmFieldKind;

// Widths of the alarm_method columns: no input holds more than its column stores.
constexpr int kHost = 200;      // ip, a host name
constexpr int kUrl = 2048;      // ip, the gateway's URL
constexpr int kName = 50;       // username, password, addresses, field names, system type
constexpr int kProxyHost = 100; // proxy_ip
constexpr int kMailAgent = 150; // mail_agent

QString Number(int value)
{
    return QString::number(value);
}

AlarmMethodField Host(const char* caption, const char* label)
{
    return {"ip", caption, Kind::Text, 0, kHost, {}, -1, nullptr, label, 1, nullptr};
}

AlarmMethodField Port(int byDefault, const char* label)
{
    return {"port", "Port", Kind::NumberZeroEmpty, 1, limits::PortMax, Number(byDefault), -1, nullptr, label,
            2,      nullptr};
}

AlarmMethodField Timeout(const char* label)
{
    return {"timeout",
            "Timeout (ms)",
            Kind::NumberZeroEmpty,
            1,
            limits::LongestTimeoutMs,
            Number(alarmdefault::TimeoutMs),
            -1,
            nullptr,
            label,
            3,
            nullptr};
}

// The "Authentication" box and the credentials it enables, on `subPage`.
std::vector<AlarmMethodField> Authentication(int subPage)
{
    return {
        {"authenticate", "Authentication", Kind::Check, 0, 0, {}, subPage, nullptr, nullptr, 4, nullptr},
        {"username", "Username", Kind::Text, 0, kName, {}, subPage, "authenticate", nullptr, 5, nullptr},
        {"password", "Password", Kind::Password, 0, kName, {}, subPage, "authenticate", nullptr, 6, nullptr}};
}

// An SMPP octet on a sub-page of the SMS page.
AlarmMethodField Octet(const char* column, const char* caption, int byDefault, int subPage, const char* label,
                       int written)
{
    return {column,  caption, Kind::Number, 0,       limits::OctetMax, Number(byDefault),
            subPage, nullptr, label,        written, nullptr};
}

std::vector<AlarmMethodField> Joined(std::vector<std::vector<AlarmMethodField>> parts)
{
    std::vector<AlarmMethodField> fields;
    for (auto& part : parts)
        fields.insert(fields.end(), part.begin(), part.end());
    return fields;
}

QStringList GetOrPost()
{
    return {QStringLiteral("Get"), QStringLiteral("Post")};
}

QStringList Facilities()
{
    return lang::SyslogFacilities();
}

QStringList Severities()
{
    return lang::SyslogSeverities();
}

AlarmMethodForm Email()
{
    AlarmMethodForm form{
        lang::MethodEmail,
        "Email - SMTP",
        "Note : Enable this option, the alarm can be sent out via email by SMTP.",
        "Test Connection [Email]",
        "Test Connection (Email)",
        "Email_Alarm",
        lang::SmtpSending,
        lang::SmtpSent,
        lang::SmtpError,
        {{nullptr, nullptr}},
        {},
        {{"Recipient Email", AlarmTestInput::Recipient, false}, {"Message", AlarmTestInput::Message, true}}};
    form.fields = Joined(
        {{Host("SMTP IP/Address", "SMTP IP/Address"),
          Port(alarmdefault::SmtpPort, "SMTP Port"),
          {"mail_agent", "Mail Agent", Kind::Text, 0, kMailAgent, {}, -1, nullptr, nullptr, 7, nullptr},
          {"from_address",
           "From Address",
           Kind::Text,
           0,
           kName,
           {},
           -1,
           nullptr,
           "SMTP From Address",
           8,
           nullptr}},
         Authentication(0),
         {Timeout("SMTP Timeout")}});
    return form;
}

AlarmMethodForm Sms()
{
    enum
    {
        Auth,
        Binding,
        Extra
    };
    AlarmMethodForm form{
        lang::MethodSMS,
        "SMS - SMPP",
        "Note : Enable this option, the alarm can be sent out via SMS. Please note that it will "
        "append only 160 English charaters into the SMS message.",
        "Test Connection [SMS]",
        "Test Connection (SMS)",
        "SMS_Alarm",
        lang::SmsSending,
        lang::SmsSent,
        lang::SmsError,
        {{"Authentication", nullptr}, {"Binding", nullptr}, {"Extra Information", nullptr}},
        {},
        {{"Phone Number", AlarmTestInput::Recipient, false}, {"Message", AlarmTestInput::Message, false}}};
    const int tonNpi = alarmdefault::SmppTonNpi;
    form.fields = Joined(
        {{Host("SMSC IP", "SMSC IP"), Port(alarmdefault::SmppPort, "SMSC Port"), Timeout("SMSC Timeout")},
         Authentication(Auth),
         {{"oa", "OA / SA", Kind::Text, 0, kName, {}, Extra, nullptr, nullptr, 7, nullptr},
          Octet("sms_version", "Version", alarmdefault::SmppVersion, Binding, "SMSC Version", 8),
          {"sms_system_type", "System Type", Kind::Text, 0, kName,
           QString::fromLatin1(alarmdefault::SmppSystemType), Binding, nullptr, nullptr, 9, nullptr},
          Octet("sms_ton", "TON", tonNpi, Binding, "SMSC TON", 10),
          Octet("sms_npi", "NPI", tonNpi, Binding, "SMSC NPI", 11),
          Octet("sms_dest_ton", "Dest. TON", tonNpi, Extra, "SMSC Dest. TON", 12),
          Octet("sms_dest_npi", "Dest. NPI", tonNpi, Extra, "SMSC Dest. NPI", 13),
          Octet("sms_orig_ton", "Orig. TON", tonNpi, Extra, "SMSC Orig. TON", 14),
          Octet("sms_orig_npi", "Orig. NPI", tonNpi, Extra, "SMSC Orig. NPI", 15)}});
    return form;
}

AlarmMethodForm HttpSms()
{
    enum
    {
        FieldNames,
        ExtraFields,
        Auth,
        Proxy
    };
    AlarmMethodForm form{lang::MethodSMSbyHTTP,
                         "SMS by HTTP",
                         "Note : Enable this option, the alarm can be sent out via SMS by HTTP.",
                         "Test Connection [SMS by HTTP]",
                         "Test Connection (SMS-HTTP)",
                         "SMS_by_HTTP_Alarm",
                         lang::HttpSmsSending,
                         lang::HttpSmsSent,
                         lang::HttpSmsError,
                         {{"Fields Name (Post)", "method=Post"},
                          {"Extra Fields (Post)", "method=Post"},
                          {"Authentication", nullptr},
                          {"Proxy", nullptr}},
                         {},
                         {{"$MSISDN", AlarmTestInput::Recipient, false},
                          {"$MESSAGE", AlarmTestInput::Message, false},
                          {"Response", AlarmTestInput::Response, true}}};
    form.fields = Joined(
        {{{"ip", "URL", Kind::Url, 0, kUrl, {}, -1, nullptr, "HTTP-SMS URL", 1, nullptr},
          Port(alarmdefault::HttpSmsPort, "HTTP-SMS Port"),
          {"method", "Method", Kind::Switch, 0, 0, {}, -1, nullptr, nullptr, 11, GetOrPost},
          Timeout("HTTP-SMS Timeout"),
          {"field_msisdn",
           "MSISDN",
           Kind::Text,
           0,
           kName,
           {},
           FieldNames,
           nullptr,
           "SMSC MSISDN",
           12,
           nullptr},
          {"field_message",
           "MESSAGE",
           Kind::Text,
           0,
           kName,
           {},
           FieldNames,
           nullptr,
           "SMSC MESSAGE",
           13,
           nullptr}},
         Authentication(Auth),
         {{"proxy_ip", "Proxy Server", Kind::Text, 0, kProxyHost, {}, Proxy, nullptr, nullptr, 7, nullptr},
          // An empty proxy port is written as 0: no proxy port.
          {"proxy_port",
           "Proxy Port",
           Kind::NumberZeroEmpty,
           0,
           limits::PortMax,
           {},
           Proxy,
           nullptr,
           "HTTP-SMS Proxy Port",
           8,
           nullptr},
          {"proxy_username", "Proxy Username", Kind::Text, 0, kName, {}, Proxy, nullptr, nullptr, 9, nullptr},
          {"proxy_password",
           "Proxy Password",
           Kind::Text,
           0,
           kName,
           {},
           Proxy,
           nullptr,
           nullptr,
           10,
           nullptr}}});
    return form;
}

AlarmMethodForm SysLog()
{
    AlarmMethodForm form{
        lang::MethodSysLog,
        "BSD SysLog",
        "Note : Enable this option, the alarm can be sent to other BSD SysLog server (Linux/Unix).",
        "Test Connection [SysLog]",
        "Test Connection (BSD SysLog)",
        "SysLog_Alarm",
        lang::SysLogSending,
        lang::SysLogSent,
        lang::SysLogError,
        {},
        {Host("IP", "SysLog IP"),
         Port(alarmdefault::SysLogPort, "SysLog Port"),
         {"syslog_facility", "Facility", Kind::Choice, 0, 0, {}, -1, nullptr, nullptr, 4, Facilities},
         {"syslog_severity", "Severity", Kind::Choice, 0, 0, {}, -1, nullptr, nullptr, 5, Severities},
         Timeout("SysLog Timeout")},
        {{"Message", AlarmTestInput::Message, false}}};
    return form;
}

} // namespace

const std::vector<AlarmMethodForm>& AlarmMethodForms()
{
    static const std::vector<AlarmMethodForm> forms = {Email(), Sms(), HttpSms(), SysLog()};
    return forms;
}
