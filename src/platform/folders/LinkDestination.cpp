#include "platform/folders/LinkDestination.h"

#include "platform/folders/FileNameText.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/MountTable.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <optional>

namespace pivra {
namespace {

// As many links as the kernel follows in one path.
constexpr int mostLinks = 40;

std::optional<QString> linkTarget(const QString& link)
{
    std::array<char, 4096> target{};
    const ssize_t size = ::readlink(fileNameBytes(link).constData(), target.data(), target.size());
    if (size <= 0 || static_cast<std::size_t>(size) == target.size()) {
        return std::nullopt;
    }
    return fileNameText(QByteArrayView(target.data(), size));
}

} // namespace

bool linkLeadsOff(const QString& path, std::uint64_t filesystem)
{
    QStringList pending = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString reached = QStringLiteral("/");
    std::optional<QList<MountEntry>> table;
    for (int links = 0; !pending.isEmpty();) {
        const QString name = pending.takeFirst();
        if (name == QLatin1String(".")) {
            continue;
        }
        if (name == QLatin1String("..")) {
            reached = QFileInfo(reached).path();
            continue;
        }
        const QString next = QDir::cleanPath(reached + QLatin1Char('/') + name);
        struct stat info {};
        if (::lstat(fileNameBytes(next).constData(), &info) != 0) {
            return false;
        }
        if (!S_ISLNK(info.st_mode)) {
            reached = next;
            continue;
        }
        const std::optional<QString> target = linkTarget(next);
        if (!target || ++links > mostLinks) {
            return false;
        }
        const QString from = target->startsWith(QLatin1Char('/')) ? QString() : reached + QLatin1Char('/');
        const QString aimed = QDir::cleanPath(from + *target + QLatin1Char('/') + pending.join(QLatin1Char('/')));
        if (!table) {
            table = readMountTable(QString::fromLatin1(MountMonitor::processMountTable));
            if (!table) {
                return false;
            }
        }
        if (const std::optional<MountEntry> mount = mountHolding(*table, aimed);
            mount && mount->device != filesystem) {
            return true;
        }
        pending = target->split(QLatin1Char('/'), Qt::SkipEmptyParts) + pending;
        if (target->startsWith(QLatin1Char('/'))) {
            reached = QStringLiteral("/");
        }
    }
    return false;
}

} // namespace pivra
