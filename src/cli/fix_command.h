#pragma once
// "korvel fix DIR" and "korvel undo DIR".
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/check_command.h"

namespace CLI {
class App;
}  // namespace CLI

namespace korvel::cli {

struct FixOptions {
    CheckOptions job;
    std::optional<int> lineEnds;  // LineEnd
    std::optional<int> readOnly;  // AutoReadOnly
    std::optional<int> hardLinks;  // HardLinks
    bool suggestOnly = false;
    bool promptEach = false;
    bool logSubdirs = false;
    bool yes = false;
};

struct UndoOptions {
    std::string directory;
    std::string settingsPath;
    std::string reportFile;
    bool list = false;
};

void addFixOptions(CLI::App& command, FixOptions& options);
void addUndoOptions(CLI::App& command, UndoOptions& options);

// Runs the fix job and writes its report. Without a terminal to ask on and without --yes it refuses to
// start: a fix changes files, and nobody would have confirmed what it changes.
int runFix(const FixOptions& options, std::ostream& out, std::ostream& err);

// Undoes the last fix or orphans job on the directory (or lists what that would do).
int runUndo(const UndoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
