#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "settings/user_lists.h"

namespace korvel::cli {

// "korvel probe PATH...": one line per path (and per entry below a directory) with its classification.
int runProbe(const std::vector<std::string>& paths, const HtmlDefinitions& definitions, std::ostream& out,
             std::ostream& err);

}  // namespace korvel::cli
