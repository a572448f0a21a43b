#include "gallery/TileMenu.h"

#include "media/camera/CameraItemPaths.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/Task.h"

#include <QMenu>

namespace pivra {

namespace {

// The test for a file is made each time the menu opens, so a file deleted
// since the last scan is not offered; it runs off the GUI thread because a
// disk going away can hold a stat for seconds. The task ends with the menu.
Task<void> enableIfOnDisk(QAction* copy, QAction* reveal, QString path)
{
    // Awaited into a local: GCC 12 miscompiles a co_await inside an if condition.
    const bool found = co_await runOnPool(PoolPriority::userInitiated, &pathExists, path);
    if (found) {
        copy->setEnabled(true);
        reveal->setEnabled(true);
    }
}

} // namespace

QMenu* buildTileMenu(const MediaItem& item, bool sourceOnline, const QList<Album>& albums,
                     const std::optional<QUuid>& currentAlbum, const GalleryCallbacks& callbacks, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QString id = item.id();
    QAction* copy = menu->addAction(QStringLiteral("Copy"), menu, [callbacks, item] {
        if (callbacks.onCopy) {
            callbacks.onCopy(item);
        }
    });
    QAction* reveal = menu->addAction(QStringLiteral("Show in File Manager"), menu, [callbacks, item] {
        if (callbacks.onReveal) {
            callbacks.onReveal(item);
        }
    });
    copy->setEnabled(false);
    reveal->setEnabled(false);
    if (sourceOnline && !isCameraItem(item)) {
        startTask(menu, enableIfOnDisk(copy, reveal, item.path()));
    }
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
