#include "net/HttpClient.h"

#include "net/Socket.h"

#include <QList>
#include <QLoggingCategory>

#include <zlib.h>

#include <algorithm>
#include <chrono>

// Debug lines (method, host, port, status; never the path, credentials or headers) are off by default.
Q_LOGGING_CATEGORY(lcHttp, "quorvel.net.http", QtWarningMsg)

namespace {

constexpr int kDefaultTimeoutMs = 5000;
constexpr std::size_t kReadChunk = 64 * 1024;

using SteadyClock = std::chrono::steady_clock;

[[noreturn]] void fail(const QByteArray& message)
{
    throw HttpError(message.toStdString());
}

char hexDigit(int value)
{
    return "0123456789ABCDEF"[value & 0x0F];
}

bool isAlnum(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Percent-encodes the bytes that cannot stand in a request line: blanks, control bytes and
// bytes above 127. Everything else, "%" included, stays as written.
QByteArray encodeTarget(const QByteArray& raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hexDigit(c >> 4);
            out += hexDigit(c);
        } else {
            out += ch;
        }
    }
    return out;
}

// Removes "." and ".." segments from an absolute path (RFC 3986, section 5.2.4).
QByteArray removeDotSegments(const QByteArray& path)
{
    QList<QByteArray> out;
    const QList<QByteArray> segments = path.split('/');
    // segments[0] is the empty text before the leading "/".
    for (qsizetype i = 1; i < segments.size(); ++i) {
        const QByteArray& s = segments[i];
        const bool last = i == segments.size() - 1;
        if (s == ".") {
            if (last)
                out.append(QByteArray());
        } else if (s == "..") {
            if (!out.isEmpty())
                out.removeLast();
            if (last)
                out.append(QByteArray());
        } else {
            out.append(s);
        }
    }
    QByteArray result;
    for (const QByteArray& s : out)
        result += '/' + s;
    return result.isEmpty() ? QByteArrayLiteral("/") : result;
}

// Splits a target into its path and the query with its "?" (possibly empty).
void splitTarget(const QByteArray& target, QByteArray& path, QByteArray& query)
{
    const qsizetype q = target.indexOf('?');
    path = q < 0 ? target : target.left(q);
    query = q < 0 ? QByteArray() : target.mid(q);
}

bool hasLineBreak(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n') || value.contains('\0');
}

QByteArray basicCredentials(const QString& user, const QString& password)
{
    return "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

int remainingMs(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

} // namespace

HttpMethod HttpMethodFromText(const QString& text)
{
    if (text == QLatin1String("Get"))
        return HttpMethod::Get;
    if (text == QLatin1String("Post"))
        return HttpMethod::Post;
    if (text == QLatin1String("Options"))
        return HttpMethod::Options;
    if (text == QLatin1String("Trace"))
        return HttpMethod::Trace;
    if (text == QLatin1String("Put"))
        return HttpMethod::Put;
    if (text == QLatin1String("Delete"))
        return HttpMethod::Delete;
    return HttpMethod::Head;
}

QByteArray HttpMethodName(HttpMethod method)
{
    switch (method) {
    case HttpMethod::Get:
        return "GET";
    case HttpMethod::Post:
        return "POST";
    case HttpMethod::Head:
        return "HEAD";
    case HttpMethod::Options:
        return "OPTIONS";
    case HttpMethod::Trace:
        return "TRACE";
    case HttpMethod::Put:
        return "PUT";
    case HttpMethod::Delete:
        return "DELETE";
    }
    return "HEAD";
}

QByteArray HttpUrl::authority() const
{
    const QByteArray name = host.contains(':') ? '[' + host + ']' : host;
    return port == defaultPort() ? name : name + ':' + QByteArray::number(port);
}

QByteArray HttpUrl::absolute() const
{
    return (secure ? "https://" : "http://") + authority() + target;
}

bool HttpUrl::sameOrigin(const HttpUrl& other) const
{
    return secure == other.secure && port == other.port && host.compare(other.host, Qt::CaseInsensitive) == 0;
}

bool HttpUrl::sameAddress(const HttpUrl& other) const
{
    return sameOrigin(other) && target == other.target;
}

HttpUrl ParseHttpUrl(const QString& url)
{
    const QByteArray text = url.trimmed().toUtf8();
    static const QByteArray plain = QByteArrayLiteral("http://");
    static const QByteArray secure = QByteArrayLiteral("https://");
    HttpUrl result;
    if (text.left(secure.size()).compare(secure, Qt::CaseInsensitive) == 0) {
        result.secure = true;
        result.port = 443;
    } else if (text.left(plain.size()).compare(plain, Qt::CaseInsensitive) != 0) {
        fail("not an http:// or https:// address: \"" + PrintableExcerpt(text) + "\"");
    }
    const QByteArray rest = text.mid(result.secure ? secure.size() : plain.size());

    qsizetype authorityEnd = rest.size();
    for (char stop : {'/', '?', '#'}) {
        const qsizetype i = rest.indexOf(stop);
        if (i >= 0 && i < authorityEnd)
            authorityEnd = i;
    }
    QByteArray authority = rest.left(authorityEnd);
    QByteArray target = rest.mid(authorityEnd);

    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0)
        authority = authority.mid(at + 1);

    QByteArray portText;
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0)
            fail("invalid host in address: \"" + PrintableExcerpt(text) + "\"");
        result.host = authority.mid(1, close - 1);
        const QByteArray after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(':'))
            fail("invalid host in address: \"" + PrintableExcerpt(text) + "\"");
        portText = after.mid(1);
    } else {
        const qsizetype colon = authority.lastIndexOf(':');
        result.host = colon < 0 ? authority : authority.left(colon);
        portText = colon < 0 ? QByteArray() : authority.mid(colon + 1);
    }
    if (result.host.isEmpty())
        fail("no host name in address: \"" + PrintableExcerpt(text) + "\"");
    for (char c : result.host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            fail("invalid host in address: \"" + PrintableExcerpt(text) + "\"");
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        const bool digitsOnly =
            std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || !digitsOnly || port < 1 || port > 65535)
            fail("invalid port in address: \"" + PrintableExcerpt(text) + "\"");
        result.port = port;
    }

    const qsizetype hash = target.indexOf('#');
    if (hash >= 0)
        target.truncate(hash);
    if (target.isEmpty() || target.startsWith('?'))
        target.prepend('/');
    result.target = encodeTarget(target);
    return result;
}

HttpUrl ResolveLocation(const HttpUrl& base, const QByteArray& location)
{
    QByteArray ref = location.trimmed();
    const qsizetype hash = ref.indexOf('#');
    if (hash >= 0)
        ref.truncate(hash);

    // A scheme: letters, digits, "+", "-", "." before the first ":" that precedes any "/?#".
    qsizetype colon = -1;
    for (qsizetype i = 0; i < ref.size(); ++i) {
        const auto c = static_cast<unsigned char>(ref[i]);
        if (c == ':') {
            colon = i;
            break;
        }
        if (!(isAlnum(c) || c == '+' || c == '-' || c == '.') || (i == 0 && !isAlnum(c)))
            break;
    }
    if (colon > 0) {
        const QByteArray scheme = ref.left(colon).toLower();
        if (scheme != "http" && scheme != "https")
            fail("cannot follow a redirect to \"" + PrintableExcerpt(location) +
                 "\": only http:// and https:// addresses are supported");
        const QByteArray afterScheme = ref.mid(colon + 1);
        if (afterScheme.startsWith("//"))
            return ParseHttpUrl(QString::fromUtf8(scheme + ':' + afterScheme));
        if ((scheme == "https") != base.secure)
            fail("cannot follow a redirect to \"" + PrintableExcerpt(location) +
                 "\": a scheme change needs a host");
        ref = afterScheme; // "http:path", relative to the base
    }
    if (ref.startsWith("//"))
        return ParseHttpUrl(QString::fromUtf8((base.secure ? "https:" : "http:") + ref));

    HttpUrl result = base;
    QByteArray basePath;
    QByteArray baseQuery;
    splitTarget(base.target, basePath, baseQuery);
    if (ref.isEmpty())
        return result;

    QByteArray refPath;
    QByteArray refQuery;
    splitTarget(encodeTarget(ref), refPath, refQuery);
    if (refPath.isEmpty()) {
        result.target = basePath + refQuery;
    } else if (refPath.startsWith('/')) {
        result.target = removeDotSegments(refPath) + refQuery;
    } else {
        const QByteArray directory = basePath.left(basePath.lastIndexOf('/') + 1);
        result.target = removeDotSegments(directory + refPath) + refQuery;
    }
    return result;
}

QByteArray FormEncode(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '+';
        } else if (isAlnum(c)) {
            out += ch;
        } else {
            out += '%';
            out += hexDigit(c >> 4);
            out += hexDigit(c);
        }
    }
    return out;
}

QByteArray FormEncodeFields(const QStringList& lines)
{
    QByteArray body;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            body += '&';
        const QByteArray line = lines[i].toUtf8();
        const qsizetype eq = line.indexOf('=');
        if (eq < 0 || eq == line.size() - 1)
            body += line;
        else
            body += line.left(eq + 1) + FormEncode(line.mid(eq + 1));
    }
    return body;
}

QByteArray CookiePair(const QString& cookieText)
{
    QByteArray pair = cookieText.toUtf8();
    const qsizetype semicolon = pair.indexOf(';');
    if (semicolon >= 0)
        pair.truncate(semicolon);
    const qsizetype eq = pair.indexOf('=');
    const QByteArray name = (eq < 0 ? pair : pair.left(eq)).trimmed();
    if (name.isEmpty())
        return {};
    const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1).trimmed();
    return name + '=' + value;
}

namespace {

// Inflates `data` with zlib's window bits `windowBits` (15 + 32: zlib or gzip header, found by
// itself; -15: raw deflate). Returns false when the data is not such a stream or ends too soon.
bool inflateWith(const QByteArray& data, int windowBits, qsizetype limit, QByteArray* out, bool* tooLong)
{
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK)
        return false;
    struct End
    {
        z_stream* s;
        ~End() { inflateEnd(s); }
    } end{&stream};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    out->clear();
    char buffer[16 * 1024];
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        const int rc = inflate(&stream, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            return false;
        const qsizetype produced = qsizetype(sizeof buffer) - qsizetype(stream.avail_out);
        if (out->size() + produced > limit) {
            *tooLong = true;
            return false;
        }
        out->append(buffer, produced);
        if (rc == Z_STREAM_END)
            return true;
        if (produced == 0 && stream.avail_in == 0)
            return false; // the data ended in the middle of the stream
    }
}

} // namespace

QByteArray DecodeContent(const QByteArray& encoding, const QByteArray& body, qsizetype limit)
{
    const QByteArray name = encoding.trimmed().toLower();
    if (name.isEmpty() || name == "identity")
        return body;
    const bool gzip = name == "gzip" || name == "x-gzip";
    if (!gzip && name != "deflate")
        throw HttpError("the body is encoded as \"" + PrintableExcerpt(encoding).toStdString() +
                        "\", which the check cannot read (gzip and deflate it can)");
    QByteArray out;
    bool tooLong = false;
    if (inflateWith(body, 15 + 32, limit, &out, &tooLong))
        return out;
    if (!tooLong && !gzip && inflateWith(body, -15, limit, &out, &tooLong))
        return out;
    if (tooLong)
        throw HttpError("the decoded body exceeds the limit of " + std::to_string(limit) + " bytes");
    throw HttpError("the " + name.toStdString() + " body does not decode");
}

HttpClient::HttpClient(HttpClientSettings settings) : m_settings(std::move(settings))
{
    if (m_settings.timeoutMs <= 0)
        m_settings.timeoutMs = kDefaultTimeoutMs;
    if (m_settings.maxRedirects < 0)
        m_settings.maxRedirects = 0;
}

HttpClient::~HttpClient()
{
    close();
}

bool HttpClient::usesProxy() const
{
    return !m_settings.proxyHost.isEmpty() && m_settings.proxyPort != 0;
}

void HttpClient::close()
{
    if (m_socket) {
        m_socket->close();
        m_socket.reset();
    }
}

QByteArray HttpClient::requestBody(HttpMethod method, const QStringList& formFields,
                                   const QByteArray& rawBody) const
{
    if (method == HttpMethod::Post)
        return FormEncodeFields(formFields);
    if (method == HttpMethod::Put)
        return rawBody;
    return {};
}

QByteArray HttpClient::composeRequest(HttpMethod method, const HttpUrl& url, const QByteArray& body,
                                      bool withCredentials) const
{
    // Through a tunnel (https) the proxy only relays: the request is the one sent to the server.
    const bool proxyReadsRequest = usesProxy() && !url.secure;
    QByteArray request;
    request +=
        HttpMethodName(method) + ' ' + (proxyReadsRequest ? url.absolute() : url.target) + " HTTP/1.1\r\n";

    auto add = [&request](const char* name, const QByteArray& value) {
        if (value.isEmpty())
            return;
        if (hasLineBreak(value))
            fail(QByteArray("the ") + name + " header value contains a line break");
        request += QByteArray(name) + ": " + value + "\r\n";
    };

    QString contentType = m_settings.contentType;
    if (method == HttpMethod::Post &&
        (contentType.isEmpty() || contentType.compare(QLatin1String("text/html"), Qt::CaseInsensitive) == 0))
        contentType = QStringLiteral("application/x-www-form-urlencoded");

    add("Host", url.authority());
    add("Referer", m_settings.referer.toUtf8());
    add("User-Agent", m_settings.userAgent.toUtf8());
    add("Content-Type", contentType.toUtf8());
    add("Accept", m_settings.accept.toUtf8());
    add("Accept-Charset", m_settings.acceptCharset.toUtf8());
    add("Accept-Encoding", m_settings.acceptEncoding.toUtf8());
    add("Accept-Language", m_settings.acceptLanguage.toUtf8());
    if (withCredentials && (!m_settings.userName.isEmpty() || !m_settings.password.isEmpty()))
        add("Authorization", basicCredentials(m_settings.userName, m_settings.password));
    if (proxyReadsRequest && (!m_settings.proxyUserName.isEmpty() || !m_settings.proxyPassword.isEmpty()))
        add("Proxy-Authorization", basicCredentials(m_settings.proxyUserName, m_settings.proxyPassword));
    if (withCredentials)
        add("Cookie", CookiePair(m_settings.cookie));
    if (method == HttpMethod::Post || method == HttpMethod::Put)
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n";
    request += body;
    return request;
}

void HttpClient::send(HttpMethod method, const QString& url, const QStringList& formFields,
                      const QByteArray& rawBody)
{
    m_lastPort = 0;
    m_responseCode = -1;
    m_statusLine.clear();
    m_body.clear();
    m_redirects = 0;
    m_peerCertificate.reset();
    m_lastUrl = url.toUtf8();

    const HttpUrl first = ParseHttpUrl(url);
    const QByteArray body = requestBody(method, formFields, rawBody);
    HttpUrl current = first;
    QList<HttpUrl> requested;
    for (;;) {
        // Credentials (Basic and the cookie) belong to the first request's host and port only.
        const QByteArray request = composeRequest(method, current, body, current.sameOrigin(first));
        m_lastUrl = current.absolute();
        requested.append(current);
        exchange(method, current, request);

        const int code = m_responseCode;
        if (code >= 200 && code <= 299)
            return;
        if (code >= 300 && code <= 399 && code != 304 && !m_location.isEmpty()) {
            const bool atLimit = m_redirects >= m_settings.maxRedirects;
            HttpUrl next;
            try {
                next = ResolveLocation(current, m_location);
            } catch (const HttpError&) {
                if (atLimit)
                    return; // a redirect past the limit is final, wherever it points
                throw;
            }
            for (const HttpUrl& earlier : requested) {
                if (next.sameAddress(earlier))
                    throw HttpError(
                        (m_statusLine + ": redirect loop back to " + next.absolute()).toStdString());
            }
            if (atLimit)
                return;
            current = next;
            ++m_redirects;
            continue;
        }
        throw HttpError(m_statusLine.toStdString());
    }
}

void HttpClient::exchange(HttpMethod method, const HttpUrl& url, const QByteArray& request)
{
    const int timeout = m_settings.timeoutMs;
    const bool proxy = usesProxy();
    const std::string host = (proxy ? m_settings.proxyHost.toUtf8() : url.host).toStdString();
    const int port = proxy ? m_settings.proxyPort : url.port;

    m_responseCode = -1;
    m_statusLine.clear();
    m_body.clear();
    m_contentEncoding.clear();
    m_location.clear();
    m_lastPort = port;

    struct Closer
    {
        HttpClient* client;
        ~Closer() { client->close(); }
    } closer{this};

    qCDebug(lcHttp).noquote() << HttpMethodName(method) << "to" << QString::fromStdString(host) << "port"
                              << port;
    openConnection(url, host, port);
    m_socket->write(request.toStdString(), timeout);

    // The head of the answer is awaited for at most `timeout`, then its body for at most `timeout`.
    // Interim answers (100 Continue and the like) are dropped by the parser and give no extra
    // time: they and the head that follows them arrive within the one `timeout`.
    HttpResponseParser parser(method == HttpMethod::Head);
    const qsizetype limit = m_settings.wholeBodyLimit;
    parser.keepBody(limit > 0 ? std::max<qsizetype>(limit + 1, m_settings.keepBodyBytes)
                              : m_settings.keepBodyBytes);
    auto wantsWholeBody = [&parser, limit]() {
        return limit > 0 && parser.statusCode() >= 200 && parser.statusCode() <= 299;
    };
    struct BodyKeeper
    {
        HttpClient* client;
        const HttpResponseParser& parser;
        ~BodyKeeper() { client->m_body = parser.body(); }
    } bodyKeeper{this, parser};
    const std::string& peer = m_socket->peerName();
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout);
    bool inBody = false;
    while (!parser.complete()) {
        const int left = remainingMs(deadline);
        std::string bytes;
        try {
            if (left <= 0)
                throw SocketTimeoutError("");
            bytes = m_socket->readSome(kReadChunk, left);
        } catch (const SocketTimeoutError&) {
            std::string what = inBody ? "the body of the answer from " + peer + " was not complete"
                                      : "no complete answer from " + peer;
            what += " within " + std::to_string(timeout) + " ms";
            if (!inBody && !parser.interimStatusLine().isEmpty())
                what += " after \"" + PrintableExcerpt(parser.interimStatusLine()).toStdString() + "\"";
            throw SocketTimeoutError(what);
        }
        if (bytes.empty()) {
            try {
                parser.finish();
            } catch (const HttpError& e) {
                if (inBody && wantsWholeBody())
                    throw HttpError(std::string("the body ended early: ") + e.what());
                throw;
            }
            break;
        }
        try {
            parser.feed(bytes.data(), static_cast<qsizetype>(bytes.size()));
        } catch (...) {
            if (parser.statusCode() > 0) {
                m_responseCode = parser.statusCode();
                m_statusLine = parser.statusLine();
            }
            throw;
        }
        if (parser.statusCode() > 0 && m_responseCode < 0) {
            m_responseCode = parser.statusCode();
            m_statusLine = parser.statusLine();
        }
        if (!inBody && parser.headComplete()) {
            inBody = true;
            deadline = SteadyClock::now() + std::chrono::milliseconds(timeout);
        }
        if (wantsWholeBody() && parser.bodyBytes() > limit)
            throw HttpError("the body exceeds the limit of " + std::to_string(limit) +
                            " bytes; reading stopped there");
    }
    m_location = parser.header("Location");
    m_contentEncoding = parser.header("Content-Encoding");
    qCDebug(lcHttp) << "answer" << m_responseCode << "with" << parser.bodyBytes() << "body bytes";
}

QByteArray HttpClient::composeConnect(const HttpUrl& url) const
{
    const QByteArray name = url.host.contains(':') ? '[' + url.host + ']' : url.host;
    const QByteArray hostPort = name + ':' + QByteArray::number(url.port);
    QByteArray request = "CONNECT " + hostPort + " HTTP/1.1\r\nHost: " + hostPort + "\r\n";
    const QByteArray agent = m_settings.userAgent.toUtf8();
    if (!agent.isEmpty() && !hasLineBreak(agent))
        request += "User-Agent: " + agent + "\r\n";
    if (!m_settings.proxyUserName.isEmpty() || !m_settings.proxyPassword.isEmpty())
        request +=
            "Proxy-Authorization: " + basicCredentials(m_settings.proxyUserName, m_settings.proxyPassword) +
            "\r\n";
    return request + "\r\n";
}

void HttpClient::openConnection(const HttpUrl& url, const std::string& host, int port)
{
    const int timeout = m_settings.timeoutMs;
    m_socket = std::make_unique<TcpSocket>();
    m_socket->connect(host, port, timeout);
    if (!url.secure)
        return;

    if (usesProxy()) {
        m_socket->write(composeConnect(url).toStdString(), timeout);
        // The proxy's answer is read line by line, so not a byte of what follows it is taken:
        // from there on the connection belongs to the server.
        HttpResponseParser parser(true);
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout);
        while (!parser.complete()) {
            std::string line;
            try {
                const int left = remainingMs(deadline);
                if (left <= 0)
                    throw SocketTimeoutError("");
                line = m_socket->readLine(left, HttpResponseParser::kMaxHeaderLine);
            } catch (const SocketTimeoutError&) {
                throw SocketTimeoutError("no complete answer from the proxy " + m_socket->peerName() +
                                         " to CONNECT within " + std::to_string(timeout) + " ms");
            }
            parser.feed(QByteArray::fromStdString(line + "\r\n"));
        }
        if (parser.statusCode() < 200 || parser.statusCode() > 299) {
            m_responseCode = parser.statusCode();
            m_statusLine = parser.statusLine();
            throw HttpError(m_statusLine.toStdString());
        }
        qCDebug(lcHttp) << "tunnel through the proxy open";
    }
    try {
        m_socket->startTls(m_settings.tls, url.host.toStdString(), timeout);
    } catch (...) {
        m_peerCertificate = m_socket->peerCertificate();
        throw;
    }
    m_peerCertificate = m_socket->peerCertificate();
}
