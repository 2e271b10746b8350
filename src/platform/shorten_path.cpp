#include "platform/shorten_path.h"

#include <vector>

namespace korvel::platform {

namespace {

constexpr std::string_view kEllipsis = "...";

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The byte length of the character that starts at "at": a well-formed UTF-8 sequence, else one byte.
std::size_t characterLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (at + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i)
        if (!isContinuation(static_cast<unsigned char>(text[at + i]))) return 1;
    return length;
}

struct Component {
    std::size_t bytes;
    std::size_t chars;
};

// The last "room" characters of "text", starting on a character boundary.
std::string_view tailOf(std::string_view text, std::size_t room) {
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < text.size(); at += characterLength(text, at))
        starts.push_back(at);
    if (starts.size() <= room) return text;
    return text.substr(starts[starts.size() - room]);
}

}  // namespace

std::size_t displayLength(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += characterLength(text, at))
        ++count;
    return count;
}

std::size_t roomForPath(std::string_view message, std::string_view otherInserted) {
    const std::size_t used = displayLength(message) + displayLength(otherInserted);
    return used < kMessageWidth ? kMessageWidth - used : 0;
}

std::string shortenPath(std::string_view path, std::size_t maxChars) {
    if (displayLength(path) <= maxChars) return std::string(path);

    std::vector<Component> parts;
    for (std::size_t start = 0;;) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        parts.push_back({end - start, displayLength(path.substr(start, end - start))});
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }

    std::size_t total = kEllipsis.size();
    std::size_t front = 0;            // components kept from the start
    std::size_t back = parts.size();  // the first component kept from the end
    std::size_t frontBytes = 0;       // each kept component with its separator
    std::size_t backBytes = 0;
    const auto fits = [&](const Component& part) { return total + 1 + part.chars <= maxChars; };
    for (std::size_t step = 0; front < back; ++step) {
        // The file name says most, then where the path starts; after that, the two sides take turns.
        const bool preferEnd = step < 2 || (step >= 4 && step % 2 == 0);
        const bool endFits = fits(parts[back - 1]);
        const bool startFits = fits(parts[front]);
        bool takeEnd = false;
        if (preferEnd && endFits) {
            takeEnd = true;
        } else if (startFits) {
            takeEnd = false;
        } else if (endFits) {
            takeEnd = true;
        } else {
            break;
        }
        if (takeEnd) {
            --back;
            total += 1 + parts[back].chars;
            backBytes += 1 + parts[back].bytes;
        } else {
            total += 1 + parts[front].chars;
            frontBytes += 1 + parts[front].bytes;
            ++front;
        }
    }

    std::string out(path.substr(0, frontBytes));
    out += kEllipsis;
    if (back == parts.size() && total < maxChars) {
        // Not even the name fitted: its end still tells more than "..." alone.
        out += tailOf(path.substr(path.size() - parts.back().bytes), maxChars - total);
    } else {
        out += path.substr(path.size() - backBytes);
    }
    return out;
}

}  // namespace korvel::platform
