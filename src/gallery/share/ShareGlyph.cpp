#include "gallery/share/ShareGlyph.h"

#include <QFile>
#include <QHash>

// The resource is compiled into this static library; naming its initializer
// keeps the linker from dropping it.
static void initGalleryResources()
{
    Q_INIT_RESOURCE(gallery);
}

namespace pivra::ShareGlyph {

QColor blue()
{
    return QColor::fromRgbF(0, 122.0f / 255.0f, 1, 1);
}

QImage tinted(const QImage& source)
{
    if (source.isNull()) {
        return {};
    }
    const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
    QImage result(rgba.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* from = rgba.constScanLine(y);
        uchar* to = result.scanLine(y);
        for (int x = 0; x < rgba.width(); ++x) {
            to[4 * x] = 0;
            to[4 * x + 1] = 122;
            to[4 * x + 2] = 255;
            to[4 * x + 3] = uchar(255 - from[4 * x]);
        }
    }
    return result;
}

QImage image(const QString& path)
{
    static QHash<QString, QImage> made;
    if (const auto known = made.constFind(path); known != made.cend()) {
        return *known;
    }
    initGalleryResources();
    const QImage glyph = tinted(QImage(path));
    made.insert(path, glyph);
    return glyph;
}

} // namespace pivra::ShareGlyph
