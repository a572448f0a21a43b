#include "app/sidebar/SidebarLabels.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"

#include <QLabel>

namespace pivra {

namespace {

const char* const secondaryOpacity = "pivraSecondaryOpacity";

} // namespace

QLabel* secondaryLabel(const QString& text, const QFont& font, double opacity, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setProperty(secondaryOpacity, opacity);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void tintSecondary(QLabel* label, const QPalette& colours)
{
    const QVariant opacity = label->property(secondaryOpacity);
    if (opacity.isValid()) {
        QPalette tinted = label->palette();
        tinted.setColor(QPalette::WindowText, PivraAppearance::primary(colours, opacity.toDouble()));
        label->setPalette(tinted);
    }
}

QLabel* sidebarHeading(const QString& title, QWidget* parent)
{
    QFont font = PivraFonts::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    QLabel* heading = secondaryLabel(title, font, 0.5, parent);
    heading->setIndent(22);
    return heading;
}

} // namespace pivra
