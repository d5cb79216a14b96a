// The SMS-by-HTTP alarm against scripted HTTP gateways on loopback: the exact request for GET
// (number and text substituted, form-encoded) and POST (fields in order, extra fields last), the
// method rule, credentials and proxy, the verdict, ResponseCode and the detail text for every
// kind of answer, and gateways that refuse, go silent or redirect.
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"

#include "support/FakeHttpServer.h"
#include "support/RunItem.h"
#include "support/ScriptedServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QString kText = "[a:1] Failed";
const QString kNumber = "+49 170";

Outcome run(ThreadURL& item)
{
    const Outcome o = RunItem(item);
    EXPECT_EQ(item.Client, nullptr) << "the client is released";
    EXPECT_TRUE(item.FormFields.isEmpty()) << "the form fields are released";
    return o;
}

std::string base(int port)
{
    return "http://127.0.0.1:" + std::to_string(port);
}

HttpSmsMethodSettings gateway(const std::string& url, const QString& method)
{
    HttpSmsMethodSettings s;
    s.enable = true;
    s.ip = QString::fromStdString(url);
    s.port = 8080;
    s.method = method;
    s.field_msisdn = "msisdn";
    s.field_message = "text";
    s.timeout = 3000;
    return s;
}

std::string postRequest(int port, const std::string& body)
{
    return "POST /sms HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: html\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// GET: number and text form-encoded in place of every "$MSISDN" and "$MESSAGE"; the same words in
// other letter case stay. The detail holds the whole substituted URL.
TEST(HttpSmsAlarm, GetSubstitutesNumberAndTextEncoded)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, "queued")).silence(5000);
    server.start();

    const std::string templ = base(server.port()) + "/send?to=$MSISDN&text=$MESSAGE&copy=$MSISDN&x=$message";
    ThreadURL item(gateway(templ, "Get"), {"ignored=1"}, kNumber, kText);
    const std::string target = "/send?to=%2B49+170&text=%5Ba%3A1%5D+Failed&copy=%2B49+170&x=$message";
    const std::string url = base(server.port()) + target;
    EXPECT_EQ(item.Url.toStdString(), url);
    EXPECT_EQ(item.RequestMethod, HttpMethod::Get);
    const Outcome o = run(item);

    ASSERT_TRUE(server.wait());
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0], "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                        std::to_string(server.port()) + "\r\nUser-Agent: html\r\n\r\n");
    EXPECT_TRUE(o.passed);
    EXPECT_EQ(o.text, "Sent");
    EXPECT_EQ(o.responseCode, 200);
    EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(server.port()) + "] HTTP/1.1 200 OK");
}

TEST(HttpSmsAlarm, GatewayUrlEncoding)
{
    struct Case
    {
        QString templ;
        QString number;
        QString text;
        QString url;
    };
    const std::vector<Case> cases = {
        {"http://g/s?m=$MESSAGE", "1", "[a:1] Failed", "http://g/s?m=%5Ba%3A1%5D+Failed"},
        {"http://g/s?n=$MSISDN&n2=$MSISDN", "0170 1", "x", "http://g/s?n=0170+1&n2=0170+1"},
        // A placeholder inside the text is not substituted again; its "$" is encoded.
        {"http://g/s?m=$MESSAGE&n=$MSISDN", "5", "say $MSISDN", "http://g/s?m=say+%24MSISDN&n=5"},
        // Line breaks and non-ASCII text: every byte of the UTF-8 form encoded.
        {"http://g/?m=$MESSAGE", "5", "a\r\nb\u00e9", "http://g/?m=a%0D%0Ab%C3%A9"},
        {"http://g/$msisdn", "5", "x", "http://g/$msisdn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templ.toStdString());
        EXPECT_EQ(ThreadURL::GatewayUrl(c.templ, c.number, c.text), c.url);
    }
}

// POST: number, text, then the extra fields in their order; values form-encoded, names not.
TEST(HttpSmsAlarm, PostSendsFieldsInOrderWithExtraFields)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 201 Created")).silence(5000);
    server.start();

    ThreadURL item(gateway(base(server.port()) + "/sms", "Post"), {"api=k 1", "from=Q&A"}, kNumber, kText);
    EXPECT_EQ(item.FormFields, QStringList({"msisdn=+49 170", "text=[a:1] Failed", "api=k 1", "from=Q&A"}));
    const Outcome o = run(item);

    ASSERT_TRUE(server.wait());
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0],
              postRequest(server.port(), "msisdn=%2B49+170&text=%5Ba%3A1%5D+Failed&api=k+1&from=Q%26A"));
    EXPECT_TRUE(o.passed);
    EXPECT_EQ(o.responseCode, 201);
    EXPECT_EQ(o.detail,
              "[" + base(server.port()) + "/sms:" + std::to_string(server.port()) + "] HTTP/1.1 201 Created");
}

// Only the exact text "Get" selects GET; every other text posts (the URL is then not substituted).
TEST(HttpSmsAlarm, OnlyTheExactGetTextSelectsGet)
{
    struct Case
    {
        QString method;
        bool get;
    };
    const std::vector<Case> cases = {{"Get", true},   {"get", false},  {"GET", false},
                                     {"Post", false}, {"POST", false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method.toStdString());
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        server.start();
        ThreadURL item(gateway(base(server.port()) + "/sms", c.method), {}, "1", "hi there");
        const Outcome o = run(item);
        ASSERT_TRUE(server.wait());
        ASSERT_EQ(server.received().size(), 1u);
        if (c.get)
            EXPECT_EQ(server.received()[0].substr(0, 13), "GET /sms HTTP");
        else
            EXPECT_EQ(server.received()[0], postRequest(server.port(), "msisdn=1&text=hi+there"));
        EXPECT_TRUE(o.passed) << o.detail;
    }
}

// Credentials go with the request only when the method authenticates; through a proxy the request
// names the whole URL and carries the proxy credentials.
TEST(HttpSmsAlarm, CredentialsAndProxy)
{
    {
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        server.start();
        HttpSmsMethodSettings s = gateway(base(server.port()) + "/sms?n=$MSISDN", "Get");
        s.username = "admin";
        s.password = "s3cret";
        s.authenticate = false;
        ThreadURL item(s, {}, "1", "x");
        run(item);
        ASSERT_TRUE(server.wait());
        ASSERT_EQ(server.received().size(), 1u);
        EXPECT_EQ(server.received()[0].find("Authorization"), std::string::npos);
    }
    {
        ScriptedServer proxy;
        ExpectHttpRequest(proxy).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        proxy.start();
        HttpSmsMethodSettings s = gateway("gw.example/sms?n=$MSISDN", "Get");
        s.authenticate = true;
        s.username = "admin";
        s.password = "s3cret";
        s.proxy_ip = "127.0.0.1";
        s.proxy_port = proxy.port();
        s.proxy_username = "pu";
        s.proxy_password = "pp";
        ThreadURL item(s, {}, "1", "x");
        const Outcome o = run(item);
        ASSERT_TRUE(proxy.wait());
        ASSERT_EQ(proxy.received().size(), 1u);
        EXPECT_EQ(proxy.received()[0], "GET http://gw.example/sms?n=1 HTTP/1.1\r\nHost: gw.example\r\n"
                                       "User-Agent: html\r\nAuthorization: Basic YWRtaW46czNjcmV0\r\n"
                                       "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
        EXPECT_TRUE(o.passed);
        EXPECT_EQ(o.detail,
                  "[http://gw.example/sms?n=1:" + std::to_string(proxy.port()) + "] HTTP/1.1 200 OK");
    }
}

// The verdict and the detail for each kind of answer; a refusal in the body is not noticed.
TEST(HttpSmsAlarm, AnswersGiveVerdictCodeAndDetail)
{
    struct Case
    {
        std::string answer;
        bool passed;
        int code;
        std::string detailTail; // after "[url:port] "
    };
    const std::vector<Case> cases = {
        {HttpAnswer("HTTP/1.1 200 OK", {}, "ERROR: number blocked"), true, 200, "HTTP/1.1 200 OK"},
        {HttpAnswer("HTTP/1.1 202 Accepted  "), true, 202, "HTTP/1.1 202 Accepted"},
        {HttpAnswer("HTTP/1.1 404 Not Found"), false, 404, "HTTP/1.1 404 Not Found:HTTP/1.1 404 Not Found"},
        {HttpAnswer("HTTP/1.0 503 Busy"), false, 503, "HTTP/1.0 503 Busy:HTTP/1.0 503 Busy"},
        {HttpAnswer("HTTP/1.1 401 Unauthorized"), false, 401,
         "HTTP/1.1 401 Unauthorized:HTTP/1.1 401 Unauthorized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.substr(0, 30));
        ScriptedServer server;
        ExpectHttpRequest(server).send(c.answer).silence(5000);
        server.start();
        const std::string url = base(server.port()) + "/sms";
        ThreadURL item(gateway(url, "Post"), {}, "1", "x");
        const Outcome o = run(item);
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.connectionsAccepted(), 1) << "nothing is retried";
        EXPECT_EQ(o.passed, c.passed);
        EXPECT_EQ(o.text, c.passed ? "Sent" : "Error");
        EXPECT_EQ(o.responseCode, c.code);
        EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(server.port()) + "] " + c.detailTail);
        // The answer's body is kept for the settings window's test, whatever the verdict.
        EXPECT_EQ(item.ResponseBody.toStdString(), c.answer.substr(c.answer.find("\r\n\r\n") + 4));
    }
}

// A redirect is followed with the same method and fields; the detail keeps the item's URL and
// names the port last connected to.
TEST(HttpSmsAlarm, RedirectIsFollowed)
{
    ScriptedServer second;
    ExpectHttpRequest(second).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
    second.start();
    ScriptedServer first;
    ExpectHttpRequest(first).send(RedirectAnswer(base(second.port()) + "/v2/sms")).silence(5000);
    first.start();

    const std::string url = base(first.port()) + "/sms";
    ThreadURL item(gateway(url, "Post"), {}, "1", "x");
    const Outcome o = run(item);
    ASSERT_TRUE(first.wait());
    ASSERT_TRUE(second.wait());
    ASSERT_EQ(second.received().size(), 1u);
    EXPECT_EQ(second.received()[0].substr(0, 18), "POST /v2/sms HTTP/");
    EXPECT_NE(second.received()[0].find("\r\n\r\nmsisdn=1&text=x"), std::string::npos);
    EXPECT_TRUE(o.passed);
    EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(second.port()) + "] HTTP/1.1 200 OK");
}

// A gateway whose redirects lead back to an address already requested gives "Error", never
// "Sent"; a chain of distinct addresses is followed up to five redirects and the sixth redirect
// answer is taken as the final one, as for the URL check.
TEST(HttpSmsAlarm, RedirectLoopIsAnErrorAndAChainIsFollowed)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> locations; // Location of each answer, one request each
        bool passed;
        std::string detailTail; // after "[url:port] ", "BASE" for the gateway's origin
    };
    const std::vector<Case> cases = {
        {"points_to_itself",
         {"/sms"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/sms"},
        {"loop_of_two",
         {"BASE/v2/sms", "/sms"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/sms"},
        {"six_distinct", {"/1", "/2", "/3", "/4", "/5", "/6"}, true, "HTTP/1.1 302 Found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        auto expand = [&server](std::string text) {
            const std::size_t at = text.find("BASE");
            return at == std::string::npos ? text : text.replace(at, 4, base(server.port()));
        };
        for (std::size_t i = 0; i < c.locations.size(); ++i) {
            if (i > 0)
                server.acceptNext();
            ExpectHttpRequest(server).send(RedirectAnswer(expand(c.locations[i])));
        }
        server.silence(5000);
        server.start();
        const std::string url = base(server.port()) + "/sms";
        ThreadURL item(gateway(url, "Post"), {}, "1", "x");
        const Outcome o = run(item);
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.connectionsAccepted(), static_cast<int>(c.locations.size()));
        for (const std::string& request : server.received())
            EXPECT_EQ(request.substr(0, 5), "POST ") << "every hop posts the fields again";
        EXPECT_EQ(o.passed, c.passed);
        EXPECT_EQ(o.text, c.passed ? "Sent" : "Error");
        EXPECT_EQ(o.responseCode, 302);
        EXPECT_EQ(o.detail, "[" + url + ":" + std::to_string(server.port()) + "] " + expand(c.detailTail));
    }
}

// Nothing answered: ResponseCode -1, an empty status in the detail followed by the error, within
// the time-out for a silent gateway.
TEST(HttpSmsAlarm, NoAnswerGivesMinusOne)
{
    {
        const int port = ScriptedServer::UnusedPort();
        const std::string url = base(port) + "/sms";
        ThreadURL item(gateway(url, "Post"), {}, "1", "x");
        const Outcome o = run(item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        EXPECT_EQ(o.responseCode, -1);
        const std::string prefix =
            "[" + url + ":" + std::to_string(port) + "] :cannot connect to 127.0.0.1:" + std::to_string(port);
        EXPECT_EQ(o.detail.substr(0, prefix.size()), prefix) << o.detail;
    }
    {
        ScriptedServer server;
        ExpectHttpRequest(server).silence(10000);
        server.start();
        const std::string url = base(server.port()) + "/sms";
        HttpSmsMethodSettings s = gateway(url, "Post");
        s.timeout = 500;
        ThreadURL item(s, {}, "1", "x");
        const Outcome o = run(item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.responseCode, -1);
        const std::string port = std::to_string(server.port());
        EXPECT_EQ(o.detail,
                  "[" + url + ":" + port + "] :no complete answer from 127.0.0.1:" + port + " within 500 ms");
        EXPECT_LT(o.elapsedMs, 500 + 4000);
        server.stop();
    }
}

TEST(HttpSmsAlarm, ValuesFromTheMethodSettings)
{
    HttpSmsMethodSettings s = gateway("gw.example/sms", "Post");
    s.timeout = 0;
    s.port = 8080;
    ThreadURL item(s, {}, "1", "x");
    EXPECT_EQ(item.Method, "SMS by HTTP");
    EXPECT_EQ(item.Url, "http://gw.example/sms") << "the scheme is put in front when missing";
    EXPECT_EQ(item.Port, 8080);
    EXPECT_EQ(item.Timeout, 5000);
    ASSERT_NE(item.Client, nullptr);
    EXPECT_EQ(item.Client->settings().timeoutMs, 5000);
    EXPECT_EQ(item.Client->settings().maxRedirects, 5);
    EXPECT_EQ(item.Client->settings().userAgent, "html");
    EXPECT_TRUE(item.Client->settings().referer.isEmpty());
    EXPECT_TRUE(item.Client->settings().cookie.isEmpty());
    EXPECT_TRUE(item.Client->settings().contentType.isEmpty());
    EXPECT_TRUE(item.Client->settings().accept.isEmpty());
}

} // namespace
