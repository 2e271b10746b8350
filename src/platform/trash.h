#pragma once
// The desktop's trash (the freedesktop.org Trash specification). No Qt header appears here.
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvel::platform {

// The longest name of "path"'s last component that the trash can record, with room for the numbering the
// trash adds to a name it holds already; "homeInfoDirectory" is the home trash's info directory.
std::size_t longestTrashableName(std::string_view path, std::string_view homeInfoDirectory);

// The home trash: $XDG_DATA_HOME/Trash (default ~/.local/share/Trash); "" when no home is known.
std::string homeTrashDirectory();

// Every trash a file near "path" may go to: the home trash ($XDG_DATA_HOME/Trash) and the two trashes at
// the top of the file system "path" is on (".Trash" and ".Trash-<uid>"). Whether each exists is not looked
// at.
std::vector<std::string> trashDirectories(std::string_view path);

// The trash the file "path" goes to: the home trash when "path" is on the home directory's file system,
// else the one at the top of its own (".Trash/<uid>" where the system provides it, else ".Trash-<uid>",
// made on first use). "" when no home is known.
std::string trashDirectoryFor(std::string_view path);

// Moves "path" to the trash. "trashedPath" receives where it went. A file that cannot be trashed is left in
// place (never deleted outright) and the error says why: ENOENT when it is missing, EILSEQ for a name that
// is not valid UTF-8 (the trash cannot record it faithfully), ENAMETOOLONG for a name longer than
// longestTrashableName, FileError::NotTrashed when the trash refused.
std::error_code moveToTrash(std::string_view path, std::string* trashedPath = nullptr);

}  // namespace korvel::platform
