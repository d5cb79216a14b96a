// The URL check against real, widely used HTTP servers started on loopback for the test: Python's
// http.server (always at hand) and nginx (Debian package nginx-light or nginx; the tests skip
// when it is not installed). They show that the client reads real answers of every framing,
// follows real redirects, and that credentials and proxy credentials are accepted or refused
// by a real server as they should be.
#include "checks/ThreadURLCheckUnit.h"

#include "net/Socket.h"
#include "support/ScriptedServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Outcome
{
    bool passed = false;
    std::string detail;
};

Outcome runCheck(const QString& url, URLCheckArgs values)
{
    ThreadCheckArgs args;
    args.Origin = QStringLiteral("Product");
    args.Host = url;
    args.Timeout = 5000;
    if (values.Method.isEmpty())
        values.Method = QStringLiteral("Get");
    ThreadURLCheck check(args, values);
    check.Execute();
    return {check.Passed, check.ResultDetail.toStdString()};
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// True once something accepts connections on 127.0.0.1:port (at most `ms`).
bool waitListening(int port, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        try {
            TcpSocket probe;
            probe.connect("127.0.0.1", port, 500);
            return true;
        } catch (const SocketError&) {
            QThread::msleep(50);
        }
    }
    return false;
}

// A server process that is stopped (and waited for) when the object goes.
class ServerProcess
{
public:
    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// The document tree both servers serve.
void writeSite(const QString& root)
{
    writeFile(root + "/index.html", "<html><body>hello</body></html>\n");
    QByteArray big;
    for (int i = 0; i < 20000; ++i)
        big += QByteArray::number(i) + '\n';
    writeFile(root + "/big.txt", big);
    writeFile(root + "/sub/index.html", "sub\n");
}

class PythonHttpServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            GTEST_SKIP() << "python3 is not installed";
        ASSERT_TRUE(m_dir.isValid());
        writeSite(m_dir.path());
        QProcess& p = m_server.process();
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(python, {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", m_dir.path()});
        ASSERT_TRUE(p.waitForStarted(5000));
        const QRegularExpression portLine(QStringLiteral("port (\\d+)"));
        QByteArray output;
        QElapsedTimer timer;
        timer.start();
        while (m_port == 0 && timer.elapsed() < 10000) {
            p.waitForReadyRead(200);
            output += p.readAll();
            const auto match = portLine.match(QString::fromUtf8(output));
            if (match.hasMatch())
                m_port = match.captured(1).toInt();
        }
        ASSERT_NE(m_port, 0) << "http.server did not start: " << output.toStdString();
        ASSERT_TRUE(waitListening(m_port, 5000));
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

    QTemporaryDir m_dir;
    ServerProcess m_server;
    int m_port = 0;
};

TEST_F(PythonHttpServer, RealAnswersAreJudgedAsExpected)
{
    struct Case
    {
        const char* method;
        QString path;
        bool passed;
        std::string detailEnd;
    };
    const std::vector<Case> cases = {
        {"Get", "/", true, "] HTTP/1.0 200 OK"},
        {"Get", "/big.txt", true, "] HTTP/1.0 200 OK"},
        {"Head", "/index.html", true, "] HTTP/1.0 200 OK"},
        {"Get", "/sub", true, "] HTTP/1.0 200 OK"}, // 301 to /sub/ followed
        {"Get", "/missing", false, "] HTTP/1.0 404 File not found:HTTP/1.0 404 File not found"},
        {"Post", "/", false,
         "] HTTP/1.0 501 Unsupported method ('POST'):HTTP/1.0 501 Unsupported method ('POST')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " " + c.method);
        URLCheckArgs u;
        u.Method = QString::fromLatin1(c.method);
        const Outcome o = runCheck(url(c.path), u);
        EXPECT_EQ(o.passed, c.passed) << o.detail;
        const std::string expected =
            "[" + url(c.path).toStdString() + ":" + std::to_string(m_port) + c.detailEnd;
        EXPECT_EQ(o.detail, expected);
    }
}

class NginxServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"));
        if (nginx.isEmpty())
            nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/sbin"});
        if (nginx.isEmpty())
            GTEST_SKIP() << "nginx is not installed (Debian package nginx-light)";
        ASSERT_TRUE(m_dir.isValid());
        const QString d = m_dir.path();
        writeSite(d + "/www");
        writeFile(d + "/htpasswd", "user:{PLAIN}secret\n");
        QDir().mkpath(d + "/tmp");
        m_port = ScriptedServer::UnusedPort();
        m_proxyPort = ScriptedServer::UnusedPort();
        while (m_proxyPort == m_port)
            m_proxyPort = ScriptedServer::UnusedPort();
        const QString conf = QStringLiteral(R"(daemon off;
master_process off;
worker_processes 1;
pid D/nginx.pid;
error_log D/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path D/tmp/body;
  proxy_temp_path D/tmp/proxy;
  fastcgi_temp_path D/tmp/fastcgi;
  uwsgi_temp_path D/tmp/uwsgi;
  scgi_temp_path D/tmp/scgi;
  types { text/html html; text/plain txt; }
  server {
    listen 127.0.0.1:PORT;
    root D/www;
    location /private/ { auth_basic "Quorvel"; auth_basic_user_file D/htpasswd; alias D/www/; }
    location = /moved { return 302 /index.html; }
    location = /relative { absolute_redirect off; return 301 /sub/; }
    location = /away { return 302 http://localhost:PORT/private/index.html; }
    location = /form { return 200 "ok\n"; }
    location = /gz { gzip on; gzip_min_length 1; gzip_types text/plain; default_type text/plain; alias D/www/big.txt; }
    location = /broken { return 500; }
    location /zipped/ { gzip on; gzip_min_length 1; gzip_types text/plain application/json; alias D/www/; }
  }
  server {
    listen 127.0.0.1:PROXY;
    location / {
      if ($http_proxy_authorization != "Basic cHU6cHA=") { return 407; }
      proxy_pass http://127.0.0.1:PORT;
    }
  }
}
)")
                                 .replace(QStringLiteral("PROXY"), QString::number(m_proxyPort))
                                 .replace(QStringLiteral("PORT"), QString::number(m_port))
                                 .replace(QStringLiteral("D/"), d + QLatin1Char('/'));
        writeFile(d + "/nginx.conf", conf.toUtf8());
        QProcess& p = m_server.process();
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(nginx, {"-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"});
        ASSERT_TRUE(p.waitForStarted(5000));
        const bool up = waitListening(m_port, 5000) && waitListening(m_proxyPort, 5000);
        QFile log(d + "/error.log");
        log.open(QIODevice::ReadOnly);
        ASSERT_TRUE(up) << "nginx did not start: " << p.readAll().toStdString()
                        << log.readAll().toStdString();
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

    QTemporaryDir m_dir;
    ServerProcess m_server;
    int m_port = 0;
    int m_proxyPort = 0;
};

TEST_F(NginxServer, RealAnswersAreJudgedAsExpected)
{
    struct Case
    {
        const char* name;
        QString path;
        URLCheckArgs values;
        bool passed;
        std::string status; // the last status line
        bool viaProxy;
    };
    URLCheckArgs get;
    get.Method = "Get";
    URLCheckArgs head = get;
    head.Method = "Head";
    URLCheckArgs post = get;
    post.Method = "Post";
    post.FormFields = {"a=x y", "b="};
    URLCheckArgs gzip = get;
    gzip.AcceptEncoding = "gzip";
    URLCheckArgs rightUser = get;
    rightUser.UserName = "user";
    rightUser.Password = "secret";
    URLCheckArgs wrongUser = rightUser;
    wrongUser.Password = "wrong";
    URLCheckArgs proxy = get;
    proxy.ProxyHost = "127.0.0.1";
    proxy.ProxyPort = m_proxyPort;
    proxy.ProxyUserName = "pu";
    proxy.ProxyPassword = "pp";
    URLCheckArgs proxyWrong = proxy;
    proxyWrong.ProxyPassword = "nope";

    const std::vector<Case> cases = {
        {"static page", "/index.html", get, true, "HTTP/1.1 200 OK", false},
        {"large file", "/big.txt", get, true, "HTTP/1.1 200 OK", false},
        {"head", "/big.txt", head, true, "HTTP/1.1 200 OK", false},
        {"chunked gzip", "/gz", gzip, true, "HTTP/1.1 200 OK", false},
        {"post form", "/form", post, true, "HTTP/1.1 200 OK", false},
        {"absolute redirect", "/moved", get, true, "HTTP/1.1 200 OK", false},
        {"relative redirect", "/relative", get, true, "HTTP/1.1 200 OK", false},
        {"missing page", "/missing", get, false, "HTTP/1.1 404 Not Found", false},
        {"server error", "/broken", get, false, "HTTP/1.1 500 Internal Server Error", false},
        {"right credentials", "/private/index.html", rightUser, true, "HTTP/1.1 200 OK", false},
        {"wrong credentials", "/private/index.html", wrongUser, false, "HTTP/1.1 401 Unauthorized", false},
        {"no credentials", "/private/index.html", get, false, "HTTP/1.1 401 Unauthorized", false},
        // The redirect names another host: the credentials are not sent there, so it refuses.
        {"credentials not sent to another host", "/away", rightUser, false, "HTTP/1.1 401 Unauthorized",
         false},
        {"proxy with credentials", "/index.html", proxy, true, "HTTP/1.1 200 OK", true},
        {"proxy with wrong credentials", "/index.html", proxyWrong, false, "HTTP/1.1 407", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = runCheck(url(c.path), c.values);
        EXPECT_EQ(o.passed, c.passed) << o.detail;
        std::string expected = "[" + url(c.path).toStdString() + ":" +
                               std::to_string(c.viaProxy ? m_proxyPort : m_port) + "] " + c.status;
        if (!c.passed)
            expected += ":" + c.status;
        EXPECT_EQ(o.detail, expected);
    }
}

// Pages whose body the check reads: the text present or absent, deep in a 900 KB page, past
// the 1 MiB it reads, in JSON (one case per kind of pointer), compressed by nginx, and a page
// that turns into a maintenance notice between two checks.
TEST_F(NginxServer, ExpectationsAreJudgedOnRealPages)
{
    const QString www = m_dir.path() + "/www";
    writeFile(www + "/status.html",
              "<html><body><h1>Shop</h1><p>All systems operational</p></body></html>\n");
    writeFile(www + "/deep.txt", QByteArray(900 * 1024, '.') + "END-OF-REPORT\n");
    writeFile(www + "/huge.txt", QByteArray(1200 * 1024, '.') + "END-OF-REPORT\n");
    writeFile(www + "/health.json",
              R"({"status":"up","checks":{"db":{"ok":true,"latency_ms":12}},"nodes":["n1","n2"],)"
              R"("a/b":1,"m~n":"tilde","version":"3"})");
    struct Case
    {
        const char* name;
        QString path;
        UrlExpectMode mode;
        QString text;
        bool passed;
        std::string failure; // the detail after the status line, on failure
    };
    const std::vector<Case> cases = {
        {"text present", "/status.html", UrlExpectMode::Contains, "All systems operational", true, ""},
        {"text absent", "/status.html", UrlExpectMode::Contains, "Checkout", false,
         "expected \"Checkout\" in the body, found \"<html><body><h1>Shop</h1><p>All systems "
         "operational</p></"
         "bod\"..."},
        {"no maintenance", "/status.html", UrlExpectMode::NotContains, "maintenance", true, ""},
        {"pattern", "/status.html", UrlExpectMode::Matches, "<h1>\\w+</h1>", true, ""},
        {"text at the end of 900 KB", "/deep.txt", UrlExpectMode::Contains, "END-OF-REPORT", true, ""},
        {"text beyond 1 MiB", "/huge.txt", UrlExpectMode::Contains, "END-OF-REPORT", false,
         "the body exceeds the limit of 1048576 bytes; reading stopped there"},
        {"compressed by the server", "/zipped/deep.txt", UrlExpectMode::Contains, "END-OF-REPORT", true, ""},
        {"json text", "/health.json", UrlExpectMode::JsonValue, "/status=\"up\"", true, ""},
        {"json nested boolean", "/health.json", UrlExpectMode::JsonValue, "/checks/db/ok=true", true, ""},
        {"json number", "/health.json", UrlExpectMode::JsonValue, "/checks/db/latency_ms=12", true, ""},
        {"json array element", "/health.json", UrlExpectMode::JsonValue, "/nodes/1=\"n2\"", true, ""},
        {"json escaped names", "/health.json", UrlExpectMode::JsonValue, "/a~1b=1", true, ""},
        {"json escaped tilde", "/health.json", UrlExpectMode::JsonValue, "/m~0n=\"tilde\"", true, ""},
        {"json compressed", "/zipped/health.json", UrlExpectMode::JsonValue, "/nodes/0=\"n1\"", true, ""},
        {"json text is not a number", "/health.json", UrlExpectMode::JsonValue, "/version=3", false,
         "expected /version = 3, found a text \"3\""},
        {"json missing member", "/health.json", UrlExpectMode::JsonValue, "/checks/cache/ok=true", false,
         "expected /checks/cache/ok = true, found no member \"cache\""},
        {"json past the array", "/health.json", UrlExpectMode::JsonValue, "/nodes/2=\"n3\"", false,
         "expected /nodes/2 = \"n3\", found no element \"2\" in an array of 2"},
        {"json from a page that is not", "/status.html", UrlExpectMode::JsonValue, "/status=\"up\"", false,
         "expected /status = \"up\", found no JSON (illegal number at byte 0): "
         "\"<html><body><h1>Shop</h1><p>All "
         "systems operational</p></bod\"..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLCheckArgs values;
        values.Method = "Get";
        if (c.path.startsWith("/zipped/"))
            values.AcceptEncoding = "gzip";
        values.Expect = {c.mode, c.text};
        const Outcome o = runCheck(url(c.path), values);
        EXPECT_EQ(o.passed, c.passed) << o.detail;
        std::string expected =
            "[" + url(c.path).toStdString() + ":" + std::to_string(m_port) + "] HTTP/1.1 200 OK";
        if (!c.passed)
            expected += ":" + c.failure;
        EXPECT_EQ(o.detail, expected);
    }

    // The same service, checked again after the page changed to a maintenance notice.
    URLCheckArgs values;
    values.Method = "Get";
    values.Expect = {UrlExpectMode::NotContains, "maintenance"};
    EXPECT_TRUE(runCheck(url("/status.html"), values).passed);
    writeFile(www + "/status.html",
              "<html><body>\n<p>Down for maintenance until 06:00 UTC</p></body></html>\n");
    const Outcome o = runCheck(url("/status.html"), values);
    EXPECT_FALSE(o.passed);
    EXPECT_EQ(o.detail, "[" + url("/status.html").toStdString() + ":" + std::to_string(m_port) +
                            "] HTTP/1.1 200 OK:expected no \"maintenance\" in the body, found \"maintenance "
                            "until 06:00 UTC</p></body></html> \" at character 26");
}

} // namespace
