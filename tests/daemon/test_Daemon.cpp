// quorveld as a process: its command line, the settings check, and the service against the test
// MariaDB with loopback servers: results stored as the engine stores them, the clean stop on
// SIGTERM, the single instance, SIGHUP, a database that answers late, and systemd's protocol.
#include "core/IniFile.h"
#include "core/comFunc.h"
#include "daemon/QuorveldProcess.h"
#include "monitor/EngineFixture.h"
#include "support/ScriptedServer.h"
#include "support/TcpForwarder.h"
#include "support/UdpCollector.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <csignal>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// ---- the command line, without a database -----------------------------------------------------

struct CommandLineCase
{
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* out; // a part of standard output, or empty
    const char* err; // a part of standard error, or empty
};

TEST(QuorveldCommandLine, ExitStatusesAndTexts)
{
    const CommandLineCase cases[] = {
        {"help", {"--help"}, 0, "Usage: quorveld [--config FILE] [--check-config]", ""},
        {"help wins over the rest", {"--config", "/nonexistent/x.ini", "--help"}, 0, "--check-config", ""},
        {"version", {"--version"}, 0, "quorveld " QUORVEL_VERSION "\n", ""},
        {"unknown option", {"--verbose"}, 2, "", "unknown option '--verbose'"},
        {"config without a file", {"--config"}, 2, "", "option '--config' needs a file"},
        {"empty config", {"--config="}, 2, "", "option '--config' needs a file"},
        {"stray argument", {"start"}, 2, "", "unexpected argument 'start'"},
        {"missing settings file",
         {"--config", "/nonexistent/conf/SysInit.ini"},
         1,
         "",
         "/nonexistent/conf/SysInit.ini: no such settings file"},
        {"missing settings file, checked",
         {"--check-config", "--config=/nonexistent/SysInit.ini"},
         1,
         "",
         "no such settings file"},
    };
    for (const CommandLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QuorveldRun run = RunQuorveld(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_TRUE(contains(run.out, c.out)) << run.out;
        EXPECT_TRUE(contains(run.err, c.err)) << run.err;
        if (c.exitCode == 2) {
            EXPECT_TRUE(contains(run.err, "Try 'quorveld --help'")) << run.err;
        }
    }
}

// ---- with the test database ------------------------------------------------------------------

class QuorveldTest : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SetClockSource({}); // quorveld runs on the real clock; its log files carry today's date
        settingsFile = m_tree->file("conf/SysInit.ini");
        setSetting("Database", "Host", AppSettings.DBHost);
        setSetting("Database", "Port", AppSettings.DBPort);
        setSetting("Database", "DBUsername", "root");
        setSetting("Database", "DBPassword", "");
        setSetting("System", "InitStart", "1");
    }

    void setSetting(const QString& section, const QString& key, const QString& value)
    {
        IniFile ini;
        QString error;
        ASSERT_TRUE(ini.load(settingsFile, &error)) << error.toStdString();
        ini.setValue(section, key, value);
        ASSERT_TRUE(ini.save(settingsFile, &error)) << error.toStdString();
    }

    // A service checked at every tick.
    int addEveryMinute(const QString& kind, int port, const QString& alarms = "\"n\",\"n\",\"n\",\"n\"")
    {
        Service s;
        s.kind = kind;
        s.port = port;
        s.by = "Minutely";
        s.minute = "1";
        s.alarms = alarms;
        return addService(s);
    }

    std::unique_ptr<QuorveldProcess> startQuorveld(int tickMs = 0,
                                                   QProcessEnvironment environment = QProcessEnvironment())
    {
        if (tickMs > 0)
            environment.insert("QUORVELD_TICK_MS", QString::number(tickMs));
        return std::make_unique<QuorveldProcess>(QStringList{"--config", settingsFile}, environment);
    }

    // Today's system log file's name.
    static QString logName()
    {
        return AppSettings.SystemLogFilename + QDate::currentDate().toString("yyyy-MM-dd") + ".log";
    }

    int logLines(const QString& part) const { return systemLogLines().filter(part).size(); }

    bool waitForLog(const QString& part, int ms = 15000)
    {
        return waitFor([&] { return logLines(part) > 0; }, ms);
    }

    QString statusOf(int id) const
    {
        return scalar(QString("select service_status from quorvel.service where id=%1").arg(id));
    }

    bool waitForStatus(int id, const QString& status, int ms = 20000)
    {
        return waitFor([&] { return statusOf(id) == status; }, ms);
    }

    // The signal, then the end within `ms`, with exit status 0.
    void stopCleanly(QuorveldProcess& process, int number = SIGTERM, int ms = 15000)
    {
        ASSERT_TRUE(process.signal(number));
        ASSERT_TRUE(process.waitForExit(ms)) << "no end within " << ms << " ms after signal " << number;
        EXPECT_EQ(process.exitCode(), 0) << process.err();
    }

    QString settingsFile;
};

// An SMTP server that greets, answers the client's greeting and reads to the end, for `count`
// connections one after the other.
void scriptPassingSmtp(ScriptedServer& server, int count)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            server.acceptNext();
        server.sendLine("220 ready").readLine().sendLine("250 hello").readRest();
    }
}

TEST_F(QuorveldTest, StoresResultsAndRaisesAlarmsAsTheEngineDoes)
{
    ScriptedServer smtp;
    scriptPassingSmtp(smtp, 2); // once for the engine, once for quorveld
    smtp.start();
    const int passing = addEveryMinute("SMTP", smtp.port());
    const int failing = addEveryMinute("SMTP", ScriptedServer::UnusedPort(), "\"n\",\"n\",\"n\",\"y\"");
    UdpCollector syslog;
    m_dm->ExecUpdate(QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                             "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                         .arg(syslog.port()));
    // The syslog alarm without its send time ("<PRI>Mmm dd hh:mm:ss ").
    const auto nextAlarm = [&syslog] {
        std::string datagram;
        if (!syslog.receive(datagram, 10000))
            return std::string("(no alarm)");
        const std::string::size_type pri = datagram.find('>');
        return pri == std::string::npos ? datagram : datagram.substr(0, pri + 1) + datagram.substr(pri + 17);
    };
    const int stopped = addEveryMinute("SMTP", ScriptedServer::UnusedPort());
    m_dm->ExecUpdate(QString("update service set status=\"Stop\" where id=%1").arg(stopped));

    const auto rows = [this] {
        QStringList all;
        QSqlQuery q(m_dm->SQLConnection);
        EXPECT_TRUE(q.exec("select id,service_status,last_access>0 from service order by id"));
        while (q.next())
            all << q.value(0).toString() + " " + q.value(1).toString() + " " + q.value(2).toString();
        EXPECT_TRUE(q.exec("select service,ip,port,msg,service_status from alarm_msg_history order by msg"));
        while (q.next())
            all << QStringList({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                q.value(3).toString(), q.value(4).toString()})
                       .join('|');
        return all;
    };
    const auto checked = [&] { return statusOf(passing) != "Unknown" && statusOf(failing) != "Unknown"; };

    // The engine in this process, one tick.
    startCycle();
    ASSERT_TRUE(waitFor(checked));
    ASSERT_TRUE(waitFor([&] { return engine->ExecutingCount() == 0; }));
    const QStringList byEngine = rows();
    const std::string alarmByEngine = nextAlarm();
    engine.reset();
    m_dm->ExecUpdate("update service set service_status=\"Unknown\", last_access=0");
    m_dm->ExecUpdate("delete from alarm_msg_history");

    // quorveld, its first tick.
    auto quorveld = startQuorveld();
    ASSERT_TRUE(waitFor(checked, 20000)) << quorveld->err();
    EXPECT_EQ(rows(), byEngine);
    EXPECT_EQ(nextAlarm(), alarmByEngine);
    EXPECT_TRUE(contains(alarmByEngine, "<131>")) << alarmByEngine;
    EXPECT_EQ(statusOf(passing), "Passed");
    EXPECT_EQ(statusOf(failing), "Failed");
    EXPECT_EQ(statusOf(stopped), "Unknown");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_msg_history"), "1");
    stopCleanly(*quorveld);
    EXPECT_TRUE(smtp.failures().empty()) << smtp.failures().front();
    EXPECT_EQ(smtp.connectionsAccepted(), 2);
}

// A desktop program in the console role beside quorveld on one database: its lists follow what
// quorveld writes from its next tick on, and it never checks a service itself.
TEST_F(QuorveldTest, ConsoleFollowsTheServiceAndNeverChecks)
{
    ScriptedServer smtp;
    scriptPassingSmtp(smtp, 1); // quorveld's one check; a second connection would be the console's
    smtp.start();
    const int passing = addEveryMinute("SMTP", smtp.port());
    const int failing = addEveryMinute("SMTP", ScriptedServer::UnusedPort(), "\"n\",\"n\",\"n\",\"y\"");
    UdpCollector syslog;
    m_dm->ExecUpdate(QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                             "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                         .arg(syslog.port()));

    AppSettings.ConsoleRole = true;
    QStringList status;
    QObject::connect(engine.get(), &MonitorEngine::statusMessage,
                     [&status](const QString& t) { status << t; });
    startCycle();
    EXPECT_EQ(cellOf(failing, MonitorEngine::SvcCurrentStatus), "Unknown");
    EXPECT_TRUE(status.contains("Console: checks run by the monitoring service"))
        << status.join('\n').toStdString();

    auto quorveld = startQuorveld();
    ASSERT_TRUE(
        waitFor([&] { return statusOf(passing) == "Passed" && statusOf(failing) == "Failed"; }, 20000))
        << quorveld->err();
    ASSERT_TRUE(waitFor([&] {
        return scalar("select group_concat(concat(method,' ',status)) from quorvel.alarm_delivery") ==
               "SysLog Sent";
    })) << scalar("select group_concat(concat(method,' ',status)) from quorvel.alarm_delivery").toStdString();

    engine->TimerServiceTimer(); // the console's next minute tick
    EXPECT_EQ(cellOf(passing, MonitorEngine::SvcCurrentStatus), "Passed");
    EXPECT_EQ(cellOf(failing, MonitorEngine::SvcCurrentStatus), "Failed");
    TextTableModel* alarms = engine->AlarmMessageList();
    ASSERT_EQ(alarms->rowCount(), 1);
    EXPECT_TRUE(alarms->cell(0, MonitorEngine::AlmMessage).contains("Failed"))
        << alarms->cell(0, MonitorEngine::AlmMessage).toStdString();
    EXPECT_EQ(alarms->cell(0, MonitorEngine::AlmMethods), "SysLog");
    EXPECT_EQ(alarms->cell(0, MonitorEngine::AlmStatus), "Sent");
    engine->ClearAlarmMessages();
    engine->TimerServiceTimer();
    EXPECT_EQ(alarms->rowCount(), 0) << "cleared rows stay cleared";

    engine->ActionStartExecute();
    engine->TimerServiceTimer();
    stopCleanly(*quorveld);
    EXPECT_EQ(smtp.connectionsAccepted(), 1) << "only quorveld checked";
    EXPECT_EQ(engine->ExecutingCount(), 0);
    EXPECT_FALSE(status.contains("Service scheduling starts.")) << "the console schedules nothing";
    AppSettings.ConsoleRole = false;
}

// quorveld claims what it checks; its claimed services still go through the network self-check,
// and a kind this build does not know still gets its warning.
TEST_F(QuorveldTest, ClaimedServicesGoThroughTheNetworkSelfCheck)
{
    setSetting("AlarmRules", "ReferenceHosts", "gateway.invalid");
    setSetting("ping", "PingDefaultTimeout", "300");
    const int failing = addEveryMinute("SMTP", ScriptedServer::UnusedPort(), "\"n\",\"n\",\"n\",\"y\"");
    addEveryMinute("Gopher", 70);
    UdpCollector syslog;
    m_dm->ExecUpdate(QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                             "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                         .arg(syslog.port()));
    auto quorveld = startQuorveld();
    ASSERT_TRUE(waitForStatus(failing, "Unknown", 1)); // not yet checked
    ASSERT_TRUE(waitFor([&] { return logLines("no reference host answers") > 0; }, 20000)) << quorveld->err();
    ASSERT_TRUE(waitFor([&] {
        return scalar("select count(*) from quorvel.alarm_msg_history where msg like "
                      "\"%] Unknown : this workstation has no network\"") == "1";
    }));
    std::string datagram;
    EXPECT_FALSE(syslog.receive(datagram, 1000)) << datagram;
    EXPECT_EQ(statusOf(failing), "Unknown");
    EXPECT_EQ(logLines("the service kind \"Gopher\" is not known"), 1);
    stopCleanly(*quorveld);
}

TEST_F(QuorveldTest, SigtermWhileACheckRunsStoresItsResultAndEndsWithStatusZero)
{
    setSetting("email", "EmailDefaultTimeout", "10000");
    ScriptedServer smtp;
    std::atomic<bool> connected{false};
    smtp.run([&connected](ScriptedConnection&) {
            connected = true;
            return true;
        })
        .pause(2000)
        .sendLine("220 ready")
        .readLine()
        .sendLine("250 hello")
        .readRest();
    smtp.start();
    const int id = addEveryMinute("SMTP", smtp.port());

    auto quorveld = startQuorveld();
    ASSERT_TRUE(waitFor([&] { return connected.load(); }, 15000)) << quorveld->err();
    QElapsedTimer clock;
    clock.start();
    stopCleanly(*quorveld, SIGTERM, 10000); // within the check's time-out
    EXPECT_GE(clock.elapsed(), 1000) << "it ended before the running check did";

    EXPECT_EQ(statusOf(id), "Passed") << "the result of the running check is stored";
    EXPECT_EQ(
        scalar(
            QString("select count(*) from quorvel.service_result where passed=1 and service_id=%1").arg(id)),
        "1")
        << "and kept with the results, written before the end";
    const QStringList log = systemLogLines();
    const int stops = log.indexOf(QRegularExpression(".*\\[INFO\\] Service scheduling stops\\.$"));
    const int end = log.indexOf(QRegularExpression(".*\\[INFO\\] Application stops\\.$"));
    ASSERT_GE(stops, 0) << log.join('\n').toStdString();
    EXPECT_GT(end, stops) << log.join('\n').toStdString();
    EXPECT_EQ(end, log.size() - 1) << log.join('\n').toStdString();
}

TEST_F(QuorveldTest, SigintWithoutRunningChecksEndsAtOnce)
{
    auto quorveld = startQuorveld();
    ASSERT_TRUE(waitForLog("[INFO] Service scheduling starts.")) << quorveld->err();
    QElapsedTimer clock;
    clock.start();
    stopCleanly(*quorveld, SIGINT, 5000);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(logLines("[INFO] Service scheduling stops."), 1);
    EXPECT_EQ(logLines("[INFO] Application stops."), 1);
    EXPECT_EQ(systemLogLines().filter("[ERROR]"), QStringList());
}

TEST_F(QuorveldTest, SecondInstanceOnTheSameSettingsIsRefusedUntilTheFirstIsGone)
{
    auto first = startQuorveld();
    ASSERT_TRUE(waitForLog("[INFO] Application starts.")) << first->err();

    const QuorveldRun second = RunQuorveld({"--config", settingsFile});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(contains(second.err, "another quorveld already runs with the settings file " +
                                         settingsFile.toStdString()))
        << second.err;
    EXPECT_EQ(logLines("[INFO] Application starts."), 1) << "the refused one writes nothing to the log";
    EXPECT_TRUE(first->running());

    // However the holder ends, the kernel frees the lock: a killed one leaves none behind.
    ASSERT_TRUE(first->signal(SIGKILL));
    ASSERT_TRUE(first->waitForExit(5000));
    auto third = startQuorveld();
    ASSERT_TRUE(waitFor([this] { return logLines("[INFO] Application starts.") == 2; })) << third->err();
    EXPECT_TRUE(third->running()) << third->err();
    stopCleanly(*third);
}

TEST_F(QuorveldTest, SighupTakesANewTimeOutWithoutLosingTheSchedule)
{
    // Each connection is greeted after 1.2 s, and served whatever the client did meanwhile.
    ScriptedServer smtp;
    for (int i = 0; i < 40; ++i) {
        if (i > 0)
            smtp.acceptNext();
        smtp.run([](ScriptedConnection& c) {
            if (!c.pause(1200))
                return false;
            std::string line;
            if (c.send("220 ready\r\n") && c.readLine(line))
                c.send("250 hello\r\n");
            c.waitForClientClose(3000);
            return true;
        });
    }
    smtp.start();
    setSetting("email", "EmailDefaultTimeout", "400");
    const int id = addEveryMinute("SMTP", smtp.port());

    auto quorveld = startQuorveld(2500);
    ASSERT_TRUE(waitForStatus(id, "Failed")) << quorveld->err();

    setSetting("email", "EmailDefaultTimeout", "5000");
    ASSERT_TRUE(quorveld->signal(SIGHUP));
    ASSERT_TRUE(waitForLog("[INFO] Settings read again from " + settingsFile)) << quorveld->err();
    EXPECT_TRUE(waitForStatus(id, "Passed")) << "the next tick's check waits longer";
    EXPECT_TRUE(quorveld->running());
    EXPECT_EQ(logLines("The database settings have changed"), 0);

    // A new login is not taken up while running: the connection in use stays.
    setSetting("Database", "DBUsername", "somebody");
    ASSERT_TRUE(quorveld->signal(SIGHUP));
    ASSERT_TRUE(
        waitForLog("[WARMING] The database settings have changed; they are used from the next start"));
    m_dm->ExecUpdate(QString("update service set service_status=\"Unknown\" where id=%1").arg(id));
    EXPECT_TRUE(waitForStatus(id, "Passed"));
    stopCleanly(*quorveld);
    EXPECT_EQ(logLines("[INFO] Service scheduling starts."), 1) << "the reload does not restart scheduling";
}

TEST_F(QuorveldTest, DatabaseThatAnswersLateIsUsedFromTheNextTick)
{
    const int id = addEveryMinute("SMTP", ScriptedServer::UnusedPort());
    TcpForwarder database(AppSettings.DBPort.toInt()); // bound, refusing until started
    setSetting("Database", "Port", QString::number(database.port()));

    auto quorveld = startQuorveld(1000);
    ASSERT_TRUE(waitForLog("[ERROR] ERR00101")) << quorveld->err();
    ASSERT_TRUE(waitForLog("[INFO] Service scheduling starts.")) << "the cycle runs without the database";
    QThread::msleep(2500); // a few ticks without the database
    EXPECT_EQ(statusOf(id), "Unknown");

    database.start();
    ASSERT_TRUE(waitForStatus(id, "Failed", 15000)) << quorveld->err();
    EXPECT_EQ(logLines("[INFO] Database connection is back."), 1);
    EXPECT_EQ(logLines("[ERROR]"), 1) << systemLogLines().join('\n').toStdString();
    EXPECT_GE(database.connectionsAccepted(), 1);
    stopCleanly(*quorveld);
}

TEST_F(QuorveldTest, DatabaseCreatedWhenItFirstAnswers)
{
    dropDatabase();
    TcpForwarder database(AppSettings.DBPort.toInt());
    setSetting("Database", "Port", QString::number(database.port()));
    auto quorveld = startQuorveld(1000);
    ASSERT_TRUE(waitForLog("[INFO] Service scheduling starts.")) << quorveld->err();
    database.start();
    ASSERT_TRUE(waitForLog("[INFO] Database connection is back.")) << quorveld->err();
    EXPECT_EQ(scalar("select count(*) from information_schema.tables where table_schema=\"quorvel\" and "
                     "table_name=\"service\""),
              "1");
    stopCleanly(*quorveld);
    EXPECT_EQ(logLines("[ERROR]"), 1) << systemLogLines().join('\n').toStdString();
    // The first start's information box is one line on standard error (and in syslog).
    EXPECT_TRUE(contains(quorveld->err(),
                         "quorveld: Information: Please be patient, it may take a few second "
                         "for first start.\n"))
        << quorveld->err();
}

// A datagram socket of the test standing for systemd's notification socket.
class NotifySocket
{
public:
    explicit NotifySocket(const QString& path) : m_path(path.toStdString())
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        m_path.copy(address.sun_path, sizeof address.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return m_bound; }
    // The next message, or empty after `ms` without one.
    std::string next(int ms)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

TEST_F(QuorveldTest, TellsTheServiceManagerItIsReadyAndPingsItsWatchdog)
{
    NotifySocket manager(m_tree->file("notify.sock"));
    ASSERT_TRUE(manager.bound());
    QProcessEnvironment environment;
    environment.insert("NOTIFY_SOCKET", m_tree->file("notify.sock"));
    environment.insert("WATCHDOG_USEC", "1000000");
    auto quorveld = startQuorveld(0, environment);

    // Messages in order: watchdog pings from the start, readiness once the cycle runs.
    QStringList seen;
    bool schedulingAtReady = false;
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && !(seen.contains("READY=1") && seen.count("WATCHDOG=1") >= 2)) {
        const std::string message = manager.next(500);
        for (const QString& line : QString::fromStdString(message).split('\n', Qt::SkipEmptyParts)) {
            if (line == "READY=1")
                schedulingAtReady = logLines("[INFO] Service scheduling starts.") == 1;
            seen << line;
        }
    }
    EXPECT_EQ(seen.count("READY=1"), 1) << seen.join(' ').toStdString();
    EXPECT_GE(seen.count("WATCHDOG=1"), 2) << seen.join(' ').toStdString();
    EXPECT_TRUE(schedulingAtReady) << "ready only once the first tick is armed";

    ASSERT_TRUE(quorveld->signal(SIGTERM));
    bool stopping = false;
    QDeadlineTimer stopDeadline(10000);
    while (!stopping && !stopDeadline.hasExpired())
        stopping = contains(manager.next(500), "STOPPING=1");
    EXPECT_TRUE(stopping);
    ASSERT_TRUE(quorveld->waitForExit(10000));
    EXPECT_EQ(quorveld->exitCode(), 0);
}

struct CheckConfigCase
{
    const char* name;
    QList<QStringList> settings; // section, key, value
    int exitCode;
    const char* text; // a part of what it prints
};

TEST_F(QuorveldTest, CheckConfigNamesWhatIsWrong)
{
    const QString unused = QString::number(ScriptedServer::UnusedPort());
    const CheckConfigCase cases[] = {
        {"correct", {}, 0, "settings and database connection are correct"},
        {"port not a number",
         {{"Database", "Port", "33o6"}},
         1,
         "[Database] Port = \"33o6\": not a whole number"},
        {"time-out zero", {{"http", "HTTPDefaultTimeout", "0"}}, 1, "[http] HTTPDefaultTimeout = \"0\""},
        {"retry two",
         {{"ftp", "FTPRetry", "2"}},
         1,
         "[ftp] FTPRetry = \"2\": not a whole number from 0 to 1"},
        {"no host", {{"Database", "Host", " , "}}, 1, "[Database] Host is empty"},
        {"TCP time-out zero", {{"tcp", "TCPDefaultTimeout", "0"}}, 1, "[tcp] TCPDefaultTimeout = \"0\""},
        {"certificate retry 3", {{"cert", "CertRetry", "3"}}, 1, "[cert] CertRetry = \"3\""},
        {"alarm rule out of range",
         {{"AlarmRules", "FailuresBeforeAlarm", "0"}},
         1,
         "[AlarmRules] FailuresBeforeAlarm=0 is not valid (1 to 100)"},
        {"server away", {{"Database", "Port", unused}}, 1, "cannot be reached"},
        {"wrong password", {{"Database", "DBPassword", "wrong"}}, 1, "Access denied"},
    };
    const QByteArray original = m_tree->read("conf/SysInit.ini");
    for (const CheckConfigCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_tree->write("conf/SysInit.ini", original);
        for (const QStringList& s : c.settings)
            setSetting(s[0], s[1], s[2]);
        const QuorveldRun run = RunQuorveld({"--check-config", "--config", settingsFile});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_TRUE(contains(c.exitCode == 0 ? run.out : run.err, c.text)) << run.out << run.err;
    }
    // A missing quorvel database is created at the first start: no error, but said.
    m_tree->write("conf/SysInit.ini", original);
    dropDatabase();
    const QuorveldRun run = RunQuorveld({"--check-config", "--config", settingsFile});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "the database quorvel does not exist yet")) << run.out;
}

TEST_F(QuorveldTest, LogsGoWhereTheServiceManagerSays)
{
    QProcessEnvironment environment;
    environment.insert("LOGS_DIRECTORY", m_tree->file("journal-logs"));
    auto quorveld = startQuorveld(0, environment);
    const QString log = "journal-logs/" + logName();
    ASSERT_TRUE(waitFor([&] { return m_tree->read(log).contains("Service scheduling starts."); }))
        << quorveld->err();
    stopCleanly(*quorveld);
    EXPECT_TRUE(systemLogLines().isEmpty()) << "nothing in the log folder beside the settings";
    EXPECT_TRUE(m_tree->read(log).contains("Application stops."));
}

} // namespace

// ---- several services on one database ------------------------------------------------------

namespace {

// Every datagram that arrives within `quietMs` of the one before.
QStringList drain(UdpCollector& collector, int quietMs)
{
    QStringList all;
    std::string datagram;
    while (collector.receive(datagram, quietMs))
        all << QString::fromStdString(datagram);
    return all;
}

} // namespace

// Two services on one plain database, with short ticks: a failing service is checked by the one
// that claimed it; when that one stops, the other takes the service over and, as the alarm state
// is read from the database, sends no second problem alarm; the recovery goes out once.
TEST_F(QuorveldTest, TwoServicesOnOneDatabaseNeverSendTheSameAlarmTwice)
{
    setSetting("AlarmRules", "Notify", "OnChange");
    setSetting("AlarmRules", "Recovery", "1");
    setSetting("email", "EmailDefaultTimeout", "1000");
    UdpCollector syslog;
    m_dm->ExecUpdate(QString("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) "
                             "values (\"SysLog\",1,\"127.0.0.1\",%1,\"Local Use Zero\",\"Error\")")
                         .arg(syslog.port()));
    const int id = addEveryMinute("SMTP", ScriptedServer::UnusedPort(), "\"n\",\"n\",\"n\",\"y\"");
    const QString otherSettings = m_tree->file("conf-b/SysInit.ini");
    m_tree->write("conf-b/SysInit.ini", m_tree->read("conf/SysInit.ini"));

    QProcessEnvironment fast;
    fast.insert("QUORVELD_TICK_MS", "1500");
    std::map<QString, std::unique_ptr<QuorveldProcess>> services;
    services[settingsFile] = std::make_unique<QuorveldProcess>(QStringList{"--config", settingsFile}, fast);
    services[otherSettings] = std::make_unique<QuorveldProcess>(QStringList{"--config", otherSettings}, fast);
    const auto histories = [&] { return scalar("select count(*) from quorvel.alarm_msg_history").toInt(); };

    // Three final failures: one problem alarm.
    ASSERT_TRUE(waitFor([&] { return histories() >= 3; }, 30000)) << services[settingsFile]->err();
    EXPECT_EQ(scalar("select count(*) from quorvel.engine_instance"), "2");
    QStringList alarms = drain(syslog, 1000);
    ASSERT_EQ(alarms.size(), 1) << alarms.join('\n').toStdString();

    // The one that checks it stops; the other goes on with the same failure, silently.
    const QString checker = scalar(
        QString("select instance from quorvel.service_claim where service_id=%1 order by minute desc limit 1")
            .arg(id));
    const QString stopped = checker.endsWith(otherSettings) ? otherSettings : settingsFile;
    const QString survivor = stopped == settingsFile ? otherSettings : settingsFile;
    stopCleanly(*services[stopped]);
    const int before = histories();
    ASSERT_TRUE(waitFor(
        [&] {
            return scalar(
                       QString("select count(*) from quorvel.service_claim where service_id=%1 and instance "
                               "like '%%%2'")
                           .arg(id)
                           .arg(survivor))
                       .toInt() >= 3;
        },
        30000))
        << services[survivor]->err();
    EXPECT_GT(histories(), before);
    alarms = drain(syslog, 1000);
    EXPECT_TRUE(alarms.isEmpty()) << alarms.join('\n').toStdString();

    // It recovers: one recovery notice.
    ScriptedServer smtp;
    scriptPassingSmtp(smtp, 20);
    smtp.start();
    m_dm->ExecUpdate(QString("update service set port=%1 where id=%2").arg(smtp.port()).arg(id));
    ASSERT_TRUE(waitForStatus(id, "Passed"));
    QThread::msleep(4000); // two more ticks
    alarms = drain(syslog, 1000);
    ASSERT_EQ(alarms.size(), 1) << alarms.join('\n').toStdString();
    EXPECT_TRUE(alarms.first().contains("recover", Qt::CaseInsensitive)) << alarms.first().toStdString();
    // Each tick's check was claimed once: one claim per minute and service, settled.
    EXPECT_EQ(
        scalar(QString("select count(*) from quorvel.service_claim where service_id=%1 and done_at is null "
                       "and minute<now()-interval 3 second")
                   .arg(id)),
        "0");
    stopCleanly(*services[survivor]);
}
