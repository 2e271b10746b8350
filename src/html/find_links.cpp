#include "html/find_links.h"

#include <xxhash.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "html/css.h"
#include "html/url_text.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/utf8.h"
#include "report/findings.h"
#include "res/strings.h"
#include "site/iterator.h"

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

// ---- LinkIndex

std::int64_t LinkIndex::lineOf(HtmlNode& page, std::size_t index) const {
    return linesOf(page)(index);
}

PageLines LinkIndex::linesOf(HtmlNode& page) const {
    return PageLines(page, *this);
}

std::int64_t PageLines::operator()(std::size_t index) const {
    const auto& urls = page_->urls();
    if (index >= urls.size()) return 1;
    if (!looked_) {
        looked_ = true;
        const auto it = found_->lines_.find(page_);
        if (it != found_->lines_.end() && it->second.size() == urls.size()) kept_ = &it->second;
    }
    if (kept_ && (*kept_)[index] != 0) return (*kept_)[index];
    return page_->lineOfOffset(urls[index].position);
}

void LinkIndex::setLines(const HtmlNode& page, std::vector<std::uint32_t> lines) {
    if (lines.empty())
        lines_.erase(&page);
    else
        lines_[&page] = std::move(lines);
}

// ---- Anchors

std::uint64_t anchorHash(std::string_view name) {
    return XXH3_64bits(name.data(), name.size());
}

void LinkIndex::setAnchors(const HtmlNode& page, std::vector<std::uint64_t> names,
                           std::vector<FragmentRef> fragments) {
    if (names.empty() && fragments.empty()) {
        anchors_.erase(&page);
        return;
    }
    PageAnchors& kept = anchors_[&page];
    kept.names = std::move(names);
    kept.fragments = std::move(fragments);
    kept.records = page.urls().size();
}

const Node* LinkIndex::fragmentNode(const HtmlNode& page, const PageAnchors& kept,
                                    const FragmentRef& ref) const {
    if (ref.record == FragmentRef::kSamePage) return &page;
    const std::vector<UrlRecord>& urls = page.urls();
    // Records changed since (a fix rewrote the page) no longer match the kept indices.
    if (kept.records != urls.size() || ref.record >= urls.size()) return nullptr;
    const UrlRecord& url = urls[ref.record];
    // A link that leads nowhere is a broken link, not a broken anchor.
    if (url.has(UrlRecord::kExternal)) return nullptr;
    return url.target;
}

const HtmlNode* LinkIndex::checkedPage(const Node* target) const {
    const auto* targetPage = dynamic_cast<const HtmlNode*>(target);
    // What link finding did not read has anchors nobody knows.
    if (!targetPage || !targetPage->isHtml() || !targetPage->linksFound() || unreadable_.contains(targetPage))
        return nullptr;
    return targetPage;
}

void LinkIndex::findMissingAnchors() const {
    missingKnown_ = true;
    // The fragments asked of each page, then one pass over each asked page's names: a page holds many
    // more anchors than links ask for.
    struct Asked {
        std::uint64_t hash;
        const HtmlNode* page;  // the page that asks
    };
    std::unordered_map<const HtmlNode*, std::vector<Asked>> asked;
    // A page's links mostly ask the same page in a row.
    const Node* lastNode = nullptr;
    std::vector<Asked>* lastAsked = nullptr;
    for (const auto& [page, kept] : anchors_) {
        for (const FragmentRef& ref : kept.fragments) {
            const Node* node = fragmentNode(*page, kept, ref);
            if (!node) continue;
            if (node != lastNode) {
                lastNode = node;
                const HtmlNode* target = checkedPage(node);
                lastAsked = target ? &asked[target] : nullptr;
            }
            if (lastAsked) lastAsked->push_back({ref.hash, page});
        }
    }
    // Per target: its asked hashes in an open-addressed table, its names looked up there. 0 marks an
    // empty slot; a hash that is 0 becomes 1, a collision like any other.
    const auto key = [](std::uint64_t hash) { return hash == 0 ? std::uint64_t{1} : hash; };
    std::vector<std::uint64_t> table;
    std::vector<char> found;
    for (const auto& [target, questions] : asked) {
        std::size_t size = 16;
        while (size < 2 * questions.size())
            size *= 2;
        const auto slotOf = [&](std::uint64_t k) {
            std::size_t slot = k & (size - 1);
            while (table[slot] != 0 && table[slot] != k)
                slot = (slot + 1) & (size - 1);
            return slot;
        };
        table.assign(size, 0);
        found.assign(size, 0);
        for (const Asked& question : questions) {
            const std::uint64_t k = key(question.hash);
            table[slotOf(k)] = k;
        }
        if (const auto it = anchors_.find(target); it != anchors_.end()) {
            for (const std::uint64_t name : it->second.names) {
                const std::size_t slot = slotOf(key(name));
                if (table[slot] != 0) found[slot] = 1;
            }
        }
        std::vector<std::uint64_t>* missing = nullptr;
        for (const Asked& question : questions) {
            if (found[slotOf(key(question.hash))]) continue;
            if (!missing) missing = &missing_[target];
            missing->push_back(question.hash);
            pagesWithMissing_.insert(question.page);
        }
        if (missing) {
            std::sort(missing->begin(), missing->end());
            missing->erase(std::unique(missing->begin(), missing->end()), missing->end());
        }
    }
}

const std::vector<BrokenAnchor>& LinkIndex::brokenAnchors(const HtmlNode& page) const {
    static const std::vector<BrokenAnchor> none;
    if (const auto known = brokenAnchors_.find(&page); known != brokenAnchors_.end()) return known->second;
    const auto it = anchors_.find(&page);
    if (it == anchors_.end()) return none;
    if (!missingKnown_) findMissingAnchors();
    if (!pagesWithMissing_.count(&page)) return none;
    std::vector<BrokenAnchor> broken;
    const PageAnchors& kept = it->second;
    const std::vector<UrlRecord>& urls = page.urls();
    std::vector<const FragmentRef*> refs;
    for (const FragmentRef& ref : kept.fragments) {
        const Node* node = fragmentNode(page, kept, ref);
        const HtmlNode* target = node ? checkedPage(node) : nullptr;
        if (!target) continue;
        const auto missing = missing_.find(target);
        if (missing == missing_.end() ||
            !std::binary_search(missing->second.begin(), missing->second.end(), ref.hash))
            continue;
        BrokenAnchor& anchor = broken.emplace_back();
        if (ref.record != FragmentRef::kSamePage) anchor.record = ref.record;
        anchor.target = target;
        refs.push_back(&ref);
    }
    // Nothing is kept for a page without: working that out again reads nothing.
    if (broken.empty()) return none;

    // The fragments' text and lines, from the page itself: few links have a broken anchor.
    html::PageReader file;
    if (file.load(page.path(), false) && !file.readFailed()) {
        const std::string_view text = file.text();
        std::vector<std::int64_t> positions;
        positions.reserve(refs.size());
        for (const FragmentRef* ref : refs)
            positions.push_back(ref->offset);
        const std::vector<std::uint32_t> lines = linesOfPositions(text, positions);
        for (std::size_t i = 0; i < broken.size(); ++i) {
            broken[i].line = lines[i];
            if (refs[i]->offset + std::size_t{refs[i]->length} <= text.size())
                broken[i].fragment.assign(text.substr(refs[i]->offset, refs[i]->length));
        }
    } else if (const auto lines = lines_.find(&page);
               lines != lines_.end() && lines->second.size() == urls.size()) {
        for (BrokenAnchor& anchor : broken)
            if (anchor.record != BrokenAnchor::kSamePage && lines->second[anchor.record] != 0)
                anchor.line = lines->second[anchor.record];
    }
    return brokenAnchors_.emplace(&page, std::move(broken)).first->second;
}

const StyleSheetLinks* LinkIndex::styleSheet(const Node& file) const {
    const auto it = styleSheets_.find(&file);
    return it == styleSheets_.end() ? nullptr : &it->second.links;
}

StyleSheetLinks* LinkIndex::styleSheet(const Node& file) {
    const auto it = styleSheets_.find(&file);
    return it == styleSheets_.end() ? nullptr : &it->second.links;
}

const StyleSheetLinks& LinkIndex::readStyleSheet(const FileNode& file) {
    const auto [it, added] = styleSheets_.try_emplace(&file);
    StyleSheetLinks& links = it->second.links;
    if (!added) return links;
    html::PageReader scanner;
    if (!scanner.load(file.path())) return links;
    links.read = true;
    // Relative references name files next to the style sheet, wherever the pages that use it stand.
    prepareStyleSheet(scanner.text(), platform::parentPath(file.originalPath()), *context_, links);
    return links;
}

const std::vector<Node*>& LinkIndex::styleSheetReach(const FileNode& file) {
    readStyleSheet(file);
    // Elements of an unordered_map stay where they are when others are added.
    StyleSheetEntry& entry = styleSheets_.at(&file);
    if (entry.reachKnown) return entry.reach;
    std::unordered_set<const Node*> listed{&file};
    std::unordered_set<const Node*> sheets{&file};
    std::vector<const FileNode*> pending{&file};
    for (std::size_t next = 0; next < pending.size(); ++next) {
        const StyleSheetLinks& links = readStyleSheet(*pending[next]);
        for (const UrlRecord& url : links.urls) {
            if (!isWebLink(url)) continue;
            if (listed.insert(url.target).second) entry.reach.push_back(url.target);
            if (html::isStyleSheetTarget(url) && sheets.insert(url.target).second)
                pending.push_back(static_cast<const FileNode*>(url.target));
        }
    }
    entry.reachKnown = true;
    return entry.reach;
}

void prepareStyleSheet(std::string_view text, std::string_view base, const UrlContext& context,
                       StyleSheetLinks& out) {
    std::vector<html::StyleRef> refs;
    html::findStyleRefs(text, 0, refs);
    out.urls.clear();
    out.urls.reserve(refs.size());
    std::vector<std::int64_t> positions;
    positions.reserve(refs.size());
    for (const html::StyleRef& ref : refs) {
        UrlRecord url;
        makeStyleUrl(base, url, 0, ref, context);
        if (url.text.empty()) continue;
        positions.push_back(url.position);
        out.urls.push_back(std::move(url));
    }
    out.lines = linesOfPositions(text, positions);
}

// ---- LinkFinder

LinkFinder::LinkFinder(LinkIndex& found, ReachedNodes* urlMap, const JobContext& job)
    : found_(&found), urlMap_(urlMap), report_(&job.report) {
    report_->listStarted(report::List::SyntaxErrors);
}

LinkFinder::~LinkFinder() {
    report_->listEnded(report::List::SyntaxErrors);
}

bool LinkFinder::isOwnOutput(const Node& node) const {
    return isKorvelOutputFile(found_->context().topDir(), node.path());
}

bool LinkFinder::visitFile(FileNode& node) {
    if (isOwnOutput(node)) return false;
    if (urlMap_) urlMap_->insert(&node);
    if (html::hasStyleSheetName(node)) found_->readStyleSheet(node);
    return true;
}

bool LinkFinder::visitHtml(HtmlNode& node) {
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

void LinkFinder::keepSyntaxErrors(const HtmlNode& page, const html::TagList& tags,
                                  const std::vector<std::uint32_t>& lines) {
    // In the order the log lists them.
    const auto& errors = tags.syntaxErrors();
    for (std::size_t i = 0; i < errors.size(); ++i)
        found_->addSyntaxError({&page, i < lines.size() ? lines[i] : 1, errors[i].kind});
}

namespace {

// The largest page whose memory a scratch keeps for the next; a larger one gives it back, so that a few
// huge index pages do not leave tens of megabytes behind on each thread.
constexpr std::size_t kKeptPageBytes = std::size_t{1} << 20;

// The line of each of "tags"' syntax errors, in the list's order.
std::vector<std::uint32_t> linesOfErrors(const html::TagList& tags, std::string_view text) {
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
    return lineOfError;
}

}  // namespace

bool LinkFinder::findLinks(HtmlNode& page) {
    std::unique_ptr<PreparedPage> taken = prefetch_ ? prefetch_->take(page) : nullptr;
    if (!taken) preparePage(page, found_->context(), true, prepared_, scratch_);
    PreparedPage& prepared = taken ? *taken : prepared_;
    if (!prepared.ready) return false;  // reported by load

    const html::TagList& tags = prepared.errors;
    if (!tags.syntaxErrors().empty()) {
        report::SyntaxError record;
        record.page = page.path();
        const auto& errors = tags.syntaxErrors();
        for (std::size_t i = 0; i < errors.size(); ++i) {
            // A line index the page already has answers as before; otherwise the lines counted with the text.
            if (!page.lineIndex().empty())
                record.line = page.lineOfOffset(errors[i].offset);
            else
                record.line = i < prepared.errorLines.size() ? prepared.errorLines[i] : 1;
            record.kind = html::syntaxErrorKindName(errors[i].kind);
            report_->syntaxError(record);
        }
    }
    if (found_->keepsSyntaxErrors() && !tags.syntaxErrors().empty())
        keepSyntaxErrors(page, tags, prepared.errorLines);
    prepared.errors.clear();
    prepared.errorLines.clear();

    if (prepared.baseChanged) page.setBase(std::move(prepared.base));
    if (!prepared.lines.empty()) found_->setLines(page, std::move(prepared.lines));
    page.urls() = std::move(prepared.records);
    found_->setAnchors(page, std::move(prepared.anchors), std::move(prepared.fragments));
    prepared.anchors.clear();
    prepared.fragments.clear();
    prepared.records.clear();
    prepared.lines.clear();
    page.setLinksFound(true);
    addStyleTargets(page);
    return true;
}

void LinkFinder::addStyleTargets(HtmlNode& page) {
    for (const UrlRecord& url : page.urls()) {
        if (!isWebLink(url) || !html::mayNameStyleSheet(url) || !html::isStyleSheetTarget(url)) continue;
        for (Node* target : found_->styleSheetReach(static_cast<const FileNode&>(*url.target)))
            page.addLinkTarget(target);
    }
}

// ---- Preparing a page

namespace {

// Whether "s" is "word": a compare of fixed length, which the compiler does without a call. A page has
// many tags and attributes, and each is asked about several names.
template <std::size_t N>
bool is(std::string_view s, const char (&word)[N]) {
    return s.size() == N - 1 && std::memcmp(s.data(), word, N - 1) == 0;
}

// "value" with its character references as a browser reads them, into "out": numeric ones and the few
// named ones that ids and links are written with (an id "&lt;init&gt;()" is "<init>()", and a link to
// "#%3Cinit%3E()" finds it). Any other "&" stays as written.
void decodeReferencesInto(std::string_view value, std::string& out) {
    static constexpr struct {
        std::string_view name;
        std::string_view text;
    } kNamed[] = {{"amp;", "&"},   {"lt;", "<"},   {"gt;", ">"},
                  {"quot;", "\""}, {"apos;", "'"}, {"nbsp;", "\xC2\xA0"}};
    out.clear();
    std::size_t at = 0;
    while (at < value.size()) {
        const std::size_t amp = value.find('&', at);
        if (amp == std::string_view::npos) break;
        out.append(value.substr(at, amp - at));
        at = amp + 1;
        const std::string_view rest = value.substr(at);
        bool done = false;
        if (!rest.empty() && rest[0] == '#') {
            const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            std::size_t i = hex ? 2 : 1;
            std::uint32_t code = 0;
            const std::size_t digitsFrom = i;
            for (; i < rest.size() && i < digitsFrom + 8; ++i) {
                const char c = rest[i];
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                if (digit < 0) break;
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            }
            if (i > digitsFrom && i < rest.size() && rest[i] == ';') {
                appendUtf8(code, out);
                at += i + 1;
                done = true;
            }
        } else {
            for (const auto& named : kNamed) {
                if (rest.substr(0, named.name.size()) == named.name) {
                    out.append(named.text);
                    at += named.name.size();
                    done = true;
                    break;
                }
            }
        }
        if (!done) out.push_back('&');
    }
    out.append(value.substr(at));
}

// Notes the fragment of the link written as "raw" (an attribute value whose first byte stands at
// "position") unless it has none or it names the top of the page ("", "top" in any ASCII case), which
// needs no anchor. "record": the position of the record whose target the fragment names; -1 for the page
// itself.
void noteFragment(std::string_view raw, std::int64_t position, std::int64_t record, PageScratch& scratch) {
    const std::string_view trimmed = trimUrlValue(raw);
    const std::size_t hashAt = trimmed.find('#');
    if (hashAt == std::string_view::npos) return;
    const std::string_view fragment = trimmed.substr(hashAt + 1);
    // Browsers compare the fragment percent-decoded, read as UTF-8; one that does not decode to UTF-8
    // can only match as written. Character references are read before anything else.
    std::string_view name = fragment;
    if (std::memchr(fragment.data(), '&', fragment.size())) {
        decodeReferencesInto(fragment, scratch.references);
        name = scratch.references;
    }
    // One pass over the bytes: find_first_of would search the set once for every byte of the fragment.
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return c == '%' || c == '\t' || c == '\n' || c == '\r'; })) {
        decodeUrlInto(name, scratch.decoded);
        if (platform::isValidUtf8(scratch.decoded)) name = scratch.decoded;
    }
    if (name.empty() || platform::equalsIgnoringAsciiCase(name, "top")) return;
    const std::int64_t offset =
        position + (trimmed.data() - raw.data()) + static_cast<std::int64_t>(hashAt) + 1;
    // Beyond what a reference holds (a page of 4 GB): not checked.
    if (offset + static_cast<std::int64_t>(fragment.size()) > INT64_C(0xFFFFFFFF)) return;
    scratch.fragments.push_back({anchorHash(name), 0, static_cast<std::uint32_t>(offset),
                                 static_cast<std::uint32_t>(fragment.size())});
    scratch.fragmentRecords.push_back(record);
}

}  // namespace

void preparePage(const HtmlNode& page, const UrlContext& context, bool report, PreparedPage& out,
                 PageScratch& scratch) {
    out.ready = false;
    out.errors.clear();
    out.errorLines.clear();
    out.records.clear();
    out.lines.clear();
    out.baseChanged = false;
    out.base.clear();
    out.anchors.clear();
    out.fragments.clear();
    scratch.anchors.clear();
    scratch.fragments.clear();
    scratch.fragmentRecords.clear();
    html::PageReader& file = scratch.file;
    // A page far larger than the others gives its memory back rather than holding it for the rest.
    struct Trim {
        PageScratch& scratch;
        ~Trim() {
            if (scratch.file.text().size() > kKeptPageBytes) scratch.file.release();
            // The scanner reserves a tag for every 48 bytes of a page.
            if (scratch.tags.tags().capacity() > kKeptPageBytes / 48) scratch.tags = html::TagList();
        }
    } trim{scratch};
    if (!file.load(page.path(), report)) return;
    // Quietly, a read that failed partway is left to the walk, which reports it.
    if (!report && file.readFailed()) return;
    const std::string_view text = file.text();
    html::TagList& tags = scratch.tags;
    html::scanText(text, tags);

    std::vector<UrlRecord>& records = scratch.records;
    std::vector<html::UrlValue>& values = scratch.values;
    std::vector<html::StyleRef>& styleRefs = scratch.styleRefs;
    records.clear();
    std::string base = page.base();
    std::size_t styleBlockEnd = 0;
    bool inComment = false;
    // Once a base tag named a place, the position of its record: a link to a fragment alone leads there.
    std::int64_t baseRecord = -1;
    const std::vector<html::HtmlTag>& tagList = tags.tags();
    for (std::size_t t = 0; t < tagList.size(); ++t) {
        const html::HtmlTag& tag = tagList[t];
        // The anchors: an id on any element, a name on a link. A tag inside a comment makes no element in
        // a browser, so its names are none.
        const html::HtmlAttribute* href = nullptr;
        const html::HtmlAttribute* usemap = nullptr;
        if (is(tag.name, "<!--")) {
            inComment = true;
        } else if (is(tag.name, "-->")) {
            inComment = false;
        } else if (!tag.endTag && tag.mayNameOrLink) {
            const bool link = is(tag.name, "a");
            for (const html::HtmlAttribute& attribute : tags.attributes(tag)) {
                const std::string_view name = attribute.name;
                // By length first: most attributes (class, style, title, ...) are none of these.
                const std::size_t size = name.size();
                if (size != 2 && size != 4 && size != 6) continue;
                if (is(name, "href")) {
                    href = &attribute;
                } else if (is(name, "usemap")) {
                    usemap = &attribute;
                } else if ((is(name, "id") || (link && is(name, "name"))) && !inComment &&
                           !attribute.value.empty()) {
                    std::string_view value = attribute.value;
                    if (std::memchr(value.data(), '&', value.size())) {
                        decodeReferencesInto(value, scratch.references);
                        value = scratch.references;
                    }
                    scratch.anchors.push_back(anchorHash(value));
                }
            }
        }
        values.clear();
        html::urlValuesOf(tags, tag, values);
        bool hrefRecorded = false;
        for (const html::UrlValue& value : values) {
            std::uint16_t flags = 0;
            if (value.isBase) flags |= UrlRecord::kBase;
            if (value.embedded) flags |= UrlRecord::kEmbedded;
            if (value.frame) flags |= UrlRecord::kFrame;
            if (value.withinValue) flags |= UrlRecord::kWithinValue;
            UrlRecord url;
            makeUrl(base, url, flags, value.position, value.text, context);
            if (url.text.empty()) continue;
            if (href && value.text.data() == href->value.data()) hrefRecorded = true;
            // makeUrl keeps only the flags of an attribute's kind.
            if (value.styleSheet) url.set(UrlRecord::kStyleSheet);
            // Only a base tag's href is a base reference; its other attributes resolve as a base tag's
            // do, but they are not the base.
            if (!value.baseHref) url.set(UrlRecord::kBase, false);
            // A base tag changes the resolution of the page's later links only.
            if (value.baseHref) {
                base = baseFromTag(url, base, context);
                out.baseChanged = true;
                baseRecord = url.position;
            } else if (url.end + 1 < value.position + static_cast<std::int64_t>(value.text.size()) &&
                       !value.isBase && (!usemap || value.text.data() != usemap->value.data()) &&
                       std::memchr(value.text.data(), '#', value.text.size())) {
                // Only a value cut short may have a fragment. A map's fragment names a map, not an anchor.
                noteFragment(value.text, value.position, url.position, scratch);
            }
            records.push_back(std::move(url));
        }
        // A link to a fragment alone makes no record, but its fragment must name an anchor all the same.
        if (href && !hrefRecorded && std::memchr(href->value.data(), '#', href->value.size()) &&
            !is(tag.name, "base") && cutUrlValue(href->value).length == 0 && !html::isPlainTag(tag.name))
            noteFragment(href->value, href->position, baseRecord, scratch);
        // What the page's own style loads comes with the page, like a background image; an imported
        // style sheet counts as a stylesheet link does.
        if (!tag.hasStyle) continue;
        styleRefs.clear();
        styleBlockEnd = html::styleRefsOfTag(tags, t, text, styleBlockEnd, styleRefs);
        for (const html::StyleRef& ref : styleRefs) {
            UrlRecord url;
            makeStyleUrl(base, url, ref.import ? 0 : UrlRecord::kEmbedded, ref, context);
            if (url.text.empty()) continue;
            records.push_back(std::move(url));
        }
    }
    values.clear();

    // One tag's values come in attribute order, not page order.
    std::stable_sort(records.begin(), records.end(),
                     [](const UrlRecord& a, const UrlRecord& b) { return a.position < b.position; });

    // Lines only where a report may need them: external URLs and links that resolve to nothing.
    const bool reportable = std::any_of(records.begin(), records.end(), [](const UrlRecord& url) {
        return url.has(UrlRecord::kExternal) || !url.target;
    });
    if (reportable) {
        std::vector<std::int64_t> positions;
        positions.reserve(records.size());
        for (const UrlRecord& url : records)
            positions.push_back(url.position);
        out.lines = linesOfPositions(text, positions);
        for (std::size_t i = 0; i < records.size(); ++i)
            if (!records[i].has(UrlRecord::kExternal) && records[i].target) out.lines[i] = 0;
    }
    // Each fragment to its record, now that the records stand in page order.
    std::vector<FragmentRef>& fragments = scratch.fragments;
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        const std::int64_t position = scratch.fragmentRecords[i];
        fragments[i].record = FragmentRef::kSamePage;
        if (position < 0) continue;
        const auto at =
            std::lower_bound(records.begin(), records.end(), position,
                             [](const UrlRecord& url, std::int64_t p) { return url.position < p; });
        // Every fragment was noted with a record that was kept; one that is not found names none.
        fragments[i].record = at != records.end() && at->position == position
                                  ? static_cast<std::uint32_t>(at - records.begin())
                                  : FragmentRef::kNoRecord;
    }
    // Offsets differ: no two fragments stand at one place.
    if (!std::is_sorted(fragments.begin(), fragments.end(),
                        [](const FragmentRef& a, const FragmentRef& b) { return a.offset < b.offset; }))
        std::sort(fragments.begin(), fragments.end(),
                  [](const FragmentRef& a, const FragmentRef& b) { return a.offset < b.offset; });
    out.fragments.assign(fragments.begin(), fragments.end());
    out.anchors.assign(scratch.anchors.begin(), scratch.anchors.end());
    if (!tags.syntaxErrors().empty()) out.errorLines = linesOfErrors(tags, text);
    out.errors = tags.takeErrors();
    if (out.baseChanged) out.base = std::move(base);

    // An exact-size copy: a million records leave no spare capacity behind.
    out.records.reserve(records.size());
    std::move(records.begin(), records.end(), std::back_inserter(out.records));
    records.clear();
    out.ready = true;
}

// ---- PagePrefetcher

namespace {

// Prepared pages not yet taken. They hold no text and their records end up on the nodes anyway, so the
// bound only keeps the thread from running far ahead of a walk that goes elsewhere.
constexpr std::size_t kMaxAhead = 4096;

}  // namespace

PagePrefetcher::PagePrefetcher(Node& top, const UrlContext& context) : context_(&context) {
    TypedWalk<Node*> it(&top);
    for (it.first(); !it.isDone(); it.next()) {
        const auto* page = dynamic_cast<const HtmlNode*>(it.currentItem());
        if (!page || !page->isHtml() || page->linksFound() ||
            isKorvelOutputFile(context.topDir(), page->path()))
            continue;
        indexOf_.emplace(page, pages_.size());
        pages_.push_back(page);
    }
    states_.assign(pages_.size(), State::Waiting);
    results_.resize(pages_.size());
    thread_ = std::thread([this] { run(); });
}

PagePrefetcher::~PagePrefetcher() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

std::unique_ptr<PreparedPage> PagePrefetcher::take(const HtmlNode& page) {
    const auto found = indexOf_.find(&page);
    if (found == indexOf_.end()) return nullptr;
    const std::size_t i = found->second;
    std::unique_ptr<PreparedPage> result;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // The thread reads the page's base while it works on it: the walk must not change it meanwhile.
        changed_.wait(lock, [&] { return states_[i] != State::Working; });
        const bool done = states_[i] == State::Done;
        states_[i] = State::Taken;
        if (!done) return nullptr;
        result = std::move(results_[i]);
        --ahead_;
    }
    changed_.notify_all();
    if (!result->ready) return nullptr;
    return result;
}

void PagePrefetcher::run() {
    PageScratch scratch;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || ahead_ < kMaxAhead; });
            if (stop_) return;
            if (states_[i] != State::Waiting) continue;
            states_[i] = State::Working;
        }
        auto prepared = std::make_unique<PreparedPage>();
        bool made = true;
        try {
            preparePage(*pages_[i], *context_, false, *prepared, scratch);
        } catch (...) {
            // Out of memory here is no reason to end the job: the walk reads the page itself.
            made = false;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (made) {
                ++ahead_;
                results_[i] = std::move(prepared);
                states_[i] = State::Done;
            } else {
                states_[i] = State::Waiting;
            }
        }
        changed_.notify_all();
    }
}

}  // namespace korvel
