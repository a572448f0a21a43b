#pragma once

#include "map/MapGeometry.h"

#include <QByteArrayView>
#include <QFile>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <cstddef>
#include <memory>

namespace pivra {

// The offline world the map always has: land outlines and country borders at
// three scales of detail, and the names of countries and cities, read in
// place from the file tools/map-data builds (resources/world.map beside the
// program), which is mapped into memory and never parsed: its pages are the
// kernel's to drop and to bring back from the file at once, so holding the
// data costs the program no memory of its own. Coordinates are map points.
// Read-only; any thread.
class BaseMapData {
    // Entries of one part of the file, read one at a time, by value.
    template<typename Self, typename Value>
    class Entries {
    public:
        class Walk {
        public:
            using value_type = Value;
            using difference_type = std::ptrdiff_t;
            Walk() = default;
            Walk(const Self* list, std::size_t index) : list_(list), index_(index) {}
            Value operator*() const { return (*list_)[index_]; }
            Walk& operator++()
            {
                ++index_;
                return *this;
            }
            Walk operator++(int)
            {
                Walk before = *this;
                ++index_;
                return before;
            }
            bool operator==(const Walk& other) const { return index_ == other.index_; }

        private:
            const Self* list_ = nullptr;
            std::size_t index_ = 0;
        };

        std::size_t size() const { return count_; }
        bool empty() const { return count_ == 0; }
        Walk begin() const { return {static_cast<const Self*>(this), 0}; }
        Walk end() const { return {static_cast<const Self*>(this), count_}; }

    protected:
        friend class BaseMapData;
        const BaseMapData* data_ = nullptr;
        const quint32* records_ = nullptr;
        std::size_t count_ = 0;
    };

public:
    // One outline or line of the file: its points in order, and the box
    // around them, so drawing can skip what lies outside a tile.
    class Shape {
    public:
        qsizetype size() const { return count_; }
        QPointF operator[](qsizetype index) const
        {
            return {points_[2 * index] * unit_, points_[2 * index + 1] * unit_};
        }
        const QRectF& bounds() const { return bounds_; }

    private:
        friend class BaseMapData;
        const quint32* points_ = nullptr;
        qsizetype count_ = 0;
        double unit_ = 0;
        QRectF bounds_;
    };
    // The outlines or lines of one kind at one scale.
    class Shapes : public Entries<Shapes, Shape> {
    public:
        // An entry that points past the file's points reads as no points.
        Shape operator[](std::size_t index) const;
    };
    struct Level {
        Shapes land;    // closed rings; holes are rings of their own
        Shapes borders; // open lines between countries
    };
    struct Label {
        MapPoint point;
        QString name;
        double minimumZoom = 0;
        quint32 population = 0; // a city's, where GeoNames knows it
        bool capital = false;
    };
    // Countries or cities. A name that lies outside the file's names reads
    // as none.
    class Labels : public Entries<Labels, Label> {
    public:
        Label operator[](std::size_t index) const;
        MapPoint point(std::size_t index) const;
        double minimumZoom(std::size_t index) const;
        bool isCapital(std::size_t index) const;
        // The name as the file holds it, in UTF-8.
        QByteArrayView nameBytes(std::size_t index) const;
    };
    // Coarse (1:110m) to fine (1:10m).
    static constexpr int levelCount = 3;

    // None when the file is missing, of another kind or version, or cut short.
    static std::unique_ptr<const BaseMapData> load(const QString& path);
    // The program's data, mapped by whichever thread asks first (a tile
    // worker, never the GUI thread), and again by the first to ask after
    // everyone has let go of it: a map the user has left holds none of it.
    // None when it cannot be read.
    static std::shared_ptr<const BaseMapData> shared();
    static QString defaultPath();

    // The scale of detail that suits a tile zoom.
    const Level& levelFor(int zoom) const;
    const std::array<Level, levelCount>& levels() const { return levels_; }
    // Largest countries first.
    const Labels& countries() const { return countries_; }
    // Lowest minimum zoom first, and within one zoom the most people first,
    // a capital counted five times.
    const Labels& cities() const { return cities_; }

private:
    QByteArrayView text(quint32 offset, quint32 bytes) const;

    QFile file_;
    const uchar* bytes_ = nullptr;
    double unit_ = 0;
    const quint32* points_ = nullptr;
    std::size_t pointCount_ = 0;
    const char* names_ = nullptr;
    std::size_t nameBytes_ = 0;
    std::array<Level, levelCount> levels_;
    Labels countries_;
    Labels cities_;
};

} // namespace pivra
