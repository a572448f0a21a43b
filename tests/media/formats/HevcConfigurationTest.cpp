#include "media/formats/coding/HevcConfiguration.h"

#include "media/video/HevcRecord.h"
#include "support/system/TempFolder.h"

namespace pivra {
namespace {

using HevcConfigurationTest = test::TempFolderTest;

// The array of NAL units of `type` a record holds, whole; empty when it has none.
QByteArray arrayOf(const QByteArray& record, int type)
{
    qsizetype at = 23;
    for (int array = 0; array < uchar(record[22]) && at + 3 <= record.size(); ++array) {
        const qsizetype start = at;
        const int units = uchar(record[at + 1]) << 8 | uchar(record[at + 2]);
        at += 3;
        for (int unit = 0; unit < units; ++unit) {
            at += 2 + (uchar(record[at]) << 8 | uchar(record[at + 1]));
        }
        if ((uchar(record[start]) & 0x3f) == type) {
            return record.mid(start, at - start);
        }
    }
    return {};
}

// `record` with one more array of parameter sets at its end.
QByteArray withArray(QByteArray record, const QByteArray& array)
{
    record[22] = char(record[22] + 1);
    return record + array;
}

TEST_F(HevcConfigurationTest, TellsWavefrontsAndThePictureSizeOnlyFromAWholeRecord)
{
    const QByteArray rows = test::hevcRecord(pathOf(QStringLiteral("rows.mp4")), true);
    // A size the coding blocks do not divide: coded larger, cut back by the
    // conformance window.
    const QByteArray whole = test::hevcRecord(pathOf(QStringLiteral("whole.mp4")), false, QSize(322, 242));
    ASSERT_FALSE(rows.isEmpty());
    ASSERT_FALSE(whole.isEmpty());
    QByteArray otherVersion = rows;
    otherVersion[0] = 2;
    // Every array emptied of its units: no parameter set at all.
    QByteArray noArrays = rows.first(23);
    noArrays[22] = 0;
    const struct {
        const char* name;
        QByteArray record;
        bool wavefronts;
        std::optional<QSize> size;
    } table[] = {
        {"wavefronts", rows, true, QSize(320, 240)},
        {"none", whole, false, QSize(322, 242)},
        {"another version", otherVersion, false, std::nullopt},
        {"no arrays", noArrays, false, std::nullopt},
        // A picture set whose bits run out before the flag, after a good one.
        {"a picture set cut short", withArray(rows, QByteArray::fromHex("220001" "0002" "4401")), false, QSize(320, 240)},
        // One set with wavefronts, one without: rows of a picture may not
        // decode side by side.
        {"sets with and without", withArray(rows, arrayOf(whole, 34)), false, QSize(320, 240)},
        {"a sequence set cut short", withArray(rows, QByteArray::fromHex("210001" "0002" "4201")), true, std::nullopt},
        // Of two sequence sets, the larger picture.
        {"two sequence sets", withArray(whole, arrayOf(rows, 33)), false, QSize(322, 242)},
    };
    for (const auto& row : table) {
        EXPECT_EQ(hevcCodedInWavefronts(row.record), row.wavefronts) << row.name;
        const std::optional<HevcPictureSize> size = hevcPictureSize(row.record);
        ASSERT_EQ(size.has_value(), row.size.has_value()) << row.name;
        if (size) {
            EXPECT_EQ(QSize(int(size->width), int(size->height)), *row.size) << row.name;
            // Coded in whole blocks, of 8 at least.
            EXPECT_EQ(size->codedWidth % 8, 0) << row.name;
            EXPECT_EQ(size->codedHeight % 8, 0) << row.name;
            EXPECT_GE(size->codedWidth, size->width) << row.name;
            EXPECT_GE(size->codedHeight, size->height) << row.name;
        }
    }
    // The picture parameter set comes last: a record cut anywhere has lost
    // at least its end, and says nothing.
    for (qsizetype length = 0; length < rows.size(); ++length) {
        ASSERT_FALSE(hevcCodedInWavefronts(QByteArrayView(rows).first(length))) << "cut at " << length;
        ASSERT_FALSE(hevcPictureSize(QByteArrayView(rows).first(length))) << "cut at " << length;
    }
}

} // namespace
} // namespace pivra
