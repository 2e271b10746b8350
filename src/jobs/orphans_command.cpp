#include "jobs/orphans_command.h"

#include "files/file_commands.h"
#include "html/reachability.h"
#include "jobs/fix_command.h"
#include "jobs/site_lock.h"
#include "jobs/undo_journal.h"
#include "jobs/verify_lists.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "report/app_log.h"
#include "report/job_status.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/scan.h"
#include "site/site_tree.h"
#include "ui/prompts.h"

namespace korvel {

OrphansJob::~OrphansJob() = default;

std::string OrphansJob::otherTrash() const {
    const std::string trash = platform::trashDirectoryFor(settings_.Directory);
    return trash == platform::homeTrashDirectory() ? std::string() : trash;
}

bool OrphansJob::doExecute() {
    LogScope logScope;
    const RunContext run(*this, logScope.log());
    if (askSettings_ && !ui::prompts().getInputSettings(ui::SettingsMode::Orphans, settings_)) return false;
    // Always an orphans job over the whole tree: a page in a subdirectory that is left unread would leave
    // every file only it links to looking like an orphan.
    settings_.RemoveOrphans = true;
    settings_.UseSubdirs = true;
    settings_.FilesOnly = false;

    status_ = 0;
    const jobs::SiteLock lock(settings_.Directory);
    siteBusy_ = lock.busy();
    if (siteBusy_) {
        showSiteBusy();
        return true;
    }
    moveCommand_.reset();
    foundPaths_.clear();
    orphanPaths_.clear();
    removedDirectories_.clear();
    movedTo_.clear();

    auto journal = jobs::UndoJournal::start(settings_.Directory, "orphans",
                                            settings_.MoveOrphans ? settings_.MoveToDir : std::string());
    journal->keepSettings(settings_);
    {
        JournalScope journalScope(journal.get());
        runGuarded([&] { runPasses(); });
    }

    // Something to act on: a run that did not reach its end, a file that could not go, a note.
    foundSomething_ = !(status_ & kStatusCompleted) || counts_->jobNotes > 0;
    if (auto* log = dynamic_cast<SectionedLog*>(&currentLog())) {
        const auto it = log->sections().find(res::kSectionErrors);
        if (it != log->sections().end() && it->second->hasContent()) foundSomething_ = true;
    }
    if (orphanPaths_.empty() && removedDirectories_.empty()) status_ &= ~kStatusModifyingFiles;
    undoable_ = journal->written() && !(orphanPaths_.empty() && removedDirectories_.empty());
    finishFindings(false);
    if (findings_) addFindings();
    reportPath_ = logScope.log().makeReport(settings_, nodeCount_, dirCount_, orphanCount(),
                                            removedDirCount(), status_, movedTo_);
    return true;
}

bool OrphansJob::moveTargetAcceptable() {
    if (!settings_.MoveOrphans) return true;
    platform::FileInfo info;
    if (settings_.MoveToDir.empty() || platform::fileInfo(settings_.MoveToDir, info) ||
        info.kind != platform::EntryKind::Directory) {
        writeJobNote(*job_, res::kMoveToNotADirectory);
        return false;
    }
    // Moved into the site, the orphans would still be part of it, and the next run would move them again.
    if (platform::isAtOrBelow(settings_.MoveToDir, settings_.Directory)) {
        writeJobNote(*job_, res::kMoveToInsideSite);
        return false;
    }
    return true;
}

void OrphansJob::runPasses() {
    if (!moveTargetAcceptable()) return;
    if (!scanTree()) return;
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    // A missing home page is reported by the link walk (303); without the walk nothing is known to be an
    // orphan.
    if (!top || !findLinks()) return;
    // A page or directory that could not be read may use files that now look unused: nothing is moved on
    // a partial view of the site.
    if (auto* log = dynamic_cast<SectionedLog*>(&currentLog())) {
        const auto errors = log->sections().find(res::kSectionErrors);
        if (errors != log->sections().end() && errors->second->hasContent()) {
            writeJobNote(*job_, res::kOrphansNotMovedUnreadable);
            return;
        }
    }

    // Gathered whole or not at all: a cancelled gathering leaves a set that would take used files for
    // orphans.
    std::vector<Node*> orphans;
    {
        OrphansPass gather(urlMap_, orphans, *urlContext_, *job_, settings_.KeepPatterns);
        if (runTreePass(*top, gather, res::kGatheringOrphans, nodeCount_) < 0) return;
    }
    for (const Node* node : orphans)
        foundPaths_.push_back(node->path());
    if (orphans.empty()) {
        ui::prompts().messageBox(res::loadString(res::kNoOrphansFound), ui::Buttons::Ok);
        status_ |= kStatusCompleted;
        return;
    }
    status_ |= kStatusOrphansFound;
    // Off the home directory's file system the trash is one at the top of the site's own, which the
    // person may never have seen: the list says so before anything goes there.
    std::string note;
    if (!settings_.MoveOrphans) {
        const std::string trash = otherTrash();
        if (!trash.empty()) note = res::formatString(res::kTrashOnSiteFileSystem, trash);
    }
    if (interactive_ && !jobs::verifyFiles(orphans, *top, res::kVerifyOrphansCaption,
                                           res::kVerifyOrphansExplanation, 0, note)) {
        return;
    }
    std::vector<std::string> paths;
    paths.reserve(orphans.size());
    for (const Node* node : orphans)
        paths.push_back(node->path());
    handleOrphans(std::move(paths));
}

void OrphansJob::handleOrphans(std::vector<std::string> paths) {
    // Names on disk no longer match the scan from here on; an interruption says so.
    status_ |= kStatusRenaming;
    bool cancelled = false;
    if (!paths.empty()) {
        if (settings_.MoveOrphans) {
            moveCommand_ = std::make_unique<files::MoveTreeCommand>(std::move(paths), settings_.Directory,
                                                                    settings_.MoveToDir);
            moveCommand_->execute();
            orphanPaths_ = moveCommand_->moved();
            movedTo_ = moveCommand_->newDirectory();
            cancelled = moveCommand_->cancelled();
        } else {
            files::TrashCommand trash(std::move(paths));
            trash.execute();
            orphanPaths_ = trash.trashed();
            cancelled = trash.cancelled();
        }
    }
    // Only what really went is listed.
    ReportSection* section = currentLog().openSection(res::kSectionRemovedOrphans);
    if (section) {
        for (const std::string& path : orphanPaths_)
            section->writeLine(platform::displayName(path));
        const std::string trash = settings_.MoveOrphans ? std::string() : otherTrash();
        if (!orphanPaths_.empty() && !trash.empty()) {
            section->endLine();
            section->writeLine(
                res::formatString(res::kTrashedToSiteFileSystem, platform::displayName(trash)));
        }
    }
    if (cancelled) {
        if (section) currentLog().closeSection(section);
        return;
    }
    files::EmptyDirectoryRemoval dirs(settings_.Directory);
    const std::int32_t removed = dirs.run(orphanPaths_);
    removedDirectories_ = dirs.removed();
    if (section) currentLog().closeSection(section);
    if (removed >= 0) status_ |= kStatusCompleted;
}

void OrphansJob::addFindings() {
    // The findings of a check that this job does not make are left out, as its text report leaves them.
    findings_->brokenLinks.clear();
    findings_->brokenAnchors.clear();
    findings_->suggestedNames.clear();
    findings_->linkChanges.clear();
    findings_->externalUrls.clear();
    findings_->pageWeights.clear();
    findings_->hasFrontPage = false;
    findings_->orphans = foundPaths_;
    CheckFindings::OrphansOutcome outcome;
    outcome.moved = settings_.MoveOrphans;
    outcome.movedTo = movedTo_;
    outcome.removed = orphanPaths_;
    outcome.removedDirectories = removedDirectories_;
    findings_->orphansJob = std::move(outcome);
}

bool OrphansJob::doUnexecute() {
    if (!undoable_) return false;
    releaseTree();
    moveCommand_.reset();
    const UndoReport undo = undoLastJob(settings_, nodeCount_, dirCount_);
    reportPath_ = undo.reportPath;
    status_ = undo.status;
    return !undo.nothingToUndo;
}

}  // namespace korvel
