#include "app/launch/SingleInstance.h"
#include "support/system/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace pivra {
namespace {

class SingleInstanceTest : public test::TempFolderTest {
protected:
    QString serverName() const { return pathOf(QStringLiteral("instance")); }

    static ForwardedLaunch launched(QSignalSpy& spy)
    {
        EXPECT_TRUE(spy.count() > 0 || spy.wait(5000));
        return spy.isEmpty() ? ForwardedLaunch{} : spy.takeFirst().at(0).value<ForwardedLaunch>();
    }
};

TEST_F(SingleInstanceTest, ALaterLaunchReachesTheRunningOneAndLeaves)
{
    SingleInstance first(serverName());
    ASSERT_FALSE(first.forwardOrListen({{QStringLiteral("pivra")}, {}}));
    ASSERT_TRUE(first.isListening());
    QSignalSpy spy(&first, &SingleInstance::launched);

    const QString previous = QDir::currentPath();
    QDir::setCurrent(root());
    qputenv("XDG_ACTIVATION_TOKEN", "token-1");
    const ForwardedLaunch launch =
        SingleInstance::currentLaunch({QStringLiteral("pivra"), QStringLiteral("Trip.pivra"), QStringLiteral("/a/b")});
    qunsetenv("XDG_ACTIVATION_TOKEN");
    QDir::setCurrent(previous);
    EXPECT_EQ(launch.arguments, QStringList({QStringLiteral("pivra"), pathOf(QStringLiteral("Trip.pivra")),
                                             QStringLiteral("/a/b")}));

    for (int later = 0; later < 2; ++later) {
        SingleInstance second(serverName());
        EXPECT_TRUE(second.forwardOrListen(launch));
        EXPECT_FALSE(second.isListening());
        const ForwardedLaunch received = launched(spy);
        EXPECT_EQ(received.arguments, launch.arguments);
        EXPECT_EQ(received.activationToken, QByteArray("token-1"));
    }
}

TEST_F(SingleInstanceTest, ASocketLeftByADeadProgramDoesNotStopTheFirstLaunch)
{
    // A socket file bound by no listening program, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(serverName());
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(serverName()));

    SingleInstance first(serverName());
    EXPECT_FALSE(first.forwardOrListen({{QStringLiteral("pivra")}, {}}));
    EXPECT_TRUE(first.isListening());
    QSignalSpy spy(&first, &SingleInstance::launched);
    EXPECT_TRUE(SingleInstance(serverName()).forwardOrListen({{QStringLiteral("pivra"), QStringLiteral("/x.pivra")}, {}}));
    EXPECT_EQ(launched(spy).arguments.value(1), QStringLiteral("/x.pivra"));
}

// A program that has started to end takes no launch: the next one listens
// and opens its window. One whose socket file a later program took over
// (its own removed meanwhile) leaves that program's socket in place as it
// ends, so the launch after both still reaches the later program.
TEST_F(SingleInstanceTest, AProgramThatEndsTakesNoLaunchAndLeavesTheNextOnesSocket)
{
    const ForwardedLaunch launch{{QStringLiteral("pivra")}, {}};
    for (const bool socketTakenOver : {false, true}) {
        SCOPED_TRACE(socketTakenOver ? "its socket taken over" : "its own socket");
        auto ending = std::make_unique<SingleInstance>(serverName());
        ASSERT_FALSE(ending->forwardOrListen(launch));
        SingleInstance next(serverName());
        if (socketTakenOver) {
            ASSERT_TRUE(QFile::remove(serverName()));
            ASSERT_FALSE(next.forwardOrListen(launch));
            ending->stopListening();
        } else {
            ending->stopListening();
            EXPECT_FALSE(next.forwardOrListen(launch)) << "a launch was handed to the program that ends";
        }
        EXPECT_TRUE(next.isListening());
        ending.reset();
        QSignalSpy spy(&next, &SingleInstance::launched);
        EXPECT_TRUE(SingleInstance(serverName()).forwardOrListen(launch)) << "the next program's socket went";
        EXPECT_EQ(launched(spy).arguments, launch.arguments);
    }
}

// The program itself, started beside a running one, hands its shortcut over
// and exits at once.
TEST_F(SingleInstanceTest, TheProgramForwardsItsShortcutAndExits)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/pivra");
    if (!QFileInfo(program).isExecutable()) {
        GTEST_SKIP() << "the program is not built beside the tests";
    }
    const QString runtime = makeFolder(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SingleInstance first(QDir(runtime).filePath(QStringLiteral("pivra-instance")));
    ASSERT_FALSE(first.forwardOrListen({{QStringLiteral("pivra")}, {}}));
    QSignalSpy spy(&first, &SingleInstance::launched);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("HOME"), root());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(root());
    process.start(program, {QStringLiteral("Trip.pivra")});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_EQ(launched(spy).arguments.value(1), pathOf(QStringLiteral("Trip.pivra")));
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace
} // namespace pivra
