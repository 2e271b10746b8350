#include "platform/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace korvel::platform {

namespace {

Disk& realDisk() {
    static Disk real;
    return real;
}

Disk* installed = nullptr;

// The last resort where neither the no-replace flag nor a hard link is available: between the check and
// the rename another process could create "to", which the rename would then replace.
int checkThenRename(const char* from, const char* to) {
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    if (errno != ENOENT) return -1;
    return ::rename(from, to);
}

bool flagUnsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// link(2) fails with these where the file system has no hard links at all.
bool linkUnsupported(int err) {
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS;
}

}  // namespace

int Disk::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t Disk::write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}
int Disk::fsync(int fd) {
    return ::fsync(fd);
}
int Disk::syncfs(int fd) {
    return ::syncfs(fd);
}
int Disk::close(int fd) {
    return ::close(fd);
}
int Disk::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int Disk::fchown(int fd, uid_t owner, gid_t group) {
    return ::fchown(fd, owner, group);
}
int Disk::chmod(const char* path, mode_t mode) {
    return ::chmod(path, mode);
}
int Disk::mkstemp(char* pathTemplate) {
    return ::mkstemp(pathTemplate);
}
int Disk::renameReplace(const char* from, const char* to) {
    return ::rename(from, to);
}
int Disk::link(const char* from, const char* to) {
    return ::link(from, to);
}
int Disk::unlink(const char* path) {
    return ::unlink(path);
}
int Disk::mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}
int Disk::rmdir(const char* path) {
    return ::rmdir(path);
}

int Disk::renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (!flagUnsupported(errno)) return -1;
    return renameNoReplaceFallback(from, to);
}

int renameNoReplaceFallback(const char* from, const char* to) {
    struct stat st {};
    if (::lstat(from, &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return checkThenRename(from, to);

    // A hard link fails with EEXIST when "to" exists, so it cannot replace anything.
    if (::link(from, to) != 0) {
        if (linkUnsupported(errno)) return checkThenRename(from, to);
        return -1;
    }
    if (::unlink(from) != 0) {
        // Leave things as they were rather than with the file under two names.
        const int err = errno;
        ::unlink(to);
        errno = err;
        return -1;
    }
    return 0;
}

Disk& disk() {
    return installed ? *installed : realDisk();
}

DiskScope::DiskScope(Disk& replacement) : previous_(installed) {
    installed = &replacement;
}

DiskScope::~DiskScope() {
    installed = previous_;
}

}  // namespace korvel::platform
