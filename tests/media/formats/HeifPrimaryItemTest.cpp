#include "media/formats/HeifPrimaryItem.h"

#include "support/files/HeicMaker.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QtEndian>

namespace pivra {
namespace {

QByteArray box(const char* type, const QByteArray& payload)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(quint32(8 + payload.size()), bytes.data());
    return bytes + QByteArray(type, 4) + payload;
}

QByteArray fullBox(const char* type, int version, const QByteArray& payload)
{
    return box(type, QByteArray(1, char(version)) + QByteArray(3, '\0') + payload);
}

QByteArray u16(int value)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(quint16(value), bytes.data());
    return bytes;
}

// An item information entry of version 2: id, protection index, type.
QByteArray entry(int id, const char* type)
{
    return fullBox("infe", 2, u16(id) + u16(0) + QByteArray(type, 4));
}

// A HEIF's boxes as an encoder lays them out: the primary item `primary`,
// the items of `types` (id, type) and the derivations of `derived` (from, to).
QByteArray heif(int primary, const QList<std::pair<int, const char*>>& types,
                const QList<std::pair<int, int>>& derived)
{
    QByteArray entries;
    for (const auto& [id, type] : types) {
        entries += entry(id, type);
    }
    QByteArray references;
    for (const auto& [from, to] : derived) {
        references += box("dimg", u16(from) + u16(1) + u16(to));
    }
    const QByteArray meta = fullBox("meta", 0,
                                    fullBox("hdlr", 0, QByteArray(4, '\0') + "pict" + QByteArray(13, '\0'))
                                        + fullBox("pitm", 0, u16(primary))
                                        + fullBox("iinf", 0, u16(int(types.size())) + entries)
                                        + fullBox("iref", 0, references));
    return box("ftyp", "heic" + QByteArray(4, '\0') + "mif1heic") + meta + box("mdat", QByteArray(64, '\0'));
}

class HeifPrimaryItemTest : public test::TempFolderTest {
protected:
    bool isGrid(const QString& name, const QByteArray& bytes) const
    {
        const std::optional<MediaFile> file = MediaFile::open(writeFile(name, bytes));
        const std::optional<HeifCoding> coding = file ? readHeifCoding(*file) : std::nullopt;
        return coding && coding->image.grid;
    }
};

TEST_F(HeifPrimaryItemTest, AGridIsToldFromOnePictureByThePrimaryItemOrTheImageItShows)
{
    const struct {
        const char* name;
        QByteArray bytes;
        bool grid;
    } rows[] = {
        {"grid", heif(1, {{1, "grid"}, {2, "hvc1"}, {3, "hvc1"}}, {{1, 2}}), true},
        {"one picture", heif(2, {{1, "Exif"}, {2, "hvc1"}}, {}), false},
        {"a turned view of a grid", heif(5, {{1, "grid"}, {2, "hvc1"}, {5, "iden"}}, {{1, 2}, {5, 1}}), true},
        {"a turned view of one picture", heif(5, {{2, "hvc1"}, {5, "iden"}}, {{5, 2}}), false},
        {"a primary item it does not list", heif(9, {{1, "grid"}}, {}), false},
        {"not a HEIF", QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(200, 'x'), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isGrid(QString::fromLatin1(row.name) + ".heic", row.bytes), row.grid) << row.name;
        // Cut anywhere before the items are whole, the boxes say nothing for certain.
        const qsizetype itemsEnd = row.bytes.indexOf("mdat") - 4;
        for (qsizetype cut = 0; cut < itemsEnd; cut += 7) {
            EXPECT_FALSE(isGrid(QStringLiteral("cut.heic"), row.bytes.first(cut))) << row.name << " cut at " << cut;
        }
    }
}

// The first sequence parameter set of a HEIC's configuration record ('hvcC').
QByteArray sequenceSetOf(const QByteArray& heic)
{
    const qsizetype record = heic.indexOf("hvcC") + 4;
    qsizetype at = record + 23;
    for (int array = 0; array < uchar(heic[record + 22]); ++array) {
        const int type = uchar(heic[at]) & 0x3f;
        const int units = qFromBigEndian<quint16>(heic.constData() + at + 1);
        at += 3;
        for (int unit = 0; unit < units; ++unit) {
            const int length = qFromBigEndian<quint16>(heic.constData() + at);
            if (type == 33) {
                return heic.mid(at + 2, length);
            }
            at += 2 + length;
        }
    }
    return {};
}

// The HEIC at `path` (one picture, its data first in 'mdat', as libheif
// writes it) carrying `set` in its data: the first unit becomes the set and
// a filler unit the size of the rest.
bool carryInData(const QString& path, const QByteArray& set)
{
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    const qsizetype data = bytes.indexOf("mdat") + 4;
    const qint64 first = data > 4 ? qFromBigEndian<quint32>(bytes.constData() + data) : 0;
    const qint64 filler = first - set.size() - 4;
    if (filler < 2) {
        return false;
    }
    QByteArray units(4, '\0');
    qToBigEndian(quint32(set.size()), units.data());
    units += set + QByteArray(4, '\0') + QByteArray::fromHex("4c01") + QByteArray(filler - 2, '\x55');
    qToBigEndian(quint32(filler), units.data() + 4 + set.size());
    bytes.replace(data, units.size(), units);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

TEST_F(HeifPrimaryItemTest, ThePictureOfAnEncodedFileIsToldFromItsBoxesAndItsCoding)
{
    const auto fields = [](int orientation, int bitDepth, bool alpha) {
        test::HeicFields heic;
        heic.containerOrientation = orientation;
        heic.bitDepth = bitDepth;
        heic.alpha = alpha;
        return heic;
    };
    const auto avif = [&](int bitDepth) {
        test::HeicFields coded = fields(1, bitDepth, false);
        coded.av1 = true;
        return coded;
    };
    const struct {
        const char* name;
        test::HeicFields fields;
        QSize size;
        QSize stated; // written over every size box; empty keeps what libheif wrote
        bool grid;
    } rows[] = {
        {"plain", fields(1, 8, false), QSize(640, 480), {}, false},
        {"deep", fields(1, 10, false), QSize(640, 480), {}, false},
        {"transparent", fields(1, 8, true), QSize(640, 480), {}, false},
        {"turned", fields(6, 8, false), QSize(640, 480), {}, false},
        // Whatever the size boxes state, the pictures are as coded.
        {"understated", fields(1, 10, true), QSize(640, 480), QSize(64, 48), false},
        {"understated and turned", fields(6, 8, false), QSize(640, 480), QSize(64, 48), false},
        {"overstated", fields(1, 8, false), QSize(640, 480), QSize(6400, 4800), false},
        // libheif's writer tiles a picture under 64 pixels as a grid of one
        // tile of 64 × 64, its canvas cut to the picture.
        {"grid", fields(1, 8, false), QSize(40, 30), {}, true},
        {"understated grid", fields(1, 8, false), QSize(40, 30), QSize(16, 16), true},
        {"avif", avif(8), QSize(640, 480), {}, false},
        {"understated avif", avif(8), QSize(640, 480), QSize(64, 48), false},
    };
    for (const auto& row : rows) {
        const QString path = pathOf(QString::fromLatin1(row.name) + (row.fields.av1 ? ".avif" : ".heic"));
        ASSERT_TRUE(test::makeHeic(path, row.size, row.fields)) << row.name;
        ASSERT_TRUE(row.stated.isEmpty() || test::stateHeicSize(path, row.stated)) << row.name;
        const std::optional<MediaFile> file = MediaFile::open(path);
        const std::optional<HeifCoding> coding = file ? readHeifCoding(*file) : std::nullopt;
        ASSERT_TRUE(coding && coding->image.picture) << row.name;
        EXPECT_EQ(coding->image.hevc, !row.fields.av1) << row.name;
        EXPECT_EQ(coding->image.av1, row.fields.av1) << row.name;
        EXPECT_EQ(coding->image.grid, row.grid) << row.name;
        EXPECT_EQ(QSize(int(coding->image.width), int(coding->image.height)), row.size) << row.name;
        EXPECT_EQ(coding->image.picture->codedWidth, row.grid ? 64 : row.size.width()) << row.name;
        EXPECT_EQ(coding->image.picture->chromaFormat, 1) << row.name; // 4:2:0
        EXPECT_EQ(coding->image.picture->bitDepth, row.fields.bitDepth) << row.name;
        EXPECT_EQ(coding->orientation, row.fields.containerOrientation) << row.name;
        const QSize shown = row.fields.containerOrientation >= 5 ? row.size.transposed() : row.size;
        const auto shownSize = coding->shownSize().value_or(std::pair<std::int64_t, std::int64_t>());
        EXPECT_EQ(QSize(int(shownSize.first), int(shownSize.second)), shown) << row.name;
        EXPECT_TRUE(coding->transformsAsOrientation()) << row.name;
        ASSERT_EQ(coding->alpha.has_value(), row.fields.alpha) << row.name;
        if (row.fields.alpha) {
            ASSERT_TRUE(coding->alpha->picture) << row.name;
            EXPECT_EQ(coding->alpha->picture->chromaFormat, 0) << row.name; // monochrome
            EXPECT_EQ(QSize(int(coding->alpha->width), int(coding->alpha->height)), row.size) << row.name;
        }
    }
    // A sequence parameter set in the picture's data, which the decoder
    // takes after the record's, counts too.
    const QString larger = pathOf(QStringLiteral("larger.heic"));
    const QString carrier = pathOf(QStringLiteral("carrier.heic"));
    ASSERT_TRUE(test::makeHeic(larger, QSize(1280, 960)));
    test::HeicFields marked;
    marked.markedCorner = true;
    ASSERT_TRUE(test::makeHeic(carrier, QSize(640, 480), marked, Qt::darkCyan, 90));
    QFile largerFile(larger);
    ASSERT_TRUE(largerFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(carryInData(carrier, sequenceSetOf(largerFile.readAll())));
    const std::optional<MediaFile> carried = MediaFile::open(carrier);
    const std::optional<HeifCoding> coding = carried ? readHeifCoding(*carried) : std::nullopt;
    ASSERT_TRUE(coding && coding->image.picture);
    EXPECT_EQ(QSize(int(coding->image.width), int(coding->image.height)), QSize(1280, 960));
    // Every orientation libheif's writer stores as turns and mirrors reads back as itself.
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = pathOf(QStringLiteral("oriented.heic"));
        ASSERT_TRUE(test::makeHeic(path, QSize(128, 96), fields(orientation, 8, false)));
        const std::optional<MediaFile> file = MediaFile::open(path);
        const std::optional<HeifCoding> coding = file ? readHeifCoding(*file) : std::nullopt;
        ASSERT_TRUE(coding);
        EXPECT_EQ(coding->orientation, orientation);
        EXPECT_EQ(coding->turned, orientation >= 5 || orientation == 3);
        EXPECT_FALSE(coding->cropped);
    }
}

} // namespace
} // namespace pivra
