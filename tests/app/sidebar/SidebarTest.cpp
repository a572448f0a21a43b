#include "app/WindowTestKit.h"

#include "app/sidebar/FolderRow.h"
#include "app/sidebar/Sidebar.h"
#include "app/sidebar/SourceList.h"
#include "app/sidebar/SourceStatus.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/WindowAlerts.h"
#include "catalog/MediaRowWriter.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "settings/ProcessesTab.h"
#include "settings/PreferenceCard.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/desktop/Renders.h"
#include "support/system/WatchLimitChild.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <future>

namespace pivra {
namespace {

using namespace std::chrono_literals;

LibrarySource cameraSource(const QString& name, const QString& deviceID)
{
    LibrarySource source = test::folderSource(name, true);
    source.kind = LibrarySource::Kind::camera;
    source.deviceID = deviceID;
    return source;
}

class SidebarTest : public test::ViewTest {
protected:

    // A sidebar in a window over a store whose catalog already holds `rows`
    // of the stored `sources`.
    void open(const QList<LibrarySource>& sources, const QStringList& rows = {},
              LibraryServices services = {})
    {
        if (!sources.isEmpty()) {
            writeRows(sources.first(), rows);
            storeSources(encodeSources(sources));
        }
        store_ = makeStore(std::move(services));
        ASSERT_TRUE(drain());
        show();
    }
    // The sidebar over the store as it is, in a window on screen.
    void show()
    {
        host_ = std::make_unique<QWidget>();
        host_->resize(Sidebar::columnWidth, 700);
        alerts_ = new AlertPresenter(*host_);
        sidebar_ = new Sidebar(*store_, *alerts_, host_.get());
        sidebar_->resize(Sidebar::columnWidth, 700);
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }

    // The rows on screen, in order, once the layout has shown the new ones
    // and the replaced ones are deleted.
    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The widgets of type T shown, from the top down.
    template<typename T>
    QList<T*> shown() const
    {
        settle();
        QList<T*> shown;
        for (T* each : sidebar_->findChildren<T*>()) {
            if (!each->isHidden()) {
                shown.append(each);
            }
        }
        std::sort(shown.begin(), shown.end(),
                  [](T* a, T* b) { return a->mapTo(a->window(), QPoint()).y() < b->mapTo(b->window(), QPoint()).y(); });
        return shown;
    }
    QList<SidebarRow*> rows() const { return shown<SidebarRow>(); }
    SidebarRow* row(const QString& title) const
    {
        for (SidebarRow* candidate : rows()) {
            if (candidate->text() == title) {
                return candidate;
            }
        }
        return nullptr;
    }
    QStringList titles() const
    {
        QStringList all;
        for (SidebarRow* each : rows()) {
            all.append(each->text());
        }
        return all;
    }
    QStringList headings() const
    {
        QStringList all;
        for (QLabel* label : shown<QLabel>()) {
            if (label->font().letterSpacing() > 0) {
                all.append(label->text());
            }
        }
        return all;
    }
    void click(QWidget* widget, QPoint at = {}) const
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
        QCoreApplication::processEvents();
    }
    static QStringList entries(QMenu& menu)
    {
        QStringList all;
        for (QAction* action : menu.actions()) {
            all.append(action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)")));
        }
        return all;
    }

    AlertPresenter* alerts_ = nullptr;
    Sidebar* sidebar_ = nullptr;
};

TEST_F(SidebarTest, ThreeSourcesShowUnderTheirVolumeAndDeviceWithTheirDotsInBothSchemes)
{
    LibrarySource pictures = test::folderSource(QStringLiteral("Pictures"), true);
    pictures.volumePath = QStringLiteral("/media/disk");
    pictures.volumeName = QStringLiteral("Mydisk");
    pictures.volumeCapacity = 2'000'000'000'000;
    const LibrarySource archive = test::folderSource(QStringLiteral("Archive"), false);
    const LibrarySource phone = cameraSource(QStringLiteral("Phone"), QStringLiteral("usb:1"));
    open({pictures}, {QStringLiteral("a.jpg")}); // its thumbnail is not made yet
    store_->setSources({pictures, archive, phone});
    ASSERT_TRUE(drain());

    EXPECT_EQ(headings(), (QStringList{"LIBRARY", "DEVICES", "MYDISK · 2 TB", "OTHER LOCATIONS"}));
    EXPECT_EQ(titles(), (QStringList{"All media", "Favorites", "Albums", "Map", "Phone", "Pictures", "Archive",
                                     "Add a folder or disk", "Preferences"}));
    EXPECT_EQ(row("Phone")->status(), SourceStatus::ready);
    EXPECT_EQ(row("Pictures")->status(), SourceStatus::preparing);
    EXPECT_EQ(row("Archive")->status(), SourceStatus::disconnected);
    EXPECT_EQ(row("Archive")->toolTip(), QStringLiteral("Source unavailable"));
    EXPECT_EQ(row("Pictures")->toolTip(), pictures.lastKnownPath);
    EXPECT_TRUE(row("All media")->selected());
    // No window buttons share the column's top here: the wordmark keeps only
    // its own inset, in a window as in full screen.
    const QList<QLabel*> labels = sidebar_->findChildren<QLabel*>();
    const auto wordmark = std::find_if(labels.begin(), labels.end(), [](QLabel* label) { return label->text() == "pivra"; });
    ASSERT_NE(wordmark, labels.end());
    for (const bool fullscreen : {false, true}) {
        sidebar_->setFullscreen(fullscreen);
        EXPECT_EQ((*wordmark)->contentsMargins().left(), 22) << fullscreen;
    }

    store_->selectSource(phone.id);
    for (const bool dark : {false, true}) {
        host_->setPalette(PivraAppearance::palette(dark));
        QImage image = host_->grab().toImage();
        image.save(test::rendersFolder() + (dark ? "/sidebar-dark.png" : "/sidebar-light.png"));
        for (SidebarRow* each : {row("Phone"), row("Pictures"), row("Archive")}) {
            const QPoint dot = each->mapTo(host_.get(), each->dotRect().center()) * image.devicePixelRatio();
            EXPECT_EQ(image.pixelColor(dot), statusColor(*each->status(), dark)) << each->text().toStdString();
        }
        // The selected row's background, beside its title: the accent over the canvas.
        const QPoint inside = row("Phone")->mapTo(host_.get(), QPoint(14, 3)) * image.devicePixelRatio();
        const QPoint outside = row("Map")->mapTo(host_.get(), QPoint(14, 3)) * image.devicePixelRatio();
        EXPECT_NE(image.pixelColor(inside), image.pixelColor(outside));
        EXPECT_EQ(image.pixelColor(outside), PivraAppearance::canvas(dark));
    }

    // A dot that changes is painted again where it is shown: the rows leave
    // the repaint to their list.
    struct Paints : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } paints;
    SidebarRow* picturesRow = row("Pictures"); // neither selected nor hovered, so not animating
    host_->repaint(); // what the palettes asked for is painted now
    picturesRow->installEventFilter(&paints);
    sidebar_->findChild<SourceList*>()->showStatuses(store_->sources(), {},
                                                     {{pictures.id, ThumbnailStatus{.total = 1, .ready = 1}}});
    EXPECT_EQ(picturesRow->status(), SourceStatus::ready);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 30000));
}

TEST_F(SidebarTest, ReadersHearEachRowAsAButtonWithItsSelectionAndItsStatusDot)
{
    const LibrarySource pictures = test::folderSource(QStringLiteral("Pictures"), true);
    const LibrarySource phone = cameraSource(QStringLiteral("Phone"), QStringLiteral("usb:1"));
    open({pictures}, {QStringLiteral("2023/Trip/a.jpg")}); // its thumbnail is not made yet
    store_->setSources({pictures, test::folderSource(QStringLiteral("Archive"), false), phone});
    ASSERT_TRUE(drain());
    sidebar_->toggleSource(pictures.id);

    struct Row {
        QString title;
        bool selected;
        QString dot; // none: no status dot
        QString chevron; // none: no chevron
    };
    const Row table[] = {{"All media", true, "", ""},
                         {"Favorites", false, "", ""},
                         {"Phone", false, "Connected and ready", ""},
                         {"Pictures", false, "Preparing media", ""},
                         {"2023", false, "", "Show subfolders"},
                         {"Archive", false, "Disconnected", ""}};
    for (const Row& each : table) {
        SCOPED_TRACE(each.title.toStdString());
        SidebarRow* shown = row(each.title);
        ASSERT_NE(shown, nullptr);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(shown);
        EXPECT_EQ(reader->role(), QAccessible::Button);
        EXPECT_EQ(reader->text(QAccessible::Name), each.title);
        EXPECT_TRUE(reader->state().selectable);
        EXPECT_EQ(reader->state().selected, each.selected);
        ASSERT_EQ(reader->childCount(), int(!each.dot.isEmpty()) + int(!each.chevron.isEmpty()));
        if (!each.chevron.isEmpty()) {
            EXPECT_EQ(reader->child(0)->role(), QAccessible::Button);
            EXPECT_EQ(reader->child(0)->text(QAccessible::Name), each.chevron);
        }
        if (!each.dot.isEmpty()) {
            QAccessibleInterface* dot = reader->child(0);
            EXPECT_EQ(dot->role(), QAccessible::Graphic);
            EXPECT_EQ(dot->text(QAccessible::Name), each.dot);
            EXPECT_EQ(dot->parent(), reader);
            EXPECT_EQ(dot->rect(), QRect(shown->mapToGlobal(shown->dotRect().topLeft()), shown->dotRect().size()));
            const QPoint centre = dot->rect().center();
            EXPECT_EQ(reader->childAt(centre.x(), centre.y()), dot);
        }
    }

    // Pressing a row selects it, as a click does.
    QAccessible::queryAccessibleInterface(row("Phone"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(store_->selectedSourceID(), phone.id);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(row("Phone"))->state().selected);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(row("All media"))->state().selected);
}

TEST_F(SidebarTest, DevicesNotYetAddedGetARowAndAnUnchangedPublicationRebuildsNothing)
{
    open({});
    EXPECT_EQ(headings(), QStringList{"LIBRARY"});
    const QList<SidebarRow*> before = rows();
    // Progress arrives several times a second; only the status line follows it.
    Q_EMIT store_->thumbnailStatusesChanged();
    Q_EMIT store_->thumbnailCompletedChanged();
    Q_EMIT store_->isPreparingThumbnailsChanged();
    Q_EMIT store_->selectedSourceIDChanged();
    EXPECT_EQ(rows(), before);

    store_->setSources({cameraSource(QStringLiteral("Phone"), QStringLiteral("usb:1"))});
    EXPECT_NE(rows(), before);
    EXPECT_EQ(headings(), (QStringList{"LIBRARY", "DEVICES"}));
}

TEST_F(SidebarTest, OpeningAFolderTreeShowsBranchesAsLeftAndSelectsTheFolderClicked)
{
    // Not on disk, so the rows the catalog holds stay through the rescan.
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), false);
    open({trip}, {QStringLiteral("2023/Trip/a.jpg"), QStringLiteral("2023/Trip/Day/b.jpg"), QStringLiteral("root.jpg")});
    const LibrarySource source = store_->sources().first();
    EXPECT_EQ(titles().indexOf("2023"), -1);

    std::unique_ptr<QMenu> menu = sidebar_->sourceMenu(source);
    EXPECT_EQ(entries(*menu), (QStringList{"Show indexed folders", "Show in File Manager (off)", "Reconnect Folder…",
                                           "Create Desktop Shortcut…", "Remove Source"}));
    menu->actions().first()->trigger();
    EXPECT_EQ(titles().mid(4, 2), (QStringList{"Trip", "2023"})); // root.jpg makes no row
    auto* year = static_cast<FolderRow*>(row("2023"));
    ASSERT_NE(year->chevron(), nullptr);
    EXPECT_EQ(year->mapTo(sidebar_, year->chevron()->pos()).x(), 47);

    click(year->chevron());
    auto* trip2023 = static_cast<FolderRow*>(rows()[6]);
    EXPECT_EQ(trip2023->text(), QStringLiteral("Trip"));
    EXPECT_EQ(trip2023->look().indentation, 51);
    click(trip2023->chevron());
    ASSERT_NE(row("Day"), nullptr);

    // Closing 2023 hides the branch; reopening brings Trip back open.
    click(static_cast<FolderRow*>(row("2023"))->chevron());
    EXPECT_EQ(row("Day"), nullptr);
    click(static_cast<FolderRow*>(row("2023"))->chevron());
    ASSERT_NE(row("Day"), nullptr);

    // The indentation takes no click; the rest of the row selects the folder.
    SidebarRow* day = row("Day");
    click(day, QPoint(20, day->height() / 2));
    EXPECT_FALSE(store_->selectedFolderPath().has_value());
    click(day);
    EXPECT_EQ(store_->selectedFolderPath(), QStringLiteral("2023/Trip/Day"));
    EXPECT_TRUE(row("Day")->selected());
    EXPECT_FALSE(rows()[4]->selected()); // the source row gives the highlight up
    EXPECT_FALSE(row("2023")->selected());

    menu = sidebar_->sourceMenu(source);
    EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Hide indexed folders"));
    EXPECT_EQ(entries(*sidebar_->sourceMenu(cameraSource("Phone", "usb:1"))),
              (QStringList{"Create Desktop Shortcut…", "Remove Source"}));
}

TEST_F(SidebarTest, RemovalAsksWithTheCountsAndEachAnswerDoesItsOwnThing)
{
    const ThumbnailLocations& locations = thumbnails_.locations();
    QList<LibrarySource> sources;
    QStringList keys;
    for (const QString& name : {QStringLiteral("Cancelled"), QStringLiteral("Kept"), QStringLiteral("Deleted")}) {
        sources.append(test::folderSource(name, false));
        keys.append(QString(64, QChar(char16_t(u'a' + keys.size()))));
        writeFile(QDir(root()).relativeFilePath(locations.gridFile(keys.last())), "jpeg");
        writeFile(QDir(root()).relativeFilePath(clips_.clipFile(keys.last())), "clip");
    }
    const LibrarySource empty = test::folderSource(QStringLiteral("Empty"), false);
    {
        const MediaCatalog schema(catalogPath_);
    }
    test::MediaRowWriter writer(catalogPath_);
    for (int index = 0; index < 3; ++index) {
        test::MediaRow media = test::folderRow(sources[index].id, QStringLiteral("a.jpg"));
        media.thumbnailKey = keys[index];
        writer.insert(media);
    }
    open(sources + QList<LibrarySource>{empty}, {}, {.thumbnails = &thumbnails_, .previews = &clips_});

    const auto remove = [&](const QString& name) {
        const std::unique_ptr<QMenu> menu = sidebar_->sourceMenu(*std::find_if(
            store_->sources().begin(), store_->sources().end(),
            [&](const LibrarySource& source) { return source.name == name; }));
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("Remove Source")) {
                action->trigger();
            }
        }
        EXPECT_TRUE(drain());
    };
    const auto answer = [&](const QString& button) {
        QMessageBox* box = alerts_->current();
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* each : box->buttons()) {
            if (each->text() == button) {
                each->click();
            }
        }
        EXPECT_TRUE(drain());
    };
    const auto names = [&] {
        QStringList all;
        for (const LibrarySource& source : store_->sources()) {
            all.append(source.name);
        }
        return all;
    };

    remove(QStringLiteral("Empty")); // nothing to free: gone without a question
    EXPECT_EQ(alerts_->current(), nullptr);
    EXPECT_EQ(names(), (QStringList{"Cancelled", "Kept", "Deleted"}));

    remove(QStringLiteral("Cancelled"));
    ASSERT_NE(alerts_->current(), nullptr);
    EXPECT_EQ(alerts_->current()->text(), QStringLiteral("Delete thumbnails along with “Cancelled”?"));
    EXPECT_TRUE(alerts_->current()->informativeText().startsWith(QStringLiteral("1 thumbnail and 1 video preview · ")));
    answer(QStringLiteral("Cancel"));
    EXPECT_EQ(names().size(), 3);

    remove(QStringLiteral("Kept"));
    answer(QStringLiteral("No"));
    remove(QStringLiteral("Deleted"));
    answer(QStringLiteral("Yes"));
    EXPECT_EQ(names(), QStringList{"Cancelled"});
    EXPECT_TRUE(QFile::exists(locations.gridFile(keys[1])));
    EXPECT_TRUE(QFile::exists(clips_.clipFile(keys[1])));
    EXPECT_FALSE(QFile::exists(locations.gridFile(keys[2])));
    EXPECT_FALSE(QFile::exists(clips_.clipFile(keys[2])));
}

// Counts the widgets thrown away inside `root` while it lives: each leaves
// its parent with a ChildRemoved event.
class ThrownAwayWidgets final : public QObject {
public:
    explicit ThrownAwayWidgets(QWidget* root)
        : root_(root)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    int count() const { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ChildRemoved && static_cast<QChildEvent*>(event)->child()->isWidgetType()
            && watched->isWidgetType()
            && (watched == root_ || root_->isAncestorOf(static_cast<QWidget*>(watched)))) {
            ++count_;
        }
        return false;
    }

private:
    QWidget* root_;
    int count_ = 0;
};

// A library of thousands of folders starts as one of a few does: the access
// pass that finds them online is one change of the list, each row is built
// once (no widget of the sidebar is thrown away) and kept up to date in
// place, and no pass of the GUI thread makes more than a few milliseconds'
// worth of rows; bench_library_start holds the 50-ms goal for a whole pass.
TEST_F(SidebarTest, ThousandsOfFolderSourcesStartWithEachRowBuiltOnceAFewAtATime)
{
    const int count = test::EventLoopWatch::slowdown() > 1 ? 500 : 2000;
    QList<LibrarySource> sources;
    for (int index = 0; index < count; ++index) {
        sources.append(test::folderSourceAt(makeFolder(QStringLiteral("Folders/%1").arg(index))));
        // Recorded with no disk, as a list an earlier version saved: the
        // access pass moves every row under its disk's heading and saves.
        sources.last().volumePath.reset();
    }
    storeSources(encodeSources(sources));

    store_ = makeStore({.inspector = std::make_shared<MetadataInspector>()});
    show();
    const ThrownAwayWidgets thrownAway(sidebar_);
    ASSERT_TRUE(drain(240'000));
    // Rows left to later passes follow the start.
    ASSERT_TRUE(test::EventLoopWatch().waitFor(
        [&] { return sidebar_->findChildren<SidebarRow*>().size() >= count + 6; }, 120'000));
    EXPECT_LE(sidebar_->findChild<SourceList*>()->mostRowsInOnePass(), SourceList::rowsPerPass);

    EXPECT_EQ(sidebar_->findChildren<SidebarRow*>().size(), count + 6); // the library rows, add and preferences
    EXPECT_EQ(thrownAway.count(), 0);
    const QList<LibrarySource>& started = store_->sources();
    EXPECT_TRUE(std::all_of(started.cbegin(), started.cend(), [](const LibrarySource& each) { return each.isOnline; }));
    SidebarRow* last = row(QString::number(count - 1));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->status(), SourceStatus::ready);
    EXPECT_EQ(last->toolTip(), pathOf(QStringLiteral("Folders/%1").arg(count - 1)));
}

// Until the first access pass has answered (a disk slow to answer, a busy
// machine, thousands of folders), each source shows as the last run left it,
// and so does the gallery: no red dot, no empty gallery in the meantime.
TEST_F(SidebarTest, BeforeTheFirstAccessPassAnswersSourcesAndGalleryShowAsTheLastRunLeftThem)
{
    const LibrarySource photos = test::folderSourceAt(makeFolder(QStringLiteral("Photos")));
    const LibrarySource gone = test::folderSourceAt(makeFolder(QStringLiteral("Gone")));
    writeRows(photos, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    storeSources(encodeSources({photos, gone}));
    ASSERT_TRUE(QDir(gone.lastKnownPath).removeRecursively());
    store_ = makeStore();
    ASSERT_TRUE(drain());
    store_.reset();

    std::promise<void> answer;
    LibraryServices services;
    services.probeTimeLimit = std::chrono::minutes(10); // held up, not stuck
    services.probeFolder = [held = answer.get_future().share()](const LibrarySource& source) {
        held.wait();
        return probeFolder(source);
    };
    store_ = makeStore(std::move(services));
    show();
    ASSERT_TRUE(test::EventLoopWatch().waitFor([&] { return store_->items()->size() == 2u; }, 60'000));
    EXPECT_NE(row(QStringLiteral("Photos"))->status(), SourceStatus::disconnected);
    EXPECT_EQ(row(QStringLiteral("Gone"))->status(), SourceStatus::disconnected);
    host_->grab().save(test::rendersFolder() + QStringLiteral("/sidebar-before-first-pass.png"));

    answer.set_value();
    ASSERT_TRUE(drain());
    EXPECT_EQ(row(QStringLiteral("Photos"))->status(), SourceStatus::preparing); // its thumbnails are to be made
    EXPECT_EQ(row(QStringLiteral("Gone"))->status(), SourceStatus::disconnected);
    EXPECT_EQ(store_->items()->size(), 2u);
}

// At the system's limit of watches, the row of a source whose folders are
// watched in part and the Processes tab say that its changes show at the
// next rescan, and that rescan comes by itself, again and again.
TEST_F(SidebarTest, AtTheWatchLimitTheWindowSaysChangesShowAtTheNextRescanWhichComesByItself)
{
    PIVRA_UNDER_WATCH_LIMIT(40)
    const QString photos = makeFolder(QStringLiteral("Photos"));
    for (int index = 0; index < 60; ++index) {
        makeFolder(QStringLiteral("Photos/%1/deeper").arg(index));
    }
    const LibrarySource source = test::folderSourceAt(photos);
    open({source}, {}, {.inspector = std::make_shared<MetadataInspector>(), .partlyWatchedRescan = 200ms});
    ASSERT_TRUE(test::EventLoopWatch().waitFor(
        [&] { return store_->partlyWatchedSourceIDs() == QSet<QUuid>{source.id}; }, 60'000));

    EXPECT_EQ(row(QStringLiteral("Photos"))->toolTip(),
              photos + QStringLiteral("\nChanges in some of its folders show at the next rescan."));
    ProcessesTab tab(store_->processes(), [](PivraProcess::Kind) {});
    tab.resize(672, 520);
    tab.show();
    EXPECT_TRUE(tab.noticeCard()->isVisible());
    EXPECT_EQ(tab.noticeText()->text(),
              u"Your system limits how many folders Pivra can watch, so changes in some folders of Photos show only "
              u"at the next rescan. Pivra rescans them every few minutes.");
    tab.grab().save(test::rendersFolder() + QStringLiteral("/processes-watch-limit.png"));

    const int generation = store_->scanGeneration();
    EXPECT_TRUE(test::EventLoopWatch().waitFor([&] { return store_->scanGeneration() >= generation + 2; }, 60'000));
}

} // namespace
} // namespace pivra
