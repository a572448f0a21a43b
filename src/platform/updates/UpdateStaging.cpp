#include "platform/updates/UpdateStaging.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/AppcastItem.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/KeptUpdate.h"
#include "platform/updates/UpdateArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace pivra {

namespace {

using namespace std::chrono_literals;

// A program that has not said its version by then will not.
constexpr auto versionAnswerTime = 30s;

// The version the program at `path` gives for `--version` ("Pivra 2.0"),
// or none when it gives none.
std::optional<QString> programVersion(const QString& path)
{
    QProcess program;
    program.setProgram(path);
    program.setArguments({QStringLiteral("--version")});
    program.setWorkingDirectory(QFileInfo(path).path());
    program.start();
    if (!program.waitForFinished(static_cast<int>(std::chrono::milliseconds(versionAnswerTime).count()))) {
        program.kill();
        program.waitForFinished();
        return std::nullopt;
    }
    const QString answer = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    const QString product = QStringLiteral("Pivra ");
    if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0 || !answer.startsWith(product)) {
        return std::nullopt;
    }
    return answer.mid(product.size()).trimmed();
}

} // namespace

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

std::optional<StagingRefusal> UpdateStaging::verifyAndUnpack(const QByteArray& publicKey, const UpdateClaim& claim,
                                                             const std::function<void(double)>& progress,
                                                             const std::atomic<bool>& cancelled)
{
    if (!closeArchive()) {
        return StagingRefusal{failure_};
    }
    if (!verifyUpdateSignature(archivePath(), claim.version, publicKey, claim.signature)) {
        return StagingRefusal{QStringLiteral("The update's signature is not valid."), true};
    }
    if (!QDir().mkpath(root())) {
        return StagingRefusal{QStringLiteral("The update could not be unpacked.")};
    }
    try {
        extractArchive(archivePath(), root(), progress, cancelled);
    } catch (const UpdateArchiveError& error) {
        return StagingRefusal{QString::fromUtf8(error.what())};
    }
    if (!QFileInfo::exists(root() + u'/' + installMarkerName)) {
        return StagingRefusal{QStringLiteral("The update is not a Pivra install folder.")};
    }
    // The archive has done its work; only the tree is installed.
    QFile::remove(archivePath());
    // A release signed under the wrong version would install, be offered
    // again as the version it is not, and install again without end.
    const std::optional<QString> said = programVersion(root() + u'/' + claim.program);
    if (!said) {
        return StagingRefusal{QStringLiteral("The update's program does not say its version.")};
    }
    if (compareVersions(*said, claim.version) != 0) {
        return StagingRefusal{QStringLiteral("The update's program says it is Pivra %1, not %2.").arg(*said, claim.version),
                              true};
    }
    noteStagedVersion(folder_, claim.version);
    return std::nullopt;
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
