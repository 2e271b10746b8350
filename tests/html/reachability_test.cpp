#include "html/reachability.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link_site.h"
#include "res/strings.h"
#include "site/iterator.h"

namespace korvel {
namespace {

using testing::LinkSite;
using Lines = std::vector<std::string>;

// ---- The web children of a page

UrlRecord record(Node* target, std::uint16_t flags = UrlRecord::kRelative) {
    UrlRecord url;
    url.target = target;
    url.flags = flags;
    return url;
}

std::vector<Node*> children(HtmlNode& page) {
    std::vector<Node*> out;
    auto it = page.createIterator();
    for (it->first(); !it->isDone(); it->next())
        out.push_back(it->currentItem());
    EXPECT_EQ(it->currentItem(), nullptr);  // a finished walk yields nothing
    return out;
}

TEST(WebIteratorTest, FollowsResolvedLocalLinksInPageOrderOnly) {
    DirNode site("/site");
    auto* page = static_cast<HtmlNode*>(
        site.addChild(std::make_unique<HtmlNode>("/site/p.htm", nullptr, HtmlDefinitions{})));
    Node* a = site.addChild(std::make_unique<FileNode>("/site/a.gif"));
    Node* b = site.addChild(std::make_unique<FileNode>("/site/b.htm"));
    Node* dir = site.addChild(std::make_unique<DirNode>("/site/docs"));

    page->urls() = {record(nullptr, UrlRecord::kExternal | UrlRecord::kAbsolute),  // leading records skipped
                    record(nullptr),                                               // broken
                    record(b),
                    record(dir, UrlRecord::kBase | UrlRecord::kRelative),  // a base is no link
                    record(a, UrlRecord::kEmbedded | UrlRecord::kRelative),
                    record(b),  // linked twice: yielded twice
                    record(nullptr, UrlRecord::kExternal | UrlRecord::kAbsolute)};
    EXPECT_TRUE(page->hasChildren());
    EXPECT_EQ(children(*page), (std::vector<Node*>{b, a, b}));
}

TEST(WebIteratorTest, PageWhoseLinksLeadNowhereHasNoChildren) {
    DirNode site("/site");
    auto* page = static_cast<HtmlNode*>(
        site.addChild(std::make_unique<HtmlNode>("/site/p.htm", nullptr, HtmlDefinitions{})));
    Node* dir = site.addChild(std::make_unique<DirNode>("/site/docs"));
    EXPECT_FALSE(page->hasChildren());
    page->urls() = {record(nullptr), record(dir, UrlRecord::kBase | UrlRecord::kRelative),
                    record(nullptr, UrlRecord::kExternal | UrlRecord::kAbsolute)};
    EXPECT_FALSE(page->hasChildren());
    EXPECT_TRUE(children(*page).empty());
}

// ---- Unused files

class UnusedFilesTest : public LinkSite {
  protected:
    int reportUnused() {
        OrphansPass report(urlMap, unused, *context, job);
        const int found = runOverTree(report);
        EXPECT_EQ(report.count, static_cast<std::uint32_t>(found));
        return found;
    }
    Lines noteAnd(Lines paths) {
        Lines out;
        const std::string note(res::loadString(res::kOrphansScriptNote));
        for (std::size_t start = 0; start <= note.size();) {
            const std::size_t end = std::min(note.find('\n', start), note.size());
            out.push_back(note.substr(start, end - start));
            start = end + 1;
        }
        out.insert(out.end(), paths.begin(), paths.end());
        return out;
    }

    std::vector<Node*> unused;
};

TEST_F(UnusedFilesTest, ListsWhatNoLinkFromTheHomePageReachesAfterTheNote) {
    dir.write("index.html", "<a href=\"a.html\">a</a> <a href=\"docs/\">docs</a> <img src=\"used.gif\">");
    dir.write("a.html", "<a href=\"index.html\">back</a>");
    dir.write("used.gif", "GIF89a");
    dir.write("docs/index.html", "<p>");
    dir.write("docs/other.html", "<p>");  // its directory is linked, it is not
    dir.write("lost.html", "<img src=\"lost-only.gif\"><a href=\"a.html\">a</a>");
    dir.write("lost-only.gif", "GIF89a");  // used only by an unused page
    dir.mkdir("empty");
    scan();
    findLinks();

    EXPECT_EQ(reportUnused(), 3);
    EXPECT_EQ(lines(res::kSectionUnusedFiles),
              noteAnd({dir.file("docs/other.html"), dir.file("lost-only.gif"), dir.file("lost.html")}));
    EXPECT_EQ(unused,
              (std::vector<Node*>{node("docs/other.html"), node("lost-only.gif"), node("lost.html")}));
}

TEST_F(UnusedFilesTest, NoOrphansLeavesTheSectionEmpty) {
    dir.write("index.html", "<a href=\"a.html\">a</a>");
    dir.write("a.html", "<p>");
    dir.mkdir("sub");
    scan();
    findLinks();

    EXPECT_EQ(reportUnused(), 0);
    EXPECT_TRUE(unused.empty());
    EXPECT_FALSE(logScope.log().sections().at(res::kSectionUnusedFiles)->hasContent());
}

TEST_F(UnusedFilesTest, PagesReachedOnlyThroughABaseOrAnotherServerAreUnused) {
    dir.write("index.html",
              "<base href=\"docs/\">\n"
              "<a href=\"http://elsewhere.example.com/far.html\">far</a>\n"
              "<a href=\"http://WWW.EXAMPLE.ORG/near.html\">ours, written absolute</a>\n");
    dir.write("docs/index.html", "<p>");
    dir.write("far.html", "<p>");
    dir.write("near.html", "<p>");
    scan();
    findLinks();

    reportUnused();
    EXPECT_EQ(unused, (std::vector<Node*>{node("docs/index.html"), node("far.html")}));
}

TEST_F(UnusedFilesTest, KorvelOutputFilesAreNeverOrphans) {
    dir.write("index.html", "<a href=\"docs/RENAME.LOG\">changes</a>");
    dir.write("report_of_external_refs.html", testing::korvelExternalPage());
    dir.write("REPORT.TXT", testing::korvelReport());
    dir.write("REPORT_3.TXT", testing::korvelReport());
    dir.write("RENAME.LOG", testing::korvelRenameLog());
    dir.write("sub/RENAME.LOG", testing::korvelRenameLog());
    dir.write("sub/REPORT.TXT", "a person's file, not in the top directory");
    // A person's own files of those names, judged by what is in them: one linked, one not.
    dir.write("docs/RENAME.LOG", "2026-12-01 moved the photos\n");
    dir.write("REPORT_4.TXT", "Quarterly report\n");
    scan();
    findLinks();

    // The link to the person's log resolves: it is no broken link.
    EXPECT_EQ(urlMap.count(node("docs/RENAME.LOG")), 1u);
    reportUnused();
    EXPECT_EQ(unused, (std::vector<Node*>{node("REPORT_4.TXT"), node("sub/REPORT.TXT")}));
}

TEST_F(UnusedFilesTest, FramesImageMapsFormsAndRedirectsReach) {
    dir.write("index.html",
              "<frameset><frame src=\"f.html\"></frameset>\n"
              "<img src=\"map.gif\" usemap=\"maps.html#m\">\n"
              "<form action=\"cgi/send.html\"><input type=\"hidden\" name=\"redirect\" "
              "value=\"thanks.html\"></form>\n");
    dir.write("f.html", "<body background=\"bg.gif\">");
    dir.write("map.gif", "GIF89a");
    dir.write("maps.html", "<area href=\"region.html\">");
    dir.write("cgi/send.html", "<p>");
    dir.write("thanks.html", "<p>");
    dir.write("bg.gif", "GIF89a");
    dir.write("region.html", "<p>");
    scan();
    findLinks();

    EXPECT_EQ(reportUnused(), 0) << body(res::kSectionUnusedFiles);
}

TEST_F(UnusedFilesTest, WhatAReachedStyleSheetLoadsIsUsed) {
    dir.write("index.html",
              "<link rel=\"stylesheet\" href=\"css/site.css\">\n"
              "<style>div { background: url(img/block.png) }</style>\n"
              "<p style=\"background: url('img/attr.png')\">\n"
              "<a href=\"plain.css\">a style sheet linked like a page</a>\n");
    dir.write("css/site.css",
              "@import \"print.css\";\n@font-face { src: url(fonts/f.woff) }\n.x { background: "
              "url(/img/site.png) }");
    // Imports go round in a circle, and one style sheet names a page, whose links count as well.
    dir.write("css/print.css",
              "@import url(site.css);\n.y { background: url(../img/print.png) }\n"
              ".z { behavior: url(page.html) }");
    dir.write("css/page.html", "<img src=\"../img/from-page.png\">");
    dir.write("css/fonts/f.woff", "wOFF");
    dir.write("plain.css", "p { background: url(img/plain.png) }");
    for (const char* image :
         {"block", "attr", "site", "print", "from-page", "plain", "orphan-only", "lost-only"})
        dir.write(std::string("img/") + image + ".png", "PNG");
    // What only an unused style sheet or an unused page's style loads is unused too.
    dir.write("orphan.css", "p { background: url(img/orphan-only.png) }");
    dir.write("lost.html", "<style>p { background: url(img/lost-only.png) }</style>");
    scan();
    findLinks();

    reportUnused();
    EXPECT_EQ(unused, (std::vector<Node*>{node("img/lost-only.png"), node("img/orphan-only.png"),
                                          node("lost.html"), node("orphan.css")}))
        << body(res::kSectionUnusedFiles);
}

}  // namespace
}  // namespace korvel
