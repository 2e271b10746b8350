#include "site/shorten_path.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

struct ShortenCase {
    const char* path;
    std::size_t maxChars;
    const char* expected;
};

class ShortenPathTest : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(ShortenPathTest, KeepsWholeComponentsAroundAnEllipsis) {
    const ShortenCase& c = GetParam();
    const std::string out = shortenPath(c.path, c.maxChars);
    EXPECT_EQ(out, c.expected);
    if (std::string_view(c.expected) != "...") {
        EXPECT_LE(out.size(), c.maxChars);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ShortenPathTest,
    ::testing::Values(
        // Short enough: unchanged.
        ShortenCase{"/site/docs/img/logo.gif", 23, "/site/docs/img/logo.gif"},
        // The end first (steps 0 and 1), then the start (step 2), then neither "site" nor "docs" fits.
        ShortenCase{"C:/site/docs/img/logo.gif", 22, "C:/.../img/logo.gif"},
        ShortenCase{"/site/docs/img/logo.gif", 22, "/site/.../img/logo.gif"},
        ShortenCase{"/site/docs/img/logo.gif", 21, "/.../img/logo.gif"},
        // Step 3 prefers the start again; from step 4 the end and the start alternate.
        ShortenCase{"/a/b/c/d/e/f/g/h", 15, "/a/b/.../f/g/h"},
        ShortenCase{"/aa/b/c/d/e/f/g/h", 15, "/aa/b/.../f/g/h"},
        ShortenCase{"/aaa/b/c/d/e/f/g/h", 15, "/aaa/.../f/g/h"},
        // A component that does not fit leaves its turn to the other side.
        ShortenCase{"/s/very-long-name-here/x.htm", 14, "/s/.../x.htm"},
        // The file name does not fit: the start still may.
        ShortenCase{"/site/a-very-long-file-name.htm", 10, "/site/..."},
        // Nothing fits.
        ShortenCase{"verylongname/x", 4, "..."}));

}  // namespace
}  // namespace korvel
