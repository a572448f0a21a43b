// The library window drawn by a real X server: the test runs its own binary
// again under Xvfb, where the window is shown and the screen grabbed in both
// schemes into the build's renders/.
#include "WindowTestKit.h"

#include "style/PivraAppearance.h"
#include "app/window/LibraryWindow.h"
#include "platform/runtime/Drain.h"
#include "support/Renders.h"

#include <QApplication>
#include <QMainWindow>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
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
    if (qEnvironmentVariableIsSet("PIVRA_XVFB_CHILD")) {
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
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    for (const bool dark : {false, true}) {
        QFile::remove(screenshot(dark));
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PIVRA_XVFB_CHILD"), QStringLiteral("1"));
    environment.insert(QStringLiteral("PIVRA_TEST_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1400x900x24"),
                          QCoreApplication::applicationFilePath(),
                          QStringLiteral("--gtest_filter=XvfbWindowTest.*")});
    ASSERT_TRUE(child.waitForFinished(120'000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().constData();
    for (const bool dark : {false, true}) {
        EXPECT_TRUE(QFile::exists(screenshot(dark)));
    }
}

} // namespace
} // namespace pivra
