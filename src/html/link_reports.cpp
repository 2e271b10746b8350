#include "html/link_reports.h"

#include "report/findings.h"

namespace korvel {

// ---- EReportUnresolved

EReportUnresolved::EReportUnresolved(const EFoundLinks& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::BrokenLinks);
}

EReportUnresolved::~EReportUnresolved() {
    report_->listEnded(report::List::BrokenLinks);
}

bool EReportUnresolved::visitHtml(EHtmlNode& node) {
    const PageLines lines = found_->linesOf(node);
    return list(node, node.urls(), [&](std::size_t i) { return lines(i); });
}

bool EReportUnresolved::visitFile(EFileNode& node) {
    const StyleSheetLinks* sheet = found_->styleSheet(node);
    if (!sheet) return false;
    return list(node, sheet->urls, [&](std::size_t i) -> std::int64_t { return sheet->lines[i]; });
}

bool EReportUnresolved::list(const ENode& file, const std::vector<EUrl>& urls,
                             const std::function<std::int64_t(std::size_t)>& lineOf) {
    bool any = false;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const EUrl& url = urls[i];
        if (url.has(EUrl::kExternal) || url.target) continue;
        if (!any) record_.page = file.path();
        record_.line = lineOf(i);
        record_.link = url.text;
        report_->brokenLink(record_);
        any = true;
    }
    if (any) ++count;
    return any;
}

// ---- EReportBrokenAnchors

EReportBrokenAnchors::EReportBrokenAnchors(const EFoundLinks& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::BrokenAnchors);
}

EReportBrokenAnchors::~EReportBrokenAnchors() {
    report_->listEnded(report::List::BrokenAnchors);
}

bool EReportBrokenAnchors::visitHtml(EHtmlNode& node) {
    const std::vector<BrokenAnchor>& broken = found_->brokenAnchors(node);
    if (broken.empty()) return false;
    report::BrokenAnchor record;
    record.page = node.path();
    for (const BrokenAnchor& anchor : broken) {
        record.line = anchor.line;
        record.link.clear();
        if (anchor.record != BrokenAnchor::kSamePage && anchor.record < node.urls().size())
            record.link = node.urls()[anchor.record].text;
        record.fragment = anchor.fragment;
        record.target = anchor.target ? anchor.target->path() : std::string();
        report_->brokenAnchor(record);
    }
    ++count;
    return true;
}

// ---- EReportExternal

EReportExternal::EReportExternal(const EFoundLinks& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::ExternalUrls);
}

EReportExternal::~EReportExternal() {
    report_->listEnded(report::List::ExternalUrls);
}

bool EReportExternal::visitHtml(EHtmlNode& node) {
    const PageLines lines = found_->linesOf(node);
    return list(node, node.urls(), [&](std::size_t i) { return lines(i); });
}

bool EReportExternal::visitFile(EFileNode& node) {
    const StyleSheetLinks* sheet = found_->styleSheet(node);
    if (!sheet) return false;
    return list(node, sheet->urls, [&](std::size_t i) -> std::int64_t { return sheet->lines[i]; });
}

bool EReportExternal::list(const ENode& file, const std::vector<EUrl>& urls,
                           const std::function<std::int64_t(std::size_t)>& lineOf) {
    bool any = false;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const EUrl& url = urls[i];
        if (!url.has(EUrl::kExternal)) continue;
        if (!any) record_.page = file.path();
        any = true;
        record_.line = lineOf(i);
        record_.url = url.text;
        report_->externalUrl(record_);
    }
    if (any) ++count;
    return any;
}

}  // namespace korvel
