#include "platform/runtime/memory/MemoryLimit.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

#include <unistd.h>

namespace pivra {
namespace {

// v1 writes "no limit" as the largest multiple of the page size below 2^63.
constexpr std::int64_t unlimitedFrom = std::int64_t(1) << 62;

std::optional<std::int64_t> limitIn(const QString& file)
{
    QFile limit(file);
    if (!limit.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool number = false;
    const std::int64_t bytes = limit.readAll().trimmed().toLongLong(&number);
    return number && bytes > 0 && bytes < unlimitedFrom ? std::optional(bytes) : std::nullopt;
}

// The least limit in `name` files of the group at `path` below `mount` and
// of the groups above it, up to the mount itself.
std::optional<std::int64_t> leastOnTheWayUp(const QString& mount, QString path, const QString& name)
{
    std::optional<std::int64_t> least;
    for (;;) {
        if (const std::optional<std::int64_t> limit = limitIn(mount + path + QLatin1Char('/') + name)) {
            least = std::min(least.value_or(*limit), *limit);
        }
        if (path.isEmpty() || path == QLatin1String("/")) {
            return least;
        }
        path.truncate(std::max<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 0));
    }
}

} // namespace

std::optional<std::int64_t> cgroupMemoryLimit(const CgroupFiles& files)
{
    QFile membership(files.membership);
    if (!membership.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    std::optional<std::int64_t> least;
    const auto take = [&least](std::optional<std::int64_t> limit) {
        if (limit) {
            least = std::min(least.value_or(*limit), *limit);
        }
    };
    // "hierarchy:controllers:path": v2's one line has hierarchy 0 and no
    // controllers; v1 has a line for each mounted hierarchy.
    for (const QByteArray& line : membership.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3) {
            continue;
        }
        const QString path = QString::fromUtf8(line.mid(fields[0].size() + fields[1].size() + 2));
        if (fields[0] == "0" && fields[1].isEmpty()) {
            take(leastOnTheWayUp(files.root, path, QStringLiteral("memory.max")));
        } else if (fields[1].split(',').contains("memory")) {
            take(leastOnTheWayUp(files.root + QStringLiteral("/memory"), path, QStringLiteral("memory.limit_in_bytes")));
        }
    }
    return least;
}

std::int64_t usableMemory(const CgroupFiles& files)
{
    const std::int64_t machine = std::int64_t(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    return std::min(machine, cgroupMemoryLimit(files).value_or(machine));
}

} // namespace pivra
