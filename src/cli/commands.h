#pragma once
// The command line of the program "korvel".
#include <iosfwd>

namespace korvel::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFindings = 1;  // the job ran and found something to report
inline constexpr int kExitUsage = 2;     // bad usage, or a job that could not run
// The job changed the tree but its report could not be written; the changes are in the undo journal.
inline constexpr int kExitReportLost = 3;

// Parses the arguments and runs the command they name. Output goes to "out", messages to "err".
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
int run(int argc, char** argv);

}  // namespace korvel::cli
