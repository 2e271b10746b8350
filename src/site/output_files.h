#pragma once
#include <cstddef>
#include <string_view>

namespace korvel {

// Files that Korvel itself writes and that are never link targets, pages, orphans or names to change:
// "report_of_external_refs.html", "REPORT.TXT" and "REPORT_n.TXT" (n = 1, 2, ...) in the top directory,
// and "RENAME.LOG" in any directory of the site. Names are compared byte for byte, as Korvel writes them:
// a site's own "report.txt" is a different file on this system and stays an ordinary file. "path" is
// absolute; "topDir" may end in "/".
bool isKorvelOutputFile(std::string_view topDir, std::string_view path);

// Whether the file at "path", whose bytes begin with "start", is one Korvel wrote: named and placed as
// isKorvelOutputFile says, and for the external-links page and a "RENAME.LOG" also beginning as Korvel
// begins them, since a person may have written a file of that name. "start" needs no more than
// korvelOutputStartSize() bytes.
bool isKorvelOutputContent(std::string_view topDir, std::string_view path, std::string_view start);
std::size_t korvelOutputStartSize();

}  // namespace korvel
