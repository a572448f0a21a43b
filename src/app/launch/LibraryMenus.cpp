#include "app/launch/LibraryMenus.h"

#include "app/launch/ProgramEnd.h"
#include "app/launch/UpdatesWiring.h"
#include "app/window/LibraryWindow.h"
#include "settings/PreferencesRouter.h"
#include "store/LibraryStore.h"
#include "store/updates/UpdateController.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace pivra {

LibraryMenus::LibraryMenus(LibraryStore& store, QMenuBar& bar)
    : QObject(&bar)
    , store_(store)
    , bar_(bar)
    , fileMenu_(bar.addMenu(QStringLiteral("&File")))
{
    QAction* addFolders = fileMenu_->addAction(QStringLiteral("Add a Folder or Disk…"));
    addFolders->setShortcut(QKeySequence::Open);
    connect(addFolders, &QAction::triggered, this, [this] { store_.addFolders(); });

    // An explicit Ctrl+R: the desktop's own refresh key differs between
    // desktops (F5 on some).
    rescan_ = fileMenu_->addAction(QStringLiteral("Rescan Libraries"));
    rescan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(rescan_, &QAction::triggered, this, [this] { store_.rescan(); });

    fileMenu_->addSeparator();
    // Ctrl+, as most desktops' programs have it; the standard key has none
    // on some.
    QAction* preferences = fileMenu_->addAction(QStringLiteral("Preferences…"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    connect(preferences, &QAction::triggered, this,
            [] { PreferencesRouter::shared().setRequest(PreferencesRouter::Pane::general); });
    fileMenu_->addAction(checkForUpdatesAction(UpdateController::shared(), PreferencesRouter::shared(), this));

    fileMenu_->addSeparator();
    quit_ = fileMenu_->addAction(QStringLiteral("Quit"));
    quit_->setShortcut(QKeySequence::Quit);
    quit_->setMenuRole(QAction::QuitRole);
    // Once the menu that was clicked has closed.
    connect(quit_, &QAction::triggered, this, &quitProgram, Qt::QueuedConnection);

    connect(&store_, &LibraryStore::availableCamerasChanged, this, &LibraryMenus::rebuildDeviceItems);
    rebuildDeviceItems();
}

void LibraryMenus::rebuildDeviceItems()
{
    qDeleteAll(deviceItems_);
    deviceItems_.clear();
    for (const AvailableCameraDevice& device : store_.availableCameras()) {
        auto* item = new QAction(u"Add " + device.name + u"…", fileMenu_);
        connect(item, &QAction::triggered, this, [this, id = device.id] { store_.addCamera(id); });
        fileMenu_->insertAction(rescan_, item);
        deviceItems_.append(item);
    }
}

void LibraryMenus::addViewMenu(LibraryWindow& window)
{
    viewMenu_ = bar_.addMenu(QStringLiteral("&View"));
    // The text after the tab is shown as the item's key without binding it.
    const auto add = [this](const QString& text, const QString& key, auto action) {
        QAction* item = viewMenu_->addAction(key.isEmpty() ? text : text + u'\t' + key);
        connect(item, &QAction::triggered, this, action);
        return item;
    };
    QList<QAction*> items{
        add(QStringLiteral("Close Viewer"), QStringLiteral("Esc"), [&window] { window.closeViewer(); }),
        add(QStringLiteral("Previous Item"), QStringLiteral("Left"), [this] { store_.navigateViewer(-1); }),
        add(QStringLiteral("Next Item"), QStringLiteral("Right"), [this] { store_.navigateViewer(1); }),
    };
    viewMenu_->addSeparator();
    items << add(QStringLiteral("Rotate Clockwise"), QStringLiteral("R"), [this] { store_.rotateViewer(1); })
          << add(QStringLiteral("Rotate Counterclockwise"), QStringLiteral("Shift+R"),
                 [this] { store_.rotateViewer(-1); })
          << add(QStringLiteral("Play or Pause"), QStringLiteral("Space"), [this] { store_.requestPlaybackToggle(); });
    QAction* favorite = add(QStringLiteral("Add to Favorites"), QString(), [this] {
        if (store_.viewerItem()) {
            store_.toggleFavorite(store_.viewerItem()->id());
        }
    });
    items << favorite;
    viewMenu_->addSeparator();
    QAction* information =
        add(QStringLiteral("Show Information"), QStringLiteral("I"), [&window] { window.setShowInfo(!window.showsInfo()); });
    information->setCheckable(true);
    connect(&window, &LibraryWindow::showsInfoChanged, information, &QAction::setChecked);
    items << information;

    const auto follow = [this, items, favorite] {
        const std::optional<MediaItem>& shown = store_.viewerItem();
        for (QAction* item : items) {
            item->setEnabled(shown.has_value());
        }
        favorite->setText(shown && shown->isFavorite() ? QStringLiteral("Remove from Favorites")
                                                       : QStringLiteral("Add to Favorites"));
    };
    connect(&store_, &LibraryStore::viewerItemChanged, this, follow);
    follow();
}

} // namespace pivra
