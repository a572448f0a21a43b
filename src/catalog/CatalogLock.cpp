#include "catalog/CatalogLock.h"

#include "catalog/CatalogError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pivra {

CatalogLock::CatalogLock(const QString& databasePath)
{
    const QByteArray lockPath = QFile::encodeName(databasePath + QStringLiteral(".lock"));
    fd_ = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw CatalogError(CatalogError::Kind::open);
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        close(fd_);
        throw CatalogError(CatalogError::Kind::open);
    }
}

CatalogLock::~CatalogLock()
{
    close(fd_); // releases the lock
}

} // namespace pivra
