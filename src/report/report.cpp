// The assembly of a job's report from the sections its passes wrote.
#include "report/report.h"

#include <algorithm>
#include <vector>

#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/shorten_path.h"
#include "report/app_log.h"
#include "report/external_page.h"
#include "report/job_status.h"
#include "report/local_time.h"
#include "report/report_file.h"
#include "report/settings_summary.h"
#include "res/strings.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// The usual place of moved orphans: below MoveToDir, in a directory named like the top directory.
std::string usualOrphanDestination(const JobSettings& settings) {
    std::string_view top = settings.Directory;
    while (top.size() > 1 && top.back() == platform::kSeparator)
        top.remove_suffix(1);
    return platform::withTrailingSeparator(settings.MoveToDir) + std::string(platform::lastComponent(top));
}

int openingLineId(unsigned status) {
    if (status & kStatusInterrupted) return res::kReportInterrupted;
    // An undo that could not put everything back is not a reverted tree.
    if (status & kStatusUndone) {
        return status & kStatusCompleted ? res::kReportReverted : res::kReportEarlyTermination;
    }
    if (status & kStatusCompleted) return res::kReportSuccessful;
    return res::kReportEarlyTermination;
}

// Message 291, naming the first and the last of the files that hold the report's text, followed by why
// the report could not be joined.
std::string assemblyFailedText(const std::vector<std::string>& heldIn, const std::error_code& why) {
    const std::string_view text = res::loadString(res::kReportCreateFailed);
    const std::size_t room = platform::roomForPath(text) / 2;
    std::string first, last;
    if (!heldIn.empty()) {
        const auto [lo, hi] = std::minmax_element(heldIn.begin(), heldIn.end());
        first = platform::shortenPath(*lo, room);
        last = platform::shortenPath(*hi, room);
    }
    std::string message = res::formatString(res::kReportCreateFailed, first, last);
    if (why) message += "\n\n" + why.message();
    return message;
}

}  // namespace

std::string countLine(bool useSubdirs, std::uint32_t nodeCount, std::uint32_t dirCount) {
    const long long files = nodeCount > dirCount ? static_cast<long long>(nodeCount - dirCount) : 0;
    const long long dirs = useSubdirs ? static_cast<long long>(dirCount) : (dirCount > 0 ? 1 : 0);
    return res::formatNumbers(res::kFilesInDirectories, {files, dirs});
}

std::string creditLine() {
    std::string line = res::formatString(res::kReportCredit, res::loadString(res::kProductName),
                                         res::loadString(res::kVersion));
    while (!line.empty() && line.back() == ' ')  // the version text ends in a space
        line.pop_back();
    return line;
}

std::string interruptionMessage(unsigned status, std::string_view errorMessage) {
    std::string text(status & kStatusOutOfMemory ? res::loadString(res::kLowMemoryInterruption)
                                                 : errorMessage);
    text += "\n\n";
    const bool filesMayBeHalfChanged = (status & kStatusModifyingFiles) && !(status & kStatusUndone);
    text += res::loadString(filesMayBeHalfChanged ? res::kInterruptedWhileModifying
                                                  : res::kGeneratingPartialReport);
    return text;
}

bool JobLog::hasContent(int titleId) const {
    const auto it = sections_.find(titleId);
    return it != sections_.end() && it->second->hasContent();
}

void JobLog::writeSummary(const JobSettings& settings, unsigned status) {
    ReportSection* summary = openSection(res::kSectionSummary);
    summary->writeLine(openingLineId(status));
    summary->endLine();
    if (hasContent(res::kSectionErrors)) summary->writeLine(res::kSummaryFileErrors);
    // The link reports say something only once the link pass ran; before that their silence means nothing.
    if (status & kStatusUrlPass) {
        const bool syntax = hasContent(res::kSectionSyntaxErrors);
        const bool unresolved = hasContent(res::kSectionUnresolvedLinks);
        const bool unused = hasContent(res::kSectionUnusedFiles);
        const bool anchors = hasContent(res::kSectionBrokenAnchors);
        if (!syntax && !unresolved && !unused && !anchors) summary->writeLine(res::kSummaryClean);
        if (syntax) summary->writeLine(res::kSummarySyntaxErrors);
        if (unresolved) summary->writeLine(res::kSummaryUnresolvedLinks);
        if (anchors) summary->writeLine(res::kSummaryBrokenAnchors);
        if (unused && !settings.RemoveOrphans) summary->writeLine(res::kSummaryOrphans);
    }
    closeSection(summary);
}

void JobLog::writeReportHeader(const JobSettings& settings, std::uint32_t nodeCount, std::uint32_t dirCount,
                               std::int32_t orphanCount, std::int32_t removedDirCount, unsigned status,
                               std::string_view movedToDirectory) {
    ReportSection* header = openSection(res::kSectionHeader);
    header->write(res::kDirectoryCheckedOn);
    header->writeLine(localTimeText());
    header->writeLine(creditLine());
    header->endLine();
    header->writeLine(countLine(settings.UseSubdirs, nodeCount, dirCount));
    header->endLine();

    if (!settings.RemoveOrphans) {
        header->write(settingsSummary(settings));
    } else if (orphanCount == 0 && removedDirCount == 0 && (status & kStatusCompleted) &&
               !(status & (kStatusOrphansFound | kStatusUndone))) {
        // Only a job that looked at the whole site may say so: not one that stopped early, nor one whose
        // orphans the person chose to keep.
        header->writeLine(res::kNoOrphansFound);
    } else {
        const bool restored = status & kStatusUndone;
        // Where the orphans went, as the job says; without its word, the usual place, unless nothing went
        // anywhere.
        std::string movedTo(movedToDirectory);
        if (movedTo.empty() && (orphanCount > 0 || restored)) movedTo = usualOrphanDestination(settings);
        header->writeLine(res::formatNumbers(restored ? res::kRestoredOrphans : res::kRemovedOrphans,
                                             {orphanCount, removedDirCount}));
        header->write(res::kOrphansFrom);
        header->writeLine(restored ? movedTo : settings.Directory);
        if (settings.MoveOrphans && !movedTo.empty()) {
            header->write(res::kOrphansTo);
            header->writeLine(restored ? settings.Directory : movedTo);
        }
    }
    closeSection(header);
}

bool JobLog::copyExternalPage(const JobSettings& settings) {
    const auto it = sections_.find(res::kSectionExternalUrlPage);
    // No page without the pass that fills it: a job that never got there (a cancel, files only) must not
    // leave an empty list in the site that passes for a checked one.
    if (it == sections_.end()) return false;
    ReportSection& page = *it->second;
    if (page.fileName().empty()) return false;  // it went nowhere; the person was told then
    // A pass cut short by an interruption may not have closed the page.
    if (!pageClosed_) closeSection(&page);
    page.flush();
    if (page.writeFailed()) {
        // An incomplete page must not replace a whole one from an earlier job.
        errorDetail(res::kFileWriteFailed, page.fileName());
        return false;
    }

    std::string content;
    std::error_code ec = platform::readWholeFile(page.fileName(), content);
    if (ec) {
        errorDetail(res::kFileReadFailed, page.fileName());
        return false;
    }
    const std::string target =
        platform::withTrailingSeparator(settings.Directory) + std::string(kExternalPageName);
    switch (placeExternalPage(settings.Directory, content, ec)) {
        case PageCopyProblem::None:
            return true;
        case PageCopyProblem::NotOurs:
            errorDetail(res::kExternalPageInTheWay, target);
            return false;
        case PageCopyProblem::CopyFailed:
            errorDetail(res::formatString(res::kExternalPageCopyFailed, ec.message()), target);
            return false;
    }
    return false;
}

std::string JobLog::makeReport(const JobSettings& settings, std::uint32_t nodeCount, std::uint32_t dirCount,
                               std::int32_t orphanCount, std::int32_t removedDirCount, unsigned status,
                               std::string_view movedToDirectory) {
    // The page goes first, so that a failure to place it is in the errors section before the summary
    // decides whether to point at that section.
    const bool pageWanted = settings.ReportExternalRefs && !settings.RemoveOrphans;
    const bool pagePlaced = pageWanted && copyExternalPage(settings);

    if (errorSection_) closeSection(errorSection_);
    if (settings.RemoveOrphans || !settings.ReportUnusedFiles)
        if (const auto it = sections_.find(res::kSectionUnusedFiles); it != sections_.end())
            discardSection(it->second.get());
    if (!settings.ReportUnresolvedRefs)
        if (const auto it = sections_.find(res::kSectionUnresolvedLinks); it != sections_.end())
            discardSection(it->second.get());

    writeSummary(settings, status);
    writeReportHeader(settings, nodeCount, dirCount, orphanCount, removedDirCount, status, movedToDirectory);
    if (pagePlaced) {
        // Only a page that is really in the site is announced.
        ReportSection* note = openSection(res::kSectionExternalPageNote);
        note->writeLine(res::kExternalPageNote1);
        note->writeLine(res::kExternalPageNote2);
        note->writeLine(res::kExternalPageNote3, kExternalPageName);
        closeSection(note);
    }

    flushSections();
    std::vector<std::string> joined;  // the files the report's text is in, for the message on failure
    std::error_code failure;
    ReportFile report;
    if (!report.isOpen()) failure = report.openError();
    for (const auto& [id, section] : sections_) {
        // A section with no file went to standard output; the person was told when it was made.
        if (id == res::kSectionExternalUrlPage || !section->hasContent() || section->fileName().empty())
            continue;
        joined.push_back(section->fileName());
        if (failure) continue;
        if (section->writeFailed()) {
            failure = std::make_error_code(std::errc::io_error);
        } else {
            failure = report.append(section->fileName());
        }
    }
    std::string path;
    if (!failure) failure = report.keep(path);
    if (!failure) return path;

    // The sections stay on disk: the message says where the report's text is.
    keptFiles_.insert(joined.begin(), joined.end());
    ui::prompts().messageBox(assemblyFailedText(joined, failure), ui::Buttons::Ok);
    return {};
}

}  // namespace korvel
