#include "platform/updates/UpdateStaging.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateArchive.h"

#include <QDir>
#include <QFileInfo>

namespace pivra {

bool UpdateStaging::create()
{
    if (!QDir().mkdir(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        return false;
    }
    lock_ = FolderLock::tryTake(folder_);
    archive_ = std::make_unique<QFile>(folder_ + QStringLiteral("/archive"));
    writable_ = lock_ && archive_->open(QIODevice::WriteOnly);
    return writable_;
}

bool UpdateStaging::write(const QByteArray& chunk)
{
    writable_ = writable_ && archive_->write(chunk) == chunk.size();
    pending_ -= static_cast<std::uint64_t>(chunk.size());
    return writable_;
}

QString UpdateStaging::verifyAndUnpack(const QByteArray& publicKey, const QString& signature,
                                       const std::function<void(double)>& progress,
                                       const std::atomic<bool>& cancelled)
{
    if (!writable_) {
        return QStringLiteral("The update could not be saved beside the program.");
    }
    archive_->close();
    if (!verifyEd25519(archive_->fileName(), publicKey, signature)) {
        return QStringLiteral("The update's signature is not valid.");
    }
    if (!QDir().mkpath(root())) {
        return QStringLiteral("The update could not be unpacked.");
    }
    try {
        extractArchive(archive_->fileName(), root(), progress, cancelled);
    } catch (const UpdateArchiveError& error) {
        return QString::fromUtf8(error.what());
    }
    if (!QFileInfo::exists(root() + u'/' + installMarkerName)) {
        return QStringLiteral("The update is not a Pivra install folder.");
    }
    // The archive has done its work; only the tree is installed.
    archive_->remove();
    return {};
}

void UpdateStaging::remove()
{
    archive_.reset();
    removeFolderTree(folder_);
    lock_.reset();
}

} // namespace pivra
