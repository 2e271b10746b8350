#pragma once
// The check's findings as a JSON document, for programs (a CI step) rather than people. The layout is
// described field by field in docs/json-report.md; kJsonReportVersion changes whenever a field is removed
// or changes its meaning, never when one is added.
#include <string>

#include "jobs/findings.h"

namespace korvel::cli {

inline constexpr int kJsonReportVersion = 1;

// What the document says besides the findings themselves.
struct JsonReportContext {
    bool needsAttention = false;  // the run's exit status would be 1
};

// The document, indented, ending in a line end. Always valid UTF-8: every text that comes from the site
// (paths, links, messages) is shown as platform::displayName shows it.
std::string jsonReport(const CheckFindings& findings, const JsonReportContext& context);

}  // namespace korvel::cli
