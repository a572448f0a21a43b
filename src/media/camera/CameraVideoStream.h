#pragma once

#include "catalog/model/MediaItem.h"
#include "platform/cameras/CameraBackend.h"
#include "platform/PivraError.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

class CameraSourceManager;

// One byte-range request for a device video, as a transport (the loopback
// HTTP server, FFmpeg's custom I/O) hands it to a CameraVideoStream. The
// transport implements it; the stream calls every method on its own strand
// thread, one at a time, so an implementation only needs to guard what the
// transport's own threads share with it.
class CameraLoadingRequest {
public:
    virtual ~CameraLoadingRequest() = default;

    // Whether the transport wants the content type and length; when it does,
    // the stream calls setContentInformation() before anything else. Byte
    // range access is always supported.
    virtual bool wantsContentInformation() const = 0;
    virtual void setContentInformation(const QString& contentType, std::int64_t length) = 0;

    // Whether any bytes are asked for. A request without them is finished at
    // once (a HEAD, a length probe).
    virtual bool wantsData() const = 0;
    // The range asked for: `requestedLength` bytes from `requestedOffset`, or
    // everything from it when requestsAllDataToEnd() (then the length is not
    // read). The stream cuts the range at the video's size.
    virtual std::int64_t requestedOffset() const = 0;
    virtual std::int64_t requestedLength() const = 0;
    virtual bool requestsAllDataToEnd() const = 0;
    // Where the next bytes go: requestedOffset() at first (0 counts as "not
    // started", as the requested offset is used then), advanced by each
    // respond() by the bytes given.
    virtual std::int64_t currentOffset() const = 0;
    // The next bytes of the range, in order, never more than asked; the
    // request must add data.size() to its current offset.
    virtual void respond(const QByteArray& data) = 0;

    // The end, exactly once for a request the stream accepted: no error when
    // the whole range (cut at the size) was given, otherwise the reason
    // ("Pivra.CameraStream" errors, or the device's own, unchanged). A
    // cancelled request is never finished.
    virtual void finish(std::optional<PivraError> error) = 0;
    // The stream was invalidated before the request arrived; nothing else is
    // called. The transport fails it in its own way.
    virtual void refuse() = 0;
};

// Serves a device video in byte ranges to whatever plays or decodes it, since
// a device file has no path a player could open: each request is answered
// with pieces of at most 256 KiB read from the device one at a time, so a
// whole video never sits in memory or on disk.
//
// All state lives on a strand thread of the stream's own; load(), cancel()
// and invalidate() may be called from any thread and only queue their work.
// Reader completions may arrive on any thread and are moved to the strand
// too; a late one (its request cancelled, finished, or the stream gone or
// invalidated) is dropped.
//
// A device that stops answering would leave its requests, and whoever waits
// for them, waiting for good: a read not answered within the stream's answer
// limit counts the device as disconnected.
class CameraVideoStream {
public:
    // Bytes of the file at `path`: completes exactly once, on any thread,
    // like CameraSourceManager::read.
    using Reader = std::function<void(const QString& path, std::int64_t offset, std::int64_t length,
                                      CameraReadCompletion completion)>;

    static constexpr std::int64_t pieceBytes = 262144;
    static constexpr int rangeErrorCode = 2;
    // How long one read of the device may go unanswered.
    static constexpr std::chrono::milliseconds deviceAnswerLimit = std::chrono::seconds(30);

    // Reads through `manager` on the GUI thread, where it lives, or through
    // the program's one (CameraSourceManager::shared(), taken there) when none
    // is given. A given manager must outlive every read made through it.
    static Reader managerReader(CameraSourceManager* manager = nullptr);

    // `answerLimit`: deviceAnswerLimit, shorter in tests.
    CameraVideoStream(const MediaItem& item, Reader reader,
                      std::chrono::milliseconds answerLimit = deviceAnswerLimit);
    // Invalidates, so no request is left waiting, and waits for the work
    // queued before: the reader is not called afterwards. Not from within a
    // request's own methods, which run on the strand.
    ~CameraVideoStream();

    CameraVideoStream(const CameraVideoStream&) = delete;
    CameraVideoStream& operator=(const CameraVideoStream&) = delete;

    const QString& path() const;
    // The item's file size, 0 when it is not known: the content length.
    std::int64_t size() const;
    // The MIME type of the item name's extension, else "video/quicktime".
    const QString& contentType() const;

    // Takes a request: refused after invalidate(); otherwise answered and
    // finished, unless cancelled first. The stream holds it until then. Once
    // a read has gone unanswered for the answer limit, every request waiting
    // for bytes, and every later one, finishes with cameraDisconnectedError().
    void load(std::shared_ptr<CameraLoadingRequest> request);
    // Forgets the request without finishing it; its read in flight is let run
    // and its answer dropped.
    void cancel(const CameraLoadingRequest* request);
    // Ends the stream for good: pending requests finish with "Video playback
    // stopped.", later ones are refused.
    void invalidate();

    // "pivra-stream://media/<random UUID>.<extension of the name, lower-case>":
    // a fresh name each time, under which the transport offers the stream.
    static QString assetName(const MediaItem& item);
    // A "Pivra.CameraStream" error of the stream's own (code 2).
    static PivraError error(const QString& text);

private:
    struct State;

    // Shared with the strand's jobs, which keep it until they have run, and
    // held weakly by the reads in flight.
    std::shared_ptr<State> state_;
};

} // namespace pivra
