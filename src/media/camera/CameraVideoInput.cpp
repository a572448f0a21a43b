#include "media/camera/CameraVideoInput.h"

#include "media/camera/CameraRangeRequest.h"
#include "media/camera/CameraVideoStream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace pivra {
namespace {

// One read of FFmpeg's, filled straight into its buffer on the stream's
// strand while the reading thread waits for the end.
class WaitingRequest final : public CameraRangeRequest {
public:
    WaitingRequest(std::int64_t offset, std::uint8_t* buffer, int length)
        : CameraRangeRequest(offset, length), buffer_(buffer)
    {
    }

    void respond(const QByteArray& data) override
    {
        const std::int64_t filled = this->filled();
        const auto count = std::min<std::int64_t>(data.size(), requestedLength() - filled);
        std::memcpy(buffer_ + filled, data.constData(), std::size_t(count));
        advance(count);
    }

    void finish(std::optional<PivraError> error) override { end(!error); }
    void refuse() override { end(false); }

    // The bytes read, or -1 when the request failed.
    int wait()
    {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return done_; });
        return succeeded_ ? static_cast<int>(filled()) : -1;
    }

private:
    // Written on the strand, read by the waiter once the request ended.
    std::int64_t filled() const { return currentOffset() - requestedOffset(); }

    void end(bool succeeded)
    {
        {
            const std::lock_guard guard(mutex_);
            succeeded_ = succeeded;
            done_ = true;
        }
        ended_.notify_one();
    }

    std::uint8_t* const buffer_;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    bool succeeded_ = false;
};

class StreamSource final : public VideoByteSource {
public:
    explicit StreamSource(CameraVideoStream& stream) : stream_(stream) {}

    std::int64_t size() const override { return stream_.size(); }

    int read(std::int64_t offset, std::uint8_t* buffer, int length) override
    {
        const auto request = std::make_shared<WaitingRequest>(offset, buffer, length);
        stream_.load(request);
        return request->wait();
    }

private:
    CameraVideoStream& stream_;
};

} // namespace

VideoInput openCameraVideoInput(CameraVideoStream& stream, const QString& name)
{
    return openVideoInput(std::make_unique<StreamSource>(stream), name);
}

} // namespace pivra
