#include "style/assets/PivraFonts.h"

#include "style/assets/BundledResources.h"

#include <QDir>
#include <QFontDatabase>

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

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(pixelSize);
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
