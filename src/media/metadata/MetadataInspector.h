#pragma once

#include "catalog/scan/MediaInspector.h"

namespace pivra {

// The folder scan's view of MediaMetadata: kinds by extension, and the
// readers of photos and videos. Stateless, so any number of threads may use
// one instance.
class MetadataInspector final : public MediaInspector {
public:
    std::optional<MediaKind> kind(const QString& path) const override;
    std::optional<MediaKind> kindOfExtension(std::string_view extension) const override;
    Inspection inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                       MediaKind kind) const override;
    std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind) const override;
};

} // namespace pivra
