#pragma once
// The one way the program lists a directory.
#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

namespace korvel::files {

class DirectoryEnumerator {
  public:
    // An empty "directory" lists the places a site can live in: on Linux, the root "/" alone.
    explicit DirectoryEnumerator(std::string directory);

    // The next entry (never "." or ".."), in byte order of the names, and true; false at the end or when
    // the directory cannot be listed (error() then says why). With "fullPath" the result is the directory
    // joined with the name, and an entry whose full path would reach the host's path limit is skipped
    // (skipped() lists it); otherwise the name alone.
    bool next(std::string& out, bool fullPath = true);

    const std::string& directory() const { return directory_; }
    const std::error_code& error() const { return error_; }
    // The full paths passed over for their length so far, so that a caller can tell the person.
    const std::vector<std::string>& skipped() const { return skipped_; }

  private:
    std::string directory_;
    std::vector<std::string> names_;
    std::size_t next_ = 0;
    bool started_ = false;
    std::error_code error_;
    std::vector<std::string> skipped_;
};

}  // namespace korvel::files
