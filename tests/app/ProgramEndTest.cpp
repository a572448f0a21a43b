#include "app/launch/ProgramEnd.h"

#include "app/launch/SingleInstance.h"
#include "app/launch/WindowGeometry.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/Pool.h"
#include "support/system/SettingsSandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
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

} // namespace
} // namespace pivra
