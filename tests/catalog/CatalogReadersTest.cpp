#include "catalog/CatalogReaders.h"
#include "CatalogTest.h"
#include "platform/runtime/threads/Pool.h"

#include <QUuid>
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pivra::test {
namespace {

class CatalogReadersTest : public CatalogTest {
protected:
    // Every job counts the catalog's rows on its own connection.
    std::vector<int> countOnEveryReader(CatalogReaders& readers, std::size_t jobs, std::size_t width)
    {
        std::vector<int> counts(jobs, -1);
        readers.forEach(jobs, width, [&counts](sqlite3* db, std::size_t index) {
            sqlite::Statement count(db, "SELECT count(*) FROM media");
            counts[index] = count.nextRowChecked() ? count.int32(0) : -2;
        });
        return counts;
    }
};

TEST_F(CatalogReadersTest, EveryJobRunsOnceAndSeesTheCommittedRows)
{
    const QUuid source = QUuid::createUuid();
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        rows().insert(folderRow(source, QString::fromLatin1(name)));
    }
    CatalogReaders readers(databasePath());
    for (const auto& [jobs, width] : std::vector<std::pair<std::size_t, std::size_t>>{{1, 1}, {3, 8}, {40, 4}}) {
        EXPECT_EQ(countOnEveryReader(readers, jobs, width), std::vector<int>(jobs, 3)) << jobs << " jobs";
    }
    rows().insert(folderRow(source, QStringLiteral("d.jpg")));
    EXPECT_EQ(countOnEveryReader(readers, 16, 8), std::vector<int>(16, 4)) << "a reused connection reads afresh";
}

TEST_F(CatalogReadersTest, WaitingConnectionsHoldNoPages)
{
    const QUuid source = QUuid::createUuid();
    sqlite::Transaction transaction(rows().db());
    for (int index = 0; index < 2'000; ++index) {
        rows().insert(folderRow(source, QStringLiteral("photo %1.jpg").arg(index)));
    }
    transaction.commit();
    CatalogReaders readers(databasePath());
    std::vector<sqlite3*> connections(4);
    std::vector<int> cachedWhileReading(connections.size());
    readers.forEach(connections.size(), connections.size(), [&](sqlite3* db, std::size_t index) {
        sqlite::Statement pass(db, "SELECT sum(length(path)) FROM media");
        pass.nextRowChecked();
        connections[index] = db;
        cachedWhileReading[index] = cachedBytes(db);
    });
    for (std::size_t index = 0; index < connections.size(); ++index) {
        EXPECT_GT(cachedWhileReading[index], 0);
        EXPECT_LE(cachedWhileReading[index], sqlite::readingCacheKiB * 1024);
        EXPECT_LT(cachedBytes(connections[index]), cachedWhileReading[index] / 4) << index;
    }
}

TEST_F(CatalogReadersTest, AJobsFailureReachesTheCallerAndTheReadersStayUsable)
{
    CatalogReaders readers(databasePath());
    for (const std::size_t width : {1, 4}) {
        std::atomic<int> ran{0};
        EXPECT_THROW(readers.forEach(64, width,
                                     [&ran](sqlite3*, std::size_t index) {
                                         ++ran;
                                         if (index == 2) {
                                             throw std::runtime_error("broken row");
                                         }
                                     }),
                     std::runtime_error);
        if (width == 1) {
            EXPECT_EQ(ran.load(), 3) << "jobs after the failure are skipped";
        }
        EXPECT_EQ(countOnEveryReader(readers, 8, 4), std::vector<int>(8, 0));
    }
}

TEST_F(CatalogReadersTest, ABusyPoolLeavesTheWorkToTheCallingThread)
{
    QThreadPool* pool = threadPool(PoolPriority::userInitiated);
    std::latch release(1);
    std::latch blocked(pool->maxThreadCount());
    for (int thread = 0; thread < pool->maxThreadCount(); ++thread) {
        pool->start([&] {
            blocked.count_down();
            release.wait();
        });
    }
    blocked.wait();

    CatalogReaders readers(databasePath());
    std::vector<std::thread::id> threads(12);
    readers.forEach(threads.size(), 6, [&threads](sqlite3*, std::size_t index) {
        threads[index] = std::this_thread::get_id();
    });
    EXPECT_EQ(threads, std::vector<std::thread::id>(threads.size(), std::this_thread::get_id()));
    release.count_down();
    pool->waitForDone();
}

} // namespace
} // namespace pivra::test
