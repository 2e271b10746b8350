#pragma once
// A private-profile ("ini") settings file: sections "[Name]" holding "key=value" lines. Section and key
// names are compared without regard to ASCII case; a missing key gives the caller's default; integers are
// read from their leading digits; writing one key keeps every other line (comments, unknown keys, other
// sections) as it was; the file is replaced atomically when saved.
//
// Reading follows the usual profile reader: spaces and tabs around keys and values are dropped, lines
// starting with ";" are comments, and one pair of double quotes around a value is taken off. Writing puts
// such quotes around a value that would otherwise lose its outer blanks or quotes, so that every value
// without a line break or NUL reads back exactly as written.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvel::platform {

class ProfileFile {
  public:
    // No cut at all for getString.
    static constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

    // Reads the file at "path". A missing file (or a missing folder on the way) gives an empty profile and
    // ENOENT (or ENOTDIR); the profile can still be written and saved, which then creates the file and its
    // folder. Any other error leaves an empty profile that must not be saved over the file it failed to read.
    std::error_code load(std::string_view path);
    const std::string& path() const { return path_; }
    // Whether load found the file.
    bool existed() const { return existed_; }
    // Takes "content" as the file's text, as load does once it has read it; the path stays as it is.
    void parse(std::string_view content);

    // The value, cut to "maxChars" bytes (at a UTF-8 character boundary); "fallback" when the key is missing.
    std::string getString(std::string_view section, std::string_view key, std::string_view fallback = {},
                          std::size_t maxChars = 260) const;
    // The leading (optionally signed) decimal digits of the value, saturated to the 32-bit range; 0 when
    // there are none; "fallback" when the key is missing.
    std::int32_t getInt(std::string_view section, std::string_view key, std::int32_t fallback) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // Sets a key, adding the section at the end of the file and the key at the end of its section when
    // missing. A value holding a line break or a NUL is refused (EINVAL): it would read back differently.
    // So is a section or key name that could not be found again (empty, blanks at either end, a line
    // break, NUL, "]" in a section, "=" in a key, a key starting with ";" or "[").
    std::error_code setString(std::string_view section, std::string_view key, std::string_view value);
    std::error_code setInt(std::string_view section, std::string_view key, std::int32_t value);
    // Removes every line that sets the key in a section of that name.
    void deleteKey(std::string_view section, std::string_view key);

    // The text save() would write.
    std::string text() const;
    // Writes the profile back to its path atomically, making the folder when needed. Refuses (with the
    // error load met) a profile whose file exists but could not be read; never replaces a file that
    // appeared after load found none (EEXIST).
    std::error_code save() const;

  private:
    struct Line {
        std::string text;  // without its line end
        std::string end;   // "\r\n", "\n", "\r", or "" for a last line without one
    };
    struct KeyLine {
        bool isKey = false;
        std::string_view key;
        std::string_view rawValue;  // trimmed, quotes not yet taken off
    };

    static KeyLine parseKeyLine(std::string_view text);
    // The name of the section whose header is "text"; false when it is no header.
    static bool parseSectionHeader(std::string_view text, std::string_view& name);
    // Index of the first line setting "key" in a section named "section", or npos.
    std::size_t findKey(std::string_view section, std::string_view key) const;
    std::string newLineEnd() const;

    std::string path_;
    bool existed_ = false;
    std::error_code loadError_;
    bool bom_ = false;  // the file started with a UTF-8 byte order mark, kept on save
    std::vector<Line> lines_;
};

}  // namespace korvel::platform
