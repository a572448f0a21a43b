#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace pivra {

class LibraryStore;

// The menu bar's commands over the library: the File menu adds folders and
// connected devices and rescans. Its device items follow the store's list of
// connected devices, in that order, between the two fixed items.
class LibraryMenus : public QObject {
    Q_OBJECT

public:
    // Fills `bar`, which owns everything made here.
    LibraryMenus(LibraryStore& store, QMenuBar& bar);

    QMenu* fileMenu() const { return fileMenu_; }

private:
    void rebuildDeviceItems();

    LibraryStore& store_;
    QMenu* fileMenu_;
    QAction* rescan_;
    QList<QAction*> deviceItems_;
};

} // namespace pivra
