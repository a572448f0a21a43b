#pragma once

#include "catalog/model/MediaItem.h"
#include "catalog/scan/ScanFingerprints.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// One batch of a scan's decisions, written in one transaction.
struct ScanBatch {
    struct Changed {
        MediaItem item;
        QString relative;
        // False for a file that could not be read: its row is stored without
        // metadata text, so the next scan inspects it again.
        bool fileRead = true;
        // False: the row's thumbnail is marked failed at once (Inspection::decodable).
        bool decodable = true;
    };
    struct Unchanged {
        QString id;
        QString relative;
    };
    struct Relocated {
        QString oldID;
        QString newID;
        QString path;
        QString relative;
    };
    struct LiveUpdate {
        QString id;
        std::optional<QString> identifier;
    };

    std::vector<Changed> changed;
    // Unchanged files whose row must learn the relative path they were found at.
    std::vector<Unchanged> unchanged;
    std::vector<Relocated> relocated;
    std::vector<LiveUpdate> liveUpdates;
    // Unchanged files whose row already says all the walk found, by their row
    // number in the scan's fingerprints: nothing is written for them, and
    // their rows are spared when the rows of files not seen are deleted.
    std::vector<std::uint32_t> untouched;

    // Live Photo look-ups ride along with a decision and do not count.
    std::size_t decisions() const { return changed.size() + unchanged.size() + relocated.size() + untouched.size(); }
    bool writesNothing() const
    {
        return changed.empty() && unchanged.empty() && relocated.empty() && liveUpdates.empty();
    }
};

} // namespace pivra
