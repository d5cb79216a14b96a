#include "checks/ThreadDNSCheckUnit.h"

#include "core/langLibrary.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace {

// A name as compared: lower case, without one trailing dot.
QString comparableName(const QString& name)
{
    QString n = name.trimmed().toLower();
    if (n.endsWith(QLatin1Char('.')))
        n.chop(1);
    return n;
}

bool sameAddress(int family, const std::string& a, const QString& b)
{
    unsigned char left[sizeof(in6_addr)] = {};
    unsigned char right[sizeof(in6_addr)] = {};
    const std::string other = b.trimmed().toStdString();
    if (inet_pton(family, a.c_str(), left) != 1 || inet_pton(family, other.c_str(), right) != 1)
        return false;
    return std::memcmp(left, right, family == AF_INET ? sizeof(in_addr) : sizeof(in6_addr)) == 0;
}

QString fromBytes(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

ThreadDNSCheck::ThreadDNSCheck(const ThreadCheckArgs& args, const DnsCheckArgs& dns,
                               const QString& resolvConf)
    : ThreadCheck(args), TypeText(dns.Type), Expect(dns.Expect), Server(dns.Server.trimmed()),
      m_resolvConf(resolvConf)
{
    if (Server.isEmpty())
        Server = QString::fromStdString(FirstSystemResolver(resolvConf.toStdString()));
}

ThreadDNSCheck::~ThreadDNSCheck() = default;

QString ThreadDNSCheck::Kind() const
{
    return QString::fromLatin1(lang::KindDNS);
}

bool ThreadDNSCheck::RecordMatches(DnsType type, const DnsRecord& record, const QString& expected)
{
    switch (type) {
    case DnsType::A:
        return sameAddress(AF_INET, record.value, expected);
    case DnsType::AAAA:
        return sameAddress(AF_INET6, record.value, expected);
    case DnsType::TXT:
        return fromBytes(record.value) == expected;
    case DnsType::MX: {
        const QString e = expected.trimmed();
        const qsizetype space = e.indexOf(QLatin1Char(' '));
        bool numbered = false;
        const int preference = space > 0 ? e.left(space).toInt(&numbered) : 0;
        if (numbered)
            return preference == record.preference &&
                   comparableName(e.mid(space + 1)) == comparableName(fromBytes(record.value));
        return comparableName(e) == comparableName(fromBytes(record.value));
    }
    case DnsType::CNAME:
    case DnsType::NS:
    case DnsType::SOA:
        return comparableName(expected) == comparableName(fromBytes(record.value));
    }
    return false;
}

bool ThreadDNSCheck::Probe()
{
    Records.clear();
    DnsType type = DnsType::A;
    if (!TypeText.trimmed().isEmpty() && !DnsTypeFromText(TypeText.trimmed().toStdString(), &type))
        throw std::runtime_error(("unknown record type \"" + TypeText + "\"; one of ").toStdString() +
                                 DnsTypeNames());
    if (Server.isEmpty())
        throw std::runtime_error(("no DNS server given and none in " + m_resolvConf).toStdString());

    DnsQuestion question;
    question.server = Server.toStdString();
    question.port = DetailPort();
    question.name = Host.trimmed().toStdString();
    question.type = type;
    question.timeoutMs = Timeout;
    Records = DnsLookup(question);

    const QString what = QString::fromLatin1(DnsTypeName(type)) + QStringLiteral(" record");
    if (Records.empty())
        throw std::runtime_error(
            ("no " + what + " for " + Host.trimmed() + " in the answer (NOERROR)").toStdString());
    if (Expect.isEmpty())
        return true;
    QStringList found;
    for (const DnsRecord& record : Records) {
        if (RecordMatches(type, record, Expect))
            return true;
        found << fromBytes(record.text());
    }
    throw std::runtime_error(("no " + what + " for " + Host.trimmed() + " equals \"" + Expect +
                              "\"; the answer has " + QuoteReceived(found.join(QStringLiteral(", "))))
                                 .toStdString());
}

QString ThreadDNSCheck::DetailHost() const
{
    return Server;
}

int ThreadDNSCheck::DetailPort() const
{
    return Port > 0 ? Port : kDefaultPort;
}
