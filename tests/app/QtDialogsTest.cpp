#include "app/window/QtDialogs.h"
#include "support/TempFolder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace pivra {
namespace {

class QtDialogsTest : public test::TempFolderTest {};

// Answers the next file dialog that opens with `answer`.
void whenTheDialogOpens(std::function<void(QFileDialog&)> answer)
{
    QTimer::singleShot(0, [answer = std::move(answer)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        answer(*dialog);
    });
}

TEST_F(QtDialogsTest, TheFolderDialogOffersFoldersOnlyAndSeveralWhenAskedAndCancelsAsNone)
{
    QWidget window;
    QtFolderPicker picker(&window);
    const QString trip = makeFolder(QStringLiteral("Trip"));
    whenTheDialogOpens([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Choose a folder"));
        for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
            EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        }
        dialog.reject();
    });
    EXPECT_FALSE(picker.chooseFolders(QStringLiteral("Choose a folder"), true));

    whenTheDialogOpens([&](QFileDialog& dialog) {
        dialog.setDirectory(root());
        dialog.selectFile(trip);
        static_cast<QDialog&>(dialog).accept();
    });
    const std::optional<QStringList> chosen = picker.chooseFolders(QStringLiteral("Choose the folder for Trip."), false);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, QStringList{trip});
}

TEST_F(QtDialogsTest, TheShortcutDialogProposesTheNameInTheFolderAndSavesAPivraFile)
{
    QWidget window;
    QtShortcutSavePicker picker(&window);
    whenTheDialogOpens([&](QFileDialog& dialog) {
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
