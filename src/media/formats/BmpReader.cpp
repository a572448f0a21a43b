#include "media/formats/BmpReader.h"

#include <QIODevice>

namespace pivra {

std::unique_ptr<QImageReader> bmpReader(QIODevice* device)
{
    if (device == nullptr || device->peek(2) != "BM") {
        return nullptr;
    }
    auto reader = std::make_unique<QImageReader>(device, QByteArrayLiteral("bmp"));
    reader->setAutoDetectImageFormat(false);
    return reader;
}

} // namespace pivra
