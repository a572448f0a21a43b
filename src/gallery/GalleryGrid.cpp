#include "gallery/GalleryGrid.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "gallery/GalleryAccessible.h"
#include "gallery/GalleryMonths.h"
#include "gallery/TileBadges.h"
#include "gallery/TileMenu.h"
#include "gallery/drag/MediaDragPreview.h"
#include "gallery/preview/HoverVideoPlayer.h"
#include "gallery/preview/PreviewFrameBudget.h"
#include "gallery/preview/RotatablePreviewView.h"
#include "media/pictures/PictureBuffers.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/threads/Pool.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QMimeData>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <utility>

namespace pivra {

namespace {
constexpr double clickSlop = 5;           // a press that moves further is a drag, not a click
constexpr double burstSeconds = 0.3;      // width changes closer than this keep one anchor
constexpr int liveResizeQuietMs = 250;    // a live resize ends once resizing pauses this long
constexpr double hoverLift = 0.018;       // a hovered tile grows by this fraction
constexpr int largestAnimatedSpan = 4000; // more tiles than this between old and new view: jump
constexpr double scrollThreshold = 0.5;   // smaller moves are no scroll
// A band unchanged this long is no longer being browsed: the grid rests.
constexpr int restAfterMs = 2000;
const MotionCurve rowHeightCurve = curves::bezier(0.38, {0.2, 0.8}, {0.2, 1.0});
const MotionCurve liftCurve = curves::bezier(0.18, {0.2, 0.8}, {0.2, 1.0});
const MotionCurve dotCurve = curves::easeInOut(0.22);

double systemSeconds()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer.nsecsElapsed() / 1e9;
}

QRectF lerp(const QRectF& from, const QRectF& to, double t)
{
    return {from.x() + (to.x() - from.x()) * t, from.y() + (to.y() - from.y()) * t,
            from.width() + (to.width() - from.width()) * t, from.height() + (to.height() - from.height()) * t};
}

QRectF lerp(const std::optional<QRectF>& from, const std::optional<QRectF>& to, double t)
{
    return lerp(from.value_or(to.value_or(QRectF())), to.value_or(from.value_or(QRectF())), t);
}
} // namespace

// The disconnected dot of a visible item, whose preview (which owns the
// thumbnail request) the pool keeps.
struct GalleryGrid::Tile {
    QUuid source;
    double dotFrom = 0;
    double dotTo = 0;
};

GalleryGrid::GalleryGrid(ThumbnailStore& thumbnails, const VideoPreviewStore& clips, QWidget* parent)
    : QAbstractScrollArea(parent)
    , thumbnails_(thumbnails)
    , hoverPlayer_(new HoverVideoPlayer(clips, thumbnails, this))
    , items_(std::make_shared<const std::vector<MediaItem>>())
    , previews_(thumbnails, *viewport())
    , clock_(&systemSeconds)
    , pasteboard_(thumbnails.cameraSourceManager())
    , lift_(*viewport(), liftCurve)
    , dateBubble_(new QLabel(this))
{
    GalleryAccessible::install();
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    dotFade_.setStartValue(0.0);
    dotFade_.setEndValue(1.0);
    connect(&dotFade_, &QVariantAnimation::valueChanged, viewport(), qOverload<>(&QWidget::update));
    rowMotion_.setStartValue(0.0);
    rowMotion_.setEndValue(1.0);
    connect(&rowMotion_, &QVariantAnimation::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(&rowMotion_, &QVariantAnimation::finished, this, [this] {
        updateTiles();
        viewport()->update();
    });
    previews_.setOnRecycle([this](const QString& id) { hoverPlayer_->stop(id); });
    connect(hoverPlayer_, &HoverVideoPlayer::frameChanged, this, [this] {
        // A clip's frame changes its tile alone (grown a little while hovered).
        const QRect tile = hoverPlayer_->tile();
        const int margin = int(std::ceil(std::max(tile.width(), tile.height()) * hoverLift / 2)) + 1;
        viewport()->update(tile.adjusted(-margin, -margin, margin, margin));
    });

    rest_.setSingleShot(true);
    rest_.setInterval(restAfterMs);
    connect(&rest_, &QTimer::timeout, this, &GalleryGrid::rest);
    releaseMemory_ = &trimHeapSoon;

    liveResizeEnd_.setSingleShot(true);
    liveResizeEnd_.setInterval(liveResizeQuietMs);
    connect(&liveResizeEnd_, &QTimer::timeout, this, &GalleryGrid::endLiveResize);

    dateBubble_->setAlignment(Qt::AlignCenter);
    dateBubble_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0, 0, 0, 209); border-radius: 8px; "
                                              "color: white; font-size: 12px; font-weight: 600; }"));
    dateBubble_->hide();
    connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, [this] {
        rowMotion_.stop();
        dateTracking_ = true;
        resizeAnchor_.reset();
        dateBubble_->show();
        dateBubble_->raise();
        updateDateBubble();
    });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] {
        dateTracking_ = false;
        dateBubble_->hide();
    });
    relayout();
}

GalleryGrid::~GalleryGrid() = default;

// Below this many items the list is laid out at once: the layout's tests
// and small libraries see their list the moment it is set.
constexpr std::size_t layOutOffThreadFrom = 100'000;

JustifiedGalleryLayout GalleryGrid::laidOut(MediaItems items, JustifiedGalleryLayout layout, QSizeF view)
{
    layout.setAspects(itemAspects(*items));
    layout.setMonths(monthMarkers(*items));
    layout.prepare(view.width(), view.height());
    return layout;
}

// The aspects, months and rows of a large list take tens of milliseconds, so
// they are found on the pool, for the view's size at the time, while the grid
// goes on showing the list before it; a newer list set meanwhile wins.
void GalleryGrid::setItems(MediaItems items, int version, ItemsPlace place)
{
    if (version == itemsVersion_) {
        return;
    }
    itemsVersion_ = version;
    if (!items) {
        items = std::make_shared<const std::vector<MediaItem>>();
    }
    if (items->size() < layOutOffThreadFrom) {
        JustifiedGalleryLayout laid = laidOut(items, layout_.withoutItems(),
                                              QSizeF(viewWidth(), viewport()->height()));
        showItems(std::move(items), std::move(laid), place);
        return;
    }
    startTask(this, layOutThenShow(std::move(items), version, place));
}

Task<> GalleryGrid::layOutThenShow(MediaItems items, int version, ItemsPlace place)
{
    JustifiedGalleryLayout laid =
        co_await runOnPool(PoolPriority::userInitiated, &GalleryGrid::laidOut, items,
                           layout_.withoutItems(), QSizeF(viewWidth(), viewport()->height()));
    if (version != itemsVersion_) {
        releaseOffThread(std::move(items));
        co_return;
    }
    showItems(std::move(items), std::move(laid), place);
}

// The rows came with the list; they are computed again here only when the
// view's width or the layout's settings changed meanwhile.
void GalleryGrid::showItems(MediaItems items, JustifiedGalleryLayout laid, ItemsPlace place)
{
    MediaItems previous = std::exchange(items_, std::move(items));
    rowMotion_.stop();
    resizeAnchor_.reset();
    lastWidthChange_ = 0;
    layout_.adopt(std::move(laid));
    if (place == ItemsPlace::top) {
        // Jumping before the new range is set keeps the old place from being
        // clamped into the new list, where its tiles would ask for thumbnails
        // no one sees; the jump is no scroll of the user's.
        layout_.prepare(viewWidth(), viewport()->height());
        adjustingScroll_ = true;
        scrollTo(0);
        adjustingScroll_ = false;
    }
    relayout();
    updateTiles();
    if (pointer_) {
        updateHover(*pointer_);
    }
    viewport()->update();
    GalleryAccessible::itemsReloaded(*this);
    // The store has let go of the previous list already: the grid frees it.
    releaseOffThread(std::move(previous));
}

double GalleryGrid::viewWidth() const
{
    return viewport()->width();
}

void GalleryGrid::relayout()
{
    layoutWidth_ = viewWidth();
    layout_.prepare(layoutWidth_, viewport()->height());
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(std::max(1, int(layout_.targetHeight() / 3)));
    bar->setRange(0, int(std::lround(maxScroll())));
}

double GalleryGrid::maxScroll() const
{
    return std::max(layout_.contentSize().height() - viewport()->height(), 0.0);
}

double GalleryGrid::scrollY() const
{
    return verticalScrollBar()->value();
}

void GalleryGrid::scrollTo(double y)
{
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::clamp(int(std::lround(y)), 0, bar->maximum()));
}

void GalleryGrid::setTopInset(double inset)
{
    if (layout_.topInset() != inset) {
        layout_.setTopInset(inset);
        relayout();
        updateTiles();
        viewport()->update();
    }
}

void GalleryGrid::setOfflineSourceIDs(QSet<QUuid> sources)
{
    if (sources == offlineSources_) {
        return;
    }
    offlineSources_ = std::move(sources);
    const double progress = dotFade_.state() == QAbstractAnimation::Running ? dotFade_.currentValue().toDouble() : 1;
    bool changed = false;
    for (auto& [id, tile] : tiles_) {
        const double shown = tile.dotFrom + (tile.dotTo - tile.dotFrom) * progress;
        const double wanted = offlineSources_.contains(tile.source) ? 1 : 0;
        tile.dotFrom = wanted != tile.dotTo ? shown : wanted;
        changed = changed || wanted != tile.dotTo;
        tile.dotTo = wanted;
    }
    if (changed) {
        Motion::apply(dotFade_, dotCurve);
        dotFade_.stop();
        dotFade_.start();
    }
    viewport()->update();
    GalleryAccessible::offlineChanged(*this);
}

void GalleryGrid::setRowHeight(double height)
{
    if (!(height > 0) || height == layout_.targetHeight()) {
        return;
    }
    rowMotion_.stop();
    resizeAnchor_.reset();
    lastWidthChange_ = 0;
    const double y = scrollY();
    const double visible = viewport()->height();
    const std::optional<GalleryAnchor> anchor = layout_.anchor(y + visible / 2);
    JustifiedGalleryLayout from = layout_;
    layout_ = layout_.resized(height);
    relayout();
    double target = y;
    if (anchor) {
        const QRectF frame = *layout_.itemFrame(anchor->index);
        const double point = frame.top() + anchor->offset / std::max(anchor->height, 1.0) * frame.height();
        target = std::clamp(point - visible / 2, 0.0, maxScroll());
    }
    const auto before = from.tilesIn(QRectF(0, y, viewWidth(), visible));
    const auto after = layout_.tilesIn(QRectF(0, target, viewWidth(), visible));
    const bool small = !before.empty() && !after.empty() &&
                       std::abs(after.back().index - before.front().index) < largestAnimatedSpan &&
                       std::abs(before.back().index - after.front().index) < largestAnimatedSpan;
    if (!Motion::reduced() && anchor && small) {
        motion_ = RowMotion{std::move(from), y, target};
        Motion::apply(rowMotion_, rowHeightCurve);
        rowMotion_.start();
    }
    scrollTo(target);
    updateTiles();
    viewport()->update();
}

void GalleryGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const double now = clock_();
    const bool widthChanged = std::abs(viewWidth() - layoutWidth_) > JustifiedGalleryLayout::widthTolerance;
    if (widthChanged && lastResize_ >= 0 && now - lastResize_ < burstSeconds && !layout_.frozenWidth()) {
        beginLiveResize();
    }
    if (widthChanged) {
        lastResize_ = now;
    }
    if (layout_.frozenWidth()) {
        liveResizeEnd_.start();
    }
    synchronizeWidth();
    updateDateBubble();
}

void GalleryGrid::synchronizeWidth()
{
    const double width = viewWidth();
    if (width <= 1 || std::abs(width - layoutWidth_) <= JustifiedGalleryLayout::widthTolerance) {
        relayout(); // the height alone decides the scroll range
        updateTiles();
        return;
    }
    rowMotion_.stop();
    const double now = clock_();
    if (now - lastWidthChange_ > burstSeconds) {
        resizeAnchor_.reset();
    }
    lastWidthChange_ = now;
    const std::optional<GalleryAnchor> anchor = resizeAnchor_ ? resizeAnchor_ : layout_.anchor(scrollY());
    resizeAnchor_ = anchor;
    relayout();
    if (anchor) {
        settleOn(*anchor, false);
    }
    updateTiles();
    viewport()->update();
}

// Scrolls so the anchor's item sits as far below the top as before: a
// position inside the old row keeps its share of the row's height, and with
// `proportional` any offset is scaled by the row's change.
void GalleryGrid::settleOn(const GalleryAnchor& anchor, bool proportional)
{
    const std::optional<QRectF> frame = layout_.itemFrame(anchor.index);
    if (!frame) {
        return;
    }
    const bool inside = anchor.offset >= 0 && anchor.offset <= anchor.height;
    const double offset = proportional || inside ? anchor.offset / std::max(anchor.height, 1.0) * frame->height()
                                                 : anchor.offset;
    const double target = std::clamp(frame->top() + offset, 0.0, maxScroll());
    if (std::abs(target - scrollY()) > scrollThreshold) {
        adjustingScroll_ = true;
        scrollTo(target);
        adjustingScroll_ = false;
    }
}

void GalleryGrid::beginLiveResize()
{
    layout_.setFrozenWidth(layoutWidth_ > 1 ? layoutWidth_ : viewWidth());
    liveResizeEnd_.start();
}

void GalleryGrid::endLiveResize()
{
    liveResizeEnd_.stop();
    if (!layout_.frozenWidth()) {
        return;
    }
    const std::optional<GalleryAnchor> anchor = layout_.anchor(scrollY());
    layout_.setFrozenWidth(std::nullopt);
    relayout();
    if (anchor) {
        settleOn(*anchor, true);
    }
    resizeAnchor_.reset();
    lastWidthChange_ = 0;
    updateTiles();
    viewport()->update();
}

void GalleryGrid::scrollContentsBy(int, int)
{
    scrolled();
}

void GalleryGrid::scrolled()
{
    const double y = scrollY();
    if (!adjustingScroll_ && std::abs(y - lastY_) > scrollThreshold) {
        thumbnails_.preparationPause().noteScroll();
    }
    lastY_ = y;
    updateTiles();
    updateDateBubble();
    if (pointer_) {
        updateHover(*pointer_);
    }
    viewport()->update();
}

// The items whose tiles are kept: those in view first, in reading order (the
// order their thumbnails are asked for), then half a view below and above.
// While the row height animates, also those of the view being left.
std::vector<int> GalleryGrid::bandIndices() const
{
    const double width = viewWidth();
    const double height = viewport()->height();
    const double y = scrollY();
    std::vector<int> indices;
    auto add = [&indices](const std::vector<TileFrame>& tiles) {
        for (const TileFrame& tile : tiles) {
            indices.push_back(tile.index);
        }
    };
    add(layout_.tilesIn(QRectF(0, y, width, height)));
    add(layout_.tilesIn(QRectF(0, y + height, width, height / 2)));
    add(layout_.tilesIn(QRectF(0, y - height / 2, width, height / 2)));
    if (isAnimatingRowHeight()) {
        add(motion_.from.tilesIn(QRectF(0, motion_.fromY, width, height)));
    }
    return indices;
}

void GalleryGrid::updateTiles()
{
    QElapsedTimer binding;
    binding.start();
    const auto counted = qScopeGuard([&] { bindingNs_ += binding.nsecsElapsed(); });
    const std::vector<int> band = bandIndices();
    std::vector<const MediaItem*> items;
    items.reserve(band.size());
    std::unordered_map<QString, Tile> kept;
    for (int index : band) {
        const MediaItem& item = (*items_)[index];
        items.push_back(&item);
        const auto found = tiles_.find(item.id());
        const double dot = offlineSources_.contains(item.sourceID()) ? 1 : 0;
        kept.emplace(item.id(), found != tiles_.end() ? found->second : Tile{item.sourceID(), dot, dot});
    }
    previews_.keep(items);
    tiles_ = std::move(kept);
    rest_.start();
}

// The tiles on screen hold their own thumbnails and pictures, so what goes is
// what the browse passed by, the placeholders it showed, and the memory kept
// for the next scroll's tiles; most of it is blocks the allocator keeps until
// trimmed.
void GalleryGrid::rest()
{
    thumbnails_.restMemory();
    RotatablePreviewView::releaseBareTiles();
    PictureBuffers::releaseUnused();
    releaseMemory_();
}

std::optional<QRectF> GalleryGrid::tileRect(int index) const
{
    std::optional<QRectF> frame = layout_.itemFrame(index);
    if (frame) {
        frame->translate(0, -scrollY());
    }
    return frame;
}

const RotatablePreviewView* GalleryGrid::preview(int index) const
{
    if (index < 0 || index >= int(items_->size())) {
        return nullptr;
    }
    return previews_.find((*items_)[index].id());
}

bool GalleryGrid::dark() const
{
    return PivraAppearance::isDark(palette());
}

void GalleryGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const bool isDark = dark();
    painter.fillRect(viewport()->rect(), PivraAppearance::canvas(isDark));
    const bool moving = isAnimatingRowHeight();
    // While tiles change size every frame they draw the pictures they have.
    const bool resizing = moving || layout_.frozenWidth().has_value();
    const double t = moving ? rowMotion_.currentValue().toDouble() : 1;
    const double y = moving ? motion_.fromY + (motion_.toY - motion_.fromY) * t : scrollY();
    const QRectF visible(0, y, viewWidth(), viewport()->height());
    const QRectF dirty = QRectF(event->rect()).translated(0, y);
    painter.translate(0, -y);

    std::vector<TileFrame> frames;
    std::vector<HeaderFrame> headers = layout_.headersIn(visible);
    if (moving) {
        // Every item between the first and last of either view moves from
        // its old frame to its new one.
        const QRectF before(0, motion_.fromY, viewWidth(), viewport()->height());
        const QRectF after(0, motion_.toY, viewWidth(), viewport()->height());
        const auto old = motion_.from.tilesIn(before);
        const auto now = layout_.tilesIn(after);
        int first = std::numeric_limits<int>::max();
        int last = -1;
        for (const auto* list : {&old, &now}) {
            if (!list->empty()) {
                first = std::min(first, list->front().index);
                last = std::max(last, list->back().index);
            }
        }
        for (int index = first; index <= last; ++index) {
            const QRectF rect = lerp(motion_.from.itemFrame(index), layout_.itemFrame(index), t);
            if (rect.intersects(visible)) {
                frames.push_back({index, rect});
            }
        }
        headers.clear();
        for (int k = 0; k < int(layout_.months().size()); ++k) {
            const auto from = motion_.from.headerFrame(k);
            const auto to = layout_.headerFrame(k);
            if (from || to) {
                const QRectF rect = lerp(from, to, t);
                if (rect.intersects(visible)) {
                    headers.push_back({k, rect});
                }
            }
        }
    } else {
        frames = layout_.tilesIn(visible);
    }

    const double dotProgress =
        dotFade_.state() == QAbstractAnimation::Running ? dotFade_.currentValue().toDouble() : 1;
    // Binding a screenful of tiles after a jump takes part of the frame.
    PreviewFrameBudget budget(std::exchange(bindingNs_, 0));
    bool unrefined = false;
    for (const TileFrame& frame : frames) {
        const MediaItem& item = (*items_)[frame.index];
        const QString id = item.id();
        const RotatablePreviewView* preview = previews_.find(id);
        const double lift = lift_.amount(id);
        const QRectF rect = lift_.lifted(id, frame.rect, hoverLift);
        if (!rect.intersects(dirty)) {
            continue;
        }
        double dot = 0;
        if (preview) {
            const bool playing = hoverPlayer_->playingItemID() == id;
            const bool settled = !resizing && !(lift > 0 && lift < 1);
            unrefined = budget.paint(*preview, painter, rect, isDark, settled,
                                     playing ? hoverPlayer_->currentFrame() : QImage(),
                                     playing ? hoverPlayer_->opacity() : 0) ||
                        unrefined;
            const auto tile = tiles_.find(id);
            if (tile != tiles_.end()) {
                dot = tile->second.dotFrom + (tile->second.dotTo - tile->second.dotFrom) * dotProgress;
            }
        } else {
            QPainterPath outline;
            outline.addRoundedRect(rect, 6, 6);
            painter.fillPath(outline, PivraAppearance::placeholder(isDark));
        }
        paintTileBadges(painter, rect, item, dot, isDark);
    }

    painter.setFont(semiboldFont(23));
    painter.setPen(palette().color(QPalette::WindowText));
    for (const HeaderFrame& header : headers) {
        painter.drawText(header.rect, Qt::AlignLeft | Qt::AlignVCenter, layout_.months()[header.marker].title);
    }
    // Tiles drawn scaled or rough are rescaled in the frames that follow, once
    // they keep their size.
    if (unrefined && !resizing) {
        QTimer::singleShot(0, viewport(), qOverload<>(&QWidget::update));
    }
}

void GalleryGrid::updateHover(QPointF position)
{
    pointer_ = position;
    const std::optional<int> index = isAnimatingRowHeight()
                                         ? std::nullopt
                                         : layout_.itemAt(position + QPointF(0, scrollY()));
    const QString id = index ? (*items_)[*index].id() : QString();
    if (lift_.hover(id)) {
        viewport()->update();
    }
    if (index) {
        hoverPlayer_->hover((*items_)[*index], tileRect(*index)->toAlignedRect());
    } else {
        hoverPlayer_->leave();
    }
}

void GalleryGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressPosition_ = event->position();
        didDrag_ = false;
        dragRequest_.restart();
    }
    event->accept();
}

void GalleryGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (pressPosition_ && !didDrag_ && QLineF(*pressPosition_, event->position()).length() > clickSlop) {
        didDrag_ = true;
        if (const std::optional<int> index = layout_.itemAt(*pressPosition_ + QPointF(0, scrollY()))) {
            dragOut((*items_)[*index]);
            return;
        }
    }
    updateHover(event->position());
}

// Whether the original can be reached is found off the GUI thread; the drag
// starts once it is known, if the button is still down.
void GalleryGrid::dragOut(const MediaItem& item)
{
    dragRequest_.ask(pasteboard_, item, this, [this, item](std::unique_ptr<QMimeData> data) {
        if (data) {
            runDrag(item, std::move(data));
        }
    });
}

// The drag runs its own event loop, inside which the window shows its share
// target; the grid may be gone when it returns.
void GalleryGrid::runDrag(const MediaItem& item, std::unique_ptr<QMimeData> data)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    MediaDragPreview::show(*drag, thumbnails_, item, MediaDragPreview::maxSide);
    drag_ = drag;
    draggedItem_ = item;
    Q_EMIT dragStarted(item);
    const QPointer<GalleryGrid> alive(this);
    drag->exec(Qt::CopyAction);
    if (!alive) {
        return;
    }
    pressPosition_.reset();
    drag_.clear(); // Qt deletes it once the drop target is done with its data
    Q_EMIT dragEnded();
}

void GalleryGrid::setOverShareTarget(bool over)
{
    if (drag_) {
        MediaDragPreview::show(*drag_, thumbnails_, draggedItem_,
                                 over ? MediaDragPreview::overShareTargetMaxSide : MediaDragPreview::maxSide);
    }
}

void GalleryGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && pressPosition_ && !didDrag_) {
        if (const std::optional<int> index = layout_.itemAt(event->position() + QPointF(0, scrollY()))) {
            openItem(*index);
        }
    }
    pressPosition_.reset();
    dragRequest_.restart();
}

void GalleryGrid::openItem(int index)
{
    if (index >= 0 && index < int(items_->size()) && callbacks_.onSelect) {
        const MediaItem item = (*items_)[index];
        callbacks_.onSelect(item);
    }
}

QMenu* GalleryGrid::menuFor(int index)
{
    if (index < 0 || index >= int(items_->size())) {
        return nullptr;
    }
    const MediaItem& item = (*items_)[index];
    return buildTileMenu(item, !offlineSources_.contains(item.sourceID()), albums_, currentAlbum_, callbacks_, this);
}

void GalleryGrid::contextMenuEvent(QContextMenuEvent* event)
{
    const std::optional<int> index = layout_.itemAt(QPointF(event->pos()) + QPointF(0, scrollY()));
    if (QMenu* menu = index ? menuFor(*index) : nullptr) {
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }
}

void GalleryGrid::wheelEvent(QWheelEvent* event)
{
    // The user's own scroll ends any anchoring of width changes.
    resizeAnchor_.reset();
    if (isAnimatingRowHeight()) {
        rowMotion_.stop();
    }
    QAbstractScrollArea::wheelEvent(event);
}

bool GalleryGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const std::optional<int> index = layout_.itemAt(QPointF(help->pos()) + QPointF(0, scrollY()));
        if (index) {
            QToolTip::showText(help->globalPos(), (*items_)[*index].name(), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    if (event->type() == QEvent::Leave) {
        pointer_.reset();
        hoverPlayer_->leave();
        if (!lift_.hovered().isEmpty()) {
            updateHover(QPointF(-1, -1e9));
            pointer_.reset();
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

QRect GalleryGrid::dateBubbleRect(QSize viewSize, double knobCenterY, int textWidth)
{
    const int width = std::max(textWidth + 24, 105);
    const int x = std::max(viewSize.width() - width - 22, 0);
    const double top = std::min(std::max(knobCenterY - 16, 2.0), viewSize.height() - 38.0);
    return {x, int(std::lround(top)), width, 32};
}

double GalleryGrid::knobCenterY() const
{
    const QScrollBar* bar = verticalScrollBar();
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    const QRect knob = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    return bar->mapTo(this, knob.center()).y();
}

void GalleryGrid::updateDateBubble()
{
    if (!dateTracking_) {
        return;
    }
    const std::optional<QString> title = layout_.month(scrollY() + viewport()->height() / 2.0);
    if (!title) {
        return;
    }
    dateBubble_->setText(*title);
    dateBubble_->setGeometry(
        dateBubbleRect(size(), knobCenterY(), dateBubble_->fontMetrics().horizontalAdvance(*title)));
}

} // namespace pivra
