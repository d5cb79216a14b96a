#include "core/AlarmMethodSettings.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "database/AlarmHistory.h"
#include "database/AlarmMethodLoader.h"
#include "database/DataModuleQuorvel.h"
#include "database/Schema.h"
#include "database/dbcomFunc.h"
#include "support/DatabaseFixture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSqlError>
#include <QVariant>

namespace {

const char* const kTables[] = {"alarm_delivery",       "alarm_method",      "alarm_method_extra_fields",
                               "alarm_msg_history",    "contact_group",     "contact_person",
                               "contact_person_group", "engine_instance",   "scheduling",
                               "schema_step",          "service",           "service_alarm_state",
                               "service_check_option", "service_claim",     "service_contact_person",
                               "service_day",          "service_result",    "service_url",
                               "service_url_detail",   "service_url_expect"};

class DatabaseTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
    }

    QString tableList() const
    {
        return scalar("select group_concat(table_name order by table_name) from information_schema.tables "
                      "where table_schema='quorvel'");
    }
    QString indexList() const
    {
        return scalar("select group_concat(distinct index_name order by index_name) from "
                      "information_schema.statistics where table_schema='quorvel' and index_name<>'PRIMARY'");
    }
    // alarm_msg_history made by its create statement and indexes alone, as before it had a key.
    void makeHistoryWithoutKey()
    {
        m_dm->ExecUpdate("drop table alarm_msg_history");
        for (const TableDefinition& table : SchemaTables()) {
            if (table.name != "alarm_msg_history")
                continue;
            m_dm->ExecUpdate(table.create);
            for (const QString& index : table.indexes)
                m_dm->ExecUpdate(index);
        }
    }
    int linesContaining(const QString& text) const
    {
        int n = 0;
        for (const QString& line : systemLogLines())
            n += line.contains(text) ? 1 : 0;
        return n;
    }
};

TEST_F(DatabaseTest, FirstStartCreatesTheDatabaseTablesIndexesAndWeeklyWindow)
{
    startWithoutDatabase();
    EXPECT_FALSE(m_dm->ConnectDatabase(false));
    EXPECT_EQ(linesContaining("[ERROR] ERR00101 : Connot make connection to MySQL database. : "), 1);
    ASSERT_TRUE(m_dm->ConnectDatabase(true));
    m_dm->CreateDatabaseAndTables();
    EXPECT_TRUE(m_dm->IsConnected());
    EXPECT_EQ(m_quit.requests, 0);
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();

    QStringList expected;
    for (const char* t : kTables)
        expected << t;
    EXPECT_EQ(tableList(), expected.join(','));
    EXPECT_EQ(scalar("select count(distinct table_name,index_name) from information_schema.statistics where "
                     "table_schema='quorvel' and index_name<>'PRIMARY'"),
              "17");
    // Every table has a row key (a clustered server needs one to replicate rows).
    EXPECT_EQ(scalar("select group_concat(t.table_name) from information_schema.tables t where "
                     "t.table_schema='quorvel' and not exists (select 1 from information_schema.statistics s "
                     "where s.table_schema=t.table_schema and s.table_name=t.table_name and "
                     "s.index_name='PRIMARY')"),
              "");
    EXPECT_EQ(
        scalar("select count(*) from quorvel.scheduling where mon='yes' and tue='yes' and wed='yes' and "
               "thu='yes' and fri='yes' and sat='yes' and sun='yes'"),
        "24");
    EXPECT_EQ(scalar("select group_concat(schedule_time order by schedule_time) from quorvel.scheduling"),
              "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23");
    EXPECT_EQ(scalar("select count(*) from quorvel.alarm_method"), "0");

    // A service row with only the columns the dialogs name takes the defaults.
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"Ping\",\"h\",0)");
    EXPECT_EQ(scalar("select concat_ws('|',service_status,status,alarm_email,alarm_smpp,alarm_httpsms,"
                     "alarm_syslog,last_access) from quorvel.service"),
              "Unknown|Start|n|n|n|n|0000-00-00 00:00:00");
}

TEST_F(DatabaseTest, MissingTableIsRecreatedAloneWithItsIndexAndRows)
{
    startWithDatabase();
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"Ping\",\"kept\",0)");
    m_dm->ExecUpdate("drop table scheduling");
    ASSERT_TRUE(m_dm->ConnectDatabase(false));
    m_dm->CreateMissingTables();
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
    EXPECT_EQ(scalar("select count(*) from quorvel.scheduling"), "24");
    EXPECT_EQ(scalar("select count(*) from information_schema.statistics where table_schema='quorvel' and "
                     "index_name='idx_scheduling_time'"),
              "1");
    EXPECT_EQ(scalar("select ip from quorvel.service"), "kept");
    EXPECT_EQ(indexList().split(',').size(), 17);
}

// Tables made by an earlier version without a row key get one at the next start, with their rows.
TEST_F(DatabaseTest, TablesMadeWithoutARowKeyGetOneAndKeepTheirRows)
{
    startWithDatabase();
    const struct
    {
        const char* table;
        const char* step;
        const char* insert;
    } cases[] = {
        {"service_url", "32", "insert into service_url (service_id,referer) values (5,\"r\"),(5,\"s\")"},
        {"service_url_detail", "33",
         "insert into service_url_detail (service_id,fieldname,fieldvalue) values "
         "(5,\"a\",\"1\"),(5,\"b\",\"2\")"},
        {"service_contact_person", "34",
         "insert into service_contact_person (service_id,contact_person_id) values (5,1),(5,1)"},
        {"contact_person_group", "35",
         "insert into contact_person_group (contact_person_id,contact_group_id) values (1,2),(1,2)"},
        {"scheduling", "36", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        m_dm->ExecUpdate(QString("alter table %1 drop primary key, drop column id").arg(c.table));
        m_dm->ExecUpdate(QString("delete from schema_step where step=%1").arg(c.step));
        if (c.insert)
            m_dm->ExecUpdate(c.insert);
    }
    m_dm->CreateMissingTables();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        EXPECT_EQ(
            scalar(QString("select count(*) from information_schema.statistics where table_schema='quorvel' "
                           "and table_name='%1' and index_name='PRIMARY'")
                       .arg(c.table)),
            "1");
        EXPECT_EQ(scalar(QString("select count(distinct id) from quorvel.%1").arg(c.table)),
                  c.insert ? "2" : "24");
    }
}

TEST_F(DatabaseTest, AlarmHistoryGetsItsRowKeyWhetherNewOrMadeWithoutIt)
{
    startWithDatabase();
    const char* key = "select column_key from information_schema.columns where table_schema='quorvel' and "
                      "table_name='alarm_msg_history' and column_name='id'";
    EXPECT_EQ(scalar(key), "PRI") << "a new table gets the key";

    // A table as an earlier version made it, holding rows.
    makeHistoryWithoutKey();
    const char* insert = "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                         "values (\"2024-01-01 00:00:00\",\"Ping\",\"h\",0,\"%1\",\"Failed\")";
    for (const char* msg : {"c", "a", "b"})
        m_dm->ExecUpdate(QString(insert).arg(msg));
    ASSERT_TRUE(scalar(key).startsWith("<error")) << "no key yet";

    ASSERT_TRUE(m_dm->ConnectDatabase(false));
    m_dm->CreateMissingTables();
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
    EXPECT_EQ(scalar(key), "PRI");
    EXPECT_EQ(scalar("select group_concat(concat(id,':',msg) order by id) from quorvel.alarm_msg_history"),
              "1:c,2:a,3:b")
        << "the rows keep their order of writing";
    EXPECT_EQ(indexList().split(',').size(), 17);

    // The program's own insert goes on working, and a later start changes nothing.
    m_dm->ExecUpdate(QString(insert).arg("d"));
    m_dm->CreateMissingTables();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(scalar("select group_concat(concat(id,':',msg) order by id) from quorvel.alarm_msg_history"),
              "1:c,2:a,3:b,4:d");
}

TEST_F(DatabaseTest, SchemaStepsApplyOnceInOrderAndAFailedStepIsTriedAgain)
{
    startWithDatabase();
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"Ping\",\"kept\",0)");
    std::vector<SchemaStep> steps{
        {901, "t1", {}, {"create table step_a (id INTEGER NOT NULL, PRIMARY KEY (id))"}},
        // Already in place: only recorded, its statement would fail.
        {902, "t2", "show tables like \"step_a\"", {"create table step_a (id INTEGER)"}},
        {903, "t3", {}, {"alter table service add column step_c INTEGER NOT NULL DEFAULT 7"}},
    };
    ASSERT_TRUE(m_dm->ApplySchemaSteps(steps));
    EXPECT_EQ(scalar("select group_concat(step order by step) from quorvel.schema_step where step>900"),
              "901,902,903");
    EXPECT_EQ(scalar("select concat(ip,':',step_c) from quorvel.service"), "kept:7");
    // A second start changes nothing (the statements would fail if run again).
    ASSERT_TRUE(m_dm->ApplySchemaSteps(steps));
    EXPECT_EQ(linesContaining("ERR00105"), 0);

    // A failing step is logged, stops the later ones, and is applied at a later start.
    steps.push_back({904, "t4", {}, {"alter table step_missing add column x INTEGER"}});
    steps.push_back({905, "t5", {}, {"create table step_e (id INTEGER)"}});
    EXPECT_FALSE(m_dm->ApplySchemaSteps(steps));
    EXPECT_EQ(linesContaining("[ERROR] ERR00105 : Cannot create MySQL table. : "), 1);
    EXPECT_EQ(scalar("select group_concat(step order by step) from quorvel.schema_step where step>903"), "");
    m_dm->ExecUpdate("create table step_missing (id INTEGER)");
    EXPECT_TRUE(m_dm->ApplySchemaSteps(steps));
    EXPECT_EQ(scalar("select group_concat(step order by step) from quorvel.schema_step where step>903"),
              "904,905");
    EXPECT_EQ(m_quit.requests, 0);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(DatabaseTest, ExtraFieldsMadeWithoutAKeyGetOneInTheirOrderOfWriting)
{
    startWithDatabase();
    m_dm->ExecUpdate("drop table alarm_method_extra_fields");
    m_dm->ExecUpdate("create table quorvel.alarm_method_extra_fields (field_name VARCHAR(50),field_value "
                     "VARCHAR(50));");
    for (const char* name : {"c", "a", "b"})
        m_dm->ExecUpdate(
            QStringLiteral("insert into alarm_method_extra_fields values (\"%1\",\"v\")").arg(name));
    m_dm->ExecUpdate("delete from schema_step where step=1");
    m_dm->CreateMissingTables();
    EXPECT_EQ(linesContaining("ERR00105"), 0);
    EXPECT_EQ(scalar("select group_concat(concat(id,':',field_name) order by id) from "
                     "quorvel.alarm_method_extra_fields"),
              "1:c,2:a,3:b");
}

// A database made before addresses were widened: its 100-character address columns become
// 2,048 characters at the next start, every row kept, and a long URL is then stored whole.
TEST_F(DatabaseTest, AnOlderDatabaseGetsAddressesOf2048CharactersAndKeepsItsRows)
{
    startWithDatabase();
    m_dm->ExecUpdate(
        "ALTER TABLE service DROP INDEX idx_service_ip, MODIFY ip VARCHAR(100) NOT NULL, ADD INDEX "
        "idx_service_ip (ip)");
    m_dm->ExecUpdate("ALTER TABLE alarm_method MODIFY ip VARCHAR(200) NOT NULL");
    m_dm->ExecUpdate(
        "ALTER TABLE alarm_msg_history DROP INDEX idx_alarm_msg_history_ip, MODIFY ip VARCHAR(100) "
        "NOT NULL, ADD INDEX idx_alarm_msg_history_ip (ip)");
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"URL\",\"www.example.com/kept\",80)");
    m_dm->ExecUpdate("delete from schema_step where step=2");
    m_dm->CreateMissingTables();
    EXPECT_EQ(linesContaining("ERR00105"), 0);
    EXPECT_EQ(
        scalar("select group_concat(concat(table_name,'.',character_maximum_length) order by table_name) "
               "from information_schema.columns where table_schema='quorvel' and column_name='ip' and "
               "table_name in ('service','alarm_method','alarm_msg_history')"),
        "alarm_method.2048,alarm_msg_history.2048,service.2048");
    EXPECT_EQ(scalar("select ip from quorvel.service"), "www.example.com/kept");
    const QString longUrl = "www.example.com/" + QString(290, 'p');
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"URL\"," + QuoteSqlText(longUrl) +
                     ",80)");
    EXPECT_EQ(scalar("select max(length(ip)) from quorvel.service"), QString::number(longUrl.size()));
    EXPECT_EQ(scalar("select count(*) from information_schema.statistics where table_schema='quorvel' and "
                     "index_name in ('idx_service_ip','idx_alarm_msg_history_ip')"),
              "2");
}

// A database made before the certificate kind: its options table gains the STARTTLS column at
// the next start, the TCP and DNS rows kept with an empty mode.
TEST_F(DatabaseTest, AnOlderOptionsTableGetsTheStartTlsColumnAndKeepsItsRows)
{
    startWithDatabase();
    m_dm->ExecUpdate("ALTER TABLE service_check_option DROP COLUMN starttls");
    m_dm->ExecUpdate("insert into service_check_option (service_id,send_text,expect_text) values (7,\"CAPA\","
                     "\"+OK\")");
    m_dm->ExecUpdate("delete from schema_step where step=42");
    m_dm->CreateMissingTables();
    EXPECT_EQ(linesContaining("ERR00105"), 0);
    EXPECT_EQ(scalar("select concat_ws('|',service_id,send_text,expect_text,starttls) from "
                     "quorvel.service_check_option"),
              "7|CAPA|+OK|");
    EXPECT_EQ(scalar("select name from quorvel.schema_step where step=42"), "service_check_option starttls");
}

TEST_F(DatabaseTest, AHistoryKeyTheServerRefusesIsLoggedAndTheProgramGoesOn)
{
    startWithDatabase();
    makeHistoryWithoutKey();
    scalar("drop user if exists 'quorvel_noalter'@'%'");
    scalar("create user 'quorvel_noalter'@'%'");
    scalar("grant select, insert, update, delete, create on quorvel.* to 'quorvel_noalter'@'%'");
    AppSettings.DBUsername = "quorvel_noalter";
    ASSERT_TRUE(m_dm->ConnectDatabase(false));
    m_dm->CreateMissingTables();
    scalar("drop user 'quorvel_noalter'@'%'");
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
    EXPECT_EQ(m_quit.requests, 0);
    EXPECT_EQ(linesContaining("[ERROR] ERR00105 : Cannot create MySQL table. : "), 1);
    EXPECT_TRUE(scalar("select column_key from information_schema.columns where table_schema='quorvel' and "
                       "table_name='alarm_msg_history' and column_name='id'")
                    .startsWith("<error"));
}

TEST_F(DatabaseTest, WrongPasswordFailsBothConnectionsWithTwoLogLines)
{
    startWithDatabase();
    AppSettings.DBPassword = "wrong";
    EXPECT_FALSE(m_dm->ConnectDatabase(false));
    EXPECT_FALSE(m_dm->ConnectDatabase(true));
    EXPECT_FALSE(m_dm->IsConnected());
    EXPECT_EQ(linesContaining("[ERROR] ERR00101 : Connot make connection to MySQL database. : "), 2);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(DatabaseTest, SeveralHostsAreTriedInOrderAndTheLogNamesTheOneInUse)
{
    const std::vector<std::pair<QString, QStringList>> lists = {
        {"db1", {"db1"}},
        {" db1 , db2,,localhost ", {"db1", "db2", "127.0.0.1"}},
        {"LocalHost", {"127.0.0.1"}},
        {",", {}},
    };
    for (const auto& [setting, hosts] : lists)
        EXPECT_EQ(DatabaseHosts(setting), hosts) << setting.toStdString();

    // Each entry may carry its own port (cluster nodes on one machine); the rest take Port.
    struct Split
    {
        QString entry;
        QString host;
        int port;
    };
    const std::vector<Split> splits = {
        {"db1", "db1", 3306},
        {"db1:3307", "db1", 3307},
        {"localhost:3308", "127.0.0.1", 3308},
        {"[::1]:3309", "::1", 3309},
        {"[::1]", "::1", 3306},
        {"fe80::1", "fe80::1", 3306}, // a bare IPv6 address has no port of its own
        {"db1:0", "db1", 3306},
        {"db1:70000", "db1", 3306},
        {"db1:x", "db1", 3306},
    };
    for (const Split& split : splits) {
        QString host;
        int port = 0;
        SplitDatabaseHost(split.entry, 3306, &host, &port);
        EXPECT_EQ(host, split.host) << split.entry.toStdString();
        EXPECT_EQ(port, split.port) << split.entry.toStdString();
    }

    startWithDatabase();
    const QString server = AppSettings.DBHost;
    const QString port = AppSettings.DBPort;
    AppSettings.DBHost = "nohost.invalid, " + server;
    ASSERT_TRUE(m_dm->ConnectDatabase(false));
    EXPECT_EQ(
        linesContaining("[INFO] Database connection to " + DatabaseHosts(server).first() + ":" + port + "."),
        1);
    EXPECT_EQ(linesContaining("ERR00101"), 0);

    // The server's own port on its entry wins over a Port where nothing listens.
    AppSettings.DBPort = "1";
    AppSettings.DBHost = "nohost.invalid," + server + ":" + port;
    ASSERT_TRUE(m_dm->ConnectDatabase(false));
    EXPECT_EQ(
        linesContaining("[INFO] Database connection to " + DatabaseHosts(server).first() + ":" + port + "."),
        2);
    EXPECT_EQ(linesContaining("ERR00101"), 0);
    AppSettings.DBPort = port;

    // None answers: one line that names each host with its failure.
    AppSettings.DBHost = "nohost.invalid,nohost2.invalid";
    EXPECT_FALSE(m_dm->ConnectDatabase(false));
    ASSERT_EQ(linesContaining("ERR00101"), 1);
    EXPECT_EQ(linesContaining("nohost.invalid: "), 1);
    EXPECT_EQ(linesContaining("; nohost2.invalid: "), 1);
}

TEST_F(DatabaseTest, UnreachableServerFailsWithinTheConnectTimeout)
{
    startWithoutDatabase();
    AppSettings.DBPort = "1"; // nothing listens there
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(m_dm->ConnectDatabase(false));
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_EQ(linesContaining("ERR00101"), 1);
}

TEST_F(DatabaseTest, LoginConnectValidatesThePortThenConnectsOrBootstraps)
{
    startWithoutDatabase();
    const QString host = AppSettings.DBHost;
    const QString port = AppSettings.DBPort;
    for (const char* bad : {"8a", ""}) {
        EXPECT_EQ(LoginConnect(host, bad, "root", ""), LoginConnectResult::InvalidPort);
        ASSERT_FALSE(m_boxes.boxes.empty());
        EXPECT_EQ(m_boxes.boxes.back().first, Notifier::Kind::Information);
        EXPECT_EQ(m_boxes.boxes.back().second, "Database Port is invalid integer or empty.");
    }
    EXPECT_EQ(AppSettings.DBPort, port) << "nothing is taken over from a refused form";
    EXPECT_EQ(linesContaining("ERR00101"), 0) << "no connection is attempted";

    m_boxes.boxes.clear();
    EXPECT_EQ(LoginConnect(host, port, "root", "wrong"), LoginConnectResult::Failed);
    EXPECT_EQ(AppSettings.DBPassword, "wrong");
    EXPECT_EQ(LoginConnect(host, port, "root", ""), LoginConnectResult::FirstStartCreated);
    EXPECT_EQ(m_boxes.texts(), QStringList{"Please be patient, it may take a few second for first start."});
    EXPECT_EQ(LoginConnect(host, port, "root", ""), LoginConnectResult::Connected);
    EXPECT_EQ(linesContaining("[INFO] Application starts."), 2);
}

TEST_F(DatabaseTest, FailingSchemaStatementsAreReportedAndTheRestStillRun)
{
    startWithDatabase();
    m_dm->ExecuteStatement("create table quorvel.service (id INTEGER)"); // exists already
    m_dm->ExecuteStatement("create table quorvel.extra_one (id INTEGER)");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Notifier::Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith("ERR00105 : Cannot create MySQL table. : "));
    EXPECT_GT(m_boxes.boxes[0].second.size(), 45);
    EXPECT_EQ(linesContaining("[ERROR] ERR00105 : Cannot create MySQL table."), 1);
    EXPECT_FALSE(systemLogLines().join('\n').contains("ERR00105 : Cannot create MySQL table. : "));
    EXPECT_EQ(m_quit.requests, 1);
    EXPECT_EQ(scalar("select count(*) from information_schema.tables where table_name='extra_one'"), "1");

    ASSERT_TRUE(m_dm->ConnectDatabase(true));
    m_dm->CreateDatabaseAndTables(); // the database exists already
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_TRUE(m_boxes.boxes[1].second.startsWith("ERR00104 : Cannot create MySQL database. : "));
    EXPECT_EQ(linesContaining("[ERROR] ERR00104 : Cannot create MySQL database."), 1);
    EXPECT_EQ(m_quit.requests, 2);
}

TEST_F(DatabaseTest, QuotedTextReadsBackIdenticalAndCannotChangeAStatement)
{
    startWithDatabase();
    const QString texts[] = {
        QString::fromUtf8("Zoë \"ops\" \\ team"),
        QString::fromUtf8("line one\r\nline two\n"),
        QStringLiteral("\"); drop table service; --"),
        QStringLiteral("ends with a backslash \\"),
        QStringLiteral("it's \\\" both"),
        QString::fromUtf8("nul \0 and ctrl-z \x1a", 20),
        QString::fromUtf8("日本語 ✓"),
    };
    for (const QString& text : texts) {
        m_dm->ExecUpdate("delete from contact_person");
        m_dm->ExecUpdate("insert into contact_person (name,details) values (" + QuoteSqlText(text) +
                         ",\"d\")");
        QSqlQuery& q = m_dm->ExecSelect("select name,details from contact_person");
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), text);
        EXPECT_EQ(q.value(1).toString(), "d");
        EXPECT_FALSE(q.next());
        EXPECT_EQ(SelectIdBy("contact_person", "name", text), MaxId("contact_person"));
    }
    EXPECT_EQ(scalar("select count(*) from information_schema.tables where table_schema='quorvel'"),
              QString::number(std::size(kTables)));
}

TEST_F(DatabaseTest, UniquenessIdLookupAndHighestId)
{
    startWithDatabase();
    EXPECT_EQ(MaxId("service"), 0);
    EXPECT_EQ(SelectIdBy("contact_group", "name", "nobody"), 0);
    m_dm->ExecUpdate("insert into contact_group (name) values (\"Ops\")");
    m_dm->ExecUpdate("insert into contact_group (name) values (\"Dev\")");
    const int ops = SelectIdBy("contact_group", "name", "Ops");
    EXPECT_GT(ops, 0);
    EXPECT_EQ(MaxId("contact_group"), ops + 1);
    EXPECT_FALSE(IsUnique("contact_group", "name", "Ops", 0));
    EXPECT_TRUE(IsUnique("contact_group", "name", "Ops", ops));
    EXPECT_FALSE(IsUnique("contact_group", "name", "Ops", ops + 1));
    EXPECT_TRUE(IsUnique("contact_group", "name", "Nobody", 0));
    EXPECT_FALSE(IsUnique("contact_group", "", "", ops)) << "the other row remains";
    EXPECT_FALSE(IsUnique("contact_group", "name", "", ops)) << "a half condition counts every row";
}

TEST_F(DatabaseTest, ServerGoingAwayMakesStatementsFailWithoutCrashing)
{
    startWithDatabase();
    const QString id = [this] {
        QSqlQuery& q = m_dm->ExecSelect("select connection_id()");
        return q.next() ? q.value(0).toString() : QString();
    }();
    ASSERT_FALSE(id.isEmpty());
    scalar("kill " + id);
    EXPECT_THROW(m_dm->ExecSelect("select 1"), DatabaseError);
    EXPECT_THROW(MaxId("service"), DatabaseError);
    // The alarm line still reaches its file before the insert fails to the caller.
    EXPECT_THROW(WriteAlarmMessageLog("2007-05-01 13:45:07", "URL", "h", "80", "m", "Failed"), DatabaseError);
    EXPECT_FALSE(
        m_tree->read("log/AlarmMsg_" + QDate::currentDate().toString("yyyy-MM-dd") + ".log").isEmpty());
    EXPECT_FALSE(m_dm->TableExists("service"));
    EXPECT_THROW(HouseKeepLogs(), DatabaseError);
}

TEST_F(DatabaseTest, AlarmMethodsAreLoadedByType)
{
    startWithDatabase();
    AlarmMethodSettings = AlarmMethodSettingsRecord();
    LoadAlarmMethods();
    EXPECT_FALSE(AlarmMethodSettings.EmailMethod.enable);
    EXPECT_FALSE(AlarmMethodSettings.SmsMethod.enable);
    EXPECT_FALSE(AlarmMethodSettings.HttpSmsMethod.enable);
    EXPECT_FALSE(AlarmMethodSettings.SysLogMethod.enable);

    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,timeout,authenticate,username,password,"
        "mail_agent,from_address) values (\"Email\",1,\"http://mail.example\",25,3000,1,\"u\",\"p\","
        "\"Quorvel\",\"q@example\")");
    m_dm->ExecUpdate(
        "insert into alarm_method (type,enable,ip,port,method,field_msisdn,field_message,proxy_ip,"
        "proxy_port) values (\"SMS by HTTP\",1,\"gw.example/send\",8080,\"Post\",\"to\",\"text\","
        "\"proxy\",3128)");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port,syslog_facility,syslog_severity) values "
                     "(\"SysLog\",1,\"HTTP://log.example\",514,\"UUCP\",\"Warning\")");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port,oa,sms_version,sms_dest_ton) values "
                     "(\"SMS\",0,\"smsc\",2775,\"Quorvel\",34,5)");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port) values (\"SNMP\",1,\"snmp\",161)");
    m_dm->ExecUpdate("insert into alarm_method (type,enable,ip,port) values (\"sysLog\",0,\"ignored\",1)");
    m_dm->ExecUpdate("insert into alarm_method_extra_fields (field_name,field_value) values "
                     "(\"user\",\"ops\"),(\"key\",\"k=1\")");
    LoadAlarmMethods();

    const auto& s = AlarmMethodSettings;
    EXPECT_TRUE(s.EmailMethod.enable);
    EXPECT_EQ(s.EmailMethod.ip, "mail.example");
    EXPECT_EQ(s.EmailMethod.port, 25);
    EXPECT_EQ(s.EmailMethod.timeout, 3000);
    EXPECT_TRUE(s.EmailMethod.authenticate);
    EXPECT_EQ(s.EmailMethod.mail_agent, "Quorvel");
    EXPECT_EQ(s.EmailMethod.from_address, "q@example");
    EXPECT_EQ(s.HttpSmsMethod.ip, "http://gw.example/send");
    EXPECT_EQ(s.HttpSmsMethod.proxy_port, 3128);
    EXPECT_EQ(s.HttpSmsExtraFields, QStringList({"user=ops", "key=k=1"}));
    EXPECT_EQ(s.SysLogMethod.ip, "log.example");
    EXPECT_EQ(s.SysLogMethod.facility, 8);
    EXPECT_EQ(s.SysLogMethod.severity, 4);
    EXPECT_EQ(s.SysLogMethod.timeout, 5000) << "column default";
    EXPECT_FALSE(s.SmsMethod.enable);
    EXPECT_EQ(s.SmsMethod.oa, "Quorvel");
    EXPECT_EQ(s.SmsMethod.sms_dest_ton, 5);
    EXPECT_EQ(s.SmsMethod.sms_npi, 1);

    // A "Get" gateway sends no extra fields; a deleted row leaves its method as it was.
    m_dm->ExecUpdate("update alarm_method set method=\"Get\" where type=\"SMS by HTTP\"");
    m_dm->ExecUpdate("delete from alarm_method where type=\"Email\"");
    LoadAlarmMethods();
    EXPECT_TRUE(s.HttpSmsExtraFields.isEmpty());
    EXPECT_TRUE(s.EmailMethod.enable);
}

TEST(SyslogCodes, NamesGiveTheirCodes)
{
    EXPECT_EQ(FacilityCode("Kernel"), 0);
    EXPECT_EQ(FacilityCode("UUCP"), 8);
    EXPECT_EQ(FacilityCode("Clock Daemon One"), 9);
    EXPECT_EQ(FacilityCode("Local Use Seven"), 23);
    EXPECT_EQ(FacilityCode("uucp"), 0);
    EXPECT_EQ(SeverityCode("Emergency"), 0);
    EXPECT_EQ(SeverityCode("Debug"), 7);
    EXPECT_EQ(SeverityCode("Unknown"), 0);
}

} // namespace
