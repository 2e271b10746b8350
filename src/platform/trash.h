#pragma once
// The desktop's trash (the freedesktop.org Trash specification). No Qt header appears here.
#include <string>
#include <string_view>
#include <system_error>

namespace korvel::platform {

// Moves "path" to the trash. "trashedPath" receives where it went. A file that cannot be trashed is left in
// place (never deleted outright) and the error says why: ENOENT when it is missing, EILSEQ for a name that
// is not valid UTF-8 (the trash cannot record it faithfully), FileError::NotTrashed when the trash refused.
std::error_code moveToTrash(std::string_view path, std::string* trashedPath = nullptr);

}  // namespace korvel::platform
