#include "support/TlsTestKit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Runs openssl with `arguments` in `dir`; false with its output in `why` when it fails.
bool openssl(const QString& program, const QString& dir, const QStringList& arguments, std::string* why)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000) || !process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        *why = "openssl " + arguments.join(' ').toStdString() + " did not finish";
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *why = "openssl " + arguments.join(' ').toStdString() + " failed: " + process.readAll().toStdString();
        return false;
    }
    return true;
}

QString openSslTime(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")) + QLatin1Char('Z');
}

struct Made
{
    std::unique_ptr<QTemporaryDir> dir;
    TestCertificates certificates;
    std::string why;
    bool ok = false;
};

void make(Made& made)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (program.isEmpty()) {
        made.why = "the openssl command is not installed (Debian package openssl)";
        return;
    }
    made.dir = std::make_unique<QTemporaryDir>();
    if (!made.dir->isValid()) {
        made.why = "no temporary folder";
        return;
    }
    const QString d = made.dir->path();
    // Servers started by root may drop to other users and still read the certificates.
    QFile::setPermissions(d, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                 QFileDevice::ReadOther | QFileDevice::ExeOther);
    QDir().mkpath(d + "/issued");
    writeFile(d + "/index.txt", QByteArray());
    writeFile(d + "/serial", "1000\n");
    writeFile(d + "/ca.cnf", "[ ca ]\ndefault_ca = test\n[ test ]\ndir = .\ndatabase = ./index.txt\n"
                             "new_certs_dir = ./issued\nserial = ./serial\ndefault_md = sha256\n"
                             "policy = any\nunique_subject = no\ncopy_extensions = none\n"
                             "certificate = ca.pem\nprivate_key = ca.key\n[ any ]\ncommonName = supplied\n");
    const QString names = "DNS:localhost,IP:127.0.0.1,IP:" + QString::fromStdString(TlsTestAddress());
    writeFile(
        d + "/leaf.ext",
        ("subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n").toUtf8());
    writeFile(d + "/other.ext", "subjectAltName=DNS:other.test\nbasicConstraints=CA:FALSE\n"
                                "extendedKeyUsage=serverAuth\n");
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto issue = [&](const QString& out, const QString& extensions, const QDateTime& start,
                     const QDateTime& end) {
        return openssl(program, d,
                       {"ca", "-batch", "-notext", "-config", "ca.cnf", "-in", "leaf.csr", "-out", out,
                        "-extfile", extensions, "-startdate", openSslTime(start), "-enddate",
                        openSslTime(end)},
                       &made.why);
    };
    const bool ok =
        openssl(program, d,
                QStringList{"req", "-x509"} + ec +
                    QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "3650", "-subj",
                                "/CN=Quorvel Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                                "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
                &made.why) &&
        openssl(program, d,
                QStringList{"req", "-new"} + ec +
                    QStringList{"-keyout", "leaf.key", "-out", "leaf.csr", "-subj", "/CN=localhost"},
                &made.why) &&
        issue("valid.pem", "leaf.ext", now.addSecs(-3600), now.addDays(365)) &&
        issue("expired.pem", "leaf.ext", now.addDays(-60), now.addDays(-2)) &&
        issue("ending.pem", "leaf.ext", now.addDays(-1), now.addDays(3)) &&
        issue("other.pem", "other.ext", now.addSecs(-3600), now.addDays(365));
    if (!ok)
        return;
    // Some servers refuse a key that others may read.
    QFile::setPermissions(d + "/leaf.key", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    TestCertificates& c = made.certificates;
    c.caFile = (d + "/ca.pem").toStdString();
    c.keyFile = (d + "/leaf.key").toStdString();
    c.valid = (d + "/valid.pem").toStdString();
    c.expired = (d + "/expired.pem").toStdString();
    c.endingSoon = (d + "/ending.pem").toStdString();
    c.otherName = (d + "/other.pem").toStdString();
    made.ok = true;
}

} // namespace

const TestCertificates* TestCerts(std::string* why)
{
    static Made made;
    static std::once_flag once;
    std::call_once(once, [] { make(made); });
    if (why)
        *why = made.why;
    return made.ok ? &made.certificates : nullptr;
}

const std::string& TlsTestAddress()
{
    static const std::string address = [] {
        std::random_device random;
        std::uniform_int_distribution<int> high(100, 199);
        std::uniform_int_distribution<int> low(1, 254);
        return "127." + std::to_string(high(random)) + "." + std::to_string(low(random)) + "." +
               std::to_string(low(random));
    }();
    return address;
}

bool FullMatch(const std::string& text, const std::string& pattern)
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(QString::fromStdString(pattern)));
    return expression.match(QString::fromStdString(text)).hasMatch();
}

bool MayUseWellKnownPorts()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Port 1 is never in use on loopback; EACCES tells that the privilege is missing.
    address.sin_port = htons(1);
    const int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    return rc == 0 || error != EACCES;
}

bool OpenSslServer::start(const std::string& certificate, const std::string& mode,
                          const std::vector<std::string>& extra)
{
    std::string why;
    const TestCertificates* certs = TestCerts(&why);
    if (!certs)
        return false;
    m_port = ScriptedServer::UnusedPort();
    std::vector<std::string> arguments = {"s_server",     "-accept",   "127.0.0.1:" + std::to_string(m_port),
                                          "-cert",        certificate, "-key",
                                          certs->keyFile, mode};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return m_daemon.start(DaemonProcess::Find("openssl"), arguments, {m_port});
}

// ---- aiosmtpd with TLS ----------------------------------------------------------------------

namespace {

const char* const kAioSmtpdTls = R"PY(
import os, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

address, port, out, mode, cert, key = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]

class Keep:
    async def handle_DATA(self, server, session, envelope):
        tls = server.transport.get_extra_info("ssl_object") is not None
        with open(out + ".part", "wb") as f:
            f.write(("tls=%s\nauthenticated=%s\nfrom=%s\nto=%s\n\n" % (
                tls, bool(session.authenticated), envelope.mail_from, ",".join(envelope.rcpt_tos))).encode())
            f.write(envelope.original_content)
        os.replace(out + ".part", out)
        return "250 2.0.0 kept"

def login(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and data.login == b"alice" and data.password == b"s3cret"
    return AuthResult(success=ok, handled=False)

context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
if mode == "implicit":
    controller = Controller(Keep(), hostname=address, port=port, ssl_context=context,
                            authenticator=login, auth_require_tls=False)
else:
    controller = Controller(Keep(), hostname=address, port=port, tls_context=context, require_starttls=True,
                            auth_require_tls=True, auth_required=True, authenticator=login)
controller.start()
try:
    while True:
        time.sleep(1)
finally:
    controller.stop()
)PY";

const char* const kSystemPython = "/usr/bin/python3";

} // namespace

bool AioSmtpdTls::start(Mode mode, const std::string& address, int port, const std::string& mailFile,
                        std::string* why)
{
    const TestCertificates* certs = TestCerts(why);
    if (!certs)
        return false;
    if (!QFile::exists(kSystemPython) || !DaemonProcess::Run(kSystemPython, {"-c", "import aiosmtpd"})) {
        *why = "aiosmtpd is not installed (Debian package python3-aiosmtpd)";
        return false;
    }
    m_script = mailFile + ".server.py";
    if (!writeFile(QString::fromStdString(m_script), kAioSmtpdTls)) {
        *why = "cannot write " + m_script;
        return false;
    }
    const bool started =
        m_daemon.start(kSystemPython,
                       {m_script, address, std::to_string(port), mailFile,
                        mode == Mode::Implicit ? "implicit" : "starttls", certs->valid, certs->keyFile},
                       {port}, 15000, address);
    if (!started)
        *why = "aiosmtpd did not start: " + m_daemon.output();
    return started;
}

// ---- the recording relay --------------------------------------------------------------------

RecordingRelay::RecordingRelay(const std::string& targetHost, int targetPort)
    : m_targetHost(targetHost), m_targetPort(targetPort)
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 4) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0) {
        m_done = true;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { relay(); });
}

RecordingRelay::~RecordingRelay()
{
    if (m_wake[1] >= 0) {
        const char stop = 's';
        [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &stop, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_listenFd, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void RecordingRelay::relay()
{
    int client = -1;
    int target = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto left = [&deadline] {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        return static_cast<int>(ms < 0 ? 0 : ms);
    };
    pollfd accept[2] = {{m_listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(accept, 2, left()) > 0 && (accept[0].revents & POLLIN))
        client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(m_targetPort));
        ::inet_pton(AF_INET, m_targetHost.c_str(), &address.sin_addr);
        target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (target >= 0 && ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(target);
            target = -1;
        }
    }
    char buffer[16384];
    while (client >= 0 && target >= 0 && left() > 0) {
        pollfd fds[3] = {{client, POLLIN, 0}, {target, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 3, left()) <= 0 || (fds[2].revents & POLLIN))
            break;
        bool ended = false;
        for (int side = 0; side < 2 && !ended; ++side) {
            if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[side].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ended = true;
                break;
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                (side == 0 ? m_fromClient : m_fromTarget).append(buffer, static_cast<std::size_t>(n));
            }
            const int to = side == 0 ? target : client;
            if (::send(to, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                ended = true;
        }
        if (ended)
            break;
    }
    for (int fd : {client, target}) {
        if (fd >= 0)
            ::close(fd);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_done = true;
    m_doneChanged.notify_all();
}

bool RecordingRelay::wait(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_doneChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_done; });
}

std::string RecordingRelay::fromClient() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fromClient;
}

std::string RecordingRelay::fromTarget() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fromTarget;
}
