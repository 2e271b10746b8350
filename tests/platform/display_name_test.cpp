#include "platform/display_name.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::platform {
namespace {

using namespace std::string_literals;

TEST(DisplayName, EscapesWhatIsNotPrintableUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80.html", "caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80.html"},
        {"caf\xE9.html", "caf\\xE9.html"},             // Latin-1
        {"\xC3", "\\xC3"},                             // cut short
        {"\xC3(", "\\xC3("},                           // bad continuation
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong "/"
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},           // overlong
        {"\xF0\x8F\xBF\xBF", "\\xF0\\x8F\\xBF\\xBF"},  // overlong
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
        {"\xBF", "\\xBF"},                             // lone continuation
        {"a\nb\tc\x7F", "a\\x0Ab\\x09c\\x7F"},         // C0 and DEL
        {"\xC2\x9B"
         "1m",
         "\\xC2\\x9B1m"},          // C1 control
        {"\xC2\xA0", "\xC2\xA0"},  // first non-control
        {"a\\xE9", "a\\\\xE9"},    // a real backslash cannot pass for an escape
        {"a\0b"s, "a\\x00b"},
    };
    for (const auto& [bytes, shown] : cases)
        EXPECT_EQ(displayName(bytes), shown) << shown;
}

}  // namespace
}  // namespace korvel::platform
