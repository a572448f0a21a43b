#include "app/window/QtDialogs.h"

#include "platform/folders/NearestFolder.h"
#include "style/controls/DialogBorder.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace pivra {

namespace {

// Opens the dialog in `startPath` while it is a folder, else in its nearest
// existing ancestor with the missing folder's name typed in.
void openAt(QFileDialog& dialog, const QString& startPath)
{
    const QString folder = nearestFolder(startPath);
    if (folder.isEmpty()) {
        return;
    }
    dialog.setDirectory(folder);
    if (folder != QDir::cleanPath(startPath)) {
        dialog.selectFile(QFileInfo(startPath).fileName());
    }
}

// Where photos are kept on this desktop when there is such a folder, else
// the home folder: never the folder the program happened to start in.
QString defaultFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

} // namespace

std::optional<QStringList> QtFolderPicker::chooseFolders(const QString& message, bool several,
                                                         const QString& startPath)
{
    // A quit that came while the store looked at the start folder's disk
    // took the window: no dialog of its own outlives it.
    if (window_ == nullptr) {
        return std::nullopt;
    }
    QFileDialog dialog(window_, message);
    DialogBorder::addTo(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (several) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }
    openAt(dialog, startPath.isEmpty() ? defaultFolder() : startPath);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

std::optional<QString> QtShortcutSavePicker::chooseShortcutFile(const QString& title, const QString& fileName,
                                                                 const QString& folder)
{
    QFileDialog dialog(window_, title, folder.isEmpty() ? QString() : QDir(folder).filePath(fileName));
    DialogBorder::addTo(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Pivra library (*.pivra)"));
    dialog.setDefaultSuffix(QStringLiteral("pivra"));
    if (folder.isEmpty()) {
        dialog.selectFile(fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

} // namespace pivra
