#include "app/launch/WindowGeometry.h"

#include "platform/AppSettings.h"
#include "support/desktop/OtherXClient.h"
#include "support/system/SettingsSandbox.h"
#include "support/desktop/XvfbChild.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <optional>

namespace pivra {
namespace {

TEST(WindowGeometryTest, AWindowIsFittedOntoItsScreenAndKeptUsable)
{
    const QRect screen(0, 0, 1600, 1000);
    const struct {
        QRect stored;
        QRect fitted;
    } rows[] = {
        {{100, 80, 1200, 760}, {100, 80, 1200, 760}},
        {{0, 0, 100000, 100000}, screen},
        {{0, 0, 1, 19}, {0, 0, 640, 400}},
        {{1500, 900, 800, 600}, {1500, 900, 800, 600}}, // beyond the corner, its top still in reach
        {{120, 60, 1600, 980}, {120, 60, 1600, 980}},    // as large as the screen, moved along it
        {{1550, 900, 800, 600}, {800, 400, 800, 600}},   // too little of its top on the screen
        {{300, 980, 800, 600}, {300, 400, 800, 600}},
        {{-5000, -5000, 800, 600}, {0, 0, 800, 600}},
        {{200, -10, 800, 600}, {200, 0, 800, 600}},
        {{1700, 50, 800, 600}, {800, 50, 800, 600}}, // wholly off to the right
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WindowGeometry::fitted(row.stored, screen), row.fitted);
    }
    EXPECT_EQ(WindowGeometry::fitted({0, 0, 1200, 760}, {0, 0, 500, 300}), QRect(0, 0, 500, 300))
        << "a screen smaller than the smallest window bounds it";
}

TEST(WindowGeometryTest, AHugeOrCutStoredGeometryOpensAWindowWithinTheScreen)
{
    const QTemporaryDir folder;
    const test::SettingsSandbox sandbox(folder.path());
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QByteArray huge;
    {
        QWidget earlier;
        earlier.setGeometry(0, 0, 100000, 100000);
        huge = earlier.saveGeometry();
    }
    const QSize standard = WindowGeometry::fitted({{}, WindowGeometry::standardSize}, available).size();
    const struct {
        QByteArray stored;
        std::optional<QSize> size; // none: any that fits
    } rows[] = {
        {huge, std::nullopt},
        {huge.left(huge.size() - 4), standard},
        {huge.left(20), standard},
        {"not a geometry", standard},
    };
    for (const auto& row : rows) {
        AppSettings().setValue(WindowGeometry::settingsKey, row.stored);
        QWidget window;
        WindowGeometry::restore(window);
        EXPECT_TRUE(available.contains(window.geometry())) << row.stored.size();
        EXPECT_EQ(window.size(), row.size.value_or(window.size())) << row.stored.size();
        EXPECT_GE(window.width(), std::min(WindowGeometry::smallestSize.width(), available.width()));
    }
}

// On an X server without a window manager, where a window has no frame,
// each launch opens the window where the one before closed: at the top of
// the screen where it first opened, or where another program moved it, as
// xdotool does where no window manager lets the user move it.
TEST(WindowGeometryTest, ARestoredWindowLandsWhereItWasOnARealXServer)
{
    if (!test::isXvfbChild()) {
        const test::XvfbRun run = test::runUnderXvfb(QStringLiteral("WindowGeometryTest.ARestoredWindow*"));
        if (!run.ran) {
            GTEST_SKIP() << "xvfb-run is not installed";
        }
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        return;
    }
    // Moved by another program along the screen, or so that the window
    // reaches past the screen's corner.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint pastTheCorner = screen.bottomRight() - QPoint(300, 200);
    for (const std::optional<QPoint> movedTo :
         {std::optional<QPoint>(), std::optional(QPoint(120, 60)), std::optional(pastTheCorner)}) {
        const QTemporaryDir folder;
        const test::SettingsSandbox sandbox(folder.path());
        std::optional<QRect> placed;
        for (int launch = 0; launch < 3; ++launch) {
            QMainWindow window;
            WindowGeometry::restore(window);
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            if (launch == 0 && movedTo) {
                test::OtherXClient().move(quint32(window.winId()), movedTo->x(), movedTo->y());
                ASSERT_TRUE(QTest::qWaitFor([&] { return window.mapToGlobal(QPoint()) == *movedTo; }));
            }
            const QRect shown(window.mapToGlobal(QPoint()), window.size());
            EXPECT_EQ(shown, placed.value_or(shown)) << "launch " << launch;
            placed = placed.value_or(shown);
            window.close();
            WindowGeometry::save(window);
        }
    }
}

} // namespace
} // namespace pivra
