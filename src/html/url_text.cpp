#include "html/url_text.h"
#include "platform/ascii.h"

#include <algorithm>
#include <array>

namespace korvel {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Browsers drop CR, LF and tab anywhere inside a URL before reading it. NUL can be part of no file name
// and would come back from an encoding as a "%00" that decoding keeps literal: it is dropped too.
bool isDropped(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == '\0';
}

bool isSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

using platform::equalsIgnoringAsciiCase;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::array<bool, 256> makeReservedTable() {
    std::array<bool, 256> table{};
    for (char c : std::string_view(" ;/?:@=&<>\"#%{}|\\^~[]`"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kReserved = makeReservedTable();

// Control characters in decoded text came from escapes (raw ones are dropped or kept as written by the
// browser's own encoding): they are written as escapes again, never dropped, so that decoding the
// encoding gives the text back.
bool mustEncode(char c, bool encodeSlashes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
    return kReserved[byte] && (c != '/' || encodeSlashes);
}

// The index of the next byte at or after "i" that is not dropped, or s.size().
std::size_t nextKept(std::string_view s, std::size_t i) {
    while (i < s.size() && isDropped(s[i]))
        ++i;
    return i;
}

void appendDecoded(std::string_view s, std::string& out) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        // Most of a link is neither escape nor dropped byte: such runs go across whole.
        std::size_t run = i;
        while (run < s.size() && s[run] != '%' && !isDropped(s[run]))
            ++run;
        out.append(s.data() + i, run - i);
        if (run == s.size()) return;
        i = run;
        const char c = s[i];
        if (isDropped(c)) continue;
        if (c == '%') {
            const std::size_t h = nextKept(s, i + 1);
            const std::size_t l = h < s.size() ? nextKept(s, h + 1) : s.size();
            if (l < s.size()) {
                const int hi = hexValue(s[h]);
                const int lo = hexValue(s[l]);
                // A NUL byte would cut the name short wherever it goes next: "%00" stays as written.
                if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
                    out.push_back(static_cast<char>(hi * 16 + lo));
                    i = l;
                    continue;
                }
            }
        }
        out.push_back(c);
    }
}

void appendEncodedPath(std::string_view path, bool encodeSlashes, std::string& out) {
    for (char c : path) {
        if (mustEncode(c, encodeSlashes)) {
            const auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHexDigits[byte >> 4]);
            out.push_back(kHexDigits[byte & 0xF]);
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

std::string_view trimUrlValue(std::string_view raw) {
    while (!raw.empty() && isBlank(raw.front()))
        raw.remove_prefix(1);
    while (!raw.empty() && isBlank(raw.back()))
        raw.remove_suffix(1);
    return raw;
}

std::string_view stripFragment(std::string_view s) {
    s = s.substr(0, s.find('#'));
    return s.substr(0, s.find('?'));
}

UrlSpan cutUrlValue(std::string_view raw) {
    const std::string_view trimmed = trimUrlValue(raw);
    return {static_cast<std::size_t>(trimmed.data() - raw.data()), stripFragment(trimmed).size()};
}

UrlParts splitUrl(std::string_view s) {
    UrlParts parts;
    std::size_t i = 0;
    while (i < s.size() && isSchemeChar(s[i]))
        ++i;
    std::size_t rest = 0;
    if (i > 0 && i < s.size() && s[i] == ':') {
        parts.scheme = s.substr(0, i);
        rest = i + 1;
    }
    if (s.substr(rest, 2) == "//") {
        parts.hasAuthority = true;
        const std::size_t start = rest + 2;
        std::size_t stop = s.find_first_of("/?#", start);
        if (stop == std::string_view::npos) stop = s.size();
        parts.authority = s.substr(start, stop - start);
        rest = stop;
    }
    parts.pathStart = rest;
    parts.path = s.substr(rest);
    if (parts.hasAuthority && parts.path.empty()) parts.path = "/";
    return parts;
}

std::string serverOf(std::string_view s) {
    std::string server;
    appendLower(splitUrl(s).authority, server);
    return server;
}

std::string_view pathOf(std::string_view s) {
    return splitUrl(s).path;
}

bool isPathScheme(std::string_view scheme) {
    return equalsIgnoringAsciiCase(scheme, "http") || equalsIgnoringAsciiCase(scheme, "https") ||
           equalsIgnoringAsciiCase(scheme, "file");
}

bool isSameServer(std::string_view authority, std::string_view server) {
    if (server.empty()) return false;
    if (equalsIgnoringAsciiCase(authority, server)) return true;
    const std::size_t at = authority.rfind('@');
    return at != std::string_view::npos && equalsIgnoringAsciiCase(authority.substr(at + 1), server);
}

bool isLocalUrl(std::string_view text, bool baseHasServer, std::string_view server) {
    const UrlParts parts = splitUrl(text);
    if (!parts.authority.empty()) return isSameServer(parts.authority, server);
    if (!parts.scheme.empty() && !isPathScheme(parts.scheme)) return false;
    return !baseHasServer;
}

void decodeUrlInto(std::string_view s, std::string& out) {
    out.clear();
    appendDecoded(s, out);
}

std::string decodeUrl(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    appendDecoded(s, out);
    return out;
}

void encodeUrlPathInto(std::string_view path, bool encodeSlashes, std::string& out) {
    out.clear();
    appendEncodedPath(path, encodeSlashes, out);
}

std::string encodeUrlPath(std::string_view path, bool encodeSlashes) {
    std::string out;
    appendEncodedPath(path, encodeSlashes, out);
    return out;
}

void encodeUrlInto(std::string_view s, bool encodeSlashes, std::string& out) {
    const UrlParts parts = splitUrl(s);
    out.assign(s.substr(0, parts.pathStart));
    appendEncodedPath(s.substr(parts.pathStart), encodeSlashes, out);
}

std::string encodeUrl(std::string_view s, bool encodeSlashes) {
    std::string out;
    encodeUrlInto(s, encodeSlashes, out);
    return out;
}

void urlTextInto(std::string_view cut, std::string& out, std::size_t* pathStart) {
    std::string_view clean = cut;
    if (std::any_of(cut.begin(), cut.end(), isDropped)) {
        thread_local std::string kept;
        kept.clear();
        for (char c : cut)
            if (!isDropped(c)) kept.push_back(c);
        clean = kept;
    }
    const std::size_t start = splitUrl(clean).pathStart;
    out.assign(clean.substr(0, start));
    appendDecoded(clean.substr(start), out);
    if (pathStart) *pathStart = start;
}

bool isUrlDroppedByte(char c) {
    return isDropped(c);
}

bool isCanonicalPath(std::string_view raw, std::string_view decoded) {
    // Written as it reads: canonical when no byte of it needs an escape.
    if (raw == decoded)
        return std::none_of(decoded.begin(), decoded.end(), [](char c) { return mustEncode(c, false); });
    std::size_t r = 0;
    for (char c : decoded) {
        if (mustEncode(c, false)) {
            const auto byte = static_cast<unsigned char>(c);
            for (char expected : {'%', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]}) {
                r = nextKept(raw, r);
                if (r == raw.size() || raw[r] != expected) return false;
                ++r;
            }
        } else {
            r = nextKept(raw, r);
            if (r == raw.size() || raw[r] != c) return false;
            ++r;
        }
    }
    return nextKept(raw, r) == raw.size();
}

void collapseDotsInto(std::string_view path, bool dropEmpty, std::string& out) {
    if (path.empty()) return;
    const bool absolute = path.front() == '/';
    if (absolute) out.push_back('/');
    // Below "floor" nothing is ever removed: ".." stops at the root. Each kept segment is written with
    // a "/" after it; the last one loses it again unless the path names a directory.
    const std::size_t floor = out.size();
    bool directory = false;
    std::size_t i = absolute ? 1 : 0;
    for (;;) {
        std::size_t j = path.find('/', i);
        const bool last = j == std::string_view::npos;
        if (last) j = path.size();
        const std::string_view segment = path.substr(i, j - i);
        directory = last;
        if (segment == ".") {
        } else if (segment == "..") {
            if (out.size() > floor) {
                const std::size_t slash = out.size() - 1;
                const std::size_t previous = slash > floor ? out.rfind('/', slash - 1) : std::string::npos;
                out.resize(previous == std::string::npos || previous < floor ? floor : previous + 1);
            }
        } else if (segment.empty()) {
            if (!last && !dropEmpty) out.push_back('/');
        } else {
            out.append(segment);
            out.push_back('/');
            directory = false;
        }
        if (last) break;
        i = j + 1;
    }
    if (!directory && out.size() > floor) out.pop_back();
}

std::string collapseDots(std::string_view path, bool dropEmpty) {
    std::string out;
    out.reserve(path.size());
    collapseDotsInto(path, dropEmpty, out);
    return out;
}

std::string absolutizeUrl(std::string_view text, std::string_view base) {
    const UrlParts parts = splitUrl(text);
    if (!parts.scheme.empty() && !parts.hasAuthority && !isPathScheme(parts.scheme)) return std::string(text);
    // A local base is a directory on disk: it has neither a scheme nor a server to lend.
    const UrlParts baseParts = splitUrl(base);
    const bool externalBase = !baseParts.scheme.empty();

    std::string result;
    result.reserve(text.size() + base.size() + 8);
    if (!parts.scheme.empty())
        result.append(parts.scheme);
    else if (externalBase)
        result.append(baseParts.scheme);
    else
        result.append("http");
    result.push_back(':');

    if (parts.hasAuthority) {
        result.append("//").append(parts.authority);
        collapseDotsInto(parts.path, false, result);
        return result;
    }
    if (externalBase && baseParts.hasAuthority) result.append("//").append(baseParts.authority);
    if (!parts.path.empty() && parts.path.front() == '/') {
        collapseDotsInto(parts.path, false, result);
        return result;
    }
    // Relative: against the directory of the base's path, up to its last "/".
    thread_local std::string joined;
    joined.clear();
    const std::string_view basePath = externalBase ? baseParts.path : std::string_view();
    const std::size_t slash = basePath.rfind('/');
    if (slash == std::string_view::npos)
        joined.push_back('/');
    else
        joined.append(basePath.substr(0, slash + 1));
    joined.append(parts.path);
    collapseDotsInto(joined, false, result);
    return result;
}

std::string relativePath(std::string_view fromDir, std::string_view target) {
    std::string from(fromDir);
    if (from.empty() || from.back() != '/') from.push_back('/');
    std::size_t same = 0;
    while (same < from.size() && same < target.size() && from[same] == target[same])
        ++same;
    // Back to a whole segment: just after the last "/" the two share.
    const std::size_t slash = from.rfind('/', same == 0 ? 0 : same - 1);
    const std::size_t k = (slash == std::string::npos || slash >= same) ? 0 : slash + 1;

    std::string result;
    std::size_t ups = 0;
    for (std::size_t i = k; i < from.size(); ++i)
        if (from[i] == '/') ++ups;
    for (std::size_t i = 0; i < ups; ++i)
        result.append("../");
    const std::string_view tail = target.substr(k);
    if (ups == 0) {
        const std::size_t firstSlash = tail.find('/');
        if (tail.empty() || tail.substr(0, firstSlash).find(':') != std::string_view::npos)
            result.append("./");
    }
    result.append(tail);
    return result;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

void appendLower(std::string_view text, std::string& out) {
    for (char c : text)
        out.push_back(platform::asciiLower(c));
}

void appendUtf8(std::uint32_t code, std::string& out) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace korvel
