// Fuzz entry point of the settings-file reader: any bytes at all are a file's text. Besides what the
// sanitizers catch, it checks the promises the settings rely on: the text comes back byte for byte,
// every value set (without a line break or NUL) reads back exactly, also from the text written, setting
// or deleting one key leaves every other key's value as it was, and integers saturate.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/profile_file.h"

namespace {

using korvel::platform::ProfileFile;

void fail(int line) {
    std::fprintf(stderr, "profile_fuzz: promise broken at line %d\n", line);
    std::abort();
}
#define check(holds) ((holds) ? (void)0 : fail(__LINE__))

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

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

using Names = std::pair<std::string, std::string>;  // section, key

// The section and key names the text sets, read independently of the reader (a few at most), and two
// that it may lack.
std::vector<Names> namesIn(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark
    std::vector<Names> names = {{"Settings", "Target"}, {"Settings", "Item1"}};
    std::string section;
    bool inSection = false;
    while (!text.empty() && names.size() < 10) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.front() == '[') {
            const std::string_view inside = line.substr(1);
            section = std::string(trim(inside.substr(0, inside.find(']'))));
            inSection = true;
        } else if (inSection && !line.empty() && line.front() != ';') {
            const std::size_t eq = line.find('=');
            if (eq != std::string_view::npos && !trim(line.substr(0, eq)).empty())
                names.emplace_back(section, std::string(trim(line.substr(0, eq))));
        }
    }
    return names;
}

// The leading (signed) decimal digits, saturated to 32 bits; 0 when there are none.
std::int32_t leadingInt(std::string_view value) {
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9')
        ++digits;
    value = value.substr(0, digits);
    while (!value.empty() && value.front() == '0')
        value.remove_prefix(1);
    if (value.size() > 10) return negative ? INT32_MIN : INT32_MAX;
    const long long magnitude = value.empty() ? 0 : std::stoll(std::string(value));
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX) return INT32_MAX;
    if (signedValue < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(signedValue);
}

constexpr std::string_view kMissing = "\x01missing";

std::vector<std::string> valuesOf(const ProfileFile& profile, const std::vector<Names>& names) {
    std::vector<std::string> values;
    for (const auto& [section, key] : names)
        values.push_back(profile.getString(section, key, kMissing, ProfileFile::kWhole));
    return values;
}

// Every name but those that are "changed" (compared without regard to case) reads as before.
void checkOthersKept(const ProfileFile& profile, const std::vector<Names>& names,
                     const std::vector<std::string>& before, const Names& changed) {
    const std::vector<std::string> after = valuesOf(profile, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (sameName(names[i].first, changed.first) && sameName(names[i].second, changed.second)) continue;
        check(after[i] == before[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ProfileFile profile;
    profile.parse(text);
    check(profile.text() == text);

    const std::vector<Names> names = namesIn(text);
    const std::vector<std::string> values = valuesOf(profile, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [section, key] = names[i];
        check((values[i] != kMissing) == profile.hasKey(section, key));
        if (values[i] != kMissing) {
            check(profile.getInt(section, key, -7) == leadingInt(values[i]));
            const std::string cut = profile.getString(section, key, {}, 5);
            check(cut.size() <= 5 && values[i].starts_with(cut));
        }

        // The value read back, blanks and quotes of its own included.
        std::string own;
        for (const char c : values[i])
            if (c != '\r' && c != '\n' && c != '\0') own += c;
        for (const std::string_view value : {std::string_view(own), std::string_view(" \"q\" "),
                                             std::string_view("\""), std::string_view("")}) {
            ProfileFile changed = profile;
            if (changed.setString(section, key, value)) continue;  // a name that could not be found again
            check(changed.getString(section, key, kMissing, ProfileFile::kWhole) == value);
            checkOthersKept(changed, names, values, names[i]);
            ProfileFile reread;
            reread.parse(changed.text());
            check(reread.getString(section, key, kMissing, ProfileFile::kWhole) == value);
            check(reread.text() == changed.text());
        }

        ProfileFile without = profile;
        without.deleteKey(section, key);
        check(!without.hasKey(section, key));
        checkOthersKept(without, names, values, names[i]);
    }
    return 0;
}
