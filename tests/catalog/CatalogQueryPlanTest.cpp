// The gallery's statements must reach their rows through the catalog's
// indexes: a full scan per row in one of the twin subqueries turns a reload
// of a large library from a second into minutes.
#include "catalog/CatalogTest.h"

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

    QString galleryPlan(const GalleryScope& scope)
    {
        return planOf(QStringLiteral("SELECT ") + MediaCatalog::indexColumns() + QStringLiteral(" FROM media WHERE ")
                      + scope.predicate().where + QStringLiteral(" ORDER BY captured DESC,id"));
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

TEST_F(CatalogQueryPlan, AllMediaWalksCaptureOrder)
{
    expectIndexes(galleryPlan({}), QStringList{"media_order"} + twinIndexes);
}

TEST_F(CatalogQueryPlan, OneSourceWalksItsOwnOrder)
{
    // Inside one source the content twin is found through (source_id, thumbnail_key).
    expectIndexes(galleryPlan({.sourceID = QUuid::createUuid()}),
                  {"media_source_order", "media_missing_thumbnails_v2", "media_identity", "media_source_name",
                   "media_live_pair"});
}

TEST_F(CatalogQueryPlan, FavouritesWalkTheirOwnOrder)
{
    expectIndexes(galleryPlan({.favoritesOnly = true}), QStringList{"media_favorite_order"} + twinIndexes);
}

// A date bound inside the twin tests must not steal them from their own
// indexes (the edited-copy test once walked the source's capture order).
TEST_F(CatalogQueryPlan, DateSearchKeepsTheTwinIndexes)
{
    GalleryScope scope;
    scope.search.from = 1'200'000'000.0;
    scope.search.until = 1'300'000'000.0;
    scope.sourceID = QUuid::createUuid();
    expectIndexes(galleryPlan(scope), {"media_source_order", "media_missing_thumbnails_v2", "media_identity",
                                       "media_source_name", "media_live_pair"});
    scope.sourceID.reset();
    expectIndexes(galleryPlan(scope), QStringList{"media_order"} + twinIndexes);
}

TEST_F(CatalogQueryPlan, NeighbourStartsFromItsKey)
{
    const QString plan = planOf(QStringLiteral("SELECT ") + MediaCatalog::fullColumns()
                                + QStringLiteral(" FROM media WHERE (captured < ? OR (captured = ? AND id > ?)) AND "
                                                 "captured <= ?1 AND ")
                                + GalleryScope{}.predicate().where
                                + QStringLiteral(" ORDER BY captured DESC,id ASC LIMIT 1"));
    expectIndexes(plan, QStringList{"media_order"} + twinIndexes);
}

} // namespace
} // namespace pivra::test
