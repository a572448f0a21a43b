#pragma once

#include "catalog/MediaItem.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// What the catalog knew of a file when a scan began: enough to tell an
// untouched file from a changed one without opening it.
struct FileFingerprint {
    double modified = 0;
    std::int64_t fileSize = 0;
    bool liveChecked = false;

    bool matches(double otherModified, std::int64_t otherSize) const
    {
        return modified == otherModified && fileSize == otherSize;
    }
};

struct RelativeFingerprint {
    QString id;
    FileFingerprint fingerprint;
};

// The fingerprints of one source's fully inspected rows, by item id and by
// path below the source's root.
struct ScanFingerprints {
    QHash<QString, FileFingerprint> byID;
    QHash<QString, RelativeFingerprint> byRelative;
};

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
