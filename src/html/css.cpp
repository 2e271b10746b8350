#include "html/css.h"

#include <algorithm>

#include "html/url.h"
#include "html/url_text.h"
#include "platform/ascii.h"
#include "site/node.h"

namespace korvel::html {

namespace {

bool isCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r' || c == '\f';
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return platform::asciiLower(c) - 'a' + 10;
}

// A byte that may continue an identifier: "myurl(" is not url(, "@imports" is not @import.
bool isNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '\\' || byte >= 0x80;
}

struct Quote {
    char kind = 0;  // '"' or '\'', 0 when there is no quote
    std::size_t length = 0;
};

// Character references of the two quotes, as generators write them inside a style attribute.
struct QuoteReference {
    std::string_view text;
    char kind;
};
constexpr QuoteReference kQuoteReferences[] = {
    {"&quot;", '"'}, {"&#34;", '"'}, {"&#x22;", '"'}, {"&apos;", '\''}, {"&#39;", '\''}, {"&#x27;", '\''},
};

// One pass over a style sheet's text, front to back; every step consumes at least one byte.
class StyleScanner {
  public:
    StyleScanner(std::string_view css, std::int64_t offset, bool attribute, std::vector<StyleRef>& out)
        : css_(css), n_(css.size()), offset_(offset), attribute_(attribute), out_(out) {}

    void run() {
        while (i_ < n_) {
            switch (css_[i_]) {
                case '/':
                    if (at(i_ + 1) == '*') {
                        skipComment();
                        continue;
                    }
                    break;
                case '\\':
                    // An escaped byte never opens a string, a comment or a function.
                    i_ += 2;
                    continue;
                case '@':
                    if (wordAt(i_ + 1, "import")) {
                        i_ += 7;
                        readImport();
                        continue;
                    }
                    // A namespace's url() names the namespace, not a file to load.
                    if (wordAt(i_ + 1, "namespace")) {
                        i_ = std::min(css_.find(';', i_), n_);
                        continue;
                    }
                    break;
                case 'i':
                case 'I':
                case '-':
                    if (const std::size_t length = imageSetAt(i_); length != 0) {
                        i_ += length;
                        readImageSet();
                        continue;
                    }
                    break;
                case 'u':
                case 'U':
                    if (urlFunctionAt(i_)) {
                        i_ += 4;
                        readUrl(false);
                        continue;
                    }
                    break;
                case '"':
                case '\'':
                case '&':
                    if (const Quote quote = quoteAt(i_); quote.kind) {
                        skipString(quote);
                        continue;
                    }
                    break;
                default:
                    break;
            }
            ++i_;
        }
    }

  private:
    char at(std::size_t i) const { return i < n_ ? css_[i] : '\0'; }

    Quote quoteAt(std::size_t i) const {
        const char c = at(i);
        if (c == '"' || c == '\'') return {c, 1};
        if (!attribute_ || c != '&') return {};
        for (const QuoteReference& reference : kQuoteReferences)
            if (startsWithIgnoringCase(css_.substr(i), reference.text))
                return {reference.kind, reference.text.size()};
        return {};
    }

    bool wordAt(std::size_t i, std::string_view lowerWord) const {
        return startsWithIgnoringCase(css_.substr(std::min(i, n_)), lowerWord) &&
               !isNameByte(at(i + lowerWord.size()));
    }

    bool urlFunctionAt(std::size_t i) const {
        return startsWithIgnoringCase(css_.substr(i), "url(") && (i == 0 || !isNameByte(css_[i - 1]));
    }

    // The length of "image-set(" or "-webkit-image-set(" at "i", 0 when neither stands there.
    std::size_t imageSetAt(std::size_t i) const {
        if (i > 0 && isNameByte(css_[i - 1])) return 0;
        for (const std::string_view name : {"image-set(", "-webkit-image-set("})
            if (startsWithIgnoringCase(css_.substr(i), name)) return name.size();
        return 0;
    }

    // After "image-set(": its strings and url()s are images to choose from; what stands in a function
    // inside it (type("image/webp")) is not.
    void readImageSet() {
        while (i_ < n_) {
            const char c = css_[i_];
            if (c == ')') {
                ++i_;
                return;
            }
            if (c == '/' && at(i_ + 1) == '*') {
                skipComment();
            } else if (c == '\\') {
                i_ += 2;
            } else if (const Quote quote = quoteAt(i_); quote.kind) {
                std::size_t start = 0;
                std::size_t end = 0;
                bool escaped = false;
                if (readString(quote, start, end, escaped)) add(start, end, false, escaped);
            } else if (urlFunctionAt(i_)) {
                i_ += 4;
                readUrl(false);
            } else if (c == '(') {
                skipParenthesized();
            } else {
                ++i_;
            }
        }
    }

    // At "(": up to its matching ")", strings and nested parentheses included.
    void skipParenthesized() {
        int depth = 0;
        while (i_ < n_) {
            const char c = css_[i_];
            if (const Quote quote = quoteAt(i_); quote.kind) {
                skipString(quote);
                continue;
            }
            if (c == '\\') {
                i_ += 2;
                continue;
            }
            ++i_;
            if (c == '(') ++depth;
            if (c == ')' && --depth == 0) return;
        }
    }

    void skipSpace() {
        while (i_ < n_ && isCssSpace(css_[i_]))
            ++i_;
    }

    void skipComment() {
        const std::size_t close = css_.find("*/", i_ + 2);
        i_ = close == std::string_view::npos ? n_ : close + 2;
    }

    // At the opening quote: reads to the same kind of quote. False for a string that a line end or the end
    // of the text breaks off (the scan goes on after it, as a browser's does).
    bool readString(Quote quote, std::size_t& start, std::size_t& end, bool& escaped) {
        start = i_ + quote.length;
        std::size_t j = start;
        while (j < n_) {
            const char c = css_[j];
            if (c == '\\') {
                escaped = true;
                j += 2;
                continue;
            }
            if (isLineEnd(c)) break;
            if (const Quote close = quoteAt(j); close.kind == quote.kind) {
                end = j;
                i_ = j + close.length;
                return true;
            }
            ++j;
        }
        i_ = std::min(j, n_);
        return false;
    }

    // At the opening quote: past a string that names nothing.
    void skipString(Quote quote) {
        std::size_t start = 0;
        std::size_t end = 0;
        bool escaped = false;
        readString(quote, start, end, escaped);
    }

    // After "url(": a string or an unquoted URL, then ")".
    void readUrl(bool import) {
        skipSpace();
        std::size_t start = 0;
        std::size_t end = 0;
        bool escaped = false;
        if (const Quote quote = quoteAt(i_); quote.kind) {
            if (!readString(quote, start, end, escaped)) return;
            skipSpace();
            if (at(i_) != ')') {
                skipBadUrl();
                return;
            }
            ++i_;
            add(start, end, import, escaped);
            return;
        }
        start = i_;
        while (i_ < n_) {
            const char c = css_[i_];
            if (c == ')') {
                add(start, i_, import, escaped);
                ++i_;
                return;
            }
            if (isCssSpace(c)) {
                end = i_;
                skipSpace();
                if (at(i_) == ')') {
                    add(start, end, import, escaped);
                    ++i_;
                } else {
                    skipBadUrl();
                }
                return;
            }
            if (c == '"' || c == '\'' || c == '(' || static_cast<unsigned char>(c) < 0x20) {
                skipBadUrl();
                return;
            }
            if (c == '\\') {
                if (isLineEnd(at(i_ + 1))) {
                    skipBadUrl();
                    return;
                }
                escaped = true;
                i_ = escapeEnd(i_);
                continue;
            }
            ++i_;
        }
        // Broken off by the end of the text: a browser still takes the URL.
        add(start, n_, import, escaped);
    }

    // Past the escape whose backslash is at "i": a hex escape takes the one white space that ends it, which
    // is no end of an unquoted url().
    std::size_t escapeEnd(std::size_t i) const {
        std::size_t j = i + 1;
        if (!isHex(at(j))) return std::min(j + 1, n_);
        for (int digits = 0; digits < 6 && isHex(at(j)); ++digits)
            ++j;
        if (isCssSpace(at(j))) j += at(j) == '\r' && at(j + 1) == '\n' ? 2 : 1;
        return std::min(j, n_);
    }

    // The rest of a malformed url(): up to its ")", escapes included.
    void skipBadUrl() {
        while (i_ < n_ && css_[i_] != ')')
            i_ += css_[i_] == '\\' ? 2 : 1;
        i_ = std::min(i_ + 1, n_);
    }

    // After "@import": a string or url(...), white space and comments before it.
    void readImport() {
        for (;;) {
            skipSpace();
            if (at(i_) == '/' && at(i_ + 1) == '*') {
                skipComment();
                continue;
            }
            break;
        }
        if (const Quote quote = quoteAt(i_); quote.kind) {
            std::size_t start = 0;
            std::size_t end = 0;
            bool escaped = false;
            if (readString(quote, start, end, escaped)) add(start, end, true, escaped);
            return;
        }
        if (urlFunctionAt(i_)) {
            i_ += 4;
            readUrl(true);
        }
    }

    void add(std::size_t start, std::size_t end, bool import, bool escaped) {
        const std::string_view text = css_.substr(start, end - start);
        // Inline data and values such as "#clip" (a reference into the document itself) name no file.
        if (cutUrlValue(text).length == 0) return;
        if (startsWithIgnoringCase(trimUrlValue(text), "data:")) return;
        StyleRef& ref = out_.emplace_back();
        ref.text = text;
        ref.position = offset_ + static_cast<std::int64_t>(start);
        ref.import = import;
        ref.escaped = escaped;
    }

    std::string_view css_;
    std::size_t n_;
    std::int64_t offset_;
    bool attribute_;
    std::vector<StyleRef>& out_;
    std::size_t i_ = 0;
};

bool isStyleTag(const HtmlTag& tag) {
    return !tag.endTag && std::string_view(tag.name) == "style";
}

// Where the style block that starts at "from" ends: at its "</style", or at the end of the page.
std::size_t styleBlockEnd(std::string_view text, std::size_t from) {
    for (std::size_t at = text.find("</", from); at != std::string_view::npos; at = text.find("</", at + 2))
        if (startsWithIgnoringCase(text.substr(at + 2), "style")) return at;
    return text.size();
}

}  // namespace

void findStyleRefs(std::string_view css, std::int64_t offset, std::vector<StyleRef>& out, bool attribute) {
    StyleScanner(css, offset, attribute, out).run();
}

std::size_t styleRefsOfTag(const TagList& tags, std::size_t index, std::string_view text,
                           std::size_t blockEnd, std::vector<StyleRef>& out) {
    if (index >= tags.tags().size()) return blockEnd;
    const HtmlTag& tag = tags.tags()[index];
    // A "tag" inside a style block is style sheet text, read with the block.
    if (tag.endTag || static_cast<std::size_t>(tag.start) < blockEnd) return blockEnd;
    if (!tag.hasStyle) return blockEnd;
    if (const HtmlAttribute* style = tags.attribute(tag, "style"); style && !style->value.empty())
        findStyleRefs(style->value, style->position, out, true);
    if (!isStyleTag(tag)) return blockEnd;
    const auto start = static_cast<std::size_t>(tag.end) + 1;
    if (start >= text.size()) return text.size();
    const std::size_t end = styleBlockEnd(text, start);
    findStyleRefs(text.substr(start, end - start), static_cast<std::int64_t>(start), out);
    return end;
}

std::string unescapeCss(std::string_view text, std::vector<std::pair<std::size_t, std::size_t>>* sources) {
    std::string out;
    out.reserve(text.size());
    if (sources) sources->clear();
    const auto gave = [&](std::size_t first, std::size_t end) {
        if (sources) sources->resize(out.size(), {first, end});
    };
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            gave(i, i + 1);
            continue;
        }
        if (i + 1 >= n) break;
        const char next = text[i + 1];
        if (isLineEnd(next)) {
            i += next == '\r' && i + 2 < n && text[i + 2] == '\n' ? 2 : 1;
            continue;
        }
        if (!isHex(next)) {
            out.push_back(next);
            gave(i, i + 2);
            ++i;
            continue;
        }
        std::uint32_t code = 0;
        std::size_t j = i + 1;
        for (int digits = 0; digits < 6 && j < n && isHex(text[j]); ++digits, ++j)
            code = code * 16 + static_cast<std::uint32_t>(hexValue(text[j]));
        // One white space ends the escape and belongs to it; CR LF counts as one.
        if (j < n && isCssSpace(text[j])) j += text[j] == '\r' && j + 1 < n && text[j + 1] == '\n' ? 2 : 1;
        appendUtf8(code, out);
        gave(i, j);
        i = j - 1;
    }
    return out;
}

bool hasStyleSheetName(const Node& node) {
    const std::string_view name = node.getFileName();
    return name.size() > 4 && startsWithIgnoringCase(name.substr(name.size() - 4), ".css");
}

bool mayNameStyleSheet(const UrlRecord& url) {
    const std::string_view text = url.text;
    return url.has(UrlRecord::kStyleSheet) ||
           (text.size() > 4 && startsWithIgnoringCase(text.substr(text.size() - 4), ".css"));
}

bool isStyleSheetTarget(const UrlRecord& url) {
    const auto* file = dynamic_cast<const FileNode*>(url.target);
    if (!file || dynamic_cast<const HtmlNode*>(file)) return false;
    return url.has(UrlRecord::kStyleSheet) || hasStyleSheetName(*file);
}

}  // namespace korvel::html

namespace korvel {

void makeStyleUrl(std::string_view base, UrlRecord& url, std::uint16_t flags, const html::StyleRef& ref,
                  const UrlContext& context) {
    if (ref.import) flags |= UrlRecord::kStyleSheet;
    if (!ref.escaped) {
        makeUrl(base, url, flags, ref.position, ref.text, context);
    } else {
        std::vector<std::pair<std::size_t, std::size_t>> sources;
        const std::string plain = html::unescapeCss(ref.text, &sources);
        makeUrl(base, url, flags, 0, plain, context);
        // The record stands for the escaped bytes, so that a rewrite replaces all of them and the
        // fragment or query after them stays as written.
        const auto first = static_cast<std::size_t>(url.position);
        const auto last = static_cast<std::size_t>(url.end);
        if (url.position >= 0 && last >= first && last < sources.size()) {
            url.position = ref.position + static_cast<std::int64_t>(sources[first].first);
            url.end = ref.position + static_cast<std::int64_t>(sources[last].second) - 1;
        } else {
            url.text.clear();
        }
    }
    // A style sheet is left as it is written unless a file it names is renamed: a blank in a quoted
    // url() is no fault there, and parentheses are percent-encoded on purpose.
    url.set(UrlRecord::kNeedsEncoding, false);
    url.set(UrlRecord::kInStyle);
    // makeUrl keeps only the flags of an attribute's kind.
    if (flags & UrlRecord::kStyleSheet) url.set(UrlRecord::kStyleSheet);
}

}  // namespace korvel
