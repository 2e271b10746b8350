#include "report/external_page.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel {
namespace {

struct EscapeCase {
    const char* text;
    const char* expected;
};

class HtmlEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(HtmlEscapeTest, WritesMarkupCharactersAsReferences) {
    EXPECT_EQ(htmlEscape(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlEscapeTest,
    ::testing::Values(EscapeCase{"http://example.org/a?b=1&c=2", "http://example.org/a?b=1&amp;c=2"},
                      // An attribute cannot be ended, with either quote, nor a tag opened.
                      EscapeCase{"x\" onmouseover=\"y", "x&quot; onmouseover=&quot;y"},
                      EscapeCase{"x' onclick='y", "x&#39; onclick=&#39;y"},
                      EscapeCase{"</pre><script>", "&lt;/pre&gt;&lt;script&gt;"},
                      // Already escaped text is escaped again: the page shows what the site has.
                      EscapeCase{"&amp;", "&amp;amp;"},
                      // Bytes that are not ASCII stay as they are.
                      EscapeCase{"caf\xc3\xa9/\xff", "caf\xc3\xa9/\xff"}, EscapeCase{"", ""}));

TEST(ExternalPageHead, IsTheTitleAndHeadingOfTheList) {
    EXPECT_EQ(externalPageHead(),
              "<html><head><title>\nList of External URLs\n</title></head><body>\n"
              "<h2>List of External URLs</h2><pre>\n");
}

}  // namespace
}  // namespace korvel
