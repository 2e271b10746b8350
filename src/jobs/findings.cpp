#include "jobs/findings.h"

#include <memory>

#include "html/find_links.h"
#include "html/update_links.h"
#include "html/url.h"
#include "res/strings.h"
#include "site/iterator.h"
#include "site/node.h"
#include "site/site_tree.h"

namespace korvel {

namespace {

// The report's message without the page it starts with ("%1    HTML syntax error, ...").
std::string syntaxMessage(html::SyntaxErrorKind kind) {
    std::string text = res::formatString(html::syntaxErrorMessageId(kind), "");
    const std::size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? std::string{} : text.substr(start);
}

std::int64_t divideRoundingUp(std::int64_t bytes, std::int64_t by) {
    return bytes <= 0 ? 0 : (bytes - 1) / by + 1;
}

}  // namespace

CheckFindings::PageWeight pageWeight(const report::PageWeight& weight) {
    CheckFindings::PageWeight out;
    out.page = weight.page;
    out.bytes = weight.bytes;
    // The line speeds in bytes per second, as the report's columns use them.
    const std::int64_t speeds[4] = {1800, 3600, 4200, 7000};
    for (std::size_t i = 0; i < 4; ++i)
        out.seconds[i] = divideRoundingUp(weight.bytes, speeds[i]);
    out.external = weight.external;
    out.broken = weight.broken;
    out.unknown = weight.unknown;
    return out;
}

namespace {

// The changes "planner" made into "edits" for a file whose records are "urls"; "lineOf" gives a record's
// line.
template <typename LineOf>
void addLinkChanges(const Node& file, const std::vector<UrlRecord>& urls, const std::vector<LinkEdit>& edits,
                    LineOf lineOf, CheckFindings& findings) {
    for (const LinkEdit& edit : edits) {
        const UrlRecord& url = urls[edit.record];
        std::string note;
        if (edit.newText == url.text)
            note = "reserved-character-encode";
        else if (equalsIgnoringCase(edit.newText, url.text))
            note = "case-change";
        findings.linkChanges.push_back(
            {file.path(), lineOf(edit.record), url.text, edit.newText, std::move(note)});
    }
}

// The links of one page: broken and external ones from its records, changes from the planner.
void collectPage(HtmlNode& page, const FindingsSource& source, const JobSettings& settings,
                 LinkUpdatePlanner* planner, std::vector<LinkEdit>& edits, CheckFindings& findings) {
    LinkIndex& found = *source.found;
    const auto& urls = page.urls();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const UrlRecord& url = urls[i];
        if (url.has(UrlRecord::kExternal)) {
            if (settings.ReportExternalRefs)
                findings.externalUrls.push_back({page.path(), found.lineOf(page, i), url.text});
        } else if (!url.target && settings.ReportUnresolvedRefs) {
            findings.brokenLinks.push_back({page.path(), found.lineOf(page, i), url.text});
        }
    }
    if (settings.ReportBrokenAnchors) {
        for (const BrokenAnchor& anchor : found.brokenAnchors(page)) {
            std::string link;
            if (anchor.record != BrokenAnchor::kSamePage) link = urls[anchor.record].text;
            findings.brokenAnchors.push_back(
                {page.path(), anchor.line, std::move(link), anchor.fragment, anchor.target->path()});
        }
    }
    // The content behind a symbolic link is not the site's: the report plans no change there either.
    if (!planner || page.isSymlink()) return;
    planner->planPage(page, edits);
    addLinkChanges(
        page, urls, edits, [&](std::size_t i) { return found.lineOf(page, i); }, findings);
}

// The links of a style sheet file that link finding read, as a page's.
void collectStyleSheet(const Node& file, const StyleSheetLinks& sheet, const JobSettings& settings,
                       LinkUpdatePlanner* planner, std::vector<LinkEdit>& edits, CheckFindings& findings) {
    for (std::size_t i = 0; i < sheet.urls.size(); ++i) {
        const UrlRecord& url = sheet.urls[i];
        if (url.has(UrlRecord::kExternal)) {
            if (settings.ReportExternalRefs)
                findings.externalUrls.push_back({file.path(), sheet.lines[i], url.text});
        } else if (!url.target && settings.ReportUnresolvedRefs) {
            findings.brokenLinks.push_back({file.path(), sheet.lines[i], url.text});
        }
    }
    if (!planner || file.isSymlink()) return;
    planner->planLinks(file, sheet.urls, edits);
    addLinkChanges(
        file, sheet.urls, edits, [&](std::size_t i) { return std::int64_t{sheet.lines[i]}; }, findings);
}

}  // namespace

void collectFindings(const FindingsSource& source, CheckFindings& findings) {
    if (!source.tree) return;
    const JobSettings& settings = findings.settings;

    // The link update's form, as the check's own pass plans it: reverting is a fix's business, so a check
    // keeps each link's form.
    std::unique_ptr<LinkUpdatePlanner> planner;
    if (source.found) {
        findings.linksChecked = true;
        const std::int32_t conversion = settings.AbsRelCnvrt == kUrlRevert ? kUrlKeep : settings.AbsRelCnvrt;
        const UrlContext& context = source.found->context();
        if (LinkUpdatePlanner::canConvert(context, conversion))
            planner = std::make_unique<LinkUpdatePlanner>(context, static_cast<UrlConversion>(conversion));
        else
            findings.linkFormRefused = true;
        for (const FoundSyntaxError& error : source.found->syntaxErrors())
            findings.syntaxErrors.push_back({error.page->path(), error.line,
                                             std::string(html::syntaxErrorKindName(error.kind)),
                                             syntaxMessage(error.kind)});
    }
    if (source.orphans)
        for (const Node* node : *source.orphans)
            findings.orphans.push_back(node->path());

    std::vector<LinkEdit> edits;
    TypedWalk<Node*> walk(&source.tree->top());
    for (walk.first(); !walk.isDone(); walk.next()) {
        Node* node = walk.currentItem();
        // The top directory is never renamed: the report has no row for it.
        if (node->hasNewName() && node->getParent())
            findings.suggestedNames.push_back({node->originalPath(), node->getNewName(), node->newPath()});
        auto* page = dynamic_cast<HtmlNode*>(node);
        if (!page && source.found)
            if (const StyleSheetLinks* sheet = source.found->styleSheet(*node))
                collectStyleSheet(*node, *sheet, settings, planner.get(), edits, findings);
        if (!page || !source.found) continue;
        if (isKorvelOutputFile(source.found->context().topDir(), page->path())) continue;
        collectPage(*page, source, settings, planner.get(), edits, findings);
    }
}

std::vector<CheckFindings::Error> splitErrorText(std::string_view body) {
    std::vector<CheckFindings::Error> errors;
    std::size_t at = 0;
    while (at < body.size()) {
        std::size_t end = body.find('\n', at);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view line = body.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        if (line.front() == '\t' && !errors.empty())
            errors.back().details.emplace_back(line.substr(1));
        else
            errors.push_back({std::string(line), {}});
    }
    return errors;
}

}  // namespace korvel
