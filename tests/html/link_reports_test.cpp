#include "html/link_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link_site.h"
#include "report/external_page.h"
#include "res/strings.h"

namespace korvel {
namespace {

using testing::LinkSite;
using Lines = std::vector<std::string>;

std::string inFile(const std::string& path) {
    return res::formatString(res::kInFileHeader, path);
}

class LinkReportsTest : public LinkSite {
  protected:
    int reportUnresolved() {
        BrokenLinksPass report(*found, job);
        const int pages = runOverTree(report);
        EXPECT_EQ(report.count, static_cast<std::uint32_t>(pages));
        return pages;
    }
    int reportExternal() {
        ExternalLinksPass report(*found, job);
        const int pages = runOverTree(report);
        EXPECT_EQ(report.count, static_cast<std::uint32_t>(pages));
        return pages;
    }
    // The page's lines between its head and its footer.
    Lines pageLines() {
        Lines all = lines(res::kSectionExternalUrlPage);
        Lines out;
        bool inList = false;
        for (const std::string& line : all) {
            if (line.rfind("</pre>", 0) == 0) break;
            if (inList) out.push_back(line);
            if (line.find("<pre>") != std::string::npos) inList = true;
        }
        return out;
    }
    std::string pageText() { return logScope.log().sectionText(res::kSectionExternalUrlPage); }
};

// ---- Broken links

TEST_F(LinkReportsTest, BrokenLinksUnderOneFileLineInPageOrder) {
    dir.write("index.html",
              "<a href=\"ok.html\">ok</a>\n"
              "<a href=\"gone%20away.html#top\">1</a>\n"
              "<img src=\"missing.gif\">\n"
              "<a href=\"sub/\">no default document</a>\n");
    dir.write("ok.html", "<a href=\"index.html\">back</a>");
    dir.write("a.html", "\n\n<a href=\"y.html\">y</a>");
    dir.mkdir("sub");
    scan();
    findLinks();

    EXPECT_EQ(reportUnresolved(), 2);
    // A page without a broken link writes nothing, not even its "In file" line.
    EXPECT_EQ(lines(res::kSectionUnresolvedLinks),
              (Lines{inFile(dir.file("a.html")), atLine(3, "y.html"), inFile(dir.file("index.html")),
                     atLine(2, "gone away.html"), atLine(3, "missing.gif"), atLine(4, "sub/")}));
    // An empty line stands before each file.
    EXPECT_EQ(body(res::kSectionUnresolvedLinks).rfind("\n" + inFile(dir.file("a.html")), 0), 0u);
}

TEST_F(LinkReportsTest, StyleSheetsListTheirOwnBrokenAndExternalLinksUnderTheirPath) {
    dir.write("index.html",
              "<link rel=stylesheet href=\"site.css\">\n<p style=\"background: url(gone-attr.png)\">\n");
    dir.write(
        "site.css",
        "body { }\n.a { background: url(gone.png) }\n.b { background: url(https://cdn.example.com/x.png) }\n"
        "@import 'missing.css';\n");
    // No page names it: it is read all the same, like a page no link reaches.
    dir.write("z-orphan.css", "\n\n.c { background: url(also-gone.png) }");
    scan();
    findLinks();

    EXPECT_EQ(reportUnresolved(), 3);
    EXPECT_EQ(lines(res::kSectionUnresolvedLinks),
              (Lines{inFile(dir.file("index.html")), atLine(2, "gone-attr.png"), inFile(dir.file("site.css")),
                     atLine(2, "gone.png"), atLine(4, "missing.css"), inFile(dir.file("z-orphan.css")),
                     atLine(3, "also-gone.png")}));
    EXPECT_EQ(reportExternal(), 1);
    EXPECT_EQ(lines(res::kSectionExternalUrls),
              (Lines{inFile(dir.file("site.css")), atLine(3, "https://cdn.example.com/x.png")}));
}

TEST_F(LinkReportsTest, CleanSiteLeavesTheBrokenLinkSectionEmpty) {
    dir.write("index.html", "<a href=\"a.html\">a</a><a href=\"http://elsewhere.example.com/\">e</a>");
    dir.write("a.html", "<a href=\"mailto:me@example.org\">m</a> <a href=\"javascript:go()\">j</a>");
    scan();
    findLinks();

    EXPECT_EQ(reportUnresolved(), 0);
    EXPECT_FALSE(logScope.log().sections().at(res::kSectionUnresolvedLinks)->hasContent());
}

TEST_F(LinkReportsTest, BaseThatNamesNoDirectoryIsListedLikeABrokenLink) {
    dir.write("index.html", "<base href=\"/nowhere/\">\n<a href=\"a.html\">a</a>\n");
    scan();
    findLinks();

    reportUnresolved();
    EXPECT_EQ(lines(res::kSectionUnresolvedLinks),
              (Lines{inFile(dir.file("index.html")), atLine(1, "/nowhere/"), atLine(2, "a.html")}));
}

// ---- Broken anchors

TEST_F(LinkReportsTest, BrokenAnchorsAreLinksWhoseFragmentNamesNothingInTheirTarget) {
    struct Case {
        std::string dir;  // each case in a directory of its own: c/a.html links, c/b.html is linked to
        std::string a, b;
        std::string listed;  // the entry under c/a.html; "" when nothing is listed
        int line = 1;
    };
    const std::vector<Case> cases = {
        {"c01-found", "<a href=\"b.html#install\">", "<h2 id=\"install\">", ""},
        {"c02-missing", "<p>\n<a href=\"b.html#install\">", "<h2 id=\"setup\">", "b.html#install", 2},
        {"c03-same-page", "<a href=\"#x\">x</a><p id=x>", "", ""},
        {"c04-same-page-missing", "<a href='#nowhere'>x</a>\n<p id=x>", "", "#nowhere"},
        {"c05-name-on-a", "<a href=\"b.html#install\">", "<a name=\"install\">", ""},
        {"c06-name-on-div", "<a href=\"b.html#install\">", "<div name=\"install\">", "b.html#install"},
        {"c07-percent-encoded", "<a href=\"b.html#caf%C3%A9\">", "<p id=\"caf\xC3\xA9\">", ""},
        {"c08-percent-missing", "<a href=\"b.html#caf%C3%A9s\">", "<p id=\"caf\xC3\xA9\">",
         "b.html#caf%C3%A9s"},
        {"c09-case-counts", "<a href=\"b.html#Install\">", "<h2 id=\"install\">", "b.html#Install"},
        {"c10-top", "<a href=\"b.html#\">1</a><a href=\"#top\">2</a><a href=\"b.html#TOP\">3</a>", "", ""},
        {"c11-image", "<img src=\"../pic.gif#x\"><a href=\"../pic.gif#y\">", "", ""},
        {"c12-query", "<a href=\"b.html?lang=en#install\">", "", "b.html#install"},
        {"c13-id-in-comment", "<a href=\"b.html#old\">", "<!-- <p id=\"old\"> -->", "b.html#old"},
        {"c14-external-and-broken",
         "<a href=\"http://elsewhere.example.com/b.html#x\"><a href=\"gone.html#x\">", "", ""},
        {"c15-base", "<base href=\"b.html\"><a href=\"#install\">", "<p id=\"setup\">", "b.html#install"},
        {"c16-references", "<a href=\"b.html#%3Cinit%3E()\">1</a><a href=\"b.html#a&amp;b\">2</a>",
         "<p id=\"&lt;init&gt;()\"><p id=\"a&#38;b\">", ""},
        {"c17-map", "<img src=\"../pic.gif\" usemap=\"#m\"><map name=\"m\"></map>", "", ""},
    };
    dir.write("index.html", "home");
    dir.write("pic.gif", "GIF89a");
    Lines expected;
    for (const Case& c : cases) {
        dir.write(c.dir + "/a.html", c.a);
        dir.write(c.dir + "/b.html", c.b);
        if (c.listed.empty()) continue;
        expected.push_back(inFile(dir.file(c.dir + "/a.html")));
        expected.push_back(atLine(c.line, c.listed));
    }
    scan();
    findLinks();

    BrokenAnchorsPass report(*found, job);
    EXPECT_EQ(runOverTree(report), static_cast<int>(expected.size() / 2));
    Lines listed = lines(res::kSectionBrokenAnchors);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front(), res::loadString(res::kBrokenAnchorsNote));
    listed.erase(listed.begin());
    EXPECT_EQ(listed, expected);
}

TEST_F(LinkReportsTest, SiteWithoutBrokenAnchorsHasNoSection) {
    dir.write("index.html", "<a href=\"a.html#x\">a</a> <a href=\"#\">top</a>");
    dir.write("a.html", "<p id=\"x\">");
    scan();
    findLinks();

    BrokenAnchorsPass report(*found, job);
    EXPECT_EQ(runOverTree(report), 0);
    EXPECT_FALSE(logScope.log().sections().at(res::kSectionBrokenAnchors)->hasContent());
}

// ---- External URLs

TEST_F(LinkReportsTest, ExternalUrlInTwoFilesIsListedTwiceButLinkedOnce) {
    dir.write("index.html",
              "<a href=\"a.html\">a</a>\n"
              "<a href=\"http://ELSEWHERE.example.com/Page.html\">1</a>\n");
    dir.write("a.html",
              "<p>\n\n"
              "<a href=\"http://ELSEWHERE.example.com/Page.html\">again</a>\n"
              "<a href=\"http://ELSEWHERE.example.com/page.html\">other case</a>\n");
    scan();
    findLinks();

    EXPECT_EQ(reportExternal(), 2);
    const std::string upper = "http://ELSEWHERE.example.com/Page.html";
    const std::string lower = "http://ELSEWHERE.example.com/page.html";
    EXPECT_EQ(lines(res::kSectionExternalUrls),
              (Lines{inFile(dir.file("a.html")), atLine(3, upper), atLine(4, lower),
                     inFile(dir.file("index.html")), atLine(2, upper)}));
    const auto link = [](const std::string& url) { return "<a href=\"" + url + "\">" + url + "</a>"; };
    EXPECT_EQ(pageLines(),
              (Lines{"<b>" + htmlEscape(inFile(dir.file("a.html"))) + "</b>", atLine(3, link(upper)),
                     atLine(4, link(lower)), "<b>" + htmlEscape(inFile(dir.file("index.html"))) + "</b>",
                     atLine(2, upper + " (repeated above)")}));
}

TEST_F(LinkReportsTest, MailNewsScriptAndDataUrlsAreExternalNeverBroken) {
    dir.write("index.html",
              "<a href=\"mailto:me@example.org\">m</a>\n"
              "<a href=\"news:comp.lang.c\">n</a>\n"
              "<a href=\"javascript:open('x.html')\">j</a>\n"
              "<a href=\"tel:+4930123\">t</a>\n"
              "<img src=\"data:image/gif;base64,R0lGOD\">\n");
    scan();
    findLinks();

    EXPECT_EQ(reportUnresolved(), 0);
    EXPECT_EQ(reportExternal(), 1);
    const Lines text = lines(res::kSectionExternalUrls);
    ASSERT_EQ(text.size(), 6u);
    EXPECT_EQ(text[1], atLine(1, "mailto:me@example.org"));
    EXPECT_EQ(text[2], atLine(2, "news:comp.lang.c"));
    EXPECT_EQ(text[4], atLine(4, "tel:+4930123"));

    // Mail and news are links to try; a script or inline data is shown, never offered to click.
    const Lines page = pageLines();
    ASSERT_EQ(page.size(), 6u);
    EXPECT_EQ(page[1], atLine(1, "<a href=\"mailto:me@example.org\">mailto:me@example.org</a>"));
    EXPECT_EQ(page[2], atLine(2, "<a href=\"news:comp.lang.c\">news:comp.lang.c</a>"));
    EXPECT_EQ(page[3], atLine(3, "javascript:open(&#39;x.html&#39;)"));
    EXPECT_EQ(page[5].find("<a "), std::string::npos);
    EXPECT_EQ(pageText().find("href=\"javascript"), std::string::npos);
}

TEST_F(LinkReportsTest, SiteWithoutExternalUrlsSaysSoInBothSections) {
    dir.write("index.html", "<a href=\"a.html\">a</a>");
    dir.write("a.html", "<p>");
    scan();
    findLinks();

    EXPECT_EQ(reportExternal(), 0);
    EXPECT_EQ(body(res::kSectionExternalUrls), "\nNo external URL link references!\n\n\n\n");
    EXPECT_EQ(pageLines(), (Lines{"No external URL link references!"}));
    // The page was closed: its footer is there.
    EXPECT_NE(pageText().find("</body></html>"), std::string::npos);
}

struct EscapeCase {
    const char* name;
    std::string_view href;     // the attribute's value with its quotes, as written in the page
    std::string_view escaped;  // as it must stand in the external-links page
};

class ExternalPageEscapingTest : public LinkSite, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(ExternalPageEscapingTest, UrlCanNeitherEndTheAttributeNorOpenATag) {
    const EscapeCase& c = GetParam();
    dir.write("index.html", "<a href=" + std::string(c.href) + ">x</a>");
    scan();
    findLinks();
    {
        ExternalLinksPass report(*found, job);
        runOverTree(report);
    }
    const std::string page = logScope.log().sectionText(res::kSectionExternalUrlPage);
    const std::string escaped(c.escaped);
    EXPECT_NE(page.find("<a href=\"" + escaped + "\">" + escaped + "</a>"), std::string::npos) << page;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExternalPageEscapingTest,
    ::testing::Values(
        EscapeCase{"Ampersand", "\"http://e.example.com/a&b\"", "http://e.example.com/a&amp;b"},
        EscapeCase{"Quote", "'http://e.example.com/\"onmouseover=\"x'",
                   "http://e.example.com/&quot;onmouseover=&quot;x"},
        EscapeCase{"Apostrophe", "\"http://e.example.com/it's\"", "http://e.example.com/it&#39;s"},
        EscapeCase{"AngleBrackets", "\"http://e.example.com/<b>\"", "http://e.example.com/&lt;b&gt;"}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

TEST_F(LinkReportsTest, PathInTheExternalPageIsEscaped) {
    dir.write("index.html", "<a href=\"a&b<'x'>.html\">a</a>");
    dir.write("a&b<'x'>.html", "<a href=\"http://e.example.com/\">e</a>");
    scan();
    findLinks();
    reportExternal();

    const std::string page = pageText();
    EXPECT_EQ(page.find("a&b<'x'>"), std::string::npos) << page;
    EXPECT_NE(page.find("<b>In file &quot;" + htmlEscape(dir.file("a&b<'x'>.html")) + "&quot;</b>"),
              std::string::npos)
        << page;
    // The text report shows the path as it is.
    EXPECT_EQ(lines(res::kSectionExternalUrls).at(0), inFile(dir.file("a&b<'x'>.html")));
}

}  // namespace
}  // namespace korvel
