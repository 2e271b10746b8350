#pragma once
// Removing, trashing and creating files and directories, and finding a free directory name. Each operation
// that fails writes why into the errors section of the current log and returns false; none throws.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::files {

// Removes a file, or a symbolic link itself (never what it points to). Needs no write permission on the
// file itself, so its mode is left alone. "Failed to delete file" on failure.
bool deleteFile(std::string_view path);

// Moves a file to the desktop's trash. A file that cannot be trashed stays where it is; it is never
// deleted outright. "Removal to trash/recycle bin failed" on failure.
bool trashFile(std::string_view path);

// Trashes each path in turn, with a "Removing Files" progress when "showUi" (a cancel there stops before
// the next path and gives false). Every path that fails is reported on its own, and the others still go.
bool trashFiles(const std::vector<std::string>& paths, bool showUi);

// Removes a directory and everything below it; a path that does not exist counts as removed. Read-only
// directories inside the tree get their owner's write bit so that their entries can go; one that still
// cannot be removed gets its mode back. Symbolic links are removed themselves and never followed, so
// nothing outside the tree is touched. A path that is itself a link, or not a directory, is refused.
// Goes on after a failure and reports each ("Failed to delete file", "Failed to delete directory").
bool removeDirectory(std::string_view path);

// Makes a directory and any missing parents; true when it is a directory already. False for an empty
// path. "Failed to create directory" on failure.
bool createDirectory(std::string_view path);

// A name under which nothing exists in "directory" yet: "name" itself, else name0 ... name9, nameA ...
// nameZ, nameZ0 and so on. Names are not grown past 31 bytes; from there the stepping moves leftwards,
// down to the sixth byte. Nothing when every name is taken.
std::optional<std::string> uniqueDirectoryName(std::string_view directory, std::string_view name);

}  // namespace korvel::files
