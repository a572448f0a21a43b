// A modal dialog stays above the window it blocks on an X server without a
// window manager: the test runs its own binary again under Xvfb.
#include "app/window/ModalStacking.h"
#include "app/window/WindowAlerts.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/desktop/OtherXClient.h"
#include "support/desktop/XvfbChild.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(ModalStackingTest, AModalDialogStaysAboveItsWindowWithoutAWindowManager)
{
    if (test::isXvfbChild()) {
        test::OtherXClient other;
        ASSERT_TRUE(other.isConnected());
        const ModalStacking stacking;
        QMainWindow window;
        window.setGeometry(0, 0, 1000, 700);
        AlertPresenter alerts(window);
        // Asked before the window is on screen, as a folder that went away
        // is at start.
        alerts.present({QStringLiteral("Folder access needed"), QStringLiteral("Pivra can no longer read Trip."),
                        {QStringLiteral("Choose Folder\u2026"), QStringLiteral("Not now")}, [](int) {}});
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QWidget& dialog = *alerts.current();
        const auto dialogOnTop = [&] { return other.isAbove(quint32(dialog.winId()), quint32(window.winId())); };
        test::EventLoopWatch watch;
        EXPECT_TRUE(watch.waitFor(dialogOnTop, 30000)) << "the window came up over its dialog";

        // Another program raises the window over its dialog.
        other.raise(quint32(window.winId()));
        EXPECT_TRUE(watch.waitFor(dialogOnTop, 30000)) << "the dialog stayed under the window it blocks";

        // A click on the window asks for the focus, as Qt does for a window
        // clicked where no window manager runs: the dialog takes it.
        bool windowFocused = false;
        const QMetaObject::Connection focus = QObject::connect(
            qApp, &QGuiApplication::focusWindowChanged,
            [&](const QWindow* focused) { windowFocused = windowFocused || focused == window.windowHandle(); });
        window.activateWindow();
        EXPECT_TRUE(watch.waitFor(
            [&] { return windowFocused && dialogOnTop() && QApplication::activeWindow() == &dialog; }, 30000))
            << "the window kept the focus its dialog blocks";
        QObject::disconnect(focus);
        return;
    }
    const test::XvfbRun run = test::runUnderXvfb(QStringLiteral("ModalStackingTest.*"));
    if (!run.ran) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
}

} // namespace
} // namespace pivra
