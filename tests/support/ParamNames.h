#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace pivra::test {

// A test name made of words: each run of letters and digits begins with a
// capital and everything else is dropped, so "size PTP cannot hold: read to
// the end" names "SizePTPCannotHoldReadToTheEnd".
std::string testName(std::string_view words);

// Names the rows of a parameterised test after their `name` field:
//
//   INSTANTIATE_TEST_SUITE_P(Cases, SomeTest, ::testing::Values(...), test::rowName);
//
// Left to GoogleTest, rows are numbered and ctest shows their bytes, which
// hold addresses that change with every build.
struct RowName {
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const
    {
        return testName(info.param.name);
    }
};
inline constexpr RowName rowName{};

} // namespace pivra::test
