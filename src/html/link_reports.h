#pragma once
// The lists made from the URL records that link finding left on the pages: broken local links, broken
// anchors and external URLs, handed to the job's report sink. None reads a page again. Each runs over the
// typed pre-order walk of the whole tree.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "html/find_links.h"
#include "report/findings.h"
#include "site/job_context.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// Every local link (a base reference included) that resolves to nothing, page by page, in page order. A
// style sheet file that link finding read is listed the same way, in its place in the tree. "count" is the
// number of such pages and files.
class BrokenLinksPass : public Visitor {
  public:
    BrokenLinksPass(const LinkIndex& found, const JobContext& job);
    ~BrokenLinksPass() override;
    BrokenLinksPass(const BrokenLinksPass&) = delete;
    BrokenLinksPass& operator=(const BrokenLinksPass&) = delete;

    // True when the page has a broken link.
    bool visitHtml(HtmlNode& node) override;
    // True when the file is a style sheet with a broken link.
    bool visitFile(FileNode& node) override;

  private:
    bool list(const Node& file, const std::vector<UrlRecord>& urls,
              const std::function<std::int64_t(std::size_t)>& lineOf);

    const LinkIndex* found_;
    report::ReportSink* report_;
    report::BrokenLink record_;  // reused from link to link
};

// Every link whose "#fragment" names no anchor of the local page it leads to (LinkIndex::brokenAnchors),
// page by page, in page order. "count" is the number of such pages.
class BrokenAnchorsPass : public Visitor {
  public:
    BrokenAnchorsPass(const LinkIndex& found, const JobContext& job);
    ~BrokenAnchorsPass() override;
    BrokenAnchorsPass(const BrokenAnchorsPass&) = delete;
    BrokenAnchorsPass& operator=(const BrokenAnchorsPass&) = delete;

    // True when the page has a broken anchor.
    bool visitHtml(HtmlNode& node) override;

  private:
    const LinkIndex* found_;
    report::ReportSink* report_;
};

// Every external URL of every page with its line. Style sheet files that link finding read are listed like
// pages. "count" is the number of pages and files with an external URL.
class ExternalLinksPass : public Visitor {
  public:
    ExternalLinksPass(const LinkIndex& found, const JobContext& job);
    // Ends the list: a report says so when no page had an external URL.
    ~ExternalLinksPass() override;
    ExternalLinksPass(const ExternalLinksPass&) = delete;
    ExternalLinksPass& operator=(const ExternalLinksPass&) = delete;

    // True when the page has an external URL.
    bool visitHtml(HtmlNode& node) override;
    // True when the file is a style sheet with an external URL.
    bool visitFile(FileNode& node) override;

  private:
    bool list(const Node& file, const std::vector<UrlRecord>& urls,
              const std::function<std::int64_t(std::size_t)>& lineOf);

    const LinkIndex* found_;
    report::ReportSink* report_;
    report::ExternalUrl record_;  // reused from URL to URL
};

}  // namespace korvel
