// Showing an original in the file manager over a bus of the test's own, with
// a stand-in file manager that answers, stops answering, then leaves.
#include "app/content/FileReveal.h"
#include "catalog/model/MediaItem.h"
#include "platform/folders/FileNameText.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/system/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

const QString managerService = QStringLiteral("org.freedesktop.FileManager1");

class FakeFileManager final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    bool answers = true;
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&)
    {
        shown += uris;
        if (!answers) {
            setDelayedReply(true); // and the reply never comes
        }
    }
};

class FileRevealTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus_.isInstalled()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        ASSERT_FALSE(bus_.address().isEmpty());
        service_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("manager")));
        ASSERT_TRUE(service_->registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                             QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service_->registerService(managerService));
        desktop = DesktopReveal::system(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("revealer")));
        desktop.openFolder = [this](const QUrl& folder) {
            opened.append(folder);
            return foldersOpen;
        };
    }

    void TearDown() override
    {
        service_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("manager"));
        QDBusConnection::disconnectFromBus(QStringLiteral("revealer"));
    }

    void reveal(const QString& path)
    {
        MediaItem item;
        item.setPath(path);
        revealItem(item, [this](const QString& message) { told.append(message); }, desktop);
    }

    test::PrivateSessionBus bus_;
    std::unique_ptr<QDBusConnection> service_;
    FakeFileManager manager;
    DesktopReveal desktop;
    QList<QUrl> opened;
    bool foldersOpen = true;
    QStringList told;
};

TEST_F(FileRevealTest, TheFileManagerIsAskedWithoutWaitingTheFolderOpensWhenItDoesNotAnswerAndTheUserIsToldWhenNeitherCan)
{
    // A reveal that waited for the file manager would hold the GUI thread up
    // for the 3 s its request may take: the loop would not turn meanwhile.
    const test::EventLoopWatch watch;

    reveal(QStringLiteral("/photos/Trip/a b.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList{QStringLiteral("file:///photos/Trip/a%20b.jpg")});

    // A hung file manager: the folder opens once the request times out. A
    // device item asks nothing of anyone.
    manager.answers = false;
    const int turnsBeforeHang = watch.ticks();
    reveal(QStringLiteral("pivra-camera://%1/7/a.jpg").arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    reveal(QStringLiteral("/photos/Trip/c.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 10000));
    EXPECT_GT(watch.ticks() - turnsBeforeHang, 20) << "the GUI thread waited for the file manager";
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/photos/Trip"))}); // not for the answered one
    EXPECT_EQ(manager.shown.size(), 2);

    // No file manager on the bus: the folder opens as soon as the bus says so.
    ASSERT_TRUE(service_->unregisterService(managerService));
    reveal(QStringLiteral("/photos/Home/d.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 2; }, 2000));
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(QStringLiteral("/photos/Home")));
    EXPECT_TRUE(told.isEmpty());

    // Nothing to open folders with either: the user is told, not left
    // wondering; a folder opened directly says the same.
    foldersOpen = false;
    reveal(QStringLiteral("/photos/Home/e.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 2000));
    openFolder(QStringLiteral("/photos/Trip"), [this](const QString& message) { told.append(message); }, desktop);
    // A folder named in Latin-1 by an older disk reads as the user reads it.
    reveal(fileNameText("/photos/Caf\xE9/g.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return told.size() == 3; }, 2000));
    EXPECT_EQ(told, (QStringList{"No file manager could open /photos/Home.", "No file manager could open /photos/Trip.",
                                 "No file manager could open /photos/Café."}));

    // No session bus at all (a bare X session): the folder is tried at once.
    desktop.showItems = DesktopReveal::system(QDBusConnection(QStringLiteral("never connected"))).showItems;
    foldersOpen = true;
    reveal(QStringLiteral("/photos/Away/f.jpg"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.last() == QUrl::fromLocalFile(QStringLiteral("/photos/Away")); }, 2000));
}

} // namespace
} // namespace pivra

#include "FileRevealTest.moc"
