#pragma once
// What the job commands of the command line share: the options every job takes, the settings they make,
// and delivering the report.
#include <iosfwd>
#include <string>

#include "cli/check_command.h"

namespace CLI {
class App;
}  // namespace CLI

namespace korvel {
class Job;
struct JobSettings;
}  // namespace korvel

namespace korvel::cli {

// Adds --keep and --keep-none, the files that are never orphans, to "command".
void addKeepOptions(CLI::App& command, CheckOptions& options);

// Adds the options of a check (which every job that reads the site's links takes too) to "command".
void addCheckOptions(CLI::App& command, CheckOptions& options);

// The settings of the job: the settings file's (defaults where it has none) with the options over them,
// stored back when --save-settings asks. False, with a message, for a bad option.
bool loadJobSettings(const CheckOptions& options, JobSettings& job, std::ostream& err);

// Unless the job handles names only: the server's default documents and the home page, from the options
// or guessed. False, with a message, when there is no home page to be found.
bool chooseSiteEntry(const CheckOptions& options, JobSettings& job, std::ostream& err);

// Whether "directory" can be the top directory of a job, said on "err" when not. An empty one is fine: the
// job finds nothing there and its report says so.
bool isTopDirectory(const std::string& directory, std::ostream& err);

// Reads the job's report file "path" (and removes it) into "text". False, with a message, when it cannot.
bool takeReport(const std::string& path, std::string& text, std::ostream& err);

// Writes the report where the person asked: standard output, or a file (replaced whole, never half).
bool deliverReport(const std::string& text, const std::string& destination, std::ostream& out,
                   std::ostream& err);

// Whether a report can be written to "destination" ("" or "-": standard output), said on "err" when not.
// A job that changes files looks before it changes any.
bool reportWritable(const std::string& destination, std::ostream& err);
// Says where the changes of a job whose report was lost are recorded; the exit status for it.
int reportLost(const std::string& top, std::ostream& err);

// After a job ran: its report in the asked form, where it was asked for; the exit status.
int finishJob(const Job& command, const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
