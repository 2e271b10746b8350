#include "html/css.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/scanner.h"

namespace korvel::html {
namespace {

// Each reference as "text@position", with " import" and " escaped" when set.
std::vector<std::string> shown(const std::vector<StyleRef>& refs) {
    std::vector<std::string> out;
    for (const StyleRef& ref : refs)
        out.push_back(std::string(ref.text) + "@" + std::to_string(ref.position) +
                      (ref.import ? " import" : "") + (ref.escaped ? " escaped" : ""));
    return out;
}

struct RefsCase {
    std::string_view css;
    std::vector<std::string> expected;
    bool attribute = false;
};

TEST(FindStyleRefs, FindsUrlsImportsAndImageSetsOnly) {
    for (const RefsCase& c : std::vector<RefsCase>{
             RefsCase{"a{background:url(img/a.png)} b{x:url( \"b c.png\" ) y:URL('d.gif')} url(  e.png  )",
                      {"img/a.png@117", "b c.png@139", "d.gif@157", "e.png@172"}},
             RefsCase{"@import \"a.css\";\n@IMPORT url(b.css) print;\n@import /* c */ 'c.css' screen;",
                      {"a.css@109 import", "b.css@129 import", "c.css@160 import"}},
             // Comments, other strings (an escaped quote stays in its string) and a namespace name no file.
             RefsCase{"/* url(no.png) */ p:before{content:\"url(no.gif)\\\" url(no.jpg)\"} "
                      "@namespace svg url(http://w3.org/svg); q{b:url(yes.png)}",
                      {"yes.png@211"}},
             RefsCase{"/* url(no.png)", {}},
             // image-set() offers its images as strings too; a type() inside it names no file.
             RefsCase{"a{b:image-set(\"a.avif\" type(\"image/avif\"), 'b.png' 2x, url(c.png) 3x) \"no.png\"} "
                      "-webkit-image-set('d.png' 1x) my-image-set('no.png')",
                      {"a.avif@115", "b.png@144", "c.png@159", "d.png@199"}},
             RefsCase{"url(data:image/png;base64,AAA=) url(#clip) url() url(\"\") url(  DATA:x) myurl(a.png) "
                      "@imports \"b.css\"; x-url(c.png)",
                      {}},
             // A malformed url() is passed over up to its ")", and the scan goes on.
             RefsCase{"url(a b.png) url(a\"b.png) url(\"a.png\nx) url(c.png) url(last.png",
                      {"c.png@144", "last.png@155"}},
             // The white space that ends a hex escape belongs to it.
             RefsCase{"url(a\\ b.png) url(\"c\\\"d.png\") url(L\\6f go.gif) url(\\31\r\n.png)",
                      {"a\\ b.png@104 escaped", "c\\\"d.png@119 escaped", "L\\6f go.gif@134 escaped",
                       "\\31\r\n.png@151 escaped"}},
             // In a style attribute, and only there, quotes may be written as character references (other
             // references are text).
             RefsCase{"a&b;background:url(&quot;e f.png&quot;);b:url(&#39;g.png&#39;)",
                      {"e f.png@125", "g.png@151"},
                      true},
             RefsCase{"url(&quot;e.png&quot;)", {"&quot;e.png&quot;@104"}}}) {
        std::vector<StyleRef> refs;
        findStyleRefs(c.css, 100, refs, c.attribute);
        EXPECT_EQ(shown(refs), c.expected) << c.css;
    }
}

TEST(UnescapeCss, ResolvesEscapes) {
    // Hex: up to six digits, and one white space ends it; no character gives U+FFFD; a backslash before a
    // line end continues the line.
    for (const auto& [escaped, expected] :
         {std::pair{"a\\ b\\(1\\).gif", "a b(1).gif"}, std::pair{"\\41 x\\000041x\\41\r\nx", "AxAxAx"},
          std::pair{"caf\\e9\\1F600", "caf\xC3\xA9\xF0\x9F\x98\x80"},
          std::pair{"\\0 \\D800 \\110000", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
          std::pair{"a\\\nb\\", "ab"}})
        EXPECT_EQ(unescapeCss(escaped), expected) << escaped;
}

TEST(PageStyleTest, StyleBlocksAndStyleAttributesOfAnyTag) {
    // A plain tag's style is read all the same; a block without its end runs to the end of the page, and the
    // "<b ...>" inside it is style sheet text, not read a second time as a tag's style.
    const std::string page =
        "<p style=\"background:url(a.png)\"><a href=\"x.html\" title=\"url(n.png)\"></style>\n"
        "<STYLE type=\"text/css\">@import 'b.css'; p{x:url(c.png)}</Style>\n"
        "<div style='x:url(\"d.png\")'></div><style>/* <b style=\"x:url(e.png)\"> */ q{y:url(f.png)}";
    const TagList tags = scanText(page);
    std::vector<StyleRef> refs;
    std::size_t blockEnd = 0;
    for (std::size_t i = 0; i < tags.tags().size(); ++i)
        blockEnd = styleRefsOfTag(tags, i, page, blockEnd, refs);
    EXPECT_EQ(shown(refs), (std::vector<std::string>{"a.png@25", "b.css@110 import", "c.png@126", "d.png@161",
                                                     "f.png@222"}));
}

}  // namespace
}  // namespace korvel::html
