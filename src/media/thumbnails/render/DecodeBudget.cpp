#include "media/thumbnails/render/DecodeBudget.h"

#include "platform/runtime/memory/MemoryLimit.h"

#include <algorithm>
#include <utility>

namespace pivra {

struct DecodeBudget::Waiter {
    std::int64_t bytes = 0;
    DecodeUrgency urgency = DecodeUrgency::background;
};

DecodeBudget::DecodeBudget(std::int64_t capacity) : capacity_(capacity) {}

std::int64_t DecodeBudget::capacityFor(std::int64_t memory)
{
    return std::clamp(memory / 16, largeDecodeBytes, 4 * largestDecodeBytes);
}

DecodeBudget& DecodeBudget::shared()
{
    static DecodeBudget* const budget = new DecodeBudget(capacityFor(usableMemory()));
    return *budget;
}

bool DecodeBudget::mayEnter(const Waiter& waiter) const
{
    const std::deque<Waiter*>& line = waiter.urgency == DecodeUrgency::visible ? visible_ : background_;
    const bool first = line.front() == &waiter && (waiter.urgency == DecodeUrgency::visible || visible_.empty());
    return first && usage_.bytes + waiter.bytes <= capacity_;
}

DecodeBudget::Share DecodeBudget::admit(const DecodeFootprint& footprint, DecodeUrgency urgency)
{
    if (!footprint.large()) {
        return {};
    }
    Waiter waiter{std::min(footprint.bytes, capacity_), urgency};
    std::deque<Waiter*>& line = urgency == DecodeUrgency::visible ? visible_ : background_;
    std::unique_lock lock(mutex_);
    line.push_back(&waiter);
    ++usage_.waiting;
    changed_.wait(lock, [&] { return mayEnter(waiter); });
    line.pop_front();
    --usage_.waiting;
    usage_.bytes += waiter.bytes;
    ++usage_.decodes;
    usage_.peakBytes = std::max(usage_.peakBytes, usage_.bytes);
    usage_.peakDecodes = std::max(usage_.peakDecodes, usage_.decodes);
    lock.unlock();
    changed_.notify_all(); // the next in line may fit beside this one
    return Share(this, waiter.bytes);
}

void DecodeBudget::giveBack(std::int64_t bytes)
{
    {
        const std::lock_guard guard(mutex_);
        usage_.bytes -= bytes;
        --usage_.decodes;
    }
    changed_.notify_all();
}

DecodeBudget::Usage DecodeBudget::usage() const
{
    const std::lock_guard guard(mutex_);
    return usage_;
}

DecodeBudget::Share::Share(Share&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0))
{
}

DecodeBudget::Share& DecodeBudget::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        release();
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

DecodeBudget::Share::~Share()
{
    release();
}

void DecodeBudget::Share::release()
{
    if (budget_ != nullptr) {
        std::exchange(budget_, nullptr)->giveBack(bytes_);
    }
}

} // namespace pivra
