#include "platform/display_name.h"

#include <cstdint>

namespace korvel::platform {

namespace {

// The length of the valid UTF-8 character at the start of "s", 0 when it does not start with one
// (overlong forms, UTF-16 surrogates and code points beyond U+10FFFF are invalid).
std::size_t utf8Length(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const auto continuation = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
        if (lead == 0xED && byte(1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (lead == 0xF4 && byte(1) > 0x8F) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

void appendEscaped(std::string& out, std::uint8_t b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

}  // namespace

std::string displayName(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Printable ASCII stands as it is: almost every name and link is nothing else.
        const auto first = static_cast<std::uint8_t>(bytes[i]);
        if (first >= 0x20 && first < 0x7F && first != '\\') {
            std::size_t end = i + 1;
            while (end < bytes.size()) {
                const auto b = static_cast<std::uint8_t>(bytes[end]);
                if (b < 0x20 || b >= 0x7F || b == '\\') break;
                ++end;
            }
            out.append(bytes.substr(i, end - i));
            i = end;
            continue;
        }
        const std::string_view rest = bytes.substr(i);
        const std::size_t length = utf8Length(rest);
        const auto lead = static_cast<std::uint8_t>(rest[0]);
        // C1 controls (U+0080 to U+009F) are two bytes, C2 80 to C2 9F; a terminal may act on them.
        const bool control = lead < 0x20 || lead == 0x7F ||
                             (length == 2 && lead == 0xC2 && static_cast<std::uint8_t>(rest[1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t k = 0; k < (length == 0 ? 1 : length); ++k) {
                appendEscaped(out, static_cast<std::uint8_t>(rest[k]));
            }
            i += length == 0 ? 1 : length;
        } else if (lead == '\\') {
            out += "\\\\";
            i += 1;
        } else {
            out.append(rest.substr(0, length));
            i += length;
        }
    }
    return out;
}

}  // namespace korvel::platform
