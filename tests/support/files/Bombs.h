#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace pivra::test {

// Decompression bombs: small, well-formed files whose header declares a huge
// canvas (`side` × `side` pixels) with almost no image data behind it. The
// format follows the extension of `path`: "gif", "png" or "jpg". False when
// the file cannot be written.
bool writeBomb(const QString& path, int side = 60000);

// A progressive JPEG of a few hundred bytes declaring `side` × `side`: its
// decoder keeps the coefficients of the whole canvas, whatever the shrink.
bool writeProgressiveJpegBomb(const QString& path, int side);

// A real HEIC of 64 × 64 pixels whose size box declares `side` × `side`.
bool writeHeicBomb(const QString& path, int side);

// The three kinds, as file names: "bomb.gif", "bomb.png", "bomb.jpg".
QStringList bombNames();

// An SVG of 300 × 200 whose one image is read from `target`, a path on the
// local disk: a reader that draws it reads that file, and one reading a FIFO
// waits for a writer for ever.
QByteArray svgReading(const QString& target);

// Lets go every reader waiting on the FIFO at `path`: opened for writing, it
// lets their open end, and closed, it ends their read.
void releaseFifoReaders(const QString& path);

// The process's peak resident memory since the last reset, in bytes, from
// the kernel's own count (VmHWM); resetPeakMemory() starts a new peak at the
// memory in use now. anonymousMemory() is the part of what is resident now
// that the process allocated (RssAnon), without the pages of its program and
// libraries, which come in as code first runs and go when others need the
// memory.
void resetPeakMemory();
std::int64_t peakMemory();
std::int64_t anonymousMemory();

} // namespace pivra::test
