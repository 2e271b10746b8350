#pragma once
// The undo journal: what a fix or an orphans job changed below one top directory, written ahead of each
// change and flushed, so that the change can be undone later, from another process too, and also after
// the job was killed halfway. One journal per top directory (by its canonical path), under the state
// directory, in a directory of mode 0700 that is never reached through a symbolic link:
//   undoDirectory(top)/journal         the last job's: one entry per line, appended to
//   undoDirectory(top)/journal.next    a running job's, until it has made its first change
//   undoDirectory(top)/copies/ID-N     the original bytes of every file the job ID rewrote
//   undoDirectory(top)/lock            held by the job that changes the site (SiteLock)
// An undo replays the journal newest first and changes only what is still exactly as the job left it,
// and only inside the site (and, for an orphans job, its "Move To" directory and the trash).
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

// stateDirectory()/undo/ and 16 hex digits of a hash of the top directory's canonical path; "" when there
// is no state directory (no home directory).
std::string undoDirectory(std::string_view top);

// Makes the journal's place for "top" (each directory 0700, none a symbolic link); its path goes to
// "directory".
std::error_code makeJournalPlace(std::string_view top, std::string& directory);

// Settles the journal of a job on "top" that was stopped before it could: it becomes the last job's when
// it had made a change, else it goes and the last job's stays. Every job that changes the site, and every
// undo, does this first, holding the site's lock.
void settleInterruptedJob(std::string_view top);

class UndoJournal : public ChangeJournal {
  public:
    // The journal of a new job ("fix" or "orphans") on "top". It replaces the journal of the last job on
    // "top", but only once one of its changes has been made: a job that changes nothing (or whose every
    // change failed) leaves the last undo as it was. "keep": an orphans job's "Move To" directory.
    static std::unique_ptr<UndoJournal> start(std::string_view top, std::string_view job,
                                              std::string_view keep = {});
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
    void changeMade() override;
    // "path" is a file the job made in the site after its changes (a "RENAME.LOG", the external-links
    // page): the undo removes it while it is as the job left it. Only for a job that changed something.
    void created(std::string_view path);

    // The job's settings, kept beside the journal once it is written, so that the undo's report can say
    // what the job was.
    void keepSettings(const JobSettings& settings) { settings_ = settings; }

    // Makes everything recorded so far durable: a batch of replacements calls it before the files take
    // their new contents. False (reported) when it cannot.
    bool flush();

    // Tags the temporary files of the job's rewrites, so that those a killed run leaves are known as its own.
    const std::string& id() const { return id_; }

    // Whether this job's journal has replaced the last job's: a change of it was made.
    bool written() const { return switched_; }

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
    // Puts this journal in the last job's place, and drops that job's copies.
    void switchOver();
    // Saves "content" as a new copy, flushed; its name goes to "name".
    bool saveCopy(std::string_view content, std::string& name, std::string_view subject);
    void refused(std::string_view reason, std::string_view subject);

    std::string top_;  // canonical
    std::string job_;
    std::string spelledTop_;  // as the job names it: the paths of its entries begin with it
    std::string keep_;
    std::string id_;      // names this job's copies
    std::string device_;  // of the top directory, "" when unknown
    std::string inode_;
    std::string directory_;
    int fd_ = -1;
    std::uint64_t length_ = 0;  // of the journal file: where a failed append is cut back to
    bool switched_ = false;
    // The entries recorded before the first change was known to be made, to look whether it was.
    struct PendingEntry {
        char tag;
        std::vector<std::string> fields;
    };
    static constexpr std::size_t kPendingLimit = 4096;
    std::vector<PendingEntry> pending_;
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
    std::uint32_t createdRemoved = 0;      // files the job had made (its logs, the external-links page)
    std::uint32_t neverDone = 0;           // changes recorded but never made: nothing to undo
    std::uint32_t leftAlone = 0;           // not undone, each listed in the errors section with why
    std::uint32_t remaining = 0;           // entries still in the journal afterwards
    std::size_t damagedLines = 0;          // journal lines that could not be read: the undo is not whole
    // An orphans job: the directory its orphans were moved into, or the trash's files directory; "" when
    // the journal does not tell.
    std::string movedTo;
};

// Undoes the last job on "top" from its journal, newest change first, through the current log. The caller
// holds the site's lock (SiteLock), which has settled the journal of a job that was stopped halfway.
// Restored names go under "RESTORED FILENAMES:" (or "RESTORED ORPHANS:" for an orphans job), restored line
// ends under "FILES WITH CHANGED LINE ENDINGS:", restored links under "URL LINK RENAMING:", and everything
// left alone in the errors section. Entries undone, or found never done, leave the journal; the others stay
// for a later undo. With "localLogs" each restored name also goes into its directory's "RENAME.LOG". A file
// an orphans job moved goes back into its directory, which is made again when it is gone.
UndoOutcome undoLast(std::string_view top, GUIProgress* progress = nullptr, bool localLogs = false);

// The settings of the job whose journal "top" has; false (and "settings" unchanged) without them.
bool journalSettings(std::string_view top, JobSettings& settings);

// The journal of "top" as short lines, in the order an undo would take them; empty without a journal.
std::vector<std::string> listJournal(std::string_view top);

}  // namespace korvel::jobs
