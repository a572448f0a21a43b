#include "app/window/QtDialogs.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>

namespace pivra {

std::optional<QStringList> QtFolderPicker::chooseFolders(const QString& message, bool several)
{
    QFileDialog dialog(window_, message);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (several) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

std::optional<QString> QtShortcutSavePicker::chooseShortcutFile(const QString& title, const QString& fileName,
                                                                 const QString& folder)
{
    QFileDialog dialog(window_, title, folder.isEmpty() ? QString() : QDir(folder).filePath(fileName));
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
