#pragma once
// A private-profile ("ini") settings file: sections "[Name]" holding "key=value" lines. Section and key
// names are compared without regard to ASCII case; a missing key gives the caller's default; integers are
// read from their leading digits; writing one key keeps every other line (comments, unknown keys, other
// sections) as it was; the file is replaced atomically when saved.
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvel::platform {

class ProfileFile {
public:
    // Reads the file at "path". A missing file gives an empty profile and ENOENT; the profile can still
    // be written and saved (which then creates the file and its folder).
    std::error_code load(std::string_view path);
    const std::string& path() const { return path_; }
    // Whether load found the file.
    bool existed() const { return existed_; }

    // The value, cut to "maxChars" bytes (at a UTF-8 character boundary); "fallback" when the key is missing.
    std::string getString(std::string_view section, std::string_view key, std::string_view fallback = {},
                          std::size_t maxChars = 260) const;
    // The leading (optionally signed) decimal digits of the value; 0 when there are none; "fallback" when
    // the key is missing.
    std::int32_t getInt(std::string_view section, std::string_view key, std::int32_t fallback) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // Sets a key, adding the section at the end of the file and the key at the end of its section when
    // missing. A value holding a line break or a NUL is refused (EINVAL): it would read back differently.
    std::error_code setString(std::string_view section, std::string_view key, std::string_view value);
    std::error_code setInt(std::string_view section, std::string_view key, std::int32_t value);
    void deleteKey(std::string_view section, std::string_view key);

    // Writes the profile back to its path atomically, making the folder when needed.
    std::error_code save() const;

private:
    std::string path_;
    bool existed_ = false;
    std::vector<std::string> lines_;  // the file's lines, without their line ends
};

}  // namespace korvel::platform
