#pragma once

#include <QImage>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace pivra {

// A few pictures kept by what they were made from, the latest used first;
// the least recently used goes when one more would pass the limit. For
// pictures that many things show alike and that cost a frame's time to
// make. One thread at a time; `Key` compares with ==.
template <typename Key>
class RecentPictures {
public:
    explicit RecentPictures(std::size_t most) : most_(most) {}

    // The picture kept for `key`, made with `make()` when there is none.
    template <typename Make>
    const QImage& get(const Key& key, Make&& make)
    {
        const auto found =
            std::find_if(kept_.begin(), kept_.end(), [&key](const auto& entry) { return entry.first == key; });
        if (found != kept_.end()) {
            std::rotate(kept_.begin(), found, found + 1);
        } else {
            if (kept_.size() == most_) {
                kept_.pop_back();
            }
            kept_.insert(kept_.begin(), {key, std::forward<Make>(make)()});
        }
        return kept_.front().second;
    }

    void clear() { kept_.clear(); }
    std::size_t size() const { return kept_.size(); }

private:
    const std::size_t most_;
    std::vector<std::pair<Key, QImage>> kept_;
};

} // namespace pivra
