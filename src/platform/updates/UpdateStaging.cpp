#include "platform/updates/UpdateStaging.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace pivra {

UpdateStaging::~UpdateStaging()
{
    if (archive_ >= 0) {
        ::close(archive_);
    }
}

bool UpdateStaging::create()
{
    const QByteArray folder = QFile::encodeName(folder_);
    if (::mkdir(folder.constData(), 0700) != 0) {
        failed(errno);
        return false;
    }
    lock_ = FolderLock::tryTake(folder_);
    if (!lock_) {
        failed(errno);
        return false;
    }
    archive_ = ::open(QFile::encodeName(archivePath()).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (archive_ < 0) {
        failed(errno);
        return false;
    }
    return true;
}

bool UpdateStaging::write(const QByteArray& chunk)
{
    pending_ -= static_cast<std::uint64_t>(chunk.size());
    // Written straight through, with no buffer of our own, so the write the
    // disk refuses is the one that hears so.
    const char* next = chunk.constData();
    qsizetype left = chunk.size();
    while (failure_.isEmpty() && left > 0) {
        const ssize_t written = ::write(archive_, next, static_cast<size_t>(left));
        if (written < 0 && errno != EINTR) {
            failed(errno);
        } else if (written > 0) {
            next += written;
            left -= written;
        }
    }
    return failure_.isEmpty();
}

bool UpdateStaging::closeArchive()
{
    if (archive_ < 0) {
        return failure_.isEmpty();
    }
    // A network filesystem may send what it held back only now, and fail.
    const int result = ::close(std::exchange(archive_, -1));
    if (result != 0 && errno != EINTR) {
        failed(errno);
    }
    return failure_.isEmpty();
}

void UpdateStaging::failed(int error)
{
    if (!failure_.isEmpty()) {
        return;
    }
    failure_ = error == ENOSPC || error == EDQUOT
                   ? QStringLiteral("The update could not be saved: the disk is full.")
                   : QStringLiteral("The update could not be saved: %1.").arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString UpdateStaging::verifyAndUnpack(const QByteArray& publicKey, const QString& signature,
                                       const std::function<void(double)>& progress,
                                       const std::atomic<bool>& cancelled)
{
    if (!closeArchive()) {
        return failure_;
    }
    if (!verifyEd25519(archivePath(), publicKey, signature)) {
        return QStringLiteral("The update's signature is not valid.");
    }
    if (!QDir().mkpath(root())) {
        return QStringLiteral("The update could not be unpacked.");
    }
    try {
        extractArchive(archivePath(), root(), progress, cancelled);
    } catch (const UpdateArchiveError& error) {
        return QString::fromUtf8(error.what());
    }
    if (!QFileInfo::exists(root() + u'/' + installMarkerName)) {
        return QStringLiteral("The update is not a Pivra install folder.");
    }
    // The archive has done its work; only the tree is installed.
    QFile::remove(archivePath());
    return {};
}

void UpdateStaging::remove()
{
    if (archive_ >= 0) {
        ::close(std::exchange(archive_, -1));
    }
    removeFolderTree(folder_);
    lock_.reset();
}

} // namespace pivra
