#include "WindowTestKit.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/LibraryWindow.h"
#include "app/window/WindowAlerts.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/Renders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class LibraryWindowTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Motion::shared().setOverride(true); // every change at once
    }
    void TearDown() override
    {
        Motion::shared().setOverride(std::nullopt);
        WindowTest::TearDown();
    }

    // A store whose gallery holds three photos, and a window over it.
    void openLibrary()
    {
        const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
        writeRows(trip, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
        store_ = makeStore();
        ASSERT_TRUE(drain());
        store_->setSources({trip});
        ASSERT_TRUE(drain());
        window_ = makeWindow(*store_);
        window_->resize(1200, 760);
        window_->show();
    }

    // A store whose sources are folders gone from a disk that is still there,
    // each to be chosen again, and a window over it.
    QList<LibrarySource> openLostLibrary(std::initializer_list<const char*> names)
    {
        QList<LibrarySource> lost;
        for (const char* name : names) {
            const QString folder = makeFolder(QString::fromLatin1(name));
            LibrarySource source;
            source.id = QUuid::createUuid();
            source.name = QString::fromLatin1(name);
            source.bookmark = FolderBookmark::make(folder)->encode();
            source.lastKnownPath = folder;
            source.volumePath = QStringLiteral("/");
            lost.append(source);
            EXPECT_TRUE(QDir(folder).removeRecursively());
        }
        storeSources(encodeSources(lost));
        store_ = makeStore();
        EXPECT_TRUE(drain());
        window_ = makeWindow(*store_);
        return lost;
    }

    // Answers the alert on screen, which must say `expectedText`.
    void answerAlert(const QString& expectedText, int button)
    {
        QMessageBox* box = window_->alerts().current();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->informativeText().contains(expectedText)) << qPrintable(box->informativeText());
        box->buttons().size() > 1 && button == 1 ? box->reject() : box->buttons().value(button)->click();
        QCoreApplication::processEvents();
        ASSERT_TRUE(drain());
    }

    void TearDownStore()
    {
        window_.reset();
        ASSERT_TRUE(drain());
        store_.reset();
    }

    std::unique_ptr<LibraryStore> store_;
    std::unique_ptr<LibraryWindow> window_;
};

TEST_F(LibraryWindowTest, RestoredLayoutSettingsOpenWithinWhatTheirControlsOffer)
{
    const struct {
        QVariant rowHeight;
        QString mapStyle;
        double openedHeight;
        QString openedStyle;
    } rows[] = {
        {1e-6, QStringLiteral("satellite"), 110, QStringLiteral("satellite")},
        {0.5, QStringLiteral("grid"), 110, QStringLiteral("map")},
        {1e6, QStringLiteral("no such style"), 300, QStringLiteral("map")},
        {230, QStringLiteral("map"), 230, QStringLiteral("map")},
    };
    store_ = makeStore();
    ASSERT_TRUE(drain());
    for (const auto& row : rows) {
        AppSettings().setValue(LibraryWindow::rowHeightKey, row.rowHeight);
        AppSettings().setValue(LibraryWindow::mapStyleKey, row.mapStyle);
        window_ = makeWindow(*store_);
        EXPECT_EQ(window_->rowHeight(), row.openedHeight) << row.rowHeight.toDouble();
        EXPECT_EQ(window_->mapStyle(), row.openedStyle) << row.mapStyle.toStdString();
        window_.reset();
        ASSERT_TRUE(drain());
    }
}

TEST_F(LibraryWindowTest, TheHeaderIsLaidOutForTheWidthClassOfTheGallery)
{
    const std::pair<int, int> rows[] = {{1400, 1000}, {1000, 1000}, {999, 780}, {780, 780}, {779, 760},
                                        {760, 760},   {759, 700},   {700, 700}, {699, 0},   {0, 0}};
    for (const auto& [width, step] : rows) {
        EXPECT_EQ(LibraryWindow::headerWidthStep(width), step) << width;
    }
}

TEST_F(LibraryWindowTest, AHiddenSidebarMovesOffTheLeftEdgeTakesNoClicksAndIsRemembered)
{
    openLibrary();
    EXPECT_EQ(window_->sidebarColumn()->geometry(), QRect(0, 0, 225, 760));
    EXPECT_EQ(window_->galleryArea()->geometry(), QRect(225, 0, 975, 760));
    EXPECT_EQ(window_->headerArea()->geometry(), QRect(0, 0, 975, 56));
    EXPECT_EQ(window_->widthStep(), 780);

    window_->setSidebarVisible(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(window_->sidebarColumn()->geometry(), QRect(-225, 0, 225, 760));
    EXPECT_EQ(window_->galleryArea()->geometry(), QRect(0, 0, 1200, 760));
    EXPECT_TRUE(window_->sidebarColumn()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(window_->widthStep(), 1000);
    EXPECT_FALSE(makeWindow(*store_)->sidebarVisible());
    TearDownStore();
}

TEST_F(LibraryWindowTest, KeysActOnTheViewerWhileItIsOpenAndOpenTheSearchOtherwise)
{
    openLibrary();
    QSignalSpy search(window_.get(), &LibraryWindow::searchRequested);
    const auto press = [&](int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, mods);
        const bool used = window_->handleKey(&event);
        EXPECT_TRUE(drain());
        return used;
    };
    EXPECT_TRUE(press(Qt::Key_F, Qt::ControlModifier));
    EXPECT_TRUE(press(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(press(Qt::Key_F, Qt::ControlModifier | Qt::AltModifier));
    EXPECT_FALSE(press(Qt::Key_Space));
    EXPECT_EQ(search.count(), 2);

    store_->openViewer(store_->items()->front());
    ASSERT_TRUE(drain());
    ASSERT_TRUE(store_->viewerItem());
    EXPECT_TRUE(window_->viewerBackdrop()->isVisibleTo(window_.get()));
    EXPECT_FALSE(press(Qt::Key_F, Qt::ControlModifier)); // no search over the viewer
    EXPECT_TRUE(press(Qt::Key_Space));
    EXPECT_EQ(store_->playbackToggleSerial(), 1);
    EXPECT_TRUE(press(Qt::Key_R));
    EXPECT_EQ(store_->viewerItem()->rotationQuarters(), 1);
    EXPECT_TRUE(press(Qt::Key_R, Qt::ShiftModifier));
    EXPECT_EQ(store_->viewerItem()->rotationQuarters(), 0);
    const QString first = store_->viewerItem()->id();
    EXPECT_FALSE(press(Qt::Key_Right, Qt::AltModifier));
    EXPECT_TRUE(press(Qt::Key_Right));
    EXPECT_NE(store_->viewerItem()->id(), first);
    EXPECT_TRUE(press(Qt::Key_Left));
    EXPECT_EQ(store_->viewerItem()->id(), first);
    EXPECT_TRUE(press(Qt::Key_I));
    EXPECT_TRUE(window_->showsInfo());
    EXPECT_FALSE(press(Qt::Key_Q));
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_FALSE(store_->viewerItem());
    EXPECT_FALSE(window_->showsInfo());
    EXPECT_FALSE(window_->viewerBackdrop()->isVisibleTo(window_.get()));
    EXPECT_EQ(search.count(), 2);
    TearDownStore();
}

TEST_F(LibraryWindowTest, AlertsComeOneAtATimeAndEachIsAnsweredOnce)
{
    // Two lost folders: one question after the other.
    const QList<LibrarySource> lost = openLostLibrary({"First", "Second"});
    store_->setMessage(QStringLiteral("Could not load albums."));
    store_->setMessage(QStringLiteral("Could not load albums.")); // raised again while it shows

    // In the order raised: the second question came after the message.
    answerAlert(QStringLiteral("Pivra can no longer read First."), 1);
    answerAlert(QStringLiteral("Could not load albums."), 0);
    answerAlert(QStringLiteral("Pivra can no longer read Second."), 1);
    EXPECT_EQ(window_->alerts().current(), nullptr);
    EXPECT_FALSE(store_->message());
    EXPECT_EQ(store_->dismissedPermissionIDs(), QSet<QUuid>({lost[0].id, lost[1].id}));
    TearDownStore();
}

TEST_F(LibraryWindowTest, EachMessageShowsInTurnAndOKClearsOnlyTheOneItShowed)
{
    openLostLibrary({});
    const QString first = QStringLiteral("Could not load albums.");
    const QString second = QStringLiteral("Could not load the gallery.");
    const QString third = QStringLiteral("Could not save access to Trip.");
    store_->setMessage(first);
    store_->setMessage(second); // raised together
    answerAlert(first, 0);
    EXPECT_EQ(store_->message(), second);
    store_->setMessage(third); // raised while the second shows
    store_->setMessage(second);
    store_->setMessage(third);
    answerAlert(second, 0);
    EXPECT_EQ(store_->message(), third);
    answerAlert(third, 0);
    EXPECT_EQ(window_->alerts().current(), nullptr);
    EXPECT_FALSE(store_->message());
    TearDownStore();
}

TEST_F(LibraryWindowTest, AnAccessQuestionIsAskedOncePerSourceAndAnswersOnlyItsOwnRequest)
{
    const QList<LibrarySource> lost = openLostLibrary({"First", "Second"});
    const auto keepSources = [&](const QList<LibrarySource>& sources) {
        store_->setSources(sources);
        store_->rescan();
        ASSERT_TRUE(drain());
    };
    // First's request is withdrawn while its question shows, which goes with
    // it, and raised again; then replaced by Second's, whose question is then
    // the one shown. No question the store withdrew is answered for it.
    keepSources({});
    EXPECT_FALSE(store_->permissionRequestSourceID());
    EXPECT_EQ(window_->alerts().current(), nullptr);
    keepSources(lost);
    EXPECT_EQ(store_->permissionRequestSourceID(), lost[0].id);
    keepSources({lost[1]});
    ASSERT_EQ(store_->permissionRequestSourceID(), lost[1].id);
    EXPECT_TRUE(store_->dismissedPermissionIDs().isEmpty());
    answerAlert(QStringLiteral("Pivra can no longer read Second."), 1);
    EXPECT_EQ(window_->alerts().current(), nullptr);
    EXPECT_EQ(store_->dismissedPermissionIDs(), QSet<QUuid>({lost[1].id}));
    TearDownStore();
}

TEST_F(LibraryWindowTest, TheFrameDrawsItsCanvasSidebarEdgeAndViewerBackdropInBothSchemes)
{
    openLibrary();
    for (const bool dark : {false, true}) {
        window_->setPalette(PivraAppearance::palette(dark));
        QImage frame = window_->grab().toImage();
        frame.save(test::rendersFolder() + (dark ? u"/library-window-dark.png" : u"/library-window-light.png"));
        EXPECT_EQ(frame.pixel(100, 400), PivraAppearance::canvas(dark).rgb());
        EXPECT_NE(frame.pixel(224, 400), PivraAppearance::canvas(dark).rgb()); // the sidebar's edge
    }
    store_->openViewer(store_->items()->front());
    ASSERT_TRUE(drain());
    const QImage viewer = window_->grab().toImage();
    viewer.save(test::rendersFolder() + u"/library-window-viewer.png");
    // Below the notice that this row's file has no preview.
    EXPECT_EQ(viewer.pixel(600, 600), PivraAppearance::viewerBackdrop.rgb());
    TearDownStore();
}

} // namespace
} // namespace pivra
