#include "platform/updates/KeptUpdate.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <sys/stat.h>

namespace pivra {

namespace {

const QString versionNote = QStringLiteral("/version");
const QString failureNote = QStringLiteral("/failure");

// The install folder as the kernel knows it: which folder it is, and when
// its status last changed. Moving it, mounting something there, changing its
// owner or its modes all change it.
QString folderStamp(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {};
    }
    return QStringLiteral("%1:%2:%3.%4")
        .arg(status.st_dev)
        .arg(status.st_ino)
        .arg(status.st_ctim.tv_sec)
        .arg(status.st_ctim.tv_nsec);
}

void writeNote(const QString& path, const QByteArray& bytes)
{
    QSaveFile note(path);
    if (note.open(QIODevice::WriteOnly)) {
        note.write(bytes);
        note.commit();
    }
}

QByteArray readNote(const QString& path)
{
    QFile note(path);
    // A note is a line or two; anything larger was not written here.
    return note.open(QIODevice::ReadOnly) ? note.read(64 * 1024) : QByteArray();
}

} // namespace

void noteStagedVersion(const QString& staging, const QString& version)
{
    writeNote(staging + versionNote, version.toUtf8());
}

QString stagedVersion(const QString& staging)
{
    return QString::fromUtf8(readNote(staging + versionNote)).trimmed();
}

void keepFailedInstall(const QString& staging, const QString& installRoot, const QString& reason)
{
    const QJsonObject failure{{QStringLiteral("reason"), reason}, {QStringLiteral("installFolder"), folderStamp(installRoot)}};
    writeNote(staging + failureNote, QJsonDocument(failure).toJson(QJsonDocument::Compact));
}

std::optional<KeptUpdate> keptUpdate(const QString& staging, const QString& installRoot)
{
    const QString version = stagedVersion(staging);
    const QJsonObject failure = QJsonDocument::fromJson(readNote(staging + failureNote)).object();
    const QString stamp = failure.value(QStringLiteral("installFolder")).toString();
    if (version.isEmpty() || stamp.isEmpty() || stamp != folderStamp(installRoot)) {
        return std::nullopt;
    }
    return KeptUpdate{version, failure.value(QStringLiteral("reason")).toString()};
}

} // namespace pivra
