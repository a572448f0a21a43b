#include "app/launch/PivraApp.h"
#include "platform/runtime/Drain.h"
#include "store/shortcuts/AppRouter.h"
#include "store/shortcuts/LibraryShortcut.h"
#include "store/StoreTestKit.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using test::folderSource;

class PivraAppTest : public test::StoreTest {
protected:
    QString shortcutTo(const QUuid& id, const QString& name)
    {
        const QString path = pathOf(name);
        EXPECT_TRUE(writeLibraryShortcut(path, LibraryShortcut{.libraryID = id}));
        return path;
    }
};

TEST_F(PivraAppTest, OnlyTheFirstArgumentOpensAndOnlyWithTheLowerCaseExtension)
{
    const struct {
        QStringList arguments;
        std::optional<QString> opened;
    } rows[] = {
        {{"pivra", "/a/Trip.pivra"}, QStringLiteral("/a/Trip.pivra")},
        {{"pivra", "/a/Trip.pivra", "/a/Other.pivra"}, QStringLiteral("/a/Trip.pivra")},
        {{"pivra", "/a/notes.txt", "/a/Trip.pivra"}, std::nullopt},
        {{"pivra", "/a/Trip.PIVRA"}, std::nullopt},
        {{"pivra"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PivraApp::shortcutArgument(row.arguments), row.opened) << row.arguments.join(' ').toStdString();
    }
}

TEST_F(PivraAppTest, AShortcutSelectsItsSourceOnceTheWindowIsThere)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), true);
    storeSources(encodeSources({trip}));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    AppRouter router;
    PivraApp app(*store, router);
    QWidget window;

    // Pending from before the window appeared: waits for it.
    router.setPendingLibraryID(trip.id);
    EXPECT_EQ(router.pendingLibraryID(), trip.id);
    app.windowAppeared(&window, {QStringLiteral("pivra")});
    EXPECT_EQ(store->selectedSourceID(), trip.id);
    EXPECT_EQ(router.pendingLibraryID(), std::nullopt);

    // A later launch with a shortcut to a source that is gone.
    store->selectSource(std::nullopt);
    app.takeLaunch({{QStringLiteral("pivra"), shortcutTo(QUuid::createUuid(), QStringLiteral("Gone.pivra"))}, {}});
    EXPECT_EQ(store->message(),
              QStringLiteral("This library is no longer in Pivra. Add its folder again to browse it."));
    EXPECT_EQ(store->selectedSourceID(), std::nullopt);
    EXPECT_EQ(router.pendingLibraryID(), std::nullopt);
    EXPECT_TRUE(window.isVisible()); // a later launch brings the window forward

    // The same shortcut opened again selects again.
    const QString tripShortcut = shortcutTo(trip.id, QStringLiteral("Trip.pivra"));
    for (int time = 0; time < 2; ++time) {
        store->selectSource(std::nullopt);
        app.takeLaunch({{QStringLiteral("pivra"), tripShortcut}, {}});
        EXPECT_EQ(store->selectedSourceID(), trip.id);
    }
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
