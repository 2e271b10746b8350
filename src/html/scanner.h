#pragma once
// The HTML scanner: cuts a page into tag and comment-marker records, reports the page's syntax errors, and
// picks out the attribute values that may carry URLs. It knows tags, attributes (quoted and unquoted) and
// comments, nothing else: no entities, scripts or document structure. The style sheets that stand in a
// page are read by css.h.
//
// Use, once per page:
//     TagList tags = tokenize(page, syntaxSection, &unreadable);
//     if (tags.status() == kScanOpenFailed) ...      // already reported; the page counts as not parsed
//     std::vector<UrlValue> values;
//     for (const HtmlTag& tag : tags.tags()) { values.clear(); urlValuesOf(tags, tag, values); ... }
//     // the TagList goes out of scope (or clear()): that is the end of the page's tags
//
// The page node keeps no tags: a TagList lives for one page's scan and is dropped right after the page's
// URL records are made, so at most one page's tags are held at a time. Neither the node nor the TagList
// keeps the page's text; names and values are copied out of it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/file_info.h"

namespace korvel {
class Node;
class HtmlNode;
class ReportSection;
}  // namespace korvel

namespace korvel::html {

// What a scan of one page came to.
enum ScanStatus : int {
    kScanClean = 0,         // read, no syntax errors
    kScanOpenFailed = 1,    // the page could not be opened (reported once per job, see UnreadablePages)
    kScanNotHtml = 2,       // for link finding: the node is not a page (the scanner itself never returns it)
    kScanSyntaxErrors = 3,  // read, with at least one syntax error (still a successful parse)
};

enum class SyntaxErrorKind : std::uint8_t {
    NoClose,           // a tag name followed directly by "<", or "<" met among a tag's attributes
    NoStart,           // ">" outside a tag and outside a comment
    UnmatchedComment,  // "-->" with no comment open
    EndQuote,          // a quoted value with no closing quote before the end of the page
};

// The string id of the report's message for a syntax error of "kind" (its "%1" takes the page).
int syntaxErrorMessageId(SyntaxErrorKind kind);
// The kind's name in the report's records: "no-close", "no-start", "unmatched-comment", "end-quote".
std::string_view syntaxErrorKindName(SyntaxErrorKind kind);

struct SyntaxError {
    SyntaxErrorKind kind;
    std::int64_t offset;  // the byte whose line the report names
};

// One attribute as written in a tag.
struct HtmlAttribute {
    std::string name;           // lower-cased (ASCII)
    std::string value;          // as written, case kept; empty for an attribute without "="
    std::int64_t position = 0;  // first byte of the value (after an opening quote); of the name when no "="
};

// One tag or comment marker.
struct HtmlTag {
    std::string name;        // lower-cased (ASCII); comment markers are "<!--" and "-->"
    std::int64_t start = 0;  // offset of the "<" (for "-->": of its first "-")
    std::int64_t end = 0;    // offset of the closing ">"; the page's length when the page ends inside the tag
    bool endTag = false;     // "</name", and every "-->"
    bool hasStyle = false;   // has a "style" attribute, or is a <style> start tag: css.h reads its style
    // Has an "id", "name", "href" or "usemap" attribute: link finding looks for anchors and fragments only in
    // such a tag, noted while the names are at hand so that the many others are passed over.
    bool mayNameOrLink = false;
    std::size_t firstAttribute = 0;  // into TagList::attributes()
    std::size_t attributeCount = 0;
};

// The tags of one page in page order, with their attributes and the page's syntax errors. Tags inside
// comments are recorded like any other; no nesting is kept.
class TagList {
  public:
    ScanStatus status() const { return status_; }
    const std::vector<HtmlTag>& tags() const { return tags_; }
    // Every attribute of "tag" in the order written; a name written twice appears twice.
    // Inline: asked for every tag of every page.
    std::span<const HtmlAttribute> attributes(const HtmlTag& tag) const {
        if (tag.firstAttribute >= attributes_.size()) return {};
        const std::size_t count = std::min(tag.attributeCount, attributes_.size() - tag.firstAttribute);
        return {attributes_.data() + tag.firstAttribute, count};
    }
    // The attribute "lowerName" of "tag": when the name is written twice, the later one wins. Null when
    // absent.
    const HtmlAttribute* attribute(const HtmlTag& tag, std::string_view lowerName) const;
    const std::vector<SyntaxError>& syntaxErrors() const { return errors_; }
    // Forgets every tag, attribute and error (and their memory).
    void clear();
    // Forgets the tags and attributes but keeps the syntax errors, for a report written later.
    void clearTags();
    // Hands over the status and syntax errors, for a report written later; the tags, attributes and their
    // memory stay for the next page's scan.
    TagList takeErrors();

  private:
    friend class TagBuilder;
    friend void scanText(std::string_view text, TagList& tags);
    ScanStatus status_ = kScanClean;
    std::vector<HtmlTag> tags_;
    std::vector<HtmlAttribute> attributes_;
    std::vector<SyntaxError> errors_;
};

// A page's bytes, read whole. A page that cannot be opened is reported ("During scan, " and "File open
// failed" with its path) and isOpen() is false; a read that fails partway is reported once ("File read
// failed") and the page then ends where the reading stopped.
class PageReader {
  public:
    PageReader() = default;
    virtual ~PageReader() = default;
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // Reads the file at "path"; false (reported) when it cannot be opened. With "report" false nothing is
    // reported (another thread may not write the log): the caller checks isOpen() and readFailed().
    // The memory of the page read before is reused.
    bool load(std::string_view path, bool report = true);
    bool isOpen() const { return open_; }
    bool readFailed() const { return readFailed_; }
    std::string_view text() const { return text_; }
    // Gives the memory back once the page is scanned.
    void release();

  protected:
    // One block of the file at "offset": bytes read, 0 at the end, -1 on error. A seam for tests that make
    // a read fail partway.
    virtual std::int64_t readBlock(const platform::ReadFile& file, std::int64_t offset, char* buffer,
                                   std::size_t count, std::error_code& ec);

  private:
    std::string text_;
    bool open_ = false;
    bool readFailed_ = false;
};

// The pages of one job that could not be opened, so that each is reported once however many passes try
// it. The job (or whatever runs its link passes) owns one and hands it to every tokenize of the job.
class UnreadablePages {
  public:
    bool contains(const Node* page) const { return pages_.count(page) != 0; }
    void add(const Node* page) { pages_.insert(page); }

  private:
    std::unordered_set<const Node*> pages_;
};

// Cuts "text" into tags. Pure: writes nothing anywhere; the errors are in the result.
TagList scanText(std::string_view text);
// The same into "tags", whose earlier content goes and whose memory is reused.
void scanText(std::string_view text, TagList& tags);

// Reads the page at its current path and scans it, then writes its syntax errors into "syntaxErrors"
// (which may be null: the status still tells). A page that cannot be opened gives kScanOpenFailed and no
// tags; with "unreadable", a page it already holds is not tried again and nothing more is reported.
TagList tokenize(HtmlNode& page, ReportSection* syntaxErrors, UnreadablePages* unreadable = nullptr);

// Writes one line per syntax error of "tags" into "section": the page's line of the error, the page's path
// shortened to 58 characters and padded to 62, and the message. Uses the page's line index (made from
// "text" when the page has none yet and "text" is not empty, so that the page is not read twice).
void reportSyntaxErrors(HtmlNode& page, const TagList& tags, ReportSection& section,
                        std::string_view text = {});
// The same with each error's line already counted ("lines": one per error, in the list's order), so that
// neither the page's text nor its line index is needed.
void reportSyntaxErrors(const HtmlNode& page, const TagList& tags, ReportSection& section,
                        const std::vector<std::uint32_t>& lines);

// ---- URL-bearing attributes

// The attributes that may carry a URL on any tag that is not plain, by their fixed index; the scan goes
// from the highest index down.
struct UrlAttribute {
    std::string_view name;
    bool embedded;  // the resource loads with the page (images, applets, backgrounds)
};
inline constexpr UrlAttribute kUrlAttributes[] = {
    {"action", false},    {"usemap", false}, {"dynsrc", true}, {"lowsrc", true},      {"codebase", true},
    {"background", true}, {"src", true},     {"href", false},  {"xlink:href", false},
};

// Tags never searched for URLs (markup only); "lowerName" as stored in a record.
bool isPlainTag(std::string_view lowerName);

// One raw value that link finding turns into a URL record.
struct UrlValue {
    std::string_view text;      // the value as written (lives as long as the TagList)
    std::int64_t position = 0;  // first byte of the value
    bool isBase = false;        // from a "base" tag
    bool baseHref = false;      // the href of a "base" tag: the page's later values resolve against it
    bool embedded = false;      // from an attribute whose resource loads with the page
    bool frame = false;         // from a "frame" or "iframe" tag: the page it names loads with this one
    bool styleSheet = false;    // the href of a link whose rel names a style sheet
    bool withinValue = false;   // one URL among other text of its value: a srcset candidate, a refresh's URL
};

// Appends the URL-bearing values of "tag" in the order their records are to be made: the URL attributes
// from the highest index down, then the value of a hidden "redirect" input (type="hidden" name="redirect",
// any case), then the values that only some tags give a URL: every candidate of an img's or source's
// srcset, a video's poster, an object's data, the cite of blockquote, q, del and ins, and the URL in the
// content of <meta http-equiv="refresh">. The href of a <link rel="stylesheet"> is marked as naming a
// style sheet. What loads with the page is marked embedded: besides the embedded attributes, srcset,
// poster and data, the href and xlink:href of SVG's use and image, and the href of a link whose rel
// names an icon or a preload. An iframe's values are marked as a frame's. Nothing for end tags and plain
// tags (but for a blockquote's cite and a meta refresh); a value that is empty once cut at its fragment
// (or, with no "#", at its query) is left out.
void urlValuesOf(const TagList& tags, const HtmlTag& tag, std::vector<UrlValue>& out);

}  // namespace korvel::html
