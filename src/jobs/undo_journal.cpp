#include "jobs/undo_journal.h"

#include <fcntl.h>
#include <xxhash.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "files/copy_move.h"
#include "files/file_operations.h"
#include "files/line_ends.h"
#include "names/rename_files.h"
#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/disk.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/locations.h"
#include "platform/paths.h"
#include "report/local_time.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/traverse.h"

namespace korvel::jobs {

namespace {

// The journal's lines. Every field is escaped ("\\", "\t", "\n" and "\r" as two characters each), so that
// any bytes a name holds survive, and the fields are joined by tabs. The last field is a hash of the rest
// of the line: a line torn by a crash, or one that a failed write left behind, does not pass for an entry.
constexpr std::string_view kMagic = "korvel-undo";
constexpr std::string_view kVersion = "1";
constexpr std::string_view kJournalName = "journal";
constexpr std::string_view kCopiesName = "copies";

// Entry tags.
constexpr char kHeader = 'H';
constexpr char kRename = 'R';
constexpr char kReplace = 'C';
constexpr char kMakeDirectory = 'M';
constexpr char kRemoveDirectory = 'D';
constexpr char kTrash = 'T';
constexpr char kTrashed = 't';

std::uint64_t hashOf(std::string_view bytes) {
    return XXH64(bytes.data(), bytes.size(), 0);
}

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string escape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::string entryLine(const std::vector<std::string_view>& fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) line += '\t';
        line += escape(field);
    }
    const std::string check = hex16(hashOf(line));
    line += '\t';
    line += check;
    line += '\n';
    return line;
}

// The fields of one line (without its line end), or nothing when the line is not a whole entry.
std::optional<std::vector<std::string>> parseLine(std::string_view line) {
    const auto tab = line.rfind('\t');
    if (tab == std::string_view::npos || line.substr(tab + 1) != hex16(hashOf(line.substr(0, tab)))) {
        return std::nullopt;
    }
    line = line.substr(0, tab);
    std::vector<std::string> fields;
    while (true) {
        const auto next = line.find('\t');
        std::optional<std::string> field = unescape(line.substr(0, next));
        if (!field) return std::nullopt;
        fields.push_back(std::move(*field));
        if (next == std::string_view::npos) break;
        line.remove_prefix(next + 1);
    }
    return fields;
}

template <typename T>
bool parseNumber(std::string_view text, T& out, int base = 10) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string number(std::int64_t value) {
    return std::to_string(value);
}

// The top directory as an absolute path without "." or ".." components or a trailing separator, so that
// one directory always finds one journal however it was named.
std::string absoluteTop(std::string_view top) {
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

std::string journalPath(std::string_view directory) {
    return platform::joinPath(directory, kJournalName);
}

std::string copiesPath(std::string_view directory) {
    return platform::joinPath(directory, kCopiesName);
}

std::error_code errnoCode(int err) {
    return {err, std::system_category()};
}

// Makes one directory of the journal's place, readable by its owner alone; one that is there is fine.
std::error_code makePrivateDirectory(const std::string& path) {
    const std::error_code ec = platform::makeDirectory(path, 0700);
    if (!ec) return {};
    if (ec != std::errc::file_exists) return ec;
    std::error_code there;
    // Also a symbolic link to a directory, which the person may have set up for their state directory.
    return platform::makeDirectories(path, &there) ? std::error_code{} : there;
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

// ---- reading a journal

// A "why" of a replaced file, as the journal keeps it: kind, line ends, then line/before/after triples.
struct Entry {
    char tag = 0;
    std::vector<std::string> fields;  // after the tag
    std::string text;                 // the entry's lines as the journal has them, to keep it
    std::string inTrash;              // a trash entry: where the file went, once known
    bool trashKnown = false;
};

struct Journal {
    bool exists = false;
    std::string top;
    std::string job;
    std::string header;          // the header line as written
    std::vector<Entry> entries;  // oldest first
};

// Whether the fields of an entry have the count its tag needs (a replace entry: at least).
bool wellFormed(char tag, const std::vector<std::string>& f) {
    switch (tag) {
        case kRename:
            return f.size() == 5;
        case kReplace:
            return f.size() >= 11 && (f.size() - 11) % 3 == 0;
        case kMakeDirectory:
            return f.size() == 1;
        case kRemoveDirectory:
            return f.size() == 2;
        case kTrash:
            return f.size() == 1;
        case kTrashed:
            return f.size() == 2;
        default:
            return false;
    }
}

// Reads the journal of "directory". Unreadable is reported and counts as none.
Journal readJournal(const std::string& directory, std::string_view top) {
    Journal journal;
    const std::string path = journalPath(directory);
    platform::FileInfo info;
    if (platform::fileInfo(path, info) || info.kind == platform::EntryKind::Missing) return journal;
    std::string content;
    if (const std::error_code ec = platform::readWholeFile(path, content)) {
        currentLog().errorDetail(res::formatString(res::kJournalUnreadable, ec.message()), path);
        return journal;
    }
    std::string_view rest(content);
    bool first = true;
    // Only whole lines: the text after the last line end is a line the writer did not finish.
    for (auto end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        const std::string_view line = rest.substr(0, end + 1);
        rest.remove_prefix(end + 1);
        std::optional<std::vector<std::string>> fields = parseLine(line.substr(0, line.size() - 1));
        if (!fields || fields->empty() || (*fields)[0].size() != 1) continue;
        const char tag = (*fields)[0][0];
        fields->erase(fields->begin());
        if (first) {
            // Another directory's journal (two paths with one hash) is not this one's.
            if (tag != kHeader || fields->size() < 4 || (*fields)[0] != kMagic || (*fields)[1] != kVersion ||
                (*fields)[2] != top) {
                currentLog().errorDetail(
                    res::formatString(res::kJournalUnreadable, reason(res::kReasonOtherDirectory)), path);
                return journal;
            }
            journal.exists = true;
            journal.job = (*fields)[3];
            journal.top = (*fields)[2];
            journal.header = std::string(line);
            first = false;
            continue;
        }
        if (!wellFormed(tag, *fields)) continue;
        if (tag == kTrashed) {
            // Completes the newest trash entry of that path.
            for (auto it = journal.entries.rbegin(); it != journal.entries.rend(); ++it) {
                if (it->tag == kTrash && it->fields[0] == (*fields)[0]) {
                    it->inTrash = (*fields)[1];
                    it->trashKnown = true;
                    it->text += line;
                    break;
                }
            }
            continue;
        }
        journal.entries.push_back({tag, std::move(*fields), std::string(line), {}, false});
    }
    return journal;
}

// Where an orphans job put its orphans: the directory a move went into (the moved path less its place
// below the top directory), or the trash's files directory; "" when no entry tells.
std::string orphansDestination(const Journal& journal) {
    const std::string prefix = journal.top == "/" ? journal.top : journal.top + platform::kSeparator;
    for (const Entry& e : journal.entries) {
        if (e.tag == kTrash && e.trashKnown) return std::string(platform::parentPath(e.inTrash));
        if (e.tag != kRename || !e.fields[0].starts_with(prefix)) continue;
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
// changes neither), anything else by its device and inode.
struct Identity {
    char kind;
    std::int64_t first;
    std::int64_t second;
};

Identity identityOf(const platform::FileInfo& info) {
    switch (info.kind) {
        case platform::EntryKind::File:
            return {'f', info.size, info.modifiedNs};
        case platform::EntryKind::Directory:
            return {'d', static_cast<std::int64_t>(info.device), static_cast<std::int64_t>(info.inode)};
        default:
            return {'o', static_cast<std::int64_t>(info.device), static_cast<std::int64_t>(info.inode)};
    }
}

bool sameIdentity(const Entry& e, const platform::FileInfo& info) {
    if (!present(info)) return false;
    const Identity now = identityOf(info);
    std::int64_t first = 0;
    std::int64_t second = 0;
    return e.fields[2].size() == 1 && e.fields[2][0] == now.kind && parseNumber(e.fields[3], first) &&
           parseNumber(e.fields[4], second) && first == now.first && second == now.second;
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
    if (!sameIdentity(e, atTo)) return notRenamedBack(reason(res::kReasonChangedSinceJob), to, from);
    // The old name may find the entry itself where the file system ignores case.
    const bool sameEntry = present(atFrom) && atFrom.device == atTo.device && atFrom.inode == atTo.inode;
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
    for (std::size_t i = 11; i + 2 < f.size(); i += 3) {
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

// "pendingTimes": in a batch of replacements, where the modification time to give each restored file once
// the batch has put it in place; null: at once.
Result undoReplace(const ReplaceFields& r, const std::string& directory,
                   std::unordered_map<std::string, std::int64_t>* pendingTimes) {
    const platform::FileInfo info = infoOf(r.path);
    if (info.kind != platform::EntryKind::File || info.isSymlink) {
        return leftAlone(reason(res::kReasonGone), r.path);
    }
    std::string now;
    if (const std::error_code ec = platform::readWholeFile(r.path, now))
        return leftAlone(ec.message(), r.path);
    if (!contentIs(now, r.afterSize, r.afterHash)) {
        if (contentIs(now, r.beforeSize, r.beforeHash)) return Result::NeverDone;
        return leftAlone(reason(res::kReasonChangedSinceJob), r.path);
    }
    std::string original;
    if (platform::readWholeFile(platform::joinPath(copiesPath(directory), r.copy), original) ||
        !contentIs(original, r.beforeSize, r.beforeHash)) {
        return leftAlone(reason(res::kReasonCopyDamaged), r.path);
    }
    if (const std::error_code ec = platform::replaceFileContents(r.path, original)) {
        leftAlone(ec.message(), r.path);
        return Result::Failed;
    }
    // The contents are back, and the mode is the file's own: the one the job left, which is the mode it
    // had (the recorded one may be the write permission a read-only file was given for the rewrite). The
    // time comes back too: it is what recognises the file for an earlier rename of it.
    if (pendingTimes) {
        (*pendingTimes)[r.path] = r.modifiedNs;
    } else if (platform::setModifiedTime(r.path, r.modifiedNs)) {
        currentLog().errorDetail(res::kModifiedTimeNotRestored, platform::displayName(r.path));
    }
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
    UndoReport(bool orphans, bool localLogs) : orphans_(orphans), localLogs_(localLogs) {}
    ~UndoReport() {
        names_.reset();
        for (ESection* section : {lineEnds_, links_, orphanSection_})
            if (section) currentLog().closeSection(section);
    }
    UndoReport(const UndoReport&) = delete;
    UndoReport& operator=(const UndoReport&) = delete;

    void renamedBack(const std::string& from, const std::string& to, bool directory) {
        if (orphans_) {
            restoredOrphan(from);
            return;
        }
        if (!names_) names_ = std::make_unique<names::RestoredNames>(localLogs_);
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
    std::unique_ptr<names::RestoredNames> names_;
    ESection* lineEnds_ = nullptr;
    ESection* links_ = nullptr;
    ESection* orphanSection_ = nullptr;
};

// Removes the journal's place, or what of it is no longer needed: every copy that no kept entry names.
void removeCopiesExcept(const std::string& directory, const std::unordered_set<std::string>& keep) {
    const std::string copies = copiesPath(directory);
    std::vector<std::string> names;
    platform::listDirectory(copies, names);
    for (const std::string& name : names)
        if (!keep.count(name)) platform::removeFile(platform::joinPath(copies, name));
}

std::string settingsPath(const std::string& directory) {
    return platform::joinPath(directory, "settings.ini");
}

void removeJournal(const std::string& directory) {
    // The journal first: a journal whose copies are gone would restore nothing, a copy without a journal
    // is only clutter.
    platform::removeFile(journalPath(directory));
    platform::removeFile(settingsPath(directory));
    removeCopiesExcept(directory, {});
    platform::removeEmptyDirectory(copiesPath(directory));
    platform::removeEmptyDirectory(directory);
}

std::string describe(const Entry& e) {
    switch (e.tag) {
        case kRename:
            return "rename back  " + platform::displayName(e.fields[1]) + "  ->  " +
                   platform::displayName(e.fields[0]);
        case kReplace:
            return "restore  " + platform::displayName(e.fields[0]) +
                   (e.fields[8] == "E" ? "  (line ends)" : "  (links)");
        case kMakeDirectory:
            return "remove directory  " + platform::displayName(e.fields[0]);
        case kRemoveDirectory:
            return "make directory again  " + platform::displayName(e.fields[0]);
        case kTrash:
            return "take back from the trash  " + platform::displayName(e.fields[0]);
        default:
            return {};
    }
}

}  // namespace

std::string undoDirectory(std::string_view top) {
    const std::string state = platform::stateDirectory();
    if (state.empty()) return {};
    return platform::joinPath(platform::joinPath(state, "undo"), hex16(hashOf(absoluteTop(top))));
}

// ---- recording

UndoJournal::UndoJournal(std::string top, std::string job) : top_(std::move(top)), job_(std::move(job)) {}

UndoJournal::~UndoJournal() {
    if (fd_ < 0) return;
    if (unsynced_ > 0) platform::disk().fsync(fd_);
    platform::disk().close(fd_);
}

std::unique_ptr<UndoJournal> UndoJournal::start(std::string_view top, std::string_view job) {
    return std::unique_ptr<UndoJournal>(new UndoJournal(absoluteTop(top), std::string(job)));
}

void UndoJournal::refused(std::string_view reason, std::string_view subject) {
    const std::string where = directory_.empty() ? platform::stateDirectory() : journalPath(directory_);
    currentLog().errorDetail(
        res::formatString(res::kJournalRecordFailed, reason, platform::displayName(where)),
        platform::displayName(subject));
}

bool UndoJournal::ready(std::string_view subject) {
    if (fd_ >= 0) return true;
    directory_ = undoDirectory(top_);
    if (directory_.empty()) {
        refused(std::make_error_code(std::errc::no_such_file_or_directory).message(), subject);
        return false;
    }
    const std::string state = platform::stateDirectory();
    std::error_code ec;
    if (!platform::makeDirectories(platform::parentPath(state), &ec)) {
        refused(ec.message(), subject);
        return false;
    }
    for (const std::string& dir :
         {state, std::string(platform::parentPath(directory_)), directory_, copiesPath(directory_)}) {
        if ((ec = makePrivateDirectory(dir))) {
            refused(ec.message() + ": " + platform::displayName(dir), subject);
            return false;
        }
    }

    // The new journal is made whole beside the old one and then takes its place in one step, so that at
    // every instant there is one journal or the other.
    const std::string path = journalPath(directory_);
    {
        platform::TempFile fresh;
        ec = fresh.create(directory_, ".journal-");
        if (!ec)
            ec = fresh.write(
                entryLine({std::string_view(&kHeader, 1), kMagic, kVersion, top_, job_, localTimeText()}));
        if (!ec) ec = fresh.flush();
        if (!ec && platform::disk().renameReplace(fresh.path().c_str(), path.c_str()) != 0)
            ec = errnoCode(errno);
        if (ec) {
            refused(ec.message(), subject);
            return false;
        }
        fresh.release();
    }
    flushDirectory(directory_);
    // Only for the undo's report: a journal without it undoes just the same.
    platform::removeFile(settingsPath(directory_));
    if (settings_) SaveSettings(settingsPath(directory_), *settings_);
    // The last job's copies belonged to the journal just replaced.
    removeCopiesExcept(directory_, {});

    fd_ = platform::disk().open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd_ < 0) {
        refused(errnoCode(errno).message(), subject);
        return false;
    }
    return true;
}

bool UndoJournal::append(const std::vector<std::string_view>& fields, std::string_view subject,
                         bool durable) {
    std::string data;
    // After a failed write the file may end in part of a line: end it, so that this entry is a line of its
    // own (the torn part fails its check and is passed over when read).
    if (torn_) data += '\n';
    data += entryLine(fields);
    const ssize_t written = platform::disk().write(fd_, data.data(), data.size());
    if (written != static_cast<ssize_t>(data.size())) {
        const int err = written < 0 ? errno : ENOSPC;
        torn_ = true;
        refused(errnoCode(err).message(), subject);
        return false;
    }
    torn_ = false;
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
        name = std::to_string(nextCopy_++);
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
    return append({std::string_view(&kRename, 1), from, to, std::string_view(&id.kind, 1), first, second},
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
    std::vector<std::string_view> fields = {std::string_view(&kReplace, 1),
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
    if (append(fields, path, /*durable=*/platform::ReplaceBatch::current() == nullptr)) return true;
    platform::removeFile(platform::joinPath(copiesPath(directory_), copy));
    return false;
}

bool UndoJournal::willMakeDirectory(std::string_view path) {
    return ready(path) && append({std::string_view(&kMakeDirectory, 1), path}, path);
}

bool UndoJournal::willRemoveDirectory(std::string_view path) {
    if (!ready(path)) return false;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(infoOf(path).mode & 07777));
    return append({std::string_view(&kRemoveDirectory, 1), path, mode}, path);
}

bool UndoJournal::willTrash(std::string_view path) {
    return ready(path) && append({std::string_view(&kTrash, 1), path}, path);
}

void UndoJournal::trashed(std::string_view path, std::string_view inTrash) {
    if (ready(path)) append({std::string_view(&kTrashed, 1), path, inTrash}, path);
}

// ---- undoing

bool journalSettings(std::string_view top, JobSettings& settings) {
    const std::string directory = undoDirectory(top);
    return !directory.empty() && LoadSettings(settingsPath(directory), settings);
}

UndoOutcome undoLast(std::string_view top, GUIProgress* progress, bool localLogs) {
    UndoOutcome outcome;
    const std::string directory = undoDirectory(top);
    if (directory.empty()) return outcome;
    Journal journal = readJournal(directory, absoluteTop(top));
    if (!journal.exists) return outcome;
    outcome.job = journal.job;
    if (journal.entries.empty()) {
        removeJournal(directory);
        return outcome;
    }
    outcome.anything = true;
    if (journal.job == "orphans") outcome.movedTo = orphansDestination(journal);

    std::unique_ptr<GUIProgress> local;
    if (!progress) {
        local = std::make_unique<GUIProgressDlg>();
        progress = local.get();
    }
    std::vector<bool> keep(journal.entries.size(), false);
    {
        UndoReport report(journal.job == "orphans", localLogs);
        // Restored files share their flushes. A file comes back in place only when the batch commits, so
        // the batch commits before anything else touches a file it holds: a second restore of the same
        // file (which checks what the file is now), and every rename.
        std::unordered_map<std::string, std::size_t> staged;  // path -> entry
        std::unordered_map<std::string, std::int64_t> pendingTimes;
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
                const auto it = pendingTimes.find(path);
                if (it != pendingTimes.end() && platform::setModifiedTime(path, it->second))
                    currentLog().errorDetail(res::kModifiedTimeNotRestored, platform::displayName(path));
            });
        const auto commit = [&] {
            batch.commit();
            staged.clear();
            pendingTimes.clear();
        };
        progress->begin(res::loadString(res::kUndoingRenaming),
                        static_cast<std::int64_t>(journal.entries.size()));
        for (std::size_t i = journal.entries.size(); i-- > 0;) {
            const Entry& e = journal.entries[i];
            if (e.tag != kReplace || staged.count(e.fields[0]) != 0) commit();
            progress->setDirectory(platform::parentPath(e.fields[0]), outcome.cancelled);
            if (outcome.cancelled) {
                // What was not reached stays for a later undo.
                for (std::size_t j = 0; j <= i; ++j)
                    keep[j] = true;
                break;
            }
            progress->setFile(e.fields[0]);
            Result result = Result::LeftAlone;
            switch (e.tag) {
                case kRename:
                    result = undoRename(e, journal.job == "orphans");
                    if (result == Result::Undone) {
                        ++outcome.renamed;
                        report.renamedBack(e.fields[0], e.fields[1], e.fields[2] == "d");
                    }
                    break;
                case kReplace:
                    if (const std::optional<ReplaceFields> r = replaceFields(e)) {
                        result = undoReplace(*r, directory, &pendingTimes);
                        if (result == Result::Undone) {
                            staged[r->path] = i;
                            ++outcome.restored;
                            report.restoredFile(*r);
                        }
                    } else {
                        result = leftAlone(reason(res::kReasonCopyDamaged), e.fields[0]);
                    }
                    break;
                case kMakeDirectory:
                    result = undoMakeDirectory(e);
                    if (result == Result::Undone) ++outcome.directoriesRemoved;
                    break;
                case kRemoveDirectory:
                    result = undoRemoveDirectory(e);
                    if (result == Result::Undone) ++outcome.directoriesMade;
                    break;
                case kTrash:
                    result = undoTrash(e);
                    if (result == Result::Undone) {
                        ++outcome.untrashed;
                        report.restoredOrphan(e.fields[0]);
                    }
                    break;
            }
            if (result == Result::NeverDone) ++outcome.neverDone;
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
        if (e.tag == kReplace) copies.insert(e.fields[1]);
    }
    if (outcome.remaining == 0) {
        removeJournal(directory);
        return outcome;
    }
    const std::string path = journalPath(directory);
    if (const std::error_code ec = platform::replaceFileContents(path, journal.header + rest)) {
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
    if (directory.empty()) return lines;
    const Journal journal = readJournal(directory, absoluteTop(top));
    for (auto it = journal.entries.rbegin(); it != journal.entries.rend(); ++it)
        lines.push_back(describe(*it));
    return lines;
}

}  // namespace korvel::jobs
