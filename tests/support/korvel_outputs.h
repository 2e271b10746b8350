#pragma once
// The starts of files as Korvel writes them into a site, for tests that need a file Korvel would take for
// its own (as opposed to a person's file of the same name).
#include <string>

#include "report/external_page.h"

namespace korvel::testing {

// A rename log: each job's banner, then its rows.
inline std::string korvelRenameLog() {
    const std::string rule(40, '=');
    return "\n" + rule + "\nMon Dec  7 14:11:17 2026\n" + rule + "\nindex.htm    /site/Index.HTM\n";
}

// A saved report: its rules and header.
inline std::string korvelReport() {
    const std::string rule(80, '-');
    return rule + "\n  \n" + rule + "\nREPORT FROM SUCCESSFUL PASS\n\n" + rule + "\nHEADER \n" + rule +
           "\nDirectory checked on Mon Dec  7 14:11:17 2026\n    Made with Korvel Version 0.1.0\n";
}

inline std::string korvelExternalPage() {
    return externalPageHead() + "<a href=\"http://example.com/\">x</a> <a href=\"gone.html\">g</a>\n";
}

}  // namespace korvel::testing
