#pragma once
// The log of one job: every report section in a temporary file of its own, so that passes can write in any
// order and the report can still come out in section order; and a "RENAME.LOG" per directory.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "report/log.h"
#include "res/strings.h"
#include "settings/job_settings.h"

namespace korvel {

// The order of a report's sections: by title id, except that the broken anchors follow the broken links,
// whose neighbours they are.
struct SectionOrder {
    static constexpr long long rank(int id) {
        return id == res::kSectionBrokenAnchors ? 2LL * res::kSectionUnresolvedLinks + 1 : 2LL * id;
    }
    constexpr bool operator()(int a, int b) const { return rank(a) < rank(b); }
};

class SectionedLog : public Log {
  public:
    using SectionMap = std::map<int, std::unique_ptr<ReportSection>, SectionOrder>;

    // Removes every section's file.
    ~SectionedLog() override;

    // Removes the section from the report: it is deleted and its file removed. Null is ignored.
    void discardSection(ReportSection* section) override;
    // The directory's "RENAME.LOG" section, appended to (earlier jobs' rows stay). The first call for a
    // directory in this log writes the job's banner; later calls return the same section.
    ReportSection* directoryLog(std::string_view directoryPath) override;

    // Joins the job's report at its end, also after a cancel or an interruption (then as a partial report):
    // writes the summary from "status" (JobStatus bits), the header with the counts and the settings (or,
    // for an orphans job, what was removed or restored), copies the external-links page into the top
    // directory when it was asked for, and joins every section with content, in SectionOrder, into a fresh
    // "el_" file in the temporary directory. Returns that file's path; the caller owns the file from then
    // on. Returns "" when the report could not be made, after telling the person why (message 291).
    //   nodeCount, dirCount: the scan's counts of all nodes and of the directories among them (the top
    //   directory included). orphanCount, removedDirCount: the files and directories an orphans job
    //   removed or restored; 0 for other jobs.
    //   movedToDirectory: where an orphans job actually moved the orphans (it picks a fresh name when the
    //   usual one is taken); when empty, the header names the usual place, MoveToDir/<top directory's name>.
    // Call it once per job.
    virtual std::string makeReport(const JobSettings& settings, std::uint32_t nodeCount,
                                   std::uint32_t dirCount, std::int32_t orphanCount,
                                   std::int32_t removedDirCount, unsigned status,
                                   std::string_view movedToDirectory = {}) = 0;

    // Every report section by title id, in report order. Their text may still be gathering in memory:
    // call flushSections() before reading their files by name.
    const SectionMap& sections() const { return sections_; }
    void flushSections();
    // The whole text written so far into section "titleId" (header included); "" when there is no such
    // section or it has no file.
    std::string sectionText(int titleId);

  protected:
    // Only the job's log kinds are made.
    SectionedLog() = default;

    // A section over a fresh "el_" file in the temporary directory, entered under "titleId". When no file
    // can be made the person is told (string 30032) and the section writes to standard output.
    ReportSection& addFileSection(int titleId);

    SectionMap sections_;
    // Section files that outlive the log: after a failed assembly they hold the report, and the person was
    // told where to find them.
    std::set<std::string> keptFiles_;
};

class JobLog : public SectionedLog {
  public:
    JobLog() = default;
    ~JobLog() override;

    // The section with this id, made (with its header) on first use; later calls return the same section
    // and write nothing.
    ReportSection* openSection(int titleId) override;
    // Three empty lines (the external-links page gets its footer instead). The section stays open, so a
    // later openSection continues it. Null is ignored.
    void closeSection(ReportSection* section) override;
    std::string makeReport(const JobSettings& settings, std::uint32_t nodeCount, std::uint32_t dirCount,
                           std::int32_t orphanCount, std::int32_t removedDirCount, unsigned status,
                           std::string_view movedToDirectory = {}) override;

  private:
    void writeSummary(const JobSettings& settings, unsigned status);
    void writeReportHeader(const JobSettings& settings, std::uint32_t nodeCount, std::uint32_t dirCount,
                           std::int32_t orphanCount, std::int32_t removedDirCount, unsigned status,
                           std::string_view movedToDirectory);
    bool copyExternalPage(const JobSettings& settings);
    bool hasContent(int titleId) const;

    bool pageClosed_ = false;  // the external-links page got its footer
};

// Held by a job command for one job: makes a fresh JobLog the current log and, on every way out, closes
// its directory logs, puts the previous log back and deletes the job's log with its temporary files.
class LogScope {
  public:
    LogScope();
    ~LogScope();
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

    JobLog& log() { return *log_; }

  private:
    JobLog* log_;  // owned by the current-log slot while the scope lasts
    std::unique_ptr<Log> previous_;
};

}  // namespace korvel
