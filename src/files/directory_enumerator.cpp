#include "files/directory_enumerator.h"

#include <utility>

#include "platform/dir_list.h"
#include "platform/paths.h"

namespace korvel::files {

DirectoryEnumerator::DirectoryEnumerator(std::string directory) : directory_(std::move(directory)) {}

bool DirectoryEnumerator::next(std::string& out, bool fullPath) {
    if (!started_) {
        started_ = true;
        if (directory_.empty()) {
            // The drive listing of other systems: here everything hangs below the one root.
            names_.emplace_back(1, platform::kSeparator);
        } else {
            error_ = platform::listDirectory(directory_, names_);
            if (error_) return false;
        }
    }
    while (next_ < names_.size()) {
        const std::string& name = names_[next_++];
        if (directory_.empty()) {
            out = name;
            return true;
        }
        if (!fullPath) {
            out = name;
            return true;
        }
        std::string full = platform::joinPath(directory_, name);
        if (full.size() >= platform::kMaxPath) {
            skipped_.push_back(std::move(full));
            continue;
        }
        out = std::move(full);
        return true;
    }
    // Nothing to hold on to once the end is reached.
    names_ = {};
    next_ = 0;
    return false;
}

}  // namespace korvel::files
