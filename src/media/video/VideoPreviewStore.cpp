#include "media/video/VideoPreviewStore.h"

#include "catalog/model/Uuid.h"
#include "media/camera/CameraItemPaths.h"
#include "media/camera/CameraVideoInput.h"
#include "media/thumbnails/MediaKey.h"
#include "platform/AppSettings.h"
#include "platform/folders/PrivateFolder.h"
#include "platform/runtime/threads/Pool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <filesystem>

namespace pivra {

const QString VideoPreviewStore::enabledKey = QStringLiteral("pivra.videoPreviews.enabled");

namespace {

constexpr QLatin1StringView clipSuffix(".mp4");

std::optional<QString> validKey(const MediaItem& item)
{
    std::optional<QString> key = item.thumbnailKey();
    return key && isValidKey(*key) ? key : std::nullopt;
}

// Replaces a clip already there: another call for the same key may have moved
// its own encoding into place first, and both are complete.
bool moveIntoPlace(const QString& from, const QString& to)
{
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), error);
    return !error;
}

} // namespace

VideoPreviewStore& VideoPreviewStore::shared()
{
    // Never destroyed: encodings may still be running on pool threads when
    // static destructors run.
    static VideoPreviewStore* const store =
        new VideoPreviewStore(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                  QStringLiteral("/Pivra/VideoPreviews/v1"),
                              encodeFile, CameraVideoStream::managerReader());
    return *store;
}

void VideoPreviewStore::encodeFile(const QString& source, const QString& destination)
{
    encodePreviewClip(source, destination);
}

VideoPreviewStore::VideoPreviewStore(QString directory, PreviewClipEncoder encode,
                                     CameraVideoStream::Reader deviceReader)
    : directory_(std::move(directory))
    , encode_(std::move(encode))
    , deviceReader_(std::move(deviceReader))
{
}

bool VideoPreviewStore::isEnabled() const
{
    return AppSettings().flag(enabledKey, true);
}

std::optional<QString> VideoPreviewStore::preview(const MediaItem& item) const
{
    const std::optional<QString> key = validKey(item);
    if (!key || item.kind() != MediaKind::video || !isEnabled()) {
        return std::nullopt;
    }
    QString clip = clipFile(*key);
    return QFileInfo::exists(clip) ? std::optional(std::move(clip)) : std::nullopt;
}

bool VideoPreviewStore::needsPreview(const MediaItem& item) const
{
    const std::optional<QString> key = validKey(item);
    if (!key) {
        return false;
    }
    {
        std::lock_guard guard(lock_);
        if (failedKeys_.contains(*key)) {
            return false;
        }
    }
    return !QFileInfo::exists(clipFile(*key));
}

bool VideoPreviewStore::makePreview(const MediaItem& item)
{
    const std::optional<QString> key = validKey(item);
    if (!key) {
        return false;
    }
    const QString clip = clipFile(*key);
    if (QFileInfo::exists(clip)) {
        return true;
    }
    bool written = false;
    if (isCameraItem(item)) {
        if (!deviceReader_) {
            // Nothing to read the device with: no clip, and not marked failed.
            return false;
        }
        // Its end invalidates the stream, whatever the encoding came to.
        CameraVideoStream stream(item, deviceReader_);
        written = writeClip(
            [&](const QString& temporary) {
                encodePreviewClip(openCameraVideoInput(stream, item.name()), temporary);
            },
            clip);
    } else {
        written = writeClip([&](const QString& temporary) { encode_(item.path(), temporary); }, clip);
    }
    if (written) {
        return true;
    }
    markFailed(*key);
    return false;
}

bool VideoPreviewStore::writeClip(const std::function<void(const QString& temporary)>& encode,
                                  const QString& clip) const
{
    const QString folder = QFileInfo(clip).path();
    const QString temporary = folder + QLatin1Char('/') + uuidString(QUuid::createUuid()) + clipSuffix;
    bool written = false;
    try {
        if (QDir().mkpath(folder)) {
            encode(temporary);
            written = moveIntoPlace(temporary, clip);
        }
    } catch (...) {
        // Whatever the encoder threw (its VideoError, or memory), this clip failed.
    }
    if (!written) {
        QFile::remove(temporary);
    }
    return written;
}

void VideoPreviewStore::markFailed(const QString& key)
{
    std::lock_guard guard(lock_);
    failedKeys_.insert(key);
}

StorageMeasure VideoPreviewStore::footprint(const QStringList& keys) const
{
    return pivra::footprint(keys, [this](const QString& key) { return clipFile(key); });
}

void VideoPreviewStore::deleteClips(const QStringList& keys)
{
    for (const QString& key : keys) {
        if (isValidKey(key)) {
            QFile::remove(clipFile(key));
        }
    }
}

int VideoPreviewStore::removeTemporariesOlderThan(const QDateTime& before) const
{
    const auto leftBehind = [&before](const QString& name, const struct stat& status) {
        return isFileWrittenBefore(status, before) && isUuidName(name, clipSuffix);
    };
    int removed = 0;
    for (const QFileInfo& folder :
         QDir(directory_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden)) {
        removed += removeOwnEntries(folder.filePath(), leftBehind);
    }
    return removed;
}

void VideoPreviewStore::removeEarlierTemporaries() const
{
    detail::startOnPool(PoolPriority::utility, [this, started = QDateTime::currentDateTime()] {
        removeTemporariesOlderThan(started);
    });
}

void VideoPreviewStore::deleteAll()
{
    QDir(directory_).removeRecursively();
    std::lock_guard guard(lock_);
    failedKeys_.clear();
}

QString VideoPreviewStore::clipFile(const QString& key) const
{
    return fannedOutFile(directory_, key, clipSuffix);
}

} // namespace pivra
