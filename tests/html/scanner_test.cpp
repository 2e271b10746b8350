#include "html/scanner.h"

#include <gtest/gtest.h>

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

using korvel::testing::contains;
using korvel::testing::TempDir;

// "name start-end" per record ("/" before the name of an end tag), joined by " | ".
std::string describeTags(const TagList& tags) {
    std::string out;
    for (const HtmlTag& tag : tags.tags())
        out += (out.empty() ? "" : " | ") + std::string(tag.endTag ? "/" : "") + tag.name + " " +
               std::to_string(tag.start) + "-" + std::to_string(tag.end);
    return out;
}

std::string describeErrors(const TagList& tags) {
    static const char* const kNames[] = {"NoClose", "NoStart", "UnmatchedComment", "EndQuote"};
    std::string out;
    for (const SyntaxError& error : tags.syntaxErrors())
        out += (out.empty() ? "" : " ") + std::string(kNames[static_cast<int>(error.kind)]) + "@" +
               std::to_string(error.offset);
    return out;
}

struct ScanCase {
    std::string page;
    const char* tags;
    const char* errors;
};

TEST(ScannerTest, RecordsAndSyntaxErrors) {
    // Scanned into a list that held another page (as link finding reuses one), nothing of that page stays.
    TagList reused = scanText("<a href=\"x\" b=c> > <!-- <p q=\"r");
    for (const ScanCase& c : std::vector<ScanCase>{
             ScanCase{"<!-- x -->", "<!-- 0-3 | /--> 7-9", ""}, ScanCase{"a -->", "", "UnmatchedComment@4"},
             ScanCase{"a > b", "", "NoStart@2"}, ScanCase{"<!-- a > b -->", "<!-- 0-3 | /--> 11-13", ""},
             ScanCase{"<!--<a href=x>-->", "<!-- 0-3 | a 4-13 | /--> 14-16", ""},  // tags in comments count
             ScanCase{"<!--<!---->", "<!-- 0-3 | /--> 8-10", ""}, ScanCase{"<P></A >", "p 0-2 | /a 3-7", ""},
             ScanCase{"< /b>", "/b 0-4", ""},
             // A quoted value ends only at its own quote: ">" and "<" inside it are text. With no closing
             // quote before the end, the value ends at ">" (closing the tag) or at "<".
             ScanCase{"<a title=\"1 > 0 < 2\">x</a>", "a 0-20 | /a 22-25", ""},
             ScanCase{"<a href=\"x.html>t", "a 0-15", "EndQuote@15"},
             ScanCase{"<a href=\"x<b>", "b 10-12", "EndQuote@10 NoClose@0"},
             ScanCase{"<a href=\"xyz", "a 0-12", "EndQuote@12"},
             ScanCase{"<a b=\"x'>", "a 0-8", "EndQuote@8"}, ScanCase{"<a href=x <b>", "b 10-12", "NoClose@0"},
             ScanCase{"<a<b>", "b 2-4", "NoClose@2"}, ScanCase{"<a href=x", "a 0-9", ""},
             ScanCase{"text<", " 4-5", ""}, ScanCase{"<!-- <a b -->", "<!-- 0-3 | /--> 10-12", ""},
             ScanCase{"<!-- <b-->", "<!-- 0-3 | /--> 7-9", ""}, ScanCase{"<a -- >", "a 0-6", ""},
             ScanCase{"<!-- <a> > x", "<!-- 0-3 | a 5-7", ""},
             // The page is searched by its length, so a NUL byte hides nothing; high bytes are no marks.
             ScanCase{std::string("\0<a>\0>", 6), "a 1-3", "NoStart@5"},
             ScanCase{"\xBC\xBE<\xFF>\xBE", "\xff 2-4", ""}}) {
        const TagList tags = scanText(c.page);
        EXPECT_EQ(describeTags(tags), c.tags) << c.page;
        EXPECT_EQ(describeErrors(tags), c.errors) << c.page;
        EXPECT_EQ(tags.status(), std::string(c.errors).empty() ? kScanClean : kScanSyntaxErrors) << c.page;
        scanText(c.page, reused);
        EXPECT_EQ(describeTags(reused) + describeErrors(reused), c.tags + std::string(c.errors)) << c.page;
        EXPECT_EQ(reused.status(), tags.status());
        for (std::size_t i = 0; i < tags.tags().size(); ++i)
            EXPECT_EQ(reused.attributes(reused.tags()[i]).size(), tags.tags()[i].attributeCount) << c.page;
    }
    TagList taken = scanText("<a href=x> > -->");
    const TagList moved = taken.takeErrors();
    EXPECT_EQ(describeErrors(moved), "NoStart@11 UnmatchedComment@15");
    EXPECT_EQ(moved.status(), kScanSyntaxErrors);
    EXPECT_TRUE(moved.tags().empty());
    EXPECT_TRUE(taken.syntaxErrors().empty());
    EXPECT_EQ(taken.status(), kScanClean);
    EXPECT_EQ(describeTags(taken), "a 0-9");
}

TEST(ScannerTest, AttributeNamesAreLowerCasedValuesKeepCaseAndPositions) {
    //                         0         1         2         3
    //                         0123456789012345678901234567890123456789
    const TagList tags = scanText("<IMG SRC=\"Pic.GIF\" Alt='A' ISMAP wIdTh=10 src=b><a href=\"p.html>t</a>");
    ASSERT_EQ(tags.tags().size(), 3u);
    std::string shown;
    for (const HtmlAttribute& a : tags.attributes(tags.tags()[0]))
        shown += a.name + "=" + a.value + "@" + std::to_string(a.position) + " ";
    EXPECT_EQ(shown, "src=Pic.GIF@10 alt=A@24 ismap=@27 width=10@39 src=b@46 ");
    EXPECT_EQ(tags.attribute(tags.tags()[0], "src")->value, "b");  // the later of a name written twice
    EXPECT_EQ(tags.attribute(tags.tags()[0], "href"), nullptr);
    // An unclosed quote keeps the text read so far.
    const HtmlAttribute* href = tags.attribute(tags.tags()[1], "href");
    ASSERT_NE(href, nullptr);
    EXPECT_EQ(href->value, "p.html");
    EXPECT_EQ(href->position, 57);
    // White space is exactly six bytes; a no-break space (0xA0) and NUL are part of the name.
    for (const char space : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        const TagList spaced = scanText(std::string("<a") + space + "href" + space + "=" + space + "x>");
        ASSERT_EQ(describeTags(spaced), "a 0-11") << int(space);
        EXPECT_EQ(spaced.attribute(spaced.tags()[0], "href")->value, "x");
    }
    for (const std::string& other : {std::string("\xA0"), std::string(1, '\0')})
        EXPECT_EQ(scanText("<a" + other + "href=x>").tags()[0].name, "a" + other + "href=x");
}

struct UrlCase {
    const char* page;
    // "text@position" with flags b(ase) h(ref of base) e(mbedded) f(rame) w(ithin a value), joined by " "
    const char* values;
};

std::string describeValues(const std::string& page) {
    const TagList tags = scanText(page);
    std::vector<UrlValue> values;
    for (const HtmlTag& tag : tags.tags())
        urlValuesOf(tags, tag, values);
    std::string out;
    for (const UrlValue& v : values) {
        out += (out.empty() ? "" : " ") + std::string(v.text) + "@" + std::to_string(v.position);
        const std::string flags = std::string(v.isBase ? "b" : "") + (v.baseHref ? "h" : "") +
                                  (v.embedded ? "e" : "") + (v.frame ? "f" : "") + (v.withinValue ? "w" : "");
        if (!flags.empty()) out += ":" + flags;
    }
    return out;
}

TEST(ScannerTest, UrlValuesOfEachTag) {
    for (const UrlCase& c : std::vector<UrlCase>{
             UrlCase{"<x action=0 usemap=1 dynsrc=2 lowsrc=3 codebase=4 background=5 src=6 href=7>",
                     "7@74 6@67:e 5@61:e 4@48:e 3@37:e 2@28:e 1@19 0@10"},
             UrlCase{"<a href=\"\"><a href=#top><a href=?x=1><a href=\"#\"><a href=p.html#t>", "p.html#t@57"},
             UrlCase{"</a href=x><p background=b.gif><meta href=m><!-- <a href=old.html> -->", "old.html@57"},
             UrlCase{"<BASE HREF=\"http://s/d/\"><base src=x>", "http://s/d/@12:bh x@35:be"},
             UrlCase{"<frame src=f.html><iframe src=m.html><a href=one href=two>",
                     "f.html@11:ef m.html@30:ef two@54"},
             // A form's hidden redirect field, any case; no other.
             UrlCase{
                 "<INPUT TYPE=Hidden NAME=REDIRECT VALUE=\"next.html\"><input name=redirect value=n.html>"
                 "<input type=text name=redirect value=n.html><input type=hidden name=go value=n.html>"
                 "<input type=hidden name=redirect value=#x><form type=hidden name=redirect value=n.html>",
                 "next.html@40"},
             // Each srcset candidate and a refresh's URL cover only their own bytes of the value. A srcset
             // URL runs to white space: a comma inside it is its own, commas that end it are not.
             UrlCase{"<img src=s.png srcset=\"a,b.png 1x,c.png,, d.png\">",
                     "s.png@9:e a,b.png@23:ew c.png@34:ew d.png@42:ew"},
             UrlCase{"<source srcset=\" ,\n a.png\t480w (x, y) ,, b.png \">", "a.png@20:ew b.png@41:ew"},
             UrlCase{"<img srcset=\"data:image/png;base64,iVBORw0= 1x, #x 2x, e.png#y 3x\">",
                     "data:image/png;base64,iVBORw0=@13:ew e.png#y@55:ew"},
             UrlCase{"<div srcset=a.png><a srcset=b.png><img poster=p.png><div data=x.png><p cite=e.html>",
                     ""},
             UrlCase{"<video src=v.webm poster=p.png><object data=m.svg>",
                     "v.webm@11:e p.png@25:e m.svg@44:e"},
             UrlCase{"<use href=i.svg#w><image xlink:href=c.png><a xlink:href=p.html>",
                     "i.svg#w@10:e c.png@36:e p.html@56"},
             UrlCase{"<blockquote cite=a.html><q cite=b.html><del cite=c.html><ins cite=d.html>",
                     "a.html@17 b.html@32 c.html@49 d.html@66"},
             UrlCase{"<link rel=\"shortcut icon\" href=f.ico><link rel=PRELOAD href=b.png><link rel=next "
                     "href=n.html>"
                     "<link rel=modulepreload href=m.js>",
                     "f.ico@31:e b.png@60:e n.html@86 m.js@122:e"},
             UrlCase{"<meta http-equiv=\"refresh\" content=\"5; url=next.html\">", "next.html@43:w"},
             UrlCase{"<META HTTP-EQUIV=Refresh CONTENT=\"0;URL='a b.html'  \">", "a b.html@41:w"},
             UrlCase{"<meta http-equiv=refresh content=\"3, b.html\">", "b.html@37:w"},
             UrlCase{"<meta http-equiv=refresh content='1 ; \"c.html\" x'>", "c.html@39:w"},
             UrlCase{"<meta http-equiv=refresh content=\"0; URL = d.html \">", "d.html@43:w"},
             // Only a whole "url =" is left out: "urlx.html" is the URL itself.
             UrlCase{"<meta http-equiv=refresh content=\"2.5;urlx.html\">", "urlx.html@38:w"},
             UrlCase{"<meta http-equiv=refresh content=5><meta http-equiv=refresh content=\"x; url=a.html\">"
                     "<meta http-equiv=refresh content=\"5url=a.html\"><meta name=refresh content=\"0; "
                     "url=b.html\">"
                     "<meta http-equiv=refresh content=\"0; url=#top\"><meta http-equiv=refresh href=c.html>",
                     ""}})
        EXPECT_EQ(describeValues(c.page), c.values) << c.page;
}

TEST(ScannerTest, MarkupOnlyTagsAreNeverSearched) {
    for (const char* name : {"b", "h1", "h9", "meta", "xmp", "<!--", "-->", "plaintext", "blockquote"})
        EXPECT_TRUE(isPlainTag(name)) << name;
    for (const char* name :
         {"a", "img", "iframe", "", "h0", "B", "bb", "blockquotes", "plaintexts", "textareb"})
        EXPECT_FALSE(isPlainTag(name)) << name;
}

// ---- Pages on disk

class ScannerFileTest : public ::testing::Test {
  protected:
    HtmlNode& page(const std::string& name, const std::string& content) {
        pages_.push_back(std::make_unique<HtmlNode>(dir.write(name, content), nullptr, HtmlDefinitions{}));
        return *pages_.back();
    }
    // A section's entries, without its title.
    std::string entries(int id) {
        const std::string text = logScope.log().sectionText(id);
        const std::size_t at = text.find(" \n" + std::string(80, '-') + "\n");
        return at == std::string::npos ? text : text.substr(at + 83);
    }

    TempDir dir;
    LogScope logScope;
    std::vector<std::unique_ptr<HtmlNode>> pages_;
};

TEST_F(ScannerFileTest, SyntaxErrorLinesNameTheLineAndThePathInItsColumn) {
    HtmlNode& p = page("p.htm", "<html>\r\nx > y\r\n\r\r\n<!-- a -->\n-->\n<a href=\"q.html>");
    HtmlNode& deep = page(std::string(40, 'd') + "/" + std::string(40, 'e') + "/page.htm", "a > b");
    ReportSection* errors = currentLog().openSection(res::kSectionSyntaxErrors);
    EXPECT_EQ(tokenize(p, errors).status(), kScanSyntaxErrors);
    tokenize(deep, errors);
    // The line index made from the scanned text is the one the node makes itself.
    HtmlNode fresh(p.path(), nullptr, HtmlDefinitions{});
    ASSERT_TRUE(fresh.buildLineIndex());
    EXPECT_EQ(p.lineIndex(), fresh.lineIndex());
    std::string shown = p.path();
    shown.resize(62, ' ');
    const auto line = [&](const char* number, const char* message) {
        return "   line    " + std::string(number) + ": " + shown + "    HTML syntax error, " + message +
               "\n";
    };
    const std::string text = entries(res::kSectionSyntaxErrors);
    EXPECT_EQ(text.substr(0, text.find("line    1")), line("2", "no starting \"<\"") +
                                                          line("6", "no matching open comment") +
                                                          line("7", "no end quote on attribute") + "   ");
    // A long path is cut to 58 around "..." and padded to the 62 of the column.
    ASSERT_GT(deep.path().size(), 62u);
    const std::string rest = text.substr(text.find("   line    1: ") + 14);
    EXPECT_EQ(rest.substr(62), "    HTML syntax error, no starting \"<\"\n") << rest;
    EXPECT_TRUE(contains(rest.substr(0, 62), "...")) << rest;
    EXPECT_TRUE(contains(rest.substr(0, 62), "page.htm")) << rest;
    EXPECT_EQ(entries(res::kSectionErrors), "");
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
    const TagList tags = tokenize(page("big.htm", content), nullptr);
    ASSERT_EQ(tags.tags().size(), starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        EXPECT_EQ(tags.tags()[i].start, starts[i]);
    EXPECT_EQ(tags.status(), kScanClean);
}

TEST_F(ScannerFileTest, APageThatCannotBeOpenedIsReportedOncePerJob) {
    HtmlNode missing(dir.file("gone.htm"), nullptr, HtmlDefinitions{});
    HtmlNode folder(dir.mkdir("folder.htm"), nullptr, HtmlDefinitions{});
    UnreadablePages unreadable;
    for (int pass = 0; pass < 3; ++pass) {
        const TagList tags = tokenize(missing, nullptr, &unreadable);
        EXPECT_EQ(tags.status(), kScanOpenFailed);
        EXPECT_TRUE(tags.tags().empty());
    }
    EXPECT_TRUE(unreadable.contains(&missing));
    EXPECT_EQ(tokenize(folder, nullptr).status(), kScanOpenFailed);
    // Without the job's record each attempt reports.
    tokenize(missing, nullptr);
    const std::string failed = "During scan, File open failed\n\t";
    EXPECT_EQ(entries(res::kSectionErrors), failed + missing.path() + "\n" + failed + folder.path() + "\n" +
                                                failed + missing.path() + "\n");
}

// Fails every read after the first, which it cuts to "first" bytes.
class FailingScannerFile : public PageReader {
  public:
    explicit FailingScannerFile(std::size_t first) : first_(first) {}

  protected:
    std::int64_t readBlock(const platform::ReadFile& file, std::int64_t offset, char* buffer,
                           std::size_t count, std::error_code& ec) override {
        if (reads_++ > 0) {
            ec = std::make_error_code(std::errc::io_error);
            return -1;
        }
        return PageReader::readBlock(file, offset, buffer, std::min(count, first_), ec);
    }

  private:
    std::size_t first_;
    int reads_ = 0;
};

TEST_F(ScannerFileTest, AShortReadIsLoggedOnceAndThePageEndsThere) {
    const std::string path = dir.write("p.htm", "<a href=one.html><a href=two.html>");
    FailingScannerFile file(20);
    ASSERT_TRUE(file.load(path));
    EXPECT_TRUE(file.readFailed());
    EXPECT_EQ(file.text(), "<a href=one.html><a ");
    EXPECT_EQ(entries(res::kSectionErrors), "During scan, File read failed\n\t" + path + "\n");
}

TEST_F(ScannerFileTest, AReusedFileHoldsOnlyTheLastPage) {
    PageReader file;
    ASSERT_TRUE(file.load(dir.write("long.htm", std::string(100000, 'x') + "<a href=long.html>")));
    ASSERT_TRUE(file.load(dir.write("short.htm", "<a href=short.html>")));
    EXPECT_EQ(file.text(), "<a href=short.html>");
    ASSERT_TRUE(file.load(dir.write("empty.htm", "")));
    EXPECT_TRUE(file.isOpen() && file.text().empty() && !file.readFailed());
    EXPECT_FALSE(file.load(dir.file("missing.htm"), false));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(entries(res::kSectionErrors), "");
}

// ---- Pathological pages: each must end, in time linear in its size.

TEST(ScannerLimitsTest, MalformedAndBinaryPagesEndWithRecordsInsideThePage) {
    const std::string body(4 << 20, 'x');
    for (const char* head : {"<a href=\"", "<!--", "<a ", "<a href='", "<"})
        EXPECT_FALSE(scanText(head + body).tags().empty()) << head;
    std::string quotes;  // of which only the last is open
    for (int i = 0; i < 200000; ++i)
        quotes += "<a b=\"<c d='>";
    EXPECT_FALSE(scanText(quotes).tags().empty());
    EXPECT_EQ(scanText(std::string(1 << 20, '<')).syntaxErrors().size(), (std::size_t{1} << 20) - 1);
    EXPECT_EQ(scanText(std::string(1 << 20, '>')).syntaxErrors().size(), std::size_t{1} << 20);
    EXPECT_TRUE(scanText(std::string(8 << 20, '\0')).tags().empty());
    std::mt19937 random(12345);
    std::string noise(8 << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    const TagList scanned = scanText(noise);
    for (const HtmlTag& tag : scanned.tags()) {
        ASSERT_LE(tag.start, tag.end);
        ASSERT_LE(tag.end, static_cast<std::int64_t>(noise.size()));
    }
    std::string utf16;
    for (int i = 0; i < 100000; ++i)
        for (const char c : std::string_view("<html><a href=\"p.html\">x</a></html>\n"))
            utf16 += {c, '\0'};
    EXPECT_FALSE(scanText(utf16).tags().empty());
}

}  // namespace
}  // namespace korvel::html
