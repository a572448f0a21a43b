// Originals dragged out of the viewer onto another application's window on a
// real X server: the test runs its own binary again under Xvfb, where the
// other application is a separate X client that takes the drop the way a
// file manager does, asking for the files once the drag's loop is over.
#include "gallery/drag/DeviceOriginalCopy.h"
#include "gallery/drag/MediaDragSurface.h"

#include "media/camera/CameraTestKit.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "support/desktop/XdndDropTarget.h"
#include "support/desktop/XvfbChild.h"

#include <QDrag>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace pivra::test {
namespace {

const QRect targetArea(800, 0, 400, 400);

// A connected phone holding one photo, a folder holding another, and the
// viewer's surface over the window's left part.
class XvfbDragOutTest : public CameraManagerTest {
protected:
    void SetUp() override
    {
        if (!isXvfbChild()) {
            return;
        }
        ASSERT_TRUE(temp.isValid());
        publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"), phoneBytes)});
        phonePhoto = published.front().front();
        const QString path = temp.filePath(QStringLiteral("photo one.jpg"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(folderBytes);
        folderPhoto.setPath(path);
        folderPhoto.setName(QStringLiteral("photo one.jpg"));
        pasteboard.setRefusedDropHandler(&surface,
                                         [this](const MediaPasteboard::RefusedDrop& drop) { refused << drop.item.name(); });
        surface.setGeometry(0, 0, 400, 300);
        surface.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));
    }

    // Drags `item` onto a new target, released once the target takes it and
    // `readyToDrop` holds; what the target was handed.
    QByteArray dragOntoAnotherApplication(const MediaItem& item, const std::function<bool(QDrag&)>& readyToDrop)
    {
        XdndDropTarget target(targetArea);
        EXPECT_TRUE(target.isShown());
        QWindow* window = surface.windowHandle();
        const QPoint overTarget = window->mapFromGlobal(targetArea.center());
        bool taken = false;
        QTimer steps;
        QElapsedTimer waited;
        waited.start();
        surface.setItem(item);
        surface.setCallbacks({.onStart = [&](const MediaItem&) {
            auto* drag = surface.findChild<QDrag*>();
            QObject::connect(drag, &QDrag::actionChanged, &steps,
                             [&](Qt::DropAction action) { taken = action == Qt::CopyAction; });
            QObject::connect(&steps, &QTimer::timeout, [&, drag] {
                if ((taken && readyToDrop(*drag)) || waited.hasExpired(10000)) { // then the checks below fail
                    steps.stop();
                    QTest::mouseRelease(window, Qt::LeftButton, {}, overTarget);
                } else {
                    QTest::mouseMove(window, overTarget);
                }
            });
            steps.start(20);
        }});
        QTest::mousePress(window, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(window, QPoint(120, 100)); // returns once the drag is over
        EXPECT_TRUE(QTest::qWaitFor([&] { return target.dropped().has_value(); }, 10000));
        // Qt lets the drag go once the other application says it is done;
        // until then the drag must stay to answer it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return surface.findChild<QDrag*>() == nullptr; }, 10000));
        return target.dropped().value_or("no answer").trimmed();
    }

    static QByteArray read(const QByteArray& uri)
    {
        QFile file(QUrl::fromEncoded(uri).toLocalFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static bool copyIs(QDrag& drag, DeviceOriginalCopy::State state)
    {
        return MediaPasteboard::deviceCopy(*drag.mimeData())->state() == state;
    }

    QTemporaryDir temp;
    const QByteArray folderBytes = QByteArrayLiteral("a folder's photo");
    const QByteArray phoneBytes = QByteArrayLiteral("a phone's photo");
    MediaPasteboard pasteboard{&manager, temp.filePath(QStringLiteral("Pivra Shared"))};
    ThumbnailStore thumbnails{ThumbnailLocations::under(temp.filePath(QStringLiteral("data")),
                                                        temp.filePath(QStringLiteral("cache"))),
                              std::make_shared<ThumbnailRenderer>()};
    MediaDragSurface surface{pasteboard, thumbnails};
    MediaItem folderPhoto;
    MediaItem phonePhoto;
    QStringList refused;
};

TEST_F(XvfbDragOutTest, AnotherApplicationGetsTheWholeOriginalOrNothing)
{
    if (!isXvfbChild()) {
        const XvfbRun run = runUnderXvfb(QStringLiteral("XvfbDragOutTest.*"));
        if (!run.ran) {
            GTEST_SKIP() << "xvfb-run is not installed";
        }
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        return;
    }
    const QByteArray folderFile = dragOntoAnotherApplication(folderPhoto, [](QDrag&) { return true; });
    EXPECT_EQ(folderFile, QUrl::fromLocalFile(folderPhoto.path()).toEncoded()) << "the original itself";

    const QByteArray phoneFile = dragOntoAnotherApplication(
        phonePhoto, [](QDrag& drag) { return copyIs(drag, DeviceOriginalCopy::State::ready); });
    EXPECT_EQ(read(phoneFile), phoneBytes) << "the phone's copy, whole";

    fake.setReadScript({.hold = true});
    EXPECT_EQ(dragOntoAnotherApplication(phonePhoto, [](QDrag&) { return true; }), QByteArray())
        << "a drop before the copy is whole gets nothing";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !refused.isEmpty(); }, 10000)) << "and the user is told";
    EXPECT_EQ(refused, QStringList{phonePhoto.name()});
    fake.releaseReads();
}

} // namespace
} // namespace pivra::test
