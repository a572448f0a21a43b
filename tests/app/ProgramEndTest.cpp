#include "app/launch/ProgramEnd.h"

#include "app/launch/SingleInstance.h"
#include "app/launch/WindowGeometry.h"
#include "app/quit/QuitRequests.h"
#include "app/quit/TerminationSignals.h"
#include "catalog/model/Uuid.h"
#include "store/LibraryStore.h"
#include "store/StoreTestKit.h"
#include "platform/AppSettings.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "platform/runtime/threads/Pool.h"
#include "support/desktop/OtherXClient.h"
#include "support/desktop/OwnXServer.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"
#include "support/system/HeldLock.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TestMounts.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// A home of the real program's own, as a session gives it: its settings,
// data, caches and runtime folder.
class ProgramHome {
public:
    ProgramHome()
    {
        const QDir folder(home_.path());
        for (const char* made : {"config", "data", "cache", "runtime"}) {
            folder.mkdir(QString::fromLatin1(made));
        }
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path(const char* relative) const { return QDir(home_.path()).filePath(QString::fromLatin1(relative)); }
    QString catalog() const { return path("data/Pivra/Catalog.sqlite"); }
    QString lockFile() const { return catalog() + QStringLiteral(".lock"); }
    bool isListening() const { return QFile::exists(path("runtime/pivra-instance")); }
    QSettings settings() const { return {path("config/Pivra/Pivra.conf"), QSettings::IniFormat}; }

    // The library's one source, the folder at `folder`, online as the last
    // run left it.
    LibrarySource recordSource(const QString& folder) const
    {
        const LibrarySource source = test::folderSourceAt(folder);
        QSettings stored = settings();
        stored.setValue(LibraryStore::sourcesKey, encodeSources({source}));
        stored.setValue(LibraryStore::onlineSourcesKey, QStringList{uuidString(source.id)});
        return source;
    }

    // On the X server at `display` when one is given.
    std::unique_ptr<QProcess> start(const QString& display = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (!display.isEmpty()) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            environment.insert(QStringLiteral("DISPLAY"), display);
            // Else libdbus would start a bus for the display.
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               QStringLiteral("unix:path=/nonexistent/pivra-test-session-bus"));
        }
        environment.insert(QStringLiteral("HOME"), home_.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(environment);
        program->setProcessChannelMode(QProcess::ForwardedChannels);
        program->start(QStringLiteral(PIVRA_PROGRAM), {});
        EXPECT_TRUE(program->waitForStarted());
        return program;
    }

    // The limit is only how long a failing run takes to say so.
    void expectEndedAsAQuit(QProcess& program) const
    {
        ASSERT_TRUE(program.state() == QProcess::NotRunning || program.waitForFinished(120'000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        QWidget window;
        EXPECT_TRUE(window.restoreGeometry(settings().value(WindowGeometry::settingsKey).toByteArray()))
            << "the window's place was not stored";
    }

private:
    QTemporaryDir home_;
};

// Sends `signal` to the program while it has a process: a pid of 0 would
// name this process's whole group.
void signalProgram(const QProcess& program, int signal)
{
    if (const qint64 pid = program.processId(); pid > 0) {
        ::kill(pid_t(pid), signal);
    }
}

// Whether a thread of process `pid` sleeps in a call that names a file, as
// one does only on a disk that does not answer.
bool heldInAFileCall(qint64 pid)
{
    static const std::set<long> fileCalls{SYS_openat, SYS_newfstatat, SYS_statx, SYS_getdents64, SYS_readlinkat,
                                          SYS_faccessat, SYS_statfs};
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile call(tasks + u'/' + task + QStringLiteral("/syscall"));
        bool isNumber = false;
        const long number = call.open(QIODevice::ReadOnly) ? call.readAll().split(' ').value(0).toLong(&isNumber) : -1;
        if (isNumber && fileCalls.count(number) > 0) {
            return true;
        }
    }
    return false;
}

// Whether someone holds the flock on `file`.
bool isLocked(const QString& file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return locked;
}

// Whether the catalog at `path` holds a row of the file named `name`.
bool catalogHolds(const QString& path, const QString& name)
{
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        const QByteArray pattern = "%/" + name.toUtf8();
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM media WHERE path LIKE ?", -1, &statement, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(statement, 1, pattern.constData(), -1, SQLITE_TRANSIENT);
            found = sqlite3_step(statement) == SQLITE_ROW;
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return found;
}

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
        const ProgramHome home;
        const std::unique_ptr<QProcess> program = home.start();
        // Listening for later launches, the program runs.
        ASSERT_TRUE(QTest::qWaitFor([&] { return home.isListening() || program->state() != QProcess::Running; },
                                    120'000));
        for (const int signal : signals) {
            signalProgram(*program, signal);
        }
        home.expectEndedAsAQuit(*program);
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

// A quit at any moment of a start whose library's share stopped answering
// before its first look, by a signal or by Ctrl+Q in the window, each moment
// told by what the program has done by then: as it starts listening (and its
// window shows), while that look waits, once the look has been given up. The
// program ends as a quit does while the share is still stopped; before, a
// look still waiting as the library's store went, after the application,
// stopped the program.
TEST(ProgramEndTest, AQuitAtAnyMomentOfAStartWithAStoppedShareEndsAsAQuit)
{
    const QTemporaryDir folder;
    const QDir made(folder.path());
    ASSERT_TRUE(made.mkpath(QStringLiteral("disk/Library")) && made.mkdir(QStringLiteral("share")));
    ASSERT_TRUE(test::makeJpeg(made.filePath(QStringLiteral("disk/Library/a.jpg")), {64, 48}));
    const QString share = made.filePath(QStringLiteral("share"));
    test::TestMounts mounts;
    // Every look asks the server, so that the program's first one waits.
    if (!mounts.bindThroughFuse(made.filePath(QStringLiteral("disk")), share,
                                test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const test::OwnXServer screen;
    if (screen.display().isEmpty()) {
        GTEST_SKIP() << "no X server to type into";
    }
    test::OtherXClient desktop(screen.display());

    using Reached = bool (*)(const ProgramHome&, qint64 pid);
    const Reached listening = [](const ProgramHome& home, qint64) { return home.isListening(); };
    const Reached looking = [](const ProgramHome&, qint64 pid) { return heldInAFileCall(pid); };
    const Reached givenUp = [](const ProgramHome& home, qint64) {
        return home.settings().value(LibraryStore::onlineSourcesKey).toStringList().isEmpty();
    };
    struct Quit {
        const char* name;
        Reached moment;
        bool byKey;
    };
    const std::vector<Quit> quits{
        {"SIGTERM as it starts listening", listening, false},
        {"SIGTERM while its first look at the share waits", looking, false},
        {"SIGTERM once that look has been given up", givenUp, false},
        {"Ctrl+Q as its window shows", listening, true},
        {"Ctrl+Q while its first look at the share waits", looking, true},
    };
    for (const Quit& quit : quits) {
        SCOPED_TRACE(quit.name);
        const ProgramHome home;
        home.recordSource(share + QStringLiteral("/Library"));
        ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        const std::unique_ptr<QProcess> program = home.start(screen.display());
        std::optional<quint32> window;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                if (program->state() != QProcess::Running) {
                    return true;
                }
                window = desktop.shownWindowOf(program->processId());
                return quit.moment(home, program->processId()) && (window || !quit.byKey);
            },
            120'000));
        if (quit.byKey && window) {
            desktop.typeWithControl(*window, 'q');
        } else {
            signalProgram(*program, SIGTERM);
        }
        const bool endedWhileStopped = program->waitForFinished(90'000) && !mounts.resumedByItself(share);
        mounts.resume(share);
        EXPECT_TRUE(endedWhileStopped) << "the quit waited for the share";
        home.expectEndedAsAQuit(*program);
    }
}

// A launch while the catalog is still held: by a copy of the program that is
// ending, held up as it closes its catalog after it stopped taking launches,
// or by another program for two seconds. The launch waits for the catalog
// and opens its library: it indexes the photo added meanwhile. Before, it
// went without a catalog for the whole session.
TEST(ProgramEndTest, ALaunchWhileTheCatalogIsStillHeldOpensTheLibrary)
{
    for (const bool byAnEndingCopy : {true, false}) {
        SCOPED_TRACE(byAnEndingCopy ? "held by a copy that ends" : "held by another program");
        const ProgramHome home;
        const QString library = home.path("Library");
        ASSERT_TRUE(QDir().mkpath(library) && QDir().mkpath(home.path("data/Pivra")));
        ASSERT_TRUE(test::makeJpeg(library + QStringLiteral("/a.jpg"), {64, 48}));
        home.recordSource(library);
        std::unique_ptr<QProcess> ending;
        std::optional<test::HeldLock> other;
        if (byAnEndingCopy) {
            ending = home.start();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return catalogHolds(home.catalog(), QStringLiteral("a.jpg"))
                           || ending->state() != QProcess::Running;
                },
                120'000));
            signalProgram(*ending, SIGTERM);
            while (home.isListening() && ending->processId() > 0 && ::kill(pid_t(ending->processId()), 0) == 0) {
                ::usleep(200);
            }
            signalProgram(*ending, SIGSTOP);
            ASSERT_TRUE(isLocked(home.lockFile())) << "the copy closed its catalog before it was held up";
        } else {
            other.emplace(home.lockFile());
            ASSERT_TRUE(other->isHeld());
        }
        QElapsedTimer held;
        held.start();
        ASSERT_TRUE(test::makeJpeg(library + QStringLiteral("/b.jpg"), {64, 48}));
        const std::unique_ptr<QProcess> launch = home.start();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return test::holdsOpen(launch->processId(), home.lockFile()) || launch->state() != QProcess::Running;
            },
            120'000) && launch->state() == QProcess::Running)
            << "the launch did not wait for the catalog";
        if (ending) {
            signalProgram(*ending, SIGCONT);
            home.expectEndedAsAQuit(*ending);
        } else {
            QTest::qWait(int(std::max<qint64>(0, 2000 - held.elapsed())));
            other->letGo();
        }
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return catalogHolds(home.catalog(), QStringLiteral("b.jpg")) || launch->state() != QProcess::Running;
            },
            120'000) && launch->state() == QProcess::Running)
            << "the launch did not open its library";
        signalProgram(*launch, SIGTERM);
        home.expectEndedAsAQuit(*launch);
    }
}

} // namespace
} // namespace pivra
