#include "report/log.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "res/strings.h"

namespace korvel {

namespace {

// The log of the running job. One job runs at a time, on one thread, so no lock.
std::unique_ptr<Log>& currentSlot() {
    static std::unique_ptr<Log> current;
    return current;
}

}  // namespace

Log::Log() = default;

Log::~Log() = default;

ReportSection* Log::openSection(int titleId) {
    std::unique_ptr<ReportSection> section;
    if (titleId == res::kSectionErrors) {
        section = ReportSection::standardError(titleId);
    } else if (titleId == res::kSectionExternalUrlPage) {
        // The external-links page is an HTML file of a job; outside a job it has nowhere to go.
        section = std::make_unique<ReportSection>(titleId);
    } else {
        section = ReportSection::standardOutput(titleId);
    }
    writeHeader(*section);
    openSections_.push_back(std::move(section));
    return openSections_.back().get();
}

void Log::closeSection(ReportSection* section) {
    if (!section) return;
    if (section == errorSection_) errorSection_ = nullptr;
    const auto it = std::find_if(openSections_.begin(), openSections_.end(),
                                 [section](const auto& owned) { return owned.get() == section; });
    if (it != openSections_.end()) openSections_.erase(it);
}

void Log::discardSection(ReportSection*) {}

ReportSection* Log::directoryLog(std::string_view) {
    return nullptr;
}

void Log::error(std::string_view text) {
    if (!errorSection_) errorSection_ = openSection(res::kSectionErrors);
    if (errorSection_) errorSection_->write(text);
}

void Log::errorDetail(std::string_view text, std::string_view detail) {
    error(text);
    error("\n\t");
    error(detail);
    error("\n");
}

void Log::error(int id) {
    error(res::loadString(id));
}

void Log::error(int id, std::string_view a1) {
    error(res::formatString(id, a1));
}

void Log::error(int id, std::string_view a1, std::string_view a2) {
    error(res::formatString(id, a1, a2));
}

void Log::errorDetail(int id, std::string_view detail) {
    errorDetail(res::loadString(id), detail);
}

void Log::errorEndLine() {
    if (!errorSection_) errorSection_ = openSection(res::kSectionErrors);
    if (errorSection_) errorSection_->endLine();
}

void Log::finishDirectoryLogs() {
    // Taken out of the log first, so that an error logged below cannot meet a half-finished map.
    auto logs = std::exchange(directoryLogs_, {});
    for (auto& [key, section] : logs) {
        const std::string path = section->fileName();
        section.reset();             // closes the file
        if (path.empty()) continue;  // it never opened: there is nothing of ours on disk

        // Only a file known to be empty goes. One that cannot be looked at may hold earlier jobs' rows,
        // which are the person's only record of those renamings.
        platform::FileInfo info;
        if (platform::fileInfo(path, info) || info.kind != platform::EntryKind::File || info.size > 0)
            continue;
        // Removing an entry needs only the directory's permission on Linux, so the file's own mode is
        // left alone rather than changed on the way to a removal that might still fail.
        if (platform::removeFile(path)) errorDetail(res::kFailedToDeleteFile, path);
    }
}

void Log::writeHeader(ReportSection& section) {
    static const std::string kRule(80, '-');
    section.writeLine(kRule);
    std::string title(res::loadString(section.titleId()));
    title.push_back(' ');
    section.writeLine(title);
    section.writeLine(kRule);
    section.clearContent();
}

std::string Log::directoryKey(std::string_view directoryPath) {
    return platform::withTrailingSeparator(directoryPath);
}

Log& currentLog() {
    auto& slot = currentSlot();
    if (!slot) slot = std::make_unique<Log>();
    return *slot;
}

std::unique_ptr<Log> setCurrentLog(std::unique_ptr<Log> log) {
    return std::exchange(currentSlot(), std::move(log));
}

void replaceCurrentLog(std::unique_ptr<Log> log) {
    // The old log is deleted only after the new one is in place, so that anything it logs while it ends
    // goes to the new one rather than to a log half destroyed.
    std::unique_ptr<Log> previous = setCurrentLog(std::move(log));
    previous.reset();
}

}  // namespace korvel
