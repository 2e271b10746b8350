#include "names/rename_files.h"

#include <algorithm>
#include <system_error>
#include <unordered_map>

#include "names/convert_names.h"
#include "names/read_only_policy.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/traverse.h"

namespace korvel::names {

namespace {

constexpr std::size_t kColumnWidth = 40;

void renameFailed(std::string_view from, std::string_view to) {
    currentLog().error(res::kFailedToRenameFile, from, to);
    currentLog().errorEndLine();
}

// A rename of a site entry: announced to the change journal in force, and made only when it was recorded
// (the journal has said why not). Never replaces anything.
std::error_code recordedRename(std::string_view from, std::string_view to) {
    if (ChangeJournal* journal = currentJournal(); journal && !journal->willRename(from, to)) {
        return std::make_error_code(std::errc::operation_canceled);
    }
    const std::error_code ec = platform::renameNoReplace(from, to);
    if (!ec) {
        if (ChangeJournal* journal = currentJournal()) journal->changeMade();
    }
    return ec;
}

bool exists(std::string_view path) {
    platform::FileInfo info;
    return platform::fileInfo(path, info) || info.kind != platform::EntryKind::Missing;
}

// A name that stays in its directory: anything else would move the entry somewhere else.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool isDirectory(const Node& node) {
    return dynamic_cast<const DirNode*>(&node) != nullptr;
}

// The full path the entry would have under "name" beside where it is now.
std::string besideNode(const Node& node, std::string_view name) {
    if (const DirNode* parent = node.getParent()) return platform::joinPath(parent->path(), name);
    return platform::joinPath(node.getDirectoryPart(), name);
}

// Moves the node (and the paths below it) to "path", where the entry now is.
void movedTo(Node& node, std::string path) {
    node.setPath(std::move(path));
    refreshSubtreePaths(node);
}

void writeHeader(ReportSection* section, int firstColumn, int secondColumn) {
    if (!section) return;
    std::string first(res::loadString(firstColumn));
    first.resize(std::max(first.size(), kColumnWidth), ' ');
    section->write(first);
    section->writeLine(res::loadString(secondColumn));
    section->endLine();
}

void writeClosingText(ReportSection* section, std::uint32_t count, int textForNone) {
    if (!section) return;
    if (count == 0) {
        section->endLine();
        section->writeLine(textForNone);
    }
    currentLog().closeSection(section);
}

// The node at "path" as the tree has it now (exact names only), or null.
Node* nodeAtPath(DirNode& top, std::string_view path) {
    if (path == top.path()) return &top;
    const std::string prefix = platform::withTrailingSeparator(top.path());
    if (!path.starts_with(prefix)) return nullptr;
    path.remove_prefix(prefix.size());
    Node* node = &top;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        Node* child = nullptr;
        if (!node->findChild(name, &child) || child->getFileName() != name) return nullptr;
        node = child;
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return node;
}

// A row for an entry the tree does not hold: the same columns as writeRenameRow's, escaped the same way
// (a name that is not valid UTF-8 is shown escaped, and the cut counts characters).
void writePlainRow(ReportSection* section, std::string_view first, std::string_view second) {
    if (!section) return;
    std::string row = platform::displayName(first);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if ((static_cast<unsigned char>(row[i]) & 0xC0) == 0x80) continue;
        if (characters == 36) {
            row.resize(i);
            break;
        }
        ++characters;
    }
    row.append(kColumnWidth - characters, ' ');
    row += platform::displayName(second);
    section->writeLine(row);
}

}  // namespace

void refreshSubtreePaths(Node& node) {
    auto* dir = dynamic_cast<DirNode*>(&node);
    if (!dir) return;
    for (Node* child : dir->children()) {
        child->refreshPath();
        refreshSubtreePaths(*child);
    }
}

RenameStep stepOfRename(std::string_view from, std::string_view to) {
    if (platform::parentPath(from) != platform::parentPath(to)) return RenameStep::Whole;
    if (platform::lastComponent(to).starts_with(".el_")) return RenameStep::ToTemporary;
    if (platform::lastComponent(from).starts_with(".el_")) return RenameStep::FromTemporary;
    return RenameStep::Whole;
}

bool stopsRenaming(std::error_code failure) {
    return failure == std::errc::operation_canceled || failure == std::errc::no_space_on_device ||
           failure == std::errc::read_only_file_system || failure == std::errc::io_error ||
           failure.value() == EDQUOT;
}

int renameNode(Node& node, std::string_view name, RenameHistory* history, std::error_code* failure) {
    const std::string from = node.path();
    const std::string to = besideNode(node, name);
    WritableGrant grant;
    if (!confirmWritable(node, grant)) return 0;
    const std::optional<mode_t> previousMode = grant.previousMode();
    const std::error_code failed =
        isPlainName(name) ? recordedRename(from, to) : std::make_error_code(std::errc::invalid_argument);
    if (failed) {
        if (failure) *failure = failed;
        grant.restore(from);
        renameFailed(from, to);
        return -1;
    }
    grant.restore(to);
    if (history) history->push_back({from, to, isDirectory(node), previousMode, RenameStep::Whole});
    movedTo(node, to);
    return 1;
}

// ---- SuggestedNamesPass

SuggestedNamesPass::SuggestedNamesPass() {
    section = currentLog().openSection(res::kSectionSuggestedNames);
    writeHeader(section, res::kNewFilenameColumn, res::kOriginalFilename);
}

SuggestedNamesPass::~SuggestedNamesPass() {
    writeClosingText(section, count, res::kAllNamesValid);
}

bool SuggestedNamesPass::step(Node& node) {
    if (!writeRenameRow(section, node, "", "")) return false;
    ++count;
    return true;
}

bool SuggestedNamesPass::visitFile(FileNode& node) {
    return step(node);
}

bool SuggestedNamesPass::visitHtml(HtmlNode& node) {
    return step(node);
}

bool SuggestedNamesPass::visitDir(DirNode& node) {
    return node.getParent() && step(node);
}

// ---- RenamePass

// A child moved aside to a temporary name, waiting for its new name to come free.
struct RenamePass::Waiting {
    Node* node;
    std::string originalName;  // which it keeps a claim on until it has its new name
    std::string newName;
};

RenamePass::RenamePass(bool localLogs) : localLogs_(localLogs) {
    section = currentLog().openSection(res::kSectionRenamedFiles);
    writeHeader(section, res::kNewFilenameColumn, res::kOriginalFilename);
}

RenamePass::~RenamePass() {
    writeClosingText(section, count, res::kAllNamesValid);
}

bool RenamePass::visitFile(FileNode& node) {
    return renamed_.count(&node) != 0;
}

bool RenamePass::visitHtml(HtmlNode& node) {
    return renamed_.count(&node) != 0;
}

bool RenamePass::visitDir(DirNode& node) {
    // The children are renamed before the walk goes through them: renaming re-sorts a directory's
    // children, which must not happen under the walk's feet.
    renameChildren(node);
    return renamed_.count(&node) != 0;
}

bool RenamePass::held(std::string_view name) const {
    return held_.count(asciiUpper(name)) != 0;
}

void RenamePass::hold(std::string_view name) {
    held_.insert(asciiUpper(name));
}

void RenamePass::release(std::string_view name) {
    const auto it = held_.find(asciiUpper(name));
    if (it != held_.end()) held_.erase(it);
}

void RenamePass::renamed(Node& node, DirNode& dir) {
    renamed_.insert(&node);
    ++count;
    writeRenameRow(section, node, "", "");
    if (localLogs_) writeRenameRow(currentLog().directoryLog(dir.path()), node, "", "");
}

void RenamePass::renameChildren(DirNode& dir) {
    // Taken first: renaming re-sorts the children.
    std::vector<Node*> todo;
    for (Node* child : dir.children())
        if (child->hasNewName() && child->getNewName() != child->getFileName()) todo.push_back(child);
    if (todo.empty()) return;

    // Until a child has its final name (or is known to keep its old one), no other child may take its
    // name: a name it leaves for a temporary one is still its own to come back to. Names are held without
    // regard to case, so that this also holds where the file system ignores case.
    held_.clear();
    for (const Node* child : todo)
        hold(child->getFileName());

    std::vector<Waiting> waiting;
    for (Node* child : todo) {
        // Once the journal or the disk refuses a change, no other is tried: what is renamed can still
        // have its links rewritten and be undone, and nothing more is left half done.
        if (stopped_) break;
        const std::string name(child->getFileName());
        release(name);
        if (!held(child->getNewName())) {
            std::error_code failure;
            if (renameNode(*child, child->getNewName(), &history_, &failure) == 1) renamed(*child, dir);
            if (failure && stopsRenaming(failure)) stopped_ = true;
            continue;
        }
        // A sibling that has not moved yet holds the new name: step aside and wait for it.
        if (moveAside(*child, dir, waiting)) hold(name);
    }

    while (!waiting.empty()) {
        // One whose new name nobody else still claims; when every one waits for another's (names that
        // swap, or a ring), the first goes ahead: the others have all moved aside, so its name is free.
        auto next = std::find_if(waiting.begin(), waiting.end(), [&](const Waiting& w) {
            release(w.originalName);
            const bool free = !held(w.newName);
            hold(w.originalName);
            return free;
        });
        if (next == waiting.end()) next = waiting.begin();
        Waiting w = std::move(*next);
        waiting.erase(next);
        release(w.originalName);
        finishOrPutBack(w, dir);
    }
    held_.clear();
}

bool RenamePass::moveAside(Node& node, DirNode& dir, std::vector<Waiting>& waiting) {
    WritableGrant grant;
    if (!confirmWritable(node, grant)) return false;
    const std::optional<mode_t> previousMode = grant.previousMode();
    const std::string from = node.path();
    // A hidden name, so that a scan never takes a left-over one for part of the site.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string to = platform::joinPath(dir.path(), ".el_" + std::to_string(++temporaryCounter_));
        // A name that is taken is passed over before it is announced: the journal records only renames
        // that are meant to happen.
        if (exists(to)) continue;
        const std::error_code ec = recordedRename(from, to);
        if (ec == std::errc::file_exists) continue;
        if (ec) {
            stopped_ = stopped_ || stopsRenaming(ec);
            break;
        }
        grant.restore(to);
        history_.push_back({from, to, isDirectory(node), previousMode, RenameStep::ToTemporary});
        waiting.push_back({&node, std::string(node.getFileName()), node.getNewName()});
        movedTo(node, to);
        return true;
    }
    grant.restore(from);
    renameFailed(from, besideNode(node, node.getNewName()));
    return false;
}

void RenamePass::finishOrPutBack(Waiting& w, DirNode& dir) {
    Node& node = *w.node;
    const std::string temporary = node.path();
    const std::string to = platform::joinPath(dir.path(), w.newName);
    if (!recordedRename(temporary, to)) {
        history_.push_back({temporary, to, isDirectory(node), std::nullopt, RenameStep::FromTemporary});
        movedTo(node, to);
        renamed(node, dir);
        return;
    }
    const std::string original = platform::joinPath(dir.path(), w.originalName);
    renameFailed(original, to);
    // Back to its own name. Where the journal cannot record that any more it goes back all the same: the
    // undo then finds it where it was before its move aside, as if that had never been made.
    const std::error_code back = recordedRename(temporary, original);
    if (!back || (stopsRenaming(back) && !platform::renameNoReplace(temporary, original))) {
        // Back where it was: as if it had never moved, so the history forgets the move aside. Nothing else
        // used either name meanwhile (the old one was held for it, the temporary one is its own).
        const auto aside = std::find_if(history_.rbegin(), history_.rend(), [&](const RenameRecord& r) {
            return r.step == RenameStep::ToTemporary && r.to == temporary;
        });
        if (aside != history_.rend()) history_.erase(std::next(aside).base());
        movedTo(node, original);
        return;
    }
    // Neither name can be had: the entry stays where it is, and the person is told where that is.
    currentLog().error(res::kLeftUnderTemporaryName, temporary, original);
    currentLog().errorEndLine();
}

// ---- RestoredNames

RestoredNames::RestoredNames(bool localLogs) : localLogs_(localLogs) {
    section_ = currentLog().openSection(res::kSectionRestoredNames);
    writeHeader(section_, res::kOriginalFilename, res::kModifiedFilenameColumn);
}

RestoredNames::~RestoredNames() {
    writeClosingText(section_, count_, res::kNothingRenamedToUndo);
}

void RestoredNames::writeRow(const Node* node, std::string_view originalName, std::string_view before,
                             std::string_view directory) {
    ++count_;
    ReportSection* dirLog = localLogs_ && !skipped_.count(std::string(directory))
                                ? currentLog().directoryLog(directory)
                                : nullptr;
    if (node && node->hasNewName()) {
        writeRenameRow(section_, *node, originalName, before);
        writeRenameRow(dirLog, *node, originalName, before);
        return;
    }
    writePlainRow(section_, originalName, before);
    writePlainRow(dirLog, originalName, before);
}

void RestoredNames::undone(const RenameRecord& r, const Node* node) {
    switch (r.step) {
        case RenameStep::FromTemporary:
            // Half way: the row comes when the move aside is undone too.
            startedAt_[r.from] = r.to;
            break;
        case RenameStep::ToTemporary: {
            const auto it = startedAt_.find(r.to);
            const std::string was = it != startedAt_.end() ? it->second : r.to;
            if (it != startedAt_.end()) startedAt_.erase(it);
            writeRow(node, platform::lastComponent(r.from), was, platform::parentPath(r.from));
            break;
        }
        case RenameStep::Whole:
            writeRow(node, platform::lastComponent(r.from), r.to, platform::parentPath(r.from));
            break;
    }
}

// ---- RenameUndo

RenameUndo::RenameUndo(RenameHistory history, bool localLogs, DirNode* top)
    : history_(std::move(history)), top_(top), rows_(localLogs) {}

RenameUndo::~RenameUndo() = default;

std::int32_t RenameUndo::run(std::string_view title, GUIProgress* progress) {
    std::unique_ptr<GUIProgress> local;
    if (!progress) {
        local = std::make_unique<GUIProgressDlg>();
        progress = local.get();
    }
    progress->begin(title, static_cast<std::int64_t>(history_.size()));
    bool cancelled = false;
    const std::uint32_t before = rows_.count();
    while (!history_.empty()) {
        const RenameRecord& last = history_.back();
        progress->setDirectory(platform::parentPath(last.to), cancelled);
        if (cancelled) break;
        RenameRecord r = std::move(history_.back());
        history_.pop_back();
        progress->setFile(r.to);

        Node* node = top_ ? nodeAtPath(*top_, r.to) : nullptr;
        if (recordedRename(r.to, r.from)) {
            renameFailed(r.to, r.from);
            failed_.push_back(std::move(r));
            continue;
        }
        if (node) movedTo(*node, r.from);
        rows_.undone(r, node);
    }
    progress->end();
    return cancelled ? -1 : static_cast<std::int32_t>(rows_.count() - before);
}

// ---- the passes as a job runs them

std::int32_t reportRenaming(DirNode& top, std::int64_t total, GUIProgress* progress) {
    SuggestedNamesPass visitor;
    Traversal<TypedWalk<Node*>> pass(&top, visitor);
    return pass.run(res::loadString(res::kReportingSuggestedNames), total, progress);
}

std::int32_t renameFiles(DirNode& top, bool localLogs, std::int64_t total, RenameHistory& history,
                         GUIProgress* progress, bool* stopped) {
    RenamePass visitor(localLogs);
    Traversal<TypedWalk<Node*>> pass(&top, visitor);
    const std::int32_t result = pass.run(res::loadString(res::kRenamingFiles), total, progress);
    if (stopped) *stopped = visitor.stopped();
    RenameHistory done = visitor.takeHistory();
    history.insert(history.end(), std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
    return result;
}

std::int32_t undoRenaming(DirNode& top, RenameHistory& history, bool localLogs, GUIProgress* progress) {
    RenameUndo undo(std::move(history), localLogs, &top);
    const std::int32_t result = undo.run(res::loadString(res::kUndoingRenaming), progress);
    history = undo.remaining();
    return result;
}

}  // namespace korvel::names
