#include "platform/paths.h"

#include "platform/file_info.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
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
    std::string existing(path);
    if (existing.empty() || existing.front() != kSeparator) existing = joinPath(currentDirectory(), existing);
    std::string rest;  // the components below "existing" that are not there, by name
    for (;;) {
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(existing.c_str(), nullptr),
                                                               &std::free);
        if (real) {
            std::string out(real.get());
            std::string_view tail = rest;
            while (!tail.empty()) {
                const auto slash = tail.find(kSeparator);
                const std::string_view part = tail.substr(0, slash);
                tail = slash == std::string_view::npos ? std::string_view() : tail.substr(slash + 1);
                if (part.empty() || part == ".") continue;
                if (part == "..") {
                    out = std::string(parentPath(out));
                    if (out.empty()) out = "/";
                } else {
                    out = joinPath(out, part);
                }
            }
            return out;
        }
        if (existing == "/") return {};
        const std::string_view last = lastComponent(existing);
        rest = rest.empty() ? std::string(last) : std::string(last) + kSeparator + rest;
        existing = std::string(parentPath(existing));
        if (existing.empty()) existing = "/";
    }
}

bool liesWithin(std::string_view path, std::string_view dir) {
    const std::string p = canonicalPath(path);
    const std::string d = canonicalPath(dir);
    if (p.empty() || d.empty()) return false;
    return p == d || d == "/" || (p.starts_with(d) && p[d.size()] == kSeparator);
}

namespace {

std::string withoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == kSeparator)
        path.remove_suffix(1);
    return std::string(path);
}

}  // namespace

bool isAtOrBelow(std::string_view path, std::string_view dir) {
    const std::string p = withoutTrailingSeparators(path);
    const std::string d = withoutTrailingSeparators(dir);
    if (p == d || d == "/" || (p.starts_with(d) && p[d.size()] == kSeparator)) return true;
    // "link/.." or "link/." through a link into the site is inside, whatever the spelling.
    if (liesWithin(p, d)) return true;
    FileInfo top;
    if (fileInfo(d, top) || top.kind != EntryKind::Directory) return false;
    // The same directory reached through a link is still inside.
    for (std::string step = p; !step.empty() && step != "/"; step = std::string(parentPath(step))) {
        FileInfo info;
        if (!fileInfo(step, info) && info.kind == EntryKind::Directory && info.device == top.device &&
            info.inode == top.inode) {
            return true;
        }
    }
    return false;
}

}  // namespace korvel::platform
