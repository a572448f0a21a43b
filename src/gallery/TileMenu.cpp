#include "gallery/TileMenu.h"

#include <QFileInfo>
#include <QMenu>

namespace pivra {

namespace {

// A device item has no file here; the test for a file is made when the menu
// opens, so a file deleted since the last scan is not offered.
bool isLocalFile(const MediaItem& item)
{
    const QString path = item.path();
    return !path.startsWith(u"pivra-camera://") && QFileInfo::exists(path);
}

} // namespace

QMenu* buildTileMenu(const MediaItem& item, const QList<Album>& albums, const std::optional<QUuid>& currentAlbum,
                     const GalleryCallbacks& callbacks, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QString id = item.id();
    const bool local = isLocalFile(item);
    QAction* copy = menu->addAction(QStringLiteral("Copy"), menu, [callbacks, item] {
        if (callbacks.onCopy) {
            callbacks.onCopy(item);
        }
    });
    copy->setEnabled(local);
    QAction* reveal = menu->addAction(QStringLiteral("Show in File Manager"), menu, [callbacks, item] {
        if (callbacks.onReveal) {
            callbacks.onReveal(item);
        }
    });
    reveal->setEnabled(local);
    menu->addSeparator();
    menu->addAction(item.isFavorite() ? QStringLiteral("Remove from Favorites") : QStringLiteral("Add to Favorites"),
                    menu, [callbacks, id] {
                        if (callbacks.onFavorite) {
                            callbacks.onFavorite(id);
                        }
                    });

    QMenu* albumMenu = menu->addMenu(QStringLiteral("Add to Album"));
    for (const Album& album : albums) {
        QAction* action = albumMenu->addAction(album.name);
        action->setData(album.id.toString(QUuid::WithoutBraces).toUpper());
        QObject::connect(action, &QAction::triggered, menu, [callbacks, id, action] {
            const QUuid albumID = QUuid::fromString(action->data().toString());
            if (!albumID.isNull() && callbacks.onAddToAlbum) {
                callbacks.onAddToAlbum(albumID, id);
            }
        });
    }
    if (!albums.isEmpty()) {
        albumMenu->addSeparator();
    }
    albumMenu->addAction(QStringLiteral("New Album…"), menu, [callbacks, id] {
        if (callbacks.onCreateAlbum) {
            callbacks.onCreateAlbum(id);
        }
    });

    if (currentAlbum) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("Remove from This Album"), menu, [callbacks, id, album = *currentAlbum] {
            if (callbacks.onRemoveFromAlbum) {
                callbacks.onRemoveFromAlbum(album, id);
            }
        });
    }
    return menu;
}

} // namespace pivra
