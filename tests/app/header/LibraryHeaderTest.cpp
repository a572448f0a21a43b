#include "app/WindowTestKit.h"

#include "app/header/DensityControl.h"
#include "app/header/LibraryHeader.h"
#include "app/header/PillTrack.h"
#include "app/header/SearchField.h"
#include "style/controls/DisconnectedToggle.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/LibraryWindow.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/Renders.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class LibraryHeaderTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Motion::shared().setOverride(true); // every change at once
    }
    void TearDown() override
    {
        close();
        Motion::shared().setOverride(std::nullopt);
        WindowTest::TearDown();
    }

    // A window over three photos of one source, its header mounted where
    // the window keeps it, the window `width` wide with the sidebar shown.
    void open(int width = 1300)
    {
        trip_ = test::folderSource(QStringLiteral("Trip"), true);
        writeRows(trip_, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
        store_ = makeStore();
        ASSERT_TRUE(drain());
        store_->setSources({trip_, test::folderSource(QStringLiteral("Away"), false)});
        ASSERT_TRUE(drain());
        window_ = makeWindow(*store_);
        header_ = window_->headerArea()->findChild<LibraryHeader*>();
        ASSERT_NE(header_, nullptr);
        window_->resize(width, 760);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    void close()
    {
        header_ = nullptr;
        window_.reset();
        EXPECT_TRUE(drain());
        store_.reset();
    }

    bool shown(QWidget* control) const { return control->isVisibleTo(header_) && control->width() > 0; }
    void click(PillTrack* pills, int index)
    {
        QTest::mouseClick(pills, Qt::LeftButton, {}, pills->pillRect(index).center());
    }

    LibrarySource trip_;
    std::unique_ptr<LibraryStore> store_;
    std::unique_ptr<LibraryWindow> window_;
    LibraryHeader* header_ = nullptr;
};

TEST_F(LibraryHeaderTest, ControlsFoldAwayAtEachWidthStepAndFollowTheView)
{
    open();
    struct Row {
        int windowWidth, step;
        bool pills, density;
        int search;
    };
    // The gallery is the window less the 225-wide sidebar.
    const Row rows[] = {{1300, 1000, true, true, 210}, {1010, 780, true, true, 160}, {990, 760, false, true, 160},
        {930, 700, false, false, 160}, {900, 0, false, false, 120}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        window_->resize(row.windowWidth, 760);
        QCoreApplication::processEvents();
        ASSERT_EQ(window_->widthStep(), row.step);
        EXPECT_EQ(header_->geometry(), window_->headerArea()->rect());
        EXPECT_EQ(shown(header_->filterPills()), row.pills);
        EXPECT_EQ(header_->filterPills()->testAttribute(Qt::WA_TransparentForMouseEvents), !row.pills);
        EXPECT_EQ(header_->filterMenuButton()->isVisibleTo(header_), !row.pills);
        EXPECT_EQ(shown(header_->density()), row.density);
        // Folded away, a control is hidden, not just narrowed: readers and
        // the keyboard pass it by (the density keys still work, below).
        for (const auto& [control, here] : {std::pair<QWidget*, bool>{header_->filterPills(), row.pills},
                 std::pair<QWidget*, bool>{header_->density(), row.density}}) {
            EXPECT_EQ(control->isVisibleTo(header_), here);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(control)->state().invisible, !here);
        }
        header_->searchField()->openSearch();
        EXPECT_EQ(header_->searchField()->width(), row.search);
        EXPECT_LE(header_->searchField()->geometry().right(), header_->width() - 16);
        header_->searchField()->closeSearch(false);
        EXPECT_EQ(header_->searchField()->width(), SearchField::closedWidth);
    }

    EXPECT_EQ(header_->title(), QStringLiteral("All media"));
    EXPECT_EQ(header_->subtitle(), QStringLiteral("3 items"));
    EXPECT_TRUE(shown(header_->disconnectedToggle()));
    EXPECT_EQ(header_->disconnectedToggle()->offlineCount(), 1);
    EXPECT_FALSE(header_->newAlbumButton()->isVisibleTo(header_));

    store_->selectSource(trip_.id);
    ASSERT_TRUE(drain());
    EXPECT_EQ(header_->title(), QStringLiteral("Trip"));
    EXPECT_FALSE(shown(header_->disconnectedToggle()));

    store_->selectAlbums();
    ASSERT_TRUE(drain());
    EXPECT_EQ(header_->title(), QStringLiteral("Albums"));
    EXPECT_EQ(header_->subtitle(), QStringLiteral("0 albums"));
    EXPECT_TRUE(header_->newAlbumButton()->isVisibleTo(header_));
    for (QWidget* gone :
        {static_cast<QWidget*>(header_->filterPills()), static_cast<QWidget*>(header_->density()),
            static_cast<QWidget*>(header_->filterMenuButton()), static_cast<QWidget*>(header_->disconnectedToggle())}) {
        EXPECT_FALSE(gone->isVisibleTo(header_)) << gone->metaObject()->className();
    }
    QSignalSpy newAlbum(header_, &LibraryHeader::newAlbumRequested);
    header_->newAlbumButton()->click();
    EXPECT_EQ(newAlbum.count(), 1);

    store_->selectSource(std::nullopt);
    ASSERT_TRUE(drain());
    EXPECT_TRUE(shown(header_->disconnectedToggle()));
    header_->sidebarToggle()->click();
    EXPECT_FALSE(window_->sidebarVisible());
    EXPECT_EQ(header_->sidebarToggle()->toolTip(), QStringLiteral("Show sidebar"));
    EXPECT_EQ(header_->sidebarToggle()->x(), 16);
}

TEST_F(LibraryHeaderTest, ATitleThatFitsIsShownWhole)
{
    open();
    for (const QString& name : {QStringLiteral("photos3"), QStringLiteral("Trip"), QStringLiteral("Summer in İzmir"),
             QStringLiteral("ığüşöç 2024"), QStringLiteral("WWWWWWW"), QStringLiteral("iiiiiijl")}) {
        const LibrarySource source = test::folderSource(name, true);
        store_->setSources({trip_, source});
        store_->selectSource(source.id);
        ASSERT_TRUE(drain());
        EXPECT_EQ(header_->shownTitle(), name);
    }
}

// A large scope shows its first screen before it is counted; the subtitle
// then says nothing rather than the count of the view left behind.
TEST_F(LibraryHeaderTest, TheSubtitleStatesNoCountUntilTheScopeShownIsCounted)
{
    const LibrarySource large = test::folderSource(QStringLiteral("Large"), true);
    QStringList paths;
    for (int row = 0; row <= LibraryStore::galleryHeadItems; ++row) {
        paths.append(QStringLiteral("%1.jpg").arg(row));
    }
    writeRows(large, paths);
    open();
    store_->setSources({trip_, large});
    ASSERT_TRUE(drain());
    ASSERT_EQ(header_->subtitle(), QStringLiteral("2,004 items"));

    QStringList subtitles;
    QObject::connect(store_.get(), &LibraryStore::itemsVersionChanged, header_,
                     [&] { subtitles.append(header_->subtitle()); });
    store_->selectSource(large.id);
    ASSERT_TRUE(drain());
    EXPECT_EQ(subtitles, QStringList({QString(), QStringLiteral("2,001 items")}));
}

TEST_F(LibraryHeaderTest, TypingSearchesAsTheUserTypesAndEscapeClearsAndCloses)
{
    open();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    SearchField* field = header_->searchField();
    QKeyEvent find(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(window_->handleKey(&find));
    EXPECT_TRUE(field->isOpen());
    EXPECT_FALSE(field->editor()->hasFocus()); // focus follows a turn later
    QCoreApplication::processEvents();
    ASSERT_TRUE(field->editor()->hasFocus());

    QSignalSpy writes(store_.get(), &LibraryStore::searchChanged);
    QTest::keyClicks(field->editor(), QStringLiteral("name:a"));
    EXPECT_EQ(writes.count(), 6);
    EXPECT_EQ(store_->search(), QStringLiteral("name:a"));
    ASSERT_TRUE(drain());
    EXPECT_EQ(store_->totalCount(), 1);
    EXPECT_TRUE(field->clearButton()->isVisibleTo(field));

    // Losing the keyboard with text leaves the field open.
    field->editor()->clearFocus();
    EXPECT_TRUE(field->isOpen());

    field->editor()->setFocus();
    QTest::keyClick(field->editor(), Qt::Key_Escape);
    EXPECT_EQ(store_->search(), QString());
    EXPECT_FALSE(field->isOpen());
    EXPECT_FALSE(field->editor()->hasFocus());
    EXPECT_EQ(field->width(), SearchField::closedWidth);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store_->totalCount(), 3);

    // Opened and left empty, it closes without writing the store.
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(15, 15));
    QCoreApplication::processEvents();
    ASSERT_TRUE(field->editor()->hasFocus());
    const qsizetype before = writes.count();
    header_->sidebarToggle()->setFocus();
    EXPECT_FALSE(field->isOpen());
    EXPECT_EQ(writes.count(), before);

    // Text set elsewhere opens the field.
    store_->setSearch(QStringLiteral("2021"));
    EXPECT_TRUE(field->isOpen());
    EXPECT_EQ(field->editor()->text(), QStringLiteral("2021"));
    EXPECT_EQ(field->width(), 210);
}

TEST_F(LibraryHeaderTest, FilterPillsApplyOnlyAChangeWhileTheMenuAlwaysApplies)
{
    open();
    QSignalSpy filters(store_.get(), &LibraryStore::filterChanged);
    click(header_->filterPills(), 2);
    EXPECT_EQ(store_->filter(), MediaFilter::videos);
    EXPECT_EQ(header_->filterPills()->selected(), 2);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store_->totalCount(), 0);
    click(header_->filterPills(), 2);
    EXPECT_EQ(filters.count(), 1);

    const QList<QAction*> choices = header_->filterMenu()->actions();
    ASSERT_EQ(choices.size(), 4); // the "Show" section, then the filters
    EXPECT_TRUE(choices[3]->isChecked());
    choices[3]->trigger();
    EXPECT_EQ(filters.count(), 2);
    choices[2]->trigger();
    EXPECT_EQ(store_->filter(), MediaFilter::photos);
    EXPECT_EQ(header_->filterPills()->selected(), 1);
    ASSERT_TRUE(drain());
    EXPECT_EQ(store_->totalCount(), 3);
}

TEST_F(LibraryHeaderTest, MapStylePillsSwitchTheStyleAndGridShowsEveryPlaceAgain)
{
    open();
    store_->selectMap();
    ASSERT_TRUE(drain());
    EXPECT_EQ(header_->title(), QStringLiteral("Map"));
    PillTrack* pills = header_->mapStylePills();
    EXPECT_TRUE(pills->isVisibleTo(header_));
    EXPECT_FALSE(header_->searchField()->isVisibleTo(header_));
    EXPECT_EQ(pills->geometry().right(), header_->width() - 17);

    QSignalSpy styles(window_.get(), &LibraryWindow::mapStyleChanged);
    QSignalSpy cleared(header_, &LibraryHeader::mapSelectionCleared);
    click(pills, 1);
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("satellite"));
    click(pills, 1);
    click(pills, 2);
    click(pills, 2);
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("grid"));
    EXPECT_EQ(pills->selected(), 2);
    EXPECT_EQ(styles.count(), 2);
    EXPECT_EQ(cleared.count(), 2);
}

TEST_F(LibraryHeaderTest, ReadersHearEachControlAndTheKeyboardReachesThePills)
{
    open();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    QAccessibleInterface* pills = QAccessible::queryAccessibleInterface(header_->filterPills());
    ASSERT_EQ(pills->childCount(), 3);
    struct Row {
        QAccessibleInterface* element;
        QAccessible::Role role;
        QString name;
        QString value;
        bool checked;
    };
    const auto of = [](QWidget* widget) { return QAccessible::queryAccessibleInterface(widget); };
    const Row rows[] = {
        {of(header_->sidebarToggle()), QAccessible::Button, "Hide sidebar", "", false},
        {pills->child(0), QAccessible::RadioButton, "All media", "", true},
        {pills->child(1), QAccessible::RadioButton, "Photos", "", false},
        {pills->child(2), QAccessible::RadioButton, "Videos", "", false},
        {of(header_->density()->smallerButton()), QAccessible::Button, "Smaller thumbnails", "", false},
        {of(header_->density()->largerButton()), QAccessible::Button, "Larger thumbnails", "", false},
        {of(header_->disconnectedToggle()), QAccessible::Button, "Show disconnected", "Off", false},
        {of(header_->searchField()), QAccessible::Button, "Search", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        ASSERT_NE(row.element, nullptr);
        EXPECT_EQ(row.element->role(), row.role);
        EXPECT_EQ(row.element->text(QAccessible::Name), row.name);
        EXPECT_EQ(row.element->text(QAccessible::Value), row.value);
        EXPECT_EQ(row.element->state().checked, row.checked);
        EXPECT_FALSE(row.element->state().invisible);
    }
    // Pressed, the closed search opens and is a button no more.
    of(header_->searchField())->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(header_->searchField()->isOpen());
    EXPECT_EQ(of(header_->searchField())->role(), QAccessible::Grouping);
    header_->searchField()->closeSearch(false);

    // Tab comes from the sidebar toggle to the chosen pill; the arrows move
    // along the pills and Space presses the one the keyboard is on.
    header_->sidebarToggle()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(header_->sidebarToggle(), Qt::Key_Tab);
    ASSERT_TRUE(header_->filterPills()->hasFocus());
    EXPECT_EQ(pills->focusChild(), pills->child(0));
    QTest::keyClick(header_->filterPills(), Qt::Key_Right);
    EXPECT_EQ(pills->focusChild(), pills->child(1));
    EXPECT_TRUE(pills->child(1)->state().focused);
    EXPECT_FALSE(pills->child(0)->state().focused);
    QTest::keyClick(header_->filterPills(), Qt::Key_Space);
    EXPECT_EQ(store_->filter(), MediaFilter::photos);
    EXPECT_TRUE(pills->child(1)->state().checked);
    EXPECT_FALSE(pills->child(0)->state().checked);

    // A click on a pill leaves the keyboard where it was.
    header_->sidebarToggle()->setFocus(Qt::TabFocusReason);
    click(header_->filterPills(), 0);
    EXPECT_TRUE(header_->sidebarToggle()->hasFocus());

    // Folded away, the pills are passed by: Tab goes on to the filter menu.
    window_->resize(990, 760);
    QCoreApplication::processEvents();
    ASSERT_EQ(window_->widthStep(), 760);
    QTest::keyClick(header_->sidebarToggle(), Qt::Key_Tab);
    EXPECT_TRUE(header_->filterMenuButton()->hasFocus());
}

TEST_F(LibraryHeaderTest, DensityButtonsAndKeysStepTheRowHeightWithinItsSteps)
{
    open(930); // density folded: only the keys reach it
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    ASSERT_EQ(window_->rowHeight(), 190);
    QTest::keyClick(window_.get(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(window_->rowHeight(), 230);
    QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(window_->rowHeight(), 180);

    DensityControl* density = header_->density();
    for (const double expected : {230, 300, 300}) {
        density->largerButton()->click();
        EXPECT_EQ(window_->rowHeight(), expected);
    }
    EXPECT_FALSE(density->largerButton()->isEnabled());
    for (const double expected : {230, 180, 140, 110, 110}) {
        density->smallerButton()->click();
        EXPECT_EQ(window_->rowHeight(), expected);
    }
    EXPECT_FALSE(density->smallerButton()->isEnabled());
    EXPECT_TRUE(density->largerButton()->isEnabled());
}

TEST_F(LibraryHeaderTest, HeadersTakeTheSchemeColours)
{
    const QPalette previous = QApplication::palette();
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(PivraAppearance::palette(dark));
        open();
        const QColor canvas = PivraAppearance::canvas(dark);
        const QImage gallery = header_->grab().toImage();
        gallery.save(test::rendersFolder() + (dark ? u"/header-dark.png" : u"/header-light.png"));
        const QRect pills = header_->filterPills()->geometry();
        EXPECT_EQ(gallery.pixelColor(pills.right() + 12, 4).rgb(), canvas.rgb());
        EXPECT_NE(gallery.pixelColor(pills.right() + 12, header_->height() - 1).rgb(), canvas.rgb());
        // The highlight lies behind the chosen pill, left of its text.
        const QRect chosen = header_->filterPills()->pillRect(0).translated(pills.topLeft());
        EXPECT_NE(gallery.pixelColor(chosen.left() + 6, chosen.center().y()).rgb(),
            gallery
                .pixelColor(
                    header_->filterPills()->pillRect(1).translated(pills.topLeft()).left() + 6, chosen.center().y())
                .rgb());

        store_->selectMap();
        ASSERT_TRUE(drain());
        window_->setMapStyle(QStringLiteral("grid"));
        const QImage places = header_->grab().toImage();
        places.save(test::rendersFolder() + (dark ? u"/header-map-dark.png" : u"/header-map-light.png"));
        EXPECT_EQ(places.pixelColor(header_->width() / 2, 4).rgb(), canvas.rgb());
        close();
    }
    QApplication::setPalette(previous);
}

} // namespace
} // namespace pivra
