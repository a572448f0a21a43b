#include "style/appearance/PivraAppearance.h"

#include <algorithm>

namespace pivra::PivraAppearance {

namespace {

struct Scheme {
    QColor window;
    QColor base;
    QColor button;
    QColor text;
    QColor accent;
};

QPalette makePalette(const Scheme& s)
{
    const QColor contrast = s.text == Qt::white ? QColor(Qt::black) : QColor(Qt::white);
    QPalette p;
    p.setColor(QPalette::Window, s.window);
    p.setColor(QPalette::Base, s.base);
    p.setColor(QPalette::AlternateBase, s.window);
    p.setColor(QPalette::Button, s.button);
    p.setColor(QPalette::ToolTipBase, s.base);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
        p.setColor(role, s.text);
        p.setColor(QPalette::Disabled, role, withOpacity(s.text, 0.45));
    }
    p.setColor(QPalette::PlaceholderText, withOpacity(s.text, 0.5));
    p.setColor(QPalette::BrightText, contrast);
    p.setColor(QPalette::Highlight, s.accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, s.accent);
    p.setColor(QPalette::LinkVisited, s.accent.darker(120));
    // Fusion draws bevels and frames from these.
    p.setColor(QPalette::Light, s.button.lighter(125));
    p.setColor(QPalette::Midlight, s.button.lighter(110));
    p.setColor(QPalette::Mid, s.button.darker(125));
    p.setColor(QPalette::Dark, s.button.darker(150));
    p.setColor(QPalette::Shadow, withOpacity(Qt::black, 0.4));
    return p;
}

} // namespace

QColor withOpacity(QColor colour, qreal opacity)
{
    colour.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return colour;
}

QPalette palette(bool dark)
{
    if (dark) {
        return makePalette({darkCanvas, rgb8(0.12, 0.122, 0.135), rgb8(0.19, 0.195, 0.21),
                            Qt::white, QColor(0x0A, 0x84, 0xFF)});
    }
    return makePalette({lightCanvas, Qt::white, rgb8(0.99, 0.99, 0.995), Qt::black,
                        QColor(0x00, 0x7A, 0xFF)});
}

QColor primary(const QPalette& palette, qreal opacity)
{
    return withOpacity(palette.color(QPalette::WindowText), opacity);
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

} // namespace pivra::PivraAppearance
