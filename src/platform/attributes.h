#pragma once
// The Windows file attributes, as Linux sees them.
#include <sys/types.h>

#include <string_view>
#include <system_error>

namespace korvel::platform {

struct Attributes {
    bool readOnly = false;   // the owner's write bit is clear
    bool hidden = false;     // the name starts with "." (never "." or "..")
    bool system = false;     // not a regular file, a directory, or a link to a regular file
    bool temporary = false;  // an editor or backup leftover: "name~" or "#name#"
    bool directory = false;  // a directory (never through a link)
};

bool isHiddenName(std::string_view name);
bool isTemporaryName(std::string_view name);

// The attributes of the entry at "path"; an error when it cannot be looked at.
std::error_code attributesOf(std::string_view path, Attributes& out);

// True when the entry's owner write bit is clear (what "read-only" is on Windows), whoever asks.
bool isReadOnly(std::string_view path);
// The same for the entry "name" of the directory open as "dirFd".
bool isReadOnlyAt(int dirFd, std::string_view name);

// Adds the owner's write bit and removes nothing (a directory keeps its execute bits). "previousMode"
// receives the exact mode before the change, for restoreMode.
std::error_code makeWritable(std::string_view path, mode_t& previousMode);
std::error_code restoreMode(std::string_view path, mode_t mode);

}  // namespace korvel::platform
