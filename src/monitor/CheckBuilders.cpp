// The builders of the check work items: what the scheduler puts into a check for one stored
// service row.
#include "monitor/MonitorEngine.h"

#include "checks/ThreadURLCheck.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"

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
    return args;
}

} // namespace

QString CheckKindName(const ThreadCheck& check)
{
    if (dynamic_cast<const ThreadURLCheck*>(&check))
        return QString::fromLatin1(lang::KindURL);
    return QString();
}

std::unique_ptr<ThreadCheck> BuildURLCheck(const QSqlRecord& row, int retry)
{
    ThreadCheckArgs args = commonArgs(row, retry, AppSettings.HTTPDefaultTimeout);
    args.Host = ThreadURLCheck::UrlOf(args.Host);
    URLCheckArgs url;
    url.Method = text(row, "url_method");
    url.UserName = text(row, "username");
    url.Password = text(row, "password");
    url.ProxyHost = text(row, "proxy_ip");
    url.ProxyPort = number(row, "proxy_port");
    url.ProxyUserName = text(row, "proxy_username");
    url.ProxyPassword = text(row, "proxy_password");

    const QString id = QString::number(args.ServiceId);
    QSqlQuery query(DMQuorvel().SQLConnection);
    if (query.exec(QStringLiteral("select * from service_url where service_id=") + id) && query.next()) {
        const QSqlRecord h = query.record();
        url.Referer = text(h, "referer");
        url.Cookie = text(h, "cookie");
        url.UserAgent = text(h, "userAgent");
        url.ContentType = text(h, "contentType");
        url.Accept = text(h, "accept");
        url.AcceptCharSet = text(h, "acceptCharSet");
        url.AcceptEncoding = text(h, "acceptEncoding");
        url.AcceptLanguage = text(h, "acceptLanguage");
    }
    if (query.exec(QStringLiteral("select * from service_url_detail where service_id=") + id)) {
        while (query.next())
            url.FormFields << query.value(QStringLiteral("fieldname")).toString() + QLatin1Char('=') +
                                  query.value(QStringLiteral("fieldvalue")).toString();
    }
    url.Body = URLCheckArgs::BodyOf(url.FormFields);
    return std::make_unique<ThreadURLCheck>(args, url);
}

std::unique_ptr<ThreadCheck> BuildPingCheck(const QSqlRecord&, int)
{
    return nullptr;
}

std::unique_ptr<ThreadCheck> BuildSMTPCheck(const QSqlRecord&, int)
{
    return nullptr;
}

std::unique_ptr<ThreadCheck> BuildPOP3Check(const QSqlRecord&, int)
{
    return nullptr;
}

std::unique_ptr<ThreadCheck> BuildIMAPCheck(const QSqlRecord&, int)
{
    return nullptr;
}

std::unique_ptr<ThreadCheck> BuildFTPCheck(const QSqlRecord&, int)
{
    return nullptr;
}
