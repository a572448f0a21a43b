#include "catalog/CatalogLock.h"

#include "catalog/CatalogError.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pivra {

namespace {

// Short beside the few hundred milliseconds an ending copy holds the lock.
constexpr std::chrono::milliseconds retryEvery{20};

std::atomic<bool> waitsEnded{false};

} // namespace

void CatalogLock::endWaits()
{
    waitsEnded.store(true);
}

CatalogLock::CatalogLock(const QString& databasePath, int waitMilliseconds)
{
    const QByteArray lockPath = QFile::encodeName(databasePath + QStringLiteral(".lock"));
    fd_ = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw CatalogError(CatalogError::Kind::open);
    }
    // Tried rather than waited for in flock() itself, which no time bounds.
    const auto givenUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= givenUpAt
            || waitsEnded.load()) {
            close(fd_);
            throw CatalogError(CatalogError::Kind::open);
        }
        std::this_thread::sleep_for(retryEvery);
    }
}

CatalogLock::~CatalogLock()
{
    close(fd_); // releases the lock
}

} // namespace pivra
