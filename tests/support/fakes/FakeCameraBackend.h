#pragma once

#include "platform/cameras/CameraBackend.h"
#include "platform/runtime/threads/SerialThread.h"

#include <QHash>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pivra::test {

// A device layer scripted by the test, on the GUI thread. Events the test
// causes (plug, unplug, lock, unlock, listing changes) reach the listener at
// once; session answers are posted to the GUI thread, as a real device's are,
// and drain() waits for them. Reads and thumbnails complete on a worker
// thread of the fake, in order (a preview request withdrawn meanwhile is
// dropped unasked).
class FakeCameraBackend final : public CameraBackend {
public:
    struct File {
        CameraFileInfo info;
        QByteArray content; // what reads return
        std::optional<QByteArray> thumbnail;
    };

    enum class SessionAnswer { open, locked, failed };
    enum class ReadFault { error, errorWithData, empty };

    struct ReadScript {
        std::int64_t maxLength = 0; // each read returns at most this many bytes (0: as many as asked)
        int faultAfter = -1;        // reads served normally before the fault (-1: never)
        ReadFault fault = ReadFault::error;
        bool hold = false; // reads and thumbnails wait for releaseReads() or the unplug
    };

    struct ReadRequest {
        std::int64_t offset = 0;
        std::int64_t length = 0;
    };

    FakeCameraBackend();
    ~FakeCameraBackend() override;

    // Devices. A new device has an empty, complete listing and answers
    // session requests with `open`.
    CameraDeviceId plug(const QString& persistentID, std::optional<QString> name = QStringLiteral("iPhone"),
                        const QString& connectionID = {});
    void unplug(CameraDeviceId device);
    void setSessionAnswer(CameraDeviceId device, SessionAnswer answer);
    // Opens the session without a request, as if another client had.
    void openSession(CameraDeviceId device);
    // Locked devices show no storage; each call announces the change.
    void lock(CameraDeviceId device);
    void unlock(CameraDeviceId device);

    // Listing. setFiles replaces the content without an event; the others
    // announce catalogChanged. failListing ends the walk at 100 percent with
    // an error, as an I/O error or an unplug mid-walk does.
    void setFiles(CameraDeviceId device, std::vector<File> files);
    void setPercentComplete(CameraDeviceId device, int percent);
    void failListing(CameraDeviceId device);
    void announceCatalog(CameraDeviceId device);

    // Reads and thumbnails, with the requests as they arrived.
    void setReadScript(ReadScript script);
    void releaseReads();
    std::vector<ReadRequest> readRequests() const;
    std::size_t heldReads() const; // reads and thumbnails waiting
    // The maxPixels of each thumbnail the device was asked for, in the order
    // asked; a request withdrawn while it waited never is.
    std::vector<int> thumbnailRequests() const;
    int sessionRequests(CameraDeviceId device) const;

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
    struct Device {
        CameraDevice device;
        SessionAnswer answer = SessionAnswer::open;
        bool sessionOpen = false;
        bool locked = false;
        int sessionRequests = 0;
        CameraCatalog listing{100, 1, false, {}};
        std::vector<File> files;
    };

    struct HeldRead {
        CameraDeviceId device;
        QByteArray content;
        ReadRequest request;
        CameraReadCompletion completion;
    };

    // A request waiting for its answer, which runs on the worker and sees
    // whether the device is still there.
    struct HeldRequest {
        CameraDeviceId device;
        std::function<void()> answer;
    };

    Device& device(CameraDeviceId id);
    const Device* find(CameraDeviceId id) const;
    std::optional<QByteArray> contentOf(CameraDeviceId device, const CameraFileInfo& file, bool thumbnail) const;
    void serve(HeldRead read);
    void dispatchLocked(CameraDeviceId device, std::function<void()> answer);
    // A preview request, answered by `serve` unless it was withdrawn before
    // its turn.
    void dispatchPreview(CameraDeviceId device, const CameraPreviewDemand& demand,
                         const CameraThumbnailCompletion& completion, std::function<void()> serve);

    CameraBackendListener* listener_ = nullptr;
    QHash<CameraDeviceId, Device> devices_;
    CameraDeviceId nextID_ = 1;

    mutable std::mutex mutex_; // guards what the worker and the GUI thread share
    ReadScript script_;
    int readsServed_ = 0;
    std::vector<ReadRequest> readRequests_;
    std::vector<HeldRequest> held_;
    std::vector<int> thumbnailRequests_;

    std::unique_ptr<detail::SerialThread> worker_; // last: joined before the state above goes
};

} // namespace pivra::test
