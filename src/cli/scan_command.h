#pragma once
#include <iosfwd>
#include <string>

namespace korvel::cli {

struct ScanOptions {
    std::string directory;
    std::string settingsPath;
    bool noSubdirs = false;
    bool list = false;
};

// "korvel scan DIR": scans the tree as a job does and prints the count line, the skipped entries and the
// errors; with "list", every node with its kind.
int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
