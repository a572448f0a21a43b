#include "app/window/LibraryWindow.h"

#include "app/header/HeaderModel.h"
#include "app/header/LibraryHeader.h"
#include "app/content/ContentColumn.h"
#include "app/launch/WindowBridge.h"
#include "app/sidebar/Sidebar.h"
#include "style/Motion.h"
#include "style/PivraAppearance.h"
#include "app/window/WindowAlerts.h"
#include "platform/AppSettings.h"
#include "store/LibraryStore.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QVariantAnimation>

#include <array>

namespace pivra {

const QString LibraryWindow::sidebarVisibleKey = QStringLiteral("pivra.sidebar.visible");
const QString LibraryWindow::rowHeightKey = QStringLiteral("pivra.gallery.rowHeight");
const QString LibraryWindow::mapStyleKey = QStringLiteral("pivra.map.style");

namespace {

// The viewer's backdrop, darker than the dark canvas.
const QColor viewerBackdropColor = QColor::fromRgbF(0.055f, 0.055f, 0.063f);
// How long a dragged photo's drop target stays after the drag ends.
constexpr int dragGraceMilliseconds = 120;

QWidget* filled(QWidget* widget, const QColor& color)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    return widget;
}

} // namespace

int LibraryWindow::headerWidthStep(int width)
{
    for (const int step : std::array{1000, 780, 760, 700}) {
        if (step <= width) {
            return step;
        }
    }
    return 0;
}

LibraryWindow::LibraryWindow(LibraryStore& store, ThumbnailStore& thumbnails, const VideoPreviewStore& clips,
                             QWidget* parent)
    : QWidget(parent),
      store_(store),
      mainArea_(new QWidget(this)),
      sidebarColumn_(new QWidget(mainArea_)),
      sidebarEdge_(new QWidget(sidebarColumn_)),
      galleryArea_(new QWidget(mainArea_)),
      galleryContent_(new QWidget(galleryArea_)),
      headerArea_(new QWidget(galleryArea_)),
      viewerBackdrop_(filled(new QWidget(this), viewerBackdropColor)),
      alerts_(new AlertPresenter(*this)),
      bridge_(new WindowBridge([this](bool fullscreen) { setFullscreen(fullscreen); },
                               [this](QKeyEvent* event) { return handleKey(event); }, this)),
      sidebarMotion_(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("libraryWindow"));
    sidebarColumn_->setObjectName(QStringLiteral("sidebarColumn"));
    galleryArea_->setObjectName(QStringLiteral("galleryArea"));
    headerArea_->setObjectName(QStringLiteral("headerArea"));
    galleryContent_->setObjectName(QStringLiteral("galleryContent"));
    viewerBackdrop_->setObjectName(QStringLiteral("viewerBackdrop"));

    AppSettings settings;
    sidebarVisible_ = settings.flag(sidebarVisibleKey, true);
    sidebarShown_ = sidebarVisible_ ? 1 : 0;
    rowHeight_ = RowHeight::validated(settings.value(rowHeightKey));
    // A window never opens on the place grid.
    mapStyle_ = settings.value(mapStyleKey, QStringLiteral("map")).toString();
    if (mapStyle_ == u"grid") {
        setMapStyle(QStringLiteral("map"));
    }

    connect(sidebarMotion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        sidebarShown_ = value.toDouble();
        layOutLayers();
    });
    new StoreAlerts(store_, *alerts_);
    content_ = new ContentColumn(store_, *alerts_, thumbnails, clips, galleryContent_);
    content_->setRowHeight(rowHeight_);
    connect(this, &LibraryWindow::rowHeightChanged, content_, &ContentColumn::setRowHeight);
    auto* header = new LibraryHeader(store_, *this, headerArea_);
    connect(header, &LibraryHeader::newAlbumRequested, content_,
            [this] { content_->presentAlbumEditor(std::nullopt, std::nullopt); });
    sidebar_ = new Sidebar(store_, *alerts_, sidebarColumn_);
    sidebarEdge_->raise(); // the edge line stays over the sidebar's rows
    connect(&store_, &LibraryStore::viewerItemChanged, this, &LibraryWindow::viewerChanged);
    applyCanvas();
    viewerChanged();
}

// The areas go while the window is still whole: their views read the
// window's state as they wind down (an animation's last frame), which must
// not reach a window already reduced to a plain widget.
LibraryWindow::~LibraryWindow()
{
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void LibraryWindow::attachTo(QWidget* window)
{
    bridge_->attach(window);
}

void LibraryWindow::setSidebarVisible(bool visible)
{
    sidebarVisible_ = visible;
    AppSettings().setValue(sidebarVisibleKey, visible);
    sidebarColumn_->setAttribute(Qt::WA_TransparentForMouseEvents, !visible);
    sidebarMotion_->stop();
    sidebarMotion_->setStartValue(sidebarShown_);
    sidebarMotion_->setEndValue(visible ? 1.0 : 0.0);
    Motion::apply(*sidebarMotion_, curves::easeInOut(0.22));
    sidebarMotion_->start();
    Q_EMIT sidebarVisibleChanged(visible);
}

void LibraryWindow::setRowHeight(double height)
{
    rowHeight_ = height;
    AppSettings().setValue(rowHeightKey, height);
    Q_EMIT rowHeightChanged(height);
}

void LibraryWindow::setMapStyle(const QString& style)
{
    mapStyle_ = style;
    AppSettings().setValue(mapStyleKey, style);
    Q_EMIT mapStyleChanged(style);
}

bool LibraryWindow::showsPlaceGrid() const
{
    return store_.showsMap() && mapStyle_ == u"grid";
}

// The sidebar slides out to the left rather than going away, and the
// gallery's leading edge follows it; the header sits over the gallery's top.
void LibraryWindow::layOutLayers()
{
    const QRect all = rect();
    mainArea_->setGeometry(all);
    viewerBackdrop_->setGeometry(all);
    const int shownWidth = qRound(sidebarWidth * sidebarShown_);
    sidebarColumn_->setGeometry(shownWidth - sidebarWidth, 0, sidebarWidth, all.height());
    sidebar_->setGeometry(0, 0, sidebarWidth, all.height());
    sidebarEdge_->setGeometry(sidebarWidth - 1, 0, 1, all.height());
    galleryArea_->setGeometry(shownWidth, 0, all.width() - shownWidth, all.height());
    galleryContent_->setGeometry(0, 0, galleryArea_->width(), galleryArea_->height());
    content_->setGeometry(galleryContent_->rect());
    headerArea_->setGeometry(0, 0, galleryArea_->width(), headerHeight);
    headerArea_->raise();
    if (const int step = headerWidthStep(galleryArea_->width()); step != widthStep_) {
        widthStep_ = step;
        Q_EMIT widthStepChanged(step);
    }
}

void LibraryWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutLayers();
}

void LibraryWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        applyCanvas();
    }
}

void LibraryWindow::applyCanvas()
{
    const bool dark = PivraAppearance::isDark(palette());
    filled(this, PivraAppearance::canvas(dark));
    filled(sidebarColumn_, PivraAppearance::canvas(dark));
    filled(sidebarEdge_, PivraAppearance::primary(palette(), 0.08));
}

// While an item is shown the main area is hidden and takes no clicks.
void LibraryWindow::viewerChanged()
{
    const bool open = store_.viewerItem().has_value();
    mainArea_->setVisible(!open);
    viewerBackdrop_->setVisible(open);
    if (open) {
        viewerBackdrop_->raise();
    }
}

void LibraryWindow::setFullscreen(bool fullscreen)
{
    fullscreen_ = fullscreen;
    sidebar_->setFullscreen(fullscreen);
}

void LibraryWindow::setShowInfo(bool shown)
{
    showInfo_ = shown;
    Q_EMIT showsInfoChanged(shown);
}

void LibraryWindow::beginMediaDrag(const MediaItem& item)
{
    ++dragGeneration_;
    draggedMedia_ = item;
    Q_EMIT draggedMediaChanged();
}

void LibraryWindow::endMediaDrag()
{
    QTimer::singleShot(dragGraceMilliseconds, this, [this, generation = dragGeneration_] {
        if (dragGeneration_ == generation && draggedMedia_) {
            draggedMedia_.reset();
            Q_EMIT draggedMediaChanged();
        }
    });
}

// Control stands where the other desktop has Command; Shift never changes
// which command a key is.
bool LibraryWindow::handleKey(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key();
    if (!store_.viewerItem()) {
        if (mods == Qt::ControlModifier && key == Qt::Key_F) {
            Q_EMIT searchRequested();
            return true;
        }
        return false;
    }
    if (mods != Qt::NoModifier) {
        return false;
    }
    switch (key) {
    case Qt::Key_Space:
        store_.requestPlaybackToggle();
        return true;
    case Qt::Key_Escape:
        store_.closeViewer();
        setShowInfo(false);
        return true;
    case Qt::Key_Left:
        store_.navigateViewer(-1);
        return true;
    case Qt::Key_Right:
        store_.navigateViewer(1);
        return true;
    case Qt::Key_I:
        setShowInfo(!showInfo_);
        return true;
    case Qt::Key_R:
        store_.rotateViewer(event->modifiers().testFlag(Qt::ShiftModifier) ? -1 : 1);
        return true;
    default:
        return false;
    }
}

} // namespace pivra
