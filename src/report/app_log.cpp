#include "report/app_log.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "platform/file_info.h"
#include "platform/files.h"
#include "res/strings.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// The local date and time as "Wed Jun 30 21:49:08 1993", with English names whatever the locale, so a
// "RENAME.LOG" reads the same on every machine.
std::string runTime() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday % 7],
                                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                                local.tm_sec, local.tm_year + 1900);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// The external-links page is an HTML file rather than a text section. Only its frame is written here; the
// page's full look belongs with the report assembly.
void writeExternalPageHead(ESection& section) {
    section.writeLine("<html><head><title>");
    section.writeLine(res::kListOfExternalUrls);
    section.writeLine("</title></head><body>");
    section.write("<h2>");
    section.write(res::kListOfExternalUrls);
    section.writeLine("</h2><pre>");
}

void writeExternalPageFooter(ESection& section) {
    section.writeLine("</pre><br>");
    section.writeLine("</body></html>");
}

}  // namespace

ELogWithReport::~ELogWithReport() {
    errorSection_ = nullptr;  // it is one of the sections below
    for (auto& [id, section] : sections_) {
        const std::string path = section->fileName();
        section.reset();
        if (path.empty() || !platform::removeFile(path)) continue;
        // Said in whichever log is current now; never in this one, which is going.
        if (ELog& log = currentLog(); &log != this) log.errorDetail(res::kFailedToDeleteFile, path);
    }
}

void ELogWithReport::discardSection(ESection* section) {
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

ESection* ELogWithReport::directoryLog(std::string_view directoryPath) {
    std::string key = directoryKey(directoryPath);
    if (const auto it = directoryLogs_.find(key); it != directoryLogs_.end()) return it->second.get();

    const std::string path = key + std::string(res::loadString(res::kRenameLogName));
    ESection* section =
        directoryLogs_.emplace(std::move(key), ESection::overFile(0, path)).first->second.get();
    static const std::string kRule(40, '=');
    section->endLine();
    section->writeLine(kRule);
    section->writeLine(runTime());
    section->writeLine(kRule);
    return section;
}

void ELogWithReport::flushSections() {
    for (auto& [id, section] : sections_)
        section->flush();
}

std::string ELogWithReport::sectionText(int titleId) {
    const auto it = sections_.find(titleId);
    if (it == sections_.end() || it->second->fileName().empty()) return {};
    it->second->flush();
    std::string text;
    if (platform::readWholeFile(it->second->fileName(), text)) return {};
    return text;
}

ESection& ELogWithReport::addFileSection(int titleId) {
    // One file per id: a second one would leave the first behind on disk.
    if (const auto it = sections_.find(titleId); it != sections_.end()) return *it->second;
    // Every section gets a fresh file, the external-links page too: a fixed name in a shared temporary
    // directory would let two jobs (or two users) write into one file.
    std::unique_ptr<ESection> section;
    platform::TempFile file;
    if (!file.create()) {
        const std::string path = file.release();
        section = ESection::overFile(titleId, path, ESection::Flush::WhenFull);
        if (section->fileName().empty()) platform::removeFile(path);
    } else {
        ui::prompts().messageBox(res::loadString(res::kLogFileCreateFailed), ui::Buttons::Ok);
        section = ESection::standardOutput(titleId);
    }
    auto& slot = sections_[titleId];
    slot = std::move(section);
    return *slot;
}

EAppLog::~EAppLog() = default;

ESection* EAppLog::openSection(int titleId) {
    if (const auto it = sections_.find(titleId); it != sections_.end()) return it->second.get();
    ESection& section = addFileSection(titleId);
    if (titleId == res::kSectionExternalUrlPage) {
        writeExternalPageHead(section);
        section.clearContent();
    } else {
        writeHeader(section);
    }
    return &section;
}

void EAppLog::closeSection(ESection* section) {
    if (!section) return;
    if (section->titleId() == res::kSectionExternalUrlPage) {
        writeExternalPageFooter(*section);
        return;
    }
    section->endLine();
    section->endLine();
    section->endLine();
}

std::string EAppLog::makeReport(const JobSettings&, std::uint32_t, std::uint32_t, std::int32_t, std::int32_t,
                                unsigned) {
    return {};  // the assembly follows
}

LogScope::LogScope() {
    auto log = std::make_unique<EAppLog>();
    log_ = log.get();
    previous_ = setCurrentLog(std::move(log));
}

LogScope::~LogScope() {
    currentLog().finishDirectoryLogs();
    // The job's log is deleted only once the previous one is current again, so that a section file it
    // fails to remove is reported there.
    std::unique_ptr<ELog> ended = setCurrentLog(std::move(previous_));
    ended.reset();
}

}  // namespace korvel
