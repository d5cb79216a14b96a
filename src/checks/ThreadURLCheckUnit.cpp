#include "checks/ThreadURLCheckUnit.h"

#include "core/auxFunc.h"
#include "core/langLibrary.h"

#include <stdexcept>

QByteArray URLCheckArgs::BodyOf(const QStringList& formFields)
{
    QByteArray body;
    for (const QString& line : formFields)
        body += line.toUtf8() + "\r\n";
    return body;
}

ThreadURLCheck::ThreadURLCheck(const ThreadCheckArgs& args, const URLCheckArgs& url)
    : ThreadCheck(args), Method(HttpMethodFromText(url.Method)), FormFields(url.FormFields), Body(url.Body),
      Cookie(url.Cookie), Expect(url.Expect)
{
    HttpClientSettings s;
    s.timeoutMs = Timeout;
    s.maxRedirects = 5;
    s.userName = url.UserName;
    s.password = url.Password;
    s.proxyHost = url.ProxyHost;
    s.proxyPort = url.ProxyPort;
    s.proxyUserName = url.ProxyUserName;
    s.proxyPassword = url.ProxyPassword;
    s.referer = url.Referer;
    s.userAgent = url.UserAgent;
    s.contentType = url.ContentType;
    s.accept = url.Accept;
    s.acceptCharset = url.AcceptCharSet;
    s.acceptEncoding = url.AcceptEncoding;
    s.acceptLanguage = url.AcceptLanguage;
    s.cookie = url.Cookie;
    s.tls = Tls;
    if (Expect.isSet())
        s.wholeBodyLimit = kUrlExpectMaxBody;
    Client = std::make_unique<HttpClient>(s);
}

ThreadURLCheck::~ThreadURLCheck() = default;

QString ThreadURLCheck::Kind() const
{
    return QString::fromLatin1(lang::KindURL);
}

QString ThreadURLCheck::UrlOf(const QString& ip)
{
    return ip.isEmpty() ? QStringLiteral("http://") : EnsureHttpPrefix(ip);
}

bool ThreadURLCheck::Probe()
{
    auto keepResults = [this]() {
        ResponseCode = Client->responseCode();
        m_lastPort = Client->lastPort();
        m_statusLine = QString::fromUtf8(Client->statusLine());
    };
    if (!Client)
        throw std::runtime_error("the HTTP client has already been released");
    try {
        Client->send(Method, Host, FormFields, Body);
    } catch (...) {
        keepResults();
        throw;
    }
    keepResults();
    if (Expect.isSet()) {
        if (Method == HttpMethod::Head)
            throw std::runtime_error("an answer to HEAD has no body to check; the service needs another "
                                     "method for its expectation");
        if (ResponseCode < 200 || ResponseCode > 299)
            throw std::runtime_error("the last answer is a redirect past the limit of " +
                                     std::to_string(Client->settings().maxRedirects) +
                                     ", not a page whose body could be checked");
        const QByteArray body = DecodeContent(Client->contentEncoding(), Client->body(), kUrlExpectMaxBody);
        const QString failure = JudgeUrlBody(Expect, body);
        if (!failure.isEmpty())
            throw std::runtime_error(failure.toStdString());
    }
    return true;
}

void ThreadURLCheck::CloseClient()
{
    if (Client) {
        Client->close();
        Client.reset();
    }
}

int ThreadURLCheck::DetailPort() const
{
    return m_lastPort;
}

QString ThreadURLCheck::DetailStatus() const
{
    return m_statusLine;
}

std::optional<TlsPeerCertificate> ThreadURLCheck::PeerCertificate() const
{
    return Client ? Client->peerCertificate() : std::nullopt;
}
