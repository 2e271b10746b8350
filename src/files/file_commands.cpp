#include "files/file_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>

#include "files/copy_move.h"
#include "files/file_operations.h"
#include "platform/dir_list.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "ui/prompts.h"

namespace korvel::files {

namespace {

// "dir/" names "dir"; the root stays "/".
std::string withoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == platform::kSeparator)
        path.remove_suffix(1);
    return std::string(path);
}

// The part of "path" below "root" ("a/b.html" for root/a/b.html); nothing for a path not below it.
std::optional<std::string> relativeBelow(std::string_view path, std::string_view root) {
    if (root == "/") {
        if (path.size() > 1 && path.front() == platform::kSeparator) return std::string(path.substr(1));
        return std::nullopt;
    }
    if (path.size() <= root.size() + 1 || !path.starts_with(root) ||
        path[root.size()] != platform::kSeparator) {
        return std::nullopt;
    }
    return std::string(path.substr(root.size() + 1));
}

platform::FileInfo infoOf(std::string_view path) {
    platform::FileInfo info;
    if (platform::fileInfo(path, info)) info.kind = platform::EntryKind::Other;  // there, but unreadable
    return info;
}

bool isRealDirectory(const platform::FileInfo& info) {
    return info.kind == platform::EntryKind::Directory && !info.isSymlink;
}

// The mode for a directory made in the place of "model": its permission bits, plus the owner's full
// rights so that the files can go in (and come out again).
mode_t directoryModeLike(std::string_view model) {
    const platform::FileInfo info = infoOf(model);
    const mode_t bits = isRealDirectory(info) ? (info.mode & 07777) : 0755;
    return bits | S_IRWXU;
}

// Makes one directory, announced to the journal first. EEXIST is returned as it is, unreported, so that
// the caller can tell a name that was taken meanwhile; anything else is reported.
std::error_code makeRecordedDirectory(const std::string& path, mode_t mode) {
    if (ChangeJournal* journal = currentJournal(); journal && !journal->willMakeDirectory(path)) {
        return std::make_error_code(std::errc::operation_canceled);  // the journal said why
    }
    std::error_code ec = platform::makeDirectory(path, mode);
    if (ec && ec != std::errc::file_exists) currentLog().errorDetail(res::kFailedToCreateDirectory, path);
    return ec;
}

// A move of a file that never replaces anything, announced to the journal first.
bool recordedMove(const std::string& from, const std::string& to) {
    if (ChangeJournal* journal = currentJournal(); journal && !journal->willRename(from, to)) return false;
    return moveItem(from, to);
}

std::size_t depthOf(std::string_view path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), platform::kSeparator));
}

// Every directory holds an entry or more, or is empty; one that cannot be listed is not known to be empty.
bool isEmptyRealDirectory(const std::string& path) {
    if (!isRealDirectory(infoOf(path))) return false;
    std::vector<std::string> names;
    return !platform::listDirectory(path, names) && names.empty();
}

// Whether the entry "from" may move to "to" without changing what it leads to: anything but a symbolic
// link may; a link only when its text, read from the new place, names what it names from the old one
// (always so for an absolute link). A link that cannot be read stays.
bool leadsToTheSameFrom(const std::string& from, const std::string& to) {
    const platform::FileInfo info = infoOf(from);
    if (!info.isSymlink) return true;
    std::string text(platform::kMaxPath, '\0');
    const ssize_t length = ::readlink(from.c_str(), text.data(), text.size());
    if (length < 0 || static_cast<std::size_t>(length) >= text.size()) return false;
    text.resize(static_cast<std::size_t>(length));
    if (!text.empty() && text.front() == platform::kSeparator) return true;
    const std::string now = platform::canonicalPath(platform::joinPath(platform::parentPath(from), text));
    const std::string then = platform::canonicalPath(platform::joinPath(platform::parentPath(to), text));
    return !now.empty() && now == then;
}

}  // namespace

// ---- TrashCommand

TrashCommand::TrashCommand(std::vector<std::string> paths) : paths_(std::move(paths)) {}

bool TrashCommand::doExecute() {
    trashed_.clear();
    cancelled_ = false;
    if (paths_.empty()) return true;
    std::unique_ptr<ui::Progress> progress = ui::prompts().makeProgress();
    progress->begin(res::loadString(res::kRemovingFiles), static_cast<std::int64_t>(paths_.size()));
    for (const std::string& path : paths_) {
        if (progress->setDirectory(platform::parentPath(path))) {
            cancelled_ = true;
            break;
        }
        progress->setFile(path);
        ChangeJournal* journal = currentJournal();
        if (journal && !journal->willTrash(path)) {
            // The journal said why; the file stays.
            currentLog().errorDetail(res::kTrashFailed, platform::displayName(path));
            continue;
        }
        std::string inTrash;
        if (const std::error_code ec = platform::moveToTrash(path, &inTrash)) {
            if (ec == std::errc::filename_too_long) {
                currentLog().errorDetail(
                    res::formatString(res::kTrashNameTooLong,
                                      std::to_string(platform::longestTrashableName(
                                          path, platform::joinPath(platform::homeTrashDirectory(), "info")))),
                    platform::displayName(path));
            } else {
                currentLog().errorDetail(res::kTrashFailed, platform::displayName(path));
            }
            continue;
        }
        if (journal) journal->trashed(path, inTrash);
        trashed_.push_back(path);
    }
    progress->end();
    return true;
}

// ---- MoveCommand, MoveTreeCommand

MoveCommand::MoveCommand(std::vector<std::string> paths, std::string target)
    : paths_(std::move(paths)), target_(platform::withTrailingSeparator(target)) {}

MoveTreeCommand::MoveTreeCommand(std::vector<std::string> paths, std::string root, std::string target)
    : MoveCommand(std::move(paths), std::move(target)) {
    if (root.empty() && !paths_.empty()) root = std::string(platform::parentPath(paths_.front()));
    root_ = withoutTrailingSeparators(root);
}

std::vector<std::string> MoveTreeCommand::moved() const {
    std::vector<std::string> out;
    out.reserve(moves_.size());
    for (const auto& move : moves_)
        out.push_back(move.first);
    return out;
}

bool MoveTreeCommand::makeDirectoriesBelow(const std::string& base, const std::string& dir,
                                           const std::string& modelBase, std::vector<std::string>& made) {
    const std::optional<std::string> below = relativeBelow(dir, base);
    if (!below) return dir == base;
    std::string path = base;
    std::string model = modelBase;
    std::string_view rest = *below;
    while (!rest.empty()) {
        const auto slash = rest.find(platform::kSeparator);
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        path = platform::joinPath(path, part);
        model = platform::joinPath(model, part);
        const platform::FileInfo info = infoOf(path);
        if (isRealDirectory(info)) continue;
        if (info.kind != platform::EntryKind::Missing) {
            // A file (or a link) of that name: nothing can go below it, and it is never replaced.
            currentLog().errorDetail(res::kFailedToCreateDirectory, platform::displayName(path));
            return false;
        }
        if (makeRecordedDirectory(path, directoryModeLike(model))) return false;
        made.push_back(path);
    }
    return true;
}

bool MoveTreeCommand::doExecute() {
    moves_.clear();
    madeDirectories_.clear();
    newDirectory_.clear();
    cancelled_ = false;
    const std::string target = withoutTrailingSeparators(target_);
    std::string name(platform::lastComponent(root_));
    if (name.empty()) name = "root";  // the root directory itself has no name to keep

    // A fresh directory, never one that is there already: the orphans must not mix with other files. Should
    // another process take the name between the look and the making, the next free name is taken.
    for (int attempt = 0; newDirectory_.empty(); ++attempt) {
        const std::optional<std::string> unique = uniqueDirectoryName(target, name);
        if (!unique || attempt == 100) {
            currentLog().errorDetail(res::kFailedToCreateDirectory,
                                     platform::displayName(platform::joinPath(target, name)));
            return false;
        }
        const std::string candidate = platform::joinPath(target, *unique);
        const std::error_code ec = makeRecordedDirectory(candidate, directoryModeLike(root_));
        if (ec == std::errc::file_exists) continue;
        if (ec) return false;
        newDirectory_ = candidate;
    }
    madeDirectories_.push_back(newDirectory_);

    std::unique_ptr<ui::Progress> progress = ui::prompts().makeProgress();
    progress->begin(res::loadString(res::kMovingFiles), static_cast<std::int64_t>(paths_.size()));
    // The files come in tree order, most after a sibling: a directory made ready once is not looked at again.
    std::string ready = newDirectory_;
    for (const std::string& path : paths_) {
        if (progress->setDirectory(platform::parentPath(path))) {
            cancelled_ = true;
            break;
        }
        progress->setFile(path);
        const std::optional<std::string> relative = relativeBelow(path, root_);
        bool movedHere = false;
        if (relative) {
            const std::string destination = platform::joinPath(newDirectory_, *relative);
            if (!leadsToTheSameFrom(path, destination)) {
                // Moved, it would dangle or lead elsewhere, and be no copy of what it was.
                currentLog().errorDetail(res::kLinkWouldLeadElsewhere, platform::displayName(path));
                continue;
            }
            const std::string_view into = platform::parentPath(destination);
            if (into != ready) {
                ready.clear();
                if (makeDirectoriesBelow(newDirectory_, std::string(into), root_, madeDirectories_))
                    ready = into;
            }
            movedHere = !ready.empty() && recordedMove(path, destination);
            if (movedHere) moves_.emplace_back(path, destination);
        }
        if (!movedHere) currentLog().errorDetail(res::kFileMoveFailed, platform::displayName(path));
    }
    progress->end();
    undoable_ = !moves_.empty();
    return true;
}

bool MoveTreeCommand::doUnexecute() {
    std::unique_ptr<ui::Progress> progress = ui::prompts().makeProgress();
    progress->begin(res::loadString(res::kMovingFiles), static_cast<std::int64_t>(moves_.size()));
    std::vector<std::pair<std::string, std::string>> stayed;
    std::vector<std::string> remade;
    std::size_t next = moves_.size();
    while (next > 0) {
        const auto& [original, now] = moves_[next - 1];
        if (progress->setDirectory(platform::parentPath(now))) break;
        --next;
        progress->setFile(now);
        // Its directory may have gone with the last of its files: it is made again, never anything else.
        const std::string home(platform::parentPath(original));
        const bool back =
            makeDirectoriesBelow(root_, home, newDirectory_, remade) && recordedMove(now, original);
        if (!back) {
            currentLog().errorDetail(res::kFileMoveFailed, platform::displayName(now));
            stayed.push_back(moves_[next]);
        }
    }
    // A cancel leaves the files not reached where they are, for a later undo.
    stayed.insert(stayed.end(), moves_.begin(), moves_.begin() + static_cast<std::ptrdiff_t>(next));
    progress->end();

    // Deepest first; a directory that still holds anything (a file that could not go back) stays with it.
    std::vector<std::string> kept;
    for (auto it = madeDirectories_.rbegin(); it != madeDirectories_.rend(); ++it) {
        if (!isEmptyRealDirectory(*it)) {
            kept.insert(kept.begin(), *it);
            continue;
        }
        ChangeJournal* journal = currentJournal();
        if ((journal && !journal->willRemoveDirectory(*it)) || platform::removeEmptyDirectory(*it)) {
            kept.insert(kept.begin(), *it);
        }
    }
    madeDirectories_ = std::move(kept);
    moves_ = std::move(stayed);
    if (madeDirectories_.empty()) newDirectory_.clear();
    return true;
}

// ---- EmptyDirectoryRemoval

EmptyDirectoryRemoval::EmptyDirectoryRemoval(std::string top) : top_(withoutTrailingSeparators(top)) {}

std::int32_t EmptyDirectoryRemoval::run(const std::vector<std::string>& leftFrom) {
    removed_.clear();
    // Every directory between the top and a file that left, each once, deepest first.
    std::vector<std::string> candidates;
    for (const std::string& path : leftFrom) {
        std::string dir(platform::parentPath(path));
        while (relativeBelow(dir, top_)) {
            candidates.push_back(dir);
            dir = std::string(platform::parentPath(dir));
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const std::string& a, const std::string& b) {
        const std::size_t da = depthOf(a);
        const std::size_t db = depthOf(b);
        return da != db ? da > db : a > b;
    });
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    if (candidates.empty()) return 0;

    std::unique_ptr<ui::Progress> progress = ui::prompts().makeProgress();
    progress->begin(res::loadString(res::kRemovingOrphanDirectories),
                    static_cast<std::int64_t>(candidates.size()));
    ReportSection* section = nullptr;
    bool cancelled = false;
    for (const std::string& dir : candidates) {
        if (progress->setDirectory(dir)) {
            cancelled = true;
            break;
        }
        progress->setFile(dir);
        if (!isEmptyRealDirectory(dir)) continue;
        if (ChangeJournal* journal = currentJournal(); journal && !journal->willRemoveDirectory(dir))
            continue;
        if (const std::error_code ec = platform::removeEmptyDirectory(dir)) {
            // Something arrived meanwhile: it stays, with its directory.
            if (ec != std::errc::directory_not_empty && ec != std::errc::file_exists) {
                currentLog().errorDetail(res::kFailedToDeleteDirectory, platform::displayName(dir));
            }
            continue;
        }
        if (!section) {
            section = currentLog().openSection(res::kSectionRemovedOrphans);
            if (section) section->endLine();
        }
        if (section) section->writeLine(platform::displayName(dir));
        removed_.push_back(dir);
    }
    progress->end();
    if (cancelled) return -1;
    return static_cast<std::int32_t>(removed_.size());
}

}  // namespace korvel::files
