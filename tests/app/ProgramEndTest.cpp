#include "app/launch/ProgramEnd.h"

#include "app/launch/SingleInstance.h"
#include "app/launch/WindowGeometry.h"
#include "app/quit/QuitRequests.h"
#include "app/quit/TerminationSignals.h"
#include "platform/AppSettings.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "platform/runtime/threads/Pool.h"
#include "support/files/VideoMaker.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TestMounts.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <memory>
#include <vector>

namespace pivra {
namespace {

// What a video player's pipeline does as it ends on its own thread: it asks
// the GUI thread something and waits for the answer.
struct AsksTheGuiThreadAsItEnds {
    QObject* guiObject;
    std::shared_ptr<std::atomic<bool>> answered;

    AsksTheGuiThreadAsItEnds(QObject* object, std::shared_ptr<std::atomic<bool>> flag)
        : guiObject(object), answered(std::move(flag))
    {
    }
    AsksTheGuiThreadAsItEnds(const AsksTheGuiThreadAsItEnds&) = delete;
    AsksTheGuiThreadAsItEnds& operator=(const AsksTheGuiThreadAsItEnds&) = delete;
    ~AsksTheGuiThreadAsItEnds()
    {
        std::promise<void> answer;
        QMetaObject::invokeMethod(
            guiObject,
            [&answer, answered = answered] {
                answered->store(true);
                answer.set_value();
            },
            Qt::QueuedConnection);
        answer.get_future().wait();
    }
};

// A view that hands such an object to the background releaser as it goes.
class ViewWithAPlayer final : public QWidget {
public:
    ViewWithAPlayer(QObject& guiObject, std::shared_ptr<std::atomic<bool>> answered, QWidget* parent)
        : QWidget(parent), guiObject_(guiObject), answered_(std::move(answered))
    {
    }
    ~ViewWithAPlayer() override
    {
        BackgroundReleaser::shared().release(
            std::make_shared<AsksTheGuiThreadAsItEnds>(&guiObject_, answered_));
    }

private:
    QObject& guiObject_;
    std::shared_ptr<std::atomic<bool>> answered_;
};

TEST(ProgramEndTest, TheWindowsViewsEndWhileTheGuiThreadStillAnswersThem)
{
    const QTemporaryDir folder;
    const test::SettingsSandbox settings(folder.path());
    QObject guiObject;
    const auto answered = std::make_shared<std::atomic<bool>>(false);
    auto window = std::make_unique<QMainWindow>();
    window->setCentralWidget(new ViewWithAPlayer(guiObject, answered, nullptr));
    window->show();
    SingleInstance instance(folder.filePath(QStringLiteral("instance")));

    endWindow(std::move(window), instance);
    EXPECT_TRUE(answered->load()) << "the view's player was left waiting for the GUI thread";
    ASSERT_TRUE(drain());
}

// The application goes right after the end has waited for the releases:
// by then none of them may still reach for it (its event dispatcher).
TEST(ProgramEndTest, OnceTheEndHasWaitedNoReleaseReachesForTheApplication)
{
    for (int round = 0; round < 1000; ++round) {
        BackgroundReleaser::shared().release(std::make_shared<int>(round));
        BackgroundReleaser::shared().finish();
        ASSERT_FALSE(detail::hasOutstandingWork()) << "round " << round;
    }
}

// The program's last moment: a scan's inspection still running on the pool
// and a player being let go that never ends, as a device that stopped
// answering holds one. The process ends with the program's status all the
// same; returning from main would have waited for the player for ever.
TEST(ProgramEndTest, TheProcessEndsWithoutWaitingForWorkStillRunning)
{
    if (qEnvironmentVariableIsSet("PIVRA_PROGRAM_END_CHILD")) {
        const auto never = std::make_shared<std::promise<void>>();
        auto waits = [future = never->get_future().share()] { future.wait(); };
        detail::startOnPool(PoolPriority::utility, waits);
        BackgroundReleaser::shared().release(std::shared_ptr<void>(nullptr, [waits](void*) { waits(); }));
        leaveProgram(7);
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PIVRA_PROGRAM_END_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ProgramEndTest.TheProcessEndsWithoutWaitingForWorkStillRunning")});
    ASSERT_TRUE(child.waitForFinished(60'000)) << "the process waited for its threads";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 7);
}

// The signals by which a session ends the program, SIGTERM twice as a
// session that repeats it: the real program, in a home of its own, ends as a
// quit does, its window's place stored.
TEST(ProgramEndTest, ASignalThatEndsTheSessionEndsTheProgramAsAQuit)
{
    const std::vector<std::pair<const char*, std::vector<int>>> sessionEnds{
        {"SIGTERM", {SIGTERM}}, {"SIGINT", {SIGINT}}, {"SIGHUP", {SIGHUP}}, {"SIGTERM twice", {SIGTERM, SIGTERM}}};
    for (const auto& [name, signals] : sessionEnds) {
        SCOPED_TRACE(name);
        const QTemporaryDir home;
        const QDir folder(home.path());
        for (const char* made : {"config", "data", "cache"}) {
            ASSERT_TRUE(folder.mkdir(QString::fromLatin1(made)));
        }
        ASSERT_TRUE(folder.mkdir(QStringLiteral("runtime")));
        QFile::setPermissions(folder.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), folder.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(PIVRA_PROGRAM), {});
        ASSERT_TRUE(program.waitForStarted());
        // Listening for later launches, the program runs.
        const QString listening = folder.filePath(QStringLiteral("runtime/pivra-instance"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(listening) || program.state() != QProcess::Running; },
                                    120'000));
        for (const int signal : signals) {
            ::kill(pid_t(program.processId()), signal);
        }
        ASSERT_TRUE(program.waitForFinished(120'000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QSettings settings(folder.filePath(QStringLiteral("config/Pivra/Pivra.conf")), QSettings::IniFormat);
        QWidget window;
        EXPECT_TRUE(window.restoreGeometry(settings.value(WindowGeometry::settingsKey).toByteArray()))
            << "the window's place was not stored";
    }
}

// The child's side of the test below: the program's quit as main() makes it,
// with a video playing from the share and a hover still being made when the
// share stops answering; the test's side stops it.
[[noreturn]] void quitWhileAShareHoldsTheVideo()
{
    const auto need = [](bool met, const char* what) {
        if (!met) {
            std::printf("child: %s\n", what);
            leaveProgram(2);
        }
    };
    const QString video = qEnvironmentVariable("PIVRA_SHARE_END_VIDEO");
    const test::SettingsSandbox settings(qEnvironmentVariable("PIVRA_SHARE_END_SETTINGS"));
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &quitProgram);
    SingleInstance instance(qEnvironmentVariable("PIVRA_SHARE_END_INSTANCE"));
    need(!instance.forwardOrListen(SingleInstance::currentLaunch(QCoreApplication::arguments())), "not the first");

    auto window = std::make_unique<QMainWindow>();
    auto* view = new QWidget;
    window->setCentralWidget(view);
    auto* player = new VideoPlaybackModel(view);
    auto* hover = new VideoHoverPreview(view);
    auto* quit = new QAction(window.get());
    quit->setShortcut(QKeySequence::Quit);
    window->addAction(quit);
    QObject::connect(quit, &QAction::triggered, quit, &quitProgram, Qt::QueuedConnection);
    const QuitRequests quitRequests(*window, *quit);
    window->show();
    window->activateWindow();
    need(QTest::qWaitForWindowActive(window.get()), "no active window");

    player->load(video, 20, true);
    hover->configure(video);
    hover->setRestDelay(std::chrono::milliseconds(0));
    need(QTest::qWaitFor([&] { return player->currentTime() > 1; }, 60'000), "never played");
    std::puts("playing");
    std::fflush(stdout);
    need(QTest::qWaitFor([&] { return fileCallInFlight({fileNameBytes(video)}); }, 60'000), "never held");
    hover->request(15);
    need(QTest::qWaitFor([&] { return hover->isDecoding(); }, 60'000), "no still being made");
    QTimer::singleShot(0, quit, [quit] {
        if (qEnvironmentVariable("PIVRA_SHARE_END_BY") == QLatin1String("SIGTERM")) {
            ::kill(::getpid(), SIGTERM);
        } else {
            quit->trigger();
        }
    });
    const int status = QApplication::exec();
    endWindow(std::move(window), instance);
    leaveProgram(status);
}

// A share that stops answering for good (a NAS switched off) while a video
// from it plays and a still of it is made for the bar's hover: the player's
// thread and the still's stay held in their calls on the video. A quit still
// ends the process, its window's place stored, while the share is stopped,
// and a launch after it finds no program to hand itself to: it opens its own
// window.
TEST(ProgramEndTest, AShareThatNeverAnswersHoldsNeitherTheQuitNorTheNextLaunch)
{
    if (qEnvironmentVariableIsSet("PIVRA_SHARE_END_VIDEO")) {
        quitWhileAShareHoldsTheVideo();
    }
    const QTemporaryDir folder;
    const QDir made(folder.path());
    ASSERT_TRUE(made.mkdir(QStringLiteral("disk")) && made.mkdir(QStringLiteral("share")));
    const QString share = made.filePath(QStringLiteral("share"));
    test::VideoFields fields;
    fields.size = {640, 360};
    fields.grain = true; // as large as a filmed video: playing reads on
    fields.withAudio = true;
    fields.codec = test::VideoCodec::h264;
    fields.frames = 20 * fields.framesPerSecond;
    const std::vector<QString> quits{QStringLiteral("Quit"), QStringLiteral("SIGTERM")};
    for (const QString& by : quits) {
        ASSERT_TRUE(test::makeVideo(made.filePath(QStringLiteral("disk/") + by + QStringLiteral(".mp4")), fields));
    }
    test::TestMounts mounts;
    if (!mounts.bindThroughFuse(made.filePath(QStringLiteral("disk")), share)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    for (const QString& by : quits) {
        SCOPED_TRACE(by.toStdString());
        const QString settings = made.filePath(QStringLiteral("settings-") + by);
        const QString server = made.filePath(QStringLiteral("instance-") + by);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PIVRA_SHARE_END_VIDEO"), share + QLatin1Char('/') + by + QStringLiteral(".mp4"));
        environment.insert(QStringLiteral("PIVRA_SHARE_END_SETTINGS"), settings);
        environment.insert(QStringLiteral("PIVRA_SHARE_END_INSTANCE"), server);
        environment.insert(QStringLiteral("PIVRA_SHARE_END_BY"), by);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=ProgramEndTest.AShareThatNeverAnswersHoldsNeitherTheQuitNorTheNextLaunch")});
        QByteArray output;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                output += child.readAllStandardOutput();
                return output.contains("playing\n") || child.state() == QProcess::NotRunning;
            },
            120'000));
        ASSERT_TRUE(output.contains("playing\n")) << output.toStdString();
        ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());

        // The limit is only how long a failing run takes to say so.
        const bool endedWhileStopped = child.waitForFinished(90'000) && !mounts.resumedByItself(share);
        mounts.resume(share);
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished();
        }
        output += child.readAllStandardOutput();
        ASSERT_TRUE(endedWhileStopped) << "the quit waited for the share\n" << output.toStdString();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        const test::SettingsSandbox sandbox(settings);
        QWidget window;
        EXPECT_TRUE(window.restoreGeometry(AppSettings().value(WindowGeometry::settingsKey).toByteArray()))
            << "the window's place was not stored";
        SingleInstance next(server);
        EXPECT_FALSE(next.forwardOrListen(SingleInstance::currentLaunch(QCoreApplication::arguments())))
            << "a launch was handed to the program that ended";
    }
}

} // namespace
} // namespace pivra
