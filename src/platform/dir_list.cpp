#include "platform/dir_list.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvel::platform {

std::error_code listDirectory(std::string_view dir, std::vector<std::string>& names) {
    names.clear();
    const std::string path(dir.empty() ? std::string_view("/") : dir);
    DIR* stream = ::opendir(path.c_str());
    if (!stream) return {errno, std::system_category()};
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

}  // namespace korvel::platform
