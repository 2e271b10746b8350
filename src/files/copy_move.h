#pragma once
// Copying and moving files and directories. Each operation that fails writes why into the errors section of
// the current log ("During copy, " and the failure, with the path on its own line; or "Failed to rename
// file") and returns false; none throws.
#include <string_view>

namespace korvel::files {

enum class CopyMode {
    // The target must not exist. The copy is written under a temporary name beside the target, flushed,
    // and then given the target's name without replacing anything, so a failed copy leaves no target
    // behind and an existing file is never overwritten. The new file gets the source's permission bits.
    CreateNew,
    // The source is added to the end of the target (made as with CreateNew when missing). A failure
    // midway leaves the bytes appended so far; the target's earlier content is never touched.
    Append,
    // Only for callers that mean to overwrite (a saved report, the external-links page): the target's
    // content is replaced in one step, keeping its permissions; a failure leaves it as it was. What lies
    // behind a symbolic link is never rewritten.
    Replace,
};

// Copies the bytes of a regular file (or of the file behind a link).
bool copyFile(std::string_view source, std::string_view target, CopyMode mode = CopyMode::CreateNew);

// Renames "from" to "to", never replacing an existing "to".
bool moveFile(std::string_view from, std::string_view to);

// Moves a file or a directory tree to "target", which must not exist (its parent must). Where a rename cannot
// cross to the target's file system, the item is copied and the source removed only once the whole copy is in
// place; a copy that fails is removed again and the source left whole. Symbolic links and special files
// cannot be carried across file systems that way and are refused.
bool moveItem(std::string_view source, std::string_view target);

// Copies the files of the directory "source" into the existing directory "target" (with CreateNew), and
// with "recursive" its subdirectories too. Symbolic links to files are copied as the files behind them;
// special files and links to directories are reported and passed over. Goes on after a failure.
bool copyDirectory(std::string_view source, std::string_view target, bool recursive);

}  // namespace korvel::files
