#pragma once

// The sources setting of a program that has one folder source, written as
// adding the folder writes it, for benchmarks that start a library store on
// it. Settings must be redirected first (test::SettingsSandbox).

#include "catalog/model/LibrarySource.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "store/LibraryStore.h"

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

} // namespace pivra::bench
