#include "jobs/site_lock.h"

#include "jobs/undo_journal.h"
#include "platform/paths.h"

namespace korvel::jobs {

SiteLock::SiteLock(std::string_view top) {
    std::string directory;
    if (const std::error_code ec = makeJournalPlace(top, directory)) {
        failure_ = ec.message();
        return;
    }
    if (const std::error_code ec = lock_.tryLock(platform::joinPath(directory, "lock"))) {
        if (ec == std::errc::resource_unavailable_try_again) {
            busy_ = true;
        } else {
            failure_ = ec.message();
        }
        return;
    }
    settleInterruptedJob(top);
}

}  // namespace korvel::jobs
