#include "ViewerTestKit.h"

#include "gallery/drag/MediaDragSurface.h"
#include "gallery/drag/MediaPasteboard.h"
#include "platform/folders/FileNameText.h"
#include "style/appearance/PivraAppearance.h"
#include "style/controls/ElidedLabel.h"
#include "support/desktop/DragData.h"
#include "support/desktop/Renders.h"
#include "viewer/controls/ControlsVisibility.h"
#include "viewer/photo/DisconnectedPreview.h"
#include "viewer/photo/MediaSurface.h"
#include "viewer/info/CaptionedRows.h"
#include "viewer/info/MetadataPanel.h"
#include "viewer/controls/ViewerButton.h"
#include "viewer/controls/ViewerTopBar.h"
#include "viewer/controls/ZoomOverview.h"
#include "viewer/controls/ZoomSlider.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>

namespace pivra {
namespace {

class MediaViewerTest : public test::ViewerTest {
protected:
    // Whether `pixel` is within a few steps of `color` in each channel
    // (JPEG and smoothing move colours a little).
    static bool near(QColor pixel, QColor color, int tolerance = 12)
    {
        return std::abs(pixel.red() - color.red()) <= tolerance && std::abs(pixel.green() - color.green()) <= tolerance &&
               std::abs(pixel.blue() - color.blue()) <= tolerance;
    }

    void saveRender(const QString& name) const
    {
        const bool dark = PivraAppearance::isDark(QApplication::palette());
        render().save(test::rendersFolder() + u"/viewer-" + name + (dark ? u"-dark.png" : u"-light.png"));
    }

    void ctrlWheel(QPointF at, int angle) const
    {
        QWidget* surface = viewer_->dragSurface();
        QWheelEvent wheel(at, surface->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &wheel);
    }
};

TEST_F(MediaViewerTest, APhotoShowsFittedThenZoomsAboutThePointerAndPansWithinItsEdges)
{
    openLibrary(2);
    // A viewer replaced before its picture came drops the late answer: the
    // other photo never shows in the new one.
    openViewer(itemNamed("IMG_2.jpg"), source_);
    MediaViewer& viewer = openViewer(itemNamed("IMG_1.jpg"), source_);
    ASSERT_TRUE(waitForStill());
    ASSERT_TRUE(drain());
    ASSERT_FALSE(viewer.photoCanvas()->image().isNull());
    EXPECT_EQ(viewer.photoCanvas()->image().size(), QSize(1200, 800)); // never enlarged past the original
    EXPECT_EQ(viewer.playback(), nullptr); // a photo needs no player
    // 1200 by 800 fits exactly: photo to the edges, below the bar.
    const QImage fitted = render();
    EXPECT_TRUE(near(fitted.pixelColor(600, 400), photoColor(1)));
    EXPECT_TRUE(near(fitted.pixelColor(5, 795), photoColor(1)));
    EXPECT_EQ(viewer.viewport().content, QSizeF(1200, 800));

    // Two clicks of the zoom-in button about the centre (no pointer yet).
    ViewerTopBar& bar = *viewer.topBar();
    const auto zoomIn = bar.zoomCapsule()->findChildren<ViewerButton*>().last();
    QTest::mouseClick(zoomIn, Qt::LeftButton);
    QTest::mouseClick(zoomIn, Qt::LeftButton);
    EXPECT_EQ(viewer.viewport().zoom, 1.5);
    EXPECT_EQ(viewer.viewport().offset, QSizeF(0, 0));
    EXPECT_EQ(bar.percentShown(), QStringLiteral("150%"));
    EXPECT_TRUE(bar.overview()->isVisible());
    EXPECT_TRUE(viewer.dragSurface()->panEnabled());

    // Ctrl+wheel zooms about the pointer: the photo point under it stays.
    const QPointF pointer(900, 200);
    const auto photoPoint = [&] {
        const PhotoViewportTransform& now = viewer.viewport();
        return QPointF((pointer.x() - 600 - now.offset.width()) / now.zoom,
                       (pointer.y() - 400 - now.offset.height()) / now.zoom);
    };
    const QPointF before = photoPoint();
    ctrlWheel(pointer, 120);
    EXPECT_GT(viewer.viewport().zoom, 1.5);
    EXPECT_NEAR(photoPoint().x(), before.x(), 1e-6);
    EXPECT_NEAR(photoPoint().y(), before.y(), 1e-6);
    EXPECT_EQ(viewer.lastImagePointer(), pointer);

    // A drag pans instead of dragging the original out, and stops at the edge.
    QWidget* surface = viewer.dragSurface();
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(600, 400));
    QTest::mouseMove(surface, QPoint(650, 420));
    const QSizeF moved = viewer.viewport().offset;
    QTest::mouseMove(surface, QPoint(5000, 5000));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(5000, 5000));
    const PhotoViewportTransform& end = viewer.viewport();
    EXPECT_EQ(end.offset, QSizeF((1200 * end.zoom - 1200) / 2, (800 * end.zoom - 800) / 2));
    EXPECT_NE(moved, end.offset);
    EXPECT_EQ(viewer.viewport().visibleRegion().topLeft(), QPointF(0, 0));
    // Once the movement settles the picture is drawn smoothly at the new zoom.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.mediaSurface()->isMoving(); }));
    const QImage zoomed = render();
    EXPECT_TRUE(near(zoomed.pixelColor(600, 700), photoColor(1)));

    // The slider jumps to a pressed point far from its knob (animated; at
    // once with reduced motion) and the overview leaves at zoom 1.
    ZoomSlider& slider = *bar.slider();
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(1, slider.height() / 2));
    EXPECT_EQ(viewer.viewport().zoom, 1);
    EXPECT_EQ(viewer.viewport().offset, QSizeF(0, 0));
    EXPECT_FALSE(bar.overview()->isVisible());
    EXPECT_FALSE(viewer.dragSurface()->panEnabled());
}

TEST_F(MediaViewerTest, TheZoomSliderJumpsAwayFromItsKnobAndGrabsItNearIt)
{
    ZoomSlider slider;
    slider.resize(104, ZoomSlider::fixedHeight);
    slider.setZoom(1);
    QList<std::pair<double, bool>> requests;
    QObject::connect(&slider, &ZoomSlider::zoomRequested,
                     [&](double zoom, bool animated) { requests.append({zoom, animated}); });
    const double track = slider.trackLength(); // 92
    // Far from the knob at the start: one animated jump, then the drag goes on from there.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(int(6 + track / 2), 11));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_NEAR(requests[0].first, std::sqrt(5.0), 1e-9);
    EXPECT_TRUE(requests[0].second);
    QTest::mouseMove(&slider, QPoint(int(6 + track / 2 + track / 4), 11));
    EXPECT_NEAR(requests.last().first, ZoomSlider::zoomAt(0.75, 1, 5), 1e-9);
    EXPECT_FALSE(requests.last().second);
    QTest::mouseMove(&slider, QPoint(500, 11));
    EXPECT_EQ(requests.last().first, 5);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(500, 11));
    EXPECT_FALSE(slider.dragStart());

    // On the knob: the current zoom first, then it follows without a jump.
    requests.clear();
    slider.setZoom(2);
    const double knobCentre = track * ZoomSlider::position(2, 1, 5) + 6;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(int(knobCentre + 10), 11));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_NEAR(requests[0].first, 2, 1e-9);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(int(knobCentre + 10), 11));
    EXPECT_FALSE(slider.dragStart());

    // A reader hears whole percent, truncated, and steps by a quarter.
    slider.setZoom(1.999);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&slider);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->text(QAccessible::Value), QStringLiteral("199 percent"));
    slider.setZoom(4.9);
    reader->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(requests.last().first, 5);
}

TEST_F(MediaViewerTest, TheBarOffersWhatTheItemsKindCanDoAndReportsEachPress)
{
    openLibrary(1, true);
    struct Row {
        QString name;
        bool live;
        int buttons; // round buttons besides close
    };
    for (const Row& row : {Row{"IMG_1.jpg", false, 5}, Row{"IMG_1.jpg", true, 7}, Row{"CLIP.mov", false, 4}}) {
        MediaItem item = itemNamed(row.name);
        if (row.live) {
            item.setLiveVideoPath(pathOf(QStringLiteral("Trip/MOTION.mov")));
        }
        MediaViewer& viewer = openViewer(item, source_);
        ViewerTopBar& bar = *viewer.topBar();
        int shown = 0;
        for (ViewerButton* button : bar.findChildren<ViewerButton*>()) {
            shown += button->kind() == ViewerButton::Kind::round && button->isVisibleTo(&bar) &&
                     button != bar.closeButton();
        }
        EXPECT_EQ(shown, row.buttons) << row.name.toStdString() << " live " << row.live;
        EXPECT_EQ(viewer.videoControls() != nullptr, item.kind() == MediaKind::video);
        EXPECT_FALSE(bar.dateLine()->isVisibleTo(&bar)); // only in full screen
    }

    // A Live Photo: its motion is loaded without playing and covers the
    // still only while it plays; the loop switch reaches the player.
    MediaItem live = itemNamed("IMG_1.jpg");
    live.setLiveVideoPath(pathOf(QStringLiteral("Trip/MOTION.mov")));
    MediaViewer& viewer = openViewer(live, source_);
    ASSERT_NE(viewer.playback(), nullptr);
    EXPECT_TRUE(viewer.playback()->hasItem());
    EXPECT_FALSE(viewer.playback()->isPlaying());
    EXPECT_FALSE(viewer.videoLayer()->isVisible());
    EXPECT_TRUE(viewer.showsControls()); // a paused Live Photo keeps them
    QTest::mouseClick(viewer.topBar()->loopButton(), Qt::LeftButton);
    EXPECT_TRUE(viewer.playback()->loops());
    EXPECT_EQ(viewer.topBar()->loopButton()->symbol(), QStringLiteral("repeat.circle.fill"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.playback()->isReady(); }, 20000));
    viewer.togglePlayback();
    EXPECT_TRUE(viewer.playback()->isPlaying());
    EXPECT_TRUE(viewer.videoLayer()->isVisible());
    EXPECT_EQ(viewer.topBar()->livePlayButton()->symbol(), QStringLiteral("pause.fill"));

    // Each press of the bar reaches its callback, once.
    QTest::mouseClick(viewer.topBar()->rotateRightButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.topBar()->rotateRightButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.topBar()->rotateLeftButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.topBar()->favoriteButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.topBar()->infoButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.topBar()->closeButton(), Qt::LeftButton);
    QTest::mouseClick(viewer.nextButton(), Qt::LeftButton);
    EXPECT_EQ(rotations_, QList<int>({1, 1, -1}));
    EXPECT_EQ(calls_, (std::map<std::string, int>{{"close", 1}, {"favorite", 1}, {"info", 1}, {"next", 1}}));
}

TEST_F(MediaViewerTest, ATurnedItemIsFittedSidewaysAndAFileVideoShowsNoStill)
{
    openLibrary(1, true);
    MediaItem item = itemNamed("IMG_1.jpg");
    MediaViewer& viewer = openViewer(item, source_);
    ASSERT_TRUE(waitForStill());
    item.setRotationQuarters(1);
    viewer.setItem(item);
    EXPECT_EQ(viewer.mediaSurface()->angle(), 90);
    EXPECT_NEAR(viewer.viewport().content.width(), 800 * 800 / 1200.0, 1e-6);
    EXPECT_EQ(viewer.viewport().content.height(), 800);
    // From three quarters to none is one more turn clockwise, not three back.
    item.setRotationQuarters(3);
    viewer.setItem(item);
    item.setRotationQuarters(0);
    viewer.setItem(item);
    EXPECT_EQ(viewer.mediaSurface()->angle(), 360);
    const QImage turned = render();
    EXPECT_TRUE(near(turned.pixelColor(600, 400), photoColor(1)));

    MediaViewer& video = openViewer(itemNamed("CLIP.mov"), source_);
    ASSERT_NE(video.playback(), nullptr);
    EXPECT_TRUE(video.playback()->hasItem());
    EXPECT_EQ(video.photoCanvas(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return video.videoLayer()->hasFrame(); }, 20000));
    // Nothing was asked of the store: no still was made, and none written to the viewer cache.
    OperationQueue& queue = thumbnails_.queue();
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue.waitingCount() == 0 && queue.runningCount() == 0; }, 20000));
    ASSERT_TRUE(drain());
    EXPECT_FALSE(QFile::exists(thumbnails_.locations().viewerPreviewFile(itemNamed("CLIP.mov"), PhotoCanvas::previewPixels)));
    video.setFullscreen(true);
    QSignalSpy located(&video, &MediaViewer::videoLocationAnswered);
    ASSERT_TRUE(located.wait());
    EXPECT_EQ(video.videoLocation(), QStringLiteral("37.3349° N, 122.0090° W"));
}

// A photo damaged in its lower half, which libvips gives up on: the viewer
// shows what libjpeg decoded rather than "Preview unavailable".
TEST_F(MediaViewerTest, ADamagedPhotoShowsTheRowsItsDecoderDrew)
{
    openLibrary(1);
    ASSERT_TRUE(test::makeDamagedJpeg(pathOf(QStringLiteral("Trip/DAMAGED.jpg")), {3648, 2736}));
    store_->rescan();
    ASSERT_TRUE(drain());
    MediaViewer& viewer = openViewer(itemNamed("DAMAGED.jpg"), source_);
    ASSERT_TRUE(waitForStill());
    ASSERT_EQ(viewer.photoCanvas()->image().size(), QSize(3200, 2400));
    // Fitted to 1066.7 × 800 across the window's height: red above its middle.
    const QImage shown = render();
    for (const int y : {120, 250, 360}) {
        const QColor pixel = shown.pixelColor(600, y);
        EXPECT_TRUE(pixel.red() > 160 && pixel.green() < 90 && pixel.blue() < 90)
            << "row " << y << ": " << pixel.name().toStdString();
    }
}

// A turn or a resize while a zoom is animating: the zoom ends on the new sizes.
TEST_F(MediaViewerTest, AZoomUnderWayEndsOnTheSizesOfATurnOrResizeDuringIt)
{
    openLibrary(1);
    MediaItem item = itemNamed("IMG_1.jpg");
    MediaViewer& viewer = openViewer(item, source_);
    ASSERT_TRUE(waitForStill());
    Motion::shared().setOverride(false);
    const auto zoomEnds = [&](double zoom) {
        return QTest::qWaitFor([&] { return viewer.viewport().zoom == zoom; }, 5000);
    };

    viewer.stepZoom(0.25);
    item.setRotationQuarters(1);
    viewer.setItem(item);
    ASSERT_TRUE(zoomEnds(1.25));
    EXPECT_NEAR(viewer.viewport().content.width(), 800 * 800 / 1200.0, 1e-6);
    EXPECT_EQ(viewer.viewport().content.height(), 800);

    viewer.zoomTo(3, true);
    viewer.resize(1000, 600);
    ASSERT_TRUE(zoomEnds(3));
    EXPECT_EQ(viewer.viewport().viewport, QSizeF(1000, 600));
    EXPECT_EQ(viewer.viewport().content, QSizeF(400, 600));
    // And the offset lies within the new limits.
    EXPECT_LE(std::abs(viewer.viewport().offset.height()), (600 * 3 - 600) / 2.0);
}

TEST_F(MediaViewerTest, TheInformationPanelNarrowsTheMediaAndListsEveryValue)
{
    openLibrary(1);
    MediaViewer& viewer = openViewer(fullItem("IMG_1.jpg"), source_);
    ASSERT_TRUE(waitForStill());
    const int nextBefore = viewer.nextButton()->x();
    viewer.setShowInfo(true);
    ASSERT_NE(viewer.metadataPanel(), nullptr);
    EXPECT_EQ(viewer.contentArea()->width(), 1200 - MetadataPanel::width);
    EXPECT_EQ(viewer.metadataPanel()->geometry(), QRect(1200 - 318, 58, 318, 800 - 58));
    EXPECT_EQ(viewer.nextButton()->x(), nextBefore - 318);
    const QString text = viewer.metadataPanel()->plainText();
    for (const char* expected : {"NAME\nIMG_1.jpg", "SOURCE\nTrip", "DIMENSIONS\n1200 × 800", "CAMERA\nEOS R5",
                                 "EMBEDDED METADATA", "{IPTC} · CITY\nParis", "{TIFF} · MAKE\nCanon"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
    // Selecting everything takes the values, not their labels.
    CaptionedRows& rows = *viewer.metadataPanel()->rows();
    rows.selectAll();
    const QString selected = rows.textCursor().selectedText();
    EXPECT_TRUE(selected.contains(u"IMG_1.jpg") && selected.contains(u"EOS R5")) << selected.toStdString();
    for (const char* label : {"NAME", "DIMENSIONS", "{TIFF} · MAKE"}) {
        EXPECT_FALSE(selected.contains(QString::fromUtf8(label))) << label;
    }
    EXPECT_NE(viewer.metadataPanel()->revealButton(), nullptr);
    EXPECT_EQ(viewer.storedLocation(), QStringLiteral("Paris, France"));

    // With the panel open the controls stay, whatever the countdown says.
    // The pointer rests on the photo, off the controls.
    QTest::mouseMove(viewer.dragSurface(), QPoint(400, 400));
    QSignalSpy hidden(&viewer.controlsVisibility(), &ControlsVisibility::controlsVisibleChanged);
    ASSERT_TRUE(hidden.wait(4000));
    EXPECT_FALSE(viewer.controlsVisibility().controlsVisible());
    EXPECT_TRUE(viewer.showsControls());
    EXPECT_FALSE(viewer.topBar()->testAttribute(Qt::WA_TransparentForMouseEvents));
    viewer.setShowInfo(false);
    EXPECT_FALSE(viewer.showsControls());
    EXPECT_TRUE(viewer.topBar()->testAttribute(Qt::WA_TransparentForMouseEvents)); // hidden controls take no clicks
    EXPECT_TRUE(viewer.nextButton()->testAttribute(Qt::WA_TransparentForMouseEvents));
    QTest::mouseMove(viewer.dragSurface(), QPoint(300, 300));
    EXPECT_TRUE(viewer.showsControls());
    EXPECT_FALSE(viewer.topBar()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(viewer.metadataPanel(), nullptr);
}

TEST_F(MediaViewerTest, AStepWithThePanelOpenKeepsItsWidthAndALongNameKeepsEveryButtonInView)
{
    openLibrary(2);
    Motion::shared().setOverride(false);
    MediaViewer& viewer = openViewer(itemNamed("IMG_1.jpg"), source_, false, {1200, 800}, true);
    EXPECT_EQ(viewer.contentArea()->width(), 1200 - MetadataPanel::width);
    EXPECT_EQ(viewer.metadataPanel()->x(), 1200 - MetadataPanel::width);
    // Only the user's toggle slides it.
    viewer.setShowInfo(false);
    EXPECT_LT(viewer.contentArea()->width(), 1200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.contentArea()->width() == 1200; }));

    MediaItem named = itemNamed("IMG_2.jpg");
    named.setName(QStringLiteral("A very long name of a photo taken on the first morning in Paris.jpg"));
    ASSERT_EQ(named.name().size(), 67);
    MediaViewer& narrow = openViewer(named, source_, false, {800, 600});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ViewerTopBar& bar = *narrow.topBar();
    EXPECT_LE(bar.minimumSizeHint().width(), 800);
    for (ViewerButton* button : bar.findChildren<ViewerButton*>()) {
        if (button->isVisible()) {
            const QRect area(button->mapTo(&narrow, QPoint()), button->size());
            EXPECT_TRUE(narrow.rect().contains(area)) << button->symbol().toStdString();
        }
    }
    EXPECT_EQ(bar.title()->text(), named.name());
    const QString shown = bar.title()->shownText();
    EXPECT_TRUE(shown.startsWith(u"A very") && shown.endsWith(u".jpg") && shown.contains(u'…'))
        << shown.toStdString();
}

TEST_F(MediaViewerTest, AnOfflineSourceShowsItsSavedPreviewAndLoadsNothingUntilItReturns)
{
    struct Row {
        bool locked;
        bool camera;
        const char* title;
        const char* message;
    };
    for (const Row& row : {Row{true, true, "Unlock your iPhone", "Unlock \u201cMy \"Phone\"\u201d to open this original."},
                           Row{false, true, "Disconnected", "Connect and unlock My \"Phone\" to open this original."},
                           Row{false, false, "Disconnected",
                               "My \"Phone\" isn't connected. Plug it in to open the original; this is the saved preview."}}) {
        const DisconnectedNotice notice = DisconnectedNotice::of(row.locked, row.camera, QStringLiteral("My \"Phone\""));
        EXPECT_EQ(notice.title, QString::fromUtf8(row.title));
        EXPECT_EQ(notice.message, QString::fromUtf8(row.message));
    }

    openLibrary(1);
    const MediaItem item = itemNamed("IMG_1.jpg");
    LibrarySource offline = source_;
    offline.isOnline = false;
    MediaViewer& viewer = openViewer(item, offline);
    DisconnectedPreview* preview = viewer.disconnectedPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->notice().symbol, QStringLiteral("externaldrive.badge.xmark"));
    QSignalSpy answered(preview, &DisconnectedPreview::pictureAnswered);
    ASSERT_TRUE(answered.wait());
    EXPECT_TRUE(preview->hasPicture());
    EXPECT_EQ(preview->appearance(), 1); // no entrance with reduced motion
    EXPECT_EQ(viewer.mediaSurface(), nullptr);
    EXPECT_EQ(viewer.dragSurface(), nullptr);
    EXPECT_FALSE(viewer.photoCanvas()->isLoaded());
    const QString viewerFile = thumbnails_.locations().viewerPreviewFile(item, PhotoCanvas::previewPixels);
    EXPECT_FALSE(QFile::exists(viewerFile));
    // The blurred picture fills the area behind the card, dimmed.
    const QImage placeholder = render();
    const QColor corner = placeholder.pixelColor(20, 780);
    EXPECT_LT(corner.value(), photoColor(1).value());
    EXPECT_GT(corner.saturation(), 60);

    // The source coming back brings the media surface, and with it the still.
    viewer.setSource(source_);
    EXPECT_EQ(viewer.disconnectedPreview(), nullptr);
    ASSERT_NE(viewer.mediaSurface(), nullptr);
    ASSERT_TRUE(waitForStill());
    // Kept once shown: the still is shown while it is encoded.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(viewerFile); }, 20000));
}

// A disk written by an older system names its files in Latin-1. Such a photo
// and video are indexed under their own bytes, thumbnailed, named readably,
// opened from their files and dragged out by their real paths.
TEST_F(MediaViewerTest, APhotoAndAVideoNamedInLatin1AreShownOpenedAndDraggedByTheirBytes)
{
    openLibrary(1, true);
    const QByteArray trip = fileNameBytes(pathOf(QStringLiteral("Trip")));
    const QByteArray photoBytes = trip + "/caf\xe9.jpg";
    const QByteArray videoBytes = trip + "/v\xed" "deo.mov";
    ASSERT_EQ(::rename(QByteArray(trip + "/IMG_1.jpg").constData(), photoBytes.constData()), 0);
    ASSERT_EQ(::rename(QByteArray(trip + "/CLIP.mov").constData(), videoBytes.constData()), 0);
    store_->rescan();
    ASSERT_TRUE(drain());
    const MediaItem photo = fullItem(QStringLiteral("caf\u00e9.jpg"));
    const MediaItem video = fullItem(QStringLiteral("v\u00eddeo.mov"));
    EXPECT_EQ(fileNameBytes(photo.path()), photoBytes);
    EXPECT_EQ(fileNameBytes(video.path()), videoBytes);
    EXPECT_EQ(photo.dateOrigin(), QStringLiteral("EXIF capture")) << "the photo's own Exif was read";
    EXPECT_EQ(photo.width(), 1200);

    for (const MediaItem& item : {photo, video}) {
        QImage thumbnail;
        const auto operation = thumbnails_.ensure(
            item, true, [&thumbnail](const QImage& image, const std::optional<QString>&) { thumbnail = image; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !thumbnail.isNull(); }, 20000)) << item.name().toStdString();
        if (item.kind() == MediaKind::image) {
            EXPECT_TRUE(near(thumbnail.pixelColor(thumbnail.rect().center()), photoColor(1)));
        }

        const std::unique_ptr<QMimeData> dragged = test::awaitDragData(MediaPasteboard(), item);
        ASSERT_NE(dragged, nullptr);
        ASSERT_EQ(dragged->urls().size(), 1);
        EXPECT_EQ(QByteArray::fromPercentEncoding(dragged->data(QStringLiteral("text/uri-list")).trimmed()),
                  "file://" + fileNameBytes(item.path()));
    }

    MediaViewer& viewer = openViewer(photo, source_);
    ASSERT_TRUE(waitForStill());
    EXPECT_EQ(viewer.topBar()->title()->text(), QStringLiteral("caf\u00e9.jpg"));
    EXPECT_EQ(viewer.photoCanvas()->image().size(), QSize(1200, 800));
    EXPECT_TRUE(near(render().pixelColor(600, 400), photoColor(1)));

    MediaViewer& playing = openViewer(video, source_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playing.videoLayer()->hasFrame(); }, 30000));
    EXPECT_FALSE(playing.playback()->error());
}

// The viewer as the user sees it, in the window's light and dark schemes.
TEST_F(MediaViewerTest, RendersOfThePhotoZoomedWithItsPanelAndOffline)
{
    openLibrary(1);
    const MediaItem item = fullItem("IMG_1.jpg");
    LibrarySource offline = source_;
    offline.isOnline = false;
    const QPalette original = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(PivraAppearance::palette(dark));
        openViewer(item, source_, false, {1000, 700});
        ASSERT_TRUE(waitForStill());
        saveRender(QStringLiteral("fitted"));
        viewer_->zoomTo(2.5, false);
        viewer_->panned({200, -100});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !viewer_->mediaSurface()->isMoving(); }));
        saveRender(QStringLiteral("zoomed"));
        viewer_->setShowInfo(true);
        saveRender(QStringLiteral("information"));
        openViewer(item, offline, false, {1000, 700});
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer_->disconnectedPreview()->hasPicture(); }));
        saveRender(QStringLiteral("offline"));
    }
    QApplication::setPalette(original);
    EXPECT_TRUE(QFile::exists(test::rendersFolder() + QStringLiteral("/viewer-offline-dark.png")));
}

} // namespace
} // namespace pivra
