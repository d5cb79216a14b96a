#pragma once

#include "support/QtPrinters.h"
#include "support/Recorders.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>

class TDMQuorvel;

// The settings record pointed at a fresh installation tree (AppPath with log/ and conf/) and at
// the private MariaDB server the test command starts (QUORVEL_TEST_DB_HOST/PORT, user root,
// empty password). Database tests call startWithoutDatabase() or startWithDatabase().
class DatabaseFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    static bool serverConfigured();
    // Drops the quorvel database, so the next connection finds none.
    static void dropDatabase();
    // Creates the data module with the database dropped.
    void startWithoutDatabase();
    // Creates the data module, connected to a freshly created quorvel database with all tables.
    void startWithDatabase();

    // Lines of today's system log.
    QStringList systemLogLines() const;
    // A single value of a scalar query on the test connection.
    QString scalar(const QString& sql) const;

    std::unique_ptr<TempTree> m_tree;
    std::unique_ptr<TDMQuorvel> m_dm;
    RecordingNotifier m_boxes;
    QuitRecorder m_quit;
};

#define REQUIRE_TEST_DATABASE()                                                                              \
    do {                                                                                                     \
        if (!DatabaseFixture::serverConfigured())                                                            \
            GTEST_SKIP() << "QUORVEL_TEST_DB_PORT is not set: run the tests through scripts/test.sh";        \
    } while (0)
