#pragma once

#include "catalog/model/MediaItem.h"
#include "media/camera/CameraVideoStream.h"
#include "media/video/PreviewClip.h"
#include "media/thumbnails/cache/ThumbnailCacheStats.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

namespace pivra {

// Writes the preview clip of the video at a source path into a destination
// file, throwing on failure (encodePreviewClip).
using PreviewClipEncoder = std::function<void(const QString& source, const QString& destination)>;

// The short silent clips the grid plays while the pointer rests on a video,
// made ahead of time and kept on disk under the video's media key:
// <directory>/<first two>/<key>.mp4.
//
// A clip file exists only once a complete encoding has been moved into place:
// each one is written under a unique temporary name in the clip's folder and
// renamed in one step, so readers never see half a clip and the file work
// needs no lock. The lock guards only the keys that failed this run, which are
// never tried again before deleteAll() or the next start.
//
// Every operation skips or refuses an absent or invalid key without touching
// the disk, and swallows disk errors: a file that cannot be read counts as no
// clip. Any thread; several makePreview calls may run at once.
class VideoPreviewStore {
public:
    // The program's store, under the user's data folder. Created on first use
    // and never destroyed.
    static VideoPreviewStore& shared();

    // The encoder of the clip of a file: encodePreviewClip.
    static void encodeFile(const QString& source, const QString& destination);

    // For tests: clips under `directory`, made by `encode`; device videos
    // read through `deviceReader`, without which they get no clip.
    explicit VideoPreviewStore(QString directory, PreviewClipEncoder encode = encodeFile,
                               CameraVideoStream::Reader deviceReader = {});

    VideoPreviewStore(const VideoPreviewStore&) = delete;
    VideoPreviewStore& operator=(const VideoPreviewStore&) = delete;

    // Created only when the first clip is written.
    const QString& directory() const { return directory_; }

    // The setting that switches clips on and off: "pivra.videoPreviews.enabled".
    static const QString enabledKey;

    // The setting, read each time; true unless it holds false.
    bool isEnabled() const;

    // The clip to play for a video, when clips are enabled and it exists.
    // One existence test: the grid asks on the GUI thread while hovering.
    std::optional<QString> preview(const MediaItem& item) const;

    // Whether a clip should be made: a valid key that has no clip and has not
    // failed this run. Neither the setting nor the kind is looked at; the
    // caller passes videos only and checks the setting itself.
    bool needsPreview(const MediaItem& item) const;

    // Makes the item's clip unless it exists: true when it exists afterwards.
    // Blocking work on the calling thread, seconds for a file: callers run it
    // on a pool thread (runOnPool), never the GUI thread, which answers the
    // reads of device videos. A failure leaves no file behind and marks the
    // key as failed.
    bool makePreview(const MediaItem& item);

    // Storage upkeep: the allocated sizes of the keys' clips; removing them
    // keeps their failure marks; removing everything clears the marks too.
    StorageMeasure footprint(const QStringList& keys) const;
    void deleteClips(const QStringList& keys);
    void deleteAll();

    // Removes what encodings a run of the program did not live through (a
    // kill mid-clip) left: the UUID-named temporary files of the clip folders
    // last written before `before`, so that no encoding started since loses
    // its file. Regular files of this user's only, judged without following
    // links. Blocking disk work; answers how many went.
    int removeTemporariesOlderThan(const QDateTime& before) const;
    // At start, on a pool thread: those older than this moment.
    void removeEarlierTemporaries() const;

    // Where the key's clip lies, whether or not it exists.
    QString clipFile(const QString& key) const;

private:
    bool writeClip(const std::function<void(const QString& temporary)>& encode, const QString& clip) const;
    void markFailed(const QString& key);

    const QString directory_;
    const PreviewClipEncoder encode_;
    const CameraVideoStream::Reader deviceReader_;

    mutable std::mutex lock_;
    QSet<QString> failedKeys_;
};

} // namespace pivra
