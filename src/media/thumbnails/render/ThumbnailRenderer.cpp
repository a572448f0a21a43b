#include "media/thumbnails/render/ThumbnailRenderer.h"

#include "media/MediaFile.h"
#include "media/thumbnails/render/DecodeBudget.h"
#include "media/thumbnails/render/HeicPlanes.h"
#include "media/thumbnails/render/JpegPixels.h"
#include "media/metadata/ImageOrientation.h"
#include "media/MediaLibraries.h"
#include "media/formats/BmpReader.h"
#include "media/formats/HeifPrimaryItem.h"
#include "media/formats/PixelHeader.h"
#include "media/thumbnails/render/SrgbConversion.h"
#include "media/thumbnails/render/ThumbnailRendererRawPreview.h"
#include "media/thumbnails/render/ThumbnailScaling.h"
#include "platform/runtime/MainThread.h"

#include <QFileIconProvider>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPixmap>
#include <QThread>

#include <vips/vips8>

#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

namespace pivra {
namespace {

using vips::VImage;

// libvips spreads each image over a few worker threads of its own. Up to seven
// thumbnails run at once (three preparing, four for visible cells), so giving
// each the whole machine would oversubscribe it several times over; a third
// of the cores each lets the three preparation operations fill the machine
// while the visible-cell operations still find room.
int vipsWorkersPerImage()
{
    return std::max(1, int(std::ceil(QThread::idealThreadCount() / 3.0)));
}

void startVips()
{
    initializeMediaLibraries();
    static std::once_flag once;
    std::call_once(once, [] { vips_concurrency_set(vipsWorkersPerImage()); });
}

// libvips compiles the vector code of some operations (the resampling
// kernels) with liborc when it builds them and frees it when they are
// destroyed, and liborc's code memory does not bear one thread freeing while
// another compiles: with several thumbnails at once and no operation cache,
// code was freed twice. So pipelines are built and destroyed one at a time,
// under this lock, while their pixels, nearly all the work, are computed side
// by side. Building decodes nothing: a few header reads and the set-up.
std::mutex vipsPipelineLock;

// 8-bit sRGB, three bands, alpha flattened on white.
VImage finished(VImage image)
{
    if (image.interpretation() != VIPS_INTERPRETATION_sRGB) {
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    }
    if (image.has_alpha()) {
        image = image.flatten(VImage::option()->set("background", std::vector<double>{255, 255, 255}));
    }
    if (image.format() != VIPS_FORMAT_UCHAR) {
        image = image.cast(VIPS_FORMAT_UCHAR);
    }
    return image;
}

// The pixels of a finished three-band image, copied into a QImage that owns them.
QImage pixelsOf(const VImage& image)
{
    if (image.bands() != 3) {
        return {};
    }
    std::size_t size = 0;
    void* pixels = image.write_to_memory(&size);
    const int width = image.width();
    const int height = image.height();
    QImage result(width, height, QImage::Format_RGB888);
    const auto* row = static_cast<const uchar*>(pixels);
    for (int y = 0; y < height; ++y, row += std::size_t(width) * 3) {
        std::memcpy(result.scanLine(y), row, std::size_t(width) * 3);
    }
    g_free(pixels);
    return result;
}

// The pixels of the pipeline `build` makes (a null VImage for none), built
// and destroyed under vipsPipelineLock. libvips' errors give a null image.
QImage rendered(const std::function<VImage()>& build)
{
    std::unique_lock lock(vipsPipelineLock);
    std::optional<VImage> pipeline;
    QImage image;
    try {
        pipeline.emplace(build());
        lock.unlock();
        image = pipeline->get_image() ? pixelsOf(*pipeline) : QImage();
    } catch (const vips::VError&) {
        vips_error_clear();
    }
    if (!lock.owns_lock()) {
        lock.lock();
    }
    pipeline.reset();
    return image;
}

// The size a HEIF (an AVIF) decodes at, `stated` large by its header:
// libheif decodes it at the size its coding gives, whatever the header
// states, so the larger of the two counts (a cropped image is smaller than
// the one coded). libvips then fails one whose decoded size is not the
// stated one.
std::pair<std::int64_t, std::int64_t> heifDecodedSize(const QString& path, std::pair<std::int64_t, std::int64_t> stated)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    const std::optional<HeifCoding> coding = file ? readHeifCoding(*file) : std::nullopt;
    if (!coding || !coding->image.picture || coding->cropped
        || coding->image.width * coding->image.height <= stated.first * stated.second) {
        return stated;
    }
    return {coding->image.width, coding->image.height};
}

// How decoding the image of `header` goes (DecodeFootprint.h); `path`, when
// the header came from a file, tells a TIFF's strips and a HEIF's coding.
DecodeShape decodeShapeOf(const VImage& header, const QString& path)
{
    DecodeShape shape;
    const char* loader = nullptr;
    if (vips_image_get_string(header.get_image(), VIPS_META_LOADER, &loader) == 0) {
        shape.loader = QByteArray(loader).split('_').front();
    }
    shape.width = header.width();
    shape.height = header.height();
    if (shape.loader == "heifload" && !path.isEmpty()) {
        std::tie(shape.width, shape.height) = heifDecodedSize(path, {shape.width, shape.height});
    }
    shape.bands = header.bands();
    shape.bytesPerSample = int(vips_format_sizeof(header.format()));
    shape.interlaced = header.get_typeof("interlaced") != 0 && header.get_int("interlaced") != 0;
    if (header.get_typeof("jpeg-chroma-subsample") != 0) {
        shape.chromaSubsampling = header.get_string("jpeg-chroma-subsample");
    }
    shape.pages = vips_image_get_n_pages(header.get_image());
    if (shape.loader == "tiffload" && !path.isEmpty()) {
        shape.rowsAtOnce = tiffRowsAtOnce(path);
    }
    return shape;
}

// The thumbnail `build` makes from the header `open` reads, unless decoding
// it would take more pixels (PixelHeader.h, all pages counted) or memory
// (DecodeBudget.h) than allowed: then nothing is decoded, and the rendering
// says it was refused for its size. Large decodes wait for their share of
// the budget.
Rendering budgeted(const std::function<VImage()>& open, const QString& path, DecodeUrgency urgency,
                   const std::function<VImage(const VImage& header)>& build)
{
    VImage header;
    try {
        header = open();
    } catch (const vips::VError&) {
        vips_error_clear();
        return {};
    }
    const DecodeShape shape = decodeShapeOf(header, path);
    const DecodeFootprint footprint = decodeFootprint(shape);
    if (declaresTooManyPixels(shape.width, shape.height, shape.pages) || footprint.tooLarge()) {
        return Rendering::refusal();
    }
    const DecodeBudget::Share share = DecodeBudget::shared().admit(footprint, urgency);
    return {rendered([&] { return build(header); }), {}};
}

// Thumbnail options for an image whose header is `header`: bounded by
// `pixels`, never enlarged, in sRGB, not turned (the caller turns it with uprightImage).
//
// Only an image that carries a colour profile is converted from it. One
// without is taken as sRGB, as nearly all camera JPEGs without one are, and
// left alone: asking libvips for sRGB output with no input profile does not
// leave it alone but darkens it (a photo of mean 39 comes out at 24, a grey
// one too). Untagged CMYK is still turned into sRGB by libvips' own CMYK
// profile, and grey and 16-bit images by toQImage.
vips::VOption* boundedBy(int pixels, const VImage& header)
{
    vips::VOption* options
        = VImage::option()->set("height", pixels)->set("size", VIPS_SIZE_DOWN)->set("no_rotate", true);
    return header.get_typeof(VIPS_META_ICC_NAME) != 0 ? options->set("export_profile", "srgb") : options;
}

// A JPEG drawn by libjpeg alone, on this thread (JpegPixels.h): decoded at
// a scale above the thumbnail, shrunk the rest of the way, in sRGB from its
// own profile where it has one, and turned by its Exif. Taken through
// libvips, a JPEG's serial decode came with a pipeline set up under libvips'
// locks and workers of its own waiting on each other; with eight thumbnails
// made at once that cost half again the work. Nothing (not refused) for what
// libjpeg does not draw, CMYK, which libvips then draws.
//
// Only pictures up to largestOwnJpegShrink are drawn so first: a larger one
// (the viewer's preview) is one picture a viewer waits for, whose shrink of
// the whole photo libvips' workers share; libjpeg draws it only where
// libvips gives up on its damage.
constexpr int largestOwnJpegShrink = 1024;

Rendering jpegThumbnail(const MediaFile& file, int pixels, DecodeUrgency urgency)
{
    const JpegPhoto photo = readJpegPhoto(file, pixels, urgency);
    if (photo.refused) {
        return Rendering::refusal();
    }
    const QImage shown = convertedToSrgb(photo.image, photo.iccProfile).convertToFormat(QImage::Format_RGB888);
    return {uprightImage(shown, photo.orientation), {}};
}

bool startsAsJpeg(const MediaFile& file)
{
    return file.read(0, 2) == QByteArray("\xFF\xD8", 2);
}

Rendering vipsThumbnail(const VipsSourcePointer& file, const QString& path, int pixels, int orientation,
                        DecodeUrgency urgency)
{
    const vips::VSource source(VIPS_SOURCE(g_object_ref(file.get())), vips::STEAL);
    Rendering rendering
        = budgeted([&] { return VImage::new_from_source(source, ""); }, path, urgency, [&](const VImage& header) {
              return finished(VImage::thumbnail_source(source, pixels, boundedBy(pixels, header)));
          });
    // Turned once decoded and shrunk, not inside the libvips pipeline: a
    // quarter turn reads its input column by column, and a JPEG decoded
    // sequentially cannot go back for rows it has passed ("out of order read")
    // once the picture is larger than libvips keeps at hand.
    rendering.image = uprightImage(rendering.image, orientation);
    return rendering;
}

// A HEIC through libheif alone (HeicPlanes.h), refused before decoding when
// it declares more pixels or would hold more memory than allowed.
Rendering heicThumbnail(HeicPlanes& heic, int pixels, DecodeUrgency urgency)
{
    const DecodeFootprint footprint = heic.footprint();
    if (declaresTooManyPixels(heic.width(), heic.height()) || footprint.tooLarge()) {
        return Rendering::refusal();
    }
    const DecodeBudget::Share share = DecodeBudget::shared().admit(footprint, urgency);
    if (!heic.decode()) {
        return {};
    }
    const QImage image = rendered([&] {
        const VImage planes = heic.image(pixels);
        return finished(planes.thumbnail_image(pixels, boundedBy(pixels, planes)));
    });
    return {uprightImage(image, heic.orientation()), {}};
}

QImage rawPreviewThumbnail(const RawPreview& preview, int pixels, DecodeUrgency urgency)
{
    struct BlobRelease {
        void operator()(VipsBlob* blob) const { vips_area_unref(VIPS_AREA(blob)); }
    };
    const void* data = preview.encoded.constData();
    const auto size = std::size_t(preview.encoded.size());
    if (!isIndexedTypeLoader(vips_foreign_find_load_buffer(data, size))) {
        return {};
    }
    const std::unique_ptr<VipsBlob, BlobRelease> blob(vips_blob_copy(data, size));
    const QImage image
        = budgeted([&] { return VImage::new_from_buffer(data, size, ""); }, {}, urgency, [&](const VImage& header) {
              return finished(VImage::thumbnail_buffer(blob.get(), pixels, boundedBy(pixels, header)));
          }).image;
    return uprightImage(image, preview.orientation);
}

// The file's type by its content when that is a kind of picture or film;
// nothing for bytes no such type describes (a broken, empty or mislabelled
// file), which get no stand-in either.
QMimeType recognisedMimeType(const QString& path)
{
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return {};
    }
    const QMimeType type = QMimeDatabase().mimeTypeForData(file->device().get());
    const bool media = type.name().startsWith(QLatin1String("image/")) || type.name().startsWith(QLatin1String("video/"));
    return media ? type : QMimeType();
}

QString recognisedType(const QString& path)
{
    return recognisedMimeType(path).name();
}

// Whether a decoder here reads pictures of `type` (or of a type it is a kind
// of): a file of such a type that it did not draw is broken, not waiting for
// a decoder, and gets no stand-in. libtiff refuses a cut TIFF before
// libvips's loaders are chosen, so the loader choice alone would take it for
// a type nothing here reads.
bool decodedHere(const QMimeType& type)
{
    static const QStringList decoded{
        QStringLiteral("image/jpeg"), QStringLiteral("image/png"),  QStringLiteral("image/tiff"),
        QStringLiteral("image/gif"),  QStringLiteral("image/webp"), QStringLiteral("image/heif"),
        QStringLiteral("image/avif"), QStringLiteral("image/bmp"),
    };
    return std::any_of(decoded.cbegin(), decoded.cend(), [&type](const QString& name) { return type.inherits(name); });
}

// BMP, the one indexed type no trusted libvips loader reads, through Qt's
// decoder. It cannot decode at a smaller size: the image is decoded whole,
// within Qt's allocation limit, then scaled down.
Rendering readerThumbnail(QImageReader& reader, int pixels, int orientation, DecodeUrgency urgency)
{
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    const DecodeFootprint footprint = decodeFootprint({.loader = "bmp", .width = size.width(), .height = size.height()});
    if (declaresTooManyPixels(size.width(), size.height()) || footprint.tooLarge()) {
        return Rendering::refusal();
    }
    DecodeBudget::Share share = DecodeBudget::shared().admit(footprint, urgency);
    if (std::max(size.width(), size.height()) > pixels) {
        reader.setScaledSize(size.scaled(pixels, pixels, Qt::KeepAspectRatio));
    }
    const QImage decoded = reader.read().convertToFormat(QImage::Format_RGBA8888);
    share.release(); // what is left works on the scaled image
    if (decoded.isNull()) {
        return {};
    }
    // Finished as libvips' own results are: alpha flattened the same way, and turned.
    const QImage flattened = rendered([&] {
        return finished(VImage::new_from_memory(const_cast<uchar*>(decoded.constBits()),
                                                std::size_t(decoded.sizeInBytes()), decoded.width(),
                                                decoded.height(), 4, VIPS_FORMAT_UCHAR)
                            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)));
    });
    return {uprightImage(flattened, orientation), {}};
}

Rendering renderPhoto(const QString& path, int pixels, DecodeUrgency urgency)
{
    startVips();
    if (isRawFile(path)) {
        QImage image = decodeRawPreview(path, [pixels, urgency](const RawPreview& preview) {
            return rawPreviewThumbnail(preview, pixels, urgency);
        });
        return image.isNull() ? Rendering{{}, recognisedType(path)} : Rendering{image, {}};
    }
    const std::optional<MediaFile> file = MediaFile::open(path);
    const bool jpeg = file && startsAsJpeg(*file);
    const bool small = pixels <= largestOwnJpegShrink;
    if (jpeg && small) {
        if (Rendering rendering = jpegThumbnail(*file, pixels, urgency); !rendering.image.isNull() || rendering.refused) {
            return rendering;
        }
    }
    if (std::optional<HeicPlanes> heic = HeicPlanes::open(path, pixels)) {
        return heicThumbnail(*heic, pixels, urgency);
    }
    // Once a decoder of ours has taken the file, failing means the file is broken.
    const VipsSourcePointer source = openImageSource(path);
    if (source && isIndexedTypeLoader(vips_foreign_find_load_source(source.get()))) {
        Rendering rendering = vipsThumbnail(source, path, pixels, displayOrientation(path), urgency);
        if (jpeg && !small && rendering.image.isNull() && !rendering.refused) {
            rendering = jpegThumbnail(*file, pixels, urgency); // damage libvips gives up on
        }
        return rendering;
    }
    const std::unique_ptr<QIODevice> device = file ? file->device() : nullptr;
    if (const std::unique_ptr<QImageReader> reader = bmpReader(device.get())) {
        return readerThumbnail(*reader, pixels, displayOrientation(path), urgency);
    }
    const QMimeType type = recognisedMimeType(path);
    return {{}, decodedHere(type) ? QString() : type.name()};
}

} // namespace

ThumbnailRenderer::ThumbnailRenderer(std::shared_ptr<const VideoFrameSource> videoFrames)
    : videoFrames_(std::move(videoFrames))
{
}

Rendering ThumbnailRenderer::render(const MediaItem& item, int pixels, DecodeUrgency urgency) const
{
    return item.kind() == MediaKind::video ? renderVideo(item.path(), pixels)
                                           : renderPhoto(item.path(), pixels, urgency);
}

Rendering ThumbnailRenderer::renderVideo(const QString& path, int pixels) const
{
    if (videoFrames_) {
        if (QImage frame = videoFrames_->frame(path, pixels); !frame.isNull()) {
            return {fittedThumbnail(frame, pixels).convertToFormat(QImage::Format_RGB888), {}};
        }
    }
    return {{}, recognisedType(path)};
}

QImage ThumbnailRenderer::standInImage(const QString& contentType, int pixels)
{
    assertMainThread();
    const QMimeType type = QMimeDatabase().mimeTypeForName(contentType);
    const QIcon generic = QFileIconProvider().icon(QFileIconProvider::File);
    const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), generic));
    const int side = std::min(pixels, 256); // icon themes stop there; larger would only blur
    return icon.pixmap(QSize(side, side)).toImage();
}

} // namespace pivra
