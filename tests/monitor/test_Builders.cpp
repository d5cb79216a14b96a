// One builder per check kind, shared by the scheduler and quorvel-probe: a stored service and the
// probe's command line for the same service give the same work item, field by field.
#include "EngineFixture.h"

#include "checks/ThreadCertCheckUnit.h"
#include "checks/ThreadDNSCheckUnit.h"
#include "checks/ThreadFTPCheckUnit.h"
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadPingCheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadTCPCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"
#include "core/comFunc.h"
#include "monitor/CheckBuilders.h"
#include "monitor/TlsPolicy.h"
#include "probe/ProbeCommands.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

QString yes(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

QString str(const std::string& s)
{
    return QString::fromStdString(s);
}

// Every field of a check work item, its client's configuration included, one "name=value" each.
QStringList fieldsOf(const ThreadCheck& c)
{
    QStringList f{
        "Kind=" + c.Kind(),
        "Origin=" + c.Origin,
        "ServiceId=" + QString::number(c.ServiceId),
        "Host=" + c.Host,
        "Port=" + QString::number(c.Port),
        "Retry=" + yes(c.Retry),
        "AlarmEmail=" + yes(c.AlarmEmail),
        "AlarmSmpp=" + yes(c.AlarmSmpp),
        "AlarmHttpSms=" + yes(c.AlarmHttpSms),
        "AlarmSyslog=" + yes(c.AlarmSyslog),
        "Timeout=" + QString::number(c.Timeout),
        "Passed=" + yes(c.Passed),
        "ResultText=" + c.ResultText,
        "ResultDetail=" + c.ResultDetail,
        "ResponseCode=" + QString::number(c.ResponseCode),
        "Id=" + QString::number(c.Id),
        "Status=" + QString::number(c.Status),
        "ErrorText=" + c.ErrorText,
        "Flags=" + QString::number(c.Flags),
        "Tls=" + str(c.Tls.caFile) + "," + yes(c.Tls.verify) + "," + QString::number(c.Tls.expiryWarnDays),
    };
    if (const auto* u = dynamic_cast<const ThreadURLCheck*>(&c)) {
        f << "Method=" + QString::fromLatin1(HttpMethodName(u->Method))
          << "FormFields=" + u->FormFields.join('|') << "Body=" + QString::fromUtf8(u->Body)
          << "Cookie=" + u->Cookie << "Expect=" + UrlExpectModeKey(u->Expect.Mode) + "," + u->Expect.Text;
        EXPECT_NE(u->Client, nullptr);
        if (u->Client) {
            const HttpClientSettings& s = u->Client->settings();
            f << "client.timeoutMs=" + QString::number(s.timeoutMs)
              << "client.maxRedirects=" + QString::number(s.maxRedirects) << "client.userName=" + s.userName
              << "client.password=" + s.password << "client.proxyHost=" + s.proxyHost
              << "client.proxyPort=" + QString::number(s.proxyPort)
              << "client.proxyUserName=" + s.proxyUserName << "client.proxyPassword=" + s.proxyPassword
              << "client.referer=" + s.referer << "client.userAgent=" + s.userAgent
              << "client.contentType=" + s.contentType << "client.accept=" + s.accept
              << "client.acceptCharset=" + s.acceptCharset << "client.acceptEncoding=" + s.acceptEncoding
              << "client.acceptLanguage=" + s.acceptLanguage << "client.cookie=" + s.cookie
              << "client.wholeBodyLimit=" + QString::number(s.wholeBodyLimit)
              << "client.tls=" + str(s.tls.caFile) + "," + yes(s.tls.verify) + "," +
                     QString::number(s.tls.expiryWarnDays);
        }
    } else if (const auto* p = dynamic_cast<const ThreadPingCheck*>(&c)) {
        f << "ReceivedBytes=" + QString::number(p->ReceivedBytes);
        EXPECT_NE(p->Client, nullptr);
        if (p->Client)
            f << "client.host=" + str(p->Client->host())
              << "client.port=" + QString::number(p->Client->port())
              << "client.timeout=" + QString::number(p->Client->timeout());
    } else if (const auto* m = dynamic_cast<const ThreadSMTPCheck*>(&c)) {
        EXPECT_NE(m->Client, nullptr);
        if (m->Client)
            f << "client.host=" + str(m->Client->host())
              << "client.port=" + QString::number(m->Client->port());
    } else if (const auto* pop = dynamic_cast<const ThreadPOP3Check*>(&c)) {
        EXPECT_NE(pop->Client, nullptr);
        f << "UserName=" + pop->UserName << "Password=" + pop->Password;
    } else if (const auto* imap = dynamic_cast<const ThreadIMAPCheck*>(&c)) {
        EXPECT_NE(imap->Client, nullptr);
        f << "UserName=" + imap->UserName << "Password=" + imap->Password;
    } else if (const auto* ftp = dynamic_cast<const ThreadFTPCheck*>(&c)) {
        f << "ProxyHost=" + ftp->ProxyHost << "ProxyPort=" + QString::number(ftp->ProxyPort)
          << "ProxyType=" + QString::number(static_cast<int>(ftp->ProxyType)) << "ProxyUser=" + ftp->ProxyUser
          << "ProxyPassword=" + ftp->ProxyPassword;
        EXPECT_NE(ftp->Client, nullptr);
        if (ftp->Client) {
            const FtpSettings& s = ftp->Client->settings();
            f << "client.host=" + str(s.host) << "client.port=" + QString::number(s.port)
              << "client.timeoutMs=" + QString::number(s.timeoutMs) << "client.userName=" + str(s.userName)
              << "client.password=" + str(s.password)
              << "client.proxyType=" + QString::number(static_cast<int>(s.proxyType))
              << "client.proxyHost=" + str(s.proxyHost) << "client.proxyPort=" + QString::number(s.proxyPort)
              << "client.proxyUser=" + str(s.proxyUser) << "client.proxyPassword=" + str(s.proxyPassword);
        }
    } else if (const auto* tcp = dynamic_cast<const ThreadTCPCheck*>(&c)) {
        f << "Send=" + tcp->Send << "Expect=" + tcp->Expect;
        EXPECT_NE(tcp->Socket, nullptr);
    } else if (const auto* dns = dynamic_cast<const ThreadDNSCheck*>(&c)) {
        f << "Type=" + dns->TypeText << "Expect=" + dns->Expect << "Server=" + dns->Server;
    } else if (const auto* cert = dynamic_cast<const ThreadCertCheck*>(&c)) {
        f << "StartTls=" + cert->StartTls;
    } else {
        ADD_FAILURE() << "unknown check class for kind " << c.Kind().toStdString();
    }
    return f;
}

const ProbeCommand& command(const QString& name)
{
    for (const ProbeCommand& c : ProbeCommands()) {
        if (c.name == name)
            return c;
    }
    throw std::logic_error("no probe command " + name.toStdString());
}

struct Case
{
    QString kind;    // column service
    QString command; // the probe's command
    QString ip;
    int port;
    QString columns;   // further columns of the service row, "name=value" joined by ","
    QStringList probe; // the probe's options for the same values
    bool urlRows;      // the service has service_url and service_url_detail rows
};

class BuildersTest : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        // A time-out of its own per kind, so a kind given another kind's setting shows.
        AppSettings.HTTPDefaultTimeout = 4101;
        AppSettings.PingDefaultTimeout = 4202;
        AppSettings.EmailDefaultTimeout = 4303;
        AppSettings.FTPDefaultTimeout = 4404;
        AppSettings.TCPDefaultTimeout = 4505;
        AppSettings.DNSDefaultTimeout = 4606;
        AppSettings.CertDefaultTimeout = 4707;
    }

    int timeoutOf(const QString& kind) const { return AppSettings.*FindCheckKind(kind)->TimeoutSetting; }
};

TEST_F(BuildersTest, ProbeAndSchedulerBuildTheSameItemForEveryKind)
{
    const QStringList credentials{"--user", "op", "--password", "pw\"1"};
    const QStringList proxy{"--proxy", "proxy.test:3128", "--proxy-user", "pu", "--proxy-password", "pp"};
    const QString proxyColumns = "proxy_ip=\"proxy.test\",proxy_port=3128,proxy_username=\"pu\","
                                 "proxy_password=\"pp\"";
    const std::vector<Case> cases = {
        {"URL", "url", "Www.Example.test:8080/a b?x=1", 80,
         "username=\"op\",password=\"pw\\\"1\",url_method=\"Post\"," + proxyColumns,
         credentials + proxy +
             QStringList{"--method",          "Post",        "--field",           "a=1",
                         "--field",           "b=two",       "--referer",         "ref",
                         "--cookie",          "c=1; path=/", "--user-agent",      "agent",
                         "--content-type",    "ct",          "--accept",          "acc",
                         "--accept-charset",  "cs",          "--accept-encoding", "enc",
                         "--accept-language", "lang",        "--expect-json",     "/a/0=\"x\""},
         true},
        {"URL", "url", "HTTP://upper.test/", 0, "url_method=\"Get\"", {}, false},
        {"Ping", "ping", "ping.test", 7, "", {}, false},
        {"SMTP", "smtp", "smtp.test", 2525, "username=\"op\",password=\"pw\\\"1\"", credentials, false},
        {"POP3", "pop3", "pop.test", 1110, "username=\"op\",password=\"pw\\\"1\"", credentials, false},
        {"IMAP", "imap", "imap.test", 1143, "username=\"op\",password=\"pw\\\"1\"", credentials, false},
        {"FTP", "ftp", "ftp.test", 2121,
         "username=\"op\",password=\"pw\\\"1\",ftp_proxytype=\"fpcmUserSite\"," + proxyColumns,
         credentials + proxy + QStringList{"--proxy-type", "fpcmUserSite"}, false},
        // Their own options are not stored yet: a stored row runs without them, as the probe
        // does when none are given.
        {"TCP", "tcp", "ssh.test", 22, "", {}, false},
        {"DNS", "dns", "example.test", 53, "", {}, false},
        {"Certificate", "cert", "www.example.test", 443, "", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.kind + " " + c.ip).toStdString());
        const int id = addService({c.kind, c.ip, c.port});
        if (!c.columns.isEmpty())
            m_dm->ExecUpdate("update service set " + c.columns + " where id=" + QString::number(id));
        if (c.urlRows) {
            m_dm->ExecUpdate(
                QString("insert into service_url (service_id,referer,cookie,userAgent,contentType,"
                        "accept,acceptCharSet,acceptEncoding,acceptLanguage) values (%1,\"ref\","
                        "\"c=1; path=/\",\"agent\",\"ct\",\"acc\",\"cs\",\"enc\",\"lang\")")
                    .arg(id));
            m_dm->ExecUpdate(
                QString("insert into service_url_expect (service_id,mode,expect_text) values (%1,\"json\","
                        "\"/a/0=\\\"x\\\"\")")
                    .arg(id));
            for (const char* field : {"(%1,\"a\",\"1\")", "(%1,\"b\",\"two\")"})
                m_dm->ExecUpdate("insert into service_url_detail (service_id,fieldname,fieldvalue) values " +
                                 QString::fromLatin1(field).arg(id));
        }

        // The scheduler's way: the stored row, read and built as QueueServiceCheck does.
        const std::unique_ptr<ThreadCheck> scheduled = engine->BuildServiceCheck(id, 0);
        ASSERT_NE(scheduled, nullptr);

        // The probe's way: its command line for the same service.
        QStringList arguments = c.probe;
        arguments << "--port" << QString::number(c.port) << "--timeout" << QString::number(timeoutOf(c.kind))
                  << c.ip;
        const ProbeInvocation in = ParseProbeArguments(command(c.command), arguments);
        const std::unique_ptr<ThreadCheck> probed = BuildProbeCheck(c.kind, in);
        ASSERT_NE(probed, nullptr);

        // The probe's service is not stored: id 0; everything else is equal.
        EXPECT_EQ(scheduled->ServiceId, id);
        EXPECT_EQ(probed->ServiceId, 0);
        QStringList a = fieldsOf(*scheduled);
        QStringList b = fieldsOf(*probed);
        a.removeAll("ServiceId=" + QString::number(id));
        b.removeAll("ServiceId=0");
        EXPECT_EQ(a, b);
        EXPECT_TRUE(a.contains("Timeout=" + QString::number(timeoutOf(c.kind))));
        EXPECT_TRUE(a.contains("Kind=" + c.kind));
        EXPECT_TRUE(a.contains("Origin=Product"));
    }
}

// The values the two paths must agree on also have to be the right ones; spot-check the URL item.
TEST_F(BuildersTest, UrlItemCarriesTheStoredRequest)
{
    ServiceRecord s;
    s.Id = 12;
    s.Service = "URL";
    s.Ip = "example.test/login";
    s.Port = 8080;
    s.UrlMethod = "Post";
    s.AlarmEmail = s.AlarmSyslog = true;
    s.UrlRequest.PostFields = {{"user", "a"}, {"pass", "b"}};
    s.UrlRequest.Cookie = "sid=1";
    const auto item = BuildCheck(s, ProductCheckSettings(*FindCheckKind("URL"), AppSettings, 1));
    const auto* url = dynamic_cast<ThreadURLCheck*>(item.get());
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->Host, "http://example.test/login");
    EXPECT_EQ(url->Port, 8080);
    EXPECT_EQ(url->Method, HttpMethod::Post);
    EXPECT_EQ(url->Body, QByteArray("user=a\r\npass=b\r\n"));
    EXPECT_EQ(url->Cookie, "sid=1");
    EXPECT_TRUE(url->Retry);
    EXPECT_TRUE(url->AlarmEmail);
    EXPECT_FALSE(url->AlarmSmpp);
    EXPECT_TRUE(url->AlarmSyslog);
    EXPECT_EQ(url->Timeout, 4101);
}

// The TCP, DNS and Certificate options of a service reach their items, from a record and from the probe's
// command line alike.
TEST_F(BuildersTest, TcpAndDnsItemsCarryTheirOptions)
{
    ServiceRecord s;
    s.Id = 21;
    s.Service = "TCP";
    s.Ip = "ssh.test";
    s.Port = 22;
    s.TcpSend = "HELLO";
    s.TcpExpect = "SSH-2.0";
    const auto tcpItem = BuildCheck(s, ProductCheckSettings(*FindCheckKind("TCP"), AppSettings, 1));
    const auto* tcp = dynamic_cast<ThreadTCPCheck*>(tcpItem.get());
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->Send, "HELLO");
    EXPECT_EQ(tcp->Expect, "SSH-2.0");
    EXPECT_EQ(tcp->Timeout, 4505);
    EXPECT_TRUE(tcp->Retry);

    s.Service = "DNS";
    s.Ip = "example.test";
    s.Port = 5353;
    s.DnsType = "MX";
    s.DnsExpect = "10 mail.example.test";
    s.DnsServer = "192.0.2.53";
    const auto dnsItem = BuildCheck(s, ProductCheckSettings(*FindCheckKind("DNS"), AppSettings, 0));
    const auto* dns = dynamic_cast<ThreadDNSCheck*>(dnsItem.get());
    ASSERT_NE(dns, nullptr);
    EXPECT_EQ(dns->Host, "example.test");
    EXPECT_EQ(dns->Port, 5353);
    EXPECT_EQ(dns->TypeText, "MX");
    EXPECT_EQ(dns->Expect, "10 mail.example.test");
    EXPECT_EQ(dns->Server, "192.0.2.53");
    EXPECT_EQ(dns->Timeout, 4606);
    EXPECT_FALSE(dns->Retry);

    const auto probedTcp =
        BuildProbeCheck("TCP", ParseProbeArguments(command("tcp"), {"--port", "22", "--send", "HELLO",
                                                                    "--expect", "SSH-2.0", "ssh.test"}));
    const auto* pt = dynamic_cast<ThreadTCPCheck*>(probedTcp.get());
    ASSERT_NE(pt, nullptr);
    EXPECT_EQ(pt->Send, "HELLO");
    EXPECT_EQ(pt->Expect, "SSH-2.0");
    const auto probedDns =
        BuildProbeCheck("DNS", ParseProbeArguments(command("dns"), {"--server", "192.0.2.53", "--port",
                                                                    "5353", "--type", "MX", "--expect",
                                                                    "10 mail.example.test", "example.test"}));
    const auto* pd = dynamic_cast<ThreadDNSCheck*>(probedDns.get());
    ASSERT_NE(pd, nullptr);
    EXPECT_EQ(pd->Port, 5353);
    EXPECT_EQ(pd->TypeText, "MX");
    EXPECT_EQ(pd->Expect, "10 mail.example.test");
    EXPECT_EQ(pd->Server, "192.0.2.53");

    s.Service = "Certificate";
    s.Ip = "mail.example.test";
    s.Port = 110;
    s.CertStartTls = "pop3";
    const auto certItem = BuildCheck(s, ProductCheckSettings(*FindCheckKind("Certificate"), AppSettings, 0));
    const auto* cert = dynamic_cast<ThreadCertCheck*>(certItem.get());
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->StartTls, "pop3");
    EXPECT_EQ(cert->Timeout, 4707);
    const auto probedCert = BuildProbeCheck(
        "Certificate", ParseProbeArguments(command("cert"), {"--starttls", "IMAP", "mail.example.test"}));
    const auto* pc = dynamic_cast<ThreadCertCheck*>(probedCert.get());
    ASSERT_NE(pc, nullptr);
    EXPECT_EQ(pc->StartTls, "imap");
}

// The certificate policy of [tls] reaches every check, whoever builds it; alarms get it without
// the expiry warning. The probe's options give the same policy.
TEST_F(BuildersTest, CertificatePolicyComesFromTheSettings)
{
    AppSettings.TlsCAFile = "/etc/quorvel/internal-ca.pem";
    AppSettings.TlsVerify = false;
    AppSettings.TlsExpiryWarnDays = 30;
    ServiceRecord s;
    s.Ip = "secure.test";
    s.Port = 993;
    for (const CheckKind& kind : CheckKinds()) {
        SCOPED_TRACE(kind.Name);
        s.Service = kind.Name;
        for (const CheckBuildSettings& settings :
             {ProductCheckSettings(kind, AppSettings, 0), SetupCheckSettings(kind, AppSettings)}) {
            const auto item = BuildCheck(s, settings);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->Tls.caFile, "/etc/quorvel/internal-ca.pem");
            EXPECT_FALSE(item->Tls.verify);
            EXPECT_EQ(item->Tls.expiryWarnDays, 30);
        }
    }
    const TlsOptions alarms = AlarmTlsOptions(AppSettings);
    EXPECT_EQ(alarms.caFile, "/etc/quorvel/internal-ca.pem");
    EXPECT_FALSE(alarms.verify);
    EXPECT_EQ(alarms.expiryWarnDays, 0);
    AppSettings.TlsExpiryWarnDays = 0;
    EXPECT_EQ(CheckTlsOptions(AppSettings).expiryWarnDays, 0);

    const ProbeInvocation in =
        ParseProbeArguments(command("imap"), {"--ca-file", "/etc/quorvel/internal-ca.pem", "--no-verify",
                                              "--expiry-warn-days", "30", "secure.test"});
    const auto probed = BuildProbeCheck("IMAP", in);
    ASSERT_NE(probed, nullptr);
    EXPECT_EQ(probed->Tls.caFile, "/etc/quorvel/internal-ca.pem");
    EXPECT_FALSE(probed->Tls.verify);
    EXPECT_EQ(probed->Tls.expiryWarnDays, 30);
    const auto defaults =
        BuildProbeCheck("URL", ParseProbeArguments(command("url"), {"https://secure.test/"}));
    EXPECT_EQ(defaults->Tls.caFile, "");
    EXPECT_TRUE(defaults->Tls.verify);
    EXPECT_EQ(defaults->Tls.expiryWarnDays, 14);
}

// A wizard test speaks for no stored service, whatever the record holds; kinds not checked build
// nothing; the table gives each kind its own retry and time-out setting.
TEST_F(BuildersTest, SetupChecksAndTheTableOfKinds)
{
    ServiceRecord s;
    s.Id = 5;
    s.Service = "POP3";
    s.Ip = "pop.test";
    s.AlarmEmail = s.AlarmSmpp = s.AlarmHttpSms = s.AlarmSyslog = true;
    CheckBuildSettings setup = SetupCheckSettings(*FindCheckKind("POP3"), AppSettings);
    setup.Retry = 1;
    const auto item = BuildCheck(s, setup);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Origin, "Setup");
    EXPECT_EQ(item->ServiceId, 0);
    EXPECT_FALSE(item->Retry);
    EXPECT_FALSE(item->AlarmEmail || item->AlarmSmpp || item->AlarmHttpSms || item->AlarmSyslog);
    EXPECT_EQ(item->Timeout, 4303);

    for (const char* none : {"Database", "MQ", "url", ""}) {
        s.Service = none;
        EXPECT_EQ(BuildCheck(s, setup), nullptr) << none;
    }

    struct Expect
    {
        const char* kind;
        int AppSettingsRecord::*retry;
        int AppSettingsRecord::*timeout;
    };
    const std::vector<Expect> table = {
        {"URL", &AppSettingsRecord::HTTPRetry, &AppSettingsRecord::HTTPDefaultTimeout},
        {"Ping", &AppSettingsRecord::PingRetry, &AppSettingsRecord::PingDefaultTimeout},
        {"SMTP", &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout},
        {"POP3", &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout},
        {"IMAP", &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout},
        {"FTP", &AppSettingsRecord::FTPRetry, &AppSettingsRecord::FTPDefaultTimeout},
        {"TCP", &AppSettingsRecord::TCPRetry, &AppSettingsRecord::TCPDefaultTimeout},
        {"DNS", &AppSettingsRecord::DNSRetry, &AppSettingsRecord::DNSDefaultTimeout},
        {"Certificate", &AppSettingsRecord::CertRetry, &AppSettingsRecord::CertDefaultTimeout},
    };
    ASSERT_EQ(CheckKinds().size(), table.size());
    for (const Expect& e : table) {
        const CheckKind* kind = FindCheckKind(e.kind);
        ASSERT_NE(kind, nullptr) << e.kind;
        EXPECT_EQ(kind->RetrySetting, e.retry) << e.kind;
        EXPECT_EQ(kind->TimeoutSetting, e.timeout) << e.kind;
        s.Service = e.kind;
        EXPECT_EQ(kind->Build(s, setup)->Kind(), e.kind);
    }
}

} // namespace
