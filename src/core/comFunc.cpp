#include "core/comFunc.h"

#include "core/IniFile.h"
#include "core/Notifier.h"
#include "core/SettingsFields.h"
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

    QStringList problems;
    LoadSettingFields(ini, s, &problems);
    if (!s.TlsCAFile.isEmpty() && QFileInfo(s.TlsCAFile).isRelative())
        s.TlsCAFile = QFileInfo(s.SettingsFilePath).absoluteDir().filePath(s.TlsCAFile);
    for (const QString& problem : problems)
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
        SaveSettingFields(ini, s);
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
