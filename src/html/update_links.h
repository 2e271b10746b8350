#pragma once
// Link update: which local links of a page must change once files get their new names (or once links are
// to be written in another form), what each must become, and the report of those changes.
//
// The work is split so that a check and a fix share it exactly: LinkUpdatePlanner turns a page's URL
// records into a list of edits (byte range and new text), the pass LinkUpdatePass reports the edits, and
// only a fix hands them to a writer (LinkWriter), which applies them to the page's bytes with
// applyLinkEdits. A check never opens a page: it works from the URL records that link finding left on the
// nodes and from the nodes' new names.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/job_settings.h"
#include "site/url_record.h"
#include "site/visitor.h"

namespace korvel {

class LinkIndex;
class Node;
class FileNode;
class HtmlNode;
class UrlContext;

// One link of a page to rewrite: the bytes "position" to "end" (both included: the link as written, cut
// before its fragment or query, which stay in place) become "newText", encoded for the attribute it stands
// in (linkBytes).
struct LinkEdit {
    std::size_t record = 0;     // the URL record's index in the page's list
    std::int64_t position = 0;  // first byte replaced
    std::int64_t end = 0;       // last byte replaced
    std::string newText;        // decoded, as the report shows it
    std::size_t keep = 0;       // leading bytes of newText (scheme and authority) written as they are
};

// The quote that encloses the attribute value whose link starts at "position" in "page": '"', '\'', or 0
// for an unquoted value. Read from the byte before the value (white space inside the quotes skipped).
// '(' for the URL of a style sheet's url(), quoted or not.
char attributeQuote(std::string_view page, std::int64_t position);

// The "quote" of a URL that stands among other text of its value (a srcset candidate, a refresh's URL):
// a comma would end a srcset candidate there, and the value's own quote is not the byte before the URL.
inline constexpr char kWithinValueQuote = ',';

// The quote to write the link of "url" in "page" with: kWithinValueQuote for a URL that stands among other
// text of its value, attributeQuote otherwise.
char linkQuote(std::string_view page, const UrlRecord& url);

// The bytes that stand for "text" in an attribute enclosed by "quote" ('"', '\'' or 0; '(' in a url();
// kWithinValueQuote). The first "keep" bytes are copied; the rest is percent-encoded like any canonical
// link path, and besides: the quote of the attribute's own kind (both quotes when unquoted, both quotes
// and the parentheses in a url(), both quotes and the comma within a value), white space, control bytes
// and bytes of 128 and above, so that no name can end the value early or be dropped by a browser.
std::string linkBytes(std::string_view text, std::size_t keep, char quote);

// Applies "edits" (of the page whose URL records are "urls") to the page's bytes "page", into "out". False,
// with "out" unspecified, when the page no longer holds at any edit the link its record was made from (the
// file changed since it was scanned), or when the edits are not in page order, overlap, or leave the page.
// A link in style sheet text is compared through its CSS escapes, and written without them.
// "changed" receives how many links got other bytes than they had.
bool applyLinkEdits(std::string_view page, const std::vector<UrlRecord>& urls,
                    std::span<const LinkEdit> edits, std::string& out, std::size_t& changed);

// Works out the edits of a page. Lives for one pass, so that it can remember the new site-relative path of
// every directory it has needed.
class LinkUpdatePlanner {
  public:
    // "conversion": kUrlKeep, kUrlRelative, kUrlRoot or kUrlAbsolute (absolute needs a server name in
    // "context"; see canConvert). Reverting is the undo's business and is planned there.
    // "namesOnDisk": links name each file and directory by the name it has now, new names ignored. A fix
    // plans after its renaming, when a node's current name is the one it really has: a rename that failed
    // or was skipped left it under its old name.
    LinkUpdatePlanner(const UrlContext& context, UrlConversion conversion, bool namesOnDisk = false);

    // Whether links can be written in "conversion" form with the configured server: absolute form needs a
    // server name.
    static bool canConvert(const UrlContext& context, std::int32_t conversion);

    // Replaces "edits" with the page's edits, in page order. Only resolved local links are ever edited; a
    // link whose new text and bytes would be the ones it has gets no edit.
    void planPage(const HtmlNode& page, std::vector<LinkEdit>& edits);
    // The same for the records "urls" of "file" (a style sheet's), which resolve from the file's directory.
    void planLinks(const Node& file, const std::vector<UrlRecord>& urls, std::vector<LinkEdit>& edits);

  private:
    bool planSameForm(const UrlRecord& url, const Node* named, LinkEdit& edit);
    // Whether the names that the link's path "text[start, cut)" spells after its last ".." are those its
    // target and the target's directories keep, byte for byte: then no segment changes. False also when
    // it cannot tell at a glance (dot or empty segments).
    bool spellsFinalNames(std::string_view path, const Node* named) const;
    bool planConversion(const UrlRecord& url, const Node* named, const Node* fromDir, LinkEdit& edit);
    // The path of "node" below the top directory once every pending rename is done: "/" for the top,
    // "/docs/" for a directory, "/docs/a.html" for a file.
    void appendSitePath(const Node* node, std::string& out);
    const std::string& directorySitePath(const Node* dir);
    // The name a link gives "node": its new name, unless the names on disk are asked for or it has none.
    std::string_view finalName(const Node& node) const;

    // A segment of a link text that names a node with a new name.
    struct Segment {
        std::size_t start = 0;
        std::size_t end = 0;  // one past its last byte
        const Node* node = nullptr;
    };

    const UrlContext* context_;
    UrlConversion conversion_;
    bool namesOnDisk_;
    std::unordered_map<const Node*, std::string> directoryPaths_;
    std::vector<Segment> segments_;  // scratch, last segment of the text first
    std::string base_;               // scratch: the base the page's links resolve against
};

// Applies the edits of a page, or of a style sheet that link finding read, to the file on disk. The fix
// job provides one; a check has none.
class LinkWriter {
  public:
    virtual ~LinkWriter() = default;
    // True when the file was rewritten with every edit: then each edited URL record holds its new text
    // and, like every other record of the file, the position of its bytes in the new file. False when the
    // file and its records were left as they were (the writer has said why in the errors section).
    virtual bool rewrite(FileNode& file, std::span<const LinkEdit> edits) = 0;
};

// The pass that lists, page by page, every local link that must change, with its old and its new text;
// with a writer it also has the pages rewritten. Style sheets that link finding read are pages here too.
// Links written in style sheet text keep their form whatever "conversion" asks: only a name changes
// them. Section "SUGGESTED URL LINK RENAMING:" without a writer,
// "URL LINK RENAMING:" with one. A page counts (visitHtml returns true) when it has at least one edit (and,
// with a writer, was rewritten): with a writer, a page is listed only once it was rewritten, and links
// are planned to the names the files have on disk (see LinkUpdatePlanner).
class LinkUpdatePass : public Visitor {
  public:
    // "found": what link finding left for the job (its URL context, and the lines of the records).
    // "conversion": the job's AbsRelCnvrt. Absolute form without a server name is refused: the section
    // says so and no page is looked at. Without a writer, kUrlRevert plans as kUrlKeep: a check has
    // nothing to revert, and its report shows what keeping each link's form asks for. With a writer it is
    // refused: reverting is planned by the undo, from what the fix wrote.
    LinkUpdatePass(const LinkIndex& found, std::int32_t conversion, LinkWriter* writer = nullptr);
    ~LinkUpdatePass() override;

    bool visitHtml(HtmlNode& page) override;
    // A style sheet that link finding read: as a page.
    bool visitFile(FileNode& file) override;

    bool refused() const { return refused_; }
    std::uint32_t fileCount() const { return fileCount_; }

  private:
    // Lists the edits of the file whose records are "urls"; "oldTexts" (one per edit) are the links as
    // they were before a rewrite.
    void report(FileNode& file, const std::vector<UrlRecord>& urls, const std::vector<std::string>* oldTexts);
    // Lists the planned edits of a file behind a symbolic link, which is never rewritten, and says so (with
    // a writer, in the errors section too); false: the file does not count as rewritten.
    bool reportSymlink(FileNode& file, const std::vector<UrlRecord>& urls);

    const LinkIndex* found_;
    LinkUpdatePlanner planner_;
    LinkWriter* writer_;
    bool refused_ = false;
    bool needed_ = false;  // some page had links to change, rewritten or not
    std::uint32_t fileCount_ = 0;
    std::vector<LinkEdit> edits_;  // the page being visited; kept to reuse its memory
    std::vector<std::string> oldTexts_;
};

}  // namespace korvel
