#include "gallery/TileMenu.h"
#include "platform/runtime/Drain.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QMenu>

namespace pivra {
namespace {

class TileMenuTest : public test::TempFolderTest {};

// The menu opens at once with Copy and Show disabled; only a file of a
// source the store counts online is looked for, off the GUI thread, and its
// entries come on when it is there.
TEST_F(TileMenuTest, CopyAndShowComeOnOnlyForAFileFoundOnAnOnlineSource)
{
    const QString here = writeFile(QStringLiteral("here.jpg"), "jpeg");
    struct Row {
        const char* what;
        QString path;
        bool sourceOnline;
        bool offered;
    };
    const Row rows[] = {
        {"a file on an online source", here, true, true},
        {"a file on a source counted offline", here, false, false},
        {"a file deleted since the scan", pathOf(QStringLiteral("gone.jpg")), true, false},
        {"a device item", QStringLiteral("pivra-camera://device/1/a.jpg"), true, false},
    };
    for (const Row& row : rows) {
        MediaItem item;
        item.setSourceID(QUuid::createUuid());
        item.setPath(row.path);
        const std::unique_ptr<QMenu> menu(buildTileMenu(item, row.sourceOnline, {}, std::nullopt, {}, nullptr));
        QAction* copy = menu->actions().at(0);
        QAction* show = menu->actions().at(1);
        EXPECT_FALSE(copy->isEnabled()) << row.what; // the answer never comes inside the click
        ASSERT_TRUE(drain());
        EXPECT_EQ(copy->isEnabled(), row.offered) << row.what;
        EXPECT_EQ(show->isEnabled(), row.offered) << row.what;
    }

    // A menu closed before the answer comes is simply gone.
    MediaItem item;
    item.setPath(here);
    delete buildTileMenu(item, true, {}, std::nullopt, {}, nullptr);
    EXPECT_TRUE(drain());
}

} // namespace
} // namespace pivra
