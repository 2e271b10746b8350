#pragma once
// The undo journal: what a fix or an orphans job changed below one top directory, written ahead of each
// change and flushed, so that the change can be undone later, from another process too, and also after
// the job was killed halfway. One journal per top directory, under the state directory:
//   undoDirectory(top)/journal    one entry per line, appended to
//   undoDirectory(top)/copies/N   the original bytes of every file the job rewrote
// An undo replays the journal newest first and changes only what is still exactly as the job left it.
#include <cstdint>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/job_settings.h"
#include "site/change_journal.h"

namespace korvel {
class GUIProgress;
}  // namespace korvel

namespace korvel::jobs {

// stateDirectory()/undo/ and 16 hex digits of a hash of the top directory's absolute path; "" when there
// is no state directory (no home directory).
std::string undoDirectory(std::string_view top);

class UndoJournal : public ChangeJournal {
  public:
    // The journal of a new job ("fix" or "orphans") on "top". It replaces the journal of the last job on
    // "top", but only once it records its first change: a job that changes nothing leaves the last undo
    // possible.
    static std::unique_ptr<UndoJournal> start(std::string_view top, std::string_view job);
    ~UndoJournal() override;
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    bool willRename(std::string_view from, std::string_view to) override;
    bool willReplace(std::string_view path, std::string_view before, std::string_view after,
                     const ContentChange& why) override;
    bool willMakeDirectory(std::string_view path) override;
    bool willRemoveDirectory(std::string_view path) override;
    bool willTrash(std::string_view path) override;
    void trashed(std::string_view path, std::string_view inTrash) override;

    // The job's settings, kept beside the journal once it is written, so that the undo's report can say
    // what the job was.
    void keepSettings(const JobSettings& settings) { settings_ = settings; }

    // Makes everything recorded so far durable: a batch of replacements calls it before the files take
    // their new contents. False (reported) when it cannot.
    bool flush();

    // Whether this job's journal is on disk (it has replaced the last job's).
    bool written() const { return fd_ >= 0; }

  private:
    UndoJournal(std::string top, std::string job);
    // Makes the journal on first use; false (reported against "subject") when it cannot be made.
    bool ready(std::string_view subject);
    // Appends one entry with one write and flushes it.
    // "durable": flushed to the disk before it returns (an entry whose change could lose bytes if it outlived
    // its record in a power cut). Other entries are written at once, which a killed process cannot undo,
    // and flushed in groups.
    bool append(const std::vector<std::string_view>& fields, std::string_view subject, bool durable = false);
    bool sync(std::string_view subject);
    // Saves "content" as a new copy, flushed; its name goes to "name".
    bool saveCopy(std::string_view content, std::string& name, std::string_view subject);
    void refused(std::string_view reason, std::string_view subject);

    std::string top_;
    std::string job_;
    std::string directory_;
    int fd_ = -1;
    // A write failed part way: the next entry starts on a line of its own, so the torn one stays apart.
    bool torn_ = false;
    std::uint32_t unsynced_ = 0;  // entries written since the last flush
    std::uint64_t nextCopy_ = 1;
    std::optional<JobSettings> settings_;
};

// What an undo did.
struct UndoOutcome {
    bool anything = false;       // there was a journal with entries to undo
    bool cancelled = false;      // the person cancelled; the entries not reached stay in the journal
    std::string job;             // the job that wrote the journal: "fix" or "orphans"
    std::uint32_t renamed = 0;   // renames and moves put back
    std::uint32_t restored = 0;  // files given their saved contents back
    std::uint32_t directoriesRemoved = 0;  // directories the job had made
    std::uint32_t directoriesMade = 0;     // directories the job had removed
    std::uint32_t untrashed = 0;           // files taken back from the trash
    std::uint32_t neverDone = 0;           // changes recorded but never made: nothing to undo
    std::uint32_t leftAlone = 0;           // not undone, each listed in the errors section with why
    std::uint32_t remaining = 0;           // entries still in the journal afterwards
    // An orphans job: the directory its orphans were moved into, or the trash's files directory; "" when
    // the journal does not tell.
    std::string movedTo;
};

// Undoes the last job on "top" from its journal, newest change first, through the current log: restored
// names under "RESTORED FILENAMES:" (or "RESTORED ORPHANS:" for an orphans job), restored line ends
// under "FILES WITH CHANGED LINE ENDINGS:", restored links under "URL LINK RENAMING:", and everything left
// alone in the errors section. Entries undone, or found never done, leave the journal; the others stay for
// a later undo. With "localLogs" each restored name also goes into its directory's "RENAME.LOG".
// A file an orphans job moved goes back into its directory, which is made again when it is gone.
UndoOutcome undoLast(std::string_view top, GUIProgress* progress = nullptr, bool localLogs = false);

// The settings of the job whose journal "top" has; false (and "settings" unchanged) without them.
bool journalSettings(std::string_view top, JobSettings& settings);

// The journal of "top" as short lines, in the order an undo would take them; empty without a journal.
std::vector<std::string> listJournal(std::string_view top);

}  // namespace korvel::jobs
