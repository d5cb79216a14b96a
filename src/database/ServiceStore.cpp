#include "database/ServiceStore.h"

#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "database/dbcomFunc.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

using Assignments = QList<std::pair<const char*, QString>>;

QString text(const QSqlRecord& row, const char* column)
{
    return row.value(QString::fromLatin1(column)).toString();
}

int integer(const QSqlRecord& row, const char* column)
{
    return row.value(QString::fromLatin1(column)).toInt();
}

void run(QSqlQuery& query, const QString& sql)
{
    if (!query.exec(sql))
        throw DatabaseError(query.lastError().text().trimmed());
}

QString number(int value)
{
    return QString::number(value);
}

QString flagText(bool on)
{
    return on ? QStringLiteral("y") : QStringLiteral("n");
}

QString joinValues(const QStringList& values)
{
    return values.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString assignments(const Assignments& pairs)
{
    QStringList parts;
    for (const auto& [column, value] : pairs)
        parts << QString::fromLatin1(column) + QLatin1Char('=') + value;
    return parts.join(QLatin1Char(','));
}

bool isUrl(const QString& service)
{
    return KindOfService(service) == QLatin1String(lang::KindURL);
}

// The four alarm columns in table order, as the record holds them.
const std::pair<const char*, bool ServiceRecord::*> kAlarmColumns[] = {
    {"alarm_email", &ServiceRecord::AlarmEmail},
    {"alarm_smpp", &ServiceRecord::AlarmSmpp},
    {"alarm_httpsms", &ServiceRecord::AlarmHttpSms},
    {"alarm_syslog", &ServiceRecord::AlarmSyslog},
};

// The alarm assignments of an update: a column whose flag is unchanged keeps its stored text.
Assignments alarmAssignments(const ServiceRecord& s, const QSqlRecord* stored)
{
    Assignments set;
    for (const auto& [column, member] : kAlarmColumns) {
        const bool on = s.*member;
        const QString storedText = stored ? text(*stored, column) : QString();
        const bool keep = stored && AlarmColumnFlag(storedText) == on;
        set.append({column, QuoteSqlText(keep ? storedText : flagText(on))});
    }
    return set;
}

QString updateStatement(const ServiceRecord& s, int id, const QSqlRecord* stored)
{
    const QString kind = KindOfService(s.Service);
    const QString status = s.Status.isEmpty() && stored ? text(*stored, "status") : s.Status;
    Assignments set{{"status", QuoteSqlText(status)},
                    {"service", QuoteSqlText(s.Service)},
                    {"ip", QuoteSqlText(s.Ip)},
                    {"port", number(s.Port)}};
    const Assignments login{{"username", QuoteSqlText(s.UserName)}, {"password", QuoteSqlText(s.Password)}};
    const Assignments schedule{{"schedule_by", QuoteSqlText(s.ScheduleBy)},
                               {"schedule_hour", QuoteSqlText(s.ScheduleHour)},
                               {"schedule_minute", QuoteSqlText(s.ScheduleMinute)}};
    const Assignments proxy{{"proxy_ip", QuoteSqlText(s.ProxyIp)},
                            {"proxy_port", number(s.ProxyPort)},
                            {"proxy_username", QuoteSqlText(s.ProxyUserName)},
                            {"proxy_password", QuoteSqlText(s.ProxyPassword)}};
    if (kind == QLatin1String(lang::KindURL)) {
        set << login << schedule << proxy;
        set.append({"url_method", QuoteSqlText(s.UrlMethod)});
    } else if (kind == QLatin1String(lang::KindEmail)) {
        set << login << schedule;
    } else if (kind == QLatin1String(lang::KindPing) || HasCheckOptions(s.Service)) {
        set << schedule;
    } else if (kind == QLatin1String(lang::KindFTP)) {
        set << login << schedule;
        set.append({"ftp_proxytype", QuoteSqlText(s.FtpProxyType)});
        set << proxy;
    } else {
        throw DatabaseError(QStringLiteral("No statement for the service kind \"%1\".").arg(s.Service));
    }
    set << alarmAssignments(s, stored);
    return QStringLiteral("update service set ") + assignments(set) + QStringLiteral(" where id=") +
           number(id);
}

void writePostFields(TDMQuorvel& dm, int id, const ServiceRecord& s)
{
    for (const auto& [name, value] : s.UrlRequest.PostFields)
        dm.ExecUpdate(ServiceStore::InsertPostFieldStatement(id, name, value));
}

void deleteRequestRows(TDMQuorvel& dm, const QString& idText)
{
    dm.ExecUpdate(QStringLiteral("delete from service_url where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_check_option where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_url_expect where service_id=") + idText);
}

// Replaces the service_url_expect row of service `id` with the record's expectation, or drops it.
void writeUrlExpect(TDMQuorvel& dm, int id, const ServiceRecord& s)
{
    dm.ExecUpdate(QStringLiteral("delete from service_url_expect where service_id=") + QString::number(id));
    const QString statement = ServiceStore::UrlExpectStatement(s, id);
    if (!statement.isEmpty())
        dm.ExecUpdate(statement);
}

} // namespace

QStringList ServiceUrlRequest::FormFields() const
{
    QStringList lines;
    for (const auto& [name, value] : PostFields)
        lines << name + QLatin1Char('=') + value;
    return lines;
}

bool AlarmColumnFlag(const QString& text)
{
    return !text.isEmpty() && QStringLiteral("TtYy").contains(text.at(0));
}

QString KindOfService(const QString& service)
{
    if (service == QLatin1String(lang::KindURL) || service == QLatin1String(lang::KindPing) ||
        service == QLatin1String(lang::KindFTP) || HasCheckOptions(service))
        return service;
    if (service == QLatin1String(lang::KindSMTP) || service == QLatin1String(lang::KindPOP3) ||
        service == QLatin1String(lang::KindIMAP))
        return QString::fromLatin1(lang::KindEmail);
    return QString();
}

ServiceRecord ServiceRecordFromRow(const QSqlRecord& row)
{
    ServiceRecord r;
    r.Id = integer(row, "id");
    r.Service = text(row, "service");
    r.Ip = text(row, "ip");
    r.Port = integer(row, "port");
    r.UserName = text(row, "username");
    r.Password = text(row, "password");
    r.ScheduleBy = text(row, "schedule_by");
    r.ScheduleHour = text(row, "schedule_hour");
    r.ScheduleMinute = text(row, "schedule_minute");
    r.Status = text(row, "status");
    r.ProxyIp = text(row, "proxy_ip");
    r.ProxyPort = integer(row, "proxy_port");
    r.ProxyUserName = text(row, "proxy_username");
    r.ProxyPassword = text(row, "proxy_password");
    r.UrlMethod = text(row, "url_method");
    r.FtpProxyType = text(row, "ftp_proxytype");
    for (const auto& [column, member] : kAlarmColumns)
        r.*member = AlarmColumnFlag(text(row, column));
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
        const int id = integer(h, "service_id");
        if (seen.contains(id))
            continue; // one row per service; the first one counts
        seen.insert(id);
        ServiceUrlRequest& url = data[id];
        url.Referer = text(h, "referer");
        url.Cookie = text(h, "cookie");
        url.HeaderData = text(h, "headerData");
        url.UserAgent = text(h, "userAgent");
        url.ContentType = text(h, "contentType");
        url.Accept = text(h, "accept");
        url.AcceptCharSet = text(h, "acceptCharSet");
        url.AcceptEncoding = text(h, "acceptEncoding");
        url.AcceptLanguage = text(h, "acceptLanguage");
    }
    run(query, QStringLiteral("select * from service_url_detail where service_id") + condition);
    while (query.next()) {
        data[query.value(QStringLiteral("service_id")).toInt()].PostFields.append(
            {query.value(QStringLiteral("fieldname")).toString(),
             query.value(QStringLiteral("fieldvalue")).toString()});
    }
    run(query, QStringLiteral("select * from service_url_expect where service_id") + condition);
    while (query.next()) {
        const auto it = data.find(query.value(QStringLiteral("service_id")).toInt());
        if (it == data.end())
            continue;
        it->ExpectMode = query.value(QStringLiteral("mode")).toString();
        it->ExpectText = query.value(QStringLiteral("expect_text")).toString();
    }
    return data;
}

bool HasCheckOptions(const QString& service)
{
    return service == QLatin1String(lang::KindTCP) || service == QLatin1String(lang::KindDNS) ||
           service == QLatin1String(lang::KindCert);
}

void LoadCheckOptions(std::vector<ServiceRecord>& services)
{
    QHash<int, ServiceRecord*> byId;
    QStringList ids;
    for (ServiceRecord& s : services) {
        if (!HasCheckOptions(s.Service) || byId.contains(s.Id))
            continue;
        s.TcpSend.clear();
        s.TcpExpect.clear();
        s.DnsType.clear();
        s.DnsExpect.clear();
        s.DnsServer.clear();
        s.CertStartTls.clear();
        byId.insert(s.Id, &s);
        ids << QString::number(s.Id);
    }
    if (ids.isEmpty())
        return;
    QSqlQuery query(DMQuorvel().SQLConnection);
    query.setForwardOnly(true);
    run(query, QStringLiteral("select * from service_check_option where service_id in (") +
                   ids.join(QLatin1Char(',')) + QLatin1Char(')'));
    while (query.next()) {
        const QSqlRecord row = query.record();
        ServiceRecord* s = byId.value(integer(row, "service_id"));
        if (!s)
            continue;
        s->TcpSend = text(row, "send_text");
        s->TcpExpect = text(row, "expect_text");
        s->DnsType = text(row, "record_type");
        s->DnsExpect = text(row, "expect_value");
        s->DnsServer = text(row, "dns_server");
        s->CertStartTls = text(row, "starttls");
    }
}

namespace ServiceStore {

QString InsertStatement(const ServiceRecord& s)
{
    const QString kind = KindOfService(s.Service);
    const QString now = QStringLiteral("now()");
    const QStringList schedule{QuoteSqlText(s.ScheduleBy), QuoteSqlText(s.ScheduleHour),
                               QuoteSqlText(s.ScheduleMinute)};
    QStringList values{QuoteSqlText(s.Service), QuoteSqlText(s.Ip), number(s.Port)};
    QString prefix;
    if (kind == QLatin1String(lang::KindURL)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,proxy_ip,proxy_port,proxy_username,proxy_password,"
                           "url_method,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << QuoteSqlText(s.UserName) << QuoteSqlText(s.Password) << schedule << now
               << QuoteSqlText(s.ProxyIp) << number(s.ProxyPort) << QuoteSqlText(s.ProxyUserName)
               << QuoteSqlText(s.ProxyPassword) << QuoteSqlText(s.UrlMethod);
    } else if (kind == QLatin1String(lang::KindEmail)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) "
                           "values (");
        values << QuoteSqlText(s.UserName) << QuoteSqlText(s.Password) << schedule << now;
    } else if (kind == QLatin1String(lang::KindPing) || HasCheckOptions(s.Service)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,"
                           "last_access,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << schedule << now;
    } else if (kind == QLatin1String(lang::KindFTP)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,ftp_proxytype,proxy_ip,proxy_port,proxy_username,"
                           "proxy_password,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << QuoteSqlText(s.UserName) << QuoteSqlText(s.Password) << schedule << now
               << QuoteSqlText(s.FtpProxyType) << QuoteSqlText(s.ProxyIp) << number(s.ProxyPort)
               << QuoteSqlText(s.ProxyUserName) << QuoteSqlText(s.ProxyPassword);
    } else {
        throw DatabaseError(QStringLiteral("No statement for the service kind \"%1\".").arg(s.Service));
    }
    for (const auto& [column, member] : kAlarmColumns)
        values << QuoteSqlText(flagText(s.*member));
    return prefix + joinValues(values);
}

QString UpdateStatement(const ServiceRecord& s, int id)
{
    return updateStatement(s, id, nullptr);
}

QString InsertUrlStatement(const ServiceRecord& s, int id)
{
    const ServiceUrlRequest& u = s.UrlRequest;
    return QStringLiteral(
               "insert into service_url (service_id,cookie,referer,headerData,userAgent,contentType,accept,"
               "acceptCharSet,acceptEncoding,acceptLanguage) values (") +
           joinValues({number(id), QuoteSqlText(u.Cookie), QuoteSqlText(u.Referer),
                       QuoteSqlText(u.HeaderData), QuoteSqlText(u.UserAgent), QuoteSqlText(u.ContentType),
                       QuoteSqlText(u.Accept), QuoteSqlText(u.AcceptCharSet), QuoteSqlText(u.AcceptEncoding),
                       QuoteSqlText(u.AcceptLanguage)});
}

QString UpdateUrlStatement(const ServiceRecord& s, int id)
{
    const ServiceUrlRequest& u = s.UrlRequest;
    return QStringLiteral("update service_url set ") +
           assignments({{"cookie", QuoteSqlText(u.Cookie)},
                        {"referer", QuoteSqlText(u.Referer)},
                        {"headerData", QuoteSqlText(u.HeaderData)},
                        {"userAgent", QuoteSqlText(u.UserAgent)},
                        {"contentType", QuoteSqlText(u.ContentType)},
                        {"accept", QuoteSqlText(u.Accept)},
                        {"acceptCharSet", QuoteSqlText(u.AcceptCharSet)},
                        {"acceptEncoding", QuoteSqlText(u.AcceptEncoding)},
                        {"acceptLanguage", QuoteSqlText(u.AcceptLanguage)}}) +
           QStringLiteral(" where service_id=") + number(id);
}

QString InsertPostFieldStatement(int id, const QString& name, const QString& value)
{
    return QStringLiteral("insert into service_url_detail (service_id,fieldname,fieldvalue) values (") +
           joinValues({number(id), QuoteSqlText(name), QuoteSqlText(value)});
}

QString CheckOptionStatement(const ServiceRecord& s, int id)
{
    return QStringLiteral("replace into service_check_option (service_id,send_text,expect_text,record_type,"
                          "expect_value,dns_server,starttls) values (") +
           joinValues({number(id), QuoteSqlText(s.TcpSend), QuoteSqlText(s.TcpExpect),
                       QuoteSqlText(s.DnsType), QuoteSqlText(s.DnsExpect), QuoteSqlText(s.DnsServer),
                       QuoteSqlText(s.CertStartTls)});
}

QString UrlExpectStatement(const ServiceRecord& s, int id)
{
    const ServiceUrlRequest& u = s.UrlRequest;
    if (u.ExpectMode.isEmpty())
        return QString();
    return QStringLiteral("replace into service_url_expect (service_id,mode,expect_text) values (") +
           joinValues({number(id), QuoteSqlText(u.ExpectMode), QuoteSqlText(u.ExpectText)});
}

std::vector<ServiceListRow> ListRows(const QString& filter)
{
    QString sql = QStringLiteral("SELECT id,service,") + ListedIpSql() +
                  QStringLiteral(" as ip,port,service_status,"
                                 "DATE_FORMAT(last_access, \"%Y-%m-%d %H:%i:%s\") "
                                 "last_access,schedule_by,schedule_hour,schedule_minute,"
                                 "status,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog from service");
    if (filter == QLatin1String("ALL")) {
    } else if (filter == QLatin1String(lang::KindURL) || filter == QLatin1String(lang::KindPing) ||
               filter == QLatin1String(lang::KindFTP) || filter == QLatin1String(lang::KindDatabase)) {
        sql += QStringLiteral(" where service=") + QuoteSqlText(filter);
    } else if (filter == QLatin1String(lang::KindEmail)) {
        sql += QStringLiteral(" where service=\"SMTP\" or service=\"POP3\" or service=\"IMAP\"");
    } else {
        sql += QStringLiteral(" where ") + HostOfIpSql() + QStringLiteral(" = ") + QuoteSqlText(filter);
    }
    sql += QStringLiteral(" order by ip, service, schedule_hour, schedule_minute");
    QSqlQuery& query = DMQuorvel().ExecSelect(sql);
    std::vector<ServiceListRow> rows;
    while (query.next()) {
        const QSqlRecord row = query.record();
        rows.push_back({text(row, "id"), text(row, "service"), text(row, "ip"), text(row, "port"),
                        text(row, "service_status"), text(row, "last_access"), text(row, "schedule_by"),
                        text(row, "schedule_hour"), text(row, "schedule_minute"), text(row, "status"),
                        text(row, "alarm_email"), text(row, "alarm_smpp"), text(row, "alarm_httpsms"),
                        text(row, "alarm_syslog")});
    }
    query.finish();
    return rows;
}

QStringList Hosts()
{
    QStringList hosts;
    QSqlQuery& query = DMQuorvel().ExecSelect(QStringLiteral("SELECT distinct ") + HostOfIpSql() +
                                              QStringLiteral(" as ip from service order by ip"));
    while (query.next())
        hosts << query.value(0).toString();
    query.finish();
    return hosts;
}

QString ResultStatement(int id, const QString& resultText)
{
    return QStringLiteral("update service set last_access=now(), service_status=") +
           QuoteSqlText(resultText) + QStringLiteral(" where id=") + number(id);
}

std::optional<ServiceRecord> Read(int id)
{
    QSqlQuery query(DMQuorvel().SQLConnection);
    query.setForwardOnly(true);
    run(query, QStringLiteral("SELECT * from service where id=") + number(id));
    if (!query.next())
        return std::nullopt;
    ServiceRecord s = ServiceRecordFromRow(query.record());
    query.finish();
    if (isUrl(s.Service))
        s.UrlRequest = LoadUrlRequests({s.Id}).value(s.Id);
    if (HasCheckOptions(s.Service)) {
        std::vector<ServiceRecord> one{s};
        LoadCheckOptions(one);
        return one.front();
    }
    return s;
}

std::vector<ServiceRecord> DueServices(const QString& hh, const QString& mm)
{
    // hh and mm are the clock's two digits each.
    QSqlQuery query(DMQuorvel().SQLConnection);
    query.setForwardOnly(true);
    run(query, QStringLiteral(
                   "SELECT * from service where status=\"Start\" and ( (schedule_by=\"Daily\" and "
                   "schedule_hour=\"%1\" and schedule_minute=\"%2\") or (schedule_by=\"Hourly\" and "
                   "schedule_minute=\"%2\") or (schedule_by=\"Minutely\" and mod(%2,schedule_minute)=0 ) ) "
                   "order by ip, service")
                   .arg(hh, mm));
    std::vector<ServiceRecord> services;
    while (query.next())
        services.push_back(ServiceRecordFromRow(query.record()));
    return services;
}

QList<int> AttachedPersons(int serviceId)
{
    QList<int> ids;
    QSqlQuery& query = DMQuorvel().ExecSelect(
        QStringLiteral("select contact_person.id as id, contact_person.name as name from "
                       "service_contact_person,contact_person where "
                       "service_contact_person.contact_person_id=contact_person.id and service_id=") +
        number(serviceId));
    while (query.next())
        ids << query.value(QStringLiteral("id")).toInt();
    return ids;
}

void AttachContacts(int serviceId, const QList<ContactChoice>& choices)
{
    TDMQuorvel& dm = DMQuorvel();
    QSet<int> attached;
    {
        QSqlQuery& stored = dm.ExecSelect(
            QStringLiteral("select contact_person_id from service_contact_person where service_id=") +
            number(serviceId));
        while (stored.next())
            attached.insert(stored.value(QStringLiteral("contact_person_id")).toInt());
    }
    for (const ContactChoice& choice : choices) {
        QList<int> persons;
        if (choice.group) {
            QSqlQuery& members = dm.ExecSelect(
                QStringLiteral("select contact_person_id from contact_person_group where contact_group_id=") +
                number(choice.id));
            while (members.next())
                persons << members.value(QStringLiteral("contact_person_id")).toInt();
        } else {
            persons << choice.id;
        }
        for (int person : persons) {
            if (attached.contains(person))
                continue;
            dm.ExecUpdate(
                QStringLiteral("insert into service_contact_person (service_id,contact_person_id) values (") +
                number(serviceId) + QLatin1Char(',') + number(person) + QLatin1Char(')'));
            attached.insert(person);
        }
    }
}

int Insert(const ServiceRecord& s, const QList<ContactChoice>& contacts)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(InsertStatement(s));
    const int id = static_cast<int>(dm.LastInsertId());
    if (id <= 0)
        throw DatabaseError(QStringLiteral("The new service got no id."));
    if (isUrl(s.Service)) {
        dm.ExecUpdate(InsertUrlStatement(s, id));
        writePostFields(dm, id, s);
        writeUrlExpect(dm, id, s);
    }
    if (HasCheckOptions(s.Service))
        dm.ExecUpdate(CheckOptionStatement(s, id));
    AttachContacts(id, contacts);
    transaction.Commit();
    return id;
}

UpdateOutcome Update(int id, const ServiceRecord& s, const QList<ContactChoice>& contacts)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString idText = number(id);
    SqlTransaction transaction(dm);
    // The stored row, locked until the commit: a delete meanwhile waits, and a service deleted
    // before is found missing here instead of getting request rows and links under a dead id.
    QSqlRecord stored;
    {
        QSqlQuery query(dm.SQLConnection);
        query.setForwardOnly(true);
        run(query,
            QStringLiteral("SELECT * from service where id=") + idText + QStringLiteral(" for update"));
        if (!query.next())
            return UpdateOutcome::NoSuchService; // the transaction rolls back
        stored = query.record();
    }
    dm.ExecUpdate(updateStatement(s, id, &stored));
    if (KindOfService(text(stored, "service")) != KindOfService(s.Service))
        deleteRequestRows(dm, idText); // the request rows of the kind it had no longer belong to it
    if (isUrl(s.Service)) {
        QSqlQuery& count = dm.ExecSelect(
            QStringLiteral("select count(*) as numOfRecord from service_url where service_id=") + idText);
        const bool exists = count.next() && count.value(QStringLiteral("numOfRecord")).toInt() > 0;
        dm.ExecUpdate(exists ? UpdateUrlStatement(s, id) : InsertUrlStatement(s, id));
        dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + idText);
        writePostFields(dm, id, s);
        writeUrlExpect(dm, id, s);
    }
    if (HasCheckOptions(s.Service))
        dm.ExecUpdate(CheckOptionStatement(s, id));
    dm.ExecUpdate(QStringLiteral("delete from service_contact_person where service_id=") + idText);
    AttachContacts(id, contacts);
    transaction.Commit();
    return UpdateOutcome::Updated;
}

void Delete(int id)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString idText = number(id);
    SqlTransaction transaction(dm);
    deleteRequestRows(dm, idText); // whatever the kind, so none is left by an earlier change of kind
    dm.ExecUpdate(QStringLiteral("delete from service_contact_person where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_alarm_state where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service where id=") + idText);
    transaction.Commit();
}

void SetStatus(int id, const QString& status)
{
    DMQuorvel().ExecUpdate(QStringLiteral("update service set status=") + QuoteSqlText(status) +
                           QStringLiteral(" where id=") + number(id));
}

} // namespace ServiceStore
