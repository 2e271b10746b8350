#pragma once
// Listing the entries of one directory.
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvel::platform {

// The names of the entries of "dir", without "." and "..", sorted byte-wise. The names are bytes as the
// file system holds them (not necessarily UTF-8). On an error "names" is left empty.
std::error_code listDirectory(std::string_view dir, std::vector<std::string>& names);

}  // namespace korvel::platform
