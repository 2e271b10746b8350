#pragma once
// Path helpers. Paths are byte strings with "/" as the separator.
#include <cstddef>
#include <string>
#include <string_view>

namespace korvel::platform {

inline constexpr char kSeparator = '/';
// The host's longest path in bytes (PATH_MAX on Linux). Target conventions have budgets of their own.
inline constexpr std::size_t kMaxPath = 4096;

// "dir" with "/" appended unless it already ends with one; "" becomes "/".
std::string withTrailingSeparator(std::string_view dir);
// "dir/name" with exactly one separator between the two.
std::string joinPath(std::string_view dir, std::string_view name);
// The text after the last "/" ("" for a path ending in "/").
std::string_view lastComponent(std::string_view path);
// Everything before the last "/" ("" when there is none; "/" for a file in the root).
std::string_view parentPath(std::string_view path);
// $TMPDIR, else "/tmp".
std::string temporaryDirectory();
// The directory of the running process, "" when it cannot be read.
std::string currentDirectory();
// The path with every symbolic link, "." and ".." resolved (realpath); "" when it cannot be resolved.
std::string canonicalPath(std::string_view path);

}  // namespace korvel::platform
