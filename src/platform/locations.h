#pragma once
// Where Korvel keeps its files.
#include <string>
#include <string_view>
#include <system_error>

namespace korvel::platform {

// The settings file: "override" when given (--settings), else $KORVEL_SETTINGS, else
// $XDG_CONFIG_HOME/korvel/korvel.ini (default ~/.config/korvel/korvel.ini). A relative $XDG_CONFIG_HOME
// is ignored. "" when there is neither an override nor any home directory.
std::string settingsFilePath(std::string_view override = {});

// The folder for undo journals: $XDG_STATE_HOME/korvel (default ~/.local/state/korvel); "" without any
// home directory.
std::string stateDirectory();

// Where the report's working files go: the temporary directory. Each file's name carries the process id
// of its maker ("el_PID_XXXXXX"); the first call in a process for a directory removes the files of ours
// whose process is gone (a job that was killed), so that they do not pile up.
std::string scratchDirectory();

// Makes "path" and every missing parent folder; true when "path" is a directory afterwards. "error", when
// given, receives why not (ENOTDIR when something else is in the way).
bool makeDirectories(std::string_view path, std::error_code* error = nullptr);

}  // namespace korvel::platform
