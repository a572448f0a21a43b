#pragma once

#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "support/system/TempFolder.h"

#include <QStringList>
#include <sqlite3.h>
#include <functional>
#include <ostream>
#include <optional>
#include <vector>

// Readable strings in test failures.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pivra::test {

// A catalog in a fresh temporary file, with a second connection for writing
// raw rows into it.
class CatalogTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        catalog_.emplace(databasePath(), tuning());
        rows_.emplace(databasePath());
    }

    virtual CatalogTuning tuning() const { return {}; }

    QString databasePath() const { return pathOf(QStringLiteral("Catalog.sqlite")); }
    MediaCatalog& catalog() { return *catalog_; }
    MediaRowWriter& rows() { return *rows_; }

    // The kind of CatalogError that `work` throws; a failure when it throws none.
    static CatalogError::Kind failureOf(const std::function<void()>& work)
    {
        try {
            work();
        } catch (const CatalogError& error) {
            return error.kind();
        }
        ADD_FAILURE() << "no CatalogError thrown";
        return CatalogError::Kind::open;
    }

    // The bytes of page cache a connection holds.
    static int cachedBytes(sqlite3* db)
    {
        int used = 0;
        int highest = 0;
        sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_USED, &used, &highest, 0);
        return used;
    }

    static QStringList idsOf(const std::vector<MediaItem>& items)
    {
        QStringList ids;
        for (const MediaItem& item : items) {
            ids.append(item.id());
        }
        return ids;
    }

    // The gallery's ids in order, read as the store reads them: the count,
    // then the index, which takes the rows the count found hidden. The count
    // must agree with the index.
    QStringList galleryIDs(const GalleryScope& scope = {})
    {
        const std::int64_t count = catalog().galleryCount(scope);
        const std::vector<MediaItem> items = catalog().galleryIndex(scope);
        EXPECT_EQ(count, static_cast<std::int64_t>(items.size()));
        return idsOf(items);
    }

private:
    std::optional<MediaCatalog> catalog_;
    std::optional<MediaRowWriter> rows_;
};

} // namespace pivra::test
