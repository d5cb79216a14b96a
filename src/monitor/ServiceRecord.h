#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QSqlRecord;

// The request data of a "URL" service: the headers of its service_url row (all empty when it has
// none) and its form fields, one "fieldname=fieldvalue" line per service_url_detail row, in the
// order the database returns them.
struct ServiceUrlRequest
{
    QString Referer;
    QString Cookie;
    QString UserAgent;
    QString ContentType;
    QString Accept;
    QString AcceptCharSet;
    QString AcceptEncoding;
    QString AcceptLanguage;
    QStringList FormFields;
};

// One service as a check is built from it: the columns of table `service` that the scheduler
// reads, plus the request data of a "URL" service. A plain value: the scheduler fills it from a
// stored row, quorvel-probe from its command line and the new-service wizard from its pages, and
// all three hand it to the same builder (CheckBuilders.h).
struct ServiceRecord
{
    int Id = 0;      // service.id; 0 for a service that is not stored
    QString Service; // the kind: "URL", "Ping", "SMTP", "POP3", "IMAP", "FTP", "TCP", "DNS" (or "Database")
    QString Ip;      // the host, or for "URL" the address as stored (with or without "http://"), or
                     // for "DNS" the name asked for
    int Port = 0;
    QString UserName;
    QString Password;
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
    // Options of the "TCP" and "DNS" kinds. Not read from the `service` row: a stored service of
    // these kinds runs with them empty (a bare connection; an "A" question to the system's
    // resolver) until they have a table of their own.
    QString TcpSend;   // "TCP": a line sent once connected (CR LF added); empty sends nothing
    QString TcpExpect; // "TCP": a text the first reply must contain; empty accepts any reply
    QString DnsType;   // "DNS": A, AAAA, CNAME, MX, NS, TXT or SOA; empty means A
    QString DnsExpect; // "DNS": a value one answer record must equal; empty accepts any
    QString DnsServer; // "DNS": the server asked; empty means the first nameserver of /etc/resolv.conf
};

// A stored alarm column as a flag: true when the text is not empty and begins with "T", "t", "Y"
// or "y".
bool AlarmColumnFlag(const QString& text);

// The scheduler's reading of one `service` row (SELECT * from service ...): id, port and
// proxy_port as integers, the alarm columns as flags, the rest as text (NULL reads as empty).
// The URL request data is not part of the row; see LoadUrlRequests.
ServiceRecord ServiceRecordFromRow(const QSqlRecord& row);

// The request data of the given URL services from tables service_url and service_url_detail, in
// two statements whatever the number of services; a service without rows gets empty values.
// Throws DatabaseError when a statement fails.
QHash<int, ServiceUrlRequest> LoadUrlRequests(const QList<int>& serviceIds);
