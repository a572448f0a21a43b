#include "platform/folders/FileNameText.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <vector>

namespace pivra {
namespace {

struct Name {
    QByteArray bytes;
    QString readable; // as shown
    bool raw;         // holds bytes that are not UTF-8
};

// Valid UTF-8 of every length, and each way a byte sequence fails to be it.
const std::vector<Name> names{
    {"IMG_0001.jpg", QStringLiteral("IMG_0001.jpg"), false},
    {"caf\xc3\xa9.jpg", QStringLiteral("caf\u00e9.jpg"), false},
    {"\xe2\x82\xac \xf0\x9f\x82\xa0", QStringLiteral("\u20ac \U0001F0A0"), false},       // a low surrogate at 0xDCA0
    {"caf\xe9.jpg", QStringLiteral("caf\u00e9.jpg"), true},                              // Latin-1
    {"Dad\x92s \x80.jpg", QStringLiteral("Dad\u2019s \u20ac.jpg"), true},                // Windows-1252
    {"\x81\x8d", QStringLiteral("\ufffd\ufffd"), true},                                  // left undefined there
    {"\xc0\xaf", QStringLiteral("\u00c0\u00af"), true},                                  // an overlong "/"
    {"\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u20ac"), true},                        // a surrogate
    {"\xf4\x90\x80\x80", QStringLiteral("\u00f4\ufffd\u20ac\u20ac"), true},              // past U+10FFFF
    {"end \xe2\x82", QStringLiteral("end \u00e2\u201a"), true},                          // cut short
    {"\xe9\xf0\x9f\x98\x80\xe9", QStringLiteral("\u00e9\U0001F600\u00e9"), true},
};

TEST(FileNameText, EveryNameReadsBackAsItsBytesAndShowsReadably)
{
    for (const Name& name : names) {
        const QString text = fileNameText(name.bytes);
        EXPECT_EQ(fileNameBytes(text), name.bytes) << name.bytes.toHex().constData();
        QByteArray written(mostFileNameBytes(text.size()), '\0');
        written.truncate(writeFileNameBytes(written.data(), text) - written.data());
        EXPECT_EQ(written, name.bytes) << name.bytes.toHex().constData();
        EXPECT_EQ(holdsRawBytes(text), name.raw) << name.bytes.toHex().constData();
        EXPECT_EQ(readableFileText(text), name.readable) << name.bytes.toHex().constData();
        if (!name.raw) {
            EXPECT_EQ(text, QString::fromUtf8(name.bytes)) << "text stored before means what it meant";
        }
    }
    // Names that Qt would read alike stay apart.
    EXPECT_NE(fileNameText("caf\xe9"), fileNameText("caf\xe8"));
    // Text from elsewhere that is not valid UTF-16 is written as Qt writes it.
    EXPECT_EQ(fileNameBytes(QString(QChar(0xD800))), QString(QChar(0xD800)).toUtf8());
}

TEST(FileNameText, AFileUrlNamesThePathsBytes)
{
    const QString plain = QStringLiteral("/photos/caf\u00e9 1.jpg");
    EXPECT_EQ(fileUrl(plain), QUrl::fromLocalFile(plain));
    const QUrl raw = fileUrl(fileNameText("/photos/caf\xe9 1.jpg"));
    EXPECT_EQ(raw.toEncoded(), "file:///photos/caf%E9%201.jpg");
    EXPECT_TRUE(raw.isLocalFile());
    EXPECT_EQ(pathOfFileUrl(raw), fileNameText("/photos/caf\xe9 1.jpg"));
    EXPECT_EQ(pathOfFileUrl(fileUrl(plain)), plain);
    EXPECT_TRUE(pathOfFileUrl(QUrl(QStringLiteral("http://127.0.0.1/caf%E9.jpg"))).isEmpty());
}

} // namespace
} // namespace pivra
