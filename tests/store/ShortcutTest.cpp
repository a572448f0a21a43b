#include "StoreTestKit.h"

#include "platform/runtime/Drain.h"
#include "store/shortcuts/AppRouter.h"
#include "store/shortcuts/LibraryShortcut.h"
#include "store/shortcuts/ShortcutSavePicker.h"
#include "support/system/TestMounts.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace pivra {
namespace {

const QUuid library = QUuid::fromString(QStringLiteral("6f1c1e2a-90ab-4cde-8f01-23456789abcd"));

class ScriptedSavePicker : public ShortcutSavePicker {
public:
    std::optional<QString> chooseShortcutFile(const QString& title, const QString& fileName,
                                              const QString& folder) override
    {
        asked = QStringList{title, fileName, folder};
        ++questions;
        if (whileOpen) {
            whileOpen();
        }
        return answer;
    }

    std::optional<QString> answer;
    QStringList asked;
    int questions = 0;
    std::function<void()> whileOpen;
};

class ShortcutTest : public test::StoreTest {};

TEST(LibraryShortcutTest, DecodesAnyOrderAndCaseButNeedsAnIntegerVersionAndAnID)
{
    const std::pair<const char*, std::optional<qint64>> rows[] = {
        {R"( { "libraryID" : "6f1c1e2a-90ab-4cde-8f01-23456789abcd", "extra": [1], "version" : 2 } )", 2},
        {R"({"version":1})", std::nullopt},
        {R"({"version":"1","libraryID":"6F1C1E2A-90AB-4CDE-8F01-23456789ABCD"})", std::nullopt},
        {R"({"version":1.5,"libraryID":"6F1C1E2A-90AB-4CDE-8F01-23456789ABCD"})", std::nullopt},
        {R"({"version":1,"libraryID":"{6F1C1E2A-90AB-4CDE-8F01-23456789ABCD}"})", std::nullopt},
        {R"([1,"6F1C1E2A-90AB-4CDE-8F01-23456789ABCD"])", std::nullopt},
    };
    for (const auto& [json, version] : rows) {
        SCOPED_TRACE(json);
        const std::optional<LibraryShortcut> decoded = LibraryShortcut::decode(QByteArray(json));
        EXPECT_EQ(decoded, version ? std::optional(LibraryShortcut{*version, library}) : std::nullopt);
    }
    const LibraryShortcut shortcut{1, library};
    EXPECT_EQ(shortcut.encode(), QByteArray(R"({"version":1,"libraryID":"6F1C1E2A-90AB-4CDE-8F01-23456789ABCD"})"));
    EXPECT_EQ(LibraryShortcut::decode(shortcut.encode()), shortcut);
}

TEST_F(ShortcutTest, AWrittenShortcutOpensItsSource)
{
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    ScriptedSavePicker picker;
    auto store = makeStore({.shortcutSavePicker = &picker});
    ASSERT_TRUE(drain());

    store->createShortcut(trip); // cancelled
    ASSERT_TRUE(drain());
    EXPECT_EQ(picker.asked, (QStringList{QStringLiteral("Create library shortcut"), QStringLiteral("Trip.pivra"),
                                         QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0)}));
    picker.answer = pathOf(QStringLiteral("Trip.pivra"));
    store->createShortcut(trip);
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->message().has_value());

    AppRouter router;
    QSignalSpy activations(&router, &AppRouter::activationRequested);
    router.open(QUrl::fromLocalFile(*picker.answer));
    EXPECT_EQ(router.pendingLibraryID(), trip.id);
    EXPECT_EQ(activations.count(), 1);

    // What the window does with it.
    store->selectSource(*router.pendingLibraryID());
    router.setPendingLibraryID(std::nullopt);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->selectedSourceID(), trip.id);
}

// Written where the user chose, which may be a share that stopped answering:
// the window goes on meanwhile, and the file is there once the share is back.
TEST_F(ShortcutTest, TheFileIsWrittenOffTheGuiThreadAndAWriteThatFailsSaysSo)
{
    const QString share = makeFolder(QStringLiteral("Share"));
    test::TestMounts mounts;
    if (!mounts.bindThroughFuse(makeFolder(QStringLiteral("Share files")), share,
                                test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    ScriptedSavePicker picker;
    auto store = makeStore({.shortcutSavePicker = &picker});
    ASSERT_TRUE(drain());
    const struct {
        const char* name;
        QString path;
        bool written;
        bool shareStopped = false;
    } rows[] = {
        {"in a folder", pathOf(QStringLiteral("Trip.pivra")), true},
        {"in no folder", pathOf(QStringLiteral("no folder/Trip.pivra")), false},
        {"in a stopped share", share + QStringLiteral("/Trip.pivra"), true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        picker.answer = row.path;
        const int questions = picker.questions;
        if (row.shareStopped) {
            ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        }
        store->createShortcut(trip);
        if (row.shareStopped) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return picker.questions > questions; }));
            bool answered = false;
            QTimer::singleShot(0, store.get(), [&answered] { answered = true; });
            EXPECT_TRUE(QTest::qWaitFor([&answered] { return answered; }));
            EXPECT_FALSE(mounts.resumedByItself(share));
            mounts.resume(share);
        }
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->message(),
                  row.written ? std::nullopt : std::optional(QStringLiteral("Could not create the shortcut.")));
        EXPECT_EQ(readLibraryShortcut(row.path),
                  row.written ? std::optional(LibraryShortcut{1, trip.id}) : std::nullopt);
        store->setMessage(std::nullopt);
    }
}

TEST_F(ShortcutTest, AskingForAShortcutWhileItsDialogIsOnItsWayOrOpenOpensNoOther)
{
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    ScriptedSavePicker picker;
    auto store = makeStore({.shortcutSavePicker = &picker});
    ASSERT_TRUE(drain());

    // Twice in a row, the second while the first dialog's places are being
    // looked at; and once more while it is open.
    bool askedWhileOpen = false;
    picker.whileOpen = [&] {
        if (!std::exchange(askedWhileOpen, true)) {
            store->createShortcut(trip);
            EXPECT_TRUE(drain());
        }
    };
    store->createShortcut(trip);
    store->createShortcut(trip);
    ASSERT_TRUE(drain());
    picker.whileOpen = nullptr;
    EXPECT_TRUE(askedWhileOpen);
    EXPECT_EQ(picker.questions, 1);
    store->createShortcut(trip);
    ASSERT_TRUE(drain());
    EXPECT_EQ(picker.questions, 2);
}

TEST_F(ShortcutTest, TheRouterSilentlyIgnoresWhatIsNoVersionOneShortcutUnderTheLimit)
{
    const QByteArray valid = LibraryShortcut{1, library}.encode();
    const auto padded = [&](qsizetype size) -> QByteArray { return valid + QByteArray(size - valid.size(), ' '); };
    QFile::link(QStringLiteral("/dev/zero"), pathOf(QStringLiteral("zero.pivra")));
    const std::tuple<const char*, QByteArray, bool> rows[] = {
        {"Trip.PIVRA", valid, true},
        {"a.pivra", padded(4095), true},
        {"b.pivra", padded(4096), false},
        {"c.pivra", padded(10 << 20), false},
        {"d.pivra", LibraryShortcut{2, library}.encode(), false},
        {"e.json", valid, false},
        {"zero.pivra", QByteArray(), false}, // an endless device behind a link
    };
    const QUuid earlier = QUuid::createUuid();
    for (const auto& [name, content, accepted] : rows) {
        SCOPED_TRACE(name);
        const QString file = QString::fromLatin1(name);
        AppRouter router;
        router.setPendingLibraryID(earlier);
        QSignalSpy activations(&router, &AppRouter::activationRequested);
        router.open(QUrl::fromLocalFile(content.isNull() ? pathOf(file) : writeFile(file, content)));
        EXPECT_EQ(router.pendingLibraryID(), accepted ? library : earlier);
        EXPECT_EQ(activations.count(), accepted ? 1 : 0);
    }
}

// Opening a FIFO for reading waits for a writer. A helper stands by as that
// writer, offering a valid shortcut to the first reader, so a router that
// opened the FIFO would come back with the record instead of hanging. Once
// the router is done, the test opens the FIFO itself to let the helper go.
TEST_F(ShortcutTest, AFifoIsNeverOpened)
{
    const QString path = pathOf(QStringLiteral("pipe.pivra"));
    const QByteArray native = QFile::encodeName(path);
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    std::atomic<bool> done = false;
    std::atomic<bool> readerSeen = false;
    std::thread writer([&] {
        const int fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC); // returns once there is a reader
        if (fd < 0) {
            return;
        }
        if (!done) {
            readerSeen = true;
            const QByteArray bytes = LibraryShortcut{1, library}.encode();
            EXPECT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
        }
        ::close(fd);
    });

    AppRouter router;
    router.open(QUrl::fromLocalFile(path));
    done = true;
    const int release = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(release, 0);
    writer.join();
    ::close(release);
    EXPECT_FALSE(readerSeen);
    EXPECT_FALSE(router.pendingLibraryID().has_value());
}

} // namespace
} // namespace pivra
