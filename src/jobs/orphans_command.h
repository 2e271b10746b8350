#pragma once
// The orphans job: finds every file that no chain of links from the home page reaches, lets the person
// uncheck the ones to keep, moves the rest below a new directory in MoveToDir (their places relative to the
// top directory kept) or sends them to the desktop trash, and removes the directories this emptied. Every
// change is written ahead into the undo journal, so that "Undo Last" here, or `korvel undo` from another
// process later, moves the files back, takes them back from the trash where it still holds them, and makes
// the removed directories again.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/file_commands.h"
#include "jobs/command.h"

namespace korvel {

class OrphansJob : public Job {
  public:
    using Job::Job;
    ~OrphansJob() override;

    // The orphans the job found, in tree order (before the person's verification).
    const std::vector<std::string>& foundPaths() const { return foundPaths_; }
    // The orphans really moved or trashed, in the order they were handled.
    const std::vector<std::string>& orphanPaths() const { return orphanPaths_; }
    std::int32_t orphanCount() const { return static_cast<std::int32_t>(orphanPaths_.size()); }
    // The directories removed because their orphans left, deepest first.
    const std::vector<std::string>& removedDirectories() const { return removedDirectories_; }
    std::int32_t removedDirCount() const { return static_cast<std::int32_t>(removedDirectories_.size()); }
    // The directory the orphans went into ("" when none were moved).
    const std::string& movedTo() const { return movedTo_; }

  protected:
    // Always makes a report, also when the job stopped early (a cancel, a missing home page), so that the
    // person learns why; false only when the person cancelled the settings input.
    bool doExecute() override;
    // Replays the undo journal of the job's top directory. False when the run moved or trashed nothing.
    bool doUnexecute() override;

  private:
    void runPasses();
    // Whether the settings allow a move at all (reported in the job's note when not).
    bool moveTargetAcceptable();
    void handleOrphans(std::vector<std::string> paths);
    void addFindings();
    // The trash the orphans go to when it is not the home trash (the site is on another file system);
    // "" when it is the home trash.
    std::string otherTrash() const;

    std::unique_ptr<files::MoveTreeCommand> moveCommand_;
    std::vector<std::string> foundPaths_;
    std::vector<std::string> orphanPaths_;
    std::vector<std::string> removedDirectories_;
    std::string movedTo_;
};

}  // namespace korvel
