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

// "path" made absolute with every link, "." and ".." resolved as the kernel would. A path that does not
// exist (yet) is resolved up to its deepest existing ancestor, the rest taken by name. "" when not even the
// root can be resolved.
std::string canonicalPath(std::string_view path);
// Whether "path" is "dir" or lies below it, by the directories both really are (canonicalPath), so that
// "link/.." or "link/." through a link into "dir" counts as inside.
bool liesWithin(std::string_view path, std::string_view dir);
// Whether "path" is "dir" or lies below it by any account: by the names as given (trailing separators
// aside), by the directories both really are (liesWithin), or because a directory on the way up from
// "path" is "dir" itself reached through a link. What a job that moves files out of a site asks before
// it takes a destination.
bool isAtOrBelow(std::string_view path, std::string_view dir);

}  // namespace korvel::platform
