#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A fake DNS server for tests: listens on 127.0.0.1 on one port for UDP and TCP (the system picks
// the port), and answers each question with the bytes a responder of the test makes, so a test
// can send answers no real server would (truncated, malformed, for another id or name). TCP
// messages get their two-byte length in front; everything else is sent as the responder made
// it. Every wait is bounded and destruction stops the server at once.
class ScriptedDnsServer
{
public:
    struct Question
    {
        std::uint16_t id = 0;
        std::string name; // dotted, as asked, without a trailing dot
        int type = 0;
        std::string message; // the whole question as it came
        bool tcp = false;
    };
    // The answer to send; none sends nothing (UDP) or closes the connection (TCP). An empty
    // answer over UDP is a datagram of no bytes.
    using Responder = std::function<std::optional<std::string>(const Question&)>;

    explicit ScriptedDnsServer(Responder udp, Responder tcp = {});
    ~ScriptedDnsServer();
    ScriptedDnsServer(const ScriptedDnsServer&) = delete;
    ScriptedDnsServer& operator=(const ScriptedDnsServer&) = delete;

    int port() const { return m_port; }
    int udpQuestions() const { return m_udpQuestions.load(); }
    int tcpQuestions() const { return m_tcpQuestions.load(); }

private:
    void serve();
    void serveTcp(int fd);

    Responder m_udp;
    Responder m_tcp;
    int m_udpFd = -1;
    int m_tcpFd = -1;
    int m_port = 0;
    int m_wakePipe[2] = {-1, -1};
    std::atomic<int> m_udpQuestions{0};
    std::atomic<int> m_tcpQuestions{0};
    std::thread m_thread;
};

// Pieces of DNS messages (RFC 1035), for responders.
namespace dnswire {

constexpr std::uint16_t kAnswerFlags = 0x8180;   // QR, RD, RA, NOERROR
constexpr std::uint16_t kTruncatedFlag = 0x0200; // TC
constexpr int kTypeA = 1;
constexpr int kTypeNS = 2;
constexpr int kTypeCNAME = 5;
constexpr int kTypeSOA = 6;
constexpr int kTypeMX = 15;
constexpr int kTypeTXT = 16;
constexpr int kTypeAAAA = 28;

std::string U16(unsigned value);
std::string U32(std::uint32_t value);
// "a.b" as labels ending with the root label.
std::string Name(const std::string& dotted);
std::string Header(std::uint16_t id, std::uint16_t flags, unsigned questions, unsigned answers,
                   unsigned authority = 0, unsigned additional = 0);
std::string QuestionSection(const std::string& encodedName, int type);
std::string Record(const std::string& encodedOwner, int type, const std::string& rdata,
                   std::uint32_t ttl = 300);
std::string IPv4(const std::string& dotted); // four bytes of rdata

// The usual answer to `q`: its header and question followed by `records` (already encoded).
std::string Answer(const ScriptedDnsServer::Question& q, const std::vector<std::string>& records,
                   std::uint16_t flags = kAnswerFlags);

} // namespace dnswire
