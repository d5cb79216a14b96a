#pragma once

#include "checks/ThreadCheck.h"
#include "net/DnsQuery.h"

#include <vector>

// The DNS check's own values, as the creator takes them from the service.
struct DnsCheckArgs
{
    QString Type;   // A, AAAA, CNAME, MX, NS, TXT or SOA in any letter case; empty means A
    QString Expect; // a value one record must equal; empty accepts any record
    QString Server; // the server asked; empty means the first nameserver of /etc/resolv.conf
};

// Check of a "DNS" service: asks Server (port Port, 53 when 0) for the records of Type of the
// name Host, within Timeout. Passes when the answer is NOERROR with at least one record of the
// type and, when Expect is given, one record equals it (see RecordMatches). The detail names the
// server and port; a failure says what came instead (NXDOMAIN, SERVFAIL, no answer in time, no
// such record, the records that came).
class ThreadDNSCheck : public ThreadCheck
{
public:
    static constexpr int kDefaultPort = 53;

    ThreadDNSCheck(const ThreadCheckArgs& args, const DnsCheckArgs& dns,
                   const QString& resolvConf = QStringLiteral("/etc/resolv.conf"));
    ~ThreadDNSCheck() override;

    QString Kind() const override;

    // Whether `record` (of `type`) equals `expected`: names (CNAME, NS, MX, SOA's primary server)
    // without regard to letter case or a trailing dot; MX by its name alone, or by preference and
    // name when `expected` is "10 mail.example.test"; addresses as addresses ("::1" equals
    // "0::1"); TXT by its joined strings, exactly.
    static bool RecordMatches(DnsType type, const DnsRecord& record, const QString& expected);

    QString TypeText; // as given
    QString Expect;
    QString Server;                 // the server asked, after the default is applied
    std::vector<DnsRecord> Records; // the records of the answer

protected:
    bool Probe() override;
    QString DetailHost() const override;
    int DetailPort() const override;

private:
    QString m_resolvConf; // where the default server came from
};
