#include "files/file_queries.h"
#include "platform/ascii.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/paths.h"

namespace korvel::files {

namespace {

platform::FileInfo infoOf(std::string_view path) {
    platform::FileInfo info;
    if (platform::fileInfo(path, info)) info = {};
    return info;
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text.remove_prefix(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (platform::asciiLower(text[i]) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

bool pathExists(std::string_view path) {
    if (path.find(platform::kSeparator) == std::string_view::npos) return false;
    return infoOf(path).kind != platform::EntryKind::Missing;
}

bool pathIsDirectory(std::string_view path) {
    return infoOf(path).kind == platform::EntryKind::Directory;
}

bool isExecutable(std::string_view path) {
    const platform::FileInfo info = infoOf(path);
    return info.kind == platform::EntryKind::File && (info.mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

bool isShortcut(std::string_view path) {
    return endsWithNoCase(path, ".lnk");
}

bool isReadOnly(std::string_view path) {
    return platform::isReadOnly(path);
}

bool isPlainFile(std::string_view path) {
    const platform::FileInfo info = infoOf(path);
    return info.kind == platform::EntryKind::File && (info.mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0 &&
           !isShortcut(path);
}

bool isEmptyDirectory(std::string_view path) {
    if (!pathIsDirectory(path)) return true;
    std::vector<std::string> names;
    // An unreadable directory may well hold files; calling it empty would invite its removal.
    if (platform::listDirectory(path, names)) return false;
    return names.empty();
}

std::int64_t fileSize(std::string_view path) {
    const platform::FileInfo info = infoOf(path);
    return info.kind == platform::EntryKind::File ? info.size : -1;
}

std::size_t countEntries(std::string_view path, bool recursive) {
    std::size_t count = 0;
    // A stack, not recursion: a deep tree must not exhaust the call stack.
    std::vector<std::string> pending{std::string(path)};
    std::vector<std::string> names;
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        if (platform::listDirectory(dir, names)) continue;
        count += names.size();
        if (!recursive) break;
        for (const std::string& name : names) {
            std::string child = platform::joinPath(dir, name);
            if (pathIsDirectory(child)) pending.push_back(std::move(child));
        }
    }
    return count;
}

std::int64_t readAt(std::string_view path, std::string& out, std::size_t count, std::int64_t offset) {
    out.clear();
    if (offset < 0) return -1;
    platform::ReadFile file;
    if (file.open(path)) return -1;
    const std::int64_t size = file.size();
    if (size < 0 || size < offset) return -1;
    const auto available = static_cast<std::uint64_t>(size - offset);
    out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, available)));
    std::size_t done = 0;
    while (done < out.size()) {
        std::error_code ec;
        const std::int64_t n =
            file.readAt(offset + static_cast<std::int64_t>(done), out.data() + done, out.size() - done, ec);
        if (n < 0) {
            out.clear();
            return -1;
        }
        if (n == 0) break;  // the file shrank meanwhile
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return static_cast<std::int64_t>(done);
}

}  // namespace korvel::files
