// The URL check against scripted HTTP servers on loopback: the exact request of a configured
// service, the verdict for each kind of answer, bodies of every framing, redirects within and
// across hosts (credentials only for the first host), proxies, time-outs and hostile servers.
#include "checks/ThreadURLCheckUnit.h"

#include "support/FakeHttpServer.h"
#include "support/ScriptedServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// base64("admin:s3cret") and base64("pu:pp")
const std::string kAuthorization = "Authorization: Basic YWRtaW46czNjcmV0\r\n";
const std::string kProxyAuthorization = "Proxy-Authorization: Basic cHU6cHA=\r\n";

struct Outcome
{
    bool passed = false;
    std::string text;
    std::string detail;
    int responseCode = 0;
    qint64 elapsedMs = 0;
};

URLCheckArgs plainGet()
{
    URLCheckArgs u;
    u.Method = "Get";
    return u;
}

Outcome runCheck(const std::string& url, const URLCheckArgs& values = plainGet(), int timeoutMs = 3000,
                 int port = 0)
{
    ThreadCheckArgs args;
    args.Origin = QStringLiteral("Product");
    args.ServiceId = 7;
    args.Host = QString::fromStdString(url);
    args.Port = port;
    args.Timeout = timeoutMs;
    ThreadURLCheck check(args, values);
    QElapsedTimer timer;
    timer.start();
    check.Execute();
    Outcome o;
    o.elapsedMs = timer.elapsed();
    o.passed = check.Passed;
    o.text = check.ResultText.toStdString();
    o.detail = check.ResultDetail.toStdString();
    o.responseCode = check.ResponseCode;
    EXPECT_TRUE(check.Client == nullptr) << "the client is released when Execute ends";
    return o;
}

std::string base(const ScriptedServer& server)
{
    return "http://127.0.0.1:" + std::to_string(server.port());
}

std::string portOf(const ScriptedServer& server)
{
    return std::to_string(server.port());
}

URLCheckArgs credentialsAndCookie()
{
    URLCheckArgs u;
    u.Method = "Get";
    u.UserName = "admin";
    u.Password = "s3cret";
    u.Cookie = "sid=77; Path=/";
    return u;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(URLCheck, ConfiguredServiceSendsExactlyItsRequestAndPasses)
{
    ScriptedServer server;
    ExpectHttpRequest(server)
        .send(HttpAnswer("HTTP/1.1 200 OK", {"Server: fake"}, "<html>ok</html>"))
        .silence(5000);
    server.start();

    URLCheckArgs u = credentialsAndCookie();
    u.Referer = "http://referrer.example/";
    u.UserAgent = "QuorvelTest/1.0";
    u.ContentType = "text/html";
    u.Accept = "text/html";
    u.AcceptCharSet = "utf-8";
    u.AcceptEncoding = "identity";
    u.AcceptLanguage = "de";
    const std::string url = base(server) + "/status?x=1";
    const Outcome o = runCheck(url, u, 3000, 8080);

    ASSERT_TRUE(server.wait());
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0], "GET /status?x=1 HTTP/1.1\r\n"
                                    "Host: 127.0.0.1:" +
                                        portOf(server) +
                                        "\r\n"
                                        "Referer: http://referrer.example/\r\n"
                                        "User-Agent: QuorvelTest/1.0\r\n"
                                        "Content-Type: text/html\r\n"
                                        "Accept: text/html\r\n"
                                        "Accept-Charset: utf-8\r\n"
                                        "Accept-Encoding: identity\r\n"
                                        "Accept-Language: de\r\n" +
                                        kAuthorization + "Cookie: sid=77\r\n\r\n");
    EXPECT_TRUE(o.passed);
    EXPECT_EQ(o.text, "Passed");
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] HTTP/1.1 200 OK");
    EXPECT_EQ(o.responseCode, 200);
    EXPECT_TRUE(server.failures().empty());
}

TEST(URLCheck, MethodTextChoosesMethodAndBody)
{
    struct Case
    {
        const char* method;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"GET", "HEAD /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
        {"", "HEAD /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
        {"Get", "GET /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
        {"Post", "POST /f HTTP/1.1\r\nHost: HOST\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                 "Content-Length: 8\r\n\r\na=x+y&b="},
        {"Put", "PUT /f HTTP/1.1\r\nHost: HOST\r\nContent-Length: 11\r\n\r\na=x y\r\nb=\r\n"},
        {"Delete", "DELETE /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
        {"Options", "OPTIONS /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
        {"Trace", "TRACE /f HTTP/1.1\r\nHost: HOST\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        ScriptedServer server;
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        server.start();
        URLCheckArgs u;
        u.Method = c.method;
        u.FormFields = {"a=x y", "b="};
        u.Body = URLCheckArgs::BodyOf(u.FormFields);
        const Outcome o = runCheck(base(server) + "/f", u);
        ASSERT_TRUE(server.wait());
        ASSERT_EQ(server.received().size(), 1u);
        std::string expected = c.expected;
        expected.replace(expected.find("HOST"), 4, "127.0.0.1:" + portOf(server));
        EXPECT_EQ(server.received()[0], expected);
        EXPECT_TRUE(o.passed) << o.detail;
    }
}

TEST(URLCheck, StatusDecidesTheVerdict)
{
    struct Case
    {
        std::string statusLine;
        bool passed;
        int code;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.1 200 OK", true, 200},
        {"HTTP/1.0 204 No Content", true, 204},
        {"HTTP/1.1 299 Odd But Fine", true, 299},
        {"HTTP/1.1 404 Not Found", false, 404},
        {"HTTP/1.1 401 Unauthorized", false, 401},
        {"HTTP/1.1 407 Proxy Authentication Required", false, 407},
        {"HTTP/1.1 500 Internal Server Error", false, 500},
        {"HTTP/1.1 304 Not Modified", false, 304},
        {"HTTP/1.1 302 Found", false, 302},               // no Location
        {"HTTP/1.1 101 Switching Protocols", false, 101}, // not asked for, and no interim answer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statusLine);
        ScriptedServer server;
        // The answer ends with "  " to show the status line is trimmed in the detail.
        ExpectHttpRequest(server)
            .send(HttpAnswer(c.statusLine + "  ", {"WWW-Authenticate: Basic realm=x"}))
            .silence(5000);
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, credentialsAndCookie());
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.connectionsAccepted(), 1) << "no second attempt with other credentials";
        EXPECT_EQ(o.passed, c.passed);
        EXPECT_EQ(o.text, c.passed ? "Passed" : "Failed");
        const std::string prefix = "[" + url + ":" + portOf(server) + "] " + c.statusLine;
        EXPECT_EQ(o.detail, c.passed ? prefix : prefix + ":" + c.statusLine);
        EXPECT_EQ(o.responseCode, c.code);
    }
}

// Interim answers (1xx other than 101) before the answer are read and skipped, in one piece with
// it or apart; the answer after them decides.
TEST(URLCheck, InterimAnswersAreSkippedAndTheAnswerAfterThemJudged)
{
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    struct Case
    {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        bool passed;
        int code;
        std::string detailTail; // after "[url:port] "
    };
    const std::vector<Case> cases = {
        {"continue_then_ok_in_one_piece",
         [&](ScriptedServer& s) {
             ExpectHttpRequest(s).send(interim + HttpAnswer("HTTP/1.1 200 OK", {}, "hi"));
         },
         true, 200, "HTTP/1.1 200 OK"},
        {"continue_then_ok_later",
         [&](ScriptedServer& s) {
             ExpectHttpRequest(s).send(interim).pause(200).send(HttpAnswer("HTTP/1.1 200 OK", {}, "hi"));
         },
         true, 200, "HTTP/1.1 200 OK"},
        {"continue_processing_then_not_found",
         [&](ScriptedServer& s) {
             ExpectHttpRequest(s)
                 .send(interim + "HTTP/1.1 102 Processing\r\nX-Step: 1\r\n\r\n")
                 .send(HttpAnswer("HTTP/1.1 404 Not Found"));
         },
         false, 404, "HTTP/1.1 404 Not Found:HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        c.script(server);
        server.silence(5000);
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, plainGet(), 2000);
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.connectionsAccepted(), 1);
        EXPECT_EQ(o.passed, c.passed);
        EXPECT_EQ(o.responseCode, c.code);
        EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] " + c.detailTail);
    }
}

// The server keeps the connection open after the answer: the check passes only when it finds
// the end of the body by the body's own framing.
TEST(URLCheck, BodiesOfEveryFramingAreReadToTheirEnd)
{
    struct Case
    {
        const char* name;
        const char* method;
        std::string answer;
        bool serverCloses;
    };
    const std::string megabyte(1024 * 1024, 'm');
    const std::vector<Case> cases = {
        {"content_length", "Get", HttpAnswer("HTTP/1.1 200 OK", {}, "0123456789"), false},
        {"chunked", "Get", ChunkedHttpAnswer("HTTP/1.1 200 OK", {"abc", std::string(5000, 'x'), "z"}), false},
        {"chunked_megabyte", "Post", ChunkedHttpAnswer("HTTP/1.1 200 OK", {megabyte, megabyte}), false},
        {"until_close", "Get", UntilCloseHttpAnswer("HTTP/1.0 200 OK", megabyte), true},
        {"head_with_length_but_no_body", "Head", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", false},
        {"no_content", "Delete", "HTTP/1.1 204 No Content\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ExpectHttpRequest(server).send(c.answer);
        if (c.serverCloses)
            server.close();
        else
            server.silence(10000);
        server.start();
        URLCheckArgs u;
        u.Method = c.method;
        const Outcome o = runCheck(base(server) + "/", u, 4000);
        EXPECT_TRUE(o.passed) << o.detail;
        EXPECT_TRUE(server.wait());
    }
}

TEST(URLCheck, BodyCutShortFails)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").close();
    server.start();
    const std::string url = base(server) + "/";
    const Outcome o = runCheck(url);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) +
                            "] HTTP/1.1 200 OK:connection closed after 3 of 10 body bytes");
    EXPECT_EQ(o.responseCode, 200);
}

TEST(URLCheck, RedirectWithinTheHostKeepsMethodBodyAndCredentials)
{
    ScriptedServer server;
    ExpectHttpRequest(server)
        .send(RedirectAnswer("next?step=2", "HTTP/1.1 307 Temporary Redirect"))
        .acceptNext();
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 Landed")).silence(5000);
    server.start();

    URLCheckArgs u = credentialsAndCookie();
    u.Method = "Post";
    u.FormFields = {"a=x y", "b="};
    const std::string url = base(server) + "/dir/start";
    const Outcome o = runCheck(url, u);

    ASSERT_TRUE(server.wait());
    ASSERT_EQ(server.received().size(), 2u);
    const std::string rest = "Host: 127.0.0.1:" + portOf(server) +
                             "\r\nContent-Type: application/x-www-form-urlencoded\r\n" + kAuthorization +
                             "Cookie: sid=77\r\nContent-Length: 8\r\n\r\na=x+y&b=";
    EXPECT_EQ(server.received()[0], "POST /dir/start HTTP/1.1\r\n" + rest);
    EXPECT_EQ(server.received()[1], "POST /dir/next?step=2 HTTP/1.1\r\n" + rest);
    EXPECT_TRUE(o.passed);
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] HTTP/1.1 200 Landed");
}

// Five redirects are followed; the sixth redirect answer is taken as the final one.
TEST(URLCheck, SixRedirectsInARowPassWithTheSixthStatusLine)
{
    ScriptedServer server;
    for (int hop = 1; hop <= 6; ++hop) {
        ExpectHttpRequest(server).send(
            RedirectAnswer("/hop" + std::to_string(hop), "HTTP/1.1 302 Hop " + std::to_string(hop)));
        if (hop < 6)
            server.acceptNext();
    }
    server.silence(5000);
    server.start();
    const std::string url = base(server) + "/";
    const Outcome o = runCheck(url, URLCheckArgs{}, 2000);
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.connectionsAccepted(), 6);
    ASSERT_EQ(server.received().size(), 6u);
    EXPECT_EQ(server.received()[5].substr(0, 20), "HEAD /hop5 HTTP/1.1\r");
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] HTTP/1.1 302 Hop 6");
    EXPECT_EQ(o.responseCode, 302);
}

// "BASE" in a text stands for http://127.0.0.1:<port of the server>.
std::string withBase(std::string text, const ScriptedServer& server)
{
    for (std::size_t at = text.find("BASE"); at != std::string::npos; at = text.find("BASE"))
        text.replace(at, 4, base(server));
    return text;
}

// A redirect back to an address already requested in the same check is a loop and fails with the
// redirect's status line, also when it is the answer past the limit of five; distinct addresses
// (path and query compared whole, host without regard to letter case) are a chain and are
// followed up to the limit.
TEST(URLCheck, RedirectBackToAnAddressAlreadyRequestedIsALoop)
{
    struct Case
    {
        const char* name;
        std::string start;                  // the service's address
        std::vector<std::string> locations; // Location of each answer, one request each
        bool passed;
        std::string detailTail; // after "[start:port] "
    };
    const std::vector<Case> cases = {
        {"points_to_itself",
         "BASE/a",
         {"/a"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/a"},
        {"itself_in_other_letter_case_and_absolute",
         "http://localhost:PORT/a",
         {"http://LocalHost:PORT/a"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to http://LocalHost:PORT/a"},
        {"loop_of_two",
         "BASE/a",
         {"BASE/b", "a"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/a"},
        {"loop_back_to_the_middle",
         "BASE/",
         {"/1", "/2", "/1"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/1"},
        {"six_distinct_by_query_alone",
         "BASE/p?n=0",
         {"?n=1", "?n=2", "?n=3", "?n=4", "?n=5", "?n=6"},
         true,
         "HTTP/1.1 302 Found"},
        {"sixth_answer_leads_back_to_the_start",
         "BASE/",
         {"/1", "/2", "/3", "/4", "/5", "/"},
         false,
         "HTTP/1.1 302 Found:HTTP/1.1 302 Found: redirect loop back to BASE/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        auto expand = [&server](std::string text) {
            for (std::size_t at = text.find("PORT"); at != std::string::npos; at = text.find("PORT"))
                text.replace(at, 4, portOf(server));
            return withBase(text, server);
        };
        for (std::size_t i = 0; i < c.locations.size(); ++i) {
            if (i > 0)
                server.acceptNext();
            ExpectHttpRequest(server).send(RedirectAnswer(expand(c.locations[i])));
        }
        server.silence(5000);
        server.start();
        const std::string url = expand(c.start);
        const Outcome o = runCheck(url, plainGet(), 2000);
        ASSERT_TRUE(server.wait());
        EXPECT_EQ(server.connectionsAccepted(), static_cast<int>(c.locations.size()))
            << "the address that closes the loop is not requested again";
        EXPECT_EQ(o.passed, c.passed);
        EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] " + expand(c.detailTail));
        EXPECT_EQ(o.responseCode, 302);
    }
}

TEST(URLCheck, RedirectToAMissingPageFails)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(RedirectAnswer("/gone", "HTTP/1.1 301 Moved Permanently")).acceptNext();
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 404 Not Found", {}, "nothing here")).silence(5000);
    server.start();
    const std::string url = base(server) + "/";
    const Outcome o = runCheck(url);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] HTTP/1.1 404 Not Found:HTTP/1.1 404 Not Found");
    EXPECT_EQ(o.responseCode, 404);
}

// Sending the Basic credentials (or the cookie) to wherever a server redirects would hand them
// to a third party: they go only to the host and port of the first request.
TEST(URLCheck, CredentialsStayWithTheFirstHostAndPort)
{
    const std::string noCredentials = "\r\n\r\n";
    {
        SCOPED_TRACE("another port");
        ScriptedServer first;
        ScriptedServer other;
        ExpectHttpRequest(first).send(RedirectAnswer(base(other) + "/there")).silence(5000);
        ExpectHttpRequest(other).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        first.start();
        other.start();
        const std::string url = base(first) + "/here";
        const Outcome o = runCheck(url, credentialsAndCookie());
        ASSERT_TRUE(first.wait());
        ASSERT_TRUE(other.wait());
        ASSERT_EQ(first.received().size(), 1u);
        ASSERT_EQ(other.received().size(), 1u);
        EXPECT_TRUE(contains(first.received()[0], kAuthorization + "Cookie: sid=77\r\n"));
        EXPECT_EQ(other.received()[0],
                  "GET /there HTTP/1.1\r\nHost: 127.0.0.1:" + portOf(other) + "\r\n\r\n");
        EXPECT_TRUE(o.passed);
        EXPECT_EQ(o.detail, "[" + url + ":" + portOf(other) + "] HTTP/1.1 200 OK");
    }
    {
        SCOPED_TRACE("another host name, same port, then back");
        ScriptedServer server;
        ExpectHttpRequest(server)
            .send(RedirectAnswer("http://localhost:" + portOf(server) + "/x"))
            .acceptNext();
        ExpectHttpRequest(server).send(RedirectAnswer(base(server) + "/back")).acceptNext();
        ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK")).silence(5000);
        server.start();
        const Outcome o = runCheck(base(server) + "/", credentialsAndCookie());
        ASSERT_TRUE(server.wait());
        ASSERT_EQ(server.received().size(), 3u);
        EXPECT_TRUE(contains(server.received()[0], kAuthorization));
        EXPECT_EQ(server.received()[1],
                  "GET /x HTTP/1.1\r\nHost: localhost:" + portOf(server) + noCredentials);
        EXPECT_TRUE(contains(server.received()[2], "GET /back HTTP/1.1\r\n"));
        EXPECT_TRUE(contains(server.received()[2], kAuthorization + "Cookie: sid=77\r\n"));
        EXPECT_TRUE(o.passed) << o.detail;
    }
}

TEST(URLCheck, RedirectToAnotherSchemeFails)
{
    ScriptedServer server;
    ExpectHttpRequest(server).send(RedirectAnswer("ftp://files.example/")).silence(5000);
    server.start();
    const std::string url = base(server) + "/";
    const Outcome o = runCheck(url);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) +
                            "] HTTP/1.1 302 Found:cannot follow a redirect to \"ftp://files.example/\": only "
                            "http:// and https:// addresses are supported");
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST(URLCheck, ProxyGetsTheWholeAddressAndItsOwnCredentials)
{
    ScriptedServer proxy;
    ExpectHttpRequest(proxy).send(RedirectAnswer("http://elsewhere.invalid/next")).acceptNext();
    ExpectHttpRequest(proxy).send(HttpAnswer("HTTP/1.1 200 Via Proxy")).silence(5000);
    proxy.start();

    URLCheckArgs u = credentialsAndCookie();
    u.ProxyHost = "127.0.0.1";
    u.ProxyPort = proxy.port();
    u.ProxyUserName = "pu";
    u.ProxyPassword = "pp";
    // The origin's name is never resolved: the proxy does that.
    const std::string url = "http://origin.invalid:8081/page";
    const Outcome o = runCheck(url, u);

    ASSERT_TRUE(proxy.wait());
    ASSERT_EQ(proxy.received().size(), 2u);
    EXPECT_EQ(proxy.received()[0],
              "GET http://origin.invalid:8081/page HTTP/1.1\r\nHost: origin.invalid:8081\r\n" +
                  kAuthorization + kProxyAuthorization + "Cookie: sid=77\r\n\r\n");
    EXPECT_EQ(proxy.received()[1],
              "GET http://elsewhere.invalid/next HTTP/1.1\r\nHost: elsewhere.invalid\r\n" +
                  kProxyAuthorization + "\r\n");
    EXPECT_TRUE(o.passed) << o.detail;
    EXPECT_EQ(o.detail, "[" + url + ":" + portOf(proxy) + "] HTTP/1.1 200 Via Proxy");
}

TEST(URLCheck, ProxyDemandingOtherCredentialsFails)
{
    ScriptedServer proxy;
    ExpectHttpRequest(proxy).send(HttpAnswer("HTTP/1.1 407 Proxy Authentication Required")).silence(5000);
    proxy.start();
    URLCheckArgs u;
    u.Method = "Get";
    u.ProxyHost = "127.0.0.1";
    u.ProxyPort = proxy.port();
    const std::string url = "http://origin.invalid/";
    const Outcome o = runCheck(url, u);
    ASSERT_TRUE(proxy.wait());
    EXPECT_EQ(proxy.received()[0], "GET http://origin.invalid/ HTTP/1.1\r\nHost: origin.invalid\r\n\r\n");
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail,
              "[" + url + ":" + portOf(proxy) +
                  "] HTTP/1.1 407 Proxy Authentication Required:HTTP/1.1 407 Proxy Authentication Required");
}

TEST(URLCheck, ConnectionFailuresLeaveNoStatusLine)
{
    {
        SCOPED_TRACE("refused");
        const int port = ScriptedServer::UnusedPort();
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
        const Outcome o = runCheck(url);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(
            o.detail.rfind("[" + url + ":" + std::to_string(port) + "] :cannot connect to 127.0.0.1:", 0), 0u)
            << o.detail;
        EXPECT_TRUE(contains(o.detail, "refused")) << o.detail;
        EXPECT_EQ(o.responseCode, -1);
    }
    {
        SCOPED_TRACE("unresolvable");
        const Outcome o = runCheck("http://no-such-host.invalid/");
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(
            o.detail.rfind("[http://no-such-host.invalid/:80] :cannot resolve \"no-such-host.invalid\"", 0),
            0u)
            << o.detail;
        EXPECT_EQ(o.responseCode, -1);
    }
    {
        SCOPED_TRACE("not an address");
        const Outcome o = runCheck("http://host:99999/");
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.detail, "[http://host:99999/:0] :invalid port in address: \"http://host:99999/\"");
    }
}

// The service's own port is only reported; the connection goes to the URL's port, 80 by default.
TEST(URLCheck, AddressWithoutPortIsProbedOnPort80)
{
    const Outcome o = runCheck("http://127.0.0.1/", plainGet(), 1000, 8080);
    EXPECT_EQ(o.detail.rfind("[http://127.0.0.1/:80] ", 0), 0u) << o.detail;
    if (!o.passed) {
        EXPECT_TRUE(contains(o.detail, "127.0.0.1:80")) << o.detail;
    }
}

// Every wait is bounded by Timeout: a silent server, a status line trickled a byte at a time and
// a body trickled the same way all fail soon after Timeout.
TEST(URLCheck, SlowOrSilentServersFailWithinTheTimeout)
{
    constexpr int timeout = 500;
    constexpr int slack = 1500;
    struct Case
    {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        std::string detailAfterPort;
    };
    const std::vector<Case> cases = {
        {"accepts_and_never_answers", [](ScriptedServer& s) { s.silence(10000); },
         "] :no complete answer from 127.0.0.1:PORT within 500 ms"},
        {"reads_and_never_answers", [](ScriptedServer& s) { ExpectHttpRequest(s).silence(10000); },
         "] :no complete answer from 127.0.0.1:PORT within 500 ms"},
        {"interim_answer_then_silence",
         [](ScriptedServer& s) { ExpectHttpRequest(s).send("HTTP/1.1 100 Continue\r\n\r\n").silence(10000); },
         "] :no complete answer from 127.0.0.1:PORT within 500 ms after \"HTTP/1.1 100 Continue\""},
        // Interim answers give no extra time.
        {"interim_answers_without_end",
         [](ScriptedServer& s) {
             ExpectHttpRequest(s).run([](ScriptedConnection& c) {
                 while (c.send("HTTP/1.1 102 Processing\r\n\r\n") && c.pause(100)) {
                 }
                 return false;
             });
         },
         "] :no complete answer from 127.0.0.1:PORT within 500 ms after \"HTTP/1.1 102 Processing\""},
        {"trickled_status_line",
         [](ScriptedServer& s) {
             ExpectHttpRequest(s).trickle("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 100);
         },
         "] :no complete answer from 127.0.0.1:PORT within 500 ms"},
        {"trickled_body",
         [](ScriptedServer& s) {
             ExpectHttpRequest(s)
                 .send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")
                 .trickle(std::string(100, 'b'), 100);
         },
         "] HTTP/1.1 200 OK:the body of the answer from 127.0.0.1:PORT was not complete within 500 ms"},
        {"endless_body",
         [](ScriptedServer& s) {
             ExpectHttpRequest(s).send("HTTP/1.0 200 OK\r\n\r\n").run([](ScriptedConnection& c) {
                 const std::string block(4096, 'e');
                 while (c.send(block) && c.pause(5)) {
                 }
                 return false;
             });
         },
         "] HTTP/1.0 200 OK:the body of the answer from 127.0.0.1:PORT was not complete within 500 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        c.script(server);
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, plainGet(), timeout);
        std::string expected = "[" + url + ":" + portOf(server) + c.detailAfterPort;
        expected.replace(expected.find("PORT"), 4, portOf(server));
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.detail, expected);
        EXPECT_LT(o.elapsedMs, timeout + slack);
    }
}

TEST(URLCheck, HostileAnswersFailWithAClearDetail)
{
    struct Case
    {
        const char* name;
        std::string answer;
        std::string statusPart; // S of the detail
        std::string message;
    };
    const std::vector<Case> cases = {
        {"garbage_text", "SSH-2.0-OpenSSH_9.2\r\n", "", "malformed status line: \"S"},
        {"binary_garbage", std::string("\x00\xff\x13\x37garbage", 11), "", "malformed status line: \"\\x00"},
        {"endless_status_line", "HTTP/1.1 200 " + std::string(200 * 1024, 'a'), "",
         "status line longer than 8192 bytes"},
        {"ten_megabyte_header", "HTTP/1.1 200 OK\r\nX-Big: " + std::string(10 * 1024 * 1024, 'h'),
         "HTTP/1.1 200 OK", "header line longer than 65536 bytes"},
        {"chunk_size_two_to_the_63",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", "HTTP/1.1 200 OK",
         "chunk size too large: \"8000000000000000\""},
        {"cut_mid_line", "HTTP/1.1 200 OK\r\nServ", "HTTP/1.1 200 OK",
         "connection closed in the middle of the answer headers"},
        {"closed_without_answer", "", "", "connection closed before an answer arrived"},
        {"closed_after_interim_answer", "HTTP/1.1 100 Continue\r\n\r\n", "",
         "connection closed after \"HTTP/1.1 100 Continue\" before the answer arrived"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ExpectHttpRequest(server).send(c.answer).close();
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, plainGet(), 3000);
        EXPECT_FALSE(o.passed);
        const std::string prefix = "[" + url + ":" + portOf(server) + "] " + c.statusPart + ":";
        EXPECT_EQ(o.detail.rfind(prefix, 0), 0u) << o.detail;
        EXPECT_TRUE(contains(o.detail, c.message)) << o.detail;
        EXPECT_LT(o.detail.size(), 400u);
    }
}

// `data` compressed by zlib: `windowBits` 15 + 16 gives gzip, -15 raw deflate, 15 a zlib stream.
std::string compressed(const std::string& data, int windowBits)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

URLCheckArgs expecting(UrlExpectMode mode, const QString& text, const char* method = "Get")
{
    URLCheckArgs u;
    u.Method = method;
    u.Expect = {mode, text};
    return u;
}

TEST(URLCheck, ExpectationJudgesTheWholeBodyOfTheFinalAnswer)
{
    const std::string mib(1024 * 1024, 'm');
    const std::string page = "<html><p>" + std::string(5000, '-') + " Welcome</p></html>";
    struct Case
    {
        const char* name;
        std::vector<std::string> answers; // one per connection, in order
        URLCheckArgs values;
        bool passed;
        std::string detailEnd; // after "[url:port] "
    };
    const auto contains = expecting(UrlExpectMode::Contains, "Welcome");
    const std::vector<Case> cases = {
        {"content length", {HttpAnswer("HTTP/1.1 200 OK", {}, page)}, contains, true, "HTTP/1.1 200 OK"},
        {"chunks split the text",
         {ChunkedHttpAnswer("HTTP/1.1 200 OK", {"<p>Wel", "co", "me</p>"})},
         contains,
         true,
         "HTTP/1.1 200 OK"},
        {"until close", {UntilCloseHttpAnswer("HTTP/1.0 200 OK", page)}, contains, true, "HTTP/1.0 200 OK"},
        {"text missing",
         {HttpAnswer("HTTP/1.1 200 OK", {}, "<p>Service unavailable</p>")},
         contains,
         false,
         "HTTP/1.1 200 OK:expected \"Welcome\" in the body, found \"<p>Service unavailable</p>\""},
        {"redirect body is not judged",
         {RedirectAnswer("/home") + "", HttpAnswer("HTTP/1.1 200 OK", {}, "Welcome")},
         contains,
         true,
         "HTTP/1.1 200 OK"},
        {"a failing status stays the reason",
         {HttpAnswer("HTTP/1.1 503 Service Unavailable", {}, "Welcome")},
         contains,
         false,
         "HTTP/1.1 503 Service Unavailable:HTTP/1.1 503 Service Unavailable"},
        {"exactly one mebibyte",
         {HttpAnswer("HTTP/1.1 200 OK", {}, mib)},
         expecting(UrlExpectMode::Matches, "m$"),
         true,
         "HTTP/1.1 200 OK"},
        {"one byte more, chunked",
         {ChunkedHttpAnswer("HTTP/1.1 200 OK", {mib, "!"})},
         expecting(UrlExpectMode::NotContains, "!"),
         false,
         "HTTP/1.1 200 OK:the body exceeds the limit of 1048576 bytes; reading stopped there"},
        {"gzip",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: gzip"}, compressed(page, 15 + 16))},
         contains,
         true,
         "HTTP/1.1 200 OK"},
        {"zlib deflate",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: deflate"}, compressed(page, 15))},
         contains,
         true,
         "HTTP/1.1 200 OK"},
        {"raw deflate",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: deflate"}, compressed(page, -15))},
         contains,
         true,
         "HTTP/1.1 200 OK"},
        {"gzip that inflates past the limit",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: gzip"}, compressed(mib + "Welcome", 15 + 16))},
         contains,
         false,
         "HTTP/1.1 200 OK:the decoded body exceeds the limit of 1048576 bytes"},
        {"gzip that is not",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: gzip"}, "Welcome")},
         contains,
         false,
         "HTTP/1.1 200 OK:the gzip body does not decode"},
        {"an encoding the check cannot read",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Encoding: br"}, "x")},
         contains,
         false,
         "HTTP/1.1 200 OK:the body is encoded as \"br\", which the check cannot read (gzip and deflate it "
         "can)"},
        {"head has no body",
         {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n"},
         expecting(UrlExpectMode::Contains, "Welcome", "Head"),
         false,
         "HTTP/1.1 200 OK:an answer to HEAD has no body to check; the service needs another method for its "
         "expectation"},
        {"redirects past the limit are no page",
         {RedirectAnswer("/1"), RedirectAnswer("/2"), RedirectAnswer("/3"), RedirectAnswer("/4"),
          RedirectAnswer("/5"), RedirectAnswer("/6")},
         contains,
         false,
         "HTTP/1.1 302 Found:the last answer is a redirect past the limit of 5, not a page whose body could "
         "be "
         "checked"},
        {"json",
         {HttpAnswer("HTTP/1.1 200 OK", {"Content-Type: application/json"}, "{\"db\":{\"up\":false}}")},
         expecting(UrlExpectMode::JsonValue, "/db/up=true"),
         false,
         "HTTP/1.1 200 OK:expected /db/up = true, found a boolean false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        for (std::size_t i = 0; i < c.answers.size(); ++i) {
            if (i > 0)
                server.acceptNext();
            ExpectHttpRequest(server).send(c.answers[i]);
        }
        // An answer without a length ends when the server closes; the others keep it open.
        if (c.answers.back().find("Content-Length") == std::string::npos &&
            c.answers.back().find("chunked") == std::string::npos)
            server.close();
        else
            server.silence(10000);
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, c.values, 4000);
        EXPECT_EQ(o.passed, c.passed) << o.detail;
        EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] " + c.detailEnd);
    }
}

TEST(URLCheck, ExpectationFailsABodyThatEndsEarlyOrRunsPastTheLimit)
{
    struct Case
    {
        const char* name;
        std::string answer;
        std::string detailEnd;
    };
    const std::string big(1536 * 1024, 'b');
    const std::vector<Case> cases = {
        {"length not reached", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nWelcome",
         "the body ended early: connection closed after 7 of 100 body bytes"},
        {"chunked without its last chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7\r\nWelcome\r\n",
         "the body ended early: connection closed in the middle of a chunked body"},
        // The server would send 3 MiB: the check stops after the limit and does not wait for it.
        {"larger than announced limit", "HTTP/1.1 200 OK\r\nContent-Length: 3145728\r\n\r\n" + big,
         "the body exceeds the limit of 1048576 bytes; reading stopped there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ExpectHttpRequest(server).send(c.answer);
        if (c.name == std::string("larger than announced limit"))
            server.silence(10000); // the rest never comes: only the limit ends the wait
        else
            server.close();
        server.start();
        const std::string url = base(server) + "/";
        const Outcome o = runCheck(url, expecting(UrlExpectMode::Contains, "Welcome"), 4000);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.detail, "[" + url + ":" + portOf(server) + "] HTTP/1.1 200 OK:" + c.detailEnd);
        EXPECT_LT(o.elapsedMs, 3000);
    }
    // Without an expectation the body is read and dropped as before: past the limit is fine.
    ScriptedServer server;
    ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, big)).silence(10000);
    server.start();
    EXPECT_TRUE(runCheck(base(server) + "/").passed);
}

TEST(URLCheck, StoredIpBecomesAnHttpAddress)
{
    EXPECT_EQ(ThreadURLCheck::UrlOf("www.example.com/x"), "http://www.example.com/x");
    EXPECT_EQ(ThreadURLCheck::UrlOf("HTTP://Host/"), "HTTP://Host/");
    EXPECT_EQ(ThreadURLCheck::UrlOf("https://host/"), "https://host/");
    EXPECT_EQ(ThreadURLCheck::UrlOf("HTTPS://Host/"), "HTTPS://Host/");
    EXPECT_EQ(ThreadURLCheck::UrlOf(""), "http://");
    EXPECT_EQ(URLCheckArgs::BodyOf({"a=x y", "b="}), "a=x y\r\nb=\r\n");
}

} // namespace
