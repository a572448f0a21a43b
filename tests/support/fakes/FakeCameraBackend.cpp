#include "support/fakes/FakeCameraBackend.h"

#include "platform/cameras/MovieHead.h"
#include "platform/runtime/Dispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <iterator>

namespace pivra::test {

FakeCameraBackend::FakeCameraBackend() : worker_(std::make_unique<detail::SerialThread>([] {}, [] {})) {}

FakeCameraBackend::~FakeCameraBackend()
{
    releaseReads();
    worker_.reset();
}

CameraDeviceId FakeCameraBackend::plug(const QString& persistentID, std::optional<QString> name,
                                       const QString& connectionID)
{
    Device added;
    added.device = {nextID_++, persistentID, connectionID, std::move(name)};
    {
        const std::lock_guard lock(mutex_);
        devices_.insert(added.device.id, added);
    }
    if (listener_ != nullptr) {
        listener_->deviceAdded(added.device);
    }
    return added.device.id;
}

void FakeCameraBackend::unplug(CameraDeviceId id)
{
    const CameraDevice gone = device(id).device;
    std::vector<HeldRequest> orphans;
    {
        const std::lock_guard lock(mutex_);
        devices_.remove(id);
        const auto ofDevice = [id](const HeldRequest& request) { return request.device == id; };
        std::copy_if(held_.begin(), held_.end(), std::back_inserter(orphans), ofDevice);
        held_.erase(std::remove_if(held_.begin(), held_.end(), ofDevice), held_.end());
    }
    for (HeldRequest& request : orphans) {
        // The device is gone, so each completes as a disconnected device's does.
        worker_->enqueue(std::move(request.answer));
    }
    if (listener_ != nullptr) {
        listener_->deviceRemoved(gone);
    }
}

void FakeCameraBackend::setSessionAnswer(CameraDeviceId id, SessionAnswer answer) { device(id).answer = answer; }

void FakeCameraBackend::openSession(CameraDeviceId id) { device(id).sessionOpen = true; }

void FakeCameraBackend::lock(CameraDeviceId id)
{
    device(id).locked = true;
    if (listener_ != nullptr) {
        listener_->deviceLocked(device(id).device);
    }
}

void FakeCameraBackend::unlock(CameraDeviceId id)
{
    Device& unlocked = device(id);
    unlocked.locked = false;
    unlocked.sessionOpen = true; // a session held open while locked becomes usable
    if (listener_ != nullptr) {
        listener_->deviceUnlocked(unlocked.device);
    }
}

void FakeCameraBackend::setFiles(CameraDeviceId id, std::vector<File> files)
{
    const std::lock_guard lock(mutex_);
    Device& changed = device(id);
    changed.listing.files.clear();
    for (const File& file : files) {
        changed.listing.files.push_back(file.info);
    }
    changed.files = std::move(files);
}

void FakeCameraBackend::setPercentComplete(CameraDeviceId id, int percent)
{
    device(id).listing.percentComplete = percent;
    announceCatalog(id);
}

void FakeCameraBackend::failListing(CameraDeviceId id)
{
    Device& failed = device(id);
    failed.listing.percentComplete = 100; // the walk is over, short of the whole device
    failed.listing.failed = true;
    announceCatalog(id);
}

void FakeCameraBackend::announceCatalog(CameraDeviceId id)
{
    if (listener_ != nullptr) {
        listener_->catalogChanged(device(id).device);
    }
}

void FakeCameraBackend::setReadScript(ReadScript script)
{
    const std::lock_guard lock(mutex_);
    script_ = script;
    readsServed_ = 0;
}

void FakeCameraBackend::releaseReads()
{
    std::vector<HeldRequest> released;
    {
        const std::lock_guard lock(mutex_);
        script_.hold = false;
        released.swap(held_);
    }
    for (HeldRequest& request : released) {
        worker_->enqueue(std::move(request.answer));
    }
}

std::vector<FakeCameraBackend::ReadRequest> FakeCameraBackend::readRequests() const
{
    const std::lock_guard lock(mutex_);
    return readRequests_;
}

std::size_t FakeCameraBackend::heldReads() const
{
    const std::lock_guard lock(mutex_);
    return held_.size();
}

std::vector<int> FakeCameraBackend::thumbnailRequests() const
{
    const std::lock_guard lock(mutex_);
    return thumbnailRequests_;
}

int FakeCameraBackend::sessionRequests(CameraDeviceId id) const
{
    const Device* found = find(id);
    return found != nullptr ? found->sessionRequests : 0;
}

void FakeCameraBackend::setListener(CameraBackendListener* listener)
{
    listener_ = listener;
    if (listener_ != nullptr) {
        for (const Device& present : std::as_const(devices_)) {
            listener_->deviceAdded(present.device);
        }
    }
}

bool FakeCameraBackend::hasOpenSession(CameraDeviceId id) const
{
    const Device* found = find(id);
    return found != nullptr && found->sessionOpen;
}

void FakeCameraBackend::requestOpenSession(CameraDeviceId id)
{
    Device& asked = device(id);
    ++asked.sessionRequests;
    detail::workQueued();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, id] {
            detail::workDelivered();
            const Device* answering = find(id);
            if (answering == nullptr || listener_ == nullptr) {
                return; // unplugged before it could answer
            }
            std::optional<PivraError> error;
            switch (answering->answer) {
            case SessionAnswer::open:
                device(id).sessionOpen = true;
                break;
            case SessionAnswer::locked:
                error = PivraError{QStringLiteral("Pivra.Camera"), cameraLockedErrorCode,
                                   QStringLiteral("The device is locked.")};
                break;
            case SessionAnswer::failed:
                error = PivraError{QStringLiteral("Pivra.Camera"), -1, QStringLiteral("The device is busy.")};
                break;
            }
            listener_->sessionOpened(answering->device, error);
        },
        Qt::QueuedConnection);
}

// The listing the test set is the device's whole content: listed again, it is
// the same, and arrives at once.
void FakeCameraBackend::refreshCatalog(CameraDeviceId id)
{
    if (const Device* found = find(id); found != nullptr && found->sessionOpen) {
        announceCatalog(id);
    }
}

CameraCatalog FakeCameraBackend::catalog(CameraDeviceId id) const
{
    const Device* found = find(id);
    if (found == nullptr || !found->sessionOpen) {
        return {}; // nothing is listed before a session opens
    }
    CameraCatalog listing = found->listing;
    listing.storageCount = found->locked ? 0 : 1;
    return listing;
}

void FakeCameraBackend::read(CameraDeviceId device, const CameraFileInfo& file, std::int64_t offset,
                             std::int64_t length, CameraReadPurpose, CameraReadCompletion completion)
{
    HeldRead request{device, contentOf(device, file, false).value_or(QByteArray()), {offset, length},
                     std::move(completion)};
    const std::lock_guard lock(mutex_);
    readRequests_.push_back(request.request);
    dispatchLocked(device, [this, request = std::move(request)]() mutable { serve(std::move(request)); });
}

void FakeCameraBackend::requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int maxPixels,
                                         const CameraPreviewDemand& demand, CameraThumbnailCompletion completion)
{
    // Looked up when answered: a device unplugged meanwhile has none.
    dispatchPreview(device, demand, completion, [this, device, file, maxPixels, completion] {
        {
            const std::lock_guard lock(mutex_);
            thumbnailRequests_.push_back(maxPixels);
        }
        completion(contentOf(device, file, true));
    });
}

void FakeCameraBackend::readMovieHead(CameraDeviceId device, const CameraFileInfo& file,
                                      const CameraPreviewDemand& demand, CameraThumbnailCompletion completion)
{
    dispatchPreview(device, demand, completion, [this, device, file, completion] {
        const std::optional<QByteArray> content = contentOf(device, file, false);
        if (!content) {
            completion(std::nullopt);
            return;
        }
        completion(pivra::readMovieHead(file.knownSize(), [this, &content](std::int64_t offset, std::int64_t length) {
            const std::lock_guard lock(mutex_);
            readRequests_.push_back({offset, length});
            return std::optional(content->mid(offset, length));
        }));
    });
}

void FakeCameraBackend::dispatchPreview(CameraDeviceId device, const CameraPreviewDemand& demand,
                                        const CameraThumbnailCompletion& completion, std::function<void()> serve)
{
    const std::lock_guard lock(mutex_);
    dispatchLocked(device, [wanted = demand.wanted, completion, serve = std::move(serve)] {
        if (wanted && !wanted()) {
            completion(std::nullopt);
        } else {
            serve();
        }
    });
}

void FakeCameraBackend::dispatchLocked(CameraDeviceId device, std::function<void()> answer)
{
    if (script_.hold) {
        held_.push_back({device, std::move(answer)});
        return;
    }
    worker_->enqueue(std::move(answer));
}

FakeCameraBackend::Device& FakeCameraBackend::device(CameraDeviceId id)
{
    auto found = devices_.find(id);
    Q_ASSERT(found != devices_.end());
    return *found;
}

const FakeCameraBackend::Device* FakeCameraBackend::find(CameraDeviceId id) const
{
    auto found = devices_.constFind(id);
    return found != devices_.cend() ? &*found : nullptr;
}

// Called from any thread: the export chain asks for its next read from the
// completion of the last one.
std::optional<QByteArray> FakeCameraBackend::contentOf(CameraDeviceId device, const CameraFileInfo& file,
                                                       bool thumbnail) const
{
    const std::lock_guard lock(mutex_);
    const Device* found = find(device);
    if (found == nullptr) {
        return std::nullopt;
    }
    for (const File& candidate : found->files) {
        if (candidate.info.folder == file.folder && candidate.info.name == file.name) {
            return thumbnail ? candidate.thumbnail : candidate.content;
        }
    }
    return std::nullopt;
}

void FakeCameraBackend::serve(HeldRead read)
{
    std::unique_lock lock(mutex_);
    if (find(read.device) == nullptr) {
        lock.unlock();
        read.completion(std::nullopt, cameraDisconnectedError());
        return;
    }
    const bool faulty = script_.faultAfter >= 0 && readsServed_ >= script_.faultAfter;
    const ReadFault fault = script_.fault;
    std::int64_t length = read.request.length;
    if (script_.maxLength > 0) {
        length = std::min(length, script_.maxLength);
    }
    ++readsServed_;
    lock.unlock();

    const QByteArray data = read.content.mid(read.request.offset, length);
    const PivraError failure{QStringLiteral("Pivra.Camera"), -1, QStringLiteral("The read failed.")};
    if (!faulty) {
        read.completion(data, std::nullopt);
    } else if (fault == ReadFault::empty) {
        read.completion(QByteArray(), std::nullopt);
    } else {
        read.completion(fault == ReadFault::errorWithData ? std::optional(data) : std::nullopt, failure);
    }
}

} // namespace pivra::test
