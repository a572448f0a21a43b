#pragma once

#include "style/appearance/DesktopSettings.h"
#include "style/appearance/PivraColorMode.h"

#include <QObject>

#include <memory>

namespace pivra {

// Gives the application its look: the Fusion style with the palette of the
// scheme the stored appearance asks for. "light" and "dark" force a scheme;
// "system", and any stored text that is no mode, follow the desktop and
// change with it. It also passes the desktop's reduced-motion wish to Motion.
// One per application, made at launch; GUI thread only.
class AppearanceController final : public QObject {
    Q_OBJECT

public:
    explicit AppearanceController(std::unique_ptr<DesktopSettings> desktop = nullptr, QObject* parent = nullptr);

    PivraColorMode mode() const { return mode_; }
    bool isDark() const { return dark_; }

    // Stores `mode` as the appearance and applies it.
    void setMode(PivraColorMode mode);

    // Reads the stored appearance again and applies it.
    void reload();

Q_SIGNALS:
    // The scheme changed; views that cache drawings in scheme colours redraw.
    void schemeChanged(bool dark);

private:
    void apply();

    std::unique_ptr<DesktopSettings> desktop_;
    PivraColorMode mode_ = PivraColorMode::system;
    bool dark_ = false;
    bool applied_ = false;
};

} // namespace pivra
