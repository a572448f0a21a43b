// The appearance setting, the desktop's wishes and the palettes they choose.
#include "style/appearance/AppearanceController.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "platform/AppSettings.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"

#include <QApplication>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyle>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class FakeDesktop final : public DesktopSettings {
public:
    std::optional<bool> dark;
    std::optional<bool> reducedMotion;

    std::optional<bool> prefersDark() const override { return dark; }
    std::optional<bool> prefersReducedMotion() const override { return reducedMotion; }

    void say(std::optional<bool> newDark, std::optional<bool> newReduced = std::nullopt)
    {
        dark = newDark;
        reducedMotion = newReduced;
        Q_EMIT changed();
    }
};

class AppearanceTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        sandbox_.emplace(root());
    }
    void TearDown() override { Motion::shared().setDesktopPreference(std::nullopt); }

    // A controller over a desktop that answers `dark`; `desktop` stays usable.
    std::unique_ptr<AppearanceController> controller(std::optional<bool> dark)
    {
        auto fake = std::make_unique<FakeDesktop>();
        fake->dark = dark;
        desktop = fake.get();
        return std::make_unique<AppearanceController>(std::move(fake));
    }

    static bool paletteIsDark()
    {
        const QColor window = QApplication::palette().color(QPalette::Window);
        EXPECT_TRUE(window == PivraAppearance::darkCanvas || window == PivraAppearance::lightCanvas);
        return window == PivraAppearance::darkCanvas;
    }

    FakeDesktop* desktop = nullptr;

private:
    std::optional<test::SettingsSandbox> sandbox_;
};

TEST(ColorModeTest, RawValuesMatchExactly)
{
    for (const PivraColorMode mode : allColorModes) {
        EXPECT_EQ(colorModeFromRawValue(rawValue(mode)), mode);
    }
    EXPECT_EQ(rawValue(allColorModes[0]), "system");
    for (const char* other : {"Dark", "LIGHT", "", " dark", "bogus"}) {
        EXPECT_EQ(colorModeFromRawValue(QString::fromLatin1(other)), std::nullopt) << other;
    }
}

TEST_F(AppearanceTest, StoredAppearanceChoosesThePalette)
{
    struct Row {
        const char* stored; // nullptr: nothing stored
        std::optional<bool> desktopDark;
        bool dark;
    };
    const Row rows[] = {
        {nullptr, true, true},   {nullptr, std::nullopt, false}, {"system", true, true},
        {"system", false, false}, {"light", true, false},          {"dark", false, true},
        {"Dark", false, false},   {"Dark", true, true},           {"bogus", true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored ? row.stored : "(absent)");
        AppSettings settings;
        settings.remove(appearanceSettingKey);
        if (row.stored) {
            settings.setValue(appearanceSettingKey, QString::fromLatin1(row.stored));
        }
        settings.sync();
        const auto appearance = controller(row.desktopDark);
        EXPECT_EQ(appearance->isDark(), row.dark);
        EXPECT_EQ(paletteIsDark(), row.dark);
        const auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
        ASSERT_NE(style, nullptr);
        EXPECT_EQ(style->baseStyle()->name(), "fusion");
        // A text that is no mode is followed as "system" but kept as written.
        EXPECT_EQ(AppSettings().value(appearanceSettingKey).toString(),
                  row.stored ? QString::fromLatin1(row.stored) : QString());
    }
}

TEST_F(AppearanceTest, SystemModeFollowsTheDesktopAsItChanges)
{
    const auto appearance = controller(false);
    QSignalSpy schemes(appearance.get(), &AppearanceController::schemeChanged);
    desktop->say(true, true);
    EXPECT_TRUE(paletteIsDark());
    EXPECT_TRUE(Motion::reduced());
    desktop->say(true, false); // same scheme: nothing to redraw
    EXPECT_FALSE(Motion::reduced());
    desktop->say(std::nullopt); // the desktop stops answering: light
    EXPECT_FALSE(paletteIsDark());
    ASSERT_EQ(schemes.size(), 2);
    EXPECT_TRUE(schemes[0][0].toBool());
    EXPECT_FALSE(schemes[1][0].toBool());

    appearance->setMode(PivraColorMode::dark);
    EXPECT_EQ(AppSettings().value(appearanceSettingKey).toString(), "dark");
    desktop->say(false);
    EXPECT_TRUE(paletteIsDark());

    AppSettings().setValue(appearanceSettingKey, QStringLiteral("system"));
    appearance->reload();
    EXPECT_EQ(appearance->mode(), PivraColorMode::system);
    EXPECT_FALSE(paletteIsDark());
}

TEST(PaletteTest, PrimaryIsTheTextColourOfEachScheme)
{
    for (const bool dark : {false, true}) {
        const QPalette palette = PivraAppearance::palette(dark);
        EXPECT_EQ(PivraAppearance::isDark(palette), dark);
        const int text = dark ? 255 : 0;
        EXPECT_EQ(PivraAppearance::primary(palette, 0.06).rgba(), qRgba(text, text, text, 15));
        // A spring's overshoot at either end is held there.
        EXPECT_EQ(PivraAppearance::primary(palette, -0.003).alpha(), 0);
        EXPECT_EQ(PivraAppearance::primary(palette, 1.01).alpha(), 255);
        EXPECT_EQ(palette.color(QPalette::Window), PivraAppearance::canvas(dark));
    }
    EXPECT_EQ(PivraAppearance::darkPlaceholder.name(), "#292a2e");
    EXPECT_EQ(PivraAppearance::lightCanvas.name(), "#f6f7f8");
}

} // namespace
} // namespace pivra
