#include "app/launch/LibraryMenus.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/runtime/Drain.h"
#include "store/StoreTestKit.h"
#include "support/fakes/FakeCameraBackend.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

namespace pivra {
namespace {

// Counts the questions and cancels each.
struct CancellingPicker : FolderPicker {
    std::optional<QStringList> chooseFolders(const QString&, bool, const QString&) override
    {
        ++questions;
        return std::nullopt;
    }
    int questions = 0;
};

class LibraryMenusTest : public test::StoreTest {
protected:
    static QStringList titles(const QMenu& menu)
    {
        QStringList texts;
        for (const QAction* action : menu.actions()) {
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return texts;
    }

    static QAction* item(const QMenu& menu, const QString& title)
    {
        for (QAction* action : menu.actions()) {
            if (action->text() == title) {
                return action;
            }
        }
        ADD_FAILURE() << "no item " << title.toStdString();
        return nullptr;
    }
};

TEST_F(LibraryMenusTest, TheFileMenuAddsFoldersAndDevicesAndRescans)
{
    test::FakeCameraBackend fake;
    CameraSourceManager cameras(fake);
    CancellingPicker picker;
    auto store = makeStore({.cameras = &cameras, .folderPicker = &picker});
    ASSERT_TRUE(drain());
    QMenuBar bar;
    const LibraryMenus menus(*store, bar);
    const QMenu& file = *menus.fileMenu();
    EXPECT_EQ(titles(file), QStringList({QStringLiteral("Add a Folder or Disk…"), QStringLiteral("Rescan Libraries"),
                                         QStringLiteral("-"), QStringLiteral("Preferences…"),
                                         QStringLiteral("Check for Updates…"), QStringLiteral("-"), QStringLiteral("Quit")}));
    EXPECT_EQ(item(file, QStringLiteral("Add a Folder or Disk…"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(item(file, QStringLiteral("Rescan Libraries"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_EQ(item(file, QStringLiteral("Preferences…"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));

    const CameraDeviceId phone = fake.plug(QStringLiteral("SERIAL-1"), QStringLiteral("Ann's iPhone"));
    fake.plug(QStringLiteral("SERIAL-2"), QStringLiteral("Camera"));
    ASSERT_TRUE(drain());
    EXPECT_EQ(titles(file).mid(0, 4),
              QStringList({QStringLiteral("Add a Folder or Disk…"), QStringLiteral("Add Ann's iPhone…"),
                           QStringLiteral("Add Camera…"), QStringLiteral("Rescan Libraries")}));

    item(file, QStringLiteral("Add Ann's iPhone…"))->trigger();
    ASSERT_EQ(store->sources().size(), 1);
    EXPECT_EQ(store->sources()[0].deviceID, QStringLiteral("SERIAL-1"));
    EXPECT_EQ(store->selectedSourceID(), store->sources()[0].id);
    ASSERT_TRUE(drain());

    item(file, QStringLiteral("Add a Folder or Disk…"))->trigger();
    ASSERT_TRUE(drain());
    EXPECT_EQ(picker.questions, 1);

    const int scans = store->scanGeneration();
    item(file, QStringLiteral("Rescan Libraries"))->trigger();
    ASSERT_TRUE(drain());
    EXPECT_GT(store->scanGeneration(), scans);

    fake.unplug(phone);
    ASSERT_TRUE(drain());
    EXPECT_EQ(titles(file).mid(0, 3), QStringList({QStringLiteral("Add a Folder or Disk…"),
                                                   QStringLiteral("Add Camera…"), QStringLiteral("Rescan Libraries")}));
    EXPECT_EQ(file.actions().size(), 8); // the unplugged device's item is gone, not hidden
}

} // namespace
} // namespace pivra
