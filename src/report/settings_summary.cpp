#include "report/settings_summary.h"

namespace korvel {

std::string settingsSummary(const JobSettings&) {
    return {};  // filled in with the summary lines next
}

}  // namespace korvel
