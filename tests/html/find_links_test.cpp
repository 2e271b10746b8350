#include "html/find_links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "html/update_links.h"
#include "link_site.h"
#include "platform/display_name.h"
#include "res/strings.h"

namespace korvel {
namespace {

using testing::LinkSite;

// ---- Lines of positions

struct LinesCase {
    const char* name;
    std::string_view text;
    std::vector<std::int64_t> positions;
    std::vector<std::uint32_t> expected;
};

class LinesOfPositionsTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LinesOfPositionsTest, CountsLinesAsTheLineIndexDoes) {
    const LinesCase& c = GetParam();
    EXPECT_EQ(linesOfPositions(c.text, c.positions), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinesOfPositionsTest,
                         ::testing::Values(LinesCase{"Lf", "a\nb\nc", {0, 2, 4}, {1, 2, 3}},
                                           // The line end itself still belongs to the line it ends.
                                           LinesCase{"OnTheLineEnd", "ab\ncd", {2, 3}, {1, 2}},
                                           LinesCase{"CrLfCountsOnce", "a\r\nb\r\nc", {0, 3, 6}, {1, 2, 3}},
                                           LinesCase{"BetweenCrAndLf", "a\r\nb", {2, 3}, {2, 2}},
                                           LinesCase{"LoneCr", "a\rb\rc", {2, 4}, {2, 3}},
                                           LinesCase{"Mixed", "a\n\r\n\rb", {5}, {4}},
                                           LinesCase{"EmptyLines", "\n\n\nx", {3}, {4}},
                                           LinesCase{"RepeatedPosition", "a\nb", {2, 2}, {2, 2}},
                                           LinesCase{"PastTheEnd", "a\nb\n", {99}, {3}},
                                           LinesCase{"NoPositions", "a\nb", {}, {}}),
                         [](const ::testing::TestParamInfo<LinesCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Finding over a site

class FindLinksTest : public LinkSite {};

TEST_F(FindLinksTest, UrlMapHoldsWhatTheHomePageReaches) {
    dir.write("index.html", "<a href=\"a.html\">a</a> <a href=\"sub/\">sub</a>");
    dir.write("a.html", "<img src=\"pics/b.gif\"><a href=\"index.html\">home</a><a href=\"a.html\">self</a>");
    dir.write("pics/b.gif", "GIF89a");
    dir.write("sub/index.html", "<p>");
    dir.write("sub/other.html", "<p>");  // in a linked directory, but only its default document is linked
    dir.write("lost.html", "<img src=\"pics/only-lost.gif\">");
    dir.write("pics/only-lost.gif", "GIF89a");
    scan();

    const int pages = findLinks();
    const ReachedNodes expected{node("index.html"), node("a.html"), node("pics/b.gif"),
                                node("sub/index.html")};
    EXPECT_EQ(urlMap, expected);
    EXPECT_EQ(pages, 4);
    EXPECT_EQ(firstPassParsed, 3u);
    // The second walk reads only the pages the first did not reach.
    EXPECT_EQ(secondPassParsed, 2u);
    EXPECT_TRUE(page("lost.html")->linksFound());
    ASSERT_EQ(page("lost.html")->urls().size(), 1u);
    EXPECT_EQ(page("lost.html")->urls()[0].target, node("pics/only-lost.gif"));
}

TEST_F(FindLinksTest, RecordsAreInPageOrderWithTheirFlags) {
    // One tag's attributes come high index first (src before lowsrc); the records are sorted by position.
    dir.write("index.html",
              "<img lowsrc=\"low.gif\" src=\"img.gif\">\n"
              "<frameset><frame src=\"f.html\"></frameset>\n"
              "<a href=\"http://elsewhere.example.com/x.html\">x</a>\n");
    dir.write("low.gif", "GIF89a");
    dir.write("img.gif", "GIF89a");
    dir.write("f.html", "<p>");
    scan();
    findLinks();

    const auto& urls = page("index.html")->urls();
    ASSERT_EQ(urls.size(), 4u);
    EXPECT_TRUE(std::is_sorted(urls.begin(), urls.end(), [](const UrlRecord& a, const UrlRecord& b) {
        return a.position < b.position;
    }));
    EXPECT_EQ(urls[0].target, node("low.gif"));
    EXPECT_TRUE(urls[0].has(UrlRecord::kEmbedded));
    EXPECT_EQ(urls[1].target, node("img.gif"));
    EXPECT_EQ(urls[2].target, node("f.html"));
    EXPECT_TRUE(urls[2].has(UrlRecord::kFrame));
    EXPECT_TRUE(urls[3].has(UrlRecord::kExternal));
    EXPECT_FALSE(urls[3].has(UrlRecord::kEmbedded));
}

TEST_F(FindLinksTest, BaseTagIsNoLinkAndRedirectsTheLinksAfterIt) {
    dir.write("index.html",
              "<a href=\"a.html\">before</a>\n"
              "<base href=\"docs/\">\n"
              "<a href=\"a.html\">after</a>\n");
    dir.write("a.html", "<p>");
    dir.write("docs/a.html", "<p>");
    scan();
    findLinks();

    const auto& urls = page("index.html")->urls();
    ASSERT_EQ(urls.size(), 3u);
    EXPECT_EQ(urls[0].target, node("a.html"));
    EXPECT_TRUE(urls[1].has(UrlRecord::kBase));
    EXPECT_EQ(urls[1].target, node("docs"));
    EXPECT_EQ(urls[2].target, node("docs/a.html"));
    // The walk does not follow the base into the directory.
    EXPECT_EQ(urlMap.count(node("docs")), 0u);
    EXPECT_EQ(urlMap.count(node("docs/a.html")), 1u);
}

TEST_F(FindLinksTest, SyntaxErrorsOfAPageAreReportedOnceAcrossBothPasses) {
    dir.write("index.html", "<p>\n<a href=\"a.html>a</a>\n");  // no end quote, on line 2
    dir.write("a.html", "<p>\n\n> stray\n");                   // on line 3; read in the first pass
    dir.write("lost.html", "x > y\n");                         // read in the second pass only
    scan();
    findLinks();

    const std::vector<std::string> errors = lines(res::kSectionSyntaxErrors);
    ASSERT_EQ(errors.size(), 3u) << body(res::kSectionSyntaxErrors);
    EXPECT_EQ(errors[0].rfind(atLine(2, ""), 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("index.html"), std::string::npos);
    EXPECT_EQ(errors[1].rfind(atLine(3, ""), 0), 0u) << errors[1];
    EXPECT_NE(errors[1].find("a.html"), std::string::npos);
    EXPECT_NE(errors[2].find("lost.html"), std::string::npos);
}

TEST_F(FindLinksTest, SyntaxErrorsAreKeptAsDataOnlyWhenAsked) {
    dir.write("index.html", "<p>\n<a href=\"a.html>a</a>\n");  // no end quote, on line 2
    scan();
    findLinks();
    EXPECT_FALSE(lines(res::kSectionSyntaxErrors).empty());
    EXPECT_TRUE(found->syntaxErrors().empty());
}

TEST_F(FindLinksTest, KeptSyntaxErrorsCarryTheirPageLineAndKindInTheLogsOrder) {
    dir.write("index.html", "<a href=\"a.html\">a</a>\n<p>\n<a href=\"b.html>b</a>\n");  // line 3
    // CR LF counts once; the unclosed tag comes after the stray ">" in the page.
    dir.write("a.html", "x > y\r\n\r\n<p <b>\n");
    scan();
    found->keepSyntaxErrors(true);
    findLinks();
    const auto& kept = found->syntaxErrors();
    ASSERT_EQ(kept.size(), 3u) << body(res::kSectionSyntaxErrors);
    const struct {
        const char* page;
        std::uint32_t line;
        html::SyntaxErrorKind kind;
    } expected[] = {{"index.html", 3, html::SyntaxErrorKind::EndQuote},
                    {"a.html", 1, html::SyntaxErrorKind::NoStart},
                    {"a.html", 3, html::SyntaxErrorKind::NoClose}};
    const std::vector<std::string> logged = lines(res::kSectionSyntaxErrors);
    ASSERT_EQ(logged.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(kept[i].page, page(expected[i].page)) << i;
        EXPECT_EQ(kept[i].line, expected[i].line) << i;
        EXPECT_EQ(kept[i].kind, expected[i].kind) << i;
        EXPECT_EQ(logged[i].rfind(atLine(static_cast<int>(expected[i].line), ""), 0), 0u) << logged[i];
    }
}

TEST_F(FindLinksTest, PageThatCannotBeOpenedIsReportedOnceAndCountsAsNotParsed) {
    dir.write("index.html", "<a href=\"gone.html\">s</a>");
    const std::string gone = dir.write("gone.html", "<img src=\"a.gif\">");
    dir.write("a.gif", "GIF89a");
    scan();
    ASSERT_EQ(std::remove(gone.c_str()), 0);  // after the scan took it for a page

    findLinks();
    EXPECT_EQ(firstPassParsed, 1u);
    EXPECT_EQ(secondPassParsed, 0u);
    EXPECT_FALSE(page("gone.html")->linksFound());
    // Reached, but its links are unknown: what only it links to is not reached.
    EXPECT_EQ(urlMap.count(node("gone.html")), 1u);
    EXPECT_EQ(urlMap.count(node("a.gif")), 0u);

    const std::string errors = body(res::kSectionErrors);
    const std::string shown = platform::displayName(gone);
    const std::size_t first = errors.find(shown);
    ASSERT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find(shown, first + 1), std::string::npos) << errors;
}

TEST_F(FindLinksTest, KorvelOutputFilesAreNeitherReadNorReached) {
    dir.write("index.html", "<a href=\"REPORT.TXT\">r</a> <a href=\"report_of_external_refs.html\">x</a>");
    // A page Korvel wrote on an earlier job: its links must not count as the site's.
    dir.write("report_of_external_refs.html", testing::korvelExternalPage());
    dir.write("REPORT.TXT", testing::korvelReport());
    dir.write("sub/RENAME.LOG", testing::korvelRenameLog());
    scan();
    findLinks();

    EXPECT_FALSE(page("report_of_external_refs.html")->linksFound());
    EXPECT_TRUE(page("report_of_external_refs.html")->urls().empty());
    EXPECT_EQ(urlMap.count(node("report_of_external_refs.html")), 0u);
    EXPECT_EQ(urlMap.count(node("REPORT.TXT")), 0u);
    EXPECT_EQ(secondPassParsed, 0u);
}

TEST_F(FindLinksTest, LinesAreKeptOnlyForRecordsAReportMayList) {
    dir.write("index.html",
              "<p>\r\n<a href=\"gone.html\">g</a>\r\n<a href=\"a.html\">a</a>\r\n"
              "<a href=\"mailto:me@example.org\">m</a>");
    dir.write("a.html", "<p>");
    scan();
    findLinks();

    HtmlNode& home = *page("index.html");
    ASSERT_EQ(home.urls().size(), 3u);
    EXPECT_EQ(found->lineOf(home, 0), 2);
    EXPECT_EQ(found->lineOf(home, 2), 4);
    // No line was kept for the good link: asking falls back on the page's own line index.
    EXPECT_TRUE(home.lineIndex().empty());
    EXPECT_EQ(found->lineOf(home, 1), 3);
    EXPECT_FALSE(home.lineIndex().empty());
}

TEST_F(FindLinksTest, RecordsHoldNoSpareCapacity) {
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "<a href=\"p" + std::to_string(i) + ".html\">x</a>\n";
    dir.write("index.html", text);
    scan();
    findLinks();
    EXPECT_EQ(page("index.html")->urls().size(), 100u);
    EXPECT_EQ(page("index.html")->urls().capacity(), 100u);
}

// ---- Style sheets

TEST_F(FindLinksTest, PageStyleGivesRecordsThatALinkUpdateRewritesInPlace) {
    const std::string text =
        "<html><head><link rel=\"Alternate StyleSheet\" href=\"theme\">\n"
        "<style>\n"
        "@import 'print.css';\n"
        "body { background: url( \"img/bg.png#x\" ) }\n"
        "</style></head>\n"
        "<p style=\"background:url(img/gone.gif)\">x</p>\n";
    dir.write("index.html", text);
    dir.write("theme", "p {}");
    dir.write("print.css", "");
    dir.write("img/bg.png", "PNG");
    scan();
    findLinks();

    HtmlNode& home = *page("index.html");
    const auto& urls = home.urls();
    const struct {
        std::string_view text;
        Node* target;
        std::uint16_t flags;
    } expected[] = {
        {"theme", node("theme"), UrlRecord::kStyleSheet | UrlRecord::kRelative},
        {"print.css", node("print.css"), UrlRecord::kStyleSheet | UrlRecord::kRelative | UrlRecord::kInStyle},
        {"img/bg.png", node("img/bg.png"), UrlRecord::kEmbedded | UrlRecord::kRelative | UrlRecord::kInStyle},
        {"img/gone.gif", nullptr, UrlRecord::kEmbedded | UrlRecord::kRelative | UrlRecord::kInStyle},
    };
    ASSERT_EQ(urls.size(), std::size(expected));
    for (std::size_t i = 0; i < urls.size(); ++i) {
        EXPECT_EQ(urls[i].text, expected[i].text) << i;
        EXPECT_EQ(urls[i].target, expected[i].target) << i;
        EXPECT_EQ(urls[i].flags, expected[i].flags) << i;
        // The record's bytes are the link alone: no quote, parenthesis or fragment.
        EXPECT_EQ(text.substr(static_cast<std::size_t>(urls[i].position),
                              static_cast<std::size_t>(urls[i].end - urls[i].position + 1)),
                  expected[i].text)
            << i;
    }
    EXPECT_EQ(found->lineOf(home, 3), 6);

    // A renamed image: only its name changes in the page, written so that it cannot end the url().
    node("img/bg.png")->setNewName("back (1).png");
    LinkUpdatePlanner planner(*context, kUrlKeep);
    std::vector<LinkEdit> edits;
    planner.planPage(home, edits);
    std::string rewritten;
    std::size_t changed = 0;
    ASSERT_TRUE(applyLinkEdits(text, urls, edits, rewritten, changed));
    EXPECT_EQ(changed, 1u);
    std::string wanted = text;
    wanted.replace(wanted.find("bg.png"), 6, "back%20%281%29.png");
    EXPECT_EQ(rewritten, wanted);
}

TEST_F(FindLinksTest, StyleSheetResolvesFromItsOwnDirectoryAndEachPageReachesWhatItLoads) {
    dir.write("index.html", "<link rel=stylesheet href=\"css/site.css\"><a href=\"docs/b.html\">b</a>");
    dir.write("docs/b.html", "<link rel=stylesheet href=\"../css/site.css\">");
    dir.write(
        "css/site.css",
        "@import url(more.css);\nbody { background: url(../img/a.png) }\n.x { background: url(gone.png) }");
    dir.write("css/more.css", "@import 'site.css';\np { background: url('/img/b.png') }");  // back: a cycle
    dir.write("img/a.png", "PNG");
    dir.write("img/b.png", "PNG");
    scan();
    findLinks();

    const StyleSheetLinks* sheet = found->styleSheet(*node("css/site.css"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->read);
    ASSERT_EQ(sheet->urls.size(), 3u);
    EXPECT_EQ(sheet->urls[0].target, node("css/more.css"));
    EXPECT_TRUE(sheet->urls[0].has(UrlRecord::kStyleSheet));
    EXPECT_EQ(sheet->urls[1].target, node("img/a.png"));
    EXPECT_EQ(sheet->urls[2].target, nullptr);
    EXPECT_EQ(sheet->lines, (std::vector<std::uint32_t>{1, 2, 3}));

    const std::vector<Node*> reach{node("css/more.css"), node("img/a.png"), node("img/b.png")};
    EXPECT_EQ(found->styleSheetReach(static_cast<FileNode&>(*node("css/site.css"))), reach);
    EXPECT_EQ(page("index.html")->linkTargets(), reach);
    EXPECT_EQ(page("docs/b.html")->linkTargets(), reach);
    for (Node* target : reach)
        EXPECT_EQ(urlMap.count(target), 1u) << target->path();

    // Read once a job: a second request does not read the file again.
    ASSERT_EQ(std::remove(dir.file("css/site.css").c_str()), 0);
    EXPECT_EQ(found->readStyleSheet(static_cast<FileNode&>(*node("css/site.css"))).urls.size(), 3u);
    EXPECT_TRUE(body(res::kSectionErrors).empty()) << body(res::kSectionErrors);
}

TEST_F(FindLinksTest, StyleSheetThatCannotBeOpenedIsReportedOnce) {
    dir.write("index.html", "<link rel=stylesheet href=\"a.css\"><a href=\"b.html\">b</a>");
    dir.write("b.html", "<link rel=stylesheet href=\"a.css\">");
    const std::string sheet = dir.write("a.css", "p { background: url(a.png) }");
    dir.write("a.png", "PNG");
    scan();
    ASSERT_EQ(std::remove(sheet.c_str()), 0);
    findLinks();

    ASSERT_NE(found->styleSheet(*node("a.css")), nullptr);
    EXPECT_FALSE(found->styleSheet(*node("a.css"))->read);
    EXPECT_EQ(urlMap.count(node("a.css")), 1u);
    EXPECT_EQ(urlMap.count(node("a.png")), 0u);
    const std::string errors = body(res::kSectionErrors);
    const std::string shown = platform::displayName(sheet);
    const std::size_t first = errors.find(shown);
    ASSERT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find(shown, first + 1), std::string::npos) << errors;
}

TEST_F(FindLinksTest, EscapedStyleReferenceIsARecordOfItsEscapedBytes) {
    const std::string text =
        "<p style=\"background: url(my\\ photo.png#top)\">\n<p style=\"background: url(gone\\ photo.png)\">";
    dir.write("index.html", text);
    dir.write("my photo.png", "PNG");
    scan();
    findLinks();

    // A rewrite replaces the escaped bytes of the link and leaves its fragment as written.
    const auto& urls = page("index.html")->urls();
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0].text, "my photo.png");
    EXPECT_EQ(urls[0].target, node("my photo.png"));
    EXPECT_EQ(text.substr(static_cast<std::size_t>(urls[0].position),
                          static_cast<std::size_t>(urls[0].end - urls[0].position + 1)),
              "my\\ photo.png");
    EXPECT_TRUE(urls[0].has(UrlRecord::kInStyle));
    EXPECT_EQ(urls[1].text, "gone photo.png");
    EXPECT_FALSE(urls[1].has(UrlRecord::kNeedsEncoding));
    EXPECT_EQ(urlMap.count(node("my photo.png")), 1u);
}

}  // namespace
}  // namespace korvel
