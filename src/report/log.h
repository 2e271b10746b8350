#pragma once
// The log that every pass writes into, through currentLog(): titled sections, the errors section, and one
// "RENAME.LOG" per directory where something was renamed.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/section.h"

namespace korvel {

// The base log, current when code writes outside a job: its sections go to the standard streams (errors to
// standard error, the external-links page nowhere, the rest to standard output) and it keeps no
// directory logs.
class Log {
  public:
    Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    virtual ~Log();

    // A section titled with string "titleId", its three-line header already written (and not counted as
    // content); null when none could be made. The log keeps ownership: pass it to closeSection when done.
    // Here every call makes a new section.
    virtual ReportSection* openSection(int titleId);
    // Ends a section. Here it is deleted (and the errors section forgotten, so the next error opens a new
    // one). Null is ignored.
    virtual void closeSection(ReportSection* section);
    // Drops a section from the report. Does nothing here.
    virtual void discardSection(ReportSection* section);
    // The "RENAME.LOG" section of the directory at "directoryPath" (the directory that contains the
    // renamed entry), or null. Null here.
    virtual ReportSection* directoryLog(std::string_view directoryPath);
    // Appends text to the errors section (opening it on first use), without a line end.
    virtual void error(std::string_view text);
    // error(text), then "\n\t", detail and "\n".
    virtual void errorDetail(std::string_view text, std::string_view detail);

    void error(int id);
    void error(int id, std::string_view a1);
    void error(int id, std::string_view a1, std::string_view a2);
    void errorDetail(int id, std::string_view detail);
    // Ends the current line of the errors section (opening it if needed).
    void errorEndLine();
    // The errors section, null before the first error.
    ReportSection* errorSection() const { return errorSection_; }

    // At the end of a job: closes every directory log, in path order, and removes each "RENAME.LOG" that
    // ended up empty. One with rows stays: it is the person's record of what was renamed.
    void finishDirectoryLogs();

  protected:
    // The header every report section starts with: 80 "-", the title and a space, 80 "-"; then the
    // content flag is cleared so that a header alone is no content.
    static void writeHeader(ReportSection& section);
    // The key of a directory's log: its path with exactly one trailing "/", so "/a/b" and "/a/b/" are
    // one directory.
    static std::string directoryKey(std::string_view directoryPath);

    ReportSection* errorSection_ = nullptr;  // owned by the log's section store, never by itself
    std::map<std::string, std::unique_ptr<ReportSection>> directoryLogs_;

  private:
    std::vector<std::unique_ptr<ReportSection>> openSections_;  // the sections handed out by openSection here
};

// The log of the running job; a plain Log is made when there is none (code running outside a job).
Log& currentLog();
// Makes "log" current and hands back the one that was (may be null).
std::unique_ptr<Log> setCurrentLog(std::unique_ptr<Log> log);
// Makes "log" current and deletes the one that was.
void replaceCurrentLog(std::unique_ptr<Log> log);

}  // namespace korvel
