#include "platform/profile_file.h"
#include "platform/ascii.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/locations.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::error_code errorOf(int err) {
    return {err, std::system_category()};
}

// The blanks the profile reader drops around names and values.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return equalsIgnoringAsciiCase(a, b);
}

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

bool hasOuterQuotes(std::string_view s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"';
}

std::string_view unquote(std::string_view raw) {
    return hasOuterQuotes(raw) ? raw.substr(1, raw.size() - 2) : raw;
}

// The value as written after "=": quoted when the reader would otherwise strip something from it.
std::string encodeValue(std::string_view value) {
    const bool needsQuotes =
        !value.empty() && (isBlank(value.front()) || isBlank(value.back()) || hasOuterQuotes(value));
    if (!needsQuotes) return std::string(value);
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    out += value;
    out += '"';
    return out;
}

bool validSection(std::string_view s) {
    return !s.empty() && trim(s).size() == s.size() && !holdsLineBreakOrNul(s) && s.find(']') == s.npos;
}

bool validKey(std::string_view k) {
    return !k.empty() && trim(k).size() == k.size() && !holdsLineBreakOrNul(k) && k.find('=') == k.npos &&
           k.front() != ';' && k.front() != '[';
}

// Cuts "s" to at most "maxBytes" without splitting a UTF-8 sequence. Bytes that are not UTF-8 are cut
// where the limit falls.
void cutAtCharBoundary(std::string& s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return;
    std::size_t cut = maxBytes;
    const auto isContinuation = [&](std::size_t i) {
        return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
    };
    std::size_t back = 0;
    while (cut > 0 && back < 3 && isContinuation(cut)) {
        --cut;
        ++back;
    }
    if (isContinuation(cut)) cut = maxBytes;  // not UTF-8 here: no character to keep whole
    s.resize(cut);
}

std::int32_t parseLeadingInt(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<std::int64_t>(INT32_MAX) + 1)
            value = static_cast<std::int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<std::int32_t>(value);
}

}  // namespace

ProfileFile::KeyLine ProfileFile::parseKeyLine(std::string_view text) {
    KeyLine out;
    const std::string_view t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '[') return out;
    const auto eq = t.find('=');
    if (eq == t.npos) return out;
    out.key = trim(t.substr(0, eq));
    if (out.key.empty()) return out;
    out.isKey = true;
    out.rawValue = trim(t.substr(eq + 1));
    return out;
}

bool ProfileFile::parseSectionHeader(std::string_view text, std::string_view& name) {
    std::string_view t = trim(text);
    if (t.empty() || t.front() != '[') return false;
    t.remove_prefix(1);
    const auto close = t.find(']');
    name = trim(close == t.npos ? t : t.substr(0, close));
    return true;
}

std::error_code ProfileFile::load(std::string_view path) {
    path_ = std::string(path);
    existed_ = false;
    bom_ = false;
    lines_.clear();
    loadError_.clear();

    std::string content;
    if (auto ec = readWholeFile(path, content)) {
        loadError_ = ec;
        return ec;
    }
    existed_ = true;
    parse(content);
    return {};
}

void ProfileFile::parse(std::string_view content) {
    bom_ = false;
    lines_.clear();
    std::string_view rest = content;
    if (rest.starts_with(kBom)) {
        bom_ = true;
        rest.remove_prefix(kBom.size());
    }
    while (!rest.empty()) {
        const auto brk = rest.find_first_of("\r\n");
        Line line;
        if (brk == rest.npos) {
            line.text = std::string(rest);
            rest = {};
        } else {
            line.text = std::string(rest.substr(0, brk));
            const std::size_t endLen = rest.compare(brk, 2, "\r\n") == 0 ? 2 : 1;
            line.end = std::string(rest.substr(brk, endLen));
            rest.remove_prefix(brk + endLen);
        }
        lines_.push_back(std::move(line));
    }
}

std::size_t ProfileFile::findKey(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (parseSectionHeader(lines_[i].text, name)) {
            inSection = sameName(name, section);
            continue;
        }
        if (!inSection) continue;
        const KeyLine kl = parseKeyLine(lines_[i].text);
        if (kl.isKey && sameName(kl.key, key)) return i;
    }
    return std::string::npos;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key, std::string_view fallback,
                                   std::size_t maxChars) const {
    const std::size_t i = findKey(section, key);
    std::string value(i == std::string::npos ? fallback : unquote(parseKeyLine(lines_[i].text).rawValue));
    cutAtCharBoundary(value, maxChars);
    return value;
}

std::int32_t ProfileFile::getInt(std::string_view section, std::string_view key,
                                 std::int32_t fallback) const {
    const std::size_t i = findKey(section, key);
    if (i == std::string::npos) return fallback;
    return parseLeadingInt(unquote(parseKeyLine(lines_[i].text).rawValue));
}

bool ProfileFile::hasKey(std::string_view section, std::string_view key) const {
    return findKey(section, key) != std::string::npos;
}

std::string ProfileFile::newLineEnd() const {
    // New lines follow the file's own convention: that of its first line end.
    for (const Line& line : lines_) {
        if (!line.end.empty()) return line.end;
    }
    return "\n";
}

std::error_code ProfileFile::setString(std::string_view section, std::string_view key,
                                       std::string_view value) {
    if (!validSection(section) || !validKey(key) || holdsLineBreakOrNul(value)) return errorOf(EINVAL);

    if (const std::size_t i = findKey(section, key); i != std::string::npos) {
        // Keep the key as the file spells it; only the value changes.
        std::string text(parseKeyLine(lines_[i].text).key);
        text += '=';
        text += encodeValue(value);
        lines_[i].text = std::move(text);
        return {};
    }

    const std::string end = newLineEnd();
    std::string text(key);
    text += '=';
    text += encodeValue(value);

    // After the last non-blank line of the first section of that name, so that blank lines separating it
    // from the next section stay where they are.
    std::size_t insertAt = std::string::npos;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (parseSectionHeader(lines_[i].text, name)) {
            if (inSection) break;
            inSection = sameName(name, section);
            if (inSection) insertAt = i + 1;
            continue;
        }
        if (inSection && !trim(lines_[i].text).empty()) insertAt = i + 1;
    }

    if (insertAt == std::string::npos) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = end;
        if (!lines_.empty() && !trim(lines_.back().text).empty()) lines_.push_back({"", end});
        lines_.push_back({"[" + std::string(section) + "]", end});
        lines_.push_back({std::move(text), end});
        return {};
    }
    // The line before the new one may be the file's last, without a line end of its own.
    if (lines_[insertAt - 1].end.empty()) lines_[insertAt - 1].end = end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{std::move(text), end});
    return {};
}

std::error_code ProfileFile::setInt(std::string_view section, std::string_view key, std::int32_t value) {
    return setString(section, key, std::to_string(value));
}

void ProfileFile::deleteKey(std::string_view section, std::string_view key) {
    // Every occurrence, so that a duplicate further down cannot show through once the first is gone.
    for (std::size_t i; (i = findKey(section, key)) != std::string::npos;) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

std::string ProfileFile::text() const {
    std::string out;
    if (bom_) out += kBom;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.end;
    }
    return out;
}

std::error_code ProfileFile::save() const {
    // A profile that could not be read holds nothing of the file: writing it would wipe the file.
    if (loadError_ && loadError_ != std::errc::no_such_file_or_directory &&
        loadError_ != std::errc::not_a_directory) {
        return loadError_;
    }
    const std::string content = text();

    if (existed_) {
        FileInfo info;
        if (auto ec = fileInfo(path_, info)) return ec;
        if (info.kind == EntryKind::File) {
            std::string target = path_;
            if (info.isSymlink) {
                // A settings file kept elsewhere behind a link (a dotfiles folder): rewrite the file the
                // link names and keep the link.
                std::unique_ptr<char, decltype(&std::free)> real(::realpath(path_.c_str(), nullptr),
                                                                 &std::free);
                if (!real) return errorOf(errno);
                target = real.get();
            }
            return replaceFileContents(target, content);
        }
        if (info.kind != EntryKind::Missing)
            return errorOf(info.kind == EntryKind::Directory ? EISDIR : EINVAL);
        // Removed since it was read: make it anew below.
    }

    const std::string_view folder = parentPath(path_);
    if (!folder.empty()) {
        std::error_code ec;
        if (!makeDirectories(folder, &ec)) return ec ? ec : errorOf(EIO);
    }
    // Never replaces: a file that appeared since load was not read, so it is not ours to overwrite.
    return createFile(path_, content);
}

}  // namespace korvel::platform
