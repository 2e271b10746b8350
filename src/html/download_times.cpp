#include "html/download_times.h"

#include "platform/file_info.h"
#include "report/findings.h"
#include "site/site_tree.h"

namespace korvel {

namespace {

void merge(PageWeight& into, const PageWeight& part) {
    into.bytes += part.bytes;
    into.external = into.external || part.external;
    into.broken = into.broken || part.broken;
    into.unknown = into.unknown || part.unknown;
}

}  // namespace

const HtmlNode* findPageQuietly(const UrlContext& context, std::string_view path) {
    if (!context.tree() || path.empty()) return nullptr;
    return dynamic_cast<const HtmlNode*>(context.tree()->findNodeByPath(path));
}

DownloadTimesPass::DownloadTimesPass(const Node* homePage, const UrlContext& context, const JobContext& job)
    : context_(&context), report_(&job.report) {
    report_->listStarted(report::List::PageWeights);
    if (const auto* home = dynamic_cast<const HtmlNode*>(homePage))
        report_->frontPageWeight(record(*home, weigh(*home, true)));
}

DownloadTimesPass::~DownloadTimesPass() {
    report_->listEnded(report::List::PageWeights);
}

bool DownloadTimesPass::visitHtml(HtmlNode& node) {
    if (isKorvelOutputFile(context_->topDir(), node.path())) return false;
    report_->pageWeight(record(node, weigh(node, false)));
    return true;
}

report::PageWeight DownloadTimesPass::record(const HtmlNode& page, const PageWeight& weight) {
    return {page.path(), weight.bytes, weight.external, weight.broken, weight.unknown};
}

void DownloadTimesPass::addSize(const Node& node, PageWeight& weight) {
    if (!dynamic_cast<const FileNode*>(&node)) return;
    auto [it, isNew] = sizes_.try_emplace(&node, -1);
    if (isNew) {
        platform::FileInfo info;
        if (!platform::fileInfo(node.path(), info) && info.kind == platform::EntryKind::File)
            it->second = info.size;
    }
    if (it->second < 0)
        weight.unknown = true;
    else
        weight.bytes += it->second;
}

PageWeight DownloadTimesPass::weigh(const HtmlNode& page, bool followFrames) {
    if (followFrames) return framedWeight(page);
    PageWeight weight;
    addSize(page, weight);
    for (const UrlRecord& url : page.urls()) {
        if (!url.has(UrlRecord::kEmbedded)) continue;
        if (url.has(UrlRecord::kExternal)) {
            weight.external = true;
        } else if (!url.target) {
            weight.broken = true;
        } else if (!url.has(UrlRecord::kFrame)) {
            addSize(*url.target, weight);
        }
    }
    return weight;
}

PageWeight DownloadTimesPass::framedWeight(const HtmlNode& page) {
    if (const auto it = framed_.find(&page); it != framed_.end()) return it->second;
    if (onPath_.count(&page) != 0) return {};  // a frame cycle: this frameset is already being weighed
    onPath_.insert(&page);
    PageWeight weight = weigh(page, false);
    for (const UrlRecord& url : page.urls()) {
        if (!url.has(UrlRecord::kEmbedded) || !url.has(UrlRecord::kFrame) || url.has(UrlRecord::kExternal))
            continue;
        if (const auto* framed = dynamic_cast<const HtmlNode*>(url.target))
            merge(weight, framedWeight(*framed));
    }
    onPath_.erase(&page);
    framed_.emplace(&page, weight);
    return weight;
}

}  // namespace korvel
