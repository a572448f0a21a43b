#pragma once
// A store over temporary files, as in the store tests, and library windows
// over it that draw from thumbnail and clip stores of the test's own.

#include "store/StoreTestKit.h"

#include "style/motion/Motion.h"
#include "app/window/LibraryWindow.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"

#include <memory>

namespace pivra::test {

class WindowTest : public StoreTest {
protected:
    std::unique_ptr<LibraryWindow> makeWindow(LibraryStore& store)
    {
        return std::make_unique<LibraryWindow>(store, thumbnails_, clips_);
    }

    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                               std::make_shared<ThumbnailRenderer>()};
    VideoPreviewStore clips_{pathOf(QStringLiteral("clips"))};
};

// A view under test in `host_` over `store_`: every change takes effect at
// once, and at the end the view goes first, then the store, drained.
class ViewTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Motion::shared().setOverride(true);
    }
    void TearDown() override
    {
        host_.reset();
        if (store_) {
            EXPECT_TRUE(drain());
            store_.reset();
        }
        Motion::shared().setOverride(std::nullopt);
        WindowTest::TearDown();
    }

    std::unique_ptr<LibraryStore> store_;
    std::unique_ptr<QWidget> host_;
};

} // namespace pivra::test
