#include "support/TestMounts.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>

namespace pivra::test {

TestMounts::~TestMounts()
{
    while (!mounted_.isEmpty()) {
        umount2(QFile::encodeName(mounted_.takeLast()).constData(), MNT_DETACH);
    }
    // A device still held by a lazily unmounted filesystem is let go by the
    // kernel once that goes.
    while (!attached_.isEmpty()) {
        run(QStringLiteral("losetup"), {QStringLiteral("--detach"), attached_.takeLast()});
    }
}

bool TestMounts::mountTmpfs(const QString& point, const QString& source, const QString& options)
{
    const QByteArray data = options.toUtf8();
    return mountCall(point,
                     mount(QFile::encodeName(source).constData(), QFile::encodeName(point).constData(), "tmpfs", 0,
                           data.isEmpty() ? nullptr : data.constData()),
                     "mount a tmpfs");
}

bool TestMounts::bind(const QString& from, const QString& point)
{
    return mountCall(point,
                     mount(QFile::encodeName(from).constData(), QFile::encodeName(point).constData(), nullptr, MS_BIND,
                           nullptr),
                     "bind-mount");
}

bool TestMounts::bindThroughFuse(const QString& from, const QString& point)
{
    if (!run(QStringLiteral("bindfs"), {QStringLiteral("-o"), QStringLiteral("nonempty"), from, point})) {
        return false;
    }
    mounted_.append(point);
    return true;
}

bool TestMounts::makeExt4Image(const QString& image, const QString& uuid, bool birthTimes)
{
    // Inodes of 256 bytes, as on any disk of some size: the 128 bytes mkfs
    // gives a filesystem this small leave no room for birth times.
    return run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"),
                                             birthTimes ? QStringLiteral("256") : QStringLiteral("128"),
                                             QStringLiteral("-U"), uuid, image, QStringLiteral("8M")});
}

std::optional<QString> TestMounts::replaceImage(const QString& device, const QString& image)
{
    if (!run(QStringLiteral("losetup"), {QStringLiteral("--detach"), device})) {
        return std::nullopt;
    }
    attached_.removeAll(device);
    if (run(QStringLiteral("losetup"), {device, image})) {
        attached_.append(device);
        return device;
    }
    return attach(image);
}

std::optional<QString> TestMounts::attach(const QString& image)
{
    QString device;
    if (!run(QStringLiteral("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image}, &device)) {
        return std::nullopt;
    }
    attached_.append(device);
    return device;
}

bool TestMounts::mountExt4(const QString& device, const QString& point)
{
    return mountCall(point,
                     mount(QFile::encodeName(device).constData(), QFile::encodeName(point).constData(), "ext4", 0,
                           nullptr),
                     "mount an ext4 image");
}

bool TestMounts::unmount(const QString& point)
{
    if (umount2(QFile::encodeName(point).constData(), MNT_DETACH) != 0) {
        const int error = errno;
        failure_ = QStringLiteral("cannot unmount %1: %2").arg(point, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    if (const qsizetype index = mounted_.lastIndexOf(point); index >= 0) {
        mounted_.removeAt(index);
    }
    return true;
}

bool TestMounts::run(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure_ = QStringLiteral("%1 %2 failed: %3%4")
                       .arg(program, arguments.join(u' '), process.errorString(),
                            QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (output != nullptr) {
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }
    return true;
}

bool TestMounts::mountCall(const QString& point, int result, const char* what)
{
    const int error = errno;
    if (result != 0) {
        failure_ = QStringLiteral("cannot %1 at %2: %3")
                       .arg(QLatin1String(what), point, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    mounted_.append(point);
    return true;
}

} // namespace pivra::test
