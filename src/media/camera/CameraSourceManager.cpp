#include "media/camera/CameraSourceManager.h"

#include "media/camera/CameraCatalogItems.h"
#include "media/camera/CameraItemPaths.h"
#include "platform/runtime/MainThread.h"

#include <algorithm>

namespace pivra {

PivraError cameraFileUnavailableError()
{
    return {QStringLiteral("Pivra.CameraStream"), 1,
            QStringLiteral("The iPhone is disconnected or the video is unavailable.")};
}

std::optional<QString> cameraDeviceKey(const CameraDevice& device)
{
    if (!device.persistentID.isEmpty()) {
        return device.persistentID;
    }
    if (!device.connectionID.isEmpty()) {
        return device.connectionID;
    }
    return std::nullopt;
}

CameraSourceManager::CameraSourceManager(CameraBackend& backend) : backend_(backend)
{
    assertMainThread();
    backend_.setListener(this);
}

CameraSourceManager::~CameraSourceManager() { backend_.setListener(nullptr); }

void CameraSourceManager::watch(const QString& deviceID, const QUuid& sourceID)
{
    sourceIDs_.insert(deviceID, sourceID);
    const auto present = devices_.constFind(deviceID);
    if (present == devices_.cend()) {
        return; // opened when it appears
    }
    const CameraDevice device = *present;
    if (!backend_.hasOpenSession(device.id)) {
        backend_.requestOpenSession(device.id);
        return;
    }
    publish(device);
}

void CameraSourceManager::unwatch(const QUuid& sourceID)
{
    sourceIDs_.removeIf([&sourceID](const auto& binding) { return binding.value() == sourceID; });
    removeFiles(sourceID);
}

void CameraSourceManager::refresh(const QUuid& sourceID)
{
    const QString deviceID = sourceIDs_.key(sourceID);
    const auto present = devices_.constFind(deviceID);
    if (deviceID.isEmpty() || present == devices_.cend() || !backend_.hasOpenSession(present->id)) {
        return;
    }
    // Listed anew, since most devices announce no additions or deletions;
    // the listing is published as it arrives.
    backend_.refreshCatalog(present->id);
}

std::vector<AvailableCameraDevice> CameraSourceManager::availableDevices() const
{
    std::vector<AvailableCameraDevice> available;
    for (auto device = devices_.cbegin(); device != devices_.cend(); ++device) {
        available.push_back({device.key(), device->name.value_or(QStringLiteral("iPhone"))});
    }
    std::sort(available.begin(), available.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return available;
}

void CameraSourceManager::requestPreview(const QString& path, int pixels, PreviewCompletion completion,
                                         const CameraPreviewDemand& demand)
{
    const auto entry = files_.constFind(path);
    if (entry == files_.cend()) {
        completion(std::nullopt);
        return;
    }
    backend_.requestThumbnail(entry->device, entry->file, pixels, demand, std::move(completion));
}

void CameraSourceManager::readMovieHead(const QString& path, const CameraPreviewDemand& demand,
                                        PreviewCompletion completion)
{
    const auto entry = files_.constFind(path);
    if (entry == files_.cend()) {
        completion(std::nullopt);
        return;
    }
    backend_.readMovieHead(entry->device, entry->file, demand, std::move(completion));
}

void CameraSourceManager::read(const QString& path, std::int64_t offset, std::int64_t length,
                               ReadCompletion completion)
{
    std::optional<CameraFileEntry> entry;
    {
        const std::lock_guard lock(readableMutex_);
        if (const auto found = readable_.constFind(path); found != readable_.cend()) {
            entry = *found;
        }
    }
    if (!entry) {
        completion(std::nullopt, cameraFileUnavailableError());
        return;
    }
    backend_.read(entry->device, entry->file, offset, length, CameraReadPurpose::stream, std::move(completion));
}

void CameraSourceManager::deviceAdded(const CameraDevice& device)
{
    const std::optional<QString> key = cameraDeviceKey(device);
    if (!key) {
        return;
    }
    devices_.insert(*key, device);
    if (onDevicesChanged) {
        onDevicesChanged();
    }
    if (const auto bound = sourceIDs_.constFind(*key); bound != sourceIDs_.cend()) {
        watch(*key, *bound);
    }
}

void CameraSourceManager::deviceRemoved(const CameraDevice& device)
{
    const std::optional<QString> key = cameraDeviceKey(device);
    if (!key) {
        return;
    }
    devices_.remove(*key);
    // The binding stays, so the device plugged in again is opened again.
    if (const std::optional<QUuid> source = boundSource(device)) {
        removeFiles(*source);
        setLocked(*source, false);
    }
    if (onDevicesChanged) {
        onDevicesChanged();
    }
}

void CameraSourceManager::sessionOpened(const CameraDevice& device, const std::optional<PivraError>& error)
{
    const std::optional<QUuid> source = boundSource(device);
    if (!source) {
        return;
    }
    if (!error) {
        publish(device);
    } else if (error->code == cameraLockedErrorCode) {
        setLocked(*source, true); // cleared by the next publish or the removal
    } else if (onError) {
        onError(*source, error->description);
    }
}

void CameraSourceManager::catalogChanged(const CameraDevice& device) { publish(device); }

void CameraSourceManager::deviceLocked(const CameraDevice& device)
{
    if (const std::optional<QUuid> source = boundSource(device)) {
        setLocked(*source, true);
    }
}

void CameraSourceManager::deviceUnlocked(const CameraDevice& device) { publish(device); }

std::optional<QUuid> CameraSourceManager::boundSource(const CameraDevice& device) const
{
    const std::optional<QString> key = cameraDeviceKey(device);
    if (!key) {
        return std::nullopt;
    }
    const auto bound = sourceIDs_.constFind(*key);
    return bound != sourceIDs_.cend() ? std::optional(*bound) : std::nullopt;
}

void CameraSourceManager::publish(const CameraDevice& device)
{
    const std::optional<QUuid> source = boundSource(device);
    if (!source) {
        return;
    }
    const CameraCatalog catalog = backend_.catalog(device.id);
    if (catalog.percentComplete < 100 || catalog.failed) {
        return; // partial: publishing it would delete what is missing from it
    }
    if (catalog.storageCount == 0) {
        setLocked(*source, true);
        return;
    }

    std::vector<QString> keys;
    std::vector<std::optional<MediaKind>> kinds;
    keys.reserve(catalog.files.size());
    kinds.reserve(catalog.files.size());
    for (const CameraFileInfo& file : catalog.files) {
        keys.push_back(file.folder + u'/' + file.name);
        kinds.push_back(cameraFileKind(file));
    }
    if (std::none_of(kinds.begin(), kinds.end(), [](const auto& kind) { return kind.has_value(); })) {
        return; // an empty listing is no proof that the device is empty
    }

    const std::vector<std::uint32_t> handles = cameraHandles(keys);
    removeFiles(*source);
    std::vector<MediaItem> items;
    items.reserve(catalog.files.size());
    for (std::size_t i = 0; i < catalog.files.size(); ++i) {
        if (!kinds[i]) {
            continue;
        }
        const CameraFileInfo& file = catalog.files[i];
        const QString path = cameraItemPath(*source, handles[i], cameraFileName(file));
        items.push_back(cameraMediaItem(*source, path, file, *kinds[i], device.name));
        files_.insert(path, {device.id, file});
    }
    shareFiles();
    setLocked(*source, false); // a complete listing shows the device is readable
    if (onCatalogReady) {
        onCatalogReady(*source, items);
    }
}

void CameraSourceManager::setLocked(const QUuid& sourceID, bool locked)
{
    if (lockedSourceIDs_.contains(sourceID) == locked) {
        return;
    }
    if (locked) {
        lockedSourceIDs_.insert(sourceID);
    } else {
        lockedSourceIDs_.remove(sourceID);
    }
    if (onLockChanged) {
        onLockChanged(sourceID, locked);
    }
}

void CameraSourceManager::removeFiles(const QUuid& sourceID)
{
    const QString prefix = cameraPrefix(sourceID);
    files_.removeIf([&prefix](const auto& entry) { return entry.key().startsWith(prefix); });
    shareFiles();
}

void CameraSourceManager::shareFiles()
{
    const std::lock_guard lock(readableMutex_);
    readable_ = files_; // shared, not copied, until the next change
}

} // namespace pivra
