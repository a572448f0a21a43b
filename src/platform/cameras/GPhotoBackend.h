#pragma once

#include "platform/cameras/CameraBackend.h"
#include "platform/cameras/DeviceWorker.h"
#include "platform/cameras/GPhotoLibrary.h"
#include "platform/cameras/GPhotoSession.h"

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
// driver for, every two seconds; a device is known by its USB serial number.
// Each device has its own worker thread, since a libgphoto2 camera must only
// be used from one thread; reads go before thumbnails, thumbnails before the
// listing and the polling. The listing walks every folder and then reads the
// pixel size of each file the device gives none for from the file's header,
// so that the catalog never holds an item without one.
//
// A session that shows no storage is a locked phone (or one that does not
// trust this computer yet): it is reported as locked and its storage polled
// until it appears, which reports it unlocked.
//
// Drivers without ranged reads get one whole copy of the file in a temporary
// file, from which the ranges are served; drivers without thumbnails get one
// drawn from a copy of the file.
//
// Every request completes: a request for a device that is gone, or that goes
// while the request waits, completes with cameraDisconnectedError().
class GPhotoBackend final : public CameraBackend {
public:
    struct Options {
        bool discoverUsb = true;
        GPhotoFileHelpers helpers;
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
    void read(CameraDeviceId device, const CameraFileInfo& file, std::int64_t offset, std::int64_t length,
              CameraReadPurpose purpose, CameraReadCompletion completion) override;
    void requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int maxPixels,
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
    // Queues a request of any thread; false when the device is gone.
    bool enqueue(CameraDeviceId id, DeviceWorker::Priority priority,
                 std::function<void(GPhotoSession& session, bool gone)> run, const std::function<void()>& abandon);

    void walk(Device& device);
    void walkStep(Device& device, bool start);
    void finishWalk(Device& device, const CameraCatalog& catalog);
    void poll();
    void detected(const std::vector<gphoto::DetectedCamera>& cameras);

    const Options options_;
    CameraBackendListener* listener_ = nullptr;
    const std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true); // posts check it
    QTimer pollTimer_;
    bool detecting_ = false;
    CameraDeviceId nextID_ = 1;

    mutable std::mutex mutex_; // guards the table; requests reach it from any thread
    std::unordered_map<CameraDeviceId, std::unique_ptr<Device>> devices_;

    std::unique_ptr<detail::SerialThread> discovery_; // last: joined first
};

} // namespace pivra
