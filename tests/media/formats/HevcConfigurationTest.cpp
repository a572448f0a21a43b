#include "media/formats/HevcConfiguration.h"

#include "media/video/HevcRecord.h"
#include "support/TempFolder.h"

namespace pivra {
namespace {

using HevcConfigurationTest = test::TempFolderTest;

TEST_F(HevcConfigurationTest, TellsAStreamCodedInWavefrontsOnlyFromAWholeRecord)
{
    const QByteArray rows = test::hevcRecord(pathOf(QStringLiteral("rows.mp4")), true);
    const QByteArray whole = test::hevcRecord(pathOf(QStringLiteral("whole.mp4")), false);
    ASSERT_FALSE(rows.isEmpty());
    ASSERT_FALSE(whole.isEmpty());
    EXPECT_TRUE(hevcCodedInWavefronts(rows));
    EXPECT_FALSE(hevcCodedInWavefronts(whole));

    // The picture parameter set comes last: a record cut anywhere has lost
    // at least its end, and says nothing of wavefronts.
    for (qsizetype length = 0; length < rows.size(); ++length) {
        ASSERT_FALSE(hevcCodedInWavefronts(QByteArrayView(rows).first(length))) << "cut at " << length;
    }
    QByteArray otherVersion = rows;
    otherVersion[0] = 2;
    EXPECT_FALSE(hevcCodedInWavefronts(otherVersion));
    // Every array emptied of its units: no picture parameter set at all.
    QByteArray noArrays = rows.first(23);
    noArrays[22] = 0;
    EXPECT_FALSE(hevcCodedInWavefronts(noArrays));
    // Another set whose bits run out before the flag, after a good one.
    QByteArray extraSet = rows;
    extraSet[22] = char(extraSet[22] + 1);
    extraSet += QByteArray::fromHex("22000102" "4401");
    EXPECT_FALSE(hevcCodedInWavefronts(extraSet));
}

} // namespace
} // namespace pivra
