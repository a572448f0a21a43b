#pragma once

#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QImage>
#include <QSize>

#include <optional>

namespace pivra::test {

// Which frame of a fixture clip `picture` shows: found by the moving block,
// which steps right by a 64th of the stored width per frame. `stored` is the
// clip's frame size; the picture may be scaled (not rotated). None when no
// block can be seen.
inline std::optional<int> frameIndexShown(const QImage& picture, QSize stored)
{
    if (picture.isNull()) {
        return std::nullopt;
    }
    const double scale = double(picture.width()) / stored.width();
    const int row = int(picture.height() * 11.0 / 16);
    for (int x = 0; x < picture.width(); ++x) {
        if (qGray(picture.pixel(x, row)) < 50) {
            return int(std::lround(x / scale / std::max(1, stored.width() / 64)));
        }
    }
    return std::nullopt;
}

// A folder of clips and settings of the test's own.
class VideoFolderTest : public TempFolderTest {
protected:
    // A clip of `seconds` at `framesPerSecond`, 320 by 240 unless told.
    QString clip(const QString& name, int seconds, int framesPerSecond, VideoFields fields = {})
    {
        fields.frames = seconds * framesPerSecond;
        fields.framesPerSecond = framesPerSecond;
        if (fields.codec == VideoCodec::mpeg4) {
            fields.codec = VideoCodec::h264;
        }
        const QString path = pathOf(name);
        EXPECT_TRUE(makeVideo(path, fields)) << name.toStdString();
        return path;
    }

    SettingsSandbox settings_{pathOf(QStringLiteral("config"))};
};

} // namespace pivra::test
