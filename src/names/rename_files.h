#pragma once
// Renaming on disk, and putting the names back. After the conversion pass has given nodes their new
// names, SuggestedNamesPass lists them (a check), RenamePass renames the files and directories (a fix) and
// keeps a history of every rename it really did, and RenameUndo replays that history backwards.
//
// Every rename is announced to the change journal in force first (and not made when it cannot be recorded),
// and goes through platform::renameNoReplace, so nothing is ever renamed onto an existing entry;
// a node's path always names where the entry is on disk, also after a failure and below a directory that
// could not be renamed.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "site/visitor.h"

namespace korvel {
class Node;
class DirNode;
class FileNode;
class HtmlNode;
class GUIProgress;
}  // namespace korvel

namespace korvel::names {

// How one rename stands in a node's renaming. A name that a sibling still holds (two names that swap, or
// a chain a -> b -> c) cannot be taken at once: the entry first moves to a temporary name in its own
// directory and takes its new name once the sibling has moved away.
enum class RenameStep : std::uint8_t {
    Whole,          // from the old name straight to the new one
    ToTemporary,    // from the old name to a temporary ".el_" name
    FromTemporary,  // from the temporary name to the new one
};

// One rename that was done on disk: a plain value, so that an undo journal can store it. Replaying a
// history newest first, each "to" renamed back to its "from", restores the tree exactly.
struct RenameRecord {
    std::string from;  // full path before the rename
    std::string to;    // full path after it
    bool directory = false;
    // The exact mode the entry had when the job made it writable for this rename (with the read-only
    // policy's consent); the mode was given back right after the rename. Nothing when it was not changed.
    std::optional<mode_t> previousMode;
    RenameStep step = RenameStep::Whole;

    bool operator==(const RenameRecord&) const = default;
};

// The renames of a job, in the order they were done.
using RenameHistory = std::vector<RenameRecord>;

// The step of a rename as its two paths tell it: a ".el_" name beside the other is one of the renaming's own
// temporary names (a hidden name, which no scan ever takes for part of the site).
RenameStep stepOfRename(std::string_view from, std::string_view to);

// Renames "node" to "name" in its own directory: asks confirmWritable first (with the read-only policy in
// force), then renames without replacing. Returns 1 when renamed (the node's path, and those of everything
// below a directory, then name the new place, and the rename is appended to "history" when given), 0 when
// the node was skipped as read-only, -1 when the rename failed or the change journal in force could not
// record it ("Failed to rename file" is reported and the node keeps its path, which is still where the
// entry is). A file made writable for the rename gets
// its exact mode back afterwards.
// "failure", when given, receives why a rename failed.
int renameNode(Node& node, std::string_view name, RenameHistory* history = nullptr,
               std::error_code* failure = nullptr);

// Whether a failed rename means that no further change can be recorded or made: the undo journal or the
// disk refused it (full, read-only, failing). Renaming stops there.
bool stopsRenaming(std::error_code failure);

// Recomputes the paths of everything below "node" from its own current path (after it was renamed).
void refreshSubtreePaths(Node& node);

// Lists the suggested new names (section "SUGGESTED NEW NAMES FOR FILES:"). Any pre-order walk will do.
class SuggestedNamesPass : public Visitor {
  public:
    SuggestedNamesPass();
    ~SuggestedNamesPass() override;

    bool visitFile(FileNode& node) override;
    bool visitHtml(HtmlNode& node) override;
    bool visitDir(DirNode& node) override;

  private:
    bool step(Node& node);
};

// Renames every node that has a new name (section "RENAMED FILES:", and a row in the "RENAME.LOG" of the
// directory that holds the renamed entry when "localLogs"). Walk it in pre-order over the directory tree
// (TypedWalk): the visit of a directory renames that directory's children, all together, so that
// names that swap or form a chain among siblings can be resolved, and a directory is renamed before
// anything below it. A visit returns whether that node was renamed.
class RenamePass : public Visitor {
  public:
    explicit RenamePass(bool localLogs);
    ~RenamePass() override;

    bool visitFile(FileNode& node) override;
    bool visitHtml(HtmlNode& node) override;
    bool visitDir(DirNode& node) override;

    // Whether renaming stopped at a change the journal or the disk refused.
    bool stopped() const { return stopped_; }

    // What was renamed so far, in order. Hold on to it (with the tree) for the undo.
    const RenameHistory& history() const { return history_; }
    RenameHistory takeHistory() { return std::move(history_); }

  private:
    struct Waiting;
    void renameChildren(DirNode& dir);
    // A name still held by a sibling that has not reached its final name.
    bool held(std::string_view name) const;
    void hold(std::string_view name);
    void release(std::string_view name);
    // Moves "node" aside to a temporary name; false when even that failed (reported).
    bool moveAside(Node& node, DirNode& dir, std::vector<Waiting>& waiting);
    void finishOrPutBack(Waiting& w, DirNode& dir);
    void renamed(Node& node, DirNode& dir);

    bool localLogs_;
    RenameHistory history_;
    std::unordered_set<const Node*> renamed_;
    std::unordered_multiset<std::string> held_;  // ASCII-upper-cased names, for the directory at hand
    std::uint32_t temporaryCounter_ = 0;
    bool stopped_ = false;
};

// The rows of an undo of renames (section "RESTORED FILENAMES:", and a row in the "RENAME.LOG" of the
// directory that holds the restored entry when "localLogs"), for the undo of a tree held in memory and for
// the replay of an undo journal alike. It is told each rename as it is undone, newest first: an entry that
// went through a temporary name gets its one row once it has its original name again, naming where it was
// before the undo began.
class RestoredNames {
  public:
    explicit RestoredNames(bool localLogs);
    ~RestoredNames();
    RestoredNames(const RestoredNames&) = delete;
    RestoredNames& operator=(const RestoredNames&) = delete;

    // "record" has been undone: what was at its "to" is at its "from" again. "node" is the tree's node for
    // the entry, when there is a tree.
    void undone(const RenameRecord& record, const Node* node = nullptr);
    // The entries given back their original names.
    std::uint32_t count() const { return count_; }
    // No row goes into the "RENAME.LOG" of these directories.
    void skipLocalLogsIn(std::unordered_set<std::string> directories) { skipped_ = std::move(directories); }

  private:
    void writeRow(const Node* node, std::string_view originalName, std::string_view before,
                  std::string_view directory);

    bool localLogs_;
    std::unordered_set<std::string> skipped_;
    ReportSection* section_ = nullptr;
    std::uint32_t count_ = 0;
    // For an entry that went through a temporary name: where it was before the undo began, by that name.
    std::unordered_map<std::string, std::string> startedAt_;
};

// Puts back what a rename pass did, newest first (section "RESTORED FILENAMES:", and a row in the
// "RENAME.LOG" of the directory that holds the restored entry when "localLogs"). It works from the
// history alone, so it undoes exactly what was done and nothing else; with "top", the tree's node paths
// follow each step. Undo never asks about read-only entries: the job had the person's consent for the
// rename, and putting a name back needs no write permission on the entry itself.
class RenameUndo {
  public:
    RenameUndo(RenameHistory history, bool localLogs, DirNode* top = nullptr);
    ~RenameUndo();
    RenameUndo(const RenameUndo&) = delete;
    RenameUndo& operator=(const RenameUndo&) = delete;

    // Replays the history under the progress title "title". Returns the number of entries given back their
    // original names, or -1 when the person cancelled (what is left stays in remaining()).
    std::int32_t run(std::string_view title, GUIProgress* progress = nullptr);

    // Not yet replayed (after a cancel), oldest first.
    const RenameHistory& remaining() const { return history_; }
    // Replays that failed (each reported), newest first.
    const RenameHistory& failed() const { return failed_; }
    std::uint32_t count() const { return rows_.count(); }

  private:
    RenameHistory history_;
    RenameHistory failed_;
    DirNode* top_;
    RestoredNames rows_;
};

// The three passes as a job runs them, each with its progress title; "total" is the node count for the
// progress display. Each returns the pass's count, or -1 when the person cancelled.
std::int32_t reportRenaming(DirNode& top, std::int64_t total, GUIProgress* progress = nullptr);
// Appends what it renamed to "history" (also after a cancel). "stopped", when given, tells whether
// renaming stopped at a change the journal or the disk refused.
std::int32_t renameFiles(DirNode& top, bool localLogs, std::int64_t total, RenameHistory& history,
                         GUIProgress* progress = nullptr, bool* stopped = nullptr);
// Consumes "history": afterwards it holds what a cancel left undone.
std::int32_t undoRenaming(DirNode& top, RenameHistory& history, bool localLogs,
                          GUIProgress* progress = nullptr);

}  // namespace korvel::names
