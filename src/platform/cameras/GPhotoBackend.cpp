#include "platform/cameras/GPhotoBackend.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/cameras/GPhotoLibrary.h"
#include "platform/cameras/MovieHead.h"
#include "platform/runtime/threads/SerialThread.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QMetaObject>

#include <gphoto2/gphoto2-context.h>

#include <algorithm>

namespace pivra {
namespace {

constexpr int pollIntervalMs = 2000;
// Each announcement has the whole listing indexed again: descriptions coming
// in are announced together.
constexpr qint64 describedAnnouncementMs = 5000;

QString descriptionFile(const QString& folder, const QString& persistentID)
{
    if (folder.isEmpty() || persistentID.isEmpty()) {
        return {};
    }
    return folder + u'/' +
           QString::fromLatin1(QCryptographicHash::hash(persistentID.toUtf8(), QCryptographicHash::Sha256).toHex()) +
           QStringLiteral(".json");
}

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
    Device(CameraDevice info, const QString& model, const QString& port, const Options& options)
        : info(std::move(info)), port(port),
          session(std::make_unique<GPhotoSession>(model, port, options.helpers,
                                                  descriptionFile(options.descriptionFolder, this->info.persistentID),
                                                  options.rangedReadForTesting)),
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
    bool describing = false;
    bool describedUnannounced = false;
    QElapsedTimer announced; // since the listing was last announced
    CameraCatalog catalog;
};

GPhotoBackend::GPhotoBackend(Options options)
    : options_(std::move(options)), discovery_(std::make_unique<detail::SerialThread>([] {}, [] {}))
{
    pollTimer_.setInterval(pollIntervalMs);
    QObject::connect(&pollTimer_, &QTimer::timeout, [this] { poll(); });
    detectRetry_.setSingleShot(true);
    detectRetry_.setInterval(pollIntervalMs);
    QObject::connect(&detectRetry_, &QTimer::timeout, [this] { detect(); });
}

GPhotoBackend::~GPhotoBackend()
{
    hotplug_.reset();
    detectRetry_.stop();
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
        hotplug_.reset();
        detectRetry_.stop();
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
    if (!present.empty()) {
        pollTimer_.start();
        poll();
    }
    if (options_.discoverUsb) {
        hotplug_ = std::make_unique<UsbHotplugMonitor>(options_.hotplug, [this] { detect(); });
        detect();
    }
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

void GPhotoBackend::refreshCatalog(CameraDeviceId id)
{
    if (Device* device = find(id); device != nullptr && device->sessionOpen) {
        walk(*device);
    }
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

// PTP has no size to ask a thumbnail in: the device chooses.
void GPhotoBackend::requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int /*maxPixels*/,
                                     const CameraPreviewDemand& demand, CameraThumbnailCompletion completion)
{
    const auto abandon = [completion] { completion(std::nullopt); };
    const auto run = [file, completion](GPhotoSession& session, bool) { completion(session.thumbnail(file)); };
    if (!enqueue(device, DeviceWorker::Priority::preview, run, abandon, demand)) {
        abandon();
    }
}

// One job, so the head, the box headers and the index are read together once
// the request's turn comes, and never after it was withdrawn.
void GPhotoBackend::readMovieHead(CameraDeviceId device, const CameraFileInfo& file,
                                  const CameraPreviewDemand& demand, CameraThumbnailCompletion completion)
{
    const auto abandon = [completion] { completion(std::nullopt); };
    const auto run = [file, completion](GPhotoSession& session, bool) {
        completion(pivra::readMovieHead(file.knownSize(), [&](std::int64_t offset, std::int64_t length) {
            GPhotoSession::ReadResult result = session.read(file, offset, length);
            return result.error ? std::nullopt : std::move(result.data);
        }));
    };
    if (!enqueue(device, DeviceWorker::Priority::preview, run, abandon, demand)) {
        abandon();
    }
}

bool GPhotoBackend::enqueue(CameraDeviceId id, DeviceWorker::Priority priority,
                            std::function<void(GPhotoSession& session, bool gone)> run,
                            const std::function<void()>& abandon, const CameraPreviewDemand& demand)
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
                          abandon, demand.wanted};
    return device.worker.enqueue(priority, job,
                                 demand.visible ? DeviceWorker::Place::first : DeviceWorker::Place::inTurn,
                                 demand.batch, demand.order);
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
    device.describedUnannounced = false;
    device.announced.start();
    if (std::exchange(device.locked, false)) {
        device.sessionOpen = true; // a session that opened locked is usable now
        listener_->deviceUnlocked(device.info);
    } else {
        listener_->catalogChanged(device.info);
    }
    if (!catalog.failed && !std::exchange(device.describing, true)) {
        describeNext(device);
    }
}

// One file per job, so that reads, thumbnails and listings get the device in
// between.
void GPhotoBackend::describeNext(Device& device)
{
    onWorker(device, [this](GPhotoSession& session) -> Continuation {
        return [this, file = session.describeNext()](Device& describing) { described(describing, file); };
    });
}

void GPhotoBackend::described(Device& device, const std::optional<GPhotoSession::Described>& file)
{
    if (file && file->index < device.catalog.files.size() &&
        CameraDescriptions::key(device.catalog.files[file->index]) == CameraDescriptions::key(file->file)) {
        device.catalog.files[file->index] = file->file;
        device.describedUnannounced = true;
    }
    if (device.describedUnannounced && !device.walking &&
        (!file || device.announced.elapsed() >= describedAnnouncementMs)) {
        device.describedUnannounced = false;
        device.announced.start();
        listener_->catalogChanged(device.info);
    }
    if (file) {
        describeNext(device);
    } else {
        device.describing = false;
    }
}

// A locked device is asked for storage; an open one for news of added files
// (most drivers never announce removals, which the next refresh shows).
void GPhotoBackend::poll()
{
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

// Loading the port list loads libgphoto2's port drivers, each of which looks
// at its bus, so this is done only when something may have changed.
void GPhotoBackend::detect()
{
    if (detecting_) {
        detectAgain_ = true; // the look under way may have come too early
        return;
    }
    detecting_ = true;
    detectRetry_.stop();
    detail::workQueued();
    discovery_->enqueue([this, alive = std::weak_ptr(alive_), forTesting = options_.detectUsbForTesting] {
        std::optional<std::vector<gphoto::DetectedCamera>> cameras;
        if (forTesting) {
            cameras = forTesting();
        } else {
            GPContext* context = gp_context_new();
            cameras = gphoto::detectUsbCameras(context);
            gp_context_unref(context);
        }
        postToMain(alive, [this, cameras = std::move(cameras)] { detected(cameras); });
    });
}

void GPhotoBackend::detected(const std::optional<std::vector<gphoto::DetectedCamera>>& found)
{
    detecting_ = false;
    if (std::exchange(detectAgain_, false)) {
        detect();
        return;
    }
    if (!found) {
        detectRetry_.start(); // what is attached is unknown, not nothing
        return;
    }
    const std::vector<gphoto::DetectedCamera>& cameras = *found;
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
        devices_.emplace(info.id, std::make_unique<Device>(info, model, port, options_));
    }
    if (listener_ != nullptr) {
        if (!pollTimer_.isActive()) {
            pollTimer_.start();
        }
        listener_->deviceAdded(info);
    }
    return info.id;
}

void GPhotoBackend::remove(CameraDeviceId id)
{
    std::unique_ptr<Device> gone;
    bool none = false;
    {
        const std::lock_guard lock(mutex_);
        const auto found = devices_.find(id);
        if (found == devices_.end()) {
            return;
        }
        gone = std::move(found->second);
        devices_.erase(found);
        none = devices_.empty();
    }
    if (none) {
        pollTimer_.stop(); // nothing is left to ask
    }
    gone->worker.close(); // what waits completes as disconnected now
    const CameraDevice info = gone->info;
    // Destroying it waits for the request under way, which a device that
    // stopped answering may take long to fail.
    unplugged_.release(std::move(gone));
    if (listener_ != nullptr) {
        listener_->deviceRemoved(info);
    }
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
