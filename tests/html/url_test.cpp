#include "html/url.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "html/url_text.h"
#include "report/app_log.h"
#include "site/node.h"
#include "site/scan.h"
#include "support/ignored_findings.h"
#include "support/korvel_outputs.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using testing::TempDir;
using namespace std::string_view_literals;

constexpr std::string_view kServer = "www.site.org";
constexpr std::string_view kDefaults = "index.html;index.htm;default.htm;home.htm";

// A small site on disk, scanned the way a job scans it.
class UrlTest : public ::testing::Test {
  protected:
    UrlTest() {
        for (std::string_view page :
             {"index.html", "a.html", "page.html", "My Page.html", "%41.html", "a:b.html", "report.txt",
              "docs/a.html", "docs/x.html", "docs/index.htm", "both/index.html", "both/default.htm",
              "onlyhome/home.htm", "weird/index.htm", "Case/Twin.html", "Case/twin.html",
              "sub/deeper/p.html"})
            dir.write(page, "<html><body></body></html>");
        // Korvel's own output, and a file only in other letters.
        dir.write("report_of_external_refs.html", testing::korvelExternalPage());
        dir.write("REPORT.TXT", testing::korvelReport());
        dir.write("docs/RENAME.LOG", testing::korvelRenameLog());
        dir.write("empty/note.txt", "text");
        dir.mkdir("weird/index.html");
        settings.Directory = dir.path();
        settings.UseSubdirs = true;
        EXPECT_TRUE(buildTree(settings, HtmlDefinitions{}, tree, testing::ignoredFindings()));
        context.emplace(tree.get(), kServer, kDefaults);
    }

    Node* node(std::string_view relative) const { return tree->findNodeByPath(dir.file(relative)); }
    HtmlNode& page(std::string_view relative) const { return *dynamic_cast<HtmlNode*>(node(relative)); }
    // The target as a path below the top directory, "" for none.
    std::string targetOf(const UrlRecord& url) const {
        return url.target ? url.target->originalPath().substr(dir.path().size() + 1) : "";
    }
    UrlRecord make(std::string_view pagePath, std::string_view raw, std::uint16_t flags = 0,
                   const UrlContext* context = nullptr) {
        UrlRecord url;
        makeUrl(page(pagePath), url, flags, 100, raw, context ? *context : *this->context);
        return url;
    }

    TempDir dir;
    testing::ScriptedPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    LogScope logScope;
    JobSettings settings;
    std::unique_ptr<SiteTree> tree;
    std::optional<UrlContext> context;  // made once the tree is there
};

constexpr std::uint16_t kRel = UrlRecord::kRelative;
constexpr std::uint16_t kRoot = UrlRecord::kRoot;
constexpr std::uint16_t kAbs = UrlRecord::kAbsolute;
constexpr std::uint16_t kExt = UrlRecord::kExternal;
constexpr std::uint16_t kDoc = UrlRecord::kDefaultDocument;
constexpr std::uint16_t kEnc = UrlRecord::kNeedsEncoding;

struct ResolveCase {
    std::string_view page, raw;
    std::uint16_t flags;      // every flag the record must end with
    std::string_view target;  // below the top directory; "" for none
    std::string_view text;
};

void expectResolved(const UrlRecord& url, const ResolveCase& c, const std::string& target) {
    EXPECT_EQ(url.flags, c.flags) << c.page << " | " << c.raw;
    EXPECT_EQ(target, c.target) << c.page << " | " << c.raw;
    EXPECT_EQ(url.text, c.text) << c.page << " | " << c.raw;
}

TEST_F(UrlTest, LinksResolveThroughThePathIndexOrBecomeAbsoluteExternals) {
    for (const ResolveCase& c : std::vector<ResolveCase>{
             // Case-blind only when nothing matches exactly; never above the top.
             ResolveCase{"index.html", " Case/twin.html\n", kRel, "Case/twin.html", "Case/twin.html"},
             ResolveCase{"index.html", "case/TWIN.HTML", kRel, "Case/Twin.html", "case/TWIN.HTML"},
             ResolveCase{"docs/a.html", "../../../a.html", kRel, "a.html", "../../../a.html"},
             ResolveCase{"docs/a.html", "/../docs/./x.html", kRoot, "docs/x.html", "/../docs/./x.html"},
             ResolveCase{"docs/a.html", "x.html", kRel, "docs/x.html", "x.html"},
             ResolveCase{"index.html", "https://user@WWW.Site.ORG/docs/../a.html", kAbs, "a.html",
                         "https://user@WWW.Site.ORG/docs/../a.html"},
             ResolveCase{"index.html", "http:page.html", kRel, "page.html", "http:page.html"},
             // Percent escapes: one pass; the raw form decides needs-encoding; line breaks are dropped.
             ResolveCase{"index.html", "My%20Page.html", kRel, "My Page.html", "My Page.html"},
             ResolveCase{"index.html", "My Page.html", kRel | kEnc, "My Page.html", "My Page.html"},
             ResolveCase{"index.html", "%2541.html", kRel, "%41.html", "%41.html"},
             ResolveCase{"index.html", "a%3ab.html", kRel | kEnc, "a:b.html", "a:b.html"},  // no scheme
             ResolveCase{"index.html", "p\nage.html?x=1#top", kRel, "page.html", "page.html"},
             // Directories: the first server default document in list order; a directory is no document.
             ResolveCase{"index.html", "docs", kRel | kDoc, "docs/index.htm", "docs"},
             ResolveCase{"index.html", "onlyhome/", kRel | kDoc, "onlyhome/home.htm", "onlyhome/"},
             ResolveCase{"index.html", "weird/", kRel | kDoc, "weird/index.htm", "weird/"},
             ResolveCase{"index.html", "empty/", kRel, "", "empty/"},
             ResolveCase{"docs/a.html", "http://www.site.org", kAbs | kDoc, "index.html",
                         "http://www.site.org"},
             // Korvel's own files are never targets; a site's own file of another case is.
             ResolveCase{"index.html", "Report_Of_External_Refs.html", kRel, "",
                         "Report_Of_External_Refs.html"},
             ResolveCase{"docs/a.html", "RENAME.LOG", kRel, "", "RENAME.LOG"},
             ResolveCase{"index.html", "report.txt", kRel, "report.txt", "report.txt"},
             // External links keep no target; those that name a location become absolute.
             ResolveCase{"index.html", "mailto:a b@x.org", kExt | kRel, "", "mailto:a b@x.org"},
             ResolveCase{"index.html", " https://other.org/a%20b/../c.html#x ", kExt | kAbs, "",
                         "https://other.org/c.html"},
             ResolveCase{"index.html", "//other.org/a", kExt | kAbs, "", "http://other.org/a"},
             ResolveCase{"index.html", "https://www.site.org:8443/a.html", kExt | kAbs, "",
                         "https://www.site.org:8443/a.html"},
             ResolveCase{"index.html", "ftp:///pub/a.html", kExt | kRoot, "", "ftp:///pub/a.html"}}) {
        const UrlRecord url = make(c.page, c.raw);
        expectResolved(url, c, targetOf(url));
    }
}

TEST_F(UrlTest, PositionAndEndCoverTheLinkWithoutBlanksFragmentOrQuery) {
    for (const auto& [raw, position, end] :
         {std::tuple{"a.html?x=1#top"sv, 100, 105}, std::tuple{"\r\na.html  "sv, 102, 107},
          std::tuple{"a\nb.html"sv, 100, 107}}) {  // left to the rewrite
        const UrlRecord url = make("index.html", raw);
        EXPECT_EQ(url.position, position) << raw;
        EXPECT_EQ(url.end, end) << raw;
    }
    // The caller's flags are kept, every other field is reset.
    UrlRecord url;
    url.flags = 0xFFFF;
    url.target = node("a.html");
    url.text = "stale text that is longer than the new one";
    makeUrl(page("index.html"), url, UrlRecord::kEmbedded | UrlRecord::kFrame | kExt | kDoc, 7, "missing.gif",
            *context);
    EXPECT_EQ(url.flags, UrlRecord::kEmbedded | UrlRecord::kFrame | kRel);
    EXPECT_EQ(url.target, nullptr);
    EXPECT_EQ(url.text, "missing.gif");
    EXPECT_EQ(url.end, 17);
    EXPECT_EQ(urlForm(UrlRecord{}), 0);  // a record never made has no written form
}

TEST_F(UrlTest, BaseFromTagIsTheDirectoryUpToTheLastSlash) {
    EXPECT_EQ(make("index.html", "docs/", UrlRecord::kBase).target, node("docs"));  // the directory itself
    for (const auto& [pagePath, href, base] :
         {std::tuple{"docs/a.html"sv, "/sub/deeper/p.html"sv, "/sub/deeper"sv},  // a file: its directory
          std::tuple{"docs/a.html"sv, "/sub/deeper"sv, "/sub"sv},
          std::tuple{"docs/a.html"sv, "./"sv, "/docs"sv}, std::tuple{"index.html"sv, "../../.."sv, ""sv},
          std::tuple{"index.html"sv, "http://www.site.org"sv, ""sv},
          std::tuple{"index.html"sv, "http://www.site.org/docs/x.html"sv, "/docs"sv}}) {
        const std::string made =
            baseFromTag(make(pagePath, href, UrlRecord::kBase), page(pagePath).base(), *context);
        EXPECT_EQ(made, dir.path() + std::string(base)) << href;
        EXPECT_FALSE(isExternalBase(made)) << href;
    }
    for (const auto& [href, base] :
         {std::pair{" http://other.org/dir/page.html#x "sv, "http://other.org/dir/page.html"sv},
          std::pair{"//other.org/d/"sv, "http://other.org/d/"sv}}) {
        const std::string made = baseFromTag(make("index.html", href, UrlRecord::kBase), "/old", *context);
        EXPECT_EQ(made, base);
        EXPECT_TRUE(isExternalBase(made)) << href;
    }
    // A base naming no location leaves the base as it was.
    EXPECT_EQ(baseFromTag(make("docs/a.html", "mailto:me@x.org", UrlRecord::kBase), "/old", *context),
              "/old");
}

TEST_F(UrlTest, LinksAfterABaseResolveAgainstIt) {
    HtmlNode& html = page("docs/a.html");
    html.setBase(baseFromTag(make("docs/a.html", "../sub/deeper/index.html", UrlRecord::kBase), html.base(),
                             *context));
    EXPECT_EQ(targetOf(make("docs/a.html", "p.html")), "sub/deeper/p.html");
    EXPECT_EQ(targetOf(make("docs/a.html", "../../a.html")), "a.html");
    EXPECT_EQ(targetOf(make("docs/a.html", "/docs/x.html")), "docs/x.html");
    // Under an external base only the own server stays local.
    html.setBase("http://other.org/dir/page.html");
    for (const ResolveCase& c : std::vector<ResolveCase>{
             ResolveCase{"docs/a.html", "../x.html", kExt | kRel, "", "http://other.org/x.html"},
             ResolveCase{"docs/a.html", "/y.html", kExt | kRoot, "", "http://other.org/y.html"},
             ResolveCase{"docs/a.html", "//WWW.SITE.ORG/docs/", kAbs | kDoc, "docs/index.htm",
                         "//WWW.SITE.ORG/docs/"}}) {
        const UrlRecord url = make(c.page, c.raw);
        expectResolved(url, c, targetOf(url));
    }
    // A secure external base lends its scheme to a scheme-relative link.
    html.setBase("https://other.org/dir/");
    EXPECT_EQ(make("docs/a.html", "//cdn.org/z.js").text, "https://cdn.org/z.js");
}

TEST_F(UrlTest, EachContextHasItsOwnServerAndDefaultList) {
    const UrlContext none(tree.get(), kServer, "");
    const UrlContext homeFirst(tree.get(), kServer, " ;; home.htm ; index.htm;");
    EXPECT_EQ(make("index.html", "docs/", 0, &none).target, node("docs"));  // no list: the directory itself
    EXPECT_EQ(make("index.html", "docs/", 0, &none).flags, kRel);
    EXPECT_EQ(make("index.html", "onlyhome/", 0, &homeFirst).target, node("onlyhome/home.htm"));
    EXPECT_EQ(make("index.html", "both/", 0, &homeFirst).target, nullptr);
    EXPECT_EQ(make("index.html", "both/").target, node("both/index.html"));  // the job's own is untouched
    // The server name may be given as a URL; with none, nothing with a server is local.
    const UrlContext pasted(tree.get(), " http://WWW.SITE.ORG/ ", kDefaults);
    EXPECT_EQ(pasted.server(), "WWW.SITE.ORG");
    EXPECT_EQ(make("index.html", "http://www.site.org/a.html", 0, &pasted).target, node("a.html"));
    const UrlContext noServer(tree.get(), "", kDefaults);
    EXPECT_TRUE(make("index.html", "http://www.site.org/a.html", 0, &noServer).has(UrlRecord::kExternal));
    EXPECT_EQ(parseServerDefaults(";; index.htm ;;default.htm;"),
              (std::vector<std::string>{"index.htm", "default.htm"}));
}

TEST_F(UrlTest, SiteRelativePathsNeverLeaveTheTop) {
    EXPECT_EQ(siteRelativePath("http://www.site.org", dir.file("docs"), *context), "/");
    EXPECT_EQ(siteRelativePath("a.html", "http://other.org/", *context), "");
    EXPECT_EQ(findSiteNode("/", *context), &tree->top());
    EXPECT_EQ(findSiteNode("/REPORT.TXT", *context), nullptr);
    EXPECT_EQ(findSiteNode("/a.html", UrlContext(nullptr, kServer, kDefaults)), nullptr);
    // Whatever shortcut resolution takes, a relative link means the base directory, "/" and the link, with
    // its dot segments removed and never above the top.
    for (const std::string below : {"", "/docs/api", "/a//b", "/a/./b", "/.."}) {
        for (const std::string link : {"x.html", "../x.html", "../../../x/", "..", "./x.html", "x/../y.html",
                                       "x//y.html", "...", "..x/y", "x/.", ""})
            EXPECT_EQ(siteRelativePath(link, dir.path() + below, *context),
                      collapseDots(below + "/" + link, true))
                << "base \"" << below << "\", link \"" << link << "\"";
    }
}

TEST_F(UrlTest, AFileUrlLeadsIntoTheSiteOnlyFromInsideTheTopDirectory) {
    const std::string top = "file://" + dir.path();
    const UrlRecord inside =
        make("docs/a.html", top + "/docs/x.html");  // read from the top, as a root link is
    EXPECT_FALSE(inside.has(UrlRecord::kExternal));
    EXPECT_EQ(targetOf(inside), "docs/x.html");
    EXPECT_EQ(targetOf(make("docs/a.html", top)), "index.html");  // the top itself, by its default
    // Anywhere else on the machine the file is not part of the site: outside it, never a broken link.
    for (const std::string& outside : {top + "-old/index.html", std::string("file:/etc/hosts")}) {
        const UrlRecord url = make("docs/a.html", outside);
        EXPECT_TRUE(url.has(UrlRecord::kExternal)) << outside;
        EXPECT_EQ(url.target, nullptr) << outside;
    }
}

TEST(UrlContextTest, KorvelOutputFilesAreKnownByExactNameAndPlace) {
    // Reports live in the top directory only; the site's own files of other names are its own.
    for (const auto& [path, korvels] :
         {std::pair{"/site/REPORT_12.TXT"sv, true}, std::pair{"/site/report_of_external_refs.html"sv, true},
          std::pair{"/site/docs/deep/RENAME.LOG"sv, true}, std::pair{"/site/report.txt"sv, false},
          std::pair{"/site/REPORT_.TXT"sv, false}, std::pair{"/site/REPORT_01.TXT"sv, false},
          std::pair{"/site/REPORT_1a.TXT"sv, false}, std::pair{"/site/REPORT_1.TXT.bak"sv, false},
          std::pair{"/site/docs/REPORT.TXT"sv, false}, std::pair{"/site2/RENAME.LOG"sv, false},
          std::pair{"REPORT.TXT"sv, false}}) {
        EXPECT_EQ(isKorvelOutputFile("/site", path), korvels) << path;
        EXPECT_EQ(isKorvelOutputFile("/site/", path), korvels) << path;
    }
    EXPECT_TRUE(isKorvelOutputFile("/", "/a/RENAME.LOG"));
}

}  // namespace
}  // namespace korvel
