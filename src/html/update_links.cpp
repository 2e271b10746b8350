#include "html/update_links.h"

#include <algorithm>

#include "html/css.h"
#include "html/find_links.h"
#include "html/url.h"
#include "html/url_text.h"
#include "platform/display_name.h"
#include "platform/paths.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/node.h"
#include "site/site_tree.h"

namespace korvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Bytes that the canonical encoding of a link leaves as they are (or drops), but that must not stand
// as they are inside an attribute value: they could end it, or a browser would drop or mangle them.
// Inside a style sheet's url() (quote "("), parentheses and both quotes could end the URL, or the
// attribute the style stands in.
bool mustEncodeInAttribute(char c, char quote) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return true;
    if (quote == 0) return c == '\'' || c == '"';
    if (quote == '(') return c == '\'' || c == '"' || c == '(' || c == ')';
    if (quote == kWithinValueQuote) return c == '\'' || c == '"' || c == ',';
    return c == quote;
}

void appendPercent(char c, std::string& out) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back('%');
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0xF]);
}

bool isDirectory(const Node* node) {
    return dynamic_cast<const DirNode*>(node) != nullptr;
}

// Whether a link flagged as not canonically encoded is in fact written the way linkBytes writes it: a link
// this program wrote (a name with bytes of 128 and above, say) must not be taken for a badly encoded one
// by every later check. Only the length of the raw link is known here; it decides only for texts that hold
// a byte linkBytes encodes beyond the canonical form.
bool writtenAsLinkBytes(const UrlRecord& url) {
    const std::size_t pathStart = splitUrl(url.text).pathStart;
    const bool within = url.has(UrlRecord::kWithinValue);
    bool special = false;
    for (char c : std::string_view(url.text).substr(pathStart))
        special = special || mustEncodeInAttribute(c, '"') || c == '\'' || (within && c == ',');
    if (!special) return false;
    const auto written = static_cast<std::size_t>(url.end - url.position + 1);
    if (within) return linkBytes(url.text, pathStart, kWithinValueQuote).size() == written;
    for (char quote : {'"', '\''})
        if (linkBytes(url.text, pathStart, quote).size() == written) return true;
    return false;
}

// The rewrite a link needs beyond its text: its bytes are not the ones linkBytes would write.
bool needsReencoding(const UrlRecord& url) {
    return url.has(UrlRecord::kNeedsEncoding) && !writtenAsLinkBytes(url);
}

}  // namespace

char attributeQuote(std::string_view page, std::int64_t position) {
    auto i = static_cast<std::size_t>(position < 0 ? 0 : position);
    if (i > page.size()) i = page.size();
    while (i > 0 && isHtmlSpace(page[i - 1]))
        --i;
    if (i == 0) return 0;
    const char c = page[i - 1];
    // No attribute value follows a "(": this is a style sheet's url(), quoted or not.
    if (c == '(') return '(';
    if (c != '"' && c != '\'') return 0;
    std::size_t j = i - 1;
    while (j > 0 && isHtmlSpace(page[j - 1]))
        --j;
    return j > 0 && page[j - 1] == '(' ? '(' : c;
}

char linkQuote(std::string_view page, const UrlRecord& url) {
    return url.has(UrlRecord::kWithinValue) ? kWithinValueQuote : attributeQuote(page, url.position);
}

std::string linkBytes(std::string_view text, std::size_t keep, char quote) {
    if (keep > text.size()) keep = text.size();
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text.substr(0, keep)) {
        if (mustEncodeInAttribute(c, quote))
            appendPercent(c, out);
        else
            out.push_back(c);
    }
    // Runs of ordinary bytes get the canonical encoding; the bytes it would leave or drop are encoded here.
    thread_local std::string run;
    std::size_t runStart = keep;
    for (std::size_t i = keep; i <= text.size(); ++i) {
        if (i < text.size() && !mustEncodeInAttribute(text[i], quote)) continue;
        if (i > runStart) {
            encodeUrlPathInto(text.substr(runStart, i - runStart), false, run);
            out.append(run);
        }
        if (i < text.size()) appendPercent(text[i], out);
        runStart = i + 1;
    }
    return out;
}

bool applyLinkEdits(std::string_view page, const std::vector<UrlRecord>& urls,
                    std::span<const LinkEdit> edits, std::string& out, std::size_t& changed) {
    out.clear();
    changed = 0;
    out.reserve(page.size() + 64);
    std::size_t copied = 0;
    std::string seen;
    for (const LinkEdit& edit : edits) {
        if (edit.record >= urls.size()) return false;
        const UrlRecord& url = urls[edit.record];
        if (edit.position != url.position || edit.end != url.end) return false;
        if (edit.position < 0 || edit.end < edit.position) return false;
        const auto position = static_cast<std::size_t>(edit.position);
        const auto end = static_cast<std::size_t>(edit.end);
        if (position < copied || end >= page.size()) return false;
        const std::string_view raw = page.substr(position, end - position + 1);
        // The page must still say what it said when its links were read.
        if (url.has(UrlRecord::kInStyle) && raw.find('\\') != std::string_view::npos)
            urlTextInto(html::unescapeCss(raw), seen);
        else
            urlTextInto(raw, seen);
        if (seen != url.text) return false;
        const std::string bytes = linkBytes(edit.newText, edit.keep, linkQuote(page, url));
        if (bytes != raw) ++changed;
        out.append(page.substr(copied, position - copied));
        out.append(bytes);
        copied = end + 1;
    }
    out.append(page.substr(copied));
    return true;
}

// ---- LinkUpdatePlanner

LinkUpdatePlanner::LinkUpdatePlanner(const UrlContext& context, UrlConversion conversion, bool namesOnDisk)
    : context_(&context), conversion_(conversion), namesOnDisk_(namesOnDisk) {}

std::string_view LinkUpdatePlanner::finalName(const Node& node) const {
    if (namesOnDisk_ || !node.hasNewName()) return node.getFileName();
    return node.getNewName();
}

bool LinkUpdatePlanner::canConvert(const UrlContext& context, std::int32_t conversion) {
    return conversion != kUrlAbsolute || !context.server().empty();
}

void LinkUpdatePlanner::planPage(const HtmlNode& page, std::vector<LinkEdit>& edits) {
    planLinks(page, page.urls(), edits);
}

void LinkUpdatePlanner::planLinks(const Node& file, const std::vector<UrlRecord>& urls,
                                  std::vector<LinkEdit>& edits) {
    edits.clear();
    // Relative links, a base tag's own included, resolve against the file's own directory until a base tag
    // names another; a base tag changes only the links after it.
    base_.assign(platform::parentPath(file.originalPath()));
    const Node* fromDir = file.getParent();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const UrlRecord& url = urls[i];
        if (url.target && !url.has(UrlRecord::kExternal)) {
            // A directory link that resolved to its default document names the directory.
            const Node* named = url.has(UrlRecord::kDefaultDocument) ? url.target->getParent() : url.target;
            // Style sheet text keeps the form it is written in: its links change only with a name.
            const bool sameForm =
                conversion_ == kUrlKeep || conversion_ == urlForm(url) || url.has(UrlRecord::kInStyle);
            LinkEdit& edit = edits.emplace_back();
            const bool planned = named && (sameForm ? planSameForm(url, named, edit)
                                                    : planConversion(url, named, fromDir, edit));
            if (planned) {
                edit.record = i;
                edit.position = url.position;
                edit.end = url.end;
            } else {
                edits.pop_back();
            }
        }
        if (url.has(UrlRecord::kBase)) {
            base_ = baseFromTag(url, base_, *context_);
            const Node* dir = nullptr;
            if (!isExternalBase(base_) && context_->tree()) dir = context_->tree()->findNodeByPath(base_);
            fromDir = isDirectory(dir) ? dir : nullptr;
        }
    }
}

bool LinkUpdatePlanner::spellsFinalNames(std::string_view path, const Node* named) const {
    // One pass over the segments: the names start after the last ".."; a "." or empty segment among them
    // is left to the walk.
    std::size_t namesStart = 0;
    std::size_t segments = 0;
    bool plain = true;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        if (segment == "..") {
            namesStart = end + 1;
            segments = 0;
            plain = true;
        } else {
            plain = plain && !segment.empty() && segment != ".";
            ++segments;
        }
        start = end + 1;
    }
    if (!plain || segments == 0 || namesStart >= path.size()) return false;
    const std::string_view names = path.substr(namesStart);
    // The names must end the target's own path, each after a "/".
    const std::string& own = named->path();
    if (own.size() <= names.size() || own.compare(own.size() - names.size(), names.size(), names) != 0 ||
        own[own.size() - names.size() - 1] != '/')
        return false;
    if (namesOnDisk_) return true;
    // Before a fix, a name about to change makes the link change even though it matches the disk.
    for (const Node* n = named; n && n->getParent() && segments > 0; n = n->getParent(), --segments)
        if (n->hasNewName()) return false;
    return true;
}

bool LinkUpdatePlanner::planSameForm(const UrlRecord& url, const Node* named, LinkEdit& edit) {
    const std::string& text = url.text;
    const std::size_t start = splitUrl(text).pathStart;
    // Walk the path's segments from its end, each naming the node "n" and then n's directory; only names
    // that change make the link change. A ".." ends the walk: what stands before it names a directory
    // above the ones the link goes through, and it stays valid as it is.
    std::size_t cut = text.size();
    while (cut > start && text[cut - 1] == '/')
        --cut;
    if (spellsFinalNames(std::string_view(text).substr(start, cut - start), named)) {
        // The names still match: only a link whose bytes are not canonical is written again, as it reads.
        if (!needsReencoding(url)) return false;
        edit.keep = start;
        edit.newText = text;
        return true;
    }
    segments_.clear();
    const Node* n = named;
    while (n && n->getParent() && cut > start) {
        const std::size_t slash = text.rfind('/', cut - 1);
        const std::size_t segmentStart = (slash == std::string::npos || slash < start) ? start : slash + 1;
        const std::string_view segment = std::string_view(text).substr(segmentStart, cut - segmentStart);
        cut = segmentStart > start ? segmentStart - 1 : start;
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") break;
        // Byte for byte: a link that spells its file in another case resolves here, but not on a server
        // that tells case apart, so it is written as the file will be named.
        if (segment != finalName(*n)) segments_.push_back({segmentStart, segmentStart + segment.size(), n});
        n = n->getParent();
    }

    edit.keep = start;
    if (segments_.empty()) {
        // The names still match: only a link whose bytes are not canonical is written again, as it reads.
        if (!needsReencoding(url)) return false;
        edit.newText = text;
        return true;
    }
    edit.newText.clear();
    edit.newText.reserve(text.size() + 16);
    std::size_t copied = 0;
    for (auto it = segments_.rbegin(); it != segments_.rend(); ++it) {
        edit.newText.append(text, copied, it->start - copied);
        edit.newText.append(finalName(*it->node));
        copied = it->end;
    }
    edit.newText.append(text, copied, std::string::npos);
    return true;
}

bool LinkUpdatePlanner::planConversion(const UrlRecord& url, const Node* named, const Node* fromDir,
                                       LinkEdit& edit) {
    std::string& out = edit.newText;
    out.clear();
    edit.keep = 0;
    switch (conversion_) {
        case kUrlRelative: {
            // Relative to the directory the link was resolved against; unknown after a base tag that names
            // no directory of the site, and then the link stays as it is.
            if (!fromDir) return false;
            std::string target;
            appendSitePath(named, target);
            out = relativePath(directorySitePath(fromDir), target);
            break;
        }
        case kUrlRoot:
            appendSitePath(named, out);
            break;
        case kUrlAbsolute: {
            const std::string& server = context_->server();
            if (server.empty()) return false;
            out.append("http://");
            out.append(server);
            edit.keep = out.size();
            appendSitePath(named, out);
            break;
        }
        default:
            return false;
    }
    return out != url.text || needsReencoding(url);
}

void LinkUpdatePlanner::appendSitePath(const Node* node, std::string& out) {
    if (isDirectory(node) || !node->getParent()) {
        out.append(directorySitePath(node));
        return;
    }
    out.append(directorySitePath(node->getParent()));
    out.append(finalName(*node));
}

const std::string& LinkUpdatePlanner::directorySitePath(const Node* dir) {
    if (const auto it = directoryPaths_.find(dir); it != directoryPaths_.end()) return it->second;
    std::string path;
    if (dir->getParent()) {
        path = directorySitePath(dir->getParent());
        path.append(finalName(*dir));
    }
    path.push_back('/');
    return directoryPaths_.emplace(dir, std::move(path)).first->second;
}

// ---- LinkUpdatePass

namespace {

UrlConversion plannedConversion(std::int32_t conversion) {
    switch (conversion) {
        case kUrlRelative:
        case kUrlRoot:
        case kUrlAbsolute:
            return static_cast<UrlConversion>(conversion);
        default:
            return kUrlKeep;
    }
}

}  // namespace

LinkUpdatePass::LinkUpdatePass(const LinkIndex& found, std::int32_t conversion, LinkWriter* writer)
    : found_(&found),
      planner_(found.context(), plannedConversion(conversion), writer != nullptr),
      writer_(writer) {
    const UrlContext& context = found.context();
    section = currentLog().openSection(writer ? res::kSectionUrlRenaming : res::kSectionSuggestedUrlRenaming);
    if (!LinkUpdatePlanner::canConvert(context, conversion)) {
        refused_ = true;
        if (section) {
            section->endLine();
            section->writeLine(res::kAbsoluteLinksNeedServer);
        }
    } else if (writer && conversion == kUrlRevert) {
        refused_ = true;
    }
}

LinkUpdatePass::~LinkUpdatePass() {
    if (!section) return;
    // Pages that needed an update but could not be rewritten are in the errors section; this line would
    // tell the opposite.
    if (!refused_ && !needed_) {
        section->endLine();
        section->writeLine(res::kNoLinksToRename);
    }
    currentLog().closeSection(section);
}

bool LinkUpdatePass::reportSymlink(FileNode& file, const std::vector<UrlRecord>& urls) {
    // The content behind a symbolic link is not the site's own: nothing may rewrite it. But its links
    // that the new names break are said, so that no rename breaks a link in silence.
    needed_ = true;
    report(file, urls, nullptr);
    if (section) {
        section->writeLine(res::kSymlinkNotRewritten);
        section->endLine();
    }
    if (writer_) file.logError(res::kSymlinkNotRewritten);
    return false;
}

bool LinkUpdatePass::visitHtml(HtmlNode& page) {
    if (refused_) return false;
    planner_.planPage(page, edits_);
    if (edits_.empty()) return false;
    if (page.isSymlink()) return reportSymlink(page, page.urls());
    needed_ = true;
    if (!writer_) {
        report(page, page.urls(), nullptr);
        ++fileCount_;
        return true;
    }
    // Only a page that was rewritten is listed; the rewrite gives the records their new texts.
    oldTexts_.clear();
    for (const LinkEdit& edit : edits_)
        oldTexts_.push_back(page.urls()[edit.record].text);
    if (!writer_->rewrite(page, edits_)) return false;
    report(page, page.urls(), &oldTexts_);
    if (section) {
        section->endLine();
        section->endLine();
    }
    ++fileCount_;
    return true;
}

bool LinkUpdatePass::visitFile(FileNode& file) {
    const StyleSheetLinks* sheet = found_->styleSheet(file);
    if (refused_ || !sheet || sheet->urls.empty()) return false;
    planner_.planLinks(file, sheet->urls, edits_);
    if (edits_.empty()) return false;
    if (file.isSymlink()) return reportSymlink(file, sheet->urls);
    needed_ = true;
    if (!writer_) {
        report(file, sheet->urls, nullptr);
        ++fileCount_;
        return true;
    }
    oldTexts_.clear();
    for (const LinkEdit& edit : edits_)
        oldTexts_.push_back(sheet->urls[edit.record].text);
    if (!writer_->rewrite(file, edits_)) return false;
    report(file, sheet->urls, &oldTexts_);
    if (section) {
        section->endLine();
        section->endLine();
    }
    ++fileCount_;
    return true;
}

void LinkUpdatePass::report(FileNode& file, const std::vector<UrlRecord>& urls,
                            const std::vector<std::string>* oldTexts) {
    if (!section) return;
    section->endLine();
    section->writeLine(res::kInFileHeader, platform::displayName(file.path()));
    auto* page = dynamic_cast<HtmlNode*>(&file);
    const StyleSheetLinks* sheet = page ? nullptr : found_->styleSheet(file);
    for (std::size_t k = 0; k < edits_.size(); ++k) {
        const LinkEdit& edit = edits_[k];
        const std::string& text = oldTexts ? (*oldTexts)[k] : urls[edit.record].text;
        std::int64_t line = 1;
        if (page)
            line = found_->lineOf(*page, edit.record);
        else if (sheet && edit.record < sheet->lines.size())
            line = sheet->lines[edit.record];
        section->writeAtLine(static_cast<int>(line), res::kLinkRenamedTo, platform::displayName(text),
                             platform::displayName(edit.newText));
        if (edit.newText == text)
            section->write(res::kNoteReservedEncode);
        else if (equalsIgnoringCase(edit.newText, text))
            section->write(res::kNoteCaseChange);
        section->endLine();
    }
}

}  // namespace korvel
