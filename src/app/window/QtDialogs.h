#pragma once

#include "store/sources/FolderPicker.h"
#include "store/shortcuts/ShortcutSavePicker.h"

#include <QPointer>
#include <QWidget>

namespace pivra {

// The window's file dialogs for the store: folders to browse (directories
// only; several at once through Qt's own dialog, since the desktop's portal
// dialog returns one folder) and where a library shortcut goes. Each runs
// window-modal over `window` and lets the event loop run meanwhile; a window
// that went while the store prepared the dialog opens none.
//
// A start path that no longer exists (a source's folder that was moved or
// renamed) opens the folder dialog in its nearest existing ancestor, with the
// old folder's name proposed where the dialog takes one. Without a start path
// it opens in the user's Pictures folder, or home when there is none. The
// shortcut dialog proposes its file in the folder it is given (its nearest
// existing ancestor) or home.
//
// Qt's dialog looks at folders on the GUI thread as it is made: the one it
// was last in, the one it opens in, and those of its side bar and its recent
// places (kept in the user's Qt settings, QtProject.conf, shared by every Qt
// program). It is made where it opens, and the places of the settings whose
// disk did not answer (avoidPlaces) are out of them while it is made, put
// back once it has read them. Its folder model lists the folder shown on a
// thread of its own, held as long as a share mounted there is silent; the
// dialog goes at once all the same, and the model once its thread is free.
class QtFolderPicker final : public FolderPicker {
public:
    explicit QtFolderPicker(QWidget* window) : window_(window) {}

    std::optional<QStringList> chooseFolders(const QString& message, bool several,
                                             const QString& startPath) override;
    QStringList placesShown() const override;
    void avoidPlaces(const QStringList& places) override { silentPlaces_ = places; }

private:
    QPointer<QWidget> window_;
    QStringList silentPlaces_; // for the next dialog only
};

class QtShortcutSavePicker final : public ShortcutSavePicker {
public:
    explicit QtShortcutSavePicker(QWidget* window) : window_(window) {}

    std::optional<QString> chooseShortcutFile(const QString& title, const QString& fileName,
                                              const QString& folder) override;
    QStringList placesShown() const override;
    void avoidPlaces(const QStringList& places) override { silentPlaces_ = places; }

private:
    QPointer<QWidget> window_;
    QStringList silentPlaces_; // for the next dialog only
};

} // namespace pivra
