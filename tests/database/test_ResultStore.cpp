// The results store on the real database: how many statements a burst of results costs, the
// daily summaries against a recomputation from the stored results, the sliced delete of old
// results, the sliding 24-hour counts, and the schema steps on a database made before them.
#include "database/AlarmHistory.h"
#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"
#include "support/DatabaseFixture.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <map>
#include <random>

namespace {

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss.zzz");
}

class ResultStoreTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
    }

    // Com_insert of the data module's own session.
    qlonglong insertsSoFar()
    {
        QSqlQuery& q = m_dm->ExecSelect("show session status like 'Com_insert'");
        return q.next() ? q.value(1).toLongLong() : -1;
    }

    // `n` results of service `id` checked one second apart from `first`, none passed, through
    // the server's sequence table (far quicker than inserting them one by one).
    void seedFailures(int id, const char* first, int n)
    {
        m_dm->ExecUpdate(
            QString("insert into service_result (service_id,checked_at,passed,response_ms,detail) "
                    "select %1,\"%2\" + interval seq second,0,5,\"old\" from seq_0_to_%3")
                .arg(id)
                .arg(first)
                .arg(n - 1));
    }
};

// One burst of 300 results (over two services' days and three days) costs one insert for the
// results and one for the summaries, and the detail is cut to its column.
TEST_F(ResultStoreTest, ABurstIsStoredWithTwoInsertsAndLongDetailsAreCut)
{
    std::vector<CheckResultRow> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({1 + i % 2, at("2026-12-10 23:59:59.000").addSecs(i * 600), i % 3 != 0, 10 + i,
                        QString("detail %1").arg(i)});
    rows[7].Detail = QString(400, QChar(0x00e9)) + "\"\\";
    const qlonglong before = insertsSoFar();
    ResultStore::Append(rows);
    EXPECT_EQ(insertsSoFar() - before, 2);
    EXPECT_EQ(scalar("select count(*) from quorvel.service_result"), "300");
    EXPECT_EQ(scalar("select char_length(detail) from quorvel.service_result where response_ms=17"), "255");
    EXPECT_EQ(scalar("select detail from quorvel.service_result where response_ms=17"),
              QString(255, QChar(0x00e9)));
    EXPECT_EQ(scalar("select checked_at from quorvel.service_result where response_ms=11"),
              "2026-12-11T00:09:59.000");
    EXPECT_EQ(scalar("select sum(checks) from quorvel.service_day"), "300");
    EXPECT_EQ(scalar("select count(*) from quorvel.service_day"), "7") << "1 on the 10th, both on 11th-13th";

    const qlonglong again = insertsSoFar();
    ResultStore::Append({});
    EXPECT_EQ(insertsSoFar(), again) << "nothing to store, no statement";
}

// A day of results arriving in bursts of uneven size: the running summary equals a
// recomputation from the stored rows (count, passes, minimum, mean, maximum of the passes), and
// closing the day keeps them and adds the 95th percentile by nearest rank. Services of 1, 19,
// 20, 21 and 1440 passes place the rank on both sides of a whole number; one never passes.
TEST_F(ResultStoreTest, DaySummaryMatchesARecomputationFromTheResults)
{
    std::mt19937 random(7);
    const std::map<int, std::pair<int, int>> services = {// id: (results, passes)
                                                         {1, {1, 1}},   {2, {25, 19}},     {3, {20, 20}},
                                                         {4, {30, 21}}, {5, {1500, 1440}}, {6, {12, 0}}};
    std::vector<CheckResultRow> all;
    for (const auto& [id, counts] : services) {
        for (int i = 0; i < counts.first; ++i) {
            const bool passed = i < counts.second;
            // Repeated times among the passes, and failures with times far above them.
            const int ms = passed ? int(random() % 400) : 10000 + int(random() % 50);
            all.push_back(
                {id, at("2026-12-10 00:00:00.000").addMSecs(qint64(i) * 57'000 + id), passed, ms, "d"});
        }
    }
    // A result just before and one just after the day belong to the days beside it.
    all.push_back({5, at("2026-12-09 23:59:59.999"), true, 1, "before"});
    all.push_back({5, at("2026-12-11 00:00:00.000"), true, 99999, "after"});
    std::shuffle(all.begin(), all.end(), random);
    for (std::size_t first = 0; first < all.size();) {
        const std::size_t size = std::min<std::size_t>(all.size() - first, 1 + random() % 180);
        ResultStore::Append(std::vector<CheckResultRow>(all.begin() + first, all.begin() + first + size));
        first += size;
    }

    const QDate day(2026, 12, 10);
    const auto expected = [&](int id) {
        std::vector<int> times;
        int checks = 0;
        for (const CheckResultRow& r : all) {
            if (r.ServiceId != id || r.CheckedAt.date() != day)
                continue;
            ++checks;
            if (r.Passed)
                times.push_back(r.ResponseMs);
        }
        std::sort(times.begin(), times.end());
        ServiceDayRow d;
        d.Checks = checks;
        d.Passes = int(times.size());
        if (!times.empty()) {
            d.MinMs = times.front();
            d.MaxMs = times.back();
            double sum = 0;
            for (int t : times)
                sum += t;
            d.AvgMs = sum / times.size();
            std::size_t rank = 1;
            while (rank * 100 < 95 * times.size())
                ++rank;
            d.P95Ms = times[rank - 1];
        }
        return d;
    };
    const auto compare = [&](bool closed) {
        for (const auto& [id, counts] : services) {
            const std::vector<ServiceDayRow> rows = ResultStore::ReadDays(id, day, day);
            ASSERT_EQ(rows.size(), 1u) << id;
            const ServiceDayRow& got = rows[0];
            const ServiceDayRow want = expected(id);
            EXPECT_EQ(got.Checks, want.Checks) << id;
            EXPECT_EQ(got.Passes, want.Passes) << id;
            EXPECT_EQ(got.MinMs, want.MinMs) << id;
            EXPECT_EQ(got.MaxMs, want.MaxMs) << id;
            ASSERT_EQ(got.AvgMs.has_value(), want.AvgMs.has_value()) << id;
            if (want.AvgMs) {
                EXPECT_NEAR(*got.AvgMs, *want.AvgMs, 1e-3) << id;
            }
            EXPECT_EQ(got.Closed, closed) << id;
            EXPECT_EQ(got.P95Ms, closed ? want.P95Ms : std::nullopt) << id;
        }
    };
    compare(false);

    const QList<QPair<int, QDate>> open = ResultStore::OpenDaysBefore(QDate(2026, 12, 11));
    EXPECT_EQ(open.size(), int(services.size()) + 1) << "the day before as well";
    EXPECT_EQ(open.first(), qMakePair(5, QDate(2026, 12, 9)));
    for (const auto& [id, d] : open)
        ResultStore::CloseDay(id, d);
    compare(true);
    EXPECT_TRUE(ResultStore::OpenDaysBefore(QDate(2026, 12, 11)).isEmpty());
    EXPECT_EQ(ResultStore::OpenDaysBefore(QDate(2026, 12, 12)).size(), 1) << "the 11th is open";

    // A day whose results are gone keeps its running figures when it is closed.
    ResultStore::Append(
        {{9, at("2026-12-01 08:00:00.000"), true, 40, ""}, {9, at("2026-12-01 09:00:00.000"), true, 60, ""}});
    m_dm->ExecUpdate("delete from service_result where service_id=9");
    ResultStore::CloseDay(9, QDate(2026, 12, 1));
    const std::vector<ServiceDayRow> gone = ResultStore::ReadDays(9, QDate(2026, 12, 1), QDate(2026, 12, 1));
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].Checks, 2);
    EXPECT_EQ(gone[0].AvgMs, 50.0);
    EXPECT_TRUE(gone[0].Closed);
}

// Old results go in slices of at most 10,000 rows, oldest first, and a result at the cutoff or
// after it stays; the alarm history's delete is sliced the same way.
TEST_F(ResultStoreTest, OldResultsAndAlarmHistoryAreDeletedInSlicesOfAtMostTenThousand)
{
    seedFailures(1, "2026-11-01 00:00:00", 25003);
    ResultStore::Append({{2, at("2026-11-29 23:59:59.999"), true, 1, "last old"},
                         {2, at("2026-11-30 00:00:00.000"), true, 2, "at the cutoff"},
                         {2, at("2026-12-05 00:00:00.000"), true, 3, "new"}});
    const QDateTime cutoff = at("2026-11-30 00:00:00.000");
    QList<int> slices;
    for (int n = -1; n != 0;)
        slices << (n = ResultStore::DeleteOlderThan(cutoff));
    EXPECT_EQ(slices, QList<int>({10000, 10000, 5004, 0}));
    EXPECT_EQ(scalar("select group_concat(detail order by id) from quorvel.service_result"),
              "at the cutoff,new");
    EXPECT_EQ(ResultStore::DeleteOlderThan(cutoff, 50000), 0);
    EXPECT_EQ(scalar("select sum(checks) from quorvel.service_day"), "3") << "the summaries stay";

    m_dm->ExecUpdate("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                     "select \"2026-11-01 00:00:00\" + interval seq minute,\"URL\",\"h\",80,\"m\",\"Failed\" "
                     "from seq_0_to_12344");
    m_dm->ExecUpdate("insert into alarm_msg_history (alarm_datetime,service,ip,port,msg,service_status) "
                     "values (\"2026-11-30 00:00:00\",\"URL\",\"h\",80,\"kept\",\"Failed\")");
    QList<int> history;
    for (int n = -1; n != 0;)
        history << (n = DeleteAlarmHistorySlice("2026-11-30 00:00:00", 50000));
    EXPECT_EQ(history, QList<int>({10000, 2345, 0}));
    EXPECT_EQ(scalar("select group_concat(msg) from quorvel.alarm_msg_history"), "kept");
}

// The 24-hour counts kept up to date by changes equal a full count of the window after every
// move, while results keep coming in and old ones fall out.
TEST_F(ResultStoreTest, SlidingUptimeChangesAddUpToAFullCount)
{
    std::mt19937 random(11);
    QDateTime clock = at("2026-12-10 00:00:00.000");
    const auto burst = [&](int minutes) {
        std::vector<CheckResultRow> rows;
        for (int m = 0; m < minutes; ++m) {
            clock = clock.addSecs(60);
            for (int id = 1; id <= 4; ++id) {
                if (id == 4 && clock.time().hour() >= 6)
                    continue; // stops being checked: falls out of the window bit by bit
                rows.push_back({id, clock, random() % 10 != 0, int(random() % 90), ""});
            }
        }
        ResultStore::Append(rows);
    };
    burst(26 * 60);
    qint64 lastId = 0;
    QDateTime since = clock.addSecs(-24 * 3600);
    QHash<int, UptimeCount> kept = ResultStore::ReadUptime(since, &lastId);
    EXPECT_EQ(kept.value(1).Checks, 24 * 60 + 1) << "the result exactly a day old included";
    for (int step : {1, 7, 60, 240, 1, 600}) {
        burst(step);
        const QDateTime next = clock.addSecs(-24 * 3600);
        qint64 newLast = 0;
        const QHash<int, UptimeCount> change = ResultStore::ReadUptimeChange(lastId, since, next, &newLast);
        for (auto it = change.cbegin(); it != change.cend(); ++it) {
            kept[it.key()].Checks += it->Checks;
            kept[it.key()].Passes += it->Passes;
            if (it->LastResponseMs >= 0)
                kept[it.key()].LastResponseMs = it->LastResponseMs;
        }
        lastId = newLast;
        since = next;
        qint64 fullLast = 0;
        const QHash<int, UptimeCount> full = ResultStore::ReadUptime(since, &fullLast);
        EXPECT_EQ(lastId, fullLast) << step;
        for (int id = 1; id <= 4; ++id) {
            EXPECT_EQ(kept.value(id).Checks, full.value(id).Checks) << id << " after " << step;
            EXPECT_EQ(kept.value(id).Passes, full.value(id).Passes) << id << " after " << step;
            if (full.contains(id)) {
                EXPECT_EQ(kept.value(id).LastResponseMs, full.value(id).LastResponseMs) << id;
            }
        }
    }
    EXPECT_LT(kept.value(4).Checks, kept.value(1).Checks / 2) << "4 is falling out of the window";
}

// A database made before the results existed gets both tables at its next start and keeps its
// rows; applying the steps again to a database that has them keeps their rows too.
TEST_F(ResultStoreTest, TheResultTablesComeToAnOlderDatabaseAndKeepTheirRows)
{
    m_dm->ExecUpdate("drop table service_result");
    m_dm->ExecUpdate("drop table service_day");
    m_dm->ExecUpdate("delete from schema_step where step in (20,21,22)");
    m_dm->ExecUpdate("insert into service (service,ip,port) values (\"URL\",\"kept.example\",80)");
    m_dm->CreateMissingTables();
    EXPECT_EQ(
        scalar("select group_concat(step order by step) from quorvel.schema_step where step in (20,21,22)"),
        "20,21,22");
    EXPECT_EQ(scalar("select ip from quorvel.service"), "kept.example");
    ResultStore::Append({{1, at("2026-12-10 10:00:00.250"), true, 12, "stored"}});

    m_dm->ExecUpdate("delete from schema_step where step in (20,21)");
    m_dm->CreateMissingTables();
    EXPECT_EQ(scalar("select concat(detail,'/',response_ms) from quorvel.service_result"), "stored/12");
    EXPECT_EQ(scalar("select checks from quorvel.service_day"), "1");
    EXPECT_EQ(scalar("select count(*) from information_schema.statistics where table_schema='quorvel' and "
                     "table_name='service_result' and index_name in "
                     "('idx_service_result_service','idx_service_result_checked')"),
              "8")
        << "service and time, and time, each with what the reads of a range take";
}

} // namespace
