#include "WindowTestKit.h"

#include "app/content/ContentColumn.h"
#include "app/launch/LibraryMenus.h"
#include "app/window/ViewerTransition.h"
#include "gallery/GalleryGrid.h"
#include "gallery/TileBadges.h"
#include "support/desktop/Renders.h"
#include "support/files/DamagedVideos.h"
#include "support/files/VideoMaker.h"
#include "viewer/video/playback/VideoPlaybackModel.h"
#include "viewer/photo/MediaSurface.h"
#include "viewer/MediaViewer.h"
#include "viewer/controls/ViewerButton.h"
#include "viewer/controls/ViewerTopBar.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class ViewerWindowTest : public test::ViewTest {
protected:
    // A gallery long enough to scroll, in a window that shows it.
    void openLibrary()
    {
        const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
        QStringList names;
        for (int index = 0; index < 60; ++index) {
            names.append(QStringLiteral("IMG_%1.jpg").arg(index, 2, 10, QChar(u'0')));
        }
        writeRows(trip, names);
        showLibrary(trip);
    }

    // A window over a new store of the catalog's rows of `source`.
    void showLibrary(const LibrarySource& source)
    {
        store_ = makeStore();
        ASSERT_TRUE(drain());
        store_->setSources({source});
        ASSERT_TRUE(drain());
        window_ = makeWindow(*store_);
        window_->resize(1200, 760);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    void TearDown() override
    {
        window_.reset();
        ViewTest::TearDown();
    }

    bool press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, mods);
        const bool used = window_->handleKey(&event);
        EXPECT_TRUE(drain());
        return used;
    }

    QString shown() const { return store_->viewerItem() ? store_->viewerItem()->name() : QString(); }

    std::unique_ptr<LibraryWindow> window_;
};

TEST_F(ViewerWindowTest, TheViewerReplacesTheGalleryStepsToBothEndsAndReturnsToTheSamePlace)
{
    openLibrary();
    GalleryGrid* grid = window_->content()->grid();
    ASSERT_GT(grid->verticalScrollBar()->maximum(), 200);
    grid->verticalScrollBar()->setValue(200);
    const int scrolled = grid->verticalScrollBar()->value();

    const MediaItems items = store_->items();
    store_->openViewer(items->at(1));
    ASSERT_TRUE(drain());
    QPointer<MediaViewer> viewer = window_->viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->size(), window_->size());
    EXPECT_FALSE(window_->headerArea()->isVisible());
    EXPECT_FALSE(window_->sidebarColumn()->isVisible());

    // Each step gets a viewer of its own; the ends hold.
    for (int step = 0; step < 3; ++step) {
        EXPECT_TRUE(press(Qt::Key_Left));
    }
    EXPECT_EQ(shown(), items->front().name());
    EXPECT_TRUE(viewer.isNull());
    for (std::size_t step = 0; step < items->size() + 1; ++step) {
        press(Qt::Key_Right);
    }
    EXPECT_EQ(shown(), items->back().name());
    EXPECT_EQ(window_->viewer()->item().id(), items->back().id());

    // Turning and marking change the same viewer and the gallery's tile.
    viewer = window_->viewer();
    EXPECT_TRUE(press(Qt::Key_R));
    EXPECT_EQ(window_->viewer(), viewer);
    EXPECT_EQ(viewer->mediaSurface()->angle(), 90);
    EXPECT_EQ(store_->items()->back().rotationQuarters(), 1);
    QTest::mouseClick(viewer->topBar()->favoriteButton(), Qt::LeftButton);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(store_->viewerItem()->isFavorite());
    EXPECT_TRUE(store_->items()->back().isFavorite());
    EXPECT_EQ(viewer->topBar()->favoriteButton()->symbol(), QStringLiteral("heart.fill"));

    // The panel belongs to the window: it stays open from one item to the next.
    QTest::mouseClick(viewer->topBar()->infoButton(), Qt::LeftButton);
    EXPECT_TRUE(window_->showsInfo());
    EXPECT_NE(viewer->metadataPanel(), nullptr);
    EXPECT_TRUE(press(Qt::Key_Left));
    EXPECT_TRUE(viewer.isNull());
    EXPECT_NE(window_->viewer()->metadataPanel(), nullptr);

    QTest::mouseClick(window_->viewer()->topBar()->closeButton(), Qt::LeftButton);
    ASSERT_TRUE(drain());
    EXPECT_EQ(window_->viewer(), nullptr);
    EXPECT_FALSE(window_->showsInfo());
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);
}

// A video indexed while the length its header states was stored plays in
// the viewer to where its streams end, 20 s sooner; from then on its tile
// reads the length it played, at once and after a restart.
TEST_F(ViewerWindowTest, AVideoEndingBeforeItsStatedLengthIsShownAndStoredWithTheLengthItPlayed)
{
    test::VideoFields fields;
    fields.size = QSize(160, 120);
    fields.frames = 100;
    fields.framesPerSecond = 10;
    ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("made.mp4")), fields));
    QFile made(pathOf(QStringLiteral("made.mp4")));
    ASSERT_TRUE(made.open(QIODevice::ReadOnly));
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    writeRows(trip, {});
    test::MediaRow row = test::folderRow(trip.id, QStringLiteral("CLIP.mp4"), QStringLiteral("video"));
    row.path = writeFile(QStringLiteral("CLIP.mp4"), test::withStatedLength(made.readAll(), 3));
    row.duration = 30;
    test::MediaRowWriter(catalogPath_).insert(row);
    const auto tileText = [&] {
        const MediaItems& shown = window_->content()->grid()->items();
        return shown && shown->size() == 1 ? durationText(shown->front().duration()) : QString();
    };
    const auto tileReads = [&](const QString& text) { return QTest::qWaitFor([&] { return tileText() == text; }, 20000); };
    showLibrary(trip);
    EXPECT_TRUE(tileReads(QStringLiteral("  ▶  0:30  "))) << tileText().toStdString();

    store_->openViewer(store_->items()->front());
    ASSERT_TRUE(drain());
    VideoPlaybackModel* playback = window_->viewer()->playback();
    ASSERT_NE(playback, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback->isReady(); }, 20000));
    // Its last second is enough.
    playback->seek(9);
    if (!playback->isPlaying()) {
        playback->toggle();
    }
    ASSERT_TRUE(tileReads(QStringLiteral("  ▶  0:10  "))) << tileText().toStdString();
    EXPECT_EQ(store_->viewerItem()->duration(), 10);
    EXPECT_EQ(window_->viewer()->item().duration(), 10);
    // A length measured longer than the stored one is never taken.
    store_->setStreamsDuration(row.itemID(), 12);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store_->items()->front().duration(), 10);
    press(Qt::Key_Escape);
    ASSERT_EQ(window_->viewer(), nullptr);
    QImage image(window_->content()->grid()->viewport()->size(), QImage::Format_RGB32);
    window_->content()->grid()->viewport()->render(&image);
    image.save(test::rendersFolder() + QStringLiteral("/grid-video-played-length.png"));

    window_.reset();
    ASSERT_TRUE(drain());
    store_.reset();
    showLibrary(trip);
    EXPECT_TRUE(tileReads(QStringLiteral("  ▶  0:10  "))) << "after a restart: " << tileText().toStdString();
}

TEST_F(ViewerWindowTest, OpeningAndClosingFadeAndScaleTheViewerButSteppingAndReducedMotionDoNot)
{
    openLibrary();
    const MediaItems items = store_->items();
    auto* transition = window_->findChild<ViewerTransition*>();
    ASSERT_NE(transition, nullptr);
    QVariantAnimation& animation = transition->animation();
    // Held at its start as it begins, then looked at halfway.
    QObject hold;
    QObject::connect(store_.get(), &LibraryStore::viewerItemChanged, &hold, [&] {
        if (transition->running()) {
            animation.pause();
        }
    });
    const auto expectHalfway = [&] {
        ASSERT_TRUE(transition->running());
        animation.setCurrentTime(animation.duration() / 2);
        EXPECT_GT(transition->opacity(), 0.0);
        EXPECT_LT(transition->opacity(), 1.0);
        EXPECT_GT(transition->scale(), 0.985);
        EXPECT_LT(transition->scale(), 1.0);
        EXPECT_TRUE(transition->isVisible());
    };
    const auto finish = [&] {
        QSignalSpy finished(transition, &ViewerTransition::finished);
        animation.resume();
        ASSERT_TRUE(finished.wait());
        EXPECT_FALSE(transition->isVisible());
    };

    Motion::shared().setOverride(false);
    store_->openViewer(items->at(1));
    ASSERT_TRUE(drain());
    ASSERT_NE(window_->viewer(), nullptr);
    EXPECT_FALSE(window_->viewer()->isVisible()); // the picture stands in for it
    expectHalfway();
    finish();
    EXPECT_TRUE(window_->viewer()->isVisible());
    EXPECT_EQ(transition->opacity(), 1.0);

    EXPECT_TRUE(press(Qt::Key_Right));
    EXPECT_EQ(window_->viewer()->item().id(), items->at(2).id());
    EXPECT_TRUE(window_->viewer()->isVisible());
    EXPECT_FALSE(transition->running());

    window_->closeViewer();
    EXPECT_EQ(window_->viewer(), nullptr); // nothing left to take input
    EXPECT_TRUE(window_->content()->grid()->isVisible());
    expectHalfway();
    finish();
    EXPECT_EQ(transition->opacity(), 0.0);

    Motion::shared().setOverride(true);
    store_->openViewer(items->at(1));
    ASSERT_TRUE(drain());
    EXPECT_TRUE(window_->viewer()->isVisible());
    EXPECT_FALSE(transition->running());
    window_->closeViewer();
    EXPECT_FALSE(transition->running());
}

TEST_F(ViewerWindowTest, TheViewMenuActsOnTheViewerOnlyWhileItIsOpen)
{
    openLibrary();
    QMenuBar bar;
    LibraryMenus menus(*store_, bar);
    menus.addViewMenu(*window_);
    const QList<QAction*> actions = menus.viewMenu()->actions();
    const auto item = [&](const QString& text) -> QAction* {
        for (QAction* action : actions) {
            if (action->text().section(u'\t', 0, 0) == text) {
                return action;
            }
        }
        ADD_FAILURE() << "no item " << text.toStdString();
        return nullptr;
    };
    EXPECT_EQ(item(QStringLiteral("Rotate Counterclockwise"))->text(), QStringLiteral("Rotate Counterclockwise\tShift+R"));
    EXPECT_FALSE(item(QStringLiteral("Next Item"))->isEnabled());
    EXPECT_TRUE(item(QStringLiteral("Next Item"))->shortcut().isEmpty()); // the window's keys stay the window's

    store_->openViewer(store_->items()->front());
    ASSERT_TRUE(drain());
    ASSERT_TRUE(item(QStringLiteral("Next Item"))->isEnabled());
    item(QStringLiteral("Next Item"))->trigger();
    ASSERT_TRUE(drain());
    EXPECT_EQ(shown(), store_->items()->at(1).name());
    item(QStringLiteral("Rotate Counterclockwise"))->trigger();
    EXPECT_EQ(store_->viewerItem()->rotationQuarters(), 3);
    item(QStringLiteral("Add to Favorites"))->trigger();
    ASSERT_TRUE(drain());
    EXPECT_TRUE(store_->viewerItem()->isFavorite());
    EXPECT_NE(item(QStringLiteral("Remove from Favorites")), nullptr);
    item(QStringLiteral("Show Information"))->trigger();
    EXPECT_TRUE(window_->showsInfo());
    EXPECT_TRUE(item(QStringLiteral("Show Information"))->isChecked());
    item(QStringLiteral("Close Viewer"))->trigger();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store_->viewerItem());
    EXPECT_FALSE(window_->showsInfo());
    EXPECT_FALSE(item(QStringLiteral("Previous Item"))->isEnabled());
}

} // namespace
} // namespace pivra
