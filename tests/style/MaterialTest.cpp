// The frosted material of controls over the map: what lies beneath shows
// through blurred and tinted, and the control's text reads over any of it.
#include "style/appearance/Material.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/Renders.h"

#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

#include <algorithm>

namespace pivra {
namespace {

// Stands in for a crowd of photo pins: hard stripes of black, white and
// saturated colours, two pixels each.
class Stripes final : public QWidget {
public:
    QColor accent = Qt::red;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const std::array colours{QColor(Qt::black), QColor(Qt::white), accent};
        for (int x = 0; x < width(); x += 2) {
            painter.fillRect(x, 0, 2, height(), colours[std::size_t(x / 2) % colours.size()]);
        }
    }
};

// A control of material laid over the stripes.
class Frosted final : public QWidget {
public:
    Material material;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QPainterPath shape;
        shape.addRect(rect());
        material.paint(painter, *this, shape);
    }
};

double luminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

TEST(MaterialTest, WhatLiesBeneathShowsBlurredAndTextReadsOverAnyOfIt)
{
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QPalette palette = PivraAppearance::palette(dark);
        QWidget window;
        window.setPalette(palette);
        window.resize(300, 120);
        auto* stripes = new Stripes;
        stripes->setParent(&window);
        stripes->setGeometry(window.rect());
        auto* frosted = new Frosted;
        frosted->setParent(&window);
        frosted->setGeometry(40, 40, 220, 40);
        frosted->material.setBeneath(stripes);
        window.show();

        const auto shot = [&] {
            QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
            window.render(&image);
            return image.copy(frosted->geometry().adjusted(4, 4, -4, -4));
        };
        const QImage overRed = shot();
        stripes->accent = Qt::blue;
        const QImage overBlue = shot();
        overBlue.save(test::rendersFolder() + (dark ? u"/material-dark.png" : u"/material-light.png"));

        // Every pixel keeps the scheme's text readable, the stripes are
        // blurred into one another, and their colour still shows.
        const QColor text = palette.color(QPalette::WindowText);
        double darkest = 1;
        double brightest = 0;
        for (int y = 0; y < overRed.height(); ++y) {
            for (int x = 0; x < overRed.width(); ++x) {
                const QColor pixel = overRed.pixelColor(x, y);
                EXPECT_GE(contrast(pixel, text), 7.0) << x << "," << y;
                darkest = std::min(darkest, luminance(pixel));
                brightest = std::max(brightest, luminance(pixel));
            }
        }
        EXPECT_LT(brightest - darkest, 0.05);
        const QPoint middle(overRed.width() / 2, overRed.height() / 2);
        EXPECT_GT(overRed.pixelColor(middle).red() - overBlue.pixelColor(middle).red(), 8);

        // With nothing beneath it, the material is the tint alone.
        frosted->material.setBeneath(nullptr);
        stripes->hide();
        const QColor alone = shot().pixelColor(middle);
        EXPECT_GE(contrast(alone, text), 7.0);
    }
}

} // namespace
} // namespace pivra
