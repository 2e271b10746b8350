#include "files/file_operations.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "report/log.h"
#include "res/strings.h"
#include "ui/prompts.h"

namespace korvel::files {

namespace {

platform::FileInfo infoOf(std::string_view path, std::error_code& ec) {
    platform::FileInfo info;
    ec = platform::fileInfo(path, info);
    return info;
}

// "dir/" names "dir"; the root stays "/".
std::string_view withoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == platform::kSeparator)
        path.remove_suffix(1);
    return path;
}

// A directory, or a symbolic link to one: a place new entries can be made in. Only the question of
// whether to create a directory follows links; nothing is ever removed through one.
bool isDirectoryToCreateIn(std::string_view path) {
    std::error_code ec;
    const platform::FileInfo info = infoOf(path, ec);
    if (ec) return false;
    if (info.kind == platform::EntryKind::Directory) return true;
    if (!info.isSymlink || info.kind != platform::EntryKind::Other) return false;
    std::vector<std::string> names;
    return !platform::listDirectory(path, names);
}

bool trashOne(const std::string& path) {
    if (!platform::moveToTrash(path)) return true;
    currentLog().errorDetail(res::kTrashFailed, path);
    return false;
}

// The character after "c" in the stepping order 0-9, A-Z; "\0" once Z is passed. Anything else starts
// the stepping at 0.
char stepped(char c) {
    if (c >= '0' && c < '9') return static_cast<char>(c + 1);
    if (c == '9') return 'A';
    if (c >= 'A' && c < 'Z') return static_cast<char>(c + 1);
    if (c == 'Z') return '\0';
    return '0';
}

bool nameTaken(const std::string& path) {
    std::error_code ec;
    const platform::FileInfo info = infoOf(path, ec);
    // What cannot be looked at is not known to be free.
    return ec || info.kind != platform::EntryKind::Missing;
}

}  // namespace

bool deleteFile(std::string_view path) {
    // Unlinking needs the directory's permission, not the file's: changing the file's mode would only
    // leave it altered when the removal fails anyway.
    if (!platform::removeFile(path)) return true;
    currentLog().errorDetail(res::kFailedToDeleteFile, path);
    return false;
}

bool trashFile(std::string_view path) {
    return trashOne(std::string(path));
}

bool trashFiles(const std::vector<std::string>& paths, bool showUi) {
    std::unique_ptr<ui::Progress> progress =
        showUi ? ui::prompts().makeProgress() : std::make_unique<ui::SilentProgress>();
    progress->begin(res::loadString(res::kRemovingFiles), static_cast<std::int64_t>(paths.size()));
    bool ok = true;
    for (const std::string& path : paths) {
        if (progress->setDirectory(platform::parentPath(path))) {
            ok = false;
            break;
        }
        progress->setFile(path);
        if (!trashOne(path)) ok = false;
    }
    progress->end();
    return ok;
}

bool removeDirectory(std::string_view path) {
    const std::string dir(withoutTrailingSeparators(path));
    std::error_code ec;
    const platform::FileInfo info = infoOf(dir, ec);
    if (!ec && info.kind == platform::EntryKind::Missing) return true;
    if (ec || info.kind != platform::EntryKind::Directory) {
        // Not a directory of its own (a link to one, a file): removing "it" could mean removing what it
        // points to, or what the caller never meant.
        currentLog().errorDetail(res::kFailedToDeleteDirectory, dir);
        return false;
    }

    // Entries can only go from a directory the user may write.
    mode_t previousMode = 0;
    const bool madeWritable = !platform::makeWritable(dir, previousMode) && !(previousMode & S_IWUSR);

    bool ok = true;
    std::vector<std::string> names;
    if (platform::listDirectory(dir, names)) ok = false;
    for (const std::string& name : names) {
        const std::string child = platform::joinPath(dir, name);
        std::error_code childEc;
        const platform::FileInfo childInfo = infoOf(child, childEc);
        if (!childEc && childInfo.kind == platform::EntryKind::Missing) continue;  // gone meanwhile
        // A link to a directory is not a directory here: the link goes, never what it points to.
        const bool isDirectory = !childEc && childInfo.kind == platform::EntryKind::Directory;
        if (!(isDirectory ? removeDirectory(child) : deleteFile(child))) ok = false;
    }

    if (platform::removeEmptyDirectory(dir)) {
        if (madeWritable) platform::restoreMode(dir, previousMode);
        currentLog().errorDetail(res::kFailedToDeleteDirectory, dir);
        return false;
    }
    return ok;
}

bool createDirectory(std::string_view path) {
    const std::string dir(withoutTrailingSeparators(path));
    if (dir.empty()) return false;
    if (isDirectoryToCreateIn(dir)) return true;
    const std::string_view parent = platform::parentPath(dir);
    if (!parent.empty() && parent != dir && !isDirectoryToCreateIn(parent) && !createDirectory(parent)) {
        return false;
    }
    const std::error_code ec = platform::makeDirectory(dir);
    if (!ec || (ec == std::errc::file_exists && isDirectoryToCreateIn(dir))) return true;
    currentLog().errorDetail(res::kFailedToCreateDirectory, dir);
    return false;
}

std::optional<std::string> uniqueDirectoryName(std::string_view directory, std::string_view name) {
    constexpr std::size_t kLongestName = 31;
    constexpr std::size_t kLowestPosition = 5;
    const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };

    std::string candidate(name);
    std::size_t position = 0;  // the byte being stepped
    bool started = false;
    bool full = false;  // once the name is as long as it may grow, it never grows again

    // Steps the byte left of "position" (passing over a Z, which is used up). A byte of a multi-byte
    // character gives way to "0" with the rest of its character, so the name stays valid UTF-8.
    const auto moveLeft = [&]() -> bool {
        for (;;) {
            if (position <= kLowestPosition) return false;
            --position;
            if (static_cast<unsigned char>(candidate[position]) >= 0x80) {
                std::size_t first = position;
                while (first > 0 && isContinuation(candidate[first]))
                    --first;
                std::size_t last = position + 1;
                while (last < candidate.size() && isContinuation(candidate[last]))
                    ++last;
                if (first < kLowestPosition) return false;
                candidate.replace(first, last - first, "0");
                position = first;
                return true;
            }
            if (const char next = stepped(candidate[position])) {
                candidate[position] = next;
                return true;
            }
        }
    };

    while (nameTaken(platform::joinPath(directory, candidate))) {
        if (started) {
            if (const char next = stepped(candidate[position])) {
                candidate[position] = next;
                continue;
            }
        } else {
            started = true;
            position = candidate.size();
        }
        if (!full && candidate.size() < kLongestName) {
            candidate.push_back('0');
            position = candidate.size() - 1;
            continue;
        }
        full = true;
        if (!moveLeft()) return std::nullopt;
    }
    return candidate;
}

}  // namespace korvel::files
