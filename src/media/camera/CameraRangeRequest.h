#pragma once

#include "media/camera/CameraVideoStream.h"

#include <cstdint>

namespace pivra {

// A loading request for a fixed span of bytes and nothing else: what a
// transport asks once it knows the size and only wants data. The stream calls
// it on its strand only, so the count of bytes given needs no guard.
class CameraRangeRequest : public CameraLoadingRequest {
public:
    CameraRangeRequest(std::int64_t offset, std::int64_t length) : offset_(offset), length_(length) {}

    bool wantsContentInformation() const final { return false; }
    void setContentInformation(const QString&, std::int64_t) final {}
    bool wantsData() const final { return true; }
    std::int64_t requestedOffset() const final { return offset_; }
    std::int64_t requestedLength() const final { return length_; }
    bool requestsAllDataToEnd() const final { return false; }
    std::int64_t currentOffset() const final { return offset_ + given_; }

protected:
    // Called by respond() with the bytes it has taken.
    void advance(std::int64_t count) { given_ += count; }

private:
    const std::int64_t offset_;
    const std::int64_t length_;
    std::int64_t given_ = 0;
};

} // namespace pivra
