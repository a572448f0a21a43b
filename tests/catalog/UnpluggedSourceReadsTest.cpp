// A library whose large disk is unplugged: the gallery of the connected
// sources must not step over the unplugged disk's rows. Its first screen, its
// count and its index are read through a fresh connection each, so every page
// they look at is read from the file once, and counted.
#include "catalog/CatalogTest.h"
#include "catalog/PageReads.h"
#include "catalog/ScopeReads.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

namespace pivra::test {
namespace {

const QUuid unplugged = QUuid::fromString(QStringLiteral("6F1C2A10-7D3B-4C55-9E0A-1B2C3D4E5F60"));
const QUuid home = QUuid::fromString(QStringLiteral("0D9E8F7A-6B5C-4D3E-8F2A-1B0C9D8E7F6A"));

// Enough unplugged rows that stepping over them reads many times the bound;
// a million take a minute to write, and the benchmark has them.
constexpr int unpluggedRows = 100'000;
constexpr int homeRows = 2'000;
// The bound of the issue: fewer rows than this read for the first screen, the
// count or the index, given as the pages that many rows take in the file.
constexpr int mostRowsRead = 10'000;
// The items of the store's first screen.
constexpr int firstScreen = 2'000;

// Rows as a scan writes them: folders by month, a video in twelve, a
// favourite in twenty, a Live Photo pair in fifty, an edited copy in a
// hundred; a home photo in twenty is also on the unplugged disk (same
// content, same key), so the duplicate rules meet its twins there.
void writeLibrary(MediaRowWriter& writer)
{
    sqlite::Transaction transaction(writer.db());
    const auto write = [&](const QUuid& source, int serial, bool backup) {
        const bool video = serial % 12 == 0;
        const QString name = QStringLiteral("IMG_%1.%2").arg(serial, 6, 10, QLatin1Char('0'))
                                 .arg(video ? QStringLiteral("MOV") : QStringLiteral("HEIC"));
        MediaRow row = folderRow(source, QStringLiteral("%1/%2").arg(serial / 4000).arg(name),
                                 video ? QStringLiteral("video") : QStringLiteral("image"));
        row.captured = 1'100'000'000.0 + double(std::int64_t{serial} * 997 * 53 % 600'000'000);
        row.fileSize = 1'000'000 + serial * 13;
        row.isFavorite = serial % 20 == 3;
        row.thumbnailKey = QString::fromLatin1(
            QCryptographicHash::hash(QByteArray::number(serial), QCryptographicHash::Sha256).toHex());
        row.liveIdentifier = serial % 50 == 1 || serial % 50 == 2 ? std::optional(QStringLiteral("LIVE-%1").arg(serial / 50))
                                                                  : std::nullopt;
        writer.insert(row);
        if (backup) {
            MediaRow copy = row;
            copy.sourceID = uuidString(unplugged);
            copy.path = QStringLiteral("/backup/") + *row.relativePath;
            writer.insert(copy);
        }
        if (!video && serial % 100 == 5) {
            MediaRow edited = row;
            edited.name = u"IMG_E" + row.name->mid(4);
            edited.relativePath = QStringLiteral("%1/%2").arg(serial / 4000).arg(*edited.name);
            edited.path = QStringLiteral("/photos/") + *edited.relativePath;
            edited.thumbnailKey = *row.thumbnailKey + u'e';
            writer.insert(edited);
        }
    };
    for (int serial = 0; serial < unpluggedRows; ++serial) {
        write(unplugged, serial, false);
    }
    for (int serial = unpluggedRows; serial < unpluggedRows + homeRows; ++serial) {
        write(home, serial, serial % 20 == 0);
    }
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

class UnpluggedSource : public TempFolderTest {};

TEST_F(UnpluggedSource, FirstScreenCountAndIndexReadOnlyTheConnectedRows)
{
    const QString path = pathOf(QStringLiteral("Catalog.sqlite"));
    std::int64_t pagesPerTenThousandRows = 0;
    {
        const MediaCatalog schema(path);
        MediaRowWriter writer(path);
        writeLibrary(writer);
        sqlite::Statement size(writer.db(), "SELECT (SELECT page_count FROM pragma_page_count), count(*) FROM media");
        ASSERT_TRUE(size.nextRowChecked());
        pagesPerTenThousandRows = size.int64(0) * mostRowsRead / size.int64(1);
    }
    PageReads reads;
    struct Case {
        const char* name;
        GalleryScope scope;
    };
    const Case cases[] = {
        {"everything", {.excludedSources = {unplugged}}},
        {"favourites", {.favoritesOnly = true, .excludedSources = {unplugged}}},
        {"photos", {.filter = MediaFilter::photos, .excludedSources = {unplugged}}},
        {"videos", {.filter = MediaFilter::videos, .excludedSources = {unplugged}}},
        {"search", {.search = {.terms = {QStringLiteral("IMG")}}, .excludedSources = {unplugged}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto cold = [&] {
            auto catalog = std::make_unique<MediaCatalog>(path);
            reads.take();
            return catalog;
        };
        std::vector<MediaItem> head = cold()->galleryHead(c.scope, firstScreen);
        const std::int64_t headPages = reads.take();
        auto catalog = cold();
        const std::int64_t count = catalog->galleryCount(c.scope);
        const std::int64_t countPages = reads.take();
        const std::vector<MediaItem> index = catalog->galleryIndex(c.scope);
        const std::int64_t indexPages = reads.take();

        EXPECT_GT(count, 0);
        EXPECT_EQ(count, static_cast<std::int64_t>(index.size()));
        EXPECT_EQ(head.size(), std::min<std::size_t>(index.size(), std::size_t{firstScreen}));
        EXPECT_TRUE(std::equal(head.begin(), head.end(), index.begin(),
                               [](const MediaItem& a, const MediaItem& b) { return a.id() == b.id(); }));
        EXPECT_TRUE(std::all_of(index.begin(), index.end(), [](const MediaItem& item) { return item.sourceID() == home; }));
        for (const std::int64_t pages : {headPages, countPages, indexPages}) {
            EXPECT_LT(pages, pagesPerTenThousandRows) << "head " << headPages << ", count " << countPages << ", index "
                                                      << indexPages;
        }
    }
    // The dates that cut a large scope for a spread read are sampled, not
    // found by reading the catalog's rows.
    MediaRowWriter connection(path);
    reads.take();
    EXPECT_FALSE(captureCuts(connection.db(), 32, QStringList{uuidString(home)}).empty());
    EXPECT_LT(reads.take(), pagesPerTenThousandRows);
}

} // namespace
} // namespace pivra::test
