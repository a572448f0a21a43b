#include "app/header/LibraryHeader.h"

#include "app/header/DensityControl.h"
#include "app/header/PillTrack.h"
#include "app/header/SearchField.h"
#include "app/header/SymbolButton.h"
#include "style/controls/DisconnectedToggle.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "app/window/LibraryWindow.h"
#include "platform/runtime/Task.h"
#include "store/LibraryStore.h"

#include <QActionGroup>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <ranges>

namespace pivra {

namespace {

constexpr int sidePadding = 16;
constexpr int spacing = 10;
constexpr int minimumGap = 6;
constexpr int titleMinimum = 80;
constexpr int titleMaximum = 200;
const QSize toolButtonSize(26, 28);

} // namespace

const QStringList LibraryHeader::mapStyles{QStringLiteral("map"), QStringLiteral("satellite"), QStringLiteral("grid")};

// The title over its counts, each on one line, cut short with an ellipsis.
class HeaderTitle final : public QWidget {
public:
    using QWidget::QWidget;

    void setTexts(const QString& title, const QString& subtitle)
    {
        title_ = title;
        subtitle_ = subtitle;
        update();
    }
    const QString& title() const { return title_; }
    const QString& subtitle() const { return subtitle_; }
    QString shownTitle() const { return QFontMetrics(titleFont()).elidedText(title_, Qt::ElideRight, width()); }

    // Rounded up: eliding measures the fractional width, so a width rounded
    // down would cut the last letter of a title that fits.
    int naturalWidth() const
    {
        return qCeil(std::max(QFontMetricsF(titleFont()).horizontalAdvance(title_),
            QFontMetricsF(subtitleFont()).horizontalAdvance(subtitle_)));
    }
    int naturalHeight() const { return QFontMetrics(titleFont()).height() + 1 + QFontMetrics(subtitleFont()).height(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QFontMetrics titleMetrics(titleFont());
        painter.setFont(titleFont());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, 0, width(), titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter, shownTitle());
        const QFontMetrics subtitleMetrics(subtitleFont());
        painter.setFont(subtitleFont());
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(QRect(0, titleMetrics.height() + 1, width(), subtitleMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, subtitleMetrics.elidedText(subtitle_, Qt::ElideRight, width()));
    }

private:
    static QFont titleFont() { return PivraFonts::font(18, QFont::DemiBold); }
    static QFont subtitleFont() { return PivraFonts::font(10); }

    QString title_;
    QString subtitle_;
};

LibraryHeader::LibraryHeader(LibraryStore& store, LibraryWindow& window, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , window_(window)
    , widthStep_(window.widthStep())
    , sidebarToggle_(symbolButton(QStringLiteral("sidebar.left"), QString(), 16, this))
    , title_(new HeaderTitle(this))
    , filterPills_(new PillTrack({QStringLiteral("All media"), QStringLiteral("Photos"), QStringLiteral("Videos")},
          {225, 0.14, 0.09, false}, this))
    , filterMenuButton_(
          symbolButton(QStringLiteral("line.3.horizontal.decrease.circle"), QStringLiteral("Show"), 16, this))
    , filterMenu_(new QMenu(this))
    , newAlbum_(symbolButton(QStringLiteral("plus"), QStringLiteral("New album"), 16, this))
    , density_(new DensityControl(window, this))
    , disconnected_(new DisconnectedToggle(this))
    , search_(new SearchField(store, this))
    , mapPills_(new PillTrack(
          {QStringLiteral("Map"), QStringLiteral("Satellite"), QStringLiteral("Grid")}, {246, 0.16, 0.10, true}, this))
{
    setObjectName(QStringLiteral("libraryHeader"));
    for (QAbstractButton* button : {sidebarToggle_, filterMenuButton_, newAlbum_}) {
        button->setFixedSize(toolButtonSize);
    }
    setUpFold(pillsFold_, filterPills_);
    setUpFold(densityFold_, density_);
    setUpFold(disconnectedFold_, disconnected_);

    // The menu names every filter and checks the one in force; a choice
    // always applies, even the filter already shown.
    filterMenu_->addSection(QStringLiteral("Show"));
    auto* choices = new QActionGroup(filterMenu_);
    for (int index = 0; index < int(allMediaFilters.size()); ++index) {
        QAction* action = filterMenu_->addAction(rawValue(allMediaFilters[index]));
        action->setCheckable(true);
        choices->addAction(action);
        connect(action, &QAction::triggered, this, [this, index] { filterPicked(index, true); });
    }
    connect(filterMenuButton_, &QAbstractButton::clicked, this,
        [this] { filterMenu_->popup(filterMenuButton_->mapToGlobal(QPoint(0, filterMenuButton_->height()))); });
    connect(filterPills_, &PillTrack::clicked, this, [this](int index) { filterPicked(index, false); });
    connect(mapPills_, &PillTrack::clicked, this, &LibraryHeader::mapPillClicked);
    connect(sidebarToggle_, &QAbstractButton::clicked, this,
        [this] { window_.setSidebarVisible(!window_.sidebarVisible()); });
    connect(newAlbum_, &QAbstractButton::clicked, this, &LibraryHeader::newAlbumRequested);
    connect(disconnected_, &QAbstractButton::toggled, this, [this](bool on) {
        if (on != store_.showDisconnected()) {
            store_.setShowDisconnected(on);
        }
    });
    connect(search_, &SearchField::widthChanged, this, &LibraryHeader::layOut);

    for (auto changed :
        {&LibraryStore::showsAlbumsChanged, &LibraryStore::showsMapChanged, &LibraryStore::showsFavoritesChanged,
            &LibraryStore::selectedSourceIDChanged, &LibraryStore::selectedAlbumIDChanged,
            &LibraryStore::selectedFolderPathChanged, &LibraryStore::sourcesChanged, &LibraryStore::albumsChanged,
            &LibraryStore::totalCountChanged, &LibraryStore::mapPhotosChanged, &LibraryStore::isScanningChanged,
            &LibraryStore::isReadingLocationsChanged, &LibraryStore::showDisconnectedChanged,
            &LibraryStore::filterChanged, &LibraryStore::searchChanged}) {
        connect(&store_, changed, this, &LibraryHeader::refresh);
    }
    connect(&window_, &LibraryWindow::widthStepChanged, this, [this](int step) {
        widthStep_ = step;
        refresh();
    });
    connect(&window_, &LibraryWindow::sidebarVisibleChanged, this, &LibraryHeader::refresh);
    connect(&window_, &LibraryWindow::mapStylePillChanged, this,
        [this](const QString& style) { mapPills_->setSelected(int(mapStyles.indexOf(style))); });
    connect(&window_, &LibraryWindow::mapStyleChanged, this, &LibraryHeader::refresh);
    connect(&window_, &LibraryWindow::searchRequested, this, [this] {
        if (!store_.showsMap()) {
            search_->openSearch();
        }
    });

    if (parent) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
    refresh();
}

QString LibraryHeader::title() const
{
    return title_->title();
}

QString LibraryHeader::shownTitle() const
{
    return title_->shownTitle();
}

QString LibraryHeader::subtitle() const
{
    return title_->subtitle();
}

void LibraryHeader::setUpFold(Fold& fold, QWidget* widget)
{
    fold.widget = widget;
    fold.effect = new QGraphicsOpacityEffect(widget);
    fold.effect->setEnabled(false);
    widget->setGraphicsEffect(fold.effect);
    connect(&fold.motion, &QVariantAnimation::valueChanged, this, [this, &fold](const QVariant& value) {
        fold.shown = value.toDouble();
        layOut();
    });
}

// Folded away, a control keeps its place in the header but has no width,
// cannot be seen and takes no clicks; once folded it is hidden.
void LibraryHeader::foldTo(Fold& fold, bool shown)
{
    const double target = shown ? 1 : 0;
    fold.widget->setAttribute(Qt::WA_TransparentForMouseEvents, !shown);
    if (fold.motion.endValue().isValid() ? fold.motion.endValue().toDouble() == target : fold.shown == target) {
        return;
    }
    fold.motion.stop();
    fold.motion.setStartValue(fold.shown);
    fold.motion.setEndValue(target);
    Motion::apply(fold.motion, curves::easeInOut(0.22));
    if (isVisible() && fold.motion.duration() > 0) {
        fold.motion.start();
    } else {
        fold.shown = target;
    }
}

int LibraryHeader::foldedWidth(const Fold& fold) const
{
    return qRound(fold.widget->sizeHint().width() * fold.shown);
}

void LibraryHeader::refresh()
{
    const LibraryView view = LibraryView::of(store_);
    flags_ = HeaderFlags::at(widthStep_, view);
    const std::optional<qint64> count = view.albums ? visibleAlbums(store_.albums(), store_.search()).size()
        : view.map                                  ? qint64(store_.mapPhotos().size())
        : store_.isCounting()                       ? std::optional<qint64>()
                                                    : store_.totalCount();
    title_->setTexts(headerTitle(view, store_.albums(), store_.sources()),
        headerSubtitle(view, count, view.map ? store_.isReadingLocations() : store_.isScanning()));

    filterPills_->setSelected(int(std::ranges::find(allMediaFilters, store_.filter()) - allMediaFilters.begin()));
    for (int index = 0; QAction * action : filterMenu_->actions() | std::views::drop(1)) {
        action->setChecked(allMediaFilters[index++] == store_.filter());
    }
    mapPills_->setSelected(int(mapStyles.indexOf(window_.mapStylePill())));
    sidebarToggle_->setToolTip(
        window_.sidebarVisible() ? QStringLiteral("Hide sidebar") : QStringLiteral("Show sidebar"));
    sidebarToggle_->setAccessibleName(sidebarToggle_->toolTip());
    {
        const QSignalBlocker quiet(disconnected_);
        disconnected_->setChecked(store_.showDisconnected());
    }
    disconnected_->setOfflineCount(
        int(std::ranges::count_if(store_.sources(), [](const LibrarySource& source) { return !source.isOnline; })));
    search_->setExpandedWidth(flags_.searchWidth);

    foldTo(pillsFold_, flags_.pillsFit);
    foldTo(densityFold_, flags_.densityFits);
    density_->setKeysEnabled(flags_.galleryMode);
    foldTo(disconnectedFold_, flags_.allMedia);
    layOut();
    update();
}

void LibraryHeader::filterPicked(int index, bool always)
{
    const MediaFilter filter = allMediaFilters[index];
    if (!always && filter == store_.filter()) {
        return;
    }
    store_.setFilter(filter);
    startTask(&store_, store_.reload());
}

void LibraryHeader::mapPillClicked(int index)
{
    if (mapStyles[index] == u"grid") {
        Q_EMIT mapSelectionCleared();
    }
    if (mapStyles[index] != window_.mapStylePill()) {
        window_.setMapStyle(mapStyles[index]);
    }
}

int LibraryHeader::leftInset() const
{
    const bool reserve = !window_.sidebarVisible() && !window_.isFullscreen();
    return sidePadding + (reserve ? qRound(PivraAppearance::titleBarInset) : 0);
}

// The stack from both ends: the toggle, title and pills from the left, the
// view's controls and the search from the right, the title taking what the
// gap between leaves it.
void LibraryHeader::layOut()
{
    const bool map = store_.showsMap();
    const int middle = height() / 2;
    const auto place = [middle](QWidget* widget, int x, int width) {
        const int h = widget->sizeHint().height();
        widget->setGeometry(x, middle - h / 2, width, h);
    };
    const int left = leftInset();
    place(sidebarToggle_, left, toolButtonSize.width());
    mapPills_->setVisible(map);
    title_->setVisible(!map);
    // Folded all the way, a control is hidden, so the keyboard and readers pass it by.
    filterPills_->setVisible(flags_.galleryMode && pillsFold_.shown > 0);
    if (map) {
        for (QWidget* widget :
            std::initializer_list<QWidget*>{filterMenuButton_, newAlbum_, density_, disconnected_, search_}) {
            widget->setVisible(false);
        }
        place(mapPills_, width() - sidePadding - mapPills_->sizeHint().width(), mapPills_->sizeHint().width());
        return;
    }

    int right = width() - sidePadding;
    const auto fromRight = [&](QWidget* widget, int width, double gapShare, bool present) {
        widget->setVisible(present);
        if (!present) {
            return;
        }
        right -= width;
        place(widget, right, width);
        right -= qRound(spacing * gapShare);
    };
    fromRight(search_, search_->currentWidth(), 1, true);
    fromRight(disconnected_, foldedWidth(disconnectedFold_), disconnectedFold_.shown,
        flags_.allMedia || disconnectedFold_.shown > 0);
    fromRight(density_, foldedWidth(densityFold_), densityFold_.shown, flags_.galleryMode && densityFold_.shown > 0);
    fromRight(newAlbum_, toolButtonSize.width(), 1, store_.showsAlbums());
    fromRight(filterMenuButton_, toolButtonSize.width(), 1, flags_.galleryMode && !flags_.pillsFit);

    int x = left + toolButtonSize.width() + spacing;
    const int pillsShare = qRound((spacing + filterPills_->sizeHint().width()) * pillsFold_.shown);
    const int room = right - minimumGap - spacing - pillsShare - x;
    const int titleWidth = std::clamp(std::min(title_->naturalWidth(), room), titleMinimum, titleMaximum);
    title_->setGeometry(x, middle - title_->naturalHeight() / 2, titleWidth, title_->naturalHeight());
    x += titleWidth + qRound(spacing * pillsFold_.shown);
    place(filterPills_, x, foldedWidth(pillsFold_));

    for (Fold* fold : {&pillsFold_, &densityFold_, &disconnectedFold_}) {
        fold->effect->setOpacity(fold->shown);
        fold->effect->setEnabled(fold->shown < 1);
    }
}

void LibraryHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool dark = PivraAppearance::isDark(palette());
    const bool map = store_.showsMap();
    if (map && !window_.showsPlaceGrid()) {
        // Over the photo map only the toggle gets a frosted capsule.
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF capsule = sidebarToggle_->geometry();
        QPainterPath path;
        path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        toggleMaterial_.paint(painter, *this, path);
        return;
    }
    painter.fillRect(rect(), PivraAppearance::canvas(dark));
    painter.fillRect(QRect(0, height() - 1, width(), 1), PivraAppearance::primary(palette(), 0.08));
}

void LibraryHeader::setMapBeneath(QWidget* map)
{
    mapPills_->setBeneath(map);
    toggleMaterial_.setBeneath(map);
}

void LibraryHeader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
}

bool LibraryHeader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pivra
