#include "catalog/MediaItem.h"
#include "catalog/search/SearchQuery.h"

#include <QSet>
#include <gtest/gtest.h>

namespace pivra {
namespace {

MediaItem sampleItem()
{
    MediaItem item;
    item.sourceID = QUuid::fromString(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));
    item.path = QStringLiteral("/photos/2020/a.jpg");
    item.id = MediaItem::makeID(item.sourceID, item.path);
    item.name = QStringLiteral("a.jpg");
    item.captureDate = 1'600'000'000.000125;
    item.dateOrigin = QStringLiteral("EXIF capture");
    item.width = 4032;
    item.height = 3024;
    item.fileSize = 2'500'000;
    item.modifiedAt = 1'600'000'100.5;
    return item;
}

TEST(MediaItemIdentity, IdIsUpperCaseUuidColonPath)
{
    EXPECT_EQ(sampleItem().id, QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427:/photos/2020/a.jpg"));
}

TEST(MediaItemIdentity, EveryFieldTakesPartInEquality)
{
    const MediaItem base = sampleItem();
    const std::vector<std::function<void(MediaItem&)>> changes = {
        [](MediaItem& i) { i.isFavorite = true; },
        [](MediaItem& i) { i.rotationQuarters = 1; },
        [](MediaItem& i) { i.duration = 0.0; },
        [](MediaItem& i) { i.captureDate += 1e-6; },
        [](MediaItem& i) { i.camera = QString(); },
        [](MediaItem& i) { i.kind = MediaKind::video; },
        [](MediaItem& i) { i.thumbnailKey = QStringLiteral("ab"); },
        [](MediaItem& i) { i.liveVideoPath = QStringLiteral("/photos/2020/a.mov"); },
        [](MediaItem& i) { i.fileSize += 1; },
    };
    for (std::size_t index = 0; index < changes.size(); ++index) {
        MediaItem changed = base;
        changes[index](changed);
        EXPECT_NE(changed, base) << "change " << index;
        EXPECT_NE(qHash(changed), qHash(base)) << "change " << index;
    }
    EXPECT_EQ(sampleItem(), base);
    EXPECT_EQ(qHash(sampleItem()), qHash(base));
}

TEST(MediaItemIdentity, AbsentDurationDiffersFromZeroButBothZerosAreOne)
{
    MediaItem absent = sampleItem();
    MediaItem zero = absent;
    zero.duration = 0.0;
    EXPECT_NE(absent, zero);
    EXPECT_NE(qHash(absent), qHash(zero));

    MediaItem negativeZero = zero;
    negativeZero.duration = -0.0;
    EXPECT_EQ(zero, negativeZero);
    EXPECT_EQ(qHash(zero), qHash(negativeZero));
    EXPECT_EQ((QSet<MediaItem>{zero, negativeZero}.size()), 1);
}

TEST(MediaKinds, RawValuesAndFilterLabels)
{
    EXPECT_EQ(rawValue(MediaKind::image), QStringLiteral("image"));
    EXPECT_EQ(mediaKindFromRaw(u"video"), MediaKind::video);
    EXPECT_FALSE(mediaKindFromRaw(u"Video"));

    EXPECT_EQ(mediaFilterFromRaw(u"Photos"), MediaFilter::photos);
    EXPECT_FALSE(mediaFilterFromRaw(u"photos"));
    EXPECT_EQ(mediaFilterFromRaw(u"All media"), MediaFilter::all);
    EXPECT_EQ(allMediaFilters.front(), MediaFilter::all);
    EXPECT_EQ(restrictedKind(MediaFilter::videos), MediaKind::video);
    EXPECT_FALSE(restrictedKind(MediaFilter::all));
}

TEST(SearchQueryLiteral, TrimsSpacesAndTabsButKeepsLineBreaks)
{
    EXPECT_EQ(SearchQuery::literal(u" \tbeach\u00A0 ").terms, QStringList{QStringLiteral("beach")});
    EXPECT_EQ(SearchQuery::literal(u" \t "), SearchQuery{});
    EXPECT_EQ(SearchQuery::literal(u"\nx\n").terms, QStringList{QStringLiteral("\nx\n")});
}

} // namespace
} // namespace pivra
