#include "html/link_reports.h"

#include "html/url_text.h"
#include "platform/display_name.h"
#include "report/external_page.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel {

namespace {

int lineNumber(std::int64_t line) {
    return line > INT32_MAX ? INT32_MAX : static_cast<int>(line);
}

}  // namespace

// ---- EReportUnresolved

EReportUnresolved::EReportUnresolved(const EFoundLinks& found) : found_(&found) {
    section = currentLog().openSection(res::kSectionUnresolvedLinks);
}

EReportUnresolved::~EReportUnresolved() {
    currentLog().closeSection(section);
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
        if (section) {
            if (!any) {
                section->endLine();
                section->writeLine(res::kInFileHeader, platform::displayName(file.path()));
            }
            section->writeAtLine(lineNumber(lineOf(i)), platform::displayName(url.text));
            section->endLine();
        }
        any = true;
    }
    if (any) ++count;
    return any;
}

// ---- EReportBrokenAnchors

std::string brokenAnchorText(const EHtmlNode& page, const BrokenAnchor& anchor) {
    std::string text;
    if (anchor.record != BrokenAnchor::kSamePage && anchor.record < page.urls().size())
        text = page.urls()[anchor.record].text;
    text += '#';
    text += anchor.fragment;
    return text;
}

EReportBrokenAnchors::EReportBrokenAnchors(const EFoundLinks& found) : found_(&found) {
    section = currentLog().openSection(res::kSectionBrokenAnchors);
}

EReportBrokenAnchors::~EReportBrokenAnchors() {
    currentLog().closeSection(section);
}

bool EReportBrokenAnchors::visitHtml(EHtmlNode& node) {
    const std::vector<BrokenAnchor>& broken = found_->brokenAnchors(node);
    if (broken.empty()) return false;
    if (section) {
        if (count == 0) section->writeLine(res::kBrokenAnchorsNote);
        section->endLine();
        section->writeLine(res::kInFileHeader, platform::displayName(node.path()));
        for (const BrokenAnchor& anchor : broken) {
            section->writeAtLine(lineNumber(anchor.line),
                                 platform::displayName(brokenAnchorText(node, anchor)));
            section->endLine();
        }
    }
    ++count;
    return true;
}

// ---- EReportExternal

bool isClickableExternalUrl(std::string_view url) {
    return !startsWithIgnoringCase(url, "javascript:") && !startsWithIgnoringCase(url, "vbscript:") &&
           !startsWithIgnoringCase(url, "data:");
}

EReportExternal::EReportExternal(const EFoundLinks& found) : found_(&found) {
    section = currentLog().openSection(res::kSectionExternalUrls);
    page_ = currentLog().openSection(res::kSectionExternalUrlPage);
}

EReportExternal::~EReportExternal() {
    if (count == 0) {
        for (ESection* s : {section, page_}) {
            if (!s) continue;
            s->endLine();
            s->writeLine(res::kNoExternalUrls);
        }
    }
    currentLog().closeSection(section);
    currentLog().closeSection(page_);
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
        const int line = lineNumber(lineOf(i));
        if (!any) {
            const std::string shownPath = platform::displayName(file.path());
            if (section) {
                section->endLine();
                section->writeLine(res::kInFileHeader, shownPath);
            }
            if (page_) {
                page_->endLine();
                // Everything from the site goes into the page escaped: a path or URL holding "<" or a
                // quote must not become markup.
                page_->writeLine("<b>" + htmlEscape(res::formatString(res::kInFileHeader, shownPath)) +
                                 "</b>");
            }
        }
        any = true;
        if (section) {
            section->writeAtLine(line, platform::displayName(url.text));
            section->endLine();
        }
        if (page_) {
            const std::string escaped = htmlEscape(url.text);
            if (!listed_.insert(url.text).second) {
                page_->writeAtLine(line, escaped);
                page_->writeLine(res::kRepeatedAbove);
            } else {
                if (isClickableExternalUrl(url.text)) {
                    line_.assign("<a href=\"").append(escaped).append("\">").append(escaped).append("</a>");
                    page_->writeAtLine(line, line_);
                } else {
                    page_->writeAtLine(line, escaped);
                }
                page_->endLine();
            }
        }
    }
    if (any) ++count;
    return any;
}

}  // namespace korvel
