#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace pivra {

// One month boundary of the gallery: the index of its first item and the
// title shown above it.
struct MonthMarker {
    int index = 0;
    QString title;

    bool operator==(const MonthMarker&) const = default;
};

// The row under a vertical position: the first item of that row, how far
// below the row's top the position lies, and the row's height (view
// coordinates).
struct GalleryAnchor {
    int index = 0;
    double offset = 0;
    double height = 0;
};

struct TileFrame {
    int index = 0;
    QRectF rect;
};

struct HeaderFrame {
    int marker = 0; // position in the month markers
    QRectF rect;
};

// The justified, month-grouped geometry of the gallery, free of widgets.
//
// Items are placed in rows that fill the usable width exactly, each row as
// tall as that takes but never taller than the target height; a month's last
// row keeps the target height and stays left-aligned. Every month after the
// first starts under a header. Geometry comes from the items' aspect ratios
// alone, so a thumbnail arriving never moves anything.
//
// The rows are computed on the first read after something they depend on
// changed (aspects, months, width beyond half a pixel, target height, top
// inset); scrolling only reads them. One pass is linear in the items and
// costs a few milliseconds for a hundred thousand. Rows and headers are
// ordered by y, so every query starts with a binary search and visits only
// what it returns.
//
// Layout coordinates are those of the width the rows were computed for.
// While a live resize holds `frozenWidth`, the rows stay and the whole grid
// is scaled to the current width about the left margin and the top inset
// (view coordinates); otherwise both agree.
class JustifiedGalleryLayout {
public:
    static constexpr double margin = 20;          // left, right and bottom
    static constexpr double gap = 8;              // between items of a row and between rows
    static constexpr double minAspect = 0.15;     // very tall images
    static constexpr double maxAspect = 8.0;      // panoramas
    static constexpr double headerHeight = 36;    // every month header but the first
    static constexpr double headerAdvance = 54;   // from a header's top to its month's first row
    static constexpr double monthGap = 24;        // after a month's last row
    static constexpr double widthTolerance = 0.5; // smaller width changes keep the rows
    static constexpr double minAspectSum = 0.01;
    static constexpr double minRowHeight = 1;

    double targetHeight() const { return targetHeight_; }
    void setTargetHeight(double height) { targetHeight_ = height; }
    double topInset() const { return topInset_; }
    void setTopInset(double inset) { topInset_ = inset; }
    const std::optional<double>& frozenWidth() const { return frozenWidth_; }
    void setFrozenWidth(std::optional<double> width) { frozenWidth_ = width; }

    const std::vector<double>& aspects() const { return aspects_; }
    void setAspects(std::vector<double> aspects);
    // Ascending by index. A marker whose successor starts earlier gets no rows.
    const std::vector<MonthMarker>& months() const { return months_; }
    void setMonths(std::vector<MonthMarker> months);

    // Brings rows and scale up to date for a view `boundsWidth` wide whose
    // visible area is `visibleHeight` tall. Cheap when nothing changed.
    void prepare(double boundsWidth, double visibleHeight);

    QSizeF contentSize() const { return contentSize_; }
    double scale() const { return scale_; }
    double naturalHeight() const { return naturalHeight_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    // How many times the rows were computed, for tests of the cache.
    int computations() const { return computations_; }

    // View frame of one item; none for an item that is not laid out.
    std::optional<QRectF> itemFrame(int index) const;
    // Items and headers (with height) whose view frames meet `rect`, in order.
    std::vector<TileFrame> tilesIn(const QRectF& rect) const;
    std::vector<HeaderFrame> headersIn(const QRectF& rect) const;
    // View frame of the header of month marker `marker`; none for the first
    // month's or a marker that is not laid out.
    std::optional<QRectF> headerFrame(int marker) const;
    // Item whose view frame contains `point`, if any.
    std::optional<int> itemAt(QPointF point) const;

    std::optional<GalleryAnchor> anchor(double viewY) const;
    std::optional<QString> month(double viewY) const;

    // A copy for another row height that computes itself on first use.
    JustifiedGalleryLayout resized(double targetHeight) const;
    // A copy of the settings alone, with no items.
    JustifiedGalleryLayout withoutItems() const;
    // Takes the items of `laidOut`, and its rows and scale where they were
    // computed for this layout's settings, keeping those settings: a large
    // list is laid out off the GUI thread and then handed over whole.
    void adopt(JustifiedGalleryLayout laidOut);

    static double clampedAspect(double aspect);

private:
    struct Row {
        int start;
        int end;
        double y;
        double height;
    };

    void computeRows(double width);
    int firstRowReaching(double layoutY) const;
    QRectF toView(double x, double y, double width, double height) const;
    double toLayoutY(double viewY) const { return topInset_ + (viewY - topInset_) / scale_; }

    double targetHeight_ = 190;
    double topInset_ = 122;
    std::vector<double> aspects_;
    std::vector<MonthMarker> months_;
    std::optional<double> frozenWidth_;

    std::vector<Row> rows_;
    std::vector<QRectF> headers_;
    double scale_ = 1;
    QSizeF contentSize_;
    double naturalHeight_ = 0;
    int computations_ = 0;

    int geometryRevision_ = 0;
    int preparedRevision_ = -1;
    double preparedWidth_ = 0;
    int preparedCount_ = -1;
    double preparedTargetHeight_ = 0;
    double preparedTopInset_ = 0;
};

} // namespace pivra
