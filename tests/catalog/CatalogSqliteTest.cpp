#include "catalog/CatalogTest.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using CatalogSqlite = CatalogTest;

std::int64_t mediaRows(sqlite3* db)
{
    sqlite::Statement count(db, "SELECT COUNT(*) FROM media");
    EXPECT_TRUE(count.nextRow());
    return count.int64(0);
}

TEST_F(CatalogSqlite, FailuresHaveTheirKinds)
{
    sqlite3* db = rows().db();
    EXPECT_EQ(failureOf([&] { sqlite::Statement(db, "SELECT nothing FROM nowhere"); }),
              CatalogError::Kind::prepare);
    EXPECT_EQ(failureOf([&] { sqlite::Statement(db, ""); }), CatalogError::Kind::prepare);
    EXPECT_EQ(failureOf([&] { sqlite::Statement(db, "INSERT INTO albums(id) VALUES ('x')").run(); }),
              CatalogError::Kind::step);
    EXPECT_EQ(failureOf([&] { sqlite::exec(db, "COMMIT"); }), CatalogError::Kind::step);
}

// json() fails at run time on its third row: a display read ends quietly,
// a read that feeds a decision reports the failure.
TEST_F(CatalogSqlite, ErrorInTheMiddleOfARead)
{
    const char* sql = "SELECT json(CASE WHEN column1=3 THEN 'broken' ELSE '1' END) FROM (VALUES (1),(2),(3),(4),(5))";
    sqlite::Statement quiet(rows().db(), sql);
    int read = 0;
    while (quiet.nextRow()) {
        ++read;
    }
    EXPECT_EQ(read, 2);

    sqlite::Statement checked(rows().db(), sql);
    EXPECT_TRUE(checked.nextRowChecked());
    EXPECT_TRUE(checked.nextRowChecked());
    EXPECT_EQ(failureOf([&] { checked.nextRowChecked(); }), CatalogError::Kind::step);
}

// A failure in the middle of a multi-row write leaves none of its rows.
TEST_F(CatalogSqlite, TransactionRollsBackAsAWhole)
{
    sqlite3* db = rows().db();
    sqlite::exec(db, "CREATE TEMP TRIGGER refuse_third BEFORE INSERT ON media WHEN NEW.name='third.jpg' "
                     "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const QUuid source = QUuid::createUuid();
    EXPECT_EQ(failureOf([&] {
                  sqlite::Transaction transaction(db);
                  for (const char* name : {"first.jpg", "second.jpg", "third.jpg", "fourth.jpg"}) {
                      rows().insert(folderRow(source, QString::fromLatin1(name)));
                  }
                  transaction.commit();
              }),
              CatalogError::Kind::step);
    EXPECT_EQ(mediaRows(db), 0);
    EXPECT_EQ(sqlite3_get_autocommit(db), 1) << "the transaction is closed";

    {
        sqlite::Transaction transaction(db);
        rows().insert(folderRow(source, QStringLiteral("first.jpg")));
        rows().insert(folderRow(source, QStringLiteral("second.jpg")));
        transaction.commit();
    }
    EXPECT_EQ(mediaRows(db), 2);
}

TEST_F(CatalogSqlite, ReusedStatementForgetsEarlierBindings)
{
    sqlite::Statement statement(rows().db(), "SELECT ?1 IS NULL, ?2");
    statement.bindText(1, QStringLiteral("first"));
    statement.bindInt(2, 7);
    ASSERT_TRUE(statement.nextRow());
    EXPECT_EQ(statement.int32(0), 0);
    statement.resetForReuse();
    statement.bindInt(2, 8);
    ASSERT_TRUE(statement.nextRow());
    EXPECT_EQ(statement.int32(0), 1);
    EXPECT_EQ(statement.int32(1), 8);
}

// A write keeps the large page cache only while it lasts; a pass over the
// whole table after it stays within the small one.
TEST_F(CatalogSqlite, OnlyAWriteHoldsTheLargePageCache)
{
    sqlite3* db = rows().db();
    sqlite::setPageCache(db, sqlite::readingCacheKiB);
    // The size counts the pages' contents; their bookkeeping comes on top.
    constexpr int small = sqlite::readingCacheKiB * 1024 * 9 / 8;
    const QUuid source = QUuid::createUuid();
    {
        const sqlite::WritingCache cache(db);
        sqlite::Transaction transaction(db);
        for (int index = 0; index < 10'000; ++index) {
            rows().insert(folderRow(source, QStringLiteral("folder %1/photo %2.jpg").arg(index % 97).arg(index)));
        }
        EXPECT_GT(cachedBytes(db), 2 * small) << "the indexes' pages stay in memory while the write lasts";
        transaction.commit();
    }
    EXPECT_LE(cachedBytes(db), small);
    sqlite::Statement pass(db, "SELECT sum(length(metadata_json)) FROM media INDEXED BY media_source_id");
    EXPECT_TRUE(pass.nextRowChecked());
    EXPECT_EQ(mediaRows(db), 10'000);
    EXPECT_LE(cachedBytes(db), small);
}

} // namespace
} // namespace pivra::test
