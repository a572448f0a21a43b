#include "map/basemap/BaseMapData.h"

#include <QCoreApplication>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

namespace pivra {

namespace {

static_assert(std::endian::native == std::endian::little, "the map file is read in place as little endian");

constexpr char magic[] = "PIVRAMAP";
constexpr quint32 version = 4;
// Tile zooms from which the next finer scale is drawn.
constexpr int mediumFromZoom = 3;
constexpr int fineFromZoom = 6;
// Words of one outline and one label entry, and of one point.
constexpr std::size_t shapeWords = 6;
constexpr std::size_t labelWords = 7;
constexpr std::size_t pointWords = 2;
// The head: magic (two words), version, world units, level count; then each
// part's offset and count: two kinds of shape per level, then the points,
// countries, cities and name bytes.
constexpr std::size_t headWords = 5;
constexpr std::size_t pointsPart = 2 * BaseMapData::levelCount;
constexpr std::size_t countriesPart = pointsPart + 1;
constexpr std::size_t citiesPart = pointsPart + 2;
constexpr std::size_t namesPart = pointsPart + 3;
constexpr std::size_t partCount = namesPart + 1;

constexpr std::size_t recordBytes(std::size_t part)
{
    return part < pointsPart ? shapeWords * 4 : part == pointsPart ? pointWords * 4 : part == namesPart ? 1 : labelWords * 4;
}

struct Part {
    quint32 offset;
    quint32 count;
};

} // namespace

BaseMapData::Shape BaseMapData::Shapes::operator[](std::size_t index) const
{
    const quint32* record = records_ + index * shapeWords;
    Shape shape;
    shape.unit_ = data_->unit_;
    const quint32 first = record[0];
    const quint32 count = record[1];
    if (first <= data_->pointCount_ && count <= data_->pointCount_ - first) {
        shape.points_ = data_->points_ + std::size_t(first) * pointWords;
        shape.count_ = count;
    }
    const double unit = data_->unit_;
    shape.bounds_ = QRectF(QPointF(record[2] * unit, record[3] * unit), QPointF(record[4] * unit, record[5] * unit));
    return shape;
}

BaseMapData::Label BaseMapData::Labels::operator[](std::size_t index) const
{
    const quint32* record = records_ + index * labelWords;
    return {point(index), QString::fromUtf8(nameBytes(index)), minimumZoom(index), record[3], isCapital(index)};
}

bool BaseMapData::Labels::isCapital(std::size_t index) const
{
    return records_[index * labelWords + 4] == 1;
}

QByteArrayView BaseMapData::Labels::nameBytes(std::size_t index) const
{
    const quint32* record = records_ + index * labelWords;
    return data_->text(record[5], record[6]);
}

MapPoint BaseMapData::Labels::point(std::size_t index) const
{
    const quint32* record = records_ + index * labelWords;
    return {record[0] * data_->unit_, record[1] * data_->unit_};
}

double BaseMapData::Labels::minimumZoom(std::size_t index) const
{
    return std::bit_cast<float>(records_[index * labelWords + 2]);
}

QByteArrayView BaseMapData::text(quint32 offset, quint32 bytes) const
{
    if (offset > nameBytes_ || bytes > nameBytes_ - offset) {
        return {};
    }
    return {names_ + offset, qsizetype(bytes)};
}

std::unique_ptr<const BaseMapData> BaseMapData::load(const QString& path)
{
    auto data = std::make_unique<BaseMapData>();
    data->file_.setFileName(path);
    if (!data->file_.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    const qint64 size = data->file_.size();
    const std::size_t headBytes = (headWords + 2 * partCount) * 4;
    if (size < qint64(headBytes)) {
        return nullptr;
    }
    data->bytes_ = data->file_.map(0, size);
    if (!data->bytes_) {
        return nullptr;
    }
    const auto* words = reinterpret_cast<const quint32*>(data->bytes_);
    if (std::memcmp(data->bytes_, magic, 8) != 0 || words[2] != version || words[3] == 0
        || words[4] != levelCount) {
        return nullptr;
    }
    data->unit_ = mapWorldSize / words[3];

    // Every part lies in the file, aligned for reading in place, and the
    // parts end where the file does: one cut short anywhere is refused.
    std::array<Part, partCount> parts;
    std::size_t end = headBytes;
    for (std::size_t i = 0; i < partCount; ++i) {
        parts[i] = {words[headWords + 2 * i], words[headWords + 2 * i + 1]};
        const std::size_t partEnd = std::size_t(parts[i].offset) + std::size_t(parts[i].count) * recordBytes(i);
        if (parts[i].offset % 4 != 0 || parts[i].offset < headBytes || partEnd > std::size_t(size)) {
            return nullptr;
        }
        end = std::max(end, (partEnd + 3) / 4 * 4);
    }
    if (end != std::size_t(size)) {
        return nullptr;
    }
    const auto at = [&](const Part& part) { return reinterpret_cast<const quint32*>(data->bytes_ + part.offset); };
    const auto read = [&]<typename List>(List& list, const Part& part) {
        list.data_ = data.get();
        list.records_ = at(part);
        list.count_ = part.count;
    };
    for (std::size_t level = 0; level < levelCount; ++level) {
        read(data->levels_[level].land, parts[2 * level]);
        read(data->levels_[level].borders, parts[2 * level + 1]);
    }
    data->points_ = at(parts[pointsPart]);
    data->pointCount_ = parts[pointsPart].count;
    read(data->countries_, parts[countriesPart]);
    read(data->cities_, parts[citiesPart]);
    data->names_ = reinterpret_cast<const char*>(data->bytes_ + parts[namesPart].offset);
    data->nameBytes_ = parts[namesPart].count;
    return data;
}

QString BaseMapData::defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../resources/world.map");
}

std::shared_ptr<const BaseMapData> BaseMapData::shared()
{
    static std::mutex lock;
    static std::weak_ptr<const BaseMapData> loaded;
    const std::lock_guard guard(lock);
    std::shared_ptr<const BaseMapData> data = loaded.lock();
    if (!data) {
        data = load(defaultPath());
        loaded = data;
    }
    return data;
}

const BaseMapData::Level& BaseMapData::levelFor(int zoom) const
{
    return levels_[zoom >= fineFromZoom ? 2 : zoom >= mediumFromZoom ? 1 : 0];
}

} // namespace pivra
