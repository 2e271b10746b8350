#pragma once
// The settings of a job in a few plain lines: the report's header shows them, and so does the last page of
// the settings wizard.
#include <string>

#include "settings/job_settings.h"

namespace korvel {

// One line per setting that matters for this job, each ending in "\n", with blank lines between the
// groups (where, names, links and reports). Lines for options that do not apply are left out.
std::string settingsSummary(const JobSettings& settings);

}  // namespace korvel
