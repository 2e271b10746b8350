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

// A directory held open, so that its entries can be looked at by name (fileInfoAt, ReadFile::openAt)
// without resolving the directory's path again for each; closed by the destructor.
class OpenDirectory {
  public:
    OpenDirectory() = default;
    OpenDirectory(const OpenDirectory&) = delete;
    OpenDirectory& operator=(const OpenDirectory&) = delete;
    ~OpenDirectory();

    // Opens "dir", as listDirectory would list it.
    std::error_code open(std::string_view dir);
    int fd() const { return fd_; }
    // As listDirectory.
    std::error_code list(std::vector<std::string>& names) const;

  private:
    int fd_ = -1;
};

}  // namespace korvel::platform
