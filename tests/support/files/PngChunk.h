#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace pivra::test {

// One PNG chunk as a file holds it: length, type, data and checksum.
QByteArray pngChunk(QByteArrayView type, QByteArrayView data);

} // namespace pivra::test
