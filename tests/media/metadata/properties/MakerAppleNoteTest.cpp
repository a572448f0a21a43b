#include "media/metadata/properties/MakerAppleNote.h"
#include "support/files/AppleMakerNote.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(MakerAppleNote, DecodesEveryKindOfEntryByDecimalTag)
{
    const QByteArray note = test::appleMakerNote("4D3C2B1A-LIVE");
    const std::optional<QVariantMap> group = decodeMakerApple(note);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->value("17").toString(), "4D3C2B1A-LIVE");
    EXPECT_EQ(group->value("1").toInt(), 14);
    EXPECT_EQ(group->value("8").toList(), (QVariantList{-0.5, 0.25, -1.0}));
    EXPECT_EQ(group->value("2").typeId(), QMetaType::QByteArray); // opaque bytes, dropped from JSON later
}

TEST(MakerAppleNote, RefusesForeignNotesAndSurvivesCutOnes)
{
    EXPECT_FALSE(decodeMakerApple(QByteArray("Nikon\0\x02\x10\0\0MM", 12)));
    EXPECT_FALSE(decodeMakerApple(QByteArray()));
    const QByteArray note = test::appleMakerNote("ID-THAT-IS-LONGER-THAN-FOUR");
    for (qsizetype length = 0; length < note.size(); ++length) {
        const std::optional<QVariantMap> group = decodeMakerApple(QByteArrayView(note).first(length));
        if (group && group->contains("17")) {
            EXPECT_EQ(group->value("17").toString(), "ID-THAT-IS-LONGER-THAN-FOUR");
        }
    }
    QByteArray hostile = note;
    hostile[14] = char(0xff); // entry count far beyond the note
    hostile[15] = char(0xff);
    hostile[20] = char(0x7f); // first entry's element count huge
    EXPECT_TRUE(decodeMakerApple(hostile));
}

} // namespace
} // namespace pivra
