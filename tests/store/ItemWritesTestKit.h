#pragma once
// A store whose gallery shows rows of one online folder source, over a
// catalog whose triggers log every favourite and rotation write that goes
// through, in order, and refuse those a test names.

#include "StoreTestKit.h"

#include "catalog/Sqlite.h"
#include "platform/runtime/Drain.h"

#include <gtest/gtest.h>

namespace pivra::test {

class ItemWritesTest : public StoreTest {
protected:
    // Newest first: the last name is the first item.
    std::unique_ptr<LibraryStore> galleryStore(const QStringList& names, LibraryServices services = {})
    {
        source_ = folderSource(QStringLiteral("Trip"), true);
        writeRows(source_, names);
        MediaRowWriter(catalogPath_)
            .exec("CREATE TABLE writes(rotation INTEGER, favorite INTEGER);"
                  "CREATE TRIGGER log_writes AFTER UPDATE OF rotation_quarters, is_favorite ON media BEGIN "
                  "INSERT INTO writes VALUES (NEW.rotation_quarters, NEW.is_favorite); END");
        auto store = makeStore(std::move(services));
        EXPECT_TRUE(drain());
        store->setSources({source_});
        EXPECT_TRUE(drain());
        return store;
    }

    // `condition` is SQL over NEW.
    void refuseWrites(const QString& condition)
    {
        const QString sql = u"CREATE TRIGGER refuse BEFORE UPDATE ON media WHEN " + condition +
                            u" BEGIN SELECT RAISE(ABORT, 'refused'); END";
        MediaRowWriter(catalogPath_).exec(sql.toUtf8().constData());
    }

    // `column` is "rotation" or "favorite".
    QList<int> writes(const QString& column)
    {
        MediaRowWriter writer(catalogPath_);
        sqlite::Statement statement(writer.db(), u"SELECT " + column + u" FROM writes ORDER BY rowid");
        QList<int> values;
        while (statement.nextRowChecked()) {
            values.append(statement.int32(0));
        }
        return values;
    }

    LibrarySource source_;
};

} // namespace pivra::test
