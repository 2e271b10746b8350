#pragma once
// Link finding: reads each page once, reports its syntax errors, and leaves its URL records on its node for
// the web walk, the link update and the reports.
//
// A job runs it twice over one LinkIndex:
//     UrlContext context(&tree, settings.Server, settings.ServerDefaultFiles);
//     LinkIndex found(context);
//     ReachedNodes urlMap;
//     { LinkFinder find(found, &urlMap, job);        // from the home page, through the web of pages
//       Traversal<LinkWalk<Node*>> pass(home, find); pageCount = pass.run(...); }
//     { LinkFinder find(found, nullptr, job);        // every page of the tree, so that none goes unread
//       Traversal<TypedWalk<Node*>> pass(&tree.top(), find); pass.run(...); }
// The second walk reads no page the first one read (or failed to open). An PagePrefetcher given to both
// visitors (usePrefetch) reads and scans pages on a second thread ahead of them; the report stays the same.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "html/css.h"
#include "html/scanner.h"
#include "html/url.h"
#include "site/job_context.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// The nodes that the link walk from the home page reached: the home page, and every page and file that a
// local link of a reached page resolves to. Directories are never in it.
using ReachedNodes = std::unordered_set<const Node*>;

// What link finding read in one style sheet file. Its records are the file's own: resolved against the
// file's directory, listed by the link reports under its path, and rewritten by a fix like a page's.
struct StyleSheetLinks {
    bool read = false;                 // false: it could not be opened (reported once)
    std::vector<UrlRecord> urls;       // in file order
    std::vector<std::uint32_t> lines;  // the 1-based line of each record
};

// A syntax error of a page, kept for a report that is not the log's text.
struct FoundSyntaxError {
    const HtmlNode* page = nullptr;
    std::uint32_t line = 0;  // 1-based
    html::SyntaxErrorKind kind = html::SyntaxErrorKind::NoClose;
};

// A link's "#fragment", kept for the anchor check that follows once every page is read. The fragment's text
// stays in the page: only the few that name nothing are read back.
struct FragmentRef {
    static constexpr std::uint32_t kSamePage = UINT32_MAX;
    static constexpr std::uint32_t kNoRecord = UINT32_MAX - 1;  // its record was not kept: not checked
    // anchorHash of the fragment as browsers compare it (character references read, percent-decoded).
    std::uint64_t hash = 0;
    std::uint32_t record = 0;  // the URL record it follows, whose target it names; kSamePage: the page itself
    std::uint32_t offset = 0;  // of the fragment's first byte (after the "#") in the page
    std::uint32_t length = 0;  // of the fragment as written
};

// A link whose fragment names no anchor of the page it leads to.
struct BrokenAnchor {
    static constexpr std::size_t kSamePage = SIZE_MAX;
    std::size_t record = kSamePage;     // into the page's URL records; kSamePage: a link within the page
    const HtmlNode* target = nullptr;   // the page the fragment was looked for in
    std::int64_t line = 1;
    std::string fragment;  // as the page writes it, without the "#"; "" when the page could not be read again
};

// The hash that anchor names and link fragments are compared by.
std::uint64_t anchorHash(std::string_view name);

// What link finding learns for the rest of the job, besides the URL records on the nodes: the pages that
// could not be opened (each is reported once per job) and the line of each record that a report may list
// (counted while the page's text was at hand, so that no report reads a page again). The job makes one
// after the scan and keeps it, with the UrlContext it refers to, until its last link report.
class LinkIndex;

// The lines of one page's URL records, with the page's kept lines looked up once: a report pass asks for
// the line of every record it lists.
class PageLines {
  public:
    // As LinkIndex::lineOf.
    std::int64_t operator()(std::size_t index) const;

  private:
    friend class LinkIndex;
    PageLines(HtmlNode& page, const LinkIndex& found) : page_(&page), found_(&found) {}
    HtmlNode* page_;
    const LinkIndex* found_;
    // Looked up at the first line asked for: most pages have no record a report lists.
    mutable bool looked_ = false;
    mutable const std::vector<std::uint32_t>* kept_ = nullptr;  // null: none kept, or records changed since
};

class LinkIndex {
  public:
    explicit LinkIndex(const UrlContext& context) : context_(&context) {}
    LinkIndex(const LinkIndex&) = delete;
    LinkIndex& operator=(const LinkIndex&) = delete;

    const UrlContext& context() const { return *context_; }
    html::UnreadablePages& unreadable() { return unreadable_; }
    const html::UnreadablePages& unreadable() const { return unreadable_; }

    // The 1-based line of record "index" of the page's URL records. Lines were kept for the records that
    // are external or resolve to nothing; for any other record (or when the records changed since), the
    // page's line index answers, which may read the page.
    std::int64_t lineOf(HtmlNode& page, std::size_t index) const;
    PageLines linesOf(HtmlNode& page) const;
    // Room for the kept lines of this many pages, so that keeping them does not rehash as pages come.
    void expectPages(std::size_t count) { lines_.reserve(count); }
    // Keeps "lines", one per URL record of the page (0 where none was counted).
    void setLines(const HtmlNode& page, std::vector<std::uint32_t> lines);

    // The style sheet "file" as link finding read it; null when it was not read as one.
    const StyleSheetLinks* styleSheet(const Node& file) const;
    StyleSheetLinks* styleSheet(const Node& file);
    // Reads the style sheet "file" unless this job tried it before; one that cannot be opened is reported
    // ("During scan, " and "File open failed") and has no records.
    const StyleSheetLinks& readStyleSheet(const FileNode& file);
    // Everything the style sheet "file" loads, each once: the targets of its local links, and through the
    // style sheets among them (read as needed; cycles end), theirs. Worked out once per job.
    const std::vector<Node*>& styleSheetReach(const FileNode& file);

    // Off by default: only a job asked for its findings as data pays for the list.
    void keepSyntaxErrors(bool keep) { keepSyntaxErrors_ = keep; }
    bool keepsSyntaxErrors() const { return keepSyntaxErrors_; }
    // The syntax errors of the pages read while keeping them, page by page in reading order.
    const std::vector<FoundSyntaxError>& syntaxErrors() const { return syntaxErrors_; }
    void addSyntaxError(const FoundSyntaxError& error) { syntaxErrors_.push_back(error); }

    // Keeps what link finding gathered for the anchor check: the page's anchor names ("names": anchorHash
    // values of its ids and of its links' names, in any order) and its links' fragments (in page order).
    void setAnchors(const HtmlNode& page, std::vector<std::uint64_t> names,
                    std::vector<FragmentRef> fragments);
    // The links of "page", in page order, whose fragment names no anchor of the local page they lead to.
    // Links that lead nowhere, or out of the site, or to what is not a page, are not among them. Reads the
    // page again, once, only when it has such links: for their fragments and lines. What it found is kept
    // and given again, so that a report made after a fix rewrote the page lists what the page held when
    // it was read. Not to be called from two threads at once.
    const std::vector<BrokenAnchor>& brokenAnchors(const HtmlNode& page) const;

  private:
    friend class PageLines;
    const UrlContext* context_;
    html::UnreadablePages unreadable_;
    std::unordered_map<const HtmlNode*, std::vector<std::uint32_t>> lines_;
    struct PageAnchors {
        std::vector<std::uint64_t> names;
        std::vector<FragmentRef> fragments;
        // The page's record count when they were kept: the indices hold while it does.
        std::size_t records = 0;
    };
    std::unordered_map<const HtmlNode*, PageAnchors> anchors_;
    mutable std::unordered_map<const HtmlNode*, std::vector<BrokenAnchor>> brokenAnchors_;
    // Per page, the fragments asked of it that name none of its anchors (sorted hashes); made at the first
    // question, once every page is read.
    mutable std::unordered_map<const HtmlNode*, std::vector<std::uint64_t>> missing_;
    mutable std::unordered_set<const HtmlNode*> pagesWithMissing_;  // the pages that link to such fragments
    mutable bool missingKnown_ = false;
    // What fragment "ref" of "page" names an anchor of: the page itself or its record's target; null for a
    // link out of the site or to nothing.
    const Node* fragmentNode(const HtmlNode& page, const PageAnchors& kept, const FragmentRef& ref) const;
    // "target" as a page whose anchors are known; null when it is none.
    const HtmlNode* checkedPage(const Node* target) const;
    void findMissingAnchors() const;
    bool keepSyntaxErrors_ = false;
    std::vector<FoundSyntaxError> syntaxErrors_;
    struct StyleSheetEntry {
        StyleSheetLinks links;
        bool reachKnown = false;
        std::vector<Node*> reach;
    };
    std::unordered_map<const Node*, StyleSheetEntry> styleSheets_;
};

// What reading one page gives link finding, made without touching the log, the page node or anything
// shared that changes: so another thread may make it ahead of the walk.
struct PreparedPage {
    bool ready = false;    // false: the page could not be read whole; the walk reads it again and reports
    html::TagList errors;  // the syntax errors alone
    std::vector<std::uint32_t> errorLines;  // the line of each syntax error, in the list's order
    std::vector<UrlRecord> records;
    std::vector<std::uint32_t> lines;  // per record, or empty when no report needs them
    bool baseChanged = false;
    std::string base;  // the page's base after its last base tag
    std::vector<std::uint64_t> anchors;  // anchorHash of each anchor name, in page order
    std::vector<FragmentRef> fragments;  // in page order
};

// What preparing a page works in, kept by the caller from page to page: most pages of a site are alike, so
// the memory of one serves the next without going back to the allocator (or the kernel) each time. It holds
// at most the bytes of one page.
struct PageScratch {
    html::PageReader file;
    html::TagList tags;
    std::vector<html::UrlValue> values;
    std::vector<UrlRecord> records;
    std::vector<html::StyleRef> styleRefs;
    std::vector<std::uint64_t> anchors;
    std::vector<FragmentRef> fragments;
    // Per fragment, the position of its record; -1: the page itself.
    std::vector<std::int64_t> fragmentRecords;
    std::string decoded;
    std::string references;
};

// Reads "page" (reporting nothing when "report" is false) and prepares its findings into "out".
void preparePage(const HtmlNode& page, const UrlContext& context, bool report, PreparedPage& out,
                 PageScratch& scratch);

// Prepares the pages below a directory on a second thread, in tree order, a bounded number ahead of what
// the walks have taken, so that the two cores share link finding. Every write to the log or to a node
// stays with the walk, in its own order: the report is the same as without it.
class PagePrefetcher {
  public:
    // Lists the pages below "top" that link finding would read, then starts the thread.
    PagePrefetcher(Node& top, const UrlContext& context);
    // Stops the thread; results not taken are dropped.
    ~PagePrefetcher();
    PagePrefetcher(const PagePrefetcher&) = delete;
    PagePrefetcher& operator=(const PagePrefetcher&) = delete;

    // The prepared page, waiting if it is being prepared; null when the walk must read the page itself
    // (not listed, not prepared yet, or not readable quietly). Either way the thread no longer takes it.
    std::unique_ptr<PreparedPage> take(const HtmlNode& page);

  private:
    enum class State : std::uint8_t { Waiting, Working, Done, Taken };
    void run();

    const UrlContext* context_;
    std::vector<const HtmlNode*> pages_;
    std::unordered_map<const HtmlNode*, std::size_t> indexOf_;  // fixed before the thread starts
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<State> states_;
    std::vector<std::unique_ptr<PreparedPage>> results_;
    std::size_t ahead_ = 0;  // prepared and not taken
    bool stop_ = false;
    std::thread thread_;
};

// Builds each visited page's URL records (once per job: a page whose links were found is not read again),
// hands its syntax errors to the job's report (and into the found links' list when it keeps one)
// and records every visited page and file in the URL map. Korvel's own output files are neither read nor
// recorded. "count" is not used.
// Style sheets: a page's <style> blocks and style attributes give URL records of the page (preparePage).
// The style sheet files a page names (html::isStyleSheetTarget) are read, and whatever they load, through
// their imports too, becomes a link target of the page (HtmlNode::addLinkTarget), so that the walk from
// the home page reaches it. A visited file named "*.css" is read as a style sheet even when no page names
// it, so that its broken links are reported like those of a page that no link reaches.
class LinkFinder : public Visitor {
  public:
    // "urlMap" may be null: the walk over the whole tree only needs the pages read.
    LinkFinder(LinkIndex& found, ReachedNodes* urlMap, const JobContext& job);
    ~LinkFinder() override;
    LinkFinder(const LinkFinder&) = delete;
    LinkFinder& operator=(const LinkFinder&) = delete;

    // Records the file; true.
    bool visitFile(FileNode& node) override;
    // Records the page and finds its links; true when the page was read (its links found now or before),
    // false when it could not be opened.
    bool visitHtml(HtmlNode& node) override;

    // Pages this visitor read successfully (syntax errors or not), not counting those read before.
    std::uint32_t parsedCount() const { return parsedCount_; }
    // Takes pages prepared ahead from "prefetch" (may be null) instead of reading them.
    void usePrefetch(PagePrefetcher* prefetch) { prefetch_ = prefetch; }

  private:
    bool isOwnOutput(const Node& node) const;
    // Reads and scans the page and makes its URL records. False when it could not be opened.
    bool findLinks(HtmlNode& page);
    // Makes what the page's style sheets load link targets of the page.
    void addStyleTargets(HtmlNode& page);
    void keepSyntaxErrors(const HtmlNode& page, const html::TagList& tags,
                          const std::vector<std::uint32_t>& lines);

    LinkIndex* found_;
    ReachedNodes* urlMap_;
    report::ReportSink* report_;
    PagePrefetcher* prefetch_ = nullptr;
    PreparedPage prepared_;  // a page read by the walk itself
    std::uint32_t parsedCount_ = 0;
    PageScratch scratch_;
};

// The records of a style sheet file's text "text", resolved against "base" (the file's directory), with
// the line of each.
void prepareStyleSheet(std::string_view text, std::string_view base, const UrlContext& context,
                       StyleSheetLinks& out);

// The 1-based line of each of "positions" (ascending offsets into "text"), counted as a file's line index
// counts: a CR LF pair ends one line, a lone CR or LF ends one line each. Positions past the end count all
// the text's lines.
std::vector<std::uint32_t> linesOfPositions(std::string_view text,
                                            const std::vector<std::int64_t>& positions);

}  // namespace korvel
