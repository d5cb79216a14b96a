#pragma once

#include "alarms/ThreadAlarm.h"
#include "net/HttpClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

struct HttpSmsMethodSettings;

// The SMS-by-HTTP alarm: hands one alarm text for one mobile number to an HTTP SMS gateway,
// either as a GET of a URL into which number and text were substituted, or as a POST of form
// fields. The exchange is the URL check's (HttpClient): redirects followed up to 5, a 2xx answer
// passes, every wait bounded by Timeout. The answer's body is not looked at.
//
// ResultDetail: "[" + Url + ":" + the port last connected to + "] " + the trimmed status line,
// followed after an error by ":" and the trimmed error message. ResponseCode is the status code
// of the last answer, -1 when none arrived.
class ThreadURL : public ThreadAlarm
{
public:
    // `client` configured by the caller; none gives a client with default settings.
    ThreadURL(int timeout, std::unique_ptr<HttpClient> client = nullptr);
    // The alarm as the dispatcher sends it to `recipient` from the "SMS by HTTP" method: the
    // gateway's credentials (when it authenticates), proxy, time-out and User-Agent "html";
    // GET of GatewayUrl() when the method is exactly "Get", otherwise POST of GatewayFields().
    // An https:// gateway is reached over TLS, its certificate judged by `tls`.
    ThreadURL(const HttpSmsMethodSettings& settings, const QStringList& extraFields, const QString& recipient,
              const QString& text, const TlsOptions& tls = TlsOptions());
    ~ThreadURL() override;

    std::unique_ptr<HttpClient> Client;
    // GET or POST (Method is the alarm method's name, "SMS by HTTP").
    HttpMethod RequestMethod = HttpMethod::Post;
    QString Url;
    QStringList FormFields; // POST only: "name=value" lines, values form-encoded when sent
    int Port = 0;           // the gateway row's port; the request goes to the port of Url
    // The first kKeptResponseBody bytes of the gateway's last answer (shown by the settings
    // window's test; the alarms do not look at it).
    QByteArray ResponseBody;
    static constexpr int kKeptResponseBody = 16 * 1024;

    // `gatewayUrl` with every "$MSISDN" replaced by the form-encoded recipient and every
    // "$MESSAGE" by the form-encoded text (exact letter case, every occurrence).
    static QString GatewayUrl(const QString& gatewayUrl, const QString& recipient, const QString& text);
    // The POST fields: msisdnField=recipient, messageField=text, then the extra field lines.
    static QStringList GatewayFields(const QString& msisdnField, const QString& messageField,
                                     const QStringList& extraFields, const QString& recipient,
                                     const QString& text);

protected:
    bool Deliver() override;
    // The detail names the URL, the port last connected to and the status line, also after
    // success; ResponseCode is taken from the client.
    void Report(bool delivered, bool raised, const QString& error) override;
    // No answer, or a 5xx answer (the gateway's own trouble); a 4xx answer is repeated by another
    // try and is not.
    bool TransientFailure(bool socketError, const QString& error) const override;
    QString DetailHost() const override { return Url; }
    int DetailPort() const override;
    // Closes the connection; the client and the form fields are released.
    void CloseClient() override;
};
