#pragma once
// A shown map view with its photo layer over a thumbnail store in a
// temporary folder, and located photos to put on it.

#include "catalog/model/MapPhoto.h"
#include "map/view/MapView.h"
#include "map/photos/PhotoMap.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "support/fakes/GalleryItems.h"
#include "support/system/TempFolder.h"

#include <QUuid>

#include <memory>

namespace pivra::test {

class PhotoMapTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        view_ = std::make_unique<MapView>();
        view_->resize(800, 600);
        view_->show();
        photos_ = std::make_unique<PhotoMap>(*view_, thumbnails_);
    }
    void TearDown() override
    {
        photos_.reset();
        view_.reset();
    }

    // Photo `index` at a place, taken at `date` (larger is newer).
    MapPhoto photo(int index, double latitude, double longitude, double date = 0) const
    {
        return {galleryPhoto(source_, index, {400, 300}, date), latitude, longitude};
    }
    // The point of the view where a pin's frame shows.
    QPoint onPin(const PhotoMap::Pin& pin) const { return (photos_->screenPlace(pin) - QPointF(0, 35)).toPoint(); }
    std::shared_ptr<PhotoMap::Pin> pinOf(const MapPhoto& representative) const
    {
        return photos_->pins().value(representative.id());
    }

    QUuid source_ = QUuid::createUuid();
    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                               std::make_shared<ThumbnailRenderer>()};
    std::unique_ptr<MapView> view_;
    std::unique_ptr<PhotoMap> photos_;
};

} // namespace pivra::test
