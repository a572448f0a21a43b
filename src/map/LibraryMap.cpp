#include "map/LibraryMap.h"

#include "map/MapEmptyCard.h"
#include "map/view/MapView.h"
#include "map/photos/PhotoMap.h"
#include "platform/AppSettings.h"

#include <QResizeEvent>

namespace pivra {

const QString LibraryMap::tileURLKey = QStringLiteral("pivra.map.tileURL");
const QString LibraryMap::satelliteURLKey = QStringLiteral("pivra.map.satelliteURL");

LibraryMap::LibraryMap(ThumbnailStore& thumbnails, QWidget* parent)
    : QWidget(parent), map_(new MapView(this)), photos_(new PhotoMap(*map_, thumbnails, this)), card_(new MapEmptyCard(this))
{
    setObjectName(QStringLiteral("libraryMap"));
    map_->setObjectName(QStringLiteral("photoMap"));
    connect(photos_, &PhotoMap::opened, this, &LibraryMap::opened);
    connect(photos_, &PhotoMap::selected, this, &LibraryMap::selected);
    card_->raise();
    applyTileSettings();
}

void LibraryMap::setPhotos(const std::vector<MapPhoto>& photos)
{
    photos_->setPhotos(photos);
    card_->setVisible(photos.empty());
}

void LibraryMap::setReadingLocations(bool reading)
{
    card_->setReading(reading);
    placeCard();
}

void LibraryMap::setInsets(int leading, int top)
{
    leading_ = leading;
    top_ = top;
    map_->setCoveredInsets(QMargins(leading, top, 0, 0));
    placeCard();
}

void LibraryMap::setMapFocus(const MapFocus& focus)
{
    photos_->show(focus);
}

void LibraryMap::setMapStyle(const QString& style)
{
    satellite_ = style == u"satellite";
    applyTileSettings();
}

void LibraryMap::applyTileSettings()
{
    const AppSettings settings;
    const QString url = settings.value(satellite_ ? satelliteURLKey : tileURLKey).toString().trimmed();
    map_->setTileURL(url);
    map_->setNotice(satellite_ && url.isEmpty() ? QStringLiteral("No satellite imagery source is configured.")
                                                : QString());
}

void LibraryMap::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    map_->setGeometry(rect());
    placeCard();
}

// Centred in the width right of the sidebar and the whole height.
void LibraryMap::placeCard()
{
    card_->adjustSize();
    const QSize size = card_->size();
    card_->move(leading_ + (width() - leading_ - size.width()) / 2, (height() - size.height()) / 2);
}

} // namespace pivra
