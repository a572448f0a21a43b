#include "media/metadata/MediaMetadata.h"

#include "media/metadata/properties/ImageProperties.h"
#include "media/metadata/MetadataJson.h"
#include "media/video/VideoProperties.h"
#include "platform/folders/FileNameText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>
#include <span>
#include <string_view>

namespace pivra::MediaMetadata {
namespace {

using ExtensionList = std::span<const std::string_view>;

constexpr std::string_view imageExtensions[]{
    "jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "bmp", "webp", "avif",
    "dng", "cr2", "cr3", "nef", "arw", "raf", "orf", "rw2", "pef", "srw",
};

constexpr std::string_view videoExtensions[]{
    "mov", "mp4", "m4v", "avi", "mkv", "webm", "mpg", "mpeg", "3gp", "mts", "m2ts",
};

constexpr std::string_view liveStillExtensions[]{"heic", "heif", "jpg", "jpeg"};

bool lists(ExtensionList list, QStringView extension)
{
    return std::any_of(list.begin(), list.end(), [extension](std::string_view listed) {
        return QLatin1StringView(listed.data(), static_cast<qsizetype>(listed.size())) == extension;
    });
}

bool lists(ExtensionList list, std::string_view extension)
{
    return std::find(list.begin(), list.end(), extension) != list.end();
}

const QString liveVideoExtension = QStringLiteral("mov");

QString lowerExtension(const QString& path) { return QFileInfo(path).suffix().toLower(); }

bool hasMimePrefix(const QMimeType& type, QStringView prefix)
{
    if (type.name().startsWith(prefix)) {
        return true;
    }
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.cbegin(), ancestors.cend(),
                       [prefix](const QString& ancestor) { return ancestor.startsWith(prefix); });
}

// The digits of text[first, first + count), or -1 where one is not a digit.
int digitsAt(QStringView text, qsizetype first, qsizetype count)
{
    int value = 0;
    for (const QChar character : text.mid(first, count)) {
        if (character < u'0' || character > u'9') {
            return -1;
        }
        value = value * 10 + (character.unicode() - u'0');
    }
    return value;
}

// The date of a text in the exact form "yyyy:MM:dd HH:mm:ss" with a valid
// date and a time the zone does not skip; nothing for anything else.
std::optional<QDateTime> exactExifDate(QStringView text)
{
    if (text.size() != 19 || text[4] != u':' || text[7] != u':' || text[10] != u' ' || text[13] != u':'
        || text[16] != u':') {
        return std::nullopt;
    }
    const int year = digitsAt(text, 0, 4);
    if (year < 0) {
        return std::nullopt; // QDate takes negative years, for dates before Christ
    }
    const QDate date(year, digitsAt(text, 5, 2), digitsAt(text, 8, 2));
    const QTime time(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2));
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    QDateTime local(date, time);
    if (!local.isValid() || local.date() != date || local.time() != time) {
        return std::nullopt; // in a gap the clocks skipped: the parser knows what to make of it
    }
    return local;
}

} // namespace

std::optional<Timestamp> exifDate(const QString& text)
{
    // Qt's format parser turns the fields into local time several times while
    // it checks them, each under a process-wide lock that the inspections of
    // a scan then queue on; the usual exact text is read here and turned
    // into local time once.
    std::optional<QDateTime> date = exactExifDate(text);
    if (!date) {
        date = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    }
    if (!date->isValid()) {
        return std::nullopt;
    }
    return date->toSecsSinceEpoch();
}

namespace {

std::optional<double> numberEntry(const QVariantMap& map, const QString& key)
{
    const QVariant value = map.value(key);
    switch (value.typeId()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Double:
        return value.toDouble();
    default:
        return std::nullopt;
    }
}

std::optional<QString> stringEntry(const QVariantMap& map, const QString& key)
{
    const QVariant value = map.value(key);
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QString> livePhotoIdentifierIn(const QVariantMap& properties)
{
    const QVariant group = properties.value(QStringLiteral("{MakerApple}"));
    if (group.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    std::optional<QString> identifier = stringEntry(group.toMap(), QStringLiteral("17"));
    if (identifier && identifier->isEmpty()) {
        return std::nullopt;
    }
    return identifier;
}

int dimension(std::optional<double> value)
{
    return value && *value >= 0 && *value < INT32_MAX ? int(*value) : 0;
}

MediaItem commonItem(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind)
{
    MediaItem item;
    item.setID(MediaItem::makeID(sourceID, path));
    item.setSourceID(sourceID);
    item.setPath(path);
    item.setName(readableFileText(QFileInfo(path).fileName()));
    item.setKind(kind);
    item.setModifiedAt(values.contentModificationDate.value_or(distantPast));
    item.setCaptureDate(values.creationDate.value_or(item.modifiedAt()));
    item.setDateOrigin(values.creationDate ? QStringLiteral("File creation") : QStringLiteral("File modification"));
    item.setFileSize(values.fileSize.value_or(0));
    return item;
}

void addImageFacts(MediaItem& item, const MediaFile* opened)
{
    const std::optional<QVariantMap> properties
        = opened ? readImageProperties(item.path(), *opened) : readImageProperties(item.path());
    if (!properties) {
        return;
    }
    item.setWidth(dimension(numberEntry(*properties, QStringLiteral("PixelWidth"))));
    item.setHeight(dimension(numberEntry(*properties, QStringLiteral("PixelHeight"))));
    const std::optional<double> orientation = numberEntry(*properties, QStringLiteral("Orientation"));
    if (orientation && *orientation >= 5 && *orientation <= 8) {
        const int width = item.width();
        item.setWidth(item.height());
        item.setHeight(width);
    }
    const QVariant exif = properties->value(QStringLiteral("{Exif}"));
    if (exif.typeId() == QMetaType::QVariantMap) {
        const QVariantMap exifGroup = exif.toMap();
        if (const auto text = stringEntry(exifGroup, QStringLiteral("DateTimeOriginal"))) {
            if (const auto date = exifDate(*text)) {
                item.setCaptureDate(*date);
                item.setDateOrigin(QStringLiteral("EXIF capture"));
            }
        }
        item.setLens(stringEntry(exifGroup, QStringLiteral("LensModel")));
    }
    const QVariant tiff = properties->value(QStringLiteral("{TIFF}"));
    if (tiff.typeId() == QMetaType::QVariantMap) {
        item.setCamera(stringEntry(tiff.toMap(), QStringLiteral("Model")));
    }
    item.setLiveIdentifier(livePhotoIdentifierIn(*properties));
    // Last: every text set after it would copy the item's texts, this long one among them.
    item.setMetadataJSON(propertiesJSON(*properties));
}

void addVideoFacts(MediaItem& item)
{
    const std::optional<VideoProperties> video = readVideoProperties(item.path());
    if (!video) {
        return;
    }
    item.setMetadataJSON(flatJSON(video->commonMetadata));
    item.setDuration(video->duration);
    if (video->creationDate) {
        item.setCaptureDate(*video->creationDate);
        item.setDateOrigin(QStringLiteral("Video metadata"));
    }
    item.setWidth(video->width);
    item.setHeight(video->height);
    if (lowerExtension(item.path()) == liveVideoExtension) {
        item.setLiveIdentifier(video->contentIdentifier);
    }
}

MediaItem inspectWith(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind,
                      const MediaFile* opened)
{
    MediaItem item = commonItem(path, sourceID, values, kind);
    try {
        if (kind == MediaKind::image) {
            addImageFacts(item, opened);
        } else {
            addVideoFacts(item);
        }
    } catch (...) {
        // The readers catch their libraries' errors; this is the last line
        // against anything else (an allocation failure on a hostile size).
        return commonItem(path, sourceID, values, kind);
    }
    return item;
}

} // namespace

std::optional<MediaKind> kind(const QString& path)
{
    const QString extension = lowerExtension(path);
    if (lists(imageExtensions, extension)) {
        return MediaKind::image;
    }
    if (lists(videoExtensions, extension)) {
        return MediaKind::video;
    }
    if (extension.isEmpty()) {
        return std::nullopt;
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) {
        return std::nullopt;
    }
    if (hasMimePrefix(type, u"image/")) {
        return MediaKind::image;
    }
    if (hasMimePrefix(type, u"video/")) {
        return MediaKind::video;
    }
    return std::nullopt;
}

std::optional<MediaKind> kindOfExtension(std::string_view extension)
{
    if (lists(imageExtensions, extension)) {
        return MediaKind::image;
    }
    if (lists(videoExtensions, extension)) {
        return MediaKind::video;
    }
    return std::nullopt;
}

MediaItem inspect(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind)
{
    return inspectWith(path, sourceID, values, kind, nullptr);
}

MediaItem inspectOpened(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind,
                        const MediaFile& opened)
{
    return inspectWith(path, sourceID, values, kind, &opened);
}

std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind)
{
    const QString extension = lowerExtension(path);
    try {
        if (kind == MediaKind::video) {
            return extension == liveVideoExtension ? readContentIdentifier(path) : std::nullopt;
        }
        if (!lists(liveStillExtensions, extension)) {
            return std::nullopt;
        }
        const std::optional<QVariantMap> properties = readImageProperties(path);
        return properties ? livePhotoIdentifierIn(*properties) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<QString> imageMetadataJSON(const QString& path)
{
    try {
        const std::optional<QVariantMap> properties = readImageProperties(path);
        return properties ? propertiesJSON(*properties) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace pivra::MediaMetadata
