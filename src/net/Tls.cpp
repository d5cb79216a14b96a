#include "net/Tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <vector>

namespace {

// The system's text for an errno value.
std::string systemText(int error)
{
    char buffer[256] = {};
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "unknown error";
}

// Text fit for a message: control bytes and bytes above 126 become "?", at most 200 bytes.
std::string printable(const std::string& text)
{
    std::string out;
    for (char c : text.substr(0, 200)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u > 0x7E) ? '?' : c;
    }
    return out;
}

// The reason of the oldest error in this thread's OpenSSL error queue ("wrong version number"),
// or `fallback` when the queue is empty. The queue is emptied.
std::string libraryReason(const std::string& fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return fallback;
    // What a server in the clear (or a wrong port) most often brings about; say so.
    if (ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_WRONG_VERSION_NUMBER)
        return "wrong version number (the peer does not answer in TLS)";
    const char* reason = ERR_reason_error_string(code);
    if (reason)
        return reason;
    char buffer[256] = {};
    ERR_error_string_n(code, buffer, sizeof buffer);
    return buffer;
}

// "2024-03-01 12:00:00 UTC"; empty when the time cannot be read.
std::string timeText(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    char text[64] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

// The names a certificate is for: its DNS and IP subject alternative names, or its common name
// when it has none. At most four, joined by ", ".
std::string certificateNames(X509* certificate)
{
    std::vector<std::string> names;
    auto* alternatives =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    if (alternatives) {
        for (int i = 0; i < sk_GENERAL_NAME_num(alternatives); ++i) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives, i);
            if (name->type == GEN_DNS) {
                const ASN1_IA5STRING* dns = name->d.dNSName;
                names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                                   static_cast<std::size_t>(ASN1_STRING_length(dns)));
            } else if (name->type == GEN_IPADD && ASN1_STRING_length(name->d.iPAddress) == 4) {
                char text[INET_ADDRSTRLEN] = {};
                if (::inet_ntop(AF_INET, ASN1_STRING_get0_data(name->d.iPAddress), text, sizeof text))
                    names.emplace_back(text);
            }
        }
        GENERAL_NAMES_free(alternatives);
    }
    if (names.empty()) {
        X509_NAME* subject = X509_get_subject_name(certificate);
        const int index = subject ? X509_NAME_get_index_by_NID(subject, NID_commonName, -1) : -1;
        if (index >= 0) {
            const ASN1_STRING* common = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
            names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(common)),
                               static_cast<std::size_t>(ASN1_STRING_length(common)));
        }
    }
    if (names.empty())
        return "no name";
    std::string joined;
    for (std::size_t i = 0; i < names.size() && i < 4; ++i)
        joined += (i ? ", " : "") + printable(names[i]);
    if (names.size() > 4)
        joined += ", ...";
    return joined;
}

// A distinguished name on one line in RFC 2253 order ("CN=host,O=Org"), printable, at most 200
// bytes; empty when there is none.
std::string nameText(const X509_NAME* name)
{
    if (!name)
        return {};
    BIO* memory = BIO_new(BIO_s_mem());
    if (!memory)
        return {};
    std::string text;
    if (X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253) >= 0) {
        char* data = nullptr;
        const long length = BIO_get_mem_data(memory, &data);
        if (data && length > 0)
            text.assign(data, static_cast<std::size_t>(length));
    }
    BIO_free(memory);
    return printable(text);
}

TlsPeerCertificate describeCertificate(X509* certificate)
{
    TlsPeerCertificate peer;
    peer.subject = nameText(X509_get_subject_name(certificate));
    peer.issuer = nameText(X509_get_issuer_name(certificate));
    peer.names = certificateNames(certificate);
    const ASN1_TIME* end = X509_get0_notAfter(certificate);
    peer.notAfter = timeText(end);
    int days = 0;
    int seconds = 0;
    if (end && ASN1_TIME_diff(&days, &seconds, nullptr, end) == 1)
        peer.secondsLeft = static_cast<long long>(days) * 86400 + seconds;
    return peer;
}

bool isIPv4Literal(const std::string& name)
{
    in_addr parsed{};
    return ::inet_pton(AF_INET, name.c_str(), &parsed) == 1;
}

// ---- a socket BIO that sends with MSG_NOSIGNAL --------------------------------------------------
// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the peer has gone. This
// one keeps the errno of its last failed call for the messages.

struct BioSocket
{
    int fd = -1;
    int lastError = 0;
};

BioSocket* bioSocket(BIO* bio)
{
    return static_cast<BioSocket*>(BIO_get_data(bio));
}

int bioWrite(BIO* bio, const char* data, int length)
{
    BioSocket* s = bioSocket(bio);
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n = ::send(s->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        s->lastError = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        return -1;
    }
}

int bioRead(BIO* bio, char* buffer, int size)
{
    BioSocket* s = bioSocket(bio);
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n = ::recv(s->fd, buffer, static_cast<std::size_t>(size), 0);
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0) {
            BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
            return 0;
        }
        if (errno == EINTR)
            continue;
        s->lastError = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(bio);
        return -1;
    }
}

long bioControl(BIO* bio, int command, long /*number*/, void* pointer)
{
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    case BIO_C_GET_FD:
        if (pointer)
            *static_cast<int*>(pointer) = bioSocket(bio)->fd;
        return bioSocket(bio)->fd;
    default:
        return 0;
    }
}

int bioCreate(BIO* bio)
{
    BIO_set_data(bio, new BioSocket);
    BIO_set_init(bio, 1);
    return 1;
}

int bioDestroy(BIO* bio)
{
    delete bioSocket(bio);
    BIO_set_data(bio, nullptr);
    return 1;
}

const BIO_METHOD* socketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quorvel socket");
        if (m) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioControl);
            BIO_meth_set_create(m, bioCreate);
            BIO_meth_set_destroy(m, bioDestroy);
        }
        return m;
    }();
    return method;
}

// ---- certificate verification -------------------------------------------------------------------

// The first complaint of the chain verification, with the certificate it was about.
struct VerifyNote
{
    int error = X509_V_OK;
    std::string notBefore;
    std::string notAfter;
    std::string names;
};

int verifyNoteIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int verifyCallback(int ok, X509_STORE_CTX* store)
{
    if (ok)
        return ok;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* note = ssl ? static_cast<VerifyNote*>(SSL_get_ex_data(ssl, verifyNoteIndex())) : nullptr;
    if (note && note->error == X509_V_OK) {
        note->error = X509_STORE_CTX_get_error(store);
        if (X509* certificate = X509_STORE_CTX_get_current_cert(store)) {
            note->notBefore = timeText(X509_get0_notBefore(certificate));
            note->notAfter = timeText(X509_get0_notAfter(certificate));
            note->names = certificateNames(certificate);
        }
    }
    return ok;
}

std::string certificateReason(int error, const VerifyNote& note)
{
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "certificate has expired" + (note.notAfter.empty() ? "" : " (it ended " + note.notAfter + ")");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "certificate is not yet valid" +
               (note.notBefore.empty() ? "" : " (it begins " + note.notBefore + ")");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "host name mismatch" +
               (note.names.empty() ? "" : " (the certificate is for " + note.names + ")");
    default:
        return X509_verify_cert_error_string(error);
    }
}

// ---- contexts -----------------------------------------------------------------------------------
// A context holds the trust store, which is costly to load, so one is kept per kind of options
// (and per version of the CA file) for the life of the program.

std::shared_ptr<SSL_CTX> makeContext(const TlsOptions& options)
{
    auto setupFailure = [](const std::string& reason) {
        return TlsError({TlsFailureKind::Setup, reason}, reason);
    };
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (!context)
        throw setupFailure("cannot set up TLS: " + libraryReason("out of memory"));
    SSL_CTX* ctx = context.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Many servers end the stream without close_notify; the protocols above see where data ends.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (options.verify) {
        if (SSL_CTX_set_default_verify_paths(ctx) != 1)
            ERR_clear_error(); // no system store is not an error by itself: the CA file may do
        if (!options.caFile.empty() &&
            SSL_CTX_load_verify_locations(ctx, options.caFile.c_str(), nullptr) != 1)
            throw setupFailure("cannot read the CA file \"" + printable(options.caFile) +
                               "\": " + libraryReason("no certificate in it"));
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, verifyCallback);
    } else {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    }
    return context;
}

std::shared_ptr<SSL_CTX> contextFor(const TlsOptions& options)
{
    std::string key = options.verify ? "verify" : "any";
    if (options.verify && !options.caFile.empty()) {
        struct stat info
        {
        };
        if (::stat(options.caFile.c_str(), &info) != 0) {
            const std::string reason =
                "cannot read the CA file \"" + printable(options.caFile) + "\": " + systemText(errno);
            throw TlsError({TlsFailureKind::Setup, reason}, reason);
        }
        key += "\n" + options.caFile + "\n" + std::to_string(info.st_mtim.tv_sec) + "." +
               std::to_string(info.st_mtim.tv_nsec) + "\n" + std::to_string(info.st_size);
    }
    // Never destroyed: OpenSSL cleans up at exit on its own, and freeing contexts after that
    // would touch freed memory.
    static std::mutex mutex;
    static auto* const contexts = new std::map<std::string, std::shared_ptr<SSL_CTX>>();
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = contexts->find(key);
    if (found != contexts->end())
        return found->second;
    std::shared_ptr<SSL_CTX> context = makeContext(options);
    if (contexts->size() >= 32)
        contexts->clear(); // CA files that keep changing: start over rather than grow
    contexts->emplace(key, context);
    return context;
}

} // namespace

int TlsPeerCertificate::daysLeft() const
{
    // Rounded towards minus infinity, so a certificate that ended an hour ago has -1 days.
    const long long days = secondsLeft >= 0 ? secondsLeft / 86400 : -((-secondsLeft + 86399) / 86400);
    return static_cast<int>(days);
}

TlsError::TlsError(TlsFailure failure, const std::string& message)
    : SocketError(message), m_failure(std::move(failure))
{
}

struct TlsChannel::State
{
    std::shared_ptr<SSL_CTX> context;
    SSL* ssl = nullptr;
    BioSocket* socket = nullptr; // owned by the BIO, which the SSL object owns
    std::mutex mutex;
    VerifyNote note;
    bool established = false;

    ~State()
    {
        if (ssl)
            SSL_free(ssl);
    }
};

TlsChannel::TlsChannel(int fd, const TlsOptions& options, const std::string& serverName)
    : m_state(std::make_unique<State>()), m_serverName(serverName), m_options(options)
{
    auto setupFailure = [](const std::string& reason) {
        return TlsError({TlsFailureKind::Setup, reason}, reason);
    };
    if (options.verify && serverName.empty())
        throw setupFailure("no host name to check the certificate against");
    m_state->context = contextFor(options);
    ERR_clear_error();
    m_state->ssl = SSL_new(m_state->context.get());
    BIO* bio = socketMethod() ? BIO_new(socketMethod()) : nullptr;
    if (!m_state->ssl || !bio) {
        if (bio)
            BIO_free(bio);
        throw setupFailure("cannot set up TLS: " + libraryReason("out of memory"));
    }
    m_state->socket = bioSocket(bio);
    m_state->socket->fd = fd;
    SSL* ssl = m_state->ssl;
    SSL_set_bio(ssl, bio, bio);
    SSL_set_ex_data(ssl, verifyNoteIndex(), &m_state->note);

    // SNI names hosts only, never addresses (RFC 6066).
    const bool address = isIPv4Literal(serverName);
    if (!address && !serverName.empty())
        SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(serverName.c_str()));
    if (options.verify) {
        X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl);
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        const int set = address ? X509_VERIFY_PARAM_set1_ip_asc(parameters, serverName.c_str())
                                : SSL_set1_host(ssl, serverName.c_str());
        if (set != 1)
            throw setupFailure("cannot check certificates against the name \"" + printable(serverName) +
                               "\"");
    }
    SSL_set_connect_state(ssl);
}

TlsChannel::~TlsChannel() = default;

TlsChannel::Status TlsChannel::judge(int result, bool handshaking)
{
    SSL* ssl = m_state->ssl;
    const int error = SSL_get_error(ssl, result);
    switch (error) {
    case SSL_ERROR_NONE:
        return Status::Done;
    case SSL_ERROR_WANT_READ:
        return Status::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return Status::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        ERR_clear_error();
        return Status::Closed;
    case SSL_ERROR_SYSCALL: {
        m_fatal = true;
        m_systemError = m_state->socket->lastError;
        const std::string reason = libraryReason(std::string());
        if (reason.empty() && (m_systemError == 0 || m_systemError == ECONNRESET || m_systemError == EPIPE))
            return Status::Closed;
        m_failure = {TlsFailureKind::Handshake, reason.empty() ? systemText(m_systemError) : reason};
        return Status::Failed;
    }
    default: {
        m_fatal = true;
        m_systemError = m_state->socket->lastError;
        const long verified = SSL_get_verify_result(ssl);
        if (handshaking && m_options.verify && (m_state->note.error != X509_V_OK || verified != X509_V_OK)) {
            ERR_clear_error();
            const int code =
                m_state->note.error != X509_V_OK ? m_state->note.error : static_cast<int>(verified);
            m_failure = {TlsFailureKind::Certificate, certificateReason(code, m_state->note)};
            return Status::Failed;
        }
        m_failure = {TlsFailureKind::Handshake, libraryReason("protocol error")};
        return Status::Failed;
    }
    }
}

TlsChannel::Status TlsChannel::handshake()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    ERR_clear_error();
    const int result = SSL_connect(m_state->ssl);
    if (result == 1) {
        m_state->established = true;
        return Status::Done;
    }
    return judge(result, true);
}

std::optional<TlsFailure> TlsChannel::checkExpiry() const
{
    if (!m_options.verify || m_options.expiryWarnDays <= 0)
        return std::nullopt;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    X509* leaf = SSL_get0_peer_certificate(m_state->ssl);
    if (!leaf)
        return std::nullopt;
    std::time_t limit = std::time(nullptr) + static_cast<std::time_t>(m_options.expiryWarnDays) * 86400;
    const ASN1_TIME* end = X509_get0_notAfter(leaf);
    if (X509_cmp_time(end, &limit) >= 0)
        return std::nullopt;
    return TlsFailure{TlsFailureKind::Expiring, "certificate ends on " + timeText(end) + ", within " +
                                                    std::to_string(m_options.expiryWarnDays) + " days"};
}

TlsChannel::Status TlsChannel::read(char* buffer, std::size_t size, std::size_t* received)
{
    *received = 0;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    ERR_clear_error();
    const int result = SSL_read(m_state->ssl, buffer, static_cast<int>(size > INT_MAX ? INT_MAX : size));
    if (result > 0) {
        *received = static_cast<std::size_t>(result);
        return Status::Done;
    }
    return judge(result, false);
}

TlsChannel::Status TlsChannel::write(const char* data, std::size_t size, std::size_t* sent)
{
    *sent = 0;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    ERR_clear_error();
    const int result = SSL_write(m_state->ssl, data, static_cast<int>(size > INT_MAX ? INT_MAX : size));
    if (result > 0) {
        *sent = static_cast<std::size_t>(result);
        return Status::Done;
    }
    return judge(result, false);
}

void TlsChannel::closeNotify()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (!m_state->established || m_fatal)
        return;
    m_fatal = true; // once
    SSL_shutdown(m_state->ssl);
    ERR_clear_error();
}

std::string TlsChannel::protocol() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->established ? SSL_get_version(m_state->ssl) : std::string();
}

std::optional<TlsPeerCertificate> TlsChannel::peerCertificate() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    X509* leaf = SSL_get0_peer_certificate(m_state->ssl);
    if (!leaf) {
        // A chain that failed verification is kept, while the leaf is only set once accepted;
        // a client's chain starts with the peer's own certificate.
        STACK_OF(X509)* chain = SSL_get_peer_cert_chain(m_state->ssl);
        if (chain && sk_X509_num(chain) > 0)
            leaf = sk_X509_value(chain, 0);
    }
    if (!leaf)
        return std::nullopt;
    return describeCertificate(leaf);
}
