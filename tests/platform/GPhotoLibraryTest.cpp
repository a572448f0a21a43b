#include "platform/cameras/GPhotoLibrary.h"

#include <QTemporaryDir>

#include <gphoto2/gphoto2.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pivra {
namespace {

// Each device has a thread of its own, and opening or closing one loads or
// unloads libgphoto2's driver and port modules through libltdl, whose module
// lists two threads must not change at once. Several devices coming and
// going together, here folders through the Directory Browse driver, must
// neither crash nor fail. Without the lock, three runs in four crash.
TEST(GPhotoLibraryTest, DevicesOpenAndCloseOnSeveralThreadsAtOnce)
{
    constexpr int devices = 8;
    constexpr int rounds = 100;
    std::vector<std::unique_ptr<QTemporaryDir>> folders;
    for (int device = 0; device < devices; ++device) {
        folders.push_back(std::make_unique<QTemporaryDir>());
        ASSERT_TRUE(folders.back()->isValid());
    }
    std::atomic<int> opened = 0;
    std::vector<std::thread> threads;
    for (int device = 0; device < devices; ++device) {
        threads.emplace_back([&, port = QString(QStringLiteral("disk:") + folders[std::size_t(device)]->path())] {
            GPContext* context = gp_context_new();
            for (int round = 0; round < rounds; ++round) {
                int result = GP_OK;
                if (Camera* camera = gphoto::openCamera(QStringLiteral("Directory Browse"), port, context, result)) {
                    ++opened;
                    gphoto::closeCamera(camera, context);
                }
            }
            gp_context_unref(context);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(opened, devices * rounds);
}

} // namespace
} // namespace pivra
