#pragma once

#include "catalog/model/LibrarySource.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace pivra {

class LibraryStore;

// What fills the content column under the header.
enum class ContentPage {
    albums,     // the album overview
    map,        // nothing: the map behind the column takes the pointer
    onboarding, // no source yet
    grid,       // the gallery, possibly empty while rows are counted or a scan runs
    empty,      // nothing to show in the chosen view
};

// The store's state as far as the choice of page reads it.
struct ContentState {
    bool albums = false;
    bool map = false;
    bool favorites = false;
    bool hasSources = false;
    std::optional<QUuid> albumID;
    bool hasItems = false;
    qint64 totalCount = 0;
    bool scanning = false;
    // The first source whose id is the selected source id.
    std::optional<LibrarySource> selectedSource;

    static ContentState of(const LibraryStore& store);
};

// The first page whose rule holds, in the order of the enumeration.
ContentPage choosePage(const ContentState& state);

// The words of the nothing-to-show state, and the offline folder source its
// button reconnects (none: no button).
struct EmptyStateText {
    QString title;
    QString symbol;
    QString description;
    std::optional<QUuid> reconnectSourceID;

    bool operator==(const EmptyStateText&) const = default;
};

EmptyStateText emptyStateText(const ContentState& state);

} // namespace pivra
