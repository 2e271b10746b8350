#include "platform/shorten_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/utf8.h"

namespace korvel::platform {
namespace {

TEST(ShortenPath, KeepsTheEndsAndFillsTheRoomByCharacters) {
    struct Case {
        std::string path;
        std::size_t maxChars;
        std::string expected;
    };
    const std::string e2 = "\xc3\xa9\xc3\xa9";
    const Case cases[] = {
        {"/srv/site/index.html", 20, "/srv/site/index.html"},
        // Ends first (two), then the start (two), then neither "site" nor "docs" fits.
        {"C:/site/docs/img/logo.gif", 22, "C:/.../img/logo.gif"},
        {"/home/user/sites/example/docs/images/logo.gif", 30, "/home/.../docs/images/logo.gif"},
        {"/home/user/sites/example/docs/images/logo.gif", 29, "/home/.../images/logo.gif"},
        // Characters, not bytes: eight two-byte characters fit a budget of ten.
        {"/" + e2 + "/" + e2 + e2 + "\xc3\xa9", 10, "/" + e2 + "/" + e2 + e2 + "\xc3\xa9"},
        // The name does not fit whole: its end fills the room, starting on a character boundary.
        {"/a/" + std::string(40, 'n') + "x.htm", 20, "/a/..." + std::string(9, 'n') + "x.htm"},
        {"/" + e2 + e2 + e2 + e2 + e2, 8, "/..." + e2 + e2},
        {"/abc/def", 2, "..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shortenPath(c.path, c.maxChars), c.expected) << c.path << " in " << c.maxChars;
}

// Every width, on a path of one-, two-, three- and four-byte characters: never wider than asked, never
// cut inside a character, always a start of the path, "...", and an end of the path.
TEST(ShortenPath, PropertiesHoldForEveryWidth) {
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
    EXPECT_EQ(roomForPath("Failed %1", "HTML"), kMessageWidth - 13);
    EXPECT_EQ(roomForPath("\xc3\xa9\xc3\xa9"), kMessageWidth - 2);
    EXPECT_EQ(roomForPath(std::string(300, 'x')), 0u);
}

}  // namespace
}  // namespace korvel::platform
