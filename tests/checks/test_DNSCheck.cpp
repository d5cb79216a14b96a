// The DNS check against a real server, dnsmasq (Debian package dnsmasq-base) started once for
// these tests with a zone of its own, for each record type, expected values and the answers
// that fail (NXDOMAIN, REFUSED, no record of the type); and against a scripted server for what
// a real one does not send: a truncated answer that needs TCP, silence, and hostile answers,
// each of which must fail with a clear detail within the time-out.
#include "checks/ThreadDNSCheckUnit.h"

#include "support/DnsZoneServer.h"
#include "support/RunItem.h"
#include "support/ScriptedDnsServer.h"
#include "support/ScriptedServer.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace dnswire;

ThreadDNSCheck makeCheck(const std::string& name, int port, const QString& type, const QString& expect,
                         int timeoutMs, const QString& server = "127.0.0.1",
                         const QString& resolvConf = "/etc/resolv.conf")
{
    ThreadCheckArgs args;
    args.Origin = "Product";
    args.ServiceId = 5;
    args.Host = QString::fromStdString(name);
    args.Port = port;
    args.Timeout = timeoutMs;
    return ThreadDNSCheck(args, DnsCheckArgs{type, expect, server}, resolvConf);
}

std::string withPort(std::string text, int port)
{
    const std::string mark = "{port}";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), std::to_string(port));
    return text;
}

// ---- a real server --------------------------------------------------------------------------------

class Dnsmasq : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = new DnsZoneServer;
        if (DnsZoneServer::Installed() && !s_server->start())
            s_failure = s_server->error();
        s_port = s_server->port();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        if (!DnsZoneServer::Installed())
            GTEST_SKIP() << "dnsmasq is not installed (Debian package dnsmasq-base)";
        ASSERT_TRUE(s_failure.empty()) << s_failure;
    }

    static DnsZoneServer* s_server;
    static int s_port;
    static std::string s_failure;
};

DnsZoneServer* Dnsmasq::s_server = nullptr;
int Dnsmasq::s_port = 0;
std::string Dnsmasq::s_failure;

struct ZoneCase
{
    const char* name;
    const char* type;
    const char* expect;
    bool passed;
    std::string detailTail; // after "[127.0.0.1:<port>] "
};

TEST_F(Dnsmasq, JudgesEachRecordTypeAndExpectedValue)
{
    const std::vector<ZoneCase> cases = {
        {"www.example.test", "A", "", true, "Passed"},
        {"www.example.test", "a", "192.0.2.10", true, "Passed"},
        {"www.example.test", "A", "192.0.2.11", false,
         "Failed:no A record for www.example.test equals \"192.0.2.11\"; the answer has \"192.0.2.10\""},
        {"www.example.test", "AAAA", "2001:DB8:0::10", true, "Passed"},
        {"www.example.test", "AAAA", "2001:db8::11", false,
         "Failed:no AAAA record for www.example.test equals \"2001:db8::11\"; the answer has "
         "\"2001:db8::10\""},
        {"example.test", "MX", "", true, "Passed"},
        {"example.test", "MX", "MAIL.Example.test.", true, "Passed"},
        {"example.test", "MX", "20 backup.example.test", true, "Passed"},
        {"example.test", "MX", "20 mail.example.test", false,
         "Failed:no MX record for example.test equals \"20 mail.example.test\"; the answer has \"*"},
        {"example.test", "TXT", "v=spf1 -all", true, "Passed"},
        {"example.test", "TXT", "v=spf1 ~all", false,
         "Failed:no TXT record for example.test equals \"v=spf1 ~all\"; the answer has \"v=spf1 -all\""},
        {"multi.example.test", "TXT", "part onepart two", true, "Passed"},
        {"alias.example.test", "CNAME", "www.example.test.", true, "Passed"},
        {"alias.example.test", "CNAME", "mail.example.test", false,
         "Failed:no CNAME record for alias.example.test equals \"mail.example.test\"; the answer has "
         "\"www.example.test\""},
        {"example.test", "NS", "ns1.example.test", true, "Passed"},
        {"example.test", "SOA", "NS1.example.test", true, "Passed"},
        {"nope.example.test", "A", "", false,
         "Failed:nope.example.test does not exist (NXDOMAIN from 127.0.0.1:{port})"},
        {"www.example.test", "MX", "", false,
         "Failed:no MX record for www.example.test in the answer (NOERROR)"},
        {"other.zone", "A", "", false, "Failed:127.0.0.1:{port} refused to answer A other.zone (REFUSED)"},
        {"www.example.test", "PTR", "", false,
         "Failed:unknown record type \"PTR\"; one of A, AAAA, CNAME, MX, NS, TXT, SOA"},
        {"bad..name", "A", "", false, "Failed:\"bad..name\" is not a name that can be asked for"},
    };
    for (const ZoneCase& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.name + " " + c.expect);
        ThreadDNSCheck check = makeCheck(c.name, s_port, c.type, c.expect, 3000);
        const Outcome o = RunItem(check);
        EXPECT_EQ(o.passed, c.passed);
        const std::string prefix = "[127.0.0.1:" + std::to_string(s_port) + "] ";
        std::string tail = withPort(c.detailTail, s_port);
        if (tail.back() == '*') {
            tail.pop_back();
            EXPECT_EQ(o.detail.substr(0, prefix.size() + tail.size()), prefix + tail) << o.detail;
        } else {
            EXPECT_EQ(o.detail, prefix + tail);
        }
        EXPECT_LT(o.elapsedMs, 2000);
    }
}

// Without a server the check asks the first nameserver of the resolver configuration.
TEST_F(Dnsmasq, AsksTheFirstResolverWhenNoServerIsGiven)
{
    TempTree tree;
    tree.write("resolv.conf", "# local resolver first\nsearch example.test\n  nameserver 127.0.0.1\n"
                              "nameserver 192.0.2.53\n");
    ThreadDNSCheck check =
        makeCheck("www.example.test", s_port, "A", "192.0.2.10", 3000, "", tree.file("resolv.conf"));
    EXPECT_EQ(check.Server, "127.0.0.1");
    const Outcome o = RunItem(check);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, "[127.0.0.1:" + std::to_string(s_port) + "] Passed");

    tree.write("resolv.conf", "search example.test\n");
    ThreadDNSCheck none = makeCheck("www.example.test", s_port, "A", "", 3000, "", tree.file("resolv.conf"));
    const Outcome n = RunItem(none);
    EXPECT_FALSE(n.passed);
    EXPECT_NE(n.detail.find("no DNS server given and none in " + tree.file("resolv.conf").toStdString()),
              std::string::npos)
        << n.detail;
}

// ---- scripted server ------------------------------------------------------------------------

// Many A records: more than a UDP answer without EDNS may carry (512 bytes).
std::vector<std::string> manyAddresses(const ScriptedDnsServer::Question& q)
{
    std::vector<std::string> records;
    for (int i = 1; i <= 40; ++i)
        records.push_back(Record(Name(q.name), kTypeA, IPv4("198.51.100." + std::to_string(i))));
    return records;
}

TEST(ScriptedDns, TruncatedAnswerIsAskedAgainOverTcp)
{
    ScriptedDnsServer server(
        [](const ScriptedDnsServer::Question& q) {
            return Answer(q, {Record(Name(q.name), kTypeA, IPv4("198.51.100.1"))},
                          kAnswerFlags | kTruncatedFlag);
        },
        [](const ScriptedDnsServer::Question& q) { return Answer(q, manyAddresses(q)); });
    ThreadDNSCheck check = makeCheck("big.example.test", server.port(), "A", "198.51.100.40", 2000);
    const Outcome o = RunItem(check);
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(check.Records.size(), 40u);
    EXPECT_EQ(server.udpQuestions(), 1);
    EXPECT_EQ(server.tcpQuestions(), 1);
}

TEST(ScriptedDns, SilentServerFailsAtTheTimeoutAfterOneRetry)
{
    ScriptedDnsServer server([](const ScriptedDnsServer::Question&) { return std::nullopt; });
    ThreadDNSCheck check = makeCheck("quiet.example.test", server.port(), "A", "", 900);
    const Outcome o = RunItem(check);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[127.0.0.1:" + std::to_string(server.port()) +
                            "] Failed:no answer to A quiet.example.test from 127.0.0.1:" +
                            std::to_string(server.port()) + " within 900 ms");
    EXPECT_GE(o.elapsedMs, 850);
    EXPECT_LT(o.elapsedMs, 1300);
    EXPECT_EQ(server.udpQuestions(), 2);
}

TEST(ScriptedDns, ServerFailureIsNamed)
{
    ScriptedDnsServer server(
        [](const ScriptedDnsServer::Question& q) { return Answer(q, {}, kAnswerFlags | 2); });
    ThreadDNSCheck check = makeCheck("broken.example.test", server.port(), "MX", "", 2000);
    const Outcome o = RunItem(check);
    EXPECT_FALSE(o.passed);
    EXPECT_NE(o.detail.find("failed to answer MX broken.example.test (SERVFAIL)"), std::string::npos)
        << o.detail;
    EXPECT_EQ(server.udpQuestions(), 1) << "a SERVFAIL is an answer, not a reason to ask again";
}

TEST(ScriptedDns, ClosedPortFails)
{
    const int port = ScriptedServer::UnusedPort();
    ThreadDNSCheck check = makeCheck("www.example.test", port, "A", "", 900);
    const Outcome o = RunItem(check);
    EXPECT_FALSE(o.passed);
    EXPECT_LT(o.elapsedMs, 1300);
    EXPECT_EQ(o.detail, "[127.0.0.1:" + std::to_string(port) +
                            "] Failed:no answer to A www.example.test from 127.0.0.1:" +
                            std::to_string(port) + ": refused, or closed without an answer");
}

struct HostileCase
{
    const char* name;
    // The UDP answer to the question; the TCP one when the first says truncated.
    std::function<std::optional<std::string>(const ScriptedDnsServer::Question&)> udp;
    std::function<std::optional<std::string>(const ScriptedDnsServer::Question&)> tcp;
    std::string detailPart;
};

const std::string kMalformed = "malformed answer to A host.example.test";
const std::string kNoAnswer = "no answer to A host.example.test from";
// An address record of the wrong size is no address: the answer holds none.
const std::string kNoRecord = "no A record for host.example.test in the answer (NOERROR)";
// Set aside by c-ares as not answering the question; the retry brings a second one.
const std::string kOtherBytes =
    "within 900 ms (2 datagrams came that answer another question or are malformed)";

std::string header(const ScriptedDnsServer::Question& q, unsigned answers)
{
    return Header(q.id, kAnswerFlags, 1, answers) + QuestionSection(Name(q.name), q.type);
}

const std::vector<HostileCase> kHostileCases = {
    {"pointer_loop_in_answer_name",
     [](const auto& q) {
         // The owner name is a pointer to itself.
         const std::string m = header(q, 1);
         return m + U16(0xC000 | static_cast<unsigned>(m.size())) + U16(kTypeA) + U16(1) + U32(60) + U16(4) +
                IPv4("192.0.2.1");
     },
     nullptr, kMalformed},
    {"pointer_loop_between_two_names",
     [](const auto& q) {
         const std::string m = header(q, 1);
         const unsigned at = static_cast<unsigned>(m.size());
         // a label, then a pointer back to the label: "x.x.x.x..." without end
         return m + std::string("\x01x", 2) + U16(0xC000 | at) + U16(kTypeA) + U16(1) + U32(60) + U16(4) +
                IPv4("192.0.2.1");
     },
     nullptr, kMalformed},
    {"pointer_past_the_end",
     [](const auto& q) {
         return header(q, 1) + U16(0xC000 | 0x3fff) + U16(kTypeA) + U16(1) + U32(60) + U16(4) +
                IPv4("192.0.2.1");
     },
     nullptr, kMalformed},
    {"answer_count_past_the_end",
     [](const auto& q) {
         return Header(q.id, kAnswerFlags, 1, 9) + QuestionSection(Name(q.name), q.type) +
                Record(Name(q.name), kTypeA, IPv4("192.0.2.1"));
     },
     nullptr, kMalformed},
    {"rdata_length_past_the_end",
     [](const auto& q) {
         return header(q, 1) + Name(q.name) + U16(kTypeA) + U16(1) + U32(60) + U16(400) + IPv4("192.0.2.1");
     },
     nullptr, kMalformed},
    {"label_of_64_octets",
     [](const auto& q) {
         return header(q, 1) + Record(std::string(1, '\x40') + std::string(64, 'a') + Name(q.name), kTypeA,
                                      IPv4("192.0.2.1"));
     },
     nullptr, kMalformed},
    {"address_of_zero_octets", [](const auto& q) { return header(q, 1) + Record(Name(q.name), kTypeA, ""); },
     nullptr, kNoRecord},
    {"address_of_sixteen_octets",
     [](const auto& q) { return header(q, 1) + Record(Name(q.name), kTypeA, std::string(16, '\x01')); },
     nullptr, kNoRecord},
    {"empty_datagram", [](const auto&) { return std::string(); }, nullptr, kOtherBytes},
    {"shorter_than_a_header", [](const auto& q) { return U16(q.id) + U16(kAnswerFlags); }, nullptr,
     kOtherBytes},
    {"header_without_question", [](const auto& q) { return Header(q.id, kAnswerFlags, 0, 0); }, nullptr,
     kOtherBytes},
    {"answer_for_another_id",
     [](const auto& q) {
         ScriptedDnsServer::Question other = q;
         other.id = static_cast<std::uint16_t>(q.id + 1);
         return Answer(other, {Record(Name(q.name), kTypeA, IPv4("192.0.2.1"))});
     },
     nullptr, kOtherBytes},
    {"answer_for_another_name",
     [](const auto& q) {
         ScriptedDnsServer::Question other = q;
         other.name = "other.example.test";
         return Answer(other, {Record(Name(other.name), kTypeA, IPv4("192.0.2.1"))});
     },
     nullptr, kOtherBytes},
    {"pointer_loop_in_question",
     [](const auto& q) {
         return Header(q.id, kAnswerFlags, 1, 0) + U16(0xC000 | 12) + U16(static_cast<unsigned>(q.type)) +
                U16(1);
     },
     nullptr, kOtherBytes},
    {"truncated_then_malformed_over_tcp",
     [](const auto& q) { return Answer(q, {}, kAnswerFlags | kTruncatedFlag); },
     [](const auto& q) {
         const std::string m = header(q, 1);
         return m + U16(0xC000 | static_cast<unsigned>(m.size())) + U16(kTypeA) + U16(1) + U32(60) + U16(4) +
                IPv4("192.0.2.1");
     },
     kMalformed},
    {"truncated_then_closed_over_tcp",
     [](const auto& q) { return Answer(q, {}, kAnswerFlags | kTruncatedFlag); },
     [](const auto&) { return std::nullopt; }, "refused, or closed without an answer"},
};

class HostileDns : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileDns, FailsClearlyWithinTheTimeout)
{
    const HostileCase& c = GetParam();
    ScriptedDnsServer server(c.udp, c.tcp);
    ThreadDNSCheck check = makeCheck("host.example.test", server.port(), "A", "", 900);
    const Outcome o = RunItem(check);
    EXPECT_FALSE(o.passed);
    EXPECT_TRUE(check.Records.empty());
    EXPECT_NE(o.detail.find(c.detailPart), std::string::npos) << o.detail;
    EXPECT_EQ(o.detail.rfind("[127.0.0.1:" + std::to_string(server.port()) + "] Failed:", 0), 0u) << o.detail;
    EXPECT_LT(o.elapsedMs, 1300);
}

INSTANTIATE_TEST_SUITE_P(Answers, HostileDns, ::testing::ValuesIn(kHostileCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
