#include "PreferencesTestKit.h"

#include "settings/GeneralTab.h"
#include "settings/PreferenceCard.h"
#include "settings/PreferencesPresenter.h"
#include "settings/ProcessRows.h"
#include "settings/ProcessesTab.h"
#include "settings/updates/UpdatesPreferenceSection.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/Renders.h"
#include "support/fakes/UpdateControllerKit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra {
namespace {

using Pane = PreferencesRouter::Pane;

TEST(PreferencesRouterTest, EveryWriteIsPublishedAndOnlyExactTitlesNameAPane)
{
    PreferencesRouter router;
    QList<std::optional<Pane>> seen;
    QObject::connect(&router, &PreferencesRouter::requestWritten, [&](std::optional<Pane> pane) { seen.append(pane); });
    router.setRequest(Pane::general);
    router.setRequest(Pane::general);
    router.setRequest(std::nullopt);
    EXPECT_EQ(seen, (QList<std::optional<Pane>>{Pane::general, Pane::general, std::nullopt}));

    EXPECT_EQ(PreferencesRouter::paneFromRawValue(QStringLiteral("Storage")), Pane::storage);
    EXPECT_EQ(PreferencesRouter::paneFromRawValue(QStringLiteral("general")), std::nullopt);
}

class PreferencesWindowTest : public test::PreferencesTest {};

TEST_F(PreferencesWindowTest, TheSheetOpensAtItsTabAndFollowsEveryRequestWhileShown)
{
    openStore();
    for (const Pane pane : PreferencesRouter::allPanes) {
        PivraPreferences& sheet = showSheet(pane);
        EXPECT_EQ(sheet.selectedTab(), pane);
        EXPECT_TRUE(sheet.tabButton(pane)->isChecked());
        EXPECT_EQ(sheet.size(), QSize(720, 640));
    }
    EXPECT_EQ(sheet_->versionLabel()->text(), u"Version 1.4.2");

    router_.setRequest(Pane::storage);
    EXPECT_EQ(sheet_->selectedTab(), Pane::storage);
    router_.setRequest(std::nullopt); // withdrawn: the tab stays
    EXPECT_EQ(sheet_->selectedTab(), Pane::storage);
    sheet_->tabButton(Pane::general)->click();
    router_.setRequest(Pane::storage); // the same pane again still counts
    EXPECT_EQ(sheet_->selectedTab(), Pane::storage);

    // Opened at a pane through the router, the pending request holds it.
    router_.setRequest(Pane::processes);
    EXPECT_EQ(showSheet(Pane::general).selectedTab(), Pane::processes);
}

// Each way in: the sidebar's row opens General directly; the menu and the
// lines of background work ask the router. Closing withdraws the request, so
// the same request opens the sheet again.
TEST_F(PreferencesWindowTest, ThePresenterOpensTheRequestedTabAndClearsTheRequestOnClose)
{
    openStore();
    QWidget window;
    window.show();
    PreferencesPresenter presenter(window, *store_, services(), router_);
    QSignalSpy shown(&presenter, &PreferencesPresenter::sheetShown);

    presenter.showAt(Pane::general);
    ASSERT_NE(presenter.sheet(), nullptr);
    EXPECT_EQ(presenter.sheet()->selectedTab(), Pane::general);
    EXPECT_EQ(presenter.sheet()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(router_.request(), std::nullopt);
    router_.setRequest(Pane::processes);
    EXPECT_EQ(presenter.sheet()->selectedTab(), Pane::processes);
    EXPECT_EQ(shown.size(), 1); // switched, not opened twice

    for (int round = 0; round < 2; ++round) {
        presenter.sheet()->doneButton()->click();
        ASSERT_TRUE(eventually([&] { return presenter.sheet() == nullptr; }));
        EXPECT_EQ(router_.request(), std::nullopt);
        router_.setRequest(Pane::storage);
        ASSERT_NE(presenter.sheet(), nullptr);
        EXPECT_EQ(presenter.sheet()->selectedTab(), Pane::storage);
    }
    EXPECT_EQ(shown.size(), 3);
}

// A thumbnail run held at the renderer's gate: the Processes tab shows its
// dot and lists it; Stop reaches the store, which ends the run as stopped;
// the end of the run measures the storage again, its start does not.
TEST_F(PreferencesWindowTest, StopEndsTheRunAndTheDotAndTheRunsEndMeasuresTheStorageAgain)
{
    LibraryStore& store = openStore(1, 3);
    PivraPreferences& sheet = showSheet(Pane::processes);
    QSignalSpy measured(sheet.storageTab(), &StorageTab::measured);
    ASSERT_TRUE(measured.wait()); // on show
    EXPECT_FALSE(sheet.showsActivityDot());

    renderer_->gate.close();
    store.startThumbnailPreparation(false);
    ASSERT_TRUE(store.isPreparingThumbnails());
    EXPECT_TRUE(sheet.showsActivityDot());
    const QList<RunningProcessRow*> rows = sheet.processesTab()->runningRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->process().kind, PivraProcess::Kind::thumbnails);
    EXPECT_EQ(measured.size(), 1);

    rows[0]->stopButton()->click();
    EXPECT_FALSE(store.isPreparingThumbnails());
    EXPECT_FALSE(sheet.showsActivityDot());
    ASSERT_EQ(store.processes().finished().size(), 1);
    EXPECT_EQ(store.processes().finished()[0].state, PivraProcess::State::stopped);
    EXPECT_TRUE(sheet.processesTab()->runningRows().isEmpty());
    ASSERT_EQ(sheet.processesTab()->recentRows().size(), 1);
    ASSERT_TRUE(measured.wait());
    renderer_->gate.open();
}

TEST_F(PreferencesWindowTest, TheThemePickerStoresTheChoiceAndHasItApplied)
{
    openStore();
    int applied = 0;
    GeneralTab tab([&applied] { ++applied; });
    EXPECT_TRUE(tab.themeButton(PivraColorMode::system)->isChecked());
    QStringList titles;
    for (const PivraColorMode mode : allColorModes) {
        titles.append(tab.themeButton(mode)->text());
    }
    EXPECT_EQ(titles, QStringList({QStringLiteral("System"), QStringLiteral("Light"), QStringLiteral("Dark")}));
    tab.themeButton(PivraColorMode::dark)->click();
    EXPECT_EQ(AppSettings().value(appearanceSettingKey).toString(), u"dark");
    EXPECT_EQ(applied, 1);

    auto* section = new QLabel(QStringLiteral("Updates"));
    tab.setUpdateSection(section);
    EXPECT_EQ(section->parentWidget(), &tab);
    const QPointer<QWidget> replaced = section;
    tab.setUpdateSection(new QLabel(QStringLiteral("Updates again")));
    EXPECT_TRUE(replaced.isNull());
}

// Every tab in both schemes, with a run under way and one ended, saved for
// people to look at; the check here is that each tab paints its own
// canvas and the selected tab's title in the accent.
TEST_F(PreferencesWindowTest, EveryTabRendersInBothSchemes)
{
    LibraryStore& store = openStore(1, 3);
    const QUuid ended = store.processes().begin(PivraProcess::Kind::indexing, QStringLiteral("Photos"));
    store.processes().update(ended, {.completed = 1200});
    store.processes().end(ended, PivraProcess::State::finished);
    renderer_->gate.close();
    store.startThumbnailPreparation(false);
    const QPalette before = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(PivraAppearance::palette(dark));
        PivraPreferences& sheet = showSheet();
        ASSERT_TRUE(QSignalSpy(sheet.storageTab(), &StorageTab::measured).wait());
        for (const Pane pane : PreferencesRouter::allPanes) {
            sheet.selectTab(pane);
            const QImage image = sheet.grab().toImage();
            const QString name = QStringLiteral("/preferences-%1-%2.png")
                                     .arg(PreferencesRouter::rawValue(pane).toLower(),
                                          dark ? QStringLiteral("dark") : QStringLiteral("light"));
            EXPECT_TRUE(image.save(test::rendersFolder() + name));
            EXPECT_EQ(image.pixelColor(4, image.height() / 2).rgb(), PivraAppearance::canvas(dark).rgb()) << name.toStdString();
            const QRect tab = sheet.tabButton(pane)->geometry();
            bool accent = false;
            for (int x = tab.left(); x <= tab.right() && !accent; ++x) {
                for (int y = tab.top(); y <= tab.bottom() && !accent; ++y) {
                    const QColor pixel = image.pixelColor(x, y);
                    const QColor highlight = sheet.palette().color(QPalette::Highlight);
                    accent = std::abs(pixel.red() - highlight.red()) + std::abs(pixel.green() - highlight.green())
                                 + std::abs(pixel.blue() - highlight.blue())
                             < 30;
                }
            }
            EXPECT_TRUE(accent) << name.toStdString();
            // The sheet's edge stands apart from a window of the same canvas.
            EXPECT_NE(image.pixelColor(0, image.height() / 2).rgb(), PivraAppearance::canvas(dark).rgb())
                << name.toStdString();
            if (pane == Pane::general) {
                // The chosen Theme segment stands well apart from the others.
                const auto fill = [&](PivraColorMode mode) {
                    const QAbstractButton* segment = sheet.generalTab()->themeButton(mode);
                    return image.pixelColor(segment->mapTo(&sheet, QPoint(5, segment->height() / 2)));
                };
                const QColor chosen = fill(PivraColorMode::system);
                for (const PivraColorMode other : {PivraColorMode::light, PivraColorMode::dark}) {
                    const QColor pixel = fill(other);
                    EXPECT_GT(std::abs(pixel.red() - chosen.red()) + std::abs(pixel.green() - chosen.green())
                                  + std::abs(pixel.blue() - chosen.blue()),
                              150)
                        << name.toStdString() << " " << qPrintable(rawValue(other));
                }
            }
        }
    }
    QApplication::setPalette(before);
    store.cancelThumbnailPreparation();
}

class PreferencesReturnTest : public test::PreferencesTest, public test::UpdateControllerKit {};

// Return belongs to "Update Now" while it shows, and to "Done" otherwise.
TEST_F(PreferencesReturnTest, ReturnGoesToUpdateNowWhileItShows)
{
    openStore();
    UpdateController& updates = started();
    PreferencesServices withUpdates = services();
    withUpdates.makeUpdateSection = [&updates](QWidget* parent) {
        return new UpdatesPreferenceSection(updates, QStringLiteral("1.0"), parent);
    };
    sheet_ = std::make_unique<PivraPreferences>(Pane::general, *store_, std::move(withUpdates), router_);
    sheet_->show();
    updates.showUpdateFound(test::updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));

    // A row rebuilt while the sheet shows appears once the event loop runs.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QPushButton* button : sheet_->findChildren<QPushButton*>()) {
            if (button->property(returnActionProperty).toBool() && button->isVisible()) {
                return true;
            }
        }
        return false;
    }));
    QTest::keyClick(sheet_.get(), Qt::Key_Return);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), QStringLiteral("found 1"));
    EXPECT_TRUE(sheet_->isVisible());

    updates.dismissUpdateInstallation();
    QTest::keyClick(sheet_.get(), Qt::Key_Return);
    EXPECT_FALSE(sheet_->isVisible());
    EXPECT_EQ(sheet_->result(), QDialog::Accepted);
}

} // namespace
} // namespace pivra
