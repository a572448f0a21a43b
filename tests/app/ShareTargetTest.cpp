#include "WindowTestKit.h"

#include "app/window/LibraryWindow.h"
#include "gallery/share/ShareNotch.h"
#include "platform/share/ShareService.h"
#include "support/fakes/FakeKdeConnect.h"
#include "support/system/PrivateSessionBus.h"

#include <QMenu>

#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

MediaItem itemAt(const QString& path)
{
    MediaItem item;
    item.setPath(path);
    item.setName(QFileInfo(path).fileName());
    return item;
}

// A window over an empty library whose shares go to a bus with no service
// on it; every change takes effect at once.
class ShareTargetTest : public test::ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        if (!bus_.isInstalled()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        store_ = makeStore();
        ASSERT_TRUE(drain());
        auto window = makeWindow(*store_);
        window_ = window.get();
        window_->setShareService(
            std::make_unique<ShareService>(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("share"))));
        QObject::connect(window_, &LibraryWindow::draggedMediaChanged, [this] {
            seen_ << (window_->draggedMedia() ? window_->draggedMedia()->name() : QStringLiteral("none"));
        });
        host_ = std::move(window);
    }

    void TearDown() override
    {
        ViewTest::TearDown();
        QDBusConnection::disconnectFromBus(QStringLiteral("share"));
    }

    bool targetShown() const { return window_->shareTarget()->isVisible(); }

    test::PrivateSessionBus bus_;
    LibraryWindow* window_ = nullptr;
    QStringList seen_; // the dragged item's name at each change
};

TEST_F(ShareTargetTest, ANewDragRightAfterTheLastKeepsTheTarget)
{
    host_->show();
    EXPECT_FALSE(window_->dropOnShareTarget({})) << "no drag, no drop";
    window_->beginMediaDrag(itemAt(QStringLiteral("/photos/a.jpg")));
    EXPECT_TRUE(targetShown());
    window_->endMediaDrag();
    window_->beginMediaDrag(itemAt(QStringLiteral("/photos/b.jpg")));
    window_->endMediaDrag();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->draggedMedia(); }));
    EXPECT_EQ(seen_, (QStringList{"a.jpg", "b.jpg", "none"})) << "the first drag's end never cleared the second";
    EXPECT_FALSE(targetShown());
}

struct ShareRow {
    const char* name;
    const char* path; // relative to the test folder, or a device item's path
    bool fileThere;
    const char* message;
};

TEST_F(ShareTargetTest, ADropSharesOnceAndTellsWhatWentWrong)
{
    const ShareRow rows[] = {
        {"no service to share with", "photo.jpg", true, "Share is unavailable on this computer."},
        {"a deleted file", "gone.jpg", false, "This file is no longer available."},
        {"a phone that is not there", "pivra-camera://6B1D3A52-0C52-4F7E-9A57-8A3A3C1E2B10/7/IMG_1.JPG", false,
         "Unlock the iPhone to share this original."},
    };
    for (const ShareRow& row : rows) {
        SCOPED_TRACE(row.name);
        QString path = QString::fromLatin1(row.path);
        if (!path.startsWith(u"pivra-camera:")) {
            path = row.fileThere ? writeFile(path, "jpeg") : pathOf(path);
        }
        store_->setMessage(std::nullopt);
        window_->beginMediaDrag(itemAt(path));
        EXPECT_TRUE(window_->dropOnShareTarget({}));
        EXPECT_EQ(window_->shareTarget()->state(), ShareNotch::State::committed);
        EXPECT_FALSE(window_->dropOnShareTarget({})) << "a second drop while the share is under way";
        window_->endMediaDrag();
        EXPECT_TRUE(window_->draggedMedia()) << "the share, not the drag's end, clears the drag";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->draggedMedia(); }, 20000));
        EXPECT_EQ(store_->message(), QString::fromLatin1(row.message));
        EXPECT_FALSE(window_->shareCommitted());
    }
}

// Two paired phones: the menu that asks which one opens where the photo fell.
TEST_F(ShareTargetTest, TheMenuOfPhonesOpensAtTheDropPoint)
{
    QDBusConnection services = QDBusConnection::connectToBus(bus_.address(), QStringLiteral("share-phones"));
    test::FakeKdeConnectDaemon daemon;
    daemon.reachable = QStringList{QStringLiteral("phone1"), QStringLiteral("phone2")};
    ASSERT_TRUE(test::registerKdeConnect(services, daemon, {}));
    host_->show();
    const QPoint dropPoint(310, 205);
    window_->beginMediaDrag(itemAt(writeFile(QStringLiteral("photo.jpg"), "jpeg")));
    ASSERT_TRUE(window_->dropOnShareTarget(dropPoint));
    QPointer<QMenu> menu;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            menu = window_->findChild<QMenu*>(QStringLiteral("shareDeviceMenu"));
            return menu && menu->isVisible();
        },
        20000));
    EXPECT_EQ(menu->pos(), dropPoint);
    menu->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->draggedMedia(); }, 20000));
    EXPECT_EQ(store_->message(), std::nullopt) << "no pick sends nothing and says nothing";
    QDBusConnection::disconnectFromBus(QStringLiteral("share-phones"));
}

} // namespace
} // namespace pivra
