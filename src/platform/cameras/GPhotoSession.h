#pragma once

#include "platform/cameras/CameraBackend.h"

#include <QSize>
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
// its header, and draw it.
struct GPhotoFileHelpers {
    // The pixel size the header of the copy at `path` gives (the copy may be
    // only the file's first bytes); none when it holds no readable header.
    std::function<std::optional<QSize>(const QString& path, const CameraFileInfo& file)> pixelSize;
    // An encoded image (JPEG) of the whole file copied at `path`, its longer
    // side at most `maxPixels`; none when the file cannot be drawn.
    std::function<std::optional<QByteArray>(const QString& path, const CameraFileInfo& file, int maxPixels)> thumbnail;
};

// One device's libgphoto2 session: opening, listing, reads and thumbnails.
// Only ever used on the device's worker thread.
class GPhotoSession {
public:
    GPhotoSession(QString model, QString port, GPhotoFileHelpers helpers);
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
    // between them: one folder listed, or one file's missing pixel size read
    // from its header.
    void startWalk();
    // True when the walk is over; then walkResult() holds it.
    bool walkStep();
    const CameraCatalog& walkResult() const { return walk_; }

    struct ReadResult {
        std::optional<QByteArray> data;
        std::optional<PivraError> error;
    };
    ReadResult read(const CameraFileInfo& file, std::int64_t offset, std::int64_t length);
    std::optional<QByteArray> thumbnail(const CameraFileInfo& file, int maxPixels);

    enum class Event { none, contentChanged, unsupported };
    // Waits briefly for a device event.
    Event pollEvent();

private:
    struct WholeCopy {
        QString key;
        std::unique_ptr<QTemporaryFile> file;
    };

    bool listFolder(const QString& folder);
    void readPixelSize(CameraFileInfo& file);
    // A ranged read; notes when the driver has none.
    int readRange(const CameraFileInfo& file, std::int64_t offset, std::int64_t length, QByteArray& data);
    // A local copy of the whole file, fetched once and kept for the reads
    // that follow (a stream or an export reads one file many times).
    QTemporaryFile* wholeCopy(const CameraFileInfo& file, int& result);
    std::unique_ptr<QTemporaryFile> fetch(const CameraFileInfo& file, std::optional<std::int64_t> limit, int& result);

    const QString model_;
    const QString port_;
    const GPhotoFileHelpers helpers_;
    GPContext* context_;
    Camera* camera_ = nullptr;
    bool rangedReads_ = true; // until the driver says it has none

    CameraCatalog walk_;
    std::deque<QString> foldersToList_;
    std::size_t foldersListed_ = 0;
    std::size_t nextHeader_ = 0;

    std::deque<WholeCopy> copies_;
};

} // namespace pivra
