#pragma once
// One job at a time changes a site: a fix, an orphans job or an undo holds the site's lock for its whole
// run, and a second one refuses before it changes anything. Two jobs at once would each take the other's
// changes for the site's own, and the last one's undo journal would replace the first's.
#include <string>
#include <string_view>

#include "platform/file_lock.h"

namespace korvel::jobs {

class SiteLock {
  public:
    // Takes the lock of the site "top" without waiting, and settles the journal of a job on it that was
    // stopped halfway.
    explicit SiteLock(std::string_view top);
    // Another job holds the site.
    bool busy() const { return busy_; }
    // The lock could not be taken for another reason (no state directory, a link in its place); "" when
    // it was taken or the site is busy. The job goes on: it cannot record its changes either, and says so.
    const std::string& failure() const { return failure_; }

  private:
    platform::FileLock lock_;
    bool busy_ = false;
    std::string failure_;
};

}  // namespace korvel::jobs
