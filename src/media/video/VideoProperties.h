#pragma once

#include "catalog/model/Timestamp.h"

#include <QMap>
#include <QString>
#include <optional>

namespace pivra {

// What a container says about a video, read with libavformat without decoding
// a frame.
struct VideoProperties {
    // Common metadata: platform identifier (see VideoMetadataKeys.h) → text.
    QMap<QString, QString> commonMetadata;
    // Seconds, as long as the video plays: the length its header states or,
    // where that is none or well more than the streams hold, theirs
    // (playedLength in StreamsLength.h). Absent when neither is known.
    std::optional<double> duration;
    // The duration is FFmpeg's guess from the bit rate and the file's size,
    // as for a stream whose end could not be read.
    bool durationGuessed = false;
    std::optional<Timestamp> creationDate;
    // The first video track's size as displayed, after its sample aspect ratio
    // and its display matrix (a quarter turn swaps the sides); 0×0 without a
    // video track.
    int width = 0;
    int height = 0;
    // The QuickTime content identifier pairing a Live Photo's clip with its still.
    std::optional<QString> contentIdentifier;
};

// Probes the file; nothing when libavformat cannot open it as a container.
// Probing is capped (probesize, analyzeduration) so that a transport stream
// costs a bounded read, and stream analysis runs only when the header alone
// names no stream, gives no duration or leaves a video track's size unknown.
// Never throws.
std::optional<VideoProperties> readVideoProperties(const QString& path);

// Only the content identifier, for files whose pairing is read on its own.
std::optional<QString> readContentIdentifier(const QString& path);

} // namespace pivra
