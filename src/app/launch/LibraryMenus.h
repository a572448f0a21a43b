#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace pivra {

class LibraryStore;
class LibraryWindow;

// The menu bar's commands over the library: the File menu adds folders and
// connected devices, rescans and asks for the preferences. Its device items follow the store's list of
// connected devices, in that order, between the two fixed items.
class LibraryMenus : public QObject {
    Q_OBJECT

public:
    // Fills `bar`, which owns everything made here.
    LibraryMenus(LibraryStore& store, QMenuBar& bar);

    QMenu* fileMenu() const { return fileMenu_; }
    // The File menu's last item, which ends the program.
    QAction* quitAction() const { return quit_; }

    // The View menu: the viewer's commands, usable while it shows an item.
    // Their keys belong to the window's key handler, so the menu only names
    // them.
    void addViewMenu(LibraryWindow& window);
    QMenu* viewMenu() const { return viewMenu_; }

private:
    void rebuildDeviceItems();

    LibraryStore& store_;
    QMenuBar& bar_;
    QMenu* fileMenu_;
    QMenu* viewMenu_ = nullptr;
    QAction* rescan_;
    QAction* quit_;
    QList<QAction*> deviceItems_;
};

} // namespace pivra
