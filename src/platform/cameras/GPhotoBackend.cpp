#include "platform/cameras/GPhotoBackend.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/cameras/GPhotoLibrary.h"
#include "platform/runtime/SerialThread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <gphoto2/gphoto2-context.h>

#include <algorithm>

namespace pivra {
namespace {

constexpr int pollIntervalMs = 2000;

PivraError lockedError()
{
    return {QStringLiteral("Pivra.Camera"), cameraLockedErrorCode,
            QStringLiteral("The device is locked. Unlock it and trust this computer.")};
}

// Queued on the GUI thread, counted as outstanding work so that tests can
// wait for a device's answers; dropped when the backend is gone.
void postToMain(const std::weak_ptr<const bool>& alive, std::function<void()> then)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, then = std::move(then)] {
            detail::workDelivered();
            if (!alive.expired()) {
                then();
            }
        },
        Qt::QueuedConnection);
}

} // namespace

struct GPhotoBackend::Device {
    Device(CameraDevice info, const QString& model, const QString& port, const GPhotoFileHelpers& helpers)
        : info(std::move(info)), port(port), session(std::make_unique<GPhotoSession>(model, port, helpers)),
          worker([this] { session.reset(); }) // the camera is closed on the thread that used it
    {
    }

    const CameraDevice info;
    const QString port;
    std::unique_ptr<GPhotoSession> session; // worker only
    DeviceWorker worker;                    // after the session, which it closes

    // GUI thread only.
    bool sessionOpen = false;
    bool locked = false;
    bool walking = false;
    bool walkAgain = false;
    bool busy = false; // a poll is queued
    bool eventsUnsupported = false;
    CameraCatalog catalog;
};

GPhotoBackend::GPhotoBackend(Options options)
    : options_(std::move(options)), discovery_(std::make_unique<detail::SerialThread>([] {}, [] {}))
{
    pollTimer_.setInterval(pollIntervalMs);
    QObject::connect(&pollTimer_, &QTimer::timeout, [this] { poll(); });
}

GPhotoBackend::~GPhotoBackend()
{
    pollTimer_.stop();
    discovery_.reset();
    std::unordered_map<CameraDeviceId, std::unique_ptr<Device>> devices;
    {
        const std::lock_guard lock(mutex_);
        devices.swap(devices_);
    }
    // Each device's destructor abandons what waits and joins its worker.
}

CameraDeviceId GPhotoBackend::addDeviceForTesting(const QString& model, const QString& port,
                                                  const QString& persistentID, std::optional<QString> name)
{
    return add(model, port, persistentID, std::move(name));
}

void GPhotoBackend::removeDeviceForTesting(CameraDeviceId device) { remove(device); }

void GPhotoBackend::setListener(CameraBackendListener* listener)
{
    listener_ = listener;
    if (listener_ == nullptr) {
        pollTimer_.stop();
        return;
    }
    std::vector<CameraDevice> present;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [id, device] : devices_) {
            present.push_back(device->info);
        }
    }
    for (const CameraDevice& device : present) {
        listener_->deviceAdded(device);
    }
    pollTimer_.start();
    poll();
}

bool GPhotoBackend::hasOpenSession(CameraDeviceId id) const
{
    const Device* device = find(id);
    return device != nullptr && device->sessionOpen;
}

void GPhotoBackend::requestOpenSession(CameraDeviceId id)
{
    Device* device = find(id);
    if (device == nullptr) {
        return;
    }
    onWorker(*device, [this](GPhotoSession& session) -> Continuation {
        const std::optional<PivraError> error = session.open();
        const int storages = error ? 0 : session.storageCount();
        return [this, error, storages](Device& opened) {
            if (error) {
                listener_->sessionOpened(opened.info, error);
            } else if (storages == 0) {
                opened.locked = true; // polled until storage appears
                listener_->sessionOpened(opened.info, lockedError());
            } else {
                opened.sessionOpen = true;
                listener_->sessionOpened(opened.info, std::nullopt);
                walk(opened);
            }
        };
    });
}

CameraCatalog GPhotoBackend::catalog(CameraDeviceId id) const
{
    const Device* device = find(id);
    return device != nullptr ? device->catalog : CameraCatalog{};
}

void GPhotoBackend::read(CameraDeviceId device, const CameraFileInfo& file, std::int64_t offset, std::int64_t length,
                         CameraReadPurpose purpose, CameraReadCompletion completion)
{
    const auto abandon = [completion] { completion(std::nullopt, cameraDisconnectedError()); };
    const auto run = [file, offset, length, completion](GPhotoSession& session, bool gone) {
        GPhotoSession::ReadResult result = session.read(file, offset, length);
        if (result.error && gone) {
            result = {std::nullopt, cameraDisconnectedError()};
        }
        completion(std::move(result.data), std::move(result.error));
    };
    const auto priority =
        purpose == CameraReadPurpose::stream ? DeviceWorker::Priority::stream : DeviceWorker::Priority::copy;
    if (!enqueue(device, priority, run, abandon)) {
        abandon();
    }
}

void GPhotoBackend::requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int maxPixels,
                                     CameraThumbnailCompletion completion)
{
    const auto abandon = [completion] { completion(std::nullopt); };
    const auto run = [file, maxPixels, completion](GPhotoSession& session, bool) {
        completion(session.thumbnail(file, maxPixels));
    };
    if (!enqueue(device, DeviceWorker::Priority::preview, run, abandon)) {
        abandon();
    }
}

bool GPhotoBackend::enqueue(CameraDeviceId id, DeviceWorker::Priority priority,
                            std::function<void(GPhotoSession& session, bool gone)> run,
                            const std::function<void()>& abandon)
{
    // Under the table's lock, so the device cannot be destroyed meanwhile;
    // the worker outlives every job it runs.
    const std::lock_guard lock(mutex_);
    const auto found = devices_.find(id);
    if (found == devices_.end()) {
        return false;
    }
    Device& device = *found->second;
    DeviceWorker::Job job{[&device, run = std::move(run)] { run(*device.session, device.worker.isClosed()); },
                          abandon};
    return device.worker.enqueue(priority, job);
}

void GPhotoBackend::onWorker(Device& device, std::function<Continuation(GPhotoSession&)> work)
{
    detail::workQueued();
    DeviceWorker::Job job{[this, id = device.info.id, &device, alive = std::weak_ptr(alive_), work = std::move(work)] {
                              Continuation then = work(*device.session);
                              postToMain(alive, [this, id, then = std::move(then)] {
                                  if (Device* present = find(id); present != nullptr && then && listener_ != nullptr) {
                                      then(*present);
                                  }
                              });
                          },
                          [] { detail::workDelivered(); }};
    if (!device.worker.enqueue(DeviceWorker::Priority::listing, job)) {
        job.abandon();
    }
}

void GPhotoBackend::walk(Device& device)
{
    if (device.walking) {
        device.walkAgain = true; // the walk under way may have missed the change
        return;
    }
    device.walking = true;
    walkStep(device, true);
}

// One step per job, so that reads and thumbnails get the device in between.
void GPhotoBackend::walkStep(Device& device, bool start)
{
    onWorker(device, [this, start](GPhotoSession& session) -> Continuation {
        if (start) {
            session.startWalk();
        }
        if (!session.walkStep()) {
            return [this](Device& walking) { walkStep(walking, false); };
        }
        return [this, catalog = session.walkResult()](Device& walked) { finishWalk(walked, catalog); };
    });
}

void GPhotoBackend::finishWalk(Device& device, const CameraCatalog& catalog)
{
    device.walking = false;
    if (std::exchange(device.walkAgain, false)) {
        walk(device);
        return;
    }
    if (catalog.storageCount == 0 && !catalog.failed) {
        if (!std::exchange(device.locked, true)) {
            listener_->deviceLocked(device.info);
        }
        return;
    }
    device.catalog = catalog;
    if (std::exchange(device.locked, false)) {
        device.sessionOpen = true; // a session that opened locked is usable now
        listener_->deviceUnlocked(device.info);
    } else {
        listener_->catalogChanged(device.info);
    }
}

// A locked device is asked for storage; an open one for news of added files
// (most drivers never announce removals, which the next session shows).
void GPhotoBackend::poll()
{
    if (options_.discoverUsb && !detecting_) {
        detecting_ = true;
        detail::workQueued();
        discovery_->enqueue([this, alive = std::weak_ptr(alive_)] {
            GPContext* context = gp_context_new();
            std::vector<gphoto::DetectedCamera> cameras = gphoto::detectUsbCameras(context);
            gp_context_unref(context);
            postToMain(alive, [this, cameras = std::move(cameras)] { detected(cameras); });
        });
    }
    std::vector<Device*> devices;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [id, device] : devices_) {
            devices.push_back(device.get());
        }
    }
    for (Device* device : devices) {
        if (device->busy || device->walking || !(device->locked || device->sessionOpen) ||
            (!device->locked && device->eventsUnsupported)) {
            continue;
        }
        device->busy = true;
        const bool locked = device->locked;
        onWorker(*device, [this, locked](GPhotoSession& session) -> Continuation {
            const bool changed = locked ? session.storageCount() > 0 : false;
            const GPhotoSession::Event event = locked ? GPhotoSession::Event::none : session.pollEvent();
            return [this, changed, event](Device& polled) {
                polled.busy = false;
                polled.eventsUnsupported = polled.eventsUnsupported || event == GPhotoSession::Event::unsupported;
                if (changed || event == GPhotoSession::Event::contentChanged) {
                    walk(polled);
                }
            };
        });
    }
}

void GPhotoBackend::detected(const std::vector<gphoto::DetectedCamera>& cameras)
{
    detecting_ = false;
    std::vector<CameraDeviceId> gone;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [id, device] : devices_) {
            const bool present = std::any_of(cameras.begin(), cameras.end(),
                                             [&device](const auto& camera) { return camera.port == device->port; });
            if (device->port.startsWith(QStringLiteral("usb:")) && !present) {
                gone.push_back(id); // devices added by hand are never detected
            }
        }
    }
    for (CameraDeviceId id : gone) {
        remove(id);
    }
    for (const gphoto::DetectedCamera& camera : cameras) {
        if (!findPort(camera.port)) {
            add(camera.model, camera.port, gphoto::usbSerial(camera.port), camera.model);
        }
    }
}

CameraDeviceId GPhotoBackend::add(const QString& model, const QString& port, const QString& persistentID,
                                  std::optional<QString> name)
{
    const CameraDevice info{nextID_++, persistentID, port, std::move(name)};
    {
        const std::lock_guard lock(mutex_);
        devices_.emplace(info.id, std::make_unique<Device>(info, model, port, options_.helpers));
    }
    if (listener_ != nullptr) {
        listener_->deviceAdded(info);
    }
    return info.id;
}

void GPhotoBackend::remove(CameraDeviceId id)
{
    std::unique_ptr<Device> gone;
    {
        const std::lock_guard lock(mutex_);
        const auto found = devices_.find(id);
        if (found == devices_.end()) {
            return;
        }
        gone = std::move(found->second);
        devices_.erase(found);
    }
    gone->worker.close(); // what waits completes as disconnected now
    if (listener_ != nullptr) {
        listener_->deviceRemoved(gone->info);
    }
    // Destroying it waits for the request under way, which an unplugged
    // device fails at once.
}

GPhotoBackend::Device* GPhotoBackend::find(CameraDeviceId id) const
{
    const std::lock_guard lock(mutex_);
    const auto found = devices_.find(id);
    return found != devices_.end() ? found->second.get() : nullptr;
}

bool GPhotoBackend::findPort(const QString& port) const
{
    const std::lock_guard lock(mutex_);
    return std::any_of(devices_.begin(), devices_.end(),
                       [&port](const auto& device) { return device.second->port == port; });
}

} // namespace pivra
