#include "html/scanner.h"
#include "platform/ascii.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/shorten_path.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/node.h"

namespace korvel::html {

namespace {

// Byte classes, so that each hot loop costs one table lookup per byte. Bytes are unsigned; white space is
// exactly blank, tab, line feed, vertical tab, form feed and carriage return, whatever the locale.
enum ByteClass : std::uint8_t {
    kSpace = 1,        // the six white-space bytes
    kTagMark = 2,      // "<" ">"
    kWordEnd = 4,      // white space, "<", ">": ends a tag name or an unquoted value
    kAttrNameEnd = 8,  // white space, "<", ">", "=": ends an attribute name
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        classes[c] = kSpace | kWordEnd | kAttrNameEnd;
    for (const unsigned char c : {'<', '>'})
        classes[c] = kTagMark | kWordEnd | kAttrNameEnd;
    classes[static_cast<unsigned char>('=')] = kAttrNameEnd;
    return classes;
}
constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

using platform::asciiLower;

std::string lowerCopy(std::string_view text) {
    return platform::asciiLower(text);
}

bool equalsLower(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (asciiLower(text[i]) != lower[i]) return false;
    return true;
}

// The value up to its last "#"; with no "#", up to its last "?". Only its emptiness matters here.
std::string_view cutAtFragment(std::string_view value) {
    std::size_t cut = value.rfind('#');
    if (cut == std::string_view::npos) cut = value.rfind('?');
    return cut == std::string_view::npos ? value : value.substr(0, cut);
}

// What a link's rel attribute says of the resource its href names.
struct LinkRel {
    bool styleSheet = false;  // the token "stylesheet" ("stylesheet", "alternate stylesheet")
    bool loads = false;       // loaded with the page: "icon" ("shortcut icon"), "preload", "modulepreload"
};

LinkRel relOf(std::string_view rel) {
    LinkRel out;
    std::size_t at = 0;
    while (at < rel.size()) {
        while (at < rel.size() && (kClasses[static_cast<unsigned char>(rel[at])] & kSpace) != 0)
            ++at;
        std::size_t end = at;
        while (end < rel.size() && (kClasses[static_cast<unsigned char>(rel[end])] & kSpace) == 0)
            ++end;
        const std::string_view token = rel.substr(at, end - at);
        if (equalsLower(token, "stylesheet")) out.styleSheet = true;
        if (equalsLower(token, "icon") || equalsLower(token, "preload") ||
            equalsLower(token, "modulepreload"))
            out.loads = true;
        at = end;
    }
    return out;
}

// White space as a srcset or a refresh's content knows it.
constexpr bool isValueSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Calls "take(offset, length)" for the URL of each image candidate of a srcset value, as a browser splits
// it: candidates are separated by commas, a URL runs to white space (commas inside it, as in a data: URL,
// are its own) but not through the commas that end it, and the descriptors after it ("2x", "480w") run
// to a comma outside parentheses.
template <typename Take>
void forEachSrcsetUrl(std::string_view value, Take take) {
    const std::size_t n = value.size();
    std::size_t at = 0;
    for (;;) {
        while (at < n && (isValueSpace(value[at]) || value[at] == ','))
            ++at;
        if (at >= n) return;
        const std::size_t start = at;
        while (at < n && !isValueSpace(value[at]))
            ++at;
        if (value[at - 1] == ',') {
            // The commas end the candidate; the leading skip ensures the URL is not all commas.
            std::size_t end = at;
            while (value[end - 1] == ',')
                --end;
            take(start, end - start);
            continue;
        }
        take(start, at - start);
        bool inParentheses = false;
        for (; at < n; ++at) {
            const char c = value[at];
            if (inParentheses) {
                inParentheses = c != ')';
            } else if (c == '(') {
                inParentheses = true;
            } else if (c == ',') {
                ++at;
                break;
            }
        }
    }
}

// The URL in the content of a meta refresh ("5; url=next.html", "0;URL='a.html'", "3, b.html"), read as a
// browser reads it: its offset and length, or a length of 0 when the content names no URL (a refresh of
// the page itself) or is not a refresh's.
std::pair<std::size_t, std::size_t> refreshUrlOf(std::string_view content) {
    const std::size_t n = content.size();
    std::size_t at = 0;
    const auto skipSpace = [&] {
        while (at < n && isValueSpace(content[at]))
            ++at;
    };
    const auto isDigit = [&](std::size_t i) { return i < n && content[i] >= '0' && content[i] <= '9'; };
    const auto isLetter = [&](char lower) { return at < n && asciiLower(content[at]) == lower; };
    skipSpace();
    const std::size_t digits = at;
    while (isDigit(at))
        ++at;
    if (at == digits && (at >= n || content[at] != '.')) return {0, 0};
    while (isDigit(at) || (at < n && content[at] == '.'))
        ++at;
    if (at < n) {
        if (content[at] != ';' && content[at] != ',' && !isValueSpace(content[at])) return {0, 0};
        skipSpace();
        if (at < n && (content[at] == ';' || content[at] == ',')) ++at;
        skipSpace();
    }
    if (at >= n) return {0, 0};
    std::size_t start = at;
    // "url =" may come first; a text that only begins like it is the URL itself, quotes and all.
    bool mayBeQuoted = true;
    if (isLetter('u')) {
        ++at;
        mayBeQuoted = false;
        if (isLetter('r')) {
            ++at;
            if (isLetter('l')) {
                ++at;
                skipSpace();
                if (at < n && content[at] == '=') {
                    ++at;
                    skipSpace();
                    start = at;
                    mayBeQuoted = true;
                }
            }
        }
    }
    std::size_t end = n;
    if (mayBeQuoted && start < n && (content[start] == '"' || content[start] == '\'')) {
        const std::size_t close = content.find(content[start], start + 1);
        ++start;
        if (close != std::string_view::npos) end = close;
    }
    // A URL loses the white space and control bytes around it.
    while (start < end && static_cast<unsigned char>(content[start]) <= 0x20)
        ++start;
    while (end > start && static_cast<unsigned char>(content[end - 1]) <= 0x20)
        --end;
    return {start, end - start};
}

// Ordered by length, then bytes: most lookups are settled by comparing lengths.
constexpr bool shorterOrBefore(std::string_view a, std::string_view b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

constexpr std::array<std::string_view, 63> kPlainTags = {
    "b",       "i",        "p",        "br",       "dd",       "dl",        "dt",         "em",
    "h1",      "h2",       "h3",       "h4",       "h5",       "h6",        "h7",         "h8",
    "h9",      "hr",       "li",       "ol",       "tt",       "ul",        "-->",        "big",
    "dfn",     "dir",      "div",      "kbd",      "pre",      "sub",       "sup",        "var",
    "wbr",     "xmp",      "<!--",     "cite",     "code",     "font",      "head",       "html",
    "menu",    "meta",     "nobr",     "samp",     "blink",    "small",     "title",      "center",
    "nextid",  "select",   "strike",   "strong",   "address",  "caption",   "comment",    "listing",
    "marquee", "basefont", "frameset", "noframes", "textarea", "plaintext", "blockquote",
};

constexpr bool plainTagsSorted() {
    for (std::size_t i = 1; i < kPlainTags.size(); ++i)
        if (!shorterOrBefore(kPlainTags[i - 1], kPlainTags[i])) return false;
    return true;
}
static_assert(plainTagsSorted(), "the plain tag table is grouped by length: keep it in its order");

// A name of up to eight bytes as one number, so that a tag name is told from the table's names of its
// length by comparing numbers: every tag of every page is asked about.
constexpr std::uint64_t packedName(std::string_view name) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i)
        packed |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    return packed;
}

constexpr std::array<std::uint64_t, kPlainTags.size()> kPackedPlainTags = [] {
    std::array<std::uint64_t, kPlainTags.size()> packed{};
    for (std::size_t i = 0; i < kPlainTags.size(); ++i)
        packed[i] = packedName(kPlainTags[i]);
    return packed;
}();

// Where the names of each length begin in the table (the last entry: its end).
constexpr std::array<std::size_t, 12> kPlainTagsOfLength = [] {
    std::array<std::size_t, 12> first{};
    for (std::size_t length = 0; length < first.size(); ++length) {
        std::size_t i = 0;
        while (i < kPlainTags.size() && kPlainTags[i].size() < length)
            ++i;
        first[length] = i;
    }
    return first;
}();

// The line ends of "text" the way the file node keeps them: each CR, LF and CR LF pair (at its CR), then
// the length.
std::vector<std::int64_t> lineIndexOf(std::string_view text) {
    std::vector<std::int64_t> index;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        index.push_back(static_cast<std::int64_t>(i));
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
    }
    index.push_back(static_cast<std::int64_t>(n));
    return index;
}

int messageOf(SyntaxErrorKind kind) {
    switch (kind) {
        case SyntaxErrorKind::NoClose:
            return res::kSyntaxNoClose;
        case SyntaxErrorKind::NoStart:
            return res::kSyntaxNoStart;
        case SyntaxErrorKind::UnmatchedComment:
            return res::kSyntaxUnmatchedComment;
        case SyntaxErrorKind::EndQuote:
            return res::kSyntaxEndQuote;
    }
    return res::kSyntaxNoClose;
}

// What an attribute name means to link finding: its index in kUrlAttributes, one of the three fields of a
// hidden redirect input, or nothing. Settled by length first: this runs for every attribute of the site.
enum AttributeCode : int {
    kOtherAttribute = -1,
    kTypeAttribute = -2,
    kNameAttribute = -3,
    kValueAttribute = -4,
    kRelAttribute = -5,
    kSrcsetAttribute = -6,
    kPosterAttribute = -7,
    kDataAttribute = -8,
    kCiteAttribute = -9,
    kHttpEquivAttribute = -10,
    kContentAttribute = -11,
};
// The attributes that carry a URL on some tags only, and those that tell whether they do, each kept in a
// slot of its own: the slot is the negated code.
constexpr std::size_t kTagAttributeSlots = 12;
constexpr std::size_t slotOf(AttributeCode code) {
    return static_cast<std::size_t>(-code);
}
constexpr std::size_t kHrefIndex = 7;
constexpr std::size_t kXlinkHrefIndex = 8;

constexpr int attributeCode(std::string_view name) {
    switch (name.size()) {
        case 3:
            if (name == "src") return 6;
            return name == "rel" ? kRelAttribute : kOtherAttribute;
        case 4:
            if (name == "href") return 7;
            if (name == "type") return kTypeAttribute;
            if (name == "name") return kNameAttribute;
            if (name == "data") return kDataAttribute;
            if (name == "cite") return kCiteAttribute;
            return kOtherAttribute;
        case 5:
            return name == "value" ? kValueAttribute : kOtherAttribute;
        case 6:
            if (name == "action") return 0;
            if (name == "usemap") return 1;
            if (name == "dynsrc") return 2;
            if (name == "lowsrc") return 3;
            if (name == "srcset") return kSrcsetAttribute;
            if (name == "poster") return kPosterAttribute;
            return kOtherAttribute;
        case 7:
            return name == "content" ? kContentAttribute : kOtherAttribute;
        case 8:
            return name == "codebase" ? 4 : kOtherAttribute;
        case 10:
            if (name == "background") return 5;
            if (name == "xlink:href") return 8;
            return name == "http-equiv" ? kHttpEquivAttribute : kOtherAttribute;
        default:
            return kOtherAttribute;
    }
}

constexpr bool codesMatchTable() {
    for (std::size_t i = 0; i < std::size(kUrlAttributes); ++i)
        if (attributeCode(kUrlAttributes[i].name) != static_cast<int>(i)) return false;
    return true;
}
static_assert(codesMatchTable(), "attributeCode must give each URL attribute its index in kUrlAttributes");

constexpr std::size_t kReadBlock = std::size_t{1} << 20;

}  // namespace

int syntaxErrorMessageId(SyntaxErrorKind kind) {
    return messageOf(kind);
}

std::string_view syntaxErrorKindName(SyntaxErrorKind kind) {
    switch (kind) {
        case SyntaxErrorKind::NoClose:
            return "no-close";
        case SyntaxErrorKind::NoStart:
            return "no-start";
        case SyntaxErrorKind::UnmatchedComment:
            return "unmatched-comment";
        case SyntaxErrorKind::EndQuote:
            return "end-quote";
    }
    return "no-close";
}

// Walks one page's bytes once, front to back, appending records to a TagList. Every loop either consumes
// at least one byte or leaves for the outer loop at a byte it will consume, so a page costs time linear in
// its length whatever it holds.
class TagBuilder {
  public:
    TagBuilder(std::string_view text, TagList& out) : text_(text), n_(text.size()), out_(out) {}

    void run() {
        // Real pages hold a tag every 30 bytes or so: room for most of them up front saves copying the list
        // as it grows.
        out_.tags_.reserve(n_ / 48);
        while (pos_ < n_) {
            skipUntil(kTagMark);
            if (pos_ >= n_) break;
            const std::size_t p = pos_;
            if (text_[p] == '<') {
                if (at(p + 1) == '!' && at(p + 2) == '-' && at(p + 3) == '-') {
                    if (!inComment_) addMarker("<!--", p, p + 3, false);
                    inComment_ = true;
                    pos_ = std::min(p + 4, n_);
                } else {
                    readTag(p);
                }
                continue;
            }
            // ">"
            if (p >= 2 && text_[p - 1] == '-' && text_[p - 2] == '-') {
                if (inComment_) {
                    addMarker("-->", p - 2, p, true);
                } else {
                    error(SyntaxErrorKind::UnmatchedComment, p);
                }
                inComment_ = false;
            } else if (!inComment_) {
                error(SyntaxErrorKind::NoStart, p);
            }
            ++pos_;
        }
    }

    static TagList unopened() {
        TagList tags;
        tags.status_ = kScanOpenFailed;
        return tags;
    }

  private:
    unsigned char at(std::size_t i) const { return i < n_ ? static_cast<unsigned char>(text_[i]) : 0; }
    bool on(char c) const { return pos_ < n_ && text_[pos_] == c; }

    void skipUntil(std::uint8_t classMask) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
        std::size_t i = pos_;
        while (i < n_ && (kClasses[bytes[i]] & classMask) == 0)
            ++i;
        pos_ = i;
    }
    void skipSpace() {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
        std::size_t i = pos_;
        while (i < n_ && (kClasses[bytes[i]] & kSpace) != 0)
            ++i;
        pos_ = i;
    }

    void error(SyntaxErrorKind kind, std::size_t offset) {
        out_.errors_.push_back({kind, static_cast<std::int64_t>(offset)});
        out_.status_ = kScanSyntaxErrors;
    }

    void addMarker(std::string_view name, std::size_t start, std::size_t end, bool endTag) {
        HtmlTag& tag = out_.tags_.emplace_back();
        tag.name = name;
        tag.start = static_cast<std::int64_t>(start);
        tag.end = static_cast<std::int64_t>(end);
        tag.endTag = endTag;
        tag.firstAttribute = out_.attributes_.size();
    }

    void addAttribute(std::string_view name, std::string_view value, std::size_t position) {
        // A nameless value ("= x") can never be looked up: not worth keeping.
        if (name.empty()) return;
        HtmlAttribute& attribute = out_.attributes_.emplace_back();
        attribute.name = lowerCopy(name);
        const std::string_view lower = attribute.name;
        if (lower == "style") hasStyle_ = true;
        if (lower == "id" || lower == "href" || lower == "name" || lower == "usemap") mayNameOrLink_ = true;
        attribute.value = value;
        attribute.position = static_cast<std::int64_t>(position);
    }

    // The quote's last occurrence in the page, found once: a quote with none after it runs to the end of
    // the page, and knowing that up front keeps a page full of such quotes linear.
    std::size_t lastQuote(char quote) {
        std::size_t& last = quote == '"' ? lastDouble_ : lastSingle_;
        if (last == kUnknown) last = text_.rfind(quote);
        return last;
    }

    // At "=" (already passed) and any white space after it: one value, quoted or not.
    void readValue(std::string_view name) {
        if (on('"') || on('\'')) {
            const char quote = text_[pos_];
            const std::size_t start = ++pos_;
            const std::size_t last = lastQuote(quote);
            if (last != std::string_view::npos && last >= start) {
                // ">" and "<" are ordinary bytes inside quotes: only the same quote ends the value.
                const auto* close =
                    static_cast<const char*>(std::memchr(text_.data() + start, quote, n_ - start));
                const auto end = static_cast<std::size_t>(close - text_.data());
                addAttribute(name, text_.substr(start, end - start), start);
                pos_ = end + 1;
                return;
            }
            // No closing quote anywhere after it: the value ends at the next ">" (which closes the tag) or
            // "<" (which the attribute loop reports as an unclosed tag), or at the end of the page.
            skipUntil(kTagMark);
            addAttribute(name, text_.substr(start, pos_ - start), start);
            error(SyntaxErrorKind::EndQuote, pos_);
            return;
        }
        const std::size_t start = pos_;
        skipUntil(kWordEnd);
        addAttribute(name, text_.substr(start, pos_ - start), start);
    }

    // At a "<" that does not open a comment.
    void readTag(std::size_t p) {
        pos_ = p + 1;
        skipSpace();
        bool endTag = false;
        if (on('/')) {
            endTag = true;
            ++pos_;
        }
        const std::size_t nameStart = pos_;
        skipUntil(kWordEnd);
        const std::size_t q = pos_;
        // "<x-->" inside a comment: the next round of the main loop takes that ">" as the comment's close.
        if (inComment_ && on('>') && q >= 2 && text_[q - 1] == '-' && text_[q - 2] == '-') return;
        if (on('<')) {
            error(SyntaxErrorKind::NoClose, q);
            return;  // that "<" starts the next tag
        }
        skipSpace();

        const std::size_t first = out_.attributes_.size();
        hasStyle_ = false;
        mayNameOrLink_ = false;
        std::string name = lowerCopy(text_.substr(nameStart, q - nameStart));
        std::size_t start = p;
        while (pos_ < n_ && text_[pos_] != '>') {
            const std::size_t attrStart = pos_;
            skipUntil(kAttrNameEnd);
            const std::string_view attrName = text_.substr(attrStart, pos_ - attrStart);
            skipSpace();
            if (on('=')) {
                ++pos_;
                skipSpace();
                readValue(attrName);
                skipSpace();
                continue;
            }
            if (on('<')) {
                error(SyntaxErrorKind::NoClose, p);
                out_.attributes_.resize(first);
                return;  // the tag is dropped; that "<" starts the next one
            }
            if (inComment_ && attrName == "--" && on('>')) {
                // The comment closes inside the tag: the record becomes the comment's close.
                name = "-->";
                start = attrStart;
                endTag = true;
                out_.attributes_.resize(first);
                hasStyle_ = false;
                mayNameOrLink_ = false;
                inComment_ = false;
                break;
            }
            addAttribute(attrName, {}, attrStart);
        }
        HtmlTag& tag = out_.tags_.emplace_back();
        tag.name = std::move(name);
        tag.start = static_cast<std::int64_t>(start);
        tag.end = static_cast<std::int64_t>(std::min(pos_, n_));
        tag.endTag = endTag;
        tag.hasStyle = hasStyle_ || (!endTag && std::string_view(tag.name) == "style");
        tag.mayNameOrLink = mayNameOrLink_;
        tag.firstAttribute = first;
        tag.attributeCount = out_.attributes_.size() - first;
        if (pos_ < n_) ++pos_;
    }

    static constexpr std::size_t kUnknown = static_cast<std::size_t>(-2);

    std::string_view text_;
    std::size_t n_;
    TagList& out_;
    std::size_t pos_ = 0;
    bool inComment_ = false;
    bool hasStyle_ = false;  // the tag being read has a "style" attribute
    bool mayNameOrLink_ = false;  // ... an "id", "name", "href" or "usemap" attribute
    std::size_t lastDouble_ = kUnknown;
    std::size_t lastSingle_ = kUnknown;
};

// ---- TagList

const HtmlAttribute* TagList::attribute(const HtmlTag& tag, std::string_view lowerName) const {
    const auto all = attributes(tag);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->name == lowerName) return &*it;
    return nullptr;
}

void TagList::clear() {
    status_ = kScanClean;
    std::vector<HtmlTag>().swap(tags_);
    std::vector<HtmlAttribute>().swap(attributes_);
    std::vector<SyntaxError>().swap(errors_);
}

TagList TagList::takeErrors() {
    TagList errors;
    errors.status_ = std::exchange(status_, kScanClean);
    errors.errors_ = std::move(errors_);
    errors_.clear();
    return errors;
}

void TagList::clearTags() {
    std::vector<HtmlTag>().swap(tags_);
    std::vector<HtmlAttribute>().swap(attributes_);
}

TagList scanText(std::string_view text) {
    TagList tags;
    TagBuilder(text, tags).run();
    return tags;
}

void scanText(std::string_view text, TagList& tags) {
    tags.status_ = kScanClean;
    tags.tags_.clear();
    tags.attributes_.clear();
    tags.errors_.clear();
    TagBuilder(text, tags).run();
}

// ---- PageReader

std::int64_t PageReader::readBlock(const platform::ReadFile& file, std::int64_t offset, char* buffer,
                                   std::size_t count, std::error_code& ec) {
    return file.readAt(offset, buffer, count, ec);
}

bool PageReader::load(std::string_view path, bool report) {
    // The buffer of an earlier page is reused: most pages of a site are of a size.
    text_.clear();
    open_ = false;
    readFailed_ = false;
    platform::ReadFile file;
    if (file.open(path)) {
        if (!report) return false;
        currentLog().error(res::kDuringScan);
        currentLog().errorDetail(res::kFileOpenFailed, path);
        return false;
    }
    open_ = true;
    const std::int64_t size = file.sizeAtOpen();
    if (size > 0) text_.reserve(static_cast<std::size_t>(size));
    // Blocks straight into the page's buffer, so that a read failing partway loses at most one block;
    // a file that grew since its size was taken is read on to its end.
    std::int64_t offset = 0;
    std::array<char, 16384> tail;
    for (;;) {
        const bool inSize = size > offset;
        const std::size_t want =
            inSize ? static_cast<std::size_t>(std::min<std::int64_t>(kReadBlock, size - offset))
                   : tail.size();
        const std::size_t have = text_.size();
        if (inSize) text_.resize(have + want);
        char* into = inSize ? text_.data() + have : tail.data();
        std::error_code ec;
        const std::int64_t got = readBlock(file, offset, into, want, ec);
        if (inSize) {
            text_.resize(have + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        } else if (got > 0) {
            text_.append(tail.data(), static_cast<std::size_t>(got));
        }
        if (got < 0) {
            // Once per page; what was read so far is the page.
            readFailed_ = true;
            if (!report) break;
            currentLog().error(res::kDuringScan);
            currentLog().errorDetail(res::kFileReadFailed, path);
            break;
        }
        if (got == 0) break;
        offset += got;
    }
    return true;
}

void PageReader::release() {
    std::string().swap(text_);
    open_ = false;
    readFailed_ = false;
}

// ---- the page

namespace {

// The page's path as the syntax error lines show it: shortened to 58 characters, padded to 62.
std::string shownPathOf(const HtmlNode& page) {
    std::string shown = platform::shortenPath(page.path(), 58);
    const std::size_t width = platform::displayLength(shown);
    if (width < 62) shown.append(62 - width, ' ');
    return shown;
}

}  // namespace

void reportSyntaxErrors(HtmlNode& page, const TagList& tags, ReportSection& section, std::string_view text) {
    if (tags.syntaxErrors().empty()) return;
    if (page.lineIndex().empty() && !text.empty()) page.setLineIndex(lineIndexOf(text));
    const std::string shown = shownPathOf(page);
    for (const SyntaxError& error : tags.syntaxErrors()) {
        const std::int64_t line = page.lineOfOffset(error.offset);
        section.writeAtLine(static_cast<int>(std::min<std::int64_t>(line, INT_MAX)), messageOf(error.kind),
                            shown);
        section.endLine();
    }
}

void reportSyntaxErrors(const HtmlNode& page, const TagList& tags, ReportSection& section,
                        const std::vector<std::uint32_t>& lines) {
    if (tags.syntaxErrors().empty()) return;
    const std::string shown = shownPathOf(page);
    const auto& errors = tags.syntaxErrors();
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const std::int64_t line = i < lines.size() ? lines[i] : 1;
        section.writeAtLine(static_cast<int>(std::min<std::int64_t>(line, INT_MAX)),
                            messageOf(errors[i].kind), shown);
        section.endLine();
    }
}

TagList tokenize(HtmlNode& page, ReportSection* syntaxErrors, UnreadablePages* unreadable) {
    if (unreadable && unreadable->contains(&page)) return TagBuilder::unopened();
    PageReader file;
    if (!file.load(page.path())) {
        if (unreadable) unreadable->add(&page);
        return TagBuilder::unopened();
    }
    TagList tags = scanText(file.text());
    if (syntaxErrors) reportSyntaxErrors(page, tags, *syntaxErrors, file.text());
    return tags;
}

// ---- URL-bearing values

bool isPlainTag(std::string_view lowerName) {
    const std::size_t length = lowerName.size();
    if (length == 0 || length + 1 >= kPlainTagsOfLength.size()) return false;
    const std::size_t end = kPlainTagsOfLength[length + 1];
    if (length > 8) {
        for (std::size_t i = kPlainTagsOfLength[length]; i < end; ++i)
            if (kPlainTags[i] == lowerName) return true;
        return false;
    }
    const std::uint64_t packed = packedName(lowerName);
    for (std::size_t i = kPlainTagsOfLength[length]; i < end; ++i)
        if (kPackedPlainTags[i] == packed) return true;
    return false;
}

void urlValuesOf(const TagList& tags, const HtmlTag& tag, std::vector<UrlValue>& out) {
    if (tag.endTag) return;
    // Compared as views: the length settles almost every one.
    const std::string_view tagName = tag.name;
    // A plain tag's attributes carry no URL, but for a quotation's source and a refresh's target.
    const bool plain = isPlainTag(tagName);
    if (plain && tagName != "meta" && tagName != "blockquote") return;
    // One pass over the attributes: the last occurrence of each name that matters wins.
    constexpr std::size_t kCount = std::size(kUrlAttributes);
    std::array<const HtmlAttribute*, kCount> found{};
    std::array<const HtmlAttribute*, kTagAttributeSlots> slots{};
    bool any = false;
    for (const HtmlAttribute& attribute : tags.attributes(tag)) {
        const int code = attributeCode(attribute.name);
        if (code >= 0) {
            found[static_cast<std::size_t>(code)] = &attribute;
            any = true;
        } else if (code != kOtherAttribute) {
            slots[static_cast<std::size_t>(-code)] = &attribute;
            any = true;
        }
    }
    // Most tags carry only classes and titles: nothing below to look at.
    if (!any) return;
    const auto slot = [&](AttributeCode code) { return slots[slotOf(code)]; };
    const auto add = [&](std::string_view text, std::int64_t position, bool embedded) -> UrlValue& {
        UrlValue& url = out.emplace_back();
        url.text = text;
        url.position = position;
        url.embedded = embedded;
        return url;
    };

    if (!plain) {
        const bool base = tagName == "base";
        const bool frame = tagName == "frame" || tagName == "iframe";
        const bool svgResource = tagName == "use" || tagName == "image";
        const LinkRel rel =
            slot(kRelAttribute) && tagName == "link" ? relOf(slot(kRelAttribute)->value) : LinkRel{};
        for (std::size_t i = kCount; i-- > 0;) {
            const HtmlAttribute* attribute = found[i];
            if (!attribute || cutAtFragment(attribute->value).empty()) continue;
            const bool href = i == kHrefIndex;
            const bool loads = (svgResource && (href || i == kXlinkHrefIndex)) || (href && rel.loads);
            UrlValue& url = add(attribute->value, attribute->position, kUrlAttributes[i].embedded || loads);
            url.isBase = base;
            url.baseHref = base && href;
            url.frame = frame;
            url.styleSheet = href && rel.styleSheet;
        }
    }

    // A form's hidden "redirect" field names the page the form's script sends the reader to.
    const HtmlAttribute* type = slot(kTypeAttribute);
    const HtmlAttribute* name = slot(kNameAttribute);
    const HtmlAttribute* value = slot(kValueAttribute);
    if (type && name && value && tagName == "input" && equalsLower(type->value, "hidden") &&
        equalsLower(name->value, "redirect") && !cutAtFragment(value->value).empty())
        add(value->value, value->position, false);

    const auto addPart = [&](const HtmlAttribute& attribute, std::size_t offset, std::size_t length,
                             bool embedded) {
        const std::string_view text = std::string_view(attribute.value).substr(offset, length);
        if (cutAtFragment(text).empty()) return;
        add(text, attribute.position + static_cast<std::int64_t>(offset), embedded).withinValue = true;
    };
    const auto addWhole = [&](const HtmlAttribute* attribute, bool embedded) {
        if (attribute && !cutAtFragment(attribute->value).empty())
            add(attribute->value, attribute->position, embedded);
    };
    if (const HtmlAttribute* srcset = slot(kSrcsetAttribute);
        srcset && (tagName == "img" || tagName == "source"))
        forEachSrcsetUrl(srcset->value, [&](std::size_t offset, std::size_t length) {
            addPart(*srcset, offset, length, true);
        });
    if (slot(kPosterAttribute) && tagName == "video") addWhole(slot(kPosterAttribute), true);
    if (slot(kDataAttribute) && tagName == "object") addWhole(slot(kDataAttribute), true);
    if (slot(kCiteAttribute) &&
        (tagName == "blockquote" || tagName == "q" || tagName == "del" || tagName == "ins"))
        addWhole(slot(kCiteAttribute), false);
    const HtmlAttribute* httpEquiv = slot(kHttpEquivAttribute);
    const HtmlAttribute* content = slot(kContentAttribute);
    if (httpEquiv && content && tagName == "meta" && equalsLower(httpEquiv->value, "refresh")) {
        const auto [offset, length] = refreshUrlOf(content->value);
        if (length > 0) addPart(*content, offset, length, false);
    }
}

}  // namespace korvel::html
