#include "platform/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/disk.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

// The entry's own name: "dir/" names "dir".
std::string_view nameOf(std::string_view path) {
    while (path.size() > 1 && path.back() == kSeparator)
        path.remove_suffix(1);
    return lastComponent(path);
}

// The mode of an entry that is not a symbolic link; changing the mode of a link would change what lies
// behind it.
std::error_code ownMode(const std::string& path, mode_t& mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return lastError();
    if (S_ISLNK(st.st_mode)) return FileError::IsSymlink;
    mode = st.st_mode & 07777;
    return {};
}

}  // namespace

bool isHiddenName(std::string_view name) {
    return name.size() > 1 && name.front() == '.' && name != "..";
}

bool isTemporaryName(std::string_view name) {
    if (!name.empty() && name.back() == '~') return true;
    return name.size() >= 2 && name.front() == '#' && name.back() == '#';
}

std::error_code attributesOf(std::string_view path, Attributes& out) {
    out = Attributes{};
    const std::string p(path);
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return lastError();

    const std::string_view name = nameOf(path);
    out.hidden = isHiddenName(name);
    out.temporary = isTemporaryName(name);
    out.directory = S_ISDIR(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        out.system = ::stat(p.c_str(), &target) != 0 || !S_ISREG(target.st_mode);
    } else {
        out.system = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
    }
    out.readOnly = isReadOnly(path);
    return {};
}

bool isReadOnly(std::string_view path) {
    return isReadOnlyAt(AT_FDCWD, path);
}

bool isReadOnlyAt(int dirFd, std::string_view name) {
    // The mode says it, not access(): root may write any file, and a file on a read-only mount or one
    // that belongs to another user has no mode to change that would make it writable. A missing entry,
    // or one that cannot be reached, has no read-only attribute to speak of.
    struct stat st {};
    if (::fstatat(dirFd, std::string(name).c_str(), &st, 0) != 0) return false;
    return (st.st_mode & S_IWUSR) == 0;
}

std::error_code makeWritable(std::string_view path, mode_t& previousMode) {
    const std::string p(path);
    if (auto ec = ownMode(p, previousMode)) return ec;
    if (previousMode & S_IWUSR) return {};
    if (disk().chmod(p.c_str(), previousMode | S_IWUSR) != 0) return lastError();
    return {};
}

std::error_code restoreMode(std::string_view path, mode_t mode) {
    const std::string p(path);
    mode_t current = 0;
    if (auto ec = ownMode(p, current)) return ec;
    if (current == (mode & 07777)) return {};
    if (disk().chmod(p.c_str(), mode & 07777) != 0) return lastError();
    return {};
}

}  // namespace korvel::platform
