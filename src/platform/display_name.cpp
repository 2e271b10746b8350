#include "platform/display_name.h"

#include <cstdint>

#include "platform/utf8.h"

namespace korvel::platform {

namespace {

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
