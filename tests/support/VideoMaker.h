#pragma once

#include <QMap>
#include <QSize>
#include <QString>
#include <optional>

namespace pivra::test {

// What a fixture clip carries. QuickTime metadata (make, model, location,
// content identifier, creation date) is written into the `mdta` key list, as
// an iPhone writes it; `userData` entries go out under FFmpeg's own tag names
// ("location", "make"…), which the muxer writes into the classic `udta` atoms
// as an Android phone does.
struct VideoFields {
    QSize size{320, 240};  // stored frame size
    int frames = 5;        // at 25 frames per second
    bool audioOnly = false; // one second of silence instead of pictures (MOV only)
    int rotation = 0;       // clockwise quarter turns in degrees, as a display matrix
    std::optional<QSize> pixelAspect;    // one pixel's width:height (12:11), in the container only
    std::optional<QString> creationTime; // the container's own date, "2023-07-14T16:05:09Z"
    std::optional<QString> make;
    std::optional<QString> model;
    std::optional<QString> location;          // ISO 6709, "+37.3349-122.0090+000.000/"
    std::optional<QString> contentIdentifier; // the Live Photo pairing
    std::optional<QString> creationDate;      // QuickTime's, "2023-07-14T18:05:09+0200"
    QMap<QString, QString> userData;
};

// Writes a real clip with libavformat and libavcodec (MPEG-4 part 2 video, or
// MPEG-2 in a program stream; PCM audio); the container follows the extension
// (".mov", ".mp4", ".avi", ".mpg", ".mts").
// Answers false when anything fails.
bool makeVideo(const QString& path, const VideoFields& fields = {});

} // namespace pivra::test
