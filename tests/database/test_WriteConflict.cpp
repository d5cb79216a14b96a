// A write conflict on a service's alarm-state row: another connection holds rows this one needs
// while it waits for a row this one holds, and the server ends one of the two transactions with
// its deadlock error. The transaction is run once more after the first conflict; a second one is
// thrown to the caller (who logs it).
#include "database/AlarmStateStore.h"
#include "database/DataModuleQuorvel.h"
#include "support/DatabaseFixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The other monitor: a connection on a thread of its own that, for each round, updates the state
// rows of services 1, 3, 4 and 5 in one transaction (so it is the heavier of the two and the
// server keeps it), says so, waits for the go, then updates service 2's row and commits.
class OtherMonitor
{
public:
    OtherMonitor(const DatabaseLogin& login, int rounds)
        : m_thread([this, login, rounds] { run(login, rounds); })
    {
    }
    ~OtherMonitor() { finish(); }

    // Lets the rounds under way end (committed) and the thread stop.
    void finish()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_cv.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

    // Waits until the other holds its first rows of the next round.
    bool waitUntilHolding()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_holding || m_failed; }) &&
               !m_failed;
    }
    // Lets it go on to service 2's row.
    void go()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_holding = false;
        ++m_goes;
        m_cv.notify_all();
    }
    std::string failure()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_failure;
    }

private:
    void run(const DatabaseLogin& login, int rounds)
    {
        const QString name = QStringLiteral("other-monitor");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
            QString error;
            if (!OpenDatabaseSession(db, login, QStringLiteral("quorvel"), &error)) {
                fail(error.toStdString());
            } else {
                for (int round = 0; round < rounds; ++round) {
                    QSqlQuery q(db);
                    db.transaction();
                    // One row at a time: each statement locks exactly its row.
                    bool updated = true;
                    for (int id : {1, 3, 4, 5})
                        updated = updated && q.exec(QStringLiteral("update service_alarm_state set "
                                                                   "failures=failures+1 where service_id=%1")
                                                        .arg(id));
                    if (!updated) {
                        fail("first updates failed");
                        break;
                    }
                    {
                        std::unique_lock<std::mutex> lock(m_mutex);
                        m_holding = true;
                        m_cv.notify_all();
                        m_cv.wait(lock, [this, round] { return m_goes > round || m_stop; });
                        if (m_goes <= round) {
                            db.rollback();
                            break;
                        }
                    }
                    // Blocks on the row the test holds until the server ends the test's
                    // transaction as the deadlock's victim.
                    if (!q.exec(QStringLiteral("update service_alarm_state set failures=failures+1 where "
                                               "service_id=2"))) {
                        db.rollback();
                        fail("the other monitor was chosen as the victim");
                        break;
                    }
                    db.commit();
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    void fail(const std::string& why)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = true;
        m_failure = why;
        m_cv.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_holding = false;
    int m_goes = 0;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_failure;
    std::thread m_thread;
};

class WriteConflictTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
        m_dm->ExecUpdate(QStringLiteral("set session innodb_lock_wait_timeout=20"));
        for (int id = 1; id <= 5; ++id)
            m_dm->ExecUpdate(AlarmStateStore::WriteStatement(id, ServiceAlarmState()));
    }
};

TEST_F(WriteConflictTest, AConflictOnTheStateRowIsRetriedOnceThenThrown)
{
    struct Case
    {
        int conflicts;  // rounds in which the other monitor forces a conflict
        bool committed; // the work ends committed
        int attempts;
    };
    for (const Case c : {Case{1, true, 2}, Case{2, false, 2}}) {
        SCOPED_TRACE(c.conflicts);
        m_dm->ExecUpdate(QStringLiteral("update service_alarm_state set failures=0"));
        OtherMonitor other(CurrentDatabaseLogin(), c.conflicts);
        int attempts = 0;
        bool conflict = false;
        try {
            RunRetryingConflict(*m_dm, [&] {
                ++attempts;
                // This monitor's transaction: service 2's row first (read for update and
                // written), then service 1's, which the other holds while it waits for 2.
                ServiceAlarmState state = AlarmStateStore::ReadForUpdate(2);
                state.Failures += 10;
                m_dm->ExecUpdate(AlarmStateStore::WriteStatement(2, state));
                if (attempts <= c.conflicts) {
                    ASSERT_TRUE(other.waitUntilHolding()) << other.failure();
                    other.go();
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                }
                state = AlarmStateStore::ReadForUpdate(1);
                state.Failures += 10;
                m_dm->ExecUpdate(AlarmStateStore::WriteStatement(1, state));
            });
        } catch (const DatabaseError& e) {
            conflict = IsWriteConflict(e);
            EXPECT_TRUE(conflict) << e.text().toStdString();
        }
        // The other's last round commits once this one's transaction is gone: read after it.
        other.finish();
        EXPECT_EQ(other.failure(), "");
        EXPECT_EQ(attempts, c.attempts);
        EXPECT_EQ(conflict, !c.committed);
        // Every round of the other is committed; this one's +10 is there once or not at all,
        // never half of it.
        const int own = c.committed ? 10 : 0;
        EXPECT_EQ(scalar("select failures from quorvel.service_alarm_state where service_id=1").toInt(),
                  c.conflicts + own);
        EXPECT_EQ(scalar("select failures from quorvel.service_alarm_state where service_id=2").toInt(),
                  c.conflicts + own);
    }
}

} // namespace
