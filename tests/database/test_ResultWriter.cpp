// The result writer on the real database: rows queued when it stops are all stored; a database
// that goes away and comes back gets the rows it missed, once; the queue's bound.
#include "database/DataModuleQuorvel.h"
#include "database/ResultWriter.h"
#include "support/DatabaseFixture.h"
#include "support/TcpForwarder.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <mutex>

namespace {

// What the writer reported, from its thread.
struct WriterReports
{
    std::mutex mutex;
    QStringList lines;

    void watch(ResultWriter& writer)
    {
        QObject::connect(
            &writer, &ResultWriter::storeFailed, &writer,
            [this](const QString&, int rows, bool kept) {
                add(QStringLiteral("failed %1 %2").arg(rows).arg(kept ? "kept" : "given up"));
            },
            Qt::DirectConnection);
        QObject::connect(
            &writer, &ResultWriter::storeResumed, &writer,
            [this](int rows) { add(QStringLiteral("resumed %1").arg(rows)); }, Qt::DirectConnection);
        QObject::connect(
            &writer, &ResultWriter::queueFull, &writer,
            [this](int bound) { add(QStringLiteral("full %1").arg(bound)); }, Qt::DirectConnection);
    }
    void add(const QString& line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines << line;
    }
    QStringList all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
};

class ResultWriterTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
    }

    // `n` results of services 1..7 from `first` on, one a second, every third failed; each row
    // has a time of its own, so a row stored twice shows.
    static std::vector<CheckResultRow> rows(int n, int first)
    {
        const QDateTime start(QDate(2026, 12, 10), QTime(23, 0));
        std::vector<CheckResultRow> out;
        for (int i = first; i < first + n; ++i)
            out.push_back(
                {1 + i % 7, start.addSecs(i), i % 3 != 0, 10 + i % 50, QStringLiteral("r%1").arg(i)});
        return out;
    }

    int stored() const { return scalar("select count(*) from quorvel.service_result").toInt(); }
    // Rows stored more than once.
    int repeated() const
    {
        return scalar("select count(*) from (select detail from quorvel.service_result group by detail "
                      "having count(*)>1) t")
            .toInt();
    }
    // The days' checks and passes added up, against the stored results.
    void expectDaysMatchResults() const
    {
        EXPECT_EQ(scalar("select concat(sum(checks),'/',sum(passes)) from quorvel.service_day"),
                  scalar("select concat(count(*),'/',sum(passed)) from quorvel.service_result"));
    }
};

// A stop with many rows still queued (several transactions' worth, handed over in pieces) stores
// every one of them before the writer is gone; so does a wait for them.
TEST_F(ResultWriterTest, AStopWithRowsQueuedStoresThemAll)
{
    const int total = 3 * ResultWriter::kWriteBatch + 123;
    {
        ResultWriter writer;
        int handed = 0;
        while (handed < total) {
            const int n = std::min(1000, total - handed);
            writer.Enqueue(rows(n, handed), CurrentDatabaseLogin());
            handed += n;
        }
        EXPECT_GT(writer.Pending(), 0) << "the main thread must not have waited for the writes";
    }
    EXPECT_EQ(stored(), total);
    EXPECT_EQ(repeated(), 0);
    expectDaysMatchResults();

    ResultWriter writer;
    writer.Enqueue(rows(500, total), CurrentDatabaseLogin());
    EXPECT_TRUE(writer.WaitStored(30000));
    EXPECT_EQ(writer.Pending(), 0);
    EXPECT_EQ(stored(), total + 500);
}

// The database goes away with rows stored and more coming: the writer keeps them queued, says
// so once, and when the database answers again stores each of them once.
TEST_F(ResultWriterTest, ALostConnectionKeepsTheRowsAndStoresThemOnceWhenBack)
{
    TcpForwarder database(CurrentDatabaseLogin().port);
    database.start();
    DatabaseLogin login = CurrentDatabaseLogin();
    login.port = database.port();

    WriterReports reports;
    ResultWriter writer(ResultWriter::kMaxQueued, 50);
    reports.watch(writer);
    writer.Enqueue(rows(100, 0), login);
    ASSERT_TRUE(writer.WaitStored(30000));
    ASSERT_EQ(stored(), 100);

    database.setDown(true);
    writer.Enqueue(rows(200, 100), login);
    EXPECT_FALSE(writer.WaitStored(30000)) << "a database that is gone cannot have stored them";
    writer.Enqueue(rows(300, 300), login);
    EXPECT_FALSE(writer.WaitStored(30000));
    EXPECT_EQ(writer.Pending(), 500);
    EXPECT_EQ(stored(), 100);

    database.setDown(false);
    EXPECT_TRUE(writer.WaitStored(30000));
    EXPECT_EQ(stored(), 600);
    EXPECT_EQ(repeated(), 0);
    expectDaysMatchResults();
    EXPECT_EQ(reports.all(), QStringList({"failed 200 kept", "resumed 500"}))
        << "one line when it went away, one when it came back";
}

// Past its bound the queue drops the newest rows and says so once; what it kept is stored when
// the database answers.
TEST_F(ResultWriterTest, PastTheBoundNewRowsAreDroppedAndThatIsSaidOnce)
{
    TcpForwarder database(CurrentDatabaseLogin().port);
    database.start();
    database.setDown(true);
    DatabaseLogin login = CurrentDatabaseLogin();
    login.port = database.port();

    WriterReports reports;
    ResultWriter writer(250, 50);
    reports.watch(writer);
    writer.Enqueue(rows(200, 0), login);
    EXPECT_FALSE(writer.WaitStored(30000));
    writer.Enqueue(rows(100, 200), login);
    writer.Enqueue(rows(10, 300), login);
    EXPECT_EQ(writer.Pending(), 250);

    database.setDown(false);
    EXPECT_TRUE(writer.WaitStored(30000));
    EXPECT_EQ(stored(), 250);
    EXPECT_EQ(scalar("select max(detail) from quorvel.service_result where detail like 'r2__'"), "r249")
        << "the oldest rows are the ones kept";
    const QStringList lines = reports.all();
    EXPECT_EQ(lines.filter("full").size(), 1) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines.first(), "failed 200 kept");
}

} // namespace
