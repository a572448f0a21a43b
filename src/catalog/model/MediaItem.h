#pragma once

#include "catalog/model/MediaKind.h"
#include "catalog/model/MediaText.h"
#include "catalog/model/Timestamp.h"

#include <QAnyStringView>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <functional>
#include <optional>

namespace pivra {

// One photo or video of the catalog. A plain value: copies are independent and
// safe to hand between the GUI thread, the catalog thread and workers. Equality
// and hashing go over all twenty fields, so a changed favourite or rotation makes
// a different value (the grid relies on that to redraw).
//
// A gallery holds a million of these, so the text fields and the source live
// in one block that copies share (MediaText) and are read through accessors;
// setting one gives this item a block of its own.
class MediaItem {
public:
    using Text = QAnyStringView;
    using OptionalText = std::optional<QAnyStringView>;

    MediaItem() = default;
    MediaItem(Text id, const QUuid& sourceID, Text path, Text name, MediaKind kind, Timestamp captureDate,
              Text dateOrigin, int width, int height, OptionalText camera, OptionalText lens,
              std::optional<double> duration, std::int64_t fileSize, Timestamp modifiedAt, OptionalText metadataJSON,
              int rotationQuarters, bool isFavorite, OptionalText thumbnailKey, OptionalText liveIdentifier,
              OptionalText liveVideoPath);

    // The item id: the source's canonical UUID text, ":" and the item's path
    // (a file path, or a camera item path for device items).
    static QString makeID(const QUuid& sourceID, const QString& path);

    QString id() const { return text_.string(MediaText::id); }
    QUuid sourceID() const { return text_.source(); }
    QString path() const { return text_.string(MediaText::path); }
    QString name() const { return text_.string(MediaText::name); }
    MediaKind kind() const { return kind_; }
    Timestamp captureDate() const { return captureDate_; }
    QString dateOrigin() const { return text_.string(MediaText::dateOrigin); }
    int width() const { return width_; }
    int height() const { return height_; }
    std::optional<QString> camera() const { return text_.optionalString(MediaText::camera); }
    std::optional<QString> lens() const { return text_.optionalString(MediaText::lens); }
    std::optional<double> duration() const { return hasDuration_ ? std::optional(duration_) : std::nullopt; }
    std::int64_t fileSize() const { return fileSize_; }
    Timestamp modifiedAt() const { return modifiedAt_; }
    std::optional<QString> metadataJSON() const { return text_.optionalString(MediaText::metadataJSON); }
    int rotationQuarters() const { return rotationQuarters_; }
    bool isFavorite() const { return isFavorite_; }
    std::optional<QString> thumbnailKey() const { return text_.optionalString(MediaText::thumbnailKey); }
    std::optional<QString> liveIdentifier() const { return text_.optionalString(MediaText::liveIdentifier); }
    std::optional<QString> liveVideoPath() const { return text_.optionalString(MediaText::liveVideoPath); }

    // All text fields at once, for readers that need no QString.
    const MediaText& text() const { return text_; }

    void setID(Text id) { setText(MediaText::id, id); }
    void setSourceID(const QUuid& sourceID) { text_ = text_.withSource(sourceID); }
    void setPath(Text path) { setText(MediaText::path, path); }
    void setName(Text name) { setText(MediaText::name, name); }
    void setKind(MediaKind kind) { kind_ = kind; }
    void setCaptureDate(Timestamp date) { captureDate_ = date; }
    void setDateOrigin(Text origin) { setText(MediaText::dateOrigin, origin); }
    void setWidth(int width) { width_ = width; }
    void setHeight(int height) { height_ = height; }
    void setCamera(OptionalText camera) { setText(MediaText::camera, camera); }
    void setLens(OptionalText lens) { setText(MediaText::lens, lens); }
    void setDuration(std::optional<double> duration);
    void setFileSize(std::int64_t size) { fileSize_ = size; }
    void setModifiedAt(Timestamp date) { modifiedAt_ = date; }
    void setMetadataJSON(OptionalText json) { setText(MediaText::metadataJSON, json); }
    void setRotationQuarters(int quarters) { rotationQuarters_ = quarters; }
    void setFavorite(bool favorite) { isFavorite_ = favorite; }
    void setThumbnailKey(OptionalText key) { setText(MediaText::thumbnailKey, key); }
    void setLiveIdentifier(OptionalText identifier) { setText(MediaText::liveIdentifier, identifier); }
    void setLiveVideoPath(OptionalText path) { setText(MediaText::liveVideoPath, path); }

    bool operator==(const MediaItem&) const = default;

private:
    void setText(MediaText::Field field, OptionalText value) { text_ = text_.with(field, value); }

    MediaText text_;
    Timestamp captureDate_ = 0;
    Timestamp modifiedAt_ = 0;
    std::int64_t fileSize_ = 0;
    double duration_ = 0; // 0 when absent, so that equality can compare it as it is
    int width_ = 0;
    int height_ = 0;
    int rotationQuarters_ = 0;
    MediaKind kind_ = MediaKind::image;
    bool hasDuration_ = false;
    bool isFavorite_ = false;
};

size_t qHash(const MediaItem& item, size_t seed = 0);

} // namespace pivra

template<>
struct std::hash<pivra::MediaItem> {
    size_t operator()(const pivra::MediaItem& item) const { return pivra::qHash(item); }
};
