// Styled controls drawn in each scheme, saved under the build's renders/ for
// a look, and sampled where no text falls.
#include "style/assets/BundledResources.h"
#include "style/controls/DisconnectedToggle.h"
#include "style/appearance/PivraAppearance.h"
#include "style/appearance/PivraStyle.h"
#include "style/assets/PivraFonts.h"
#include "style/controls/SubtleToolButton.h"
#include "style/assets/Symbols.h"
#include "support/desktop/Renders.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace pivra {
namespace {

// Whether `image` holds a pixel within `tolerance` of `colour` in `area`.
bool holds(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 8)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) <= tolerance && std::abs(pixel.green() - colour.green()) <= tolerance &&
                std::abs(pixel.blue() - colour.blue()) <= tolerance) {
                return true;
            }
        }
    }
    return false;
}

TEST(StyleRenderTest, DisplayFontRegistersUnderItsFamily)
{
    PivraFonts::registerDisplayFont(QStringLiteral("/nonexistent")); // silent
    PivraFonts::registerDisplayFont();
    EXPECT_TRUE(QFontDatabase::families().contains(PivraFonts::displayFamilyName));
    const QFont title = PivraFonts::displayFont(22, QFont::DemiBold);
    EXPECT_EQ(QFontInfo(title).family(), PivraFonts::displayFamilyName);
    EXPECT_EQ(QFontInfo(title).pixelSize(), 22);
    EXPECT_EQ(title.pointSize(), -1);
}

TEST(StyleRenderTest, EveryBundledSymbolDrawsInItsTint)
{
    const QDir folder(bundledResource(QStringLiteral("symbols")));
    const QStringList files = folder.entryList({QStringLiteral("*.svg")});
    ASSERT_GE(files.size(), 50);
    const QColor tint(0x12, 0x9a, 0x4c);
    for (const QString& file : files) {
        const QImage image = Symbols::pixmap(file.chopped(4), {20, 20}, tint, 2).toImage();
        ASSERT_EQ(image.size(), QSize(40, 40)) << file.toStdString();
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255) {
                    ++drawn;
                    ASSERT_EQ(pixel.rgb(), tint.rgb()) << file.toStdString();
                }
            }
        }
        EXPECT_GT(drawn, 10) << file.toStdString();
    }
    EXPECT_TRUE(Symbols::pixmap(QStringLiteral("no.such.symbol"), {20, 20}, tint).isNull());
    const QIcon icon = Symbols::icon(QStringLiteral("heart.fill"), tint);
    EXPECT_EQ(icon.pixmap(16, QIcon::Disabled).toImage().pixelColor(8, 8).alpha(), 115);
}

TEST(StyleRenderTest, ControlsTakeTheSchemeColours)
{
    PivraFonts::registerDisplayFont();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QPalette palette = PivraAppearance::palette(dark);
        QApplication::setPalette(palette);
        QWidget window;
        window.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&window);
        auto* title = new QLabel(QStringLiteral("Pivra"));
        title->setFont(PivraFonts::displayFont(22, QFont::DemiBold));
        auto* button = new QPushButton(QStringLiteral("Rescan"));
        auto* field = new QLineEdit(QStringLiteral("Ankara"));
        auto* symbol = new QLabel;
        symbol->setFixedSize(24, 24);
        symbol->setPixmap(Symbols::pixmap(QStringLiteral("heart.fill"), {24, 24}, PivraAppearance::systemRed(dark)));
        auto* toolButton = new SubtleToolButton;
        toolButton->setSymbol(QStringLiteral("sidebar.left"));
        auto* toggle = new DisconnectedToggle;
        toggle->setChecked(true);
        toggle->setOfflineCount(2);
        for (QWidget* child : {static_cast<QWidget*>(title), static_cast<QWidget*>(button), static_cast<QWidget*>(field),
                               static_cast<QWidget*>(symbol), static_cast<QWidget*>(toolButton),
                               static_cast<QWidget*>(toggle)}) {
            layout->addWidget(child, 0, Qt::AlignLeft);
        }
        window.resize(240, 260);
        window.show();
        const QImage image = window.grab().toImage();
        image.save(test::rendersFolder() + (dark ? QStringLiteral("/style-dark.png") : QStringLiteral("/style-light.png")));

        EXPECT_EQ(image.pixelColor(2, 2).rgb(), PivraAppearance::canvas(dark).rgb());
        const QRect fieldArea = field->geometry();
        EXPECT_EQ(image.pixelColor(fieldArea.right() - 6, fieldArea.center().y()).rgb(),
                  palette.color(QPalette::Base).rgb());
        EXPECT_TRUE(holds(image, fieldArea.adjusted(4, 4, -4, -4), palette.color(QPalette::Text), 40));
        EXPECT_TRUE(holds(image, button->geometry().adjusted(4, 4, -4, -4), palette.color(QPalette::ButtonText), 40));
        EXPECT_TRUE(holds(image, title->geometry(), palette.color(QPalette::WindowText), 40));
        const QRect heart = symbol->geometry();
        EXPECT_EQ(image.pixelColor(heart.left() + 12, heart.top() + 14).rgb(), PivraAppearance::systemRed(dark).rgb());
    }
}

// A scroll bar's groove is painted once and copied after that; the bar must
// look exactly as Fusion paints it, in either scheme, wherever the handle is,
// hovered or pressed, on a screen of one or two device pixels a point, the
// first time and from the copy.
TEST(StyleRenderTest, AScrollBarLooksAsFusionPaintsIt)
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const PivraStyle pivra;
    QScrollBar bar(Qt::Vertical);
    bar.resize(15, 901);
    bar.setRange(0, 1'000'000);
    for (const bool dark : {false, true}) {
        bar.setPalette(PivraAppearance::palette(dark));
        for (const int value : {0, 400'000, 1'000'000}) {
            for (const QStyle::State state : {QStyle::State_None, QStyle::State_MouseOver, QStyle::State_Sunken}) {
                for (const qreal pixelRatio : {1.0, 2.0}) {
                    SCOPED_TRACE(testing::Message() << (dark ? "dark " : "light ") << value << " state " << int(state)
                                                    << " ratio " << pixelRatio);
                    bar.setValue(value);
                    QStyleOptionSlider option;
                    option.initFrom(&bar);
                    option.orientation = Qt::Vertical;
                    option.minimum = bar.minimum();
                    option.maximum = bar.maximum();
                    option.sliderPosition = option.sliderValue = value;
                    option.pageStep = bar.pageStep();
                    option.subControls = QStyle::SC_All;
                    option.state |= state;
                    option.activeSubControls = state == QStyle::State_None ? QStyle::SC_None : QStyle::SC_ScrollBarSlider;
                    const auto paint = [&](const QStyle& style) {
                        QImage image(bar.size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
                        image.setDevicePixelRatio(pixelRatio);
                        image.fill(Qt::transparent);
                        QPainter painter(&image);
                        style.drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, &bar);
                        return image;
                    };
                    const QImage expected = paint(*fusion);
                    EXPECT_EQ(paint(pivra), expected);
                    EXPECT_EQ(paint(pivra), expected) << "from the copy";
                    if (pixelRatio == 1 && state == QStyle::State_None) {
                        expected.save(test::rendersFolder() + QStringLiteral("/scroll-bar-%1-%2.png")
                                                                  .arg(dark ? "dark" : "light")
                                                                  .arg(value));
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace pivra
