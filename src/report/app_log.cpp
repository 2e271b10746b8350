#include "report/app_log.h"

#include <string>
#include <utility>

#include "platform/file_info.h"
#include "platform/files.h"
#include "report/external_page.h"
#include "report/local_time.h"
#include "res/strings.h"
#include "ui/prompts.h"

namespace korvel {

SectionedLog::~SectionedLog() {
    errorSection_ = nullptr;  // it is one of the sections below
    for (auto& [id, section] : sections_) {
        const std::string path = section->fileName();
        section.reset();
        if (path.empty() || keptFiles_.count(path) || !platform::removeFile(path)) continue;
        // Said in whichever log is current now; never in this one, which is going.
        if (Log& log = currentLog(); &log != this) log.errorDetail(res::kFailedToDeleteFile, path);
    }
}

void SectionedLog::discardSection(ReportSection* section) {
    if (!section) return;
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (it->second.get() != section) continue;
        if (section == errorSection_) errorSection_ = nullptr;
        const std::string path = section->fileName();
        sections_.erase(it);
        if (!path.empty() && platform::removeFile(path)) errorDetail(res::kFailedToDeleteFile, path);
        return;
    }
}

ReportSection* SectionedLog::directoryLog(std::string_view directoryPath) {
    std::string key = directoryKey(directoryPath);
    if (const auto it = directoryLogs_.find(key); it != directoryLogs_.end()) return it->second.get();

    const std::string path = key + std::string(res::loadString(res::kRenameLogName));
    ReportSection* section =
        directoryLogs_.emplace(std::move(key), ReportSection::overFile(0, path)).first->second.get();
    static const std::string kRule(40, '=');
    section->endLine();
    section->writeLine(kRule);
    section->writeLine(localTimeText());
    section->writeLine(kRule);
    return section;
}

void SectionedLog::flushSections() {
    for (auto& [id, section] : sections_)
        section->flush();
}

std::string SectionedLog::sectionText(int titleId) {
    const auto it = sections_.find(titleId);
    if (it == sections_.end() || it->second->fileName().empty()) return {};
    it->second->flush();
    std::string text;
    if (platform::readWholeFile(it->second->fileName(), text)) return {};
    return text;
}

ReportSection& SectionedLog::addFileSection(int titleId) {
    // One file per id: a second one would leave the first behind on disk.
    if (const auto it = sections_.find(titleId); it != sections_.end()) return *it->second;
    // Every section gets a fresh file, the external-links page too: a fixed name in a shared temporary
    // directory would let two jobs (or two users) write into one file.
    std::unique_ptr<ReportSection> section;
    platform::TempFile file;
    if (!file.create()) {
        const std::string path = file.release();
        section = ReportSection::overFile(titleId, path, ReportSection::Flush::WhenFull);
        if (section->fileName().empty()) platform::removeFile(path);
    } else {
        ui::prompts().messageBox(res::loadString(res::kLogFileCreateFailed), ui::Buttons::Ok);
        section = ReportSection::standardOutput(titleId);
    }
    auto& slot = sections_[titleId];
    slot = std::move(section);
    return *slot;
}

JobLog::~JobLog() = default;

ReportSection* JobLog::openSection(int titleId) {
    if (const auto it = sections_.find(titleId); it != sections_.end()) return it->second.get();
    ReportSection& section = addFileSection(titleId);
    if (titleId == res::kSectionExternalUrlPage) {
        writeExternalPageHead(section);
        section.clearContent();
    } else {
        writeHeader(section);
    }
    return &section;
}

void JobLog::closeSection(ReportSection* section) {
    if (!section) return;
    if (section->titleId() == res::kSectionExternalUrlPage) {
        writeExternalPageFooter(*section);
        pageClosed_ = true;
        return;
    }
    section->endLine();
    section->endLine();
    section->endLine();
}

LogScope::LogScope() {
    auto log = std::make_unique<JobLog>();
    log_ = log.get();
    previous_ = setCurrentLog(std::move(log));
}

LogScope::~LogScope() {
    currentLog().finishDirectoryLogs();
    // The job's log is deleted only once the previous one is current again, so that a section file it
    // fails to remove is reported there.
    std::unique_ptr<Log> ended = setCurrentLog(std::move(previous_));
    ended.reset();
}

}  // namespace korvel
