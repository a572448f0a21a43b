#pragma once

#include "catalog/model/Album.h"
#include "catalog/model/LibrarySource.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>

namespace pivra {

class LibraryStore;

// What the gallery area shows, as the headers read it from the store.
struct LibraryView {
    bool albums = false;
    bool map = false;
    bool favorites = false;
    std::optional<QUuid> sourceID;
    std::optional<QUuid> albumID;
    std::optional<QString> folderPath;

    static LibraryView of(const LibraryStore& store);
};

// Which controls the gallery header holds at a width step (1120 before the
// gallery was measured, then 1000, 780, 760, 700 or 0).
struct HeaderFlags {
    bool galleryMode = false; // neither the albums nor the map
    bool pillsFit = false; // the filter pills, else the compact menu
    bool densityFits = false; // the density buttons
    bool allMedia = false; // no source or album chosen: the disconnected switch
    int searchWidth = 120; // the open search field

    static HeaderFlags at(int widthStep, const LibraryView& view);
};

// The header's title: the view's own name, the chosen album, folder or
// source by name, else "All media".
QString headerTitle(const LibraryView& view, const QList<Album>& albums, const QList<LibrarySource>& sources);

// The line under the title: a grouped count and what it counts, with the
// note of work under way (scanning, or reading locations on the map); empty
// while the count is not known, rather than a count of something else.
QString headerSubtitle(const LibraryView& view, std::optional<qint64> count, bool busy,
                       const QLocale& locale = QLocale());

// The albums whose name holds the trimmed search text, case aside; all of
// them for a blank search.
QList<Album> visibleAlbums(const QList<Album>& albums, const QString& search, const QLocale& locale = QLocale());

// The gallery's row heights a density button steps through.
namespace RowHeight {

inline constexpr double standard = 190;

// A stored height the layout can use: the standard one in place of anything
// that is not a finite positive number, and within the density steps' range
// (a tiny height would lay out rows of one-pixel tiles).
double validated(const QVariant& stored);

// The nearest step below or above `height`; a height within a point of a
// step counts as that step. None past either end.
std::optional<double> smaller(double height);
std::optional<double> larger(double height);

} // namespace RowHeight

} // namespace pivra
