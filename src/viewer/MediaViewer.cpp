#include "viewer/MediaViewer.h"

#include "gallery/drag/MediaDragSurface.h"
#include "media/camera/CameraItemPaths.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/threads/Pool.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "viewer/controls/ControlsVisibility.h"
#include "viewer/photo/DisconnectedPreview.h"
#include "viewer/info/MediaLocation.h"
#include "viewer/photo/MediaSurface.h"
#include "viewer/info/MetadataPanel.h"
#include "viewer/photo/PhotoCanvas.h"
#include "viewer/controls/ViewerButton.h"
#include "viewer/controls/ViewerTopBar.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdint>

namespace pivra {
namespace {

constexpr int panelTopPadding = 58;
constexpr int navigationPadding = 18;
constexpr double zoomButtonSeconds = 0.18;
constexpr double sliderJumpSeconds = 0.2;
// From 4K (8.3 megapixels) up, a video's decoders hold some 350 MB of
// pictures while it plays: the session's thumbnails in memory make room.
constexpr std::int64_t largeVideoPixels = 8'000'000;

void setOpacity(QWidget* widget, double opacity)
{
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
    // Fully shown, the widget paints straight, with no offscreen pass.
    effect->setEnabled(opacity < 1);
}

PhotoViewportTransform between(const PhotoViewportTransform& from, const PhotoViewportTransform& to, double t)
{
    PhotoViewportTransform step = to;
    step.zoom = from.zoom + (to.zoom - from.zoom) * t;
    step.offset = from.offset + (to.offset - from.offset) * t;
    step.clampOffset();
    return step;
}

// A photo has a still, and so has a device's video until its stream is
// ready; a file video has none: its own first frame comes as soon.
bool showsStill(const MediaItem& item)
{
    return item.kind() == MediaKind::image || isCameraItem(item);
}

} // namespace

MediaViewer::MediaViewer(const MediaItem& item, const std::optional<LibrarySource>& source, bool cameraLocked,
                         ThumbnailStore& thumbnails, MediaPasteboard pasteboard, ViewerCallbacks callbacks,
                         QWidget* parent)
    : QWidget(parent)
    , item_(item)
    , source_(source)
    , cameraLocked_(cameraLocked)
    , thumbnails_(thumbnails)
    , pasteboard_(std::move(pasteboard))
    , callbacks_(std::move(callbacks))
    , visibility_(std::make_unique<ControlsVisibility>())
    , contentArea_(new QWidget(this))
    , canvas_(showsStill(item) ? new PhotoCanvas(item, thumbnails, this) : nullptr)
    , topBar_(new ViewerTopBar(this))
    , errorBanner_(new QLabel(this))
    , previous_(new ViewerButton(ViewerButton::Kind::navigation, QStringLiteral("chevron.left"), this))
    , next_(new ViewerButton(ViewerButton::Kind::navigation, QStringLiteral("chevron.right"), this))
{
    setObjectName(QStringLiteral("mediaViewer"));
    setMouseTracking(true);
    // The viewer is dark whatever the window's scheme.
    setPalette(PivraAppearance::palette(true));
    contentArea_->setObjectName(QStringLiteral("viewerContent"));
    previous_->setAccessibleName(QStringLiteral("Previous"));
    next_->setAccessibleName(QStringLiteral("Next"));

    errorBanner_->setFont(PivraFonts::font(12));
    errorBanner_->setContentsMargins(9, 9, 9, 9);
    errorBanner_->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: rgba(255, 59, 48, 204); border-radius: 8px; }"));
    errorBanner_->hide();

    topBar_->setItem(item_);
    connect(topBar_, &ViewerTopBar::closeRequested, this, [this] { call(callbacks_.onClose); });
    connect(topBar_, &ViewerTopBar::favoriteRequested, this, [this] { call(callbacks_.onFavorite); });
    connect(topBar_, &ViewerTopBar::infoRequested, this, [this] { call(callbacks_.onToggleInfo); });
    connect(topBar_, &ViewerTopBar::fullscreenRequested, this, [this] { call(callbacks_.onFullscreen); });
    connect(topBar_, &ViewerTopBar::rotateRequested, this, [this](int quarters) {
        if (callbacks_.onRotate) {
            callbacks_.onRotate(quarters);
        }
    });
    connect(topBar_, &ViewerTopBar::livePlayRequested, this, [this] {
        if (playback_) {
            playback_->toggle();
        }
        revealControls();
    });
    connect(topBar_, &ViewerTopBar::loopRequested, this, &MediaViewer::toggleLiveLoops);
    connect(topBar_, &ViewerTopBar::zoomStepRequested, this, &MediaViewer::stepZoom);
    connect(topBar_, &ViewerTopBar::zoomRequested, this, &MediaViewer::zoomTo);
    connect(previous_, &QAbstractButton::clicked, this, [this] { call(callbacks_.onPrevious); });
    connect(next_, &QAbstractButton::clicked, this, [this] { call(callbacks_.onNext); });
    connect(topBar_, &ViewerTopBar::hoverChanged, visibility_.get(), &ControlsVisibility::setHovered);
    for (ViewerButton* arrow : {previous_, next_}) {
        connect(arrow, &ViewerButton::hoverChanged, visibility_.get(), &ControlsVisibility::setHovered);
    }
    connect(visibility_.get(), &ControlsVisibility::controlsVisibleChanged, this, &MediaViewer::controlsChanged);

    connect(&controlsMotion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        controlsShown_ = value.toDouble();
        layOut();
    });
    connect(&panelMotion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        panelShown_ = value.toDouble();
        layOut();
    });
    connect(&panelMotion_, &QVariantAnimation::finished, this, [this] {
        if (!showInfo_ && panel_) {
            delete panel_;
        }
    });
    connect(&zoomMotion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        setViewport(between(zoomFrom_, zoomTarget_, value.toDouble()));
    });
    connect(&zoomMotion_, &QVariantAnimation::finished, this, [this] { setViewport(zoomTarget_); });

    if (playable()) {
        makePlayback();
    }
    chooseContent();
    qApp->installEventFilter(this);
}

MediaViewer::~MediaViewer()
{
    qApp->removeEventFilter(this);
    visibility_->cancel();
    // The row's hover bubble lives in this widget; the row takes it along
    // while this widget is still whole.
    delete videoControls_;
    if (playback_) {
        playback_->stop();
    }
}

MediaSurface* MediaViewer::mediaSurface() const { return surface_; }
DisconnectedPreview* MediaViewer::disconnectedPreview() const { return disconnected_; }
MetadataPanel* MediaViewer::metadataPanel() const { return panel_; }
MediaDragSurface* MediaViewer::dragSurface() const { return dragSurface_; }
VideoLayerView* MediaViewer::videoLayer() const { return videoLayer_; }
VideoControls* MediaViewer::videoControls() const { return videoControls_; }

void MediaViewer::call(const std::function<void()>& action) const
{
    if (action) {
        action();
    }
}

bool MediaViewer::isDisconnected() const
{
    return (source_ && !source_->isOnline) || (cameraLocked_ && isCameraItem(item_));
}

// The media surface, or the preview standing in for an original out of
// reach; made again only when that choice changes.
void MediaViewer::chooseContent()
{
    const bool disconnected = isDisconnected();
    if (disconnected && !disconnected_) {
        // Nothing of the media stays behind the card; the layers are made
        // again, once each, when the original is back.
        delete surface_;
        delete videoLayer_;
        delete dragSurface_;
        const bool isCamera = source_ && source_->kind == LibrarySource::Kind::camera;
        disconnected_ = new DisconnectedPreview(item_, source_ ? source_->name : QStringLiteral("This source"),
                                                isCamera, source_ ? source_->isOnline : true, thumbnails_,
                                                contentArea_);
        disconnected_->setGeometry(contentArea_->rect());
        disconnected_->show();
    } else if (!disconnected && !surface_) {
        delete disconnected_;
        surface_ = new MediaSurface(item_, canvas_, contentArea_);
        connect(surface_, &MediaSurface::fittingChanged, this, &MediaViewer::syncViewport);
        if (playback_) {
            videoLayer_ = new VideoLayerView(*playback_, contentArea_);
            videoLayer_->setAttribute(Qt::WA_TransparentForMouseEvents);
            // The moving picture lies, turns and zooms exactly as the still.
            connect(surface_, &MediaSurface::placementChanged, this, &MediaViewer::placeMediaLayers);
        }
        dragSurface_ = new MediaDragSurface(pasteboard_, thumbnails_, contentArea_);
        dragSurface_->setItem(item_);
        dragSurface_->setOverShareTarget(overShareTarget_);
        dragSurface_->setCallbacks({
            .onStart = callbacks_.onDragStart,
            .onEnd = callbacks_.onDragEnd,
            .onPointerMove = [this](QPointF point) { pointerMoved(point); },
            .onUnavailable = callbacks_.onDragUnavailable,
            .onMagnify = [this](double delta, QPointF at) { magnified(delta, at); },
            .onPan = [this](QPointF delta) { panned(QSizeF(delta.x(), delta.y())); },
        });
        for (QWidget* layer : {static_cast<QWidget*>(surface_.data()), static_cast<QWidget*>(videoLayer_.data()),
                               static_cast<QWidget*>(dragSurface_.data())}) {
            if (layer) {
                layer->show();
                layer->raise();
            }
        }
        showPlaybackState();
        layOut();
        syncViewport();
    }
    // The transport row belongs to a video whose source is not offline.
    const bool wantsControls = playback_ && item_.kind() == MediaKind::video && !(source_ && !source_->isOnline);
    if (wantsControls && !videoControls_) {
        videoControls_ = new VideoControls(*playback_, item_, callbacks_.onFullscreen, this);
        connect(videoControls_, &VideoControls::hoveredChanged, visibility_.get(), &ControlsVisibility::setHovered);
        videoControls_->setRevealed(showsControls());
        videoControls_->show();
        layOut();
    } else if (!wantsControls && videoControls_) {
        delete videoControls_;
    }
}

bool MediaViewer::playable() const
{
    return item_.kind() == MediaKind::video || item_.liveVideoPath().has_value();
}

// Only an item that plays gets a player: a photo never needs one, and
// opening it stays quick.
void MediaViewer::makePlayback()
{
    playback_ = new VideoPlaybackModel(this);
    connect(playback_, &VideoPlaybackModel::isPlayingChanged, this, [this] {
        showPlaybackState();
        controlsChanged();
    });
    connect(playback_, &VideoPlaybackModel::isReadyChanged, this, &MediaViewer::showPlaybackState);
    connect(playback_, &VideoPlaybackModel::errorChanged, this, &MediaViewer::showPlaybackState);
    // A Live Photo's motion is no item of its own.
    connect(playback_, &VideoPlaybackModel::streamsLengthMeasured, this, [this](double seconds) {
        if (item_.kind() == MediaKind::video && callbacks_.onStreamsLength) {
            callbacks_.onStreamsLength(item_, seconds);
        }
    });
}

// Which of the still and the moving picture shows, and the Live Photo's
// error line.
void MediaViewer::showPlaybackState()
{
    if (!playback_) {
        return;
    }
    const bool playing = playback_->isPlaying();
    topBar_->setPlaying(playing);
    const bool camera = isCameraItem(item_);
    if (item_.kind() == MediaKind::video) {
        // A file video has no still; a device's shows until its stream is ready.
        if (surface_) {
            surface_->setStillHidden(!camera || playback_->isReady());
        }
        if (videoLayer_) {
            videoLayer_->setVisible(!camera || playback_->isReady());
        }
    } else if (videoLayer_) {
        videoLayer_->setVisible(playing);
    }
    const bool bannerShown = item_.liveVideoPath().has_value() && playback_->error().has_value();
    errorBanner_->setText(playback_->error().value_or(QString()));
    errorBanner_->setVisible(bannerShown);
    layOut();
}

void MediaViewer::toggleLiveLoops()
{
    liveLoops_ = !liveLoops_;
    if (playback_) {
        playback_->setLoops(liveLoops_);
    }
    topBar_->setLiveLoops(liveLoops_);
    revealControls();
}

void MediaViewer::setItem(const MediaItem& item)
{
    if (item.id() != item_.id()) {
        return;
    }
    item_ = item;
    topBar_->setItem(item_);
    if (surface_) {
        surface_->setItem(item_);
    }
    if (dragSurface_) {
        dragSurface_->setItem(item_);
    }
    if (panel_) {
        const QRect geometry = panel_->geometry();
        delete panel_;
        panel_ = new MetadataPanel(item_, source_, callbacks_.onShowInFileManager, this);
        panel_->setGeometry(geometry);
        panel_->show();
        layOut();
    }
}

void MediaViewer::setSource(const std::optional<LibrarySource>& source)
{
    source_ = source;
    chooseContent();
}

void MediaViewer::setCameraLocked(bool locked)
{
    const bool unlocked = cameraLocked_ && !locked;
    cameraLocked_ = locked;
    chooseContent();
    if (unlocked && playback_ && isCameraItem(item_) && item_.kind() == MediaKind::video) {
        playback_->load(item_, true);
    }
}

void MediaViewer::setOverShareTarget(bool over)
{
    overShareTarget_ = over;
    if (dragSurface_) {
        dragSurface_->setOverShareTarget(over);
    }
}

void MediaViewer::setFullscreen(bool fullscreen)
{
    if (fullscreen == fullscreen_) {
        return;
    }
    fullscreen_ = fullscreen;
    topBar_->setFullscreen(fullscreen);
    readVideoLocation();
    layOut();
}

// A video file's own place, read only in full screen, where the date and
// place line shows. Each change of screen mode starts over, and an answer
// for an earlier one is dropped.
void MediaViewer::readVideoLocation()
{
    const int generation = ++locationGeneration_;
    if (item_.kind() != MediaKind::video || isCameraItem(item_) || !fullscreen_) {
        return;
    }
    auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcher<std::optional<QString>>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != locationGeneration_) {
            return;
        }
        videoLocation_ = watcher->result();
        topBar_->setLocation(videoLocation_ ? videoLocation_ : storedLocation_);
        Q_EMIT videoLocationAnswered();
    });
    // On a pool of the program's own: the application waits for Qt's global
    // one as it ends, and a read held by a share that no longer answers
    // would hold the quit.
    watcher->setFuture(QtConcurrent::run(threadPool(PoolPriority::utility), &MediaLocation::videoLabel, item_.path()));
}

void MediaViewer::setShowInfo(bool shown)
{
    if (shown == showInfo_) {
        return;
    }
    showInfo_ = shown;
    topBar_->setShowInfo(shown);
    if (shown && !panel_) {
        panel_ = new MetadataPanel(item_, source_, callbacks_.onShowInFileManager, this);
        panel_->show();
    }
    panelMotion_.stop();
    panelMotion_.setStartValue(panelShown_);
    panelMotion_.setEndValue(shown ? 1.0 : 0.0);
    Motion::apply(panelMotion_, curves::spring<380, 860>());
    if (!appeared_) {
        // A viewer opened while the panel is open (a step to the next item)
        // starts with it in place: only the user's toggle slides it.
        panelMotion_.setDuration(0);
    }
    panelMotion_.start();
    controlsChanged();
}

void MediaViewer::togglePlayback()
{
    if (playback_ && playable()) {
        playback_->toggle();
    }
}

void MediaViewer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (appeared_) {
        return;
    }
    appeared_ = true;
    storedLocation_ = MediaLocation::label(item_.metadataJSON());
    topBar_->setLocation(storedLocation_);
    // An offline source's original never reaches the player.
    if (playback_ && !(source_ && !source_->isOnline)) {
        if (item_.kind() == MediaKind::video) {
            if (std::int64_t(item_.width()) * item_.height() >= largeVideoPixels) {
                thumbnails_.releaseMemory();
            }
            playback_->load(item_, true);
        } else {
            playback_->load(*item_.liveVideoPath(), std::nullopt, false);
        }
    }
    revealControls();
}

// --- The viewport ---

void MediaViewer::syncViewport()
{
    if (!surface_) {
        return;
    }
    const QSizeF area = surface_->size();
    const QSizeF content = surface_->fitting().content;
    // A zoom under way is re-aimed at the new sizes, so it ends on them.
    zoomFrom_.resize(area, content);
    zoomTarget_.resize(area, content);
    PhotoViewportTransform next = viewport_;
    next.resize(area, content);
    setViewport(next);
}

void MediaViewer::setViewport(const PhotoViewportTransform& viewport)
{
    viewport_ = viewport;
    if (surface_) {
        surface_->setViewport(viewport_);
    }
    if (dragSurface_) {
        dragSurface_->setPanEnabled(viewport_.isZoomed());
    }
    topBar_->setViewport(viewport_);
    placeMediaLayers();
}

// Every layer covers the media area; the moving picture takes its place in
// it from the still's.
void MediaViewer::placeMediaLayers()
{
    const QRect area = contentArea_->rect();
    for (QWidget* layer : {static_cast<QWidget*>(surface_.data()), static_cast<QWidget*>(videoLayer_.data()),
                           static_cast<QWidget*>(dragSurface_.data())}) {
        if (layer) {
            layer->setGeometry(area);
        }
    }
    if (surface_ && videoLayer_) {
        videoLayer_->setPlacement(surface_->pictureTransform(), surface_->fitting().frame);
    }
}

void MediaViewer::animateViewport(const PhotoViewportTransform& target, double seconds)
{
    zoomMotion_.stop();
    zoomFrom_ = viewport_;
    zoomTarget_ = target;
    zoomMotion_.setStartValue(0.0);
    zoomMotion_.setEndValue(1.0);
    Motion::apply(zoomMotion_, curves::easeOut(seconds));
    if (zoomMotion_.duration() == 0) {
        setViewport(target);
        return;
    }
    zoomMotion_.start();
}

void MediaViewer::pointerMoved(QPointF point)
{
    lastImagePointer_ = point;
    revealControls();
}

void MediaViewer::magnified(double magnification, QPointF point)
{
    lastImagePointer_ = point;
    zoomMotion_.stop();
    PhotoViewportTransform next = viewport_;
    next.setZoom((1 + magnification) * next.zoom, point);
    setViewport(next);
    revealControls();
}

void MediaViewer::panned(QSizeF delta)
{
    zoomMotion_.stop();
    PhotoViewportTransform next = viewport_;
    next.pan(delta);
    setViewport(next);
    revealControls();
}

void MediaViewer::stepZoom(double step)
{
    PhotoViewportTransform next = zoomMotion_.state() == QAbstractAnimation::Running ? zoomTarget_ : viewport_;
    next.setZoom(next.zoom + step, lastImagePointer_);
    animateViewport(next, zoomButtonSeconds);
}

void MediaViewer::zoomTo(double zoom, bool animated)
{
    zoomMotion_.stop();
    PhotoViewportTransform next = viewport_;
    next.setZoom(zoom, lastImagePointer_);
    if (animated) {
        animateViewport(next, sliderJumpSeconds);
    } else {
        setViewport(next);
    }
}

// --- Controls ---

bool MediaViewer::showsControls() const
{
    return ControlsVisibility::shown(visibility_->controlsVisible(), showInfo_, playable(),
                                     playback_ && playback_->isPlaying());
}

void MediaViewer::revealControls()
{
    visibility_->reveal();
}

void MediaViewer::controlsChanged()
{
    const double target = showsControls() ? 1.0 : 0.0;
    const bool hidden = target == 0;
    for (QWidget* control : {static_cast<QWidget*>(topBar_), static_cast<QWidget*>(errorBanner_),
                             static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_)}) {
        control->setAttribute(Qt::WA_TransparentForMouseEvents, hidden);
    }
    if (videoControls_) {
        videoControls_->setRevealed(!hidden);
    }
    if (controlsMotion_.endValue().toDouble() == target && controlsMotion_.state() == QAbstractAnimation::Running) {
        return;
    }
    controlsMotion_.stop();
    controlsMotion_.setStartValue(controlsShown_);
    controlsMotion_.setEndValue(target);
    Motion::apply(controlsMotion_, curves::easeInOut(0.22));
    if (controlsMotion_.duration() == 0) {
        controlsShown_ = target;
        layOut();
        return;
    }
    controlsMotion_.start();
}

// Every pointer movement over the viewer, on whichever of its parts, counts
// as activity.
bool MediaViewer::eventFilter(QObject* watched, QEvent* event)
{
    // Only the pointer's own movements: Qt's synthetic ones follow a layout
    // change under a resting pointer.
    if (event->type() == QEvent::MouseMove && event->spontaneous()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget))) {
            revealControls();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- Layout and painting ---

void MediaViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
}

// A child whose size hint changed (the video row showing a playback error)
// is given the room it asks for.
bool MediaViewer::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest) {
        layOut();
    }
    return QWidget::event(event);
}

void MediaViewer::layOut()
{
    const int fullWidth = width();
    const int fullHeight = height();
    const int panelWidth = qRound(MetadataPanel::width * panelShown_);
    contentArea_->setGeometry(0, 0, fullWidth - panelWidth, fullHeight);
    if (disconnected_) {
        disconnected_->setGeometry(contentArea_->rect());
    }
    placeMediaLayers();
    if (panel_) {
        panel_->setGeometry(fullWidth - panelWidth, panelTopPadding, MetadataPanel::width,
                            fullHeight - panelTopPadding);
        setOpacity(panel_, panelShown_);
        panel_->raise();
    }

    // Hidden controls rise 8 and fade; the arrows shrink a little and fade.
    const int rise = qRound(-8 * (1 - controlsShown_));
    const int barHeight = topBar_->sizeHint().height();
    topBar_->setGeometry(0, rise, fullWidth, barHeight);
    const QSize banner = errorBanner_->sizeHint();
    errorBanner_->setGeometry((fullWidth - banner.width()) / 2, barHeight + rise, banner.width(), banner.height());
    const int trailing = showInfo_ ? MetadataPanel::width + navigationPadding : navigationPadding;
    const int arrowTop = (fullHeight - previous_->height()) / 2;
    previous_->move(navigationPadding, arrowTop);
    next_->move(fullWidth - trailing - next_->width(), arrowTop);
    for (ViewerButton* arrow : {previous_, next_}) {
        arrow->setScale(0.96 + 0.04 * controlsShown_);
        setOpacity(arrow, controlsShown_);
        arrow->raise();
    }
    if (videoControls_) {
        // The row keeps clear of the information panel.
        const int rowWidth = fullWidth - (showInfo_ ? MetadataPanel::width : 0);
        // Only a shown error banner makes the row's height depend on its
        // width; without one the row asks for no height for a width (-1).
        const int rowHeight = videoControls_->hasHeightForWidth() ? videoControls_->heightForWidth(rowWidth)
                                                                  : videoControls_->sizeHint().height();
        videoControls_->setGeometry(0, fullHeight - rowHeight + rise, rowWidth, rowHeight);
        videoControls_->raise();
    }
    setOpacity(topBar_, controlsShown_);
    setOpacity(errorBanner_, controlsShown_);
    topBar_->raise();
    errorBanner_->raise();
}

void MediaViewer::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), PivraAppearance::viewerBackdrop);
}

} // namespace pivra
