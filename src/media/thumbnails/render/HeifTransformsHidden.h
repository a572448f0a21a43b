#pragma once

#include "media/MediaFile.h"
#include "media/formats/PixelHeader.h"

#include <QList>

#include <cstdint>
#include <memory>

namespace pivra {

// A HEIF file as libheif reads it with its turns and mirrors hidden, for a
// caller that applies them itself. libheif 1.15 applies an alpha plane's own
// turns and mirrors whatever it is asked, and cannot mirror samples deeper
// than 8 bits: a 10-bit photo with an alpha plane and a mirror did not decode
// at all. Read through here, the type of each of those properties reads as
// one libheif does not know, which it passes over.
class HeifTransformsHidden {
public:
    // `typeOffsets`: where the type of each property to hide lies
    // (HeifCoding::transformTypeOffsets). Takes the file over; null, the file
    // left as it was, when libheif cannot read it so.
    static std::unique_ptr<HeifTransformsHidden> open(MediaFile& file, QList<std::int64_t> typeOffsets);

    HeifTransformsHidden(const HeifTransformsHidden&) = delete;
    HeifTransformsHidden& operator=(const HeifTransformsHidden&) = delete;
    ~HeifTransformsHidden();

    // The file read, for as long as this lives.
    heif_context* context() const { return context_.get(); }
    const MediaFile& file() const { return file_; }

private:
    HeifTransformsHidden(MediaFile file, QList<std::int64_t> typeOffsets);

    static std::int64_t position(void* self);
    static int read(void* data, std::size_t size, void* self);
    static int seek(std::int64_t position, void* self);

    MediaFile file_;
    const QList<std::int64_t> typeOffsets_;
    std::int64_t position_ = 0;
    HeifContext context_;
};

} // namespace pivra
