#pragma once
// The file commands of the orphans job: sending a list of files to the desktop trash, moving a list of files
// below a new directory with their places relative to a root kept, and removing the directories that such a
// move emptied. Every change is announced to the change journal in force first and is not made when the
// journal cannot record it. A file that cannot go is reported in the errors section and left where it is;
// the others still go.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "files/command.h"

namespace korvel::files {

// Sends each path to the trash of the desktop ("Removing Files"). Only what really reached the trash is
// listed in trashed(); a file the trash refuses is reported and stays in place, never deleted outright.
// Nothing to undo here: the trash holds the files, and the change journal knows where.
class TrashCommand : public Command {
  public:
    explicit TrashCommand(std::vector<std::string> paths);

    const std::vector<std::string>& paths() const { return paths_; }
    // The paths that reached the trash, in order.
    const std::vector<std::string>& trashed() const { return trashed_; }
    // The person cancelled: the paths after the last one handled were left alone.
    bool cancelled() const { return cancelled_; }

  protected:
    bool doExecute() override;

  private:
    std::vector<std::string> paths_;
    std::vector<std::string> trashed_;
    bool cancelled_ = false;
};

// The list of paths and the directory they are moved into.
class MoveCommand : public Command {
  public:
    MoveCommand(std::vector<std::string> paths, std::string target);

    const std::vector<std::string>& paths() const { return paths_; }
    // The target directory, with a trailing separator.
    const std::string& target() const { return target_; }

  protected:
    std::vector<std::string> paths_;
    std::string target_;
};

// Moves each path to the same place relative to "root" below a new directory in the target, named like the
// root ("site", or "site0", "site1" ... when that is taken), with "Moving Files" as its progress. Moves
// never replace anything; a file that cannot be moved is reported ("File move failed") and stays. A
// relative symbolic link moves only when it leads from its new place to what it leads to now; otherwise
// it is reported and stays.
// The undo moves each file back, never replacing, making its directory again when it is gone, and then
// removes the directories the move made, deepest first, each only when it is empty: a file whose way back
// was blocked stays, with every directory above it.
class MoveTreeCommand : public MoveCommand {
  public:
    // "root" empty: the directory of the first path.
    MoveTreeCommand(std::vector<std::string> paths, std::string root, std::string target);

    const std::string& root() const { return root_; }
    // The directory the files went into; "" until the move made it.
    const std::string& newDirectory() const { return newDirectory_; }
    // The files now below the new directory, by their original paths, in order; an undo takes out each
    // file it moved back.
    std::vector<std::string> moved() const;
    bool cancelled() const { return cancelled_; }

  protected:
    // False only when no new directory could be made (nothing moved); single failures are reported and
    // the rest still move.
    bool doExecute() override;
    bool doUnexecute() override;

  private:
    // Makes every missing directory from "base" (which exists) down to "dir", each with the mode of its
    // counterpart below "modelBase" (and its owner's full rights, so that files can go into it), announced
    // to the journal. "made" receives what was made, in order.
    bool makeDirectoriesBelow(const std::string& base, const std::string& dir, const std::string& modelBase,
                              std::vector<std::string>& made);

    std::string root_;  // without a trailing separator
    std::string newDirectory_;
    std::vector<std::pair<std::string, std::string>> moves_;  // original path, where it is now
    std::vector<std::string> madeDirectories_;                // in the order they were made
    bool cancelled_ = false;
};

// Removes the directories that files left: every directory between "top" and a path in "leftFrom" that is
// empty now, deepest first, each with a plain removal of an empty directory (never anything recursive), and
// never "top" itself or anything outside it. A directory that was empty before stays, since no file left it.
// Each removed directory is written into "REMOVED ORPHANS:" (after an empty line) and announced to the change
// journal first. "Removing Orphan Directories" is its progress.
class EmptyDirectoryRemoval {
  public:
    explicit EmptyDirectoryRemoval(std::string top);

    // The number of directories removed, or -1 when the person cancelled (those removed stay removed).
    std::int32_t run(const std::vector<std::string>& leftFrom);
    const std::vector<std::string>& removed() const { return removed_; }

  private:
    std::string top_;
    std::vector<std::string> removed_;
};

}  // namespace korvel::files
