#include "support/files/DamagedVideos.h"

#include "support/files/VideoMaker.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <optional>

namespace pivra::test {
namespace {

std::optional<QByteArray> readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// `bytes` of an MP4 with the payload of each top-level 'mdat' atom zeroed.
// The fixtures are small: every atom has a 32-bit size.
QByteArray zeroedPayload(QByteArray bytes)
{
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        const qsizetype size = qFromBigEndian<quint32>(bytes.constData() + at);
        if (size < 8 || at + size > bytes.size()) {
            break;
        }
        if (bytes.mid(at + 4, 4) == "mdat") {
            std::fill(bytes.begin() + at + 8, bytes.begin() + at + size, '\0');
        }
        at += size;
    }
    return bytes;
}

} // namespace

std::vector<DamagedVideo> makeDamagedVideos(const QString& folder, int seconds)
{
    const QDir dir(folder);
    VideoFields indexLast;
    indexLast.codec = VideoCodec::h264;
    indexLast.withAudio = true;
    indexLast.grain = true; // as large as a filmed video, so that a tenth holds more than the index
    indexLast.framesPerSecond = 10;
    indexLast.frames = seconds * indexLast.framesPerSecond;
    VideoFields indexFirst = indexLast;
    indexFirst.indexFirst = true;
    const QString made = dir.filePath(QStringLiteral("made.mp4"));
    const auto whole = [&](const VideoFields& fields) {
        std::optional<QByteArray> bytes = makeVideo(made, fields) ? readAll(made) : std::nullopt;
        QFile::remove(made);
        return bytes;
    };
    const std::optional<QByteArray> plain = whole(indexLast);
    const std::optional<QByteArray> streamable = whole(indexFirst);
    const std::vector<DamagedVideo> damaged{
        {dir.filePath(QStringLiteral("cut.mp4")), false},
        {dir.filePath(QStringLiteral("cut-index-first.mp4")), true},
        {dir.filePath(QStringLiteral("zeroed.mp4")), false},
    };
    if (!plain || !streamable || !writeBytes(damaged[0].path, plain->left(plain->size() / 10))
        || !writeBytes(damaged[1].path, streamable->left(streamable->size() / 10))
        || !writeBytes(damaged[2].path, zeroedPayload(*plain))) {
        return {};
    }
    return damaged;
}

QByteArray withStatedLength(QByteArray video, double factor)
{
    // Where the length lies after the box's name, in its first version.
    for (const auto& [box, offset] : {std::pair{QByteArrayLiteral("mvhd"), 20}, {QByteArrayLiteral("tkhd"), 24}}) {
        for (qsizetype at = video.indexOf(box); at >= 0; at = video.indexOf(box, at + 4)) {
            if (at + offset + 4 > video.size() || video[at + 4] != 0) {
                return {};
            }
            auto* length = reinterpret_cast<uchar*>(video.data() + at + offset);
            qToBigEndian(quint32(std::llround(qFromBigEndian<quint32>(length) * factor)), length);
        }
    }
    return video;
}

} // namespace pivra::test
