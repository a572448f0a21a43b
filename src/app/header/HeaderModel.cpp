#include "app/header/HeaderModel.h"

#include "app/sidebar/FolderTree.h"
#include "store/LibraryStore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ranges>

namespace pivra {

namespace {

constexpr std::array<double, 5> rowHeightSteps{110, 140, 180, 230, 300};

} // namespace

LibraryView LibraryView::of(const LibraryStore& store)
{
    return {store.showsAlbums(), store.showsMap(), store.showsFavorites(), store.selectedSourceID(),
        store.selectedAlbumID(), store.selectedFolderPath()};
}

HeaderFlags HeaderFlags::at(int widthStep, const LibraryView& view)
{
    HeaderFlags flags;
    flags.galleryMode = !view.albums && !view.map;
    flags.pillsFit = flags.galleryMode && widthStep >= 780;
    flags.densityFits = flags.galleryMode && widthStep >= 760;
    flags.allMedia = flags.galleryMode && !view.sourceID && !view.albumID;
    flags.searchWidth = widthStep >= 1000 ? 210 : widthStep >= 700 ? 160 : 120;
    return flags;
}

QString headerTitle(const LibraryView& view, const QList<Album>& albums, const QList<LibrarySource>& sources)
{
    if (view.albums) {
        return QStringLiteral("Albums");
    }
    if (view.map) {
        return QStringLiteral("Map");
    }
    if (view.albumID) {
        const auto album = std::ranges::find(albums, *view.albumID, &Album::id);
        if (album != albums.end()) {
            return album->name;
        }
    }
    if (view.favorites) {
        return QStringLiteral("Favorites");
    }
    if (view.folderPath) {
        return FolderTree::name(*view.folderPath); // as the sidebar names it
    }
    if (view.sourceID) {
        const auto source = std::ranges::find(sources, *view.sourceID, &LibrarySource::id);
        if (source != sources.end()) {
            return source->name;
        }
    }
    return QStringLiteral("All media");
}

QString headerSubtitle(const LibraryView& view, std::optional<qint64> count, bool busy, const QLocale& locale)
{
    if (!count) {
        return {};
    }
    const QString number = locale.toString(*count);
    if (view.albums) {
        return number + QStringLiteral(" albums");
    }
    if (view.map) {
        return number + QStringLiteral(" with a location")
            + (busy ? QStringLiteral(" · Reading locations…") : QString());
    }
    return number + QStringLiteral(" items") + (busy ? QStringLiteral(" · Updating index…") : QString());
}

QList<Album> visibleAlbums(const QList<Album>& albums, const QString& search, const QLocale& locale)
{
    const QString wanted = locale.toLower(search.trimmed());
    if (wanted.isEmpty()) {
        return albums;
    }
    QList<Album> shown;
    std::ranges::copy_if(albums, std::back_inserter(shown),
        [&](const Album& album) { return locale.toLower(album.name).contains(wanted); });
    return shown;
}

namespace RowHeight {

double validated(const QVariant& stored)
{
    bool isNumber = false;
    const double height = stored.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(height) || height <= 0) {
        return standard;
    }
    return std::clamp(height, rowHeightSteps.front(), rowHeightSteps.back());
}

std::optional<double> smaller(double height)
{
    const auto below
        = std::ranges::find_if(rowHeightSteps | std::views::reverse, [&](double step) { return step < height - 1; });
    return below == std::ranges::end(rowHeightSteps | std::views::reverse) ? std::nullopt : std::optional(*below);
}

std::optional<double> larger(double height)
{
    const auto above = std::ranges::find_if(rowHeightSteps, [&](double step) { return step > height + 1; });
    return above == rowHeightSteps.end() ? std::nullopt : std::optional(*above);
}

} // namespace RowHeight

} // namespace pivra
