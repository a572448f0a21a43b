#pragma once

#include "media/video/VideoInput.h"

#include <QSize>
#include <QString>

#include <optional>

namespace pivra {

// The clip's frame size for a video of `natural` size (as stored, before its
// display rotation): scaled so that its longer side is at most 640 pixels,
// never enlarged, each side then halved, truncated and doubled (even, at
// least 2).
QSize previewClipSize(QSize natural);

// How much of a video a clip holds: its duration up to 3 seconds; 3 seconds
// when the duration is unknown or not finite.
double previewClipSeconds(std::optional<double> duration);

// Writes the preview clip of the video at `source` into `destination`, an
// MPEG-4 file: the first previewClipSeconds() of its first video track,
// without sound, HEVC ('hvc1') at 450,000 bit/s with a key frame at least
// every second, the index at the front, the frames scaled to
// previewClipSize() and the source's display rotation carried as the
// track's display matrix, not applied. Throws VideoError: `corruptFile` when
// the video cannot be read or gives no frame in that time (no file is then
// created), `writeFailed` when encoding or writing fails, which includes a
// clip with a side under 16 pixels (641 × 3 gives 640 × 2), as x265 takes
// none. `destination` may then hold a partial file; the caller removes it.
// Several may run at once on different files: each encoder keeps to a few
// threads, but decoding a 4K HEVC source holds about 300 MB while it runs.
void encodePreviewClip(const QString& source, const QString& destination);
// The same for a video opened already: one read from a device through a
// VideoByteSource (null, when it could not be opened, fails as `corruptFile`).
void encodePreviewClip(VideoInput source, const QString& destination);

} // namespace pivra
