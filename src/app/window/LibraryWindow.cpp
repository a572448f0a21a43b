#include "app/window/LibraryWindow.h"

#include "app/header/HeaderModel.h"
#include "app/header/LibraryHeader.h"
#include "app/content/ContentColumn.h"
#include "app/launch/WindowBridge.h"
#include "app/sidebar/Sidebar.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/ViewerMount.h"
#include "app/window/ShareDeviceMenu.h"
#include "app/window/WindowAlerts.h"
#include "gallery/GalleryGrid.h"
#include "gallery/share/ShareNotch.h"
#include "map/LibraryMap.h"
#include "media/camera/CameraItemPaths.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/share/ShareService.h"
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

// What the user is told when another application's drop got no device
// original: the copy was not done yet (and goes on for the next drag), or it
// failed.
QString refusedDropMessage(const MediaPasteboard::RefusedDrop& drop)
{
    if (!drop.error) {
        return u"\u201C" + drop.item.name() +
               u"\u201D is still being copied from the iPhone. Drag it out again in a moment.";
    }
    return u"Could not copy \u201C" + drop.item.name() + u"\u201D from the iPhone. " + drop.error->description;
}

// How long a dragged photo's drop target stays after the drag ends.
constexpr int dragGraceMilliseconds = 120;
// A drop on the share target shows "Opening…" this long before the share
// starts, and this long after it before the target goes (none while motion
// is reduced).
constexpr int shareLeadMilliseconds = 230;
constexpr int shareTailMilliseconds = 180;
// The share target's panel sits this far below the window's top edge.
constexpr int shareTargetTop = 12;

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
      viewerBackdrop_(filled(new QWidget(this), PivraAppearance::viewerBackdrop)),
      alerts_(new AlertPresenter(*this)),
      bridge_(new WindowBridge([this](bool fullscreen) { setFullscreen(fullscreen); },
                               [this](QKeyEvent* event) { return handleKey(event); }, this)),
      sidebarMotion_(new QVariantAnimation(this)),
      shareNotch_(new ShareNotch(this)),
      pasteboard_(thumbnails.cameraSourceManager()),
      viewerMount_(new ViewerMount(*this, store, thumbnails, pasteboard_, *viewerBackdrop_))
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
    // A window never opens on the place grid, nor on a style the control
    // lacks; the pills then show the stored style.
    mapStyle_ = settings.value(mapStyleKey, QStringLiteral("map")).toString();
    if (mapStyle_ != u"map" && mapStyle_ != u"satellite") {
        mapStyle_ = QStringLiteral("map");
        settings.setValue(mapStyleKey, mapStyle_);
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
    header->setMapBeneath(content_->map());
    connect(header, &LibraryHeader::newAlbumRequested, content_,
            [this] { content_->presentAlbumEditor(std::nullopt, std::nullopt); });
    // A pin of several photos shows them in the place grid.
    content_->setMapStyle(mapStyle_);
    connect(this, &LibraryWindow::mapStyleChanged, content_, &ContentColumn::setMapStyle);
    connect(content_, &ContentColumn::mapSelected, this, [this](const MapSelection& selection) {
        setMapSelection(selection);
        setMapStyle(QStringLiteral("grid"));
    });
    connect(header, &LibraryHeader::mapSelectionCleared, this, [this] { setMapSelection(std::nullopt); });
    connect(this, &LibraryWindow::mapSelectionChanged, content_, [this] { content_->setMapSelection(mapSelection_); });
    connect(content_, &ContentColumn::showAllPlacesRequested, this, [this] { setMapSelection(std::nullopt); });
    // "Show on map" leaves the place grid for the map, then moves to the group.
    connect(content_, &ContentColumn::showOnMapRequested, this, [this](const MapFocus& focus) {
        setMapStyle(QStringLiteral("map"));
        content_->map()->setMapFocus(focus);
    });
    sidebar_ = new Sidebar(store_, *alerts_, sidebarColumn_);
    connect(sidebar_, &Sidebar::preferencesRequested, this, &LibraryWindow::preferencesRequested);
    sidebarEdge_->raise(); // the edge line stays over the sidebar's rows
    connect(&store_, &LibraryStore::viewerItemChanged, this, &LibraryWindow::viewerChanged);

    shareNotch_->setObjectName(QStringLiteral("shareTarget"));
    shareNotch_->hide();
    shareNotch_->setDropHandler([this](QPoint globalAt) { return dropOnShareTarget(globalAt); });
    setShareService(std::make_unique<ShareService>());
    connect(shareNotch_, &ShareNotch::targetChanged, this, [this](bool over) {
        if (draggedMedia_ && !shareCommitted_) {
            setShareTargeted(over);
        }
    });
    GalleryGrid* grid = content_->grid();
    // The grid and the viewer hand out one pasteboard's copies of device
    // originals, so a drag from either takes up a copy a refused drop left.
    grid->setPasteboard(pasteboard_);
    pasteboard_.setRefusedDropHandler(this, [this](const MediaPasteboard::RefusedDrop& drop) {
        store_.setMessage(refusedDropMessage(drop));
    });
    connect(grid, &GalleryGrid::dragStarted, this, &LibraryWindow::beginMediaDrag);
    connect(grid, &GalleryGrid::dragEnded, this, &LibraryWindow::endMediaDrag);
    connect(this, &LibraryWindow::shareTargetedChanged, grid, &GalleryGrid::setOverShareTarget);
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
    mapStylePill_ = style;
    Q_EMIT mapStylePillChanged(style);
    mapStyle_ = style;
    AppSettings().setValue(mapStyleKey, style);
    Q_EMIT mapStyleChanged(style);
}

void LibraryWindow::setMapSelection(std::optional<MapSelection> selection)
{
    mapSelection_ = std::move(selection);
    Q_EMIT mapSelectionChanged();
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
    placeShareTarget();
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
    shareNotch_->raise();
}

void LibraryWindow::placeShareTarget()
{
    const QRect panel = shareNotch_->panelRect();
    shareNotch_->move((width() - shareNotch_->width()) / 2, shareTargetTop - panel.top());
    shareNotch_->raise();
}

void LibraryWindow::setFullscreen(bool fullscreen)
{
    fullscreen_ = fullscreen;
    sidebar_->setFullscreen(fullscreen);
    viewerMount_->setFullscreen(fullscreen);
}

void LibraryWindow::closeViewer()
{
    store_.closeViewer();
    setShowInfo(false);
}

MediaViewer* LibraryWindow::viewer() const
{
    return viewerMount_->viewer();
}

void LibraryWindow::setShowInfo(bool shown)
{
    showInfo_ = shown;
    Q_EMIT showsInfoChanged(shown);
}

void LibraryWindow::beginMediaDrag(const MediaItem& item)
{
    ++dragGeneration_;
    setShareCommitted(false);
    draggedMedia_ = item;
    placeShareTarget();
    shareNotch_->show();
    Q_EMIT draggedMediaChanged();
}

// Once the photo was dropped on the share target, the share owns the reset.
void LibraryWindow::endMediaDrag()
{
    setShareTargeted(false);
    if (shareCommitted_) {
        return;
    }
    QTimer::singleShot(dragGraceMilliseconds, this, [this, generation = dragGeneration_] {
        if (dragGeneration_ == generation && !shareCommitted_ && draggedMedia_) {
            clearDrag();
        }
    });
}

void LibraryWindow::clearDrag()
{
    setShareCommitted(false);
    draggedMedia_.reset();
    shareNotch_->hide();
    Q_EMIT draggedMediaChanged();
}

void LibraryWindow::setShareTargeted(bool targeted)
{
    if (targeted != shareTargeted_) {
        shareTargeted_ = targeted;
        shareNotch_->setTargeted(targeted);
        Q_EMIT shareTargetedChanged(targeted);
    }
}

void LibraryWindow::setShareCommitted(bool committed)
{
    shareCommitted_ = committed;
    shareNotch_->setCommitted(committed);
}

// The drop is answered at once; the share waits until the target has shown
// "Opening…", and each step checks that no newer drag has begun meanwhile.
bool LibraryWindow::dropOnShareTarget(QPoint globalAt)
{
    if (!draggedMedia_ || shareCommitted_) {
        return false;
    }
    shareDropPoint_ = globalAt;
    setShareCommitted(true);
    setShareTargeted(false);
    const int generation = dragGeneration_;
    const MediaItem item = *draggedMedia_;
    const bool reduced = Motion::reduced();
    QTimer::singleShot(reduced ? 0 : shareLeadMilliseconds, this, [this, generation, item, reduced] {
        if (dragGeneration_ != generation) {
            return;
        }
        shareOriginal(item, [this, generation, reduced] {
            QTimer::singleShot(reduced ? 0 : shareTailMilliseconds, this, [this, generation] {
                if (dragGeneration_ == generation) {
                    clearDrag();
                }
            });
        });
    });
    return true;
}

void LibraryWindow::shareOriginal(const MediaItem& item, std::function<void()> done)
{
    // A device original that cannot be copied out is most often on a locked phone.
    const QString unreachable = isCameraItem(item) ? QStringLiteral("Unlock the iPhone to share this original.")
                                                   : QStringLiteral("This file is no longer available.");
    pasteboard_.localFile(item, this, [this, unreachable, done](const MediaPasteboard::LocalFile& file) {
        if (file.error) {
            store_.setMessage(unreachable);
            done();
            return;
        }
        shareService_->share(file.path, [this, unreachable, done](const ShareService::Result& result) {
            if (result.route == ShareService::Route::missingFile) {
                store_.setMessage(unreachable);
            } else if (result.route == ShareService::Route::unavailable) {
                store_.setMessage(QStringLiteral("Share is unavailable on this computer."));
            }
            done();
        });
    });
}

void LibraryWindow::setShareService(std::unique_ptr<ShareService> service)
{
    shareService_ = std::move(service);
    // Which of several phones is asked where the photo was dropped.
    shareService_->setChooser([this](const QList<ShareService::Device>& devices, auto chosen) {
        chooseShareDevice(this, shareDropPoint_, devices, std::move(chosen));
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
        closeViewer();
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
