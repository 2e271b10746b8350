#pragma once
// Reading what is on disk: an entry's kind and size, and the bytes of a file. Nothing here changes the disk.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

struct stat;

namespace korvel::platform {

enum class EntryKind {
    Missing,    // nothing of that name
    File,       // a regular file, or a symbolic link to one
    Directory,  // a directory (never through a symbolic link)
    Other,      // a socket, FIFO or device, a link to a directory, a dangling link
};

struct FileInfo {
    EntryKind kind = EntryKind::Missing;
    bool isSymlink = false;  // the entry itself is a symbolic link
    std::int64_t size = 0;   // of the file (behind a link: of its target)
    mode_t mode = 0;         // permission bits of the entry (behind a link: of its target)
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t linkCount = 0;  // names of the file (hard links; behind a link: of its target)
    // The entry itself (a symbolic link's own, not its target's): what a rename of it keeps.
    dev_t entryDevice = 0;
    ino_t entryInode = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
};

// Looks at a path without following a link to a directory. A missing path is not an error: kind is Missing.
std::error_code fileInfo(std::string_view path, FileInfo& out);
// The same for the entry "name" of the directory open as "dirFd" (AT_FDCWD: "name" is a path): a walk that
// looks at every entry of a directory saves resolving the directory's path again for each.
std::error_code fileInfoAt(int dirFd, std::string_view name, FileInfo& out);

// What identifies a file's state when it was read: the same entry (device and inode), the same length and
// the same modification time. A rewrite made from what was read must find the file still so.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const struct stat& st);

// A file opened for reading; closed by the destructor.
class ReadFile {
  public:
    ReadFile() = default;
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;
    ReadFile(ReadFile&& other) noexcept;
    ReadFile& operator=(ReadFile&& other) noexcept;
    ~ReadFile();

    std::error_code open(std::string_view path);
    // Opens the entry "name" of the directory open as "dirFd" (AT_FDCWD: "name" is a path).
    std::error_code openAt(int dirFd, std::string_view name);
    bool isOpen() const { return fd_ >= 0; }
    // Reads up to "count" bytes at "offset"; returns the bytes read (0 at the end), -1 on error with "ec"
    // set.
    std::int64_t readAt(std::int64_t offset, void* buffer, std::size_t count, std::error_code& ec) const;
    // The file's length now, -1 on error.
    std::int64_t size() const;
    // The file's length when it was opened: no second look, for readers that read on to the end anyway.
    std::int64_t sizeAtOpen() const { return sizeAtOpen_; }
    // The open file's stamp now; an error when it cannot be looked at.
    std::error_code stamp(FileStamp& out) const;
    void close();

  private:
    int fd_ = -1;
    std::int64_t sizeAtOpen_ = -1;
};

// The whole file (or its first "limit" bytes) as a string.
std::error_code readWholeFile(std::string_view path, std::string& out,
                              std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace korvel::platform
