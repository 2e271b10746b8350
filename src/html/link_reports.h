#pragma once
// The reports made from the URL records that link finding left on the pages: broken local links, and
// external URLs (as a report section and as the stand-alone page of links). Neither reads a page again.
// Both run over the typed pre-order walk of the whole tree.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "html/find_links.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// "UNRESOLVED LOCAL LINKS:": under an "In file" line per page, one numbered line per local link (a base
// reference included) that resolves to nothing, in page order. A style sheet file that link finding read
// is listed the same way, in its place in the tree. "count" is the number of such pages and files.
class EReportUnresolved : public EVisitor {
  public:
    explicit EReportUnresolved(const EFoundLinks& found);
    ~EReportUnresolved() override;
    EReportUnresolved(const EReportUnresolved&) = delete;
    EReportUnresolved& operator=(const EReportUnresolved&) = delete;

    // True when the page has a broken link.
    bool visitHtml(EHtmlNode& node) override;
    // True when the file is a style sheet with a broken link.
    bool visitFile(EFileNode& node) override;

  private:
    bool list(const ENode& file, const std::vector<EUrl>& urls,
              const std::function<std::int64_t(std::size_t)>& lineOf);

    const EFoundLinks* found_;
};

// "BROKEN ANCHORS:": under an "In file" line per page, one numbered line per link whose "#fragment" names
// no anchor of the local page it leads to (EFoundLinks::brokenAnchors), in page order: the link cut at its
// fragment, then "#" and the fragment as written. The section's note comes with its first entry, so that a
// site without broken anchors has no section. "count" is the number of such pages.
class EReportBrokenAnchors : public EVisitor {
  public:
    explicit EReportBrokenAnchors(const EFoundLinks& found);
    ~EReportBrokenAnchors() override;
    EReportBrokenAnchors(const EReportBrokenAnchors&) = delete;
    EReportBrokenAnchors& operator=(const EReportBrokenAnchors&) = delete;

    // True when the page has a broken anchor.
    bool visitHtml(EHtmlNode& node) override;

  private:
    const EFoundLinks* found_;
};

// The text a broken anchor is listed by: the link as its record holds it (nothing for a link within the
// page), "#", and the fragment as the page writes it.
std::string brokenAnchorText(const EHtmlNode& page, const BrokenAnchor& anchor);

// "EXTERNAL URL REFERENCES:": every external URL of every page with its line, and the page of external
// links, where each distinct URL is a link once (at its first occurrence) and later occurrences are
// marked as repeated. Style sheet files that link finding read are listed like pages. "count" is the
// number of pages and files with an external URL.
class EReportExternal : public EVisitor {
  public:
    explicit EReportExternal(const EFoundLinks& found);
    // Says so in both sections when no page had an external URL, then closes them.
    ~EReportExternal() override;
    EReportExternal(const EReportExternal&) = delete;
    EReportExternal& operator=(const EReportExternal&) = delete;

    // True when the page has an external URL.
    bool visitHtml(EHtmlNode& node) override;
    // True when the file is a style sheet with an external URL.
    bool visitFile(EFileNode& node) override;

  private:
    bool list(const ENode& file, const std::vector<EUrl>& urls,
              const std::function<std::int64_t(std::size_t)>& lineOf);

    const EFoundLinks* found_;
    ESection* page_ = nullptr;      // the external-links page (owned by the log)
    std::unordered_set<std::string> listed_;  // URL texts already written as links, compared case-sensitively
    std::string line_;                        // a line of the page, made in memory kept from line to line
};

// Whether the external-links page may offer "url" (an external URL text) as a link to click. Script and
// inline-data URLs are listed as text only: clicking them would run code or show content from the
// site in the page's own context, and there is nothing to verify.
bool isClickableExternalUrl(std::string_view url);

}  // namespace korvel
