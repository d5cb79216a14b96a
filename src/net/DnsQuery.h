#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// One DNS question to one server, asked through c-ares: UDP first, TCP when the answer comes
// truncated, at most one retry, and the whole question bounded by a time-out. c-ares builds the
// question, checks that an answer belongs to it (id, name, type) and parses the records with its
// own hardened parsers; this module only drives the channel and hands the records on as text.

enum class DnsType
{
    A,
    AAAA,
    CNAME,
    MX,
    NS,
    TXT,
    SOA
};

// "A", "AAAA", ... for a type; the type named by `text` in any letter case, false for others.
const char* DnsTypeName(DnsType type);
bool DnsTypeFromText(const std::string& text, DnsType* type);
// "A, AAAA, CNAME, MX, NS, TXT, SOA", for messages.
std::string DnsTypeNames();

// One record of the asked type from the answer section.
struct DnsRecord
{
    // A and AAAA: the address as text; CNAME, NS and MX: the name it points to; TXT: the
    // record's strings joined without separator; SOA: the primary name server.
    std::string value;
    int preference = -1; // MX: the preference; -1 for the other types
    std::string extra;   // SOA: "hostmaster serial refresh retry expire minimum"

    // As a detail shows it: MX "10 mail.example.test", SOA "ns hostmaster serial ...", the
    // value otherwise.
    std::string text() const;
};

// Why a question got no usable answer. The message says it for a person.
class DnsError : public std::runtime_error
{
public:
    enum class Reason
    {
        NameError,     // NXDOMAIN: the name does not exist
        ServerFailure, // SERVFAIL
        Refused,       // REFUSED, NOTIMP, FORMERR: the server would not answer the question
        Timeout,       // no answer to the question in time (silence, or only foreign or broken ones)
        BadAnswer,     // an answer to the question that its records do not parse from
        BadQuestion,   // a name or server that cannot be asked
        Other
    };
    DnsError(Reason reason, const std::string& message) : std::runtime_error(message), m_reason(reason) {}
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};

struct DnsQuestion
{
    std::string server; // a dotted IPv4 or an IPv6 address, or a host name the system resolves
    int port = 53;      // UDP and TCP
    std::string name;   // the name asked for
    DnsType type = DnsType::A;
    int timeoutMs = 5000; // bounds the whole question, the retry and the TCP fallback included
};

// Asks `question` and returns the records of its type in the answer (empty for a NOERROR answer
// without any). Throws DnsError for every other outcome. Never waits beyond the time-out by more
// than a few milliseconds.
std::vector<DnsRecord> DnsLookup(const DnsQuestion& question);

// The first "nameserver" address in `resolvConf`; empty when the file names none.
std::string FirstSystemResolver(const std::string& resolvConf = "/etc/resolv.conf");
