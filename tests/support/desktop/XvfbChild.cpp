#include "support/desktop/XvfbChild.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace pivra::test {

bool isXvfbChild()
{
    return qEnvironmentVariableIsSet("PIVRA_XVFB_CHILD");
}

XvfbRun runUnderXvfb(const QString& filter)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        return {};
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PIVRA_XVFB_CHILD"), QStringLiteral("1"));
    environment.insert(QStringLiteral("PIVRA_TEST_PLATFORM"), QStringLiteral("xcb"));
    // With no session bus named and an X display set, libdbus forks from Qt's
    // D-Bus thread to start a bus for that display; under AddressSanitizer
    // such a child can spin before it execs and hold the run until its
    // timeout. These runs have no bus to start, so they get an address that
    // fails at once.
    if (!environment.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"))) {
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/pivra-test-session-bus"));
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1400x900x24"),
                          QCoreApplication::applicationFilePath(), u"--gtest_filter=" + filter});
    const bool finished = child.waitForFinished(120'000);
    return {true, finished ? child.exitCode() : -1, QString::fromLocal8Bit(child.readAll())};
}

} // namespace pivra::test
