#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "database/AlarmHistory.h"
#include "database/DataModuleQuorvel.h"
#include "support/DatabaseFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class SystemLogTest : public DatabaseFixture
{
protected:
    void standAt(const char* text)
    {
        const QDateTime t = at(text);
        SetClockSource([t] { return t; });
    }
};

TEST_F(SystemLogTest, LevelTexts)
{
    const char* expected[] = {"",        "[DEBUG]",    "[INFO]",  "[NOTICE]",    "[WARMING]",
                              "[ERROR]", "[CRITICAL]", "[ALERT]", "[EMERGENCY]", ""};
    for (int level = 0; level <= 9; ++level)
        EXPECT_EQ(LevelText(level), expected[level]) << level;
    EXPECT_EQ(LevelText(-1), "");
}

TEST_F(SystemLogTest, LinesHaveTheirFormatAndTheFileChangesAtMidnight)
{
    standAt("2007-05-01 13:45:07");
    WriteSystemLog("Application starts.", LogLevel::INFORMATIONAL);
    WriteSystemLog("nothing at level zero", LogLevel::NONE);
    standAt("2007-05-01 23:59:59");
    WriteSystemLog("ERR00003 : Help file not found.", LogLevel::WARMING);
    standAt("2007-05-02 00:00:00");
    WriteSystemLog("next day", LogLevel::ERROR);

    EXPECT_EQ(m_tree->read("log/system_2007-05-01.log"),
              "2007-05-01 13:45:07 [INFO] Application starts.\r\n"
              "2007-05-01 23:59:59 [WARMING] ERR00003 : Help file not found.\r\n");
    EXPECT_EQ(m_tree->read("log/system_2007-05-02.log"), "2007-05-02 00:00:00 [ERROR] next day\r\n");
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(SystemLogTest, LevelZeroCreatesNoFileAndAnEmptyPrefixBecomesTheDefault)
{
    standAt("2007-05-01 10:00:00");
    AppSettings.SystemLogFilename.clear();
    WriteSystemLog("silent", LogLevel::NONE);
    EXPECT_FALSE(QFile::exists(m_tree->file("log/system_2007-05-01.log")));
    EXPECT_TRUE(AppSettings.SystemLogFilename.isEmpty());

    WriteSystemLog("written", LogLevel::INFORMATIONAL);
    EXPECT_EQ(AppSettings.SystemLogFilename, "system_");
    EXPECT_TRUE(QFile::exists(m_tree->file("log/system_2007-05-01.log")));
    SaveSettings();
    EXPECT_TRUE(
        m_tree->read("conf/SysInit.ini").contains("[System Log]\r\nHouseKeepDay=7\r\nFilename=system_\r\n"));
}

TEST_F(SystemLogTest, UnwritableLogStopsTheApplication)
{
    standAt("2007-05-01 10:00:00");
    QDir().mkpath(m_tree->file("log/system_2007-05-01.log")); // cannot be opened as a file
    WriteSystemLog("lost", LogLevel::INFORMATIONAL);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Notifier::Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith("ERR00202 : System log file is invalid. : "));
    EXPECT_EQ(m_quit.requests, 1);
    // The program is quitting: a line written meanwhile (a timer's, while the box is up) shows
    // no second box.
    WriteSystemLog("lost again", LogLevel::INFORMATIONAL);
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_quit.requests, 1);

    ResetLogFailures();
    AppSettings.AppPath = m_tree->file("missing/deeper");
    WriteSystemLog("lost too", LogLevel::INFORMATIONAL);
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(m_boxes.boxes[1].second, "ERR00205 : System log directory not found.");
    EXPECT_EQ(m_quit.requests, 2);

    // Once the program has been asked to stop (a termination signal), no box opens any more.
    ResetLogFailures();
    SetStopRequested(true);
    WriteSystemLog("after the stop", LogLevel::INFORMATIONAL);
    ShowInformationBox("after the stop");
    SetStopRequested(false);
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(m_quit.requests, 3);
}

TEST_F(SystemLogTest, AlarmMessageGoesToTheFileThenTheTable)
{
    REQUIRE_TEST_DATABASE();
    startWithDatabase();
    standAt("2007-05-01 13:45:07");
    WriteAlarmMessageLog("2007-05-01 13:45:07", "SMTP", "192.168.1.10", "25",
                         "[192.168.1.10:25] Failed:refused", "Failed");
    EXPECT_EQ(m_tree->read("log/AlarmMsg_2007-05-01.log"),
              "2007-05-01 13:45:07 [SMTP] [192.168.1.10] [25] [192.168.1.10:25] Failed:refused\r\n");
    EXPECT_EQ(scalar("select concat_ws('|',alarm_datetime,service,ip,port,msg,service_status) from "
                     "quorvel.alarm_msg_history"),
              "2007-05-01 13:45:07|SMTP|192.168.1.10|25|[192.168.1.10:25] Failed:refused|Failed");

    // File switched off: only the table; file path broken: a warning, and the row still lands.
    AppSettings.AlarmMsgFileEnable = false;
    WriteAlarmMessageLog("2007-05-01 13:46:00", "Ping", "h", "0", "m", "Failed");
    AppSettings.AlarmMsgFileEnable = true;
    AppSettings.AlarmMsgFilePath = m_tree->file("no/such/dir/");
    WriteAlarmMessageLog("2007-05-01 13:47:00", "FTP", "f", "21", "m", "Failed");
    EXPECT_EQ(m_tree->read("log/AlarmMsg_2007-05-01.log").count('\n'), 1);
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "3");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Notifier::Kind::Warning);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith("ERR00206 : Alarm log backup error. : "));

    AppSettings.AlarmMsgDBEnable = false;
    AppSettings.AlarmMsgFilePath = AppSettings.LogDir;
    WriteAlarmMessageLog("2007-05-01 13:48:00", "URL", "u", "80", "m", "Failed");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "3");
}

// A text from a peer (a server's reply in a result detail) cannot add a line to either log.
TEST_F(SystemLogTest, ControlCharactersBecomeBlanksSoOneEntryIsOneLine)
{
    standAt("2007-05-01 10:00:00");
    WriteSystemLog(QString("reply\r\n2007-05-01 10:00:00 [INFO] forged\tend") + QChar(0x2028) + "x",
                   LogLevel::ERROR);
    EXPECT_EQ(m_tree->read("log/system_2007-05-01.log"),
              "2007-05-01 10:00:00 [ERROR] reply  2007-05-01 10:00:00 [INFO] forged end x\r\n");
    AppSettings.AlarmMsgDBEnable = false;
    WriteAlarmMessageLog("2007-05-01 10:00:00", "URL", "h\n", "80", "[h:80] HTTP/1.1 500\r\nforged",
                         "Failed");
    EXPECT_EQ(m_tree->read("log/AlarmMsg_2007-05-01.log"),
              "2007-05-01 10:00:00 [URL] [h ] [80] [h:80] HTTP/1.1 500  forged\r\n");
}

// A folder that cannot be written gives one warning for a run of failed writes, and another only
// after a write has succeeded in between.
TEST_F(SystemLogTest, AlarmLogWarningOncePerRunOfFailures)
{
    standAt("2007-05-01 10:00:00");
    AppSettings.AlarmMsgDBEnable = false;
    const QString good = AppSettings.AlarmMsgFilePath;
    AppSettings.AlarmMsgFilePath = m_tree->file("no/such/dir/");
    for (int i = 0; i < 3; ++i)
        WriteAlarmMessageLog("2007-05-01 10:00:00", "Ping", "h", "0", "m", "Failed");
    EXPECT_EQ(m_boxes.texts().filter("ERR00206").size(), 1);
    AppSettings.AlarmMsgFilePath = good;
    WriteAlarmMessageLog("2007-05-01 10:00:00", "Ping", "h", "0", "m", "Failed");
    AppSettings.AlarmMsgFilePath = m_tree->file("no/such/dir/");
    WriteAlarmMessageLog("2007-05-01 10:00:00", "Ping", "h", "0", "m", "Failed");
    WriteAlarmMessageLog("2007-05-01 10:00:00", "Ping", "h", "0", "m", "Failed");
    EXPECT_EQ(m_boxes.texts().filter("ERR00206").size(), 2);
    EXPECT_EQ(m_quit.requests, 0);
}

// Every dated file of each log at or past its limit goes, including days long gone (the limit
// lowered, or days the program did not run); newer files and files of other names stay.
TEST_F(SystemLogTest, HouseKeepingDeletesEveryLogFileFromNDaysBackAndOlderRows)
{
    REQUIRE_TEST_DATABASE();
    startWithDatabase();
    for (const char* day :
         {"2006-12-31", "2007-03-15", "2007-04-30", "2007-05-01", "2007-05-02", "2007-05-08"}) {
        m_tree->write(QString("log/system_%1.log").arg(day), "x");
        m_tree->write(QString("log/AlarmMsg_%1.log").arg(day), "x");
    }
    const QStringList unrelated = {"notes.txt",
                                   "other_2007-01-01.log",
                                   "system_2007-01-01.log.bak",
                                   "system_2007-13-45.log",
                                   "xsystem_2007-01-01.log",
                                   "AlarmMsg_old.log"};
    for (const QString& name : unrelated)
        m_tree->write("log/" + name, "keep");
    AppSettings.SystemLogHouseKeepDay = 7;
    AppSettings.AlarmMsgFileHouseKeepDay = 6;
    for (const char* when : {"2007-04-30 23:59:59", "2007-05-01 00:00:00", "2007-05-01 12:00:00"})
        m_dm->ExecUpdate(QString("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,"
                                 "service_status) values (\"%1\",\"URL\",\"h\",80,\"m\",\"Failed\")")
                             .arg(when));
    standAt("2007-05-08 09:00:00");
    HouseKeepLogs();

    QStringList expected = unrelated;
    expected << "AlarmMsg_2007-05-08.log"
             << "system_2007-05-02.log"
             << "system_2007-05-08.log";
    expected.sort();
    QStringList left = QDir(m_tree->file("log")).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(
        scalar("select group_concat(alarm_datetime order by alarm_datetime) from quorvel.alarm_msg_history"),
        "2007-05-01 00:00:00,2007-05-01 12:00:00");

    // The alarm log kept in a folder of its own, given with or without its closing slash.
    for (const char* folder : {"alarms", "alarms/"}) {
        m_tree->write("alarms/AlarmMsg_2007-01-01.log", "x");
        m_tree->write("alarms/AlarmMsg_2007-05-08.log", "x");
        m_tree->write("alarms/readme.txt", "x");
        AppSettings.AlarmMsgFilePath = m_tree->file(folder);
        HouseKeepLogFiles();
        EXPECT_EQ(QDir(m_tree->file("alarms")).entryList(QDir::Files, QDir::Name),
                  QStringList({"AlarmMsg_2007-05-08.log", "readme.txt"}))
            << folder;
    }
}

// The folder and the file name meet at exactly one separator.
TEST(LogFilePath, JoinsFolderAndNameWithOneSeparator)
{
    const struct
    {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"/var/log", "/var/log/AlarmMsg_2007-05-01.log"},
        {"/var/log/", "/var/log/AlarmMsg_2007-05-01.log"},
        {"relative/dir", "relative/dir/AlarmMsg_2007-05-01.log"},
        {"/", "/AlarmMsg_2007-05-01.log"},
        {"", "AlarmMsg_2007-05-01.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogFilePath(c.folder, "AlarmMsg_2007-05-01.log"), c.expected) << c.folder;
}

// An alarm log folder given without its closing slash still receives the file inside it.
TEST_F(SystemLogTest, AlarmLogFileGoesInsideAFolderGivenWithoutSlash)
{
    standAt("2007-05-01 10:00:00");
    AppSettings.AlarmMsgDBEnable = false;
    AppSettings.AlarmMsgFileEnable = true;
    QDir().mkpath(m_tree->file("alarms"));
    AppSettings.AlarmMsgFilePath = m_tree->file("alarms");
    WriteAlarmMessageLog("2007-05-01 10:00:00", "Ping", "h", "0", "m", "Failed");
    EXPECT_EQ(m_tree->read("alarms/AlarmMsg_2007-05-01.log"), "2007-05-01 10:00:00 [Ping] [h] [0] m\r\n");
    EXPECT_FALSE(QFile::exists(m_tree->file("alarmsAlarmMsg_2007-05-01.log")));
}

} // namespace
