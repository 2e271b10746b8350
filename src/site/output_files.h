#pragma once
#include <string_view>

namespace korvel {

// Files that Korvel itself writes and that are never link targets, pages, orphans or names to change:
// "report_of_external_refs.html", "REPORT.TXT" and "REPORT_n.TXT" (n = 1, 2, ...) in the top directory,
// and "RENAME.LOG" in any directory of the site. Names are compared byte for byte, as Korvel writes them:
// a site's own "report.txt" is a different file on this system and stays an ordinary file. "path" is
// absolute; "topDir" may end in "/".
bool isKorvelOutputFile(std::string_view topDir, std::string_view path);

}  // namespace korvel
