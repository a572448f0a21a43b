#include "gallery/JustifiedGalleryLayout.h"

#include <algorithm>
#include <cmath>

namespace pivra {

double JustifiedGalleryLayout::clampedAspect(double aspect)
{
    // A NaN aspect would poison every later frame of its row.
    return std::isfinite(aspect) ? std::clamp(aspect, minAspect, maxAspect) : 1.0;
}

void JustifiedGalleryLayout::setAspects(std::vector<double> aspects)
{
    aspects_ = std::move(aspects);
    ++geometryRevision_;
}

void JustifiedGalleryLayout::setMonths(std::vector<MonthMarker> months)
{
    months_ = std::move(months);
    ++geometryRevision_;
}

void JustifiedGalleryLayout::prepare(double boundsWidth, double visibleHeight)
{
    const double bounds = std::max(boundsWidth, 1.0);
    const double width = frozenWidth_ ? *frozenWidth_ : bounds;
    const int count = static_cast<int>(aspects_.size());
    const bool cached = preparedRevision_ == geometryRevision_ && preparedCount_ == count &&
                        std::abs(preparedWidth_ - width) <= widthTolerance &&
                        preparedTargetHeight_ == targetHeight_ && preparedTopInset_ == topInset_;
    if (!cached) {
        preparedRevision_ = geometryRevision_;
        preparedCount_ = count;
        preparedWidth_ = width;
        preparedTargetHeight_ = targetHeight_;
        preparedTopInset_ = topInset_;
        computeRows(width);
    }
    scale_ = std::max(bounds - 2 * margin, 1.0) / std::max(width - 2 * margin, 1.0);
    contentSize_ = QSizeF(bounds, std::max(topInset_ + scale_ * (naturalHeight_ - margin - topInset_) + margin,
                                           visibleHeight));
}

void JustifiedGalleryLayout::computeRows(double width)
{
    ++computations_;
    rows_.clear();
    headers_.clear();
    const int count = preparedCount_;
    const double usable = std::max(width - 2 * margin, 1.0);
    const double target = targetHeight_;
    double y = topInset_;
    for (size_t k = 0; k < months_.size(); ++k) {
        const int start0 = months_[k].index;
        if (start0 >= count || start0 < 0) {
            continue;
        }
        int end = count;
        if (k + 1 < months_.size() && months_[k + 1].index < count) {
            end = months_[k + 1].index;
        }
        if (k == 0) {
            headers_.emplace_back(margin, y, 0, 0);
        } else {
            headers_.emplace_back(margin, y, 0, headerHeight);
            y += headerAdvance;
        }
        bool producedRows = false;
        for (int start = start0; start < end;) {
            double sum = 0;
            int j = start;
            for (;; ++j) {
                sum += clampedAspect(aspects_[j]);
                if (j == end - 1 || (j - start) * gap + target * sum >= usable) {
                    break;
                }
            }
            const double gaps = (j - start) * gap;
            const double height = (usable - gaps) / (sum > minAspectSum ? sum : minAspectSum);
            const double rowHeight = height < target ? std::max(height, minRowHeight) : std::max(target, minRowHeight);
            rows_.push_back({start, j + 1, y, rowHeight});
            producedRows = true;
            start = j + 1;
            if (start < end) {
                y += rowHeight + gap;
            }
        }
        if (producedRows) {
            y = rows_.back().y + rows_.back().height;
        }
        y += monthGap;
    }
    naturalHeight_ = y + margin;
}

QRectF JustifiedGalleryLayout::toView(double x, double y, double width, double height) const
{
    return QRectF(margin + (x - margin) * scale_, topInset_ + (y - topInset_) * scale_, width * scale_,
                  height * scale_);
}

int JustifiedGalleryLayout::firstRowReaching(double layoutY) const
{
    const auto found = std::partition_point(rows_.begin(), rows_.end(),
                                            [layoutY](const Row& row) { return row.y + row.height < layoutY; });
    return static_cast<int>(found - rows_.begin());
}

std::optional<QRectF> JustifiedGalleryLayout::itemFrame(int index) const
{
    const auto row = std::partition_point(rows_.begin(), rows_.end(), [index](const Row& r) { return r.end <= index; });
    if (row == rows_.end() || index < row->start) {
        return std::nullopt;
    }
    double x = margin;
    for (int i = row->start; i < index; ++i) {
        x += row->height * clampedAspect(aspects_[i]) + gap;
    }
    return toView(x, row->y, row->height * clampedAspect(aspects_[index]), row->height);
}

std::vector<TileFrame> JustifiedGalleryLayout::tilesIn(const QRectF& rect) const
{
    std::vector<TileFrame> tiles;
    const double top = toLayoutY(rect.top());
    const double bottom = toLayoutY(rect.bottom());
    for (size_t r = firstRowReaching(top); r < rows_.size() && rows_[r].y <= bottom; ++r) {
        const Row& row = rows_[r];
        double x = margin;
        for (int i = row.start; i < row.end; ++i) {
            const double width = row.height * clampedAspect(aspects_[i]);
            const QRectF frame = toView(x, row.y, width, row.height);
            if (frame.intersects(rect)) {
                tiles.push_back({i, frame});
            }
            x += width + gap;
        }
    }
    return tiles;
}

std::optional<QRectF> JustifiedGalleryLayout::headerFrame(int marker) const
{
    if (marker < 0 || static_cast<size_t>(marker) >= headers_.size() || headers_[marker].height() <= 0) {
        return std::nullopt;
    }
    return QRectF(margin, topInset_ + (headers_[marker].top() - topInset_) * scale_,
                  std::max(contentSize_.width() - 2 * margin, 1.0), headers_[marker].height());
}

std::vector<HeaderFrame> JustifiedGalleryLayout::headersIn(const QRectF& rect) const
{
    std::vector<HeaderFrame> result;
    const double top = toLayoutY(rect.top());
    const double bottom = toLayoutY(rect.bottom());
    auto header = std::partition_point(headers_.begin(), headers_.end(),
                                       [top](const QRectF& h) { return h.bottom() < top; });
    for (; header != headers_.end() && header->top() <= bottom; ++header) {
        const int marker = static_cast<int>(header - headers_.begin());
        const std::optional<QRectF> frame = headerFrame(marker);
        if (frame && frame->intersects(rect)) {
            result.push_back({marker, *frame});
        }
    }
    return result;
}

std::optional<int> JustifiedGalleryLayout::itemAt(QPointF point) const
{
    for (const TileFrame& tile : tilesIn(QRectF(point, QSizeF(0.01, 0.01)))) {
        if (tile.rect.contains(point)) {
            return tile.index;
        }
    }
    return std::nullopt;
}

std::optional<GalleryAnchor> JustifiedGalleryLayout::anchor(double viewY) const
{
    if (rows_.empty()) {
        return std::nullopt;
    }
    const size_t found = std::min<size_t>(firstRowReaching(toLayoutY(viewY)), rows_.size() - 1);
    const Row& row = rows_[found];
    const double rowTop = topInset_ + (row.y - topInset_) * scale_;
    return GalleryAnchor{row.start, viewY - rowTop, row.height * scale_};
}

std::optional<QString> JustifiedGalleryLayout::month(double viewY) const
{
    if (months_.empty()) {
        return std::nullopt;
    }
    const double y = toLayoutY(viewY);
    const auto k = std::partition_point(headers_.begin(), headers_.end(),
                                        [y](const QRectF& h) { return h.top() <= y; }) -
                   headers_.begin();
    if (k == 0) {
        return months_.front().title;
    }
    return static_cast<size_t>(k - 1) < months_.size() ? std::optional(months_[k - 1].title) : std::nullopt;
}

JustifiedGalleryLayout JustifiedGalleryLayout::resized(double targetHeight) const
{
    JustifiedGalleryLayout copy = withoutItems();
    copy.setTargetHeight(targetHeight);
    copy.setAspects(aspects_);
    copy.setMonths(months_);
    return copy;
}

JustifiedGalleryLayout JustifiedGalleryLayout::withoutItems() const
{
    JustifiedGalleryLayout copy;
    copy.setTargetHeight(targetHeight_);
    copy.setTopInset(topInset_);
    copy.setFrozenWidth(frozenWidth_);
    return copy;
}

void JustifiedGalleryLayout::adopt(JustifiedGalleryLayout laidOut)
{
    laidOut.targetHeight_ = targetHeight_;
    laidOut.topInset_ = topInset_;
    laidOut.frozenWidth_ = frozenWidth_;
    laidOut.computations_ += computations_;
    *this = std::move(laidOut);
}

} // namespace pivra
