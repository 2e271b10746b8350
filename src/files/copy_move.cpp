#include "files/copy_move.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "files/file_operations.h"
#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/disk.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "report/log.h"
#include "res/strings.h"

namespace korvel::files {

namespace {

// Large blocks: the copy costs system calls per block, not per 512 bytes.
constexpr std::size_t kBlockSize = 256 * 1024;

void copyFailed(int id, std::string_view path) {
    currentLog().error(res::kDuringCopy);
    currentLog().errorDetail(id, path);
}

void renameFailed(std::string_view from, std::string_view to) {
    currentLog().error(res::kFailedToRenameFile, from, to);
    currentLog().errorEndLine();
}

std::string directoryOf(std::string_view path) {
    const std::string_view dir = platform::parentPath(path);
    return dir.empty() ? std::string(".") : std::string(dir);
}

platform::FileInfo infoOf(std::string_view path, std::error_code& ec) {
    platform::FileInfo info;
    ec = platform::fileInfo(path, info);
    return info;
}

// So that a new name is on disk before anything that relies on it, such as removing the source of a move.
// Some file systems cannot flush a directory; the entry is then as durable as they make it.
void flushDirectory(const std::string& dir) {
    platform::Disk& disk = platform::disk();
    const int fd = disk.open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return;
    disk.fsync(fd);
    disk.close(fd);
}

struct Source {
    platform::ReadFile file;
    std::int64_t length = 0;
    mode_t mode = 0;
};

bool openSource(std::string_view path, Source& source) {
    std::error_code ec;
    const platform::FileInfo info = infoOf(path, ec);
    // Only regular files: opening a FIFO or a device could block or never end.
    if (ec || info.kind != platform::EntryKind::File || source.file.open(path)) {
        copyFailed(res::kFileOpenFailed, path);
        return false;
    }
    source.length = source.file.size();
    source.mode = info.mode;
    if (source.length < 0) {
        copyFailed(res::kFileReadFailed, path);
        return false;
    }
    return true;
}

std::unique_ptr<char[]> allocateBuffer() {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
    if (!buffer) {
        currentLog().error(res::kDuringCopy);
        currentLog().error(res::kMemoryAllocationError);
        currentLog().errorEndLine();
    }
    return buffer;
}

enum class Pumped { Whole, ReadFailed, WriteFailed, NoMemory };

// Hands the source's bytes, as long as it was when opened (so that a file that keeps growing ends), to
// "sink" block by block; the sink returns false when it could not take them.
template <typename Sink>
Pumped pump(const Source& source, Sink&& sink) {
    std::unique_ptr<char[]> buffer;
    for (std::int64_t offset = 0; offset < source.length;) {
        if (!buffer) buffer = allocateBuffer();
        if (!buffer) return Pumped::NoMemory;
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kBlockSize), source.length - offset));
        std::error_code ec;
        const std::int64_t got = source.file.readAt(offset, buffer.get(), want, ec);
        if (got < 0) return Pumped::ReadFailed;
        if (got == 0) break;  // the file shrank meanwhile: what is there has been copied
        if (!sink(std::string_view(buffer.get(), static_cast<std::size_t>(got)))) return Pumped::WriteFailed;
        offset += got;
    }
    return Pumped::Whole;
}

// Reports a pump that did not complete; false then.
bool pumpedWhole(Pumped result, std::string_view source, std::string_view target) {
    if (result == Pumped::Whole) return true;
    if (result == Pumped::NoMemory) return false;  // reported when it happened
    if (result == Pumped::ReadFailed) {
        copyFailed(res::kFileReadFailed, source);
    } else {
        copyFailed(res::kFileWriteFailed, target);
    }
    return false;
}

bool copyToNewFile(std::string_view sourcePath, const Source& source, std::string_view target) {
    const std::string targetPath(target);
    std::error_code ec;
    if (infoOf(targetPath, ec).kind != platform::EntryKind::Missing || ec) {
        copyFailed(res::kFileOpenFailed, targetPath);
        return false;
    }
    // Written beside the target under a hidden temporary name (removed on every way out), and given the
    // target's name only once whole: a failure never leaves a partial target that looks like a copy.
    platform::TempFile temp;
    if (temp.create(directoryOf(targetPath), ".el_")) {
        copyFailed(res::kFileOpenFailed, targetPath);
        return false;
    }
    const Pumped result = pump(source, [&](std::string_view bytes) { return !temp.write(bytes); });
    if (!pumpedWhole(result, sourcePath, targetPath)) return false;
    if (platform::disk().fchmod(temp.fd(), source.mode & 0777) != 0 || temp.flush()) {
        copyFailed(res::kFileWriteFailed, targetPath);
        return false;
    }
    temp.closeFile();
    if (const std::error_code renameEc = platform::renameNoReplace(temp.path(), targetPath)) {
        // Someone made the target meanwhile: it is theirs, and it stays.
        copyFailed(renameEc == std::errc::file_exists ? res::kFileOpenFailed : res::kFileWriteFailed,
                   targetPath);
        return false;
    }
    temp.release();
    flushDirectory(directoryOf(targetPath));
    return true;
}

bool isPlainDirectory(std::string_view path) {
    std::error_code ec;
    return infoOf(path, ec).kind == platform::EntryKind::Directory && !ec;
}

// The copy half of a move across file systems: every entry must arrive as it was (new directories with
// their modes, no links turned into files) or the move fails.
bool copyTree(const std::string& source, const std::string& target) {
    if (!isPlainDirectory(source)) {
        copyFailed(res::kFileOpenFailed, source);
        return false;
    }
    if (!isPlainDirectory(target)) {
        copyFailed(res::kFileOpenFailed, target);
        return false;
    }
    std::vector<std::string> names;
    if (platform::listDirectory(source, names)) {
        copyFailed(res::kFileOpenFailed, source);
        return false;
    }
    bool ok = true;
    for (const std::string& name : names) {
        const std::string from = platform::joinPath(source, name);
        const std::string to = platform::joinPath(target, name);
        std::error_code ec;
        const platform::FileInfo info = infoOf(from, ec);
        if (!ec && info.kind == platform::EntryKind::Missing) continue;  // gone meanwhile
        if (!ec && info.kind == platform::EntryKind::Directory) {
            if (platform::makeDirectory(to)) {
                currentLog().errorDetail(res::kFailedToCreateDirectory, to);
                ok = false;
                continue;
            }
            if (!copyTree(from, to)) ok = false;
            platform::restoreMode(to, info.mode);
        } else if (!ec && info.kind == platform::EntryKind::File && !info.isSymlink) {
            if (!copyFile(from, to)) ok = false;
        } else {
            renameFailed(from, to);
            ok = false;
        }
    }
    return ok;
}

}  // namespace

bool copyFile(std::string_view source, std::string_view target) {
    Source from;
    if (!openSource(source, from)) return false;
    return copyToNewFile(source, from, target);
}

bool moveItem(std::string_view source, std::string_view target) {
    const std::string from(source);
    const std::string to(target);
    std::error_code ec;
    const platform::FileInfo info = infoOf(from, ec);
    if (ec || info.kind == platform::EntryKind::Missing) {
        renameFailed(from, to);
        return false;
    }
    const std::error_code renamed = platform::renameNoReplace(from, to);
    if (!renamed) return true;
    // Only another file system justifies a copy; any other refusal (the target exists above all) stands.
    if (renamed != std::errc::cross_device_link || info.isSymlink ||
        info.kind == platform::EntryKind::Other) {
        renameFailed(from, to);
        return false;
    }
    if (info.kind == platform::EntryKind::File) {
        if (!copyFile(from, to)) return false;
        // A move leaves the file as it was, its time too (the undo journal knows a moved file by it). A
        // time that could not be set leaves a copy that is whole, only newer.
        platform::setModifiedTime(to, info.modifiedNs);
        if (!deleteFile(from)) {
            // Better in one place than in two: the copy goes again, and the move counts as failed.
            deleteFile(to);
            return false;
        }
        return true;
    }

    if (platform::makeDirectory(to)) {
        currentLog().errorDetail(res::kFailedToCreateDirectory, to);
        return false;
    }
    if (!copyTree(from, to)) {
        // Everything below the new directory is this copy's own: the source is still whole.
        removeDirectory(to);
        return false;
    }
    platform::restoreMode(to, info.mode);
    return removeDirectory(from);
}

}  // namespace korvel::files
