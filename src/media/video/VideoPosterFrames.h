#pragma once

#include "media/thumbnails/render/ThumbnailRenderer.h"

#include <optional>

namespace pivra {

// When a video's poster frame is taken: one second in, or half-way through a
// shorter clip; at the start when the length is unknown.
double posterFrameSeconds(std::optional<double> duration);

// Poster frames read with FFmpeg: the frame shown at posterFrameSeconds() of
// the file's first video track, scaled straight from the decoded picture to
// fit `pixels` in the shape the catalog gives the item (the track's sample
// aspect ratio applied, never enlarged), then turned upright by the track's
// display rotation.
//
// The poster is found by a seek to the key frame before it and decoding
// forward. When the seek cannot be made, or gives no frame or one past the
// poster (a damaged index), the track is read from its start instead; a
// track that ends before the poster time gives its last frame. Nothing
// decodable gives a null image.
//
// Keeps no state between calls: safe on several threads at once.
class VideoPosterFrames : public VideoFrameSource {
public:
    QImage frame(const QString& path, int pixels) const override;
};

} // namespace pivra
