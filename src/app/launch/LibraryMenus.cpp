#include "app/launch/LibraryMenus.h"

#include "store/LibraryStore.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

namespace pivra {

LibraryMenus::LibraryMenus(LibraryStore& store, QMenuBar& bar)
    : QObject(&bar)
    , store_(store)
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
    QAction* quit = fileMenu_->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

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

} // namespace pivra
