#include "res/strings.h"

#include <gtest/gtest.h>

namespace korvel::res {
namespace {

TEST(StringTable, UnknownIdsGiveNoText) {
    EXPECT_EQ(loadString(-1), "");
    EXPECT_EQ(loadString(999999), "");
}

TEST(StringTable, FormatTextSubstitutesInOnePass) {
    struct Case {
        std::string_view text, a1, a2, expected;
    };
    for (const Case& c : {Case{"File %1 in %2", "a.htm", "/site", "File a.htm in /site"},
                          // An argument that itself holds "%2" is not substituted again.
                          Case{"%1 then %2", "has %2 inside", "X", "has %2 inside then X"},
                          Case{"100% sure, %1%", "very", "", "100% sure, very%"},
                          Case{"%3 and %%1 %1", "x", "y", "%3 and %x x"}}) {
        EXPECT_EQ(formatText(c.text, c.a1, c.a2), c.expected);
    }
}

TEST(StringTable, FormatNumbersFillsEachPercentDInOrder) {
    EXPECT_EQ(formatNumbers(kFilesInDirectories, {-1, 10000000000LL}), "-1 files in 10000000000 directories");
    // Missing numbers leave the placeholder as it is rather than read past the list.
    EXPECT_EQ(formatNumbers(kFilesInDirectories, {5}), "5 files in %d directories");
}

}  // namespace
}  // namespace korvel::res
