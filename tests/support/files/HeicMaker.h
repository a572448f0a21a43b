#pragma once

#include "support/files/JpegMaker.h"

#include <QColor>
#include <QSize>
#include <QString>

namespace pivra::test {

// What a fixture HEIC carries besides its pixels. HEIF has two places for an
// orientation and readers disagree about which counts: libheif and libvips
// apply only the container's irot/imir transform, while Exif readers report
// the Exif tag. An iPhone writes both; a test sets both to model one, or one
// of them to model a file that carries only that one.
//
// HEIF has no standard place for IPTC (IIM) records, and exiv2 reads none from
// it, so a fixture HEIC carries Exif only. exiv2 0.27 finds no Exif in the
// files libheif writes for pictures under 64 pixels on a side (tiled as a
// grid): make those larger when the Exif must be read back.
struct HeicFields {
    ExifFields exif;              // the Exif item; exif.orientation is the Exif tag alone
    int containerOrientation = 1; // 1..8 in Exif numbering, stored as irot/imir boxes
    QByteArray majorBrand;        // four characters put in place of libheif's "heic" ("mif1"); empty keeps it
    QByteArray xmpPacket;         // an XMP item beside the Exif; empty: none
    int bitDepth = 8;             // of the coded samples: 8, or 10 as phones write HDR photos
    bool alpha = false;           // an alpha plane, half opaque, coded as an image of its own
    bool markedCorner = false;    // the top left quarter white, so that turns and mirrors show
    bool mirrorBeforeTurn = false; // the items list their mirror before their turn, which libheif lists after
    bool av1 = false;             // coded in AV1 through libheif's AV1 encoder: an AVIF
};

// Encodes a real HEIC (HEVC through libheif's x265 encoder, or AV1: an AVIF)
// of `size` stored pixels filled with `color`; with containerOrientation 5..8
// a reader shows it as size.transposed(). An HEVC picture of one colour from
// a few megapixels up is coded a row of blocks at a time, a slice each
// (RepeatedRowsEncoder), in milliseconds. Answers false when anything fails.
bool makeHeic(const QString& path, QSize size, const HeicFields& fields = {}, QColor color = Qt::darkCyan,
              int quality = 50);

// Rewrites every size box ('ispe') of the HEIC at `path` to state `stated`,
// whatever its pictures code, as a file that understates its size does.
bool stateHeicSize(const QString& path, QSize stated);

} // namespace pivra::test
