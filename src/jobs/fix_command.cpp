#include "jobs/fix_command.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "files/line_ends.h"
#include "html/find_links.h"
#include "html/link_reports.h"
#include "html/link_writer.h"
#include "html/update_links.h"
#include "jobs/site_lock.h"
#include "jobs/undo_journal.h"
#include "jobs/verify_lists.h"
#include "names/convert_names.h"
#include "names/read_only_policy.h"
#include "names/rename_files.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "report/app_log.h"
#include "report/external_page.h"
#include "report/job_status.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/scan.h"
#include "site/site_tree.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// Counts the pages the writer really rewrote, so that the job knows whether it changed any.
class CountingWriter : public LinkWriter {
  public:
    explicit CountingWriter(LinkWriter& inner) : inner_(inner) {}
    bool rewrite(FileNode& file, std::span<const LinkEdit> edits) override {
        const bool done = inner_.rewrite(file, edits);
        ++(done ? count_ : failed_);
        return done;
    }
    std::uint32_t count() const { return count_; }
    std::uint32_t failed() const { return failed_; }

  private:
    LinkWriter& inner_;
    std::uint32_t count_ = 0;
    std::uint32_t failed_ = 0;
};

void settleSubtree(Node& node) {
    if (node.hasNewName() && platform::lastComponent(node.path()) != node.getNewName()) node.setNewName("");
    if (auto* dir = dynamic_cast<DirNode*>(&node))
        for (Node* child : dir->children())
            settleSubtree(*child);
}

// The directories below "dir" (and itself) where a child is to be renamed and no "RENAME.LOG" is yet.
void directoriesWithoutLog(const DirNode& dir, std::vector<const DirNode*>& out) {
    bool renames = false;
    for (const Node* child : dir.children()) {
        renames = renames || child->hasNewName();
        if (const auto* sub = dynamic_cast<const DirNode*>(child)) directoriesWithoutLog(*sub, out);
    }
    platform::FileInfo info;
    if (renames && !platform::fileInfo(platform::joinPath(dir.path(), "RENAME.LOG"), info) &&
        info.kind == platform::EntryKind::Missing)
        out.push_back(&dir);
}

}  // namespace

bool FixJob::doExecute() {
    LogScope logScope;
    const RunContext run(*this, logScope.log());
    if (askSettings_ && !ui::prompts().getInputSettings(ui::SettingsMode::Fix, settings_)) return false;
    settings_.RemoveOrphans = false;
    const jobs::SiteLock lock(settings_.Directory);
    siteBusy_ = lock.busy();
    if (siteBusy_) {
        showSiteBusy();
        return true;
    }
    // Nobody to ask: read-only files are made writable for the change, unless the settings say skip.
    if (!interactive_ && settings_.AutoReadOnly == kReadOnlyAsk) settings_.AutoReadOnly = kReadOnlyMakeWritable;
    names::ReadOnlyPolicyScope readOnlyPolicy(settings_.AutoReadOnly);
    HardLinkScope hardLinks(settings_.HardLinks);
    originalHomePage_ = settings_.HomePage;

    // Renaming first and then finding that no link can be written in absolute form would leave the site
    // with links the job meant to mend: refuse before anything changes.
    const bool absoluteWithoutServer =
        !settings_.FilesOnly && settings_.AbsRelCnvrt == kUrlAbsolute && settings_.Server.empty();
    if (absoluteWithoutServer) writeJobNote(*job_, res::kAbsoluteLinksNeedServer);

    auto journal = jobs::UndoJournal::start(settings_.Directory, "fix");
    journal->keepSettings(settings_);
    journal_ = journal.get();
    JournalScope journalScope(journal_);
    if (!absoluteWithoutServer) runGuarded([&] { runPasses(); });

    noteFindings();
    journal_ = nullptr;
    const bool changed = journal->written();
    if (!changed) status_ &= ~kStatusModifyingFiles;
    // A fix that changed something keeps its tree, as "Undo Last" in this process may want it.
    finishFindings(changed);
    undoable_ = changed;
    // What the report puts into the site (the rename logs, the external-links page) is part of what the job
    // did: the undo takes it away again.
    std::vector<std::string> fresh;
    if (changed) {
        fresh = madeLogsIn_;
        const std::string page = platform::joinPath(settings_.Directory, kExternalPageName);
        platform::FileInfo info;
        if (!platform::fileInfo(page, info) && info.kind == platform::EntryKind::Missing)
            fresh.push_back(page);
    }
    reportPath_ = logScope.log().makeReport(settings_, nodeCount_, dirCount_, 0, 0, status_);
    for (const std::string& path : fresh)
        journal->created(path);
    return true;
}

void FixJob::runPasses() {
    if (!scanTree()) return;
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    if (!top) return;
    HtmlNode* home = nullptr;
    if (!settings_.FilesOnly) {
        if (!findLinks()) return;
        home = findHomePage(*tree_, settings_.HomePage, *job_);
        if (!linkErrorGate()) return;
    }
    if (namesCanChange(settings_)) {
        names::NameConversionPass convert(settings_.Target, settings_.CaseConv, &settings_.AutoFileName,
                                          &settings_.FilenameExtensions);
        const std::int32_t toRename = runTreePass(*top, convert, res::kValidatingFilenames, nodeCount_);
        if (toRename < 0) return;
        namesToChange_ = static_cast<std::uint32_t>(toRename);
        if (toRename > 0 && !settings_.Rename) {
            // Suggestions only: the report lists them, and no link follows a name that did not change.
            names::SuggestedNamesPass suggestions;
            if (runTreePass(*top, suggestions, res::kReportingSuggestedNames, nodeCount_) < 0) return;
            settleNewNames();
        } else if (toRename > 0) {
            if (!jobs::verifyNewNames(*top, settings_.Target, settings_.CaseConv)) return;
            status_ |= kStatusRenaming;
            // The directories whose "RENAME.LOG" the renaming would make: the undo takes those away again.
            std::vector<const DirNode*> logless;
            if (settings_.LogSubdirs) directoriesWithoutLog(*top, logless);
            names::RenameHistory history;
            bool stopped = false;
            const std::int32_t renamed =
                names::renameFiles(*top, settings_.LogSubdirs, nodeCount_, history, nullptr, &stopped);
            if (stopped) {
                writeJobNote(*job_, res::kRenamingStopped);
                partial_ = true;
            }
            for (const DirNode* dir : logless)
                madeLogsIn_.push_back(platform::joinPath(dir->path(), "RENAME.LOG"));
            // What still needs a name is what was not renamed (declined, skipped or failed).
            namesToChange_ -= std::min<std::uint32_t>(namesToChange_, renamed > 0 ? renamed : 0);
            if (history.empty()) status_ &= ~kStatusRenaming;
            settleNewNames();
            // The settings follow the home page, so that the next job finds it.
            if (home) settings_.HomePage = home->path();
            if (renamed < 0) return;
        }
    }
    if (!settings_.FilesOnly) {
        FileLinkWriter pages(foundLinks_.get());
        CountingWriter writer(pages);
        bool finished = false;
        {
            platform::ReplaceBatch batch = replaceBatch(ContentChange::Kind::Links);
            finished = reportLinks(settings_.UpdateUrls ? &writer : nullptr);
        }
        if (writer.count() == 0) status_ &= ~kStatusUpdatingUrls;
        // A page left as it was keeps its links to the old names of what was renamed: the run is not
        // whole, and the report must not read as if it were.
        if (writer.failed() + replaceFailures_ > 0 && (status_ & kStatusRenaming) != 0) {
            writeJobNote(*job_, res::kPagesNotRewritten);
            partial_ = true;
        }
        if (!finished) return;
    }
    if (settings_.LineEnd != kLineEndNone && !convertLineEnds()) return;
    if (!partial_) status_ |= kStatusCompleted;
}

bool FixJob::linkErrorGate() {
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    if (!top || !foundLinks_) return false;
    {
        BrokenLinksPass broken(*foundLinks_, *job_);
        const std::int32_t pages = runTreePass(*top, broken, res::kReportingBrokenLinks, nodeCount_);
        if (pages < 0) return false;
        linkFindings_ += static_cast<std::uint32_t>(pages);
        brokenLinksReported_ = true;
    }
    // Before anything changes: the anchors' places in the pages are those link finding read.
    if (settings_.ReportBrokenAnchors) {
        BrokenAnchorsPass anchors(*foundLinks_, *job_);
        const std::int32_t pages = runTreePass(*top, anchors, res::kReportingBrokenAnchors, nodeCount_);
        if (pages < 0) return false;
        linkFindings_ += static_cast<std::uint32_t>(pages);
        brokenAnchorsReported_ = true;
    }
    if (counts_->syntaxErrors == 0 && counts_->brokenLinks == 0 && counts_->brokenAnchors == 0) return true;
    // The person is shown the sections as the report has them.
    auto* log = dynamic_cast<SectionedLog*>(&currentLog());
    if (!log) return true;
    std::string text;
    for (int id : {res::kSectionSyntaxErrors, res::kSectionUnresolvedLinks, res::kSectionBrokenAnchors}) {
        const auto it = log->sections().find(id);
        if (it != log->sections().end() && it->second->hasContent()) text += log->sectionText(id);
    }
    return ui::prompts().linkErrors(text) == ui::LinkErrorsAnswer::Continue;
}

bool FixJob::convertLineEnds() {
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    if (!top) return false;
    const auto target = static_cast<LineEndKind>(settings_.LineEnd);
    files::LineEndList list;
    if (files::checkLineEnds(*top, target, list, nodeCount_) < 0) return false;
    if (!list.empty()) {
        std::vector<Node*> shown;
        shown.reserve(list.size());
        for (FileNode* node : list)
            shown.push_back(node);
        if (!jobs::verifyFiles(shown, *top, res::kVerifyLineEndsCaption, res::kVerifyLineEndsExplanation,
                               res::kSectionLineEndsNotUpdated))
            return false;
        list.clear();
        for (Node* node : shown)
            list.insert(static_cast<FileNode*>(node));
    }
    status_ |= kStatusLineEnds;
    std::int32_t converted = 0;
    {
        platform::ReplaceBatch batch = replaceBatch(ContentChange::Kind::LineEnds);
        converted = files::updateLineEnds(*top, target, list, nodeCount_);
    }
    if (converted <= 0) status_ &= ~kStatusLineEnds;
    return converted >= 0;
}

platform::ReplaceBatch FixJob::replaceBatch(ContentChange::Kind kind) {
    return platform::ReplaceBatch([this] { return !journal_ || journal_->flush(); },
                                  [this, kind](const std::string& path, std::error_code ec) {
                                      ++replaceFailures_;
                                      const int id = replaceFailureMessage(ec, kind);
                                      if (id != res::kFileWriteFailed) {
                                          currentLog().errorDetail(id, path);
                                          return;
                                      }
                                      currentLog().errorDetail(
                                          std::string(res::loadString(res::kFileWriteFailed)) + ": " + ec.message(),
                                          path);
                                  },
                                  256,
                                  [this](const std::string&) {
                                      if (journal_) journal_->changeMade();
                                  },
                                  journal_ ? journal_->id() : std::string());
}

void FixJob::settleNewNames() {
    if (tree_) settleSubtree(tree_->top());
}

bool FixJob::doUnexecute() {
    releaseTree();
    const UndoReport undo = undoLastJob(settings_, nodeCount_, dirCount_);
    reportPath_ = undo.reportPath;
    if (undo.complete) settings_.HomePage = originalHomePage_;
    status_ = undo.status;
    return !undo.nothingToUndo;
}

UndoReport undoLastJob(const JobSettings& given, std::uint32_t nodeCount, std::uint32_t dirCount) {
    UndoReport result;
    const jobs::SiteLock lock(given.Directory);
    if (lock.busy()) {
        showSiteBusy();
        result.siteBusy = true;
        return result;
    }
    LogScope logScope;
    // The report describes the job being undone, as its journal kept it.
    JobSettings settings = given;
    jobs::journalSettings(given.Directory, settings);
    settings.Directory = given.Directory;
    const jobs::UndoOutcome outcome = jobs::undoLast(settings.Directory, nullptr, settings.LogSubdirs);
    if (!outcome.anything) {
        ui::prompts().messageBox(res::loadString(res::kNothingToUndo), ui::Buttons::Ok);
        result.nothingToUndo = true;
        return result;
    }
    result.complete = !outcome.cancelled && outcome.leftAlone == 0 && outcome.damagedLines == 0;
    // A partial undo must not read as a full one: its report opens as an early termination, and the
    // errors section lists what is still as the job left it.
    result.status = kStatusUndone | (result.complete ? kStatusCompleted : 0u);
    // An orphans job's undo says how many orphans came back, and from where.
    std::int32_t orphans = 0;
    std::int32_t directories = 0;
    if (outcome.job == "orphans") {
        settings.RemoveOrphans = true;
        orphans = static_cast<std::int32_t>(outcome.renamed + outcome.untrashed);
        directories = static_cast<std::int32_t>(outcome.directoriesMade);
    }
    if (nodeCount == 0) {
        // Another process: count the tree as the job saw it, for the report's header.
        // Its skipped entries were listed by the job: a log of its own keeps them out of this report.
        LogScope countingLog;
        report::FindingsCollector ignored;
        const JobContext counting{ignored};
        std::unique_ptr<SiteTree> tree;
        JobSettings names = settings;
        names.FilesOnly = true;
        names.ReportSpecial = false;
        if (buildTree(names, {}, tree, counting) && tree) {
            nodeCount = tree->nodeCount();
            dirCount = tree->dirCount();
        }
    }
    result.reportPath = logScope.log().makeReport(settings, nodeCount, dirCount, orphans, directories,
                                                  result.status, outcome.movedTo);
    return result;
}

}  // namespace korvel
