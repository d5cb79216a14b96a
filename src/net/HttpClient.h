#pragma once

#include "net/HttpParser.h"
#include "net/Tls.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TcpSocket;

// Request methods of the HTTP client.
enum class HttpMethod
{
    Get,
    Post,
    Head,
    Options,
    Trace,
    Put,
    Delete
};

// The method for a stored method text: "Get", "Post", "Head", "Options", "Trace", "Put", "Delete"
// compared exactly; any other text, the empty one included, gives Head.
HttpMethod HttpMethodFromText(const QString& text);
// The method as it goes on the wire ("GET", "POST", ...).
QByteArray HttpMethodName(HttpMethod method);

// An http:// or https:// address taken apart for a request.
struct HttpUrl
{
    bool secure = false; // https: the exchange runs inside TLS
    QByteArray host;     // as written (without brackets for an IPv6 literal)
    int port = 80;       // when the address names none: 80, or 443 for https
    QByteArray target;   // path and query as sent in the request line, starting with "/"

    int defaultPort() const { return secure ? 443 : 80; }
    // The Host header value: the host, with ":port" when the port is not the scheme's default.
    QByteArray authority() const;
    // "http://" or "https://" + authority() + target, the request target when going through a
    // proxy in the clear.
    QByteArray absolute() const;
    // Same scheme, same host (ignoring case) and same port.
    bool sameOrigin(const HttpUrl& other) const;
    // The same resource: same origin, and the same path and query byte for byte. A redirect to an
    // address already requested in one exchange is a loop.
    bool sameAddress(const HttpUrl& other) const;
};

// Takes an address apart. It must begin with "http://" or "https://" in any letter case; user
// information before "@" and a fragment after "#" are dropped; blanks, control and non-ASCII
// bytes of the path and query are percent-encoded. Throws HttpError for anything else.
HttpUrl ParseHttpUrl(const QString& url);

// The address a Location header points to, resolved against the address that was requested
// (RFC 3986, section 5). Throws HttpError for a location with a scheme other than http or https.
HttpUrl ResolveLocation(const HttpUrl& base, const QByteArray& location);

// Form encoding of one value, byte by byte over its UTF-8 form: a space becomes "+", A-Z, a-z
// and 0-9 stay, every other byte becomes "%" and two upper-case hexadecimal digits.
QByteArray FormEncode(const QByteArray& value);
// Form fields given as "name=value" lines: each non-empty value form-encoded, names as they
// are, lines joined with "&".
QByteArray FormEncodeFields(const QStringList& lines);
// The name=value pair at the front of a cookie text; attributes after the first ";" are
// dropped. Empty when the text holds no name.
QByteArray CookiePair(const QString& cookieText);

// What an HTTP client sends besides the address. Empty texts mean "not sent".
struct HttpClientSettings
{
    // Bounds the connection attempt, the sending of a request, the wait for the head of an
    // answer and the wait for its body (each on its own). Values <= 0 give 5000.
    int timeoutMs = 5000;
    // Redirects (3xx with Location, 304 excepted) followed before an answer is taken as final.
    int maxRedirects = 5;

    // Basic credentials, sent when either is non-empty, only to the host and port of the first
    // request of an exchange.
    QString userName;
    QString password;

    // An HTTP proxy, used when the host is non-empty and the port is not 0. Its credentials,
    // when either is non-empty, go with every request as Basic proxy credentials.
    QString proxyHost;
    int proxyPort = 0;
    QString proxyUserName;
    QString proxyPassword;

    // Request headers, each sent only when non-empty.
    QString referer;
    QString userAgent;
    QString contentType;
    QString accept;
    QString acceptCharset;
    QString acceptEncoding;
    QString acceptLanguage;
    // Cookie text; its leading name=value pair is sent, to the first request's host and port only.
    QString cookie;

    // How many bytes of each answer's body are kept for body(); 0 keeps none.
    int keepBodyBytes = 0;
    // When > 0, the body of a 2xx answer is wanted whole: it is kept for body() (keepBodyBytes
    // aside), and send() throws HttpError when it grows past this many bytes (reading stops
    // there) or the connection ends before it is complete. The message says which.
    qsizetype wholeBodyLimit = 0;

    // How the certificates of https:// servers are judged.
    TlsOptions tls;
};

// The body of an answer with its Content-Encoding undone: "gzip" (or "x-gzip") and "deflate" (a
// zlib stream, or the raw deflate data some servers send) are inflated, "identity" and no
// encoding leave the body as it is. Throws HttpError for any other encoding, for data that does
// not inflate, and when the decoded body would exceed `limit` bytes.
QByteArray DecodeContent(const QByteArray& encoding, const QByteArray& body, qsizetype limit);

// A blocking HTTP/1.1 client for http:// and https:// addresses: one exchange is one request (a
// new connection each time), its redirects, and the final answer. The body of every answer is
// read and discarded, but for its first keepBodyBytes bytes. One client belongs to one thread at a
// time.
//
// Wire form of a request, in this order: the request line (method, path and query, or the whole
// address through a proxy, "HTTP/1.1"), Host, Referer, User-Agent, Content-Type, Accept,
// Accept-Charset, Accept-Encoding, Accept-Language, Authorization, Proxy-Authorization, Cookie,
// Content-Length (POST and PUT only), a blank line and the body.
//
// https:// runs the same request inside TLS, on a connection to the URL's host and port; through
// a proxy, the connection first asks the proxy for a tunnel ("CONNECT host:port HTTP/1.1", with
// Host and the proxy credentials), and the request inside it has the path form and no
// Proxy-Authorization. A tunnel refused by the proxy fails with the proxy's status line.
class HttpClient
{
public:
    explicit HttpClient(HttpClientSettings settings = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    const HttpClientSettings& settings() const { return m_settings; }
    bool usesProxy() const;

    // One exchange with `url`. The body depends on the method: POST sends `formFields`
    // form-encoded (Content-Type application/x-www-form-urlencoded unless another than
    // "text/html" is configured), PUT sends `rawBody` as it is, the others send none.
    // Redirects are followed with the same method and body, up to maxRedirects; after that the
    // redirect answer is taken as final. A redirect back to an address already requested in this
    // exchange (see HttpUrl::sameAddress) is a loop and fails, at the limit as well.
    //
    // Returns when the final answer has a 2xx status (or is a redirect past the limit). Throws
    // HttpError whose message is the status line for any other status, the status line followed
    // by ": redirect loop back to " and the address for a loop, and HttpError or SocketError for
    // a failed connection, a time-out or a malformed answer. In every case the results below
    // describe the last answer.
    void send(HttpMethod method, const QString& url, const QStringList& formFields = {},
              const QByteArray& rawBody = {});

    // Results of the last send().
    int lastPort() const { return m_lastPort; }                   // port last connected to, 0 before
    int responseCode() const { return m_responseCode; }           // -1 when no answer arrived
    const QByteArray& statusLine() const { return m_statusLine; } // trimmed, empty when none
    const QByteArray& lastUrl() const { return m_lastUrl; }       // address of the last request
    int redirectsFollowed() const { return m_redirects; }
    // The server's certificate from the last TLS handshake of the last send(), accepted or not.
    const std::optional<TlsPeerCertificate>& peerCertificate() const { return m_peerCertificate; }
    // The first keepBodyBytes bytes of the last answer's body (empty when none are kept).
    const QByteArray& body() const { return m_body; }
    // The Content-Encoding of the last answer as sent (e.g. "gzip"), empty when it had none.
    const QByteArray& contentEncoding() const { return m_contentEncoding; }

    // Releases the connection; errors are ignored. send() closes its connections itself.
    void close();

    // The body send() uses for `method`.
    QByteArray requestBody(HttpMethod method, const QStringList& formFields, const QByteArray& rawBody) const;
    // The bytes of one request for `url` with `body`; `withCredentials` adds Authorization and
    // Cookie. Throws HttpError when a configured header value holds a line break.
    QByteArray composeRequest(HttpMethod method, const HttpUrl& url, const QByteArray& body,
                              bool withCredentials) const;

    // The bytes that ask a proxy for a tunnel to `url`'s host and port.
    QByteArray composeConnect(const HttpUrl& url) const;

private:
    // One request and its answer on a fresh connection; fills the results.
    void exchange(HttpMethod method, const HttpUrl& url, const QByteArray& request);
    // Makes the fresh connection of an exchange ready for the request: connects to the server or
    // the proxy and, for https, opens the tunnel and runs the TLS handshake.
    void openConnection(const HttpUrl& url, const std::string& host, int port);

    HttpClientSettings m_settings;
    std::unique_ptr<TcpSocket> m_socket;
    std::optional<TlsPeerCertificate> m_peerCertificate;
    int m_lastPort = 0;
    int m_responseCode = -1;
    QByteArray m_statusLine;
    QByteArray m_body;
    QByteArray m_contentEncoding;
    QByteArray m_lastUrl;
    int m_redirects = 0;
    QByteArray m_location;
};
