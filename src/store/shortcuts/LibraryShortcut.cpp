#include "store/shortcuts/LibraryShortcut.h"

#include "catalog/model/Uuid.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra {

const QString LibraryShortcut::extension = QStringLiteral("pivra");

namespace {

// toInteger answers its default for text, fractions and numbers out of
// range, so two different defaults give away all three.
std::optional<qint64> integerValue(const QJsonValue& value)
{
    const qint64 low = value.toInteger(std::numeric_limits<qint64>::min());
    if (low != value.toInteger(std::numeric_limits<qint64>::max())) {
        return std::nullopt;
    }
    return low;
}

bool isRegularFile(const struct stat& info)
{
    return S_ISREG(info.st_mode);
}

// Opening a FIFO waits for a writer and a device may never end, so only a
// regular file smaller than `limit` is opened at all. O_NONBLOCK and the
// second look through the descriptor cover a path replaced in between.
std::optional<QByteArray> readSmallFile(const QString& path, qsizetype limit)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !isRegularFile(info) || info.st_size >= limit) {
        return std::nullopt;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &info) != 0 || !isRegularFile(info)) {
        return std::nullopt;
    }
    QByteArray data(limit, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < limit) {
        const ssize_t got = ::read(fd, data.data() + filled, static_cast<size_t>(limit - filled));
        if (got == 0) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            return std::nullopt;
        }
        filled += std::max<ssize_t>(got, 0);
    }
    // A file that grew to the limit since the first look is refused as well.
    if (filled >= limit) {
        return std::nullopt;
    }
    data.truncate(filled);
    return data;
}

} // namespace

// Written by hand: QJsonDocument orders members by name, and the record puts
// "version" first.
QByteArray LibraryShortcut::encode() const
{
    return "{\"version\":" + QByteArray::number(version) + ",\"libraryID\":\"" + uuidString(libraryID).toLatin1()
           + "\"}";
}

std::optional<LibraryShortcut> LibraryShortcut::decode(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const std::optional<qint64> version = integerValue(object.value(QLatin1StringView("version")));
    const QJsonValue idValue = object.value(QLatin1StringView("libraryID"));
    const std::optional<QUuid> id = idValue.isString() ? parseUuid(idValue.toString()) : std::nullopt;
    if (!version || !id) {
        return std::nullopt;
    }
    return LibraryShortcut{*version, *id};
}

bool writeLibraryShortcut(const QString& path, const LibraryShortcut& shortcut)
{
    QSaveFile file(path);
    const QByteArray bytes = shortcut.encode();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

std::optional<LibraryShortcut> readLibraryShortcut(const QString& path)
{
    const std::optional<QByteArray> bytes = readSmallFile(path, LibraryShortcut::sizeLimit);
    return bytes ? LibraryShortcut::decode(*bytes) : std::nullopt;
}

} // namespace pivra
