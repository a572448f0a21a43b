#pragma once

#include <QString>
#include <gtest/gtest.h>

namespace pivra::test {

// A test of what happens at the system's limit of folder watches runs its own
// binary again, with only itself selected, in a user namespace of its own
// whose limit is lowered (inotify counts watches per user and namespace, so
// nothing else on the machine counts against it). Inside, isWatchLimitChild()
// is true and the limit is `watches`.
bool isWatchLimitChild();

// Runs the tests matching `filter` so: not run where no user namespace can be
// made or its limit set (the caller skips), else the child's exit code (-1
// when it did not finish in two minutes) and output.
struct WatchLimitRun {
    bool ran = false;
    int exitCode = -1;
    QString output;
};
WatchLimitRun runWithWatchLimit(const QString& filter, int watches);

// Opens the body of a test that runs under a limit of `watches`: outside the
// child it runs the test there, reports how that went (or skips where it
// cannot run) and returns; in the child the body goes on.
#define PIVRA_UNDER_WATCH_LIMIT(watches)                                                                           \
    if (!::pivra::test::isWatchLimitChild()) {                                                                     \
        const ::testing::TestInfo* test_ = ::testing::UnitTest::GetInstance()->current_test_info();                \
        const ::pivra::test::WatchLimitRun run_ = ::pivra::test::runWithWatchLimit(                                 \
            QString::fromLatin1(test_->test_suite_name()) + u'.' + QString::fromLatin1(test_->name()), watches);   \
        if (!run_.ran) {                                                                                          \
            GTEST_SKIP() << "no user namespace with a watch limit of its own can be made here";                   \
        }                                                                                                         \
        EXPECT_EQ(run_.exitCode, 0) << qPrintable(run_.output);                                                    \
        return;                                                                                                   \
    }

} // namespace pivra::test
