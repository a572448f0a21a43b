// Every dialog of the window carries the hairline that sets it apart from
// the window behind it where no window manager frames it, in both schemes;
// each is rendered to the build's renders/.
#include "WindowTestKit.h"

#include "app/content/AlbumDialogs.h"
#include "app/window/QtDialogs.h"
#include "app/window/WindowAlerts.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/ModalAnswer.h"
#include "support/desktop/Renders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class DialogBordersTest : public test::ViewTest {};

// `look` is called with the dialog while it shows.
using Look = std::function<void(QWidget& dialog)>;

TEST_F(DialogBordersTest, EveryDialogStandsApartFromTheWindowBehindIt)
{
    store_ = makeStore();
    ASSERT_TRUE(drain());
    QWidget window;
    window.resize(1000, 700);
    window.show();
    AlertPresenter alerts(window);
    QtFolderPicker folders(&window);
    QtShortcutSavePicker shortcuts(&window);
    const struct {
        const char* name;
        std::function<void(const Look&)> open;
    } dialogs[] = {
        {"alert",
         [&](const Look& look) {
             alerts.present({QStringLiteral("Folder access needed"), QStringLiteral("Pivra can no longer read Trip."),
                             {QStringLiteral("Choose Folder\u2026"), QStringLiteral("Not now")}, [](int) {}});
             look(*alerts.current());
             alerts.current()->reject();
         }},
        {"album-name",
         [&](const Look& look) {
             AlbumNameDialog* dialog = presentAlbumEditor(*store_, window);
             look(*dialog);
             dialog->reject();
         }},
        {"folder",
         [&](const Look& look) {
             const test::ModalAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
                 look(dialog);
                 dialog.reject();
             });
             folders.chooseFolders(QStringLiteral("Choose a folder"), true, root());
         }},
        {"shortcut",
         [&](const Look& look) {
             const test::ModalAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
                 look(dialog);
                 dialog.reject();
             });
             shortcuts.chooseShortcutFile(QStringLiteral("Create library shortcut"), QStringLiteral("Trip.pivra"),
                                          root());
         }},
    };
    const QPalette before = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(PivraAppearance::palette(dark));
        const QRgb canvas = PivraAppearance::canvas(dark).rgb();
        for (const auto& dialog : dialogs) {
            const QString name =
                QStringLiteral("/dialog-%1-%2.png").arg(QLatin1String(dialog.name), dark ? u"dark" : u"light");
            SCOPED_TRACE(name.toStdString());
            bool looked = false;
            dialog.open([&](QWidget& shown) {
                looked = true;
                const QImage image = shown.grab().toImage();
                EXPECT_TRUE(image.save(test::rendersFolder() + name));
                EXPECT_EQ(image.pixel(image.width() / 2, 8), canvas) << "the dialog's own canvas";
                for (const QPoint edge : {QPoint(0, image.height() / 2), QPoint(image.width() - 1, image.height() / 2),
                                          QPoint(image.width() / 2, 0), QPoint(image.width() / 2, image.height() - 1)}) {
                    EXPECT_NE(image.pixel(edge), canvas) << edge.x() << "," << edge.y();
                }
            });
            EXPECT_TRUE(looked);
            ASSERT_TRUE(drain());
        }
    }
    QApplication::setPalette(before);
}

} // namespace
} // namespace pivra
