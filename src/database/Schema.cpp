#include "database/Schema.h"

#include <utility>

namespace {

// The services and their contacts.
std::vector<TableDefinition> serviceTables()
{
    return {
        {QStringLiteral("service"),
         QStringLiteral(
             "create table quorvel.service (id INTEGER NOT NULL AUTO_INCREMENT,PRIMARY KEY (id),service "
             "VARCHAR(50) NOT NULL,ip VARCHAR(100) NOT NULL,port INTEGER NOT NULL,username "
             "VARCHAR(50),password "
             "VARCHAR(50),schedule_by VARCHAR(10) NOT NULL DEFAULT \"Hourly\",schedule_hour VARCHAR(2) NOT "
             "NULL "
             "DEFAULT \"00\",schedule_minute VARCHAR(2) NOT NULL DEFAULT \"00\",last_access DATETIME NOT "
             "NULL "
             "DEFAULT \"0000-00-00 00:00:00\",service_status VARCHAR(10) NOT NULL DEFAULT \"Unknown\",status "
             "VARCHAR(10) NOT NULL DEFAULT \"Start\",proxy_ip VARCHAR(100),proxy_port INTEGER,proxy_username "
             "VARCHAR(50),proxy_password VARCHAR(50),url_method VARCHAR(50),ftp_proxytype "
             "VARCHAR(50),alarm_email "
             "VARCHAR(1) NOT NULL DEFAULT \"n\",alarm_smpp VARCHAR(1) NOT NULL DEFAULT \"n\",alarm_httpsms "
             "VARCHAR(1) NOT NULL DEFAULT \"n\",alarm_syslog VARCHAR(1) NOT NULL DEFAULT \"n\");"),
         {QStringLiteral("CREATE INDEX idx_service_service ON service(service);"),
          QStringLiteral("CREATE INDEX idx_service_ip ON service(ip);")}},
        {QStringLiteral("service_url"),
         QStringLiteral(
             "create table quorvel.service_url (service_id INTEGER NOT NULL,referer VARCHAR(100),cookie "
             "VARCHAR(100),headerData VARCHAR(100),userAgent VARCHAR(100),contentType "
             "VARCHAR(100),accept VARCHAR(100),acceptCharSet VARCHAR(100),acceptEncoding "
             "VARCHAR(100),acceptLanguage VARCHAR(100))"),
         {QStringLiteral("CREATE INDEX idx_service_url_sid ON service_url(service_id);")}},
        {QStringLiteral("service_url_detail"),
         QStringLiteral(
             "create table quorvel.service_url_detail (service_id INTEGER NOT NULL,fieldname "
             "VARCHAR(50) NOT NULL,fieldvalue VARCHAR(50) NOT NULL,isFile VARCHAR(1) NOT NULL DEFAULT "
             "\"n\");"),
         {QStringLiteral("CREATE INDEX idx_service_url_detail_sid ON service_url_detail(service_id);")}},
        {QStringLiteral("service_contact_person"),
         QStringLiteral("create table quorvel.service_contact_person (service_id INTEGER NOT "
                        "NULL,contact_person_id INTEGER);"),
         {QStringLiteral(
              "CREATE INDEX idx_service_contact_person_sid ON service_contact_person(service_id);"),
          QStringLiteral(
              "CREATE INDEX idx_service_contact_person_cpid ON service_contact_person(contact_person_id);")}},
        {QStringLiteral("contact_person"),
         QStringLiteral("create table quorvel.contact_person (id INTEGER NOT NULL AUTO_INCREMENT,PRIMARY KEY "
                        "(id),name VARCHAR(50),details VARCHAR(150),email VARCHAR(50),sms VARCHAR(50));"),
         {}},
        {QStringLiteral("contact_group"),
         QStringLiteral("create table quorvel.contact_group (id INTEGER NOT NULL AUTO_INCREMENT,PRIMARY KEY "
                        "(id),name VARCHAR(50));"),
         {}},
        {QStringLiteral("contact_person_group"),
         QStringLiteral("create table quorvel.contact_person_group (contact_person_id INTEGER NOT "
                        "NULL,contact_group_id INTEGER NOT NULL);"),
         {QStringLiteral(
              "CREATE INDEX idx_contact_person_group_pid ON contact_person_group(contact_person_id);"),
          QStringLiteral(
              "CREATE INDEX idx_contact_person_group_gid ON contact_person_group(contact_group_id);")}},
    };
}

// The alarms, their history and the weekly window.
std::vector<TableDefinition> alarmTables()
{
    return {
        {QStringLiteral("alarm_msg_history"),
         QStringLiteral(
             "create table alarm_msg_history ( alarm_datetime DATETIME NOT NULL DEFAULT \"0000-00-00 "
             "00:00:00\",\tservice VARCHAR(50) NOT NULL,ip VARCHAR(100) NOT NULL,\tport INTEGER NOT "
             "NULL, msg VARCHAR(255) NOT NULL, service_status VARCHAR(10) NOT NULL DEFAULT "
             "\"Unknown\");"),
         {QStringLiteral("CREATE INDEX idx_alarm_msg_history_datetime ON alarm_msg_history(alarm_datetime);"),
          QStringLiteral("CREATE INDEX idx_alarm_msg_history_service ON alarm_msg_history(service);"),
          QStringLiteral("CREATE INDEX idx_alarm_msg_history_ip ON alarm_msg_history(ip);")}},
        {QStringLiteral("alarm_method"),
         QStringLiteral(
             "create table quorvel.alarm_method (id INTEGER NOT NULL AUTO_INCREMENT,PRIMARY KEY (id),type "
             "VARCHAR(20) NOT NULL COMMENT \"The type of the method - email, snmp, sms and BSD "
             "SysLog\",enable "
             "Integer NOT NULL DEFAULT 0,ip VARCHAR(200) NOT NULL,port INTEGER NOT NULL,timeout INTEGER NOT "
             "NULL "
             "DEFAULT 5000,authenticate Integer NOT NULL DEFAULT 0 COMMENT \"For SMTP, not authenticate by "
             "default\",username VARCHAR(50),password VARCHAR(50),proxy_ip VARCHAR(100),proxy_port "
             "INTEGER,proxy_username VARCHAR(50),proxy_password VARCHAR(50),mail_agent "
             "VARCHAR(150),from_address "
             "VARCHAR(50),oa VARCHAR(50),method VARCHAR(5),field_msisdn VARCHAR(50),field_message "
             "VARCHAR(50),sms_version INTEGER NOT NULL DEFAULT 34,sms_system_type VARCHAR(50),sms_ton "
             "INTEGER "
             "NOT NULL DEFAULT 1,sms_npi INTEGER NOT NULL DEFAULT 1,sms_dest_ton INTEGER NOT NULL DEFAULT "
             "1,sms_dest_npi INTEGER NOT NULL DEFAULT 1,sms_orig_ton INTEGER NOT NULL DEFAULT 1,sms_orig_npi "
             "INTEGER NOT NULL DEFAULT 1,syslog_facility VARCHAR(50),syslog_severity VARCHAR(50));"),
         {}},
        {QStringLiteral("alarm_method_extra_fields"),
         QStringLiteral("create table quorvel.alarm_method_extra_fields (field_name VARCHAR(50),field_value "
                        "VARCHAR(50));"),
         {}},
        {QStringLiteral("scheduling"),
         QStringLiteral(
             "create table quorvel.scheduling (schedule_time integer NOT NULL DEFAULT 0,mon varchar(3) "
             "NOT NULL DEFAULT \"yes\",tue varchar(3) NOT NULL DEFAULT \"yes\",wed varchar(3) NOT NULL "
             "DEFAULT \"yes\",thu varchar(3) NOT NULL DEFAULT \"yes\",fri varchar(3) NOT NULL DEFAULT "
             "\"yes\",sat varchar(3) NOT NULL DEFAULT \"yes\",sun varchar(3) NOT NULL DEFAULT "
             "\"yes\");"),
         {QStringLiteral("CREATE INDEX idx_scheduling_time ON scheduling(schedule_time);")}},
    };
}

} // namespace

const std::vector<TableDefinition>& SchemaTables()
{
    static const std::vector<TableDefinition> tables = [] {
        std::vector<TableDefinition> all = serviceTables();
        for (TableDefinition& t : alarmTables())
            all.push_back(std::move(t));
        return all;
    }();
    return tables;
}

QStringList SchedulingSeedStatements()
{
    QStringList statements;
    for (int hour = 0; hour < 24; ++hour) {
        statements << QStringLiteral(
                          "insert into quorvel.scheduling (schedule_time,mon,tue,wed,thu,fri,sat,sun) "
                          "values (%1,\"yes\",\"yes\",\"yes\",\"yes\",\"yes\",\"yes\",\"yes\")")
                          .arg(hour);
    }
    return statements;
}

QString AlarmHistoryKeyStatement()
{
    return QStringLiteral(
        "ALTER TABLE alarm_msg_history ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD PRIMARY KEY (id);");
}

QString SchemaStepTableStatement()
{
    return QStringLiteral(
        "create table if not exists schema_step (step INTEGER NOT NULL, PRIMARY KEY (step), "
        "name VARCHAR(100) NOT NULL, applied_at DATETIME NOT NULL);");
}

namespace {

// Steps of the keys and wider columns of the first tables, alarm states and deliveries.
std::vector<SchemaStep> earlySteps()
{
    return {
        // The gateway's extra fields get a row key, so that they are read in the order they were
        // written (rows already there keep their order of writing).
        {1,
         QStringLiteral("alarm_method_extra_fields key"),
         QStringLiteral("show columns from alarm_method_extra_fields like \"id\""),
         {QStringLiteral(
             "ALTER TABLE alarm_method_extra_fields ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, "
             "ADD PRIMARY KEY (id);")}},
        // Addresses of several hundred characters are ordinary: the URL of a service, of the SMS
        // gateway and of an alarm-history row hold 2,048 characters (indexed by their first 191).
        {2,
         QStringLiteral("addresses of 2048 characters"),
         QStringLiteral("select 1 from information_schema.columns where table_schema=database() and "
                        "table_name=\"service\" and column_name=\"ip\" and character_maximum_length>=2048"),
         {QStringLiteral("ALTER TABLE service DROP INDEX idx_service_ip, MODIFY ip VARCHAR(2048) NOT NULL, "
                         "ADD INDEX idx_service_ip (ip(191))"),
          QStringLiteral("ALTER TABLE alarm_method MODIFY ip VARCHAR(2048) NOT NULL"),
          QStringLiteral(
              "ALTER TABLE alarm_msg_history DROP INDEX idx_alarm_msg_history_ip, MODIFY ip VARCHAR(2048) "
              "NOT NULL, ADD INDEX idx_alarm_msg_history_ip (ip(191))")}},
        // The alarm state of each service, beside the service row and removed with it.
        {10,
         QStringLiteral("service_alarm_state"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_alarm_state (service_id INTEGER NOT NULL PRIMARY KEY, "
             "state VARCHAR(10) NOT NULL DEFAULT \"Unknown\", failures INTEGER NOT NULL DEFAULT 0, "
             "passes INTEGER NOT NULL DEFAULT 0, changed_at DATETIME NULL, problem_sent_at DATETIME "
             "NULL, reminded_at DATETIME NULL, acknowledged_at DATETIME NULL, muted_until DATETIME "
             "NULL)")}},
        // The alarms sent, one row per delivery and its state, for a console on the same database.
        {11,
         QStringLiteral("alarm_delivery"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS alarm_delivery (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, "
             "sent_at DATETIME NOT NULL, message VARCHAR(2048) NOT NULL DEFAULT \"\", method VARCHAR(20) "
             "NOT NULL DEFAULT \"\", recipient VARCHAR(2048) NOT NULL DEFAULT \"\", status VARCHAR(40) "
             "NOT NULL DEFAULT \"\", INDEX idx_alarm_delivery_sent_at (sent_at))")}},
    };
}

// Steps of the check results and their daily summaries.
std::vector<SchemaStep> resultSteps()
{
    return {
        // Every scheduled check's result, kept for [Results] KeepDays: when it was judged, the
        // verdict, the time from the first connect to the verdict, and the detail text. The index
        // by time holds what the 24-hour counts read, so that they never visit the rows.
        {20,
         QStringLiteral("service_result"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_result (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, "
             "service_id INTEGER NOT NULL, checked_at DATETIME(3) NOT NULL, passed TINYINT NOT NULL, "
             "response_ms INTEGER NOT NULL, detail VARCHAR(255) NOT NULL DEFAULT \"\", "
             "INDEX idx_service_result_service (service_id, checked_at), "
             "INDEX idx_service_result_checked (checked_at, service_id, passed, response_ms))")}},
        // One summary per service and day, kept for ever: the checks and passes, and the response
        // times of the passes (minimum, mean, maximum, 95th percentile). `closed` marks a day
        // whose figures were made exact from its results once it was over.
        {21,
         QStringLiteral("service_day"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_day (service_id INTEGER NOT NULL, day DATE NOT NULL, "
             "checks INTEGER NOT NULL DEFAULT 0, passes INTEGER NOT NULL DEFAULT 0, min_ms INTEGER NULL, "
             "avg_ms DOUBLE NULL, max_ms INTEGER NULL, p95_ms INTEGER NULL, closed TINYINT NOT NULL "
             "DEFAULT 0, PRIMARY KEY (service_id, day), INDEX idx_service_day_closed (closed, day))")}},
        // One service's results over a range (the response-time chart, its counts and state
        // changes) read from the index alone: with the results of all services stored minute by
        // minute, a service's rows lie spread over the table, and a month of them visited row by
        // row takes seconds.
        {22,
         QStringLiteral("service_result index with verdict and response time"),
         QStringLiteral("select 1 from information_schema.statistics where table_schema=database() and "
                        "table_name=\"service_result\" and index_name=\"idx_service_result_service\" and "
                        "column_name=\"response_ms\""),
         {QStringLiteral("ALTER TABLE service_result DROP INDEX idx_service_result_service, ADD INDEX "
                         "idx_service_result_service (service_id, checked_at, passed, response_ms)")}},
    };
}

// Steps of the several monitors on one database, and row keys on every table.
std::vector<SchemaStep> clusterSteps()
{
    return {
        // Several monitors on one database: each registers itself with a heartbeat, and claims
        // each due service for the minute of its tick before it checks it.
        {30,
         QStringLiteral("engine_instance"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS engine_instance (name VARCHAR(191) NOT NULL PRIMARY KEY, host "
             "VARCHAR(255) NOT NULL DEFAULT \"\", pid BIGINT NOT NULL DEFAULT 0, version VARCHAR(50) NOT "
             "NULL "
             "DEFAULT \"\", started DATETIME NULL, heartbeat DATETIME NULL, last_tick DATETIME(3) NULL, "
             "tick_ms INTEGER NOT NULL DEFAULT 60000)")}},
        {31,
         QStringLiteral("service_claim"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_claim (service_id INTEGER NOT NULL, minute DATETIME "
             "NOT NULL, instance VARCHAR(191) NOT NULL, claimed_at DATETIME NOT NULL, done_at "
             "DATETIME NULL, PRIMARY KEY (service_id, minute), INDEX idx_service_claim_minute "
             "(minute))")}},
        // Every table gets a row key (a clustered server replicates rows by their key); rows kept.
        {32,
         QStringLiteral("service_url key"),
         QStringLiteral("show columns from service_url like \"id\""),
         {QStringLiteral(
             "ALTER TABLE service_url ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD PRIMARY KEY (id)")}},
        {33,
         QStringLiteral("service_url_detail key"),
         QStringLiteral("show columns from service_url_detail like \"id\""),
         {QStringLiteral("ALTER TABLE service_url_detail ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD "
                         "PRIMARY KEY (id)")}},
        {34,
         QStringLiteral("service_contact_person key"),
         QStringLiteral("show columns from service_contact_person like \"id\""),
         {QStringLiteral(
             "ALTER TABLE service_contact_person ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD "
             "PRIMARY KEY (id)")}},
        {35,
         QStringLiteral("contact_person_group key"),
         QStringLiteral("show columns from contact_person_group like \"id\""),
         {QStringLiteral(
             "ALTER TABLE contact_person_group ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD "
             "PRIMARY KEY (id)")}},
        {36,
         QStringLiteral("scheduling key"),
         QStringLiteral("show columns from scheduling like \"id\""),
         {QStringLiteral(
             "ALTER TABLE scheduling ADD COLUMN id INTEGER NOT NULL AUTO_INCREMENT, ADD PRIMARY KEY (id)")}},
    };
}

// Steps of the options of the service kinds.
std::vector<SchemaStep> kindSteps()
{
    return {
        // The options of the "TCP" and "DNS" kinds, one row per service that has any, removed
        // with the service. The texts: a line sent and a text expected in the first reply
        // ("TCP"); a record type, a value an answer must equal and the server asked ("DNS").
        {40,
         QStringLiteral("service_check_option"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_check_option (service_id INTEGER NOT NULL PRIMARY KEY, "
             "send_text VARCHAR(255) NOT NULL DEFAULT \"\", expect_text VARCHAR(255) NOT NULL DEFAULT \"\", "
             "record_type VARCHAR(10) NOT NULL DEFAULT \"\", expect_value VARCHAR(255) NOT NULL DEFAULT "
             "\"\", dns_server VARCHAR(255) NOT NULL DEFAULT \"\")")}},
        // What a "URL" service expects in the body of its answer, at most one row per service,
        // removed with the service: a mode ("contains", "not-contains", "matches", "json") and
        // its text (the text, the pattern, or POINTER=VALUE).
        {41,
         QStringLiteral("service_url_expect"),
         QString(),
         {QStringLiteral(
             "CREATE TABLE IF NOT EXISTS service_url_expect (service_id INTEGER NOT NULL PRIMARY KEY, "
             "mode VARCHAR(20) NOT NULL, expect_text VARCHAR(1024) NOT NULL)")}},
        // How a "Certificate" service starts TLS: empty for TLS from the first byte, or the
        // protocol whose switch command is used first ("smtp", "imap", "pop3", "ftp").
        {42,
         QStringLiteral("service_check_option starttls"),
         QStringLiteral("show columns from service_check_option like \"starttls\""),
         {QStringLiteral(
             "ALTER TABLE service_check_option ADD COLUMN starttls VARCHAR(10) NOT NULL DEFAULT \"\"")}},
    };
}

} // namespace

const std::vector<SchemaStep>& SchemaSteps()
{
    // Each feature adds its steps to its group, in ascending order of number.
    static const std::vector<SchemaStep> steps = [] {
        std::vector<SchemaStep> all;
        for (auto group : {earlySteps, resultSteps, clusterSteps, kindSteps}) {
            for (SchemaStep& step : group())
                all.push_back(std::move(step));
        }
        return all;
    }();
    return steps;
}
