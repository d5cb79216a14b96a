#pragma once

// The service store: table `service` with what belongs to one service (its `service_url` row, its
// `service_url_detail` rows, its `service_url_expect` row, its `service_check_option` row and its
// `service_contact_person` links). One record type, one reader
// per row, so a flag, a number or a kind is read the same way by the scheduler, the windows and
// quorvel-probe. Every statement about these tables is made here; texts go through QuoteSqlText.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QSqlRecord;

// The request data of a "URL" service: the headers of its service_url row (all empty when it has
// none) and its post fields, one (name, value) per service_url_detail row, in stored order.
struct ServiceUrlRequest
{
    QString Referer;
    QString Cookie;
    QString HeaderData;
    QString UserAgent;
    QString ContentType;
    QString Accept;
    QString AcceptCharSet;
    QString AcceptEncoding;
    QString AcceptLanguage;
    QList<std::pair<QString, QString>> PostFields;
    // What the body of the answer must hold, from the service's service_url_expect row: the
    // mode's key ("contains", "not-contains", "matches", "json"; empty: no row, the body is not
    // looked at) and its text.
    QString ExpectMode;
    QString ExpectText;

    // The post fields as "fieldname=fieldvalue" lines, the form the HTTP client sends.
    QStringList FormFields() const;
};

// One service: the columns of table `service` a check or a window uses, plus the request data of
// a "URL" service. A plain value: the store fills it from a stored row, quorvel-probe from its
// command line and the service windows from their inputs, and all hand it to the same builder.
struct ServiceRecord
{
    int Id = 0;      // service.id; 0 for a service that is not stored
    QString Service; // the kind: "URL", "Ping", "SMTP", "POP3", "IMAP", "FTP", "TCP", "DNS", "Certificate"
                     // (or "Database")
    QString Ip;      // the host, or for "URL" the address as stored (with or without "http://"), or
                     // for "DNS" the name asked for
    int Port = 0;
    QString UserName;
    QString Password;
    QString ScheduleBy; // "Daily", "Hourly", "Minutely"
    QString ScheduleHour;
    QString ScheduleMinute;
    QString Status; // "Start" or "Stop"
    QString ProxyIp;
    int ProxyPort = 0;
    QString ProxyUserName;
    QString ProxyPassword;
    QString UrlMethod;    // "URL": "Get", "Post", ...
    QString FtpProxyType; // "FTP": "fpcmNone", "fpcmUserSite", ...
    bool AlarmEmail = false;
    bool AlarmSmpp = false;
    bool AlarmHttpSms = false;
    bool AlarmSyslog = false;
    ServiceUrlRequest UrlRequest; // "URL" only
    // Options of the "TCP" and "DNS" kinds, kept in the service's `service_check_option` row (a
    // service without one runs with them empty: a bare connection; an "A" question to the
    // system's resolver).
    QString TcpSend;   // "TCP": a line sent once connected (CR LF added); empty sends nothing
    QString TcpExpect; // "TCP": a text the first reply must contain; empty accepts any reply
    QString DnsType;   // "DNS": A, AAAA, CNAME, MX, NS, TXT or SOA; empty means A
    QString DnsExpect; // "DNS": a value one answer record must equal; empty accepts any
    QString DnsServer; // "DNS": the server asked; empty means the first nameserver of /etc/resolv.conf
    // "Certificate": how TLS starts: empty for TLS from the first byte, else "smtp", "imap",
    // "pop3" or "ftp" (a switch with STARTTLS, STLS or AUTH TLS); kept in the same row.
    QString CertStartTls;
};

// A stored alarm column as a flag: true when the text is not empty and begins with "T", "t", "Y"
// or "y".
bool AlarmColumnFlag(const QString& text);

// The kind a `service` value belongs to: "URL", "Ping", "Email" (for "SMTP", "POP3", "IMAP"),
// "FTP", "TCP", "DNS" or "Certificate"; empty for any other value.
QString KindOfService(const QString& service);

// The reading of one `service` row (SELECT * from service ...): id, port and proxy_port as
// integers, the alarm columns as flags (AlarmColumnFlag), the rest as text (NULL reads as empty).
// The URL request data is not part of the row; see LoadUrlRequests.
ServiceRecord ServiceRecordFromRow(const QSqlRecord& row);

// The request data of the given URL services from tables service_url, service_url_detail and
// service_url_expect, in three statements whatever the number of services; a service without
// rows gets empty values.
// Throws DatabaseError when a statement fails.
QHash<int, ServiceUrlRequest> LoadUrlRequests(const QList<int>& serviceIds);

// Whether services of this `service` value keep options in table service_check_option ("TCP",
// "DNS" and "Certificate").
bool HasCheckOptions(const QString& service);

// Fills the "TCP", "DNS" and "Certificate" options of those of `services` that are of these kinds from table
// service_check_option, in one statement whatever their number; a service without a row keeps
// empty options. Throws DatabaseError when the statement fails.
void LoadCheckOptions(std::vector<ServiceRecord>& services);

// A ticked row of a contact list: a person or a group.
struct ContactChoice
{
    bool group = false;
    int id = 0;
};

// One row of the services editor's list: the columns as stored text, with the ip as the list
// shows it (ListedIpSql) and last_access as "yyyy-MM-dd HH:mm:ss".
struct ServiceListRow
{
    QString Id;
    QString Service;
    QString Ip;
    QString Port;
    QString ServiceStatus;
    QString LastAccess;
    QString ScheduleBy;
    QString ScheduleHour;
    QString ScheduleMinute;
    QString Status;
    QString AlarmEmail;
    QString AlarmSmpp;
    QString AlarmHttpSms;
    QString AlarmSyslog;
};

namespace ServiceStore {

// The services of the lists, ordered by listed ip, service, schedule hour and minute: all of them
// for "ALL"; for a kind ("URL", "Ping", "FTP", "Database") those of that kind; for "Email" those of
// the kinds SMTP, POP3 and IMAP; for any other text those whose host (HostOfIpSql) is that text.
// Throws DatabaseError.
std::vector<ServiceListRow> ListRows(const QString& filter = QStringLiteral("ALL"));

// The distinct hosts of the services (HostOfIpSql), ordered. Throws DatabaseError.
QStringList Hosts();

// Records `resultText` ("Passed", "Failed", ...) as the latest result of service `id`, with the
// time of now.
QString ResultStatement(int id, const QString& resultText);

// The statements that store a record (texts through QuoteSqlText). The alarm columns are written
// as "y" or "n".
QString InsertStatement(const ServiceRecord& s);
QString UpdateStatement(const ServiceRecord& s, int id);
QString InsertUrlStatement(const ServiceRecord& s, int id);
QString UpdateUrlStatement(const ServiceRecord& s, int id);
QString InsertPostFieldStatement(int id, const QString& name, const QString& value);
// Writes the service_check_option row of service `id` from the record's "TCP" and "DNS" options,
// replacing the one it has.
QString CheckOptionStatement(const ServiceRecord& s, int id);
// Writes the service_url_expect row of service `id` from the record's expectation, replacing the
// one it has; empty when the record has none (the caller then only deletes the old row).
QString UrlExpectStatement(const ServiceRecord& s, int id);

// The stored service `id` with its request data; nullopt when there is none. Throws DatabaseError.
std::optional<ServiceRecord> Read(int id);

// The services due at hh:mm (two digits each), started ones only, ordered by ip and service,
// without their request data and options (LoadUrlRequests and LoadCheckOptions read them for all
// of them at once). Throws
// DatabaseError.
std::vector<ServiceRecord> DueServices(const QString& hh, const QString& mm);

// The ids of the persons attached to a service, in the order the database returns them.
QList<int> AttachedPersons(int serviceId);
// Writes a service_contact_person row for every person chosen directly or through a group,
// never twice for one person and service (rows already stored count). Throws DatabaseError.
void AttachContacts(int serviceId, const QList<ContactChoice>& choices);

// Stores a new service with its request rows, options and contacts in one transaction; returns its id.
// Throws DatabaseError (nothing is then stored).
int Insert(const ServiceRecord& s, const QList<ContactChoice>& contacts);

enum class UpdateOutcome
{
    Updated,
    NoSuchService, // deleted meanwhile: nothing was written
};
// Stores the changes to service `id` in one transaction, its row locked meanwhile. A change of
// kind removes the old request rows and options; a "URL" service gets its service_url row written
// whether it had one or not, a "TCP" or "DNS" service its service_check_option row; the contact
// links are replaced. An alarm column whose flag did not change keeps
// its stored text (a stored "Y" stays "Y"); an empty `s.Status` keeps the stored status. When the
// service no longer exists nothing is written. Throws DatabaseError (nothing is then stored).
UpdateOutcome Update(int id, const ServiceRecord& s, const QList<ContactChoice>& contacts);

// Deletes service `id` with its request rows, options and contact links in one transaction, whatever its
// kind. Throws DatabaseError.
void Delete(int id);

// Sets the status ("Start" or "Stop") of service `id`. Throws DatabaseError.
void SetStatus(int id, const QString& status);

} // namespace ServiceStore
