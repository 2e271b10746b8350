#pragma once
// Where Korvel keeps its files.
#include <string>
#include <string_view>

namespace korvel::platform {

// The settings file: "override" when given (--settings), else $KORVEL_SETTINGS, else
// $XDG_CONFIG_HOME/korvel/korvel.ini (default ~/.config/korvel/korvel.ini).
std::string settingsFilePath(std::string_view override = {});

// The folder for undo journals: $XDG_STATE_HOME/korvel (default ~/.local/state/korvel).
std::string stateDirectory();

// Makes "path" and every missing parent folder.
bool makeDirectories(std::string_view path);

}  // namespace korvel::platform
