#pragma once

#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/cameras/CameraBackend.h"
#include "platform/cameras/DeviceWorker.h"
#include "platform/cameras/GPhotoLibrary.h"
#include "platform/cameras/GPhotoSession.h"
#include "platform/cameras/UsbHotplugMonitor.h"

#include <QTimer>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace pivra {

namespace detail {
class SerialThread;
}

// The device layer over libgphoto2: cameras and phones on USB (PTP).
//
// Devices are found by asking libgphoto2 which attached USB devices it has a
// driver for, once at start and whenever a USB device may have arrived or
// left (see UsbHotplugMonitor); a device is known by its USB serial number. A
// look that fails changes nothing: only a look that succeeds and misses a
// device counts as its unplugging.
// Each device has its own worker thread, since a libgphoto2 camera must only
// be used from one thread; reads go before thumbnails, thumbnails before the
// listing and the polling. The listing walks every folder and is announced
// at once, with what the device says of each file (name, size, time) and
// what an earlier look at its header said while it is unchanged; then each
// new file is described from its header (its displayed size, orientation,
// recorded capture date, a video's duration) in the background, the smallest
// first, and the listing announced again as descriptions come in, at most
// every few seconds. Descriptions are kept per device (by its serial) in
// `descriptionFolder`, so a device plugged in again has only its new files
// read.
//
// A session that shows no storage is a locked phone (or one that does not
// trust this computer yet): it is reported as locked and its storage polled
// until it appears, which reports it unlocked.
//
// Drivers without ranged reads get one whole copy of the file in a temporary
// file, from which the ranges are served. Thumbnails are the device's own;
// among waiting ones a view's newest goes first, and one withdrawn while it
// waits is never asked of the device.
//
// Every request completes: a request for a device that is gone, or that goes
// while the request waits, completes with cameraDisconnectedError(). An
// unplugged device's worker is let go on a thread of its own, since it ends
// only once the job it is running has.
class GPhotoBackend final : public CameraBackend {
public:
    struct Options {
        bool discoverUsb = true;
        GPhotoFileHelpers helpers;
        GPhotoRangedRead rangedReadForTesting; // see GPhotoSession
        QString descriptionFolder;             // empty: descriptions last one connection
        UsbHotplugMonitor::Options hotplug;
        // For tests: stands in for libgphoto2's look at the USB bus, which
        // needs one; none is a look that failed.
        std::function<std::optional<std::vector<gphoto::DetectedCamera>>()> detectUsbForTesting;
    };

    explicit GPhotoBackend(Options options);
    ~GPhotoBackend() override;

    GPhotoBackend(const GPhotoBackend&) = delete;
    GPhotoBackend& operator=(const GPhotoBackend&) = delete;

    // Seams for tests: a device that USB discovery cannot find, such as a
    // folder through the "Directory Browse" driver on port "disk:<folder>",
    // and its removal.
    CameraDeviceId addDeviceForTesting(const QString& model, const QString& port, const QString& persistentID,
                                       std::optional<QString> name);
    void removeDeviceForTesting(CameraDeviceId device);

    // CameraBackend
    void setListener(CameraBackendListener* listener) override;
    bool hasOpenSession(CameraDeviceId device) const override;
    void requestOpenSession(CameraDeviceId device) override;
    CameraCatalog catalog(CameraDeviceId device) const override;
    void refreshCatalog(CameraDeviceId device) override;
    void read(CameraDeviceId device, const CameraFileInfo& file, std::int64_t offset, std::int64_t length,
              CameraReadPurpose purpose, CameraReadCompletion completion) override;
    void requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int maxPixels,
                          const CameraPreviewDemand& demand, CameraThumbnailCompletion completion) override;
    void readMovieHead(CameraDeviceId device, const CameraFileInfo& file, const CameraPreviewDemand& demand,
                       CameraThumbnailCompletion completion) override;

private:
    struct Device;
    // What a listing job hands back to the GUI thread.
    using Continuation = std::function<void(Device&)>;

    CameraDeviceId add(const QString& model, const QString& port, const QString& persistentID,
                       std::optional<QString> name);
    void remove(CameraDeviceId id);
    Device* find(CameraDeviceId id) const;
    bool findPort(const QString& port) const;
    // Runs `work` on the device's worker at listing priority, and what it
    // returns on the GUI thread, if the device is still there then.
    void onWorker(Device& device, std::function<Continuation(GPhotoSession&)> work);
    // Queues a request of any thread, placed by `demand` among the others of
    // its priority; false when the device is gone.
    bool enqueue(CameraDeviceId id, DeviceWorker::Priority priority,
                 std::function<void(GPhotoSession& session, bool gone)> run, const std::function<void()>& abandon,
                 const CameraPreviewDemand& demand = {});

    void walk(Device& device);
    void walkStep(Device& device, bool start);
    void finishWalk(Device& device, const CameraCatalog& catalog);
    void describeNext(Device& device);
    void described(Device& device, const std::optional<GPhotoSession::Described>& file);
    void poll();
    void detect();
    void detected(const std::optional<std::vector<gphoto::DetectedCamera>>& cameras);

    const Options options_;
    CameraBackendListener* listener_ = nullptr;
    const std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true); // posts check it
    QTimer pollTimer_; // runs while there are devices
    std::unique_ptr<UsbHotplugMonitor> hotplug_;
    QTimer detectRetry_;
    bool detecting_ = false;
    bool detectAgain_ = false; // a change came while the bus was being looked at
    CameraDeviceId nextID_ = 1;

    mutable std::mutex mutex_; // guards the table; requests reach it from any thread
    std::unordered_map<CameraDeviceId, std::unique_ptr<Device>> devices_;
    BackgroundReleaser unplugged_;

    std::unique_ptr<detail::SerialThread> discovery_; // last: joined first
};

} // namespace pivra
