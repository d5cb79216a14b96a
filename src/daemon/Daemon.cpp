#include "daemon/Daemon.h"

#include "core/AlarmRules.h"
#include "core/IniFile.h"
#include "core/Limits.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "daemon/DaemonNotifier.h"
#include "daemon/InstanceLock.h"
#include "daemon/ServiceManager.h"
#include "database/AlarmMethodLoader.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// ---- command line ----------------------------------------------------------------------------

const char* const kHelp =
    "Usage: quorveld [--config FILE] [--check-config]\n"
    "       quorveld --help | --version\n"
    "\n"
    "Runs the Quorvel monitoring cycle without a window, as a system service or in the foreground: checks "
    "the services registered in the database when they are due, stores their results, writes the logs and "
    "raises the alarms, as the desktop program does while its window is open.\n"
    "\n"
    "Options:\n"
    "  --config FILE   the settings file (default: conf/SysInit.ini of the installation, found as\n"
    "                  the desktop program finds it)\n"
    "  --check-config  check the settings file and the database connection, print what is wrong\n"
    "                  and end\n"
    "  --help          print this help and end\n"
    "  --version       print the name and version and end\n"
    "\n"
    "SIGTERM and SIGINT stop it once the running checks have ended and their results are stored; SIGHUP "
    "reads the settings file and the alarm-method settings again, keeping the schedule (the database "
    "connection's settings take effect at the next start). A second quorveld "
    "with the same settings file is refused. The logs go to the log folder beside the settings file's "
    "folder, or to $LOGS_DIRECTORY when it is set.\n"
    "\n"
    "Exit status: 0 stopped by a signal or settings correct, 1 error (another quorveld runs with the same "
    "settings file, the settings file or log folder is unusable, --check-config found a problem), 2 usage "
    "error.\n";

// ---- signals into the event loop -----------------------------------------------------------------

int g_signalPair[2] = {-1, -1};

void forwardSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    const ssize_t written = ::write(g_signalPair[0], &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

// Routes SIGTERM, SIGINT and SIGHUP through a socket pair, so they are handled by the event loop
// like any other input; `handler` gets the signal's number.
bool installSignals(QObject* owner, std::function<void(int)> handler)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPair) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_signalPair[1], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [handler = std::move(handler)] {
        char buffer[16];
        ssize_t n;
        while ((n = ::read(g_signalPair[1], buffer, sizeof(buffer))) > 0) {
            for (ssize_t i = 0; i < n; ++i)
                handler(buffer[i]);
        }
    });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(number, &action, nullptr);
    return true;
}

// ---- folders ---------------------------------------------------------------------------------

void printError(const QString& text)
{
    std::fprintf(stderr, "quorveld: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Decides the settings file and the log folder. An explicit file keeps its logs in the log folder
// beside its own folder (<root>/conf/SysInit.ini logs into <root>/log/), as an installation tree
// has them; $LOGS_DIRECTORY (set by systemd's LogsDirectory=) takes precedence.
bool resolveFolders(const DaemonOptions& options, QString* error)
{
    if (options.configFile.isEmpty()) {
        bool setByUser = false;
        const QString appPath = ResolveAppPath(&setByUser);
        if (appPath.isEmpty()) {
            *error = QStringLiteral("the per-user file tolvern/Quorvel.conf cannot be read");
            return false;
        }
        ResolveFolders(appPath, setByUser);
        if (!EnsureConfDir()) {
            *error = QString::fromLatin1(lang::ERR00204);
            return false;
        }
    } else {
        const QFileInfo file(options.configFile);
        const QString folder = file.absolutePath();
        AppSettings.AppPath = QFileInfo(folder).absolutePath();
        AppSettings.ConfigRoot.clear();
        AppSettings.StateRoot.clear();
        AppSettings.SettingsFilePath = file.absoluteFilePath();
    }
    // systemd may give several folders separated by colons; the first is ours.
    const QString logs = qEnvironmentVariable("LOGS_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    AppSettings.LogFolder = logs;

    const QFileInfo settings(AppSettings.SettingsFilePath);
    if (!settings.exists()) {
        *error = AppSettings.SettingsFilePath + QStringLiteral(": no such settings file");
        return false;
    }
    if (!settings.isFile() || !settings.isReadable()) {
        *error = AppSettings.SettingsFilePath + QStringLiteral(": not a readable file");
        return false;
    }
    return true;
}

// ---- --check-config --------------------------------------------------------------------------

struct NumberRule
{
    const char* section;
    const char* key;
    int minimum;
    int maximum;
};

const NumberRule kNumberRules[] = {
    {"System", "InitStart", 0, 1},
    {"System", "ShowLogItem", 0, 1000000},
    {"Database", "Port", 1, limits::PortMax},
    {"http", "HTTPDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"ping", "PingDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"db", "DBDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"ftp", "FTPDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"email", "EmailDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"tcp", "TCPDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"dns", "DNSDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"cert", "CertDefaultTimeout", 1, limits::LongestTimeoutMs},
    {"http", "HTTPRetry", 0, 1},
    {"ping", "PingRetry", 0, 1},
    {"db", "DBRetry", 0, 1},
    {"ftp", "FTPRetry", 0, 1},
    {"email", "EmailRetry", 0, 1},
    {"tcp", "TCPRetry", 0, 1},
    {"dns", "DNSRetry", 0, 1},
    {"cert", "CertRetry", 0, 1},
    {"System Log", "HouseKeepDay", 1, 100000},
    {"Alarm Msg File Backup", "Enable", 0, 1},
    {"Alarm Msg File Backup", "HouseKeepDay", 1, 100000},
    {"Alarm Msg DB Backup", "Enable", 0, 1},
    {"Alarm Msg DB Backup", "HouseKeepDay", 1, 100000},
    {"tls", "Verify", 0, 1},
    {"tls", "ExpiryWarnDays", 0, 100000},
    {"Pool", "MaxRunning", 1, 1000},
    {"Results", "KeepDays", kResultsKeepDaysMinimum, kResultsKeepDaysMaximum},
};

// Every problem of the settings file's values, one text each.
QStringList settingsProblems(const IniFile& ini)
{
    QStringList problems;
    for (const NumberRule& rule : kNumberRules) {
        const QString section = QString::fromLatin1(rule.section);
        const QString key = QString::fromLatin1(rule.key);
        if (!ini.contains(section, key))
            continue;
        const QString value = ini.value(section, key, QString());
        int number = 0;
        if (!ParseInteger(value, &number) || number < rule.minimum || number > rule.maximum)
            problems << QStringLiteral("[%1] %2 = \"%3\": not a whole number from %4 to %5")
                            .arg(section, key, value)
                            .arg(rule.minimum)
                            .arg(rule.maximum);
    }
    // [AlarmRules] is judged by its own table of keys, as the program reads it.
    ReadAlarmRules(ini, &problems);
    if (ini.contains(QStringLiteral("Database"), QStringLiteral("Host")) &&
        DatabaseHosts(ini.value(QStringLiteral("Database"), QStringLiteral("Host"), QString())).isEmpty())
        problems << QStringLiteral("[Database] Host is empty");
    return problems;
}

// The database server answers with the settings' login; a missing quorvel database is no problem
// (the first start creates it) but is said.
QString databaseProblem(QString* note)
{
    const QString name = QStringLiteral("quorveld-check-config");
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
        const DatabaseLogin login = CurrentDatabaseLogin();
        QString error;
        QString host;
        if (!OpenDatabaseSession(db, login, QStringLiteral("mysql"), &error, &host)) {
            problem = QStringLiteral("the database server at %1 port %2 (user %3) cannot be reached: %4")
                          .arg(login.host)
                          .arg(login.port)
                          .arg(login.username, error);
        } else {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("show databases like \"quorvel\"")) && !query.next())
                *note = QStringLiteral("the database quorvel does not exist yet on %1; it is created at the "
                                       "first start")
                            .arg(host);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

int checkConfig()
{
    const QString file = AppSettings.SettingsFilePath;
    QStringList problems;
    IniFile ini;
    QString error;
    if (!ini.load(file, &error)) {
        printError(file + QStringLiteral(": ") + error);
        return ExitFailure;
    }
    problems << settingsProblems(ini);
    // The log folder is not checked: the service's may not exist before its first start.
    LoadSettings();
    if (!AppSettings.TlsCAFile.isEmpty() && !QFileInfo(AppSettings.TlsCAFile).isReadable())
        problems << QStringLiteral("[tls] CAFile %1 cannot be read").arg(AppSettings.TlsCAFile);
    QString note;
    if (!DriverLibraryPresent())
        problems << QString::fromLatin1(lang::ERR00103);
    else if (IsInteger(AppSettings.DBPort)) {
        const QString problem = databaseProblem(&note);
        if (!problem.isEmpty())
            problems << problem;
    }
    for (const QString& problem : problems)
        printError(file + QStringLiteral(": ") + problem);
    if (!problems.isEmpty())
        return ExitFailure;
    if (!note.isEmpty())
        std::printf("quorveld: %s: %s\n", file.toLocal8Bit().constData(), note.toLocal8Bit().constData());
    std::printf("quorveld: %s: settings and database connection are correct\n",
                file.toLocal8Bit().constData());
    return ExitOk;
}

// ---- the service -----------------------------------------------------------------------------

// The engine and what the service adds around it: signals, the service manager, the way out.
class ServiceRun : public QObject
{
public:
    int run()
    {
        m_manager.startWatchdog();
        if (!installSignals(this, [this](int number) { onSignal(number); })) {
            ShowErrorBox(QStringLiteral("the signal handlers cannot be installed"));
            return ExitFailure;
        }
        // The engine asks to quit when it cannot go on (a log that cannot be written, a schema
        // statement that failed): the service stops as after SIGTERM, but reports a failure.
        std::function<void()> previousHook = SetQuitHook([this] {
            QMetaObject::invokeMethod(
                this, [this] { stop(ExitFailure); }, Qt::QueuedConnection);
        });

        LoadSettings();
        MonitorEngine engine;
        m_engine = &engine;
        engine.SetUnattended(true);
        // Several services may share the database: each checks the due services it claims.
        engine.SetSharedScheduling(MonitorEngine::DefaultInstanceName(), QStringLiteral(QUORVEL_VERSION));
        if (const int tick = TickIntervalFromEnvironment())
            engine.SetTickInterval(tick);
        connect(&engine, &MonitorEngine::cycleStarted, this, [this] {
            if (!m_ready) {
                m_ready = true;
                m_manager.ready();
            }
        });
        engine.StartUp();

        const int code = QCoreApplication::exec();
        engine.DestroyPool();
        WriteSystemLog(QString::fromLatin1(lang::ApplicationStops), LogLevel::INFORMATIONAL);
        m_engine = nullptr;
        SetQuitHook(std::move(previousHook));
        return code;
    }

private:
    void onSignal(int number)
    {
        if (number == SIGHUP)
            reload();
        else
            stop(ExitOk);
    }

    // Scheduling stops after the running checks have come back and their results are stored
    // (bounded by the longest time-out); then the event loop ends.
    void stop(int code)
    {
        if (m_stopping)
            return;
        m_stopping = true;
        m_manager.stopping();
        if (m_engine)
            m_engine->ShutDown();
        QCoreApplication::exit(code);
    }

    // The settings file and the alarm-method settings are read again; the timers run on, so no
    // scheduled check is dropped, and the next checks are built with the new values.
    void reload()
    {
        if (m_stopping)
            return;
        m_manager.reloading();
        const DatabaseLogin before = CurrentDatabaseLogin();
        LoadSettings();
        // The connection stays as it is: a new server or login is used from the next start.
        if (CurrentDatabaseLogin() != before)
            WriteSystemLog(
                QStringLiteral("The database settings have changed; they are used from the next start"),
                LogLevel::WARMING);
        if (m_engine && !m_engine->DatabaseLost()) {
            try {
                LoadAlarmMethods();
            } catch (const std::exception& e) {
                WriteSystemLog(QStringLiteral("Reading the alarm-method settings again : ") +
                                   QString::fromUtf8(e.what()),
                               LogLevel::ERROR);
            }
        }
        WriteSystemLog(QStringLiteral("Settings read again from ") + AppSettings.SettingsFilePath,
                       LogLevel::INFORMATIONAL);
        m_manager.ready();
    }

    ServiceManager m_manager;
    MonitorEngine* m_engine = nullptr;
    bool m_ready = false;
    bool m_stopping = false;
};

} // namespace

DaemonOptions ParseDaemonOptions(const QStringList& arguments)
{
    DaemonOptions options;
    auto usage = [&options](const QString& text) {
        options.action = DaemonOptions::Action::UsageError;
        options.error = text;
        return options;
    };
    bool check = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.action = DaemonOptions::Action::Help;
            return options;
        }
        if (argument == QLatin1String("--version")) {
            options.action = DaemonOptions::Action::Version;
            return options;
        }
        if (argument == QLatin1String("--check-config")) {
            check = true;
        } else if (argument == QLatin1String("--config")) {
            if (i + 1 >= arguments.size())
                return usage(QStringLiteral("option '--config' needs a file"));
            options.configFile = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--config="))) {
            options.configFile = argument.mid(9);
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return usage(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            return usage(QStringLiteral("unexpected argument '%1'").arg(argument));
        }
        if (argument.startsWith(QLatin1String("--config")) && options.configFile.isEmpty())
            return usage(QStringLiteral("option '--config' needs a file"));
    }
    options.action = check ? DaemonOptions::Action::CheckConfig : DaemonOptions::Action::Run;
    return options;
}

QString DaemonHelpText()
{
    return QString::fromLatin1(kHelp);
}

QString DaemonVersionText()
{
    return QStringLiteral("quorveld " QUORVEL_VERSION "\n");
}

int TickIntervalFromEnvironment()
{
    bool ok = false;
    const int ms = qEnvironmentVariable(kTickVariable).toInt(&ok);
    return ok && ms >= 100 && ms <= 60000 ? ms : 0;
}

int RunDaemon(const DaemonOptions& options)
{
    QString error;
    if (!resolveFolders(options, &error)) {
        printError(error);
        return ExitFailure;
    }
    if (options.action == DaemonOptions::Action::CheckConfig)
        return checkConfig();

    DaemonNotifier notifier;
    Notifier* previous = Notifier::install(&notifier);
    int code = ExitFailure;
    InstanceLock lock;
    if (!lock.acquire(AppSettings.SettingsFilePath, &error)) {
        ShowErrorBox(error);
    } else if (!EnsureLogDir()) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00205) + QStringLiteral(" : ") +
                     (AppSettings.LogFolder.isEmpty() ? AppSettings.AppPath + QStringLiteral("/log")
                                                      : AppSettings.LogFolder));
    } else if (!DriverLibraryPresent()) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00103));
        WriteSystemLog(QString::fromLatin1(lang::ERR00103), LogLevel::ERROR);
    } else {
        TDMQuorvel dataModule;
        ServiceRun service;
        code = service.run();
    }
    Notifier::install(previous);
    return code;
}
