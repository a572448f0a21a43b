#pragma once

#include "store/sources/FolderPicker.h"
#include "store/shortcuts/ShortcutSavePicker.h"

#include <QPointer>
#include <QWidget>

namespace pivra {

// The window's file dialogs for the store: folders to browse (directories
// only; several at once through Qt's own dialog, since the desktop's portal
// dialog returns one folder) and where a library shortcut goes. Each runs
// window-modal over `window` and lets the event loop run meanwhile.
//
// A start path that no longer exists (a source's folder that was moved or
// renamed) opens the folder dialog in its nearest existing ancestor, with the
// old folder's name proposed where the dialog takes one. Without a start path
// it opens in the user's Pictures folder, or home when there is none.
class QtFolderPicker final : public FolderPicker {
public:
    explicit QtFolderPicker(QWidget* window) : window_(window) {}

    std::optional<QStringList> chooseFolders(const QString& message, bool several,
                                             const QString& startPath) override;

private:
    QPointer<QWidget> window_;
};

class QtShortcutSavePicker final : public ShortcutSavePicker {
public:
    explicit QtShortcutSavePicker(QWidget* window) : window_(window) {}

    std::optional<QString> chooseShortcutFile(const QString& title, const QString& fileName,
                                              const QString& folder) override;

private:
    QPointer<QWidget> window_;
};

} // namespace pivra
