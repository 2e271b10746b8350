#include "platform/dir_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvel::platform {

namespace {

// Reads the names of "stream", closes it, and sorts them.
std::error_code readNames(DIR* stream, std::vector<std::string>& names) {
    std::error_code ec;
    for (;;) {
        // readdir reports an error only through errno, and leaves it alone at the end of the list.
        errno = 0;
        const dirent* entry = ::readdir(stream);
        if (!entry) {
            if (errno != 0) ec = {errno, std::system_category()};
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(stream);
    if (ec) {
        // A partial list would look like a complete one to the caller.
        names.clear();
        return ec;
    }
    std::sort(names.begin(), names.end());
    return {};
}

}  // namespace

std::error_code listDirectory(std::string_view dir, std::vector<std::string>& names) {
    names.clear();
    const std::string path(dir.empty() ? std::string_view("/") : dir);
    DIR* stream = ::opendir(path.c_str());
    if (!stream) return {errno, std::system_category()};
    return readNames(stream, names);
}

OpenDirectory::~OpenDirectory() {
    if (fd_ >= 0) ::close(fd_);
}

std::error_code OpenDirectory::open(std::string_view dir) {
    if (fd_ >= 0) ::close(fd_);
    const std::string path(dir.empty() ? std::string_view("/") : dir);
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return {errno, std::system_category()};
    return {};
}

std::error_code OpenDirectory::list(std::vector<std::string>& names) const {
    names.clear();
    // The stream gets a descriptor of its own: closing it must leave this one open.
    const int own = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return {errno, std::system_category()};
    DIR* stream = ::fdopendir(own);
    if (!stream) {
        const std::error_code ec(errno, std::system_category());
        ::close(own);
        return ec;
    }
    // A duplicate shares the position: read from the start whatever read before.
    ::rewinddir(stream);
    return readNames(stream, names);
}

}  // namespace korvel::platform
