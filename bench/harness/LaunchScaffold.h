#pragma once

// What the launch benchmarks share: a folder an earlier run may have filled,
// the program's start before its library, the store's services on a catalog
// file, and the end point, the first paint of the gallery grid with items.

#include "catalog/MediaCatalog.h"
#include "gallery/GalleryGrid.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "store/LibraryStore.h"
#include "style/appearance/PivraStyle.h"
#include "style/assets/PivraFonts.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace pivra::bench {

// The folder that the environment variable `variable` names, which an
// earlier run filled and kept (writing a million rows takes minutes), or a
// temporary one, filled by this run.
inline const QDir& keptFolder(const char* variable)
{
    static QTemporaryDir made;
    static const QDir dir(qEnvironmentVariable(variable, made.path()));
    return dir;
}

// What the program does before it starts the library.
inline void startLikeTheProgram()
{
    PivraFonts::registerDisplayFont();
    QApplication::setStyle(new PivraStyle);
}

// A store's services on the catalog at `catalogPath`, without place names.
inline LibraryServices launchServices(const QString& catalogPath, ThumbnailStore& thumbnails, VideoPreviewStore& clips)
{
    return LibraryServices{
        .openCatalog = [catalogPath] { return std::make_unique<MediaCatalog>(catalogPath); },
        .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
        .thumbnails = &thumbnails,
        .previews = &clips,
        .inspector = std::make_shared<MetadataInspector>(),
    };
}

// Runs the event loop until the grid has painted while holding items, and
// answers the milliseconds from `launch` to the end of that paint's pass.
inline double waitForFirstPaintWithItems(GalleryGrid& grid, const QElapsedTimer& launch)
{
    QEventLoop loop;
    double firstPaintMs = 0;
    struct FirstPaint : QObject {
        std::function<void()> seen;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && seen) {
                seen();
            }
            return false;
        }
    } firstPaint;
    firstPaint.seen = [&] {
        if (!grid.items()->empty()) {
            firstPaint.seen = nullptr;
            QTimer::singleShot(0, &loop, [&] {
                firstPaintMs = launch.nsecsElapsed() / 1e6;
                loop.quit();
            });
        }
    };
    grid.viewport()->installEventFilter(&firstPaint);
    loop.exec();
    grid.viewport()->removeEventFilter(&firstPaint);
    return firstPaintMs;
}

} // namespace pivra::bench
