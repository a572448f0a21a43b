// The library window drawn by a real X server: the test runs its own binary
// again under Xvfb, where the window is shown and the screen grabbed in both
// schemes into the build's renders/.
#include "WindowTestKit.h"

#include "style/appearance/PivraAppearance.h"
#include "app/window/LibraryWindow.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/Renders.h"
#include "support/desktop/XvfbChild.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class XvfbWindowTest : public test::WindowTest {};

QString screenshot(bool dark)
{
    return test::rendersFolder() + (dark ? u"/xvfb-window-dark.png" : u"/xvfb-window-light.png");
}

TEST_F(XvfbWindowTest, TheWindowFrameShowsOnARealXServerInBothSchemes)
{
    if (test::isXvfbChild()) {
        auto store = makeStore();
        ASSERT_TRUE(drain());
        {
            QMainWindow window;
            window.setCentralWidget(makeWindow(*store).release());
            window.setGeometry(0, 0, 1200, 760);
            for (const bool dark : {false, true}) {
                QApplication::setPalette(PivraAppearance::palette(dark));
                window.show();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
                // Grabbed until the server shows the sidebar painted in the scheme.
                const QPoint inSidebar = window.mapToGlobal(QPoint(100, 400));
                const QRgb canvas = PivraAppearance::canvas(dark).rgb();
                QImage screen;
                const bool painted = QTest::qWaitFor(
                    [&] {
                        screen = window.screen()->grabWindow(0).toImage();
                        return screen.pixel(inSidebar) == canvas;
                    },
                    10000);
                ASSERT_TRUE(screen.save(screenshot(dark)));
                EXPECT_TRUE(painted) << std::hex << screen.pixel(inSidebar) << " instead of " << canvas;
            }
        }
        ASSERT_TRUE(drain());
        return;
    }
    for (const bool dark : {false, true}) {
        QFile::remove(screenshot(dark));
    }
    const test::XvfbRun run = test::runUnderXvfb(QStringLiteral("XvfbWindowTest.*"));
    if (!run.ran) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
    for (const bool dark : {false, true}) {
        EXPECT_TRUE(QFile::exists(screenshot(dark)));
    }
}

} // namespace
} // namespace pivra
