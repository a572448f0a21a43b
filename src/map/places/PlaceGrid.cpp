#include "map/places/PlaceGrid.h"

#include "gallery/TileBadges.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "map/places/PlaceGridAccessible.h"
#include "store/places/PlaceNamer.h"
#include "style/CountText.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include <cmath>

namespace pivra {

namespace {
constexpr double clickSlop = 5;      // a press that moves further is no click
constexpr double hoverScale = 0.02;  // a hovered tile grows by this fraction
constexpr double headerGap = 6;      // between the parts of a header line
constexpr double chevronSide = 11;
constexpr double barSymbolSide = 14;
constexpr double barGap = 8;
constexpr double badgePadding = 6;
const MotionCurve liftCurve = curves::easeOut(0.15);
const QString locatingText = QStringLiteral("Locating…");
const QString showAllText = QStringLiteral("Show All Places");

QFont textFont(int pixels, bool semibold = false)
{
    QFont font = semiboldFont(pixels);
    font.setWeight(semibold ? QFont::DemiBold : QFont::Normal);
    return font;
}

// The ids' digest: any change of order or value changes it (short of a hash
// collision), unlike their count or the first id.
std::size_t digestOf(const std::vector<MapPhoto>& photos)
{
    std::size_t digest = photos.size();
    for (const MapPhoto& photo : photos) {
        digest = digest * 1'000'003u ^ qHash(photo.item().id());
    }
    return digest;
}

// A tile waits as a plain rounded square of the primary colour at 0.06 over
// the canvas, without the gallery's skeleton bars, and fades its image in
// over 0.2 s.
const PreviewLook& tileLook()
{
    constexpr double placeholderOpacity = 0.06;
    const auto faint = [](bool dark) {
        const QColor canvas = PivraAppearance::canvas(dark);
        const double ink = dark ? 1 : 0;
        const auto mix = [&](float channel) { return channel * (1 - placeholderOpacity) + ink * placeholderOpacity; };
        return QColor::fromRgbF(float(mix(canvas.redF())), float(mix(canvas.greenF())), float(mix(canvas.blueF())));
    };
    static const PreviewLook look{
        .skeleton = false, .lightPlaceholder = faint(false), .darkPlaceholder = faint(true), .fadeSeconds = 0.2};
    return look;
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}
} // namespace

PlaceGrid::PlaceGrid(PlaceNamer& namer, ThumbnailStore& thumbnails, QWidget* parent)
    : QAbstractScrollArea(parent)
    , namer_(namer)
    , thumbnails_(thumbnails)
    , identity_(QStringLiteral("all"))
    , dates_(std::make_unique<PlaceDateText>())
    , previews_(thumbnails, *viewport(), tileLook())
    , lift_(*viewport(), liftCurve)
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // A name changes no height: the headers are only drawn again.
    connect(&namer_, &PlaceNamer::placesChanged, viewport(), qOverload<>(&QWidget::update));
    setFocusPolicy(Qt::StrongFocus);
    PlaceGridAccessible::install();
    relayout();
}

PlaceGrid::~PlaceGrid() = default;

void PlaceGrid::setPhotos(std::vector<MapPhoto> photos)
{
    const std::pair<std::size_t, std::size_t> signature(photos.size(), digestOf(photos));
    photos_ = std::move(photos);
    if (signature != signature_) {
        signature_ = signature;
        groups_ = PlaceGroup::make(photos_, groupRadius, groupGap);
        std::vector<int> counts;
        counts.reserve(groups_.size());
        for (const PlaceGroup& group : groups_) {
            counts.push_back(group.count);
        }
        layout_.setCounts(std::move(counts));
        dateTexts_.assign(groups_.size(), QString());
        shownSections_ = {0, 0};
        focused_ = -1;
        if (PaintedAccessible* parts = PaintedAccessible::of(viewport())) {
            parts->forgetParts();
        }
    }
    relayout();
    updateBand();
    viewport()->update();
}

void PlaceGrid::showLocated(const std::vector<MapPhoto>& located, int version)
{
    if (located_ && located_->first == version && located_->second == selection_) {
        return;
    }
    located_.emplace(version, selection_);
    if (!selection_) {
        setPhotos(located);
        return;
    }
    std::vector<MapPhoto> chosen;
    chosen.reserve(std::min(located.size(), std::size_t(selection_->ids.size())));
    for (const MapPhoto& photo : located) {
        if (selection_->ids.contains(photo.item().id())) {
            chosen.push_back(photo);
        }
    }
    setPhotos(std::move(chosen));
}

void PlaceGrid::setSelection(std::optional<MapSelection> selection)
{
    if (selection_.has_value() != selection.has_value()) {
        focused_ = -1;
        if (PaintedAccessible* parts = PaintedAccessible::of(viewport())) {
            parts->forgetParts();
        }
    }
    selection_ = std::move(selection);
    const QString identity = selection_ ? QStringLiteral("%1,%2,%3")
                                              .arg(shortest(selection_->latitude), shortest(selection_->longitude))
                                              .arg(selection_->ids.size())
                                        : QStringLiteral("all");
    relayout();
    if (identity != identity_) {
        identity_ = identity;
        verticalScrollBar()->setValue(0);
    }
    if (selection_) {
        namer_.request(selection_->latitude, selection_->longitude);
    }
    updateBand();
    viewport()->update();
}

void PlaceGrid::setDateFormat(const QLocale& locale, const QTimeZone& zone)
{
    dates_ = std::make_unique<PlaceDateText>(locale, zone);
    dateTexts_.assign(groups_.size(), QString());
    viewport()->update();
}

QString PlaceGrid::sectionTitle(int section) const
{
    const PlaceGroup& group = groups_[std::size_t(section)];
    const std::optional<Place> place = namer_.place(group.latitude, group.longitude);
    return place ? place->name : locatingText;
}

QString PlaceGrid::dateText(int section) const
{
    QString& text = dateTexts_[std::size_t(section)];
    if (text.isEmpty()) {
        const PlaceGroup& group = groups_[std::size_t(section)];
        text = (*dates_)(group.newest, group.oldest);
    }
    return text;
}

std::optional<QString> PlaceGrid::regionText(int section) const
{
    const PlaceGroup& group = groups_[std::size_t(section)];
    const std::optional<Place> place = namer_.place(group.latitude, group.longitude);
    return place ? place->region : std::nullopt;
}

QString PlaceGrid::selectionTitle() const
{
    if (!selection_) {
        return {};
    }
    const std::optional<Place> place = namer_.place(selection_->latitude, selection_->longitude);
    if (!place) {
        return QStringLiteral("Selected area");
    }
    return selection_->span > regionSpan && place->region ? *place->region : place->name;
}

QString PlaceGrid::countText() const
{
    return pivra::countText(qint64(photos_.size()), QStringLiteral("item"));
}

double PlaceGrid::scrollY() const
{
    return verticalScrollBar()->value();
}

void PlaceGrid::relayout()
{
    layout_.setBar(selection_.has_value());
    layout_.prepare(viewport()->width());
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(int(layout_.tileSide() / 3));
    bar->setRange(0, std::max(0, int(std::ceil(layout_.contentHeight() - viewport()->height()))));
}

// The tiles kept are those in view, in reading order (the order their
// thumbnails are asked for), then half a view below and above. Sections
// coming into view ask for their place.
void PlaceGrid::updateBand()
{
    const double y = scrollY();
    const double width = viewport()->width();
    const double height = viewport()->height();
    std::vector<const MediaItem*> band;
    for (const QRectF& rect : {QRectF(0, y, width, height), QRectF(0, y + height, width, height / 2),
                               QRectF(0, y - height / 2, width, height / 2)}) {
        for (const PlaceGridLayout::Tile& tile : layout_.tilesIn(rect)) {
            band.push_back(&photos_[std::size_t(groups_[std::size_t(tile.section)].first + tile.offset)].item());
        }
    }
    previews_.keep(band);

    const std::pair<int, int> shown = layout_.sectionsIn(y, y + height);
    for (int section = shown.first; section < shown.second; ++section) {
        if (section < shownSections_.first || section >= shownSections_.second) {
            namer_.request(groups_[std::size_t(section)].latitude, groups_[std::size_t(section)].longitude);
        }
    }
    shownSections_ = shown;
}

void PlaceGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
    updateBand();
}

void PlaceGrid::scrollContentsBy(int, int)
{
    thumbnails_.preparationPause().noteScroll();
    updateBand();
    viewport()->update();
}

QRectF PlaceGrid::headerRect(int section) const
{
    QRectF rect = layout_.headerRect(section).translated(0, -scrollY());
    rect.setWidth(paintHeader(nullptr, section));
    return rect;
}

std::optional<QRectF> PlaceGrid::tileRect(int index) const
{
    if (index < 0 || index >= int(photos_.size())) {
        return std::nullopt;
    }
    const auto group = std::upper_bound(groups_.begin(), groups_.end(), index,
                                        [](int wanted, const PlaceGroup& g) { return wanted < g.first; }) - 1;
    return layout_.tileRect(int(group - groups_.begin()), index - group->first).translated(0, -scrollY());
}

QRectF PlaceGrid::showAllRect() const
{
    const QFont font = textFont(12);
    const double width = QFontMetricsF(font).horizontalAdvance(showAllText) + 20;
    const QRectF bar = layout_.barRect();
    return QRectF(bar.right() - width, bar.center().y() - 11, width, 22).translated(0, -scrollY());
}

int PlaceGrid::partCount() const
{
    return (selection_ ? 1 : 0) + int(groups_.size() + photos_.size());
}

// Section s's header comes after the s headers and the photos before it.
PlaceGrid::Part PlaceGrid::part(int position) const
{
    const int base = selection_ ? 1 : 0;
    if (position < base) {
        return {PartKind::showAll, 0};
    }
    const int inList = position - base;
    int low = 0;
    int high = int(groups_.size()) - 1;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (middle + groups_[std::size_t(middle)].first <= inList) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    const int headerAt = low + (groups_.empty() ? 0 : groups_[std::size_t(low)].first);
    return inList == headerAt ? Part{PartKind::header, low} : Part{PartKind::tile, inList - low - 1};
}

QString PlaceGrid::partName(int position) const
{
    if (position < 0 || position >= partCount()) {
        return {};
    }
    const Part which = part(position);
    switch (which.kind) {
    case PartKind::showAll:
        return showAllText;
    case PartKind::header: {
        const std::optional<QString> region = regionText(which.index);
        return sectionTitle(which.index) + QStringLiteral(", ") + dateText(which.index)
             + (region ? QStringLiteral(", ") + *region : QString());
    }
    case PartKind::tile: {
        const auto group = std::upper_bound(groups_.begin(), groups_.end(), which.index,
                                            [](int wanted, const PlaceGroup& g) { return wanted < g.first; }) - 1;
        const int section = int(group - groups_.begin());
        return photos_[std::size_t(which.index)].item().name() + QStringLiteral(", ") + dateText(section)
             + QStringLiteral(", ") + sectionTitle(section);
    }
    }
    return {};
}

QRectF PlaceGrid::partRect(int position) const
{
    if (position < 0 || position >= partCount()) {
        return {};
    }
    const Part which = part(position);
    switch (which.kind) {
    case PartKind::showAll:
        return showAllRect();
    case PartKind::header:
        return headerRect(which.index);
    case PartKind::tile:
        return tileRect(which.index).value_or(QRectF());
    }
    return {};
}

void PlaceGrid::activatePart(int position)
{
    if (position < 0 || position >= partCount()) {
        return;
    }
    const Part which = part(position);
    switch (which.kind) {
    case PartKind::showAll:
        Q_EMIT showAll();
        break;
    case PartKind::header:
        Q_EMIT showOnMap(groups_[std::size_t(which.index)].focus(photos_));
        break;
    case PartKind::tile: {
        const MediaItem item = photos_[std::size_t(which.index)].item();
        Q_EMIT opened(item);
        break;
    }
    }
}

bool PlaceGrid::moveFocus(int step)
{
    const int next = focused_ < 0 ? (step > 0 ? 0 : partCount() - 1) : focused_ + step;
    if (next < 0 || next >= partCount()) {
        return false;
    }
    focused_ = next;
    const QRectF shown = partRect(next);
    if (shown.top() < 0 || shown.bottom() > viewport()->height()) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + int(shown.top() - viewport()->height() / 3.0));
    }
    viewport()->update();
    PaintedAccessible::notify(viewport(), next, QAccessible::Focus);
    return true;
}

bool PlaceGrid::focusNextPrevChild(bool next)
{
    return moveFocus(next ? 1 : -1) || QAbstractScrollArea::focusNextPrevChild(next);
}

void PlaceGrid::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        moveFocus(1);
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        moveFocus(-1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        activatePart(focused_);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

const RotatablePreviewView* PlaceGrid::preview(int index) const
{
    return index >= 0 && index < int(photos_.size()) ? previews_.find(photos_[std::size_t(index)].item().id())
                                                     : nullptr;
}

std::optional<int> PlaceGrid::photoAt(QPointF point) const
{
    const std::optional<PlaceGridLayout::Tile> tile = layout_.tileAt(point + QPointF(0, scrollY()));
    return tile ? std::optional(groups_[std::size_t(tile->section)].first + tile->offset) : std::nullopt;
}

std::optional<int> PlaceGrid::headerAt(QPointF point) const
{
    const std::optional<int> section = layout_.headerAt(point + QPointF(0, scrollY()));
    return section && headerRect(*section).contains(point) ? section : std::nullopt;
}

double PlaceGrid::paintHeader(QPainter* painter, int section) const
{
    const QRectF line = layout_.headerRect(section);
    const std::optional<Place> place =
        namer_.place(groups_[std::size_t(section)].latitude, groups_[std::size_t(section)].longitude);
    const QColor primary = palette().color(QPalette::WindowText);
    const QColor secondary = PivraAppearance::primary(palette(), 0.5);
    struct Part {
        QString text;
        QFont font;
        QColor color;
    };
    std::vector<Part> parts{{place ? place->name : locatingText, textFont(15, true), place ? primary : secondary},
                            {dateText(section), textFont(14), secondary}};
    if (place && place->region) {
        parts.push_back({QStringLiteral("·"), textFont(14), secondary});
        parts.push_back({*place->region, textFont(14), secondary});
    }
    // The parts share one baseline, that of the name.
    const double baseline = line.top() + (line.height() + QFontMetricsF(parts.front().font).ascent() -
                                          QFontMetricsF(parts.front().font).descent()) / 2;
    double x = line.left();
    for (const Part& part : parts) {
        const double width = QFontMetricsF(part.font).horizontalAdvance(part.text);
        if (painter) {
            painter->setFont(part.font);
            painter->setPen(part.color);
            painter->drawText(QPointF(x, baseline), part.text);
        }
        x += width + headerGap;
    }
    if (painter) {
        const qreal ratio = painter->device()->devicePixelRatioF();
        const QSize side{int(chevronSide), int(chevronSide)};
        painter->drawPixmap(QPointF(x, line.center().y() - chevronSide / 2),
                            Symbols::pixmap(QStringLiteral("chevron.right"), side, secondary, ratio));
    }
    return x + chevronSide - line.left();
}

void PlaceGrid::paintBar(QPainter& painter) const
{
    const QRectF bar = layout_.barRect();
    const QColor primary = palette().color(QPalette::WindowText);
    const QColor secondary = PivraAppearance::primary(palette(), 0.5);
    const QFont title = textFont(20, true);
    const QFont count = textFont(13);
    const double baseline =
        bar.top() + (bar.height() + QFontMetricsF(title).ascent() - QFontMetricsF(title).descent()) / 2;
    const QSize side{int(barSymbolSide), int(barSymbolSide)};
    painter.drawPixmap(QPointF(bar.left(), baseline - barSymbolSide),
                       Symbols::pixmap(QStringLiteral("mappin.and.ellipse"), side, secondary,
                                       painter.device()->devicePixelRatioF()));
    double x = bar.left() + barSymbolSide + barGap;
    const QString titleText = selectionTitle();
    painter.setFont(title);
    painter.setPen(primary);
    painter.drawText(QPointF(x, baseline), titleText);
    x += QFontMetricsF(title).horizontalAdvance(titleText) + barGap;
    painter.setFont(count);
    painter.setPen(secondary);
    painter.drawText(QPointF(x, baseline), countText());

    const QRectF button = showAllRect().translated(0, scrollY());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(PivraAppearance::primary(palette(), 0.08));
    painter.drawRoundedRect(button, 5, 5);
    painter.setFont(textFont(12));
    painter.setPen(primary);
    painter.drawText(button, Qt::AlignCenter, showAllText);
}

void PlaceGrid::paintTile(QPainter& painter, int index, QRectF rect, bool dark, bool& unrefined,
                          PreviewFrameBudget& budget) const
{
    const MediaItem& item = photos_[std::size_t(index)].item();
    const QString id = item.id();
    const double lift = lift_.amount(id);
    rect = lift_.lifted(id, rect, hoverScale);
    if (const RotatablePreviewView* preview = previews_.find(id)) {
        unrefined = budget.paint(*preview, painter, rect, dark, !(lift > 0 && lift < 1)) || unrefined;
    } else {
        QPainterPath outline;
        outline.addRoundedRect(rect, 6, 6);
        painter.fillPath(outline, tileLook().placeholder(dark));
    }
    const std::optional<double> duration = item.duration();
    if (item.kind() == MediaKind::video && duration && std::isfinite(*duration)) {
        const QString text = clockText(duration);
        const QFont font = textFont(10, true);
        const QFontMetricsF metrics(font);
        const QSizeF size(metrics.horizontalAdvance(text) + 10, metrics.height() + 4);
        const QRectF capsule(rect.right() - badgePadding - size.width(), rect.bottom() - badgePadding - size.height(),
                             size.width(), size.height());
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.55));
        painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(capsule, Qt::AlignCenter, text);
        painter.restore();
    }
}

void PlaceGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const bool dark = PivraAppearance::isDark(palette());
    painter.fillRect(viewport()->rect(), PivraAppearance::canvas(dark));
    const double y = scrollY();
    const QRectF visible(0, y, viewport()->width(), viewport()->height());
    const QRectF dirty = QRectF(event->rect()).translated(0, y);
    painter.translate(0, -y);

    if (layout_.hasBar() && layout_.barRect().adjusted(0, 0, 0, PlaceGridLayout::barBottom).intersects(dirty)) {
        paintBar(painter);
    }
    const auto [first, end] = layout_.sectionsIn(visible.top(), visible.bottom());
    const QColor divider = PivraAppearance::primary(palette(), 0.1);
    for (int section = first; section < end; ++section) {
        const QRectF header = layout_.headerRect(section);
        painter.fillRect(QRectF(header.left(), layout_.dividerY(section), header.width(), 1), divider);
        if (header.intersects(dirty)) {
            paintHeader(&painter, section);
        }
    }
    PreviewFrameBudget budget;
    bool unrefined = false;
    for (const PlaceGridLayout::Tile& tile : layout_.tilesIn(visible)) {
        if (tile.rect.adjusted(-4, -4, 4, 4).intersects(dirty)) {
            paintTile(painter, groups_[std::size_t(tile.section)].first + tile.offset, tile.rect, dark, unrefined,
                      budget);
        }
    }
    if (hasFocus() && focused_ >= 0 && focused_ < partCount()) {
        painter.save();
        painter.translate(0, y);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(partRect(focused_).adjusted(-3, -3, 3, 3), 8, 8);
        painter.restore();
    }
    if (unrefined) {
        QTimer::singleShot(0, viewport(), qOverload<>(&QWidget::update));
    }
}

void PlaceGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressPosition_ = event->position();
    }
    event->accept();
}

void PlaceGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (pressPosition_ && QLineF(*pressPosition_, event->position()).length() > clickSlop) {
        pressPosition_.reset();
    }
    const std::optional<int> index = photoAt(event->position());
    lift_.hover(index ? photos_[std::size_t(*index)].item().id() : QString());
    viewport()->setCursor(headerAt(event->position()) || (selection_ && showAllRect().contains(event->position()))
                              ? Qt::PointingHandCursor
                              : Qt::ArrowCursor);
}

void PlaceGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = event->button() == Qt::LeftButton && pressPosition_;
    pressPosition_.reset();
    if (!click) {
        return;
    }
    const QPointF point = event->position();
    if (selection_ && showAllRect().contains(point)) {
        Q_EMIT showAll();
    } else if (const std::optional<int> section = headerAt(point)) {
        Q_EMIT showOnMap(groups_[std::size_t(*section)].focus(photos_));
    } else if (const std::optional<int> index = photoAt(point)) {
        const MediaItem item = photos_[std::size_t(*index)].item();
        Q_EMIT opened(item);
    }
}

bool PlaceGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (headerAt(help->pos())) {
            QToolTip::showText(help->globalPos(), QStringLiteral("Show on the map"), viewport());
        } else if (const std::optional<int> index = photoAt(help->pos())) {
            QToolTip::showText(help->globalPos(), photos_[std::size_t(*index)].item().name(), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    if (event->type() == QEvent::Leave) {
        lift_.hover(QString());
    }
    return QAbstractScrollArea::viewportEvent(event);
}

} // namespace pivra
