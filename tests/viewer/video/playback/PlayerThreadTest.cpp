#include "viewer/video/playback/PlayerThread.h"

#include <QObject>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace pivra {
namespace {

// The player's objects let go of themselves with deleteLater(); an object
// let go of in a job must go while the thread lives, or a long viewing
// session keeps every pipeline it ever made.
TEST(PlayerThreadTest, AnObjectDeletedLaterInAJobGoesWhileTheThreadLives)
{
    PlayerThread thread(QStringLiteral("player under test"));
    // Shared: without the delivery the object goes only as the thread ends.
    const auto destroyed = std::make_shared<std::atomic<bool>>(false);
    thread.post([destroyed] {
        auto* object = new QObject;
        QObject::connect(object, &QObject::destroyed, [destroyed] { *destroyed = true; });
        object->deleteLater();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return destroyed->load(); }, 20000));
}

} // namespace
} // namespace pivra
