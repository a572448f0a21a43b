#include "catalog/CatalogReaders.h"

#include "catalog/CellKey.h"
#include "platform/Pool.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <latch>
#include <thread>

namespace pivra {

CatalogReaders::CatalogReaders(QString path) : path_(std::move(path)) {}

std::size_t CatalogReaders::width()
{
    return std::max(1U, std::thread::hardware_concurrency());
}

sqlite::Connection CatalogReaders::take()
{
    {
        const std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            sqlite::Connection connection = std::move(idle_.back());
            idle_.pop_back();
            return connection;
        }
    }
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path_).constData(), &opened,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::Connection connection(opened); // closed by the deleter also when opening failed
    if (result != SQLITE_OK || !registerCellKeyFunction(opened)) {
        throw CatalogError(CatalogError::Kind::open);
    }
    sqlite3_busy_timeout(opened, sqlite::busyTimeoutMilliseconds);
    return connection;
}

void CatalogReaders::giveBack(std::vector<sqlite::Connection> connections)
{
    const std::lock_guard lock(mutex_);
    for (sqlite::Connection& connection : connections) {
        idle_.push_back(std::move(connection));
    }
}

void CatalogReaders::forEach(std::size_t count, std::size_t width,
                             const std::function<void(sqlite3*, std::size_t)>& job)
{
    width = std::clamp<std::size_t>(width, 1, std::max<std::size_t>(count, 1));
    std::vector<sqlite::Connection> connections;
    for (std::size_t reader = 0; reader < width; ++reader) {
        connections.push_back(take());
    }

    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto work = [&](sqlite3* db) {
        try {
            const sqlite::ReadTransaction snapshot(db);
            for (std::size_t index = next++; index < count; index = next++) {
                job(db, index);
            }
        } catch (...) {
            next = count;
            const std::lock_guard lock(failureMutex);
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    std::latch helpersDone(static_cast<std::ptrdiff_t>(width - 1));
    for (std::size_t reader = 1; reader < width; ++reader) {
        threadPool(PoolPriority::userInitiated)->start([&work, &helpersDone, db = connections[reader].get()] {
            work(db);
            helpersDone.count_down();
        });
    }
    work(connections.front().get());
    helpersDone.wait();
    giveBack(std::move(connections));
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace pivra
