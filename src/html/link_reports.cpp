#include "html/link_reports.h"

#include "report/findings.h"

namespace korvel {

// ---- BrokenLinksPass

BrokenLinksPass::BrokenLinksPass(const LinkIndex& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::BrokenLinks);
}

BrokenLinksPass::~BrokenLinksPass() {
    report_->listEnded(report::List::BrokenLinks);
}

bool BrokenLinksPass::visitHtml(HtmlNode& node) {
    const PageLines lines = found_->linesOf(node);
    return list(node, node.urls(), [&](std::size_t i) { return lines(i); });
}

bool BrokenLinksPass::visitFile(FileNode& node) {
    const StyleSheetLinks* sheet = found_->styleSheet(node);
    if (!sheet) return false;
    return list(node, sheet->urls, [&](std::size_t i) -> std::int64_t { return sheet->lines[i]; });
}

bool BrokenLinksPass::list(const Node& file, const std::vector<UrlRecord>& urls,
                           const std::function<std::int64_t(std::size_t)>& lineOf) {
    bool any = false;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const UrlRecord& url = urls[i];
        if (url.has(UrlRecord::kExternal) || url.target) continue;
        if (!any) record_.page = file.path();
        record_.line = lineOf(i);
        record_.link = url.text;
        report_->brokenLink(record_);
        any = true;
    }
    if (any) ++count;
    return any;
}

// ---- BrokenAnchorsPass

BrokenAnchorsPass::BrokenAnchorsPass(const LinkIndex& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::BrokenAnchors);
}

BrokenAnchorsPass::~BrokenAnchorsPass() {
    report_->listEnded(report::List::BrokenAnchors);
}

bool BrokenAnchorsPass::visitHtml(HtmlNode& node) {
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

// ---- ExternalLinksPass

ExternalLinksPass::ExternalLinksPass(const LinkIndex& found, const JobContext& job)
    : found_(&found), report_(&job.report) {
    report_->listStarted(report::List::ExternalUrls);
}

ExternalLinksPass::~ExternalLinksPass() {
    report_->listEnded(report::List::ExternalUrls);
}

bool ExternalLinksPass::visitHtml(HtmlNode& node) {
    const PageLines lines = found_->linesOf(node);
    return list(node, node.urls(), [&](std::size_t i) { return lines(i); });
}

bool ExternalLinksPass::visitFile(FileNode& node) {
    const StyleSheetLinks* sheet = found_->styleSheet(node);
    if (!sheet) return false;
    return list(node, sheet->urls, [&](std::size_t i) -> std::int64_t { return sheet->lines[i]; });
}

bool ExternalLinksPass::list(const Node& file, const std::vector<UrlRecord>& urls,
                             const std::function<std::int64_t(std::size_t)>& lineOf) {
    bool any = false;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const UrlRecord& url = urls[i];
        if (!url.has(UrlRecord::kExternal)) continue;
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
