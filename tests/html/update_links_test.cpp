#include "html/update_links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "html/url_text.h"
#include "link_site.h"
#include "res/strings.h"

namespace korvel {
namespace {

using testing::LinkSite;
using testing::readFile;

// ---- The bytes written for a link

struct BytesCase {
    const char* name;
    std::string text;
    std::size_t keep;
    char quote;
    std::string expected;
};

void PrintTo(const BytesCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateLinkBytesTest : public ::testing::TestWithParam<BytesCase> {};

TEST_P(UpdateLinkBytesTest, EncodesForTheAttribute) {
    const BytesCase& c = GetParam();
    EXPECT_EQ(linkBytes(c.text, c.keep, c.quote), c.expected);
}

// Whatever is written reads back as the text it was written for.
TEST_P(UpdateLinkBytesTest, DecodesToTheText) {
    const BytesCase& c = GetParam();
    EXPECT_EQ(decodeUrl(linkBytes(c.text, c.keep, c.quote)), c.text);
}

// Nothing written can end the value or be dropped by a browser.
TEST_P(UpdateLinkBytesTest, HoldsNoByteThatEndsTheValue) {
    const BytesCase& c = GetParam();
    for (char b : linkBytes(c.text, c.keep, c.quote)) {
        const auto byte = static_cast<unsigned char>(b);
        EXPECT_TRUE(byte > 0x20 && byte < 0x7F) << int(byte);
        if (c.quote) {
            EXPECT_NE(b, c.quote);
        } else {
            EXPECT_TRUE(b != '\'' && b != '"' && b != '>' && b != '<');
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCases, UpdateLinkBytesTest,
    ::testing::Values(BytesCase{"Plain", "docs/a.html", 0, '"', "docs/a.html"},
                      BytesCase{"Blank", "my page.html", 0, '"', "my%20page.html"},
                      BytesCase{"ApostropheInDoubleQuotes", "it's.html", 0, '"', "it's.html"},
                      BytesCase{"ApostropheInSingleQuotes", "it's.html", 0, '\'', "it%27s.html"},
                      BytesCase{"ApostropheUnquoted", "it's.html", 0, 0, "it%27s.html"},
                      BytesCase{"DoubleQuoteInSingleQuotes", "a\"b.html", 0, '\'', "a%22b.html"},
                      BytesCase{"TabAndLineFeed", "a\tb\nc.html", 0, '"', "a%09b%0Ac.html"},
                      BytesCase{"CarriageReturnAndDelete", "a\rb\x7f.html", 0, '"', "a%0Db%7F.html"},
                      BytesCase{"HighBytes", "caf\xc3\xa9.html", 0, '"', "caf%C3%A9.html"},
                      BytesCase{"Reserved", "100%#?;.html", 0, '"', "100%25%23%3F%3B.html"},
                      BytesCase{"ColonIsNoScheme", "a:b.html", 0, '"', "a%3Ab.html"},
                      BytesCase{"StyleUrl", "a(1) 'b\".png", 0, '(', "a%281%29%20%27b%22.png"},
                      BytesCase{"WithinValue", "a, b's \"c\".png", 0, kWithinValueQuote,
                                "a%2C%20b%27s%20%22c%22.png"},
                      BytesCase{"SchemeAndServerKept", "http://www.example.org/a b.html", 22, '"',
                                "http://www.example.org/a%20b.html"},
                      // Even a kept part cannot end the value.
                      BytesCase{"KeptPartStillSafe", "http://x'y/a.html", 10, '\'', "http://x%27y/a.html"}),
    [](const ::testing::TestParamInfo<BytesCase>& info) { return std::string(info.param.name); });

// For plain names the bytes are the canonical encoding, the one link finding checks links against.
TEST(UpdateLinkBytes, PlainNamesGetTheCanonicalEncoding) {
    for (const char* text : {"a.html", "docs/my file.html", "x~y[1].gif", "it's.html"})
        EXPECT_EQ(linkBytes(text, 0, '"'), encodeUrlPath(text)) << text;
}

struct QuoteCase {
    const char* name;
    std::string page;
    std::string link;  // the link's first bytes, found in the page
    char expected;
};

void PrintTo(const QuoteCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateAttributeQuoteTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(UpdateAttributeQuoteTest, ReadsTheByteBeforeTheValue) {
    const QuoteCase& c = GetParam();
    const auto position = static_cast<std::int64_t>(c.page.find(c.link));
    ASSERT_NE(c.page.find(c.link), std::string::npos);
    EXPECT_EQ(attributeQuote(c.page, position), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCases, UpdateAttributeQuoteTest,
    ::testing::Values(QuoteCase{"Double", "<a href=\"a.html\">", "a.html", '"'},
                      QuoteCase{"Single", "<a href='a.html'>", "a.html", '\''},
                      QuoteCase{"Unquoted", "<a href=a.html>", "a.html", 0},
                      QuoteCase{"UnquotedAfterBlank", "<a href= a.html>", "a.html", 0},
                      QuoteCase{"BlankInsideQuotes", "<a href=' \ta.html'>", "a.html", '\''},
                      QuoteCase{"OtherQuoteInside", "<a title='x' href=\"a.html\">", "a.html", '"'},
                      QuoteCase{"StartOfPage", "a.html", "a.html", 0},
                      // A style sheet's url(): the attribute the style stands in is not known here.
                      QuoteCase{"StyleUrlUnquoted", "<p style=\"x:url( a.png)\">", "a.png", '('},
                      QuoteCase{"StyleUrlQuoted", "<p style='x:url( \"a.png\")'>", "a.png", '('},
                      QuoteCase{"StyleImport", "@import 'a.css';", "a.css", '\''}),
    [](const ::testing::TestParamInfo<QuoteCase>& info) { return std::string(info.param.name); });

// ---- Planning over a site

// The site every planning case starts from; the page under test is docs/a.html.
const std::vector<std::string> kSite = {
    "index.html",  "docs/b.html",    "docs/my page.html", "docs/img/Logo.GIF",
    "img/top.gif", "sub/index.html", "sub/deep/x.html",
};

struct PlanCase {
    const char* name;
    std::int32_t conversion;
    std::map<std::string, std::string> newNames;  // relative path -> new name
    std::string page;                             // docs/a.html
    std::vector<std::string> newTexts;            // of the edits, in page order
    std::string rewritten;                        // the page with the edits applied
};

void PrintTo(const PlanCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdatePlanTest : public LinkSite, public ::testing::WithParamInterface<PlanCase> {
  protected:
    void SetUp() override {
        const PlanCase& c = GetParam();
        for (const std::string& f : kSite)
            dir.write(f, "<p>" + f + "</p>");
        dir.write("docs/a.html", c.page);
        scan();
        for (const auto& [rel, name] : c.newNames) {
            Node* n = node(rel);
            ASSERT_TRUE(n) << rel;
            n->setNewName(name);
        }
        findLinks();
    }

    std::vector<LinkEdit> plan(std::int32_t conversion) {
        LinkUpdatePlanner planner(*context, static_cast<UrlConversion>(conversion));
        std::vector<LinkEdit> edits;
        planner.planPage(*page("docs/a.html"), edits);
        return edits;
    }
};

TEST_P(UpdatePlanTest, PlansTheNewTexts) {
    std::vector<std::string> texts;
    for (const LinkEdit& e : plan(GetParam().conversion))
        texts.push_back(e.newText);
    EXPECT_EQ(texts, GetParam().newTexts);
}

TEST_P(UpdatePlanTest, RewritesOnlyTheLinksBytes) {
    const std::vector<LinkEdit> edits = plan(GetParam().conversion);
    std::string out;
    std::size_t changed = 0;
    ASSERT_TRUE(applyLinkEdits(GetParam().page, page("docs/a.html")->urls(), edits, out, changed));
    EXPECT_EQ(out, GetParam().rewritten);
    EXPECT_EQ(changed, edits.size());
}

// Carried out on disk (the page rewritten, every file renamed), every link names what it named before
// under its new name, and planning again finds nothing more to do.
TEST_P(UpdatePlanTest, AfterTheFixEveryLinkStillFindsItsTarget) {
    const PlanCase& c = GetParam();
    const std::vector<LinkEdit> edits = plan(c.conversion);
    std::string out;
    std::size_t changed = 0;
    ASSERT_TRUE(applyLinkEdits(c.page, page("docs/a.html")->urls(), edits, out, changed));
    std::vector<std::string> expectedTargets;
    for (const UrlRecord& url : page("docs/a.html")->urls())
        expectedTargets.push_back(url.target ? url.target->newPath() : "");

    dir.write("docs/a.html", out);
    // Deepest first, so that a directory is renamed after what it holds.
    std::vector<std::pair<std::string, std::string>> renames(c.newNames.begin(), c.newNames.end());
    std::sort(renames.begin(), renames.end(), [](const auto& a, const auto& b) {
        return std::count(a.first.begin(), a.first.end(), '/') >
               std::count(b.first.begin(), b.first.end(), '/');
    });
    for (const auto& [rel, name] : renames) {
        const std::filesystem::path from = dir.file(rel);
        std::filesystem::rename(from, from.parent_path() / name);
    }
    std::string pagePath = "docs/a.html";
    if (auto it = c.newNames.find("docs"); it != c.newNames.end()) pagePath = it->second + "/a.html";

    tree.reset();
    scan();
    findLinks();
    const HtmlNode* after = page(pagePath);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->urls().size(), expectedTargets.size());
    for (std::size_t i = 0; i < expectedTargets.size(); ++i) {
        const UrlRecord& url = after->urls()[i];
        EXPECT_EQ(url.target ? url.target->path() : "", expectedTargets[i]) << url.text;
    }
    LinkUpdatePlanner planner(*context, static_cast<UrlConversion>(c.conversion));
    std::vector<LinkEdit> again;
    planner.planPage(*after, again);
    EXPECT_TRUE(again.empty()) << again.front().newText;
}

std::string href(std::string_view link, char quote = '"') {
    return "<a href=" + std::string(1, quote) + std::string(link) + std::string(1, quote) + ">x</a>\n";
}

INSTANTIATE_TEST_SUITE_P(
    UpdateKeep, UpdatePlanTest,
    ::testing::Values(
        PlanCase{"KeepRelativeTargetRenamedFragmentStays",
                 kUrlKeep,
                 {{"docs/b.html", "c.html"}},
                 href("b.html#part"),
                 {"c.html"},
                 href("c.html#part")},
        PlanCase{"KeepRelativeFileAndDirectoryRenamed",
                 kUrlKeep,
                 {{"docs/img", "pics"}, {"docs/img/Logo.GIF", "logo.gif"}},
                 "<img src=\"img/Logo.GIF\">",
                 {"pics/logo.gif"},
                 "<img src=\"pics/logo.gif\">"},
        // Only the renamed directory's segment changes; the rest stays as written.
        PlanCase{"KeepDotSegmentsStay",
                 kUrlKeep,
                 {{"docs/img", "pics"}},
                 href("./img/./Logo.GIF"),
                 {"./pics/./Logo.GIF"},
                 href("./pics/./Logo.GIF")},
        // What stands before ".." names a directory above the ones the link goes through.
        PlanCase{"KeepAboveDotDotUntouched",
                 kUrlKeep,
                 {{"docs", "d"}},
                 href("../img/top.gif"),
                 {},
                 href("../img/top.gif")},
        PlanCase{"KeepBelowDotDotRenamed",
                 kUrlKeep,
                 {{"img", "images"}},
                 href("../img/top.gif"),
                 {"../images/top.gif"},
                 href("../images/top.gif")},
        PlanCase{"KeepRootQueryStays",
                 kUrlKeep,
                 {{"sub", "s"}},
                 href("/sub/deep/x.html?q=1"),
                 {"/s/deep/x.html"},
                 href("/s/deep/x.html?q=1")},
        PlanCase{"KeepAbsoluteServerAsWritten",
                 kUrlKeep,
                 {{"docs/b.html", "c.html"}},
                 href("HTTP://WWW.Example.ORG/docs/b.html"),
                 {"HTTP://WWW.Example.ORG/docs/c.html"},
                 href("HTTP://WWW.Example.ORG/docs/c.html")},
        // A directory link names the directory: its default document's name is not in it.
        PlanCase{"KeepDefaultDocumentDirectoryRenamed",
                 kUrlKeep,
                 {{"sub", "s"}},
                 href("../sub/"),
                 {"../s/"},
                 href("../s/")},
        PlanCase{"KeepDefaultDocumentItselfRenamed",
                 kUrlKeep,
                 {{"sub/index.html", "index.htm"}},
                 href("../sub/"),
                 {},
                 href("../sub/")},
        // A link that spells its file in another case works only where case is ignored: it is written as
        // the file is named, even when the file keeps its name.
        PlanCase{"KeepNoNewNameFixesCase",
                 kUrlKeep,
                 {},
                 href("B.HTML") + href("img/logo.gif"),
                 {"b.html", "img/Logo.GIF"},
                 href("b.html") + href("img/Logo.GIF")},
        PlanCase{"KeepNewNameAsWrittenNoEdit",
                 kUrlKeep,
                 {{"docs/b.html", "B.html"}},
                 href("B.html"),
                 {},
                 href("B.html")},
        PlanCase{"KeepCaseChange",
                 kUrlKeep,
                 {{"docs/b.html", "B.html"}},
                 href("b.html"),
                 {"B.html"},
                 href("B.html")},
        PlanCase{"KeepRawBlankEncoded",
                 kUrlKeep,
                 {},
                 href("my page.html"),
                 {"my page.html"},
                 href("my%20page.html")},
        PlanCase{"KeepApostropheInSingleQuotes",
                 kUrlKeep,
                 {{"docs/b.html", "it's.html"}},
                 href("b.html", '\''),
                 {"it's.html"},
                 href("it%27s.html", '\'')},
        PlanCase{"KeepApostropheInDoubleQuotes",
                 kUrlKeep,
                 {{"docs/b.html", "it's.html"}},
                 href("b.html"),
                 {"it's.html"},
                 href("it's.html")},
        PlanCase{"KeepBlankUnquoted",
                 kUrlKeep,
                 {{"docs/b.html", "new b.html"}},
                 "<a href=b.html>x</a>",
                 {"new b.html"},
                 "<a href=new%20b.html>x</a>"},
        PlanCase{"KeepNonAsciiName",
                 kUrlKeep,
                 {{"docs/b.html", "caf\xc3\xa9.html"}},
                 href("b.html"),
                 {"caf\xc3\xa9.html"},
                 href("caf%C3%A9.html")},
        // Only resolved local links are ever edited.
        PlanCase{"KeepBrokenAndExternalUntouched",
                 kUrlKeep,
                 {{"docs/b.html", "c.html"}},
                 href("nothere.html") + href("mailto:x@example.org") + href("http://other.org/docs/b.html"),
                 {},
                 href("nothere.html") + href("mailto:x@example.org") + href("http://other.org/docs/b.html")}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    UpdateConvert, UpdatePlanTest,
    ::testing::Values(
        PlanCase{"RelativeFromRoot",
                 kUrlRelative,
                 {},
                 href("/img/top.gif"),
                 {"../img/top.gif"},
                 href("../img/top.gif")},
        PlanCase{"RelativeFromAbsolute",
                 kUrlRelative,
                 {},
                 href("http://www.example.org/docs/b.html#p"),
                 {"b.html"},
                 href("b.html#p")},
        PlanCase{"RelativeTargetDirectoryRenamed",
                 kUrlRelative,
                 {{"sub", "s"}},
                 href("/sub/deep/x.html"),
                 {"../s/deep/x.html"},
                 href("../s/deep/x.html")},
        // From the page's directory as it will be named.
        PlanCase{"RelativeFromRenamedPageDirectory",
                 kUrlRelative,
                 {{"docs", "d"}},
                 href("/docs/b.html"),
                 {"b.html"},
                 href("b.html")},
        PlanCase{"RelativeAlreadyRelativeNoEdit",
                 kUrlRelative,
                 {},
                 href("b.html") + href("../img/top.gif"),
                 {},
                 href("b.html") + href("../img/top.gif")},
        PlanCase{"RelativeDefaultDocument", kUrlRelative, {}, href("/sub/"), {"../sub/"}, href("../sub/")},
        // A base tag changes only the links after it; the base itself is relative to the page.
        PlanCase{"RelativeBaseAfterSomeLinks",
                 kUrlRelative,
                 {},
                 href("/docs/b.html") + "<base href=\"/sub/\">\n" + href("/docs/b.html"),
                 {"b.html", "../sub/", "../docs/b.html"},
                 href("b.html") + "<base href=\"../sub/\">\n" + href("../docs/b.html")},
        // A second base tag resolved against the first, and so is its relative form.
        PlanCase{"RelativeSecondBase",
                 kUrlRelative,
                 {{"sub/deep", "d"}},
                 "<base href=\"/sub/\"><base href=\"/sub/deep/\">" + href("/docs/b.html"),
                 {"../sub/", "d/", "../../docs/b.html"},
                 "<base href=\"../sub/\"><base href=\"d/\">" + href("../../docs/b.html")},
        PlanCase{"RelativeNameWithColon",
                 kUrlRelative,
                 {{"docs/b.html", "a:b.html"}},
                 href("/docs/b.html"),
                 {"./a:b.html"},
                 href("./a%3Ab.html")},
        PlanCase{
            "RootFromRelative", kUrlRoot, {}, href("../img/top.gif"), {"/img/top.gif"}, href("/img/top.gif")},
        PlanCase{"RootDirectoriesRenamed",
                 kUrlRoot,
                 {{"docs", "d"}, {"docs/img", "i"}},
                 href("img/Logo.GIF"),
                 {"/d/i/Logo.GIF"},
                 href("/d/i/Logo.GIF")},
        PlanCase{"RootDefaultDocument",
                 kUrlRoot,
                 {},
                 href("../sub/index.html") + href("../sub/"),
                 {"/sub/index.html", "/sub/"},
                 href("/sub/index.html") + href("/sub/")},
        PlanCase{"RootFromAbsolute",
                 kUrlRoot,
                 {},
                 href("http://www.example.org/docs/b.html?x"),
                 {"/docs/b.html"},
                 href("/docs/b.html?x")},
        PlanCase{"AbsoluteFromRelative",
                 kUrlAbsolute,
                 {{"docs/b.html", "my b.html"}},
                 href("b.html", '\''),
                 {"http://www.example.org/docs/my b.html"},
                 href("http://www.example.org/docs/my%20b.html", '\'')},
        PlanCase{"AbsoluteTopDirectory",
                 kUrlAbsolute,
                 {},
                 href("../"),
                 {"http://www.example.org/"},
                 href("http://www.example.org/")},
        PlanCase{"AbsoluteSameFormRenamed",
                 kUrlAbsolute,
                 {{"docs/b.html", "c.html"}},
                 href("http://WWW.EXAMPLE.ORG/docs/b.html"),
                 {"http://WWW.EXAMPLE.ORG/docs/c.html"},
                 href("http://WWW.EXAMPLE.ORG/docs/c.html")}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

// A srcset candidate and a refresh's URL change alone: the descriptors, the other candidates, the delay
// and the quotes around them stay. A comma, a quote or white space in a new name is encoded there, since
// it would end the candidate or the value.
INSTANTIATE_TEST_SUITE_P(
    UpdateWithinValue, UpdatePlanTest,
    ::testing::Values(
        PlanCase{"SrcsetOneCandidateRenamed",
                 kUrlKeep,
                 {{"img/top.gif", "Top, Big.gif"}},
                 "<img srcset=\"img/Logo.GIF 1x,  ../img/top.gif?v=2 2x\">",
                 {"../img/Top, Big.gif"},
                 "<img srcset=\"img/Logo.GIF 1x,  ../img/Top%2C%20Big.gif?v=2 2x\">"},
        PlanCase{"SrcsetEveryCandidateKeepsItsDescriptor",
                 kUrlKeep,
                 {{"docs/img", "pics"}, {"docs/b.html", "x,y.html"}},
                 "<source srcset=\"img/Logo.GIF\t480w (a, b) ,b.html 2x,my%20page.html\">",
                 {"pics/Logo.GIF", "x,y.html"},
                 "<source srcset=\"pics/Logo.GIF\t480w (a, b) ,x%2Cy.html 2x,my%20page.html\">"},
        PlanCase{"SrcsetApostropheUnquoted",
                 kUrlKeep,
                 {{"docs/b.html", "it's.html"}},
                 "<img srcset=b.html>",
                 {"it's.html"},
                 "<img srcset=it%27s.html>"},
        PlanCase{"RefreshKeepsItsDelay",
                 kUrlKeep,
                 {{"docs/b.html", "c d.html"}},
                 "<meta http-equiv=\"refresh\" content=\"5; url=b.html\">",
                 {"c d.html"},
                 "<meta http-equiv=\"refresh\" content=\"5; url=c%20d.html\">"},
        // The byte before the URL is an apostrophe, but the value is in double quotes.
        PlanCase{"RefreshQuotedUrlCannotEndTheValue",
                 kUrlKeep,
                 {{"docs/b.html", "it\"s.html"}},
                 "<meta http-equiv=refresh content=\"0;URL='b.html#x'\">",
                 {"it\"s.html"},
                 "<meta http-equiv=refresh content=\"0;URL='it%22s.html#x'\">"},
        PlanCase{
            "RootFormForEveryReference",
            kUrlRoot,
            {},
            "<img srcset=\"img/Logo.GIF 1x, ../img/top.gif 2x\"><meta http-equiv=refresh "
            "content=\"1,b.html\">"
            "<video poster=\"img/Logo.GIF\"></video><blockquote cite=\"b.html\"><use xlink:href=\"b.html\">",
            {"/docs/img/Logo.GIF", "/img/top.gif", "/docs/b.html", "/docs/img/Logo.GIF", "/docs/b.html",
             "/docs/b.html"},
            "<img srcset=\"/docs/img/Logo.GIF 1x, /img/top.gif 2x\"><meta http-equiv=refresh "
            "content=\"1,/docs/b.html\">"
            "<video poster=\"/docs/img/Logo.GIF\"></video><blockquote cite=\"/docs/b.html\">"
            "<use xlink:href=\"/docs/b.html\">"}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

// ---- Applying edits

class UpdateApplyTest : public LinkSite {};

TEST_F(UpdateApplyTest, RefusesAPageThatChangedSinceItWasRead) {
    dir.write("a.html", href("b.html"));
    dir.write("b.html", "");
    scan();
    findLinks("a.html");
    node("b.html")->setNewName("c.html");
    LinkUpdatePlanner planner(*context, kUrlKeep);
    std::vector<LinkEdit> edits;
    planner.planPage(*page("a.html"), edits);
    ASSERT_EQ(edits.size(), 1u);
    std::string out;
    std::size_t changed = 0;
    EXPECT_TRUE(applyLinkEdits(href("b.html"), page("a.html")->urls(), edits, out, changed));
    EXPECT_FALSE(applyLinkEdits(href("x.html"), page("a.html")->urls(), edits, out, changed));
    EXPECT_FALSE(applyLinkEdits("<a", page("a.html")->urls(), edits, out, changed));
    std::vector<LinkEdit> twice = {edits[0], edits[0]};
    EXPECT_FALSE(applyLinkEdits(href("b.html"), page("a.html")->urls(), twice, out, changed));
    edits[0].record = 5;
    EXPECT_FALSE(applyLinkEdits(href("b.html"), page("a.html")->urls(), edits, out, changed));
}

// ---- The pass and its report

class UpdatePassTest : public LinkSite {
  protected:
    void site() {
        dir.write("index.html", "<p>\n<a href=\"docs/a.html\">a</a>\n");
        dir.write("docs/a.html",
                  "<p>\n\n<a href=\"B.html\">b</a> <img src=\"my page.gif\">\n<a href=\"/index.html\">");
        dir.write("docs/b.html", "");
        dir.write("docs/my page.gif", "");
        dir.write("docs/c.html", "<a href=\"nothere.html\">");
        scan();
        findLinks();
        node("docs/b.html")->setNewName("B.htm");
    }

    std::int32_t run(std::int32_t conversion, LinkWriter* writer = nullptr, std::uint32_t* files = nullptr) {
        LinkUpdatePass pass(*found, conversion, writer);
        const std::int32_t accepted = runOverTree(pass);
        if (files) *files = pass.fileCount();
        return accepted;
    }
};

TEST_F(UpdatePassTest, ListsEachChangeUnderItsPage) {
    site();
    const std::string before = readFile(dir.file("docs/a.html"));
    std::uint32_t files = 0;
    EXPECT_EQ(run(kUrlKeep, nullptr, &files), 1);
    EXPECT_EQ(files, 1u);
    const std::vector<std::string> expected = {
        "In file \"" + dir.file("docs/a.html") + "\"",
        atLine(3, "B.html"),
        "   -------->  B.htm",
        atLine(3, "my page.gif"),
        "   -------->  my page.gif (reserved character encode)",
    };
    EXPECT_EQ(lines(res::kSectionSuggestedUrlRenaming), expected);
    EXPECT_EQ(logScope.log().sectionText(res::kSectionUrlRenaming), "");
    // A check writes nothing.
    EXPECT_EQ(readFile(dir.file("docs/a.html")), before);
}

TEST_F(UpdatePassTest, NotesACaseChange) {
    site();
    node("docs/b.html")->setNewName("b.html");
    run(kUrlKeep);
    const std::vector<std::string> got = lines(res::kSectionSuggestedUrlRenaming);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[2], "   -------->  b.html (case change)");
}

TEST_F(UpdatePassTest, ConvertsEveryPageAsked) {
    site();
    EXPECT_EQ(run(kUrlRoot), 2);
    const std::vector<std::string> got = lines(res::kSectionSuggestedUrlRenaming);
    EXPECT_NE(std::find(got.begin(), got.end(), atLine(2, "docs/a.html")), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), "   -------->  /docs/B.htm"), got.end());
}

TEST_F(UpdatePassTest, SaysSoWhenNothingNeedsChanging) {
    dir.write("index.html", href("a.html") + href("missing.html") + href("mailto:x@example.org"));
    dir.write("a.html", href("/missing.html"));
    scan();
    findLinks();
    EXPECT_EQ(run(kUrlKeep), 0);
    EXPECT_EQ(lines(res::kSectionSuggestedUrlRenaming),
              std::vector<std::string>{"No local URL links needed to be renamed."});
}

// Broken and external links are never rewritten, so a page that has no other is not counted, even when
// another form is asked for.
TEST_F(UpdatePassTest, APageWithOnlyUnresolvedLinksIsNotCounted) {
    dir.write("index.html", href("a.html"));
    dir.write("a.html", href("missing.html") + href("http://other.org/a.html"));
    scan();
    findLinks();
    std::uint32_t files = 0;
    EXPECT_EQ(run(kUrlRoot, nullptr, &files), 1);
    EXPECT_EQ(files, 1u);
    const std::vector<std::string> got = lines(res::kSectionSuggestedUrlRenaming);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "In file \"" + dir.file("index.html") + "\"");
}

// The content behind a symbolic link is not the site's own: its links are left as they are, and those the
// new names break are listed with a line that says they are not rewritten.
TEST_F(UpdatePassTest, APageBehindASymbolicLinkIsLeftAlone) {
    dir.write("shared/real.html", href("../b.html"));
    dir.write("b.html", "");
    std::filesystem::create_symlink("shared/real.html", dir.file("link.html"));
    scan();
    findLinks("shared/real.html");
    ASSERT_TRUE(page("link.html"));
    ASSERT_TRUE(page("link.html")->isSymlink());
    node("b.html")->setNewName("c.html");
    EXPECT_EQ(run(kUrlKeep), 1);
    const std::vector<std::string> got = lines(res::kSectionSuggestedUrlRenaming);
    const auto at = [&](const std::string& line) { return std::find(got.begin(), got.end(), line); };
    EXPECT_NE(at("In file \"" + dir.file("shared/real.html") + "\""), got.end());
    const auto symlink = at("In file \"" + dir.file("link.html") + "\"");
    ASSERT_NE(symlink, got.end()) << ::testing::PrintToString(got);
    EXPECT_NE(std::find(symlink, got.end(), std::string(res::loadString(res::kSymlinkNotRewritten))),
              got.end());
}

TEST_F(UpdatePassTest, RefusesAbsoluteFormWithoutServer) {
    server = "";
    site();
    EXPECT_EQ(run(kUrlAbsolute), 0);
    const std::vector<std::string> got = lines(res::kSectionSuggestedUrlRenaming);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::string(res::loadString(res::kAbsoluteLinksNeedServer)));
}

TEST_F(UpdatePassTest, CheckHasNothingToRevert) {
    site();
    EXPECT_EQ(run(kUrlRevert), 1);
    EXPECT_EQ(lines(res::kSectionSuggestedUrlRenaming).size(), 5u);
}

class RecordingWriter : public LinkWriter {
  public:
    bool rewrite(FileNode& file, std::span<const LinkEdit> edits) override {
        pages.push_back(file.path());
        editCount += edits.size();
        return succeed;
    }
    bool succeed = true;
    std::vector<std::string> pages;
    std::size_t editCount = 0;
};

// Style sheet text keeps the form it is written in, whatever form pages are given: only a new name
// changes a link there.
TEST_F(UpdatePassTest, StyleSheetLinksChangeOnlyWithANameInEveryForm) {
    dir.write("index.html",
              "<link rel=stylesheet href=\"css/site.css\">\n"
              "<p style=\"background: url(img/Logo.gif)\"><img src=\"img/Logo.gif\">");
    dir.write("css/site.css", "a { background: url(../img/Logo.gif) }\n\nb { background: url(same.png) }\n");
    dir.write("img/Logo.gif", "");
    dir.write("css/same.png", "");
    scan();
    findLinks();
    node("img/Logo.gif")->setNewName("logo.gif");
    const std::vector<std::string> sheet = {"In file \"" + dir.file("css/site.css") + "\"",
                                            atLine(1, "../img/Logo.gif"),
                                            "   -------->  ../img/logo.gif (case change)"};
    EXPECT_EQ(run(kUrlRoot), 2);
    const std::vector<std::string> expected = {sheet[0],
                                               sheet[1],
                                               sheet[2],
                                               "In file \"" + dir.file("index.html") + "\"",
                                               atLine(1, "css/site.css"),
                                               "   -------->  /css/site.css",
                                               atLine(2, "img/Logo.gif"),
                                               "   -------->  img/logo.gif (case change)",
                                               atLine(2, "img/Logo.gif"),
                                               "   -------->  /img/logo.gif"};
    EXPECT_EQ(lines(res::kSectionSuggestedUrlRenaming), expected);

    // A fix plans after its renames, from the names on disk, and has the style sheet rewritten too.
    Node* logo = node("img/Logo.gif");
    ASSERT_EQ(std::rename(dir.file("img/Logo.gif").c_str(), dir.file("img/logo.gif").c_str()), 0);
    logo->setPath(dir.file("img/logo.gif"));
    RecordingWriter writer;
    EXPECT_EQ(run(kUrlKeep, &writer), 2);
    EXPECT_EQ(writer.pages, (std::vector<std::string>{dir.file("css/site.css"), dir.file("index.html")}));
    EXPECT_EQ(writer.editCount, 3u);
}

TEST_F(UpdatePassTest, AWriterGetsEachPagesEditsUnderTheFixTitle) {
    site();
    RecordingWriter writer;
    EXPECT_EQ(run(kUrlKeep, &writer), 1);
    EXPECT_EQ(writer.pages, std::vector<std::string>{dir.file("docs/a.html")});
    EXPECT_EQ(writer.editCount, 2u);
    EXPECT_EQ(lines(res::kSectionUrlRenaming).size(), 5u);
    EXPECT_EQ(logScope.log().sectionText(res::kSectionSuggestedUrlRenaming), "");
}

TEST_F(UpdatePassTest, APageTheWriterLeftAloneIsNotCounted) {
    site();
    RecordingWriter writer;
    writer.succeed = false;
    std::uint32_t files = 7;
    EXPECT_EQ(run(kUrlKeep, &writer, &files), 0);
    EXPECT_EQ(files, 0u);
    // Neither listed as changed, nor said to need no change: the writer has reported it as an error.
    EXPECT_TRUE(lines(res::kSectionUrlRenaming).empty());
}

TEST_F(UpdatePassTest, AWriterIsNeverAskedToRevert) {
    site();
    RecordingWriter writer;
    EXPECT_EQ(run(kUrlRevert, &writer), 0);
    EXPECT_TRUE(writer.pages.empty());
}

}  // namespace
}  // namespace korvel
