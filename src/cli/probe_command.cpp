#include "cli/probe_command.h"

#include <ostream>

#include "cli/commands.h"

namespace korvel::cli {

int runProbe(const std::vector<std::string>& paths, std::ostream& out, std::ostream&) {
    for (const auto& p : paths) out << p << '\n';
    return kExitOk;
}

}  // namespace korvel::cli
