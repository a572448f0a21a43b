// The sidebar's update button: what it shows for each phase, what a click
// does, and its look.
#include "app/sidebar/UpdateSidebarButton.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "support/ParamNames.h"
#include "support/desktop/Renders.h"
#include "support/fakes/UpdateControllerKit.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using Phase = UpdateController::Phase;
using Icon = UpdateButtonFace::Icon;

const UpdateController::Release release{QStringLiteral("2.0"), {}, 8, std::nullopt};

struct FaceCase {
    const char* name;
    Phase phase;
    std::optional<UpdateButtonFace> face;
};

class UpdateButtonFaceTest : public ::testing::TestWithParam<FaceCase> {};

TEST_P(UpdateButtonFaceTest, ShowsTheStepWhileAnUpdateIsUnderWay)
{
    EXPECT_EQ(updateButtonFace(GetParam().phase), GetParam().face);
}

const QString download = QStringLiteral("Download and install Pivra 2.0");
const QString offer = QStringLiteral("Pivra 2.0 · Update Now");
const QString updating = QStringLiteral("Updating Pivra…");

INSTANTIATE_TEST_SUITE_P(
    Phases, UpdateButtonFaceTest,
    ::testing::Values(
        FaceCase{"idle", Phase::idle(), std::nullopt},
        FaceCase{"checking", Phase::checking(), std::nullopt},
        FaceCase{"up to date", Phase::upToDate(), std::nullopt},
        FaceCase{"failed", Phase::failed(QStringLiteral("No.")), std::nullopt},
        FaceCase{"available", Phase::available(release),
                 UpdateButtonFace{Icon::available, QStringLiteral("Update Available"), offer, download}},
        FaceCase{"download starting", Phase::downloading(release, 0, 0),
                 UpdateButtonFace{Icon::progress, updating, offer, download}},
        FaceCase{"three of eight bytes truncated", Phase::downloading(release, 3, 8),
                 UpdateButtonFace{Icon::progress, updating, QStringLiteral("Downloading 37%"), download, 0.375}},
        FaceCase{"all bytes", Phase::downloading(release, 8, 8),
                 UpdateButtonFace{Icon::progress, updating, QStringLiteral("Downloading 100%"), download, 1}},
        FaceCase{"unpacking", Phase::extracting(release, 0.4),
                 UpdateButtonFace{Icon::spinner, updating, QStringLiteral("Preparing 2.0"), download}},
        FaceCase{"ready", Phase::ready(release),
                 UpdateButtonFace{Icon::ready, QStringLiteral("Restart to Update"), QStringLiteral("Pivra 2.0 is ready"),
                                  QStringLiteral("Install Pivra 2.0 and reopen")}},
        FaceCase{"installing", Phase::installing(release),
                 UpdateButtonFace{Icon::spinner, QStringLiteral("Installing…"), QStringLiteral("Pivra will reopen"),
                                  download}}),
    rowName);

class UpdateSidebarButtonTest : public ::testing::Test, public UpdateControllerKit {
protected:
    void SetUp() override { Motion::shared().setOverride(true); }
    void TearDown() override { Motion::shared().setOverride(std::nullopt); }

    UpdateSidebarButton& button(UpdateController& controller)
    {
        host_ = std::make_unique<QWidget>();
        host_->resize(225, 80);
        button_ = new UpdateSidebarButton(controller, host_.get());
        button_->setGeometry(0, 0, 225, button_->sizeHint().height());
        return *button_;
    }

    std::unique_ptr<QWidget> host_;
    UpdateSidebarButton* button_ = nullptr;
};

TEST_F(UpdateSidebarButtonTest, AppearsWithAReleaseAndLeavesNoGapWithout)
{
    UpdateController& controller = started();
    UpdateSidebarButton& shown = button(controller);
    EXPECT_TRUE(shown.isHidden());
    EXPECT_EQ(shown.height(), 0);

    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.height() > 40; }));
    EXPECT_FALSE(shown.isHidden());
    EXPECT_EQ(shown.toolTip(), QStringLiteral("Download and install Pivra 2.0"));
    EXPECT_EQ(shown.accessibleName(), QStringLiteral("Update Available, Pivra 2.0"));

    controller.dismissUpdateInstallation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isHidden(); }));
    EXPECT_EQ(shown.height(), 0);
}

TEST_F(UpdateSidebarButtonTest, ClickGoesAheadOrFinishesTheRestart)
{
    UpdateController& controller = started();
    UpdateSidebarButton& shown = button(controller);
    QSignalSpy settings(&shown, &UpdateSidebarButton::updateSettingsRequested);
    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));
    shown.click();
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(log, std::vector<QString>{QStringLiteral("found 1")}) << "the download starts";
    EXPECT_EQ(controller.phase().kind, Phase::Kind::downloading);

    log.clear();
    controller.showInstallingUpdate(false, block(QStringLiteral("retry")));
    log.clear();
    shown.click();
    EXPECT_EQ(settings.count(), 1) << "installing never opens the preferences";
    EXPECT_EQ(log, (std::vector<QString>{QStringLiteral("sheets closed"), QStringLiteral("retry")}));
}

// Both schemes, resting and hovered, saved for people to look at; hovering
// deepens the fill and leaves the border alone.
TEST_F(UpdateSidebarButtonTest, HoverDeepensOnlyTheFillInBothSchemes)
{
    UpdateController& controller = started();
    UpdateSidebarButton& shown = button(controller);
    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));
    controller.showDownloadInitiated(block(QStringLiteral("cancel")));
    controller.showDownloadDidReceiveData(45);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.height() > 40; }));
    for (const bool dark : {false, true}) {
        host_->setPalette(PivraAppearance::palette(dark));
        host_->setAutoFillBackground(true);
        const QImage resting = host_->grab().toImage();
        QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
        QApplication::sendEvent(&shown, &enter);
        ASSERT_TRUE(shown.hovering());
        const QImage hovered = host_->grab().toImage();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&shown, &leave);
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        EXPECT_TRUE(resting.save(rendersFolder() + QStringLiteral("/update-button-%1.png").arg(scheme)));
        EXPECT_TRUE(hovered.save(rendersFolder() + QStringLiteral("/update-button-hovered-%1.png").arg(scheme)));
        const qreal ratio = resting.devicePixelRatio();
        const QPoint fill = QPoint(14, shown.height() / 2) * ratio;
        const QPoint border = QPoint(shown.width() / 2, 0) * ratio;
        EXPECT_NE(resting.pixelColor(fill), hovered.pixelColor(fill));
        EXPECT_EQ(resting.pixelColor(border), hovered.pixelColor(border));
        EXPECT_NE(resting.pixelColor(border), PivraAppearance::canvas(dark)) << "a border is drawn";
    }
}

} // namespace
} // namespace pivra::test
