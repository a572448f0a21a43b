#include "map/basemap/BaseMapData.h"
#include "map/basemap/BaseMapRenderer.h"
#include "support/system/TempFolder.h"

#include <QFile>

namespace pivra::test {
namespace {

using BaseMapDataTest = TempFolderTest;

TEST_F(BaseMapDataTest, TheBuiltWorldLoadsWithEveryScaleAndItsNames)
{
    const std::unique_ptr<const BaseMapData> world = BaseMapData::load(BaseMapData::defaultPath());
    ASSERT_TRUE(world);
    std::size_t previous = 0;
    for (const BaseMapData::Level& level : world->levels()) {
        EXPECT_GT(level.land.size(), previous); // finer scales hold more outlines
        EXPECT_FALSE(level.borders.empty());
        previous = level.land.size();
        for (const BaseMapData::Shape shape : level.land) {
            // Cut at the antimeridian: no outline leaves the one world.
            ASSERT_GE(shape.bounds().left(), 0);
            ASSERT_LE(shape.bounds().right(), mapWorldSize);
        }
    }
    const auto named = [&](const QString& name) {
        return std::any_of(world->countries().begin(), world->countries().end(),
                           [&](const BaseMapData::Label& label) { return label.name == name; });
    };
    EXPECT_TRUE(named(QStringLiteral("Türkiye")));
    EXPECT_TRUE(named(QStringLiteral("France")));
    EXPECT_FALSE(world->cities().empty());
}

// A file that is missing, of another kind, or cut short anywhere gives no
// data (and the map then draws sea), never a crash or half a world.
TEST_F(BaseMapDataTest, AMissingForeignOrTruncatedFileGivesNoData)
{
    QFile real(BaseMapData::defaultPath());
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray bytes = real.readAll();
    EXPECT_FALSE(BaseMapData::load(pathOf(QStringLiteral("missing.map"))));
    const QByteArray foreign = QByteArray("PIVRAGEO").append(bytes.mid(8));
    for (const QByteArray& broken : QByteArrayList{foreign, bytes.left(12), bytes.left(bytes.size() / 3),
                                                   bytes.left(bytes.size() - 1)}) {
        EXPECT_FALSE(BaseMapData::load(writeFile(QStringLiteral("broken.map"), broken))) << broken.size();
    }
    const QImage sea = BaseMapRenderer(nullptr).render({3, 4, 2, false}, 1);
    EXPECT_EQ(sea.pixelColor(128, 128), BaseMapColors::forScheme(false).ocean);
}

// The file is read in place: an entry whose points or name lie outside the
// file's reads as no points or no name, and drawing over it is only poorer.
TEST_F(BaseMapDataTest, AnEntryPointingOutsideTheFileReadsAsEmpty)
{
    QFile real(BaseMapData::defaultPath());
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    QByteArray bytes = real.readAll();
    const auto word = [&](std::size_t at) -> quint32& { return reinterpret_cast<quint32*>(bytes.data())[at]; };
    // The head's table of parts: the finest land rings are part 4, the
    // cities part 8; a ring is six words, a city seven.
    const std::size_t fineLand = word(5 + 2 * 4) / 4;
    const std::size_t cities = word(5 + 2 * 8) / 4;
    word(fineLand) = 0xfffffff0; // the first ring's first point
    word(cities + 5) = 0xfffffff0; // the first city's name
    const std::unique_ptr<const BaseMapData> world = BaseMapData::load(writeFile(QStringLiteral("odd.map"), bytes));
    ASSERT_TRUE(world);
    EXPECT_EQ(world->levels()[2].land[0].size(), 0);
    EXPECT_GT(world->levels()[2].land[1].size(), 0);
    EXPECT_TRUE(world->cities()[0].name.isEmpty());
    EXPECT_FALSE(world->cities()[1].name.isEmpty());
    const BaseMapRenderer renderer(std::shared_ptr<const BaseMapData>(world.get(), [](const BaseMapData*) {}));
    for (int zoom : {2, 6, 9}) {
        EXPECT_FALSE(renderer.render({zoom, 1 << (zoom - 1), 1 << (zoom - 2), false}, 1).isNull());
    }
}

} // namespace
} // namespace pivra::test
