#include "support/files/UndecodableVideos.h"

#include "support/files/VideoMaker.h"

#include <QDir>
#include <QFile>

namespace pivra::test {
namespace {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

QStringList makeUndecodableVideos(const QString& folder)
{
    const QDir dir(folder);
    const QString voice = dir.filePath(QStringLiteral("voice.mov"));
    const QString whole = dir.filePath(QStringLiteral("whole.mp4"));
    const QString truncated = dir.filePath(QStringLiteral("truncated.mp4"));
    const QString noise = dir.filePath(QStringLiteral("noise.mp4"));
    const QString empty = dir.filePath(QStringLiteral("empty.mp4"));
    VideoFields audioOnly;
    audioOnly.audioOnly = true;
    QFile made(whole);
    if (!makeVideo(voice, audioOnly) || !makeVideo(whole) || !made.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = made.readAll();
    made.remove();
    if (!writeBytes(truncated, bytes.left(bytes.size() / 3)) || !writeBytes(noise, QByteArray(4096, '\x5a'))
        || !writeBytes(empty, QByteArray())) {
        return {};
    }
    return {voice, truncated, noise, empty, dir.filePath(QStringLiteral("missing.mp4"))};
}

} // namespace pivra::test
