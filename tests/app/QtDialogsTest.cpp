#include "app/window/QtDialogs.h"
#include "support/desktop/ModalAnswer.h"
#include "support/system/TempFolder.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <gtest/gtest.h>

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

} // namespace
} // namespace pivra
