#include "app/window/QtDialogs.h"

#include "platform/folders/NearestFolder.h"
#include "style/controls/DialogBorder.h"

#include <QAbstractFileIconProvider>
#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace pivra {

namespace {

// Where Qt's file dialogs keep what they remember, and the folders in it
// that a dialog looks at as it is made: the one it was last in, its side
// bar's and its recent places.
const QString qtSettingsName = QStringLiteral("QtProject");
const QString lastVisitedKey = QStringLiteral("FileDialog/lastVisited");
const QString sideBarKey = QStringLiteral("FileDialog/shortcuts");
const QString recentPlacesKey = QStringLiteral("FileDialog/history");
const QStringList placeKeys = {lastVisitedKey, sideBarKey, recentPlacesKey};

// The folder an entry names (a file URL); empty for anything else, as
// "file:" for the computer's drives.
QString folderOfEntry(const QString& entry)
{
    const QString path = QUrl(entry).toLocalFile();
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

// Qt's settings without the entries that name a folder of `silentFolders`:
// taken out as this is made, and put back in their places by putBack(), into
// whatever the settings hold by then. A dialog reads them as it is made and
// writes its own over them as it goes, so putting back after each leaves the
// user's entries where they were; a program that ends while the dialog is
// open has had them back since the dialog was made.
class QtSettingsWithout {
public:
    explicit QtSettingsWithout(const QStringList& silentFolders)
    {
        if (silentFolders.isEmpty()) {
            return;
        }
        QSettings settings(QSettings::UserScope, qtSettingsName);
        for (const QString& key : placeKeys) {
            const QStringList entries = settings.value(key).toStringList();
            QStringList kept;
            for (qsizetype index = 0; index < entries.size(); ++index) {
                if (silentFolders.contains(folderOfEntry(entries[index]))) {
                    held_.push_back(Held{key, index, entries[index]});
                } else {
                    kept.append(entries[index]);
                }
            }
            if (kept.size() == entries.size()) {
                continue;
            }
            if (kept.isEmpty()) {
                settings.remove(key);
            } else {
                settings.setValue(key, kept);
            }
        }
    }

    QtSettingsWithout(const QtSettingsWithout&) = delete;
    QtSettingsWithout& operator=(const QtSettingsWithout&) = delete;

    // The last folder is put back only where no dialog wrote a later one.
    void putBack() const
    {
        if (held_.empty()) {
            return;
        }
        QSettings settings(QSettings::UserScope, qtSettingsName);
        for (const Held& held : held_) {
            if (held.key == lastVisitedKey) {
                if (!settings.contains(held.key)) {
                    settings.setValue(held.key, held.entry);
                }
                continue;
            }
            QStringList entries = settings.value(held.key).toStringList();
            entries.removeAll(QString());
            if (!entries.contains(held.entry)) {
                entries.insert(std::min(held.index, entries.size()), held.entry);
                settings.setValue(held.key, entries);
            }
        }
    }

private:
    struct Held {
        QString key;
        qsizetype index = 0; // in the list as it was
        QString entry;
    };
    std::vector<Held> held_;
};

// Gives no icon and never looks at a file: for a folder model that no view
// shows any more, whose dialog took its own icon provider with it.
class NoIcons final : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType) const override { return {}; }
    QIcon icon(const QFileInfo&) const override { return {}; }
    QString type(const QFileInfo&) const override { return {}; }
};

// Folder models waiting for their thread, kept where the process can reach
// them: those still held by a share when it ends are left to its end.
std::vector<QFileSystemModel*>& retiredModels()
{
    static auto* const models = new std::vector<QFileSystemModel*>;
    return *models;
}

// Lets a dialog of Qt's go at once, as the user left it.
//
// Its folder model lists folders on a thread of its own and its end waits for
// that thread, which a look at the mount point of a share that stopped
// answering holds until the share answers, and the GUI thread with it. The
// thread lists what it is asked in turn: the model goes once it has listed an
// empty folder of its own after all the rest (with no watch on folders,
// nothing asks it again).
//
// Qt keeps the last folder of its dialogs for the next one the process makes,
// which looks at it on the GUI thread before it goes where it is to open. The
// dialog ends in the empty folder, which is gone by then: the look finds
// nothing at once. Qt's settings are given what the dialog would have written
// where the user left it.
void endDialog(QFileDialog* dialog)
{
    auto* model = dialog->findChild<QFileSystemModel*>();
    auto empty = std::make_shared<QTemporaryDir>();
    if (model == nullptr || !empty->isValid()) {
        delete dialog;
        return;
    }
    QStringList recentPlaces;
    for (const QString& folder : dialog->history()) {
        recentPlaces.append(QUrl::fromLocalFile(folder).toString());
    }
    const QUrl visited = dialog->directoryUrl();

    static NoIcons* const noIcons = new NoIcons;
    model->setIconProvider(noIcons);
    model->setOption(QFileSystemModel::DontWatchForChanges);
    dialog->setDirectory(empty->path());
    model->setParent(nullptr);
    retiredModels().push_back(model);
    QObject::connect(model, &QFileSystemModel::directoryLoaded, model,
                     [model, empty, listed = model->rootPath()](const QString& path) {
                         if (path == listed) {
                             std::erase(retiredModels(), model);
                             model->deleteLater();
                         }
                     });
    delete dialog;

    QSettings settings(QSettings::UserScope, qtSettingsName);
    settings.setValue(recentPlacesKey, recentPlaces);
    settings.setValue(lastVisitedKey, visited.toString());
}

// Where photos are kept on this desktop when there is such a folder, else
// the home folder: never the folder the program happened to start in.
QString defaultFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

// The folder a dialog asked to open at `start` opens in: `start` while it is
// a folder, else its nearest existing ancestor, else home.
QString openingFolder(const QString& start)
{
    const QString nearest = nearestFolder(start);
    return nearest.isEmpty() ? QDir::homePath() : nearest;
}

// Makes Qt's dialog over `window`, titled `title`, in `folder`, while the
// places of Qt's settings in `silentPlaces` are out of them, has `setUp`
// dress it, and runs it: what the user chose, or none when the user
// cancelled or the window went meanwhile. It goes at once as the user left
// it. Made in the folder it opens in: one made without would first go to
// the folder Qt remembers, wherever that is now.
std::optional<QStringList> runDialog(QWidget* window, const QString& title, const QString& folder,
                                     const QStringList& silentPlaces, const std::function<void(QFileDialog&)>& setUp)
{
    const QtSettingsWithout settings(silentPlaces);
    QPointer<QFileDialog> dialog = new QFileDialog(window, title, folder);
    DialogBorder::addTo(*dialog);
    setUp(*dialog);
    settings.putBack();

    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (dialog == nullptr) {
        settings.putBack();
        return std::nullopt;
    }
    const QStringList chosen = dialog->selectedFiles();
    endDialog(dialog);
    settings.putBack();
    if (!accepted) {
        return std::nullopt;
    }
    return chosen;
}

// The folders of Qt's settings that a dialog looks at as it is made.
QStringList qtDialogPlaces()
{
    const QSettings settings(QSettings::UserScope, qtSettingsName);
    QStringList places;
    for (const QString& key : placeKeys) {
        for (const QString& entry : settings.value(key).toStringList()) {
            const QString folder = folderOfEntry(entry);
            if (!folder.isEmpty() && !places.contains(folder)) {
                places.append(folder);
            }
        }
    }
    return places;
}

} // namespace

std::optional<QStringList> QtFolderPicker::chooseFolders(const QString& message, bool several,
                                                         const QString& startPath)
{
    const QStringList silentPlaces = std::exchange(silentPlaces_, {});
    // A quit that came while the store looked at the start folder's disk
    // took the window: no dialog of its own outlives it.
    if (window_ == nullptr) {
        return std::nullopt;
    }
    // A start path that is no folder opens its nearest existing ancestor,
    // with its name typed in.
    const QString start = QDir::cleanPath(startPath.isEmpty() ? defaultFolder() : startPath);
    const QString folder = openingFolder(start);
    return runDialog(window_, message, folder, silentPlaces, [&](QFileDialog& dialog) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
        if (several) {
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
            }
        }
        if (folder != start) {
            dialog.selectFile(QDir(folder).filePath(QFileInfo(start).fileName()));
        }
    });
}

std::optional<QString> QtShortcutSavePicker::chooseShortcutFile(const QString& title, const QString& fileName,
                                                                 const QString& folder)
{
    const QStringList silentPlaces = std::exchange(silentPlaces_, {});
    if (window_ == nullptr) {
        return std::nullopt;
    }
    const QString opensIn = openingFolder(QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder));
    const std::optional<QStringList> chosen =
        runDialog(window_, title, opensIn, silentPlaces, [&](QFileDialog& dialog) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setNameFilter(QStringLiteral("Pivra library (*.pivra)"));
            dialog.setDefaultSuffix(QStringLiteral("pivra"));
            dialog.selectFile(QDir(opensIn).filePath(fileName));
        });
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    return chosen->first();
}

QStringList QtFolderPicker::placesShown() const
{
    return qtDialogPlaces();
}

QStringList QtShortcutSavePicker::placesShown() const
{
    return qtDialogPlaces();
}

} // namespace pivra
