#include "monitor/CheckBuilders.h"

#include "checks/ThreadCertCheckUnit.h"
#include "checks/ThreadDNSCheckUnit.h"
#include "checks/ThreadFTPCheckUnit.h"
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadPingCheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadTCPCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"
#include "core/langLibrary.h"
#include "monitor/TlsPolicy.h"

namespace {

bool isSetup(const CheckBuildSettings& settings)
{
    return settings.Origin == QLatin1String(lang::OriginSetup);
}

ThreadCheckArgs commonArgs(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    const bool setup = isSetup(settings);
    ThreadCheckArgs args;
    args.Origin = settings.Origin;
    args.ServiceId = setup ? 0 : service.Id;
    args.Host = service.Ip;
    args.Port = service.Port;
    args.Retry = !setup && settings.Retry > 0 ? 1 : 0;
    args.Timeout = settings.Timeout;
    args.AlarmEmail = !setup && service.AlarmEmail;
    args.AlarmSmpp = !setup && service.AlarmSmpp;
    args.AlarmHttpSms = !setup && service.AlarmHttpSms;
    args.AlarmSyslog = !setup && service.AlarmSyslog;
    args.Tls = settings.Tls;
    return args;
}

} // namespace

const std::vector<CheckKind>& CheckKinds()
{
    static const std::vector<CheckKind> kinds = {
        {lang::KindURL, &AppSettingsRecord::HTTPRetry, &AppSettingsRecord::HTTPDefaultTimeout, BuildURLCheck},
        {lang::KindSMTP, &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout,
         BuildSMTPCheck},
        {lang::KindPOP3, &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout,
         BuildPOP3Check},
        {lang::KindIMAP, &AppSettingsRecord::EmailRetry, &AppSettingsRecord::EmailDefaultTimeout,
         BuildIMAPCheck},
        {lang::KindPing, &AppSettingsRecord::PingRetry, &AppSettingsRecord::PingDefaultTimeout,
         BuildPingCheck},
        {lang::KindFTP, &AppSettingsRecord::FTPRetry, &AppSettingsRecord::FTPDefaultTimeout, BuildFTPCheck},
        {lang::KindTCP, &AppSettingsRecord::TCPRetry, &AppSettingsRecord::TCPDefaultTimeout, BuildTCPCheck},
        {lang::KindDNS, &AppSettingsRecord::DNSRetry, &AppSettingsRecord::DNSDefaultTimeout, BuildDNSCheck},
        {lang::KindCert, &AppSettingsRecord::CertRetry, &AppSettingsRecord::CertDefaultTimeout,
         BuildCertCheck},
    };
    return kinds;
}

const CheckKind* FindCheckKind(const QString& name)
{
    for (const CheckKind& kind : CheckKinds()) {
        if (name == QLatin1String(kind.Name))
            return &kind;
    }
    return nullptr;
}

CheckBuildSettings ProductCheckSettings(const CheckKind& kind, const AppSettingsRecord& settings, int retry)
{
    CheckBuildSettings s;
    s.Origin = QString::fromLatin1(lang::OriginProduct);
    s.Retry = retry;
    s.Timeout = settings.*kind.TimeoutSetting;
    s.Tls = CheckTlsOptions(settings);
    return s;
}

CheckBuildSettings SetupCheckSettings(const CheckKind& kind, const AppSettingsRecord& settings)
{
    CheckBuildSettings s;
    s.Origin = QString::fromLatin1(lang::OriginSetup);
    s.Retry = 0;
    s.Timeout = settings.*kind.TimeoutSetting;
    s.Tls = CheckTlsOptions(settings);
    return s;
}

std::unique_ptr<ThreadCheck> BuildCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    const CheckKind* kind = FindCheckKind(service.Service);
    return kind ? kind->Build(service, settings) : nullptr;
}

std::unique_ptr<ThreadCheck> BuildURLCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    ThreadCheckArgs args = commonArgs(service, settings);
    args.Host = ThreadURLCheck::UrlOf(service.Ip);
    const ServiceUrlRequest& request = service.UrlRequest;
    URLCheckArgs url;
    url.Method = service.UrlMethod;
    url.FormFields = request.FormFields();
    url.Body = URLCheckArgs::BodyOf(url.FormFields);
    url.UserName = service.UserName;
    url.Password = service.Password;
    url.ProxyHost = service.ProxyIp;
    url.ProxyPort = service.ProxyPort;
    url.ProxyUserName = service.ProxyUserName;
    url.ProxyPassword = service.ProxyPassword;
    url.Referer = request.Referer;
    url.Cookie = request.Cookie;
    url.UserAgent = request.UserAgent;
    url.ContentType = request.ContentType;
    url.Accept = request.Accept;
    url.AcceptCharSet = request.AcceptCharSet;
    url.AcceptEncoding = request.AcceptEncoding;
    url.AcceptLanguage = request.AcceptLanguage;
    url.Expect.Mode = UrlExpectModeFromKey(request.ExpectMode);
    url.Expect.Text = request.ExpectText;
    return std::make_unique<ThreadURLCheck>(args, url);
}

std::unique_ptr<ThreadCheck> BuildPingCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    return std::make_unique<ThreadPingCheck>(commonArgs(service, settings));
}

std::unique_ptr<ThreadCheck> BuildSMTPCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    return std::make_unique<ThreadSMTPCheck>(commonArgs(service, settings), service.UserName,
                                             service.Password);
}

std::unique_ptr<ThreadCheck> BuildPOP3Check(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    return std::make_unique<ThreadPOP3Check>(commonArgs(service, settings), service.UserName,
                                             service.Password);
}

std::unique_ptr<ThreadCheck> BuildIMAPCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    return std::make_unique<ThreadIMAPCheck>(commonArgs(service, settings), service.UserName,
                                             service.Password);
}

std::unique_ptr<ThreadCheck> BuildFTPCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    FtpCheckArgs ftp;
    ftp.UserName = service.UserName;
    ftp.Password = service.Password;
    ftp.ProxyHost = service.ProxyIp;
    ftp.ProxyPort = service.ProxyPort;
    ftp.ProxyType = service.FtpProxyType;
    ftp.ProxyUser = service.ProxyUserName;
    ftp.ProxyPassword = service.ProxyPassword;
    return std::make_unique<ThreadFTPCheck>(commonArgs(service, settings), ftp);
}

std::unique_ptr<ThreadCheck> BuildTCPCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    TcpCheckArgs tcp;
    tcp.Send = service.TcpSend;
    tcp.Expect = service.TcpExpect;
    return std::make_unique<ThreadTCPCheck>(commonArgs(service, settings), tcp);
}

std::unique_ptr<ThreadCheck> BuildDNSCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    DnsCheckArgs dns;
    dns.Type = service.DnsType;
    dns.Expect = service.DnsExpect;
    dns.Server = service.DnsServer;
    return std::make_unique<ThreadDNSCheck>(commonArgs(service, settings), dns);
}

std::unique_ptr<ThreadCheck> BuildCertCheck(const ServiceRecord& service, const CheckBuildSettings& settings)
{
    CertCheckArgs cert;
    cert.StartTls = service.CertStartTls;
    return std::make_unique<ThreadCertCheck>(commonArgs(service, settings), cert);
}
