#include "support/TlsTestKit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <memory>
#include <mutex>
#include <netinet/in.h>
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
