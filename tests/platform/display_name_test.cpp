#include "platform/display_name.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::platform {
namespace {

using namespace std::string_literals;

struct Case {
    std::string bytes;
    std::string shown;
};

class DisplayNameTest : public ::testing::TestWithParam<Case> {};

TEST_P(DisplayNameTest, EscapesWhatIsNotPrintableUtf8) {
    EXPECT_EQ(displayName(GetParam().bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DisplayNameTest,
    ::testing::Values(Case{"", ""}, Case{"index.html", "index.html"},
                      Case{"caf\xC3\xA9.html", "caf\xC3\xA9.html"},  // two-byte character
                      Case{"\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt"},  // three-byte
                      Case{"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                          // four-byte
                      Case{"caf\xE9.html", "caf\\xE9.html"},                                 // Latin-1
                      Case{"\xC3", "\\xC3"},                                                 // cut short
                      Case{"\xC3(", "\\xC3("},                           // bad continuation
                      Case{"\xC0\xAF", "\\xC0\\xAF"},                    // overlong "/"
                      Case{"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},           // overlong
                      Case{"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // surrogate
                      Case{"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
                      Case{"\xBF", "\\xBF"},                             // lone continuation
                      Case{"a\nb\tc\x7F", "a\\x0Ab\\x09c\\x7F"},         // C0 and DEL
                      Case{"\xC2\x9B"
                           "1m",
                           "\\xC2\\x9B1m"},          // C1 control
                      Case{"\xC2\xA0", "\xC2\xA0"},  // first non-control
                      Case{"a\\xE9", "a\\\\xE9"},    // a real backslash cannot pass for an escape
                      Case{"a\0b"s, "a\\x00b"}));

}  // namespace
}  // namespace korvel::platform
