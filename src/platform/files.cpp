#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>

#include "platform/disk.h"
#include "platform/file_info.h"
#include "platform/locations.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

class FileErrorCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "korvel.file"; }
    std::string message(int code) const override {
        switch (static_cast<FileError>(code)) {
            case FileError::IsSymlink:
                return "is a symbolic link; what lies behind a link is never changed";
            case FileError::VerifyFailed:
                return "the file did not read back as it was written";
            case FileError::NotTrashed:
                return "the file could not be moved to the trash and was left in place";
            case FileError::NoTemporaryBeside:
                return "no temporary file can be made beside the file, so it was left as it was";
            case FileError::OwnerNotKept:
                return "the file's owner and group could not be kept, so it was left as it was";
            case FileError::ChangedSinceRead:
                return "the file changed after it was read, so it was left as it was";
            case FileError::HardLinked:
                return "the file has more than one name (hard links), so it was left as it was";
        }
        return "unknown file error";
    }
};

std::error_code lastError() {
    return {errno, std::system_category()};
}
std::error_code errorOf(int err) {
    return {err, std::system_category()};
}

std::string directoryOf(std::string_view path) {
    const std::string_view dir = parentPath(path);
    return dir.empty() ? std::string(".") : std::string(dir);
}

std::error_code writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = disk().write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        // A write that makes no progress would loop for ever.
        if (n == 0) return errorOf(EIO);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

// Closes through the disk so that a failing close (a late write error on some file systems) is seen.
std::error_code closeChecked(int& fd) {
    const int result = disk().close(fd);
    fd = -1;
    return result == 0 ? std::error_code{} : lastError();
}

// Flushes a directory so that a rename or a new entry in it survives a crash. Some file systems cannot
// flush a directory; the entry is then as durable as they make it.
void flushDirectory(const std::string& dir) {
    const int fd = disk().open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return;
    disk().fsync(fd);
    disk().close(fd);
}

// Whether the directory holds an entry of exactly this name (byte for byte), without any case folding
// the file system might do on lookup.
bool hasExactEntry(const std::string& dir, std::string_view name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return true;  // cannot tell: assume taken, which refuses rather than risks a replacement
    bool found = false;
    while (const dirent* entry = ::readdir(d)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string out(6, ' ');
    for (char& c : out)
        c = kChars[pick(engine)];
    return out;
}

// "from" and "to" are one entry of a case-insensitive file system: a single no-replace rename would see
// "to" as taken, so go through a free name in the same directory.
std::error_code renameThroughTemporaryName(const std::string& from, const std::string& to) {
    const std::string dir = directoryOf(to);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string middle = joinPath(dir, ".el_" + randomSuffix());
        if (disk().renameNoReplace(from.c_str(), middle.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return lastError();
        }
        if (disk().renameNoReplace(middle.c_str(), to.c_str()) == 0) return {};
        const std::error_code failed = lastError();
        disk().renameNoReplace(middle.c_str(), from.c_str());
        return failed;
    }
    return errorOf(EEXIST);
}

timespec timespecOf(std::int64_t ns) {
    constexpr std::int64_t kPerSecond = 1000000000;
    std::int64_t seconds = ns / kPerSecond;
    std::int64_t nanoseconds = ns % kPerSecond;
    if (nanoseconds < 0) {
        nanoseconds += kPerSecond;
        --seconds;
    }
    return {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)};
}

bool refusesNewFiles(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// Whether "target" may now be replaced by content made from it as it was when "readAs" was taken.
std::error_code stillAsRead(const std::string& target, const FileStamp& readAs, bool splitHardLinks) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return lastError();
    if (!S_ISREG(st.st_mode) || stampOf(st) != readAs) return FileError::ChangedSinceRead;
    if (st.st_nlink > 1 && !splitHardLinks) return FileError::HardLinked;
    return {};
}

}  // namespace

std::error_code make_error_code(FileError e) {
    static const FileErrorCategory category;
    return {static_cast<int>(e), category};
}

std::error_code renameNoReplace(std::string_view from, std::string_view to) {
    const std::string f(from);
    const std::string t(to);
    struct stat fromStat {};
    struct stat toStat {};
    if (::lstat(f.c_str(), &fromStat) != 0) return lastError();
    if (::lstat(t.c_str(), &toStat) == 0) {
        // "to" may be "from" itself, found through the case folding of the file system. Only when no entry
        // of that exact name exists: otherwise it is another name (a hard link) that must not be replaced.
        const bool sameEntry = fromStat.st_dev == toStat.st_dev && fromStat.st_ino == toStat.st_ino;
        if (!sameEntry || f == t || directoryOf(f) != directoryOf(t) ||
            hasExactEntry(directoryOf(t), lastComponent(t))) {
            return errorOf(EEXIST);
        }
        return renameThroughTemporaryName(f, t);
    }
    if (disk().renameNoReplace(f.c_str(), t.c_str()) != 0) return lastError();
    return {};
}

std::error_code replaceFileContents(std::string_view path, std::string_view content,
                                    const ReplaceOptions& options) {
    const std::string p(path);
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return lastError();
    if (S_ISLNK(st.st_mode)) return FileError::IsSymlink;
    if (S_ISDIR(st.st_mode)) return errorOf(EISDIR);
    if (!S_ISREG(st.st_mode)) return errorOf(EINVAL);
    const FileStamp readAs = options.readAs ? *options.readAs : stampOf(st);
    if (stampOf(st) != readAs) return FileError::ChangedSinceRead;
    if (st.st_nlink > 1 && !options.splitHardLinks) return FileError::HardLinked;

    const std::string dir = directoryOf(p);
    ReplaceBatch* batch = ReplaceBatch::current();
    std::string temp =
        joinPath(dir, (batch ? temporaryPrefix(batch->temporaryTag()) : std::string(".el_")) + "XXXXXX");
    int fd = disk().mkstemp(temp.data());
    if (fd < 0) {
        // Rewriting the file itself instead would leave it empty or half written after a crash.
        if (refusesNewFiles(errno)) return FileError::NoTemporaryBeside;
        return lastError();
    }

    auto fail = [&](std::error_code ec) {
        if (fd >= 0) disk().close(fd);
        disk().unlink(temp.c_str());
        return ec;
    };

    if (auto ec = writeAll(fd, content)) return fail(ec);
    // Owner first: changing the owner clears the set-user-id and set-group-id bits that the mode sets.
    // A file that would pass to another owner or group is not replaced: that would change who may use it.
    struct stat made {};
    if (::fstat(fd, &made) != 0) return fail(lastError());
    if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) &&
        disk().fchown(fd, st.st_uid, st.st_gid) != 0) {
        return fail(errno == EPERM ? make_error_code(FileError::OwnerNotKept) : lastError());
    }
    // The exact mode, read-only included: the rename needs only the directory's permission.
    if (disk().fchmod(fd, st.st_mode & 07777) != 0) return fail(lastError());
    if (options.modifiedNs != kNewTime) {
        const timespec times[2] = {{0, UTIME_OMIT}, timespecOf(options.modifiedNs)};
        if (::futimens(fd, times) != 0) return fail(lastError());
    }
    if (!batch && disk().fsync(fd) != 0) return fail(lastError());
    if (auto ec = closeChecked(fd)) return fail(ec);
    if (batch) {
        batch->stage(std::move(temp), p, readAs, options.splitHardLinks);
        return {};
    }
    if (auto ec = stillAsRead(p, readAs, options.splitHardLinks)) return fail(ec);
    if (disk().renameReplace(temp.c_str(), p.c_str()) != 0) return fail(lastError());
    flushDirectory(dir);
    return {};
}

namespace {
ReplaceBatch* g_batch = nullptr;
}  // namespace

ReplaceBatch::ReplaceBatch(std::function<bool()> barrier, Failure failed, std::size_t maxFiles,
                           Committed committed, std::string temporaryTag)
    : barrier_(std::move(barrier)),
      failed_(std::move(failed)),
      maxFiles_(maxFiles ? maxFiles : 1),
      committed_(std::move(committed)),
      tag_(std::move(temporaryTag)),
      previous_(g_batch) {
    g_batch = this;
}

ReplaceBatch::~ReplaceBatch() {
    commit();
    g_batch = previous_;
}

ReplaceBatch* ReplaceBatch::current() {
    return g_batch;
}

void ReplaceBatch::stage(std::string temp, std::string target, FileStamp readAs, bool splitHardLinks) {
    // The one staged before it commit first, so that a failure is never reported for a file whose
    // replacement the caller was just told had succeeded.
    if (staged_.size() >= maxFiles_) commit();
    staged_.push_back({std::move(temp), std::move(target), readAs, splitHardLinks});
}

void ReplaceBatch::dropAll(std::error_code why) {
    for (const Staged& s : staged_) {
        disk().unlink(s.temp.c_str());
        if (failed_) failed_(s.target, why);
    }
    staged_.clear();
}

void ReplaceBatch::commit() {
    if (staged_.empty()) return;
    // One flush per file system: the staged contents reach the disk before any of them takes its place.
    std::vector<dev_t> flushed;
    for (const Staged& s : staged_) {
        struct stat st {};
        if (::stat(s.temp.c_str(), &st) != 0) continue;
        bool seen = false;
        for (dev_t d : flushed)
            seen = seen || d == st.st_dev;
        if (seen) continue;
        const int fd = disk().open(s.temp.c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (fd < 0 || disk().syncfs(fd) != 0) {
            const std::error_code ec = lastError();
            if (fd >= 0) disk().close(fd);
            dropAll(ec);
            return;
        }
        disk().close(fd);
        flushed.push_back(st.st_dev);
    }
    if (barrier_ && !barrier_()) {
        dropAll(std::make_error_code(std::errc::io_error));
        return;
    }
    std::vector<std::string> directories;
    for (const Staged& s : staged_) {
        // Another program may have written the file since it was read: its edit must not be lost.
        std::error_code ec = stillAsRead(s.target, s.readAs, s.splitHardLinks);
        if (!ec && disk().renameReplace(s.temp.c_str(), s.target.c_str()) != 0) ec = lastError();
        if (ec) {
            disk().unlink(s.temp.c_str());
            if (failed_) failed_(s.target, ec);
            continue;
        }
        std::string dir = directoryOf(s.target);
        if (directories.empty() || directories.back() != dir) directories.push_back(std::move(dir));
        if (committed_) committed_(s.target);
    }
    staged_.clear();
    std::sort(directories.begin(), directories.end());
    directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
    for (const std::string& dir : directories)
        flushDirectory(dir);
}

std::error_code replaceWithLink(std::string_view path, std::string_view existing) {
    const std::string p(path);
    const std::string e(existing);
    const std::string dir = directoryOf(p);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = joinPath(dir, ".el_" + randomSuffix());
        if (disk().link(e.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return lastError();
        }
        if (disk().renameReplace(temp.c_str(), p.c_str()) != 0) {
            const std::error_code ec = lastError();
            disk().unlink(temp.c_str());
            return ec;
        }
        flushDirectory(dir);
        return {};
    }
    return errorOf(EEXIST);
}

std::error_code createFile(std::string_view path, std::string_view content, mode_t mode, bool flush) {
    const std::string p(path);
    int fd = disk().open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return lastError();
    std::error_code ec = writeAll(fd, content);
    if (!ec && flush && disk().fsync(fd) != 0) ec = lastError();
    if (ec) {
        disk().close(fd);
    } else {
        ec = closeChecked(fd);
    }
    if (ec) {
        // The file is ours (O_EXCL made it): a half-written one would pass for a whole one.
        disk().unlink(p.c_str());
        return ec;
    }
    if (flush) flushDirectory(directoryOf(p));
    return {};
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::exchange(other.path_, {})), fd_(std::exchange(other.fd_, -1)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        discard();
        path_ = std::exchange(other.path_, {});
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TempFile::~TempFile() {
    discard();
}

void TempFile::discard() {
    closeFile();
    if (!path_.empty()) disk().unlink(path_.c_str());
    path_.clear();
}

std::error_code TempFile::create(std::string_view directory, std::string_view prefix) {
    discard();
    // Without a directory: a working file of the report, which names its process so that it can be
    // cleared away should the process be killed.
    std::string templ =
        directory.empty()
            ? joinPath(scratchDirectory(), std::string(prefix) + std::to_string(::getpid()) + "_XXXXXX")
            : joinPath(directory, std::string(prefix) + "XXXXXX");
    const int fd = disk().mkstemp(templ.data());
    if (fd < 0) return lastError();
    fd_ = fd;
    path_ = std::move(templ);
    return {};
}

std::error_code TempFile::write(std::string_view data) {
    if (fd_ < 0) return errorOf(EBADF);
    return writeAll(fd_, data);
}

std::error_code TempFile::flush() {
    if (fd_ < 0) return errorOf(EBADF);
    return disk().fsync(fd_) == 0 ? std::error_code{} : lastError();
}

void TempFile::closeFile() {
    if (fd_ >= 0) disk().close(fd_);
    fd_ = -1;
}

std::string TempFile::release() {
    closeFile();
    return std::exchange(path_, {});
}

std::error_code setModifiedTime(std::string_view path, std::int64_t modifiedNs) {
    const timespec times[2] = {{0, UTIME_OMIT}, timespecOf(modifiedNs)};
    if (::utimensat(AT_FDCWD, std::string(path).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return lastError();
    return {};
}

std::string temporaryPrefix(std::string_view tag) {
    return tag.empty() ? std::string(".el_") : ".el_" + std::string(tag) + "_";
}

std::error_code truncateFile(int fd, std::int64_t length) {
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0 ? std::error_code{} : lastError();
}

std::error_code makeDirectory(std::string_view path, mode_t mode) {
    return disk().mkdir(std::string(path).c_str(), mode) == 0 ? std::error_code{} : lastError();
}

std::error_code removeFile(std::string_view path) {
    return disk().unlink(std::string(path).c_str()) == 0 ? std::error_code{} : lastError();
}

std::error_code removeEmptyDirectory(std::string_view path) {
    return disk().rmdir(std::string(path).c_str()) == 0 ? std::error_code{} : lastError();
}

}  // namespace korvel::platform
