#pragma once
// A disk that behaves like the real one except for the failures a test asks for.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "platform/disk.h"
#include "platform/paths.h"

namespace korvel::testing {

class FaultyDisk : public platform::Disk {
  public:
    // Writes to files under this directory take this many bytes in all, then fail with "writeError".
    std::string writesUnder;
    std::size_t bytesBeforeFailure = 0;
    int writeError = ENOSPC;

    // The no-replace renames for which this returns an errno value other than 0 fail with it.
    std::function<int(const std::string& from, const std::string& to)> refuseRename;
    // The chmods for which this returns an errno value other than 0 fail with it.
    std::function<int(const std::string& path)> refuseChmod;
    // Unlinks of this path fail with EACCES.
    std::string refuseUnlink;
    // Acts as the permission checks root is spared: an entry cannot be added to or removed from a
    // directory whose owner has no write bit.
    bool checkDirectoryWriteBits = false;

    std::vector<std::string> chmodded;

    int open(const char* path, int flags, mode_t mode) override {
        if ((flags & O_CREAT) && !parentWritable(path)) return fail(EACCES);
        const int fd = Disk::open(path, flags, mode);
        // Only what is opened for writing: a directory opened to be flushed is no file that fills up.
        if (fd >= 0 && (flags & (O_WRONLY | O_RDWR))) watch(fd, path);
        return fd;
    }
    int mkstemp(char* pathTemplate) override {
        if (!parentWritable(pathTemplate)) return fail(EACCES);
        const int fd = Disk::mkstemp(pathTemplate);
        if (fd >= 0) watch(fd, pathTemplate);
        return fd;
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (fd != watchedFd_) return Disk::write(fd, data, size);
        if (written_ >= bytesBeforeFailure) return fail(writeError);
        // A short write first, as a file system that is filling up gives.
        const std::size_t take = std::min(size, bytesBeforeFailure - written_);
        const ssize_t n = Disk::write(fd, data, take);
        if (n > 0) written_ += static_cast<std::size_t>(n);
        return n;
    }
    int close(int fd) override {
        if (fd == watchedFd_) watchedFd_ = -1;
        return Disk::close(fd);
    }
    int chmod(const char* path, mode_t mode) override {
        if (refuseChmod) {
            if (const int err = refuseChmod(path)) return fail(err);
        }
        chmodded.emplace_back(path);
        return Disk::chmod(path, mode);
    }
    int renameNoReplace(const char* from, const char* to) override {
        if (refuseRename) {
            if (const int err = refuseRename(from, to)) return fail(err);
        }
        if (!parentWritable(from) || !parentWritable(to)) return fail(EACCES);
        return Disk::renameNoReplace(from, to);
    }
    int unlink(const char* path) override {
        if (refuseUnlink == path || !parentWritable(path)) return fail(EACCES);
        return Disk::unlink(path);
    }
    int rmdir(const char* path) override {
        if (!parentWritable(path)) return fail(EACCES);
        return Disk::rmdir(path);
    }
    int mkdir(const char* path, mode_t mode) override {
        if (!parentWritable(path)) return fail(EACCES);
        return Disk::mkdir(path, mode);
    }

  private:
    static int fail(int err) {
        errno = err;
        return -1;
    }
    void watch(int fd, std::string_view path) {
        if (!writesUnder.empty() && path.starts_with(writesUnder + "/")) watchedFd_ = fd;
    }
    bool parentWritable(std::string_view path) const {
        if (!checkDirectoryWriteBits) return true;
        std::string parent(platform::parentPath(path));
        if (parent.empty()) parent = ".";
        struct stat st {};
        return ::stat(parent.c_str(), &st) != 0 || (st.st_mode & S_IWUSR) != 0;
    }

    int watchedFd_ = -1;
    std::size_t written_ = 0;
};

}  // namespace korvel::testing
