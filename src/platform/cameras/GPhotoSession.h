#pragma once

#include "platform/cameras/CameraBackend.h"

#include <QHash>
#include <QString>
#include <QTemporaryFile>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

typedef struct _Camera Camera;
typedef struct _GPContext GPContext;

namespace pivra {

// What only the media layer can do with a local copy of a device file: read
// its header.
struct GPhotoFileHelpers {
    // Completes `file` from the header of the copy at `path`, which may hold
    // only the file's first bytes and a movie's index: the pixel size as
    // displayed, the capture date the file records and a video's duration.
    // What the header does not hold stays as it is.
    std::function<void(const QString& path, CameraFileInfo& file)> describe;
};

// Ranged reads from elsewhere than the driver, for tests over a driver that
// has none: up to `length` bytes of `file` at `offset`, none on failure.
using GPhotoRangedRead =
    std::function<std::optional<QByteArray>(const CameraFileInfo& file, std::int64_t offset, std::int64_t length)>;

// One device's libgphoto2 session: opening, listing, reads and thumbnails.
// Only ever used on the device's worker thread.
class GPhotoSession {
public:
    GPhotoSession(QString model, QString port, GPhotoFileHelpers helpers, GPhotoRangedRead rangedReadForTesting = {});
    ~GPhotoSession();

    GPhotoSession(const GPhotoSession&) = delete;
    GPhotoSession& operator=(const GPhotoSession&) = delete;

    // Opens the camera unless it is open.
    std::optional<PivraError> open();
    // The storages the device shows; a phone that is locked or does not yet
    // trust this computer shows none. Drivers of folders report none at all,
    // and count as one.
    int storageCount();

    // The walk of the device's folders, in small steps so that reads can run
    // between them: one folder listed, or one file described from its header
    // (see GPhotoFileHelpers::describe). The device's own sizes are the stored
    // ones and it knows no capture date, so every file is described, once per
    // session while its size and time stay the same.
    void startWalk();
    // True when the walk is over; then walkResult() holds it.
    bool walkStep();
    const CameraCatalog& walkResult() const { return walk_; }

    struct ReadResult {
        std::optional<QByteArray> data;
        std::optional<PivraError> error;
    };
    ReadResult read(const CameraFileInfo& file, std::int64_t offset, std::int64_t length);
    // The device's own thumbnail of the file, at the size the device chooses;
    // none when it has none.
    std::optional<QByteArray> thumbnail(const CameraFileInfo& file);

    enum class Event { none, contentChanged, unsupported };
    // Waits briefly for a device event.
    Event pollEvent();

private:
    struct WholeCopy {
        QString key;
        std::unique_ptr<QTemporaryFile> file;
    };

    bool listFolder(const QString& folder);
    void describe(CameraFileInfo& file);
    // The file's first bytes, and a movie's index where it lies behind them,
    // each at its place in a copy; the whole file where the driver has no
    // ranged reads.
    std::unique_ptr<QTemporaryFile> fetchHeader(const CameraFileInfo& file);
    void addMovieIndex(const CameraFileInfo& file, const QByteArray& head, QTemporaryFile& copy);
    // A ranged read; notes when the driver has none.
    int readRange(const CameraFileInfo& file, std::int64_t offset, std::int64_t length, QByteArray& data);
    // A local copy of the whole file, fetched once and kept for the reads
    // that follow (a stream or an export reads one file many times).
    QTemporaryFile* wholeCopy(const CameraFileInfo& file, int& result);
    std::unique_ptr<QTemporaryFile> fetch(const CameraFileInfo& file, int& result);

    const QString model_;
    const QString port_;
    const GPhotoFileHelpers helpers_;
    const GPhotoRangedRead rangedReadForTesting_;
    GPContext* context_;
    Camera* camera_ = nullptr;
    bool rangedReads_ = true; // until the driver says it has none

    CameraCatalog walk_;
    std::deque<QString> foldersToList_;
    std::size_t foldersListed_ = 0;
    std::deque<std::size_t> undescribed_; // indexes into walk_.files
    // Files described, by folder and name: by the last complete walk, and by
    // the one under way.
    QHash<QString, CameraFileInfo> described_;
    QHash<QString, CameraFileInfo> describing_;

    std::deque<WholeCopy> copies_;
};

} // namespace pivra
