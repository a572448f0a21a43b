#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QString>
#include <QUtf8StringView>
#include <QUuid>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pivra {

class SharedText;

// The ten text fields of a media item and its source, in one immutable heap
// block that copies share. A gallery holds a million items, so each item keeps
// one pointer here, and the block keeps only what is the item's own: the
// source, the folder part of the id and path, the date origin, the camera and
// the lens are held once for all the items that have them (SharedText); the
// path is not stored when the id holds it; a thumbnail key of 64 hex digits is
// kept as its 32 bytes. The block is freed with the last copy, whichever
// thread drops it.
//
// How a block keeps its values is a function of the values alone, so two
// texts are equal exactly when their blocks hold the same bytes and the same
// shared entry.
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
    MediaText(const Values& values, const QUuid& source);
    MediaText(const MediaText& other) noexcept;
    MediaText(MediaText&& other) noexcept;
    MediaText& operator=(const MediaText& other) noexcept;
    MediaText& operator=(MediaText&& other) noexcept;
    ~MediaText();

    QUuid source() const;
    // False only for an optional field without a value.
    bool has(Field field) const;
    QString string(Field field) const;
    std::optional<QString> optionalString(Field field) const;
    // Whether the field's text is `text`, compared without making a string;
    // an absent field equals the empty text.
    bool equals(Field field, QUtf8StringView text) const;

    // A copy with one field replaced; none makes an optional field absent.
    MediaText with(Field field, std::optional<QAnyStringView> value) const;
    MediaText withSource(const QUuid& source) const;

    // The heap blocks held, null where there is none: the item's own block and
    // the shared entry that other items may hold too. What a memory count
    // charges to the item.
    std::array<const void*, 2> heapBlocks() const;

    bool operator==(const MediaText& other) const;

private:
    struct Block;

    // The values, in `storage` where they have to be spelled out.
    Values values(std::array<QByteArray, fieldCount>& storage) const;
    QByteArray utf8(Field field) const;

    Block* block_ = nullptr;

    friend std::size_t qHash(const MediaText& text, std::size_t seed);
};

std::size_t qHash(const MediaText& text, std::size_t seed = 0);

} // namespace pivra
