#include "settings/PreferenceCard.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace pivra {
namespace {

// Rows laid out at the sheet's content width.
TEST(PreferenceCardTest, SubtitlesTakeTheirLinesAndTheControlKeepsItsGap)
{
    QWidget host;
    auto* column = new QVBoxLayout(&host);
    auto* card = new PreferenceCard(QStringLiteral("Card"), nullptr, &host);
    column->addWidget(card);
    auto* absent = new PreferenceRow(QStringLiteral("Title"), std::nullopt, new QPushButton(QStringLiteral("Go")));
    auto* empty = new PreferenceRow(QStringLiteral("Title"), QString(), new QPushButton(QStringLiteral("Go")));
    const QString words = QStringLiteral("A subtitle long enough to need several lines at this width. ").repeated(6);
    auto* wrapped = new PreferenceRow(QStringLiteral("Title"), words, new QPushButton(QStringLiteral("Go")));
    for (PreferenceRow* row : {absent, empty, wrapped}) {
        card->addRow(row);
    }
    column->addStretch(1);
    host.resize(672, 600);
    host.show();

    EXPECT_EQ(absent->subtitleLabel(), nullptr);
    ASSERT_NE(empty->subtitleLabel(), nullptr);
    EXPECT_GT(empty->height(), absent->height());
    EXPECT_GT(wrapped->height(), empty->height() + empty->subtitleLabel()->height());
    const int textEnd = wrapped->subtitleLabel()->geometry().right();
    EXPECT_GE(wrapped->accessory()->geometry().left() - textEnd, 12);
    EXPECT_EQ(wrapped->accessory()->geometry().right(), wrapped->width() - 1 - 14);
}

} // namespace
} // namespace pivra
