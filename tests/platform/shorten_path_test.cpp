#include "platform/shorten_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace korvel::platform {
namespace {

struct ShortenCase {
    const char* label;
    std::string path;
    std::size_t maxChars;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const ShortenCase& c) {
    return out << c.label;
}

const std::string kLongName(40, 'n');

std::string repeat(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

class ShortenPathTest : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(ShortenPathTest, GivesTheExpectedDisplay) {
    EXPECT_EQ(shortenPath(GetParam().path, GetParam().maxChars), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortenPathTest,
    ::testing::Values(
        ShortenCase{"short path unchanged", "/srv/site/index.html", 30, "/srv/site/index.html"},
        ShortenCase{"exactly the limit unchanged", "/srv/site/index.html", 20, "/srv/site/index.html"},
        // Ends first (two), then the start (two), then neither "site" nor "docs" fits.
        ShortenCase{"drive-style example", "C:/site/docs/img/logo.gif", 22, "C:/.../img/logo.gif"},
        ShortenCase{"keeps first and last components", "/home/user/sites/example/docs/images/logo.gif", 30,
                    "/home/.../docs/images/logo.gif"},
        ShortenCase{"one short of the next component", "/home/user/sites/example/docs/images/logo.gif", 29,
                    "/home/.../images/logo.gif"},
        // Characters, not bytes: eight two-byte characters fit a budget of ten.
        ShortenCase{"UTF-8 counted by character",
                    "/\xc3\xa9\xc3\xa9/\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 10,
                    "/\xc3\xa9\xc3\xa9/\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"},
        // The name does not fit whole: its end fills the room, starting on a character boundary.
        ShortenCase{"single over-long component", "/a/" + kLongName + "x.htm", 20,
                    "/a/..." + std::string(9, 'n') + "x.htm"},
        ShortenCase{"over-long name cut between characters", "/" + repeat("\xc3\xa9", 10), 8,
                    "/..." + repeat("\xc3\xa9", 4)},
        ShortenCase{"no room at all", "/abc/def", 2, "..."},
        ShortenCase{"room for the ellipsis only", "/abc/def", 3, "..."}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// Every width, on a path of one-, two-, three- and four-byte characters: never wider than asked, never
// cut inside a character, always a start of the path, "...", and an end of the path.
TEST(ShortenPathProperties, HoldForEveryWidth) {
    const std::string path =
        "/h\xc3\xb6me/\xe6\x97\xa5\xe6\x9c\xac/site/\xf0\x9f\x98\x80\xf0\x9f\x98\x80/d\xc3\xa9j\xc3\xa0/"
        "pi\xc3\xa8\xc3\xa7\x65-\xe6\x97\xa5.html";
    const std::size_t length = displayLength(path);
    for (std::size_t width = 0; width <= length + 1; ++width) {
        SCOPED_TRACE(width);
        const std::string shown = shortenPath(path, width);
        if (width >= length) {
            EXPECT_EQ(shown, path);
            continue;
        }
        EXPECT_LE(displayLength(shown), std::max<std::size_t>(width, 3));
        EXPECT_TRUE(isValidUtf8(shown));
        const std::size_t dots = shown.find("...");
        ASSERT_NE(dots, std::string::npos);
        EXPECT_TRUE(path.starts_with(shown.substr(0, dots)));
        EXPECT_TRUE(path.ends_with(shown.substr(dots + 3)));
    }
}

TEST(RoomForPath, IsTheMessageWidthLessTheTextsBesideThePath) {
    EXPECT_EQ(roomForPath("Failed %1"), kMessageWidth - 9);
    EXPECT_EQ(roomForPath("Failed %1", "HTML"), kMessageWidth - 13);
    EXPECT_EQ(roomForPath("\xc3\xa9\xc3\xa9"), kMessageWidth - 2);
    EXPECT_EQ(roomForPath(std::string(300, 'x')), 0u);
}

}  // namespace
}  // namespace korvel::platform
