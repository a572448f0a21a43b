#include "catalog/scan/ParallelRuns.h"

#include "support/system/TempFolder.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace pivra {
namespace {

constexpr uid_t nobody = 65534;

class ParallelRunsTest : public test::TempFolderTest {
protected:
    // Runs `width` jobs that each try to open `file` once at least two
    // threads are at work, so helpers surely take part; how many opened it.
    static int opensOf(const QString& file, int width)
    {
        std::mutex lock;
        std::condition_variable joined;
        std::set<std::thread::id> threads;
        std::atomic<int> opened = 0;
        std::vector<std::function<void()>> jobs(std::size_t(width), [&] {
            {
                std::unique_lock guard(lock);
                threads.insert(std::this_thread::get_id());
                joined.notify_all();
                joined.wait_for(guard, std::chrono::seconds(10), [&] { return threads.size() >= 2; });
            }
            const int descriptor = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
            if (descriptor >= 0) {
                ++opened;
                ::close(descriptor);
            }
        });
        runInParallel(jobs, width);
        EXPECT_GE(threads.size(), 2u) << "no helper took part";
        return opened;
    }
};

// Linux keeps the identity files are opened under per thread: a helper made
// while root must not open, for a caller that is not, what the caller may
// not open, and must be root again for the next caller that is.
TEST_F(ParallelRunsTest, HelpersOpenFilesAsTheThreadWhoseJobsTheyShare)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "changing the identity files are opened under needs root";
    }
    const QString file = writeFile(QStringLiteral("closed/photo.jpg"), "x");
    ASSERT_TRUE(QFile::setPermissions(pathOf(QStringLiteral("closed")), QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(opensOf(file, 8), 8) << "the helpers, made by root";

    int opensAsNobody = -1;
    std::thread([&] {
        ::setfsgid(nobody);
        ::setfsuid(nobody);
        opensAsNobody = opensOf(file, 8);
    }).join();
    EXPECT_EQ(opensAsNobody, 0);
    EXPECT_EQ(opensOf(file, 8), 8) << "the helpers took their own identity back";
}

} // namespace
} // namespace pivra
