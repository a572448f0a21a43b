#include "catalog/CatalogReaders.h"

#include "catalog/model/CellKey.h"
#include "platform/runtime/threads/Pool.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace pivra {

CatalogReaders::CatalogReaders(QString path) : path_(std::move(path)) {}

std::size_t CatalogReaders::width()
{
    return std::max(1U, std::thread::hardware_concurrency());
}

sqlite::Connection openReadingConnection(const QString& path)
{
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::Connection connection(opened); // closed by the deleter also when opening failed
    if (result != SQLITE_OK || !registerCellKeyFunction(opened)) {
        throw CatalogError(CatalogError::Kind::open);
    }
    sqlite3_busy_timeout(opened, sqlite::busyTimeoutMilliseconds);
    sqlite::setPageCache(opened, sqlite::readingCacheKiB);
    return connection;
}

sqlite::Connection CatalogReaders::take()
{
    if (!idle_.empty()) {
        sqlite::Connection connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
    }
    return openReadingConnection(path_);
}

namespace {

// One forEach call, shared with the helpers it starts. A helper that the pool
// starts late, after every job was taken, finds nothing to do and touches
// neither the jobs nor the connections, so the call need not wait for it.
struct Run {
    explicit Run(std::size_t count) : count(count) {}

    const std::size_t count;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t finished = 0;
    std::exception_ptr failure;

    // Runs jobs until none is left. Each job counts as finished only once
    // the connection is no longer used for it (the last one's transaction
    // ended), since the caller then hands the connection to the next call.
    void work(sqlite3* db, const std::function<void(sqlite3*, std::size_t)>& job)
    {
        std::optional<sqlite::ReadTransaction> snapshot;
        for (std::size_t index = next++; index < count;) {
            std::exception_ptr thrown;
            try {
                if (!hasFailed()) {
                    if (!snapshot) {
                        snapshot.emplace(db);
                    }
                    job(db, index);
                }
            } catch (...) {
                thrown = std::current_exception();
            }
            const std::size_t following = next++;
            if (following >= count) {
                snapshot.reset();
            }
            finish(thrown);
            index = following;
        }
    }

    bool hasFailed()
    {
        const std::lock_guard lock(mutex);
        return failure != nullptr;
    }

    void finish(const std::exception_ptr& thrown)
    {
        const std::lock_guard lock(mutex);
        if (thrown && !failure) {
            failure = thrown;
        }
        ++finished;
        changed.notify_all();
    }

    void waitForAll()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return finished == count; });
    }
};

} // namespace

void CatalogReaders::forEach(std::size_t count, std::size_t width,
                             const std::function<void(sqlite3*, std::size_t)>& job)
{
    width = std::clamp<std::size_t>(width, 1, std::max<std::size_t>(count, 1));
    std::vector<sqlite::Connection> connections;
    for (std::size_t reader = 0; reader < width; ++reader) {
        connections.push_back(take());
    }
    const auto run = std::make_shared<Run>(count);
    // A helper may start only after the call has returned (the others took
    // every job), so it holds a copy of the job rather than the caller's.
    const auto shared = std::make_shared<const std::function<void(sqlite3*, std::size_t)>>(job);
    for (std::size_t reader = 1; reader < width; ++reader) {
        detail::startOnPool(PoolPriority::userInitiated, [run, shared, db = connections[reader].get()] {
            run->work(db, *shared);
        });
    }
    run->work(connections.front().get(), job);
    run->waitForAll();
    // Each range is read once, so what a job left in its connection's cache
    // is of no use to the next call; kept, it would be held all the while
    // the connections wait, one cache for every core.
    for (sqlite::Connection& connection : connections) {
        sqlite3_db_release_memory(connection.get());
        idle_.push_back(std::move(connection));
    }
    if (run->failure) {
        std::rethrow_exception(run->failure);
    }
}

} // namespace pivra
