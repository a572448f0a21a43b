#pragma once

#include <QImageReader>

#include <memory>

class QIODevice;

namespace pivra {

// Qt's BMP reader over `device`, when the bytes it starts with are a BMP's;
// null for any other content. The reader is bound to that one format, so no
// other of Qt's readers is chosen by what the bytes hold: given a file to
// guess, Qt hands an SVG to its SVG reader, which reads every file the SVG
// names, a FIFO or a picture anywhere on the disk.
std::unique_ptr<QImageReader> bmpReader(QIODevice* device);

} // namespace pivra
