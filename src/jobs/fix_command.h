#pragma once
// The fix job: renames what does not fit the target, rewrites the links the renaming broke (or converts
// links to another form), converts line ends, and records all of it in the undo journal first, so that
// "Undo Last" (here, or `korvel undo` from another process later) can put the tree back.
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/command.h"
#include "platform/files.h"
#include "site/change_journal.h"

namespace korvel {

namespace jobs {
class UndoJournal;
}  // namespace jobs

class FixJob : public Job {
  public:
    using Job::Job;

  protected:
    bool doExecute() override;
    // Replays the undo journal of the job's top directory. False when there was nothing to undo.
    bool doUnexecute() override;

  private:
    // Stops the job before anything changes when the site has syntax errors or broken links and the
    // person wants the report now. False: stop.
    void runPasses();
    bool linkErrorGate();
    bool convertLineEnds();
    // Drops the new name of every node whose rename did not happen (failed, skipped as read-only), so
    // that links are rewritten to the names the files really have.
    void settleNewNames();
    // Groups the page rewrites of one pass so that they share their flushes (and the journal's).
    platform::ReplaceBatch replaceBatch(ContentChange::Kind kind);

    std::string originalHomePage_;
    std::vector<std::string> madeLogsIn_;   // the "RENAME.LOG" files the renaming may have made
    bool partial_ = false;                  // renaming stopped, or pages could not take their new links
    std::uint32_t replaceFailures_ = 0;     // rewrites the batch could not put in place
    jobs::UndoJournal* journal_ = nullptr;  // while the job runs
};

// What an undo of the last job on a top directory did.
struct UndoReport {
    bool nothingToUndo = false;  // no journal: string 301 was shown
    bool siteBusy = false;       // another job is changing the site: nothing was undone
    bool complete = false;       // everything was put back
    unsigned status = 0;         // the undo's JobStatus bits
    std::string reportPath;      // the report file; the caller owns it ("" when none)
};

// Undoes the last fix or orphans job on "settings.Directory" from its undo journal, with its own log and
// report. Used by the fix command's "Undo Last" and by `korvel undo`.
// "nodeCount" and "dirCount" are the tree's counts for the report's header, when the caller knows them.
UndoReport undoLastJob(const JobSettings& settings, std::uint32_t nodeCount = 0, std::uint32_t dirCount = 0);

}  // namespace korvel
