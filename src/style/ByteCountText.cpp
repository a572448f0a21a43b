#include "style/ByteCountText.h"

#include <array>
#include <cmath>

namespace pivra {

namespace {

struct Unit {
    const char* name;
    int decimals;
};

constexpr std::array<Unit, 6> units{{{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};

} // namespace

QString byteCountText(std::int64_t bytes, const QLocale& locale)
{
    if (bytes == 0) {
        return QStringLiteral("Zero KB");
    }
    const std::int64_t magnitude = bytes < 0 ? -bytes : bytes;
    if (magnitude < 1000) {
        return locale.toString(bytes) + (magnitude == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    for (;;) {
        const double scale = std::pow(10.0, units[unit].decimals);
        const double rounded = std::round(value * scale) / scale;
        if (std::abs(rounded) < 1000 || unit + 1 == units.size()) {
            value = rounded;
            break;
        }
        value /= 1000;
        ++unit;
    }
    QString number = locale.toString(value, 'f', units[unit].decimals);
    if (units[unit].decimals > 0) {
        const QString point = locale.decimalPoint();
        while (number.endsWith(locale.zeroDigit())) {
            number.chop(1);
        }
        if (number.endsWith(point)) {
            number.chop(point.size());
        }
    }
    return number + QLatin1Char(' ') + QLatin1String(units[unit].name);
}

} // namespace pivra
