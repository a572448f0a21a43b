#include "media/metadata/Iso6709.h"
#include "support/ParamNames.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

struct Iso6709Case {
    const char* name;
    const char* text;
    std::optional<GeoLocation> expected;
};

class Iso6709Table : public ::testing::TestWithParam<Iso6709Case> {};

TEST_P(Iso6709Table, ReadsOnlyNumbersClosedByASignOrSlash)
{
    const Iso6709Case& row = GetParam();
    const std::optional<GeoLocation> result = iso6709(QString::fromUtf8(row.text));
    ASSERT_EQ(result.has_value(), row.expected.has_value()) << row.text;
    if (row.expected) {
        EXPECT_DOUBLE_EQ(result->latitude, row.expected->latitude) << row.text;
        EXPECT_DOUBLE_EQ(result->longitude, row.expected->longitude) << row.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Iso6709Table,
    ::testing::Values(
        Iso6709Case{"with altitude", "+37.3349-122.0090+000.000/", GeoLocation{37.3349, -122.009}},
        Iso6709Case{"without altitude", "+37.3349-122.0090/", GeoLocation{37.3349, -122.009}},
        Iso6709Case{"south and east", "-33.8568+151.2153+012.5/", GeoLocation{-33.8568, 151.2153}},
        Iso6709Case{"longitude never closed", "+37.3349-122.0090", std::nullopt},
        Iso6709Case{"zero zero is a blank position", "+00.0000+000.0000/", std::nullopt},
        Iso6709Case{"out of range", "+91.0000+010.0000/", std::nullopt},
        Iso6709Case{"degrees and minutes read as decimals", "+4012.50+07412.30/", std::nullopt},
        Iso6709Case{"bounds included", "+90.0000-180.0000/", GeoLocation{90, -180}},
        Iso6709Case{"the walk ends at the first slash", "+37.33/-122.00/", std::nullopt},
        Iso6709Case{"white space spoils a number", "+ 37.3349-122.0090/", std::nullopt},
        Iso6709Case{"trailing characters spoil it too", "+37.3349x-122.0090/", std::nullopt},
        Iso6709Case{"not a number", "+nan-122.0090/", std::nullopt},
        Iso6709Case{"a lone sign is skipped", "++37.3349-122.0090/", GeoLocation{37.3349, -122.009}},
        Iso6709Case{"empty", "", std::nullopt}, Iso6709Case{"slash alone", "/", std::nullopt}),
    test::rowName);

} // namespace
} // namespace pivra
