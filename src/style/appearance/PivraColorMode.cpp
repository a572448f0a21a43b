#include "style/appearance/PivraColorMode.h"

namespace pivra {

QString rawValue(PivraColorMode mode)
{
    switch (mode) {
    case PivraColorMode::light:
        return QStringLiteral("light");
    case PivraColorMode::dark:
        return QStringLiteral("dark");
    case PivraColorMode::system:
        break;
    }
    return QStringLiteral("system");
}

std::optional<PivraColorMode> colorModeFromRawValue(const QString& raw)
{
    for (const PivraColorMode mode : allColorModes) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

} // namespace pivra
