// Fuzz entry point of the HTML scanner: any bytes at all are a page. Besides what the sanitizers catch, it
// checks the promises the scanner's callers rely on: every offset lies in the page, every value is the
// page's own bytes at its position, names are lower-cased, and the status matches the errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "html/scanner.h"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

bool hasUpper(std::string_view text) {
    for (const char c : text)
        if (c >= 'A' && c <= 'Z') return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvel::html;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto length = static_cast<std::int64_t>(size);
    const TagList tags = scanText(text);

    check((tags.status() == kScanSyntaxErrors) == !tags.syntaxErrors().empty());
    for (const SyntaxError& error : tags.syntaxErrors())
        check(error.offset >= 0 && error.offset <= length);

    std::vector<UrlValue> values;
    for (const HtmlTag& tag : tags.tags()) {
        check(tag.start >= 0 && tag.start <= tag.end && tag.end <= length);
        check(tag.end == length || text[static_cast<std::size_t>(tag.end)] == '>' ||
              (tag.name == "<!--" && text.substr(static_cast<std::size_t>(tag.start), 4) == "<!--"));
        check(text[static_cast<std::size_t>(tag.start)] == (tag.name == "-->" ? '-' : '<'));
        check(!hasUpper(tag.name));
        for (const HtmlAttribute& attribute : tags.attributes(tag)) {
            check(!attribute.name.empty() && !hasUpper(attribute.name));
            check(attribute.position > tag.start && attribute.position <= length);
            const auto at = static_cast<std::size_t>(attribute.position);
            check(text.substr(at, attribute.value.size()) == attribute.value);
        }
        values.clear();
        urlValuesOf(tags, tag, values);
        for (const UrlValue& value : values) {
            check(!value.text.empty());
            check(text.substr(static_cast<std::size_t>(value.position), value.text.size()) == value.text);
            check(!value.baseHref || value.isBase);
        }
    }
    return 0;
}
