#pragma once

// The sources setting of a program that has one folder source, written as
// adding the folder writes it, for benchmarks that start a library store on
// it (settings must be redirected first: test::SettingsSandbox), and the wait
// for the store's runs.

#include "catalog/MediaCatalog.h"
#include "catalog/model/LibrarySource.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "store/LibraryStore.h"

#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>

namespace pivra::bench {

// A folder source as adding the folder at `path` records it.
inline LibrarySource folderSource(const QString& name, const QString& path)
{
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = name;
    source.bookmark = FolderBookmark::make(path)->encode();
    source.lastKnownPath = path;
    return source;
}

inline LibrarySource recordFolderSource(const QString& name, const QString& path)
{
    const LibrarySource source = folderSource(name, path);
    AppSettings().setValue(LibraryStore::sourcesKey, encodeSources({source}));
    return source;
}

// Where a run's thumbnail store keeps its files: inside the run's folder.
inline ThumbnailLocations runThumbnailLocations(const QTemporaryDir& run)
{
    return ThumbnailLocations::under(run.filePath(QStringLiteral("data")), run.filePath(QStringLiteral("cache")));
}

// What a library store needs to index and thumbnail its sources, its catalog
// in the run's folder, and no place names.
inline LibraryServices folderStoreServices(const QTemporaryDir& run, ThumbnailStore& thumbnails)
{
    return LibraryServices{
        .openCatalog = [path = run.filePath(QStringLiteral("Catalog.sqlite"))] {
            return std::make_unique<MediaCatalog>(path);
        },
        .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
        .thumbnails = &thumbnails,
        .inspector = std::make_shared<MetadataInspector>(),
    };
}

// Runs the event loop until a run of `kind` has ended.
inline void waitForRun(LibraryStore& store, PivraProcess::Kind kind)
{
    const auto ended = [&store, kind] {
        const QList<PivraProcess>& finished = store.processes().finished();
        return std::any_of(finished.cbegin(), finished.cend(),
                           [kind](const PivraProcess& process) { return process.kind == kind; });
    };
    QEventLoop loop;
    QObject::connect(&store.processes(), &ProcessMonitor::finishedChanged, &loop, [&] {
        if (ended()) {
            loop.quit();
        }
    });
    if (!ended()) {
        loop.exec();
    }
}

} // namespace pivra::bench
