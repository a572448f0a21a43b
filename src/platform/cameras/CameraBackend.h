#pragma once

#include "platform/PivraError.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The device layer under the camera sources: phones and cameras attached over
// USB, their sessions, their file listings and reads. It is shaped after what
// a PTP stack such as libgphoto2 can give, so everything a device may not know
// is optional: files have no native handle (a folder and a name name them),
// sizes may be unknown, thumbnails may be absent, and there is no Exif date
// and no duration unless the device reports them.
namespace pivra {

// One connection of a device, unique for the run; a device plugged in again
// gets a new one.
using CameraDeviceId = std::uint64_t;

struct CameraDevice {
    CameraDeviceId id = 0;
    QString persistentID; // survives reconnection (the USB serial); empty when unknown
    QString connectionID; // this connection only (the port path); empty when unknown
    std::optional<QString> name;
};

// A session that could not open because the device is locked or does not yet
// trust this computer. A device that opens but shows no storage counts as
// locked too.
inline constexpr int cameraLockedErrorCode = -9943;

// What every request still in flight completes with when its device goes
// away, and what requests for a device that is not there complete with.
inline constexpr int cameraDisconnectedErrorCode = -9944;
PivraError cameraDisconnectedError();

// PTP reports sizes in 32 bits and caps larger files at this value.
inline constexpr std::int64_t cameraUnknownSize = 0xFFFFFFFF;

// Dates are seconds since 1970 UTC, as the catalog keeps them.
struct CameraFileInfo {
    QString folder; // the device folder, "/" separated
    QString name;   // the name in that folder; folder and name identify the file
    std::optional<QString> originalFilename;
    QString mimeType; // empty when the device does not say
    std::optional<double> exifCreationDate; // the capture date the file records: Exif, or a video's container
    std::optional<double> creationDate;
    std::optional<double> fileCreationDate;
    std::optional<double> modificationDate;
    int width = 0; // 0 when the device does not report it; as displayed
    int height = 0;
    // The Exif orientation the file records, which the device's thumbnail
    // of it, made from the stored pixels, does not apply.
    int orientation = 1;
    std::optional<double> duration;
    std::optional<std::int64_t> size; // none, or cameraUnknownSize, when not known

    // The size when the device reported a real one.
    std::optional<std::int64_t> knownSize() const
    {
        return size && *size >= 0 && *size != cameraUnknownSize ? size : std::nullopt;
    }
};

// A device's content as far as it has been listed. Only a listing at 100
// percent that did not fail holds the whole device; a failed one (an I/O
// error, the device unplugged mid-walk) holds whatever was listed before.
struct CameraCatalog {
    int percentComplete = 0;
    int storageCount = 0;
    bool failed = false;
    std::vector<CameraFileInfo> files;
};

// Receives the device layer's events, always on the GUI thread.
class CameraBackendListener {
public:
    virtual void deviceAdded(const CameraDevice& device) = 0;
    virtual void deviceRemoved(const CameraDevice& device) = 0;
    // The answer to requestOpenSession; a locked device answers with
    // cameraLockedErrorCode.
    virtual void sessionOpened(const CameraDevice& device, const std::optional<PivraError>& error) = 0;
    // Files were added, removed or renamed, or the listing finished.
    virtual void catalogChanged(const CameraDevice& device) = 0;
    virtual void deviceLocked(const CameraDevice& device) = 0;
    virtual void deviceUnlocked(const CameraDevice& device) = 0;

protected:
    ~CameraBackendListener() = default;
};

// Requests complete exactly once, on any thread, whatever happens: with the
// data, with an error, with cameraDisconnectedError() when the device goes
// away, or with an error when the device does not answer in time. A caller
// must never be left waiting.
using CameraReadCompletion = std::function<void(std::optional<QByteArray> data, std::optional<PivraError> error)>;
using CameraThumbnailCompletion = std::function<void(std::optional<QByteArray> data)>;

// Why bytes are read, which decides what waits for what on a device that
// serves one request at a time: a video being played before a copy, a copy
// before thumbnails and listings.
enum class CameraReadPurpose { stream, copy };

// How a preview request (a thumbnail, a movie's head) waits among the
// preview requests of its device that have not started. One a view waits
// for goes ahead of all of them, so the newest is served first: it is what
// the user has just scrolled to, while the older ones may be out of sight by
// now. Background ones (preparation) queue behind those, in turn. A request
// no longer wanted when its turn comes is dropped before the device is asked
// and completes with no data.
struct CameraPreviewDemand {
    bool visible = false;
    // The cells a view asked for in one turn share a batch and are served in
    // the order asked (`order`, lower first); a newer batch goes first (0: no
    // batch).
    std::uint64_t batch = 0;
    std::uint64_t order = 0;
    std::function<bool()> wanted; // asked on the device's thread; empty: always wanted
};

// The device layer itself. Its methods are called on the GUI thread, except
// read, requestThumbnail and readMovieHead, which may be called from any
// thread (an export asks for its next chunk from the completion of the last).
// It must outlive every request made of it.
class CameraBackend {
public:
    virtual ~CameraBackend() = default;

    // Starts browsing (or stops, with nullptr): the devices present and every
    // later change are announced to `listener`.
    virtual void setListener(CameraBackendListener* listener) = 0;

    virtual bool hasOpenSession(CameraDeviceId device) const = 0;
    // The answer arrives later as sessionOpened.
    virtual void requestOpenSession(CameraDeviceId device) = 0;
    virtual CameraCatalog catalog(CameraDeviceId device) const = 0;
    // Lists the files of a device with an open session again, for devices
    // that announce no changes; the listing arrives as catalogChanged.
    virtual void refreshCatalog(CameraDeviceId device) = 0;

    // Up to `length` bytes at `offset`. Fewer bytes than asked is no error; at
    // or past the end of the file the data is empty. A device that can only
    // fetch whole files serves the ranges from its own copy.
    virtual void read(CameraDeviceId device, const CameraFileInfo& file, std::int64_t offset, std::int64_t length,
                      CameraReadPurpose purpose, CameraReadCompletion completion) = 0;
    // The device's own thumbnail of the file, no larger than `maxPixels` on
    // its longer side where the device can scale it; none when the device
    // has none (nothing is drawn here).
    virtual void requestThumbnail(CameraDeviceId device, const CameraFileInfo& file, int maxPixels,
                                  const CameraPreviewDemand& demand, CameraThumbnailCompletion completion) = 0;
    // A movie's first few MiB made into a small movie of their own, for a
    // poster frame without reading the whole file (readMovieHead() in
    // MovieHead.h); none when they cannot be read. A preview request, like
    // the thumbnail.
    virtual void readMovieHead(CameraDeviceId device, const CameraFileInfo& file, const CameraPreviewDemand& demand,
                               CameraThumbnailCompletion completion) = 0;
};

} // namespace pivra
