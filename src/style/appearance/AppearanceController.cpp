#include "style/appearance/AppearanceController.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/appearance/PivraStyle.h"
#include "style/appearance/PortalDesktopSettings.h"
#include "platform/AppSettings.h"

#include <QApplication>

namespace pivra {

AppearanceController::AppearanceController(std::unique_ptr<DesktopSettings> desktop, QObject* parent)
    : QObject(parent)
    , desktop_(desktop ? std::move(desktop) : std::make_unique<PortalDesktopSettings>())
{
    QApplication::setStyle(new PivraStyle);
    connect(desktop_.get(), &DesktopSettings::changed, this, [this] {
        Motion::shared().setDesktopPreference(desktop_->prefersReducedMotion());
        apply();
    });
    Motion::shared().setDesktopPreference(desktop_->prefersReducedMotion());
    reload();
}

void AppearanceController::setMode(PivraColorMode mode)
{
    AppSettings().setValue(appearanceSettingKey, rawValue(mode));
    reload();
}

void AppearanceController::reload()
{
    const QString stored = AppSettings().value(appearanceSettingKey, rawValue(PivraColorMode::system)).toString();
    mode_ = colorModeFromRawValue(stored).value_or(PivraColorMode::system);
    apply();
}

void AppearanceController::apply()
{
    bool dark = false;
    switch (mode_) {
    case PivraColorMode::system:
        dark = desktop_->prefersDark().value_or(false);
        break;
    case PivraColorMode::light:
        break;
    case PivraColorMode::dark:
        dark = true;
        break;
    }
    if (applied_ && dark == dark_) {
        return;
    }
    applied_ = true;
    dark_ = dark;
    QApplication::setPalette(PivraAppearance::palette(dark));
    Q_EMIT schemeChanged(dark);
}

} // namespace pivra
