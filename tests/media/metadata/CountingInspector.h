#pragma once

#include "media/metadata/MetadataInspector.h"

#include <atomic>

namespace pivra::test {

// The real inspector, counting the files it opens.
class CountingInspector final : public MediaInspector {
public:
    std::optional<MediaKind> kind(const QString& path) const override { return real_.kind(path); }
    std::optional<MediaKind> kindOfExtension(std::string_view extension) const override
    {
        return real_.kindOfExtension(extension);
    }

    Inspection inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                       MediaKind kind) const override
    {
        ++inspections_;
        return real_.inspect(path, sourceID, values, kind);
    }

    std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind) const override
    {
        ++liveLookups_;
        return real_.livePhotoIdentifier(path, kind);
    }

    int inspections() const { return inspections_.load(); }
    int liveLookups() const { return liveLookups_.load(); }

private:
    MetadataInspector real_;
    mutable std::atomic<int> inspections_{0};
    mutable std::atomic<int> liveLookups_{0};
};

} // namespace pivra::test
