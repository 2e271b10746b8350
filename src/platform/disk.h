#pragma once
// The operations that change the disk, behind one small interface so that a test can replace or wrap it
// and make a short write, a full disk, a refused rename or a crash point happen at a chosen step.
// Every function returns 0 (or a count) on success and -1 with errno set on failure, as the system calls do.
#include <sys/types.h>

#include <cstddef>

namespace korvel::platform {

class Disk {
  public:
    virtual ~Disk() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* data, std::size_t size);
    virtual int fsync(int fd);
    // Flushes the whole file system that holds "fd".
    virtual int syncfs(int fd);
    virtual int close(int fd);
    virtual int fchmod(int fd, mode_t mode);
    virtual int fchown(int fd, uid_t owner, gid_t group);
    virtual int chmod(const char* path, mode_t mode);
    virtual int mkstemp(char* pathTemplate);
    // rename(2) without replacing: fails with EEXIST when "to" exists.
    virtual int renameNoReplace(const char* from, const char* to);
    // rename(2) that replaces "to" in one step (only the atomic replacement of a file's contents uses it).
    virtual int renameReplace(const char* from, const char* to);
    virtual int link(const char* from, const char* to);
    virtual int unlink(const char* path);
    virtual int mkdir(const char* path, mode_t mode);
    virtual int rmdir(const char* path);
};

// The no-replace rename for file systems without RENAME_NOREPLACE: a hard link and an unlink for a file;
// for a directory (which cannot be linked), or where there are no hard links at all, a check followed by a
// rename, which a process creating "to" in between could defeat. Disk::renameNoReplace falls back to it.
int renameNoReplaceFallback(const char* from, const char* to);

// The disk in use: the real one unless a DiskScope installed another.
Disk& disk();

// Installs "replacement" for its lifetime (tests only; scopes nest, and they are not meant to be installed
// while another thread uses the disk).
class DiskScope {
  public:
    explicit DiskScope(Disk& replacement);
    ~DiskScope();
    DiskScope(const DiskScope&) = delete;
    DiskScope& operator=(const DiskScope&) = delete;

  private:
    Disk* previous_;
};

}  // namespace korvel::platform
