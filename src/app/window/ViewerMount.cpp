#include "app/window/ViewerMount.h"

#include "app/content/FileReveal.h"
#include "app/window/LibraryWindow.h"
#include "app/window/ViewerTransition.h"
#include "store/LibraryStore.h"
#include "style/motion/Motion.h"
#include "viewer/MediaViewer.h"

#include <QApplication>
#include <QEvent>

namespace pivra {

ViewerMount::ViewerMount(LibraryWindow& window, LibraryStore& store, ThumbnailStore& thumbnails,
                         MediaPasteboard pasteboard, QWidget& backdrop)
    : QObject(&window)
    , window_(window)
    , store_(store)
    , thumbnails_(thumbnails)
    , pasteboard_(std::move(pasteboard))
    , backdrop_(backdrop)
    , transition_(new ViewerTransition(&backdrop))
{
    backdrop_.installEventFilter(this);
    connect(transition_, &ViewerTransition::finished, this, [this] {
        if (viewer_) {
            viewer_->show();
        }
    });
    connect(&store_, &LibraryStore::viewerItemChanged, this, &ViewerMount::itemChanged);
    connect(&store_, &LibraryStore::sourcesChanged, this, &ViewerMount::sourcesChanged);
    connect(&store_, &LibraryStore::lockedCameraSourceIDsChanged, this, &ViewerMount::sourcesChanged);
    connect(&store_, &LibraryStore::playbackToggleSerialChanged, this, [this] {
        if (viewer_) {
            viewer_->togglePlayback();
        }
    });
    connect(&window_, &LibraryWindow::showsInfoChanged, this, [this](bool shown) {
        if (viewer_) {
            viewer_->setShowInfo(shown);
        }
    });
    connect(&window_, &LibraryWindow::shareTargetedChanged, this, [this](bool over) {
        if (viewer_) {
            viewer_->setOverShareTarget(over);
        }
    });
    itemChanged();
}

MediaViewer* ViewerMount::viewer() const { return viewer_; }

void ViewerMount::setFullscreen(bool fullscreen)
{
    if (viewer_) {
        viewer_->setFullscreen(fullscreen);
    }
}

void ViewerMount::itemChanged()
{
    const std::optional<MediaItem>& item = store_.viewerItem();
    if (!item) {
        close();
    } else if (!viewer_) {
        open(*item);
    } else if (viewer_->item().id() == item->id()) {
        viewer_->setItem(*item);
    } else {
        // Another item in an open viewer: the new one replaces the old at
        // once, cutting short an opening still under way.
        delete viewer_;
        makeViewer(*item);
        transition_->stop();
    }
}

// Runs before the window swaps its main area for the backdrop, so the
// picture of what the viewer will cover is still there to take.
void ViewerMount::open(const MediaItem& item)
{
    makeViewer(item);
    if (!animates()) {
        transition_->stop();
        return;
    }
    const QPixmap under = window_.grab(backdrop_.geometry());
    const QPixmap picture = viewer_->grab();
    viewer_->hide();
    placeTransition(backdrop_);
    transition_->enter(picture, under);
}

// The leaving viewer goes at once, so no key or click can reach it; a
// picture of it fades out over the window coming back.
void ViewerMount::close()
{
    if (!viewer_) {
        return;
    }
    if (animates()) {
        placeTransition(window_);
        transition_->leave(viewer_->grab());
    } else {
        transition_->stop();
    }
    delete viewer_;
}

// Opening, the picture covers the backdrop from inside it, as the window
// raises the backdrop over everything; closing, the backdrop is hidden and
// the picture lies over the window itself.
void ViewerMount::placeTransition(QWidget& host)
{
    if (transition_->parentWidget() != &host) {
        transition_->setParent(&host);
    }
    transition_->setGeometry(QRect(backdrop_.mapTo(&host, QPoint()), backdrop_.size()));
}

bool ViewerMount::animates() const { return !Motion::reduced() && window_.isVisible(); }

void ViewerMount::sourcesChanged()
{
    if (viewer_) {
        viewer_->setSource(sourceOf(viewer_->item()));
        viewer_->setCameraLocked(isLocked(viewer_->item()));
    }
}

std::optional<LibrarySource> ViewerMount::sourceOf(const MediaItem& item) const
{
    for (const LibrarySource& source : store_.sources()) {
        if (source.id == item.sourceID()) {
            return source;
        }
    }
    return std::nullopt;
}

bool ViewerMount::isLocked(const MediaItem& item) const
{
    return store_.lockedCameraSourceIDs().contains(item.sourceID());
}

void ViewerMount::makeViewer(const MediaItem& item)
{
    ViewerCallbacks callbacks{
        .onClose = [this] { window_.closeViewer(); },
        .onPrevious = [this] { store_.navigateViewer(-1); },
        .onNext = [this] { store_.navigateViewer(1); },
        .onRotate = [this](int quarters) { store_.rotateViewer(quarters); },
        .onFavorite =
            [this] {
                if (store_.viewerItem()) {
                    store_.toggleFavorite(store_.viewerItem()->id());
                }
            },
        .onToggleInfo = [this] { window_.setShowInfo(!window_.showsInfo()); },
        .onDragStart = [this](const MediaItem& dragged) { window_.beginMediaDrag(dragged); },
        .onDragEnd = [this] { window_.endMediaDrag(); },
        .onDragUnavailable = [this] { store_.setMessage(QStringLiteral("This file is no longer available.")); },
        .onFullscreen =
            [] {
                if (QWidget* active = QApplication::activeWindow()) {
                    active->isFullScreen() ? active->showNormal() : active->showFullScreen();
                }
            },
        .onShowInFileManager =
            [this] {
                if (viewer_) {
                    revealItem(viewer_->item(), toMessage(store_));
                }
            },
        .onStreamsLength = [this](const MediaItem& played, double seconds) {
            store_.setStreamsDuration(played.id(), seconds);
        },
    };
    viewer_ = new MediaViewer(item, sourceOf(item), isLocked(item), thumbnails_, pasteboard_, std::move(callbacks),
                              &backdrop_);
    viewer_->setShowInfo(window_.showsInfo());
    viewer_->setFullscreen(window_.isFullscreen());
    viewer_->setOverShareTarget(window_.shareTargeted());
    viewer_->setGeometry(backdrop_.rect());
    viewer_->show();
}

bool ViewerMount::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &backdrop_ && event->type() == QEvent::Resize) {
        placeTransition(*transition_->parentWidget());
        if (viewer_) {
            viewer_->setGeometry(backdrop_.rect());
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pivra
