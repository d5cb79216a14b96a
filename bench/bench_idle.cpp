// The monitoring service idle against the desktop program, in the same run: quorveld and the
// desktop program (offscreen) each run on an installation tree of their own whose database holds
// 1,000 services that are not due while they are measured (hourly, at a minute that is not near),
// so both only tick. After a settling time, each process's resident memory is read from /proc,
// and its CPU time over the measured minutes is extrapolated to one hour.
//
//   bench_idle [minutes]   measured minutes per program (default 3); the two run one after the
//                          other, each with its own database
//
// It needs a MariaDB server it may wipe: QUORVEL_BENCH_DB_PORT (and QUORVEL_BENCH_DB_HOST,
// default 127.0.0.1). The programs are taken from the build (<build>/src/quorveld and
// <build>/src/quorvel) or from QUORVEL_BENCH_QUORVELD and QUORVEL_BENCH_QUORVEL.
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kServices = 1000;
constexpr int kSettleSeconds = 20;

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// User and system CPU seconds of a process so far (/proc/PID/stat fields 14 and 15).
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name (field 2) may hold blanks; the fields after it start past its ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

// A fresh "quorvel" database with the services, made before each program's run.
bool prepareDatabase(const QString& host, int port)
{
    AppSettings.DBHost = host;
    AppSettings.DBPort = QString::number(port);
    AppSettings.DBUsername = QStringLiteral("root");
    AppSettings.DBPassword.clear();
    TDMQuorvel dm;
    if (!dm.ConnectDatabase(true))
        return false;
    QSqlQuery(dm.SQLConnection).exec(QStringLiteral("drop database if exists quorvel"));
    dm.CreateDatabaseAndTables();
    // Hourly at the minute half an hour away: none is due while the programs are measured.
    const int minute = (QDateTime::currentDateTime().time().minute() + 30) % 60;
    QString values;
    for (int i = 0; i < kServices; ++i)
        values += QStringLiteral("%1(\"Ping\",\"10.%2.%3.%4\",0,\"Hourly\",\"00\",\"%5\")")
                      .arg(i ? QStringLiteral(",") : QString())
                      .arg(i / 65536)
                      .arg((i / 256) % 256)
                      .arg(i % 256)
                      .arg(minute, 2, 10, QLatin1Char('0'));
    try {
        dm.ExecUpdate(QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_hour,"
                                     "schedule_minute) values ") +
                      values);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    return true;
}

// Lines of the tree's system logs that contain `part`.
int logLines(const QString& tree, const QString& part)
{
    int count = 0;
    const QDir logs(tree + QStringLiteral("/log"));
    for (const QString& name : logs.entryList({QStringLiteral("system_*.log")}, QDir::Files)) {
        QFile log(logs.filePath(name));
        if (log.open(QIODevice::ReadOnly))
            count += QString::fromUtf8(log.readAll()).count(part);
    }
    return count;
}

struct Sample
{
    long rssKiB = -1;
    double cpuPerHour = -1; // CPU seconds per hour
    QString why;
};

Sample measure(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               int minutes, const QString& tree, const QString& errors)
{
    Sample s;
    const QString scheduling = QStringLiteral("Service scheduling starts.");
    const int schedulingBefore = logLines(tree, scheduling);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(errors);
    // A benchmark that is stopped leaves no program behind.
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    child.start(program, arguments);
    if (!child.waitForStarted(10000)) {
        s.why = QStringLiteral("cannot start %1").arg(program);
        return s;
    }
    const qint64 pid = child.processId();
    // Start-up (database, tables, service list, first ticks) is not idling.
    if (child.waitForFinished(kSettleSeconds * 1000)) {
        s.why = QStringLiteral("%1 ended early (see %2)").arg(program, errors);
        return s;
    }
    // A program held by a message box or a failed start would be measured idle for nothing.
    if (logLines(tree, scheduling) <= schedulingBefore) {
        s.why = QStringLiteral("%1 did not start its scheduling (see %2/log)").arg(program, tree);
        child.kill();
        child.waitForFinished(5000);
        return s;
    }
    const double cpuFrom = cpuSeconds(pid);
    if (child.waitForFinished(minutes * 60 * 1000)) {
        s.why = QStringLiteral("%1 ended early (see %2)").arg(program, errors);
        return s;
    }
    const double cpuTo = cpuSeconds(pid);
    s.rssKiB = residentKiB(pid);
    s.cpuPerHour = (cpuTo - cpuFrom) * 60.0 / minutes;
    child.terminate();
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished(5000);
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int port = qEnvironmentVariableIntValue("QUORVEL_BENCH_DB_PORT");
    if (port <= 0) {
        std::fprintf(stderr, "set QUORVEL_BENCH_DB_PORT to a MariaDB server that may be wiped\n");
        return 2;
    }
    const int minutes = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    const QString host = qEnvironmentVariable("QUORVEL_BENCH_DB_HOST", QStringLiteral("127.0.0.1"));
    const QString build = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/");
    const QString daemon = qEnvironmentVariable("QUORVEL_BENCH_QUORVELD", build + QStringLiteral("quorveld"));
    const QString desktop = qEnvironmentVariable("QUORVEL_BENCH_QUORVEL", build + QStringLiteral("quorvel"));

    // One installation tree for both (each program in turn): settings, logs, and the pointer
    // to the tree the desktop program reads from its configuration folder.
    QTemporaryDir tree, config, runtime;
    QDir().mkpath(tree.path() + QStringLiteral("/conf"));
    QDir().mkpath(tree.path() + QStringLiteral("/help"));
    QDir().mkpath(config.path() + QStringLiteral("/tolvern"));
    QFile ini(tree.path() + QStringLiteral("/conf/SysInit.ini"));
    QFile pointer(config.path() + QStringLiteral("/tolvern/Quorvel.conf"));
    if (!ini.open(QIODevice::WriteOnly) || !pointer.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write the installation tree\n");
        return 1;
    }
    ini.write(
        QStringLiteral("[System]\r\nInitStart=1\r\n[Database]\r\nHost=%1\r\nPort=%2\r\nDBUsername=root\r\n"
                       "DBPassword=\r\n")
            .arg(host)
            .arg(port)
            .toUtf8());
    ini.close();
    // The desktop program stops at a message box when its help file is missing.
    QFile help(tree.path() + QStringLiteral("/help/Quorvel.html"));
    if (!help.open(QIODevice::WriteOnly) || help.write("<html></html>") < 0) {
        std::fprintf(stderr, "cannot write the installation tree\n");
        return 1;
    }
    help.close();
    pointer.write(QStringLiteral("[Settings]\r\nAppPath=%1\r\n").arg(tree.path()).toUtf8());
    pointer.close();
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    AppSettings.AppPath = tree.path();
    EnsureLogDir();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    std::printf("idle with %d services not due, %d s settling, then %d measured minutes each\n", kServices,
                kSettleSeconds, minutes);
    if (!prepareDatabase(host, port)) {
        std::fprintf(stderr, "cannot prepare the database\n");
        return 1;
    }
    const Sample d = measure(daemon, {QStringLiteral("--config"), ini.fileName()}, environment, minutes,
                             tree.path(), tree.path() + QStringLiteral("/quorveld.err"));
    if (!prepareDatabase(host, port)) {
        std::fprintf(stderr, "cannot prepare the database\n");
        return 1;
    }
    const Sample g =
        measure(desktop, {}, environment, minutes, tree.path(), tree.path() + QStringLiteral("/quorvel.err"));
    if (d.rssKiB < 0 || g.rssKiB < 0) {
        std::fprintf(stderr, "%s\n", qPrintable(d.rssKiB < 0 ? d.why : g.why));
        return 1;
    }
    std::printf("   quorveld:          %8ld KiB resident, %7.2f CPU s per hour\n", d.rssKiB, d.cpuPerHour);
    std::printf("   desktop program:   %8ld KiB resident, %7.2f CPU s per hour\n", g.rssKiB, g.cpuPerHour);
    std::printf("   memory ratio quorveld/desktop: %.2f (goal <= 0.60); CPU ratio %.2f\n",
                double(d.rssKiB) / double(g.rssKiB), g.cpuPerHour > 0 ? d.cpuPerHour / g.cpuPerHour : 0.0);
    return 0;
}
