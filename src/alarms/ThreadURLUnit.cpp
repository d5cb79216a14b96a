#include "alarms/ThreadURLUnit.h"

#include "core/AlarmMethodSettings.h"
#include "core/auxFunc.h"

#include <stdexcept>

namespace {

QString formEncoded(const QString& text)
{
    return QString::fromLatin1(FormEncode(text.toUtf8()));
}

} // namespace

ThreadURL::ThreadURL(int timeout, std::unique_ptr<HttpClient> client)
    : ThreadAlarm(QStringLiteral("SMS by HTTP"), timeout), Client(std::move(client))
{
    if (!Client) {
        HttpClientSettings s;
        s.timeoutMs = Timeout;
        Client = std::make_unique<HttpClient>(s);
    }
}

ThreadURL::ThreadURL(const HttpSmsMethodSettings& settings, const QStringList& extraFields,
                     const QString& recipient, const QString& text, const TlsOptions& tls)
    : ThreadAlarm(QStringLiteral("SMS by HTTP"), settings.timeout), Port(settings.port)
{
    HttpClientSettings s;
    s.timeoutMs = Timeout;
    s.maxRedirects = 5;
    if (settings.authenticate) {
        s.userName = settings.username;
        s.password = settings.password;
    }
    s.proxyHost = settings.proxy_ip;
    s.proxyPort = settings.proxy_port;
    s.proxyUserName = settings.proxy_username;
    s.proxyPassword = settings.proxy_password;
    s.userAgent = QStringLiteral("html");
    s.keepBodyBytes = kKeptResponseBody;
    s.tls = tls;
    Client = std::make_unique<HttpClient>(s);

    const QString gateway = EnsureHttpPrefix(settings.ip);
    if (settings.method == QLatin1String("Get")) {
        RequestMethod = HttpMethod::Get;
        Url = GatewayUrl(gateway, recipient, text);
    } else {
        RequestMethod = HttpMethod::Post;
        Url = gateway;
        FormFields =
            GatewayFields(settings.field_msisdn, settings.field_message, extraFields, recipient, text);
    }
}

ThreadURL::~ThreadURL() = default;

QString ThreadURL::GatewayUrl(const QString& gatewayUrl, const QString& recipient, const QString& text)
{
    return FillSmsTemplate(gatewayUrl, formEncoded(recipient), formEncoded(text));
}

QStringList ThreadURL::GatewayFields(const QString& msisdnField, const QString& messageField,
                                     const QStringList& extraFields, const QString& recipient,
                                     const QString& text)
{
    QStringList fields;
    fields << msisdnField + QLatin1Char('=') + recipient << messageField + QLatin1Char('=') + text;
    fields << extraFields;
    return fields;
}

bool ThreadURL::Deliver()
{
    if (!Client)
        throw std::runtime_error("the HTTP client has already been released");
    if (RequestMethod == HttpMethod::Post && !FormFields.isEmpty())
        Client->send(HttpMethod::Post, Url, FormFields);
    else
        Client->send(HttpMethod::Get, Url);
    return true;
}

int ThreadURL::DetailPort() const
{
    return Client ? Client->lastPort() : 0;
}

void ThreadURL::Report(bool delivered, bool raised, const QString& error)
{
    Passed = delivered;
    ResultText = QString::fromLatin1(delivered ? SentResult : ErrorResult);
    ResponseCode = Client ? Client->responseCode() : -1;
    const QString status = Client ? QString::fromUtf8(Client->statusLine()) : QString();
    ResponseBody = Client ? Client->body() : QByteArray();
    // Plain concatenation: the URL holds '%' sequences.
    ResultDetail = QLatin1Char('[') + DetailHost() + QLatin1Char(':') + QString::number(DetailPort()) +
                   QStringLiteral("] ") + TrimControl(status);
    if (raised)
        ResultDetail += QLatin1Char(':') + error;
}

bool ThreadURL::TransientFailure(bool socketError, const QString&) const
{
    return socketError || ResponseCode >= 500;
}

void ThreadURL::CloseClient()
{
    FormFields.clear();
    std::unique_ptr<HttpClient> client = std::move(Client);
    if (client)
        client->close();
}
