#include "platform/folders/MountTable.h"

#include "platform/folders/FileNameText.h"

#include <QByteArrayView>
#include <QFile>
#include <QSet>

#include <optional>

#include <sys/sysmacros.h>

namespace pivra {
namespace {

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes space, tab, newline and backslash as three octal digits,
// and every other byte as it is: a mount point named in Latin-1 reads as the
// same text as the paths below it, which keep their bytes too.
QString decodeField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1])
            && isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            bytes += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8
                                       + (field[i + 3] - '0'));
            i += 3;
        } else {
            bytes += field[i];
        }
    }
    return fileNameText(bytes);
}

// "36 35 98:0 /root /mount/point options [optional fields...] - type source superoptions"
std::optional<MountEntry> parseLine(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype separator = fields.indexOf(QByteArray("-"), 6);
    if (separator < 0 || separator + 2 >= fields.size()) {
        return std::nullopt;
    }
    bool isNumber = false;
    const int mountId = fields[0].toInt(&isNumber);
    if (!isNumber) {
        return std::nullopt;
    }
    const QList<QByteArray> numbers = fields[2].split(':');
    bool isMajor = false;
    bool isMinor = false;
    const unsigned major = numbers.size() == 2 ? numbers[0].toUInt(&isMajor) : 0;
    const unsigned minor = numbers.size() == 2 ? numbers[1].toUInt(&isMinor) : 0;
    if (!isMajor || !isMinor) {
        return std::nullopt;
    }
    return MountEntry{mountId,
                      decodeField(fields[3]),
                      decodeField(fields[4]),
                      decodeField(fields[separator + 1]),
                      decodeField(fields[separator + 2]),
                      static_cast<std::uint64_t>(makedev(major, minor)),
                      separator + 3 < fields.size() ? decodeField(fields[separator + 3]) : QString()};
}

bool isNetworkFilesystem(const QString& fsType)
{
    static const QSet<QString> types{
        QStringLiteral("nfs"),  QStringLiteral("nfs4"), QStringLiteral("cifs"),
        QStringLiteral("smb3"), QStringLiteral("smbfs"), QStringLiteral("afs"),
        QStringLiteral("ceph"), QStringLiteral("fuse.sshfs")};
    return types.contains(fsType);
}

// The entries of `from` missing in `other` that may hold files.
QList<MountEntry> missingFrom(const QList<MountEntry>& from, const QList<MountEntry>& other)
{
    QList<MountEntry> missing;
    for (const MountEntry& entry : from) {
        if (!isPseudoFilesystem(entry) && !other.contains(entry)) {
            missing.append(entry);
        }
    }
    return missing;
}

} // namespace

QList<MountEntry> parseMountTable(const QByteArray& text)
{
    QList<MountEntry> table;
    for (const QByteArray& line : text.split('\n')) {
        if (std::optional<MountEntry> entry = parseLine(line)) {
            table.append(std::move(*entry));
        }
    }
    return table;
}

std::optional<QList<MountEntry>> readMountTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("pivra: cannot read the mount table %s: %s", qUtf8Printable(path),
                 qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    return parseMountTable(file.readAll());
}

std::optional<MountEntry> mountHolding(const QList<MountEntry>& table, const QString& path)
{
    const MountEntry* holder = nullptr;
    for (const MountEntry& entry : table) {
        const QString& point = entry.mountPoint;
        if (liesUnder(path, point) && (holder == nullptr || point.size() >= holder->mountPoint.size())) {
            holder = &entry;
        }
    }
    return holder != nullptr ? std::optional<MountEntry>(*holder) : std::nullopt;
}

bool isRealVolume(const MountEntry& entry)
{
    if (isNetworkFilesystem(entry.fsType)) {
        return true;
    }
    return entry.source.startsWith(QLatin1String("/dev/"))
           && !entry.source.startsWith(QLatin1String("/dev/loop"))
           && entry.root == QLatin1String("/") && !entry.fsType.startsWith(QLatin1String("fuse."));
}

bool isPseudoFilesystem(const MountEntry& entry)
{
    static const QSet<QString> types{
        QStringLiteral("proc"),        QStringLiteral("sysfs"),      QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),     QStringLiteral("devtmpfs"),   QStringLiteral("devpts"),
        QStringLiteral("mqueue"),      QStringLiteral("debugfs"),    QStringLiteral("tracefs"),
        QStringLiteral("securityfs"),  QStringLiteral("pstore"),     QStringLiteral("bpf"),
        QStringLiteral("configfs"),    QStringLiteral("fusectl"),    QStringLiteral("hugetlbfs"),
        QStringLiteral("autofs"),      QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rpc_pipefs"), QStringLiteral("selinuxfs"),
        QStringLiteral("binder"),      QStringLiteral("nfsd")};
    return types.contains(entry.fsType);
}

bool namesItsShare(const MountEntry& entry)
{
    if (isNetworkFilesystem(entry.fsType) || sharesByFolder(entry)) {
        return true;
    }
    if (entry.fsType == QLatin1String("fuse")) {
        return entry.source.startsWith(QLatin1Char('/'));
    }
    const QLatin1StringView namedFuse("fuse.");
    return entry.fsType.startsWith(namedFuse) && !entry.source.isEmpty()
           && entry.source != QStringView(entry.fsType).mid(namedFuse.size());
}

bool sharesByFolder(const MountEntry& entry)
{
    return entry.fsType == QLatin1String("fuse.gvfsd-fuse");
}

bool keepsInodeNumbers(const MountEntry& entry)
{
    static const QSet<QString> serverNumbered{QStringLiteral("nfs"), QStringLiteral("nfs4"), QStringLiteral("afs"),
                                              QStringLiteral("ceph")};
    if (serverNumbered.contains(entry.fsType)) {
        return true;
    }
    return (entry.fsType == QLatin1String("cifs") || entry.fsType == QLatin1String("smb3"))
           && entry.options.split(QLatin1Char(',')).contains(QLatin1String("serverino"));
}

bool liesUnder(const QString& path, const QString& mountPoint)
{
    return mountPoint == QLatin1String("/") || path == mountPoint
           || (path.startsWith(mountPoint) && path.size() > mountPoint.size()
               && path.at(mountPoint.size()) == QLatin1Char('/'));
}

MountChange diffMountTables(const QList<MountEntry>& before, const QList<MountEntry>& after)
{
    return MountChange{missingFrom(after, before), missingFrom(before, after)};
}

} // namespace pivra
