#include "app/WindowTestKit.h"

#include "app/content/AlbumCard.h"
#include "app/content/AlbumDialogs.h"
#include "app/content/AlbumOverview.h"
#include "app/content/ContentColumn.h"
#include "app/content/EmptyState.h"
#include "app/content/NewAlbumTile.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/QtClipboard.h"
#include "app/window/WindowAlerts.h"
#include "gallery/GalleryGrid.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/fakes/FakeCameraBackend.h"
#include "support/fakes/GalleryItems.h"
#include "support/files/JpegMaker.h"
#include "support/desktop/Renders.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class ContentColumnTest : public test::ViewTest {
protected:

    void open(const QList<LibrarySource>& sources = {}, const QStringList& rows = {},
              CameraSourceManager* cameras = nullptr)
    {
        if (!sources.isEmpty()) {
            writeRows(sources.first(), rows);
            storeSources(encodeSources(sources));
        }
        LibraryServices services;
        services.folderPicker = &picker_;
        services.clipboard = &clipboard_;
        services.cameras = cameras;
        store_ = makeStore(std::move(services));
        ASSERT_TRUE(drain());
        host_ = std::make_unique<QWidget>();
        host_->setPalette(PivraAppearance::palette(false));
        host_->setAutoFillBackground(true);
        host_->resize(900, 640);
        alerts_ = new AlertPresenter(*host_);
        column_ = new ContentColumn(*store_, *alerts_, thumbnails_, clips_, host_.get());
        column_->resize(host_->size());
        column_->setDesktopReveal({[this](const QUrl& file, const std::function<void()>&) { revealed_.append(file); },
                                   [](const QUrl&) { return false; }});
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }

    void settle()
    {
        ASSERT_TRUE(drain());
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QStringList buttonTexts() const
    {
        QStringList texts;
        for (QPushButton* button : column_->emptyState()->buttons()) {
            texts.append(button->text());
        }
        return texts;
    }

    AlbumNameDialog* nameDialog() const { return host_->findChild<AlbumNameDialog*>(); }

    // Types `name` into the open prompt and confirms it.
    void answerNameDialog(const QString& name)
    {
        AlbumNameDialog* dialog = nameDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->nameField()->setText(name);
        dialog->confirmButton()->click();
        settle();
        EXPECT_EQ(nameDialog(), nullptr);
    }

    QStringList albumNames() const
    {
        QStringList names;
        for (const Album& album : store_->albums()) {
            names.append(album.name + u':' + QString::number(album.itemCount));
        }
        return names;
    }

    static QAction* action(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                return action;
            }
            if (action->menu()) {
                if (QAction* inner = ContentColumnTest::action(action->menu(), text)) {
                    return inner;
                }
            }
        }
        return nullptr;
    }

    test::ScriptedFolderPicker picker_;
    QtClipboard clipboard_;
    AlertPresenter* alerts_ = nullptr;
    ContentColumn* column_ = nullptr;
    QList<QUrl> revealed_;
};

TEST_F(ContentColumnTest, WithoutASourceTheFirstRunNoticeAsksForAFolderOrAConnectedDevice)
{
    test::FakeCameraBackend fake;
    CameraSourceManager cameras(fake);
    open({}, {}, &cameras);
    EXPECT_EQ(column_->page(), ContentPage::onboarding);
    EXPECT_EQ(column_->emptyState()->title(), "Your gallery starts with a source");
    ASSERT_EQ(buttonTexts(), QStringList{"Choose a folder or disk…"});
    column_->emptyState()->buttons().first()->click();
    settle();
    EXPECT_EQ(picker_.questions.size(), 1);

    fake.plug(QStringLiteral("SERIAL-1"), QStringLiteral("Ann's iPhone"));
    settle();
    ASSERT_EQ(buttonTexts(), (QStringList{"Choose a folder or disk…", "Add Ann's iPhone"}));
    const QImage image = host_->grab().toImage();
    image.save(test::rendersFolder() + "/content-onboarding.png");
    // The buttons stand out in the accent colour.
    const QPushButton* add = column_->emptyState()->buttons().last();
    EXPECT_EQ(image.pixelColor(add->mapTo(host_.get(), QPoint(4, add->height() / 2))),
              host_->palette().color(QPalette::Highlight));
    column_->emptyState()->buttons().last()->click();
    settle();
    ASSERT_EQ(store_->sources().size(), 1);
    EXPECT_EQ(store_->sources().first().deviceID, "SERIAL-1");
    EXPECT_NE(column_->page(), ContentPage::onboarding);
    host_.reset(); // before the device manager goes
    EXPECT_TRUE(drain());
    store_.reset();
}

TEST_F(ContentColumnTest, EachEmptyViewSaysWhyAndAnOfflineFolderCanBeReconnected)
{
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), false);
    LibrarySource phone = test::folderSource(QStringLiteral("Phone"), false);
    phone.kind = LibrarySource::Kind::camera;
    phone.deviceID = QStringLiteral("device-1");
    const QUuid summer = MediaCatalog(catalogPath_).createAlbum(QStringLiteral("Summer"));
    open({trip, phone});

    struct Step {
        std::function<void()> select;
        QString title;
        QString description;
        QStringList buttons;
    };
    const QString nothing = QStringLiteral("Nothing to show yet");
    const std::vector<Step> steps = {
        {[&] { store_->selectSource(trip.id); }, nothing, "This folder or drive is unavailable.",
         {"Reconnect folder…"}},
        {[&] { store_->selectSource(phone.id); }, nothing,
         "Unlock the iPhone and tap Trust if prompted. Its media appears after the device catalog is ready.", {}},
        {[&] { store_->selectAlbum(summer); }, "This album is empty",
         "Right-click a photo or video and choose Add to Album.", {}},
        {[&] { store_->selectFavorites(); }, "No favorites yet", "Use the heart on a photo or video to add it here.",
         {}},
        {[&] {
             store_->selectSource(std::nullopt);
             store_->setSearch(QStringLiteral("nowhere"));
         },
         nothing, "Try another source, change your search, or rescan your folders.", {}},
    };
    for (const Step& step : steps) {
        step.select();
        settle();
        EXPECT_EQ(column_->page(), ContentPage::empty) << step.title.toStdString();
        EXPECT_EQ(column_->emptyState()->title(), step.title);
        EXPECT_EQ(column_->emptyState()->description(), step.description);
        EXPECT_EQ(buttonTexts(), step.buttons) << step.description.toStdString();
    }

    store_->selectSource(trip.id);
    settle();
    const qsizetype asked = picker_.questions.size();
    column_->emptyState()->buttons().first()->click();
    settle();
    EXPECT_EQ(picker_.questions.size(), asked + 1);
}

TEST_F(ContentColumnTest, AlbumsAreCreatedRenamedAndDeletedThroughTheirDialogs)
{
    open();
    store_->selectAlbums();
    settle();
    ASSERT_EQ(column_->page(), ContentPage::albums);
    AlbumOverview* overview = column_->albumOverview();
    EXPECT_TRUE(overview->cards().isEmpty());

    QTest::mouseClick(overview->newAlbumTile(), Qt::LeftButton);
    AlbumNameDialog* dialog = nameDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "New Album");
    EXPECT_EQ(dialog->confirmButton()->text(), "Create");
    EXPECT_EQ(dialog->nameField()->placeholderText(), "Album name");
    EXPECT_EQ(dialog->message(), "Choose a name for your album.");
    dialog->nameField()->setText(QStringLiteral(" \n "));
    EXPECT_FALSE(dialog->confirmButton()->isEnabled());
    answerNameDialog(QStringLiteral(" Trip "));
    EXPECT_EQ(albumNames(), QStringList{"Trip:0"});
    ASSERT_EQ(overview->cards().size(), 1);

    action(overview->cards().first()->menu(), QStringLiteral("Rename Album…"))->trigger();
    ASSERT_NE(nameDialog(), nullptr);
    EXPECT_EQ(nameDialog()->windowTitle(), "Rename Album");
    EXPECT_EQ(nameDialog()->confirmButton()->text(), "Save");
    EXPECT_EQ(nameDialog()->nameField()->text(), "Trip");
    EXPECT_EQ(nameDialog()->message(), "Choose a new name for this album.");
    answerNameDialog(QStringLiteral("Road"));
    EXPECT_EQ(albumNames(), QStringList{"Road:0"});

    // Turning the question down keeps the album, and so does Return; only a
    // click on its button deletes.
    const auto click = [](const QString& text) {
        return [text](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons()) {
                if (button->text() == text) {
                    button->click();
                }
            }
        };
    };
    const std::pair<std::function<void(QMessageBox&)>, QStringList> answers[] = {
        {click(QStringLiteral("Cancel")), {"Road:0"}},
        {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, {"Road:0"}},
        {click(QStringLiteral("Delete Album")), {}},
    };
    for (const auto& [answer, left] : answers) {
        action(overview->cards().first()->menu(), QStringLiteral("Delete Album"))->trigger();
        QMessageBox* box = alerts_->current();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Delete Album?");
        EXPECT_EQ(box->informativeText(), "The photos and videos will stay in your library.");
        answer(*box);
        settle();
        EXPECT_EQ(albumNames(), left);
    }
    EXPECT_TRUE(overview->cards().isEmpty());
}

TEST_F(ContentColumnTest, TheGridsMenuReachesTheStoreTheClipboardAndTheFileManager)
{
    QDir().mkpath(pathOf("Trip"));
    ASSERT_TRUE(test::makeJpeg(pathOf("Trip/a.jpg"), QSize(30, 20)));
    const LibrarySource trip = test::folderSourceAt(pathOf("Trip")); // online: the menu offers its files
    {
        const MediaCatalog schema(catalogPath_);
        test::MediaRow row = test::folderRow(trip.id, QStringLiteral("a.jpg"));
        row.path = pathOf("Trip/a.jpg");
        test::MediaRowWriter(catalogPath_).insert(row);
    }
    open({trip});
    store_->selectSource(trip.id);
    settle();
    ASSERT_EQ(column_->page(), ContentPage::grid);
    ASSERT_EQ(column_->grid()->items()->size(), 1u);
    const MediaItem item = column_->grid()->items()->front();

    QMenu* menu = column_->grid()->menuFor(0);
    settle(); // the file is looked for off the GUI thread
    action(menu, QStringLiteral("Show in File Manager"))->trigger();
    EXPECT_EQ(revealed_, QList<QUrl>{QUrl::fromLocalFile(item.path())});

    action(menu, QStringLiteral("Copy"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] {
        const QMimeData* put = QGuiApplication::clipboard()->mimeData();
        return put != nullptr && put->hasUrls();
    })); // the file is looked for again
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->urls(), QList<QUrl>{QUrl::fromLocalFile(item.path())});
    EXPECT_EQ(copied->data("x-special/gnome-copied-files"), "copy\n" + QUrl::fromLocalFile(item.path()).toEncoded());

    action(column_->grid()->menuFor(0), QStringLiteral("New Album…"))->trigger();
    ASSERT_NE(nameDialog(), nullptr);
    answerNameDialog(QStringLiteral("Picks"));
    EXPECT_EQ(albumNames(), QStringList{"Picks:1"});

    store_->selectAlbums();
    settle();
    ASSERT_EQ(column_->albumOverview()->cards().size(), 1);
    column_->albumOverview()->cards().first()->click();
    settle();
    EXPECT_EQ(store_->selectedAlbumID(), store_->albums().first().id);
    EXPECT_EQ(column_->page(), ContentPage::grid);
}

TEST_F(ContentColumnTest, TheAlbumOverviewDrawsCardsAndTheDashedTile)
{
    {
        MediaCatalog catalog(catalogPath_);
        catalog.createAlbum(QStringLiteral("Summer holidays in the mountains of the north"));
        catalog.createAlbum(QStringLiteral("Winter"));
    }
    open();
    store_->selectAlbums();
    settle();
    AlbumOverview* overview = column_->albumOverview();
    ASSERT_EQ(overview->cards().size(), 2);
    EXPECT_EQ(overview->cards().first()->countText(), "0 items");
    EXPECT_TRUE(overview->cards().first()->isOnScreen());

    // Typing keeps the cards of albums that did not change, covers and all;
    // a renamed album gets a card of its own.
    const QList<AlbumCard*> both = overview->cards();
    AlbumCard* winter = both[both[0]->album().name == "Winter" ? 0 : 1];
    AlbumCard* summer = both[0] == winter ? both[1] : both[0];
    const std::pair<const char*, QList<AlbumCard*>> keystrokes[] = {
        {"w", {winter}}, {"wi", {winter}}, {"w", {winter}}, {"", both}};
    for (const auto& [search, cards] : keystrokes) {
        store_->setSearch(QString::fromUtf8(search));
        settle();
        EXPECT_EQ(overview->cards(), cards) << search;
        EXPECT_TRUE(overview->cards().first()->isOnScreen()) << search;
    }
    store_->renameAlbum(winter->album().id, QStringLiteral("Snow"));
    settle();
    ASSERT_EQ(overview->cards().size(), 2);
    EXPECT_TRUE(overview->cards().contains(summer));
    EXPECT_FALSE(overview->cards().contains(winter));

    const QImage image = host_->grab().toImage();
    image.save(test::rendersFolder() + "/album-overview.png");
    const QRect card = overview->cards().first()->geometry().translated(overview->viewport()->mapTo(host_.get(), QPoint()));
    // Above the placeholder and the shade: the card's own grey.
    EXPECT_EQ(image.pixelColor(card.center().x(), card.top() + 8), AlbumCard::background);
    const QRect tile = overview->newAlbumTile()->geometry().translated(overview->viewport()->mapTo(host_.get(), QPoint()));
    EXPECT_EQ(tile.width(), card.width());
    // The tile is the canvas darkened a little, with its dashed edge darker still.
    const QColor inside = image.pixelColor(tile.center().x(), tile.top() + 8);
    EXPECT_LT(inside.lightness(), PivraAppearance::lightCanvas.lightness());
    EXPECT_GT(inside.lightness(), PivraAppearance::lightCanvas.lightness() - 20);
}

TEST_F(ContentColumnTest, CardsCountInTheUsersFormatAndAskForCoversOnlyOnScreen)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The card keeps "items" for one, as the header does; a screen reader
    // hears the count without grouping.
    const std::tuple<int, const char*, const char*> counts[] = {
        {1234, "1,234 items", "Trip, 1234 items"}, {1, "1 items", "Trip, 1 items"}};
    for (const auto& [count, text, spoken] : counts) {
        const AlbumCard card(Album{QUuid::createUuid(), QStringLiteral("Trip"), count, std::nullopt}, thumbnails_);
        EXPECT_EQ(card.countText(), text);
        EXPECT_EQ(card.accessibleName(), spoken);
    }
    QLocale::setDefault(QLocale::c());

    // One cover already in memory, one rendered from its file: neither is
    // asked for before the card comes on screen.
    const QString file = pathOf("cover.jpg");
    ASSERT_TRUE(test::makeJpeg(file, QSize(400, 300), {}, Qt::red));
    MediaItem cached = test::galleryPhoto(QUuid::createUuid(), 1, QSize(400, 300), 1.7e9);
    const QString key = QStringLiteral("c4").repeated(32); // a media key: 64 hexadecimal digits
    cached.setThumbnailKey(key);
    QImage blue(420, 315, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    thumbnails_.memory().insert(key, blue);
    MediaItem rendered = cached;
    rendered.setPath(file);
    rendered.setThumbnailKey(std::nullopt);
    for (const MediaItem& cover : {cached, rendered}) {
        AlbumCard covered(Album{QUuid::createUuid(), QStringLiteral("Covered"), 1, cover}, thumbnails_);
        EXPECT_FALSE(covered.hasCoverImage());
        covered.setOnScreen(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return covered.hasCoverImage(); })) << cover.path().toStdString();
    }

    {
        MediaCatalog catalog(catalogPath_);
        for (int i = 0; i < 40; ++i) {
            catalog.createAlbum(QStringLiteral("Album %1").arg(i));
        }
    }
    open();
    store_->selectAlbums();
    settle();
    AlbumOverview* overview = column_->albumOverview();
    const auto onScreen = [overview](int index) { return overview->cards().at(index)->isOnScreen(); };
    EXPECT_TRUE(onScreen(0));
    EXPECT_FALSE(onScreen(39));
    overview->verticalScrollBar()->setValue(overview->verticalScrollBar()->maximum());
    EXPECT_FALSE(onScreen(0));
    EXPECT_TRUE(onScreen(39));
    store_->selectFavorites();
    settle();
    EXPECT_FALSE(onScreen(39));
}

} // namespace
} // namespace pivra
