#include "media/thumbnails/cache/ThumbnailCache.h"

#include "catalog/model/Uuid.h"
#include "media/MediaFile.h"
#include "media/thumbnails/render/JpegPixels.h"
#include "media/thumbnails/MediaKey.h"
#include "platform/folders/FileNameText.h"

#include <QDir>
#include <QFileInfo>
#include <QBuffer>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <filesystem>

namespace pivra {
namespace {

constexpr QLatin1StringView jpegSuffix(".jpg");

QString resolvedPath(const QString& path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(fileNameBytes(path).toStdString(), error);
    return error ? QString() : fileNameText(resolved.native());
}

// Written to a temporary file in the same folder, then renamed over the
// name, so that a reader never sees half a file. Not synced: every file the
// caches hold can be made again, and one a crash left cut short or with
// blocks that never reached the disk fails its check when next read and is
// made again, so no thumbnail waits for the disk.
bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        return false;
    }
    if (::rename(fileNameBytes(file.fileName()).constData(), fileNameBytes(path).constData()) != 0) {
        return false; // the temporary file goes with `file`
    }
    file.setAutoRemove(false);
    return true;
}

// The check every cache file ends with, after the JPEG's end marker where
// decoders stop reading: the first bytes of the SHA-256 of everything before
// it, then a mark.
constexpr char checkMark[] = "pivra-ck";
constexpr qsizetype checkMarkBytes = sizeof checkMark - 1;
constexpr qsizetype checkDigestBytes = 8;
constexpr qsizetype checkBytes = checkDigestBytes + checkMarkBytes;

QByteArray checkDigest(QByteArrayView content)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(content.data(), std::size_t(content.size()), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(digest.data()), checkDigestBytes);
}

QByteArray withCheck(QByteArray content)
{
    const QByteArray digest = checkDigest(content);
    return digest.isEmpty() ? QByteArray() : content.append(digest).append(checkMark, checkMarkBytes);
}

enum class Check { holds, fails, absent };

// Whether the file's own check holds; when it does, `bytes` is cut to what
// it vouches for.
Check checked(QByteArray& bytes)
{
    if (bytes.size() < checkBytes || !bytes.endsWith(QByteArrayView(checkMark, checkMarkBytes))) {
        return Check::absent;
    }
    const QByteArrayView content = QByteArrayView(bytes).first(bytes.size() - checkBytes);
    if (checkDigest(content) != QByteArrayView(bytes).sliced(content.size(), checkDigestBytes)) {
        return Check::fails;
    }
    bytes.truncate(content.size());
    return Check::holds;
}

// The most bytes a cached picture with sides of at most `side` pixels may
// hold: its pixels uncompressed, which no JPEG of it reaches, and room for
// a profile and metadata besides.
std::int64_t mostFileBytes(int side)
{
    constexpr std::int64_t metadataBytes = std::int64_t(1) << 20;
    return std::int64_t(side) * side * 4 + metadataBytes;
}

// The bytes of a cached file; none when it is missing, empty, no regular
// file, or larger than a picture of `mostSide` may be, which is never read.
std::optional<QByteArray> readCacheFile(const QString& path, int mostSide)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file || file->size() <= 0 || file->size() > mostFileBytes(mostSide)) {
        return std::nullopt;
    }
    QByteArray bytes = file->read(0, file->size());
    return bytes.size() == file->size() ? std::optional(std::move(bytes)) : std::nullopt;
}

// What loadCachedImage gives for these bytes, with no side over `mostSide`:
// they are decoded as a JPEG or not at all. A file under a thumbnail's name
// may be anything, and a reader chosen by its content would draw what it
// holds (an SVG's images are read from any path it names, a FIFO's too).
QImage decodeCached(QByteArray bytes, int mostSide)
{
    if (checked(bytes) == Check::fails) {
        return {};
    }
    const JpegPixels decoded = decodeJpegPixels(bytes, mostSide);
    return decoded.damaged ? QImage() : decoded.image;
}

} // namespace

ThumbnailLocations ThumbnailLocations::standard()
{
    return under(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

ThumbnailLocations ThumbnailLocations::under(const QString& dataFolder, const QString& cacheFolder)
{
    return {dataFolder + QStringLiteral("/Pivra/Thumbnails/v2"), cacheFolder + QStringLiteral("/Pivra/Thumbnails"),
            cacheFolder + QStringLiteral("/Pivra/ViewerPreviews"),
            cacheFolder + QStringLiteral("/Pivra/RenderAttempts")};
}

QString ThumbnailLocations::gridFile(const QString& key) const
{
    return fannedOutFile(assetDirectory, key, jpegSuffix);
}

QString ThumbnailLocations::viewerPreviewFile(const MediaItem& item, int pixels) const
{
    const QString name = digestText(item.id() + QLatin1Char(':') + timeText(item.modifiedAt()) + QLatin1Char(':') +
                                    QString::number(pixels));
    return viewerDirectory + QLatin1Char('/') + name + QStringLiteral(".jpg");
}

QString ThumbnailLocations::legacyCacheFile(const MediaItem& item) const
{
    const QString name = digestText(item.id() + QLatin1Char(':') + timeText(item.modifiedAt()) + QLatin1Char(':') +
                                    QString::number(gridPixels));
    return legacyDirectory + QLatin1Char('/') + name + QStringLiteral(".jpg");
}

std::optional<QString> oldPortableFile(const MediaItem& item, const QString& root)
{
    const QString rootPath = resolvedPath(root);
    const QString itemPath = resolvedPath(item.path());
    if (rootPath.isEmpty() || !itemPath.startsWith(rootPath + QLatin1Char('/'))) {
        return std::nullopt;
    }
    const QString relative = itemPath.mid(rootPath.size() + 1);
    const QString name = digestText(QStringLiteral("v1:") + relative + QLatin1Char(':') +
                                    QString::number(item.fileSize()) + QLatin1Char(':') + timeText(item.modifiedAt()) +
                                    QLatin1Char(':') + QString::number(gridPixels));
    return fannedOutFile(root + QStringLiteral("/.pivra/thumbnails/v1"), name, jpegSuffix);
}

bool persist(const QImage& image, const QString& path)
{
    if (image.isNull()) {
        return false;
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(thumbnailJpegQuality);
    if (!writer.write(image)) {
        return false;
    }
    const QByteArray checked = withCheck(std::move(jpeg));
    return !checked.isEmpty() && writeAtomically(path, checked);
}

QImage loadCachedImage(const QString& path)
{
    const std::optional<QByteArray> bytes = readCacheFile(path, viewerPixels);
    return bytes ? decodeCached(*bytes, viewerPixels) : QImage();
}

bool isWholeCachedFile(const QString& path)
{
    std::optional<QByteArray> bytes = readCacheFile(path, viewerPixels);
    if (!bytes) {
        return false;
    }
    QByteArray vouched = *bytes;
    switch (checked(vouched)) {
    case Check::holds:
        return true;
    case Check::fails:
        return false;
    case Check::absent:
        break;
    }
    return !decodeCached(std::move(*bytes), viewerPixels).isNull();
}

QImage adoptThumbnail(const QStringList& candidates, const QString& destination)
{
    for (const QString& candidate : candidates) {
        // Inside a source folder, so anything may lie there under the name.
        const std::optional<QByteArray> bytes = readCacheFile(candidate, gridPixels);
        const QImage image = bytes ? decodeCached(*bytes, gridPixels) : QImage();
        if (!image.isNull()) {
            return writeAtomically(destination, *bytes) ? image : QImage();
        }
    }
    return {};
}

} // namespace pivra
