#pragma once
// Questions about paths and reads of files. None of them logs anything or changes the disk.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::files {

// True when "path" holds a "/" and names an entry (a dangling symbolic link is an entry too).
bool pathExists(std::string_view path);
// True for a directory; never through a symbolic link.
bool pathIsDirectory(std::string_view path);
// A regular file (or a link to one) with an execute bit.
bool isExecutable(std::string_view path);
// The name ends in ".lnk", in any case. Such shortcuts are ordinary files here, but keep their name test.
bool isShortcut(std::string_view path);
// Not writable by the effective user.
bool isReadOnly(std::string_view path);
// A regular file (or a link to one) that is neither executable nor a shortcut.
bool isPlainFile(std::string_view path);
// True when the directory holds no entry at all, and for a path that is not a directory. A directory that
// cannot be listed is not known to be empty: false.
bool isEmptyDirectory(std::string_view path);

// The length of a regular file (or of the file behind a link) in bytes; -1 for anything else.
std::int64_t fileSize(std::string_view path);

// The entries of a directory ("." and ".." not counted), with those of its subdirectories when
// "recursive" (links to directories are counted, never followed). 0 for what cannot be listed.
std::size_t countEntries(std::string_view path, bool recursive);

// Reads up to "count" bytes at "offset" into "out" (replacing its content) and returns how many; -1 when the
// file cannot be opened or read, or is shorter than "offset".
std::int64_t readAt(std::string_view path, std::string& out, std::size_t count, std::int64_t offset);

}  // namespace korvel::files
