#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pivra {

// The largest preview image a RAW file embeds, as the encoded bytes it holds,
// with the RAW's Exif orientation (1 when it has none), which the preview
// itself does not carry.
struct RawPreview {
    QByteArray encoded;
    int orientation = 1;
};

bool isRawFile(const QString& path);

// None when the file cannot be parsed or embeds no preview.
std::optional<RawPreview> largestRawPreview(const QString& path);

} // namespace pivra
