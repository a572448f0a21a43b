#include "style/assets/PivraFonts.h"

#include "style/assets/BundledResources.h"

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace pivra::PivraFonts {

void registerDisplayFont(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& file : dir.entryList({QStringLiteral("*.woff"), QStringLiteral("*.ttf")}, QDir::Files)) {
        QFontDatabase::addApplicationFont(dir.filePath(file));
    }
}

void registerDisplayFont()
{
    registerDisplayFont(bundledResource(QStringLiteral("fonts")));
}

QFont font(double pixelSize, QFont::Weight weight)
{
    QFont font;
    const int wholePixels = qRound(pixelSize);
    if (qFuzzyCompare(pixelSize, double(wholePixels))) {
        font.setPixelSize(wholePixels);
    } else {
        // Qt keeps pixel sizes whole, while a point size may be fractional:
        // at the screen's logical resolution these points are the pixels asked for.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dotsPerInch = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
        font.setPointSizeF(pixelSize * 72.0 / dotsPerInch);
    }
    font.setWeight(weight);
    return font;
}

QFont displayFont(int pixelSize, QFont::Weight weight)
{
    QFont display = font(pixelSize, weight);
    display.setFamilies({displayFamilyName});
    return display;
}

} // namespace pivra::PivraFonts
