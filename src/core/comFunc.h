#pragma once

#include "core/AlarmRules.h"

#include <QString>

class QAbstractItemModel;

// The local settings of this workstation, read from and written to conf/SysInit.ini.
// [Results] KeepDays: its default and range.
constexpr int kResultsKeepDaysDefault = 31;
constexpr int kResultsKeepDaysMinimum = 1;
constexpr int kResultsKeepDaysMaximum = 3650;

struct AppSettingsRecord
{
    QString AppPath; // installation root
    // Where conf/, log/, the help and the pictures are, when not under AppPath: an installed copy
    // (see ResolveFolders). Empty means under AppPath, as in an installation tree.
    QString ConfigRoot;       // conf/ is created here
    QString StateRoot;        // log/ is created here
    QString LogFolder;        // the log folder itself when a service manager names one; else log/
    QString HelpFolder;       // holds Quorvel.html
    QString PictureFolder;    // holds tolvern.gif and Splash98.png
    bool FirstStart = false;  // SysInit.ini did not exist at load; not stored
    QString SettingsFilePath; // AppPath + "/conf/SysInit.ini"
    bool InitStart = false;
    int HTTPDefaultTimeout = 0;
    int PingDefaultTimeout = 0;
    int DBDefaultTimeout = 0;
    int FTPDefaultTimeout = 0;
    int EmailDefaultTimeout = 0;
    int TCPDefaultTimeout = 0;
    int DNSDefaultTimeout = 0;
    int CertDefaultTimeout = 0;
    int HTTPRetry = 0;
    int PingRetry = 0;
    int DBRetry = 0;
    int FTPRetry = 0;
    int EmailRetry = 0;
    int TCPRetry = 0;
    int DNSRetry = 0;
    int CertRetry = 0;
    QString DBHost;
    QString DBPort;
    QString DBUsername;
    QString DBPassword;
    int WindowWidth = 0;
    int WindowHeight = 0;
    bool ShowFunctionBar = false;
    bool ShowWindowAlarmLog = false;
    int ShowLogItem = 0;
    // [System] DesktopNotifications: a service that fails or recovers is told through the
    // desktop's notifications (off by default; the key is written once it was set or is on).
    bool DesktopNotifications = false;
    QString LogDir; // AppPath + "/log/"
    QString SystemLogFilename;
    int MinimumLogLevel = 0;
    int SystemLogHouseKeepDay = 0;
    bool AlarmMsgFileEnable = false;
    QString AlarmMsgFilePath;
    QString AlarmMsgFilename;
    int AlarmMsgFileHouseKeepDay = 0;
    bool AlarmMsgDBEnable = false;
    QString AlarmMsgDBType;
    int AlarmMsgDBHouseKeepDay = 0;
    // [tls], optional and never written: how the certificates of TLS servers are judged.
    QString TlsCAFile;          // CAFile: PEM file of extra trust anchors (relative: to the conf folder)
    bool TlsVerify = true;      // Verify: 0 accepts any certificate (still encrypted)
    int TlsExpiryWarnDays = 14; // ExpiryWarnDays: checks fail for a certificate ending that soon; 0 off
    AlarmRules Rules;           // [AlarmRules]
    // [Engine] Role: "Monitor" (default) checks the services itself; "Console" checks nothing,
    // raises no alarm and shows what the monitoring service writes to the database.
    bool ConsoleRole = false;
    // [Pool], optional and never written: how many checks and alarm deliveries run at once.
    int PoolMaxRunning = 200; // MaxRunning, 1 to 1000
    // [Engine], optional and never written: the name under which this monitor claims its checks
    // when several share one database. Empty: the host name and the settings file's path.
    QString EngineName; // Name
    // [Results] KeepDays: the days each check's result is kept (the daily summaries are kept
    // for ever).
    int ResultsKeepDays = kResultsKeepDaysDefault;
};

// The names of the roles, "Monitor" and "Console".
QString MonitorRoleName();
QString ConsoleRoleName();

// The range and default of [Pool] MaxRunning.
inline constexpr int kPoolMaxRunningDefault = 200;
inline constexpr int kPoolMaxRunningMinimum = 1;
inline constexpr int kPoolMaxRunningMaximum = 1000;

extern AppSettingsRecord AppSettings;

// The installation root from the per-user file $XDG_CONFIG_HOME/tolvern/Quorvel.conf,
// [Settings] AppPath, which the program only reads. Absent or empty gives ".." (the folder above
// the program's own); a file that cannot be read gives the empty text. A relative value is
// resolved against the folder that holds the executable.
QString ResolveAppPath(bool* setByUser = nullptr);

// Takes `appPath` as the installation root and decides where its folders are. An installation
// tree (the per-user file names the root, or the root is writable and not /usr or /usr/local) keeps conf/,
// log/, help/ and bin/ under it. An installed copy (/usr/bin/quorvel: no per-user root, the root not
// writable) keeps conf/ under $XDG_CONFIG_HOME/quorvel and log/ under $XDG_STATE_HOME/quorvel (the two
// created when missing; ~/.config and ~/.local/state when the variables are unset), and reads the help
// and the pictures from <root>/share/quorvel under a system prefix, from help/ and bin/ otherwise.
void ResolveFolders(const QString& appPath, bool setByUser);
// The file of a picture shipped with the program (tolvern.gif, Splash98.png).
QString PictureFile(const QString& name);

bool EnsureLogDir();
bool EnsureConfDir();
bool DriverLibraryPresent();
bool HelpFilePresent();
// The help file found by HelpFilePresent, or empty.
QString ApplicationHelpFile();

void LoadSettings();
// Writes every stored field; the window size is taken from WindowWidth and WindowHeight, which
// the caller sets from the main window's current size before saving. A failure is reported
// (ERR00203 warning and log line) and gives false; true means the file was written.
bool SaveSettings();

// Reports the state of the network (host name and its address); returns the dotted address of
// the local host, or empty when a problem was reported.
QString NetworkSelfCheck();
// The part of the self-check after the host name is known; separate so it can be exercised
// with a chosen name.
QString NetworkSelfCheckFor(const QByteArray& hostName);

// Called just before a row is inserted at the top of the alarm message list: removes the last
// row when the list holds more than ShowLogItem rows (at most one per call).
void TrimAlarmMessageList(QAbstractItemModel* list);
