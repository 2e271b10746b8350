#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace korvel::cli {

// "korvel probe PATH...": one line per path (and per entry below a directory) with its classification.
int runProbe(const std::vector<std::string>& paths, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
