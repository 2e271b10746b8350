#include "platform/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace korvel::platform {

namespace {
std::error_code lastError() {
    return {errno, std::system_category()};
}
}  // namespace

std::error_code fileInfo(std::string_view path, FileInfo& out) {
    return fileInfoAt(AT_FDCWD, path, out);
}

std::error_code fileInfoAt(int dirFd, std::string_view name, FileInfo& out) {
    out = FileInfo{};
    const std::string p(name);
    struct stat st {};
    if (::fstatat(dirFd, p.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return lastError();
    }
    out.isSymlink = S_ISLNK(st.st_mode);
    out.entryDevice = st.st_dev;
    out.entryInode = st.st_ino;
    if (out.isSymlink) {
        struct stat target {};
        // A dangling link, or one to anything but a regular file, is never followed.
        if (::fstatat(dirFd, p.c_str(), &target, 0) != 0 || !S_ISREG(target.st_mode)) {
            out.kind = EntryKind::Other;
            out.mode = st.st_mode & 07777;
            out.device = st.st_dev;
            out.inode = st.st_ino;
            return {};
        }
        st = target;
    }
    if (S_ISREG(st.st_mode)) {
        out.kind = EntryKind::File;
    } else if (S_ISDIR(st.st_mode)) {
        out.kind = EntryKind::Directory;
    } else {
        out.kind = EntryKind::Other;
    }
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mode = st.st_mode & 07777;
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.linkCount = static_cast<std::uint64_t>(st.st_nlink);
    out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return {};
}

FileStamp stampOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), sizeAtOpen_(std::exchange(other.sizeAtOpen_, -1)) {}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        sizeAtOpen_ = std::exchange(other.sizeAtOpen_, -1);
    }
    return *this;
}

ReadFile::~ReadFile() {
    close();
}

std::error_code ReadFile::open(std::string_view path) {
    return openAt(AT_FDCWD, path);
}

std::error_code ReadFile::openAt(int dirFd, std::string_view name) {
    close();
    const std::string p(name);
    // O_NONBLOCK keeps a FIFO from blocking the open; a regular file ignores it.
    fd_ = ::openat(dirFd, p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return lastError();
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close();
        return {err, std::system_category()};
    }
    sizeAtOpen_ = static_cast<std::int64_t>(st.st_size);
    return {};
}

std::int64_t ReadFile::readAt(std::int64_t offset, void* buffer, std::size_t count,
                              std::error_code& ec) const {
    ec.clear();
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n =
            ::pread(fd_, out + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ec = lastError();
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t ReadFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::error_code ReadFile::stamp(FileStamp& out) const {
    struct stat st {};
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    if (::fstat(fd_, &st) != 0) return {errno, std::system_category()};
    out = stampOf(st);
    return {};
}

void ReadFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    sizeAtOpen_ = -1;
}

std::error_code readWholeFile(std::string_view path, std::string& out, std::size_t limit) {
    out.clear();
    ReadFile file;
    if (auto ec = file.open(path)) return ec;
    const std::int64_t size = file.sizeAtOpen();
    std::size_t want = size > 0 ? static_cast<std::size_t>(size) : 0;
    if (want > limit) want = limit;
    out.resize(want);
    std::error_code ec;
    std::int64_t got = file.readAt(0, out.data(), want, ec);
    if (got < 0) return ec;
    out.resize(static_cast<std::size_t>(got));
    // The file may have grown since fstat; read on until the end or the limit.
    char chunk[65536];
    while (out.size() < limit) {
        const std::size_t ask = std::min(sizeof chunk, limit - out.size());
        got = file.readAt(static_cast<std::int64_t>(out.size()), chunk, ask, ec);
        if (got < 0) return ec;
        if (got == 0) break;
        out.append(chunk, static_cast<std::size_t>(got));
    }
    return {};
}

}  // namespace korvel::platform
