#pragma once

#include "platform/cameras/CameraBackend.h"
#include "platform/cameras/CameraDescriptions.h"
#include "platform/cameras/MovieIndex.h"

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

// What only the media layer can do with a device file's bytes: read its
// header.
struct GPhotoFileHelpers {
    // Completes `file` from what `read` gives of it in ranges: the pixel size
    // as displayed, the orientation and capture date the file records and a
    // video's duration. What cannot be found stays as it is. False when the
    // device did not give the bytes.
    std::function<bool(CameraFileInfo& file, const IsoByteReader& read)> describe;
};

// Ranged reads from elsewhere than the driver, for tests over a driver that
// has none: up to `length` bytes of `file` at `offset`, none on failure.
using GPhotoRangedRead =
    std::function<std::optional<QByteArray>(const CameraFileInfo& file, std::int64_t offset, std::int64_t length)>;

// One device's libgphoto2 session: opening, listing, reads and thumbnails.
// Only ever used on the device's worker thread.
class GPhotoSession {
public:
    // `descriptionFile` keeps the files' descriptions across connections
    // (CameraDescriptions); empty: for this session only.
    GPhotoSession(QString model, QString port, GPhotoFileHelpers helpers, QString descriptionFile,
                  GPhotoRangedRead rangedReadForTesting = {});
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
    // between them, one folder listed at a time. It reads no file: a file
    // described before, by this connection or an earlier one, is completed
    // from its description; the others wait for describeNext().
    void startWalk();
    // True when the walk is over; then walkResult() holds it.
    bool walkStep();
    const CameraCatalog& walkResult() const { return walk_; }

    struct Described {
        std::size_t index = 0; // in walkResult().files
        CameraFileInfo file;
    };
    // Describes the smallest file of the last walk not yet described, from
    // its header (GPhotoFileHelpers::describe), and keeps the description.
    // None once every one is; the descriptions are written out then.
    std::optional<Described> describeNext();

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
    std::deque<std::size_t> undescribed_; // indexes into walk_.files, smallest file first
    CameraDescriptions descriptions_;

    std::deque<WholeCopy> copies_;
};

} // namespace pivra
