#include "net/DnsQuery.h"

#include "net/Socket.h"

#include <ares.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

struct TypeEntry
{
    DnsType type;
    const char* name;
    int code; // the RR type number of RFC 1035 and RFC 3596
};

constexpr TypeEntry kTypes[] = {
    {DnsType::A, "A", 1},     {DnsType::AAAA, "AAAA", 28}, {DnsType::CNAME, "CNAME", 5},
    {DnsType::MX, "MX", 15},  {DnsType::NS, "NS", 2},      {DnsType::TXT, "TXT", 16},
    {DnsType::SOA, "SOA", 6},
};
constexpr int kClassIn = 1;
// A little room beyond the time-out for c-ares to report its own time-out first.
constexpr int kSlackMs = 50;
constexpr int kMaxAddresses = 64;

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const TypeEntry& entryOf(DnsType type)
{
    for (const TypeEntry& e : kTypes) {
        if (e.type == type)
            return e;
    }
    return kTypes[0];
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

// What the channel's sockets brought in, for telling silence from answers c-ares set aside
// (another id or name, or too broken to belong to the question).
struct Traffic
{
    std::vector<ares_socket_t> udpSockets;
    int datagrams = 0;      // UDP, empty ones included
    long long tcpBytes = 0; // over TCP

    bool any() const { return datagrams > 0 || tcpBytes > 0; }
    std::string text() const
    {
        std::string t;
        if (datagrams > 0)
            t = std::to_string(datagrams) + (datagrams == 1 ? " datagram" : " datagrams");
        if (tcpBytes > 0)
            t += (t.empty() ? "" : " and ") + std::to_string(tcpBytes) + " bytes over TCP";
        const bool one = datagrams == 1 && tcpBytes == 0;
        return t + (one ? " came that answers another question or is malformed"
                        : " came that answer another question or are malformed");
    }
};

// The socket calls c-ares makes, plain system calls that count what arrives. Sockets are made
// non-blocking here, since c-ares leaves socket options to whoever supplies these calls.
ares_socket_t openSocket(int domain, int type, int protocol, void* user)
{
    const ares_socket_t fd = ::socket(domain, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd >= 0 && type == SOCK_DGRAM)
        static_cast<Traffic*>(user)->udpSockets.push_back(fd);
    return fd;
}

int closeSocket(ares_socket_t fd, void* user)
{
    std::vector<ares_socket_t>& udp = static_cast<Traffic*>(user)->udpSockets;
    udp.erase(std::remove(udp.begin(), udp.end(), fd), udp.end());
    return ::close(fd);
}

int connectSocket(ares_socket_t fd, const struct sockaddr* address, ares_socklen_t length, void*)
{
    return ::connect(fd, address, length);
}

ares_ssize_t receiveFrom(ares_socket_t fd, void* buffer, size_t length, int flags, struct sockaddr* from,
                         ares_socklen_t* fromLength, void* user)
{
    const ares_ssize_t n = ::recvfrom(fd, buffer, length, flags, from, fromLength);
    Traffic* traffic = static_cast<Traffic*>(user);
    const bool udp =
        std::find(traffic->udpSockets.begin(), traffic->udpSockets.end(), fd) != traffic->udpSockets.end();
    if (udp && n >= 0)
        ++traffic->datagrams;
    else if (!udp && n > 0)
        traffic->tcpBytes += n;
    return n;
}

// sendmsg rather than writev: a TCP connection the server has closed must not raise SIGPIPE.
ares_ssize_t sendVector(ares_socket_t fd, const struct iovec* vector, int count, void*)
{
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(vector);
    message.msg_iovlen = static_cast<std::size_t>(count);
    return ::sendmsg(fd, &message, MSG_NOSIGNAL);
}

const struct ares_socket_functions kSocketFunctions = {openSocket, closeSocket, connectSocket, receiveFrom,
                                                       sendVector};

struct ChannelDeleter
{
    void operator()(ares_channeldata* channel) const { ares_destroy(channel); }
};
using Channel = std::unique_ptr<ares_channeldata, ChannelDeleter>;

// The outcome the callback leaves.
struct Result
{
    bool done = false;
    int status = ARES_SUCCESS;
    std::string answer;
};

void onAnswer(void* arg, int status, int /*timeouts*/, unsigned char* abuf, int alen)
{
    Result* result = static_cast<Result*>(arg);
    result->done = true;
    result->status = status;
    if (abuf && alen > 0)
        result->answer.assign(reinterpret_cast<const char*>(abuf), static_cast<std::size_t>(alen));
}

// The server as c-ares takes it.
ares_addr_port_node serverNode(const std::string& server, int port)
{
    ares_addr_port_node node{};
    node.next = nullptr;
    node.udp_port = port;
    node.tcp_port = port;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, server.c_str(), &v6) == 1) {
        node.family = AF_INET6;
        std::memcpy(&node.addr.addr6, &v6, sizeof v6);
        return node;
    }
    std::string v4;
    try {
        v4 = ResolveIPv4(server);
    } catch (const SocketError& e) {
        throw DnsError(DnsError::Reason::BadQuestion, std::string("DNS server: ") + e.what());
    }
    node.family = AF_INET;
    ::inet_pton(AF_INET, v4.c_str(), &node.addr.addr4);
    return node;
}

Channel openChannel(const DnsQuestion& q, Traffic* traffic)
{
    initLibrary();
    ares_options options{};
    // SERVFAIL and REFUSED answers come back to us instead of being retried as a dead server.
    options.flags = ARES_FLAG_NOCHECKRESP | ARES_FLAG_NOSEARCH;
    // Two tries; c-ares doubles the wait of the second, so a third of the time-out each leaves
    // the whole question within it.
    options.tries = 2;
    options.timeout = std::max(1, q.timeoutMs / 3);
    ares_channel raw = nullptr;
    const int status =
        ares_init_options(&raw, &options, ARES_OPT_FLAGS | ARES_OPT_TRIES | ARES_OPT_TIMEOUTMS);
    if (status != ARES_SUCCESS)
        throw DnsError(DnsError::Reason::Other,
                       std::string("cannot set up the resolver: ") + ares_strerror(status));
    Channel channel(raw);
    ares_addr_port_node server = serverNode(q.server, q.port);
    const int set = ares_set_servers_ports(channel.get(), &server);
    if (set != ARES_SUCCESS)
        throw DnsError(DnsError::Reason::BadQuestion,
                       std::string("cannot use DNS server ") + q.server + ": " + ares_strerror(set));
    ares_set_socket_functions(channel.get(), &kSocketFunctions, traffic);
    return channel;
}

// Turns the channel until the callback has run or the time is up (then the question is
// cancelled, which runs the callback with ARES_ECANCELLED).
void drive(ares_channel channel, const Result& result, long long deadlineMs)
{
    while (!result.done) {
        const long long left = deadlineMs - steadyNowMs();
        if (left <= 0) {
            ares_cancel(channel);
            return;
        }
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd fds[ARES_GETSOCK_MAXNUM];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            const bool readable = ARES_GETSOCK_READABLE(bits, i);
            const bool writable = ARES_GETSOCK_WRITABLE(bits, i);
            if (!readable && !writable)
                continue;
            fds[count].fd = sockets[i];
            fds[count].events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
            fds[count].revents = 0;
            ++count;
        }
        timeval most{static_cast<time_t>(left / 1000), static_cast<suseconds_t>((left % 1000) * 1000)};
        timeval next{};
        const timeval* wait = ares_timeout(channel, &most, &next);
        const int waitMs = static_cast<int>(wait->tv_sec * 1000 + (wait->tv_usec + 999) / 1000);
        const int ready = ::poll(fds, count, waitMs);
        if (ready < 0 && errno != EINTR)
            throw DnsError(DnsError::Reason::Other,
                           std::string("waiting for the DNS answer: ") + std::strerror(errno));
        if (ready <= 0) {
            ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD); // time-outs and retries
            continue;
        }
        for (nfds_t i = 0; i < count && !result.done; ++i) {
            const short ev = fds[i].revents;
            if (ev == 0)
                continue;
            ares_process_fd(channel, (ev & (POLLIN | POLLERR | POLLHUP)) ? fds[i].fd : ARES_SOCKET_BAD,
                            (ev & POLLOUT) ? fds[i].fd : ARES_SOCKET_BAD);
        }
    }
}

std::string addressText(int family, const void* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(family, address, text, sizeof text);
    return text;
}

struct HostentDeleter
{
    void operator()(hostent* h) const { ares_free_hostent(h); }
};
using Hostent = std::unique_ptr<hostent, HostentDeleter>;

struct DataDeleter
{
    void operator()(void* data) const { ares_free_data(data); }
};

// Parses the records of `type` from `answer` with c-ares' parser for it. Returns the c-ares status.
int parseRecords(DnsType type, const std::string& answer, std::vector<DnsRecord>& records)
{
    const unsigned char* buf = reinterpret_cast<const unsigned char*>(answer.data());
    const int len = static_cast<int>(answer.size());
    switch (type) {
    case DnsType::A: {
        ares_addrttl addresses[kMaxAddresses];
        int count = kMaxAddresses;
        hostent* raw = nullptr;
        const int status = ares_parse_a_reply(buf, len, &raw, addresses, &count);
        Hostent host(raw);
        if (status == ARES_SUCCESS) {
            for (int i = 0; i < count; ++i)
                records.push_back({addressText(AF_INET, &addresses[i].ipaddr), -1, {}});
        }
        return status;
    }
    case DnsType::AAAA: {
        ares_addr6ttl addresses[kMaxAddresses];
        int count = kMaxAddresses;
        hostent* raw = nullptr;
        const int status = ares_parse_aaaa_reply(buf, len, &raw, addresses, &count);
        Hostent host(raw);
        if (status == ARES_SUCCESS) {
            for (int i = 0; i < count; ++i)
                records.push_back({addressText(AF_INET6, &addresses[i].ip6addr), -1, {}});
        }
        return status;
    }
    case DnsType::CNAME: {
        hostent* raw = nullptr;
        const int status = ares_parse_a_reply(buf, len, &raw, nullptr, nullptr);
        Hostent host(raw);
        if (status == ARES_SUCCESS && host && host->h_name)
            records.push_back({host->h_name, -1, {}});
        return status;
    }
    case DnsType::NS: {
        hostent* raw = nullptr;
        const int status = ares_parse_ns_reply(buf, len, &raw);
        Hostent host(raw);
        if (status == ARES_SUCCESS && host && host->h_aliases) {
            for (char** alias = host->h_aliases; *alias; ++alias)
                records.push_back({*alias, -1, {}});
        }
        return status;
    }
    case DnsType::MX: {
        ares_mx_reply* raw = nullptr;
        const int status = ares_parse_mx_reply(buf, len, &raw);
        std::unique_ptr<ares_mx_reply, DataDeleter> list(raw);
        for (const ares_mx_reply* mx = raw; status == ARES_SUCCESS && mx; mx = mx->next)
            records.push_back({mx->host ? mx->host : "", mx->priority, {}});
        return status;
    }
    case DnsType::TXT: {
        ares_txt_ext* raw = nullptr;
        const int status = ares_parse_txt_reply_ext(buf, len, &raw);
        std::unique_ptr<ares_txt_ext, DataDeleter> list(raw);
        for (const ares_txt_ext* t = raw; status == ARES_SUCCESS && t; t = t->next) {
            if (t->record_start || records.empty())
                records.push_back({});
            records.back().value.append(reinterpret_cast<const char*>(t->txt), t->length);
        }
        return status;
    }
    case DnsType::SOA: {
        ares_soa_reply* raw = nullptr;
        const int status = ares_parse_soa_reply(buf, len, &raw);
        std::unique_ptr<ares_soa_reply, DataDeleter> soa(raw);
        if (status == ARES_SUCCESS && soa) {
            std::ostringstream extra;
            extra << (soa->hostmaster ? soa->hostmaster : "") << ' ' << soa->serial << ' ' << soa->refresh
                  << ' ' << soa->retry << ' ' << soa->expire << ' ' << soa->minttl;
            records.push_back({soa->nsname ? soa->nsname : "", -1, extra.str()});
        }
        return status;
    }
    }
    return ARES_ENOTIMP;
}

} // namespace

const char* DnsTypeName(DnsType type)
{
    return entryOf(type).name;
}

bool DnsTypeFromText(const std::string& text, DnsType* type)
{
    for (const TypeEntry& e : kTypes) {
        if (text.size() == std::strlen(e.name) &&
            std::equal(text.begin(), text.end(), e.name,
                       [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; })) {
            *type = e.type;
            return true;
        }
    }
    return false;
}

std::string DnsTypeNames()
{
    std::string names;
    for (const TypeEntry& e : kTypes)
        names += (names.empty() ? "" : ", ") + std::string(e.name);
    return names;
}

std::string DnsRecord::text() const
{
    if (preference >= 0)
        return std::to_string(preference) + " " + value;
    if (!extra.empty())
        return value + " " + extra;
    return value;
}

std::vector<DnsRecord> DnsLookup(const DnsQuestion& q)
{
    const std::string server = q.server + ":" + std::to_string(q.port);
    const std::string what = std::string(DnsTypeName(q.type)) + " " + q.name;
    if (q.name.empty())
        throw DnsError(DnsError::Reason::BadQuestion, "no name to ask for");

    Traffic traffic;
    Channel channel = openChannel(q, &traffic);
    Result result;
    const long long deadline = steadyNowMs() + q.timeoutMs + kSlackMs;
    ares_query(channel.get(), q.name.c_str(), kClassIn, entryOf(q.type).code, onAnswer, &result);
    drive(channel.get(), result, deadline);
    channel.reset(); // closes the sockets; a question still open ends with ARES_EDESTRUCTION

    using Reason = DnsError::Reason;
    switch (result.status) {
    case ARES_SUCCESS:
        break;
    case ARES_ENODATA:
        return {}; // NOERROR without records of the type
    case ARES_ENOTFOUND:
        throw DnsError(Reason::NameError, q.name + " does not exist (NXDOMAIN from " + server + ")");
    case ARES_ESERVFAIL:
        throw DnsError(Reason::ServerFailure, server + " failed to answer " + what + " (SERVFAIL)");
    case ARES_EREFUSED:
        throw DnsError(Reason::Refused, server + " refused to answer " + what + " (REFUSED)");
    case ARES_ENOTIMP:
        throw DnsError(Reason::Refused, server + " does not answer " + what + " (NOTIMP)");
    case ARES_EFORMERR:
        throw DnsError(Reason::Refused, server + " could not read the question " + what + " (FORMERR)");
    case ARES_EBADNAME:
        throw DnsError(Reason::BadQuestion, "\"" + q.name + "\" is not a name that can be asked for");
    case ARES_ETIMEOUT:
    case ARES_ECANCELLED:
    case ARES_EDESTRUCTION: {
        std::string message =
            "no answer to " + what + " from " + server + " within " + std::to_string(q.timeoutMs) + " ms";
        if (traffic.any())
            message += " (" + traffic.text() + ")";
        throw DnsError(Reason::Timeout, message);
    }
    case ARES_ECONNREFUSED:
        throw DnsError(Reason::Refused,
                       "no answer to " + what + " from " + server + ": refused, or closed without an answer");
    case ARES_EBADRESP:
        throw DnsError(Reason::BadAnswer, "malformed answer to " + what + " from " + server);
    default:
        throw DnsError(Reason::Other,
                       "no answer to " + what + " from " + server + ": " + ares_strerror(result.status));
    }

    std::vector<DnsRecord> records;
    const int status = parseRecords(q.type, result.answer, records);
    if (status == ARES_ENODATA)
        return {};
    if (status != ARES_SUCCESS)
        throw DnsError(Reason::BadAnswer, "malformed answer to " + what + " from " + server + " (" +
                                              ares_strerror(status) + ")");
    return records;
}

std::string FirstSystemResolver(const std::string& resolvConf)
{
    std::ifstream file(resolvConf);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string keyword;
        std::string address;
        if (words >> keyword >> address && keyword == "nameserver")
            return address;
    }
    return {};
}
