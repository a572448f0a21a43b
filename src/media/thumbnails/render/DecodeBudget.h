#pragma once

#include "media/thumbnails/render/DecodeFootprint.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace pivra {

// How soon a decode is wanted: a tile or picture on screen before the
// preparation of thumbnails nobody is looking at yet.
enum class DecodeUrgency { visible, background };

// The memory large decodes share. A decode over largeDecodeBytes waits until
// it fits beside those running, so that several run side by side on a machine
// with room for them while their sum stays within the budget; a visible
// decode that waits goes before every background one, and within one urgency
// they go in the order they came. Decodes that are not large take nothing.
class DecodeBudget {
public:
    explicit DecodeBudget(std::int64_t capacity);
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    // The one budget of the process, for the memory it may use
    // (usableMemory, MemoryLimit.h: the machine's, or less under a control
    // group's limit).
    static DecodeBudget& shared();
    // A sixteenth of `memory`, at most four of the largest decodes. Under a
    // small limit it falls to the size from which decodes are large, so that
    // large decodes run one at a time (one beyond the capacity takes it
    // whole), as the program's few hundred megabytes and one 48-MP decode
    // beside them are all a limit of 768 MB holds.
    static std::int64_t capacityFor(std::int64_t memory);

    std::int64_t capacity() const { return capacity_; }

    // A decode's share of the budget, given back when destroyed.
    class Share {
    public:
        Share() = default;
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        ~Share();

        // Given back now, for what is left of the work to run outside the budget.
        void release();

    private:
        friend class DecodeBudget;
        Share(DecodeBudget* budget, std::int64_t bytes) : budget_(budget), bytes_(bytes) {}

        DecodeBudget* budget_ = nullptr;
        std::int64_t bytes_ = 0;
    };

    // Waits for room for `footprint`; one that is not large returns at once.
    // A footprint beyond the capacity (tooLarge() refuses those before) takes
    // the whole of it, so that it too gets its turn.
    Share admit(const DecodeFootprint& footprint, DecodeUrgency urgency);

    struct Usage {
        std::int64_t bytes = 0;   // held now
        int decodes = 0;          // holding a share now
        int waiting = 0;          // waiting for one
        std::int64_t peakBytes = 0; // the most held at once so far
        int peakDecodes = 0;        // the most decodes holding one at once so far
    };
    Usage usage() const;

private:
    struct Waiter;
    void giveBack(std::int64_t bytes);
    bool mayEnter(const Waiter& waiter) const;

    const std::int64_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Waiter*> visible_;
    std::deque<Waiter*> background_;
    Usage usage_;
};

} // namespace pivra
