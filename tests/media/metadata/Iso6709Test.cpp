#include "media/metadata/Iso6709.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

struct Iso6709Case {
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
    ::testing::Values(Iso6709Case{"+37.3349-122.0090+000.000/", GeoLocation{37.3349, -122.009}},
                      Iso6709Case{"+37.3349-122.0090/", GeoLocation{37.3349, -122.009}},
                      Iso6709Case{"-33.8568+151.2153+012.5/", GeoLocation{-33.8568, 151.2153}},
                      Iso6709Case{"+37.3349-122.0090", std::nullopt},   // the longitude is never closed
                      Iso6709Case{"+00.0000+000.0000/", std::nullopt},  // (0, 0) is a blank position
                      Iso6709Case{"+91.0000+010.0000/", std::nullopt},  // out of range
                      Iso6709Case{"+4012.50+07412.30/", std::nullopt},  // degrees and minutes read as decimals
                      Iso6709Case{"+90.0000-180.0000/", GeoLocation{90, -180}}, // bounds included
                      Iso6709Case{"+37.33/-122.00/", std::nullopt},     // the walk ends at the first "/"
                      Iso6709Case{"+ 37.3349-122.0090/", std::nullopt}, // white space spoils a number
                      Iso6709Case{"+37.3349x-122.0090/", std::nullopt}, // so do trailing characters
                      Iso6709Case{"+nan-122.0090/", std::nullopt},
                      Iso6709Case{"++37.3349-122.0090/", GeoLocation{37.3349, -122.009}}, // a lone sign is skipped
                      Iso6709Case{"", std::nullopt}, Iso6709Case{"/", std::nullopt}),
    // Stable names: ctest registers each row by name before running it.
    [](const ::testing::TestParamInfo<Iso6709Case>& info) { return "Row" + std::to_string(info.index); });

} // namespace
} // namespace pivra
