#include "catalog/model/MediaItem.h"
#include "catalog/search/SearchQuery.h"

#include <QSet>
#include <functional>
#include <gtest/gtest.h>

namespace pivra {
namespace {

const QUuid sampleSource = QUuid::fromString(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));

MediaItem sampleItem()
{
    const QString path = QStringLiteral("/photos/2020/a.jpg");
    return MediaItem(MediaItem::makeID(sampleSource, path), sampleSource, path, u"a.jpg", MediaKind::image,
                     1'600'000'000.000125, u"EXIF capture", 4032, 3024, std::nullopt, std::nullopt, std::nullopt,
                     2'500'000, 1'600'000'100.5, std::nullopt, 0, false, std::nullopt, std::nullopt, std::nullopt);
}

// Every field set, the text ones to values that sit side by side in one
// packed block, so that a change can only hide by moving between fields.
MediaItem fullItem()
{
    const QString path = QStringLiteral("/Fotoğraflar/İstanbul/ab.heic");
    return MediaItem(MediaItem::makeID(sampleSource, path), sampleSource, path, u"ab.heic", MediaKind::image,
                     1'600'000'000.5, u"EXIF capture", 4032, 3024, u"ab", u"c", 2.5, 2'500'000, 1'600'000'100.5,
                     u"{}", 1, true, u"key", u"LIVE-1", u"/Fotoğraflar/İstanbul/ab.mov");
}

TEST(MediaItemIdentity, IdIsUpperCaseUuidColonPath)
{
    EXPECT_EQ(sampleItem().id(), QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427:/photos/2020/a.jpg"));
}

TEST(MediaItemIdentity, TextComesBackAsGivenAndCopiesStayIndependent)
{
    const MediaItem item = fullItem();
    EXPECT_EQ(item.path(), QStringLiteral("/Fotoğraflar/İstanbul/ab.heic"));
    EXPECT_EQ(item.id(), MediaItem::makeID(sampleSource, item.path()));
    EXPECT_EQ(item.camera(), QStringLiteral("ab"));
    EXPECT_EQ(item.liveVideoPath(), QStringLiteral("/Fotoğraflar/İstanbul/ab.mov"));
    EXPECT_FALSE(sampleItem().camera());
    EXPECT_EQ(MediaItem().id(), QString());

    MediaItem copy = item;
    copy.setPath(u"/elsewhere.heic");
    copy.setLens(std::nullopt);
    EXPECT_EQ(item.path(), QStringLiteral("/Fotoğraflar/İstanbul/ab.heic"));
    EXPECT_EQ(item.lens(), QStringLiteral("c"));
    EXPECT_EQ(copy.id(), item.id()) << "the id keeps its text when the path it held changes";
    EXPECT_EQ(copy.path(), QStringLiteral("/elsewhere.heic"));
}

TEST(MediaItemIdentity, ItemsDifferingInAnyOneFieldAreUnequal)
{
    const MediaItem base = fullItem();
    const std::vector<std::pair<const char*, std::function<void(MediaItem&)>>> changes = {
        {"id", [](MediaItem& i) { i.setID(i.id() + u'x'); }},
        {"id holding another path", [](MediaItem& i) { i.setID(MediaItem::makeID(sampleSource, QStringLiteral("/b"))); }},
        {"sourceID", [](MediaItem& i) { i.setSourceID(QUuid::createUuid()); }},
        {"path", [](MediaItem& i) { i.setPath(u"/Fotoğraflar/İstanbul/ab.hei"); }},
        {"name", [](MediaItem& i) { i.setName(u"ab.heif"); }},
        {"kind", [](MediaItem& i) { i.setKind(MediaKind::video); }},
        {"captureDate", [](MediaItem& i) { i.setCaptureDate(i.captureDate() + 1e-6); }},
        {"dateOrigin", [](MediaItem& i) { i.setDateOrigin(u"File date"); }},
        {"width", [](MediaItem& i) { i.setWidth(3024); }},
        {"height", [](MediaItem& i) { i.setHeight(4032); }},
        {"camera absent", [](MediaItem& i) { i.setCamera(std::nullopt); }},
        {"camera byte moved to lens", [](MediaItem& i) { i.setCamera(u"a"); i.setLens(u"bc"); }},
        {"lens empty", [](MediaItem& i) { i.setLens(u""); }},
        {"duration", [](MediaItem& i) { i.setDuration(std::nullopt); }},
        {"fileSize", [](MediaItem& i) { i.setFileSize(i.fileSize() + 1); }},
        {"modifiedAt", [](MediaItem& i) { i.setModifiedAt(i.modifiedAt() + 1e-6); }},
        {"metadataJSON", [](MediaItem& i) { i.setMetadataJSON(std::nullopt); }},
        {"rotationQuarters", [](MediaItem& i) { i.setRotationQuarters(2); }},
        {"isFavorite", [](MediaItem& i) { i.setFavorite(false); }},
        {"thumbnailKey", [](MediaItem& i) { i.setThumbnailKey(u"kez"); }},
        {"liveIdentifier", [](MediaItem& i) { i.setLiveIdentifier(u""); }},
        {"liveVideoPath", [](MediaItem& i) { i.setLiveVideoPath(std::nullopt); }},
        {"empty optional texts", [](MediaItem& i) { i.setCamera(u""); i.setLens(u""); }},
    };
    for (const auto& [field, change] : changes) {
        MediaItem changed = base;
        change(changed);
        EXPECT_NE(changed, base) << field;
        EXPECT_NE(qHash(changed), qHash(base)) << field;
    }
    MediaItem rebuilt = base;
    rebuilt.setPath(u"/x");
    rebuilt.setPath(base.path());
    EXPECT_EQ(rebuilt, base);
    EXPECT_EQ(qHash(rebuilt), qHash(base));
    EXPECT_EQ(fullItem(), base);
}

TEST(MediaItemIdentity, AbsentDurationDiffersFromZeroButBothZerosAreOne)
{
    MediaItem absent = sampleItem();
    MediaItem zero = absent;
    zero.setDuration(0.0);
    EXPECT_NE(absent, zero);
    EXPECT_NE(qHash(absent), qHash(zero));

    MediaItem negativeZero = zero;
    negativeZero.setDuration(-0.0);
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
