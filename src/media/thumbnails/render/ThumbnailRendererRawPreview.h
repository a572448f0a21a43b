#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace pivra {

// A preview image a RAW file embeds, as the encoded bytes it holds, with the
// RAW's display orientation, which the preview itself does not carry.
struct RawPreview {
    QByteArray encoded;
    int orientation = 1;
};

bool isRawFile(const QString& path);

// Hands the previews the RAW file embeds to `decode`, largest first, until one
// gives an image, and answers that image: a camera's full-size preview may be
// in a form no decoder here reads while its small one is plain JPEG. A null
// image when the file cannot be parsed, embeds no preview or none decodes.
QImage decodeRawPreview(const QString& path, const std::function<QImage(const RawPreview&)>& decode);

} // namespace pivra
