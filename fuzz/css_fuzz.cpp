// Fuzz entry point of the style-sheet reader. Input: one byte of flags, then the text. Flag 1: the text is
// a page, whose style blocks and style attributes are read tag by tag as link finding reads them; else it
// is a style sheet (flag 2: a style attribute's value). Besides what the sanitizers catch, it checks the
// promises the link passes rely on: every reference is the text's own bytes at its position, references
// come in the order written, none is empty or only a fragment, "escaped" says whether a backslash is in
// it, unescaping leaves text without escapes as it is, and a reference resolves to a record without a
// target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "html/css.h"
#include "html/scanner.h"
#include "html/url.h"
#include "html/url_text.h"

namespace {

void fail(int line) {
    std::fprintf(stderr, "css_fuzz: promise broken at line %d\n", line);
    std::abort();
}
#define check(holds) ((holds) ? (void)0 : fail(__LINE__))

void checkUnescape(std::string_view text) {
    const std::string plain = korvel::html::unescapeCss(text);
    if (text.find('\\') == std::string_view::npos) check(plain == text);
    // The longest result per input byte: "\0" gives U+FFFD, three bytes for two.
    check(plain.size() * 2 <= text.size() * 3);
    // An escaped NUL gives U+FFFD: only a NUL written as such comes through.
    if (text.find('\0') == std::string_view::npos) check(plain.find('\0') == std::string::npos);
}

// "text": the whole input the references were found in (their positions count from its start).
void checkRefs(std::string_view text, const std::vector<korvel::html::StyleRef>& refs, std::size_t from) {
    static const korvel::UrlContext context(nullptr, "www.site.org", "index.html;index.htm");
    std::int64_t last = -1;
    for (std::size_t i = from; i < refs.size(); ++i) {
        const korvel::html::StyleRef& ref = refs[i];
        check(ref.position > last);
        last = ref.position;
        check(ref.position >= 0 && static_cast<std::size_t>(ref.position) + ref.text.size() <= text.size());
        check(text.substr(static_cast<std::size_t>(ref.position), ref.text.size()) == ref.text);
        check(korvel::cutUrlValue(ref.text).length > 0);
        check(ref.escaped == (ref.text.find('\\') != std::string_view::npos));
        checkUnescape(ref.text);

        korvel::UrlRecord url;
        korvel::makeStyleUrl("/site/styles", url, korvel::UrlRecord::kEmbedded, ref, context);
        check(url.target == nullptr);  // no tree: nothing resolves
        check(!url.has(korvel::UrlRecord::kNeedsEncoding));
        check(!ref.import || url.has(korvel::UrlRecord::kStyleSheet));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    checkUnescape(text);
    std::vector<korvel::html::StyleRef> refs;
    if ((flags & 1) == 0) {
        korvel::html::findStyleRefs(text, 0, refs, (flags & 2) != 0);
        checkRefs(text, refs, 0);
        return 0;
    }
    const korvel::html::TagList tags = korvel::html::scanText(text);
    std::size_t blockEnd = 0;
    for (std::size_t i = 0; i < tags.tags().size(); ++i) {
        const std::size_t before = refs.size();
        const std::size_t end = korvel::html::styleRefsOfTag(tags, i, text, blockEnd, refs);
        check(end >= blockEnd && end <= text.size());
        blockEnd = end;
        checkRefs(text, refs, before);
    }
    return 0;
}
