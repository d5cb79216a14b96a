#include "monitor/ServiceRecord.h"

#include "database/DataModuleQuorvel.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
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

void run(QSqlQuery& query, const QString& sql)
{
    if (!query.exec(sql))
        throw DatabaseError(query.lastError().text().trimmed());
}

} // namespace

bool AlarmColumnFlag(const QString& text)
{
    return !text.isEmpty() && QStringLiteral("TtYy").contains(text.at(0));
}

ServiceRecord ServiceRecordFromRow(const QSqlRecord& row)
{
    ServiceRecord r;
    r.Id = number(row, "id");
    r.Service = text(row, "service");
    r.Ip = text(row, "ip");
    r.Port = number(row, "port");
    r.UserName = text(row, "username");
    r.Password = text(row, "password");
    r.ProxyIp = text(row, "proxy_ip");
    r.ProxyPort = number(row, "proxy_port");
    r.ProxyUserName = text(row, "proxy_username");
    r.ProxyPassword = text(row, "proxy_password");
    r.UrlMethod = text(row, "url_method");
    r.FtpProxyType = text(row, "ftp_proxytype");
    r.AlarmEmail = AlarmColumnFlag(text(row, "alarm_email"));
    r.AlarmSmpp = AlarmColumnFlag(text(row, "alarm_smpp"));
    r.AlarmHttpSms = AlarmColumnFlag(text(row, "alarm_httpsms"));
    r.AlarmSyslog = AlarmColumnFlag(text(row, "alarm_syslog"));
    return r;
}

QHash<int, ServiceUrlRequest> LoadUrlRequests(const QList<int>& serviceIds)
{
    QHash<int, ServiceUrlRequest> data;
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
    run(query, QStringLiteral("select * from service_url where service_id") + condition);
    QSet<int> seen;
    while (query.next()) {
        const QSqlRecord h = query.record();
        const int id = number(h, "service_id");
        if (seen.contains(id))
            continue; // one row per service; the first one counts
        seen.insert(id);
        ServiceUrlRequest& url = data[id];
        url.Referer = text(h, "referer");
        url.Cookie = text(h, "cookie");
        url.UserAgent = text(h, "userAgent");
        url.ContentType = text(h, "contentType");
        url.Accept = text(h, "accept");
        url.AcceptCharSet = text(h, "acceptCharSet");
        url.AcceptEncoding = text(h, "acceptEncoding");
        url.AcceptLanguage = text(h, "acceptLanguage");
    }
    run(query, QStringLiteral("select * from service_url_detail where service_id") + condition);
    while (query.next()) {
        data[query.value(QStringLiteral("service_id")).toInt()].FormFields
            << query.value(QStringLiteral("fieldname")).toString() + QLatin1Char('=') +
                   query.value(QStringLiteral("fieldvalue")).toString();
    }
    return data;
}
