#pragma once
// A store that has scanned a folder of real photos (and, when asked, two
// clips), a thumbnail store of the test's own, and viewers
// over its items whose callbacks are counted.

#include "store/StoreTestKit.h"

#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/runtime/Drain.h"
#include "style/motion/Motion.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"
#include "viewer/MediaViewer.h"
#include "viewer/photo/PhotoCanvas.h"

#include <QTest>

#include <map>
#include <memory>

namespace pivra::test {

class ViewerTest : public StoreTest {
protected:
    // Photos IMG_1 ... IMG_n, 1200 by 800, each a colour of its own, with a
    // camera, a place and a position.
    void openLibrary(int photos, bool withVideos = false)
    {
        Motion::shared().setOverride(true);
        makeFolder(QStringLiteral("Trip"));
        for (int index = 1; index <= photos; ++index) {
            const QString path = pathOf(QStringLiteral("Trip/IMG_%1.jpg").arg(index));
            ExifFields exif;
            exif.make = QStringLiteral("Canon");
            exif.model = QStringLiteral("EOS R5");
            exif.latitude = 48.8584;
            exif.longitude = 2.2945;
            exif.dateTimeOriginal = QStringLiteral("2024:05:%1 10:00:00").arg(index, 2, 10, QChar(u'0'));
            ASSERT_TRUE(makeJpeg(path, {1200, 800}, exif, photoColor(index)));
            ASSERT_TRUE(addIptc(path, {.city = QStringLiteral("Paris"), .country = QStringLiteral("France")}));
        }
        if (withVideos) {
            VideoFields fields;
            fields.location = QStringLiteral("+37.3349-122.0090+010.000/");
            fields.creationTime = QStringLiteral("2023-01-01T10:00:00Z");
            ASSERT_TRUE(makeVideo(pathOf(QStringLiteral("Trip/CLIP.mov")), fields));
            // The motion half of a Live Photo, paired by the test itself.
            ASSERT_TRUE(makeVideo(pathOf(QStringLiteral("Trip/MOTION.mov"))));
        }
        source_ = folderSourceAt(pathOf(QStringLiteral("Trip")));
        storeSources(encodeSources({source_}));
        LibraryServices services;
        services.inspector = std::make_shared<MetadataInspector>();
        store_ = makeStore(std::move(services));
        ASSERT_TRUE(drain());
        source_ = store_->sources().front();
    }

    void TearDown() override
    {
        viewer_.reset();
        if (store_) {
            EXPECT_TRUE(drain());
            store_.reset();
        }
        Motion::shared().setOverride(std::nullopt);
        StoreTest::TearDown();
    }

    static QColor photoColor(int index) { return QColor::fromHsv((index * 67) % 360, 200, 220); }

    const MediaItem& itemNamed(const QString& name) const
    {
        for (const MediaItem& item : *store_->items()) {
            if (item.name() == name) {
                return item;
            }
        }
        ADD_FAILURE() << "no item " << name.toStdString();
        static const MediaItem none;
        return none;
    }

    // The catalog's full row, as the store hands it to the viewer, with the
    // camera and metadata a gallery row leaves out.
    MediaItem fullItem(const QString& name) const
    {
        store_->openViewer(itemNamed(name));
        EXPECT_TRUE(drain());
        const MediaItem full = store_->viewerItem().value_or(MediaItem());
        store_->closeViewer();
        return full;
    }

    // A viewer of `item` in a window of `size`, shown, with the information
    // panel open from the start when `showInfo`, as the window opens it.
    MediaViewer& openViewer(const MediaItem& item, std::optional<LibrarySource> source, bool locked = false,
                            QSize size = {1200, 800}, bool showInfo = false)
    {
        ViewerCallbacks callbacks{
            .onClose = [this] { ++calls_["close"]; },
            .onPrevious = [this] { ++calls_["previous"]; },
            .onNext = [this] { ++calls_["next"]; },
            .onRotate = [this](int quarters) { rotations_.append(quarters); },
            .onFavorite = [this] { ++calls_["favorite"]; },
            .onToggleInfo = [this] { ++calls_["info"]; },
        };
        viewer_ = std::make_unique<MediaViewer>(item, source, locked, thumbnails_, MediaPasteboard(),
                                                std::move(callbacks));
        viewer_->setShowInfo(showInfo);
        viewer_->resize(size);
        viewer_->show();
        return *viewer_;
    }

    // Waits until the viewer's still has come, with or without a picture.
    bool waitForStill() const
    {
        return QTest::qWaitFor([this] { return viewer_->photoCanvas()->isLoaded(); }, 120000);
    }

    QImage render() const { return viewer_->grab().toImage(); }

    // Renders as the program's does, videos' poster frames included.
    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                               std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>())};
    std::unique_ptr<LibraryStore> store_;
    LibrarySource source_;
    std::unique_ptr<MediaViewer> viewer_;
    std::map<std::string, int> calls_;
    QList<int> rotations_;
};

} // namespace pivra::test
