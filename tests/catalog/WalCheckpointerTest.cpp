#include "catalog/MediaCatalog.h"
#include "catalog/model/Uuid.h"
#include "support/system/TempFolder.h"

#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

constexpr int startPages = 64;
constexpr int limitPages = 512;
// A WAL frame: a page and its header.
constexpr qint64 frameBytes = 4096 + 24;

class WalCheckpointerTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        CatalogTuning tuning;
        tuning.checkpointFromPages = startPages;
        tuning.walLimitPages = limitPages;
        catalog_.emplace(databasePath(), tuning);
    }

    QString databasePath() const { return pathOf(QStringLiteral("Catalog.sqlite")); }
    qint64 sizeOf(const QString& path) const { return QFileInfo(path).size(); }
    qint64 logSize() const { return sizeOf(databasePath() + QStringLiteral("-wal")); }

    // One transaction of `count` device rows with long names, about a page
    // each, under a source of their own.
    void commitRows(int count)
    {
        const QUuid device = QUuid::createUuid();
        std::vector<MediaItem> items;
        for (int index = 0; index < count; ++index) {
            MediaItem item;
            item.setName(QStringLiteral("IMG_%1_").arg(index) + QString(600, u'x'));
            item.setPath(QStringLiteral("pivra-camera://") + uuidString(device) + u'/' + item.name());
            item.setID(MediaItem::makeID(device, item.path()));
            item.setKind(MediaKind::image);
            item.setDateOrigin(QStringLiteral("device"));
            item.setCaptureDate(1'700'000'000 + index);
            items.push_back(std::move(item));
        }
        catalog_->scanCamera(device, items);
    }

    std::optional<MediaCatalog> catalog_;
};

TEST_F(WalCheckpointerTest, CommitsReachTheFileWithoutTheWriterAndNoLogOutlivesTheCatalog)
{
    const qint64 empty = sizeOf(databasePath());
    commitRows(100);
    ASSERT_GT(logSize(), startPages * frameBytes);
    ASSERT_LT(logSize(), limitPages * frameBytes) << "the writer copied the log itself";
    EXPECT_TRUE(QTest::qWaitFor([&] { return sizeOf(databasePath()) > empty + startPages * 4096; }))
        << "the idle writer's log was never copied into the file";

    catalog_.reset();
    EXPECT_FALSE(QFileInfo::exists(databasePath() + QStringLiteral("-wal")))
        << "a connection outlived the writer, which then could not take the log in";
}

TEST_F(WalCheckpointerTest, LogStaysBoundedWhileTheWriterNeverPauses)
{
    constexpr int commits = 150;
    constexpr int rowsPerCommit = 15;
    for (int commit = 0; commit < commits; ++commit) {
        commitRows(rowsPerCommit);
    }
    // The log may run past the limit by the commit that reached it, a few
    // hundred pages here.
    EXPECT_LT(logSize(), 2 * limitPages * frameBytes);
}

} // namespace
} // namespace pivra::test
