#pragma once

#include <QStringList>

namespace pivra {

// A dialog of the desktop's that looks at folders as it opens, besides the
// one it opens in: those it lists of its own accord (its side bar, the
// places it remembers). Looking at a folder waits as long as its disk does,
// so the store finds out first, off the GUI thread, which of them answer.
class DialogPlaces {
public:
    virtual ~DialogPlaces() = default;

    // The folders the next dialog looks at as it opens besides its start
    // folder.
    virtual QStringList placesShown() const { return {}; }
    // Keeps the next dialog away from `places`, those of placesShown() whose
    // disk did not answer.
    virtual void avoidPlaces(const QStringList& /*places*/) {}
};

} // namespace pivra
