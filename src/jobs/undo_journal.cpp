#include "jobs/undo_journal.h"

#include <fcntl.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <random>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "files/copy_move.h"
#include "files/file_operations.h"
#include "files/line_ends.h"
#include "jobs/journal_format.h"
#include "names/rename_files.h"
#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/disk.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/locations.h"
#include "platform/paths.h"
#include "platform/private_directory.h"
#include "report/local_time.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/traverse.h"

namespace korvel::jobs {

namespace {

constexpr std::string_view kJournalName = "journal";
// The journal of a job that has not yet made a change: it takes the last job's place only once one of its
// changes is really made, so that a job that changes nothing leaves the last undo as it was.
constexpr std::string_view kNextJournalName = "journal.next";
constexpr std::string_view kCopiesName = "copies";

std::uint64_t hashOf(std::string_view bytes) {
    return XXH64(bytes.data(), bytes.size(), 0);
}

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

template <typename T>
bool parseNumber(std::string_view text, T& out, int base = 10) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string number(std::int64_t value) {
    return std::to_string(value);
}

// The path as an absolute one without "." or ".." components or a trailing separator.
std::string absolutePath(std::string_view top) {
    std::string full = !top.empty() && top.front() == platform::kSeparator
                           ? std::string(top)
                           : platform::joinPath(platform::currentDirectory(), top);
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        const auto slash = rest.find(platform::kSeparator);
        const std::string_view part = rest.substr(0, slash);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    std::string out;
    for (const std::string_view part : parts) {
        out += platform::kSeparator;
        out += part;
    }
    return out.empty() ? std::string(1, platform::kSeparator) : out;
}

// The key of a top directory's journal: its canonical path, so that one directory finds one journal
// however it is named (through a link, or with "." and ".."); a directory that is gone keeps its spelling.
std::string canonicalTop(std::string_view top) {
    std::string canonical = platform::canonicalPath(top);
    return canonical.empty() ? absolutePath(top) : canonical;
}

std::string journalPath(std::string_view directory) {
    return platform::joinPath(directory, kJournalName);
}

std::string nextJournalPath(std::string_view directory) {
    return platform::joinPath(directory, kNextJournalName);
}

std::string copiesPath(std::string_view directory) {
    return platform::joinPath(directory, kCopiesName);
}

std::error_code errnoCode(int err) {
    return {err, std::system_category()};
}

// Flushes a directory so that a new or renamed entry in it survives a crash.
void flushDirectory(const std::string& dir) {
    const int fd = platform::disk().open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return;
    platform::disk().fsync(fd);
    platform::disk().close(fd);
}

std::string reason(int id) {
    return std::string(res::loadString(id));
}

// Whether the journal's place may be used: its directory and the copies' are directories of ours, reached
// without a symbolic link. A link there could make a removal of copies delete files elsewhere.
bool placeIsSafe(const std::string& directory) {
    for (const std::string& dir : {directory, copiesPath(directory)}) {
        const std::error_code ec = platform::checkPrivateDirectory(dir);
        if (ec && ec != std::errc::no_such_file_or_directory) {
            currentLog().errorDetail(res::formatString(res::kJournalPlaceUnsafe, ec.message()),
                                     platform::displayName(dir));
            return false;
        }
    }
    return true;
}

// ---- reading a journal

using Entry = JournalEntry;

struct Journal {
    bool exists = false;    // a journal file is there
    bool readable = false;  // its header could be read, and it is this directory's
    JournalHeader header;
    std::string headerText;
    std::vector<Entry> entries;  // oldest first
    std::size_t damaged = 0;     // lines that could not be read
};

std::string_view faultReason(LineFault fault) {
    switch (fault) {
        case LineFault::Checksum:
            return res::loadString(res::kReasonLineChecksum);
        case LineFault::Malformed:
            return res::loadString(res::kReasonLineMalformed);
        case LineFault::Unfinished:
            return res::loadString(res::kReasonLineUnfinished);
    }
    return {};
}

// Reads the journal file "path" for the top directory "top" (canonical). What cannot be read is reported,
// line by line.
Journal readJournalFile(const std::string& path, const std::string& top, bool report = true) {
    Journal journal;
    platform::FileInfo info;
    if (platform::fileInfo(path, info) || info.kind == platform::EntryKind::Missing) return journal;
    journal.exists = true;
    std::string content;
    if (const std::error_code ec = platform::readFileNoFollow(path, content)) {
        if (report) currentLog().errorDetail(res::formatString(res::kJournalUnreadable, ec.message()), path);
        journal.damaged = 1;
        return journal;
    }
    JournalText text = parseJournal(content, top);
    if (report) {
        for (const DamagedLine& d : text.damaged)
            currentLog().errorDetail(
                res::formatString(res::kJournalLineUnreadable, std::to_string(d.line), faultReason(d.fault)),
                path);
    }
    journal.damaged = text.damaged.size();
    if (!text.hasHeader) return journal;
    if (text.otherDirectory) {
        if (report)
            currentLog().errorDetail(
                res::formatString(res::kJournalUnreadable, reason(res::kReasonOtherDirectory)), path);
        return journal;
    }
    if (text.unknownVersion) {
        if (report) currentLog().errorDetail(res::kJournalNewerVersion, path);
        journal.damaged = std::max<std::size_t>(journal.damaged, 1);
        return journal;
    }
    journal.readable = true;
    journal.header = std::move(text.header);
    journal.headerText = std::move(text.headerText);
    journal.entries = std::move(text.entries);
    return journal;
}

// Where an orphans job put its orphans: the directory a move went into (the moved path less its place
// below the top directory), or the trash's files directory; "" when no entry tells.
std::string orphansDestination(const Journal& journal) {
    const std::string& top = journal.header.spelledTop;
    const std::string prefix = top == "/" ? top : top + platform::kSeparator;
    for (const Entry& e : journal.entries) {
        if (e.tag == kTrashTag && e.trashKnown) return std::string(platform::parentPath(e.inTrash));
        if (e.tag != kRenameTag || !e.fields[0].starts_with(prefix)) continue;
        const std::string below = e.fields[0].substr(prefix.size());
        const std::string& to = e.fields[1];
        if (!below.empty() && to.size() > below.size() + 1 && to.ends_with(below) &&
            to[to.size() - below.size() - 1] == platform::kSeparator) {
            return to.substr(0, to.size() - below.size() - 1);
        }
    }
    return {};
}

// ---- undoing one entry

enum class Result { Undone, NeverDone, LeftAlone, Failed };

Result leftAlone(std::string_view why, std::string_view path) {
    currentLog().errorDetail(res::formatString(res::kNotUndone, why), platform::displayName(path));
    return Result::LeftAlone;
}

Result notRenamedBack(std::string_view why, std::string_view to, std::string_view from) {
    currentLog().errorDetail(res::formatString(res::kNotRenamedBack, why, platform::displayName(to)),
                             platform::displayName(from));
    return Result::LeftAlone;
}

platform::FileInfo infoOf(std::string_view path) {
    platform::FileInfo info;
    if (platform::fileInfo(path, info)) info.kind = platform::EntryKind::Other;  // there, but unreadable
    return info;
}

bool present(const platform::FileInfo& info) {
    return info.kind != platform::EntryKind::Missing;
}

// The identity of an entry as a rename records it: a file by its size and modification time (a rename
// changes neither), a symbolic link and anything else by the device and inode of the entry itself.
struct Identity {
    char kind;
    std::int64_t first;
    std::int64_t second;
};

Identity identityOf(const platform::FileInfo& info) {
    if (info.isSymlink) {
        return {'l', static_cast<std::int64_t>(info.entryDevice), static_cast<std::int64_t>(info.entryInode)};
    }
    switch (info.kind) {
        case platform::EntryKind::File:
            return {'f', info.size, info.modifiedNs};
        case platform::EntryKind::Directory:
            return {'d', static_cast<std::int64_t>(info.device), static_cast<std::int64_t>(info.inode)};
        default:
            return {'o', static_cast<std::int64_t>(info.entryDevice),
                    static_cast<std::int64_t>(info.entryInode)};
    }
}

bool sameIdentity(const Entry& e, const platform::FileInfo& info) {
    if (!present(info)) return false;
    const Identity now = identityOf(info);
    std::int64_t first = 0;
    std::int64_t second = 0;
    if (e.fields[2].size() != 1 || !parseNumber(e.fields[3], first) || !parseNumber(e.fields[4], second)) {
        return false;
    }
    // Journals of earlier versions knew a link to a file by its target's size and time.
    if (e.fields[2][0] == 'f' && info.isSymlink) return first == info.size && second == info.modifiedNs;
    return e.fields[2][0] == now.kind && first == now.first && second == now.second;
}

// ---- where an undo may act

// Whether "path" is an absolute path of plain names below "dir" (no ".", "..", or empty names that would
// make it lead somewhere else than it reads).
bool isPlainPathBelow(std::string_view path, std::string_view dir) {
    if (dir.empty() || path.empty() || path.front() != platform::kSeparator) return false;
    std::string_view rest = path.substr(1);
    while (!rest.empty()) {
        const auto slash = rest.find(platform::kSeparator);
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (dir == "/") return path.size() > 1;
    return path.size() > dir.size() + 1 && path.starts_with(dir) && path[dir.size()] == platform::kSeparator;
}

// A trash's files directory: ".../Trash/files", ".../.Trash-UID/files" or ".../.Trash/UID/files".
bool isInTrash(std::string_view path) {
    if (!isPlainPathBelow(path, "/")) return false;
    const std::string_view files = platform::parentPath(path);
    if (platform::lastComponent(files) != "files") return false;
    const std::string_view trash = platform::parentPath(files);
    const std::string_view name = platform::lastComponent(trash);
    return name == "Trash" || name.starts_with(".Trash-") ||
           platform::lastComponent(platform::parentPath(trash)) == ".Trash";
}

// Whether the entry keeps to the places its job may have changed: the site; for an orphans job also the
// directory it moved orphans into, and the trash. A journal altered to name anything else is not obeyed.
bool confined(const Entry& e, const JournalHeader& header) {
    const std::string& top = header.spelledTop;
    const bool orphans = header.job == "orphans";
    const auto inKeep = [&](std::string_view path) {
        return orphans && !header.keep.empty() && isPlainPathBelow(path, header.keep);
    };
    switch (e.tag) {
        case kRenameTag: {
            const std::string& from = e.fields[0];
            const std::string& to = e.fields[1];
            if (!isPlainPathBelow(from, top)) return false;
            // A fix renames within a directory; an orphans job moves a file to the same place below KEEP.
            if (!orphans)
                return platform::parentPath(from) == platform::parentPath(to) && isPlainPathBelow(to, top);
            // (into a directory of its own below KEEP).
            const std::string_view below = std::string_view(from).substr(top == "/" ? 0 : top.size());
            return inKeep(to) && to.ends_with(below) && to.size() > header.keep.size() + below.size();
        }
        case kReplaceTag:
            return !orphans && isPlainPathBelow(e.fields[0], top);
        case kMakeDirectoryTag:
        case kRemoveDirectoryTag:
            return isPlainPathBelow(e.fields[0], top) || inKeep(e.fields[0]);
        case kTrashTag:
            return orphans && isPlainPathBelow(e.fields[0], top) && (!e.trashKnown || isInTrash(e.inTrash));
        case kCreatedTag:
            return isPlainPathBelow(e.fields[0], top);
        default:
            return false;
    }
}

// Whether the change an entry records is in effect: what a job that was stopped before it could say so
// had already done.
bool inEffect(char tag, const std::vector<std::string>& f) {
    switch (tag) {
        case kRenameTag: {
            const platform::FileInfo atTo = infoOf(f[1]);
            const platform::FileInfo atFrom = infoOf(f[0]);
            const bool sameEntry = present(atFrom) && atFrom.entryDevice == atTo.entryDevice &&
                                   atFrom.entryInode == atTo.entryInode;
            return present(atTo) && (!present(atFrom) || sameEntry);
        }
        case kReplaceTag: {
            std::int64_t size = 0;
            std::uint64_t hash = 0;
            std::string now;
            return parseNumber(f[6], size) && parseNumber(f[7], hash, 16) &&
                   !platform::readWholeFile(f[0], now) && static_cast<std::int64_t>(now.size()) == size &&
                   hashOf(now) == hash;
        }
        case kMakeDirectoryTag:
            return infoOf(f[0]).kind == platform::EntryKind::Directory;
        case kRemoveDirectoryTag:
            return !present(infoOf(f[0]));
        case kTrashTag:
            return !present(infoOf(f[0]));
        default:
            return false;
    }
}

// Whether any change "entries" record is in effect.
template <typename Entries>
bool anyInEffect(const Entries& entries) {
    return std::any_of(entries.begin(), entries.end(),
                       [](const auto& e) { return inEffect(e.tag, e.fields); });
}

// Whether a replace entry names another name of its file, which the job split it from: a last field after
// the links' triples.
bool namesOtherLink(const Entry& e) {
    return (e.fields.size() - 11) % 3 == 1;
}

// "remakeHome": the directory the entry goes back into is made again when it is missing (an orphan's
// directory, removed by the job once the orphan left).
Result undoRename(const Entry& e, bool remakeHome) {
    const std::string& from = e.fields[0];
    const std::string& to = e.fields[1];
    const platform::FileInfo atTo = infoOf(to);
    const platform::FileInfo atFrom = infoOf(from);
    if (!present(atTo)) {
        // Still under its old name: the rename was never made.
        if (present(atFrom)) return Result::NeverDone;
        return notRenamedBack(reason(res::kReasonGone), to, from);
    }
    if (!sameIdentity(e, atTo)) {
        const bool linkMoved = atTo.isSymlink && e.fields[2] == "l";
        return notRenamedBack(reason(linkMoved ? res::kReasonLinkChanged : res::kReasonChangedSinceJob), to,
                              from);
    }
    // The old name may find the entry itself where the file system ignores case.
    const bool sameEntry =
        present(atFrom) && atFrom.entryDevice == atTo.entryDevice && atFrom.entryInode == atTo.entryInode;
    if (present(atFrom) && !sameEntry) return notRenamedBack(reason(res::kReasonOriginalNameTaken), to, from);
    if (remakeHome) {
        const std::string_view home = platform::parentPath(from);
        // A failure is reported by the making, and again by the rename below.
        if (!home.empty() && !present(infoOf(home))) files::createDirectory(home);
    }
    if (const std::error_code ec = platform::renameNoReplace(to, from)) {
        // A move to another file system went as a copy; it comes back the same way, never replacing.
        if (ec == std::errc::cross_device_link) {
            return files::moveItem(to, from) ? Result::Undone : Result::Failed;
        }
        currentLog().error(res::kFailedToRenameFile, platform::displayName(to), platform::displayName(from));
        currentLog().errorEndLine();
        return Result::Failed;
    }
    return Result::Undone;
}

struct ReplaceFields {
    std::string path;
    std::string copy;
    mode_t mode = 0;  // when the job was about to rewrite it
    std::int64_t modifiedNs = 0;
    std::int64_t beforeSize = 0;
    std::uint64_t beforeHash = 0;
    std::int64_t afterSize = 0;
    std::uint64_t afterHash = 0;
    ContentChange why;
};

std::optional<ReplaceFields> replaceFields(const Entry& e) {
    const auto& f = e.fields;
    ReplaceFields r;
    r.path = f[0];
    r.copy = f[1];
    unsigned mode = 0;
    int from = 0;
    int to = 0;
    if (!parseNumber(f[2], mode, 8) || !parseNumber(f[3], r.modifiedNs) || !parseNumber(f[4], r.beforeSize) ||
        !parseNumber(f[5], r.beforeHash, 16) || !parseNumber(f[6], r.afterSize) ||
        !parseNumber(f[7], r.afterHash, 16) || !parseNumber(f[9], from) || !parseNumber(f[10], to)) {
        return std::nullopt;
    }
    // A copy's name is a plain name in the copies folder, never a path.
    if (r.copy.empty() || r.copy.find('/') != std::string::npos || r.copy == "." || r.copy == "..") {
        return std::nullopt;
    }
    r.mode = static_cast<mode_t>(mode);
    r.why.kind = f[8] == "E" ? ContentChange::Kind::LineEnds : ContentChange::Kind::Links;
    r.why.fromLineEnd = static_cast<LineEndKind>(from);
    r.why.toLineEnd = static_cast<LineEndKind>(to);
    std::size_t end = f.size();
    if (namesOtherLink(e)) r.why.hardLinkOf = f[--end];
    for (std::size_t i = 11; i + 2 < end; i += 3) {
        LinkChange link;
        if (!parseNumber(f[i], link.line)) return std::nullopt;
        link.before = f[i + 1];
        link.after = f[i + 2];
        r.why.links.push_back(std::move(link));
    }
    return r;
}

bool contentIs(std::string_view bytes, std::int64_t size, std::uint64_t hash) {
    return static_cast<std::int64_t>(bytes.size()) == size && hashOf(bytes) == hash;
}

// "top": the site as the journal names it. "relinked": set when the file was put back as another name of a
// file (at once, not staged in the batch of replacements).
Result undoReplace(const ReplaceFields& r, const std::string& directory, std::string_view top,
                   bool& relinked) {
    const platform::FileInfo info = infoOf(r.path);
    if (info.kind != platform::EntryKind::File || info.isSymlink) {
        return leftAlone(reason(res::kReasonGone), r.path);
    }
    std::string now;
    if (const std::error_code ec = platform::readWholeFile(r.path, now))
        return leftAlone(ec.message(), r.path);
    if (!contentIs(now, r.afterSize, r.afterHash)) {
        if (!contentIs(now, r.beforeSize, r.beforeHash))
            return leftAlone(reason(res::kReasonChangedSinceJob), r.path);
        // The original bytes are there: never rewritten, or put back by an undo that was stopped before it
        // could give the time back. The time is what recognises the file for an earlier rename of it.
        if (info.modifiedNs != r.modifiedNs && platform::setModifiedTime(r.path, r.modifiedNs))
            currentLog().errorDetail(res::kModifiedTimeNotRestored, platform::displayName(r.path));
        return Result::NeverDone;
    }
    std::string original;
    if (platform::readFileNoFollow(platform::joinPath(copiesPath(directory), r.copy), original) ||
        !contentIs(original, r.beforeSize, r.beforeHash)) {
        return leftAlone(reason(res::kReasonCopyDamaged), r.path);
    }
    // The contents come back with their time, set before they take the file's place, so that at no
    // instant does the file hold its original bytes under the job's time. The mode is the file's own:
    // the one the job left, which is the mode it had.
    // A file the job split from its other names becomes one of them again, where that one still holds the
    // original bytes (its time is theirs, as it was).
    if (!r.why.hardLinkOf.empty() && isPlainPathBelow(r.why.hardLinkOf, top)) {
        std::string other;
        const platform::FileInfo otherInfo = infoOf(r.why.hardLinkOf);
        if (otherInfo.kind == platform::EntryKind::File && !otherInfo.isSymlink &&
            !platform::readWholeFile(r.why.hardLinkOf, other) && other == original) {
            if (const std::error_code ec = platform::replaceWithLink(r.path, r.why.hardLinkOf)) {
                leftAlone(ec.message(), r.path);
                return Result::Failed;
            }
            relinked = true;
            return Result::Undone;
        }
    }
    platform::ReplaceOptions options;
    options.modifiedNs = r.modifiedNs;
    if (const std::error_code ec = platform::replaceFileContents(r.path, original, options)) {
        leftAlone(ec.message(), r.path);
        return Result::Failed;
    }
    return Result::Undone;
}

// A file the job made goes while it is as the job left it; one changed since stays (a person's now).
Result undoCreated(const Entry& e) {
    const std::string& path = e.fields[0];
    const platform::FileInfo info = infoOf(path);
    if (!present(info)) return Result::NeverDone;
    std::int64_t size = 0;
    std::uint64_t hash = 0;
    std::string now;
    if (info.kind != platform::EntryKind::File || info.isSymlink || !parseNumber(e.fields[1], size) ||
        !parseNumber(e.fields[2], hash, 16) || platform::readFileNoFollow(path, now) ||
        !contentIs(now, size, hash))
        return leftAlone(reason(res::kReasonChangedSinceJob), path);
    if (const std::error_code ec = platform::removeFile(path)) return leftAlone(ec.message(), path);
    return Result::Undone;
}

Result undoMakeDirectory(const Entry& e) {
    const std::string& path = e.fields[0];
    const platform::FileInfo info = infoOf(path);
    if (!present(info)) return Result::NeverDone;
    if (info.kind != platform::EntryKind::Directory) return leftAlone(reason(res::kReasonNameTaken), path);
    if (const std::error_code ec = platform::removeEmptyDirectory(path)) {
        if (ec == std::errc::directory_not_empty || ec == std::errc::file_exists) {
            return leftAlone(reason(res::kReasonDirectoryNotEmpty), path);
        }
        return leftAlone(ec.message(), path);
    }
    return Result::Undone;
}

Result undoRemoveDirectory(const Entry& e) {
    const std::string& path = e.fields[0];
    unsigned mode = 0;
    if (!parseNumber(e.fields[1], mode, 8)) mode = 0755;
    const platform::FileInfo info = infoOf(path);
    if (info.kind == platform::EntryKind::Directory) return Result::NeverDone;
    if (present(info)) return leftAlone(reason(res::kReasonNameTaken), path);
    if (const std::error_code ec = platform::makeDirectory(path, static_cast<mode_t>(mode))) {
        return leftAlone(ec.message(), path);
    }
    // The exact mode, which the umask may have narrowed.
    if (platform::restoreMode(path, static_cast<mode_t>(mode))) {
        currentLog().errorDetail(res::kModeNotRestored, platform::displayName(path));
    }
    return Result::Undone;
}

Result undoTrash(const Entry& e) {
    const std::string& path = e.fields[0];
    const bool atPath = present(infoOf(path));
    if (!e.trashKnown) {
        // Not known to have reached the trash: while the file is in place, it never left.
        if (atPath) return Result::NeverDone;
        return leftAlone(reason(res::kReasonTrashPlaceUnknown), path);
    }
    const bool inTrash = present(infoOf(e.inTrash));
    if (!inTrash) {
        // Someone took it back already.
        if (atPath) return Result::NeverDone;
        return leftAlone(reason(res::kReasonNotInTrash), path);
    }
    if (atPath) return leftAlone(reason(res::kReasonNameTaken), path);
    // Its directory may have gone with it; it is made again (a failure is reported, and the file stays).
    const std::string_view home = platform::parentPath(path);
    if (!home.empty() && !present(infoOf(home))) files::createDirectory(home);
    if (platform::renameNoReplace(e.inTrash, path)) {
        currentLog().error(res::kFailedToRenameFile, platform::displayName(e.inTrash),
                           platform::displayName(path));
        currentLog().errorEndLine();
        return Result::Failed;
    }
    // The trash's record of it (<trash>/info/<name>.trashinfo beside <trash>/files/<name>) goes too, or
    // the trash would list a file that is not there.
    const std::string_view files = platform::parentPath(e.inTrash);
    if (platform::lastComponent(files) == "files") {
        const std::string info =
            platform::joinPath(platform::joinPath(platform::parentPath(files), "info"),
                               std::string(platform::lastComponent(e.inTrash)) + ".trashinfo");
        platform::removeFile(info);
    }
    return Result::Undone;
}

// ---- the report of an undo

class UndoReport {
  public:
    // "madeLogs": the directories whose "RENAME.LOG" the job made; the undo writes no rows there, as the
    // log goes with the rest of what the job did.
    UndoReport(bool orphans, bool localLogs, std::unordered_set<std::string> madeLogs)
        : orphans_(orphans), localLogs_(localLogs), madeLogs_(std::move(madeLogs)) {}
    ~UndoReport() {
        names_.reset();
        for (ReportSection* section : {lineEnds_, links_, orphanSection_})
            if (section) currentLog().closeSection(section);
    }
    UndoReport(const UndoReport&) = delete;
    UndoReport& operator=(const UndoReport&) = delete;

    void renamedBack(const std::string& from, const std::string& to, bool directory) {
        if (orphans_) {
            restoredOrphan(from);
            return;
        }
        if (!names_) {
            names_ = std::make_unique<names::RestoredNames>(localLogs_);
            names_->skipLocalLogsIn(madeLogs_);
        }
        names_->undone({from, to, directory, std::nullopt, names::stepOfRename(from, to)});
    }

    void restoredOrphan(std::string_view path) {
        if (!orphanSection_) orphanSection_ = currentLog().openSection(res::kSectionRestoredOrphans);
        if (orphanSection_) orphanSection_->writeLine(platform::displayName(path));
    }

    void restoredFile(const ReplaceFields& r) {
        if (r.why.kind == ContentChange::Kind::LineEnds) {
            if (!lineEnds_) lineEnds_ = currentLog().openSection(res::kSectionChangedLineEnds);
            // Back from what the job made to what the file had.
            if (lineEnds_)
                files::writeLineEndChange(*lineEnds_, r.why.toLineEnd, r.why.fromLineEnd,
                                          platform::displayName(r.path));
            return;
        }
        if (!links_) links_ = currentLog().openSection(res::kSectionUrlRenaming);
        if (!links_) return;
        links_->endLine();
        links_->writeLine(res::kInFileHeader, platform::displayName(r.path));
        // The links go back: from the text the job wrote to the one the page had.
        for (const LinkChange& link : r.why.links) {
            links_->writeAtLine(static_cast<int>(link.line), res::kLinkRenamedTo,
                                platform::displayName(link.after), platform::displayName(link.before));
            links_->endLine();
        }
        links_->endLine();
        links_->endLine();
    }

  private:
    bool orphans_;
    bool localLogs_;
    std::unordered_set<std::string> madeLogs_;
    std::unique_ptr<names::RestoredNames> names_;
    ReportSection* lineEnds_ = nullptr;
    ReportSection* links_ = nullptr;
    ReportSection* orphanSection_ = nullptr;
};

// Removes the copies no kept entry names. Only from a place that is safe: a link there would lead the
// removal elsewhere.
void removeCopiesExcept(const std::string& directory, const std::unordered_set<std::string>& keep) {
    if (!placeIsSafe(directory)) return;
    platform::removeFilesIn(copiesPath(directory),
                            [&](std::string_view name) { return !keep.count(std::string(name)); });
}

std::string settingsPath(const std::string& directory) {
    return platform::joinPath(directory, "settings.ini");
}

std::string nextSettingsPath(const std::string& directory) {
    return platform::joinPath(directory, "settings.next");
}

void removeJournal(const std::string& directory) {
    // The journal first: a journal whose copies are gone would restore nothing, a copy without a journal
    // is only clutter.
    platform::removeFile(journalPath(directory));
    platform::removeFile(settingsPath(directory));
    removeCopiesExcept(directory, {});
    platform::removeEmptyDirectory(copiesPath(directory));
}

std::string describe(const Entry& e) {
    switch (e.tag) {
        case kRenameTag:
            return "rename back  " + platform::displayName(e.fields[1]) + "  ->  " +
                   platform::displayName(e.fields[0]);
        case kReplaceTag:
            return "restore  " + platform::displayName(e.fields[0]) +
                   (e.fields[8] == "E" ? "  (line ends)" : "  (links)");
        case kMakeDirectoryTag:
            return "remove directory  " + platform::displayName(e.fields[0]);
        case kRemoveDirectoryTag:
            return "make directory again  " + platform::displayName(e.fields[0]);
        case kTrashTag:
            return "take back from the trash  " + platform::displayName(e.fields[0]);
        case kCreatedTag:
            return "remove what the job made  " + platform::displayName(e.fields[0]);
        default:
            return {};
    }
}

// The copies the job "id" saved: named "<id>-<n>" (a journal without an id, of an earlier version: any name).
bool isCopyOf(std::string_view name, std::string_view id) {
    return id.empty() || (name.size() > id.size() && name.starts_with(id) && name[id.size()] == '-');
}

// Removes the temporary files a killed run of the journal's job (or of its undo) left beside the files it
// was rewriting: those whose names carry the job's id are known to be Korvel's own.
void removeLeftTemporaries(const Journal& journal) {
    if (journal.header.id.empty()) return;
    const std::string prefix = platform::temporaryPrefix(journal.header.id);
    std::unordered_set<std::string> seen;
    for (const Entry& e : journal.entries) {
        if (e.tag != kReplaceTag) continue;
        const std::string dir(platform::parentPath(e.fields[0]));
        if (!seen.insert(dir).second) continue;
        std::vector<std::string> names;
        platform::listDirectory(dir, names);
        for (const std::string& name : names) {
            if (!name.starts_with(prefix) || name.size() != prefix.size() + 6) continue;
            const std::string path = platform::joinPath(dir, name);
            const platform::FileInfo info = infoOf(path);
            if (info.kind == platform::EntryKind::File && !info.isSymlink) platform::removeFile(path);
        }
    }
}

// A job that was stopped before its journal took the last one's place: when it had made a change, its
// journal becomes the last job's; otherwise it is dropped with its copies, and the last undo stays.
void settleInterruptedJob(const std::string& directory, const std::string& top) {
    if (!placeIsSafe(directory)) return;
    removeLeftTemporaries(readJournalFile(journalPath(directory), top, /*report=*/false));
    const std::string next = nextJournalPath(directory);
    platform::FileInfo info;
    if (platform::fileInfo(next, info) || info.kind == platform::EntryKind::Missing) return;
    Journal journal = readJournalFile(next, top, /*report=*/false);
    removeLeftTemporaries(journal);
    if (anyInEffect(journal.entries) || journal.damaged > 0) {
        if (platform::disk().renameReplace(next.c_str(), journalPath(directory).c_str()) == 0) {
            if (platform::disk().renameReplace(nextSettingsPath(directory).c_str(),
                                               settingsPath(directory).c_str()) != 0)
                platform::removeFile(settingsPath(directory));
            flushDirectory(directory);
            // The copies of the journal it replaced go; with a damaged one nothing can be told apart.
            if (journal.damaged == 0 && journal.readable) {
                platform::removeFilesIn(copiesPath(directory), [&](std::string_view name) {
                    return !isCopyOf(name, journal.header.id);
                });
            }
        }
        return;
    }
    platform::removeFile(next);
    platform::removeFile(nextSettingsPath(directory));
    if (journal.readable && !journal.header.id.empty()) {
        platform::removeFilesIn(copiesPath(directory),
                                [&](std::string_view name) { return isCopyOf(name, journal.header.id); });
    }
}

std::string randomId() {
    std::random_device device;
    return hex16((static_cast<std::uint64_t>(device()) << 32) ^ device()).substr(0, 12);
}

}  // namespace

std::string undoDirectory(std::string_view top) {
    const std::string state = platform::stateDirectory();
    if (state.empty()) return {};
    return platform::joinPath(platform::joinPath(state, "undo"), hex16(hashOf(canonicalTop(top))));
}

std::error_code makeJournalPlace(std::string_view top, std::string& directory) {
    directory = undoDirectory(top);
    if (directory.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
    const std::string state = platform::stateDirectory();
    std::error_code ec;
    // The state directory itself may be a link the person set up.
    if (!platform::makeDirectories(state, &ec)) return ec;
    for (const std::string& dir :
         {std::string(platform::parentPath(directory)), directory, copiesPath(directory)})
        if ((ec = platform::makePrivateDirectory(dir))) return ec;
    return {};
}

void settleInterruptedJob(std::string_view top) {
    const std::string directory = undoDirectory(top);
    if (!directory.empty()) settleInterruptedJob(directory, canonicalTop(top));
}

// ---- recording

UndoJournal::UndoJournal(std::string top, std::string job) : top_(std::move(top)), job_(std::move(job)) {}

UndoJournal::~UndoJournal() {
    if (fd_ < 0) return;
    // A change the job made without saying so (the last one, or one of a batch) still makes this journal
    // the last job's.
    if (!switched_ && anyInEffect(pending_)) switchOver();
    if (unsynced_ > 0) platform::disk().fsync(fd_);
    platform::disk().close(fd_);
    if (switched_) return;
    // Nothing was changed: the last job's journal stays, and this one goes with its copies.
    platform::removeFile(nextJournalPath(directory_));
    platform::removeFile(nextSettingsPath(directory_));
    platform::removeFilesIn(copiesPath(directory_),
                            [&](std::string_view name) { return isCopyOf(name, id_); });
}

std::unique_ptr<UndoJournal> UndoJournal::start(std::string_view top, std::string_view job,
                                                std::string_view keep) {
    auto journal = std::unique_ptr<UndoJournal>(new UndoJournal(canonicalTop(top), std::string(job)));
    journal->spelledTop_ = absolutePath(top);
    journal->keep_ = keep.empty() ? std::string() : absolutePath(keep);
    journal->id_ = randomId();
    platform::FileInfo info;
    if (!platform::fileInfo(journal->top_, info) && info.kind == platform::EntryKind::Directory) {
        journal->device_ = std::to_string(info.device);
        journal->inode_ = std::to_string(info.inode);
    }
    return journal;
}

void UndoJournal::refused(std::string_view reason, std::string_view subject) {
    const std::string where = directory_.empty() ? platform::stateDirectory() : journalPath(directory_);
    currentLog().errorDetail(
        res::formatString(res::kJournalRecordFailed, reason, platform::displayName(where)),
        platform::displayName(subject));
}

bool UndoJournal::ready(std::string_view subject) {
    if (fd_ >= 0) {
        // The change announced last may have been made since: then this journal is the last job's now.
        if (!switched_ && !pending_.empty() && inEffect(pending_.back().tag, pending_.back().fields))
            switchOver();
        return true;
    }
    if (const std::error_code ec = makeJournalPlace(top_, directory_)) {
        refused(ec.message(), subject);
        return false;
    }
    // The new journal is written beside the last job's, which it replaces once it has a change to undo;
    // so are the settings kept for the undo's report.
    const std::string path = nextJournalPath(directory_);
    platform::removeFile(path);
    platform::removeFile(nextSettingsPath(directory_));
    if (settings_) SaveSettings(nextSettingsPath(directory_), *settings_);
    fd_ = platform::disk().open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                                0600);
    if (fd_ < 0) {
        refused(errnoCode(errno).message(), subject);
        return false;
    }
    const std::string header =
        journalLine({std::string_view(&kHeaderTag, 1), kJournalMagic, kJournalVersion, top_, job_,
                     localTimeText(), spelledTop_, device_, inode_, id_, keep_});
    if (platform::disk().write(fd_, header.data(), header.size()) != static_cast<ssize_t>(header.size())) {
        refused(errnoCode(errno).message(), subject);
        platform::disk().close(fd_);
        fd_ = -1;
        platform::removeFile(path);
        return false;
    }
    ++unsynced_;
    length_ = header.size();
    return true;
}

void UndoJournal::changeMade() {
    if (fd_ >= 0 && !switched_) switchOver();
}

void UndoJournal::switchOver() {
    // Durable before it takes the last journal's place.
    if (platform::disk().fsync(fd_) != 0) return;
    unsynced_ = 0;
    if (platform::disk().renameReplace(nextJournalPath(directory_).c_str(),
                                       journalPath(directory_).c_str()) != 0) {
        refused(errnoCode(errno).message(), journalPath(directory_));
        return;
    }
    flushDirectory(directory_);
    switched_ = true;
    pending_.clear();
    pending_.shrink_to_fit();
    // Only for the undo's report: a journal without it undoes just the same.
    if (platform::disk().renameReplace(nextSettingsPath(directory_).c_str(),
                                       settingsPath(directory_).c_str()) != 0)
        platform::removeFile(settingsPath(directory_));
    // The last job's copies belonged to the journal just replaced.
    platform::removeFilesIn(copiesPath(directory_),
                            [&](std::string_view name) { return !isCopyOf(name, id_); });
}

bool UndoJournal::append(const std::vector<std::string_view>& fields, std::string_view subject,
                         bool durable) {
    const std::string data = journalLine(fields);
    const ssize_t written = platform::disk().write(fd_, data.data(), data.size());
    if (written != static_cast<ssize_t>(data.size())) {
        const int err = written < 0 ? errno : ENOSPC;
        // A part of a line would read as a damaged entry: cut it off again.
        if (written > 0 && platform::truncateFile(fd_, static_cast<std::int64_t>(length_))) {
            const std::string end = "\n";
            platform::disk().write(fd_, end.data(), end.size());
        }
        refused(errnoCode(err).message(), subject);
        return false;
    }
    length_ += data.size();
    if (!switched_ && pending_.size() < kPendingLimit) {
        PendingEntry p{fields.front().empty() ? '\0' : fields.front()[0], {}};
        for (std::size_t i = 1; i < fields.size(); ++i)
            p.fields.emplace_back(fields[i]);
        pending_.push_back(std::move(p));
    }
    // A flush costs milliseconds: one per rename would make renaming a large site take minutes. A rename
    // whose record a power cut lost leaves every byte in place under its new name.
    constexpr std::uint32_t kGroup = 256;
    if (durable || ++unsynced_ >= kGroup) return sync(subject);
    return true;
}

bool UndoJournal::flush() {
    if (fd_ < 0) return true;
    // The journal, its copies and their directory entries, in one flush of their file system.
    unsynced_ = 0;
    if (platform::disk().syncfs(fd_) != 0) {
        refused(errnoCode(errno).message(), journalPath(directory_));
        return false;
    }
    return true;
}

bool UndoJournal::sync(std::string_view subject) {
    unsynced_ = 0;
    if (platform::disk().fsync(fd_) != 0) {
        refused(errnoCode(errno).message(), subject);
        return false;
    }
    return true;
}

bool UndoJournal::saveCopy(std::string_view content, std::string& name, std::string_view subject) {
    const std::string copies = copiesPath(directory_);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        name = id_ + "-" + std::to_string(nextCopy_++);
        // Written, flushed, and its directory entry flushed, before the entry that names it.
        // In a batch of replacements the batch's barrier flushes every copy at once (flush()).
        const bool batched = platform::ReplaceBatch::current() != nullptr;
        const std::error_code ec =
            platform::createFile(platform::joinPath(copies, name), content, 0600, !batched);
        if (!ec) return true;
        if (ec == std::errc::file_exists) continue;
        refused(ec.message(), subject);
        return false;
    }
    refused(std::make_error_code(std::errc::file_exists).message(), subject);
    return false;
}

bool UndoJournal::willRename(std::string_view from, std::string_view to) {
    if (!ready(from)) return false;
    const Identity id = identityOf(infoOf(from));
    const std::string first = number(id.first);
    const std::string second = number(id.second);
    return append({std::string_view(&kRenameTag, 1), from, to, std::string_view(&id.kind, 1), first, second},
                  from);
}

bool UndoJournal::willReplace(std::string_view path, std::string_view before, std::string_view after,
                              const ContentChange& why) {
    if (!ready(path)) return false;
    std::string copy;
    if (!saveCopy(before, copy, path)) return false;
    const platform::FileInfo info = infoOf(path);
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(info.mode & 07777));
    const std::string modified = number(info.modifiedNs);
    const std::string beforeSize = number(static_cast<std::int64_t>(before.size()));
    const std::string beforeHash = hex16(hashOf(before));
    const std::string afterSize = number(static_cast<std::int64_t>(after.size()));
    const std::string afterHash = hex16(hashOf(after));
    const std::string fromLineEnd = number(why.fromLineEnd);
    const std::string toLineEnd = number(why.toLineEnd);
    std::vector<std::string> lines;
    lines.reserve(why.links.size());
    for (const LinkChange& link : why.links)
        lines.push_back(number(link.line));
    std::vector<std::string_view> fields = {std::string_view(&kReplaceTag, 1),
                                            path,
                                            copy,
                                            mode,
                                            modified,
                                            beforeSize,
                                            beforeHash,
                                            afterSize,
                                            afterHash,
                                            why.kind == ContentChange::Kind::LineEnds ? "E" : "L",
                                            fromLineEnd,
                                            toLineEnd};
    for (std::size_t i = 0; i < why.links.size(); ++i) {
        fields.push_back(lines[i]);
        fields.push_back(why.links[i].before);
        fields.push_back(why.links[i].after);
    }
    // A file split from its other names: the undo makes it one of them again.
    if (!why.hardLinkOf.empty()) fields.push_back(why.hardLinkOf);
    if (append(fields, path, /*durable=*/platform::ReplaceBatch::current() == nullptr)) return true;
    platform::removeFile(platform::joinPath(copiesPath(directory_), copy));
    return false;
}

bool UndoJournal::willMakeDirectory(std::string_view path) {
    return ready(path) && append({std::string_view(&kMakeDirectoryTag, 1), path}, path);
}

bool UndoJournal::willRemoveDirectory(std::string_view path) {
    if (!ready(path)) return false;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(infoOf(path).mode & 07777));
    return append({std::string_view(&kRemoveDirectoryTag, 1), path, mode}, path);
}

bool UndoJournal::willTrash(std::string_view path) {
    return ready(path) && append({std::string_view(&kTrashTag, 1), path}, path);
}

void UndoJournal::created(std::string_view path) {
    std::string content;
    if (!switched_ || platform::readFileNoFollow(path, content)) return;
    const std::string size = number(static_cast<std::int64_t>(content.size()));
    const std::string hash = hex16(hashOf(content));
    append({std::string_view(&kCreatedTag, 1), path, size, hash}, path, /*durable=*/true);
}

void UndoJournal::trashed(std::string_view path, std::string_view inTrash) {
    if (ready(path) && append({std::string_view(&kTrashedTag, 1), path, inTrash}, path)) changeMade();
}

// ---- undoing

bool journalSettings(std::string_view top, JobSettings& settings) {
    const std::string directory = undoDirectory(top);
    return !directory.empty() && LoadSettings(settingsPath(directory), settings);
}

namespace {

// Marks entries done as an undo puts them back, so that a rerun after a stop passes over them: their paths
// may no longer lead where they did once an older entry (a directory's rename) is put back too.
class UndoMarks {
  public:
    explicit UndoMarks(const std::string& path)
        : fd_(platform::disk().open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0)) {}
    ~UndoMarks() {
        if (fd_ < 0) return;
        platform::disk().fsync(fd_);
        platform::disk().close(fd_);
    }
    UndoMarks(const UndoMarks&) = delete;
    UndoMarks& operator=(const UndoMarks&) = delete;

    // Without a mark a rerun judges the entry by what it finds, which is right for it alone.
    void done(std::size_t line) {
        if (fd_ < 0) return;
        const std::string text = journalLine({std::string_view(&kUndoneTag, 1), std::to_string(line)});
        if (platform::disk().write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            platform::disk().close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_;
};

}  // namespace

UndoOutcome undoLast(std::string_view top, GUIProgress* progress, bool localLogs) {
    UndoOutcome outcome;
    const std::string directory = undoDirectory(top);
    if (directory.empty()) return outcome;
    const std::string canonical = canonicalTop(top);
    if (!placeIsSafe(directory)) {
        outcome.anything = true;
        outcome.damagedLines = 1;
        return outcome;
    }
    Journal journal = readJournalFile(journalPath(directory), canonical);
    if (!journal.exists) return outcome;
    if (!journal.readable || journal.damaged > 0) {
        // Nothing recorded may be lost because part of the record is: every copy stays.
        outcome.anything = true;
        outcome.damagedLines = std::max<std::size_t>(journal.damaged, 1);
        currentLog().errorDetail(res::kJournalCopiesKept, platform::displayName(journalPath(directory)));
        if (!journal.readable) return outcome;
    }
    outcome.job = journal.header.job;
    // The directory the job changed was removed or replaced: what the journal names is not its.
    platform::FileInfo topInfo;
    if (journal.header.identityKnown && !platform::fileInfo(canonical, topInfo) &&
        topInfo.kind == platform::EntryKind::Directory &&
        (topInfo.device != journal.header.device || topInfo.inode != journal.header.inode)) {
        currentLog().errorDetail(res::kJournalOtherTop, platform::displayName(journalPath(directory)));
        outcome.anything = true;
        outcome.damagedLines = std::max<std::size_t>(outcome.damagedLines, 1);
        return outcome;
    }
    const bool toUndo =
        std::any_of(journal.entries.begin(), journal.entries.end(), [](const Entry& e) { return !e.undone; });
    if (!toUndo) {
        if (outcome.damagedLines == 0) removeJournal(directory);
        return outcome;
    }
    outcome.anything = true;
    if (outcome.job == "orphans") outcome.movedTo = orphansDestination(journal);

    std::unique_ptr<GUIProgress> local;
    if (!progress) {
        local = std::make_unique<GUIProgressDlg>();
        progress = local.get();
    }
    std::vector<bool> keep(journal.entries.size(), false);
    {
        UndoMarks marks(journalPath(directory));
        std::unordered_set<std::string> madeLogs;
        for (const Entry& e : journal.entries)
            if (e.tag == kCreatedTag && platform::lastComponent(e.fields[0]) == "RENAME.LOG")
                madeLogs.insert(std::string(platform::parentPath(e.fields[0])));
        UndoReport report(outcome.job == "orphans", localLogs, std::move(madeLogs));
        // Restored files share their flushes. A file comes back in place only when the batch commits, so
        // the batch commits before anything else touches a file it holds: a second restore of the same
        // file (which checks what the file is now), and every rename.
        std::unordered_map<std::string, std::size_t> staged;  // path -> entry
        platform::ReplaceBatch batch(
            {},
            [&](const std::string& path, std::error_code ec) {
                leftAlone(ec.message(), path);
                if (const auto it = staged.find(path); it != staged.end()) {
                    keep[it->second] = true;
                    ++outcome.leftAlone;
                    if (outcome.restored > 0) --outcome.restored;
                }
            },
            256,
            [&](const std::string& path) {
                if (const auto it = staged.find(path); it != staged.end())
                    marks.done(journal.entries[it->second].line);
            },
            journal.header.id);
        const auto commit = [&] {
            batch.commit();
            staged.clear();
        };
        progress->begin(res::loadString(res::kUndoingRenaming),
                        static_cast<std::int64_t>(journal.entries.size()));
        for (std::size_t i = journal.entries.size(); i-- > 0;) {
            const Entry& e = journal.entries[i];
            if (e.undone) continue;
            // A file split from another name is joined to it again only once that one is back.
            const bool splitFile = e.tag == kReplaceTag && namesOtherLink(e);
            if (e.tag != kReplaceTag || splitFile || staged.count(e.fields[0]) != 0) commit();
            progress->setDirectory(platform::parentPath(e.fields[0]), outcome.cancelled);
            if (outcome.cancelled) {
                // What was not reached stays for a later undo.
                for (std::size_t j = 0; j <= i; ++j)
                    keep[j] = !journal.entries[j].undone;
                break;
            }
            progress->setFile(e.fields[0]);
            Result result = Result::LeftAlone;
            bool relinked = false;
            if (!confined(e, journal.header)) {
                result = leftAlone(reason(res::kReasonOutsideSite), e.fields[0]);
            } else {
                switch (e.tag) {
                    case kRenameTag:
                        result = undoRename(e, outcome.job == "orphans");
                        if (result == Result::Undone) {
                            ++outcome.renamed;
                            report.renamedBack(e.fields[0], e.fields[1], e.fields[2] == "d");
                        }
                        break;
                    case kReplaceTag:
                        if (const std::optional<ReplaceFields> r = replaceFields(e)) {
                            result = undoReplace(*r, directory, journal.header.spelledTop, relinked);
                            if (result == Result::Undone) {
                                if (!relinked) staged[r->path] = i;
                                ++outcome.restored;
                                report.restoredFile(*r);
                            }
                        } else {
                            result = leftAlone(reason(res::kReasonCopyDamaged), e.fields[0]);
                        }
                        break;
                    case kMakeDirectoryTag:
                        result = undoMakeDirectory(e);
                        if (result == Result::Undone) ++outcome.directoriesRemoved;
                        break;
                    case kRemoveDirectoryTag:
                        result = undoRemoveDirectory(e);
                        if (result == Result::Undone) ++outcome.directoriesMade;
                        break;
                    case kCreatedTag:
                        result = undoCreated(e);
                        if (result == Result::Undone) ++outcome.createdRemoved;
                        break;
                    case kTrashTag:
                        result = undoTrash(e);
                        if (result == Result::Undone) {
                            ++outcome.untrashed;
                            report.restoredOrphan(e.fields[0]);
                        }
                        break;
                }
            }
            if (result == Result::NeverDone) ++outcome.neverDone;
            // A restored file is done once its batch has put it in place.
            const bool staging = e.tag == kReplaceTag && result == Result::Undone && !relinked;
            if ((result == Result::Undone && !staging) || result == Result::NeverDone) marks.done(e.line);
            if (result == Result::LeftAlone || result == Result::Failed) {
                ++outcome.leftAlone;
                keep[i] = true;
            }
        }
        commit();
        progress->end();
    }

    // The journal keeps what is still to be undone, and the copies those entries need.
    std::string rest;
    std::unordered_set<std::string> copies;
    for (std::size_t i = 0; i < journal.entries.size(); ++i) {
        if (!keep[i]) continue;
        const Entry& e = journal.entries[i];
        rest += e.text;
        ++outcome.remaining;
        if (e.tag == kReplaceTag) copies.insert(e.fields[1]);
    }
    // A journal with lines that could not be read stays as it is, marks and all, with every copy.
    if (outcome.damagedLines > 0) return outcome;
    if (outcome.remaining == 0) {
        removeJournal(directory);
        return outcome;
    }
    const std::string path = journalPath(directory);
    if (const std::error_code ec = platform::replaceFileContents(path, journal.headerText + rest)) {
        currentLog().errorDetail(res::formatString(res::kJournalNotUpdated, ec.message()),
                                 platform::displayName(path));
        return outcome;
    }
    removeCopiesExcept(directory, copies);
    return outcome;
}

std::vector<std::string> listJournal(std::string_view top) {
    std::vector<std::string> lines;
    const std::string directory = undoDirectory(top);
    if (directory.empty() || !placeIsSafe(directory)) return lines;
    const std::string canonical = canonicalTop(top);
    // A job stopped between its first change and its journal's taking the last one's place: its journal
    // is the one an undo will take (settleInterruptedJob), though only the undo, holding the lock, moves it.
    Journal journal = readJournalFile(nextJournalPath(directory), canonical, /*report=*/false);
    if (!anyInEffect(journal.entries))
        journal = readJournalFile(journalPath(directory), canonical, /*report=*/false);
    for (auto it = journal.entries.rbegin(); it != journal.entries.rend(); ++it)
        if (!it->undone) lines.push_back(describe(*it));
    return lines;
}

}  // namespace korvel::jobs
