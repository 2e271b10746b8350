#include "cli/arguments.h"

#include "platform/paths.h"

namespace korvel::cli {

std::string absoluteDirectory(std::string_view dir) {
    std::string path(dir);
    while (path.size() > 1 && path.back() == platform::kSeparator)
        path.pop_back();
    if (!path.empty() && path.front() == platform::kSeparator) return path;
    return platform::joinPath(platform::currentDirectory(), path == "." ? std::string_view{} : path);
}

}  // namespace korvel::cli
