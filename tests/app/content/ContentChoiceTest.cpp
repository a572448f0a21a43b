#include "app/content/ContentChoice.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

LibrarySource source(LibrarySource::Kind kind, bool online)
{
    LibrarySource made;
    made.id = QUuid::createUuid();
    made.kind = kind;
    made.isOnline = online;
    return made;
}

TEST(ContentChoiceTest, TheFirstRuleThatHoldsChoosesThePage)
{
    const QUuid album = QUuid::createUuid();
    struct Row {
        ContentState state;
        ContentPage page;
    };
    const Row rows[] = {
        {{.albums = true, .map = true}, ContentPage::albums},
        {{.map = true, .hasSources = true, .hasItems = true}, ContentPage::map},
        {{}, ContentPage::onboarding},
        {{.albumID = album}, ContentPage::empty}, // an album without sources is never the first-run notice
        {{.albumID = album, .hasItems = true}, ContentPage::grid},
        {{.hasSources = true, .totalCount = 5}, ContentPage::grid},
        {{.hasSources = true, .scanning = true}, ContentPage::grid},
        {{.hasSources = true}, ContentPage::empty},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(choosePage(row.state), row.page) << int(&row - rows);
    }
}

TEST(ContentChoiceTest, TheNoticeNamesTheViewAndOffersReconnectingOnlyAnOfflineFolder)
{
    const LibrarySource offlineFolder = source(LibrarySource::Kind::folder, false);
    const LibrarySource onlineFolder = source(LibrarySource::Kind::folder, true);
    const LibrarySource lockedDevice = source(LibrarySource::Kind::camera, false);
    const QString unavailable = QStringLiteral("This folder or drive is unavailable.");
    const QString tryAnother = QStringLiteral("Try another source, change your search, or rescan your folders.");
    const QString unlock = QStringLiteral(
        "Unlock the iPhone and tap Trust if prompted. Its media appears after the device catalog is ready.");
    struct Row {
        ContentState state;
        EmptyStateText text;
    };
    const Row rows[] = {
        {{.albumID = QUuid::createUuid(), .selectedSource = offlineFolder},
         {"This album is empty", "rectangle.stack", "Right-click a photo or video and choose Add to Album.",
          offlineFolder.id}},
        {{.favorites = true},
         {"No favorites yet", "heart", "Use the heart on a photo or video to add it here.", std::nullopt}},
        {{.selectedSource = offlineFolder}, {"Nothing to show yet", "photo", unavailable, offlineFolder.id}},
        {{.selectedSource = lockedDevice}, {"Nothing to show yet", "photo", unlock, std::nullopt}},
        {{.selectedSource = onlineFolder}, {"Nothing to show yet", "photo", tryAnother, std::nullopt}},
        {{}, {"Nothing to show yet", "photo", tryAnother, std::nullopt}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(emptyStateText(row.state), row.text) << int(&row - rows);
    }
}

} // namespace
} // namespace pivra
