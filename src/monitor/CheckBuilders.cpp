// The builders of the check work items: what the scheduler puts into a check for one stored
// service row.
#include "monitor/MonitorEngine.h"

#include "checks/ThreadFTPCheckUnit.h"
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadPingCheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadURLCheckUnit.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/TlsPolicy.h"

#include <QSet>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString text(const QSqlRecord& row, const char* column)
{
    return row.value(QString::fromLatin1(column)).toString();
}

int number(const QSqlRecord& row, const char* column)
{
    return row.value(QString::fromLatin1(column)).toInt();
}

// An alarm column is on when its text starts with "T", "t", "Y" or "y".
bool alarmFlag(const QSqlRecord& row, const char* column)
{
    const QString t = text(row, column);
    return !t.isEmpty() && QStringLiteral("TtYy").contains(t.at(0));
}

ThreadCheckArgs commonArgs(const QSqlRecord& row, int retry, int timeout)
{
    ThreadCheckArgs args;
    args.Origin = QString::fromLatin1(lang::OriginProduct);
    args.ServiceId = number(row, "id");
    args.Host = text(row, "ip");
    args.Port = number(row, "port");
    args.Retry = retry > 0 ? 1 : 0;
    args.Timeout = timeout;
    args.AlarmEmail = alarmFlag(row, "alarm_email");
    args.AlarmSmpp = alarmFlag(row, "alarm_smpp");
    args.AlarmHttpSms = alarmFlag(row, "alarm_httpsms");
    args.AlarmSyslog = alarmFlag(row, "alarm_syslog");
    args.Tls = CheckTlsOptions();
    return args;
}

} // namespace

QString CheckKindName(const ThreadCheck& check)
{
    if (dynamic_cast<const ThreadURLCheck*>(&check))
        return QString::fromLatin1(lang::KindURL);
    if (dynamic_cast<const ThreadSMTPCheck*>(&check))
        return QString::fromLatin1(lang::KindSMTP);
    if (dynamic_cast<const ThreadPOP3Check*>(&check))
        return QString::fromLatin1(lang::KindPOP3);
    if (dynamic_cast<const ThreadIMAPCheck*>(&check))
        return QString::fromLatin1(lang::KindIMAP);
    if (dynamic_cast<const ThreadPingCheck*>(&check))
        return QString::fromLatin1(lang::KindPing);
    if (dynamic_cast<const ThreadFTPCheck*>(&check))
        return QString::fromLatin1(lang::KindFTP);
    return QString();
}

UrlRequestData LoadUrlRequestData(const QList<int>& serviceIds)
{
    UrlRequestData data;
    if (serviceIds.isEmpty())
        return data;
    QStringList ids;
    for (int id : serviceIds) {
        ids << QString::number(id);
        data[id];
    }
    const QString condition = serviceIds.size() == 1
                                  ? QStringLiteral("=") + ids.first()
                                  : QStringLiteral(" in (") + ids.join(QLatin1Char(',')) + QLatin1Char(')');
    QSqlQuery query(DMQuorvel().SQLConnection);
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral("select * from service_url where service_id") + condition)) {
        QSet<int> seen;
        while (query.next()) {
            const QSqlRecord h = query.record();
            const int id = number(h, "service_id");
            if (seen.contains(id))
                continue; // one row per service; the first one counts
            seen.insert(id);
            URLCheckArgs& url = data[id];
            url.Referer = text(h, "referer");
            url.Cookie = text(h, "cookie");
            url.UserAgent = text(h, "userAgent");
            url.ContentType = text(h, "contentType");
            url.Accept = text(h, "accept");
            url.AcceptCharSet = text(h, "acceptCharSet");
            url.AcceptEncoding = text(h, "acceptEncoding");
            url.AcceptLanguage = text(h, "acceptLanguage");
        }
    }
    if (query.exec(QStringLiteral("select * from service_url_detail where service_id") + condition)) {
        while (query.next()) {
            data[query.value(QStringLiteral("service_id")).toInt()].FormFields
                << query.value(QStringLiteral("fieldname")).toString() + QLatin1Char('=') +
                       query.value(QStringLiteral("fieldvalue")).toString();
        }
    }
    return data;
}

std::unique_ptr<ThreadCheck> BuildURLCheck(const QSqlRecord& row, int retry, const URLCheckArgs& request)
{
    ThreadCheckArgs args = commonArgs(row, retry, AppSettings.HTTPDefaultTimeout);
    args.Host = ThreadURLCheck::UrlOf(args.Host);
    URLCheckArgs url = request;
    url.Method = text(row, "url_method");
    url.UserName = text(row, "username");
    url.Password = text(row, "password");
    url.ProxyHost = text(row, "proxy_ip");
    url.ProxyPort = number(row, "proxy_port");
    url.ProxyUserName = text(row, "proxy_username");
    url.ProxyPassword = text(row, "proxy_password");
    url.Body = URLCheckArgs::BodyOf(url.FormFields);
    return std::make_unique<ThreadURLCheck>(args, url);
}

std::unique_ptr<ThreadCheck> BuildPingCheck(const QSqlRecord& row, int retry)
{
    return std::make_unique<ThreadPingCheck>(commonArgs(row, retry, AppSettings.PingDefaultTimeout));
}

std::unique_ptr<ThreadCheck> BuildSMTPCheck(const QSqlRecord& row, int retry)
{
    return std::make_unique<ThreadSMTPCheck>(commonArgs(row, retry, AppSettings.EmailDefaultTimeout),
                                             text(row, "username"), text(row, "password"));
}

std::unique_ptr<ThreadCheck> BuildPOP3Check(const QSqlRecord& row, int retry)
{
    return std::make_unique<ThreadPOP3Check>(commonArgs(row, retry, AppSettings.EmailDefaultTimeout),
                                             text(row, "username"), text(row, "password"));
}

std::unique_ptr<ThreadCheck> BuildIMAPCheck(const QSqlRecord& row, int retry)
{
    return std::make_unique<ThreadIMAPCheck>(commonArgs(row, retry, AppSettings.EmailDefaultTimeout),
                                             text(row, "username"), text(row, "password"));
}

std::unique_ptr<ThreadCheck> BuildFTPCheck(const QSqlRecord& row, int retry)
{
    FtpCheckArgs ftp;
    ftp.UserName = text(row, "username");
    ftp.Password = text(row, "password");
    ftp.ProxyHost = text(row, "proxy_ip");
    ftp.ProxyPort = number(row, "proxy_port");
    ftp.ProxyType = text(row, "ftp_proxytype");
    ftp.ProxyUser = text(row, "proxy_username");
    ftp.ProxyPassword = text(row, "proxy_password");
    return std::make_unique<ThreadFTPCheck>(commonArgs(row, retry, AppSettings.FTPDefaultTimeout), ftp);
}
