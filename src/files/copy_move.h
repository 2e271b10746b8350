#pragma once
// Copying and moving files and directories. Each operation that fails writes why into the errors section of
// the current log ("During copy, " and the failure, with the path on its own line; or "Failed to rename
// file") and returns false; none throws.
#include <string_view>

namespace korvel::files {

// Copies the bytes of a regular file (or of the file behind a link) to "target", which must not exist. The
// copy is written under a temporary name beside the target, flushed, and then given the target's name
// without replacing anything, so a failed copy leaves no target behind and an existing file is never
// overwritten. The new file gets the source's permission bits.
bool copyFile(std::string_view source, std::string_view target);

// Moves a file or a directory tree to "target", which must not exist (its parent must). Where a rename cannot
// cross to the target's file system, the item is copied and the source removed only once the whole copy is in
// place; a copy that fails is removed again and the source left whole. Symbolic links and special files
// cannot be carried across file systems that way and are refused.
bool moveItem(std::string_view source, std::string_view target);

}  // namespace korvel::files
