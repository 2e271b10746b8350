#include <gtest/gtest.h>

#include "res/strings.h"

namespace korvel::res {
namespace {

TEST(StringTable, LoadsKnownAndUnknownIds) {
    EXPECT_EQ(loadString(kProductName), "Korvel");
    EXPECT_EQ(loadString(-1), "");
    EXPECT_EQ(loadString(999999), "");
}

struct FormatCase {
    std::string_view text, a1, a2, expected;
};

class FormatText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatText, SubstitutesInOnePass) {
    const auto& c = GetParam();
    EXPECT_EQ(formatText(c.text, c.a1, c.a2), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatText,
    ::testing::Values(FormatCase{"File %1 in %2", "a.htm", "/site", "File a.htm in /site"},
                      // An argument that itself holds "%2" is not substituted again.
                      FormatCase{"%1 then %2", "has %2 inside", "X", "has %2 inside then X"},
                      FormatCase{"%2%1", "a", "b", "ba"},
                      FormatCase{"100% sure, %1%", "very", "", "100% sure, very%"},
                      FormatCase{"%3 and %%1", "x", "y", "%3 and %x"},
                      FormatCase{"%1 twice %1", "n", "", "n twice n"}));

}  // namespace
}  // namespace korvel::res
