#include "catalog/model/MediaText.h"

#include "catalog/model/Hashing.h"
#include "catalog/model/SharedText.h"
#include "platform/folders/FileNameText.h"

#include <QByteArrayView>
#include <QVarLengthArray>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace pivra {

namespace {

// An item id is the source's 36-character UUID and ":" before the path.
constexpr std::size_t sourcePrefixLength = 37;

// A thumbnail key is the hex of a SHA-256.
constexpr qsizetype keyDigits = 64;
constexpr std::size_t packedKeySize = 32;

constexpr bool isOptional(MediaText::Field field)
{
    return field >= MediaText::camera;
}

constexpr std::uint16_t bit(std::size_t field)
{
    return static_cast<std::uint16_t>(1U << field);
}

// How a block keeps the fields that can be kept another way.
enum Layout : std::uint8_t {
    // The id is the shared folder part and the name; the path is that part
    // after the source prefix, and the name.
    folderLayout = 1,
    // The path is the id after its source prefix.
    pathInIDLayout = 2,
    // The thumbnail key is kept as the bytes its hex digits spell.
    packedKeyLayout = 4,
};

// The fields a block keeps bytes of; the others are in its shared entry.
constexpr std::uint16_t ownFields = bit(MediaText::id) | bit(MediaText::path) | bit(MediaText::name)
                                    | bit(MediaText::metadataJSON) | bit(MediaText::thumbnailKey)
                                    | bit(MediaText::liveIdentifier) | bit(MediaText::liveVideoPath);

constexpr std::uint16_t keptFields(std::uint16_t present, std::uint8_t layout)
{
    std::uint16_t kept = present & ownFields;
    if ((layout & folderLayout) != 0) {
        kept &= static_cast<std::uint16_t>(~(bit(MediaText::id) | bit(MediaText::path)));
    }
    if ((layout & pathInIDLayout) != 0) {
        kept &= static_cast<std::uint16_t>(~bit(MediaText::path));
    }
    return kept;
}

QUtf8StringView asUtf8(QAnyStringView text, QByteArray& storage)
{
    return text.visit([&storage](auto view) -> QUtf8StringView {
        if constexpr (std::is_same_v<decltype(view), QUtf8StringView>) {
            return view;
        } else {
            storage = fileNameBytes(view.toString());
            return QUtf8StringView(storage);
        }
    });
}

bool startsWith(QUtf8StringView text, QUtf8StringView start, qsizetype at = 0)
{
    return text.size() >= at + start.size()
           && (start.isEmpty() || std::memcmp(text.data() + at, start.data(), std::size_t(start.size())) == 0);
}

int hexDigit(char digit)
{
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    return -1;
}

// Lowercase only: an upper-case key is another text and stays as it is.
bool isPackableKey(QUtf8StringView key)
{
    if (key.size() != keyDigits) {
        return false;
    }
    for (const char digit : key) {
        if (hexDigit(digit) < 0) {
            return false;
        }
    }
    return true;
}

void packKey(QUtf8StringView key, char* out)
{
    for (std::size_t at = 0; at < packedKeySize; ++at) {
        out[at] = static_cast<char>((hexDigit(key[qsizetype(2 * at)]) << 4) | hexDigit(key[qsizetype(2 * at + 1)]));
    }
}

QByteArray unpackKey(QByteArrayView packed)
{
    return packed.toByteArray().toHex();
}

// An empty view may point nowhere, which memcmp and memcpy must not be given.
bool sameBytes(QByteArrayView bytes, const char* data)
{
    return bytes.isEmpty() || std::memcmp(bytes.data(), data, std::size_t(bytes.size())) == 0;
}

} // namespace

// Followed in the same allocation by the ends of the fields it keeps (one,
// two or four bytes each, as their total needs), then their bytes in field
// order. An index item keeps only its name and its key, some 45 bytes, so the
// header is kept to 16.
struct MediaText::Block {
    std::atomic<std::uint32_t> references{1};
    std::uint16_t present = 0; // a bit per field with a value
    std::uint8_t layout = 0;   // Layout bits
    std::uint8_t endSize = 1;
    const SharedText* shared = nullptr;

    // A field's text in up to two pieces, one after the other.
    struct Pieces {
        QByteArrayView head;
        QByteArrayView tail;
    };

    std::uint16_t kept() const { return keptFields(present, layout); }
    std::size_t keptCount() const { return std::size_t(std::popcount(kept())); }
    const unsigned char* tail() const { return reinterpret_cast<const unsigned char*>(this + 1); }
    const char* bytes() const { return reinterpret_cast<const char*>(tail() + keptCount() * endSize); }

    std::uint32_t end(std::size_t index) const
    {
        const unsigned char* at = tail() + index * endSize;
        std::uint32_t value = 0;
        for (std::size_t byte = 0; byte < endSize; ++byte) {
            value |= std::uint32_t(at[byte]) << (8 * byte);
        }
        return value;
    }

    // The ends and the bytes: all that the block keeps besides the header.
    std::size_t tailSize() const
    {
        const std::size_t count = keptCount();
        return count * endSize + (count == 0 ? 0 : end(count - 1));
    }

    QByteArrayView keptBytes(Field field) const
    {
        const auto index = std::size_t(std::popcount(std::uint16_t(kept() & (bit(field) - 1))));
        const std::uint32_t start = index == 0 ? 0 : end(index - 1);
        return {bytes() + start, qsizetype(end(index) - start)};
    }

    // Not for a packed key.
    Pieces pieces(Field field) const
    {
        const auto view = [](QUtf8StringView text) { return QByteArrayView(text.data(), text.size()); };
        switch (field) {
        case id:
            if ((layout & folderLayout) != 0) {
                return {view(shared->folder()), keptBytes(name)};
            }
            return {keptBytes(id), {}};
        case path:
            if ((layout & folderLayout) != 0) {
                return {view(shared->folder()).sliced(sourcePrefixLength), keptBytes(name)};
            }
            if ((layout & pathInIDLayout) != 0) {
                return {keptBytes(id).sliced(sourcePrefixLength), {}};
            }
            return {keptBytes(path), {}};
        case dateOrigin:
            return {view(shared->dateOrigin()), {}};
        case camera:
            return {view(shared->camera().value_or(QUtf8StringView())), {}};
        case lens:
            return {view(shared->lens().value_or(QUtf8StringView())), {}};
        default:
            return {keptBytes(field), {}};
        }
    }

    bool packedKey(Field field) const { return field == thumbnailKey && (layout & packedKeyLayout) != 0; }
};

MediaText::MediaText(const Values& values, const QUuid& source)
{
    std::array<QByteArray, fieldCount> converted;
    std::array<QUtf8StringView, fieldCount> texts;
    std::uint16_t present = 0;
    bool holdsAnything = !source.isNull();
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if (values[field]) {
            texts[field] = asUtf8(*values[field], converted[field]);
        }
        const bool optional = isOptional(Field(field));
        const bool has = !optional || values[field].has_value();
        present |= has ? bit(field) : 0;
        holdsAnything = holdsAnything || !texts[field].isEmpty() || (has && optional);
    }
    if (!holdsAnything) {
        return;
    }

    const QUtf8StringView idText = texts[id];
    const QUtf8StringView pathText = texts[path];
    const QUtf8StringView nameText = texts[name];
    const bool pathInID = !pathText.isEmpty() && idText.size() == pathText.size() + qsizetype(sourcePrefixLength)
                          && startsWith(idText, pathText, qsizetype(sourcePrefixLength));
    const bool inFolder = pathInID && !nameText.isEmpty() && pathText.size() > nameText.size()
                          && startsWith(pathText, nameText, pathText.size() - nameText.size());
    std::uint8_t layout = inFolder ? folderLayout : pathInID ? pathInIDLayout : 0;
    if (values[thumbnailKey] && isPackableKey(texts[thumbnailKey])) {
        layout |= packedKeyLayout;
    }

    const std::uint16_t kept = keptFields(present, layout);
    const auto keptSize = [&](std::size_t field) {
        return field == thumbnailKey && (layout & packedKeyLayout) != 0 ? packedKeySize
                                                                          : std::size_t(texts[field].size());
    };
    std::size_t total = 0;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        total += (kept & bit(field)) != 0 ? keptSize(field) : 0;
    }
    if (total > UINT32_MAX) {
        throw std::length_error("media item text too long");
    }
    const std::uint8_t endSize = total <= 0xFF ? 1 : total <= 0xFFFF ? 2 : 4;
    const auto count = std::size_t(std::popcount(kept));

    block_ = new (::operator new(sizeof(Block) + count * endSize + total)) Block;
    block_->present = present;
    block_->layout = layout;
    block_->endSize = endSize;
    auto* ends = reinterpret_cast<unsigned char*>(block_ + 1);
    char* const bytes = reinterpret_cast<char*>(ends + count * endSize);
    std::uint32_t end = 0;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if ((kept & bit(field)) == 0) {
            continue;
        }
        if (field == thumbnailKey && (layout & packedKeyLayout) != 0) {
            packKey(texts[field], bytes + end);
        } else if (!texts[field].isEmpty()) {
            std::memcpy(bytes + end, texts[field].data(), std::size_t(texts[field].size()));
        }
        end += std::uint32_t(keptSize(field));
        for (std::size_t byte = 0; byte < endSize; ++byte) {
            *ends++ = static_cast<unsigned char>(end >> (8 * byte));
        }
    }
    // Taken last: nothing after it can throw and leave the reference behind.
    block_->shared = SharedText::acquire(
        {source, inFolder ? idText.first(idText.size() - nameText.size()) : QUtf8StringView(), texts[dateOrigin],
         values[camera] ? std::optional(texts[camera]) : std::nullopt,
         values[lens] ? std::optional(texts[lens]) : std::nullopt});
}

MediaText::MediaText(const MediaText& other) noexcept : block_(other.block_)
{
    if (block_ != nullptr) {
        block_->references.fetch_add(1, std::memory_order_relaxed);
    }
}

MediaText::MediaText(MediaText&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}

MediaText& MediaText::operator=(const MediaText& other) noexcept
{
    MediaText copy(other);
    std::swap(block_, copy.block_);
    return *this;
}

MediaText& MediaText::operator=(MediaText&& other) noexcept
{
    MediaText taken(std::move(other));
    std::swap(block_, taken.block_);
    return *this;
}

MediaText::~MediaText()
{
    if (block_ != nullptr && block_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block_->shared->release();
        block_->~Block();
        ::operator delete(block_);
    }
}

QUuid MediaText::source() const
{
    return block_ != nullptr ? block_->shared->source() : QUuid();
}

bool MediaText::has(Field field) const
{
    return !isOptional(field) || (block_ != nullptr && (block_->present & bit(field)) != 0);
}

QString MediaText::string(Field field) const
{
    if (block_ == nullptr || !has(field)) {
        return {};
    }
    if (block_->packedKey(field)) {
        return QString::fromLatin1(unpackKey(block_->keptBytes(field)));
    }
    const auto [head, tail] = block_->pieces(field);
    if (tail.isEmpty()) {
        return fileNameText(head);
    }
    QVarLengthArray<char, 512> joined;
    joined.append(head.data(), head.size());
    joined.append(tail.data(), tail.size());
    return fileNameText(QByteArrayView(joined.data(), joined.size()));
}

std::optional<QString> MediaText::optionalString(Field field) const
{
    return has(field) ? std::optional(string(field)) : std::nullopt;
}

QByteArray MediaText::utf8(Field field) const
{
    if (block_ == nullptr || !has(field)) {
        return {};
    }
    if (block_->packedKey(field)) {
        return unpackKey(block_->keptBytes(field));
    }
    const auto [head, tail] = block_->pieces(field);
    QByteArray joined;
    joined.reserve(head.size() + tail.size());
    joined.append(head);
    joined.append(tail);
    return joined;
}

bool MediaText::equals(Field field, QUtf8StringView text) const
{
    if (block_ == nullptr || !has(field)) {
        return text.isEmpty();
    }
    if (block_->packedKey(field)) {
        if (!isPackableKey(text)) {
            return false;
        }
        std::array<char, packedKeySize> packed{};
        packKey(text, packed.data());
        return sameBytes(block_->keptBytes(field), packed.data());
    }
    const auto [head, tail] = block_->pieces(field);
    return text.size() == head.size() + tail.size() && sameBytes(head, text.data())
           && sameBytes(tail, text.data() + head.size());
}

MediaText::Values MediaText::values(std::array<QByteArray, fieldCount>& storage) const
{
    Values values;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if (has(Field(field))) {
            storage[field] = utf8(Field(field));
            values[field] = QUtf8StringView(storage[field]);
        }
    }
    return values;
}

MediaText MediaText::with(Field field, std::optional<QAnyStringView> value) const
{
    std::array<QByteArray, fieldCount> storage;
    Values changed = values(storage);
    changed[field] = value;
    return MediaText(changed, source());
}

MediaText MediaText::withSource(const QUuid& source) const
{
    std::array<QByteArray, fieldCount> storage;
    return MediaText(values(storage), source);
}

std::array<const void*, 2> MediaText::heapBlocks() const
{
    return {block_, block_ != nullptr ? block_->shared : nullptr};
}

bool MediaText::operator==(const MediaText& other) const
{
    if (block_ == other.block_) {
        return true;
    }
    if (block_ == nullptr || other.block_ == nullptr) {
        return false;
    }
    const Block& mine = *block_;
    const Block& theirs = *other.block_;
    // Shared entries are unique per value, so the pointers compare them.
    return mine.shared == theirs.shared && mine.present == theirs.present && mine.layout == theirs.layout
           && mine.endSize == theirs.endSize && mine.tailSize() == theirs.tailSize()
           && std::memcmp(mine.tail(), theirs.tail(), mine.tailSize()) == 0;
}

std::size_t qHash(const MediaText& text, std::size_t seed)
{
    std::size_t hash = seed;
    const MediaText::Block* block = text.block_;
    if (block == nullptr) {
        hashing::combine(hash, 0);
        return hash;
    }
    hashing::combine(hash, block->shared->hash());
    hashing::combine(hash, std::size_t(block->present) | std::size_t(block->layout) << 16);
    hashing::combine(hash, qHash(QByteArrayView(block->tail(), qsizetype(block->tailSize()))));
    return hash;
}

} // namespace pivra
