#pragma once
// Line ends of text files: which files differ from the wanted convention, and converting them.
#include <string_view>

#include "site/probe.h"

namespace korvel {
class ESection;
}  // namespace korvel

namespace korvel::files {

// The report row of a file whose line ends went from "from" to "to" (section "FILES WITH CHANGED LINE
// ENDINGS:"), e.g. "DOS  -> UNIX:  /site/a.txt".
void writeLineEndChange(ESection& section, LineEndKind from, LineEndKind to, std::string_view path);

}  // namespace korvel::files
