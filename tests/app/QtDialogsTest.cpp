#include "app/window/QtDialogs.h"
#include "platform/AppSettings.h"
#include "platform/runtime/Drain.h"
#include "store/FolderProbe.h"
#include "store/StoreTestKit.h"
#include "support/desktop/ModalAnswer.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>

namespace pivra {
namespace {

class QtDialogsTest : public test::TempFolderTest {};

using FileDialogAnswer = test::ModalAnswer<QFileDialog>;

TEST_F(QtDialogsTest, TheFolderDialogOffersFoldersOnlyAndSeveralWhenAskedAndCancelsAsNone)
{
    QWidget window;
    QtFolderPicker picker(&window);
    const QString trip = makeFolder(QStringLiteral("Trip"));
    {
        const FileDialogAnswer answer([&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
            EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Choose a folder"));
            const QList<QAbstractItemView*> views = dialog.findChildren<QAbstractItemView*>();
            EXPECT_FALSE(views.isEmpty());
            for (QAbstractItemView* view : views) {
                EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
            }
            dialog.reject();
        });
        EXPECT_FALSE(picker.chooseFolders(QStringLiteral("Choose a folder"), true, QString()));
    }

    const FileDialogAnswer answer([&](QFileDialog& dialog) {
        // Typed in, as the user does: selectFile() leaves the name box alone
        // once it has the focus, which a shown dialog gets when the window
        // system gets round to it.
        dialog.setDirectory(root());
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("Trip"));
        static_cast<QDialog&>(dialog).accept();
    });
    const std::optional<QStringList> chosen =
        picker.chooseFolders(QStringLiteral("Choose the folder for Trip."), false, QString());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, QStringList{trip});
}

TEST_F(QtDialogsTest, TheFolderDialogOpensAtTheStartFolderOrWhereAMissingOneWas)
{
    QWidget window;
    QtFolderPicker picker(&window);
    const QString trip = makeFolder(QStringLiteral("Photos/Trip"));
    struct Row {
        QString startPath;
        QString directory;
        QString proposed; // the file name typed in, if any
    };
    const Row rows[] = {
        {trip, trip, QString()},
        {trip + u"/", trip, QString()},
        {pathOf(QStringLiteral("Photos/Gone")), pathOf(QStringLiteral("Photos")), QStringLiteral("Gone")},
        {pathOf(QStringLiteral("Lost/Deeper/Gone")), root(), QStringLiteral("Gone")},
    };
    for (const Row& row : rows) {
        const FileDialogAnswer answer([&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.directory().absolutePath(), row.directory) << qPrintable(row.startPath);
            const QStringList selected = dialog.selectedFiles();
            EXPECT_EQ(selected, QStringList{row.proposed.isEmpty() ? row.directory
                                                                   : QDir(row.directory).filePath(row.proposed)})
                << qPrintable(row.startPath);
            dialog.reject();
        });
        EXPECT_FALSE(picker.chooseFolders(QStringLiteral("Choose the folder for Trip."), false, row.startPath));
    }

    // Without a start path: the user's Pictures folder, or home while there
    // is none; never the folder the program was started in.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", makeFolder(QStringLiteral("Home")).toUtf8());
    for (const char* made : {"Home", "Home/Pictures"}) {
        const QString expected = makeFolder(QString::fromUtf8(made));
        const FileDialogAnswer answer([&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.directory().absolutePath(), expected);
            dialog.reject();
        });
        EXPECT_FALSE(picker.chooseFolders(QStringLiteral("Choose a folder"), true, QString()));
    }
    qputenv("HOME", home);
}

TEST_F(QtDialogsTest, TheShortcutDialogProposesTheNameInTheFolderAndSavesAPivraFile)
{
    QWidget window;
    QtShortcutSavePicker picker(&window);
    const FileDialogAnswer answer([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("pivra"));
        EXPECT_EQ(dialog.directory().absolutePath(), root());
        static_cast<QDialog&>(dialog).accept();
    });
    const std::optional<QString> file =
        picker.chooseShortcutFile(QStringLiteral("Create library shortcut"), QStringLiteral("Trip.pivra"), root());
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, root() + QStringLiteral("/Trip.pivra"));
}

// The store's dialogs as the user meets them: the store and the window's own
// dialogs.
class StoreDialogsTest : public test::StoreTest {};

TEST_F(StoreDialogsTest, OpenAndCloseWhileAShareTheyWouldLookAtIsStopped)
{
    const QString home = makeFolder(QStringLiteral("Home"));
    const QString pictures = makeFolder(QStringLiteral("Home/Pictures"));
    const QString documents = makeFolder(QStringLiteral("Home/Documents"));
    const QString share = makeFolder(QStringLiteral("Home/Share"));
    makeFolder(QStringLiteral("Share files/Album"));
    test::TestMounts mounts;
    if (!mounts.bindThroughFuse(pathOf(QStringLiteral("Share files")), share,
                                test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    const auto homeBack = qScopeGuard([&] { qputenv("HOME", realHome); });
    const QString desktop = QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0);
    ASSERT_EQ(desktop, home + QStringLiteral("/Desktop"));
    const QString inShare = QUrl::fromLocalFile(share + QStringLiteral("/Album")).toString();
    const QString sideBar = QStringLiteral("FileDialog/shortcuts");
    const QString recent = QStringLiteral("FileDialog/history");

    QWidget window;
    QtFolderPicker folders(&window);
    QtShortcutSavePicker shortcuts(&window);
    auto store = makeStore(LibraryServices{.folderPicker = &folders,
                                           .shortcutSavePicker = &shortcuts,
                                           .probeFolder = &probeFolder,
                                           .probeTimeLimit = std::chrono::milliseconds(300)});
    ASSERT_TRUE(drain());
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    enum class Dialog { folders, shortcut };
    const struct {
        const char* name;
        Dialog dialog;
        QString lastChosen; // the folder the program's own folder dialog was last in
        QString desktop; // where the Desktop folder leads
        QString opensIn;
        QString render;
        bool visitsTheShareFirst = false; // in a dialog of the program's own, while it answers
    } rows[] = {
        {"remembered in the share", Dialog::folders, share + QStringLiteral("/Album"), documents, pictures,
         QStringLiteral("/folder-chooser-share-remembered.png")},
        {"its mount point listed", Dialog::folders, home, documents, home,
         QStringLiteral("/folder-chooser-share-listed.png")},
        {"last visited in the share", Dialog::folders, pictures, documents, pictures,
         QStringLiteral("/folder-chooser-share-visited.png"), true},
        {"shortcut beside places in the share", Dialog::shortcut, pictures, documents, desktop,
         QStringLiteral("/shortcut-share-places.png")},
        {"shortcut with the Desktop in the share", Dialog::shortcut, pictures, share, home,
         QStringLiteral("/shortcut-share-desktop.png")},
    };
    for (const auto& row : rows) {
        // Where Qt's dialogs were last, and the places they keep, as they
        // write them: all in the share.
        {
            QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
            qt.setValue(QStringLiteral("FileDialog/lastVisited"), inShare);
            qt.setValue(sideBar,
                        QStringList{QStringLiteral("file:"), QUrl::fromLocalFile(home).toString(), inShare});
            qt.setValue(recent, QStringList{inShare, QUrl::fromLocalFile(pictures).toString()});
        }
        AppSettings().setValue(LibraryStore::chooserFolderKey, row.lastChosen);
        QFile::remove(desktop);
        ASSERT_TRUE(QFile::link(row.desktop, desktop));
        const auto ask = [&] {
            if (row.dialog == Dialog::folders) {
                store->addFolders();
            } else {
                store->createShortcut(trip);
            }
        };
        if (row.visitsTheShareFirst) {
            const test::ModalAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
                dialog.setDirectory(share + QStringLiteral("/Album"));
                dialog.reject();
            });
            ask();
            EXPECT_TRUE(drain());
        }
        ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        {
            const test::ModalAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
                EXPECT_EQ(dialog.directory().absolutePath(), row.opensIn) << row.name;
                bool answered = false;
                QTimer::singleShot(0, &window, [&answered] { answered = true; });
                EXPECT_TRUE(QTest::qWaitFor([&answered] { return answered; })) << row.name;
                EXPECT_FALSE(mounts.resumedByItself(share)) << row.name;
                EXPECT_TRUE(dialog.grab().save(test::rendersFolder() + row.render));
                dialog.reject();
            });
            ask();
            EXPECT_TRUE(drain());
        }
        EXPECT_FALSE(mounts.resumedByItself(share)) << row.name;
        mounts.resume(share);
        // The places kept in the share are still the user's.
        const QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
        EXPECT_TRUE(qt.value(sideBar).toStringList().contains(inShare)) << row.name;
        EXPECT_TRUE(qt.value(recent).toStringList().contains(inShare)) << row.name;
    }
}

} // namespace
} // namespace pivra
