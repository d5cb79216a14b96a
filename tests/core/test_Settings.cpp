#include "core/Clock.h"
#include "core/IniFile.h"
#include "core/comFunc.h"
#include "support/QtPrinters.h"
#include "support/Recorders.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringListModel>

#include <functional>
#include <iostream>

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppSettings = AppSettingsRecord();
        AppSettings.AppPath = tree.path();
    }
    void TearDown() override { SetClockSource({}); }

    void prepareDirs()
    {
        ASSERT_TRUE(EnsureLogDir());
        ASSERT_TRUE(EnsureConfDir());
    }

    QByteArray defaultsFile() const
    {
        return "[System]\r\nInitStart=1\r\nWindowWidth=1024\r\nWindowHeight=768\r\nShowFunctionBar=1\r\n"
               "ShowWindowAlarmLog=1\r\nShowLogItem=100\r\n"
               "[http]\r\nHTTPDefaultTimeout=10000\r\nHTTPRetry=0\r\n"
               "[ping]\r\nPingDefaultTimeout=10000\r\nPingRetry=0\r\n"
               "[db]\r\nDBDefaultTimeout=10000\r\nDBRetry=0\r\n"
               "[ftp]\r\nFTPDefaultTimeout=10000\r\nFTPRetry=0\r\n"
               "[email]\r\nEmailDefaultTimeout=10000\r\nEmailRetry=0\r\n"
               "[tcp]\r\nTCPDefaultTimeout=10000\r\nTCPRetry=0\r\n"
               "[dns]\r\nDNSDefaultTimeout=10000\r\nDNSRetry=0\r\n"
               "[cert]\r\nCertDefaultTimeout=10000\r\nCertRetry=0\r\n"
               "[Database]\r\nHost=localhost\r\nPort=3306\r\nDBUsername=root\r\nDBPassword=\r\n"
               "[System Log]\r\nHouseKeepDay=7\r\nFilename=system_\r\n"
               "[Alarm Msg File Backup]\r\nEnable=1\r\nFilenamePath=" +
               tree.path().toUtf8() +
               "/log/\r\nFilename=AlarmMsg_\r\nHouseKeepDay=7\r\n"
               "[Alarm Msg DB Backup]\r\nEnable=1\r\nType=MySQL\r\nHouseKeepDay=7\r\n";
    }

    TempTree tree;
    RecordingNotifier boxes;
    QuitRecorder quit;
};

TEST_F(SettingsTest, FreshInstallationCreatesDirectoriesAndWritesTheDefaultFile)
{
    ASSERT_FALSE(QDir(tree.file("log")).exists());
    prepareDirs();
    EXPECT_TRUE(QDir(tree.file("log")).exists());
    EXPECT_TRUE(QDir(tree.file("conf")).exists());
    EXPECT_EQ(AppSettings.LogDir, tree.path() + "/log/");
    EXPECT_EQ(AppSettings.SettingsFilePath, tree.path() + "/conf/SysInit.ini");

    LoadSettings();
    EXPECT_TRUE(AppSettings.FirstStart);
    EXPECT_TRUE(AppSettings.InitStart);
    EXPECT_EQ(AppSettings.HTTPDefaultTimeout, 10000);
    EXPECT_EQ(AppSettings.DBHost, "localhost");
    EXPECT_EQ(AppSettings.DBPort, "3306");
    EXPECT_EQ(AppSettings.AlarmMsgFilePath, AppSettings.LogDir);
    EXPECT_FALSE(boxes.texts().join(' ').contains("ERR002"));

    SaveSettings();
    EXPECT_EQ(tree.read("conf/SysInit.ini"), defaultsFile());
    // The file holds the database password: owner only.
    EXPECT_EQ(QFile::permissions(AppSettings.SettingsFilePath) &
                  ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
              QFile::Permissions());

    LoadSettings();
    EXPECT_FALSE(AppSettings.FirstStart);
}

TEST_F(SettingsTest, HandEditedFileKeepsItsOtherLinesAndReplacesValuesInPlace)
{
    prepareDirs();
    tree.write("conf/SysInit.ini", "; written by hand\r\n"
                                   "[Database]\r\n"
                                   "Host=db.example\r\n"
                                   "Comment=keep me\r\n"
                                   "\r\n"
                                   "[Extra]\r\n"
                                   "Unknown=1\r\n");
    LoadSettings();
    EXPECT_FALSE(AppSettings.FirstStart);
    EXPECT_EQ(AppSettings.DBHost, "db.example");
    AppSettings.DBHost = "db2.example";
    AppSettings.DBPassword = "se\ncret"; // a line break must not split the value into two lines
    SaveSettings();

    const QByteArray saved = tree.read("conf/SysInit.ini");
    EXPECT_TRUE(
        saved.startsWith("; written by hand\r\n[Database]\r\nHost=db2.example\r\nComment=keep me\r\n"
                         "Port=3306\r\nDBUsername=root\r\nDBPassword=secret\r\n\r\n[Extra]\r\nUnknown=1\r\n"
                         "[System]\r\nInitStart=1\r\n"))
        << saved.toStdString();
    EXPECT_TRUE(saved.endsWith("[Alarm Msg DB Backup]\r\nEnable=1\r\nType=MySQL\r\nHouseKeepDay=7\r\n"));
    EXPECT_EQ(saved.count("Host="), 1);
}

TEST_F(SettingsTest, TlsSectionIsReadWhenPresentAndNeverWritten)
{
    prepareDirs();
    LoadSettings();
    EXPECT_EQ(AppSettings.TlsCAFile, "");
    EXPECT_TRUE(AppSettings.TlsVerify);
    EXPECT_EQ(AppSettings.TlsExpiryWarnDays, 14);

    const QByteArray tls = "[tls]\r\nCAFile=certs/internal-ca.pem\r\nVerify=0\r\nExpiryWarnDays=30\r\n";
    tree.write("conf/SysInit.ini", "[System]\r\nInitStart=1\r\n" + tls);
    LoadSettings();
    // A relative CAFile is taken from the folder of SysInit.ini.
    EXPECT_EQ(AppSettings.TlsCAFile, tree.path() + "/conf/certs/internal-ca.pem");
    EXPECT_FALSE(AppSettings.TlsVerify);
    EXPECT_EQ(AppSettings.TlsExpiryWarnDays, 30);

    // The writer keeps the section as it was, whatever the record holds now.
    AppSettings.TlsVerify = true;
    AppSettings.TlsExpiryWarnDays = 1;
    SaveSettings();
    const QByteArray saved = tree.read("conf/SysInit.ini");
    EXPECT_EQ(saved.count("[tls]"), 1);
    EXPECT_TRUE(saved.contains(tls)) << saved.toStdString();

    tree.write("conf/SysInit.ini", "[tls]\r\nCAFile=/etc/quorvel/ca.pem\r\n");
    LoadSettings();
    EXPECT_EQ(AppSettings.TlsCAFile, "/etc/quorvel/ca.pem");
    EXPECT_TRUE(AppSettings.TlsVerify);
    EXPECT_EQ(AppSettings.TlsExpiryWarnDays, 14);
}

struct FixUpCase
{
    const char* section;
    const char* key;
    const char* text;
    std::function<int()> field;
    int expected;
};

TEST_F(SettingsTest, FixUpsAndNonNumericValues)
{
    prepareDirs();
    const FixUpCase cases[] = {
        {"System", "WindowWidth", "-5", [] { return AppSettings.WindowWidth; }, 1024},
        {"System", "WindowWidth", "0", [] { return AppSettings.WindowWidth; }, 0},
        {"System", "WindowHeight", "-1", [] { return AppSettings.WindowHeight; }, 768},
        {"System", "ShowLogItem", "-3", [] { return AppSettings.ShowLogItem; }, 100},
        {"System", "ShowLogItem", "abc", [] { return AppSettings.ShowLogItem; }, 100},
        {"System Log", "HouseKeepDay", "0", [] { return AppSettings.SystemLogHouseKeepDay; }, 7},
        {"Alarm Msg File Backup", "HouseKeepDay", "0", [] { return AppSettings.AlarmMsgFileHouseKeepDay; },
         0},
        {"Alarm Msg DB Backup", "HouseKeepDay", "-2", [] { return AppSettings.AlarmMsgDBHouseKeepDay; }, -2},
        {"http", "HTTPRetry", "2", [] { return AppSettings.HTTPRetry; }, 0},
        {"email", "EmailRetry", "1", [] { return AppSettings.EmailRetry; }, 1},
        {"ping", "PingDefaultTimeout", "0", [] { return AppSettings.PingDefaultTimeout; }, 10000},
        {"ftp", "FTPDefaultTimeout", "2500", [] { return AppSettings.FTPDefaultTimeout; }, 2500},
        {"ftp", "FTPDefaultTimeout", "25 00", [] { return AppSettings.FTPDefaultTimeout; }, 10000},
        {"db", "DBDefaultTimeout", "$10", [] { return AppSettings.DBDefaultTimeout; }, 16},
        {"tcp", "TCPRetry", "1", [] { return AppSettings.TCPRetry; }, 1},
        {"tcp", "TCPRetry", "2", [] { return AppSettings.TCPRetry; }, 0},
        {"tcp", "TCPDefaultTimeout", "-4", [] { return AppSettings.TCPDefaultTimeout; }, 10000},
        {"dns", "DNSRetry", "1", [] { return AppSettings.DNSRetry; }, 1},
        {"dns", "DNSDefaultTimeout", "3000", [] { return AppSettings.DNSDefaultTimeout; }, 3000},
        {"dns", "DNSDefaultTimeout", "0", [] { return AppSettings.DNSDefaultTimeout; }, 10000},
        {"cert", "CertRetry", "1", [] { return AppSettings.CertRetry; }, 1},
        {"cert", "CertRetry", "-1", [] { return AppSettings.CertRetry; }, 0},
        {"cert", "CertDefaultTimeout", "4500", [] { return AppSettings.CertDefaultTimeout; }, 4500},
        {"cert", "CertDefaultTimeout", "-3", [] { return AppSettings.CertDefaultTimeout; }, 10000},
        {"System", "InitStart", "0", [] { return int(AppSettings.InitStart); }, 0},
        {"System", "InitStart", "yes", [] { return int(AppSettings.InitStart); }, 1},
        {"System", "ShowFunctionBar", "7", [] { return int(AppSettings.ShowFunctionBar); }, 1},
        {"tls", "ExpiryWarnDays", "-1", [] { return AppSettings.TlsExpiryWarnDays; }, 14},
        {"tls", "ExpiryWarnDays", "0", [] { return AppSettings.TlsExpiryWarnDays; }, 0},
        {"tls", "ExpiryWarnDays", "soon", [] { return AppSettings.TlsExpiryWarnDays; }, 14},
        {"tls", "Verify", "0", [] { return int(AppSettings.TlsVerify); }, 0},
        {"tls", "Verify", "off", [] { return int(AppSettings.TlsVerify); }, 1},
    };
    for (const FixUpCase& c : cases) {
        tree.write("conf/SysInit.ini", QByteArray("[") + c.section + "]\r\n" + c.key + "=" + c.text + "\r\n");
        LoadSettings();
        EXPECT_EQ(c.field(), c.expected) << c.section << "/" << c.key << "=" << c.text;
    }
}

// [Pool] MaxRunning: read within 1 to 1000; anything else gives 200 with one warning line that
// names the value; absent, 200 without a word. Never written.
TEST_F(SettingsTest, PoolMaxRunningIsReadWithinItsRange)
{
    prepareDirs();
    const auto systemLogLines = [] {
        QFile f(AppSettings.LogDir + AppSettings.SystemLogFilename + Now().toString("yyyy-MM-dd") + ".log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts)
                                           : QStringList();
    };
    struct Case
    {
        const char* file;
        int expected;
        const char* warning; // a part of the one warning line, or nullptr for none
    };
    const Case cases[] = {
        {"[System]\r\nInitStart=1\r\n", 200, nullptr},
        {"[Pool]\r\nMaxRunning=1\r\n", 1, nullptr},
        {"[Pool]\r\nMaxRunning=1000\r\n", 1000, nullptr},
        {"[Pool]\r\nMaxRunning=450\r\n", 450, nullptr},
        {"[Pool]\r\nMaxRunning=0\r\n", 200,
         "[WARMING] [Pool] MaxRunning=0 is not valid (1 to 1000); 200 is used."},
        {"[Pool]\r\nMaxRunning=1001\r\n", 200, "MaxRunning=1001 is not valid (1 to 1000); 200 is used."},
        {"[Pool]\r\nMaxRunning=many\r\n", 200, "MaxRunning=many is not valid"},
        {"[Pool]\r\nMaxRunning=\r\n", 200, "MaxRunning= is not valid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        tree.write("conf/SysInit.ini", c.file);
        const int before = systemLogLines().size();
        AppSettings.PoolMaxRunning = 7;
        LoadSettings();
        EXPECT_EQ(AppSettings.PoolMaxRunning, c.expected);
        const QStringList warnings = systemLogLines().mid(before).filter("MaxRunning");
        if (!c.warning) {
            EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
            continue;
        }
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings.first().contains(c.warning)) << warnings.first().toStdString();
    }
    tree.write("conf/SysInit.ini", "[Pool]\r\nMaxRunning=450\r\n");
    LoadSettings();
    AppSettings.PoolMaxRunning = 9;
    SaveSettings();
    EXPECT_TRUE(tree.read("conf/SysInit.ini").contains("[Pool]\r\nMaxRunning=450\r\n"));
}

TEST_F(SettingsTest, GarbledFileLoadsDefaultsWithoutComplaint)
{
    prepareDirs();
    tree.write("conf/SysInit.ini", QByteArray("\x00\xff\xfe[Sys\ntem\r=\r\n==\n[]\nWindowWidth\n", 31));
    LoadSettings();
    EXPECT_EQ(AppSettings.WindowWidth, 1024);
    EXPECT_EQ(AppSettings.DBUsername, "root");
    EXPECT_FALSE(boxes.texts().join(' ').contains("ERR00203"));
}

TEST_F(SettingsTest, UnreadableFileWarnsAndKeepsPreviousValues)
{
    prepareDirs();
    QDir().mkpath(AppSettings.SettingsFilePath); // a folder where the file should be: cannot be read
    AppSettings.WindowWidth = -5;
    AppSettings.DBHost = "previous";
    LoadSettings();
    EXPECT_FALSE(AppSettings.FirstStart);
    EXPECT_EQ(AppSettings.WindowWidth, -5) << "fix-ups are skipped";
    EXPECT_EQ(AppSettings.DBHost, "previous");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].first, Notifier::Kind::Warning);
    EXPECT_TRUE(boxes.boxes[0].second.startsWith("ERR00203 : System init file not found. : "));

    SaveSettings(); // writing fails the same way
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_TRUE(boxes.boxes[1].second.startsWith("ERR00203 : System init file not found. : "));
    EXPECT_EQ(quit.requests, 0);
}

TEST_F(SettingsTest, DirectoryChecksFailWhenTheFolderCannotBeMade)
{
    AppSettings.AppPath = tree.file("plain-file");
    tree.write("plain-file", "x");
    EXPECT_FALSE(EnsureLogDir());
    EXPECT_FALSE(EnsureConfDir());
    AppSettings.AppPath = tree.file("a/b"); // two levels missing: only one is ever created
    EXPECT_FALSE(EnsureLogDir());
}

// An installation tree keeps its folders under its root; an installed copy (a system prefix, or a
// root it cannot write, with no per-user root) keeps them in the user's XDG folders, made at the
// first start without a word, and reads the help and pictures from where its install put them.
// In each case "@" is a fresh temporary folder holding the tree (@/tree), HOME (@/home) and the
// XDG folders the case names.
TEST_F(SettingsTest, InstalledCopyKeepsConfAndLogInTheUsersFolders)
{
    struct Case
    {
        const char* name;
        QString root;           // the installation root
        bool setByUser;         // named by the per-user AppPath
        bool readOnlyRoot;      // the tree is made read-only first
        const char* configHome; // XDG_CONFIG_HOME; nullptr: unset
        const char* stateHome;  // XDG_STATE_HOME; nullptr: unset
        QString conf;           // expected SysInit.ini
        QString log;            // expected log folder
        QString picture;        // expected tolvern.gif
        QString help;           // expected Quorvel.html
    };
    const QString usr = QStringLiteral("/usr/share/quorvel");
    const QString local = QStringLiteral("/usr/local/share/quorvel");
    const std::vector<Case> cases = {
        {"writable tree", "@/tree", false, false, "@/cfg", "@/state", "@/tree/conf/SysInit.ini",
         "@/tree/log/", "@/tree/bin/tolvern.gif", "@/tree/help/Quorvel.html"},
        {"system prefix", "/usr", false, false, "@/cfg", "@/state", "@/cfg/quorvel/conf/SysInit.ini",
         "@/state/quorvel/log/", usr + "/tolvern.gif", usr + "/help/Quorvel.html"},
        {"system prefix with a slash", "/usr/local/", false, false, "@/cfg", "@/state",
         "@/cfg/quorvel/conf/SysInit.ini", "@/state/quorvel/log/", local + "/tolvern.gif",
         local + "/help/Quorvel.html"},
        {"XDG variables unset", "/usr", false, false, nullptr, nullptr,
         "@/home/.config/quorvel/conf/SysInit.ini", "@/home/.local/state/quorvel/log/", usr + "/tolvern.gif",
         usr + "/help/Quorvel.html"},
        {"relative XDG_STATE_HOME", "/usr", false, false, "@/cfg", "state", "@/cfg/quorvel/conf/SysInit.ini",
         "@/home/.local/state/quorvel/log/", usr + "/tolvern.gif", usr + "/help/Quorvel.html"},
        {"per-user AppPath names a system prefix", "/usr", true, false, "@/cfg", "@/state",
         "/usr/conf/SysInit.ini", "/usr/log/", "/usr/bin/tolvern.gif", "/usr/help/Quorvel.html"},
        {"read-only tree", "@/tree", false, true, "@/cfg", "@/state", "@/cfg/quorvel/conf/SysInit.ini",
         "@/state/quorvel/log/", "@/tree/bin/tolvern.gif", "@/tree/help/Quorvel.html"},
    };

    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    const auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree t; // each case starts from empty user folders
        const auto at = [&](const QString& text) { return QString(text).replace("@", t.path()); };
        QDir().mkpath(t.file("home"));
        qputenv("HOME", t.file("home").toUtf8());
        restore("XDG_CONFIG_HOME", c.configHome ? at(c.configHome).toUtf8() : QByteArray());
        restore("XDG_STATE_HOME", c.stateHome ? at(c.stateHome).toUtf8() : QByteArray());
        const QString root = at(c.root);
        if (root.startsWith(t.path())) {
            t.write("tree/help/Quorvel.html", "<html></html>");
            QDir().mkpath(t.file("tree/bin"));
        }
        if (c.readOnlyRoot) {
            QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            if (QFileInfo(root).isWritable()) {
                QFile::setPermissions(root, writable);
                std::cout << "[   NOTE   ] case \"" << c.name
                          << "\" not tried: this user may write into read-only folders (root)" << std::endl;
                continue;
            }
        }

        boxes.boxes.clear();
        ResolveFolders(root, c.setByUser);
        if (c.conf.startsWith("@")) {
            // The folders the case expects are made, parents and all.
            EXPECT_TRUE(EnsureLogDir());
            EXPECT_TRUE(EnsureConfDir());
            EXPECT_EQ(AppSettings.LogDir, at(c.log));
            EXPECT_EQ(AppSettings.SettingsFilePath, at(c.conf));
            EXPECT_TRUE(QFileInfo(AppSettings.LogDir).isDir());
            EXPECT_TRUE(QFileInfo(QFileInfo(AppSettings.SettingsFilePath).path()).isDir());
        } else {
            // Folders under the named root, which this test does not write to.
            EXPECT_TRUE(AppSettings.ConfigRoot.isEmpty());
            EXPECT_TRUE(AppSettings.StateRoot.isEmpty());
        }
        EXPECT_EQ(PictureFile("tolvern.gif"), at(c.picture));
        if (c.help.startsWith("/usr/help")) {
            EXPECT_TRUE(AppSettings.HelpFolder.isEmpty());
        } else if (root.startsWith(t.path())) {
            EXPECT_TRUE(HelpFilePresent());
            EXPECT_EQ(ApplicationHelpFile(), at(c.help));
        } else {
            EXPECT_EQ(AppSettings.HelpFolder + "/Quorvel.html", c.help);
        }
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.texts().join("; ").toStdString();
        if (c.readOnlyRoot)
            QFile::setPermissions(root, writable);
    }
    restore("XDG_CONFIG_HOME", savedConfig);
    restore("XDG_STATE_HOME", savedState);
    restore("HOME", savedHome);
}

TEST_F(SettingsTest, ResolveAppPathReadsThePerUserFile)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", tree.file("cfg").toUtf8());
    const QString programParent = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/..");

    EXPECT_EQ(ResolveAppPath(), programParent) << "absent file";
    tree.write("cfg/tolvern/Quorvel.conf", "[Settings]\r\nAppPath=\r\n");
    EXPECT_EQ(ResolveAppPath(), programParent) << "empty value";
    bool setByUser = true;
    EXPECT_EQ(ResolveAppPath(&setByUser), programParent);
    EXPECT_FALSE(setByUser);
    tree.write("cfg/tolvern/Quorvel.conf", "[Settings]\nAppPath=/opt/quorvel\n");
    EXPECT_EQ(ResolveAppPath(&setByUser), "/opt/quorvel");
    EXPECT_TRUE(setByUser);
    QFile::remove(tree.file("cfg/tolvern/Quorvel.conf"));
    QDir().mkpath(tree.file("cfg/tolvern/Quorvel.conf"));
    EXPECT_EQ(ResolveAppPath(), QString()) << "unreadable";

    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(SettingsTest, HelpFileIsFoundInTheHelpFolder)
{
    EXPECT_FALSE(HelpFilePresent());
    tree.write("help/Quorvel.html", "<html></html>");
    EXPECT_TRUE(HelpFilePresent());
    EXPECT_EQ(ApplicationHelpFile(), tree.file("help/Quorvel.html"));
    EXPECT_TRUE(DriverLibraryPresent());
}

TEST_F(SettingsTest, UnresolvableHostNameGivesOneWarning)
{
    prepareDirs();
    EXPECT_EQ(NetworkSelfCheckFor("no-such-host.invalid"), QString());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].first, Notifier::Kind::Warning);
    EXPECT_TRUE(boxes.boxes[0].second.startsWith("ERR00305 : Network connection fail. : "));
    EXPECT_GT(boxes.boxes[0].second.size(), QString("ERR00305 : Network connection fail. : ").size());

    boxes.boxes.clear();
    EXPECT_EQ(NetworkSelfCheckFor("localhost"), "127.0.0.1");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(SettingsTest, AlarmMessageListHoldsAtMostShowLogItemPlusOneRows)
{
    AppSettings.ShowLogItem = 3;
    QStringListModel list;
    for (int i = 0; i < 10; ++i) {
        TrimAlarmMessageList(&list);
        list.insertRow(0);
        list.setData(list.index(0), QString::number(i));
    }
    EXPECT_EQ(list.stringList(), QStringList({"9", "8", "7", "6"}));
}

} // namespace

// [AlarmRules]: absent keys give the defaults, a value out of its range or not a number gives the
// default with one problem text, Notify is read by name; a file without the section gets none
// while the rules are the defaults.
TEST(AlarmRulesSettings, ReadFixUpAndWrite)
{
    struct Case
    {
        const char* text;
        int failures;
        AlarmRules::NotifyMode notify;
        int remind;
        bool recovery;
        int problems;
    };
    const std::vector<Case> cases = {
        {"", 1, AlarmRules::NotifyMode::EveryFailure, 0, false, 0},
        {"[AlarmRules]\r\nFailuresBeforeAlarm=3\r\nNotify=onchange\r\nRemindMinutes=10080\r\nRecovery=1\r\n",
         3, AlarmRules::NotifyMode::OnChange, 10080, true, 0},
        {"[AlarmRules]\r\nFailuresBeforeAlarm=0\r\nNotify=Sometimes\r\nRemindMinutes=10081\r\nRecovery=x\r\n",
         1, AlarmRules::NotifyMode::EveryFailure, 0, false, 4},
        {"[alarmrules]\r\nfailuresbeforealarm=101\r\n", 1, AlarmRules::NotifyMode::EveryFailure, 0, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempTree tree;
        tree.write("SysInit.ini", c.text);
        IniFile ini;
        QString error;
        ASSERT_TRUE(ini.load(tree.file("SysInit.ini"), &error));
        QStringList problems;
        const AlarmRules r = ReadAlarmRules(ini, &problems);
        EXPECT_EQ(r.FailuresBeforeAlarm, c.failures);
        EXPECT_EQ(r.Notify, c.notify);
        EXPECT_EQ(r.RemindMinutes, c.remind);
        EXPECT_EQ(r.Recovery, c.recovery);
        EXPECT_EQ(problems.size(), c.problems) << problems.join('\n').toStdString();
    }

    IniFile plain;
    WriteAlarmRules(plain, AlarmRules());
    EXPECT_FALSE(plain.toBytes().contains("AlarmRules")) << "the defaults add no section";
    AlarmRules changed;
    changed.Notify = AlarmRules::NotifyMode::OnChange;
    changed.RemindMinutes = 30;
    WriteAlarmRules(plain, changed);
    QStringList problems;
    const AlarmRules back = ReadAlarmRules(plain, &problems);
    EXPECT_TRUE(problems.isEmpty());
    for (const AlarmRuleKey& key : AlarmRuleKeys())
        EXPECT_EQ(key.Get(back), key.Get(changed)) << key.Key;
    EXPECT_TRUE(plain.toBytes().contains("Notify=OnChange\r\n"));
}

TEST(AlarmRulesSettings, ReferenceHosts)
{
    struct Case
    {
        const char* text;
        bool valid;
        QStringList hosts;
    };
    const std::vector<Case> cases = {
        {"", true, {}},
        {"  ", true, {}},
        {"192.168.1.1", true, {"192.168.1.1"}},
        {"gw.example.net, 9.9.9.9  fe80::1,,", true, {"gw.example.net", "9.9.9.9", "fe80::1"}},
        {"gw.example.net,GW.example.net", true, {"gw.example.net"}},
        {"gw example.net;rm", false, {}},
        {"http://gw/", false, {}},
        {"\"quoted\"", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QStringList hosts{"left over"};
        QString problem;
        EXPECT_EQ(ParseReferenceHosts(QString::fromLatin1(c.text), &hosts, &problem), c.valid);
        if (c.valid)
            EXPECT_EQ(hosts, c.hosts);
        else
            EXPECT_FALSE(problem.isEmpty());
    }

    // Kept in the file as one comma-separated key; a bad value means no self-check, said once.
    IniFile ini;
    AlarmRules rules;
    rules.ReferenceHosts = QStringList{"gw.example.net", "9.9.9.9"};
    WriteAlarmRules(ini, rules);
    EXPECT_TRUE(ini.toBytes().contains("ReferenceHosts=gw.example.net,9.9.9.9\r\n"));
    QStringList problems;
    EXPECT_EQ(ReadAlarmRules(ini, &problems).ReferenceHosts, rules.ReferenceHosts);
    ini.setValue("AlarmRules", "ReferenceHosts", "gw;9.9.9.9");
    EXPECT_TRUE(ReadAlarmRules(ini, &problems).ReferenceHosts.isEmpty());
    EXPECT_EQ(problems.size(), 1) << problems.join('\n').toStdString();
}
namespace {

// [Results] KeepDays: a number from 1 to 3650 is taken; anything else gives the default 31 and
// one warning line that names the key and the value; the writer adds the section only once it
// differs from the default or the file has it.
TEST_F(SettingsTest, ResultsKeepDaysIsRangeCheckedAndWrittenOnlyWhenSet)
{
    prepareDirs();
    const QDateTime t(QDate(2026, 12, 12), QTime(9, 0));
    SetClockSource([t] { return t; });
    const struct
    {
        const char* text; // nullptr: no such key
        int expected;
        bool warned;
    } cases[] = {{nullptr, 31, false}, {"1", 1, false},      {"3650", 3650, false},
                 {" 90 ", 90, false},  {"0", 31, true},      {"3651", 31, true},
                 {"-5", 31, true},     {"a week", 31, true}, {"", 31, true}};
    for (const auto& c : cases) {
        tree.write("log/system_2026-12-12.log", "");
        tree.write("conf/SysInit.ini", c.text ? QByteArray("[Results]\r\nKeepDays=") + c.text + "\r\n"
                                              : QByteArray("[System]\r\n"));
        AppSettings.ResultsKeepDays = 7;
        LoadSettings();
        const QString text = c.text ? QString::fromLatin1(c.text) : QString("(none)");
        EXPECT_EQ(AppSettings.ResultsKeepDays, c.expected) << text.toStdString();
        const QByteArray log = tree.read("log/system_2026-12-12.log");
        EXPECT_EQ(log.count("KeepDays"), c.warned ? 1 : 0) << text.toStdString() << "\n" << log.toStdString();
        if (c.warned) {
            EXPECT_TRUE(log.contains("[Results] KeepDays=" + QByteArray(c.text).trimmed() +
                                     " is not valid (1 to 3650); 31 is used."))
                << log.toStdString();
        }
    }

    tree.write("conf/SysInit.ini", defaultsFile());
    LoadSettings();
    SaveSettings();
    EXPECT_EQ(tree.read("conf/SysInit.ini"), defaultsFile()) << "an untouched file stays as it was";
    AppSettings.ResultsKeepDays = 400;
    SaveSettings();
    EXPECT_TRUE(tree.read("conf/SysInit.ini").endsWith("[Results]\r\nKeepDays=400\r\n"));
    LoadSettings();
    EXPECT_EQ(AppSettings.ResultsKeepDays, 400);
}

} // namespace
