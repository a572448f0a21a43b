// The gallery against a plain C++ reading of its rules and against the rules'
// own SQL (which the neighbour step runs), over random catalogs with many
// duplicates, Live Photo pairs and edited copies, and random scopes that set
// every condition at once.
#include "catalog/CatalogTest.h"
#include "catalog/ScopeReads.h"
#include "catalog/scan/ScanBatch.h"
#include "catalog/model/CellKey.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace pivra::test {
namespace {

const QList<QUuid> sources = {
    QUuid::fromString(QStringLiteral("0A000000-0000-0000-0000-000000000001")),
    QUuid::fromString(QStringLiteral("0B000000-0000-0000-0000-000000000002")),
    QUuid::fromString(QStringLiteral("0C000000-0000-0000-0000-000000000003")),
};
// Non-ASCII folders and names: the edited-copy rule cuts places by character.
const QStringList folders = {QString(), "2020", "2020/x", "2020-old", "2021", "Çağ/ü"};
const QStringList names = {"IMG_1001.HEIC", "IMG_E1001.HEIC", "IMG_1002.JPG", "IMG_E1002.JPG", "img_1003.jpg",
                           "beach.jpg",     "Clip.mov",       "IMG_2000.MOV", "IMG_3ü.JPG",    "IMG_E3ü.JPG"};

struct OracleRow {
    MediaRow row;
    QUuid source;
    bool inAlbum = false;
};

class Oracle {
public:
    Oracle(const std::vector<OracleRow>& rows, const GalleryScope& scope) : rows_(rows), scope_(scope)
    {
        inScope_.reserve(rows_.size());
        for (const OracleRow& row : rows_) {
            inScope_.push_back(inScope(row));
        }
    }

    QStringList expectedIDs() const
    {
        std::vector<const OracleRow*> shown;
        for (std::size_t at = 0; at < rows_.size(); ++at) {
            const OracleRow& row = rows_[at];
            if (inScope_[at] && !hiddenBySameContent(row) && !hiddenBySameFile(row) && !hiddenByEditedCopy(row)) {
                shown.push_back(&row);
            }
        }
        std::sort(shown.begin(), shown.end(), [](const OracleRow* a, const OracleRow* b) {
            if (a->row.captured != b->row.captured) {
                return a->row.captured > b->row.captured;
            }
            return a->row.itemID() < b->row.itemID(); // ASCII ids: same as SQLite's byte order
        });
        QStringList ids;
        for (const OracleRow* row : shown) {
            ids.append(row->row.itemID());
        }
        return ids;
    }

private:
    bool visible(const OracleRow& r) const
    {
        if (r.row.kind != u"video" || !r.row.liveIdentifier) {
            return true;
        }
        return std::none_of(rows_.begin(), rows_.end(), [&](const OracleRow& still) {
            return still.source == r.source && still.row.kind == u"image"
                && still.row.liveIdentifier == r.row.liveIdentifier;
        });
    }

    static bool contains(const std::optional<QString>& field, const QString& term)
    {
        return field && field->contains(term, Qt::CaseInsensitive);
    }

    bool inScope(const OracleRow& r) const
    {
        const MediaRow& m = r.row;
        const SearchQuery& search = scope_.search;
        if (!visible(r) || (scope_.favoritesOnly && !m.isFavorite) || (scope_.albumID && !r.inAlbum)
            || (scope_.sourceID && *scope_.sourceID != r.source) || scope_.excludedSources.contains(r.source)) {
            return false;
        }
        if (scope_.folder
            && !(m.relativePath
                 && (*m.relativePath == *scope_.folder || m.relativePath->startsWith(*scope_.folder + u'/')))) {
            return false;
        }
        if (const std::optional<MediaKind> kind = restrictedKind(scope_.filter); kind && m.kind != rawValue(*kind)) {
            return false;
        }
        for (const QString& term : search.terms) {
            if (!contains(m.name, term) && !contains(m.camera, term) && !contains(m.lens, term)
                && !contains(m.metadataJSON, term)) {
                return false;
            }
        }
        for (const QString& term : search.nameTerms) {
            if (!contains(m.name, term)) {
                return false;
            }
        }
        if ((search.from && m.captured < *search.from) || (search.until && m.captured >= *search.until)) {
            return false;
        }
        if (search.placeCells
            && !(m.latitude && m.longitude && search.placeCells->contains(cellKey(*m.latitude, *m.longitude)))) {
            return false;
        }
        return !(search.kind && m.kind != rawValue(*search.kind));
    }

    int rank(const OracleRow& r) const { return scope_.offlineSources.contains(r.source) ? 1 : 0; }

    bool preferred(const OracleRow& twin, const OracleRow& item) const
    {
        return rank(twin) < rank(item) || (rank(twin) == rank(item) && twin.row.itemID() < item.row.itemID());
    }

    template<typename Twin>
    bool anyTwin(const OracleRow& item, Twin isTwin) const
    {
        for (std::size_t at = 0; at < rows_.size(); ++at) {
            const OracleRow& twin = rows_[at];
            if (inScope_[at] && isTwin(twin) && twin.row.itemID() != item.row.itemID()) {
                return true;
            }
        }
        return false;
    }

    bool hiddenBySameContent(const OracleRow& item) const
    {
        return item.row.thumbnailKey && anyTwin(item, [&](const OracleRow& twin) {
                   return twin.row.thumbnailKey == item.row.thumbnailKey && preferred(twin, item);
               });
    }

    bool hiddenBySameFile(const OracleRow& item) const
    {
        const MediaRow& m = item.row;
        return anyTwin(item, [&](const OracleRow& twin) {
            const MediaRow& t = twin.row;
            return t.fileSize == m.fileSize && t.kind == m.kind && t.captured == m.captured && t.width == m.width
                && t.height == m.height && (!t.thumbnailKey || !m.thumbnailKey) && preferred(twin, item);
        });
    }

    bool hiddenByEditedCopy(const OracleRow& item) const
    {
        const MediaRow& m = item.row;
        const QString name = *m.name;
        if (!(name.startsWith(u"IMG_") && name.size() > 4 && name[4].isDigit())) {
            return false;
        }
        const QString place = m.relativePath.value_or(name);
        const QString folderPrefix = place.left(std::max<qsizetype>(0, place.size() - name.size()));
        return anyTwin(item, [&](const OracleRow& twin) {
            const MediaRow& t = twin.row;
            return twin.source == item.source && *t.name == u"IMG_E" + name.mid(4) && t.kind == m.kind
                && t.relativePath.value_or(*t.name) == folderPrefix + *t.name;
        });
    }

    const std::vector<OracleRow>& rows_;
    const GalleryScope& scope_;
    std::vector<bool> inScope_; // in the order of rows_
};

// Run with every index read alone and spread over several connections by
// capture date, which the small catalog only reaches when spreading starts at
// one row; and with the count's duplicates decided among the catalog's
// candidates and by their rules' SQL, which a small catalog's scopes take
// only by a share of one or more.
class GalleryOracle : public CatalogTest, public testing::WithParamInterface<CatalogTuning> {
protected:
    CatalogTuning tuning() const override { return GetParam(); }

    template<typename T>
    static const T& pick(std::mt19937& random, const QList<T>& values)
    {
        return values[std::uniform_int_distribution<qsizetype>(0, values.size() - 1)(random)];
    }

    static bool chance(std::mt19937& random, double probability)
    {
        return std::bernoulli_distribution(probability)(random);
    }

    std::vector<OracleRow> fillCatalog(std::mt19937& random, const QUuid& album)
    {
        std::vector<OracleRow> written;
        for (const QUuid& source : sources) {
            for (const QString& folder : folders) {
                for (const QString& name : names) {
                    if (!chance(random, 0.5)) {
                        continue;
                    }
                    OracleRow entry;
                    entry.source = source;
                    entry.row = folderRow(source, folder.isEmpty() ? name : folder + u'/' + name);
                    MediaRow& row = entry.row;
                    row.kind = name.endsWith(u"mov", Qt::CaseInsensitive) || chance(random, 0.1)
                                 ? QStringLiteral("video")
                                 : QStringLiteral("image");
                    if (chance(random, 0.1)) {
                        row.relativePath.reset(); // a device item
                    } else if (chance(random, 0.05)) {
                        row.relativePath = pick(random, QStringList{"x.jpg", "ü/IMG_E1001.HEIC", "2020/IMG_E3ü.JPG"});
                    }
                    row.captured = pick(random, QList<double>{1000.0, 1000.25, 2000.0});
                    row.fileSize = pick(random, QList<qint64>{1, 2});
                    row.width = pick(random, QList<int>{10, 20});
                    row.height = 10;
                    row.isFavorite = chance(random, 0.4);
                    row.camera = pick(random, QList<std::optional<QString>>{std::nullopt, "Canon", "Nikon"});
                    row.metadataJSON = pick(random, QList<std::optional<QString>>{std::nullopt, "{}", R"({"City":"Beach"})"});
                    row.thumbnailKey = pick(random, QList<std::optional<QString>>{std::nullopt, "k1", "k2", "k3"});
                    row.liveIdentifier = pick(random, QList<std::optional<QString>>{std::nullopt, std::nullopt, "L1", "L2"});
                    if (chance(random, 0.5)) {
                        const auto [latitude, longitude] =
                            pick(random, QList<std::pair<double, double>>{{41.005, 29.0}, {41.015, 29.0}, {87.095, 28.98}});
                        row.latitude = latitude;
                        row.longitude = longitude;
                    }
                    rows().insert(row);
                    entry.inAlbum = chance(random, 0.5);
                    if (entry.inAlbum) {
                        catalog().addToAlbum(album, row.itemID());
                    }
                    written.push_back(entry);
                }
            }
        }
        return written;
    }

    // The ids that GalleryScope::predicate() selects, in gallery order.
    QStringList rulesInSql(const GalleryScope& scope)
    {
        const SqlPredicate predicate = scope.predicate();
        sqlite::Statement statement(rows().db(), QStringLiteral("SELECT id FROM media WHERE ") + predicate.where
                                                     + QStringLiteral(" ORDER BY captured DESC,id"));
        statement.bindTexts(1, predicate.parameters);
        QStringList ids;
        while (statement.nextRowChecked()) {
            ids.append(*statement.text(0));
        }
        return ids;
    }

    static GalleryScope randomScope(std::mt19937& random, const QUuid& album)
    {
        GalleryScope scope;
        if (chance(random, 0.3)) {
            scope.sourceID = pick(random, sources);
        }
        scope.filter = pick(random, QList<MediaFilter>{MediaFilter::all, MediaFilter::photos, MediaFilter::videos});
        scope.favoritesOnly = chance(random, 0.3);
        if (chance(random, 0.3)) {
            scope.albumID = album;
        }
        for (const QUuid& source : sources) {
            if (chance(random, 0.2)) {
                scope.excludedSources.append(source);
            }
            if (chance(random, 0.4)) {
                scope.offlineSources.append(source);
            }
        }
        if (chance(random, 0.3)) {
            scope.folder = pick(random, QStringList{"2020", "2020/x", "2021"});
        }
        SearchQuery& search = scope.search;
        if (chance(random, 0.3)) {
            search.terms.append(pick(random, QStringList{"canon", "IMG", "beach", "e1"}));
        }
        if (chance(random, 0.2)) {
            search.nameTerms.append(pick(random, QStringList{"img_", "1001", "clip"}));
        }
        if (chance(random, 0.3)) {
            search.from = pick(random, QList<double>{1000.0, 1000.25});
        }
        if (chance(random, 0.3)) {
            search.until = pick(random, QList<double>{1000.25, 2000.0});
        }
        if (chance(random, 0.3)) {
            search.placeCells = pick(random, QList<QStringList>{{}, {cellKey(87.095, 28.98)},
                                                                {cellKey(41.005, 29.0), cellKey(41.015, 29.0)}});
        }
        if (chance(random, 0.2)) {
            search.kind = pick(random, QList<MediaKind>{MediaKind::image, MediaKind::video});
        }
        return scope;
    }
};

TEST_P(GalleryOracle, CountAndIndexMatchABruteForceFilter)
{
    int nonEmpty = 0;
    for (const unsigned seed : {1u, 2u, 3u}) {
        rows().exec("DELETE FROM media; DELETE FROM albums;");
        std::mt19937 random(seed);
        const QUuid album = catalog().createAlbum(QStringLiteral("Oracle"));
        const std::vector<OracleRow> written = fillCatalog(random, album);
        for (int round = 0; round < 150; ++round) {
            const GalleryScope scope = randomScope(random, album);
            const QStringList expected = Oracle(written, scope).expectedIDs();
            // Alone, the index finds the hidden rows itself; after a count of
            // the same scope it takes the count's.
            ASSERT_EQ(idsOf(catalog().galleryIndex(scope)), expected) << "seed " << seed << ", round " << round;
            ASSERT_EQ(galleryIDs(scope), expected) << "seed " << seed << ", round " << round;
            ASSERT_EQ(rulesInSql(scope), expected) << "seed " << seed << ", round " << round;
            // A first screen of none, a third, two thirds or all of it.
            const auto headItems = static_cast<int>(expected.size()) * (round % 4) / 3;
            ASSERT_EQ(idsOf(catalog().galleryHead(scope, headItems)), expected.first(headItems))
                << "seed " << seed << ", round " << round;
            nonEmpty += expected.isEmpty() ? 0 : 1;
        }
        // The plain scope of everything must have hidden some duplicates.
        EXPECT_LT(galleryIDs().size(), static_cast<qsizetype>(written.size()));
    }
    EXPECT_GT(nonEmpty, 150) << "too few scopes matched anything to test the rules";
}

// A library of a shown and b hidden (unplugged) folder sources: one or two
// rows each, with twins across sources, edited copies and Live Photos.
struct ManySources {
    int shown;
    int hidden;
};

// The parameters and the length of a prepared statement.
std::pair<int, std::size_t> sizeOf(const sqlite::Statement& statement)
{
    return {sqlite3_bind_parameter_count(statement.handle()), std::strlen(sqlite3_sql(statement.handle()))};
}

// Hundreds or thousands of folders, many of them unplugged and hidden: the
// first screen, the count and the index (cut by dates under a spreading
// tuning) agree with the brute-force filter, and the statements that read
// them are as long and take as many parameters for 50 sources as for 2,500.
TEST_P(GalleryOracle, ManySourcesWithTheDisconnectedHidden)
{
    const QStringList names = {"IMG_1001.HEIC", "IMG_E1001.HEIC", "beach.jpg", "IMG_2000.MOV", "Clip.mov"};
    std::optional<std::vector<std::pair<int, std::size_t>>> firstSizes;
    for (const ManySources library : {ManySources{300, 300}, {400, 10}, {50, 1500}, {2000, 500}}) {
        SCOPED_TRACE(std::to_string(library.shown) + " shown, " + std::to_string(library.hidden) + " hidden");
        rows().exec("DELETE FROM media;");
        std::mt19937 random(static_cast<unsigned>(library.shown * 7 + library.hidden));
        QList<QUuid> hidden;
        std::vector<OracleRow> written;
        {
            sqlite::Transaction transaction(rows().db());
            for (int serial = 0; serial < library.shown + library.hidden; ++serial) {
                const QUuid source(random(), random() % 65536, random() % 65536, 1, 2, 3, 4, 5, 6, 7, 8);
                if (serial >= library.shown) {
                    hidden.append(source);
                }
                QStringList paths;
                for (int index = 0; index < (serial % 3 == 0 ? 2 : 1); ++index) {
                    QString path = pick(random, QStringList{QString(), QStringLiteral("2020/")}) + pick(random, names);
                    while (paths.contains(path)) {
                        path.prepend(QStringLiteral("x/"));
                    }
                    paths.append(path);
                    OracleRow entry{folderRow(source, path), source};
                    MediaRow& row = entry.row;
                    row.kind = path.endsWith(u"MOV", Qt::CaseInsensitive) ? QStringLiteral("video") : QStringLiteral("image");
                    row.captured = 1000.0 + 0.25 * std::uniform_int_distribution(0, 40)(random);
                    row.fileSize = pick(random, QList<qint64>{1, 2});
                    row.width = pick(random, QList<int>{10, 20});
                    row.height = 10;
                    row.isFavorite = chance(random, 0.4);
                    if (chance(random, 0.7)) {
                        row.thumbnailKey = QStringLiteral("k%1").arg(std::uniform_int_distribution(0, 99)(random));
                    }
                    if (chance(random, 0.1)) {
                        row.liveIdentifier = QStringLiteral("L1");
                    }
                    rows().insert(row);
                    written.push_back(std::move(entry));
                }
            }
            transaction.commit();
        }
        std::vector<std::pair<int, std::size_t>> sizes;
        for (GalleryScope scope : {GalleryScope{}, GalleryScope{.favoritesOnly = true},
                                   GalleryScope{.filter = MediaFilter::photos, .search = {.terms = {QStringLiteral("img")}}}}) {
            scope.excludedSources = hidden;
            scope.offlineSources = hidden;
            const QStringList expected = Oracle(written, scope).expectedIDs();
            ASSERT_EQ(galleryIDs(scope), expected);
            ASSERT_EQ(idsOf(catalog().galleryIndex(scope)), expected);
            for (const qsizetype items : {qsizetype{1}, qsizetype{37}, expected.size() / 2, expected.size() + 1}) {
                ASSERT_EQ(idsOf(catalog().galleryHead(scope, static_cast<int>(items))), expected.first(std::min(items, expected.size())));
            }

            const std::optional<QStringList> sources = shownSources(rows().db(), scope);
            ASSERT_TRUE(sources);
            EXPECT_EQ(sources->size(), library.shown);
            const QString columns = MediaCatalog::indexColumns() + QStringLiteral(",media.rowid");
            sizes.push_back(sizeOf(prepareScopeHead(rows().db(), MediaCatalog::indexColumns(), scope.scopePredicate(),
                                                    scope.duplicateRules(sources), sources, 10)));
            sizes.push_back(sizeOf(prepareScopeRead(rows().db(), columns, scope.scopePredicate(), sources,
                                                    QStringLiteral(" ORDER BY captured DESC,id"))));
            sizes.push_back(sizeOf(prepareScopeRead(rows().db(), QStringLiteral("media.rowid"), scope.predicate(sources),
                                                    sources, {})));
        }
        if (!firstSizes) {
            firstSizes = sizes;
        }
        EXPECT_EQ(sizes, *firstSizes);
    }
}

// Counts decide duplicates among the catalog's candidates, whatever the
// scope's size, so every reload below reads them.
class DuplicateCandidateUpdates : public GalleryOracle {
protected:
    CatalogTuning tuning() const override { return {.rulesInSqlBelowShare = 0}; }

    // A scan's decision to write `row` as a new or changed file.
    static ScanBatch::Changed scanned(const MediaRow& row)
    {
        const QUuid source = QUuid::fromString(row.sourceID);
        return {MediaItem(row.itemID(), source, row.path, *row.name,
                          row.kind == u"video" ? MediaKind::video : MediaKind::image, row.captured, *row.dateOrigin,
                          row.width, row.height, row.camera, row.lens, row.duration, row.fileSize, row.modified,
                          row.metadataJSON, 0, false, std::nullopt, row.liveIdentifier, std::nullopt),
                *row.relativePath};
    }

    // Every scope below agrees with the brute-force filter of `written`, and
    // with a copy of the catalog opened afresh, which finds its candidates
    // over every row.
    void expectTheRules(const std::vector<OracleRow>& written, const char* step)
    {
        const GalleryScope scopes[] = {
            {},
            {.offlineSources = {sources[0]}},
            {.favoritesOnly = true, .offlineSources = {sources[2]}},
            {.excludedSources = {sources[1]}, .offlineSources = {sources[1], sources[2]}},
        };
        const QString copy = pathOf(QStringLiteral("Rebuilt.sqlite"));
        QFile::remove(copy);
        rows().exec(QStringLiteral("VACUUM INTO '%1';").arg(copy).toStdString().c_str());
        MediaCatalog rebuilt(copy, tuning());
        for (const GalleryScope& scope : scopes) {
            const QStringList ids = galleryIDs(scope);
            ASSERT_EQ(ids, Oracle(written, scope).expectedIDs()) << step;
            ASSERT_EQ(ids, idsOf(rebuilt.galleryIndex(scope))) << step;
        }
    }
};

// A favourite, a turn or an album link changes no duplicate: the candidates
// read the marked row again, not the catalog. A scan's new, changed and
// deleted files and a media key given by thumbnail preparation are read with
// the rows sharing their keys, and the gallery then hides exactly what the
// rules hide.
TEST_F(DuplicateCandidateUpdates, AChangeReadsItsRowsAndTheirTwinsOnly)
{
    std::mt19937 random(5);
    const QUuid album = catalog().createAlbum(QStringLiteral("Updates"));
    std::vector<OracleRow> written = fillCatalog(random, album);
    {
        sqlite::Transaction transaction(rows().db());
        for (int serial = 0; serial < 2000; ++serial) {
            OracleRow entry{folderRow(sources[0], QStringLiteral("bulk/%1.jpg").arg(serial)), sources[0]};
            entry.row.captured = 5000.0 + serial;
            entry.row.fileSize = 100 + serial;
            entry.row.thumbnailKey = QStringLiteral("unique-%1").arg(serial);
            rows().insert(entry.row);
            written.push_back(std::move(entry));
        }
        transaction.commit();
    }
    expectTheRules(written, "first read");
    const std::int64_t built = catalog().duplicateCandidateRowsRead();
    EXPECT_GT(built, static_cast<std::int64_t>(3 * written.size())) << "the first read walks three indexes";

    // The user's marks, on a plain photo and on one with many twins.
    const auto entryOf = [&written](const QString& id) {
        return std::find_if(written.begin(), written.end(), [&](const OracleRow& entry) { return entry.row.itemID() == id; });
    };
    const auto twinned = std::find_if(written.begin(), written.end(), [](const OracleRow& entry) {
        return entry.row.thumbnailKey == u"k1" && !entry.row.isFavorite;
    });
    ASSERT_NE(twinned, written.end());
    for (OracleRow* entry : {&*twinned, &written.back()}) {
        catalog().setFavorite(true, entry->row.itemID());
        catalog().setRotation(1, entry->row.itemID());
        catalog().addToAlbum(album, entry->row.itemID());
        entry->row.isFavorite = true;
        entry->inAlbum = true;
    }
    expectTheRules(written, "after marks");
    const std::int64_t marked = catalog().duplicateCandidateRowsRead() - built;
    EXPECT_LT(marked, built / 20) << "the marks made the candidates read " << marked << " rows";

    // A rescan of the third source: a copy of one of its photos (same size,
    // kind, date and dimensions, no key yet), a new photo, a changed one and
    // one gone; then thumbnail preparation gives the new photo a known key.
    const ScanFingerprints before = catalog().existingFingerprints(sources[2]);
    ASSERT_GE(before.rowCount(), 3u);
    const auto copied = entryOf(before.idAt(0));
    const auto changed = entryOf(before.idAt(1));
    const auto gone = entryOf(before.idAt(2));
    OracleRow copy = *copied;
    copy.row = folderRow(sources[2], QStringLiteral("copies/") + *copied->row.name, copied->row.kind);
    copy.row.captured = copied->row.captured;
    copy.row.fileSize = copied->row.fileSize;
    copy.row.width = copied->row.width;
    copy.row.height = copied->row.height;
    copy.inAlbum = false;
    OracleRow fresh{folderRow(sources[2], QStringLiteral("new/IMG_E1001.HEIC")), sources[2]};
    changed->row.fileSize += 1000;
    changed->row.thumbnailKey.reset();
    changed->row.latitude.reset();
    changed->row.longitude.reset();
    ScanBatch batch;
    batch.changed = {scanned(copy.row), scanned(fresh.row), scanned(changed->row)};
    const QString token = QStringLiteral("rescan");
    catalog().apply(batch, token);
    std::vector<bool> seen(before.rowCount(), true);
    seen[2] = false;
    catalog().deleteUnseen(sources[2], token, before, seen, {});
    written.erase(gone);
    written.push_back(copy);
    written.push_back(fresh);
    expectTheRules(written, "after the rescan");
    EXPECT_TRUE(catalog().setThumbnailKey(QStringLiteral("k2"), fresh.row.itemID()));
    written.back().row.thumbnailKey = QStringLiteral("k2");
    expectTheRules(written, "after a key");
    const std::int64_t rescanned = catalog().duplicateCandidateRowsRead() - built - marked;
    EXPECT_LT(rescanned, built / 10) << "the rescan made the candidates read " << rescanned << " rows";

    // Files of the second source changed again and again into and out of
    // each other's twins, and given keys, a few at a time.
    for (int round = 0; round < 5; ++round) {
        ScanBatch again;
        for (OracleRow& entry : written) {
            if (entry.source != sources[1] || !chance(random, 0.2)) {
                continue;
            }
            if (!entry.row.thumbnailKey && chance(random, 0.5)) {
                const QString key = pick(random, QStringList{"k1", "k2", "k3", "unique-7"});
                ASSERT_TRUE(catalog().setThumbnailKey(key, entry.row.itemID()));
                entry.row.thumbnailKey = key;
                continue;
            }
            entry.row.fileSize = pick(random, QList<qint64>{1, 2, 107});
            entry.row.captured = pick(random, QList<double>{1000.0, 2000.0, 5007.0});
            entry.row.thumbnailKey.reset();
            entry.row.latitude.reset();
            entry.row.longitude.reset();
            again.changed.push_back(scanned(entry.row));
        }
        catalog().apply(again, QStringLiteral("again"));
        expectTheRules(written, "after changes again");
    }
}

std::string tuningName(const testing::TestParamInfo<CatalogTuning>& info)
{
    return "SpreadFrom" + std::to_string(info.param.spreadFromRows)
         + (info.param.rulesInSqlBelowShare > 1 ? "RulesInSql" : "Candidates");
}

INSTANTIATE_TEST_SUITE_P(Tunings, GalleryOracle,
                         testing::Values(CatalogTuning{.rulesInSqlBelowShare = 0},
                                         CatalogTuning{.spreadFromRows = 1, .rulesInSqlBelowShare = 0},
                                         CatalogTuning{.rulesInSqlBelowShare = 2},
                                         CatalogTuning{.spreadFromRows = 1, .rulesInSqlBelowShare = 2}),
                         tuningName);

} // namespace
} // namespace pivra::test
