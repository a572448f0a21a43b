#include "StoreTestKit.h"

#include "platform/runtime/Drain.h"
#include "store/shortcuts/AppRouter.h"
#include "store/shortcuts/LibraryShortcut.h"
#include "store/shortcuts/ShortcutSavePicker.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace pivra {
namespace {

const QUuid library = QUuid::fromString(QStringLiteral("6f1c1e2a-90ab-4cde-8f01-23456789abcd"));

class ScriptedSavePicker : public ShortcutSavePicker {
public:
    std::optional<QString> chooseShortcutFile(const QString& title, const QString& fileName,
                                              const QString& folder) override
    {
        asked = QStringList{title, fileName, folder};
        return answer;
    }

    std::optional<QString> answer;
    QStringList asked;
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
    EXPECT_EQ(picker.asked, (QStringList{QStringLiteral("Create library shortcut"), QStringLiteral("Trip.pivra"),
                                         QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0)}));
    picker.answer = pathOf(QStringLiteral("no folder/Trip.pivra"));
    store->createShortcut(trip);
    EXPECT_EQ(store->message(), QStringLiteral("Could not create the shortcut."));
    store->setMessage(std::nullopt);
    picker.answer = pathOf(QStringLiteral("Trip.pivra"));
    store->createShortcut(trip);
    EXPECT_FALSE(store->message().has_value());
    ASSERT_TRUE(drain());

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
