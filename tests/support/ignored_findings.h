#pragma once
// A job context for tests that run a pass only for what it does to the tree: its findings go nowhere.
#include "report/sinks.h"
#include "site/job_context.h"

namespace korvel::testing {

inline const JobContext& ignoredFindings() {
    static report::FindingsCollector dropped;
    static const JobContext job{dropped};
    dropped = {};
    return job;
}

}  // namespace korvel::testing
