#include "catalog/model/MediaText.h"

#include <QByteArray>
#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace pivra {

namespace {

// An item id is the source's 36-character UUID and ":" before the path.
constexpr std::size_t sourcePrefixLength = 37;

constexpr bool isOptional(MediaText::Field field)
{
    return field >= MediaText::camera;
}

constexpr std::uint16_t bit(std::size_t field)
{
    return static_cast<std::uint16_t>(1U << field);
}

QUtf8StringView asUtf8(QAnyStringView text, QByteArray& storage)
{
    return text.visit([&storage](auto view) -> QUtf8StringView {
        if constexpr (std::is_same_v<decltype(view), QUtf8StringView>) {
            return view;
        } else {
            storage = view.toString().toUtf8();
            return QUtf8StringView(storage);
        }
    });
}

} // namespace

// Followed in the same allocation by the fields' bytes, one after the other.
struct MediaText::Block {
    std::atomic<std::uint32_t> references{1};
    std::uint16_t present = 0;  // a bit per field with a value
    std::uint16_t pathInID = 0; // the path is the id after its source prefix
    std::array<std::uint32_t, fieldCount> ends{};

    char* bytes() { return reinterpret_cast<char*>(this + 1); }
    const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }
};

MediaText::MediaText(const Values& values)
{
    std::array<QByteArray, fieldCount> converted;
    std::array<QUtf8StringView, fieldCount> texts;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if (values[field]) {
            texts[field] = asUtf8(*values[field], converted[field]);
        }
    }
    const QUtf8StringView idText = texts[id];
    const QUtf8StringView pathText = texts[path];
    const bool pathInID = !pathText.isEmpty() && idText.size() == pathText.size() + qsizetype(sourcePrefixLength)
                          && std::memcmp(idText.data() + sourcePrefixLength, pathText.data(), pathText.size()) == 0;

    std::uint16_t present = 0;
    std::size_t total = 0;
    bool holdsAnything = false;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        const bool has = !isOptional(Field(field)) || values[field].has_value();
        const std::size_t size = field == path && pathInID ? 0 : std::size_t(texts[field].size());
        present |= has ? bit(field) : 0;
        total += size;
        holdsAnything = holdsAnything || size > 0 || (has && isOptional(Field(field)));
    }
    if (!holdsAnything) {
        return;
    }
    if (total > UINT32_MAX) {
        throw std::length_error("media item text too long");
    }

    block_ = new (::operator new(sizeof(Block) + total)) Block;
    block_->present = present;
    block_->pathInID = pathInID ? 1 : 0;
    std::uint32_t end = 0;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if (!(field == path && pathInID) && !texts[field].isEmpty()) {
            std::memcpy(block_->bytes() + end, texts[field].data(), std::size_t(texts[field].size()));
            end += std::uint32_t(texts[field].size());
        }
        block_->ends[field] = end;
    }
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
        block_->~Block();
        ::operator delete(block_);
    }
}

QUtf8StringView MediaText::view(Field field) const
{
    if (block_ == nullptr) {
        return {};
    }
    if (field == path && block_->pathInID != 0) {
        return {block_->bytes() + sourcePrefixLength, qsizetype(block_->ends[id] - sourcePrefixLength)};
    }
    const std::uint32_t start = field == 0 ? 0 : block_->ends[field - 1];
    return {block_->bytes() + start, qsizetype(block_->ends[field] - start)};
}

bool MediaText::has(Field field) const
{
    return !isOptional(field) || (block_ != nullptr && (block_->present & bit(field)) != 0);
}

QString MediaText::string(Field field) const
{
    return view(field).toString();
}

std::optional<QString> MediaText::optionalString(Field field) const
{
    return has(field) ? std::optional(string(field)) : std::nullopt;
}

MediaText::Values MediaText::values() const
{
    Values values;
    for (std::size_t field = 0; field < fieldCount; ++field) {
        if (has(Field(field))) {
            values[field] = view(Field(field));
        }
    }
    return values;
}

MediaText MediaText::with(Field field, std::optional<QAnyStringView> value) const
{
    Values changed = values();
    changed[field] = value;
    return MediaText(changed);
}

bool MediaText::operator==(const MediaText& other) const
{
    if (block_ == other.block_) {
        return true;
    }
    if (block_ == nullptr || other.block_ == nullptr) {
        return false;
    }
    return block_->present == other.block_->present && block_->pathInID == other.block_->pathInID
           && block_->ends == other.block_->ends
           && std::memcmp(block_->bytes(), other.block_->bytes(), block_->ends.back()) == 0;
}

} // namespace pivra
