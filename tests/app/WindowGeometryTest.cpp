#include "app/launch/WindowGeometry.h"

#include "platform/AppSettings.h"
#include "support/SettingsSandbox.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
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
        {{1500, 900, 800, 600}, {800, 400, 800, 600}}, // half beyond the corner
        {{-5000, -5000, 800, 600}, {0, 0, 800, 600}},
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

} // namespace
} // namespace pivra
