#include "html/download_times.h"

#include <initializer_list>

#include "platform/display_name.h"
#include "platform/file_info.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/site_tree.h"

namespace korvel {

namespace {

std::int64_t divideRoundingUp(std::int64_t bytes, std::int64_t by) {
    return bytes <= 0 ? 0 : (bytes - 1) / by + 1;
}

// "text" with each "%Nd" replaced by the next number, right-aligned in N columns (wider numbers whole).
std::string formatWidths(std::string_view text, std::initializer_list<std::int64_t> numbers) {
    std::string out;
    auto next = numbers.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && next != numbers.end()) {
            std::size_t j = i + 1;
            std::size_t width = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                width = width * 10 + static_cast<std::size_t>(text[j++] - '0');
            if (j < text.size() && text[j] == 'd') {
                const std::string number = std::to_string(*next++);
                if (number.size() < width) out.append(width - number.size(), ' ');
                out += number;
                i = j;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

void merge(PageWeight& into, const PageWeight& part) {
    into.bytes += part.bytes;
    into.external = into.external || part.external;
    into.broken = into.broken || part.broken;
    into.unknown = into.unknown || part.unknown;
}

}  // namespace

std::string downloadFigures(std::int64_t bytes) {
    // The line speeds in bytes per second.
    return formatWidths(
        res::loadString(res::kDownloadLine),
        {divideRoundingUp(bytes, 1024), divideRoundingUp(bytes, 1800), divideRoundingUp(bytes, 3600),
         divideRoundingUp(bytes, 4200), divideRoundingUp(bytes, 7000)});
}

const EHtmlNode* findPageQuietly(const UrlContext& context, std::string_view path) {
    if (!context.tree() || path.empty()) return nullptr;
    return dynamic_cast<const EHtmlNode*>(context.tree()->findNodeByPath(path));
}

EReportDownloadTimes::EReportDownloadTimes(const ENode* homePage, const UrlContext& context)
    : context_(&context) {
    section = currentLog().openSection(res::kSectionDownloadTimes);
    if (!section) return;
    section->writeLine(res::kDownloadNote);
    section->endLine();
    section->writeLine(res::kDownloadExternalLegend);
    section->writeLine(res::kDownloadBrokenLegend);
    section->writeLine(res::kDownloadUnknownLegend);
    section->endLine();
    if (const auto* home = dynamic_cast<const EHtmlNode*>(homePage)) {
        section->writeLine(res::kDownloadFrontPage);
        section->endLine();
        section->writeLine(res::kDownloadColumns);
        writeLine(*home, weigh(*home, true));
        section->endLine();
    }
    section->writeLine(res::kDownloadEachPage);
    section->endLine();
    section->writeLine(res::kDownloadColumns);
}

EReportDownloadTimes::~EReportDownloadTimes() {
    currentLog().closeSection(section);
}

bool EReportDownloadTimes::visitHtml(EHtmlNode& node) {
    if (isKorvelOutputFile(context_->topDir(), node.path())) return false;
    if (section) writeLine(node, weigh(node, false));
    return true;
}

void EReportDownloadTimes::writeLine(const EHtmlNode& page, const PageWeight& weight) {
    std::string line = downloadFigures(weight.bytes);
    // In the last of the blanks before the marks, so that the paths stay in one column.
    if (weight.unknown && !line.empty() && line.back() == ' ') line.back() = '?';
    line += weight.broken ? '!' : ' ';
    line += weight.external ? '*' : ' ';
    line += platform::displayName(page.path());
    section->writeLine(line);
}

void EReportDownloadTimes::addSize(const ENode& node, PageWeight& weight) {
    if (!dynamic_cast<const EFileNode*>(&node)) return;
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

PageWeight EReportDownloadTimes::weigh(const EHtmlNode& page, bool followFrames) {
    if (followFrames) return framedWeight(page);
    PageWeight weight;
    addSize(page, weight);
    for (const EUrl& url : page.urls()) {
        if (!url.has(EUrl::kEmbedded)) continue;
        if (url.has(EUrl::kExternal)) {
            weight.external = true;
        } else if (!url.target) {
            weight.broken = true;
        } else if (!url.has(EUrl::kFrame)) {
            addSize(*url.target, weight);
        }
    }
    return weight;
}

PageWeight EReportDownloadTimes::framedWeight(const EHtmlNode& page) {
    if (const auto it = framed_.find(&page); it != framed_.end()) return it->second;
    if (onPath_.count(&page) != 0) return {};  // a frame cycle: this frameset is already being weighed
    onPath_.insert(&page);
    PageWeight weight = weigh(page, false);
    for (const EUrl& url : page.urls()) {
        if (!url.has(EUrl::kEmbedded) || !url.has(EUrl::kFrame) || url.has(EUrl::kExternal)) continue;
        if (const auto* framed = dynamic_cast<const EHtmlNode*>(url.target))
            merge(weight, framedWeight(*framed));
    }
    onPath_.erase(&page);
    framed_.emplace(&page, weight);
    return weight;
}

}  // namespace korvel
