#include "media/pictures/OpaqueScaling.h"

#include <QPainter>
#include <QTransform>
#include <gtest/gtest.h>

#include <cstdlib>

namespace pivra {
namespace {

// Four plain quarters, so that where each lands shows the turn, and their
// middles keep their exact colours whatever the filter.
const QColor quarters[2][2] = {{Qt::red, Qt::green}, {Qt::blue, Qt::white}};

QImage quarteredImage(QImage::Format format)
{
    QImage image(40, 30, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            painter.fillRect(column * 20, row * 15, 20, 15, quarters[row][column]);
        }
    }
    painter.end();
    return image.convertToFormat(format);
}

int difference(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// Every source format and turn, shrinking and growing, smooth and rough:
// the picture lands turned inside its place, nothing outside it changes,
// the quarters keep their colours, and a smooth picture is close to what
// Qt's own scaling and turning make.
TEST(OpaqueScalingTest, ScalesAndTurnsIntoItsPlaceAsQtWould)
{
    const QPoint at(5, 7);
    for (const QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_Grayscale8}) {
        const QImage source = quarteredImage(format);
        ASSERT_TRUE(scalesOpaque(source));
        const QImage expectedSource = source.convertToFormat(QImage::Format_RGB32);
        for (const QSize size : {QSize(20, 15), QSize(31, 23), QSize(80, 60)}) {
            for (const bool smooth : {true, false}) {
                for (int turns = 0; turns < 4; ++turns) {
                    SCOPED_TRACE(testing::Message() << "format " << format << ", " << size.width() << "x"
                                                    << size.height() << (smooth ? " smooth" : " rough")
                                                    << ", turns " << turns);
                    QImage target(100, 100, QImage::Format_ARGB32_Premultiplied);
                    target.fill(Qt::magenta);
                    scaleOpaqueInto(source, size, turns, smooth, target, at);
                    const QImage expected =
                        expectedSource
                            .scaled(size, Qt::IgnoreAspectRatio, smooth ? Qt::SmoothTransformation : Qt::FastTransformation)
                            .transformed(QTransform().rotate(turns * 90.0));
                    const QRect place(at, expected.size());
                    long total = 0;
                    for (int y = 0; y < target.height(); ++y) {
                        for (int x = 0; x < target.width(); ++x) {
                            const QColor seen = target.pixelColor(x, y);
                            if (!place.contains(x, y)) {
                                ASSERT_EQ(seen, QColor(Qt::magenta)) << x << "," << y;
                                continue;
                            }
                            total += difference(seen, expected.pixelColor(x - at.x(), y - at.y()));
                        }
                    }
                    // Qt's nearest pixel is taken from another point of the
                    // source pixel, so only smooth results compare closely.
                    if (smooth) {
                        EXPECT_LT(double(total) / (place.width() * place.height()), 12.0);
                    }
                    // The middle of each quarter, turned with the picture.
                    for (int row = 0; row < 2; ++row) {
                        for (int column = 0; column < 2; ++column) {
                            const QPointF middle((column + 0.5) * size.width() / 2, (row + 0.5) * size.height() / 2);
                            const QPointF turned = QTransform().rotate(turns * 90.0).map(middle);
                            const QPointF corner = QTransform().rotate(turns * 90.0).mapRect(QRectF(QPointF(), size)).topLeft();
                            const QPoint pixel = (turned - corner).toPoint() + at;
                            EXPECT_EQ(target.pixel(pixel), expectedSource.pixel(column * 20 + 10, row * 15 + 7))
                                << "quarter " << row << "," << column;
                        }
                    }
                }
            }
        }
    }
    QImage withAlpha(4, 4, QImage::Format_ARGB32_Premultiplied);
    EXPECT_FALSE(scalesOpaque(withAlpha));
}

} // namespace
} // namespace pivra
