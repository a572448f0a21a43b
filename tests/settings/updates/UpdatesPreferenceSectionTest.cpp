// The update settings' card as it follows the controller, and its look.
#include "settings/PreferenceCard.h"
#include "settings/updates/UpdatesPreferenceSection.h"
#include "style/appearance/PivraAppearance.h"
#include "support/ParamNames.h"
#include "support/desktop/Renders.h"
#include "support/fakes/UpdateControllerKit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using Kind = UpdateController::Phase::Kind;

class UpdatesSectionTest : public ::testing::Test, public UpdateControllerKit {
protected:
    UpdatesPreferenceSection& section(UpdateController& controller, const QString& installed = QStringLiteral("1.0"))
    {
        section_ = std::make_unique<UpdatesPreferenceSection>(controller, installed);
        section_->resize(560, section_->sizeHint().height());
        return *section_;
    }

    // The status row's buttons, as the user sees them.
    QStringList buttons() const
    {
        QStringList titles;
        for (QPushButton* button : section_->statusRow()->findChildren<QPushButton*>()) {
            titles.append(button->text() + (button->isEnabled() ? QString() : QStringLiteral(" (disabled)")));
        }
        return titles;
    }

    std::unique_ptr<UpdatesPreferenceSection> section_;
};

// Moves a started controller to a phase through the engine's reports.
using Reach = std::function<void(UpdateController&, UpdateControllerKit&)>;

void found(UpdateController& c, UpdateControllerKit& kit, std::uint64_t bytes = 2'000'000)
{
    c.showUpdateFound(updateItem(QStringLiteral("2.0"), bytes), 0, kit.reply(QStringLiteral("found")));
}

struct StatusCase {
    const char* name;
    Reach reach;
    const char* title;
    const char* subtitle;
    QStringList buttons;
    int progress = -1; // of the bar, out of 1000; none when -1
};

class UpdatesStatusTest : public UpdatesSectionTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(UpdatesStatusTest, StatusRowFollowsThePhase)
{
    const StatusCase& row = GetParam();
    UpdateController& controller = started();
    UpdatesPreferenceSection& shown = section(controller);
    row.reach(controller, *this); // after building: the row follows changes

    EXPECT_EQ(shown.statusRow()->titleLabel()->text().toStdString(), row.title);
    EXPECT_EQ(shown.statusRow()->subtitleLabel()->text().toStdString(), row.subtitle);
    EXPECT_EQ(buttons(), row.buttons);
    ASSERT_EQ(shown.progressBar() != nullptr, row.progress >= 0);
    if (row.progress >= 0) {
        EXPECT_EQ(shown.progressBar()->value(), row.progress);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Phases, UpdatesStatusTest,
    ::testing::Values(
        StatusCase{"up to date, never checked", [](UpdateController&, UpdateControllerKit&) {},
                   "Pivra 1.0 is up to date", "Not checked yet.", {QStringLiteral("Check Now")}},
        StatusCase{"checking", [](UpdateController& c, UpdateControllerKit&) { c.checkNow(); },
                   "Checking for updates…", "Pivra 1.0", {QStringLiteral("Cancel")}},
        StatusCase{"available with size", [](UpdateController& c, UpdateControllerKit& k) { found(c, k); },
                   "Pivra 2.0 is available", "You have 1.0 · 2 MB download.", {QStringLiteral("Update Now")}},
        StatusCase{"available without size", [](UpdateController& c, UpdateControllerKit& k) { found(c, k, 0); },
                   "Pivra 2.0 is available", "You have 1.0.", {QStringLiteral("Update Now")}},
        StatusCase{"download starting",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k, 0);
                       c.showDownloadInitiated(k.block(QStringLiteral("cancel")));
                   },
                   "Downloading Pivra 2.0", "Starting…", {QStringLiteral("Cancel")}, 0},
        StatusCase{"downloading",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k);
                       c.showDownloadInitiated(k.block(QStringLiteral("cancel")));
                       c.showDownloadDidReceiveData(512'000);
                   },
                   "Downloading Pivra 2.0", "512 KB of 2 MB", {QStringLiteral("Cancel")}, 256},
        StatusCase{"unpacking",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k);
                       c.showExtractionReceivedProgress(0.5);
                   },
                   "Preparing Pivra 2.0", "Checking the update's signature.", {}, 500},
        StatusCase{"ready",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k);
                       c.showReadyToInstallAndRelaunch(k.reply(QStringLiteral("ready")));
                   },
                   "Pivra 2.0 is ready to install", "Pivra closes, updates and opens again in a few seconds.",
                   {QStringLiteral("Restart to Update")}},
        StatusCase{"installing",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k);
                       c.showInstallingUpdate(false, k.block(QStringLiteral("retry")));
                   },
                   "Installing Pivra 2.0…", "Pivra will open again by itself.", {}},
        StatusCase{"waiting to quit",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       found(c, k);
                       for (int report = 0; report < 3; ++report) {
                           c.showInstallingUpdate(false, k.block(QStringLiteral("retry")));
                       }
                   },
                   "Installing Pivra 2.0…", "Pivra needs to close to finish. It opens again by itself.",
                   {QStringLiteral("Restart Now")}},
        StatusCase{"failed",
                   [](UpdateController& c, UpdateControllerKit& k) {
                       c.showUpdaterError({updateErrorDomain, 1, QStringLiteral("The update's signature is not valid.")},
                                          k.block(QStringLiteral("ack")));
                   },
                   "The update didn't finish", "The update's signature is not valid.", {QStringLiteral("Try Again")}}),
    rowName);

TEST_F(UpdatesSectionTest, BuildsThatDoNotUpdateThemselvesSaySoAndDisableTheControls)
{
    for (const InstallKind kind : {InstallKind::buildTree, InstallKind::systemPackage}) {
        SCOPED_TRACE(static_cast<int>(kind));
        auto off = make({QStringLiteral("com.brindlecove.pivra"), kind, goodKey()});
        off->start();
        UpdatesPreferenceSection& shown = section(*off, QString());
        EXPECT_EQ(shown.statusRow()->titleLabel()->text(), QStringLiteral("Pivra —"));
        EXPECT_EQ(shown.statusRow()->subtitleLabel()->text(),
                  QStringLiteral("This build doesn't update itself. Release builds from pivra.app do."));
        EXPECT_EQ(buttons(), QStringList{QStringLiteral("Check Now (disabled)")});
        // Off and disabled as drawn: each switch looks like one that is.
        for (QCheckBox* shownSwitch : {shown.checksSwitch(), shown.downloadsSwitch()}) {
            EXPECT_TRUE(shownSwitch->isVisibleTo(&shown));
            const QImage drawn = shownSwitch->grab().toImage(); // laid out by now
            QCheckBox offAndDisabled(shownSwitch->parentWidget());
            offAndDisabled.setEnabled(false);
            offAndDisabled.setFixedSize(drawn.size());
            EXPECT_EQ(drawn, offAndDisabled.grab().toImage());
        }
        EXPECT_TRUE(shown.grab().save(rendersFolder() + QStringLiteral("/updates-not-updating-%1.png").arg(int(kind))));
    }
}

TEST_F(UpdatesSectionTest, SwitchesFollowAndDriveTheController)
{
    UpdateController& controller = started();
    UpdatesPreferenceSection& shown = section(controller);
    EXPECT_TRUE(shown.checksSwitch()->isChecked());
    EXPECT_TRUE(shown.downloadsSwitch()->isEnabledTo(&shown));

    shown.checksSwitch()->click();
    EXPECT_FALSE(controller.automaticallyChecks());
    EXPECT_FALSE(updater_->checks) << "the switch reaches the engine";
    EXPECT_TRUE(shown.checksSwitch()->isEnabledTo(&shown));
    EXPECT_FALSE(shown.downloadsSwitch()->isEnabledTo(&shown)) << "no automatic download without checks";
}

TEST_F(UpdatesSectionTest, NotesShowTheFirstSixOnlyWhileAvailable)
{
    UpdateController& controller = started();
    UpdatesPreferenceSection& shown = section(controller);
    AppcastItem release = updateItem(QStringLiteral("2.0"));
    for (int note = 1; note <= 9; ++note) {
        release.description += QStringLiteral("<li>Note %1</li>").arg(note);
    }
    controller.showUpdateFound(release, 0, reply(QStringLiteral("found")));
    ASSERT_NE(shown.notesBlock(), nullptr);
    QStringList texts;
    for (QLabel* label : shown.notesBlock()->findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("What's new in 2.0"), QStringLiteral("Note 1"), QStringLiteral("Note 2"),
                                  QStringLiteral("Note 3"), QStringLiteral("Note 4"), QStringLiteral("Note 5"),
                                  QStringLiteral("Note 6")}));

    controller.showReadyToInstallAndRelaunch(reply(QStringLiteral("ready")));
    EXPECT_EQ(shown.notesBlock(), nullptr);
}

TEST(UpdatesLastCheckedTest, NamesTheTimeSinceTheLastCheck)
{
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0));
    EXPECT_EQ(lastCheckedText(std::nullopt, now), QStringLiteral("Not checked yet."));
    EXPECT_EQ(lastCheckedText(now.addSecs(-300), now), QStringLiteral("Last checked 5 minutes ago."));
    EXPECT_EQ(lastCheckedText(now.addSecs(-3 * 3600), now), QStringLiteral("Last checked 3 hours ago."));
    EXPECT_EQ(lastCheckedText(now.addDays(-1), now), QStringLiteral("Last checked yesterday."));
    EXPECT_EQ(lastCheckedText(now.addDays(-14), now), QStringLiteral("Last checked 2 weeks ago."));
}

// An update under way in both schemes, saved for people to look at; the
// check here is that the card's button carries the accent of the scheme.
TEST_F(UpdatesSectionTest, RendersADownloadInBothSchemes)
{
    UpdateController& controller = started();
    AppcastItem release = updateItem(QStringLiteral("2.0"), 48'000'000);
    release.description = QStringLiteral("<li>Places grouped by city</li><li>Faster scrolling in large libraries</li>");
    controller.showUpdateFound(release, 0, reply(QStringLiteral("found")));
    const QPalette before = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(PivraAppearance::palette(dark));
        UpdatesPreferenceSection& shown = section(controller);
        shown.setPalette(PivraAppearance::palette(dark));
        shown.setAutoFillBackground(true);
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        EXPECT_TRUE(shown.grab().save(rendersFolder() + QStringLiteral("/updates-available-%1.png").arg(scheme)));
        controller.showDownloadInitiated(block(QStringLiteral("cancel")));
        controller.showDownloadDidReceiveData(18'000'000);
        shown.resize(560, shown.sizeHint().height()); // the notes are gone
        const QImage downloading = shown.grab().toImage();
        EXPECT_TRUE(downloading.save(rendersFolder() + QStringLiteral("/updates-downloading-%1.png").arg(scheme)));
        EXPECT_EQ(downloading.pixelColor(2, downloading.height() - 2).rgb(), PivraAppearance::canvas(dark).rgb());
        controller.dismissUpdateInstallation();
        controller.showUpdateFound(release, 0, reply(QStringLiteral("found")));
    }
    QApplication::setPalette(before);
}

} // namespace
} // namespace pivra::test
