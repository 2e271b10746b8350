#pragma once
// "DOWNLOAD TIMES:": the weight of each page (its own size and the sizes of what loads with it) and the
// time it takes at four modem speeds. Made from the URL records and the file sizes; no page is read.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "html/url.h"
#include "report/findings.h"
#include "site/job_context.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// What a page weighs, and what kept the weight from being exact.
struct PageWeight {
    std::int64_t bytes = 0;
    bool external = false;  // an external resource is embedded: its size is not known
    bool broken = false;    // an embedded local link resolves to nothing
    bool unknown = false;   // the size of the page, or of an embedded local file, could not be read
};

// Hands on, when a home page is given, the front page's total with the pages of its framesets; then, as it
// visits them, each page's own weight without the framed pages. Runs over the
// typed pre-order walk of the whole tree; Korvel's own output files are left out.
class DownloadTimesPass : public Visitor {
  public:
    // "homePage" may be null (or not a page): then the front-page total is left out.
    DownloadTimesPass(const Node* homePage, const UrlContext& context, const JobContext& job);
    ~DownloadTimesPass() override;
    DownloadTimesPass(const DownloadTimesPass&) = delete;
    DownloadTimesPass& operator=(const DownloadTimesPass&) = delete;

    // Hands on the page's weight; true for every page of the site.
    bool visitHtml(HtmlNode& node) override;

    // The page's own size plus the sizes of the local files embedded in it (links, form actions and image
    // maps load nothing). With "followFrames", each framed page adds its own weight, computed the same way;
    // a frameset that frames itself (directly or through others) adds nothing the second time round, and
    // a page framed twice is weighed once.
    PageWeight weigh(const HtmlNode& page, bool followFrames);

  private:
    static report::PageWeight record(const HtmlNode& page, const PageWeight& weight);
    // Adds the size of a file node; anything else (a directory) has none.
    void addSize(const Node& node, PageWeight& weight);
    PageWeight framedWeight(const HtmlNode& page);

    const UrlContext* context_;
    report::ReportSink* report_;
    std::unordered_map<const Node*, std::int64_t> sizes_;  // -1: could not be read
    std::unordered_map<const HtmlNode*, PageWeight> framed_;
    std::unordered_set<const HtmlNode*> onPath_;  // the framesets being weighed, outermost first
};

// The page at "path" in the context's tree, found without writing anything (the link passes already said
// when the home page is missing); null when there is none or it is not a page.
const HtmlNode* findPageQuietly(const UrlContext& context, std::string_view path);

}  // namespace korvel
