#include "PreferencesTestKit.h"

#include "settings/PreferenceCard.h"
#include "settings/StorageUsage.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace pivra {
namespace {

class StorageTabTest : public test::PreferencesTest {
protected:
    void SetUp() override
    {
        PreferencesTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override
    {
        tab_.reset();
        QLocale::setDefault(QLocale::system());
        PreferencesTest::TearDown();
    }

    StorageTab& makeTab(StorageServices storage)
    {
        tab_ = std::make_unique<StorageTab>(*store_, std::move(storage));
        return *tab_;
    }
    StorageTab& makeTab() { return makeTab(services().storage); }

    // `count` files of `bytes` each under a cache folder, fanned out as the
    // stores keep them.
    void fill(const QString& folder, int count, int bytes)
    {
        for (int index = 0; index < count; ++index) {
            writeFile(QDir(root()).relativeFilePath(folder) + QStringLiteral("/a%1/%2.bin").arg(index % 2).arg(index),
                      QByteArray(bytes, 'x'));
        }
    }

    std::unique_ptr<StorageTab> tab_;
};

TEST_F(StorageTabTest, BeforeTheFirstCountNothingIsClaimed)
{
    openStore();
    const StorageTab& tab = makeTab();
    EXPECT_EQ(tab.thumbnailSizeLabel()->text(), u"Calculating…");
    EXPECT_EQ(tab.previewSizeLabel()->text(), u"Calculating…");
    EXPECT_EQ(tab.usage()->totalLabel()->text(), u"—");
    EXPECT_EQ(tab.usage()->thumbnailFraction(), 1.0);
    EXPECT_EQ(tab.deleteButton()->text(), u"Delete All");
    EXPECT_FALSE(tab.deleteButton()->isEnabled());
}

// The Status row's text and whether Prepare Missing can be pressed.
TEST_F(StorageTabTest, TheStatusTellsWhatWaitsAndPrepareNeedsAConnectedSource)
{
    LibraryStore& store = openStore(2, 3);
    StorageTab& tab = makeTab();
    EXPECT_EQ(tab.statusRow()->subtitleLabel()->text(), u"6 waiting to be prepared.");
    EXPECT_TRUE(tab.prepareButton()->isEnabled());

    renderer_->gate.close();
    tab.prepareButton()->click();
    EXPECT_EQ(tab.statusRow()->subtitleLabel()->text(), u"Preparing 0 of 6…");
    EXPECT_FALSE(tab.prepareButton()->isEnabled());
    renderer_->gate.open(); // the rows name no file: every one fails
    ASSERT_TRUE(eventually([&] { return !store.isPreparingThumbnails(); }));
    ASSERT_TRUE(drain());
    EXPECT_EQ(tab.statusRow()->subtitleLabel()->text(), u"All connected sources are ready. 6 unavailable.");

    QList<LibrarySource> offline = store.sources();
    for (LibrarySource& source : offline) {
        source.isOnline = false;
    }
    store.setSources(offline);
    EXPECT_EQ(tab.statusRow()->subtitleLabel()->text(), u"No source is connected.");
    EXPECT_FALSE(tab.prepareButton()->isEnabled());
}

// Real cache folders: their sizes, then Delete All turns clips off, empties
// their folder and shows the new count, with the button off again.
TEST_F(StorageTabTest, DeletingEveryClipTurnsThemOffAndCountsAgain)
{
    openStore();
    fill(thumbnails_.assetDirectory(), 1234, 100);
    fill(clips_.directory(), 3, 500'000);
    StorageTab& tab = makeTab();
    QSignalSpy measured(&tab, &StorageTab::measured);
    tab.refreshStorage();
    ASSERT_TRUE(measured.wait());
    EXPECT_EQ(tab.thumbnailSizeLabel()->text(), u"1,234 · 123 KB");
    EXPECT_EQ(tab.previewSizeLabel()->text(), u"3 · 1.5 MB");
    EXPECT_EQ(tab.usage()->totalLabel()->text(), u"1.6 MB");
    EXPECT_NEAR(tab.usage()->thumbnailFraction(), 123'400.0 / 1'623'400.0, 1e-9);
    EXPECT_EQ(tab.deleteButton()->text(), u"Delete All (1.5 MB)");
    ASSERT_TRUE(tab.deleteButton()->isEnabled());
    EXPECT_TRUE(tab.previewSwitch()->isChecked());

    tab.deleteButton()->click();
    ASSERT_TRUE(measured.wait());
    EXPECT_FALSE(tab.previewSwitch()->isChecked());
    EXPECT_FALSE(AppSettings().flag(VideoPreviewStore::enabledKey, true));
    EXPECT_TRUE(QDir(clips_.directory()).isEmpty() || !QDir(clips_.directory()).exists());
    EXPECT_EQ(tab.previewSizeLabel()->text(), u"0 · Zero KB");
    EXPECT_EQ(tab.deleteButton()->text(), u"Delete All");
    EXPECT_FALSE(tab.deleteButton()->isEnabled());

    tab.previewSwitch()->click();
    EXPECT_TRUE(AppSettings().flag(VideoPreviewStore::enabledKey, false));
}

// The first measurement is held until a second has been shown; when it
// finally ends, the newer numbers stay.
TEST_F(StorageTabTest, AMeasurementThatEndsLateNeverReplacesANewerOne)
{
    openStore();
    auto gate = std::make_shared<test::ReopenableGate>(false);
    auto calls = std::make_shared<std::atomic<int>>(0);
    StorageServices storage = services().storage;
    storage.measure = [gate, calls](const QString&) {
        const int call = (*calls)++;
        if (call == 0) {
            gate->pass();
        }
        return StorageMeasure{call, std::int64_t(1000) * call};
    };
    StorageTab& tab = makeTab(storage);
    QSignalSpy measured(&tab, &StorageTab::measured);
    tab.refreshStorage();
    ASSERT_TRUE(eventually([&] { return calls->load() == 1; }));
    tab.refreshStorage();
    ASSERT_TRUE(measured.wait());
    const QString newer = tab.thumbnailSizeLabel()->text();
    EXPECT_EQ(newer, u"1 · 1 KB");
    gate->open();
    ASSERT_TRUE(drain());
    EXPECT_EQ(measured.size(), 1);
    EXPECT_EQ(tab.thumbnailSizeLabel()->text(), newer);
}

TEST_F(StorageTabTest, ShowingTheThumbnailFolderMakesItFirst)
{
    openStore();
    StorageServices storage = services().storage;
    storage.thumbnailFolder = pathOf(QStringLiteral("gone/Thumbnails"));
    StorageTab& tab = makeTab(storage);
    tab.revealButton()->click();
    EXPECT_TRUE(QDir(storage.thumbnailFolder).exists());
    EXPECT_EQ(revealed_, QStringList{storage.thumbnailFolder});
}

} // namespace
} // namespace pivra
