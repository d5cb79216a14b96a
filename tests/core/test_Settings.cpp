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
