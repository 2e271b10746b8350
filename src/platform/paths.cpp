#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace korvel::platform {

std::string withTrailingSeparator(std::string_view dir) {
    std::string out(dir);
    if (out.empty() || out.back() != kSeparator) out.push_back(kSeparator);
    return out;
}

std::string joinPath(std::string_view dir, std::string_view name) {
    while (!name.empty() && name.front() == kSeparator)
        name.remove_prefix(1);
    if (dir.empty()) return std::string(name);
    return withTrailingSeparator(dir) + std::string(name);
}

std::string_view lastComponent(std::string_view path) {
    const auto slash = path.rfind(kSeparator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view parentPath(std::string_view path) {
    const auto slash = path.rfind(kSeparator);
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string temporaryDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? std::string(dir) : std::string("/tmp");
}

std::string currentDirectory() {
    std::string buf(kMaxPath, '\0');
    if (!::getcwd(buf.data(), buf.size())) return {};
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

std::string canonicalPath(std::string_view path) {
    char* resolved = ::realpath(std::string(path).c_str(), nullptr);
    if (!resolved) return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

}  // namespace korvel::platform
