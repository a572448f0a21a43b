#pragma once

#include <QAnyStringView>
#include <QString>
#include <QUtf8StringView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pivra {

// The ten text fields of a media item, as UTF-8 in one immutable heap block
// that copies share. A gallery holds a million items, so each item keeps one
// pointer here instead of ten strings of UTF-16 with a header each; the block
// is freed with the last copy, whichever thread drops it.
//
// The block is a function of the values alone (an item's path is not stored a
// second time when its id is the usual source prefix and that path), so two
// texts are equal exactly when their blocks hold the same bytes.
class MediaText {
public:
    enum Field : std::uint8_t {
        id,
        path,
        name,
        dateOrigin,
        camera,
        lens,
        metadataJSON,
        thumbnailKey,
        liveIdentifier,
        liveVideoPath,
    };
    static constexpr std::size_t fieldCount = 10;

    // One value per field, in field order. An absent value means an empty
    // text for the four fields that are not optional. UTF-8 values are
    // copied as they are; others are converted.
    using Values = std::array<std::optional<QAnyStringView>, fieldCount>;

    MediaText() noexcept = default;
    explicit MediaText(const Values& values);
    MediaText(const MediaText& other) noexcept;
    MediaText(MediaText&& other) noexcept;
    MediaText& operator=(const MediaText& other) noexcept;
    MediaText& operator=(MediaText&& other) noexcept;
    ~MediaText();

    // The field's bytes; empty for an absent field.
    QUtf8StringView view(Field field) const;
    // False only for an optional field without a value.
    bool has(Field field) const;
    QString string(Field field) const;
    std::optional<QString> optionalString(Field field) const;

    // A copy with one field replaced; none makes an optional field absent.
    MediaText with(Field field, std::optional<QAnyStringView> value) const;

    // The heap block, or null when every field is empty or absent: what a
    // memory count charges to the item.
    const void* block() const { return block_; }

    bool operator==(const MediaText& other) const;

private:
    struct Block;

    Values values() const;

    Block* block_ = nullptr;
};

} // namespace pivra
