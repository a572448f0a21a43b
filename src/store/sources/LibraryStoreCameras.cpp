// Phones and cameras: the devices offered, the state of camera sources, and
// what the camera manager reports.

#include "media/camera/CameraSourceManager.h"
#include "store/LibraryStore.h"

#include <QPointer>

#include <algorithm>

namespace pivra {

// The manager may outlive the store (tests make several stores over one), so
// every callback checks that its store is still there.
void LibraryStore::connectCameras()
{
    CameraSourceManager* cameras = services_.cameras;
    if (cameras == nullptr) {
        return;
    }
    const QPointer<LibraryStore> store(this);
    cameras->onDevicesChanged = [store] {
        if (store) {
            store->refreshCameras();
        }
    };
    cameras->onCatalogReady = [store](const QUuid& sourceID, const std::vector<MediaItem>& items) {
        if (store) {
            store->indexCamera(sourceID, items);
        }
    };
    cameras->onError = [store](const QUuid&, const QString& text) {
        if (store) {
            store->setMessage(u"Could not access iPhone photos: " + text);
        }
    };
    cameras->onLockChanged = [store](const QUuid& sourceID, bool locked) {
        if (!store) {
            return;
        }
        QSet<QUuid> lockedIDs = store->lockedCameraSourceIDs_;
        if (locked) {
            lockedIDs.insert(sourceID);
        } else {
            lockedIDs.remove(sourceID);
        }
        store->assign(store->lockedCameraSourceIDs_, std::move(lockedIDs), &LibraryStore::lockedCameraSourceIDsChanged);
    };
}

void LibraryStore::watchCameraSources()
{
    if (services_.cameras == nullptr) {
        return;
    }
    for (const LibrarySource& source : QList<LibrarySource>(sources_)) {
        if (source.kind == LibrarySource::Kind::camera && source.deviceID) {
            services_.cameras->watch(*source.deviceID, source.id);
        }
    }
}

// A camera source is online while its device is connected and takes the
// device's current name; a device that went keeps its source's last name.
void LibraryStore::refreshCameras()
{
    assertMainThread();
    AvailableCameras devices;
    if (services_.cameras != nullptr) {
        for (const AvailableCameraDevice& device : services_.cameras->availableDevices()) {
            devices.append(device);
        }
    }
    assign(availableCameras_, devices, &LibraryStore::availableCamerasChanged);
    // All camera sources change as one change of the list.
    QList<LibrarySource> next = sources_;
    bool edited = false;
    for (LibrarySource& source : next) {
        if (source.kind != LibrarySource::Kind::camera || !source.deviceID) {
            continue;
        }
        const auto device = std::find_if(devices.cbegin(), devices.cend(), [&source](const AvailableCameraDevice& d) {
            return d.id == *source.deviceID;
        });
        source.isOnline = device != devices.cend();
        if (device != devices.cend()) {
            source.name = device->name;
        }
        edited = true;
    }
    if (edited) {
        setSources(std::move(next));
    }
    persistSources();
}

void LibraryStore::addCamera(const QString& deviceID)
{
    assertMainThread();
    const auto device = std::find_if(availableCameras_.cbegin(), availableCameras_.cend(),
                                     [&deviceID](const AvailableCameraDevice& d) { return d.id == deviceID; });
    if (device == availableCameras_.cend()) {
        return;
    }
    const auto existing = std::find_if(sources_.cbegin(), sources_.cend(), [&deviceID](const LibrarySource& source) {
        return source.kind == LibrarySource::Kind::camera && source.deviceID == deviceID;
    });
    if (existing != sources_.cend()) {
        const QUuid id = existing->id;
        selectSource(id);
        if (services_.cameras != nullptr) {
            services_.cameras->refresh(id);
        }
        return;
    }
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = device->name;
    source.isOnline = true;
    source.kind = LibrarySource::Kind::camera;
    source.deviceID = deviceID;
    setSources(sources_ + QList<LibrarySource>{source});
    persistSources();
    selectSource(source.id);
    // The device's catalog arrives through the manager, which indexes it.
    if (services_.cameras != nullptr) {
        services_.cameras->watch(deviceID, source.id);
    }
}

} // namespace pivra
