#include "map/basemap/BaseMapData.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>
#include <mutex>
#include <optional>

namespace pivra {

namespace {

constexpr char magic[] = "PIVRAMAP";
constexpr quint32 version = 2;
// Tile zooms from which the next finer scale is drawn.
constexpr int mediumFromZoom = 3;
constexpr int fineFromZoom = 6;

// Reads the little-endian file front to back; every read after running past
// the end fails, and the loader checks once at the end of each part.
class Reader {
public:
    explicit Reader(const QByteArray& bytes) : data_(bytes.constData()), end_(bytes.constData() + bytes.size()) {}

    bool ok() const { return ok_; }
    quint32 u32()
    {
        if (!has(4)) {
            return 0;
        }
        quint32 value = 0;
        std::memcpy(&value, data_, 4);
        data_ += 4;
        return value;
    }
    float f32()
    {
        const quint32 bits = u32();
        float value = 0;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    qint64 varint()
    {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (!has(1)) {
                return 0;
            }
            const auto byte = static_cast<unsigned char>(*data_++);
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                return (value & 1) ? -qint64(value >> 1) - 1 : qint64(value >> 1);
            }
        }
        ok_ = false;
        return 0;
    }
    QString text()
    {
        quint16 length = 0;
        if (!has(2)) {
            return {};
        }
        std::memcpy(&length, data_, 2);
        data_ += 2;
        if (!has(length)) {
            return {};
        }
        const QString value = QString::fromUtf8(data_, length);
        data_ += length;
        return value;
    }
    bool skipMagic()
    {
        if (!has(8) || std::memcmp(data_, magic, 8) != 0) {
            return ok_ = false;
        }
        data_ += 8;
        return true;
    }
    // A count of records of at least `minimumBytes` each that the rest of the
    // file could hold.
    std::optional<quint32> count(qsizetype minimumBytes)
    {
        const quint32 value = u32();
        if (!ok_ || qsizetype(value) > (end_ - data_) / minimumBytes) {
            ok_ = false;
            return std::nullopt;
        }
        return value;
    }

private:
    bool has(qsizetype bytes)
    {
        if (end_ - data_ < bytes) {
            ok_ = false;
        }
        return ok_;
    }

    const char* data_;
    const char* end_;
    bool ok_ = true;
};

bool readShapes(Reader& reader, double unit, std::vector<BaseMapData::Shape>& shapes)
{
    const std::optional<quint32> count = reader.count(12);
    if (!count) {
        return false;
    }
    shapes.reserve(*count);
    for (quint32 i = 0; i < *count && reader.ok(); ++i) {
        const std::optional<quint32> points = reader.count(2);
        if (!points || *points == 0) {
            return false;
        }
        qint64 x = reader.u32();
        qint64 y = reader.u32();
        QPolygonF polygon;
        polygon.reserve(*points);
        polygon.append(QPointF(double(x) * unit, double(y) * unit));
        for (quint32 p = 1; p < *points; ++p) {
            x += reader.varint();
            y += reader.varint();
            polygon.append(QPointF(double(x) * unit, double(y) * unit));
        }
        const QRectF bounds = polygon.boundingRect();
        shapes.push_back({std::move(polygon), bounds});
    }
    return reader.ok();
}

// City labels carry their population; country labels do not.
bool readLabels(Reader& reader, double unit, bool withPopulation, std::vector<BaseMapData::Label>& labels)
{
    const std::optional<quint32> count = reader.count(withPopulation ? 18 : 14);
    if (!count) {
        return false;
    }
    labels.reserve(*count);
    for (quint32 i = 0; i < *count && reader.ok(); ++i) {
        BaseMapData::Label label;
        label.point.x = reader.u32() * unit;
        label.point.y = reader.u32() * unit;
        label.minimumZoom = reader.f32();
        label.population = withPopulation ? reader.u32() : 0;
        label.name = reader.text();
        labels.push_back(std::move(label));
    }
    return reader.ok();
}

} // namespace

std::unique_ptr<const BaseMapData> BaseMapData::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    Reader reader(bytes);
    if (!reader.skipMagic() || reader.u32() != version) {
        return nullptr;
    }
    const quint32 worldUnits = reader.u32();
    if (reader.u32() != levelCount || worldUnits == 0) {
        return nullptr;
    }
    const double unit = mapWorldSize / worldUnits;
    auto data = std::make_unique<BaseMapData>();
    for (Level& level : data->levels_) {
        if (!readShapes(reader, unit, level.land) || !readShapes(reader, unit, level.borders)) {
            return nullptr;
        }
    }
    if (!readLabels(reader, unit, false, data->countries_) || !readLabels(reader, unit, true, data->cities_)) {
        return nullptr;
    }
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
