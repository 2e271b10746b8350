// The bundled sample site, checked as its README describes: every planted fault is found, and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// examples/site of this checkout, found from this file's place in tests/cli.
fs::path sampleSite() {
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "site";
}

// A fresh copy of the sample site in "dir"; returns its path.
std::string copySite(const TempDir& dir) {
    const fs::path from = sampleSite();
    const fs::path to = fs::path(dir.path()) / "site";
    EXPECT_TRUE(fs::is_regular_file(from / "index.html")) << from;
    fs::copy(from, to, fs::copy_options::recursive);
    return to.string();
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// Runs of blanks become one blank; trailing blanks go.
std::string squeeze(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

bool isRule(const std::string& line) {
    return line.size() >= 40 && line.find_first_not_of('-') == std::string::npos;
}

// The report cut into its sections: a title stands between two rules of dashes. The site's path becomes
// "<site>" everywhere, and each body keeps its lines without the blank ones.
struct Report {
    std::vector<std::string> titles;
    std::map<std::string, std::vector<std::string>> bodies;

    const std::vector<std::string>& body(const std::string& title) const {
        static const std::vector<std::string> none;
        const auto it = bodies.find(title);
        return it == bodies.end() ? none : it->second;
    }
};

Report readReport(const Lines& out, const std::string& site) {
    Report report;
    std::vector<std::string>* body = nullptr;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (isRule(out[i]) && i + 2 < out.size() && isRule(out[i + 2])) {
            report.titles.push_back(squeeze(out[i + 1]));
            body = &report.bodies[report.titles.back()];
            i += 2;
            continue;
        }
        if (!body || out[i].find_first_not_of(' ') == std::string::npos) continue;
        body->push_back(replaceAll(out[i], site, "<site>"));
    }
    return report;
}

// The lines of a section's "In file" blocks, each as "<file>|line N: <text>".
std::vector<std::string> fileEntries(const std::vector<std::string>& body) {
    std::vector<std::string> entries;
    std::string file;
    for (const std::string& line : body) {
        if (line.rfind("In file \"", 0) == 0) {
            file = line.substr(9, line.size() - 10);
            continue;
        }
        if (line.rfind("   line", 0) == 0) entries.push_back(file + "|" + squeeze(line.substr(3)));
    }
    return entries;
}

// Link renaming entries: "<file>|line N: old -> new".
std::vector<std::string> linkChanges(const std::vector<std::string>& body) {
    std::vector<std::string> changes;
    std::string file;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const std::string& line = body[i];
        if (line.rfind("In file \"", 0) == 0) {
            file = line.substr(9, line.size() - 10);
        } else if (line.rfind("   line", 0) == 0 && i + 1 < body.size() &&
                   body[i + 1].rfind("   -------->  ", 0) == 0) {
            changes.push_back(file + "|" + squeeze(line.substr(3)) + " -> " + body[i + 1].substr(14));
            ++i;
        }
    }
    return changes;
}

// Suggested names: original -> new (the new name fills the first 40 columns).
std::map<std::string, std::string> suggestedNames(const std::vector<std::string>& body) {
    std::map<std::string, std::string> names;
    for (const std::string& line : body) {
        if (line.size() <= 40 || line.rfind("New Filename", 0) == 0) continue;
        names[line.substr(40)] = squeeze(line.substr(0, 40));
    }
    return names;
}

template <typename Container>
bool contains(const Container& c, const std::string& item) {
    return std::find(c.begin(), c.end(), item) != c.end();
}

const char* const kSkipped = "READ-ONLY, SYSTEM, HIDDEN, OR TEMPORARY FILES:";
const char* const kNames = "SUGGESTED NEW NAMES FOR FILES:";
const char* const kSyntax = "HTML SYNTAX ERRORS:";
const char* const kLinks = "SUGGESTED URL LINK RENAMING:";
const char* const kBroken = "UNRESOLVED LOCAL LINKS:";
const char* const kAnchors = "BROKEN ANCHORS:";
const char* const kOrphans = "THE FOLLOWING FILES WERE NOT USED IN THE SITE HIERARCHY:";
const char* const kExternal = "EXTERNAL URL REFERENCES:";
const char* const kTimes = "DOWNLOAD TIMES:";

class SampleSite : public ::testing::Test {
  protected:
    Report check(std::vector<std::string> options) {
        site_ = copySite(dir_);
        std::vector<std::string> args = {"check", site_, "--server", "www.example.com"};
        args.insert(args.end(), options.begin(), options.end());
        result_ = runKorvel(args);
        return readReport(result_.out, site_);
    }

    const SettingsFile settings_{""};
    TempDir dir_;
    std::string site_;
    Result result_;
};

TEST_F(SampleSite, Iso9660ReportFindsEveryPlantedFaultAndNothingElse) {
    const Report report = check({"--target", "iso9660"});
    ASSERT_EQ(result_.status, kExitFindings) << ::testing::PrintToString(result_.err);

    // The untitled sections open and close the report: the summary first, the external-links page last.
    std::vector<std::string> named;
    for (const std::string& title : report.titles)
        if (!title.empty()) named.push_back(title);
    EXPECT_EQ(named, (std::vector<std::string>{"HEADER", kSkipped, kNames, kSyntax, kLinks, kBroken, kAnchors,
                                               kOrphans, kExternal, kTimes}));
    const std::vector<std::string>& untitled = report.body("");
    for (const char* line : {
             "REPORT FROM SUCCESSFUL PASS",
             "There were HTML syntax errors.  See below for details.",
             "There were unresolved local URLs.  See below for details.",
             "There were links to anchors that their pages do not have.  See below for details.",
             "There were unused (orphan) files in the Web hierarchy.  See below for details.",
             "This file is named: \"report_of_external_refs.html\"",
         })
        EXPECT_TRUE(contains(untitled, line)) << line << "\n" << ::testing::PrintToString(untitled);
    EXPECT_EQ(untitled.size(), 8u) << ::testing::PrintToString(untitled);
    EXPECT_TRUE(contains(report.body("HEADER"), "96 files in 24 directories"))
        << ::testing::PrintToString(report.body("HEADER"));

    EXPECT_EQ(report.body(kSkipped), (std::vector<std::string>{
                                         "temporary file was skipped",
                                         "\t<site>/#autosave#",
                                         "hidden file was skipped",
                                         "\t<site>/.gitattributes",
                                         "hidden file was skipped",
                                         "\t<site>/.htaccess",
                                         "temporary file was skipped",
                                         "\t<site>/draft.html~",
                                     }));

    // Names: the clashes, the forbidden characters, the long directory, the non-ASCII names.
    const auto names = suggestedNames(report.body(kNames));
    EXPECT_EQ(names.size(), 62u) << ::testing::PrintToString(names);
    const std::map<std::string, std::string> expectedNames = {
        {"<site>/Long File Name One.html", "LongFile.htm"},
        {"<site>/Long File Name Two.html", "LongFi_1.htm"},
        {"<site>/a b.htm", "ab_1.htm"},
        {"<site>/a+b;c.htm", "abc_1.htm"},
        {"<site>/My Page.html", "MyPage_1.htm"},
        {"<site>/news/2024/Spring News Draft.htm", "SpringNe.htm"},
        {"<site>/news/2024/spring-news.html", "spring_1.htm"},
        {"<site>/what?.htm", "what.htm"},
        {"<site>/a:b.txt", "ab.txt"},
        {"<site>/a.b.c.d", "abc.d"},
        {"<site>/products/Item[1].html", "Item1.htm"},
        {"<site>/products/Tom's & Jerry's.html", "TomsJerr.htm"},
        {"<site>/products/very-long-directory-name-for-the-seasonal-range", "verylong"},
        {"<site>/Résumé-1.htm", "Rsum1.htm"},
        {"<site>/café.html", "caf.htm"},
        {"<site>/日本.txt", "_.txt"},
        {"<site>/text/legacy-caf\\xE9.txt", "legacyca.txt"},
        {"<site>/text/email,list;v2.txt", "emaillis.txt"},
        {"<site>/docs/Chapter-Two.HTML", "ChapterT.HTM"},
        {"<site>/deep/1/2/3/4/5/6/7/8/bottom.html", "bottom.htm"},
        {"<site>/index.html", "index.htm"},
        {"<site>/images/oven-door.png", "ovendoor.png"},
        {"<site>/styles/bakery.woff", "bakery.wof"},
        {"<site>/modern.html", "modern.htm"},
        {"<site>/media/Loaf Large.png", "LoafLarg.png"},
        {"<site>/media/oven.webm", "oven.web"},
        // Case twins are one name on a case-blind target: the first keeps it.
        {"<site>/archive/index.htm", "index_1.htm"},
    };
    for (const auto& [original, name] : expectedNames) {
        const auto it = names.find(original);
        ASSERT_NE(it, names.end()) << original;
        EXPECT_EQ(it->second, name) << original;
    }
    // Names that already fit stay out of the list.
    for (const char* fits :
         {"<site>/ab.htm", "<site>/a_b.htm", "<site>/abc.htm", "<site>/mypage.htm", "<site>/Contact.php",
          "<site>/archive/Index.htm", "<site>/site.old", "<site>/site.old/readme", "<site>/README",
          "<site>/text/cr.txt", "<site>/styles", "<site>/styles/site.css", "<site>/media/icons.svg"})
        EXPECT_EQ(names.count(fits), 0u) << fits;

    const std::vector<std::string> syntax = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : report.body(kSyntax))
            lines.push_back(squeeze(line));
        return lines;
    }();
    EXPECT_EQ(syntax,
              (std::vector<std::string>{
                  "line 8: <site>/docs/broken-syntax.html HTML syntax error, no starting \"<\"",
                  "line 9: <site>/docs/broken-syntax.html HTML syntax error, no end quote on attribute",
                  "line 10: <site>/docs/broken-syntax.html HTML syntax error, no closing \">\"",
                  "line 11: <site>/docs/broken-syntax.html HTML syntax error, no matching open comment",
              }));

    // Link changes follow the new names in every written form; the text shown is the decoded link.
    const auto changes = linkChanges(report.body(kLinks));
    EXPECT_EQ(changes.size(), 69u) << ::testing::PrintToString(changes);
    for (const char* change : {
             "<site>/index.html|line 11: /products/catalog.html -> /products/catalog.htm",
             "<site>/index.html|line 12: http://www.example.com/news/2024/spring-news.html -> "
             "http://www.example.com/news/2024/spring_1.htm",
             "<site>/index.html|line 14: Long File Name One.html -> LongFile.htm",
             "<site>/index.html|line 15: Long File Name Two.html -> LongFi_1.htm",
             "<site>/index.html|line 16: a+b;c.htm -> abc_1.htm",
             "<site>/index.html|line 19: café.html -> caf.htm",
             "<site>/index.html|line 37: old-home.html -> oldhome.htm",
             "<site>/index.html|line 39: thanks.html -> thanks.htm",
             "<site>/docs/Chapter-Two.HTML|line 7: INDEX.HTML -> index.htm",
             "<site>/docs/based.html|line 8: guide.html -> guide.htm",
             "<site>/docs/broken-syntax.html|line 9: guide.html -> guide.htm",
             "<site>/docs/guide.html|line 9: chapter 1.html -> chapter1.htm",
             "<site>/docs/index.html|line 8: chapter 1.html -> chapter1.htm",
             "<site>/frames/frameset.html|line 4: nav.html -> nav.htm",
             "<site>/notes.txt|line 5: index.html -> index.htm",
             "<site>/news/2024/Spring News Draft.htm|line 7: ../../images/used-by-orphan.png -> "
             "../../images/usedbyor.png",
             "<site>/products/catalog.html|line 11: Tom's & Jerry's.html -> TomsJerr.htm",
             "<site>/products/catalog.html|line 12: very-long-directory-name-for-the-seasonal-range/autumn/"
             "page-with-a-name-longer-than-thirty-one-characters.html -> verylong/autumn/pagewith.htm",
             "<site>/deep/1/2/3/4/5/6/7/8/bottom.html|line 7: ../../../../../../../../../index.html -> "
             "../../../../../../../../../index.htm",
             // A page's style block and the style sheets are rewritten like the page's links.
             "<site>/about.htm|line 13: images/oven-door.png -> images/ovendoor.png",
             "<site>/styles/fonts.css|line 3: bakery.woff -> bakery.wof",
             "<site>/styles/old.css|line 2: ../images/old-banner.gif -> ../images/oldbanne.gif",
             // A refresh's URL, a srcset candidate, a video, an iframe and a quotation's source.
             "<site>/modern.html|line 5: index.html -> index.htm",
             "<site>/modern.html|line 11: media/Loaf Large.png -> media/LoafLarg.png",
             "<site>/modern.html|line 16: media/oven.webm -> media/oven.web",
             "<site>/modern.html|line 22: media/map.html -> media/map.htm",
             "<site>/modern.html|line 30: media/source.html -> media/source.htm",
         })
        EXPECT_TRUE(contains(changes, change)) << change;
    // Links to names that fit, external ones and broken ones are not touched; half-page.txt is not HTML.
    for (const auto& change : changes) {
        EXPECT_EQ(change.find("<site>/half-page.txt|"), std::string::npos) << change;
        EXPECT_EQ(change.find("mypage.htm ->"), std::string::npos) << change;
        EXPECT_EQ(change.find("example.org"), std::string::npos) << change;
        EXPECT_EQ(change.find("missing.html"), std::string::npos) << change;
        EXPECT_EQ(change.find("archive/"), std::string::npos) << change;
    }

    // Broken links: a missing page and image, two directories without an index page, a way out of the top,
    // and an image that the style sheet names.
    // The link with a query and a fragment finds about.htm; a script link is not a file.
    EXPECT_EQ(fileEntries(report.body(kBroken)), (std::vector<std::string>{
                                                     "<site>/about.htm|line 9: images/gone.gif",
                                                     "<site>/docs/guide.html|line 8: ../products/",
                                                     "<site>/docs/guide.html|line 8: ../../outside.html",
                                                     "<site>/index.html|line 27: missing.html",
                                                     "<site>/index.html|line 28: images/",
                                                     "<site>/styles/site.css|line 7: ../images/banner.png",
                                                 }));

    // Broken anchors: about.htm has no "ovens" (its "team" is found from index.html and from itself), and
    // docs/guide.html names itself with a fragment it does not have.
    EXPECT_EQ(fileEntries(report.body(kAnchors)),
              (std::vector<std::string>{"<site>/docs/guide.html|line 9: guide.html#printing",
                                        "<site>/index.html|line 9: about.htm#ovens"}));

    // Orphans: old-home.html is reached through the link in a comment, thanks.html through the form's
    // redirect field, only-through-base.html by nothing local. What the style sheets and about.htm's style
    // load is reached; styles/old.css is linked by no page, and what only it names is unused too.
    std::vector<std::string> orphans;
    for (const std::string& line : report.body(kOrphans))
        if (line.rfind("<site>/", 0) == 0) orphans.push_back(line);
    EXPECT_EQ(orphans, (std::vector<std::string>{
                           "<site>/a.b.c.d",
                           "<site>/a:b.txt",
                           "<site>/docs/only-through-base.html",
                           "<site>/half-page.txt",
                           "<site>/images/old-banner.gif",
                           "<site>/images/Unused Picture.gif",
                           "<site>/images/used-by-orphan.png",
                           "<site>/news/2024/Spring News Draft.htm",
                           "<site>/orphan.html",
                           "<site>/README",
                           "<site>/site.old/index.html",
                           "<site>/site.old/readme",
                           "<site>/styles/old.css",
                           "<site>/text/copyright-latin1.txt",
                           "<site>/text/cr-at-end.txt",
                           "<site>/text/cr.txt",
                           "<site>/text/crlf.txt",
                           "<site>/text/e-acute-latin1.txt",
                           "<site>/text/email,list;v2.txt",
                           "<site>/text/empty.txt",
                           "<site>/text/legacy-caf\\xE9.txt",
                           "<site>/text/lf.txt",
                           "<site>/text/long-first-line.txt",
                           "<site>/text/mixed.txt",
                           "<site>/text/no-line-end.txt",
                           "<site>/text/utf16le.txt",
                           "<site>/text/utf8-bom.txt",
                           "<site>/text/utf8.txt",
                           "<site>/日本.txt",
                       }));

    EXPECT_EQ(
        fileEntries(report.body(kExternal)),
        (std::vector<std::string>{
            "<site>/docs/elsewhere.html|line 4: https://mirror.example.org/handbook/",
            "<site>/docs/elsewhere.html|line 8: https://mirror.example.org/handbook/only-through-base.html",
            "<site>/frames/main.html|line 7: https://www.example.org/badge.gif",
            "<site>/index.html|line 30: javascript:history.back()",
            "<site>/index.html|line 33: mailto:webmaster@example.com",
            "<site>/index.html|line 34: news:comp.infosystems.www.authoring.html",
            "<site>/index.html|line 35: https://www.example.org/partners/",
            "<site>/index.html|line 36: http://www.example.net/recipes",
            "<site>/styles/site.css|line 8: https://www.example.org/arrow.png",
        }));
    const std::string page = testing::readFile(site_ + "/report_of_external_refs.html");
    EXPECT_NE(page.find("https://www.example.org/badge.gif"), std::string::npos);
    EXPECT_NE(page.find("mailto:webmaster@example.com"), std::string::npos);

    // Download times: one line per page; "!" for the missing embedded image, "*" for the external one.
    std::vector<std::string> marked;
    std::size_t pages = 0;
    for (const std::string& line : report.body(kTimes)) {
        const std::size_t at = line.find("<site>/");
        if (at == std::string::npos || line.find(" s ") == std::string::npos) continue;
        ++pages;
        // Two marker columns stand before the path: "!" (a broken embedded link), then "*" (an external one).
        if (at < 2) continue;
        const std::string markers = line.substr(at - 2, 2);
        if (markers != "  ") marked.push_back(markers + line.substr(at));
    }
    EXPECT_EQ(pages, 50u);  // the front page, then the 49 HTML pages
    // Everything modern.html loads counts, every srcset candidate included; its iframe's page does not.
    EXPECT_TRUE(
        contains(report.body(kTimes), "   3 kb     2 s     1 s     1 s     1 s      <site>/modern.html"))
        << ::testing::PrintToString(report.body(kTimes));
    EXPECT_EQ(marked, (std::vector<std::string>{"! <site>/about.htm", " *<site>/frames/main.html"}));
}

TEST_F(SampleSite, LowerCaseFindsTheCaseTwinsAndTheLinksThatNeedEncoding) {
    const Report report = check({"--case", "lower"});
    ASSERT_EQ(result_.status, kExitFindings) << ::testing::PrintToString(result_.err);
    const auto names = suggestedNames(report.body(kNames));
    EXPECT_EQ(names.size(), 14u) << ::testing::PrintToString(names);
    for (const auto& [original, name] : std::map<std::string, std::string>{
             {"<site>/archive/Index.htm", "index_1.htm"},
             {"<site>/Contact.php", "contact.php"},
             {"<site>/README", "readme"},
             {"<site>/docs/Chapter-Two.HTML", "chapter-two.html"},
             {"<site>/products/Tom's & Jerry's.html", "tom's & jerry's.html"},
         }) {
        const auto it = names.find(original);
        ASSERT_NE(it, names.end()) << original;
        EXPECT_EQ(it->second, name) << original;
    }
    const auto changes = linkChanges(report.body(kLinks));
    for (const char* change : {
             "<site>/archive/index.htm|line 7: Index.htm -> index_1.htm",
             "<site>/docs/index.html|line 7: Chapter-Two.HTML -> chapter-two.html (case change)",
             "<site>/docs/guide.html|line 9: chapter 1.html -> chapter 1.html (reserved character encode)",
             "<site>/index.html|line 16: a b.htm -> a b.htm (reserved character encode)",
             "<site>/index.html|line 14: Long File Name One.html -> long file name one.html (case change)",
         })
        EXPECT_TRUE(contains(changes, change)) << change << "\n" << ::testing::PrintToString(changes);
    // Links written with escapes that fit stay as they are.
    for (const auto& change : changes) {
        EXPECT_EQ(change.find("what?.htm"), std::string::npos) << change;
        EXPECT_EQ(change.find("café.html"), std::string::npos) << change;
    }
}

// Links written in other case than their files are found without regard to case; the link renaming
// writes them in the file's case, in every segment, whether or not the file gets a new name. The server
// part is not a file name and stays as written.
TEST_F(SampleSite, LinksInOtherCaseThanTheirFilesAreWrittenInTheFilesCase) {
    const Report report = check({"--target", "iso9660"});
    const auto changes = linkChanges(report.body(kLinks));
    for (const char* change : {
             "<site>/about.htm|line 10: ABOUT.HTM -> about.htm (case change)",
             "<site>/about.htm|line 10: Products/Catalog.HTML -> products/catalog.htm",
             "<site>/index.html|line 13: HTTP://WWW.EXAMPLE.COM/contact.php -> "
             "HTTP://WWW.EXAMPLE.COM/Contact.php (case change)",
         })
        EXPECT_TRUE(contains(changes, change)) << change << "\n" << ::testing::PrintToString(changes);
}

}  // namespace
}  // namespace korvel::cli
