#pragma once
#include <string_view>

namespace korvel {

// Files that Korvel itself writes and that are never link targets, pages, orphans or names to change:
// "report_of_external_refs.html", "REPORT.TXT" and "REPORT_n.TXT" (n = 1, 2, ...) in the top directory,
// and "RENAME.LOG" in any directory of the site. Names are compared byte for byte, as Korvel writes them:
// a site's own "report.txt" is a different file on this system and stays an ordinary file. A file of such
// a name and place counts only when it starts as Korvel starts it (a rename log's dated banner, a report's
// rule and header, the external page's head): a person's own "REPORT.TXT" is a file of the site. One that
// cannot be read is judged by its name. "path" is absolute; "topDir" may end in "/".
bool isKorvelOutputFile(std::string_view topDir, std::string_view path);

}  // namespace korvel
