#pragma once

#include "platform/runtime/threads/Strand.h"
#include "store/places/Place.h"

#include <QHash>
#include <QString>

namespace pivra {

// The place names found so far, kept across runs in a JSON file of their own:
// an object keyed by cell key, as encodePlaces() writes it. It is read on the
// calling thread; writes run one at a time, in the order asked, on a thread of
// the cache's own, each through a temporary file renamed over the last, so the
// file always holds one whole write and the latest write wins.
//
// Earlier versions kept the object in the settings under
// "pivra.placeNames.v1"; the first load that finds that key moves its data
// into the file (unless the file already holds places) and removes the key.
class PlaceCache {
public:
    // "PlaceNames.json" beside the catalog, in the user's data folder.
    static QString defaultFile();

    explicit PlaceCache(QString file);
    ~PlaceCache(); // waits for the writes asked for

    PlaceCache(const PlaceCache&) = delete;
    PlaceCache& operator=(const PlaceCache&) = delete;

    // The cached places; none when the file is missing, unreadable or not such
    // an object, which then stays as it is until the next save.
    QHash<QString, Place> load();

    // Writes `places` off the calling thread.
    void save(QHash<QString, Place> places);

private:
    QString file_;
    Strand writer_;
};

} // namespace pivra
