#include "html/find_links.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel {

// ---- Lines

std::vector<std::uint32_t> linesOfPositions(std::string_view text,
                                            const std::vector<std::int64_t>& positions) {
    std::vector<std::uint32_t> lines;
    lines.reserve(positions.size());
    // Pages written on Unix hold no CR: then memchr over the LFs is all it takes.
    const bool hasCr = std::memchr(text.data(), '\r', text.size()) != nullptr;
    std::uint64_t line = 1;
    std::size_t at = 0;
    for (const std::int64_t position : positions) {
        const std::size_t until =
            position <= 0 ? 0 : std::min(static_cast<std::size_t>(position), text.size());
        if (until > at) {
            if (!hasCr) {
                const char* p = text.data() + at;
                const char* const end = text.data() + until;
                while (
                    (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
                    ++line;
                    ++p;
                }
            } else {
                for (std::size_t i = at; i < until; ++i) {
                    const char c = text[i];
                    // A CR LF pair counts once, at its CR.
                    if (c == '\r' || (c == '\n' && (i == 0 || text[i - 1] != '\r'))) ++line;
                }
            }
            at = until;
        }
        lines.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(line, UINT32_MAX)));
    }
    return lines;
}

// ---- EFoundLinks

std::int64_t EFoundLinks::lineOf(EHtmlNode& page, std::size_t index) const {
    const auto& urls = page.urls();
    if (index >= urls.size()) return 1;
    const auto it = lines_.find(&page);
    if (it != lines_.end() && it->second.size() == urls.size() && it->second[index] != 0)
        return it->second[index];
    return page.lineOfOffset(urls[index].position);
}

void EFoundLinks::setLines(const EHtmlNode& page, std::vector<std::uint32_t> lines) {
    if (lines.empty())
        lines_.erase(&page);
    else
        lines_[&page] = std::move(lines);
}

// ---- EFindUrlLinks

EFindUrlLinks::EFindUrlLinks(EFoundLinks& found, UrlMap* urlMap) : found_(&found), urlMap_(urlMap) {
    section = currentLog().openSection(res::kSectionSyntaxErrors);
}

EFindUrlLinks::~EFindUrlLinks() {
    currentLog().closeSection(section);
}

bool EFindUrlLinks::isOwnOutput(const ENode& node) const {
    return isKorvelOutputFile(found_->context().topDir(), node.path());
}

bool EFindUrlLinks::visitFile(EFileNode& node) {
    if (isOwnOutput(node)) return false;
    if (urlMap_) urlMap_->insert(&node);
    return true;
}

bool EFindUrlLinks::visitHtml(EHtmlNode& node) {
    // The external-links page lists the site's external URLs as links: read as a page of the site, it
    // would count every one of them again.
    if (isOwnOutput(node)) return false;
    if (urlMap_) urlMap_->insert(&node);
    if (node.linksFound()) return true;
    if (!node.isHtml()) return false;
    if (found_->unreadable().contains(&node)) return false;
    if (!findLinks(node)) {
        found_->unreadable().add(&node);
        return false;
    }
    ++parsedCount_;
    return true;
}

void EFindUrlLinks::keepSyntaxErrors(const EHtmlNode& page, const html::TagList& tags,
                                     std::string_view text) {
    // The scanner may note an error after a later one (an unclosed quote is only known at the end), and
    // the line count needs ascending offsets.
    const auto& errors = tags.syntaxErrors();
    std::vector<std::size_t> order(errors.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return errors[a].offset < errors[b].offset; });
    std::vector<std::int64_t> positions;
    positions.reserve(order.size());
    for (const std::size_t i : order)
        positions.push_back(errors[i].offset);
    const std::vector<std::uint32_t> lines = linesOfPositions(text, positions);
    std::vector<std::uint32_t> lineOfError(errors.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        lineOfError[order[k]] = lines[k];
    // In the order the log lists them.
    for (std::size_t i = 0; i < errors.size(); ++i)
        found_->addSyntaxError({&page, lineOfError[i], errors[i].kind});
}

bool EFindUrlLinks::findLinks(EHtmlNode& page) {
    html::EScannerFile file;
    if (!file.load(page.path())) return false;  // reported by load
    const std::string_view text = file.text();
    html::TagList tags = html::scanText(text);
    if (section && !tags.syntaxErrors().empty()) {
        const bool hadLineIndex = !page.lineIndex().empty();
        html::reportSyntaxErrors(page, tags, *section, text);
        // The index was made for these lines only; ten thousand pages' worth is memory the job needs.
        if (!hadLineIndex) page.clearLineIndex();
    }
    if (found_->keepsSyntaxErrors() && !tags.syntaxErrors().empty()) keepSyntaxErrors(page, tags, text);

    const UrlContext& context = found_->context();
    records_.clear();
    for (const html::EHtmlTag& tag : tags.tags()) {
        values_.clear();
        html::urlValuesOf(tags, tag, values_);
        for (const html::UrlValue& value : values_) {
            std::uint16_t flags = 0;
            if (value.isBase) flags |= EUrl::kBase;
            if (value.embedded) flags |= EUrl::kEmbedded;
            if (value.frame) flags |= EUrl::kFrame;
            EUrl url;
            makeUrl(page, url, flags, value.position, value.text, context);
            if (url.text.empty()) continue;
            // Only a base tag's href is a base reference; its other attributes resolve as a base tag's
            // do, but they are not the base.
            if (!value.baseHref) url.set(EUrl::kBase, false);
            // A base tag changes the resolution of the page's later links only.
            if (value.baseHref) page.setBase(baseFromTag(url, page.base(), context));
            records_.push_back(std::move(url));
        }
    }
    tags.clear();

    // One tag's values come in attribute order, not page order.
    std::stable_sort(records_.begin(), records_.end(),
                     [](const EUrl& a, const EUrl& b) { return a.position < b.position; });

    // Lines only where a report may need them: external URLs and links that resolve to nothing.
    const bool reportable = std::any_of(records_.begin(), records_.end(), [](const EUrl& url) {
        return url.has(EUrl::kExternal) || !url.target;
    });
    if (reportable) {
        std::vector<std::int64_t> positions;
        positions.reserve(records_.size());
        for (const EUrl& url : records_)
            positions.push_back(url.position);
        std::vector<std::uint32_t> lines = linesOfPositions(text, positions);
        for (std::size_t i = 0; i < records_.size(); ++i)
            if (!records_[i].has(EUrl::kExternal) && records_[i].target) lines[i] = 0;
        found_->setLines(page, std::move(lines));
    }
    file.release();

    // An exact-size copy: a million records leave no spare capacity behind.
    std::vector<EUrl>& urls = page.urls();
    urls.clear();
    urls.shrink_to_fit();
    urls.reserve(records_.size());
    std::move(records_.begin(), records_.end(), std::back_inserter(urls));
    records_.clear();
    page.setLinksFound(true);
    return true;
}

}  // namespace korvel
