#include "core/comFunc.h"

#include "core/IniFile.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

AppSettingsRecord AppSettings;

namespace {

QString g_helpFile;

const QString kSystem = QStringLiteral("System");
const QString kHttp = QStringLiteral("http");
const QString kPing = QStringLiteral("ping");
const QString kDb = QStringLiteral("db");
const QString kFtp = QStringLiteral("ftp");
const QString kEmail = QStringLiteral("email");
const QString kTcp = QStringLiteral("tcp");
const QString kDns = QStringLiteral("dns");
const QString kCert = QStringLiteral("cert");
const QString kDatabase = QStringLiteral("Database");
const QString kSystemLog = QStringLiteral("System Log");
const QString kAlarmFile = QStringLiteral("Alarm Msg File Backup");
const QString kAlarmDb = QStringLiteral("Alarm Msg DB Backup");
const QString kTls = QStringLiteral("tls");
const QString kEngine = QStringLiteral("Engine");
const QString kRole = QStringLiteral("Role");
const QString kPool = QStringLiteral("Pool");
const QString kResults = QStringLiteral("Results");
const QString kKeepDays = QStringLiteral("KeepDays");
const QString kDesktopNotifications = QStringLiteral("DesktopNotifications");

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString rootOr(const QString& root)
{
    return root.isEmpty() ? AppSettings.AppPath : root;
}

// One directory level below `root`, created when missing.
bool ensureDir(const QString& root, const QString& relative, QString* path)
{
    const QString dir = root + relative;
    QFileInfo info(dir);
    if (!(info.exists() && info.isDir()) && !QDir().mkdir(dir))
        return false;
    *path = dir;
    return true;
}

int readInt(const IniFile& ini, const QString& section, const QString& key, int fallback)
{
    return IntegerOr(ini.value(section, key, QString::number(fallback)), fallback);
}

bool readBool(const IniFile& ini, const QString& section, const QString& key, bool fallback)
{
    return readInt(ini, section, key, fallback ? 1 : 0) != 0;
}

QString flag(bool b)
{
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

void reportWarning(const QString& text)
{
    ShowWarningBox(text);
    WriteSystemLog(text, LogLevel::WARMING);
}

} // namespace

QString ResolveAppPath(bool* setByUser)
{
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    IniFile ini;
    QString error;
    if (setByUser)
        *setByUser = false;
    if (!ini.load(configHome + QStringLiteral("/tolvern/Quorvel.conf"), &error))
        return QString();
    QString path = ini.value(QStringLiteral("Settings"), QStringLiteral("AppPath"), QString());
    if (setByUser)
        *setByUser = !path.isEmpty();
    if (path.isEmpty())
        path = QStringLiteral("..");
    if (QDir::isRelativePath(path))
        path = QDir::cleanPath(programFolder() + QLatin1Char('/') + path);
    return path;
}

void ResolveFolders(const QString& appPath, bool setByUser)
{
    AppSettingsRecord& s = AppSettings;
    s.AppPath = appPath;
    s.ConfigRoot.clear();
    s.StateRoot.clear();
    s.HelpFolder.clear();
    s.PictureFolder.clear();
    // The system's own prefixes count as installed even for root, who could write there.
    const QString clean = QDir::cleanPath(appPath);
    const bool systemPrefix = clean == QLatin1String("/usr") || clean == QLatin1String("/usr/local");
    const QFileInfo root(appPath);
    if (appPath.isEmpty() || setByUser || (!systemPrefix && root.isDir() && root.isWritable()))
        return;
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    s.ConfigRoot = configHome + QStringLiteral("/quorvel");
    s.StateRoot = stateHome + QStringLiteral("/quorvel");
    QDir().mkpath(s.ConfigRoot);
    QDir().mkpath(s.StateRoot);
    // The help and the pictures are where the install put them: share/quorvel under a system
    // prefix, help/ and bin/ in any other tree (one made read-only after its install, say).
    if (systemPrefix) {
        s.HelpFolder = clean + QStringLiteral("/share/quorvel/help");
        s.PictureFolder = clean + QStringLiteral("/share/quorvel");
    }
}

QString PictureFile(const QString& name)
{
    const AppSettingsRecord& s = AppSettings;
    return (s.PictureFolder.isEmpty() ? s.AppPath + QStringLiteral("/bin") : s.PictureFolder) +
           QLatin1Char('/') + name;
}

bool EnsureLogDir()
{
    if (!AppSettings.LogFolder.isEmpty()) {
        if (!QDir().mkpath(AppSettings.LogFolder))
            return false;
        AppSettings.LogDir = QDir(AppSettings.LogFolder).absolutePath() + QLatin1Char('/');
        return true;
    }
    return ensureDir(rootOr(AppSettings.StateRoot), QStringLiteral("/log/"), &AppSettings.LogDir);
}

bool EnsureConfDir()
{
    QString conf;
    if (!ensureDir(rootOr(AppSettings.ConfigRoot), QStringLiteral("/conf/"), &conf))
        return false;
    AppSettings.SettingsFilePath = conf + QStringLiteral("SysInit.ini");
    return true;
}

bool DriverLibraryPresent()
{
    return QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL"));
}

bool HelpFilePresent()
{
    const QString folder = AppSettings.HelpFolder.isEmpty() ? AppSettings.AppPath + QStringLiteral("/help")
                                                            : AppSettings.HelpFolder;
    const QString file = folder + QStringLiteral("/Quorvel.html");
    if (!QFileInfo(file).isFile())
        return false;
    g_helpFile = file;
    return true;
}

QString ApplicationHelpFile()
{
    return g_helpFile;
}

void LoadSettings()
{
    AppSettingsRecord& s = AppSettings;
    s.FirstStart = !QFileInfo::exists(s.SettingsFilePath);

    IniFile ini;
    QString error;
    if (!ini.load(s.SettingsFilePath, &error)) {
        // Nothing was read: every field keeps its previous value, and neither the fix-ups nor
        // the self-check run for this load.
        reportWarning(QString::fromLatin1(lang::ERR00203) + QStringLiteral(" : ") + error);
        return;
    }

    s.InitStart = readBool(ini, kSystem, QStringLiteral("InitStart"), true);
    s.HTTPDefaultTimeout = readInt(ini, kHttp, QStringLiteral("HTTPDefaultTimeout"), 10000);
    s.PingDefaultTimeout = readInt(ini, kPing, QStringLiteral("PingDefaultTimeout"), 10000);
    s.DBDefaultTimeout = readInt(ini, kDb, QStringLiteral("DBDefaultTimeout"), 10000);
    s.FTPDefaultTimeout = readInt(ini, kFtp, QStringLiteral("FTPDefaultTimeout"), 10000);
    s.EmailDefaultTimeout = readInt(ini, kEmail, QStringLiteral("EmailDefaultTimeout"), 10000);
    s.TCPDefaultTimeout = readInt(ini, kTcp, QStringLiteral("TCPDefaultTimeout"), 10000);
    s.DNSDefaultTimeout = readInt(ini, kDns, QStringLiteral("DNSDefaultTimeout"), 10000);
    s.CertDefaultTimeout = readInt(ini, kCert, QStringLiteral("CertDefaultTimeout"), 10000);
    s.HTTPRetry = readInt(ini, kHttp, QStringLiteral("HTTPRetry"), 0);
    s.PingRetry = readInt(ini, kPing, QStringLiteral("PingRetry"), 0);
    s.DBRetry = readInt(ini, kDb, QStringLiteral("DBRetry"), 0);
    s.FTPRetry = readInt(ini, kFtp, QStringLiteral("FTPRetry"), 0);
    s.EmailRetry = readInt(ini, kEmail, QStringLiteral("EmailRetry"), 0);
    s.TCPRetry = readInt(ini, kTcp, QStringLiteral("TCPRetry"), 0);
    s.DNSRetry = readInt(ini, kDns, QStringLiteral("DNSRetry"), 0);
    s.CertRetry = readInt(ini, kCert, QStringLiteral("CertRetry"), 0);
    s.WindowWidth = readInt(ini, kSystem, QStringLiteral("WindowWidth"), 1024);
    s.WindowHeight = readInt(ini, kSystem, QStringLiteral("WindowHeight"), 768);
    s.ShowFunctionBar = readBool(ini, kSystem, QStringLiteral("ShowFunctionBar"), true);
    s.ShowWindowAlarmLog = readBool(ini, kSystem, QStringLiteral("ShowWindowAlarmLog"), true);
    s.ShowLogItem = readInt(ini, kSystem, QStringLiteral("ShowLogItem"), 100);
    s.DesktopNotifications = readBool(ini, kSystem, kDesktopNotifications, false);

    s.DBHost = ini.value(kDatabase, QStringLiteral("Host"), QStringLiteral("localhost"));
    s.DBPort = ini.value(kDatabase, QStringLiteral("Port"), QStringLiteral("3306"));
    s.DBUsername = ini.value(kDatabase, QStringLiteral("DBUsername"), QStringLiteral("root"));
    s.DBPassword = ini.value(kDatabase, QStringLiteral("DBPassword"), QString());

    s.SystemLogFilename = ini.value(kSystemLog, QStringLiteral("Filename"), QStringLiteral("system_"));
    s.MinimumLogLevel = 0;
    s.SystemLogHouseKeepDay = readInt(ini, kSystemLog, QStringLiteral("HouseKeepDay"), 7);

    s.AlarmMsgFileEnable = readBool(ini, kAlarmFile, QStringLiteral("Enable"), true);
    s.AlarmMsgFilePath = ini.value(kAlarmFile, QStringLiteral("FilenamePath"), s.LogDir);
    s.AlarmMsgFilename = ini.value(kAlarmFile, QStringLiteral("Filename"), QStringLiteral("AlarmMsg_"));
    s.AlarmMsgFileHouseKeepDay = readInt(ini, kAlarmFile, QStringLiteral("HouseKeepDay"), 7);

    s.AlarmMsgDBEnable = readBool(ini, kAlarmDb, QStringLiteral("Enable"), true);
    s.AlarmMsgDBType = ini.value(kAlarmDb, QStringLiteral("Type"), QStringLiteral("MySQL"));
    s.AlarmMsgDBHouseKeepDay = readInt(ini, kAlarmDb, QStringLiteral("HouseKeepDay"), 7);

    // [tls] is read when present and never written: a file without it keeps its usual content.
    s.TlsCAFile = ini.value(kTls, QStringLiteral("CAFile"), QString());
    if (!s.TlsCAFile.isEmpty() && QFileInfo(s.TlsCAFile).isRelative())
        s.TlsCAFile = QFileInfo(s.SettingsFilePath).absoluteDir().filePath(s.TlsCAFile);
    s.TlsVerify = readBool(ini, kTls, QStringLiteral("Verify"), true);
    s.TlsExpiryWarnDays = readInt(ini, kTls, QStringLiteral("ExpiryWarnDays"), 14);

    if (s.WindowWidth < 0)
        s.WindowWidth = 1024;
    if (s.WindowHeight < 0)
        s.WindowHeight = 768;
    if (s.ShowLogItem < 0)
        s.ShowLogItem = 100;
    if (s.MinimumLogLevel < 0)
        s.MinimumLogLevel = 0;
    if (s.SystemLogHouseKeepDay <= 0)
        s.SystemLogHouseKeepDay = 7;
    if (s.TlsExpiryWarnDays < 0)
        s.TlsExpiryWarnDays = 14;
    for (int* timeout :
         {&s.HTTPDefaultTimeout, &s.PingDefaultTimeout, &s.DBDefaultTimeout, &s.FTPDefaultTimeout,
          &s.EmailDefaultTimeout, &s.TCPDefaultTimeout, &s.DNSDefaultTimeout, &s.CertDefaultTimeout}) {
        if (*timeout <= 0)
            *timeout = 10000;
    }
    for (int* retry : {&s.HTTPRetry, &s.PingRetry, &s.DBRetry, &s.FTPRetry, &s.EmailRetry, &s.TCPRetry,
                       &s.DNSRetry, &s.CertRetry}) {
        if (*retry < 0 || *retry > 1)
            *retry = 0;
    }
    // [Pool] MaxRunning: a value out of its range gives the default, with one warning line.
    s.PoolMaxRunning = kPoolMaxRunningDefault;
    if (ini.contains(kPool, QStringLiteral("MaxRunning"))) {
        const QString text = ini.value(kPool, QStringLiteral("MaxRunning"), QString());
        int value = 0;
        if (ParseInteger(text.trimmed(), &value) && value >= kPoolMaxRunningMinimum &&
            value <= kPoolMaxRunningMaximum)
            s.PoolMaxRunning = value;
        else
            WriteSystemLog(QStringLiteral("[%1] %2=%3 is not valid (%4 to %5); %6 is used.")
                               .arg(kPool, QStringLiteral("MaxRunning"), text)
                               .arg(kPoolMaxRunningMinimum)
                               .arg(kPoolMaxRunningMaximum)
                               .arg(kPoolMaxRunningDefault),
                           LogLevel::WARMING);
    }
    s.EngineName = ini.value(kEngine, QStringLiteral("Name"), QString()).trimmed();

    s.ResultsKeepDays = kResultsKeepDaysDefault;
    if (ini.contains(kResults, kKeepDays)) {
        const QString text = ini.value(kResults, kKeepDays, QString());
        int days = 0;
        if (ParseInteger(text.trimmed(), &days) && days >= kResultsKeepDaysMinimum &&
            days <= kResultsKeepDaysMaximum)
            s.ResultsKeepDays = days;
        else
            WriteSystemLog(QStringLiteral("[%1] %2=%3 is not valid (%4 to %5); %6 is used.")
                               .arg(kResults, kKeepDays, text)
                               .arg(kResultsKeepDaysMinimum)
                               .arg(kResultsKeepDaysMaximum)
                               .arg(kResultsKeepDaysDefault),
                           LogLevel::WARMING);
    }
    QStringList ruleProblems;
    s.Rules = ReadAlarmRules(ini, &ruleProblems);
    const QString role = ini.value(kEngine, kRole, MonitorRoleName()).trimmed();
    s.ConsoleRole = role.compare(ConsoleRoleName(), Qt::CaseInsensitive) == 0;
    if (!s.ConsoleRole && role.compare(MonitorRoleName(), Qt::CaseInsensitive) != 0)
        ruleProblems << QStringLiteral("[Engine] Role=%1 is not valid (Monitor or Console); Monitor is used.")
                            .arg(role);
    for (const QString& problem : ruleProblems)
        WriteSystemLog(problem, LogLevel::WARMING);

    NetworkSelfCheck();
}

QString MonitorRoleName()
{
    return QStringLiteral("Monitor");
}

QString ConsoleRoleName()
{
    return QStringLiteral("Console");
}

bool SaveSettings()
{
    const AppSettingsRecord& s = AppSettings;
    IniFile ini;
    QString error;
    bool ok = ini.load(s.SettingsFilePath, &error);
    if (ok) {
        ini.setValue(kSystem, QStringLiteral("InitStart"), flag(s.InitStart));
        ini.setValue(kSystem, QStringLiteral("WindowWidth"), QString::number(s.WindowWidth));
        ini.setValue(kSystem, QStringLiteral("WindowHeight"), QString::number(s.WindowHeight));
        ini.setValue(kSystem, QStringLiteral("ShowFunctionBar"), flag(s.ShowFunctionBar));
        ini.setValue(kSystem, QStringLiteral("ShowWindowAlarmLog"), flag(s.ShowWindowAlarmLog));
        ini.setValue(kSystem, QStringLiteral("ShowLogItem"), QString::number(s.ShowLogItem));
        // A file that never had the key keeps its usual content while notifications stay off.
        if (s.DesktopNotifications || ini.contains(kSystem, kDesktopNotifications))
            ini.setValue(kSystem, kDesktopNotifications, flag(s.DesktopNotifications));
        ini.setValue(kHttp, QStringLiteral("HTTPDefaultTimeout"), QString::number(s.HTTPDefaultTimeout));
        ini.setValue(kPing, QStringLiteral("PingDefaultTimeout"), QString::number(s.PingDefaultTimeout));
        ini.setValue(kDb, QStringLiteral("DBDefaultTimeout"), QString::number(s.DBDefaultTimeout));
        ini.setValue(kFtp, QStringLiteral("FTPDefaultTimeout"), QString::number(s.FTPDefaultTimeout));
        ini.setValue(kEmail, QStringLiteral("EmailDefaultTimeout"), QString::number(s.EmailDefaultTimeout));
        ini.setValue(kTcp, QStringLiteral("TCPDefaultTimeout"), QString::number(s.TCPDefaultTimeout));
        ini.setValue(kDns, QStringLiteral("DNSDefaultTimeout"), QString::number(s.DNSDefaultTimeout));
        ini.setValue(kCert, QStringLiteral("CertDefaultTimeout"), QString::number(s.CertDefaultTimeout));
        ini.setValue(kHttp, QStringLiteral("HTTPRetry"), QString::number(s.HTTPRetry));
        ini.setValue(kPing, QStringLiteral("PingRetry"), QString::number(s.PingRetry));
        ini.setValue(kDb, QStringLiteral("DBRetry"), QString::number(s.DBRetry));
        ini.setValue(kFtp, QStringLiteral("FTPRetry"), QString::number(s.FTPRetry));
        ini.setValue(kEmail, QStringLiteral("EmailRetry"), QString::number(s.EmailRetry));
        ini.setValue(kTcp, QStringLiteral("TCPRetry"), QString::number(s.TCPRetry));
        ini.setValue(kDns, QStringLiteral("DNSRetry"), QString::number(s.DNSRetry));
        ini.setValue(kCert, QStringLiteral("CertRetry"), QString::number(s.CertRetry));
        ini.setValue(kDatabase, QStringLiteral("Host"), s.DBHost);
        ini.setValue(kDatabase, QStringLiteral("Port"), s.DBPort);
        ini.setValue(kDatabase, QStringLiteral("DBUsername"), s.DBUsername);
        ini.setValue(kDatabase, QStringLiteral("DBPassword"), s.DBPassword);
        ini.setValue(kSystemLog, QStringLiteral("HouseKeepDay"), QString::number(s.SystemLogHouseKeepDay));
        ini.setValue(kSystemLog, QStringLiteral("Filename"), s.SystemLogFilename);
        ini.setValue(kAlarmFile, QStringLiteral("Enable"), flag(s.AlarmMsgFileEnable));
        ini.setValue(kAlarmFile, QStringLiteral("FilenamePath"), s.AlarmMsgFilePath);
        ini.setValue(kAlarmFile, QStringLiteral("Filename"), s.AlarmMsgFilename);
        ini.setValue(kAlarmFile, QStringLiteral("HouseKeepDay"), QString::number(s.AlarmMsgFileHouseKeepDay));
        ini.setValue(kAlarmDb, QStringLiteral("Enable"), flag(s.AlarmMsgDBEnable));
        ini.setValue(kAlarmDb, QStringLiteral("Type"), s.AlarmMsgDBType);
        ini.setValue(kAlarmDb, QStringLiteral("HouseKeepDay"), QString::number(s.AlarmMsgDBHouseKeepDay));
        WriteAlarmRules(ini, s.Rules);
        // The role is written once it was ever set: a file of a monitoring desktop stays as it was.
        if (s.ConsoleRole || ini.contains(kEngine, kRole))
            ini.setValue(kEngine, kRole, s.ConsoleRole ? ConsoleRoleName() : MonitorRoleName());
        // Written once it differs from its default or the file has it, so that an untouched file
        // keeps its usual content.
        if (s.ResultsKeepDays != kResultsKeepDaysDefault || ini.contains(kResults, kKeepDays))
            ini.setValue(kResults, kKeepDays, QString::number(s.ResultsKeepDays));
        ok = ini.save(s.SettingsFilePath, &error);
    }
    if (!ok)
        reportWarning(QString::fromLatin1(lang::ERR00203) + QStringLiteral(" : ") + error);
    return ok;
}

QString NetworkSelfCheck()
{
    char name[101] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) {
        const int code = errno;
        const char* message = code == EINPROGRESS ? lang::ERR00304
                              : code == ENETDOWN  ? lang::ERR00303
                                                  : nullptr;
        if (message)
            reportWarning(QString::fromLatin1(message));
        return QString();
    }
    return NetworkSelfCheckFor(QByteArray(name));
}

QString NetworkSelfCheckFor(const QByteArray& hostName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(hostName.constData(), nullptr, &hints, &result);
    if (rc != 0 || !result) {
        const QString why = rc == EAI_SYSTEM ? QString::fromLocal8Bit(strerror(errno))
                                             : QString::fromLocal8Bit(gai_strerror(rc));
        reportWarning(QString::fromLatin1(lang::ERR00305) + QStringLiteral(" : ") + why);
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
    freeaddrinfo(result);
    return QString::fromLatin1(text);
}

void TrimAlarmMessageList(QAbstractItemModel* list)
{
    if (list && list->rowCount() > AppSettings.ShowLogItem)
        list->removeRow(list->rowCount() - 1);
}
