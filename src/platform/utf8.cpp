#include "platform/utf8.h"

#include <cstdint>

namespace korvel::platform {

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

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t length = utf8Length(s.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace korvel::platform
