// Start-up time and idle memory of Quorvel against a bare Qt window program, measured in the same
// run, reported as ratios.
//
//   bench_startup [runs]      needs the test database server (QUORVEL_TEST_DB_HOST/PORT) and a
//                             display or QT_QPA_PLATFORM=offscreen
//
// The program runs itself as child processes. "--bare" shows an empty 1024 x 768 main window;
// "--quorvel" runs the program entry (without the splash pause) on an installation tree whose
// database holds 1,000 services. Each child reports the milliseconds from its own start to its
// main window being shown, then fills its lists (the Quorvel child runs the cycle's start at once
// instead of 3 s later), idles for a second and reports its resident memory. The parent measures
// process start to "shown" on its own clock as well, so that loading the program counts.
#include "core/Notifier.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Application.h"
#include "gui/menu.h"
#include "monitor/MonitorEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const int kServices = 1000;

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void idle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void report(const char* what, long value)
{
    std::printf("%s %ld\n", what, value);
    std::fflush(stdout);
}

class SilentNotifier : public Notifier
{
public:
    void show(Kind, const QString& text) override { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
};

int runBare(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1024, 768);
    window.setWindowTitle(QStringLiteral("bare"));
    window.show();
    QTimer::singleShot(0, &window, [&] {
        report("shown", 0);
        idle(1000);
        report("rss", residentKilobytes());
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}

int runQuorvel(int argc, char** argv)
{
    QuorvelApplication app(argc, argv);
    SilentNotifier boxes;
    Notifier::install(&boxes);
    StartOptions options;
    options.splashPauseMs = 0;
    QTimer driver;
    driver.setSingleShot(true);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        TFormMenu* menu = FormMenu();
        if (!menu || !menu->isVisible()) {
            driver.start(1);
            return;
        }
        report("shown", 0);
        menu->Engine()->TimerInitTimer();
        idle(1000);
        report("rows", menu->Engine()->ServiceList()->rowCount());
        report("rss", residentKilobytes());
        menu->ActionCloseExecute();
    });
    driver.start(0);
    return RunQuorvel(options);
}

struct Sample
{
    double shownMs = -1;
    long rssKb = -1;
    long rows = -1;
};

Sample runChild(const QString& mode, const QProcessEnvironment& env)
{
    Sample s;
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {mode});
    if (!child.waitForStarted(10000))
        return s;
    QByteArray buffer;
    QElapsedTimer limit;
    limit.start();
    while (child.state() != QProcess::NotRunning && limit.elapsed() < 60000) {
        child.waitForReadyRead(100);
        buffer += child.readAllStandardOutput();
        if (s.shownMs < 0 && buffer.contains("shown"))
            s.shownMs = double(clock.nsecsElapsed()) / 1e6;
    }
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished(5000);
    }
    buffer += child.readAllStandardOutput();
    for (const QByteArray& line : buffer.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts[0] == "rss")
            s.rssKb = parts[1].toLong();
        if (parts.size() == 2 && parts[0] == "rows")
            s.rows = parts[1].toLong();
    }
    return s;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// An installation tree whose settings point at the test server, and a database of 1,000 stopped
// services (stopped, so the first scheduling pass probes nothing).
bool prepare(const QTemporaryDir& tree, const QTemporaryDir& config, const QTemporaryDir& runtime)
{
    const QByteArray host =
        qgetenv("QUORVEL_TEST_DB_HOST").isEmpty() ? "127.0.0.1" : qgetenv("QUORVEL_TEST_DB_HOST");
    const QByteArray port = qgetenv("QUORVEL_TEST_DB_PORT");
    QDir().mkpath(tree.path() + "/conf");
    QDir().mkpath(tree.path() + "/help");
    QDir().mkpath(config.path() + "/tolvern");
    QFile ini(tree.path() + "/conf/SysInit.ini");
    QFile pointer(config.path() + "/tolvern/Quorvel.conf");
    QFile help(tree.path() + "/help/Quorvel.html");
    if (!ini.open(QIODevice::WriteOnly) || !pointer.open(QIODevice::WriteOnly) ||
        !help.open(QIODevice::WriteOnly))
        return false;
    ini.write("[Database]\r\nHost=" + host + "\r\nPort=" + port + "\r\nDBUsername=root\r\nDBPassword=\r\n");
    pointer.write("[Settings]\r\nAppPath=" + tree.path().toLocal8Bit() + "\r\n");
    help.write("<html></html>");
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    AppSettings.AppPath = tree.path();
    if (!EnsureLogDir() || !EnsureConfDir())
        return false;
    AppSettings.DBHost = QString::fromLatin1(host);
    AppSettings.DBPort = QString::fromLatin1(port);
    AppSettings.DBUsername = QStringLiteral("root");
    TDMQuorvel dm;
    {
        if (!dm.ConnectDatabase(true))
            return false;
        QSqlQuery q(dm.SQLConnection);
        q.exec(QStringLiteral("drop database if exists quorvel"));
        dm.CreateDatabaseAndTables();
    }
    QString values;
    for (int i = 0; i < kServices; ++i) {
        values += QStringLiteral("%1(\"Ping\",\"10.%2.%3.%4\",0,\"Hourly\",\"00\",\"%5\",\"Stop\")")
                      .arg(i ? QStringLiteral(",") : QString())
                      .arg(i / 65536)
                      .arg((i / 256) % 256)
                      .arg(i % 256)
                      .arg(i % 60, 2, 10, QLatin1Char('0'));
    }
    try {
        dm.ExecUpdate(QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_hour,"
                                     "schedule_minute,status) values ") +
                      values);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--bare")
        return runBare(argc, argv);
    if (mode == "--quorvel")
        return runQuorvel(argc, argv);

    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT") <= 0) {
        std::fprintf(stderr, "QUORVEL_TEST_DB_PORT is not set\n");
        return 2;
    }
    const int runs = std::max(1, mode.toInt() > 0 ? mode.toInt() : 5);
    QTemporaryDir tree, config, runtime;
    if (!prepare(tree, config, runtime)) {
        std::fprintf(stderr, "cannot prepare the installation tree and database\n");
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) && !env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    std::vector<double> bareMs, quorvelMs, bareRss, quorvelRss;
    long rows = -1;
    for (int i = 0; i < runs; ++i) {
        const Sample b = runChild(QStringLiteral("--bare"), env);
        const Sample q = runChild(QStringLiteral("--quorvel"), env);
        if (b.shownMs < 0 || q.shownMs < 0 || b.rssKb < 0 || q.rssKb < 0) {
            std::fprintf(stderr, "a child did not report (bare %.1f ms, quorvel %.1f ms)\n", b.shownMs,
                         q.shownMs);
            return 1;
        }
        bareMs.push_back(b.shownMs);
        quorvelMs.push_back(q.shownMs);
        bareRss.push_back(double(b.rssKb));
        quorvelRss.push_back(double(q.rssKb));
        rows = q.rows;
    }
    std::printf("runs: %d, services listed: %ld\n", runs, rows);
    std::printf("start to main window shown: bare %.1f ms, quorvel %.1f ms, ratio %.2f\n", median(bareMs),
                median(quorvelMs), median(quorvelMs) / median(bareMs));
    std::printf("resident memory idle: bare %.0f KiB, quorvel %.0f KiB, ratio %.2f\n", median(bareRss),
                median(quorvelRss), median(quorvelRss) / median(bareRss));
    return 0;
}
