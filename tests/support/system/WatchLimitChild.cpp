#include "support/system/WatchLimitChild.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace pivra::test {

namespace {

const char* const limitVariable = "PIVRA_WATCH_LIMIT_CHILD";

} // namespace

bool isWatchLimitChild()
{
    return qEnvironmentVariableIsSet(limitVariable);
}

WatchLimitRun runWithWatchLimit(const QString& filter, int watches)
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty()) {
        return {};
    }
    // The limit is set from inside, before the test program starts.
    const QString program = QStringLiteral("echo %1 > /proc/sys/user/max_inotify_watches && exec \"$0\" \"$1\"")
                                .arg(watches);
    QProcess probe;
    probe.start(unshare, {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("sh"),
                          QStringLiteral("-c"), program, QStringLiteral("true"), QString()});
    if (!probe.waitForFinished(30'000) || probe.exitCode() != 0) {
        return {};
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(limitVariable), QString::number(watches));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(unshare, {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("sh"),
                          QStringLiteral("-c"), program, QCoreApplication::applicationFilePath(),
                          u"--gtest_filter=" + filter});
    const bool finished = child.waitForFinished(120'000);
    return {true, finished ? child.exitCode() : -1, QString::fromLocal8Bit(child.readAll())};
}

} // namespace pivra::test
