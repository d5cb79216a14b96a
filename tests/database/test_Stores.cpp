// The stores' own logic on the real database: the transactions that keep a half-done write
// from staying behind, the orders their lists come in and the reading of their rows.
#include "core/AlarmMethodSettings.h"
#include "database/AlarmHistoryReader.h"
#include "database/AlarmMethodLoader.h"
#include "database/AlarmMethodStore.h"
#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "database/ServiceStore.h"
#include "database/WeeklyWindowStore.h"
#include "support/DatabaseFixture.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QVariant>

namespace {

class StoreTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
    }

    int count(const QString& fromWhere) const
    {
        return scalar("select count(*) from quorvel." + fromWhere).toInt();
    }
    int personId(const QString& name) const
    {
        return scalar("select id from quorvel.contact_person where name=\"" + name + "\"").toInt();
    }
    void addPersons(const QStringList& names)
    {
        for (const QString& name : names)
            ContactStore::InsertPerson({0, name, "d " + name, name + "@example", "+1" + name});
    }
};

// ---- contacts ---------------------------------------------------------------------------------

TEST_F(StoreTest, PersonsAreListedByIdOrByNameAndTheirTextsComeBackAsTyped)
{
    addPersons({"carol", "alice", "bob \"the\" \\ one"});
    const QList<ContactPerson> rows = ContactStore::PersonRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].Name, "carol");
    EXPECT_EQ(rows[1].Name, "alice");
    EXPECT_EQ(rows[2].Name, "bob \"the\" \\ one");
    EXPECT_EQ(rows[2].Details, "d bob \"the\" \\ one");
    EXPECT_EQ(rows[0].Email, "carol@example");
    EXPECT_EQ(rows[0].Sms, "+1carol");
    EXPECT_LT(rows[0].Id, rows[1].Id);
    EXPECT_EQ(ContactStore::PersonNamesByName(), QStringList({"alice", "bob \"the\" \\ one", "carol"}));

    ContactStore::UpdatePerson({rows[1].Id, "alicia", "x", "a@example", "+2"});
    const ContactPerson changed = ContactStore::PersonRows()[1];
    EXPECT_EQ(changed.Name, "alicia");
    EXPECT_EQ(changed.Sms, "+2");
    EXPECT_TRUE(ContactStore::PersonNameIsFree("alicia", changed.Id)) << "its own name";
    EXPECT_FALSE(ContactStore::PersonNameIsFree("alicia", 0));
    EXPECT_FALSE(ContactStore::PersonNameIsFree("carol", changed.Id));
}

TEST_F(StoreTest, DeletingAPersonTakesItsMembershipsAndServiceLinksOnly)
{
    addPersons({"alice", "bob"});
    const int alice = personId("alice");
    const int bob = personId("bob");
    const int ops = ContactStore::SaveGroup(0, "ops", {"alice", "bob"});
    m_dm->ExecUpdate(QString("insert into service_contact_person (service_id,contact_person_id) values "
                             "(7,%1),(7,%2)")
                         .arg(alice)
                         .arg(bob));

    ContactStore::DeletePerson(alice);
    EXPECT_EQ(count("contact_person"), 1);
    EXPECT_EQ(ContactStore::GroupMemberNames(ops), QStringList({"bob"}));
    EXPECT_EQ(count(QString("service_contact_person where contact_person_id=%1").arg(alice)), 0);
    EXPECT_EQ(count(QString("service_contact_person where contact_person_id=%1").arg(bob)), 1);
}

TEST_F(StoreTest, APersonsDeletionThatFailsHalfWayLeavesEveryRow)
{
    addPersons({"alice"});
    const int alice = personId("alice");
    ContactStore::SaveGroup(0, "ops", {"alice"});
    // The last of the three deletes fails.
    m_dm->ExecUpdate("drop table service_contact_person");
    EXPECT_THROW(ContactStore::DeletePerson(alice), DatabaseError);
    EXPECT_EQ(count("contact_person"), 1);
    EXPECT_EQ(count("contact_person_group"), 1);
}

TEST_F(StoreTest, SavingAGroupReplacesItsMembersAndAnUnknownMemberStoresNothing)
{
    addPersons({"alice", "bob", "carol"});
    const int ops = ContactStore::SaveGroup(0, "ops", {"carol", "alice"});
    ASSERT_GT(ops, 0);
    EXPECT_EQ(ContactStore::Groups().size(), 1);
    EXPECT_EQ(count("contact_person_group"), 2);

    EXPECT_EQ(ContactStore::SaveGroup(ops, "operations", {"bob"}), ops);
    EXPECT_EQ(ContactStore::Groups()[0].Name, "operations");
    EXPECT_EQ(ContactStore::GroupMemberNames(ops), QStringList({"bob"}));
    EXPECT_FALSE(ContactStore::GroupNameIsFree("operations", 0));
    EXPECT_TRUE(ContactStore::GroupNameIsFree("operations", ops));

    const struct
    {
        int id;
        QString name;
    } failing[] = {{0, "new"}, {ops, "renamed"}};
    for (const auto& save : failing) {
        try {
            ContactStore::SaveGroup(save.id, save.name, {"alice", "nobody"});
            ADD_FAILURE() << "an unknown member must fail the save of " << save.name.toStdString();
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.text(), "The contact person nobody cannot be found.");
        }
        EXPECT_EQ(ContactStore::Groups().size(), 1) << save.name.toStdString();
        EXPECT_EQ(ContactStore::Groups()[0].Name, "operations") << save.name.toStdString();
        EXPECT_EQ(ContactStore::GroupMemberNames(ops), QStringList({"bob"})) << save.name.toStdString();
    }

    ContactStore::DeleteGroup(ops);
    EXPECT_TRUE(ContactStore::Groups().isEmpty());
    EXPECT_EQ(count("contact_person_group"), 0);
    EXPECT_EQ(count("contact_person"), 3) << "the persons stay";
}

// ---- alarm methods ----------------------------------------------------------------------------

AlarmMethodValues hostRow(const QString& ip, int port, bool enable)
{
    return {{"enable", enable ? 1 : 0}, {"ip", ip}, {"port", port}};
}

TEST_F(StoreTest, AlarmMethodsAreInsertedThenUpdatedAndReadBackByTheLoader)
{
    AlarmMethodStore::Save({hostRow("mail", 25, true),
                            hostRow("smsc", 2775, false),
                            {{"enable", 1}, {"ip", "gw/send"}, {"port", 80}, {"method", "Post"}},
                            {{"enable", 1}, {"ip", "log"}, {"port", 514}, {"syslog_facility", "UUCP"}},
                            QList<AlarmExtraField>{{"user", "o\"ps"}, {"key", "k=1"}}});
    EXPECT_EQ(count("alarm_method"), 4);
    EXPECT_EQ(AlarmMethodStore::ExtraFields(), (QList<AlarmExtraField>{{"user", "o\"ps"}, {"key", "k=1"}}));

    // Without extra fields the stored ones stay; each method keeps its one row.
    AlarmMethodStore::Save({hostRow("mail2", 587, true),
                            hostRow("smsc", 2775, true),
                            {{"enable", 1}, {"method", "Post"}},
                            hostRow("log2", 1514, false),
                            std::nullopt});
    EXPECT_EQ(count("alarm_method"), 4);
    EXPECT_EQ(AlarmMethodStore::ExtraFields().size(), 2);

    QHash<QString, AlarmMethodRow> byType;
    for (const AlarmMethodRow& row : AlarmMethodStore::Rows())
        byType.insert(row.Type, row);
    ASSERT_EQ(byType.size(), 4);
    EXPECT_EQ(byType["Email"].value("IP").toString(), "mail2") << "a column in any letter case";
    EXPECT_EQ(byType["Email"].value("port").toInt(), 587);
    EXPECT_EQ(byType["SysLog"].value("syslog_facility").toString(), "UUCP") << "a column not written stays";
    EXPECT_FALSE(byType["SysLog"].value("no_such_column").isValid());

    AlarmMethodSettings = AlarmMethodSettingsRecord();
    LoadAlarmMethods();
    EXPECT_EQ(AlarmMethodSettings.EmailMethod.ip, "mail2");
    EXPECT_TRUE(AlarmMethodSettings.SmsMethod.enable);
    EXPECT_FALSE(AlarmMethodSettings.SysLogMethod.enable);
    EXPECT_EQ(AlarmMethodSettings.HttpSmsMethod.ip, "http://gw/send");
    EXPECT_EQ(AlarmMethodSettings.HttpSmsExtraFields, QStringList({"user=o\"ps", "key=k=1"}));
}

TEST_F(StoreTest, ATextValueIsQuotedAndANumberWrittenAsItsDecimal)
{
    // "0042" as text stays text; 42 as a number reads back as 42 in a text column.
    AlarmMethodStore::Save({{{"ip", "0042"}, {"port", 42}, {"username", 42}},
                            hostRow("s", 1, false),
                            hostRow("h", 1, false),
                            hostRow("l", 1, false),
                            std::nullopt});
    EXPECT_EQ(scalar("select ip from quorvel.alarm_method where type=\"Email\""), "0042");
    EXPECT_EQ(scalar("select username from quorvel.alarm_method where type=\"Email\""), "42");
}

TEST_F(StoreTest, AnApplyThatFailsAtTheLastMethodLeavesRowsAndExtraFieldsAsTheyWere)
{
    const AlarmMethodsSave first{hostRow("mail", 25, true), hostRow("smsc", 2775, true),
                                 hostRow("gw", 80, true), hostRow("log", 514, true),
                                 QList<AlarmExtraField>{{"a", "1"}}};
    AlarmMethodStore::Save(first);

    AlarmMethodsSave failing = first;
    failing.Email = hostRow("changed", 26, false);
    failing.ExtraFields = QList<AlarmExtraField>{{"b", "2"}, {"c", "3"}};
    failing.SysLog = {{"no_such_column", 1}};
    EXPECT_THROW(AlarmMethodStore::Save(failing), DatabaseError);
    EXPECT_EQ(scalar("select ip from quorvel.alarm_method where type=\"Email\""), "mail");
    EXPECT_EQ(AlarmMethodStore::ExtraFields(), (QList<AlarmExtraField>{{"a", "1"}}));
}

// ---- weekly window ----------------------------------------------------------------------------

TEST_F(StoreTest, TheWeeklyWindowIsSavedHourByHourAndReadBackPerDay)
{
    WeeklyWindowStore::Grid on{};
    // Monday all day, Sunday 23:00 only, Wednesday every even hour.
    on[0].fill(true);
    on[6][23] = true;
    for (int hour = 0; hour < WeeklyWindowStore::kHours; hour += 2)
        on[2][hour] = true;
    WeeklyWindowStore::Save(on);

    const QList<WeeklyWindowStore::HourRow> rows = WeeklyWindowStore::Rows();
    ASSERT_EQ(rows.size(), WeeklyWindowStore::kHours);
    for (const WeeklyWindowStore::HourRow& row : rows) {
        const int hour = row.ScheduleTime.toInt();
        for (int day = 0; day < WeeklyWindowStore::kDays; ++day)
            EXPECT_EQ(row.Days[day], on[day][hour] ? "yes" : "no") << "day " << day << " hour " << hour;
    }

    const auto at23 = WeeklyWindowStore::ReadHour(23);
    ASSERT_TRUE(at23);
    EXPECT_EQ(at23->ScheduleTime, "23");
    EXPECT_EQ(at23->Days[6], "yes");
    EXPECT_EQ(at23->Days[2], "no");

    m_dm->ExecUpdate("delete from scheduling where schedule_time=5");
    EXPECT_FALSE(WeeklyWindowStore::ReadHour(5));
}

// ---- the editor's service list and the charts' sessions ---------------------------------------

TEST_F(StoreTest, TheServiceListIsOrderedByListedIpServiceHourAndMinute)
{
    m_dm->ExecUpdate(
        "insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,status,alarm_email) "
        "values (\"URL\",\"http://b.example/x\",80,\"Daily\",\"09\",\"30\",\"Start\",\"Y\"),"
        "(\"Ping\",\"a.example\",0,\"Hourly\",\"00\",\"15\",\"Stop\",\"n\"),"
        "(\"FTP\",\"b.example\",21,\"Daily\",\"01\",\"00\",\"Start\",\"y\"),"
        "(\"URL\",\"https://a.example/http://z\",443,\"Daily\",\"00\",\"00\",\"Start\",\"n\"),"
        "(\"URL\",\"http://b.example/x\",80,\"Daily\",\"08\",\"45\",\"Start\",\"n\")");
    m_dm->ExecUpdate("update service set last_access=\"2007-05-01 13:45:07\" where service=\"Ping\"");
    const std::vector<ServiceListRow> rows = ServiceStore::ListRows();
    ASSERT_EQ(rows.size(), 5u);
    const QStringList expected[] = {{"Ping", "a.example", "00", "15"},
                                    {"FTP", "b.example", "01", "00"},
                                    {"URL", "b.example/x", "08", "45"},
                                    {"URL", "b.example/x", "09", "30"},
                                    {"URL", "https://a.example/http://z", "00", "00"}};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(QStringList({rows[i].Service, rows[i].Ip, rows[i].ScheduleHour, rows[i].ScheduleMinute}),
                  expected[i])
            << "row " << i;
    }
    EXPECT_EQ(rows[3].AlarmEmail, "Y") << "alarm columns as stored";
    EXPECT_EQ(rows[0].Port, "0");
    EXPECT_EQ(rows[0].Status, "Stop");
    EXPECT_EQ(rows[0].LastAccess, "2007-05-01 13:45:07");
}

// The main window's filters: all, one kind, the three mail kinds, or one host (a URL's host taken
// from its address); a filter text with quotes is a value, never statement text.
TEST_F(StoreTest, TheServiceListFiltersByKindMailKindsOrHostAndListsTheHosts)
{
    m_dm->ExecUpdate("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute) values "
                     "(\"URL\",\"http://b.example/x\",80,\"Daily\",\"09\",\"30\"),"
                     "(\"Ping\",\"a.example\",0,\"Hourly\",\"00\",\"15\"),"
                     "(\"SMTP\",\"b.example\",25,\"Daily\",\"01\",\"00\"),"
                     "(\"IMAP\",\"c.example\",143,\"Daily\",\"01\",\"00\"),"
                     "(\"TCP\",\"c.example\",22,\"Daily\",\"01\",\"00\")");
    const auto kinds = [](const QString& filter) {
        QStringList listed;
        for (const ServiceListRow& row : ServiceStore::ListRows(filter))
            listed << row.Service + "@" + row.Ip;
        return listed;
    };
    struct Case
    {
        const char* filter;
        QStringList listed;
    };
    for (const Case& c :
         {Case{"ALL",
               {"Ping@a.example", "SMTP@b.example", "URL@b.example/x", "IMAP@c.example", "TCP@c.example"}},
          Case{"URL", {"URL@b.example/x"}}, Case{"Ping", {"Ping@a.example"}},
          Case{"Email", {"SMTP@b.example", "IMAP@c.example"}},
          Case{"b.example", {"SMTP@b.example", "URL@b.example/x"}}, Case{"c.example\" or \"1\"=\"1", {}}}) {
        EXPECT_EQ(kinds(c.filter), c.listed) << c.filter;
    }
    EXPECT_EQ(ServiceStore::Hosts(), (QStringList{"a.example", "b.example", "c.example"}));
}

// The persons an alarm of a service goes to, with their addresses; another service's are not.
TEST_F(StoreTest, ThePersonsOfAServiceComeWithTheirAddresses)
{
    m_dm->ExecUpdate("insert into contact_person (id,name,email,sms) values (1,\"Ann\",\"ann@example\",\"\"),"
                     "(2,\"Bob\",\"\",\"+100\"),(3,\"Cid\",\"cid@example\",\"+300\")");
    m_dm->ExecUpdate(
        "insert into service_contact_person (service_id,contact_person_id) values (7,1),(7,2),(8,3)");
    QStringList seen;
    for (const ContactPerson& p : ContactStore::PersonsOfService(7))
        seen << p.Name + "|" + p.Email + "|" + p.Sms;
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"Ann|ann@example|", "Bob||+100"}));
    EXPECT_TRUE(ContactStore::PersonsOfService(9).isEmpty());
}

// The STARTTLS mode of a "Certificate" service is kept in the same options row: written with
// the service, read back by Read and by the scheduler's reader, replaced on an update.
TEST_F(StoreTest, CertificateStartTlsModeRoundTrips)
{
    ServiceRecord s;
    s.Service = "Certificate";
    s.Ip = "mail.example";
    s.Port = 143;
    s.ScheduleBy = "Hourly";
    s.ScheduleHour = "00";
    s.ScheduleMinute = "15";
    s.Status = "Start";
    s.CertStartTls = "imap";
    const int id = ServiceStore::Insert(s, {});
    ASSERT_EQ(ServiceStore::Read(id)->CertStartTls, "imap");
    std::vector<ServiceRecord> due = ServiceStore::DueServices("10", "15");
    ASSERT_EQ(due.size(), 1u);
    LoadCheckOptions(due);
    EXPECT_EQ(due[0].CertStartTls, "imap");
    EXPECT_EQ(due[0].Port, 143);

    s.CertStartTls.clear();
    s.Port = 443;
    ASSERT_EQ(ServiceStore::Update(id, s, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(scalar(QString("select concat('[',starttls,']') from quorvel.service_check_option where "
                             "service_id=%1")
                         .arg(id)),
              "[]");
    EXPECT_EQ(ServiceStore::Read(id)->Port, 443);
    ServiceStore::Delete(id);
    EXPECT_EQ(count("service_check_option"), 0);
}

// The options of the "TCP" and "DNS" kinds live in their own row beside the service row: written
// with it, replaced on an update, dropped when the kind changes to one without options or the
// service is deleted, and read by Read and by the scheduler's batch reader alike.
TEST_F(StoreTest, TcpAndDnsOptionsRoundTripThroughInsertReadUpdateAndDelete)
{
    auto service = [](const char* kind, const char* ip, int port) {
        ServiceRecord s;
        s.Service = kind;
        s.Ip = ip;
        s.Port = port;
        s.ScheduleBy = "Hourly";
        s.ScheduleHour = "00";
        s.ScheduleMinute = "15";
        s.Status = "Start";
        return s;
    };
    auto options = [](const ServiceRecord& s) {
        return QStringList{s.TcpSend, s.TcpExpect, s.DnsType, s.DnsExpect, s.DnsServer};
    };
    auto storedOptions = [&](int id) {
        return scalar(
            QString("select concat_ws('|',send_text,expect_text,record_type,expect_value,dns_server) "
                    "from quorvel.service_check_option where service_id=%1")
                .arg(id));
    };

    ServiceRecord tcp = service("TCP", "mail.example", 110);
    tcp.TcpSend = "HELO \"x\" \\ y";
    tcp.TcpExpect = "+OK";
    const int tcpId = ServiceStore::Insert(tcp, {});
    ServiceRecord dns = service("DNS", "www.example", 53);
    dns.DnsType = "MX";
    dns.DnsExpect = "10 mx.example";
    dns.DnsServer = "192.0.2.53";
    const int dnsId = ServiceStore::Insert(dns, {});
    const int pingId = ServiceStore::Insert(service("Ping", "p.example", 0), {});

    const std::optional<ServiceRecord> readTcp = ServiceStore::Read(tcpId);
    ASSERT_TRUE(readTcp);
    EXPECT_EQ(readTcp->Service, "TCP");
    EXPECT_EQ(readTcp->Ip, "mail.example");
    EXPECT_EQ(readTcp->Port, 110);
    EXPECT_EQ(readTcp->ScheduleMinute, "15");
    EXPECT_EQ(options(*readTcp), QStringList({"HELO \"x\" \\ y", "+OK", "", "", ""}));
    const std::optional<ServiceRecord> readDns = ServiceStore::Read(dnsId);
    ASSERT_TRUE(readDns);
    EXPECT_EQ(options(*readDns), QStringList({"", "", "MX", "10 mx.example", "192.0.2.53"}));
    EXPECT_EQ(count("service_check_option"), 2) << "a Ping service has no options row";

    // The scheduler's reader: one statement for the lot, a service without a row keeps empty
    // options, and the other kinds are left alone.
    m_dm->ExecUpdate(QString("delete from service_check_option where service_id=%1").arg(dnsId));
    std::vector<ServiceRecord> due = ServiceStore::DueServices("10", "15");
    ASSERT_EQ(due.size(), 3u);
    for (ServiceRecord& s : due)
        s.DnsType = "stale";
    LoadCheckOptions(due);
    for (const ServiceRecord& s : due) {
        if (s.Id == tcpId)
            EXPECT_EQ(options(s), QStringList({"HELO \"x\" \\ y", "+OK", "", "", ""}));
        else if (s.Id == dnsId)
            EXPECT_EQ(options(s), QStringList({"", "", "", "", ""})) << "its row is gone";
        else
            EXPECT_EQ(s.DnsType, "stale") << "a Ping service is not looked up";
    }
    EXPECT_EQ(ServiceStore::Read(dnsId)->DnsType, "");

    // An update writes the row whether the service had one or not.
    dns.DnsType = "AAAA";
    dns.DnsExpect = "2001:db8::1";
    dns.DnsServer = "";
    ASSERT_EQ(ServiceStore::Update(dnsId, dns, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(storedOptions(dnsId), "||AAAA|2001:db8::1|");
    tcp.TcpSend.clear();
    tcp.TcpExpect = "SSH-2.0";
    tcp.Port = 22;
    ASSERT_EQ(ServiceStore::Update(tcpId, tcp, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(options(*ServiceStore::Read(tcpId)), QStringList({"", "SSH-2.0", "", "", ""}));
    EXPECT_EQ(ServiceStore::Read(tcpId)->Port, 22);
    EXPECT_EQ(count(QString("service_check_option where service_id=%1").arg(tcpId)), 1);

    // A change of kind: to DNS the TCP texts go; to Ping the row goes; back to TCP it returns.
    ServiceRecord nowDns = service("DNS", "mail.example", 53);
    nowDns.DnsType = "A";
    ASSERT_EQ(ServiceStore::Update(tcpId, nowDns, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(storedOptions(tcpId), "||A||");
    ASSERT_EQ(ServiceStore::Update(tcpId, service("Ping", "mail.example", 0), {}),
              ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(count(QString("service_check_option where service_id=%1").arg(tcpId)), 0);
    ASSERT_EQ(ServiceStore::Update(pingId, tcp, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(storedOptions(pingId), "|SSH-2.0|||");

    ServiceStore::Delete(dnsId);
    ServiceStore::Delete(pingId);
    EXPECT_EQ(count("service_check_option"), 0);
    EXPECT_FALSE(ServiceStore::Read(dnsId));
    EXPECT_EQ(ServiceStore::Update(dnsId, dns, {}), ServiceStore::UpdateOutcome::NoSuchService);
    EXPECT_EQ(count("service_check_option"), 0) << "nothing written for a deleted service";
}

TEST_F(StoreTest, AUrlExpectationIsStoredWithItsServiceAndGoesWithIt)
{
    auto service = [](const char* ip) {
        ServiceRecord s;
        s.Service = "URL";
        s.Ip = ip;
        s.Port = 80;
        s.UrlMethod = "Get";
        s.ScheduleBy = "Minutely";
        s.ScheduleHour = "00";
        s.ScheduleMinute = "5";
        s.Status = "Start";
        return s;
    };
    auto expectation = [](const ServiceRecord& s) {
        return QStringList{s.UrlRequest.ExpectMode, s.UrlRequest.ExpectText};
    };
    auto rows = [&](int id) { return count(QString("service_url_expect where service_id=%1").arg(id)); };

    ServiceRecord json = service("http://api.example/health");
    json.UrlRequest.ExpectMode = "json";
    json.UrlRequest.ExpectText = "/status=\"up\" \\ ~1";
    json.UrlRequest.PostFields = {{"a", "1"}};
    const int jsonId = ServiceStore::Insert(json, {});
    ServiceRecord plain = service("http://www.example/");
    const int plainId = ServiceStore::Insert(plain, {});

    EXPECT_EQ(expectation(*ServiceStore::Read(jsonId)), QStringList({"json", "/status=\"up\" \\ ~1"}))
        << "the text comes back as typed";
    EXPECT_EQ(expectation(*ServiceStore::Read(plainId)), QStringList({"", ""}));
    EXPECT_EQ(rows(plainId), 0) << "a service without an expectation has no row";

    // The scheduler's reader gives each due URL service its own expectation.
    const QHash<int, ServiceUrlRequest> due = LoadUrlRequests({jsonId, plainId});
    EXPECT_EQ(due.value(jsonId).ExpectMode, "json");
    EXPECT_EQ(due.value(jsonId).PostFields.size(), 1);
    EXPECT_EQ(due.value(plainId).ExpectMode, "");

    // Updates replace the row, add one, or drop it when the expectation is cleared.
    json.UrlRequest.ExpectMode = "not-contains";
    json.UrlRequest.ExpectText = "maintenance";
    ASSERT_EQ(ServiceStore::Update(jsonId, json, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(expectation(*ServiceStore::Read(jsonId)), QStringList({"not-contains", "maintenance"}));
    EXPECT_EQ(rows(jsonId), 1);
    plain.UrlRequest.ExpectMode = "matches";
    plain.UrlRequest.ExpectText = "v\\d+";
    ASSERT_EQ(ServiceStore::Update(plainId, plain, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(expectation(*ServiceStore::Read(plainId)), QStringList({"matches", "v\\d+"}));
    // The longest text the input takes comes back whole, in letters beyond ASCII too.
    plain.UrlRequest.ExpectText = QString(1024, QChar(0x00e9));
    ASSERT_EQ(ServiceStore::Update(plainId, plain, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(ServiceStore::Read(plainId)->UrlRequest.ExpectText, QString(1024, QChar(0x00e9)));
    json.UrlRequest.ExpectMode.clear();
    json.UrlRequest.ExpectText.clear();
    ASSERT_EQ(ServiceStore::Update(jsonId, json, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(rows(jsonId), 0);

    // A change of kind takes the row away; so does deleting the service.
    ServiceRecord ping = service("www.example");
    ping.Service = "Ping";
    ASSERT_EQ(ServiceStore::Update(plainId, ping, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(rows(plainId), 0);
    ASSERT_EQ(ServiceStore::Update(plainId, plain, {}), ServiceStore::UpdateOutcome::Updated);
    EXPECT_EQ(rows(plainId), 1);
    ServiceStore::Delete(plainId);
    EXPECT_EQ(count("service_url_expect"), 0);
}

TEST_F(StoreTest, ASessionsNumberIsReadAndAnUnknownSessionCannotBeInterrupted)
{
    QSqlQuery id(m_dm->SQLConnection);
    ASSERT_TRUE(id.exec("select connection_id()") && id.next());
    EXPECT_EQ(SessionConnectionId(m_dm->SQLConnection), id.value(0).toLongLong());
    QSqlDatabase closed;
    EXPECT_EQ(SessionConnectionId(closed), 0);
    EXPECT_THROW(KillSessionQuery(id.value(0).toLongLong() + 100000), DatabaseError);
}

} // namespace

// ---- alarm history cursor ---------------------------------------------------------------------

TEST_F(StoreTest, TheHistoryCursorReadsEveryEntryOnceNewestFirstAndLeavesOutLaterOnes)
{
    // Entries whose ids do not follow their times, several in one second, across page borders.
    QString values;
    for (int i = 0; i < 23; ++i) {
        values += QStringLiteral("%1(DATE_SUB(\"2024-03-10 12:00:00\", INTERVAL %2 SECOND),\"URL\",\"h\",80,"
                                 "\"entry %3\",\"Failed\")")
                      .arg(values.isEmpty() ? "" : ",")
                      .arg((i * 7) % 5)
                      .arg(i);
    }
    m_dm->ExecUpdate(
        "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) values " + values);
    const QStringList expected =
        scalar("select group_concat(id order by alarm_datetime desc, id desc) from quorvel.alarm_msg_history")
            .split(',');

    for (const int pageSize : {5, 23, 1000}) {
        SCOPED_TRACE(pageSize);
        AlarmHistoryCursor cursor(CurrentDatabaseLogin(), pageSize);
        EXPECT_EQ(cursor.Count(), 23);
        QVector<AlarmHistoryEntry> entries;
        int pages = 0;
        bool more = true;
        while (more) {
            more = cursor.Next(entries);
            ++pages;
            if (pages == 1) // written after the first read: not part of this export
                m_dm->ExecUpdate(
                    "insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,"
                    "service_status) values (\"2030-01-01 00:00:00\",\"URL\",\"h\",80,\"new\",\"x\")");
            ASSERT_LT(pages, 100);
        }
        QStringList ids;
        for (const AlarmHistoryEntry& e : entries)
            ids << QString::number(e.id);
        EXPECT_EQ(ids, expected);
        EXPECT_EQ(pages, (23 + pageSize - 1) / pageSize) << "one read a page";
        EXPECT_EQ(entries.front().msg, "entry 20") << "the newest second, highest id first";
        EXPECT_EQ(entries.front().dateTime, "2024-03-10 12:00:00");
        m_dm->ExecUpdate("delete from alarm_msg_history where msg=\"new\"");
    }
}

TEST_F(StoreTest, TheHistoryCursorOfAnEmptyHistoryCountsNothingAndReadsNothing)
{
    AlarmHistoryCursor cursor(CurrentDatabaseLogin());
    EXPECT_EQ(cursor.Count(), 0);
    QVector<AlarmHistoryEntry> entries;
    EXPECT_FALSE(cursor.Next(entries));
    EXPECT_TRUE(entries.isEmpty());
}

TEST_F(StoreTest, TheHistoryCursorTellsAFailedLogin)
{
    DatabaseLogin login = CurrentDatabaseLogin();
    login.password = "wrong password";
    AlarmHistoryCursor cursor(login);
    EXPECT_THROW(cursor.Count(), DatabaseError);
}
