// Fuzz entry point of the URL helpers and makeUrl. Input: one byte of flags, then the page's base and the
// attribute value separated by the first NUL (no NUL: the whole rest is the value, the base the page's
// own directory). Besides what the sanitizers catch, it checks the promises the link passes rely on:
// decoding never grows the text, the canonical encoding is a fixed point, dot removal leaves no dot
// segment and never climbs above the root, a relative path leads back to its target, and every record
// is well formed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "html/url.h"
#include "html/url_text.h"
#include "site/node.h"

namespace {

void fail(int line) {
    std::fprintf(stderr, "url_fuzz: promise broken at line %d\n", line);
    std::abort();
}
#define check(holds) ((holds) ? (void)0 : fail(__LINE__))

bool hasDotSegment(std::string_view path) {
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        const std::string_view segment = path.substr(i, j - i);
        if (segment == "." || segment == "..") return true;
        i = j + 1;
    }
    return false;
}

void checkText(std::string_view value) {
    const korvel::UrlSpan span = korvel::cutUrlValue(value);
    check(span.offset <= value.size() && span.length <= value.size() - span.offset);
    const std::string_view cut = value.substr(span.offset, span.length);
    check(cut.find('#') == std::string_view::npos && cut.find('?') == std::string_view::npos);

    const std::string decoded = korvel::decodeUrl(value);
    check(decoded.size() <= value.size());
    // A raw NUL is dropped and "%00" stays literal: decoded text never holds a NUL. (CR, LF and tab can
    // come from escapes; only raw ones are dropped.)
    check(decoded.find('\0') == std::string::npos);
    for (bool slashes : {false, true}) {
        const std::string canonical = korvel::encodeUrlPath(decoded, slashes);
        check(korvel::decodeUrl(canonical) == decoded);
        check(korvel::encodeUrlPath(korvel::decodeUrl(canonical), slashes) == canonical);
    }
    check(korvel::isCanonicalPath(korvel::encodeUrlPath(decoded), decoded));
    // The scheme and authority come through encoding as written.
    const std::string encoded = korvel::encodeUrl(decoded);
    const korvel::UrlParts parts = korvel::splitUrl(decoded);
    check(std::string_view(encoded).substr(0, parts.pathStart) ==
          std::string_view(decoded).substr(0, parts.pathStart));

    for (bool dropEmpty : {false, true}) {
        const std::string collapsed = korvel::collapseDots(value, dropEmpty);
        check(!hasDotSegment(collapsed) || collapsed.empty());
        check(collapsed.size() <= value.size() + 1);
        check(korvel::collapseDots(collapsed, dropEmpty) == collapsed);
        if (!value.empty() && value.front() == '/') check(!collapsed.empty() && collapsed.front() == '/');
        if (dropEmpty) check(collapsed.find("//") == std::string::npos);
    }

    // A relative path from one clean directory leads back to the clean target.
    const std::size_t half = value.size() / 2;
    std::string from = korvel::collapseDots("/" + std::string(value.substr(0, half)), true);
    const std::string target = korvel::collapseDots("/" + std::string(value.substr(half)), true);
    if (from.back() != '/') from.push_back('/');
    const std::string relative = korvel::relativePath(from, target);
    check(!relative.empty());
    check(korvel::splitUrl(relative).scheme.empty() && !korvel::splitUrl(relative).hasAuthority);
    check(korvel::collapseDots(from + relative, true) == target ||
          korvel::collapseDots(from + relative, true) == target + "/");

    (void)korvel::absolutizeUrl(decoded, value);
    (void)korvel::absolutizeUrl(value, "http://h/d/p.html");
    (void)korvel::isLocalUrl(value, false, "h");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using korvel::UrlRecord;
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    checkText(rest);

    static const korvel::FileProbe probe{};
    static korvel::HtmlNode page("/site/docs/page.html", &probe, korvel::HtmlDefinitions{});
    static const korvel::UrlContext context(nullptr, "www.site.org", "index.html; ;index.htm");
    std::string_view value = rest;
    if (const std::size_t nul = rest.find('\0'); nul != std::string_view::npos) {
        page.setBase(std::string(rest.substr(0, nul)));
        value = rest.substr(nul + 1);
    } else {
        page.setBase("/site/docs");
    }

    UrlRecord url;
    const auto flags = static_cast<std::uint16_t>(selector | (selector << 8));
    constexpr std::int64_t position = 1000;
    korvel::makeUrl(page, url, flags, position, value, context);
    const korvel::UrlSpan span = korvel::cutUrlValue(value);
    check(url.position == position + static_cast<std::int64_t>(span.offset));
    check(url.end - url.position + 1 == static_cast<std::int64_t>(span.length));
    constexpr std::uint16_t kGiven =
        UrlRecord::kBase | UrlRecord::kEmbedded | UrlRecord::kFrame | UrlRecord::kWithinValue;
    check((url.flags & ~(0x1FF | kGiven)) == 0);
    check((url.flags & kGiven) == (flags & kGiven));
    const int forms =
        url.has(UrlRecord::kRelative) + url.has(UrlRecord::kRoot) + url.has(UrlRecord::kAbsolute);
    check(forms == 1);
    check(url.target == nullptr);  // no tree: nothing resolves
    if (!url.has(UrlRecord::kExternal)) {
        check(url.text.size() <= span.length);
        check(!url.has(UrlRecord::kDefaultDocument));
        const std::string base = korvel::baseFromTag(url, page.base(), context);
        check(!korvel::isExternalBase(base));
    } else {
        check(!url.has(UrlRecord::kNeedsEncoding));
    }
    return 0;
}
