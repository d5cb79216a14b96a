#pragma once

#include "checks/ThreadCheck.h"
#include "checks/UrlExpectation.h"
#include "net/HttpClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// The values of a "URL" service beyond ThreadCheckArgs: the service row's method, credentials
// and proxy, the request headers of its service_url row (all empty when it has none) and the
// form fields of its service_url_detail rows.
struct URLCheckArgs
{
    QString Method;         // service.url_method, e.g. "Get"; unknown texts give HEAD
    QStringList FormFields; // "fieldname=fieldvalue" per service_url_detail row, in order
    QByteArray Body;        // the same lines, each followed by CR LF (see BodyOf)

    QString UserName; // service.username
    QString Password; // service.password

    QString ProxyHost; // service.proxy_ip
    int ProxyPort = 0; // service.proxy_port
    QString ProxyUserName;
    QString ProxyPassword;

    // service_url columns
    QString Referer;
    QString Cookie;
    QString UserAgent;
    QString ContentType;
    QString Accept;
    QString AcceptCharSet;
    QString AcceptEncoding;
    QString AcceptLanguage;

    // What the body of the final answer must hold (service_url_expect); none: the body is
    // read and dropped, as it always was.
    UrlExpectation Expect;

    // Body text of form field lines: each line followed by CR LF.
    static QByteArray BodyOf(const QStringList& formFields);
};

// Check work item of a "URL" service: one HTTP/1.1 exchange with the address in Host (the
// service's ip with "http://" in front), redirects followed up to 5, passing on a 2xx answer.
// The detail reports the address, the port last connected to and the last status line.
//
// With an assertion (Expect), a 2xx answer is not enough: its body is read whole, at most
// kUrlExpectMaxBody bytes, decoded when the server compressed it (gzip or deflate), and judged by
// JudgeUrlBody. A body that ends early, exceeds the limit or misses the assertion fails the check,
// the detail saying which.
class ThreadURLCheck : public ThreadCheck
{
public:
    ThreadURLCheck(const ThreadCheckArgs& args, const URLCheckArgs& url);
    ~ThreadURLCheck() override;

    QString Kind() const override;

    // The address probed for a stored ip text: "http://" in front unless it already begins so
    // (in any letter case).
    static QString UrlOf(const QString& ip);

    HttpMethod Method;
    QStringList FormFields;
    QByteArray Body;
    QString Cookie;
    UrlExpectation Expect;
    std::unique_ptr<HttpClient> Client;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
    int DetailPort() const override;
    QString DetailStatus() const override;

private:
    int m_lastPort = 0;
    QString m_statusLine;
};
