#pragma once
// Korvel's own directories under the state directory (the undo journals and their saved copies): made
// readable by their owner alone, and never reached through a symbolic link, so that a link found there
// cannot make Korvel read, replace or delete files elsewhere.
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace korvel::platform {

// Makes the directory "path" (not its parents) with mode 0700 when it is missing. Fails with ELOOP when
// "path" is a symbolic link, ENOTDIR when it is something else, EPERM when another user owns it; a
// directory of ours that others may read is narrowed to 0700.
std::error_code makePrivateDirectory(std::string_view path);

// Whether "path" is a private directory as makePrivateDirectory leaves it (false when missing).
std::error_code checkPrivateDirectory(std::string_view path);

// Removes each file of the private directory "path" for which "remove" says so. The directory is opened
// without following a link and its entries are removed relative to it; a missing directory is no error.
std::error_code removeFilesIn(std::string_view path, const std::function<bool(std::string_view)>& remove);

// Reads the whole file "path" without following a link at its last component.
std::error_code readFileNoFollow(std::string_view path, std::string& out);

}  // namespace korvel::platform
