#include "catalog/CatalogExecutor.h"
#include "catalog/CatalogTest.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/Task.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

namespace pivra::test {
namespace {

class CatalogActor : public TempFolderTest {
protected:
    QString databasePath() const { return pathOf(QStringLiteral("Catalog.sqlite")); }
};

struct Outcome {
    std::optional<std::int64_t> count;
    std::optional<CatalogError::Kind> failure;
    bool resumedOnGuiThread = false;
};

Task<> countGallery(CatalogExecutor* catalog, Outcome* outcome)
{
    try {
        outcome->count = co_await catalog->call([](MediaCatalog& c) { return c.galleryCount({}); });
    } catch (const CatalogError& error) {
        outcome->failure = error.kind();
    }
    outcome->resumedOnGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
}

TEST_F(CatalogActor, AnswersAwaitedCallsOnTheGuiThread)
{
    {
        const MediaCatalog schema(databasePath());
        MediaRowWriter(databasePath()).insert(folderRow(QUuid::createUuid(), QStringLiteral("a.jpg")));
    }
    CatalogExecutor catalog([path = databasePath()] { return std::make_unique<MediaCatalog>(path); });
    QObject context;
    Outcome outcome;
    startTask(&context, countGallery(&catalog, &outcome));
    ASSERT_TRUE(drain());
    EXPECT_EQ(outcome.count, 1);
    EXPECT_TRUE(outcome.resumedOnGuiThread);
    EXPECT_EQ(catalog.callBlocking([](MediaCatalog& c) { return c.galleryIndex({}).size(); }), 1u);
}

TEST_F(CatalogActor, FailedOpenReachesEveryCaller)
{
    writeFile(QStringLiteral("blocker"), "not a folder");
    CatalogExecutor catalog(
        [path = pathOf(QStringLiteral("blocker/Catalog.sqlite"))] { return std::make_unique<MediaCatalog>(path); });
    QObject context;
    Outcome outcome;
    startTask(&context, countGallery(&catalog, &outcome));
    ASSERT_TRUE(drain());
    EXPECT_FALSE(outcome.count);
    EXPECT_EQ(outcome.failure, CatalogError::Kind::open);
}

} // namespace
} // namespace pivra::test
