#pragma once

#include "catalog/Sqlite.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

namespace pivra {

// Read-only connections to the catalog file beside the catalog's own, so one
// large read can be spread over threads: SQLite steps a statement on one
// thread only, and stepping is most of a million-row gallery read.
//
// Every job runs inside a read transaction that begins after the call does.
// The catalog calls this from its own thread, which is the file's only writer
// (the catalog lock keeps other processes out), so all jobs of one call read
// the state that the calling thread sees.
// A read-only connection to the catalog file at `path`, as every reader of
// it opens one: waiting out a writer's lock, with a small page cache and the
// catalog's own SQL functions. Throws `open`.
sqlite::Connection openReadingConnection(const QString& path);

class CatalogReaders {
public:
    explicit CatalogReaders(QString path);

    // How many connections a read spreads over: one per core.
    static std::size_t width();

    // Runs job(connection, index) for every index below `count`, at most
    // `width` at a time: on the calling thread and on pool threads as they
    // come free, so a busy pool delays nothing. Returns when all have run.
    // The first exception a job throws is rethrown here once the others have
    // stopped; jobs not yet started are skipped then. Called from the
    // catalog's thread only. The connections keep a small page cache
    // (sqlite::readingCacheKiB), emptied when the call returns.
    void forEach(std::size_t count, std::size_t width, const std::function<void(sqlite3*, std::size_t)>& job);

private:
    sqlite::Connection take();

    QString path_;
    std::vector<sqlite::Connection> idle_;
};

} // namespace pivra
