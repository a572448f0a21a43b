#pragma once

#include "catalog/model/MediaItem.h"
#include "catalog/scan/ScanFingerprints.h"

#include <QString>
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
    std::vector<Unchanged> unchanged;
    std::vector<Relocated> relocated;
    std::vector<LiveUpdate> liveUpdates;

    // Live Photo look-ups ride along with a decision and do not count.
    std::size_t decisions() const { return changed.size() + unchanged.size() + relocated.size(); }
};

} // namespace pivra
