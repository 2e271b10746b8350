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

namespace korvel::res {
namespace {

TEST(FormatNumbers, FillsEachPercentDInOrder) {
    EXPECT_EQ(formatNumbers(kFilesInDirectories, {74, 23}), "74 files in 23 directories");
    // Missing numbers leave the placeholder as it is rather than read past the list.
    EXPECT_EQ(formatNumbers(kFilesInDirectories, {5}), "5 files in %d directories");
    EXPECT_EQ(formatNumbers(kFilesInDirectories, {-1, 10000000000LL}), "-1 files in 10000000000 directories");
}

}  // namespace
}  // namespace korvel::res
