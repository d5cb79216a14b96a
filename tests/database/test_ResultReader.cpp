// The response-time reads against injected results and daily summaries: the counts, uptime and
// state changes of a range, the slices of the chart, the choice between raw results and daily
// summaries at the [Results] KeepDays edge, and empty ranges.
#include "database/DataModuleQuorvel.h"
#include "database/ResultReader.h"
#include "support/DatabaseFixture.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss.zzz");
}

struct Result
{
    int service;
    const char* checkedAt;
    bool passed;
    int ms;
};

class ResultReaderTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
    }

    void addResults(const std::vector<Result>& results)
    {
        QStringList values;
        for (const Result& r : results) {
            values << QString("(%1,\"%2\",%3,%4,\"%5\")")
                          .arg(r.service)
                          .arg(r.checkedAt)
                          .arg(r.passed ? 1 : 0)
                          .arg(r.ms)
                          .arg(r.passed ? "ok" : "refused");
        }
        m_dm->ExecUpdate(
            "insert into service_result (service_id,checked_at,passed,response_ms,detail) values " +
            values.join(','));
    }
    // One summary row; avg/min/max null (-1) on a day without a pass.
    void addDay(int service, const char* day, int checks, int passes, int minMs = -1, double avgMs = -1,
                int maxMs = -1)
    {
        const auto v = [](double x) { return x < 0 ? QString("null") : QString::number(x); };
        m_dm->ExecUpdate(QString("insert into service_day (service_id,day,checks,passes,min_ms,avg_ms,max_ms,"
                                 "closed) values (%1,\"%2\",%3,%4,%5,%6,%7,1)")
                             .arg(service)
                             .arg(day)
                             .arg(checks)
                             .arg(passes)
                             .arg(v(minMs), v(avgMs), v(maxMs)));
    }
    ResponseTimes read(int service, const char* from, const char* to, int keepDays = 31, int maxPoints = 1500,
                       int maxChanges = 2000)
    {
        ResponseTimesRequest r;
        r.serviceId = service;
        r.from = at(from);
        r.to = at(to);
        r.keepDays = keepDays;
        r.maxPoints = maxPoints;
        r.maxChanges = maxChanges;
        return ReadResponseTimes(m_dm->SQLConnection, r);
    }
};

// A day of raw results: only the service's rows inside [from, to) count; uptime, failures, the
// slices' figures of the passes, and each change of verdict with its direction, newest first.
TEST_F(ResultReaderTest, RawRangeCountsUptimeSlicesAndStateChanges)
{
    addResults({
        {1, "2026-03-01 23:59:59.999", false, 0}, // before the range
        {1, "2026-03-02 00:00:00.000", true, 100},
        {1, "2026-03-02 00:01:00.000", true, 300},
        {1, "2026-03-02 06:00:00.000", false, 9000},
        {1, "2026-03-02 06:01:00.000", false, 9000},
        {1, "2026-03-02 06:02:00.500", true, 50},
        {1, "2026-03-02 12:00:00.000", false, 0},
        {1, "2026-03-02 12:00:00.000", true, 70}, // same time: the later id comes after
        {1, "2026-03-03 00:00:00.000", false, 0}, // the range's end is excluded
        {2, "2026-03-02 06:00:30.000", false, 0}, // another service
    });
    const ResponseTimes t = read(1, "2026-03-02 00:00:00.000", "2026-03-03 00:00:00.000", 31, 24);
    EXPECT_FALSE(t.daily);
    EXPECT_EQ(t.checks, 7);
    EXPECT_EQ(t.passes, 4);
    EXPECT_EQ(t.Failures(), 3);
    EXPECT_NEAR(t.UptimePercent(), 400.0 / 7, 1e-9);

    // Hourly slices: hour 0 holds two passes, hour 6 one pass among failures, hour 12 one.
    ASSERT_EQ(t.points.size(), 3);
    EXPECT_EQ(t.points[0].at, at("2026-03-02 00:30:00.000"));
    EXPECT_DOUBLE_EQ(t.points[0].avgMs, 200);
    EXPECT_EQ(t.points[0].minMs, 100);
    EXPECT_EQ(t.points[0].maxMs, 300);
    EXPECT_EQ(t.points[1].checks, 3);
    EXPECT_DOUBLE_EQ(t.points[1].avgMs, 50); // the failures' times are left out
    EXPECT_EQ(t.points[2].at, at("2026-03-02 12:30:00.000"));

    const struct
    {
        const char* at;
        bool passed;
    } changes[] = {{"2026-03-02 12:00:00.000", true},
                   {"2026-03-02 12:00:00.000", false},
                   {"2026-03-02 06:02:00.500", true},
                   {"2026-03-02 06:00:00.000", false}};
    ASSERT_EQ(t.changes.size(), std::size(changes));
    for (size_t i = 0; i < std::size(changes); ++i) {
        EXPECT_EQ(t.changes[int(i)].at, at(changes[i].at)) << i;
        EXPECT_EQ(t.changes[int(i)].passed, changes[i].passed) << i;
    }
    EXPECT_EQ(t.changes[0].detail, "ok");
    EXPECT_EQ(t.changes[1].detail, "refused");
    EXPECT_FALSE(t.moreChanges);

    // At most the asked number of changes, the newest, and word that more exist.
    const ResponseTimes few = read(1, "2026-03-02 00:00:00.000", "2026-03-03 00:00:00.000", 31, 24, 2);
    ASSERT_EQ(few.changes.size(), 2);
    EXPECT_TRUE(few.moreChanges);
    EXPECT_EQ(few.changes[1].at, at("2026-03-02 12:00:00.000"));
}

// A long raw range is summed into at most the asked number of slices, and the slices' counts add
// up to the range's: a month of minutely results (43,200) becomes at most 1,500 points.
TEST_F(ResultReaderTest, RawRangesAreSummedIntoAtMostTheAskedPoints)
{
    m_dm->ExecUpdate("insert into service_result (service_id,checked_at,passed,response_ms,detail) "
                     "select 5,\"2026-02-01 00:00:00\" + interval seq minute,seq mod 97<>0,seq mod 500,\"\" "
                     "from seq_0_to_43199");
    const ResponseTimes t = read(5, "2026-02-01 00:00:00.000", "2026-03-03 00:00:00.000");
    EXPECT_FALSE(t.daily);
    EXPECT_LE(t.points.size(), 1500);
    EXPECT_GE(t.points.size(), 1400);
    qint64 checks = 0;
    for (const ResponsePoint& p : t.points) {
        checks += p.checks;
        EXPECT_LE(p.minMs, p.avgMs);
        EXPECT_LE(p.avgMs, p.maxMs);
    }
    EXPECT_EQ(checks, 43200);
    EXPECT_EQ(t.checks, 43200);
    EXPECT_EQ(t.Failures(), 43200 / 97 + 1);
    // Each failure is a change down and the pass after it one up (the first result fails).
    EXPECT_EQ(t.changes.size(), 2 * (43200 / 97 + 1) - 1);
}

// Ranges up to KeepDays days are read from the raw results, longer ones from the summaries. The
// two sources are told apart by their counts (the summaries say 100 checks a day).
TEST_F(ResultReaderTest, KeepDaysDecidesBetweenRawResultsAndSummaries)
{
    addResults({{3, "2026-03-05 10:00:00.000", true, 40}, {3, "2026-03-06 10:00:00.000", false, 0}});
    for (const char* day : {"2026-02-28", "2026-03-01", "2026-03-02", "2026-03-03", "2026-03-04",
                            "2026-03-05", "2026-03-06", "2026-03-07"})
        addDay(3, day, 100, 90, 10, 45.5, 300);
    const struct
    {
        const char* from;
        int keepDays;
        bool daily;
        qint64 checks;
    } cases[] = {
        {"2026-03-01 00:00:00.000", 7, false, 2},  // 7 days, kept 7: raw
        {"2026-03-01 00:00:00.000", 6, true, 700}, // 7 days, kept 6: the summaries of 7 days
        {"2026-03-07 00:00:00.000", 1, false, 0},  // 1 day, kept 1: raw (nothing that day)
        {"2026-02-28 12:00:00.000", 3, true, 700}, // a partial first day is left out
    };
    for (const auto& c : cases) {
        const ResponseTimes t = read(3, c.from, "2026-03-08 00:00:00.000", c.keepDays);
        EXPECT_EQ(t.daily, c.daily) << c.from << " keep " << c.keepDays;
        EXPECT_EQ(t.checks, c.checks) << c.from << " keep " << c.keepDays;
        // The state changes come from the raw results whichever source the chart has.
        EXPECT_EQ(t.changes.size(), c.checks == 0 ? 0 : 1) << c.from;
    }
    const ResponseTimes daily = read(3, "2026-03-01 00:00:00.000", "2026-03-08 00:00:00.000", 6);
    ASSERT_EQ(daily.points.size(), 7);
    EXPECT_EQ(daily.points[0].at, at("2026-03-01 00:00:00.000"));
    EXPECT_DOUBLE_EQ(daily.points[0].avgMs, 45.5);
    EXPECT_EQ(daily.points[0].minMs, 10);
    EXPECT_EQ(daily.points[0].maxMs, 300);
    EXPECT_NEAR(daily.UptimePercent(), 90.0, 1e-9);
}

// A day of the summaries without a pass counts its failures but gives the chart no point; a
// range without results has no uptime, no failures, no points and no changes, in either source.
TEST_F(ResultReaderTest, DaysWithoutPassesAndEmptyRanges)
{
    addDay(4, "2026-03-01", 50, 0);
    addDay(4, "2026-03-02", 50, 25, 5, 7, 9);
    const ResponseTimes t = read(4, "2026-03-01 00:00:00.000", "2026-03-03 00:00:00.000", 1);
    EXPECT_TRUE(t.daily);
    EXPECT_EQ(t.checks, 100);
    EXPECT_EQ(t.Failures(), 75);
    ASSERT_EQ(t.points.size(), 1);
    EXPECT_EQ(t.points[0].at, at("2026-03-02 00:00:00.000"));

    addResults({{6, "2026-01-01 00:00:00.000", false, 0}});
    for (int keepDays : {31, 1}) {
        const ResponseTimes empty = read(6, "2026-03-01 00:00:00.000", "2026-03-08 00:00:00.000", keepDays);
        EXPECT_EQ(empty.checks, 0);
        EXPECT_EQ(empty.Failures(), 0);
        EXPECT_LT(empty.UptimePercent(), 0);
        EXPECT_TRUE(empty.points.isEmpty());
        EXPECT_TRUE(empty.changes.isEmpty());
    }
}

// The export's cursor hands over every raw result of the range once, oldest first, across
// batches that end inside a run of results of the same millisecond; a range read from the
// summaries gives its days instead.
TEST_F(ResultReaderTest, RowCursorHandsOverEachRowOnceInOrder)
{
    std::vector<Result> results;
    for (int i = 0; i < 10; ++i)
        results.push_back({7, i < 5 ? "2026-03-02 08:00:00.250" : "2026-03-02 09:00:00.000", i % 3 != 0, i});
    results.push_back({7, "2026-03-01 09:00:00.000", true, 99}); // before the range
    addResults(results);
    addDay(7, "2026-03-02", 10, 6, 1, 5, 9);

    ResponseTimesRequest r;
    r.serviceId = 7;
    r.from = at("2026-03-02 00:00:00.000");
    r.to = at("2026-03-03 00:00:00.000");
    ResponseRowCursor raw(CurrentDatabaseLogin(), r, 3);
    EXPECT_FALSE(raw.Daily());
    EXPECT_EQ(raw.Count(), 10);
    std::vector<CheckResultRow> rows;
    int batches = 0;
    while (raw.NextResults(rows))
        ++batches;
    EXPECT_EQ(batches, 3);
    ASSERT_EQ(rows.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(rows[i].ResponseMs, i) << i;
        EXPECT_EQ(rows[i].Passed, i % 3 != 0) << i;
    }
    EXPECT_EQ(rows[0].CheckedAt, at("2026-03-02 08:00:00.250"));

    r.keepDays = 0; // the summaries
    ResponseRowCursor daily(CurrentDatabaseLogin(), r);
    EXPECT_TRUE(daily.Daily());
    EXPECT_EQ(daily.Count(), 1);
    std::vector<ServiceDayRow> days;
    EXPECT_FALSE(daily.NextDays(days));
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].Passes, 6);
    EXPECT_EQ(days[0].MaxMs, 9);
}

// The services to choose from, by host (as the lists show it), kind and port.
TEST_F(ResultReaderTest, ServicesAreListedByHostKindAndPort)
{
    m_dm->ExecUpdate("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,status) "
                     "values (\"URL\",\"http://b.example/x\",80,\"Hourly\",\"00\",\"15\",\"Start\"),"
                     "(\"Ping\",\"a.example\",0,\"Hourly\",\"00\",\"15\",\"Start\"),"
                     "(\"SMTP\",\"b.example\",25,\"Hourly\",\"00\",\"15\",\"Start\")");
    const QVector<ResultServiceChoice> services = ReadResultServices(m_dm->SQLConnection);
    QStringList seen;
    for (const ResultServiceChoice& s : services)
        seen << s.host + "|" + s.kind + "|" + s.port;
    EXPECT_EQ(seen, QStringList({"a.example|Ping|0", "b.example|SMTP|25", "b.example/x|URL|80"}));
}

} // namespace
