#pragma once

#include "catalog/model/MediaItem.h"
#include "platform/cameras/CameraBackend.h"
#include "platform/PivraError.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace pivra {

// A file on a connected device, as the item paths of its source reach it.
struct CameraFileEntry {
    CameraDeviceId device = 0;
    CameraFileInfo file;
};

// Shared between a copy out of a device and whoever waits for it: the bytes
// written so far, and a request to stop. Any thread.
struct CameraExportProgress {
    std::atomic<std::int64_t> copied{0};
    std::atomic<bool> cancelled{false};
};

struct AvailableCameraDevice {
    QString id; // the device key
    QString name;
};

// The one way the program sees phones and cameras attached over USB. It keeps
// the devices present by device key (the persistent id, else the id of the
// connection), binds device keys to library sources, opens a session on each
// bound device and, once the device's listing is complete, hands the source's
// whole catalog to the store as items with camera item paths. Every reader
// of a device file (streamed video, thumbnails, export) goes through files().
//
// A listing is published only when it is complete, error-free and not empty:
// the store deletes whatever a published catalog lacks, with its favourites,
// albums and rotations, so a locked phone (no storage) or a walk cut short
// by an unplug must publish nothing. A device without storage counts as
// locked.
//
// GUI thread only, like the callbacks it makes, except read(), which a video
// stream calls from its own thread for every piece. Completions of read,
// requestPreview, readMovieHead and exportFile run on whatever thread the
// device layer completes on; callers move the result to their own thread.
class CameraSourceManager final : private CameraBackendListener {
public:
    using ReadCompletion = CameraReadCompletion;
    using PreviewCompletion = CameraThumbnailCompletion;
    using ExportCompletion = std::function<void(std::optional<PivraError> error)>;

    // The program's manager over the USB devices libgphoto2 finds, made on
    // first use. GUI thread only.
    static CameraSourceManager& shared();
    // The program's manager when shared() has made it; none before. Any
    // thread.
    static CameraSourceManager* sharedIfMade();

    // Starts browsing at once; the backend must outlive the manager.
    explicit CameraSourceManager(CameraBackend& backend);
    ~CameraSourceManager();

    CameraSourceManager(const CameraSourceManager&) = delete;
    CameraSourceManager& operator=(const CameraSourceManager&) = delete;

    // Set once by the store. Within one event: devices changed comes before
    // the session request on arrival, a lock is cleared before its catalog is
    // handed over, and before devices changed on removal.
    std::function<void()> onDevicesChanged;
    std::function<void(const QUuid& sourceID, const std::vector<MediaItem>& items)> onCatalogReady;
    std::function<void(const QUuid& sourceID, const QString& message)> onError; // not for locked devices
    std::function<void(const QUuid& sourceID, bool locked)> onLockChanged;

    // Binds the device key to the source (replacing its earlier binding) and
    // opens the device when it is present.
    void watch(const QString& deviceID, const QUuid& sourceID);
    // Forgets the source's bindings and files; the device, its session and
    // the lock flag stay, and no callback is made.
    void unwatch(const QUuid& sourceID);
    // Lists the source's device again and publishes the new listing when the
    // device has an open session; otherwise does nothing, and never asks for
    // a session.
    void refresh(const QUuid& sourceID);

    // The devices present, by name; "iPhone" for a device without one.
    std::vector<AvailableCameraDevice> availableDevices() const;
    const QHash<QString, CameraFileEntry>& files() const { return files_; }

    // The device's thumbnail of the file at `path`; none when the path is
    // unknown or the device has none. `demand` places the request among the
    // device's waiting previews and may withdraw it (CameraPreviewDemand).
    void requestPreview(const QString& path, int pixels, PreviewCompletion completion,
                        const CameraPreviewDemand& demand = {});
    // The first few MiB of the video at `path` made into a small movie of its
    // own (readMovieHead() in MovieHead.h), a preview request like the one
    // above; none when the path is unknown or the bytes cannot be read.
    void readMovieHead(const QString& path, const CameraPreviewDemand& demand, PreviewCompletion completion);
    // Bytes of the file at `path`, the device's answer passed on as it is. An
    // unknown path gives "Pivra.CameraStream" code 1, also for a path whose
    // device went or whose source was unbound meanwhile. Any thread: the
    // device is asked from there, never through the GUI thread.
    void read(const QString& path, std::int64_t offset, std::int64_t length, ReadCompletion completion);
    // Copies the file at `path` into the local file `destination` in chunks;
    // no error means the destination holds the whole file. On failure nothing
    // is left at the destination. The completion is called exactly once.
    // `progress`, when given, counts the bytes written, and a cancel set on
    // it ends the copy before its next read with cameraExportCancelledError().
    void exportFile(const QString& path, const QString& destination, ExportCompletion completion,
                    std::shared_ptr<CameraExportProgress> progress = nullptr);

private:
    void deviceAdded(const CameraDevice& device) override;
    void deviceRemoved(const CameraDevice& device) override;
    void sessionOpened(const CameraDevice& device, const std::optional<PivraError>& error) override;
    void catalogChanged(const CameraDevice& device) override;
    void deviceLocked(const CameraDevice& device) override;
    void deviceUnlocked(const CameraDevice& device) override;

    std::optional<QUuid> boundSource(const CameraDevice& device) const;
    void publish(const CameraDevice& device);
    void setLocked(const QUuid& sourceID, bool locked);
    void removeFiles(const QUuid& sourceID);
    // files_ as it now is, for read() on any thread.
    void shareFiles();

    CameraBackend& backend_;
    QHash<QString, CameraDevice> devices_;
    QHash<QString, QUuid> sourceIDs_;
    QHash<QString, CameraFileEntry> files_;
    mutable std::mutex readableMutex_;
    QHash<QString, CameraFileEntry> readable_; // a copy of files_, guarded by readableMutex_
    QSet<QUuid> lockedSourceIDs_;
};

// What a read of a path no connected device holds fails with.
PivraError cameraFileUnavailableError();
// What a copy stopped through its progress fails with.
PivraError cameraExportCancelledError();

// The key a device is known by: its persistent id, else its connection id;
// none for a device with neither, which every operation ignores.
std::optional<QString> cameraDeviceKey(const CameraDevice& device);

} // namespace pivra
