// Device files described from ranged reads of their bytes, as a phone's
// driver gives them (libgphoto2's folder driver lists no HEIF files, so
// photos of that format are read here directly).
#include "media/camera/CameraFileDescription.h"

#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

// A photo of a phone's size: `padding` bytes of a "free" box after its last
// box, which readers skip.
bool padWithFreeBox(const QString& path, qint64 padding)
{
    QFile file(path);
    if (!file.open(QIODevice::Append)) {
        return false;
    }
    QByteArray header(8, '\0');
    qToBigEndian<quint32>(quint32(padding), header.data());
    header.replace(4, 4, "free");
    return file.write(header) == 8 && file.resize(file.size() + padding - 8);
}

TEST(CameraFileDescriptionTest, AHeifPhotosSizeOrientationAndExifDateAreReadWhereTheyLie)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("IMG_0010.HEIC"));
    ASSERT_TRUE(makeHeic(path, QSize(1200, 900),
                         {.exif = {.dateTimeOriginal = "2021:03:04 05:06:07", .orientation = 6},
                          .containerOrientation = 6}));
    ASSERT_TRUE(padWithFreeBox(path, 3 * 1024 * 1024));
    QFile original(path);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    std::int64_t read = 0;
    const IsoByteReader reader = [&](std::int64_t offset, std::int64_t length) -> std::optional<QByteArray> {
        if (!original.seek(offset)) {
            return std::nullopt;
        }
        const QByteArray bytes = original.read(length);
        read += bytes.size();
        return bytes;
    };

    CameraFileInfo file{.folder = QStringLiteral("/DCIM"), .name = QStringLiteral("IMG_0010.HEIC"),
                        .mimeType = QStringLiteral("image/heic"), .size = original.size()};
    ASSERT_TRUE(describeCameraFile(file, reader));
    EXPECT_EQ(QSize(file.width, file.height), QSize(900, 1200));
    EXPECT_EQ(file.orientation, 6);
    ASSERT_TRUE(file.exifCreationDate);
    EXPECT_EQ(*file.exifCreationDate, double(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch()));
    EXPECT_LT(read, 256 * 1024) << "the boxes, not the file";
}

} // namespace
} // namespace pivra::test
