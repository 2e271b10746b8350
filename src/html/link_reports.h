#pragma once
// The reports made from the URL records that link finding left on the pages: broken local links, and
// external URLs (as a report section and as the stand-alone page of links). Neither reads a page again.
// Both run over the typed pre-order walk of the whole tree.
#include <cstdint>
#include <set>
#include <string>

#include "html/find_links.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// "UNRESOLVED LOCAL LINKS:": under an "In file" line per page, one numbered line per local link (a base
// reference included) that resolves to nothing, in page order. "count" is the number of such pages.
class EReportUnresolved : public EVisitor {
  public:
    explicit EReportUnresolved(const EFoundLinks& found);
    ~EReportUnresolved() override;
    EReportUnresolved(const EReportUnresolved&) = delete;
    EReportUnresolved& operator=(const EReportUnresolved&) = delete;

    // True when the page has a broken link.
    bool visitHtml(EHtmlNode& node) override;

  private:
    const EFoundLinks* found_;
};

// "EXTERNAL URL REFERENCES:": every external URL of every page with its line, and the page of external
// links, where each distinct URL is a link once (at its first occurrence) and later occurrences are
// marked as repeated. "count" is the number of pages with an external URL.
class EReportExternal : public EVisitor {
  public:
    explicit EReportExternal(const EFoundLinks& found);
    // Says so in both sections when no page had an external URL, then closes them.
    ~EReportExternal() override;
    EReportExternal(const EReportExternal&) = delete;
    EReportExternal& operator=(const EReportExternal&) = delete;

    // True when the page has an external URL.
    bool visitHtml(EHtmlNode& node) override;

  private:
    const EFoundLinks* found_;
    ESection* page_ = nullptr;      // the external-links page (owned by the log)
    std::set<std::string> listed_;  // URL texts already written as links, compared case-sensitively
};

// Whether the external-links page may offer "url" (an external URL text) as a link to click. Script and
// inline-data URLs are listed as text only: clicking them would run code or show content from the
// site in the page's own context, and there is nothing to verify.
bool isClickableExternalUrl(std::string_view url);

}  // namespace korvel
