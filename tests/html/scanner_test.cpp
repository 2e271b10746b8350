#include "html/scanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "report/app_log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/node.h"
#include "support/temp_dir.h"

namespace korvel::html {
namespace {

using korvel::testing::TempDir;

// "name start-end" per record ("/" before the name of an end tag), joined by " | ".
std::string describeTags(const TagList& tags) {
    std::string out;
    for (const EHtmlTag& tag : tags.tags()) {
        if (!out.empty()) out += " | ";
        out += (tag.endTag ? "/" : "") + tag.name + " " + std::to_string(tag.start) + "-" +
               std::to_string(tag.end);
    }
    return out;
}

std::string describeErrors(const TagList& tags) {
    static const char* const kNames[] = {"NoClose", "NoStart", "UnmatchedComment", "EndQuote"};
    std::string out;
    for (const SyntaxError& error : tags.syntaxErrors()) {
        if (!out.empty()) out += " ";
        out += std::string(kNames[static_cast<int>(error.kind)]) + "@" + std::to_string(error.offset);
    }
    return out;
}

// ---- Cutting a page into records

struct ScanCase {
    const char* title;
    std::string page;
    const char* tags;
    const char* errors;
};

class ScannerRecordsTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerRecordsTest, RecordsAndErrors) {
    const ScanCase& c = GetParam();
    const TagList tags = scanText(c.page);
    EXPECT_EQ(describeTags(tags), c.tags);
    EXPECT_EQ(describeErrors(tags), c.errors);
    EXPECT_EQ(tags.status(), std::string(c.errors).empty() ? kScanClean : kScanSyntaxErrors);

    // Scanned into a list that held another page (as link finding reuses one), nothing of that page stays.
    TagList reused = scanText("<a href=\"x\" b=c> > <!-- <p q=\"r");
    scanText(c.page, reused);
    EXPECT_EQ(describeTags(reused), c.tags);
    EXPECT_EQ(describeErrors(reused), c.errors);
    EXPECT_EQ(reused.status(), tags.status());
    std::size_t attributes = 0;
    for (const EHtmlTag& tag : tags.tags())
        attributes += tag.attributeCount;
    for (const EHtmlTag& tag : reused.tags())
        attributes -= reused.attributes(tag).size();
    EXPECT_EQ(attributes, 0u);
}

TEST(ScannerRecordsReuseTest, TakenErrorsLeaveTheListClean) {
    TagList tags = scanText("<a href=x> > -->");
    const TagList errors = tags.takeErrors();
    EXPECT_EQ(describeErrors(errors), "NoStart@11 UnmatchedComment@15");
    EXPECT_EQ(errors.status(), kScanSyntaxErrors);
    EXPECT_TRUE(errors.tags().empty());
    EXPECT_TRUE(tags.syntaxErrors().empty());
    EXPECT_EQ(tags.status(), kScanClean);
    EXPECT_EQ(describeTags(tags), "a 0-9");
}

INSTANTIATE_TEST_SUITE_P(
    ScannerPages, ScannerRecordsTest,
    ::testing::Values(
        ScanCase{"Comment", "<!-- x -->", "<!-- 0-3 | /--> 7-9", ""},
        ScanCase{"CommentCloseWithoutOpen", "a -->", "", "UnmatchedComment@4"},
        ScanCase{"StrayGreaterThanInText", "a > b", "", "NoStart@2"},
        ScanCase{"GreaterThanInsideComment", "<!-- a > b -->", "<!-- 0-3 | /--> 11-13", ""},
        ScanCase{"TagsInsideCommentAreRecorded", "<!--<a href=x>-->", "<!-- 0-3 | a 4-13 | /--> 14-16", ""},
        ScanCase{"SecondOpenInsideCommentIsNoRecord", "<!--<!---->", "<!-- 0-3 | /--> 8-10", ""},
        ScanCase{"EndTagAndCase", "<P></A >", "p 0-2 | /a 3-7", ""},
        ScanCase{"BlanksBeforeSlash", "< /b>", "/b 0-4", ""},
        // A quoted value ends only at its own quote: ">" and "<" inside it are text.
        ScanCase{"QuotedValueHoldsTagMarks", "<a title=\"1 > 0 < 2\">x</a>", "a 0-20 | /a 22-25", ""},
        ScanCase{"EmptyQuotedValueIsClosed", "<a href=\"\">", "a 0-10", ""},
        ScanCase{"SingleQuotesHoldDoubleQuote", "<a title='say \"hi\"'>", "a 0-19", ""},
        // With no closing quote before the end, the value ends at ">" (closing the tag) or at "<".
        ScanCase{"UnclosedQuoteEndsAtGreaterThan", "<a href=\"x.html>t", "a 0-15", "EndQuote@15"},
        ScanCase{"UnclosedQuoteEndsAtLessThan", "<a href=\"x<b>", "b 10-12", "EndQuote@10 NoClose@0"},
        ScanCase{"UnclosedQuoteAtEndOfPage", "<a href=\"xyz", "a 0-12", "EndQuote@12"},
        ScanCase{"OtherQuoteKindDoesNotClose", "<a b=\"x'>", "a 0-8", "EndQuote@8"},
        ScanCase{"UnquotedValueThenNewTag", "<a href=x <b>", "b 10-12", "NoClose@0"},
        ScanCase{"NameRunsIntoNewTag", "<a<b>", "b 2-4", "NoClose@2"},
        ScanCase{"PageEndsInsideTag", "<a href=x", "a 0-9", ""},
        ScanCase{"PageEndsAfterLessThan", "text<", " 4-5", ""},
        ScanCase{"CommentClosesInsideTag", "<!-- <a b -->", "<!-- 0-3 | /--> 10-12", ""},
        ScanCase{"CommentClosesAfterTagName", "<!-- <b-->", "<!-- 0-3 | /--> 7-9", ""},
        ScanCase{"DoubleDashOutsideCommentIsAnAttribute", "<a -- >", "a 0-6", ""},
        ScanCase{"UnclosedCommentRunsToEnd", "<!-- <a> > x", "<!-- 0-3 | a 5-7", ""},
        // The page is searched by its length, so a NUL byte hides nothing.
        ScanCase{"NulByteHidesNothing", std::string("\0<a>\0>", 6), "a 1-3", "NoStart@5"},
        ScanCase{"HighBytesAreNotMarks", "\xBC\xBE<\xFF>\xBE", "\xff 2-4", ""}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.title); });

// ---- Attributes

TEST(ScannerAttributesTest, NamesLowerCasedValuesKeepCaseAndPositions) {
    //                         0         1         2         3
    //                         0123456789012345678901234567890123456789
    const std::string page = "<IMG SRC=\"Pic.GIF\" Alt='A' ISMAP wIdTh=10>";
    const TagList tags = scanText(page);
    ASSERT_EQ(tags.tags().size(), 1u);
    const EHtmlTag& tag = tags.tags()[0];
    EXPECT_EQ(tag.name, "img");
    struct Expected {
        const char* name;
        const char* value;
        std::int64_t position;
    };
    const Expected expected[] = {
        {"src", "Pic.GIF", 10}, {"alt", "A", 24}, {"ismap", "", 27}, {"width", "10", 39}};
    const auto attributes = tags.attributes(tag);
    ASSERT_EQ(attributes.size(), std::size(expected));
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        EXPECT_EQ(attributes[i].name, expected[i].name);
        EXPECT_EQ(attributes[i].value, expected[i].value);
        EXPECT_EQ(attributes[i].position, expected[i].position) << expected[i].name;
    }
}

TEST(ScannerAttributesTest, LaterValueOfNameWrittenTwiceWins) {
    const TagList tags = scanText("<a HREF=one.html title=t href=two.html>");
    ASSERT_EQ(tags.tags().size(), 1u);
    const EHtmlAttribute* href = tags.attribute(tags.tags()[0], "href");
    ASSERT_NE(href, nullptr);
    EXPECT_EQ(href->value, "two.html");
    EXPECT_EQ(tags.attribute(tags.tags()[0], "src"), nullptr);
}

TEST(ScannerAttributesTest, WhiteSpaceIsExactlySixBytes) {
    // Each of the six separates; a no-break space (0xA0) and NUL do not.
    for (const char space : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        const TagList tags = scanText(std::string("<a") + space + "href" + space + "=" + space + "x>");
        ASSERT_EQ(tags.tags().size(), 1u) << int(space);
        EXPECT_EQ(tags.tags()[0].name, "a") << int(space);
        ASSERT_NE(tags.attribute(tags.tags()[0], "href"), nullptr) << int(space);
        EXPECT_EQ(tags.attribute(tags.tags()[0], "href")->value, "x");
    }
    for (const std::string& other : {std::string("\xA0"), std::string(1, '\0')}) {
        const TagList tags = scanText("<a" + other + "href=x>");
        ASSERT_EQ(tags.tags().size(), 1u);
        EXPECT_EQ(tags.tags()[0].name, "a" + other + "href=x");
    }
}

TEST(ScannerAttributesTest, UnclosedQuoteKeepsTextReadSoFar) {
    const TagList tags = scanText("<a href=\"page.html>text</a>");
    ASSERT_FALSE(tags.tags().empty());
    const EHtmlAttribute* href = tags.attribute(tags.tags()[0], "href");
    ASSERT_NE(href, nullptr);
    EXPECT_EQ(href->value, "page.html");
    EXPECT_EQ(href->position, 9);
}

// ---- URL-bearing values

struct UrlCase {
    const char* title;
    const char* page;
    // "text@position" with flags b(ase) h(ref of base) e(mbedded) f(rame) w(ithin a value), joined by " "
    const char* values;
};

std::string describeValues(const std::string& page) {
    const TagList tags = scanText(page);
    std::vector<UrlValue> values;
    for (const EHtmlTag& tag : tags.tags())
        urlValuesOf(tags, tag, values);
    std::string out;
    for (const UrlValue& v : values) {
        if (!out.empty()) out += " ";
        out += std::string(v.text) + "@" + std::to_string(v.position);
        if (v.isBase || v.baseHref || v.embedded || v.frame || v.withinValue) out += ":";
        if (v.isBase) out += "b";
        if (v.baseHref) out += "h";
        if (v.embedded) out += "e";
        if (v.frame) out += "f";
        if (v.withinValue) out += "w";
    }
    return out;
}

class ScannerUrlValuesTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ScannerUrlValuesTest, Values) {
    EXPECT_EQ(describeValues(GetParam().page), GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(
    ScannerTags, ScannerUrlValuesTest,
    ::testing::Values(UrlCase{"Anchor", "<a href=\"p.html\">", "p.html@9"},
                      UrlCase{"HighestIndexFirst", "<img lowsrc=l.gif src=s.gif>", "s.gif@22:e l.gif@12:e"},
                      UrlCase{"AllEightInIndexOrder",
                              "<x action=0 usemap=1 dynsrc=2 lowsrc=3 codebase=4 background=5 src=6 href=7>",
                              "7@74 6@67:e 5@61:e 4@48:e 3@37:e 2@28:e 1@19 0@10"},
                      UrlCase{"EmptyOrFragmentOnlyOrQueryOnly",
                              "<a href=\"\"><a href=#top><a href=?x=1><a href=\"#\">", ""},
                      UrlCase{"FileWithFragment", "<a href=p.html#top>", "p.html#top@8"},
                      UrlCase{"EndTagAndPlainTags", "</a href=x><p background=b.gif><meta href=m><!-- -->",
                              ""},
                      UrlCase{"LinkInsideComment", "<!-- <a href=old.html> -->", "old.html@13"},
                      UrlCase{"BaseHref", "<BASE HREF=\"http://s/d/\">", "http://s/d/@12:bh"},
                      UrlCase{"BaseOtherAttribute", "<base src=x>", "x@10:be"},
                      UrlCase{"FrameSource", "<frame src=f.html>", "f.html@11:ef"},
                      UrlCase{"LaterDuplicateWins", "<a href=one href=two>", "two@17"},
                      UrlCase{"HiddenRedirectInput", "<INPUT TYPE=Hidden NAME=REDIRECT VALUE=\"next.html\">",
                              "next.html@40"},
                      UrlCase{"InputWithoutType", "<input name=redirect value=next.html>", ""},
                      UrlCase{"InputNotHidden", "<input type=text name=redirect value=next.html>", ""},
                      UrlCase{"InputOtherName", "<input type=hidden name=go value=next.html>", ""},
                      UrlCase{"RedirectValueFragmentOnly", "<input type=hidden name=redirect value=#x>", ""},
                      UrlCase{"RedirectOnlyOnInput",
                              "<form type=hidden name=redirect value=n.html action=a.cgi>", "a.cgi@52"}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.title); });

// What a browser loads or follows beyond the generic attributes: each srcset candidate and a refresh's URL
// cover only their own bytes of the value.
INSTANTIATE_TEST_SUITE_P(
    ScannerBrowserReferences, ScannerUrlValuesTest,
    ::testing::Values(
        UrlCase{"SrcsetEveryCandidate", "<img srcset=\"a.png 1x, b.png 2x\">", "a.png@13:ew b.png@23:ew"},
        UrlCase{"SrcsetBesideSrc", "<img src=s.png srcset=\"t.png 2x\">", "s.png@9:e t.png@23:ew"},
        // A URL runs to white space: a comma inside it is its own, commas that end it are not.
        UrlCase{"SrcsetCommasInAndAfterUrls", "<img srcset=\"a,b.png 1x,c.png,, d.png\">",
                "a,b.png@13:ew c.png@24:ew d.png@32:ew"},
        UrlCase{"SrcsetSpaceEmptyCandidatesAndParentheses",
                "<source srcset=\" ,\n a.png\t480w (x, y) ,, b.png \">", "a.png@20:ew b.png@41:ew"},
        UrlCase{"SrcsetDataUrl", "<img srcset=\"data:image/png;base64,iVBORw0= 1x, c.png 2x\">",
                "data:image/png;base64,iVBORw0=@13:ew c.png@48:ew"},
        UrlCase{"SrcsetFragmentOnlyCandidate", "<img srcset=\"#x 1x, ?q 2x, e.png#y 3x\">", "e.png#y@27:ew"},
        UrlCase{"SrcsetOnlyOnImgAndSource", "<div srcset=a.png><a srcset=b.png>", ""},
        UrlCase{"VideoPosterTrackAudio", "<video src=v.webm poster=p.png><track src=c.vtt><audio src=a.ogg>",
                "v.webm@11:e p.png@25:e c.vtt@42:e a.ogg@59:e"},
        UrlCase{"PosterOnlyOnVideo", "<img poster=p.png>", ""},
        UrlCase{"ObjectDataEmbedSource", "<object data=menu.svg><embed src=e.pdf><div data=x.png>",
                "menu.svg@13:e e.pdf@33:e"},
        UrlCase{"SvgUseAndImageLoad", "<use href=i.svg#w><image xlink:href=c.png><use xlink:href=u.svg>",
                "i.svg#w@10:e c.png@36:e u.svg@58:e"},
        UrlCase{"SvgAnchorLinks", "<a xlink:href=p.html>", "p.html@14"},
        UrlCase{"CiteOnQuotations",
                "<blockquote cite=a.html><q cite=b.html><del cite=c.html><ins cite=d.html><p cite=e.html>"
                "<blockquote href=f.html>",
                "a.html@17 b.html@32 c.html@49 d.html@66"},
        UrlCase{
            "LinkIconAndPreloadLoad",
            "<link rel=\"shortcut icon\" href=f.ico><link rel=PRELOAD href=b.png><link rel=next href=n.html>"
            "<link rel=modulepreload href=m.js>",
            "f.ico@31:e b.png@60:e n.html@86 m.js@122:e"},
        UrlCase{"IframeIsAFrame", "<iframe src=map.html>", "map.html@12:ef"},
        UrlCase{"RefreshUrl", "<meta http-equiv=\"refresh\" content=\"5; url=next.html\">", "next.html@43:w"},
        UrlCase{"RefreshAnyCaseQuotedUrl", "<META HTTP-EQUIV=Refresh CONTENT=\"0;URL='a b.html'  \">",
                "a b.html@41:w"},
        UrlCase{"RefreshWithoutUrlEquals", "<meta http-equiv=refresh content=\"3, b.html\">", "b.html@37:w"},
        UrlCase{"RefreshQuotedWithoutUrlEquals", "<meta http-equiv=refresh content='1 ; \"c.html\" x'>",
                "c.html@39:w"},
        UrlCase{"RefreshSpacesAroundEquals", "<meta http-equiv=refresh content=\"0; URL = d.html \">",
                "d.html@43:w"},
        // Only a whole "url =" is left out: "urlx.html" is the URL itself.
        UrlCase{"RefreshOnlyLooksLikeUrlEquals", "<meta http-equiv=refresh content=\"2.5;urlx.html\">",
                "urlx.html@38:w"},
        UrlCase{
            "RefreshOfThePageItselfOrNone",
            "<meta http-equiv=refresh content=5><meta http-equiv=refresh content=\"x; url=a.html\">"
            "<meta http-equiv=refresh content=\"5url=a.html\"><meta name=refresh content=\"0; url=b.html\">"
            "<meta http-equiv=refresh content=\"0; url=#top\"><meta http-equiv=refresh href=c.html>",
            ""}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.title); });

TEST(ScannerPlainTagsTest, MarkupOnlyTagsAreNeverSearched) {
    for (const char* name :
         {"address", "b",    "br",   "comment", "div",       "font",      "frameset", "h1",
          "h9",      "head", "html", "meta",    "noframes",  "p",         "select",   "textarea",
          "title",   "xmp",  "<!--", "-->",     "plaintext", "blockquote"})
        EXPECT_TRUE(isPlainTag(name)) << name;
    for (const char* name : {"a",  "img",  "base", "frame",  "iframe",      "input",      "body",
                             "td", "area", "link", "script", "form",        "applet",     "embed",
                             "",   "h0",   "B",    "bb",     "blockquotes", "plaintexts", "textareb"})
        EXPECT_FALSE(isPlainTag(name)) << name;
}

// ---- Pages on disk

class ScannerFileTest : public ::testing::Test {
  protected:
    EHtmlNode& page(const std::string& name, const std::string& content) {
        pages_.push_back(std::make_unique<EHtmlNode>(dir.write(name, content), nullptr, HtmlDefinitions{}));
        return *pages_.back();
    }
    std::string errors() { return logScope.log().sectionText(res::kSectionErrors); }
    static std::size_t count(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    TempDir dir;
    LogScope logScope;
    std::vector<std::unique_ptr<EHtmlNode>> pages_;
};

TEST_F(ScannerFileTest, SyntaxErrorLinesNameLineAndPaddedPath) {
    EHtmlNode& p = page("p.htm", "<html>\r\nx > y\r\n\r<!-- a -->\n-->\n<a href=\"q.html>");
    ESection* section = currentLog().openSection(res::kSectionSyntaxErrors);
    const TagList tags = tokenize(p, section);
    EXPECT_EQ(tags.status(), kScanSyntaxErrors);
    const std::string text = logScope.log().sectionText(res::kSectionSyntaxErrors);
    std::string shown = p.path();
    ASSERT_LE(shown.size(), 58u);
    shown.resize(62, ' ');
    EXPECT_NE(text.find("   line    2: " + shown + "    HTML syntax error, no starting \"<\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("   line    5: " + shown + "    HTML syntax error, no matching open comment\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("   line    6: " + shown + "    HTML syntax error, no end quote on attribute\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(count(text, "HTML syntax error"), 3u);
    EXPECT_TRUE(errors().empty());
}

TEST_F(ScannerFileTest, LongPathIsShortenedToFitTheColumn) {
    EHtmlNode& p = page(std::string(40, 'd') + "/" + std::string(40, 'e') + "/page.htm", "a > b");
    ASSERT_GT(p.path().size(), 62u);
    ESection* section = currentLog().openSection(res::kSectionSyntaxErrors);
    tokenize(p, section);
    const std::string text = logScope.log().sectionText(res::kSectionSyntaxErrors);
    const std::size_t at = text.find("   line    1: ");
    ASSERT_NE(at, std::string::npos) << text;
    const std::string rest = text.substr(at + 14);
    // The path column is 62 wide whatever the path; the path itself is cut to 58 around "...".
    EXPECT_EQ(rest.substr(62, 4), "    ") << rest;
    EXPECT_EQ(rest.substr(66, 17), "HTML syntax error");
    EXPECT_NE(rest.substr(0, 62).find("..."), std::string::npos);
    EXPECT_NE(rest.substr(0, 62).find("page.htm"), std::string::npos);
}

TEST_F(ScannerFileTest, LineIndexMadeFromTheScannedTextMatchesTheNodesOwn) {
    const std::string content = "a\r\nb\rc\nd\r\r\n>\n\n>x\r";
    EHtmlNode& p = page("p.htm", content);
    ESection* section = currentLog().openSection(res::kSectionSyntaxErrors);
    tokenize(p, section);
    const std::vector<std::int64_t> fromScan = p.lineIndex();
    EHtmlNode fresh(p.path(), nullptr, HtmlDefinitions{});
    ASSERT_TRUE(fresh.buildLineIndex());
    EXPECT_EQ(fromScan, fresh.lineIndex());
    EXPECT_NE(logScope.log().sectionText(res::kSectionSyntaxErrors).find("   line    6: "),
              std::string::npos);
}

TEST_F(ScannerFileTest, TokenizeReadsTheWholePageAcrossBlocks) {
    // Three and a half blocks of text with a tag straddling each block boundary.
    std::string content;
    const std::size_t block = std::size_t{1} << 20;
    std::vector<std::int64_t> starts;
    for (std::size_t edge = block; edge <= 3 * block; edge += block) {
        content.resize(edge - 5, 'x');
        starts.push_back(static_cast<std::int64_t>(content.size()));
        content += "<a href=e" + std::to_string(edge) + ".html>";
    }
    content.resize(3 * block + block / 2, 'y');
    EHtmlNode& p = page("big.htm", content);
    const TagList tags = tokenize(p, nullptr);
    ASSERT_EQ(tags.tags().size(), starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        EXPECT_EQ(tags.tags()[i].start, starts[i]);
    EXPECT_EQ(tags.status(), kScanClean);
}

TEST_F(ScannerFileTest, PageThatCannotBeOpenedIsReportedOncePerJob) {
    EHtmlNode missing(dir.file("gone.htm"), nullptr, HtmlDefinitions{});
    EUnreadablePages unreadable;
    for (int pass = 0; pass < 3; ++pass) {
        const TagList tags = tokenize(missing, nullptr, &unreadable);
        EXPECT_EQ(tags.status(), kScanOpenFailed);
        EXPECT_TRUE(tags.tags().empty());
    }
    EXPECT_TRUE(unreadable.contains(&missing));
    EXPECT_EQ(count(errors(), "During scan, File open failed\n\t" + missing.path() + "\n"), 1u) << errors();
    // Without the job's record each attempt reports.
    tokenize(missing, nullptr);
    EXPECT_EQ(count(errors(), "File open failed"), 2u);
}

TEST_F(ScannerFileTest, DirectoryIsNoPage) {
    EHtmlNode node(dir.mkdir("folder.htm"), nullptr, HtmlDefinitions{});
    EXPECT_EQ(tokenize(node, nullptr).status(), kScanOpenFailed);
    EXPECT_NE(errors().find("File open failed"), std::string::npos);
}

// Fails every read after the first, which it cuts to "first" bytes.
class FailingScannerFile : public EScannerFile {
  public:
    explicit FailingScannerFile(std::size_t first) : first_(first) {}
    int reads = 0;

  protected:
    std::int64_t readBlock(const platform::ReadFile& file, std::int64_t offset, char* buffer,
                           std::size_t count, std::error_code& ec) override {
        if (reads++ > 0) {
            ec = std::make_error_code(std::errc::io_error);
            return -1;
        }
        return EScannerFile::readBlock(file, offset, buffer, std::min(count, first_), ec);
    }

  private:
    std::size_t first_;
};

TEST_F(ScannerFileTest, ShortReadIsLoggedOnceAndThePageEndsThere) {
    const std::string path = dir.write("p.htm", "<a href=one.html><a href=two.html>");
    FailingScannerFile file(20);
    ASSERT_TRUE(file.load(path));
    EXPECT_TRUE(file.readFailed());
    EXPECT_EQ(file.text(), "<a href=one.html><a ");
    EXPECT_EQ(file.reads, 2);
    EXPECT_EQ(count(errors(), "During scan, File read failed\n\t" + path + "\n"), 1u) << errors();
    const TagList tags = scanText(file.text());
    ASSERT_EQ(tags.tags().size(), 2u);
    EXPECT_EQ(tags.tags()[1].end, 20);
}

TEST_F(ScannerFileTest, AReusedFileHoldsOnlyTheLastPage) {
    EScannerFile file;
    ASSERT_TRUE(file.load(dir.write("long.htm", std::string(100000, 'x') + "<a href=long.html>")));
    ASSERT_TRUE(file.load(dir.write("short.htm", "<a href=short.html>")));
    EXPECT_EQ(file.text(), "<a href=short.html>");
    EXPECT_FALSE(file.load(dir.file("missing.htm"), false));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.text().empty());
}

TEST_F(ScannerFileTest, EmptyPageIsClean) {
    EHtmlNode& p = page("empty.htm", "");
    EXPECT_EQ(tokenize(p, currentLog().openSection(res::kSectionSyntaxErrors)).status(), kScanClean);
}

// ---- Pathological pages: each must finish in time linear in its size (a quadratic step would not end
// within the test's time limit at these sizes).

TEST(ScannerLimitsTest, TenMegabytePageOnOneLine) {
    std::string page;
    const std::string unit = "<a href=\"x.html\">link</a> ";
    while (page.size() < (std::size_t{10} << 20))
        page += unit;
    const TagList tags = scanText(page);
    EXPECT_EQ(tags.tags().size(), 2 * (page.size() / unit.size()));
    EXPECT_EQ(tags.status(), kScanClean);
}

TEST(ScannerLimitsTest, TagWithAMillionAttributes) {
    std::string page = "<a";
    for (int i = 0; i < 1000000; ++i)
        page += " href=v";
    page += ">";
    const TagList tags = scanText(page);
    ASSERT_EQ(tags.tags().size(), 1u);
    EXPECT_EQ(tags.attributes(tags.tags()[0]).size(), 1000000u);
    std::vector<UrlValue> values;
    urlValuesOf(tags, tags.tags()[0], values);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].position, static_cast<std::int64_t>(page.size()) - 2);
}

TEST(ScannerLimitsTest, UnterminatedConstructsAtTheEnd) {
    const std::string body(4 << 20, 'x');
    for (const std::string& head : {std::string("<a href=\""), std::string("<!--"), std::string("<a "),
                                    std::string("<a href='"), std::string("<")}) {
        const TagList tags = scanText(head + body);
        EXPECT_FALSE(tags.tags().empty()) << head;
    }
}

TEST(ScannerLimitsTest, ManyQuotesOfWhichOnlyTheLastIsOpen) {
    std::string page;
    for (int i = 0; i < 200000; ++i)
        page += "<a b=\"<c d='>";
    const TagList tags = scanText(page);
    EXPECT_FALSE(tags.tags().empty());
}

TEST(ScannerLimitsTest, RunsOfMarks) {
    for (const char mark : {'<', '>', '"', '=', '-'}) {
        const TagList tags = scanText(std::string(1 << 20, mark));
        if (mark == '<') {
            EXPECT_EQ(tags.syntaxErrors().size(), (std::size_t{1} << 20) - 1);
        } else if (mark == '>') {
            EXPECT_EQ(tags.syntaxErrors().size(), std::size_t{1} << 20);
        }
    }
}

TEST(ScannerLimitsTest, NulBytesRandomBytesAndUtf16) {
    EXPECT_TRUE(scanText(std::string(8 << 20, '\0')).tags().empty());

    std::mt19937 random(12345);
    std::string noise(8 << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    const TagList tags = scanText(noise);
    for (const EHtmlTag& tag : tags.tags()) {
        ASSERT_LE(tag.start, tag.end);
        ASSERT_LE(tag.end, static_cast<std::int64_t>(noise.size()));
    }

    std::string utf16;
    for (const char c : std::string("<html><a href=\"p.html\">x</a></html>\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string big;
    while (big.size() < (std::size_t{4} << 20))
        big += utf16;
    EXPECT_FALSE(scanText(big).tags().empty());
}

}  // namespace
}  // namespace korvel::html
