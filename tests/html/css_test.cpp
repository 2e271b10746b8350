#include "html/css.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "html/scanner.h"

namespace korvel::html {
namespace {

// Each reference as "text@position", with " import" and " escaped" when set.
std::vector<std::string> shown(const std::vector<StyleRef>& refs) {
    std::vector<std::string> out;
    for (const StyleRef& ref : refs) {
        std::string s = std::string(ref.text) + "@" + std::to_string(ref.position);
        if (ref.import) s += " import";
        if (ref.escaped) s += " escaped";
        out.push_back(s);
    }
    return out;
}

struct RefsCase {
    const char* name;
    std::string_view css;
    std::vector<std::string> expected;
    bool attribute = false;
};

class FindStyleRefsTest : public ::testing::TestWithParam<RefsCase> {};

TEST_P(FindStyleRefsTest, FindsUrlsAndImportsOnly) {
    const RefsCase& c = GetParam();
    std::vector<StyleRef> refs;
    findStyleRefs(c.css, 100, refs, c.attribute);
    EXPECT_EQ(shown(refs), c.expected) << c.css;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindStyleRefsTest,
    ::testing::Values(
        RefsCase{"Unquoted", "a{background:url(img/a.png)}", {"img/a.png@117"}},
        RefsCase{
            "QuotedWithBlanksAround", "b{x:url( \"b c.png\" ) y:URL('d.gif')}", {"b c.png@110", "d.gif@128"}},
        RefsCase{"WhiteSpaceBeforeTheParenthesis", "url(  e.png  )", {"e.png@106"}},
        RefsCase{"Imports",
                 "@import \"a.css\";\n@IMPORT url(b.css) print;\n@import /* c */ 'c.css' screen;",
                 {"a.css@109 import", "b.css@129 import", "c.css@160 import"}},
        // Comments and strings other than an import's are no references.
        RefsCase{"CommentsAndStringsSkipped",
                 "/* url(no.png) */ p:before{content:\"url(no.gif)\"} q{b:url(yes.png)}",
                 {"yes.png@158"}},
        RefsCase{"UnclosedCommentEndsAll", "/* url(no.png)", {}},
        // image-set() offers its images as strings too; a type() inside it names no file.
        RefsCase{"ImageSet",
                 "a{b:image-set(\"a.avif\" type(\"image/avif\"), 'b.png' 2x, url(c.png) 3x) \"no.png\"}",
                 {"a.avif@115", "b.png@144", "c.png@159"}},
        RefsCase{"PrefixedImageSet", "-webkit-image-set('a.png' 1x) my-image-set('no.png')", {"a.png@119"}},
        RefsCase{"NamespaceIsNoFile",
                 "@namespace svg url(http://www.w3.org/2000/svg); a{b:url(c.png)}",
                 {"c.png@156"}},
        RefsCase{
            "EscapedQuoteStaysInTheString", "p{content:\"a\\\" url(no.png)\"} url(yes.png)", {"yes.png@133"}},
        RefsCase{
            "NoFileNamed", "url(data:image/png;base64,AAA=) url(#clip) url() url(\"\") url(  DATA:x)", {}},
        RefsCase{"OnlyTheWholeFunctionName", "myurl(a.png) @imports \"b.css\"; x-url(c.png)", {}},
        // A malformed url() is passed over up to its ")", and the scan goes on.
        RefsCase{"MalformedUrlSkipped", "url(a b.png) url(a\"b.png) url(c.png)", {"c.png@130"}},
        RefsCase{"StringBrokenByALineEnd", "url(\"a.png\nx) url(b.png)", {"b.png@118"}},
        RefsCase{"UnclosedAtTheEnd", "url(last.png", {"last.png@104"}},
        RefsCase{"Escapes",
                 "url(a\\ b.png) url(\"c\\\"d.png\")",
                 {"a\\ b.png@104 escaped", "c\\\"d.png@119 escaped"}},
        // The white space that ends a hex escape belongs to it.
        RefsCase{"HexEscapeInAnUnquotedUrl",
                 "url(L\\6f go.gif) url(\\31\r\n.png)",
                 {"L\\6f go.gif@104 escaped", "\\31\r\n.png@121 escaped"}},
        // In a style attribute, quotes may be written as character references.
        RefsCase{"QuoteReferencesInAnAttribute",
                 "background:url(&quot;e f.png&quot;);b:url(&#39;g.png&#39;)",
                 {"e f.png@121", "g.png@147"},
                 true},
        // Outside an attribute a character reference is text like any other.
        RefsCase{"QuoteReferencesOutsideAnAttribute", "url(&quot;e.png&quot;)", {"&quot;e.png&quot;@104"}}),
    [](const ::testing::TestParamInfo<RefsCase>& info) { return std::string(info.param.name); });

// Whatever the bytes, each reference is the text's own bytes at its position, and the scan ends.
TEST(FindStyleRefs, AnyBytesGiveReferencesInsideTheText) {
    constexpr std::string_view kAlphabet = "url(@import)\"'/*\\ \n#&quot;a.png";
    std::mt19937 random(9);
    for (int round = 0; round < 2000; ++round) {
        std::string css;
        const std::size_t length = random() % 40;
        for (std::size_t i = 0; i < length; ++i)
            css.push_back(kAlphabet[random() % kAlphabet.size()]);
        for (const bool attribute : {false, true}) {
            std::vector<StyleRef> refs;
            findStyleRefs(css, 7, refs, attribute);
            std::int64_t after = 7;
            for (const StyleRef& ref : refs) {
                ASSERT_GE(ref.position, after) << css;
                const auto at = static_cast<std::size_t>(ref.position - 7);
                ASSERT_LE(at + ref.text.size(), css.size()) << css;
                EXPECT_EQ(css.substr(at, ref.text.size()), ref.text) << css;
                after = ref.position + static_cast<std::int64_t>(ref.text.size());
                unescapeCss(ref.text);
            }
        }
    }
}

struct UnescapeCase {
    std::string_view escaped;
    std::string_view expected;
};

class UnescapeCssTest : public ::testing::TestWithParam<UnescapeCase> {};

TEST_P(UnescapeCssTest, ResolvesEscapes) {
    EXPECT_EQ(unescapeCss(GetParam().escaped), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnescapeCssTest,
    ::testing::Values(UnescapeCase{"a\\ b.png", "a b.png"}, UnescapeCase{"\\(1\\).gif", "(1).gif"},
                      // Hex: up to six digits, and one white space ends it.
                      UnescapeCase{"\\41 x", "Ax"}, UnescapeCase{"\\000041x", "Ax"},
                      UnescapeCase{"\\41\r\nx", "Ax"}, UnescapeCase{"caf\\e9.png", "caf\xC3\xA9.png"},
                      UnescapeCase{"\\1F600", "\xF0\x9F\x98\x80"},
                      UnescapeCase{"\\0 \\D800 \\110000", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      // A backslash before a line end continues the line.
                      UnescapeCase{"a\\\nb", "ab"}, UnescapeCase{"a\\", "a"}));

// ---- The style of a page

std::vector<std::string> pageRefs(std::string_view page) {
    const TagList tags = scanText(page);
    std::vector<StyleRef> refs;
    std::size_t blockEnd = 0;
    for (std::size_t i = 0; i < tags.tags().size(); ++i)
        blockEnd = styleRefsOfTag(tags, i, page, blockEnd, refs);
    return shown(refs);
}

TEST(PageStyleTest, StyleBlocksAndStyleAttributesOfAnyTag) {
    const std::string page =
        "<p style=\"background:url(a.png)\">\n"  // a plain tag: its style is read all the same
        "<STYLE type=\"text/css\">@import 'b.css'; p{x:url(c.png)}</Style>\n"
        "<div style='x:url(\"d.png\")'></div>";
    EXPECT_EQ(pageRefs(page),
              (std::vector<std::string>{"a.png@25", "b.css@66 import", "c.png@82", "d.png@117"}));
}

TEST(PageStyleTest, BlockWithoutItsEndRunsToTheEndOfThePage) {
    // The "<b ...>" inside the block is style sheet text: not read a second time as a tag's style.
    const std::string page = "<style>p{x:url(a.png)} /* <b style=\"x:url(b.png)\"> */ q{y:url(c.png)}";
    EXPECT_EQ(pageRefs(page), (std::vector<std::string>{"a.png@15", "c.png@62"}));
}

TEST(PageStyleTest, EndTagsAndTagsWithoutStyleGiveNothing) {
    EXPECT_TRUE(pageRefs("<p>url(a.png)</p><a href=\"x.html\" title=\"url(b.png)\"></style>").empty());
}

}  // namespace
}  // namespace korvel::html
