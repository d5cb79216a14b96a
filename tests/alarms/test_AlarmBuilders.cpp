// The alarm builders of the dispatcher: for each method name, the item that the in-memory
// alarm-method settings call for (nothing for a method that is not enabled), filled with copies
// of the settings, the recipient and the text.
#include "alarms/ThreadSMSUnit.h"
#include "alarms/ThreadSMTPUnit.h"
#include "alarms/ThreadSysLogUnit.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "monitor/AlarmBuilders.h"
#include "net/Socket.h"

#include "support/UdpCollector.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class AlarmBuilders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EmailMethodSettings& e = settings.EmailMethod;
        e.enable = true;
        e.ip = "mail.example";
        e.port = 25;
        e.mail_agent = "Quorvel";
        e.from_address = "ops@example";
        e.authenticate = true;
        e.username = "alice";
        e.password = "s3cret";
        e.timeout = 4000;

        SmsMethodSettings& m = settings.SmsMethod;
        m.enable = true;
        m.ip = "smsc.example";
        m.port = 2775;
        m.oa = "QUORVEL";
        m.authenticate = true;
        m.username = "smppuser";
        m.password = "pw";
        m.sms_version = 52;
        m.sms_system_type = "ALARM";
        m.sms_ton = 5;
        m.sms_npi = 0;
        m.sms_dest_ton = 1;
        m.sms_dest_npi = 1;
        m.sms_orig_ton = 5;
        m.sms_orig_npi = 9;
        m.timeout = 3000;

        HttpSmsMethodSettings& h = settings.HttpSmsMethod;
        h.enable = true;
        h.ip = "http://gw.example/send?to=$MSISDN&text=$MESSAGE";
        h.port = 80;
        h.method = "Get";
        h.field_msisdn = "msisdn";
        h.field_message = "text";
        h.timeout = 2500;

        SysLogMethodSettings& l = settings.SysLogMethod;
        l.enable = true;
        l.ip = "logs.example";
        l.port = 514;
        l.facility = 8;
        l.severity = 3;
        l.timeout = 1000;
    }

    // The settings the builders are given, as the loader fills them.
    AlarmMethodSettingsRecord settings;
};

template <typename T> T* as(const std::unique_ptr<ThreadAlarm>& item)
{
    return dynamic_cast<T*>(item.get());
}

TEST_F(AlarmBuilders, MethodsNotEnabledOrUnknownBuildNothing)
{
    settings.EmailMethod.enable = false;
    settings.SmsMethod.enable = false;
    settings.HttpSmsMethod.enable = false;
    settings.SysLogMethod.enable = false;
    for (const char* method : {"Email", "SMS", "SMS by HTTP", "SysLog", "SNMP", "email", ""}) {
        SCOPED_TRACE(method);
        EXPECT_EQ(BuildAlarm(settings, method, "text", "r"), nullptr);
    }
    settings.SysLogMethod.enable = true;
    EXPECT_EQ(BuildAlarm(settings, "SNMP", "text", "r"), nullptr);
    EXPECT_EQ(BuildAlarm(settings, "syslog", "text", "r"), nullptr) << "method names are compared exactly";
}

// One e-mail to every address of the recipient text, from the "Email" method.
TEST_F(AlarmBuilders, EmailBuildsOneMessageToAllRecipients)
{
    const auto item = BuildAlarm(settings, "Email", "[db:3306] Failed:refused", "a@x;b@y");
    ThreadSMTP* smtp = as<ThreadSMTP>(item);
    ASSERT_NE(smtp, nullptr);
    EXPECT_EQ(smtp->Method, "Email");
    EXPECT_EQ(smtp->Host, "mail.example");
    EXPECT_EQ(smtp->Port, 25);
    EXPECT_EQ(smtp->Timeout, 4000);
    EXPECT_EQ(smtp->MailAgent, "Quorvel");
    EXPECT_TRUE(smtp->AuthLogin);
    EXPECT_EQ(smtp->UserName, "alice");
    EXPECT_EQ(smtp->Password, "s3cret");
    EXPECT_FALSE(smtp->ConnectOnly);
    ASSERT_NE(smtp->Client, nullptr);
    ASSERT_NE(smtp->Message, nullptr);
    EXPECT_EQ(smtp->Message->Sender, "ops@example");
    EXPECT_EQ(smtp->Message->ReplyTo, "ops@example");
    EXPECT_EQ(smtp->Message->Recipients, QStringList({"a@x", "b@y"}));
    EXPECT_EQ(smtp->Message->Subject, "Alarming Message");
    EXPECT_EQ(smtp->Message->Body, "[db:3306] Failed:refused");
}

// One SMS to one number over SMPP, from the "SMS" method.
TEST_F(AlarmBuilders, SmsBuildsOneMessageToTheNumber)
{
    const auto item = BuildAlarm(settings, "SMS", "[db:3306] Failed:refused", "+491701234");
    ThreadSMS* sms = as<ThreadSMS>(item);
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(sms->Method, "SMS");
    EXPECT_EQ(sms->Host, "smsc.example");
    EXPECT_EQ(sms->Port, 2775);
    EXPECT_EQ(sms->Timeout, 3000);
    EXPECT_EQ(sms->SystemId, "smppuser");
    EXPECT_EQ(sms->Password, "pw");
    EXPECT_EQ(sms->OriginatingAddress, "QUORVEL");
    EXPECT_EQ(sms->Recipient, "+491701234");
    EXPECT_EQ(sms->Text, "[db:3306] Failed:refused");
    EXPECT_EQ(sms->InterfaceVersion, 0x52) << "52 names version 5.2";
    EXPECT_EQ(sms->SystemType, "ALARM");
    EXPECT_EQ(sms->BindTon, 5);
    EXPECT_EQ(sms->BindNpi, 0);
    EXPECT_EQ(sms->DestTon, 1);
    EXPECT_EQ(sms->DestNpi, 1);
    EXPECT_EQ(sms->OrigTon, 5);
    EXPECT_EQ(sms->OrigNpi, 9);
    EXPECT_NE(sms->Client, nullptr);

    settings.SmsMethod.authenticate = false;
    const auto anonymous = BuildAlarm(settings, "SMS", "x", "1");
    ASSERT_NE(as<ThreadSMS>(anonymous), nullptr);
    EXPECT_EQ(as<ThreadSMS>(anonymous)->SystemId, "");
    EXPECT_EQ(as<ThreadSMS>(anonymous)->Password, "");
}

TEST_F(AlarmBuilders, HttpSmsGetSubstitutesTheEncodedValues)
{
    const auto item = BuildAlarm(settings, "SMS by HTTP", "[a:1] Failed", "0170 1");
    ThreadURL* url = as<ThreadURL>(item);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->Method, "SMS by HTTP");
    EXPECT_EQ(url->RequestMethod, HttpMethod::Get);
    EXPECT_EQ(url->Url, "http://gw.example/send?to=0170+1&text=%5Ba%3A1%5D+Failed");
    EXPECT_TRUE(url->FormFields.isEmpty());
    EXPECT_EQ(url->Port, 80);
    EXPECT_EQ(url->Timeout, 2500);
    ASSERT_NE(url->Client, nullptr);
    EXPECT_EQ(url->Client->settings().userAgent, "html");
    EXPECT_TRUE(url->Client->settings().userName.isEmpty()) << "the gateway does not authenticate";
}

// Every method text but "Get" posts: number, text, then the extra field lines as loaded.
TEST_F(AlarmBuilders, HttpSmsPostFieldsInOrder)
{
    HttpSmsMethodSettings& h = settings.HttpSmsMethod;
    h.ip = "gw.example/post";
    h.authenticate = true;
    h.username = "gw";
    h.password = "pw";
    settings.HttpSmsExtraFields = QStringList({"api=1", "from=Q"});
    for (const char* method : {"Post", "POST", "get", ""}) {
        SCOPED_TRACE(method);
        h.method = method;
        const auto item = BuildAlarm(settings, "SMS by HTTP", "[a:1] Failed", "0170");
        ThreadURL* url = as<ThreadURL>(item);
        ASSERT_NE(url, nullptr);
        EXPECT_EQ(url->RequestMethod, HttpMethod::Post);
        EXPECT_EQ(url->Url, "http://gw.example/post");
        EXPECT_EQ(url->FormFields, QStringList({"msisdn=0170", "text=[a:1] Failed", "api=1", "from=Q"}));
        EXPECT_EQ(url->Client->settings().userName, "gw");
        EXPECT_EQ(url->Client->settings().password, "pw");
    }
}

// The collector comes from the method; the text gets ":" in front when it has a ":" after its
// first character.
TEST_F(AlarmBuilders, SysLogTextGetsTheColonRule)
{
    struct Case
    {
        QString text;
        QString sent;
    };
    const std::vector<Case> cases = {
        {"[a:1] Failed", ":[a:1] Failed"},
        {":first only", ":first only"},
        {"no colon", "no colon"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const auto item = BuildAlarm(settings, "SysLog", c.text, "ignored.example");
        ThreadSysLog* syslog = as<ThreadSysLog>(item);
        ASSERT_NE(syslog, nullptr);
        EXPECT_EQ(syslog->Method, "SysLog");
        EXPECT_EQ(syslog->Text, c.sent);
        EXPECT_EQ(syslog->Host, "logs.example");
        EXPECT_EQ(syslog->Port, 514);
        EXPECT_EQ(syslog->Facility, 8);
        EXPECT_EQ(syslog->Severity, 3);
        EXPECT_EQ(syslog->Timeout, 1000);
    }
}

// An item keeps the values it was built with when the settings are reloaded before it runs.
TEST_F(AlarmBuilders, BuiltItemsKeepTheirValuesAcrossAReload)
{
    UdpCollector collector;
    settings.SysLogMethod.ip = "127.0.0.1";
    settings.SysLogMethod.port = collector.port();
    auto item = BuildAlarm(settings, "SysLog", "[a:1] Failed", "127.0.0.1");
    ASSERT_NE(item, nullptr);

    settings = AlarmMethodSettingsRecord();
    settings.SysLogMethod.enable = true;
    settings.SysLogMethod.ip = "elsewhere.invalid";
    settings.SysLogMethod.facility = 23;

    const auto fixed = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
    const auto previous = SetClockSource([fixed] { return fixed; });
    item->Execute();
    SetClockSource(previous);
    EXPECT_EQ(item->ResultText, "Sent") << item->ResultDetail.toStdString();
    std::string datagram;
    ASSERT_TRUE(collector.receive(datagram));
    EXPECT_EQ(datagram, "<67>Mar  5 07:08:09 " + LocalIPv4Address() + " :[a:1] Failed");
}

} // namespace
