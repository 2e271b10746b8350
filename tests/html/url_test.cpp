#include "html/url.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

using testing::ScriptedPrompts;
using testing::TempDir;

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
        dir.write("REPORT_2.TXT", testing::korvelReport());
        dir.write("docs/RENAME.LOG", testing::korvelRenameLog());
        dir.write("empty/note.txt", "text");
        dir.mkdir("weird/index.html");
        settings.Directory = dir.path();
        settings.UseSubdirs = true;
        EXPECT_TRUE(buildTree(settings, HtmlDefinitions{}, tree, testing::ignoredFindings()));
        context.emplace(tree.get(), kServer, kDefaults);
    }

    ENode* node(std::string_view relative) const { return tree->findNodeByPath(dir.file(relative)); }
    EHtmlNode& page(std::string_view relative) const {
        auto* html = dynamic_cast<EHtmlNode*>(node(relative));
        EXPECT_NE(html, nullptr) << relative;
        return *html;
    }
    // The target as a path below the top directory, "" for none.
    std::string targetOf(const EUrl& url) const {
        if (!url.target) return "";
        return url.target->originalPath().substr(dir.path().size() + 1);
    }
    EUrl make(std::string_view pagePath, std::string_view raw, std::uint16_t flags = 0,
              const UrlContext* context = nullptr) {
        EUrl url;
        makeUrl(page(pagePath), url, flags, 100, raw, context ? *context : *this->context);
        return url;
    }

    TempDir dir;
    ScriptedPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    LogScope logScope;
    JobSettings settings;
    std::unique_ptr<ESiteTree> tree;
    std::optional<UrlContext> context;  // made once the tree is there
};

constexpr std::uint16_t kRel = EUrl::kRelative;
constexpr std::uint16_t kRoot = EUrl::kRoot;
constexpr std::uint16_t kAbs = EUrl::kAbsolute;
constexpr std::uint16_t kExt = EUrl::kExternal;
constexpr std::uint16_t kDoc = EUrl::kDefaultDocument;
constexpr std::uint16_t kEnc = EUrl::kNeedsEncoding;

struct ResolveCase {
    std::string_view page;
    std::string_view raw;
    std::uint16_t flags;      // every flag the record must end with
    std::string_view target;  // below the top directory; "" for none
    std::string_view text;
};

TEST_F(UrlTest, LocalLinksResolveThroughThePathIndex) {
    const ResolveCase cases[] = {
        {"index.html", "a.html", kRel, "a.html", "a.html"},
        {"index.html", " a.html\n", kRel, "a.html", "a.html"},
        {"index.html", "PAGE.HTML", kRel, "page.html",
         "PAGE.HTML"},  // case-blind when nothing matches exactly
        {"index.html", "Case/twin.html", kRel, "Case/twin.html", "Case/twin.html"},  // exact case wins
        {"index.html", "Case/Twin.html", kRel, "Case/Twin.html", "Case/Twin.html"},
        {"index.html", "case/TWIN.HTML", kRel, "Case/Twin.html", "case/TWIN.HTML"},
        {"docs/a.html", "../a.html", kRel, "a.html", "../a.html"},
        {"docs/a.html", "/a.html", kRoot, "a.html", "/a.html"},
        {"docs/a.html", "../../../a.html", kRel, "a.html", "../../../a.html"},  // never above the top
        {"docs/a.html", "/../docs/./x.html", kRoot, "docs/x.html", "/../docs/./x.html"},
        {"docs/a.html", "x.html", kRel, "docs/x.html", "x.html"},
        {"index.html", "sub//deeper/p.html", kRel, "sub/deeper/p.html", "sub//deeper/p.html"},
        {"index.html", "http://WWW.Site.ORG/a.html", kAbs, "a.html", "http://WWW.Site.ORG/a.html"},
        {"index.html", "https://user@www.site.org/docs/../a.html", kAbs, "a.html",
         "https://user@www.site.org/docs/../a.html"},
        {"index.html", "//www.site.org/page.html", kAbs, "page.html", "//www.site.org/page.html"},
        {"index.html", "http:page.html", kRel, "page.html", "http:page.html"},
        {"docs/a.html", "http:/page.html", kRoot, "page.html", "http:/page.html"},
        // Percent escapes: one pass; the raw form decides needs-encoding.
        {"index.html", "My%20Page.html", kRel, "My Page.html", "My Page.html"},
        {"index.html", "My Page.html", kRel | kEnc, "My Page.html", "My Page.html"},
        {"index.html", "%2541.html", kRel, "%41.html", "%41.html"},
        {"index.html", "%41.html", kRel | kEnc, "a.html", "A.html"},  // "A.html": found case-blind
        {"index.html", "a%3Ab.html", kRel, "a:b.html", "a:b.html"},   // an escaped ":" is no scheme
        {"index.html", "a%3ab.html", kRel | kEnc, "a:b.html", "a:b.html"},
        {"index.html", "p\nage.html", kRel, "page.html", "page.html"},  // browsers drop line breaks
        // Fragment and query are not part of the file.
        {"index.html", "a.html#top", kRel, "a.html", "a.html"},
        {"index.html", "a.html?x=1", kRel, "a.html", "a.html"},
        {"index.html", "a.html?x=1#top", kRel, "a.html", "a.html"},
        // Directories: the first server default document in list order.
        {"index.html", "docs/", kRel | kDoc, "docs/index.htm", "docs/"},
        {"index.html", "docs", kRel | kDoc, "docs/index.htm", "docs"},
        {"index.html", "both/", kRel | kDoc, "both/index.html", "both/"},
        {"index.html", "onlyhome/", kRel | kDoc, "onlyhome/home.htm", "onlyhome/"},
        {"index.html", "weird/", kRel | kDoc, "weird/index.htm", "weird/"},  // a directory is no document
        {"index.html", "empty/", kRel, "", "empty/"},
        {"docs/a.html", "/", kRoot | kDoc, "index.html", "/"},
        {"docs/a.html", "..", kRel | kDoc, "index.html", ".."},
        {"docs/a.html", "http://www.site.org", kAbs | kDoc, "index.html", "http://www.site.org"},
        {"index.html", "missing.html", kRel, "", "missing.html"},
        // Korvel's own files are never targets; a site's own file of another case is.
        {"index.html", "REPORT.TXT", kRel, "", "REPORT.TXT"},
        {"index.html", "REPORT_2.TXT", kRel, "", "REPORT_2.TXT"},
        {"index.html", "report_of_external_refs.html", kRel, "", "report_of_external_refs.html"},
        {"index.html", "Report_Of_External_Refs.html", kRel, "", "Report_Of_External_Refs.html"},
        {"docs/a.html", "RENAME.LOG", kRel, "", "RENAME.LOG"},
        {"index.html", "report.txt", kRel, "report.txt", "report.txt"},
    };
    for (const ResolveCase& c : cases) {
        const EUrl url = make(c.page, c.raw);
        EXPECT_EQ(url.flags, c.flags) << c.page << " | " << c.raw;
        EXPECT_EQ(targetOf(url), c.target) << c.page << " | " << c.raw;
        EXPECT_EQ(url.text, c.text) << c.page << " | " << c.raw;
    }
}

TEST_F(UrlTest, ExternalLinksKeepNoTargetAndBecomeAbsolute) {
    const ResolveCase cases[] = {
        {"index.html", "mailto:me@site.org", kExt | kRel, "", "mailto:me@site.org"},
        {"index.html", "mailto:a b@x.org", kExt | kRel, "",
         "mailto:a b@x.org"},  // never marked for rewriting
        {"index.html", "news:comp.infosystems", kExt | kRel, "", "news:comp.infosystems"},
        {"index.html", "javascript:open('a.html')", kExt | kRel, "", "javascript:open('a.html')"},
        {"index.html", "tel:+4412345", kExt | kRel, "", "tel:+4412345"},
        {"index.html", "data:text/plain,a.html", kExt | kRel, "", "data:text/plain,a.html"},
        {"index.html", "about:blank", kExt | kRel, "", "about:blank"},
        {"index.html", " https://other.org/a%20b/../c.html#x ", kExt | kAbs, "", "https://other.org/c.html"},
        {"index.html", "http://other.org", kExt | kAbs, "", "http://other.org/"},
        {"index.html", "//other.org/a", kExt | kAbs, "", "http://other.org/a"},
        {"index.html", "https://www.site.org:8443/a.html", kExt | kAbs, "",
         "https://www.site.org:8443/a.html"},
        {"index.html", "ftp:///pub/a.html", kExt | kRoot, "", "ftp:///pub/a.html"},
    };
    for (const ResolveCase& c : cases) {
        const EUrl url = make(c.page, c.raw);
        EXPECT_EQ(url.flags, c.flags) << c.raw;
        EXPECT_EQ(url.target, nullptr) << c.raw;
        EXPECT_EQ(url.text, c.text) << c.raw;
    }
}

struct SpanCase {
    std::string_view raw;
    std::int64_t position;
    std::int64_t end;
};

TEST_F(UrlTest, PositionAndEndCoverTheLinkWithoutBlanksFragmentOrQuery) {
    const SpanCase cases[] = {
        {"a.html", 100, 105},     {"a.html#top", 100, 105}, {"a.html?x=1#top", 100, 105},
        {"  a.html  ", 102, 107}, {"\r\na.html", 102, 107}, {"My Page.html ", 100, 111},
        {"a\nb.html", 100, 107},  // an inner line break is inside the span, left to the rewrite
    };
    for (const SpanCase& c : cases) {
        const EUrl url = make("index.html", c.raw);
        EXPECT_EQ(url.position, c.position) << c.raw;
        EXPECT_EQ(url.end, c.end) << c.raw;
    }
}

TEST_F(UrlTest, CallerFlagsAreKeptAndEveryOtherFieldIsReset) {
    EUrl url;
    url.flags = 0xFFFF;
    url.target = node("a.html");
    url.text = "stale text that is longer than the new one";
    makeUrl(page("index.html"), url, EUrl::kEmbedded | EUrl::kFrame | EUrl::kExternal | kDoc, 7,
            "missing.gif", *context);
    EXPECT_EQ(url.flags, EUrl::kEmbedded | EUrl::kFrame | kRel);
    EXPECT_EQ(url.target, nullptr);
    EXPECT_EQ(url.text, "missing.gif");
    EXPECT_EQ(url.position, 7);
    EXPECT_EQ(url.end, 17);
}

TEST_F(UrlTest, ABaseTagNamesTheDirectoryItself) {
    const EUrl url = make("index.html", "docs/", EUrl::kBase);
    EXPECT_EQ(url.flags, EUrl::kBase | kRel);
    EXPECT_EQ(url.target, node("docs"));
}

struct BaseCase {
    std::string_view page;
    std::string_view href;
    std::string_view base;  // below the top directory for a local base ("" = the top); else the URL
    bool external;
};

TEST_F(UrlTest, BaseFromTagIsTheDirectoryUpToTheLastSlash) {
    const BaseCase cases[] = {
        {"docs/a.html", "/sub/deeper/p.html", "/sub/deeper", false},  // a base naming a file: its directory
        {"docs/a.html", "/sub/deeper/", "/sub/deeper", false},
        {"docs/a.html", "/sub/deeper", "/sub", false},
        {"docs/a.html", "../", "", false},
        {"docs/a.html", "./", "/docs", false},
        {"index.html", "/", "", false},
        {"index.html", "../../..", "", false},
        {"index.html", "http://www.site.org/docs/x.html", "/docs", false},
        {"index.html", "http://www.site.org", "", false},
        {"index.html", " http://other.org/dir/page.html#x ", "http://other.org/dir/page.html", true},
        {"index.html", "https://other.org", "https://other.org/", true},
        {"index.html", "//other.org/d/", "http://other.org/d/", true},
    };
    for (const BaseCase& c : cases) {
        EHtmlNode& html = page(c.page);
        const EUrl url = make(c.page, c.href, EUrl::kBase);
        const std::string base = baseFromTag(url, html.base(), *context);
        if (c.external) {
            EXPECT_EQ(base, c.base) << c.href;
            EXPECT_TRUE(isExternalBase(base)) << c.href;
        } else {
            EXPECT_EQ(base, dir.path() + std::string(c.base)) << c.href;
            EXPECT_FALSE(isExternalBase(base)) << c.href;
        }
    }
}

TEST_F(UrlTest, ABaseNamingNoLocationLeavesTheBaseAsItWas) {
    EHtmlNode& html = page("docs/a.html");
    for (std::string_view href : {"javascript:void(0)", "mailto:me@x.org", "about:blank"}) {
        const EUrl url = make("docs/a.html", href, EUrl::kBase);
        EXPECT_EQ(baseFromTag(url, html.base(), *context), html.base()) << href;
    }
}

TEST_F(UrlTest, LinksAfterALocalBaseResolveInItsDirectory) {
    EHtmlNode& html = page("docs/a.html");
    html.setBase(
        baseFromTag(make("docs/a.html", "../sub/deeper/index.html", EUrl::kBase), html.base(), *context));
    EXPECT_EQ(targetOf(make("docs/a.html", "p.html")), "sub/deeper/p.html");
    EXPECT_EQ(targetOf(make("docs/a.html", "../../a.html")), "a.html");
    EXPECT_EQ(targetOf(make("docs/a.html", "/docs/x.html")), "docs/x.html");
}

TEST_F(UrlTest, UnderAnExternalBaseOnlyTheOwnServerStaysLocal) {
    EHtmlNode& html = page("docs/a.html");
    html.setBase(baseFromTag(make("docs/a.html", "http://other.org/dir/page.html", EUrl::kBase), html.base(),
                             *context));
    const ResolveCase cases[] = {
        {"docs/a.html", "x.html", kExt | kRel, "", "http://other.org/dir/x.html"},
        {"docs/a.html", "../x.html", kExt | kRel, "", "http://other.org/x.html"},
        {"docs/a.html", "/y.html", kExt | kRoot, "", "http://other.org/y.html"},
        {"docs/a.html", "//cdn.org/z.js", kExt | kAbs, "", "http://cdn.org/z.js"},
        {"docs/a.html", "http://www.site.org/a.html", kAbs, "a.html", "http://www.site.org/a.html"},
        {"docs/a.html", "//WWW.SITE.ORG/docs/", kAbs | kDoc, "docs/index.htm", "//WWW.SITE.ORG/docs/"},
    };
    for (const ResolveCase& c : cases) {
        const EUrl url = make(c.page, c.raw);
        EXPECT_EQ(url.flags, c.flags) << c.raw;
        EXPECT_EQ(targetOf(url), c.target) << c.raw;
        EXPECT_EQ(url.text, c.text) << c.raw;
    }
    // A secure external base lends its scheme to a scheme-relative link.
    html.setBase("https://other.org/dir/");
    EXPECT_EQ(make("docs/a.html", "//cdn.org/z.js").text, "https://cdn.org/z.js");
}

TEST_F(UrlTest, EachContextHasItsOwnServerDefaultList) {
    const UrlContext none(tree.get(), kServer, "");
    const UrlContext homeFirst(tree.get(), kServer, " ;; home.htm ; index.htm;");
    EXPECT_EQ(make("index.html", "docs/", 0, &none).target, node("docs"));  // no list: the directory itself
    EXPECT_EQ(make("index.html", "docs/", 0, &none).flags, kRel);
    EXPECT_EQ(make("index.html", "onlyhome/", 0, &homeFirst).target, node("onlyhome/home.htm"));
    EXPECT_EQ(make("index.html", "docs/", 0, &homeFirst).target, node("docs/index.htm"));
    EXPECT_EQ(make("index.html", "both/", 0, &homeFirst).target, nullptr);
    // The job's own context is untouched by the others.
    EXPECT_EQ(make("index.html", "both/").target, node("both/index.html"));
}

TEST_F(UrlTest, TheServerNameMayBeGivenAsAUrl) {
    const UrlContext pasted(tree.get(), " http://WWW.SITE.ORG/ ", kDefaults);
    EXPECT_EQ(pasted.server(), "WWW.SITE.ORG");
    EXPECT_EQ(make("index.html", "http://www.site.org/a.html", 0, &pasted).target, node("a.html"));
    const UrlContext noServer(tree.get(), "", kDefaults);
    EXPECT_TRUE(make("index.html", "http://www.site.org/a.html", 0, &noServer).has(EUrl::kExternal));
    EXPECT_EQ(make("index.html", "a.html", 0, &noServer).target, node("a.html"));
}

TEST_F(UrlTest, SiteRelativePathAndLookupNeverLeaveTheTop) {
    const std::string base = dir.file("docs");
    EXPECT_EQ(siteRelativePath("../../x/./y.html", base, *context), "/x/y.html");
    EXPECT_EQ(siteRelativePath("http://www.site.org", base, *context), "/");
    EXPECT_EQ(siteRelativePath("a.html", "http://other.org/", *context), "");
    EXPECT_EQ(siteRelativePath("mailto:x@y", base, *context), "");
    EXPECT_EQ(findSiteNode("/", *context), &tree->top());
    EXPECT_EQ(findSiteNode("/docs/", *context), node("docs"));
    EXPECT_EQ(findSiteNode("/REPORT.TXT", *context), nullptr);
    const UrlContext noTree(nullptr, kServer, kDefaults);
    EXPECT_EQ(findSiteNode("/a.html", noTree), nullptr);
}

TEST_F(UrlTest, RelativeLinksResolveAsTheJoinedPathCollapsed) {
    // Whatever shortcut resolution takes, a relative link means the base directory, "/" and the link,
    // with its dot segments removed and never above the top.
    const std::vector<std::string> bases = {"", "/docs", "/docs/api/v1", "/a//b", "/a/./b", "/a/../b", "/.."};
    const std::vector<std::string> links = {
        "x.html",      "sub/x.html", "sub/",  "../x.html", "../../x.html", "../../../../x.html",
        "../",         "../..",      "..",    ".",         "./x.html",     "x/./y.html",
        "x/../y.html", "x//y.html",  "../x/", "...",       "..x/y",        "../.x",
        "x/..",        "x/.",        "",      "../../"};
    for (const std::string& below : bases) {
        const std::string base = dir.path() + below;
        for (const std::string& link : links) {
            EXPECT_EQ(siteRelativePath(link, base, *context), collapseDots(below + "/" + link, true))
                << "base \"" << below << "\", link \"" << link << "\"";
        }
    }
}

TEST_F(UrlTest, AFileUrlLeadsIntoTheSiteOnlyFromInsideTheTopDirectory) {
    const std::string top = "file://" + dir.path();
    // Inside the top directory: a link to that file, read from the top as a root link is.
    const EUrl inside = make("docs/a.html", top + "/docs/x.html");
    EXPECT_FALSE(inside.has(EUrl::kExternal));
    EXPECT_EQ(targetOf(inside), "docs/x.html");
    EXPECT_EQ(targetOf(make("docs/a.html", top + "/")), "index.html");  // the top itself, by its default
    // Anywhere else on the machine the file is not part of the site: outside it, never a broken link.
    for (const std::string& outside : {std::string("file:///usr/share/doc/python3/html/index.html"),
                                       top + "-old/index.html", std::string("file:/etc/hosts")}) {
        const EUrl url = make("docs/a.html", outside);
        EXPECT_TRUE(url.has(EUrl::kExternal)) << outside;
        EXPECT_EQ(url.target, nullptr) << outside;
    }
}

TEST(UrlContextTest, ServerDefaultListIgnoresEmptyItemsAndBlanks) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(parseServerDefaults("index.html;index.htm;default.htm;home.htm"),
              (Names{"index.html", "index.htm", "default.htm", "home.htm"}));
    EXPECT_EQ(parseServerDefaults(";; index.htm ;;default.htm;"), (Names{"index.htm", "default.htm"}));
    EXPECT_EQ(parseServerDefaults(""), Names{});
    EXPECT_EQ(parseServerDefaults(" ; ;"), Names{});
}

struct OutputCase {
    std::string_view path;
    bool korvels;
};

TEST(UrlContextTest, KorvelOutputFilesAreKnownByExactNameAndPlace) {
    const OutputCase cases[] = {
        {"/site/REPORT.TXT", true},
        {"/site/REPORT_1.TXT", true},
        {"/site/REPORT_12.TXT", true},
        {"/site/report_of_external_refs.html", true},
        {"/site/RENAME.LOG", true},
        {"/site/docs/deep/RENAME.LOG", true},
        {"/site/report.txt", false},  // the site's own file: a different name here
        {"/site/Report_of_external_refs.html", false},
        {"/site/REPORT_.TXT", false},
        {"/site/REPORT_01.TXT", false},
        {"/site/REPORT_1a.TXT", false},
        {"/site/REPORT_1.TXT.bak", false},
        {"/site/docs/REPORT.TXT", false},  // reports live in the top directory only
        {"/site2/RENAME.LOG", false},
        {"/sitex/REPORT.TXT", false},
        {"/other/RENAME.LOG", false},
        {"REPORT.TXT", false},
    };
    for (const OutputCase& c : cases) {
        EXPECT_EQ(isKorvelOutputFile("/site", c.path), c.korvels) << c.path;
        EXPECT_EQ(isKorvelOutputFile("/site/", c.path), c.korvels) << c.path;
    }
    EXPECT_TRUE(isKorvelOutputFile("/", "/REPORT.TXT"));
    EXPECT_TRUE(isKorvelOutputFile("/", "/a/RENAME.LOG"));
}

TEST(UrlContextTest, FormFollowsTheWrittenFlag) {
    EUrl url;
    EXPECT_EQ(urlForm(url), 0);
    url.set(EUrl::kRelative);
    EXPECT_EQ(urlForm(url), 1);
    url.flags = EUrl::kRoot | EUrl::kExternal;
    EXPECT_EQ(urlForm(url), 2);
    url.flags = EUrl::kAbsolute | EUrl::kDefaultDocument;
    EXPECT_EQ(urlForm(url), 3);
}

}  // namespace
}  // namespace korvel
