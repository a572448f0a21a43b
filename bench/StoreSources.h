#pragma once

// The sources setting of a program that has one folder source, written as
// adding the folder writes it, for benchmarks that start a library store on
// it (settings must be redirected first: test::SettingsSandbox), and the wait
// for the store's runs.

#include "catalog/model/LibrarySource.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "store/LibraryStore.h"

#include <QEventLoop>

#include <algorithm>

namespace pivra::bench {

inline LibrarySource recordFolderSource(const QString& name, const QString& path)
{
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = name;
    source.bookmark = FolderBookmark::make(path)->encode();
    source.lastKnownPath = path;
    AppSettings().setValue(LibraryStore::sourcesKey, encodeSources({source}));
    return source;
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
