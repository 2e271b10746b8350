#pragma once
// "korvel orphans DIR": moves the files no page reaches below a new directory in KEEP, or sends them to the
// desktop trash; `korvel undo DIR` puts them back.
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/check_command.h"

namespace CLI {
class App;
}  // namespace CLI

namespace korvel::cli {

struct OrphansOptions {
    CheckOptions job;  // the top directory, the home page and server, the report
    std::optional<std::string> moveTo;
    bool trash = false;
    bool yes = false;
};

void addOrphansOptions(CLI::App& command, OrphansOptions& options);

// Runs the orphans job and writes its report. Where the orphans go is the person's choice every time: one
// of --move-to and --trash must be given. Without a terminal to show the list on and without --yes it
// refuses to start.
int runOrphans(const OrphansOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
