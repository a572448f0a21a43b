// The gallery's statements must reach their rows through the catalog's
// indexes: the index must walk a capture order instead of sorting, and a full
// scan per row in one of the neighbour step's twin subqueries turns a step
// through a large library from milliseconds into minutes.
#include "catalog/CatalogTest.h"
#include "catalog/duplicates/DuplicateCandidates.h"
#include "catalog/ScopeReads.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace pivra::test {
namespace {

class CatalogQueryPlan : public CatalogTest {
protected:
    QString planOf(const QString& sql)
    {
        sqlite::Statement explain(rows().db(), QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
        QString plan;
        while (explain.nextRow()) {
            plan += *explain.text(3) + u'\n';
        }
        return plan;
    }

    // `dateRange`: as one of several connections reads it, a range of dates.
    QString galleryPlan(const GalleryScope& scope, bool dateRange = false)
    {
        return planOf(QStringLiteral("SELECT ") + MediaCatalog::indexColumns()
                      + QStringLiteral(",rowid,relative_path FROM media WHERE (") + scope.scopePredicate().where
                      + (dateRange ? QStringLiteral(") AND media.captured < ? AND media.captured >= ?") : QStringLiteral(")"))
                      + QStringLiteral(" ORDER BY captured DESC,id"));
    }

    QString neighbourPlan(const GalleryScope& scope)
    {
        return planOf(QStringLiteral("SELECT ") + MediaCatalog::fullColumns()
                      + QStringLiteral(" FROM media WHERE (captured < ? OR (captured = ? AND id > ?)) AND "
                                       "captured <= ?1 AND ")
                      + scope.predicate().where + QStringLiteral(" ORDER BY captured DESC,id ASC LIMIT 1"));
    }

    static void expectIndexes(const QString& plan, const QStringList& indexes)
    {
        for (const QString& index : indexes) {
            EXPECT_TRUE(plan.contains(QRegularExpression(QStringLiteral("INDEX %1\\b").arg(index))))
                << index.toStdString() << " unused in\n" << plan.toStdString();
        }
        EXPECT_FALSE(plan.contains(QStringLiteral("SCAN twin"))) << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("SCAN still"))) << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("SCAN motion"))) << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("TEMP B-TREE FOR ORDER BY"))) << plan.toStdString();
    }
};

const QStringList twinIndexes = {"media_fingerprint", "media_identity", "media_source_name", "media_live_pair"};

TEST_F(CatalogQueryPlan, GalleryWalksTheCaptureOrderOfItsScope)
{
    expectIndexes(galleryPlan({}), {"media_order", "media_live_pair"});
    expectIndexes(galleryPlan({.sourceID = QUuid::createUuid()}), {"media_source_order", "media_live_pair"});
    expectIndexes(galleryPlan({.favoritesOnly = true}), {"media_favorite_order", "media_live_pair"});
}

// Each connection of a spread read seeks its range of dates in the same order.
TEST_F(CatalogQueryPlan, GalleryDateRangesSeekTheirDates)
{
    const QString all = galleryPlan({}, true);
    EXPECT_TRUE(all.contains(QStringLiteral("INDEX media_order (captured>? AND captured<?)"))) << all.toStdString();
    expectIndexes(all, {"media_order"});
    const QString source = galleryPlan({.sourceID = QUuid::createUuid()}, true);
    EXPECT_TRUE(source.contains(QStringLiteral("INDEX media_source_order (source_id=? AND captured>? AND captured<?)")))
        << source.toStdString();
    expectIndexes(galleryPlan({.favoritesOnly = true}, true), {"media_favorite_order"});
}

// Duplicate candidates are found without reading a table row.
TEST_F(CatalogQueryPlan, DuplicateCandidatesWalkTheTwinIndexes)
{
    const QStringList indexes = {"media_fingerprint", "media_identity", "media_source_name"};
    for (std::size_t walk = 0; walk < DuplicateCandidates::indexWalks.size(); ++walk) {
        const QString plan = planOf(QString::fromLatin1(DuplicateCandidates::indexWalks[walk]));
        EXPECT_TRUE(plan.contains(QStringLiteral("COVERING INDEX ") + indexes[static_cast<qsizetype>(walk)]))
            << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("TEMP B-TREE"))) << plan.toStdString();
    }
}

// A folder's rows are sought by path, not found by testing the whole source.
TEST_F(CatalogQueryPlan, FolderSeeksItsPaths)
{
    const QString plan = galleryPlan({.sourceID = QUuid::createUuid(), .folder = QStringLiteral("2020")});
    EXPECT_TRUE(plan.contains(QStringLiteral("INDEX media_source_relative (source_id=? AND relative_path>? AND "
                                             "relative_path<?)")))
        << plan.toStdString();
}

// With sources left out, every read of the gallery (its first screen, its
// count, its index and the rows its rules hide) seeks each shown source in an
// index that leads with the source; none steps over the rows of the sources
// left out. The first screen merges the sources' own capture orders.
TEST_F(CatalogQueryPlan, ScopesLeavingSourcesOutReadOnlyTheShownSources)
{
    const QStringList shown = {uuidString(QUuid::createUuid()), uuidString(QUuid::createUuid())};
    const QString columns = MediaCatalog::indexColumns() + QStringLiteral(",media.rowid");
    const QString order = QStringLiteral(" ORDER BY captured DESC,id");
    const QRegularExpression sourceSought(QStringLiteral("SEARCH media USING .*INDEX \\w+ \\(source_id=?"));
    for (const MediaFilter filter : {MediaFilter::all, MediaFilter::photos, MediaFilter::videos}) {
        for (const bool favorites : {false, true}) {
            GalleryScope scope{.filter = filter, .favoritesOnly = favorites, .excludedSources = {QUuid::createUuid()}};
            const QString ordered = favorites ? QStringLiteral("media_source_favorites") : QStringLiteral("media_source_order");
            // Each source's newest row, then each next row after the one taken.
            const QString head = planOf(scopeHeadText(MediaCatalog::indexColumns(), scope.scopePredicate().where,
                                                    scope.duplicateRules(shown).where, shown));
            EXPECT_TRUE(head.contains(QStringLiteral("SEARCH media USING INDEX ") + ordered + QStringLiteral(" (source_id=?)")))
                << head.toStdString();
            EXPECT_TRUE(head.contains(QStringLiteral("SEARCH media USING INDEX ") + ordered
                                      + QStringLiteral(" (source_id=? AND captured<?)")))
                << head.toStdString();
            EXPECT_FALSE(head.contains(QStringLiteral("SCAN media"))) << head.toStdString();
            expectIndexes(head, {});
            const QString reads[] = {
                planOf(scopeReadText(columns, scope.scopePredicate().where, shown, order)),
                planOf(scopeReadText(columns, scope.scopePredicate().where, shown, order,
                                     QStringLiteral(" AND media.captured < ? AND media.captured >= ?"))),
                planOf(scopeReadText(QStringLiteral("media.rowid"), scope.scopePredicate().where, shown, {})),
                planOf(scopeReadText(QStringLiteral("media.rowid"), scope.predicate(shown).where, shown, {})),
            };
            for (const QString& plan : reads) {
                EXPECT_TRUE(plan.startsWith(QStringLiteral("SCAN json_each"))) << plan.toStdString();
                EXPECT_EQ(plan.count(sourceSought), 1) << plan.toStdString();
                EXPECT_FALSE(plan.contains(QStringLiteral("SCAN media"))) << plan.toStdString();
                EXPECT_FALSE(plan.contains(QStringLiteral("SCAN twin"))) << plan.toStdString();
            }
            // No twin is sought among the keys of every row of the catalog:
            // by content and by name within each shown source, as the same
            // file by its date within the source or among the favourites.
            const QString twins = planOf(QStringLiteral("SELECT rowid FROM media WHERE ") + scope.predicate(shown).where);
            EXPECT_TRUE(twins.contains(QStringLiteral("INDEX media_missing_thumbnails_v2 (source_id=? AND thumbnail_key=?)")))
                << twins.toStdString();
            EXPECT_TRUE(twins.contains(QRegularExpression(QStringLiteral("SEARCH twin USING INDEX \\w+ \\((source_id|is_favorite)=\\? AND captured=\\?\\)"))))
                << twins.toStdString();
            EXPECT_TRUE(twins.contains(QStringLiteral("INDEX media_source_name (source_id=? AND name=?)"))) << twins.toStdString();
            EXPECT_FALSE(twins.contains(QStringLiteral("media_fingerprint"))) << twins.toStdString();
            EXPECT_FALSE(twins.contains(QStringLiteral("media_identity"))) << twins.toStdString();
        }
    }
}

// An album's rows are found from its links, whatever else the scope asks.
TEST_F(CatalogQueryPlan, AlbumStartsFromItsLinks)
{
    for (const bool favorites : {false, true}) {
        const GalleryScope scope{.favoritesOnly = favorites, .albumID = QUuid::createUuid()};
        for (const QString& plan : {galleryPlan(scope), planOf(QStringLiteral("SELECT rowid FROM media WHERE ")
                                                               + scope.scopePredicate().where)}) {
            EXPECT_TRUE(plan.contains(QStringLiteral("SEARCH album_media USING COVERING INDEX sqlite_autoindex_album_media_1 (album_id=?)")))
                << plan.toStdString();
            EXPECT_FALSE(plan.contains(QStringLiteral("SCAN media"))) << plan.toStdString();
        }
    }
}

TEST_F(CatalogQueryPlan, NeighbourProbesTwinsThroughTheirIndexes)
{
    expectIndexes(neighbourPlan({}), QStringList{"media_order"} + twinIndexes);
    // Inside one source the content twin is found through (source_id, thumbnail_key).
    expectIndexes(neighbourPlan({.sourceID = QUuid::createUuid()}),
                  {"media_source_order", "media_missing_thumbnails_v2", "media_identity", "media_source_name",
                   "media_live_pair"});
}

// A date bound inside the twin tests must not steal them from their own
// indexes (the edited-copy test once walked the source's capture order).
TEST_F(CatalogQueryPlan, DateSearchKeepsTheTwinIndexes)
{
    GalleryScope scope;
    scope.search.from = 1'200'000'000.0;
    scope.search.until = 1'300'000'000.0;
    scope.sourceID = QUuid::createUuid();
    expectIndexes(neighbourPlan(scope), {"media_source_order", "media_missing_thumbnails_v2", "media_identity",
                                         "media_source_name", "media_live_pair"});
    scope.sourceID.reset();
    expectIndexes(neighbourPlan(scope), QStringList{"media_order"} + twinIndexes);
}

} // namespace
} // namespace pivra::test
