#pragma once
// A store over temporary files, as in the store tests, and library windows
// over it that draw from thumbnail and clip stores of the test's own.

#include "store/StoreTestKit.h"

#include "app/window/LibraryWindow.h"
#include "media/thumbnails/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"

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

} // namespace pivra::test
