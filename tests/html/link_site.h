#pragma once
// A small site on disk for the link-finding and link-report tests: scanned into a tree, with the job's URL
// context, link state and URL map, and the passes run as a check job runs them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "html/find_links.h"
#include "html/url.h"
#include "report/app_log.h"
#include "report/sinks.h"
#include "report/text_report.h"
#include "settings/job_settings.h"
#include "site/iterator.h"
#include "site/job_context.h"
#include "site/scan.h"
#include "site/site_tree.h"
#include "site/traverse.h"
#include "support/korvel_outputs.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel::testing {

class LinkSite : public ::testing::Test {
  protected:
    // Scans the site as written so far. "defaults": the server's default documents.
    void scan(std::string_view defaults = "index.html;index.htm") {
        settings.Directory = dir.path();
        settings.UseSubdirs = true;
        ASSERT_TRUE(buildTree(settings, HtmlDefinitions{}, tree, job));
        context = std::make_unique<UrlContext>(tree.get(), server, defaults);
        found = std::make_unique<LinkIndex>(*context);
    }

    // The two finding passes of a check job: from "home" through the web of pages into the URL map, then
    // over the whole tree. Returns the first pass's count.
    int findLinks(std::string_view home = "index.html") {
        int pageCount = 0;
        {
            LinkFinder find(*found, &urlMap, job);
            Traversal<LinkWalk<Node*>, GUIProgress> pass(node(home), find);
            pageCount = pass.run("Checking URL Links", tree->nodeCount());
            firstPassParsed = find.parsedCount();
        }
        LinkFinder find(*found, nullptr, job);
        Traversal<TypedWalk<Node*>, GUIProgress> pass(&tree->top(), find);
        EXPECT_GE(pass.run("Checking URLs for Unlinked Files", tree->nodeCount()), 0);
        secondPassParsed = find.parsedCount();
        return pageCount;
    }

    // Runs "visitor" over the typed pre-order walk of the whole tree; the visitor's section is closed
    // when it goes out of scope in the caller.
    int runOverTree(Visitor& visitor) {
        Traversal<TypedWalk<Node*>, GUIProgress> pass(&tree->top(), visitor);
        return pass.run("pass", tree->nodeCount());
    }

    Node* node(std::string_view relative) const { return tree->findNodeByPath(dir.file(relative)); }
    HtmlNode* page(std::string_view relative) const { return dynamic_cast<HtmlNode*>(node(relative)); }

    // The section's text without its three header lines.
    std::string body(int id) {
        std::string text = logScope.log().sectionText(id);
        std::size_t at = 0;
        for (int i = 0; i < 3 && at != std::string::npos; ++i) {
            at = text.find('\n', at);
            if (at != std::string::npos) ++at;
        }
        return at == std::string::npos ? std::string() : text.substr(at);
    }
    // The section's lines without its header and without empty lines.
    std::vector<std::string> lines(int id) {
        std::vector<std::string> out;
        const std::string text = body(id);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) out.push_back(line);
            start = end + 1;
        }
        return out;
    }

    static std::string atLine(int line, std::string_view text) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "   line %4d: ", line);
        return prefix + std::string(text);
    }

    TempDir dir;
    ScriptedPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    LogScope logScope;
    // What the passes find goes both into the log's text and into records.
    report::TextReport text{logScope.log()};
    report::FindingsCollector collected;
    report::TeeSink both{text, collected};
    JobContext job{both};
    JobSettings settings;
    std::string server = "www.example.org";
    std::unique_ptr<SiteTree> tree;
    std::unique_ptr<UrlContext> context;
    std::unique_ptr<LinkIndex> found;
    ReachedNodes urlMap;
    std::uint32_t firstPassParsed = 0;
    std::uint32_t secondPassParsed = 0;
};

}  // namespace korvel::testing
