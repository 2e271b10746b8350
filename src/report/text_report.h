#pragma once
// The plain-text report: each record becomes its rows in the section of its list, in the job's log, as it
// comes; nothing is kept but what the layout needs (the page the last rows were under, the external URLs
// already offered as links).
//   syntax errors: a numbered line each, with the page's path shortened into a column;
//   broken links, "UNRESOLVED LOCAL LINKS:"; broken anchors, "BROKEN ANCHORS:" (its note above the first
//   entry, so that a site without broken anchors has no section): under an "In file" line per page, one
//   numbered line per entry. External URLs go both to "EXTERNAL URL REFERENCES:" and to the page of
//   external links, where each distinct URL is a link once (at its first occurrence) and later ones are
//   marked as repeated. Orphans: one path a line, under a note that what only scripts load looks unused.
//   Page weights: the explanations, the front page's block, then one line per page. Skipped entries: one
//   line each, the section made only with the first (a scan that skipped nothing has none). Job notes: a
//   line each.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "report/findings.h"

namespace korvel {
class Log;
class ReportSection;
}  // namespace korvel

namespace korvel::report {

class TextReport : public ReportSink {
  public:
    explicit TextReport(Log& log) : log_(log) {}

    void listStarted(List list) override;
    void listEnded(List list) override;
    void syntaxError(const SyntaxError& error) override;
    void brokenLink(const BrokenLink& link) override;
    void brokenAnchor(const BrokenAnchor& anchor) override;
    void externalUrl(const ExternalUrl& url) override;
    void orphan(const Orphan& orphan) override;
    void frontPageWeight(const PageWeight& weight) override;
    void pageWeight(const PageWeight& weight) override;
    void skipped(const Skipped& entry) override;
    void jobNote(const JobNote& note) override;

  private:
    // One list's section as it is being written.
    struct Open {
        ReportSection* section = nullptr;
        std::string page;       // the page the last rows were under
        std::string shownPage;  // how the rows show it, where they all do
        std::uint32_t rows = 0;
    };
    Open& open(List list);
    // A row of the download times: the figures, the marks, the path.
    void writeWeight(const PageWeight& weight);
    void writeEachPageHeading();

    Log& log_;
    Open lists_[7];
    ReportSection* externalPage_ = nullptr;
    std::unordered_set<std::string> listed_;  // URL texts already written as links, compared case-sensitively
    std::string line_;                        // a line of the page, made in memory kept from line to line
    bool eachPageHeading_ = false;
};

// The report's line for a page of "bytes" (without the marks and the path): the kilobytes and the seconds
// at 14.4, 28.8, 33.6 and 56 kbit/s, each rounded up.
std::string downloadFigures(std::int64_t bytes);

// Whether the external-links page may offer "url" (an external URL text) as a link to click. Script and
// inline-data URLs are listed as text only: clicking them would run code or show content from the site in
// the page's own context, and there is nothing to verify.
bool isClickableExternalUrl(std::string_view url);

}  // namespace korvel::report
