#pragma once

#include <QString>

#include <array>
#include <optional>

namespace pivra {

// The appearance the user picks in the preferences, stored under
// appearanceSettingKey as its raw value.
enum class PivraColorMode { system, light, dark };

inline constexpr std::array<PivraColorMode, 3> allColorModes{PivraColorMode::system, PivraColorMode::light,
                                                             PivraColorMode::dark};

inline const QString appearanceSettingKey = QStringLiteral("pivra.appearance");

QString rawValue(PivraColorMode mode);

// Exact, case-sensitive: "Dark" is no mode.
std::optional<PivraColorMode> colorModeFromRawValue(const QString& raw);

} // namespace pivra
