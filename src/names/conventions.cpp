#include "names/conventions.h"

#include <algorithm>

#include "platform/paths.h"
#include "platform/utf8.h"
#include "settings/job_settings.h"
#include "site/node.h"

namespace korvel::names {

namespace {

// The table's sets, in its row order.
constexpr std::string_view kDosForbidden = "\"\\<>:/|?*+,;=[] ";
constexpr std::string_view kVfatForbidden = "\"\\<>:/|?*";
constexpr std::string_view kNtfsForbidden = "\"\\<>:/|";
constexpr std::string_view kMacForbidden = ":";
constexpr std::string_view kUnixForbidden = "/";

// The host's longest full path: PATH_MAX counts the terminating NUL.
constexpr std::int32_t kHostMaxPath = static_cast<std::int32_t>(platform::kMaxPath) - 1;

bool isAsciiAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The length of the UTF-8 character that starts at "text[i]", or 1 when no valid one starts there.
std::size_t characterLength(std::string_view text, std::size_t i) {
    return std::max<std::size_t>(1, platform::utf8Length(text.substr(i)));
}

}  // namespace

NameLimits getNameLimits(std::int32_t target) {
    switch (target) {
        case kTargetIso9660:
        case kTargetDos:
            return {12, 255, '_'};
        case kTargetVfat:
            return {255, 259, '_'};
        case kTargetNtfs:
        case kTargetUnix:
            return {255, 255, '_'};
        case kTargetMacintosh:
            return {31, 255, '_'};
        default:
            // No target: only the host limits the names.
            return {kHostMaxName, kHostMaxPath, '_'};
    }
}

std::string_view forbiddenCharacters(std::int32_t target) {
    switch (target) {
        case kTargetDos:
            return kDosForbidden;
        case kTargetVfat:
            return kVfatForbidden;
        case kTargetNtfs:
            return kNtfsForbidden;
        case kTargetMacintosh:
            return kMacForbidden;
        case kTargetUnix:
            return kUnixForbidden;
        default:
            return {};
    }
}

bool isIsoCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return isAsciiAlnum(u) || c == '.' || c == '_';
}

bool isAllowedCharacter(std::int32_t target, char c) {
    // Neither can ever be part of a name on the host.
    if (c == '\0' || c == '/') return false;
    const auto u = static_cast<unsigned char>(c);
    switch (target) {
        case kTargetIso9660:
            return isIsoCharacter(c);
        case kTargetDos:
            if (u == 0x7F) return false;
            [[fallthrough]];
        case kTargetVfat:
        case kTargetNtfs:
            // FAT and NTFS refuse the control bytes in a name.
            if (u < 0x20) return false;
            break;
        default:
            break;
    }
    return forbiddenCharacters(target).find(c) == std::string_view::npos;
}

bool isCaseBlind(std::int32_t target) {
    switch (target) {
        case kTargetIso9660:
        case kTargetDos:
        case kTargetVfat:
        case kTargetNtfs:
        case kTargetMacintosh:
            return true;
        default:
            return false;
    }
}

bool isReservedDeviceName(std::int32_t target, std::string_view name) {
    if (target != kTargetIso9660 && target != kTargetDos && target != kTargetVfat && target != kTargetNtfs)
        return false;
    // Windows looks at the name before the first dot, trailing spaces dropped.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const auto is = [&](std::string_view word) {
        return stem.size() >= word.size() && std::equal(word.begin(), word.end(), stem.begin(),
                                                        [&](char w, char c) { return w == upper(c); });
    };
    if (stem.size() == 3) return is("CON") || is("PRN") || is("AUX") || is("NUL");
    return stem.size() == 4 && (is("COM") || is("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

bool hasShortNameStructure(std::int32_t target) {
    return getNameLimits(target).maxNameLength == 12;
}

std::int32_t effectiveMaxNameLength(const Node& node, std::int32_t target) {
    const NameLimits limits = getNameLimits(target);
    const std::size_t directory = node.directoryPathLength();
    // A directory path longer than any budget leaves no room; saturate instead of wrapping.
    const std::int64_t room =
        static_cast<std::int64_t>(limits.maxPathLength) -
        static_cast<std::int64_t>(std::min<std::size_t>(directory, platform::kMaxPath * 2));
    return static_cast<std::int32_t>(std::min<std::int64_t>(limits.maxNameLength, room));
}

std::size_t cutPoint(std::string_view text, std::size_t maxBytes) {
    if (maxBytes >= text.size()) return text.size();
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t next = i + characterLength(text, i);
        if (next > maxBytes) break;
        i = next;
    }
    return i;
}

}  // namespace korvel::names
