// The controller's state machine against a scripted engine and a clock that
// moves only when the test says so.
#include "store/updates/UpdateController.h"
#include "support/ParamNames.h"
#include "support/fakes/UpdateControllerKit.h"

#include <QDialog>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using Phase = UpdateController::Phase;
using Kind = Phase::Kind;
using namespace std::chrono_literals;

class UpdateControllerTest : public ::testing::Test, public UpdateControllerKit {};

struct GateCase {
    const char* name;
    const char* identifier;
    InstallKind install;
    std::optional<QString> key;
};

class UpdateGateTest : public UpdateControllerTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(UpdateGateTest, StaysOffWithoutMakingAnEngine)
{
    const GateCase& row = GetParam();
    auto controller = make({QString::fromUtf8(row.identifier), row.install, row.key});
    controller->start();
    EXPECT_FALSE(controller->isAvailable());
    EXPECT_EQ(made, 0);
    controller->checkNow();
    EXPECT_EQ(controller->phase(), Phase::idle());
}

const char* const appId = "com.brindlecove.pivra";

INSTANTIATE_TEST_SUITE_P(
    Builds, UpdateGateTest,
    ::testing::Values(
        GateCase{"other identifier", "org.example.pivra", InstallKind::selfUpdating, UpdateControllerKit::goodKey()},
        GateCase{"system package", appId, InstallKind::systemPackage, UpdateControllerKit::goodKey()},
        GateCase{"build tree", appId, InstallKind::buildTree, UpdateControllerKit::goodKey()},
        GateCase{"no key", appId, InstallKind::selfUpdating, std::nullopt},
        GateCase{"not base64", appId, InstallKind::selfUpdating, UpdateControllerKit::goodKey().left(40) + QStringLiteral("!!!!")},
        GateCase{"blank in key", appId, InstallKind::selfUpdating, UpdateControllerKit::goodKey().left(20) + u' ' + UpdateControllerKit::goodKey().mid(21)},
        GateCase{"unpadded key", appId, InstallKind::selfUpdating, UpdateControllerKit::goodKey().chopped(1)},
        GateCase{"31 bytes", appId, InstallKind::selfUpdating, QString::fromLatin1(QByteArray(31, 'k').toBase64())},
        GateCase{"33 bytes", appId, InstallKind::selfUpdating, QString::fromLatin1(QByteArray(33, 'k').toBase64())}),
    rowName);

TEST_F(UpdateControllerTest, StartsOnceAndChecksInTheBackgroundAfterFourSeconds)
{
    nextUpdater.lastCheck = QDateTime(QDate(2026, 12, 6), QTime(9, 0));
    nextUpdater.downloads = true;
    UpdateController& controller = started();
    controller.start();
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(controller.isAvailable());
    EXPECT_TRUE(controller.automaticallyDownloads());
    EXPECT_EQ(controller.lastChecked(), nextUpdater.lastCheck);
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].first, 4s);
    EXPECT_EQ(updater_->backgroundChecks, 0);
    runTimers();
    EXPECT_EQ(updater_->backgroundChecks, 1);
}

TEST_F(UpdateControllerTest, BackgroundCheckIsSkippedWhileASessionRunsAndAbsentWhenChecksAreOff)
{
    started();
    updater_->inSession = true;
    runTimers();
    EXPECT_EQ(updater_->backgroundChecks, 0);

    nextUpdater.checks = false;
    UpdateController& quiet = started();
    EXPECT_TRUE(timers.empty());
    EXPECT_FALSE(quiet.automaticallyChecks());
    quiet.setAutomaticallyChecks(true);
    EXPECT_TRUE(updater_->checks) << "the switch reaches the engine";
}

TEST_F(UpdateControllerTest, UpdateNowFromIdleChecksThenDownloadsAndInstallsWithoutAnotherClick)
{
    UpdateController& controller = started();
    controller.updateNow();
    EXPECT_EQ(controller.phase(), Phase::checking());
    EXPECT_EQ(updater_->userChecks, 1);

    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));
    const UpdateController::Release release = *controller.phase().release();
    EXPECT_EQ(controller.phase(), Phase::downloading(release, 0, 120));
    controller.showReadyToInstallAndRelaunch(reply(QStringLiteral("ready")));
    EXPECT_EQ(controller.phase(), Phase::installing(release));
    EXPECT_EQ(log, (std::vector<QString>{QStringLiteral("found 1"), QStringLiteral("sheets closed"),
                                                 QStringLiteral("ready 1")}));
    controller.checkNow();
    EXPECT_EQ(updater_->userChecks, 1) << "no check while an update is in hand";
}

TEST_F(UpdateControllerTest, UpdateNowWhenReadyAnswersOneHeldReplyInOrderOfPrecedence)
{
    UpdateController& controller = started();
    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 1, reply(QStringLiteral("found")));
    controller.showReadyToInstallAndRelaunch(reply(QStringLiteral("ready")));
    controller.updateNow();
    EXPECT_EQ(log, (std::vector<QString>{QStringLiteral("sheets closed"), QStringLiteral("ready 1")}));
    EXPECT_EQ(controller.phase().kind, Kind::installing);

    log.clear();
    controller.dismissUpdateInstallation(); // drops the found reply unanswered
    controller.willInstallUpdateOnQuit(updateItem(QStringLiteral("2.1")), block(QStringLiteral("install now")));
    controller.updateNow();
    EXPECT_EQ(log, (std::vector<QString>{QStringLiteral("sheets closed"), QStringLiteral("install now")}));

    log.clear();
    controller.willInstallUpdateOnQuit(updateItem(QStringLiteral("2.1")), {});
    controller.updateNow();
    EXPECT_EQ(controller.phase().kind, Kind::ready) << "nothing held: nothing happens";
}

TEST_F(UpdateControllerTest, InformationOnlyUpdateIsDismissedAtOnceAndOpensItsLink)
{
    UpdateController& controller = started();
    std::vector<QUrl> opened;
    QObject::connect(&controller, &UpdateController::openLink, [&](const QUrl& link) { opened.push_back(link); });
    controller.showUpdateFound(updateItem(QStringLiteral("3.0"), 0, true), 0, reply(QStringLiteral("found")));
    EXPECT_EQ(controller.phase().kind, Kind::available);
    EXPECT_EQ(log, std::vector<QString>{QStringLiteral("found 2")});

    controller.updateNow();
    EXPECT_EQ(controller.phase().kind, Kind::available) << "no download that never moves";
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QStringLiteral("https://pivra.app/releases/3.0"))});
}

TEST_F(UpdateControllerTest, DownloadProgressFollowsTheReports)
{
    UpdateController& controller = started();
    controller.showDownloadDidReceiveData(10);
    EXPECT_EQ(controller.phase(), Phase::idle()) << "ignored outside downloading";
    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, reply(QStringLiteral("found")));
    controller.showDownloadInitiated(block(QStringLiteral("cancel")));
    controller.showDownloadDidReceiveData(50);
    controller.showDownloadDidReceiveData(100);
    EXPECT_EQ(controller.phase().received, 150u);
    EXPECT_EQ(controller.phase().expected, 150u);
    controller.showDownloadDidReceiveExpectedContentLength(400);
    EXPECT_EQ(controller.phase().received, 150u);
    EXPECT_EQ(controller.phase().expected, 400u);

    controller.cancelUpdate();
    controller.cancelUpdate();
    EXPECT_EQ(log, std::vector<QString>{QStringLiteral("cancel")}) << "cancelled once, then forgotten";
}

struct DismissCase {
    const char* name;
    std::function<void(UpdateController&, UpdateControllerKit&)> reach;
    Kind after;
};

class UpdateDismissTest : public UpdateControllerTest, public ::testing::WithParamInterface<DismissCase> {};

TEST_P(UpdateDismissTest, KeepsOnlyResultsAndBackgroundUpdates)
{
    UpdateController& controller = started();
    GetParam().reach(controller, *this);
    controller.dismissUpdateInstallation();
    EXPECT_EQ(controller.phase().kind, GetParam().after);
    EXPECT_EQ(controller.phase().release().has_value(), GetParam().after == Kind::ready);
    controller.updateNow();
    EXPECT_TRUE(std::none_of(log.begin(), log.end(),
                             [](const QString& line) { return line.startsWith(u"held"); }))
        << "dismissed replies are never answered";
}

INSTANTIATE_TEST_SUITE_P(
    Phases, UpdateDismissTest,
    ::testing::Values(
        DismissCase{"up to date",
                    [](UpdateController& c, UpdateControllerKit& a) { c.showUpdateNotFound({}, a.block(QStringLiteral("ack"))); },
                    Kind::upToDate},
        DismissCase{"failed",
                    [](UpdateController& c, UpdateControllerKit& a) { c.showUpdaterError({}, a.block(QStringLiteral("ack"))); },
                    Kind::failed},
        DismissCase{"prepared in the background",
                    [](UpdateController& c, UpdateControllerKit& a) {
                        c.willInstallUpdateOnQuit(updateItem(QStringLiteral("2.0")), a.block(QStringLiteral("install")));
                    },
                    Kind::ready},
        DismissCase{"available",
                    [](UpdateController& c, UpdateControllerKit& a) {
                        c.showUpdateFound(updateItem(QStringLiteral("2.0")), 0, a.reply(QStringLiteral("held found")));
                    },
                    Kind::idle},
        DismissCase{"ready to relaunch",
                    [](UpdateController& c, UpdateControllerKit& a) {
                        c.showUpdateFound(updateItem(QStringLiteral("2.0")), 1, a.reply(QStringLiteral("held found")));
                        c.showReadyToInstallAndRelaunch(a.reply(QStringLiteral("held ready")));
                    },
                    Kind::idle}),
    rowName);

TEST_F(UpdateControllerTest, QuitIsRetriedTwiceThenLeftToTheUser)
{
    UpdateController& controller = started();
    runTimers(); // the launch check
    controller.showUpdateFound(updateItem(QStringLiteral("2.0")), 1, reply(QStringLiteral("found")));
    for (int report = 1; report <= 4; ++report) {
        controller.showInstallingUpdate(false, block(QStringLiteral("retry")));
        EXPECT_EQ(timers.size(), report <= 2 ? 1u : 0u) << "report " << report;
        EXPECT_EQ(controller.waitingToQuit(), report >= 3) << "report " << report;
        runTimers();
    }
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("retry")), 2);
    log.clear();
    controller.restartNow();
    controller.restartNow();
    EXPECT_EQ(log, (std::vector<QString>{QStringLiteral("sheets closed"), QStringLiteral("retry"),
                                                 QStringLiteral("sheets closed"), QStringLiteral("retry")}));
}

struct NotesCase {
    const char* name;
    QString description;
    QStringList notes;
};

class UpdateNotesTest : public ::testing::TestWithParam<NotesCase> {};

TEST_P(UpdateNotesTest, ListItemsBecomePlainNotes)
{
    AppcastItem release = updateItem(QStringLiteral("2.0"));
    release.description = GetParam().description;
    EXPECT_EQ(UpdateController::release(release).notes, GetParam().notes);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, UpdateNotesTest,
    ::testing::Values(
        NotesCase{"two items", QStringLiteral("<ul>\n<li>Faster <b>grid</b></li>\n<li>Maps &amp; places</li>\n</ul>"),
                  {QStringLiteral("Faster grid"), QStringLiteral("Maps & places")}},
        NotesCase{"ampersand decoded first", QStringLiteral("<li>a &amp;lt; b &quot;c&quot; &#39;d&#39;</li>"),
                  {QStringLiteral("a < b \"c\" 'd'")}},
        NotesCase{"no list", QStringLiteral("<p>Bug fixes.</p>"), {QStringLiteral("Bug fixes.")}},
        NotesCase{"only tags", QStringLiteral("<p> </p>\n<br/>"), {}},
        NotesCase{"no description", QString(), {}}),
    rowName);

TEST(UpdateErrorTextTest, NetworkErrorsNameTheHostWhateverTheirText)
{
    EXPECT_EQ(UpdateController::describe({updateNetworkErrorDomain, 3, QStringLiteral("Host not found")}),
              QStringLiteral("Pivra couldn't reach pivra.app. Check your internet connection and try again."));
    EXPECT_EQ(UpdateController::describe({updateErrorDomain, 1, {}}), QStringLiteral("The update couldn't be completed."));
    EXPECT_EQ(UpdateController::describe({updateErrorDomain, 1, QStringLiteral("Bad.")}), QStringLiteral("Bad."));
}

TEST(UpdateSheetsTest, ClosingSheetsRejectsOnlyWindowModalDialogs)
{
    QWidget window;
    window.show();
    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    QDialog other(&window);
    other.setWindowModality(Qt::NonModal);
    QSignalSpy rejected(&sheet, &QDialog::rejected);
    sheet.show();
    other.show();

    UpdateController::closeSheets();

    EXPECT_EQ(rejected.count(), 1);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_TRUE(other.isVisible());
}

} // namespace
} // namespace pivra::test
