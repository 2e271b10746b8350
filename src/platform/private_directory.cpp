#include "platform/private_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/disk.h"

namespace korvel::platform {

namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

std::error_code errorOf(int err) {
    return {err, std::system_category()};
}

std::error_code judge(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return errorOf(ELOOP);
    if (!S_ISDIR(st.st_mode)) return errorOf(ENOTDIR);
    if (st.st_uid != ::geteuid()) return errorOf(EPERM);
    return {};
}

}  // namespace

std::error_code checkPrivateDirectory(std::string_view path) {
    struct stat st {};
    if (::lstat(std::string(path).c_str(), &st) != 0) return lastError();
    return judge(st);
}

std::error_code makePrivateDirectory(std::string_view path) {
    const std::string p(path);
    if (disk().mkdir(p.c_str(), 0700) == 0) return {};
    if (errno != EEXIST) return lastError();
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return lastError();
    if (const std::error_code ec = judge(st)) return ec;
    if ((st.st_mode & 077) != 0 && ::chmod(p.c_str(), 0700) != 0) return lastError();
    return {};
}

std::error_code removeFilesIn(std::string_view path, const std::function<bool(std::string_view)>& remove) {
    const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? std::error_code{} : lastError();
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const std::error_code ec = lastError();
        ::close(fd);
        return ec;
    }
    std::vector<std::string> doomed;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && remove(name)) doomed.emplace_back(name);
    }
    std::error_code first;
    for (const std::string& name : doomed)
        if (::unlinkat(::dirfd(dir), name.c_str(), 0) != 0 && !first) first = lastError();
    ::closedir(dir);
    return first;
}

std::error_code readFileNoFollow(std::string_view path, std::string& out) {
    out.clear();
    const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return lastError();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const std::error_code ec = lastError();
            ::close(fd);
            return ec;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return {};
}

}  // namespace korvel::platform
