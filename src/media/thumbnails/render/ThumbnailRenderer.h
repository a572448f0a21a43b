#pragma once

#include "catalog/model/MediaItem.h"
#include "media/thumbnails/render/DecodeBudget.h"

#include <QImage>
#include <QString>

#include <memory>

namespace pivra {

// Where the renderer gets a still of a video: the program's store installs
// FFmpeg poster frames (VideoPosterFrames.h); a renderer made without one
// gives videos no frame.
class VideoFrameSource {
public:
    virtual ~VideoFrameSource() = default;

    // A frame of the video upright (display rotation applied) with its longer
    // side at most `pixels`; a null image when there is none. Called on worker
    // threads, several at once.
    virtual QImage frame(const QString& path, int pixels) const = 0;
};

// What rendering one file gave.
struct Rendering {
    QImage image; // null when nothing could be drawn
    // With no image: the file's content type when it is a kind of file no
    // decoder here can draw (rather than a broken file). The grid then shows
    // that type's icon, which is never stored: a real renderer may come later.
    QString standInType;
    // Nothing was decoded, and nothing will be until the file changes: it
    // declares more than one decode may take (DecodeBudget.h), or decoding
    // it ended earlier runs of the program (RenderAttempts.h).
    bool refused = false;

    static Rendering refusal() { return {{}, {}, true}; }
};

// Makes bounded, upright thumbnails of files, never larger than the file.
//
// A JPEG thumbnail is drawn by libjpeg alone on the calling thread, decoded
// at a reduced scale and shrunk through a Lanczos filter as libvips would
// (JpegPixels.h), as eight of them made at once spent more time in libvips'
// locks and workers than in decoding; a larger picture of a JPEG (the
// viewer's) goes through libvips, whose workers share its shrink. A HEIC is
// decoded by libheif into planes that libvips shrinks in place
// (HeicPlanes.h). Other photos go through libvips' thumbnail operation, and
// only through its loaders of the image types the catalog indexes, whatever the content claims to be; BMP, which no loader
// libvips trusts reads, goes through Qt's decoder; RAW files, whose sensor
// data libvips cannot read, are drawn from their embedded previews. A JPEG
// is drawn as far as it decodes, whatever libvips would make of its damage:
// only a file with nothing decodable gets no image.
//
// Orientation is applied exactly once, by hand, for every format alike: the
// decoders leave the pixels as stored, and the image is turned by the file's
// display orientation (ImageOrientation.h; a JPEG's from its own Exif
// segment), the one the inspection reads, so a thumbnail always has its
// item's shape. For HEIF libheif applies the
// container's transforms while decoding, and the display orientation is 1.
//
// Every image comes out as 8-bit sRGB without alpha (transparent areas on
// white), since it is shown by Qt, which does no colour management, and stored
// as JPEG.
//
// A photo whose header declares more pixels than any camera makes
// (declaresTooManyPixels, PixelHeader.h), or whose decoding would hold more
// memory than one decode may (DecodeBudget.h), is refused before anything is
// decoded: no image and no stand-in, so it counts as failed, for good. Large
// decodes within the budget share the memory set aside for them.
//
// Safe to call from several threads at once.
class ThumbnailRenderer {
public:
    explicit ThumbnailRenderer(std::shared_ptr<const VideoFrameSource> videoFrames = {});
    virtual ~ThumbnailRenderer() = default;

    ThumbnailRenderer(const ThumbnailRenderer&) = delete;
    ThumbnailRenderer& operator=(const ThumbnailRenderer&) = delete;

    // The item's file with its longer side at most `pixels`; a large decode
    // waits for its share of the decode budget in the order `urgency` gives
    // it. Virtual for tests that count or hold renders.
    virtual Rendering render(const MediaItem& item, int pixels, DecodeUrgency urgency) const;

    // The icon of a content type, its longer side at most `pixels`. Icons go
    // through pixmaps, so GUI thread only.
    static QImage standInImage(const QString& contentType, int pixels);

private:
    Rendering renderVideo(const QString& path, int pixels) const;

    std::shared_ptr<const VideoFrameSource> videoFrames_;
};

} // namespace pivra
